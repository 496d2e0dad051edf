// The main window driven through its widgets: run control, button states,
// edits that commit on leaving, instance markers, start and exit, views; its
// status texts and start switches.
#include "qt_test_env.h"

#include "app/chart_view.h"
#include "app/main_window.h"
#include "engine/run_series.h"
#include "files/example_project.h"
#include "foundation/numtext.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <filesystem>
#include <limits>
#include <tuple>
#include <functional>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// A stand-in engine: Init builds a small state, Run counts steps and pumps the
// messages once per step like the real loop, so that clicks land between steps.
struct ScriptedEngine {
    int steps = 200;
    int stepsDone = 0;
    std::function<void(RunState&, int)> duringStep;   // called inside the pump of each step
    std::function<void()> throwAt;                    // raised at step 3 when set

    void Install(MainWindow& w)
    {
        EngineOps& ops = w.Engine();
        ops.InitCalc = [](RunState& st) {
            st.Initialised = true; st.Stop = false; st.Time = 0; st.StepCount = 0; st.NX = st.NXPending;
            st.Series.sr_pH.Clear();
            for (int j = 0; j <= st.NX; ++j) st.Series.sr_pH.Add(NodeX(st, j), 7.0 + 0.001 * j);
            st.Series.clbGraph = {{"pH", true}, {"Conductivity", true}, {"E - Intensity", false},
                                  {"Ionic Strength", false}};
            st.Series.clbDet = {{"pH", true}, {"Conductivity", true}, {"Voltage", false}, {"Current", false},
                                {"Temperature", false}};
        };
        ops.RunCalc = [this](RunState& st) {
            st.Running = true; st.Stop = false;
            st.host().SetStatusText("Running ...");
            for (int i = 0; i < steps && !st.Stop; ++i) {
                st.host().ProcessMessages();
                if (duringStep) duringStep(st, i);
                if (throwAt && i == 3) throwAt();
                ++st.StepCount;
                st.Time += st.DT;
                if (st.StepCount % 10 == 0) st.Events.Emit(EngineEventKind::UpdateMainInfo);
            }
            stepsDone = st.StepCount;
            st.Running = st.Stop = false;
            st.host().SetStatusText("Ready!");
        };
        ops.StopCalc = [&w](RunState& st) {
            st.Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, true));
            st.Stop = true; st.Running = false;
            st.Events.Emit(EngineEventKind::UpdateMainInfo);
        };
    }
};

struct Home {
    TempDir dir;
    Home() { setenv("KELVO_HOME", dir.path().c_str(), 1); }
    bool Has(const std::string& name) const { return fs::exists(dir.path() / name); }
    std::string Touch(const std::string& name) const
    {
        fs::create_directories((dir.path() / name).parent_path());
        std::fclose(std::fopen((dir.path() / name).c_str(), "w"));
        return (dir.path() / name).string();
    }
};

// Which of Init, Run, Stop, New, Open and Save are enabled ('1') or not ('0').
std::string Enabled(const MainWindow& w)
{
    std::string s;
    for (QWidget* b : std::initializer_list<QWidget*>{w.bbnInit, w.bbnStart, w.bbnStop, w.spbNew, w.spbOpen, w.spbSave})
        s += b->isEnabled() ? '1' : '0';
    return s;
}

QCPGraph* GraphNamed(ChartView& chart, const QString& name)
{
    for (int i = 0; i < chart.graphCount(); ++i)
        if (chart.graph(i)->name() == name) return chart.graph(i);
    return nullptr;
}

// A shown main window with the scripted engine, in its own program directory.
class ScriptedWindow : public ::testing::Test {
protected:
    void SetUp() override { engine.Install(w); w.show(); }
    Home home;
    RecordingMessageSink sink;
    MainWindow w;
    ScriptedEngine engine;
};

}  // namespace

TEST_F(ScriptedWindow, ButtonStatesThroughAWholeRun)
{
    EXPECT_EQ(Enabled(w), "101110");  // before Init: nothing to run or save
    QTest::mouseClick(w.bbnInit, Qt::LeftButton);
    EXPECT_EQ(Enabled(w), "111111");

    bool seen = false;
    engine.duringStep = [&](RunState& st, int i) {
        if (i != 20) return;
        seen = st.Running;
        EXPECT_EQ(Enabled(w), "001000");
        EXPECT_EQ(w.StatusText().rfind("Running ... (", 0), 0u) << w.StatusText();
    };
    w.State().Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, false));
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(engine.stepsDone, 200);
    // StopCalc always runs at the end.
    EXPECT_TRUE(!w.State().Running && w.State().Stop && w.GeometryEditsEnabled());
    EXPECT_EQ(Enabled(w), "111111");
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
    // Init after the stop request still works: it clears Stop first.
    QTest::mouseClick(w.bbnInit, Qt::LeftButton);
    EXPECT_FALSE(w.State().Stop);
    EXPECT_EQ(w.State().StepCount, 0);
}

TEST_F(ScriptedWindow, CommandsDuringARunAreRefusedAndExitClosesAfterIt)
{
    w.bnInitClick();
    int initCalls = 0;
    auto realInit = w.Engine().InitCalc;
    w.Engine().InitCalc = [&](RunState& st) {
        ++initCalls;
        realInit(st);
    };
    // Reached through the message pump, as a shortcut or a re-enabled control would.
    engine.duringStep = [&](RunState&, int i) {
        if (i != 5) return;
        w.bnStartClick();
        w.bnInitClick();
        w.New1Click();
        w.close();
    };
    sink.answers = {true};
    w.bnStartClick();
    // The refused commands did not restart or end the run.
    EXPECT_EQ(std::pair(engine.stepsDone, initCalls), std::pair(200, 0));
    EXPECT_EQ(sink.messages, std::vector<std::string>(3, "START is active"));
    EXPECT_TRUE(sink.questions.empty());  // closing was refused before the exit question
    EXPECT_TRUE(w.isVisible());

    // Exit stops the run at the next poll and closes the window once the loop has ended.
    engine.steps = 100000;
    engine.duringStep = [&](RunState&, int i) {
        if (i == 3) w.bnExitClick();
    };
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone - 200, 4);
    EXPECT_TRUE(sink.questions.empty());
    QTRY_COMPARE(sink.questions.size(), size_t(1));
    EXPECT_EQ(sink.questions[0], "Exit Kelvo?");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ScriptedWindow, StopOrAFailureDuringARunEndsItAfterTheCurrentStep)
{
    engine.steps = 100000;
    w.bnInitClick();
    int stepsAtClick = -1, ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks != 7) return;
        stepsAtClick = w.State().StepCount;
        QTest::mouseClick(w.bbnStop, Qt::LeftButton);
        timer.stop();
    });
    timer.start();
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    ASSERT_GE(stepsAtClick, 0);
    EXPECT_EQ(engine.stepsDone, stepsAtClick + 1);
    EXPECT_FALSE(w.State().Running);
    EXPECT_TRUE(w.bbnStart->isEnabled());
    EXPECT_TRUE(sink.messages.empty());

    // A failure inside a run is shown after the run has stopped: the program's
    // own text is kept; anything else gets the calculation message.
    engine.steps = 200;
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { ThrowError("Error: Can't write to file"); }, "Error: Can't write to file"},
        {[] { throw std::runtime_error("vector::at"); }, "C Error: Error in Calculation Occured (e.g. Negative Values)."}};
    for (const auto& [raise, text] : failures) {
        sink.Clear();
        engine.throwAt = raise;
        QTest::mouseClick(w.bbnStart, Qt::LeftButton);
        EXPECT_EQ(sink.messages, std::vector<std::string>{text});
        EXPECT_FALSE(w.State().Running);
        EXPECT_TRUE(w.bbnStart->isEnabled());
    }
}

TEST(MainWindowEdits, PanelEditsCommitOnLeavingAndIgnoreInvalidText)
{
    Home home;
    RecordingMessageSink sink;
    MainWindow w;
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    RunState& st = w.State();

    auto typeInto = [&](QLineEdit* edit, const QString& text, bool enter = false) {
        edit->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        edit->selectAll();
        QTest::keyClicks(edit, text);
        if (enter) QTest::keyClick(edit, Qt::Key_Return);
    };
    auto leave = [&](QLineEdit* edit, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent away(QEvent::FocusOut, reason);
        QApplication::sendEvent(edit, &away);
    };

    typeInto(w.edDT, "2e-4");
    EXPECT_EQ(st.DT, 1e-4);  // nothing happens while typing
    EXPECT_FALSE(st.Restart);
    w.edStopTime->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(w.edStopTime->hasFocus());
    EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    EXPECT_TRUE(st.Restart);
    EXPECT_EQ(w.edDT->text(), "2.0e-4");

    // Invalid text is ignored and the stored value shown again.
    st.Restart = false;
    for (const char* bad : {"abc", "-1", "inf"}) {
        typeInto(w.edDT, bad);
        w.edStopTime->setFocus(Qt::TabFocusReason);
        EXPECT_DOUBLE_EQ(st.DT, 2e-4) << bad;
        EXPECT_EQ(w.edDT->text(), "2.0e-4");
    }
    EXPECT_FALSE(st.Restart);

    // Another window activated or a menu opened: the edit keeps its text uncommitted.
    typeInto(w.edDT, "3e-4");
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        leave(w.edDT, reason);
        EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    }
    leave(w.edDT);
    EXPECT_DOUBLE_EQ(st.DT, 3e-4);

    // Enter moves the focus to the default button and so commits; "," is a decimal point.
    typeInto(w.edDT, "1,5e-4", true);
    EXPECT_DOUBLE_EQ(st.DT, 1.5e-4);
    EXPECT_TRUE(w.bbnInit->hasFocus());  // Run is disabled before Init

    // Walls: clamped against each other and the grid.
    st.LeftWall = 100;
    st.RightWall = 200;
    typeInto(w.edLeftWall, "250", true);
    typeInto(w.edRightWall, "5000", true);
    EXPECT_EQ(std::pair(st.LeftWall, st.RightWall), std::pair(199, st.NX));

    // A refresh while the user types (as the run loop makes them) keeps the typed text.
    typeInto(w.edStopTime, "77");
    w.UpdateMainInfo();
    EXPECT_EQ(w.edStopTime->text(), "77");
    EXPECT_DOUBLE_EQ(st.StopTime, 3600);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(MainWindowStart, InstanceMarkersAndExit)
{
    Home home;
    RecordingMessageSink sink;
    const std::string dir = home.dir.path().string();
    {
        MainWindow first, second;
        first.FormActivate();
        ASSERT_TRUE(first.Instance().Claimed());
        EXPECT_TRUE(home.Has("Kelvo5_ID_1.sid"));
        EXPECT_EQ(first.State().PsqSize, -1);
        second.FormActivate();
        second.FormActivate();  // later activations claim nothing more
        EXPECT_FALSE(home.Has("Kelvo5_ID_3.sid"));
        for (auto [win, id, title] : {std::tuple(&first, 1, "KELVO 5: No File"), std::tuple(&second, 2, "KELVO 5[2]: No File")}) {
            EXPECT_EQ(win->InstanceID(), id);
            EXPECT_EQ(win->State().PsqFileOwn, dir + "/Kelvo5_tmp_" + std::to_string(id) + ".psq");
            EXPECT_EQ(win->windowTitle(), title);
        }
        // No keeps the window and its marker; Yes deletes only the own marker.
        sink.answers = {false};
        first.show();
        EXPECT_FALSE(first.close());
        EXPECT_EQ(sink.questions.back(), "Exit Kelvo?");
        EXPECT_TRUE(home.Has("Kelvo5_ID_1.sid"));
        sink.answers = {true};
        EXPECT_TRUE(first.close());
        EXPECT_FALSE(home.Has("Kelvo5_ID_1.sid"));
        EXPECT_TRUE(home.Has("Kelvo5_ID_2.sid"));
        MainWindow third;
        third.FormActivate();
        EXPECT_EQ(third.InstanceID(), 1);  // the freed number is taken again
    }
    EXPECT_FALSE(home.Has("Kelvo5_ID_1.sid") || home.Has("Kelvo5_ID_2.sid"));

    // A marker left by a process that is gone (nobody holds it) is reused; no
    // free number, or no directory: a quit request.
    home.Touch("Kelvo5_ID_1.sid");
    InstanceMarker m, none;
    ASSERT_TRUE(m.Claim(dir) && m.Id() == 1);
    EXPECT_FALSE(none.Claim(dir, 1));
    EXPECT_FALSE(none.Claim(dir + "/missing"));
}

TEST(MainWindowStart, StartFileAndExampleOpenThroughOnePlace)
{
    Home home;
    RecordingMessageSink sink;
    const std::string example = home.Touch("Examples/Example_Demo.sna"), proj = home.Touch("proj.sna");
    // The name gains ".sna" (the example is then not opened); a missing file
    // opens the example instead, once.
    const std::pair<QStringList, std::string> cases[] = {
        {{QString::fromStdString(proj.substr(0, proj.size() - 4))}, proj}, {{"/nonexistent/file.sna"}, example}};
    for (const auto& [args, expected] : cases) {
        sink.Clear();
        std::vector<std::string> opened;
        int reads = 0;
        MainWindow w(args);
        w.FileOpener = [&](MainWindow&, const std::string& p) {
            opened.push_back(p);
            return true;
        };
        // Settings are read at the first activation; a bad file warns and start-up goes on.
        w.SettingsReader = [&](MainWindow&, const std::string& name) {
            ++reads;
            EXPECT_EQ(name, home.dir.path() / "KELVO 5.ini");
            ThrowError("Incorrect file.");
        };
        w.FormActivate();
        w.FormActivate();
        EXPECT_EQ(opened, std::vector<std::string>{expected});
        EXPECT_EQ(reads, 1);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect INI File."});
    }
}

TEST_F(ScriptedWindow, ViewSwitchAndCheckLists)
{
    w.bnInitClick();
    RunState& st = w.State();
    ASSERT_EQ(w.clbGraph->count(), 4);
    EXPECT_TRUE(w.clbGraph->isVisible() && !w.clbDet->isVisible() && st.Series.sr_pH.active);
    // Unchecking pH in the list hides its series (a user click on the check box).
    w.clbGraph->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(st.Series.sr_pH.active);
    w.clbGraph->item(0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(st.Series.sr_pH.active);

    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    EXPECT_TRUE(st.DetectorView && !st.Series.sr_pH.active && st.Series.DET_pH.active && w.clbDet->isVisible());
    EXPECT_EQ(w.Graph->xAxis->label(), "Time (min)");
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    EXPECT_TRUE(!st.DetectorView && st.Series.sr_pH.active);

    // A file that switches the detector off returns to the profile view and disables the switch.
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    w.FileOpener = [](MainWindow& m, const std::string&) {
        m.State().cbDetectorOn = false;
        return true;
    };
    EXPECT_TRUE(w.OpenFile("project.sna"));
    EXPECT_FALSE(w.cbDetectorOn->isChecked() || st.DetectorView || w.bbnSimDet->isEnabled());
}

TEST_F(ScriptedWindow, ViewsKeepTheirRangesMarkerAndDetectorRecord)
{
    w.bnInitClick();
    RunState& st = w.State();
    ChartView& chart = *w.Graph;

    // A zoomed profile view comes back with exactly its ranges.
    chart.SetRangeX(2, 5);
    chart.SetRangeY(9, 1);
    w.bbnSimDetClick();
    ASSERT_TRUE(st.DetectorView);
    EXPECT_EQ(chart.xAxis->range(), QCPRange(2, 5));  // first visit: the ranges the chart has
    chart.SetRangeY(-1, 4);
    w.bbnSimDetClick();
    ASSERT_FALSE(st.DetectorView);
    EXPECT_EQ(std::pair(chart.xAxis->range(), chart.yAxis->range()), std::pair(QCPRange(2, 5), QCPRange(1, 9)));
    EXPECT_FALSE(chart.AutoX());

    // The detector view had no record: it counts as showing everything, so its
    // left range comes back and the bottom axis follows the data.
    w.bbnSimDetClick();
    EXPECT_EQ(std::pair(chart.xAxis->range(), chart.yAxis->range()), std::pair(QCPRange(2, 5), QCPRange(-1, 4)));

    // The detector marker sits at the detector position (mm on the axis).
    w.bbnSimDetClick();
    st.Series.sr_detectorLine.Add(0, 0);
    st.Series.sr_detectorLine.Add(0, 0);
    w.DrawDetectorLine();
    QCPGraph* line = GraphNamed(chart, "Detector Line");
    ASSERT_TRUE(line && line->visible() && line->dataCount() == 2);
    EXPECT_DOUBLE_EQ(line->data()->at(0)->key, 20.0);

    // The detector record is mirrored sample by sample as it grows, and whole
    // after it was cleared (a new Init).
    ChartSeries& rec = st.Series.DET_pH;
    QCPGraph* graph = GraphNamed(chart, "pH (detector)");
    ASSERT_NE(graph, nullptr);
    auto same = [&] {
        if (graph->dataCount() != rec.Count()) return false;
        for (int j = 0; j < rec.Count(); ++j)
            if (graph->data()->at(j)->key != rec.x[j] || graph->data()->at(j)->value != rec.y[j]) return false;
        return true;
    };
    w.bbnSimDetClick();
    ASSERT_TRUE(st.DetectorView);
    for (int k = 0; k < 50; ++k) {
        rec.Add(k / 60.0, 7 + 0.01 * k);
        w.OnDetectorSampled(true);
    }
    EXPECT_TRUE(same());
    // A new, longer record taken while the profile view is shown.
    w.bbnSimDetClick();
    rec.Clear();
    for (int k = 0; k < 80; ++k) rec.Add(0.5 + k / 60.0, 5 - 0.01 * k);
    w.bbnSimDetClick();
    EXPECT_TRUE(same());
}


TEST(MainWindowEngine, ExampleRunThroughTheWindowAndItsChart)
{
    Home home;
    RecordingMessageSink sink;
    MainWindow w;
    ComposeExampleDemo(w.State());
    w.show();
    RunState& st = w.State();

    QTest::mouseClick(w.bbnInit, Qt::LeftButton);
    ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    ASSERT_EQ(w.clbGraph->count(), 5 + 4);
    // Every constituent, pH and conductivity are drawn with one point per node.
    int profiles = 0;
    for (int i = 0; i < w.Graph->graphCount(); ++i) {
        QCPGraph* g = w.Graph->graph(i);
        if (g->name().endsWith(" (x-scale)") && g->visible()) profiles += g->dataCount() == st.NX + 1;
    }
    EXPECT_EQ(profiles, 5 + 2);

    st.StopTime = 0.5;
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(!st.Running && st.Time > 0.4 && st.Time <= 0.5 && st.StepCount > 0) << st.Time;
    EXPECT_EQ(w.edTime->text().toStdString(), FormatFloat("0.0##e+0", st.Time));  // below 1 s
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
    ASSERT_GT(st.Series.DET_pH.Count(), 0);   // the detector sampled during the run
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    ASSERT_TRUE(st.DetectorView);
    QCPGraph* detector = GraphNamed(*w.Graph, "pH (detector)");
    EXPECT_TRUE(detector && detector->visible() && detector->dataCount() == st.Series.DET_pH.Count());
}

TEST(StatusText, ElapsedTimeTexts)
{
    const std::pair<int, std::string> cases[] = {{-5, ""}, {59, "(59 s)"}, {3725, "(1 h, 2 m, 5 s)"},
                                                 {86400, "(1 d, 0 h, 0 m, 0 s)"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatElapsed(seconds), text) << seconds;
    // Remaining times from a tiny or negative dt stay inside the int range.
    EXPECT_EQ(ClampSeconds(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(ClampSeconds(-1e300), 0);
    EXPECT_EQ(ClampSeconds(std::nan("")), 0);

    // Pending set-up values mark the set-up changed until they are taken back.
    RunState st;
    st.PeakWidthPending = 3, st.NXPending = 500;
    CheckRunSetupChanged(st);
    EXPECT_TRUE(st.SetupChanged && st.SetupItemChanged[0] && st.SetupItemChanged[1] && !st.SetupItemChanged[4]);
    st.PeakWidthPending = st.PeakWidth, st.NXPending = st.NX;
    CheckRunSetupChanged(st);
    EXPECT_FALSE(st.SetupChanged || st.SetupItemChanged[0]);
}

TEST(StatusText, PlayerSwitchesAfterASequenceFile)
{
    struct Case {
        QStringList args;
        int frame, step;
        double delay;   // -1: not given
        bool tooMany;
    };
    const Case cases[] = {
        {{"run.psq", "5", "/2"}, 0, 0, -1, false},               // no switch first: both ignored
        {{"run.psq", "-3", "x", "/1"}, 3, 0, -1, false},         // a non-switch ends the list
        {{"run.psq", "/0", "/-2", "/-1", "/9"}, 0, 0, -1, true}, // out of range values are not taken
    };
    for (const Case& c : cases) {
        const PlayerStartOptions o = ParsePlayerSwitches(c.args);
        EXPECT_EQ(std::tuple(o.RequestedFrame, o.FrameStep, o.TooMany), std::tuple(c.frame, c.step, c.tooMany))
            << c.args.join(' ').toStdString();
        if (c.delay < 0) EXPECT_LT(o.Delay, 0);
        else EXPECT_DOUBLE_EQ(o.Delay, c.delay);
    }
}
