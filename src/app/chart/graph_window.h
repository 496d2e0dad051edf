// The diagnostics graph window ("Graph"): Sx, bx, the concentration and, on
// request, vx of one constituent of the run (tools/diagnostics.h), with six
// factor edits and the menu entries "Process" (redraw with the factors) and
// "Close". The main window's hidden "RD" button sets the constituent (right
// click) and shows the window modally (left click, after an Init).
#pragma once

#include "tools/diagnostics.h"

#include <QDialog>

class MainWindow;
class QCheckBox;
class QCPCurve;
class QCPGraph;
class QCustomPlot;
class QLineEdit;

class GraphWindow : public QDialog {
    Q_OBJECT
public:
    GraphWindow(MainWindow& main, QWidget* parent = nullptr);

    // Reads the factor edits, then rebuilds the four series from the run.
    void DrawGraph();
    void ReadEdits();
    void ShowEdits();
    // Right click on the main window's button: asks for the constituent line.
    void AskLine();

    DiagnosticsParams Params;
    DiagnosticsSeries Drawn;  // the series as drawn last

private:
    MainWindow& main_;
    QCustomPlot* Graph = nullptr;
    QCPGraph* sr_Sx = nullptr;
    QCPGraph* sr_bx = nullptr;
    QCPGraph* sr_comp = nullptr;
    QCPCurve* sr_vx = nullptr;
    QLineEdit* edits_[6] = {};
    QCheckBox* cbShowvx = nullptr;
};

// Creates the window (object name "fmGraph") and the main window's hidden
// button "RD" (spdRedDiff).
GraphWindow* InstallGraphWindow(MainWindow& main);
