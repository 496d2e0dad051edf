// What the main window passes on between its chart, its engine and the other
// windows, driven through the real window on the initialised example run.
#include "qt_test_env.h"

#include "app/chart/chart_commands.h"
#include "app/kit/qt_convert.h"
#include "app/windows/init_dist_window.h"
#include "app/windows/option_window.h"
#include "app/windows/run_setup_window.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "support/recording_sink.h"
#include "tools/additional_info.h"

#include <cstring>
#include <fstream>
#include <functional>

namespace {

// Only the pH profile drawn (the other items of the profile list unchecked).
void ShowOnlyPH(MainWindow& w)
{
    auto* list = Ctl<QListWidget>(w, "clbGraph");
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(i == 0 ? Qt::Checked : Qt::Unchecked);
}

// A left press and release on the chart at the pixel of point `index` of `g`.
void ClickPoint(ChartView& chart, QCPGraph* g, int index)
{
    chart.replot();
    const auto p = (g->data()->constBegin() + index);
    const QPointF at = g->coordsToPixels(p->key, p->value);
    QTest::mouseClick(&chart, Qt::LeftButton, {}, at.toPoint());
}

// A click on the indicator of a check box or radio button.
void ClickBox(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Menu "Option": `act` works in the modal options window, then Close.
void InOptions(MainWindow& w, const std::function<void(OptionWindow&)>& act)
{
    auto* option = Ctl<OptionWindow>(w, "fmOption");
    bool done = false;
    QTimer::singleShot(0, [&] {
        act(*option);
        Click(*option, "bnClose");
        done = true;
    });
    Ctl<QAction>(w, "Option1")->trigger();
    EXPECT_TRUE(done && !option->isVisible());
}

}  // namespace

// A click on a profile remembers the point's value in the main window; Insert
// in the initial-distribution table writes that value into the current cell.
TEST_F(ExampleWindow, ClickedValueOfTheChartReachesTheDistributionTable)
{
    RunState& st = St();
    St().Options.SrT = 1000;  // the nearest profile is taken wherever the press lands vertically
    ShowOnlyPH(*w);
    auto* chart = Ctl<ChartView>(*w, "Graph");
    QCPGraph* pH = GraphNamed(*w, "pH (x-scale)");
    ASSERT_TRUE(pH && pH->visible() && pH->dataCount() == st.NX + 1);
    ClickPoint(*chart, pH, st.NX / 2);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("Name: pH (x-scale)", 0), 0u) << sink.messages[0];
    // The clicked node lies under the press; its value as the chart draws it.
    const int node = w->ClickedPoint;
    EXPECT_NEAR(node, st.NX / 2, st.NX / 50);
    const double value = pH->data()->at(node)->value;
    EXPECT_GT(value, 1.0);
    EXPECT_EQ(w->ClickedValue, value);

    auto* t = Ctl<InitDistWindow>(*w, "fmDist");
    Trigger("InitialDistribution1");
    ASSERT_TRUE(t->isVisible());
    Click(*t, "bnCreate");
    auto* grid = Ctl<QTableWidget>(*t, "sgData");
    ASSERT_GE(grid->rowCount(), 3);
    grid->setCurrentCell(2, 1);  // constituent 1 in segment 1
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_NEAR(grid->item(2, 1)->text().toDouble(), value, 1e-13 * value);  // 15 digits
    // A title cell takes nothing.
    grid->setCurrentCell(0, 1);
    const QString width = grid->item(0, 1)->text();
    QTest::keyClick(grid, Qt::Key_Insert);
    EXPECT_EQ(grid->item(0, 1)->text(), width);
    Click(*t, "bnClose");
}

// With "Newton Iteration Profile" checked, the profile shows how many Newton
// iterations the equilibrium of each node took: whole numbers from 1 to the
// iteration limit, after Init over the whole capillary, and again during a run.
TEST_F(ExampleWindow, NewtonIterationProfileShowsTheCountsOfTheSolver)
{
    RunState& st = St();
    auto* info = Ctl<QDialog>(*w, "fmAdditional");
    Trigger("AdditionalInfo1");
    ASSERT_TRUE(info->isVisible());
    QTest::mouseClick(Ctl<QCheckBox>(*info, "cbNewCnt"), Qt::LeftButton);
    ASSERT_TRUE(st.cbNewCnt);
    QCPGraph* der = GraphNamed(*w, "DER");
    ASSERT_NE(der, nullptr);
    auto counts = [&] {
        const std::vector<double> y = Values(der);
        EXPECT_EQ(y.size(), static_cast<std::size_t>(st.NX + 1));
        int lowest = INT_MAX, highest = 0;
        for (double v : y) {
            EXPECT_EQ(v, std::floor(v));
            lowest = std::min(lowest, static_cast<int>(v));
            highest = std::max(highest, static_cast<int>(v));
        }
        return std::pair(lowest, highest);
    };
    Click(*w, "bbnInit");
    ASSERT_TRUE(st.Initialised && der->visible());
    auto [low, high] = counts();
    EXPECT_GE(low, 1);  // every node was solved at Init
    EXPECT_LE(high, st.ItNew);

    st.StopTime = 0.05;
    Click(*w, "bbnStart");
    ASSERT_GT(st.StepCount, 0);
    std::tie(low, high) = counts();
    EXPECT_GE(low, 1);
    EXPECT_LE(high, st.ItNew);
    // The counts of the last step: no node needed more than the step's most.
    EXPECT_LE(high, std::max(st.NewtonItStep, st.NewtonItMax));
}

// After a change of the x-axis unit every profile along the capillary, the
// micellar ones included, lies on the new unit: node j at j / NX x length.
TEST(XAxisUnit, EveryProfileOfAMicellarRunFollowsTheUnit)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    w.show();
    RunState& st = w.State();
    TUnivSet<TComponents> comp;
    comp.Add(testcomp::StrongAnion("SDS", 30.0, testcomp::BGE, 20, 20));
    comp.Add(testcomp::StrongCation("Sodium", testcomp::kUNa, testcomp::BGE, 20, 20));
    comp.Add(testcomp::WeakBase("Base", 9.0, 30.0, testcomp::Analyte, 0, 0.1));
    testcomp::PrepareRun(st, comp, 40);
    st.PsqFileOwn = home.dir.file("run.psq");
    st.cbSDS = st.cbShowCMC = st.cbShowMic = st.cbMicComplex = true;
    Click(w, "bbnInit");
    ASSERT_TRUE(st.Initialised && st.SDSAtInit) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    const double length = st.CapLength;
    auto onUnit = [&](const ChartSeries& s, double scale) {
        if (s.Count() != st.NX + 1) return false;
        for (int j = 0; j <= st.NX; ++j)
            if (std::fabs(s.x[static_cast<std::size_t>(j)] - j * length / st.NX * scale) >
                1e-12 * length * scale)
                return false;
        return true;
    };
    RunSeries& s = st.Series;
    const std::pair<const char*, const ChartSeries*> micellar[] = {{"Micelles", &s.sr_mic},
                                                                   {"Mic-Dye", &s.sr_MicDye},
                                                                   {"CMC", &s.sr_CMC},
                                                                   {"pH (x-scale)", &s.sr_pH}};
    for (const auto& [title, series] : micellar) EXPECT_TRUE(onUnit(*series, 1000)) << title;

    InOptions(w, [](OptionWindow& o) { ClickBox(Ctl<QRadioButton>(o, "rbXAxisM")); });
    ASSERT_EQ(st.XScale, 1);
    for (const auto& [title, series] : micellar) {
        EXPECT_TRUE(onUnit(*series, 1)) << title;
        // The chart draws the same abscissae.
        QCPGraph* g = GraphNamed(w, title);
        ASSERT_NE(g, nullptr) << title;
        if (g->visible()) {
            ASSERT_EQ(g->dataCount(), st.NX + 1) << title;
            EXPECT_NEAR((g->data()->constEnd() - 1)->key, length, 1e-12) << title;
        }
    }
    EXPECT_TRUE(GraphNamed(w, "Micelles")->visible() && GraphNamed(w, "CMC")->visible());
}

// The hints of the run panel appear when the mouse rests on the control, and
// only while "Show Hints" is checked.
TEST_F(ShownMainWindow, RunPanelHintsShowWhileHintsAreOn)
{
    auto hintOf = [&](const char* name) {
        auto* c = Ctl<QWidget>(w, name);
        QToolTip::hideText();
        QHelpEvent rest(QEvent::ToolTip, QPoint(2, 2), c->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(c, &rest);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    };
    const std::pair<const char*, const char*> hints[] = {
        {"llEOFMob", "(units = 1e-9 m2/V/s)"},
        {"edTime", "Time of the run"},
        {"edError", "Current error of the run"},
        {"edStopTime", "The run stops when the time reaches this value"},
        {"edDT", "Time step in numerical solution"},
    };
    ASSERT_FALSE(Ctl<QCheckBox>(w, "cbShowHints")->isChecked());
    for (const auto& [name, hint] : hints) EXPECT_EQ(hintOf(name), "") << name;
    QTest::mouseClick(Ctl<QCheckBox>(w, "cbShowHints"), Qt::LeftButton, {}, QPoint(6, 6));
    ASSERT_TRUE(w.State().Options.cbShowHints);
    for (const auto& [name, hint] : hints) EXPECT_EQ(hintOf(name), hint) << name;
    QToolTip::hideText();
}

// The capillary ends in the status bar count from the zero point chosen in
// the options; Init, opening a project and a new start of the program keep
// the choice, and "another position" keeps its node. The run-setup and options
// windows show the state that Init leaves.
TEST(ZeroPoint, FollowsTheChosenButtonThroughInitOpenAndRestart)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string example = home.WriteExample();
    ASSERT_FALSE(example.empty());
    RunState ref;
    ComposeExampleDemo(ref);
    const int nx = ref.NXPending;
    const double mm = ref.CapLengthPending * 1000;  // capillary length in the axis unit
    // Ends of the capillary with the zero point at node z.
    auto endsAt = [&](int z) {
        return std::pair(FormatFloat("0.000", -z * mm / nx),
                         FormatFloat("0.000", (1 - double(z) / nx) * mm));
    };
    const int injection = static_cast<int>(std::lround(ref.InjSitePending / mm * nx));
    {
        MainWindow w;
        w.show();
        auto ends = [&] {
            return std::pair(Ctl<QLabel>(w, "sbPanel0")->text().toStdString(),
                             Ctl<QLabel>(w, "sbPanel4")->text().toStdString());
        };
        w.FormActivate();  // opens the example
        ASSERT_EQ(w.State().FileName, example);
        ASSERT_EQ(ends(), endsAt(injection));

        InOptions(w, [](OptionWindow& o) { ClickBox(Ctl<QRadioButton>(o, "rbLeft")); });
        EXPECT_EQ(ends(), endsAt(0));
        Click(w, "bbnInit");
        EXPECT_EQ(ends(), endsAt(0));
        EXPECT_TRUE(w.OpenFile(example));
        EXPECT_EQ(ends(), endsAt(0));

        InOptions(w, [](OptionWindow& o) { ClickBox(Ctl<QRadioButton>(o, "rbRight")); });
        EXPECT_EQ(ends(), endsAt(nx));
        Click(w, "bbnInit");
        EXPECT_EQ(ends(), endsAt(nx));

        // The centre: half the node count, rounded down.
        InOptions(w, [](OptionWindow& o) { ClickBox(Ctl<QRadioButton>(o, "rbCenter")); });
        EXPECT_EQ(ends(), endsAt(nx / 2));
        Click(w, "bbnInit");
        EXPECT_EQ(ends(), endsAt(nx / 2));
        EXPECT_TRUE(w.OpenFile(example));
        EXPECT_EQ(ends(), endsAt(nx / 2));

        InOptions(w, [](OptionWindow& o) {
            ClickBox(Ctl<QRadioButton>(o, "rbAnotherPos"));
            ASSERT_TRUE(Ctl<QLineEdit>(o, "edAnotherPos")->isEnabled());
            Enter(o, "edAnotherPos", "300");
        });
        EXPECT_EQ(ends(), endsAt(300));
        Click(w, "bbnInit");
        EXPECT_EQ(ends(), endsAt(300));
        EXPECT_TRUE(w.OpenFile(example));
        EXPECT_EQ(ends(), endsAt(300));
        w.New1Click();
        EXPECT_TRUE(w.OpenFile(example));
        EXPECT_EQ(ends(), endsAt(300));

        // The two windows, open beside the main window, show what Init leaves:
        // the walls' switches that Init resets, and the zero point at the new
        // injection site (5 mm).
        auto* setup = Ctl<RunSetupWindow>(w, "fmRunSetup");
        auto* option = Ctl<OptionWindow>(w, "fmOption");
        w.State().Options.ZeroPoint = kZeroInjSite;  // as a click would, without a refresh
        setup->show();
        option->show();
        ASSERT_TRUE(w.State().cbInitWalls);
        ClickBox(Ctl<QCheckBox>(*setup, "cbKeepDistance"));
        ASSERT_TRUE(w.State().cbKeepDistance);
        Enter(*setup, "edInjSite", "5");
        ASSERT_EQ(w.State().InjSitePending, 5.0);
        Click(w, "bbnInit");
        const int five = static_cast<int>(std::lround(5.0 / mm * nx));
        EXPECT_EQ(ends(), endsAt(five));
        EXPECT_FALSE(Ctl<QCheckBox>(*setup, "cbKeepDistance")->isChecked());
        EXPECT_TRUE(Ctl<QRadioButton>(*option, "rbInjSite")->isChecked());
        EXPECT_EQ(Ctl<QLineEdit>(*option, "edAnotherPos")->text(), QString::number(five));
        EXPECT_EQ(Ctl<QLabel>(*option, "llAnotherPos")->text(), "(5 mm)");
        setup->close();
        option->close();

        // Another position again, kept by the settings file of this start.
        InOptions(w, [](OptionWindow& o) {
            ClickBox(Ctl<QRadioButton>(o, "rbAnotherPos"));
            Enter(o, "edAnotherPos", "300");
        });
        EXPECT_EQ(ends(), endsAt(300));
        sink.answers = {true};
        ASSERT_TRUE(w.close());
    }
    MainWindow second;
    second.show();
    second.FormActivate();
    EXPECT_TRUE(second.OpenFile(example));
    EXPECT_EQ(std::pair(Ctl<QLabel>(second, "sbPanel0")->text().toStdString(),
                        Ctl<QLabel>(second, "sbPanel4")->text().toStdString()),
              endsAt(300));
    auto* option = Ctl<OptionWindow>(second, "fmOption");
    option->show();
    EXPECT_TRUE(Ctl<QRadioButton>(*option, "rbAnotherPos")->isChecked());
    EXPECT_EQ(Ctl<QLineEdit>(*option, "edAnotherPos")->text(), "300");
    option->close();
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

namespace {

// The header of a Windows bitmap file: the signature, the size stored in the
// file against the file's own size, and the image size.
struct BmpHeader {
    bool signature = false, sizeAgrees = false;
    int width = 0, height = 0;
};
BmpHeader ReadBmpHeader(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    BmpHeader h;
    if (b.size() < 26) return h;
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 |
               std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
    };
    h.signature = b[0] == 'B' && b[1] == 'M';
    h.sizeAgrees = u32(2) == b.size();
    h.width = static_cast<std::int32_t>(u32(18));
    h.height = std::abs(static_cast<std::int32_t>(u32(22)));
    return h;
}

// Pixels of the image drawn exactly in the colour.
int PixelsOf(const QImage& image, QColor colour)
{
    int n = 0;
    const QRgb want = colour.rgb();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == want;
    return n;
}

}  // namespace

// Save to BMP writes one bitmap per item of the shown list, each with that
// profile alone, and gives the list, the wall lines and the ranges back.
TEST_F(ExampleWindow, SaveToBmpDrawsEachProfileAloneAndRestoresTheChart)
{
    ScriptedInput input;
    RunState& st = St();
    auto* list = Ctl<QListWidget>(*w, "clbGraph");
    auto* chart = Ctl<ChartView>(*w, "Graph");
    std::vector<Qt::CheckState> before;
    for (int i = 0; i < list->count(); ++i) before.push_back(list->item(i)->checkState());
    ASSERT_EQ(list->count(), st.NComp + 4);

    chart->setNotAntialiasedElements(QCP::aeAll);  // lines in their exact colours
    // The lines drawn at each repaint of the command (the detector line aside).
    std::vector<std::vector<std::string>> drawn;
    auto record = QObject::connect(chart, &QCustomPlot::afterReplot, [&] {
        std::vector<std::string> shown;
        for (int i = 0; i < chart->graphCount(); ++i)
            if (chart->graph(i)->visible() && chart->graph(i)->dataCount() > 0 &&
                chart->graph(i)->name() != "Detector Line")
                shown.push_back(chart->graph(i)->name().toStdString());
        drawn.push_back(shown);
    });
    input.answers = {"run1"};
    Trigger("SavetoBMP1");
    QObject::disconnect(record);
    // One repaint per bitmap, each with its item's profile alone, without the walls.
    ASSERT_EQ(drawn.size(), static_cast<std::size_t>(list->count()));
    EXPECT_EQ(drawn[0], std::vector<std::string>{"pH (x-scale)"});
    for (int k = 1; k <= st.NComp; ++k)
        EXPECT_EQ(drawn[static_cast<std::size_t>(k + 1)],
                  std::vector<std::string>{st.Series.srComp[k].title});
    for (const auto& shown : drawn) EXPECT_EQ(shown.size(), 1u) << (shown.empty() ? "" : shown[0]);
    ASSERT_EQ(input.prompts,
              std::vector<std::string>{"Save Profiles to BMP|Input name of a directory"});
    const fs::path dir = home.dir.path() / "Export Bitmaps" / "run1";
    ASSERT_EQ(sink.messages,
              std::vector<std::string>{"BMP files successfully saved! \nDIR: " + dir.string()});
    EXPECT_TRUE(sink.warnings.empty());
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        files += entry.path().extension() == ".bmp";
    EXPECT_EQ(files, list->count());
    for (int i = 0; i < list->count(); ++i) {
        const fs::path file = dir / (list->item(i)->text().toStdString() + ".bmp");
        const BmpHeader h = ReadBmpHeader(file);
        EXPECT_TRUE(h.signature && h.sizeAgrees) << file;
        EXPECT_EQ(std::pair(h.width, h.height), std::pair(chart->width(), chart->height())) << file;
    }
    // The bitmap of a constituent shows its own line and no other constituent's.
    for (int k = 1; k <= st.NComp; ++k) {
        const QImage image(QString::fromStdString(
            (dir / (list->item(k + 1)->text().toStdString() + ".bmp")).string()));
        ASSERT_FALSE(image.isNull());
        for (int j = 1; j <= st.NComp; ++j) {
            const int n = PixelsOf(
                image, ColourFromBGR(static_cast<std::uint32_t>(st.Series.srComp[j].colour)));
            // A profile drawn across the plot covers hundreds of pixels; a few
            // pixels of a grey may come from the text's edges.
            if (j == k)
                EXPECT_GT(n, 300) << k;
            else
                EXPECT_LT(n, 30) << k << " shows " << j;
        }
    }
    // The check marks and the wall lines are back.
    for (int i = 0; i < list->count(); ++i) EXPECT_EQ(list->item(i)->checkState(), before[i]) << i;
    EXPECT_TRUE(st.Series.sr_LeftWall.active && st.Series.sr_RightWall.active);
    EXPECT_TRUE(GraphNamed(*w, QString::fromStdString(st.Series.srComp[1].title))->visible());
    EXPECT_TRUE(chart->AutoX());

    // The detector list: its own items, in a directory of its own.
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView);
    input.answers = {"det1"};
    Trigger("SavetoBMP1");
    files = 0;
    for (const auto& entry : fs::directory_iterator(home.dir.path() / "Export Bitmaps" / "det1"))
        files += entry.path().extension() == ".bmp";
    EXPECT_EQ(files, st.NComp + 5);

    // A list that is not of the run's shape makes no bitmaps.
    st.Series.clbDet.push_back({"extra", true, false});
    input.answers = {"det2"};
    Trigger("SavetoBMP1");
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Count of components doesn't match to the actual state"});
    EXPECT_FALSE(fs::exists(home.dir.path() / "Export Bitmaps" / "det2"));

    // A profile list with the nine additional profiles is of the run's shape too.
    st.cbGraphAdd = true;
    Click(*w, "bbnInit");
    ASSERT_TRUE(!st.DetectorView && list->count() == st.NComp + 13);
    input.answers = {"more"};
    Trigger("SavetoBMP1");
    files = 0;
    for (const auto& entry : fs::directory_iterator(home.dir.path() / "Export Bitmaps" / "more"))
        files += entry.path().extension() == ".bmp";
    EXPECT_EQ(files, st.NComp + 13);
    EXPECT_EQ(sink.warnings.size(), 1u);
}

// The hidden Detector menu saves the detector record in the detector file's
// layout and opens it again, appending to the record; each command starts in
// the directory of its last success.
TEST_F(ExampleWindow, DetectorMenuSavesAndOpensTheDetectorRecord)
{
    RunState& st = St();
    auto* commands = Ctl<ChartCommands>(*w, "ChartCommands");
    std::vector<std::pair<bool, std::string>> asked;
    std::string next;
    commands->ChooseDetectorFile = [&](bool save, const QString& dir) {
        asked.emplace_back(save, dir.toStdString());
        return QString::fromStdString(next);
    };
    st.StopTime = 0.2;
    Click(*w, "bbnStart");
    RunSeries& s = st.Series;
    const int points = s.DET_pH.Count();
    ASSERT_GT(points, 1);
    const int c = st.NComp;

    // The first save asks to create "det" in the program directory.
    const fs::path det = home.dir.path() / "det";
    next = (det / "first.det").string();
    sink.answers = {true};
    Trigger("Save1");
    ASSERT_EQ(asked.back(), std::pair(true, det.string()));
    EXPECT_EQ(sink.questions, std::vector<std::string>{"Create a New Directory?\n" + det.string()});
    std::ifstream in(det / "first.det", std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    auto text = [&] {
        const std::string t = b.c_str() + at;
        at += t.size() + 1;
        return t;
    };
    auto i32 = [&] {
        std::int32_t v;
        std::memcpy(&v, b.data() + at, 4);
        at += 4;
        return v;
    };
    auto f64 = [&] {
        double v;
        std::memcpy(&v, b.data() + at, 8);
        at += 8;
        return v;
    };
    ASSERT_EQ(text(), "KELVO DET FILE");
    EXPECT_EQ(text(), "1.0");
    EXPECT_EQ(i32(), points);
    const int names = i32();
    ASSERT_EQ(names, static_cast<int>(s.clbDet.size()));
    for (int k = 0; k < names; ++k) EXPECT_EQ(text(), s.clbDet[static_cast<std::size_t>(k)].text);
    for (int p = 0; p < points; ++p) {
        const std::size_t q = static_cast<std::size_t>(p);
        EXPECT_EQ(f64(), s.DET_pH.x[q]);
        EXPECT_EQ(f64(), s.DET_pH.y[q]);
        EXPECT_EQ(f64(), s.DET_conductivity.y[q]);
        for (int k = 1; k <= c; ++k)
            EXPECT_EQ(f64(), s.srDetComp[static_cast<std::size_t>(k)].y[q]);
        EXPECT_EQ(f64(), s.DET_volt.y[q]);
        EXPECT_EQ(f64(), s.DET_CDen.y[q]);
    }
    EXPECT_EQ(b.substr(at), std::string("EOF", 4));

    // Saved elsewhere, the next save starts there; the first open starts in "det".
    fs::create_directories(home.dir.path() / "other");
    next = (home.dir.path() / "other" / "second.det").string();
    Trigger("Save1");
    next.clear();  // cancel
    Trigger("Save1");
    EXPECT_EQ(asked.back(), std::pair(true, (home.dir.path() / "other").string()));
    EXPECT_EQ(sink.questions.size(), 1u);

    // Open appends the stored samples to the record and the chart draws them.
    const std::vector<double> x = s.DET_pH.x, y = s.DET_pH.y, volt = s.DET_volt.y;
    next = (det / "first.det").string();
    Trigger("OpenDetector1");
    EXPECT_EQ(asked.back(), std::pair(false, det.string()));
    ASSERT_EQ(s.DET_pH.Count(), 2 * points);
    EXPECT_TRUE(std::equal(x.begin(), x.end(), s.DET_pH.x.begin() + points));
    EXPECT_TRUE(std::equal(y.begin(), y.end(), s.DET_pH.y.begin() + points));
    EXPECT_TRUE(std::equal(volt.begin(), volt.end(), s.DET_volt.y.begin() + points));
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView);
    EXPECT_EQ(GraphNamed(*w, "pH (detector)")->dataCount(), 2 * points);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];

    // A file of another kind is refused and adds nothing.
    std::ofstream(home.dir.path() / "other" / "bad.det") << "SOMETHING ELSE";
    next = (home.dir.path() / "other" / "bad.det").string();
    Trigger("OpenDetector1");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect Detector File."});
    EXPECT_EQ(s.DET_pH.Count(), 2 * points);
}

// A detector record opened while the chart shows the detector view is drawn
// at once, without switching the view.
TEST_F(ExampleWindow, DetectorRecordOpenedInTheDetectorViewIsDrawnAtOnce)
{
    RunState& st = St();
    auto* commands = Ctl<ChartCommands>(*w, "ChartCommands");
    const std::string file = home.dir.file("record.det");
    commands->ChooseDetectorFile = [&](bool, const QString&) {
        return QString::fromStdString(file);
    };
    st.StopTime = 0.2;
    Click(*w, "bbnStart");
    const int points = st.Series.DET_pH.Count();
    ASSERT_GT(points, 1);
    sink.answers = {true};  // the "det" directory
    Trigger("Save1");
    ASSERT_TRUE(fs::exists(file));
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView);
    ASSERT_EQ(GraphNamed(*w, "pH (detector)")->dataCount(), points);
    Trigger("OpenDetector1");
    ASSERT_EQ(st.Series.DET_pH.Count(), 2 * points);
    EXPECT_EQ(GraphNamed(*w, "pH (detector)")->dataCount(), 2 * points);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

// While a run goes the run panel is refreshed at most some tens of times a
// second; a run that ends, by its stop time or by Stop, leaves the panel
// showing its last state: a refresh after it changes no text.
TEST_F(ExampleWindow, RunPanelShowsTheLastStateOfARunThatEnds)
{
    RunState& st = St();
    auto panelTexts = [&] {
        std::vector<std::string> texts;
        for (auto* e : w->findChildren<QLineEdit*>())
            texts.push_back(e->objectName().toStdString() + "=" + e->text().toStdString());
        for (int k = 0; k < 5; ++k)
            texts.push_back(
                Ctl<QLabel>(*w, ("sbPanel" + std::to_string(k)).c_str())->text().toStdString());
        return texts;
    };
    for (bool byStop : {false, true}) {
        SCOPED_TRACE(byStop ? "stopped" : "to the stop time");
        const double from = st.Time;
        st.StopTime = from + (byStop ? 1000.0 : 0.3);
        const long long firstStep = st.StepCount;
        // The watch's last timer, queued while the run still went, dies with
        // this context instead of firing into the next test.
        QObject context;
        std::function<void()> watch;
        watch = [&] {
            // a few hundred steps in, Stop, as the button would (the window
            // answers the run loop's pump by wall time, not after every step)
            if (st.StepCount - firstStep >= 300 && byStop) st.Stop = true;
            if (st.Running) QTimer::singleShot(0, &context, watch);
        };
        QTimer::singleShot(0, &context, watch);
        Click(*w, "bbnStart");
        ASSERT_FALSE(st.Running);
        ASSERT_GT(st.Time, from);
        if (byStop) {
            EXPECT_LT(st.Time, st.StopTime);
        }
        const auto shown = panelTexts();
        w->UpdateMainInfo();
        EXPECT_EQ(shown, panelTexts());
        EXPECT_EQ(Ctl<QLineEdit>(*w, "edTime")->text().toStdString(),
                  FormatFloat("0.0##e+0", st.Time));
    }
}

// The run loop asks the window to pump its messages after every step, and the
// window answers by wall time: a click on Stop made while the run goes still
// reaches the engine, which takes no further step.
TEST_F(ExampleWindow, StopClickedWhileTheRunGoesEndsItAtOnce)
{
    RunState& st = St();
    const double from = st.Time;
    // Long enough that a run which never saw the click ends by its stop time.
    st.StopTime = from + 20.0;
    const long long firstStep = st.StepCount;
    long long stepsAtClick = -1;
    QObject context;
    std::function<void()> watch;
    watch = [&] {
        if (stepsAtClick < 0 && st.StepCount - firstStep >= 200) {
            ASSERT_TRUE(st.Running);
            stepsAtClick = st.StepCount;
            Click(*w, "bbnStop");
        }
        if (st.Running) QTimer::singleShot(0, &context, watch);
    };
    QTimer::singleShot(0, &context, watch);
    Click(*w, "bbnStart");
    ASSERT_FALSE(st.Running);
    ASSERT_GE(stepsAtClick, 0) << "the window processed no message while the run went";
    EXPECT_LT(st.Time, st.StopTime);
    EXPECT_LE(st.StepCount - stepsAtClick, 1);
    // A new run can start.
    EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());
}

// While a run goes the chart's lines take the profiles of the last redraw when
// the chart is painted; when the run ends, the chart, the run panel and the
// additional-information window show the run's final state.
TEST_F(ExampleWindow, ChartAndCountersShowTheRunAsItGoesAndAsItEnds)
{
    RunState& st = St();
    auto* chart = Ctl<ChartView>(*w, "Graph");
    const EngineArrays& a = st.Arr;
    // The chart's line of each constituent that the list shows.
    auto compLines = [&] {
        std::vector<std::pair<int, QCPGraph*>> lines;
        for (const auto& [series, graph] : w->ChartLines())
            for (int k = 1; k <= st.NComp; ++k)
                if (series == &st.Series.srComp[static_cast<std::size_t>(k)] && graph &&
                    graph->visible())
                    lines.emplace_back(k, graph);
        return lines;
    };
    ASSERT_FALSE(compLines().empty());
    auto row = [&](const double* values) { return std::vector<double>(values, values + a.Nn); };

    st.StopTime = st.Time + 2.0;
    int checkedWhileRunning = 0;
    QObject context;
    std::function<void()> watch;
    watch = [&] {
        // Some hundred steps in, once: a paint of the chart shows the last redraw.
        if (checkedWhileRunning == 0 && st.StepCount > 300 && st.Running) {
            ++checkedWhileRunning;
            chart->replot();
            for (const auto& [k, graph] : compLines()) {
                SCOPED_TRACE("constituent " + std::to_string(k) + " while running");
                EXPECT_EQ(Values(graph), row(a.DrawnProfile[k]));
            }
            EXPECT_EQ(Values(GraphNamed(*w, "pH (x-scale)")), st.Series.sr_pH.y);
        }
        if (st.Running) QTimer::singleShot(0, &context, watch);
    };
    QTimer::singleShot(0, &context, watch);
    Click(*w, "bbnStart");
    ASSERT_FALSE(st.Running);
    ASSERT_GE(st.Time + st.DT, st.StopTime);  // the run went to its stop time
    EXPECT_EQ(checkedWhileRunning, 1);

    // The final profiles are in the chart without waiting for a paint.
    for (const auto& [k, graph] : compLines()) {
        SCOPED_TRACE("constituent " + std::to_string(k) + " at the end");
        EXPECT_EQ(Values(graph), row(a.C(2, k)));
    }
    EXPECT_EQ(Values(GraphNamed(*w, "pH (x-scale)")), a.PH);
    std::vector<double> kappa(a.Kappa.begin(), a.Kappa.end());
    for (double& v : kappa) v *= st.CondScale;
    EXPECT_EQ(Values(GraphNamed(*w, "Conductivity (x-scale)")), kappa);

    // The counters of the additional-information window and the run panel.
    const InfoTexts info = ShowInfoTexts(st);
    EXPECT_EQ(Ctl<QLabel>(*w, "llMainCValue")->text().toStdString(), info.mainC);
    EXPECT_EQ(Ctl<QLabel>(*w, "llNewtCValue")->text().toStdString(), info.newtC);
    EXPECT_EQ(Ctl<QLabel>(*w, "llErrMaxValue")->text().toStdString(), info.errMax);
    EXPECT_EQ(Ctl<QLineEdit>(*w, "edTime")->text().toStdString(), FormatFloat("0.###", st.Time));
}

// What the run computes does not depend on the window that shows it (its
// pump, its refreshes, the chart's paints): the example run in the window and
// the same run without a window end alike, bit for bit.
TEST_F(ExampleWindow, RunInTheWindowEndsAsTheSameRunWithoutIt)
{
    RunState& st = St();
    RunState alone;
    ComposeExampleDemo(alone);
    ASSERT_TRUE(InitCalc(alone));
    ASSERT_EQ(alone.Arr.Nn, st.Arr.Nn);
    st.StopTime = alone.StopTime = 4.0;
    Click(*w, "bbnStart");
    RunCalc(alone);
    ASSERT_FALSE(st.Running);
    EXPECT_EQ(st.StepCount, alone.StepCount);
    EXPECT_EQ(st.Time, alone.Time);
    EXPECT_EQ(st.DT, alone.DT);
    EngineArrays &a = st.Arr, &b = alone.Arr;
    const int nn = a.Nn;
    for (int k = 1; k <= a.NComp; ++k) {
        SCOPED_TRACE("constituent " + std::to_string(k));
        EXPECT_EQ(std::vector<double>(a.C(2, k), a.C(2, k) + nn),
                  std::vector<double>(b.C(2, k), b.C(2, k) + nn));
    }
    EXPECT_EQ(std::vector<double>(a.CH(2), a.CH(2) + nn),
              std::vector<double>(b.CH(2), b.CH(2) + nn));
    EXPECT_EQ(std::vector<double>(a.IonicStrength(2), a.IonicStrength(2) + nn),
              std::vector<double>(b.IonicStrength(2), b.IonicStrength(2) + nn));
}
