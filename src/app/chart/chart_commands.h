// The main chart's commands: point hints on a left click (nearest point within
// the hint tolerance, else the chart's own hit test), the fit of the vertical
// axis on a double click of a profile-list item, the check lists' pop-up menu
// (check all, uncheck all, check constituents, copy to clipboard), Save to BMP,
// and the detector record's file commands and two cuts.
#pragma once

#include "tools/chart_hints.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class ChartView;
class MainWindow;
class QAbstractButton;
class QCPAbstractPlottable;
class QListWidget;
class QMenu;
class QMouseEvent;
class RunState;
struct ChartSeries;
struct RunSeries;

class ChartCommands : public QObject {
    Q_OBJECT
public:
    explicit ChartCommands(MainWindow& main);

    ChartClick Click() const { return click_; }

    // A press on the chart at widget position (x, y); true when the nearest-point
    // search took it (the hint, if any, has been shown).
    bool GraphMouseDown(MouseButton button, double x, double y);
    // The description of a point, shown for a left press.
    void ShowPoint(const ChartSeries& series, int index, MouseButton button);
    // Fits the vertical axis to item `row` of the shown check list.
    void ListDoubleClick(bool detector, int row);

    void CheckAll1Click();
    void UncheckAll1Click();
    void C1Click();
    void CopytoClipboard1Click();
    void SavetoBMP1Click();
    // Detector > "Save ..." and "Open ...": the detector record to and from a
    // ".det" file, each in the directory of its last success (first: "det"
    // under the program directory). Open appends to the record of a run.
    void Save1Click();
    void OpenDetector1Click();
    // The file dialog of the two commands (save or open, start directory); an
    // empty name is a cancel. Tests replace it.
    std::function<QString(bool save, const QString& dir)> ChooseDetectorFile;
    void Skiptopoint1Click();
    void Skipfrompoint1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RunState& St();
    QListWidget* CurrentList();
    // Sets the check of every item for which `which(item)` holds.
    template <class F>
    void CheckItems(bool on, F which);
    void SeriesClicked(QCPAbstractPlottable* plottable, int dataIndex, QMouseEvent* event);
    void FitTo(const ChartSeries* series);
    // Asks for a sample of the detector record and cuts the record there.
    void Skip(const char* prompt, bool (*cut)(RunSeries&, int));

    MainWindow& main_;
    ChartView* graph_;
    QListWidget* clbGraph_;
    QListWidget* clbDet_;
    ChartClick click_;
    bool swallowRelease_ = false;
    std::string detSaveDir_, detOpenDir_;  // directories of the last detector save and open
};

// Creates the commands for `main`: the chart's press handling, the check lists'
// double click and pop-up menu "popClbGraph", the hidden Tools entry
// "Save to BMP" and the hidden "Detector" menu ("Open ...", "Save ...", the two
// Skip entries).
ChartCommands* InstallChartCommands(MainWindow& main);
