// The main chart driven through the real main window: each item of the two
// check lists shows exactly the line it names, and every kind of engine event
// reaches a window that does something with it.
#include "qt_test_env.h"

#include "app/windows/small_windows.h"
#include "engine/step/run_series.h"

#include <functional>
#include <map>
#include <set>

namespace {

// The line title behind each item text of the two lists, written from the
// window's layout (item texts and series titles), not from the item table.
std::string ProfileLineOf(const std::string& item)
{
    static const std::map<std::string, std::string> lines = {
        {"pH", "pH (x-scale)"},
        {"Conductivity", "Conductivity (x-scale)"},
        {"E - Intensity", "E - Intensity of Electric Field, kV/m"},
        {"Ionic Strength", "Ionic Strength, mM"},
        {"S - Cross-Section", "S(x) - Cross-Section Area, 1e-9 m2"},
        {"Temperature", "T - Temperature, \u00b0C"},
        {"P - Power", "P/L - Power per Length, W/m"},
        {"Current Density", "j - Current Density, 1e3 A/m2"},
        {"Potential", "Potential, kV"},
        {"U(x)", "U(x), V"},
        {"Mix", "Mixing Distribution, no. of mixing per sec. (max. 1 per step)"},
        {"p(x) - Power Heating", "p(x), 1e-9 K*m3*W-1"},
        {"Electroneutrality", "Electroneutrality (1e-12 mM)"}};
    auto it = lines.find(item);
    return it != lines.end() ? it->second : item + " (x-scale)";
}

std::string DetectorLineOf(const std::string& item)
{
    static const std::map<std::string, std::string> lines = {
        {"pH", "pH (detector)"},
        {"Conductivity", "Conductivity (detector)"},
        {"Voltage", "Voltage"},
        {"Current", "Current"},
        {"Temperature", "Temperature (\u00b0C)"}};
    auto it = lines.find(item);
    return it != lines.end() ? it->second : item + " (detector)";
}

// The titles of the chart's visible lines among `titles`.
std::set<std::string> VisibleAmong(const MainWindow& w, const std::set<std::string>& titles)
{
    std::set<std::string> shown;
    QCustomPlot* plot = Ctl<QCustomPlot>(w, "Graph");
    for (int i = 0; i < plot->graphCount(); ++i) {
        // The chart names its lines by their UTF-8 titles ("°C" stays "°C").
        const std::string name = plot->graph(i)->name().toStdString();
        if (plot->graph(i)->visible() && titles.count(name)) shown.insert(name);
    }
    return shown;
}

// Checks item after item alone through the list's check marks; each time the
// one line that the item names is the only line of the list shown.
void EachItemShowsItsLine(MainWindow& w, const char* listName,
                          std::string (*lineOf)(const std::string&))
{
    auto* list = Ctl<QListWidget>(w, listName);
    ASSERT_TRUE(list->isVisible());
    std::set<std::string> titles;
    for (int i = 0; i < list->count(); ++i)
        titles.insert(lineOf(list->item(i)->text().toStdString()));
    ASSERT_EQ(titles.size(), static_cast<std::size_t>(list->count()));
    for (int i = 0; i < list->count(); ++i) {
        for (int k = 0; k < list->count(); ++k)
            list->item(k)->setCheckState(k == i ? Qt::Checked : Qt::Unchecked);
        const std::string item = list->item(i)->text().toStdString();
        EXPECT_EQ(VisibleAmong(w, titles), std::set<std::string>{lineOf(item)})
            << listName << " item " << i << " " << item;
        // The view set up again (as Init, an open or the options do) shows the same line.
        w.SetupGraph();
        EXPECT_EQ(VisibleAmong(w, titles), std::set<std::string>{lineOf(item)})
            << listName << " set up, item " << i;
    }
    for (int k = 0; k < list->count(); ++k) list->item(k)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(VisibleAmong(w, titles).empty()) << listName;
}

}  // namespace

// With the additional profiles in the list (pH, conductivity, the constituents,
// E, IS and nine more) and in the detector view, every item shows its own line.
TEST_F(ExampleWindow, EachCheckListItemShowsTheLineItNames)
{
    RunState& st = St();
    st.cbGraphAdd = true;
    Click(*w, "bbnInit");
    ASSERT_TRUE(st.Initialised);
    ASSERT_EQ(static_cast<int>(st.Series.clbGraph.size()), st.NComp + 13);
    EachItemShowsItsLine(*w, "clbGraph", ProfileLineOf);

    if (!st.cbDetectorOn) Ctl<QCheckBox>(*w, "cbDetectorOn")->click();
    ASSERT_TRUE(st.cbDetectorOn);
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView);
    ASSERT_EQ(static_cast<int>(st.Series.clbDet.size()), st.NComp + 5);
    // Each detector line holds a sample, so that a shown line is drawn.
    for (const auto& [series, graph] : w->ChartLines())
        if (series->title.find("(detector)") != std::string::npos ||
            series == &st.Series.DET_volt || series == &st.Series.DET_CDen ||
            series == &st.Series.DET_T)
            series->Add(0.5, 1.0);
    EachItemShowsItsLine(*w, "clbDet", DetectorLineOf);
}

// Every kind of engine event, sent through the run state's listeners as the
// engine sends it, changes what a window shows. A new kind fails here until a
// window listens to it and its effect is checked below.
TEST_F(ExampleWindow, EveryEngineEventKindReachesAWindowThatActsOnIt)
{
    RunState& st = St();
    MainWindow& main = *w;
    auto send = [&st](const EngineEvent& e) { st.Events.Emit(e); };
    auto firstValue = [&main](const char* title) {
        const std::vector<double> v = Values(GraphNamed(main, title));
        return v.empty() ? -1.0 : v.front();
    };
    using K = EngineEventKind;
    const std::map<K, std::function<void()>> checks = {
        {K::RedrawGraph,
         [&] {
             ASSERT_FALSE(st.Arr.PH.empty());
             st.Arr.PH[0] = 13.5;
             send(K::RedrawGraph);
             EXPECT_DOUBLE_EQ(firstValue("pH (x-scale)"), 13.5);
         }},
        {K::UpdateMainInfo,
         [&] {
             st.FileName = "named_by_the_event.sna";
             send(K::UpdateMainInfo);
             EXPECT_TRUE(main.windowTitle().endsWith("named_by_the_event.sna"));
         }},
        {K::SetupGraph,
         [&] {
             st.DetectorView = true;
             send(K::SetupGraph);
             EXPECT_EQ(Ctl<ChartView>(main, "Graph")->Title(), "Detector");
             EXPECT_TRUE(Ctl<QListWidget>(main, "clbDet")->isVisible());
             st.DetectorView = false;
             send(K::SetupGraph);
             EXPECT_TRUE(Ctl<QListWidget>(main, "clbGraph")->isVisible());
         }},
        {K::DrawWindowLines,
         [&] {
             send(EngineEvent::Pair(K::DrawWindowLines, 7, 30));
             EXPECT_DOUBLE_EQ(GraphNamed(main, "Left Wall")->data()->constBegin()->key,
                              NodeX(st, 7));
             EXPECT_DOUBLE_EQ(GraphNamed(main, "Right Wall")->data()->constBegin()->key,
                              NodeX(st, 30));
         }},
        {K::DrawDetectorLine,
         [&] {
             st.cbDetectorOn = true;
             st.DetPosition = 12.5;  // mm
             send(K::DrawDetectorLine);
             EXPECT_DOUBLE_EQ(GraphNamed(main, "Detector Line")->data()->constBegin()->key,
                              0.0125 * st.XScale);
         }},
        {K::DetectorSampled,
         [&] {
             int refreshed = 0;
             main.InfoRefreshers.push_back([&refreshed] { ++refreshed; });
             send(EngineEvent::Flag(K::DetectorSampled, true));
             main.InfoRefreshers.pop_back();
             EXPECT_EQ(refreshed, 1);
         }},
        {K::ShowAdditionalInfo,
         [&] {
             st.StepCount = 4242;
             send(K::ShowAdditionalInfo);
             EXPECT_EQ(Ctl<QLabel>(main, "llMainCValue")->text(), "4242");
         }},
        {K::ShowMessageWindow,
         [&] {
             send(EngineEvent::Lines(K::ShowMessageWindow, {"first line", "second line"}));
             const std::vector<std::string> lines = MessageWindowOf(main)->Lines();
             ASSERT_GE(lines.size(), 2u);
             EXPECT_EQ(lines[lines.size() - 2], "first line");
             EXPECT_EQ(lines.back(), "second line");
         }},
        {K::GeometryEditsEnabled,
         [&] {
             auto* setup = Ctl<QDialog>(main, "fmRunSetup");
             auto* nx = Ctl<QLineEdit>(*setup, "edNX");
             send(EngineEvent::Flag(K::GeometryEditsEnabled, false));
             EXPECT_FALSE(nx->isEnabled());
             EXPECT_FALSE(Ctl<QLineEdit>(*setup, "edCapLength")->isEnabled());
             send(EngineEvent::Flag(K::GeometryEditsEnabled, true));
             EXPECT_TRUE(nx->isEnabled());
         }},
        {K::DiffusionModeChanged,
         [&] {
             send(EngineEvent::Flag(K::DiffusionModeChanged, true));
             EXPECT_TRUE(Ctl<QToolButton>(main, "spdDiffPrecond")->isChecked());
             EXPECT_EQ(Ctl<QLabel>(main, "llTime")->text(), "Diff. time (s)");
             send(EngineEvent::Flag(K::DiffusionModeChanged, false));
             EXPECT_EQ(Ctl<QLabel>(main, "llTime")->text(), "Time (s)");
         }},
        {K::RefreshMicellar,
         [&] {
             st.Running = true;
             send(K::RefreshMicellar);
             st.Running = false;
             EXPECT_FALSE(Ctl<QCheckBox>(main, "cbSDS")->isEnabled());
             send(K::RefreshMicellar);
             EXPECT_TRUE(Ctl<QCheckBox>(main, "cbSDS")->isEnabled());
         }},
        {K::ShowRunSetupSettings,
         [&] {
             st.SetupChanged = true;
             send(K::ShowRunSetupSettings);
             EXPECT_TRUE(
                 Ctl<QPushButton>(*Ctl<QDialog>(main, "fmRunSetup"), "bnRestore")->isEnabled());
             st.SetupChanged = false;
             send(K::ShowRunSetupSettings);
             EXPECT_FALSE(
                 Ctl<QPushButton>(*Ctl<QDialog>(main, "fmRunSetup"), "bnRestore")->isEnabled());
         }},
        {K::ShowOptionSettings,
         [&] {
             st.Options.LineWidth = 5;
             send(K::ShowOptionSettings);
             EXPECT_EQ(Ctl<QSpinBox>(main, "udLineWidth")->value(), 5);
         }},
        {K::NewtonIterations,
         [&] {
             ASSERT_GT(st.Series.sr_DER.Count(), 3);
             send(EngineEvent::Pair(K::NewtonIterations, 3, 7));
             EXPECT_EQ(st.Series.sr_DER.y[3], 7.0);
         }},
        {K::EngineArraysFreed,
         [&] {
             ASSERT_TRUE(st.Series.sr_pH.active);
             st.Series.sr_pH.y[0] = 11.25;
             send(EngineEvent::Flag(K::EngineArraysFreed, false));
             EXPECT_DOUBLE_EQ(firstValue("pH (x-scale)"), 11.25);
         }},
    };
    int kinds = 0;
    for (int i = 0; EngineEventKindName(static_cast<K>(i)); ++i, ++kinds) {
        const K kind = static_cast<K>(i);
        SCOPED_TRACE(EngineEventKindName(kind));
        auto check = checks.find(kind);
        if (check == checks.end()) {
            ADD_FAILURE() << "no window is known to act on " << EngineEventKindName(kind);
            continue;
        }
        check->second();
    }
    EXPECT_EQ(kinds, static_cast<int>(checks.size()));
}

// The chart as the screen shows it: the grey of the chart's margin around the
// plot area, and the plot area in the colour of the view (profiles or
// detector) where no line crosses it.
TEST_F(ExampleWindow, ChartPaintsItsMarginAndThePlotAreaOfEachView)
{
    RunState& st = St();
    auto* chart = Ctl<ChartView>(*w, "Graph");
    st.Options.SimColor = 0x40A0E0;  // 0x00BBGGRR
    st.Options.DetColor = 0x207020;
    auto shown = [&] {
        chart->replot();
        return chart->grab().toImage();
    };
    auto plotCorner = [&](const QImage& image) {
        // Just inside the top left corner of the plot area, away from the axes' ticks.
        const QRect r = chart->axisRect()->rect();
        return image.pixelColor(r.left() + 4, r.top() + 4);
    };
    w->SetupGraph();
    QImage image = shown();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixelColor(1, 1), QColor(192, 192, 192));
    EXPECT_EQ(image.pixelColor(image.width() - 2, image.height() - 2), QColor(192, 192, 192));
    EXPECT_EQ(plotCorner(image), QColor(0xE0, 0xA0, 0x40));

    if (!st.cbDetectorOn) Ctl<QCheckBox>(*w, "cbDetectorOn")->click();
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView);
    image = shown();
    EXPECT_EQ(image.pixelColor(1, 1), QColor(192, 192, 192));
    EXPECT_EQ(plotCorner(image), QColor(0x20, 0x70, 0x20));
}

namespace {

// The lowest and highest value of the visible lines of the profile chart
// (the marker lines aside); nullopt when no line has points.
std::optional<QCPRange> DrawnValues(const MainWindow& w)
{
    QCustomPlot* plot = Ctl<QCustomPlot>(w, "Graph");
    std::optional<QCPRange> r;
    for (int i = 0; i < plot->graphCount(); ++i) {
        const QCPGraph* g = plot->graph(i);
        const QString name = g->name();
        if (!g->visible() || name == "Left Wall" || name == "Right Wall" || name == "Detector Line")
            continue;
        for (double v : Values(g)) {
            if (!r)
                r = QCPRange(v, v);
            else
                r->expand(v);
        }
    }
    return r;
}

// The left axis shows every drawn value and not much more (a margin of 10 % of
// the span on each side).
void AxisFitsTheLines(const MainWindow& w, const std::string& when)
{
    const auto drawn = DrawnValues(w);
    ASSERT_TRUE(drawn) << when;
    const QCPRange y = Ctl<QCustomPlot>(w, "Graph")->yAxis->range();
    const double span = drawn->upper - drawn->lower;
    EXPECT_LE(y.lower, drawn->lower) << when;
    EXPECT_GE(y.upper, drawn->upper) << when;
    EXPECT_LE(y.upper - y.lower, 1.25 * span) << when;
}

}  // namespace

// New leaves no line of the former project drawn, whatever was ticked, and the
// axes of an empty chart; the left axis follows the lines after a check mark
// changed and after Init.
TEST_F(ExampleWindow, NewClearsEveryLineAndTheAxisFollowsTheDrawnLines)
{
    auto* list = Ctl<QListWidget>(*w, "clbGraph");
    auto item = [&](const char* text) {
        const auto found = list->findItems(text, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1) << text;
        return found.isEmpty() ? nullptr : found.first();
    };
    auto* chart = Ctl<ChartView>(*w, "Graph");
    for (const char* text : {"E - Intensity", "Ionic Strength"}) {
        ASSERT_TRUE(item(text));
        item(text)->setCheckState(Qt::Checked);
        EXPECT_FALSE(Values(GraphNamed(*w, QString::fromStdString(ProfileLineOf(text)))).empty())
            << text;
        AxisFitsTheLines(*w, std::string("ticked ") + text);
    }
    item("E - Intensity")->setCheckState(Qt::Unchecked);
    AxisFitsTheLines(*w, "unticked");
    chart->SetRangeY(1000, 2000);  // zoomed far away
    Click(*w, "bbnInit");
    AxisFitsTheLines(*w, "Init");

    MainWindow fresh;
    const auto* empty = Ctl<ChartView>(fresh, "Graph");
    w->New1Click();
    QCustomPlot* plot = Ctl<QCustomPlot>(*w, "Graph");
    for (int i = 0; i < plot->graphCount(); ++i)
        EXPECT_TRUE(!plot->graph(i)->visible() || plot->graph(i)->dataCount() == 0)
            << plot->graph(i)->name().toStdString();
    EXPECT_EQ(std::pair(chart->xAxis->range(), chart->yAxis->range()),
              std::pair(empty->xAxis->range(), empty->yAxis->range()));
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}
