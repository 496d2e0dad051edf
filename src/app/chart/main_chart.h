// The main window's chart: its fixed and per-constituent lines mirrored from
// the run's series, the two profile check lists that choose the shown lines
// (through the one item table of files/chart_lines.h), the profile and
// detector views with their saved axis ranges, the marker lines, the line
// width, the rescale and the chart's part of the redraw.
#pragma once

#include <utility>
#include <vector>

class ChartView;
class QCPGraph;
class QListWidget;
class RunState;
struct AdditionalState;
struct ChartSeries;
struct CheckListItem;

class MainChart {
public:
    // Creates the fixed lines in `graph`; `additional` is the main window's
    // pointer to the regulating-function switches (set once that window exists).
    MainChart(RunState& st, ChartView* graph, QListWidget* clbGraph, QListWidget* clbDet,
              AdditionalState* const& additional);
    // The chart's replot hook goes with the chart's lines.
    ~MainChart();
    MainChart(const MainChart&) = delete;
    MainChart& operator=(const MainChart&) = delete;

    // ---- check lists ---------------------------------------------------------
    // Rebuilds both check-list widgets from the run's check lists.
    void ShowCheckLists();
    // A check mark of one widget changed: the run's list follows, then the lines.
    void CheckListChanged(bool detector);
    // Shows and hides the lines by the check marks of the current view.
    void clbGraphClickCheck();

    // ---- lines and views ---------------------------------------------------------
    // Every series of the chart with its line, in the chart's order.
    std::vector<std::pair<ChartSeries*, QCPGraph*>> ChartLines() const;
    // Mirrors the run's series into the chart and asks for a queued repaint.
    void SyncChart();
    void ApplyLineWidth();
    // Titles, colours, shown lines and check lists of the current view.
    void SetupGraph();
    void DrawDetectorLine();
    void DrawWindowLines(int leftWall, int rightWall);
    // The left axis fitted to `series` (20 % margin above and below), the bottom axis automatic.
    void FitGraphTo(const ChartSeries& series);
    void RescaleGraph();
    // After the lines changed wholesale (New, Init, a failed open, a check
    // mark): the ranges of what is drawn, or those of the empty chart when
    // nothing is.
    void FitToLines();
    // Switches between the profile and the detector view, each with its saved ranges.
    void SwitchView();
    // The engine's part (drawn profiles) and the chart's part of the refresh.
    void RedrawGraph();
    // The engine's redraw event.
    void OnEngineRedraw();
    // The engine moved the detector (a sample was taken).
    void OnEngineDetectorLine();
    // A detector sample arrived: the detector view shows it.
    void OnDetectorSampled(bool pointAdded);
    void OnEngineArraysFreed(bool destroying);

private:
    void BuildSeries();
    void ShowCheckList(QListWidget* widget, std::vector<CheckListItem>& items);
    // Mirrors one series. A detector-record series only grows between clears,
    // so `record` series take just their new points while the count grows.
    void SyncSeries(ChartSeries& series, QCPGraph* graph, bool record = false);
    bool IsRecord(const ChartSeries& series) const;
    void SyncCompSeries();
    // The chart's part of the refresh, after the engine's. While a run goes the
    // lines take the series at the chart's next paint.
    void ShowRedraw();
    // The profiles computed from the run's arrays (field, ionic strength, ...,
    // the regulating functions).
    void FillComputedSeries();
    // Mirrors every series into its line (SyncChart without the repaint).
    void SyncLines();
    // SyncChart, but while a run goes the lines follow just before the next paint.
    void SyncChartAtReplot();
    QCPGraph* GraphOf(const ChartSeries& series) const;

    RunState& st_;
    ChartView* graph_;
    QListWidget* clbGraph_;
    QListWidget* clbDet_;
    AdditionalState* const& additional_;
    bool redrawing_ = false;            // inside the engine's part of the chart refresh
    bool syncPending_ = false;          // the lines wait for the next paint to take the series
    bool fillPending_ = false;          // the computed profiles wait for the next paint
    bool detectorLinePending_ = false;  // the detector line waits for the next paint

    // The run's fixed series and the chart lines that show them, in drawing order.
    std::vector<std::pair<ChartSeries*, QCPGraph*>> fixed_;
    std::vector<QCPGraph*> compGraphs_, detGraphs_;  // slot 0 unused
    QCPGraph* grLeftWall_ = nullptr;
    QCPGraph* grRightWall_ = nullptr;
    QCPGraph* grDetectorLine_ = nullptr;

    // Saved axis ranges of the two views.
    struct AxisRanges {
        double left[2] = {0, 0}, bottom[2] = {0, 0};
    };
    AxisRanges simRanges_, detRanges_;
    AxisRanges emptyRanges_;  // of the chart before anything was drawn
    bool simRangesSaved_ = false, detRangesSaved_ = false;
    bool simShowedAll_ = false, detShowedAll_ = false;
};
