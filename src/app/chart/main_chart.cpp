#include "app/chart/main_chart.h"

#include "app/chart/chart_view.h"
#include "app/kit/qt_convert.h"
#include "app/kit/qt_dialogs.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/step_services.h"
#include "files/chart_lines.h"
#include "tools/chart_hints.h"
#include "tools/reg_functions.h"

#include <QListWidget>

#include <algorithm>
#include <cstdint>

namespace {

bool Checked(const std::vector<CheckListItem>& list, int i)
{
    return i >= 0 && i < static_cast<int>(list.size()) && list[static_cast<std::size_t>(i)].checked;
}

// Runs `apply(series, checked)` for items 0 .. count-1 that the item table maps
// to a series; an item that the list does not hold counts as unchecked.
template <class F>
void ForListItems(RunSeries& s, int nComp, bool detector, int count, F apply)
{
    const std::vector<CheckListItem>& list = detector ? s.clbDet : s.clbGraph;
    for (int item = 0; item < count; ++item)
        if (ChartSeries* series = CheckListItemSeries(s, nComp, detector, item))
            apply(*series, Checked(list, item));
}

void SetActive(ChartSeries& series, bool on)
{
    series.active = on;
}

}  // namespace

MainChart::MainChart(RunState& st, ChartView* graph, QListWidget* clbGraph, QListWidget* clbDet,
                     AdditionalState* const& additional)
    : st_(st), graph_(graph), clbGraph_(clbGraph), clbDet_(clbDet), additional_(additional)
{
    BuildSeries();
    emptyRanges_ = {{graph_->yAxis->range().lower, graph_->yAxis->range().upper},
                    {graph_->xAxis->range().lower, graph_->xAxis->range().upper}};
    // The work left for the paint runs inside the chart's replot: nothing it
    // raises may leave the replot, which would then refuse every later one.
    graph_->SetBeforeReplot([this] {
        Guarded([this] {
            if (detectorLinePending_) DrawDetectorLine();
            if (fillPending_) FillComputedSeries();
            if (syncPending_) SyncLines();
        });
    });
}

MainChart::~MainChart()
{
    graph_->SetBeforeReplot(nullptr);
}

void MainChart::BuildSeries()
{
    // Series of the chart, in the order of the window's layout.
    RunSeries& s = st_.Series;
    struct Fixed {
        ChartSeries* series;
        const char* title;
        std::uint32_t colour;
        bool active;
    };
    const std::uint32_t black = 0x000000, teal = 0x808000, maroon = 0x000080, olive = 0x008080,
                        purple = 0x800080, red = 0x0000FF, green = 0x008000;
    const Fixed fixed[] = {
        {&s.sr_conductivity, "Conductivity (x-scale)", black, true},
        {&s.sr_pH, "pH (x-scale)", 15827199, true},
        {&s.DET_pH, "pH (detector)", 15827199, false},
        {&s.DET_conductivity, "Conductivity (detector)", black, false},
        {&s.sr_detectorLine, "Detector Line", 1082594, false},
        {&s.sr_LeftWall, "Left Wall", black, false},
        {&s.sr_RightWall, "Right Wall", black, false},
        {&s.sr_mic, "Micelles", 33023, false},
        {&s.sr_CMC, "CMC", teal, true},
        {&s.DET_volt, "Voltage", maroon, true},
        {&s.DET_CDen, "Current", olive, true},
        {&s.sr_diam, "Diameter", purple, false},
        {&s.sr_DER, "DER", 13271159, false},
        {&s.sr_MicDye, "Mic-Dye", 4194432, false},
        {&s.sr_reg[1], "RegFN1", 4194432, false},
        {&s.sr_reg[2], "RegFN2", 16744448, false},
        {&s.sr_reg[3], "RegFN3", 8421440, false},
        {&s.sr_reg[4], "RegFN4", olive, false},
        {&s.sr_reg[5], "RegFN5", 39680, false},
        {&s.sr_reg[6], "RegFN6", 10893213, false},
        {&s.sr_reg[7], "RegFN7", 7572447, false},
        {&s.sr_reg[8], "RegFN8", 15558243, false},
        {&s.sr_S, "S(x) - Cross-Section Area, 1e-9 m2", 12615808, true},
        {&s.sr_E, "E - Intensity of Electric Field, kV/m", 33410, true},
        {&s.sr_T, "T - Temperature, \u00b0C", 176, true},
        {&s.sr_j, "j - Current Density, 1e3 A/m2", 18504, true},
        {&s.sr_IS, "Ionic Strength, mM", 33023, true},
        {&s.sr_P, "P/L - Power per Length, W/m", 16744448, true},
        {&s.sr_potential, "Potential, kV", 3260672, true},
        {&s.sr_mix, "Mixing Distribution, no. of mixing per sec. (max. 1 per step)", 4227072, true},
        {&s.sr_Ui, "U(x), V", 6684876, true},
        {&s.sr_pi, "p(x), 1e-9 K*m3*W-1", 13657606, true},
        {&s.sr_elneut, "Electroneutrality (1e-12 mM)", red, true},
        {&s.DET_T, "Temperature (\u00b0C)", green, true},
        {&s.sr_Svol, "Svol(x) - Volume Cross-Section Area, 1e-9 m2", 848803, false},
    };
    for (const Fixed& f : fixed) {
        bool marker = f.series == &s.sr_detectorLine || f.series == &s.sr_LeftWall ||
                      f.series == &s.sr_RightWall;
        if (f.series->title.empty()) f.series->title = f.title;
        f.series->colour = static_cast<int>(f.colour);
        f.series->active = f.active;
        QCPGraph* g = marker ? graph_->AddMarkerLine(f.title, f.colour)
                             : graph_->AddSeries(f.title, f.colour, false);
        if (marker) {
            if (f.series == &s.sr_detectorLine)
                grDetectorLine_ = g;
            else if (f.series == &s.sr_LeftWall)
                grLeftWall_ = g;
            else
                grRightWall_ = g;
        }
        fixed_.emplace_back(f.series, g);
    }
    // The detector line is drawn over the wall lines, so that a wall that
    // reaches the detector never hides it (graphs of a layer are drawn in the
    // order they joined it; the profiles made at Init still come above).
    grDetectorLine_->setLayer(QLatin1String("overlay"));
    grDetectorLine_->setLayer(QLatin1String("main"));
    // Before the first Init the chart shows nothing.
    for (auto& [series, graph] : fixed_) graph->setVisible(false);
    compGraphs_.assign(1, nullptr);
    detGraphs_.assign(1, nullptr);
}

// ===== check lists =======================================================================

void MainChart::ShowCheckList(QListWidget* widget, std::vector<CheckListItem>& items)
{
    QSignalBlocker block(widget);
    bool same = widget->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < widget->count(); ++i)
        same = widget->item(i)->text() == Q(items[i].text);
    if (same) {
        for (int i = 0; i < widget->count(); ++i)
            widget->item(i)->setCheckState(items[i].checked ? Qt::Checked : Qt::Unchecked);
        return;
    }
    widget->clear();
    for (const CheckListItem& item : items) {
        auto* w = new QListWidgetItem(Q(item.text), widget);
        w->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        w->setCheckState(item.checked ? Qt::Checked : Qt::Unchecked);
    }
}

void MainChart::ShowCheckLists()
{
    ShowCheckList(clbGraph_, st_.Series.clbGraph);
    ShowCheckList(clbDet_, st_.Series.clbDet);
}

void MainChart::CheckListChanged(bool detector)
{
    QListWidget* widget = detector ? clbDet_ : clbGraph_;
    std::vector<CheckListItem>& items = detector ? st_.Series.clbDet : st_.Series.clbGraph;
    if (widget->count() != static_cast<int>(items.size())) return;
    for (int i = 0; i < widget->count(); ++i)
        items[i].checked = widget->item(i)->checkState() == Qt::Checked;
    clbGraphClickCheck();
    FitToLines();
}

void MainChart::clbGraphClickCheck()
{
    RunSeries& s = st_.Series;
    const int n = st_.NComp;
    if (s.clbGraph.size() < 2) return;
    if (st_.DetectorView) {
        if (static_cast<int>(s.clbDet.size()) < n + 5) return;
        ForListItems(s, n, true, n + 5, SetActive);
    } else {
        // The constituents follow their items (unchecked when the list lacks
        // them); the additional profiles only the items that the list holds.
        const int shown = ProfileListComps(st_);
        ForListItems(s, shown, false, std::max(static_cast<int>(s.clbGraph.size()), shown + 2),
                     SetActive);
    }
    SyncChart();
}

// ===== lines ==============================================================================

std::vector<std::pair<ChartSeries*, QCPGraph*>> MainChart::ChartLines() const
{
    std::vector<std::pair<ChartSeries*, QCPGraph*>> lines = fixed_;
    RunSeries& s = st_.Series;
    for (size_t i = 1; i < compGraphs_.size() && i < s.srComp.size(); ++i)
        lines.emplace_back(&s.srComp[i], compGraphs_[i]);
    for (size_t i = 1; i < detGraphs_.size() && i < s.srDetComp.size(); ++i)
        lines.emplace_back(&s.srDetComp[i], detGraphs_[i]);
    return lines;
}

QCPGraph* MainChart::GraphOf(const ChartSeries& series) const
{
    for (const auto& [s, g] : fixed_)
        if (s == &series) return g;
    return nullptr;
}

bool MainChart::IsRecord(const ChartSeries& series) const
{
    const RunSeries& s = st_.Series;
    return &series == &s.DET_pH || &series == &s.DET_conductivity || &series == &s.DET_volt ||
           &series == &s.DET_CDen || &series == &s.DET_T;
}

void MainChart::SyncSeries(ChartSeries& series, QCPGraph* graph, bool record)
{
    if (!graph) return;
    graph->setName(Q(series.title));
    QPen pen = graph->pen();
    pen.setColor(ColourFromBGR(static_cast<std::uint32_t>(series.colour)));
    graph->setPen(pen);
    graph->setVisible(series.active);
    if (!series.active) return;
    int n = static_cast<int>(std::min(series.x.size(), series.y.size()));
    const int shown = graph->dataCount();
    // The shown points are still the start of the record when its first and last keys agree.
    bool grown = record && shown <= n &&
                 (shown == 0 || (graph->data()->constBegin()->key == series.x[0] &&
                                 (graph->data()->constEnd() - 1)->key == series.x[shown - 1]));
    if (grown)
        ChartView::AppendPoints(graph, series.x.data(), series.y.data(), shown, n);
    else
        ChartView::SetPoints(graph, series.x.data(), series.y.data(), n);
}

void MainChart::SyncCompSeries()
{
    RunSeries& s = st_.Series;
    auto resize = [this](std::vector<QCPGraph*>& graphs, size_t count) {
        if (count < 1) count = 1;
        while (graphs.size() > count) {
            graph_->RemoveSeries(graphs.back());
            graphs.pop_back();
        }
        while (graphs.size() < count) {
            graphs.push_back(graph_->AddSeries(QString(), 0, false));
            QPen pen = graphs.back()->pen();
            pen.setWidth(st_.Options.DrawnLineWidth());
            graphs.back()->setPen(pen);
        }
    };
    resize(compGraphs_, s.srComp.size());
    resize(detGraphs_, s.srDetComp.size());
    const RunState& st = st_;
    const EngineArrays& a = st.Arr;
    const double dx = st.NX > 0 ? st.CapLength / st.NX * st.XScale : 0;
    for (size_t i = 1; i < s.srComp.size(); ++i) {
        ChartSeries& series = s.srComp[i];
        QCPGraph* g = compGraphs_[i];
        // A preview of the distribution tool holds its own points.
        bool drawn = !st.DistPreview && a.Allocated() && static_cast<int>(i) <= a.NComp &&
                     a.DrawnProfile.Rows() > static_cast<int>(i) && a.DrawnProfile.Cols() == a.Nn;
        if (!drawn) {
            SyncSeries(series, g);
            continue;
        }
        g->setName(Q(series.title));
        QPen pen = g->pen();
        pen.setColor(ColourFromBGR(static_cast<std::uint32_t>(series.colour)));
        g->setPen(pen);
        g->setVisible(series.active);
        if (series.active) ChartView::SetProfile(g, dx, a.DrawnProfile[static_cast<int>(i)], a.Nn);
    }
    for (size_t i = 1; i < s.srDetComp.size(); ++i) SyncSeries(s.srDetComp[i], detGraphs_[i], true);
}

void MainChart::SyncChart()
{
    SyncLines();
    graph_->RequestReplot();
}

// A run redraws every few steps, the chart is painted some times a second: the
// series are mirrored into the chart's lines once, just before the paint, from
// the run's series as the last redraw left them.
void MainChart::SyncChartAtReplot()
{
    if (!st_.Running) {
        SyncChart();
        return;
    }
    syncPending_ = true;
    graph_->RequestReplot();
}

void MainChart::SyncLines()
{
    syncPending_ = false;
    for (auto& [series, graph] : fixed_) {
        if (graph == grLeftWall_ || graph == grRightWall_ || graph == grDetectorLine_) {
            graph->setVisible(series->active && series->Count() > 0);
            if (series->Count() > 0)
                graph_->SetMarkerX(graph, series->x[0]);
            else
                graph->data()->clear();
            continue;
        }
        SyncSeries(*series, graph, IsRecord(*series));
    }
    SyncCompSeries();
}

void MainChart::ApplyLineWidth()
{
    RunSeries& s = st_.Series;
    auto width = [this](QCPGraph* g) {
        if (!g) return;
        QPen pen = g->pen();
        pen.setWidth(st_.Options.DrawnLineWidth());
        g->setPen(pen);
    };
    for (ChartSeries* series :
         {&s.sr_pH, &s.sr_conductivity, &s.sr_detectorLine, &s.sr_LeftWall, &s.sr_RightWall,
          &s.DET_pH, &s.DET_conductivity, &s.DET_volt, &s.DET_CDen, &s.DET_T})
        width(GraphOf(*series));
    if (st_.Initialised) {
        SyncCompSeries();
        for (size_t i = 1; i < compGraphs_.size(); ++i) width(compGraphs_[i]);
        for (size_t i = 1; i < detGraphs_.size(); ++i) width(detGraphs_[i]);
    }
    graph_->RequestReplot();
}

// ===== views ==============================================================================

void MainChart::SetupGraph()
{
    RunState& st = st_;
    RunSeries& s = st.Series;
    ShowCheckLists();  // the lists may have been rebuilt by Init or a loader
    const int n = st.NComp;
    // The sequence player shows its frames on the arrays it built, without a run.
    const bool shown = st.Initialised || (st.Arr.Allocated() && !st.PsqPlayerReloadNeeded);
    if (st.DetectorView) {
        graph_->SetTitle("Detector");
        graph_->xAxis->setLabel("Time (min)");
        graph_->yAxis->setLabel("Concentration (mM), Conductivity (1e-2 S/m), pH");
        graph_->SetBackgroundColour(st.Options.DetColor);
        if (shown) {
            for (ChartSeries* x :
                 {&s.sr_conductivity, &s.sr_pH, &s.sr_E, &s.sr_IS, &s.sr_S, &s.sr_T, &s.sr_P,
                  &s.sr_j, &s.sr_potential, &s.sr_Ui, &s.sr_mix, &s.sr_pi, &s.sr_elneut,
                  &s.sr_LeftWall, &s.sr_RightWall, &s.sr_mic, &s.sr_CMC, &s.sr_MicDye})
                x->active = false;
            for (size_t i = 1; i < s.srComp.size(); ++i) s.srComp[i].active = false;
            clbGraph_->setVisible(false);
            // Checked items are shown; unchecked ones keep their state.
            ForListItems(s, n, true, static_cast<int>(s.clbDet.size()),
                         [](ChartSeries& x, bool on) {
                             if (on) x.active = true;
                         });
            clbDet_->setVisible(true);
        }
    } else {
        graph_->SetTitle("Profiles");
        if (st.XScale == 1)
            graph_->xAxis->setLabel("Position in capillary (m)");
        else if (st.XScale == 1000)
            graph_->xAxis->setLabel("Position in capillary (mm)");
        graph_->yAxis->setLabel("Concentration (mM), Conductivity (1e-2 S/m), pH");
        graph_->SetBackgroundColour(st.Options.SimColor);
        if (shown) {
            // The list may hold more constituents than the run (a preview of
            // the initial-distribution tool with added constituents).
            const int listed = ProfileListComps(st);
            // The additional profiles S .. elneut count only when the list was filled with them.
            const bool additional = static_cast<int>(s.clbGraph.size()) > listed + 4;
            ForListItems(s, listed, false, additional ? listed + 13 : listed + 4, SetActive);
            // Profile series beyond the list's constituents follow the items of the list.
            for (int i = listed + 1; i < static_cast<int>(s.srComp.size()); ++i)
                s.srComp[static_cast<std::size_t>(i)].active = Checked(s.clbGraph, i + 1);
            s.sr_LeftWall.active = s.sr_RightWall.active = !st.DistPreview;
            if (st.cbSDS) {
                s.sr_mic.active = st.cbShowMic;
                s.sr_CMC.active = st.cbShowCMC;
                s.sr_MicDye.active = st.cbMicComplex;
            }
            clbGraph_->setVisible(true);
            for (ChartSeries* x :
                 {&s.DET_pH, &s.DET_conductivity, &s.DET_volt, &s.DET_CDen, &s.DET_T})
                x->active = false;
            for (size_t i = 1; i < s.srDetComp.size(); ++i) s.srDetComp[i].active = false;
            clbDet_->setVisible(false);
        }
    }
    DrawDetectorLine();
    SyncChart();
}

void MainChart::DrawDetectorLine()
{
    detectorLinePending_ = false;
    RunState& st = st_;
    ChartSeries& line = st.Series.sr_detectorLine;
    if (!st.Initialised && line.Count() == 0) {
        // Before the first Init the line has no points.
        return;
    }
    if (!st.cbDetectorOn || st.DistPreview) {
        line.active = false;
        return;
    }
    double x = 0.001 * st.DetPosition;
    if (st.cbDetectorOn && !st.DiffMode && st.cbEnableEOF)
        x -= st.EOFMob * st.U * st.Time / (st.CapLength + st.FakeCapLen);
    int d = DetectorNode(st, x * 1000);
    double px = x * st.XScale;
    line.x.assign(2, px);
    line.y.resize(2);
    line.active = d >= 0 && !st.DetectorView;
    if (QCPGraph* g = grDetectorLine_) {
        g->setVisible(line.active);
        graph_->SetMarkerX(g, px);
    }
}

void MainChart::DrawWindowLines(int leftWall, int rightWall)
{
    RunState& st = st_;
    auto place = [&](ChartSeries& s, QCPGraph* g, int node) {
        double x = NodeX(st, node);
        s.x.assign(2, x);
        s.y.resize(2);
        graph_->SetMarkerX(g, x);
        g->setVisible(s.active);
    };
    place(st.Series.sr_LeftWall, grLeftWall_, leftWall);
    place(st.Series.sr_RightWall, grRightWall_, rightWall);
    graph_->RequestReplot();
}

void MainChart::FitGraphTo(const ChartSeries& series)
{
    const auto range = FitValueRange(ChartLine(st_, series));
    if (!range) return;
    graph_->SetRangeY(range->lower, range->upper);
    graph_->SetAutoX(true);
    RedrawGraph();
}

void MainChart::RescaleGraph()
{
    RunState& st = st_;
    RunSeries& s = st.Series;
    if (!st.DetectorView) {
        if (s.sr_pH.Count() == 0 && !st.Initialised) return;
        SyncChart();
        for (QCPGraph* g : {grLeftWall_, grRightWall_, grDetectorLine_}) g->setVisible(false);
        graph_->RescaleWithMargin();
        if (!st.DistPreview) {
            grLeftWall_->setVisible(s.sr_LeftWall.active && s.sr_LeftWall.Count() > 0);
            grRightWall_->setVisible(s.sr_RightWall.active && s.sr_RightWall.Count() > 0);
        }
    } else {
        if (s.DET_pH.Count() == 0) return;
        SyncChart();
        graph_->RescaleWithMargin();
    }
    DrawDetectorLine();
    graph_->RequestReplot();
}

void MainChart::FitToLines()
{
    const RunSeries& s = st_.Series;
    const bool drawn =
        st_.DetectorView ? s.DET_pH.Count() > 0 : st_.Initialised || s.sr_pH.Count() > 0;
    if (drawn) {
        RescaleGraph();
        return;
    }
    graph_->SetRangeY(emptyRanges_.left[0], emptyRanges_.left[1]);
    graph_->SetRangeX(emptyRanges_.bottom[0], emptyRanges_.bottom[1]);
    graph_->SetAutoX(true);
    graph_->SetAutoY(true);
    graph_->RequestReplot();
}

void MainChart::SwitchView()
{
    RunState& st = st_;
    RunSeries& s = st.Series;
    if (!st.cbDetectorOn || !st.Initialised || st.DistPreview) {
        if (st.DetectorView) {
            st.DetectorView = false;
            SetupGraph();
        }
        return;
    }
    const QCPRange x = graph_->xAxis->range(), y = graph_->yAxis->range();
    auto save = [&](AxisRanges& r) {
        r.left[0] = y.lower;
        r.left[1] = y.upper;
        r.bottom[0] = x.lower;
        r.bottom[1] = x.upper;
    };
    auto restoreAll = [&](const AxisRanges& r) {
        graph_->SetRangeY(r.left[0], r.left[1]);
        graph_->SetRangeX(r.bottom[0], r.bottom[1]);
    };
    auto restoreLeft = [&](const AxisRanges& r) {
        graph_->SetRangeY(r.left[0], r.left[1]);
        graph_->SetAutoX(true);
    };
    if (st.DetectorView) {
        st.DetectorView = false;
        const ChartSeries& d = s.DET_pH;
        detShowedAll_ = d.x.empty() || (d.x.front() == x.lower && d.x.back() == x.upper);
        save(detRanges_);
        detRangesSaved_ = true;
        if (simRangesSaved_) {
            if (!simShowedAll_)
                restoreAll(simRanges_);
            else
                restoreLeft(simRanges_);
        }
    } else {
        st.DetectorView = true;
        bool showedAll = true;
        if (graph_->AutoX())
            showedAll = true;
        else if (s.sr_pH.Count() > 0) {
            double first = NodeX(st, 0), last = NodeX(st, st.NX);
            showedAll = first == x.lower && last == x.upper;
        }
        simShowedAll_ = showedAll;
        save(simRanges_);
        simRangesSaved_ = true;
        if (detRangesSaved_) {
            if (detShowedAll_ && s.DET_pH.Count() > 0)
                restoreLeft(detRanges_);
            else
                restoreAll(detRanges_);
        } else if (s.DET_pH.Count() == 0) {
            // An empty record has no time of its own: the axis spans the run
            // up to its stop time (min), not the capillary of the profiles.
            graph_->SetRangeX(0, st.StopTime > 0 ? st.StopTime / 60 : 1);
        }
    }
    SetupGraph();
}

// ===== refresh ==============================================================================

void MainChart::RedrawGraph()
{
    RunState& st = st_;
    if (!redrawing_) {
        // The engine copies the current profiles into the drawn ones and calls
        // back; without a run (a replayed frame, a preview) the chart shows the
        // series as they stand.
        const bool engineDraws = st.Initialised && !st.DistPreview;
        redrawing_ = true;
        try {
            ::RedrawGraph(st);
        } catch (...) {
            redrawing_ = false;
            throw;
        }
        redrawing_ = false;
        if (engineDraws) return;
    }
    ShowRedraw();
}

void MainChart::OnEngineRedraw()
{
    // The run loop has just copied the profiles it draws: the chart's part alone.
    if (st_.Running)
        ShowRedraw();
    else
        RedrawGraph();
}

void MainChart::ShowRedraw()
{
    RunState& st = st_;
    RunSeries& s = st.Series;
    const int nn = st.Arr.Allocated() ? st.Arr.Nn : 0;
    // Profiles that Init left without abscissae get them here.
    for (ChartSeries* p : {&s.sr_pH, &s.sr_conductivity}) {
        if (nn == 0 || p->Count() != nn || static_cast<int>(p->x.size()) == nn) continue;
        p->x.resize(nn);
        for (int j = 0; j < nn; ++j) p->x[j] = NodeX(st, j);
    }
    s.sr_DER.active = !st.DetectorView && st.NComp > 0 && st.cbNewCnt;
    if (st.Running) {
        // The detector line and the profiles computed from the arrays, as the
        // lines, at the next paint.
        detectorLinePending_ = fillPending_ = true;
        SyncChartAtReplot();
        return;
    }
    DrawDetectorLine();
    FillComputedSeries();
    SyncChart();
}

void MainChart::OnEngineDetectorLine()
{
    if (st_.Running)
        detectorLinePending_ = true;  // placed at the next paint
    else
        DrawDetectorLine();
}

void MainChart::FillComputedSeries()
{
    fillPending_ = false;
    RunState& st = st_;
    FillAdditionalSeries(st);
    if (additional_)
        FillRegulationFunctions(st, *additional_);
    else
        for (int k = 1; k <= 8; ++k) st.Series.sr_reg[k].active = false;
}

void MainChart::OnDetectorSampled(bool pointAdded)
{
    if (!pointAdded || !st_.DetectorView) return;
    SyncChartAtReplot();
}

void MainChart::OnEngineArraysFreed(bool destroying)
{
    if (destroying) return;
    SyncChart();
}
