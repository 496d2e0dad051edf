// The micellar settings window ("Micellar Mode"): the switch of the micellar
// mode, the surfactant's constituent number, the micelle mobility, the CMC and
// the aggregation number, and three boxes that show the micelle, CMC and
// micelle-bound series of the main chart. A tool window that stays on top;
// bound to the run state (the micellar settings record).
#pragma once

#include "app/kit/state_binder.h"

#include <QWidget>

class ChartView;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;
struct ChartSeries;

class MicellarWindow : public QWidget, public StateWindow {
    Q_OBJECT
public:
    // `chart` is the main chart whose left axis a right click on a series box
    // fits to that series (none: no fitting).
    MicellarWindow(RunState& st, ChartView* chart, QWidget* parent = nullptr);

    RunState& State() override { return st_; }
    // Writes the settings into the controls; the run's switch and the four
    // visible edits are disabled while a run is active. The main window calls
    // it for the engine's RefreshMicellar.
    void ShowSettings();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Controls {
        QCheckBox* cbSDS = nullptr;
        QLineEdit *edNDet = nullptr, *edMic = nullptr, *edCMC = nullptr, *edOM = nullptr;
        QCheckBox *cbShowMic = nullptr, *cbComplex = nullptr, *cbShowCMC = nullptr;
        QLineEdit *edCMCL = nullptr, *edCMCR = nullptr, *edCMCC = nullptr, *edCMCW = nullptr;
        QCheckBox* cbIngoreSNA = nullptr;
        QGroupBox* gbMode = nullptr;
        QRadioButton *rbC0 = nullptr, *rbCT = nullptr;
        QPushButton *BitBtn1 = nullptr, *bnClose = nullptr;
    };
    void Build();
    void Bind();
    // A series box: the series is shown while its box is checked and the
    // chart shows the profiles.
    void ShowSeries(ChartSeries& series, bool checked);
    // Right click on a series box: the left axis spans the series.
    void FocusSeries(QCheckBox* box);

    RunState& st_;
    ChartView* chart_;
    Controls c_;
};

// Creates the window (object name "fmSDS") and its menu entry "SDS" (object
// name "SDS1"), which the main window keeps hidden: the mode is reached through
// project files and sequence frames. The entry joins the Tools menu when the
// menu bar has one, else the window's own actions.
MicellarWindow* InstallMicellarWindow(QMainWindow& main, RunState& st);
