// The main window driven through its widgets: run control, button states,
// edits that commit on leaving, instance markers, start and exit.
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

#include <filesystem>
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
            st.Initialised = true;
            st.Stop = false;
            st.Time = 0;
            st.StepCount = 0;
            st.NX = st.NXPending;
            st.Series.sr_pH.Clear();
            for (int j = 0; j <= st.NX; ++j) st.Series.sr_pH.Add(NodeX(st, j), 7.0 + 0.001 * j);
            st.Series.clbGraph = {{"pH", true}, {"Conductivity", true}, {"E - Intensity", false},
                                  {"Ionic Strength", false}};
            st.Series.clbDet = {{"pH", true}, {"Conductivity", true}, {"Voltage", false}, {"Current", false},
                                {"Temperature", false}};
        };
        ops.RunCalc = [this](RunState& st) {
            st.Running = true;
            st.Stop = false;
            st.host().SetStatusText("Running ...");
            for (int i = 0; i < steps && !st.Stop; ++i) {
                st.host().ProcessMessages();
                if (duringStep) duringStep(st, i);
                if (throwAt && i == 3) throwAt();
                ++st.StepCount;
                st.Time += st.DT;
                if (st.StepCount % 10 == 0) st.host().UpdateMainInfo();
            }
            stepsDone = st.StepCount;
            st.Running = false;
            st.Stop = false;
            st.host().SetStatusText("Ready!");
        };
        ops.StopCalc = [&w](RunState& st) {
            w.SetRunSetupGeometryEditsEnabled(true);
            st.Stop = true;
            st.Running = false;
            st.host().UpdateMainInfo();
        };
    }
};

struct Home {
    TempDir dir;
    Home() { setenv("KELVO_HOME", dir.path().c_str(), 1); }
    bool Has(const std::string& name) const { return fs::exists(dir.path() / name); }
};

// A shown main window with the scripted engine, in its own program directory.
class ScriptedWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.Install(w);
        w.show();
    }
    Home home;
    RecordingMessageSink sink;
    MainWindow w;
    ScriptedEngine engine;
};

}  // namespace

TEST_F(ScriptedWindow, ButtonStatesThroughAWholeRun)
{
    // Before Init: nothing to run or save.
    EXPECT_TRUE(w.bbnInit->isEnabled());
    EXPECT_FALSE(w.bbnStart->isEnabled());
    EXPECT_TRUE(w.bbnStop->isEnabled());
    EXPECT_FALSE(w.spbSave->isEnabled());
    EXPECT_TRUE(w.spbNew->isEnabled());

    QTest::mouseClick(w.bbnInit, Qt::LeftButton);
    EXPECT_TRUE(w.State().Initialised);
    EXPECT_TRUE(w.bbnStart->isEnabled());
    EXPECT_TRUE(w.spbSave->isEnabled());

    bool seen = false;
    engine.duringStep = [&](RunState& st, int i) {
        if (i != 20) return;
        seen = true;
        EXPECT_TRUE(st.Running);
        EXPECT_FALSE(w.bbnInit->isEnabled());
        EXPECT_FALSE(w.bbnStart->isEnabled());
        EXPECT_TRUE(w.bbnStop->isEnabled());
        EXPECT_FALSE(w.spbNew->isEnabled());
        EXPECT_FALSE(w.spbOpen->isEnabled());
        EXPECT_FALSE(w.spbSave->isEnabled());
        EXPECT_EQ(w.StatusText().rfind("Running ... (", 0), 0u) << w.StatusText();
    };
    w.SetRunSetupGeometryEditsEnabled(false);
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(engine.stepsDone, 200);
    EXPECT_FALSE(w.State().Running);
    EXPECT_TRUE(w.State().Stop);  // StopCalc always runs at the end
    EXPECT_TRUE(w.GeometryEditsEnabled());
    EXPECT_TRUE(w.bbnInit->isEnabled());
    EXPECT_TRUE(w.bbnStart->isEnabled());
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
    EXPECT_TRUE(sink.messages.empty());

    // Init after the stop request still works: it clears Stop first.
    QTest::mouseClick(w.bbnInit, Qt::LeftButton);
    EXPECT_FALSE(w.State().Stop);
    EXPECT_EQ(w.State().StepCount, 0);
}

TEST_F(ScriptedWindow, CommandsDuringARunAreRefused)
{
    w.bnInitClick();

    int initCalls = 0;
    auto realInit = w.Engine().InitCalc;
    w.Engine().InitCalc = [&](RunState& st) {
        ++initCalls;
        realInit(st);
    };
    engine.duringStep = [&](RunState&, int i) {
        if (i == 5) {
            // Reached through the message pump, as a shortcut or a re-enabled control would.
            w.bnStartClick();
            w.bnInitClick();
            w.New1Click();
            w.close();
        }
    };
    sink.answers = {true};
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 200);  // the refused commands did not restart or end the run
    EXPECT_EQ(initCalls, 0);
    ASSERT_EQ(sink.messages.size(), 3u);
    for (const std::string& m : sink.messages) EXPECT_EQ(m, "START is active");
    EXPECT_TRUE(sink.questions.empty());  // closing was refused before the exit question
    EXPECT_TRUE(w.isVisible());
}

TEST_F(ScriptedWindow, ExitDuringARunStopsItAndClosesAfterIt)
{
    w.bnInitClick();
    engine.steps = 100000;
    engine.duringStep = [&](RunState&, int i) {
        if (i == 3) w.bnExitClick();
    };
    sink.answers = {true};
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 4);  // stopped at the next poll
    EXPECT_TRUE(sink.questions.empty());
    QTRY_COMPARE(sink.questions.size(), size_t(1));  // the close comes once the loop has ended
    EXPECT_EQ(sink.questions[0], "Exit Kelvo?");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ScriptedWindow, StopDuringARunEndsItAfterTheCurrentStep)
{
    engine.steps = 100000;
    w.bnInitClick();

    int stepsAtClick = -1;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 7) {
            stepsAtClick = w.State().StepCount;
            QTest::mouseClick(w.bbnStop, Qt::LeftButton);
            timer.stop();
        }
    });
    timer.start();
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    ASSERT_GE(stepsAtClick, 0);
    EXPECT_EQ(engine.stepsDone, stepsAtClick + 1);
    EXPECT_FALSE(w.State().Running);
    EXPECT_TRUE(w.bbnStart->isEnabled());
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(ScriptedWindow, FailureInsideARunIsShownAfterTheRunHasStopped)
{
    w.bnInitClick();

    bool runningWhenShown = true;
    engine.throwAt = [] { ThrowError("Error: Can't write to file"); };
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "Error: Can't write to file");  // the program's own text is kept
    EXPECT_FALSE(w.State().Running);
    runningWhenShown = w.State().Running;
    EXPECT_FALSE(runningWhenShown);
    EXPECT_TRUE(w.bbnStart->isEnabled());

    sink.Clear();
    engine.throwAt = [] { throw std::runtime_error("vector::at"); };
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "C Error: Error in Calculation Occured (e.g. Negative Values).");
    EXPECT_FALSE(w.State().Running);
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

    auto typeInto = [&](QLineEdit* edit, const QString& text) {
        edit->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        edit->selectAll();
        QTest::keyClicks(edit, text);
    };

    typeInto(w.edDT, "2e-4");
    EXPECT_EQ(st.DT, 1e-4);  // nothing happens while typing
    EXPECT_FALSE(st.Restart);
    w.edStopTime->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(w.edStopTime->hasFocus());
    EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    EXPECT_TRUE(st.Restart);
    EXPECT_EQ(w.edDT->text(), "2.0e-4");

    st.Restart = false;
    typeInto(w.edDT, "abc");
    w.edStopTime->setFocus(Qt::TabFocusReason);
    EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    EXPECT_FALSE(st.Restart);
    EXPECT_EQ(w.edDT->text(), "2.0e-4");  // the stored value is shown again

    typeInto(w.edDT, "-1");
    w.edStopTime->setFocus(Qt::TabFocusReason);
    EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    typeInto(w.edDT, "inf");
    w.edStopTime->setFocus(Qt::TabFocusReason);
    EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    typeInto(w.edDT, "0");
    w.edStopTime->setFocus(Qt::TabFocusReason);
    EXPECT_DOUBLE_EQ(st.DT, st.DTDefault);

    // Another window activated or a menu opened: the edit keeps its text uncommitted.
    typeInto(w.edDT, "3e-4");
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        QFocusEvent away(QEvent::FocusOut, reason);
        QApplication::sendEvent(w.edDT, &away);
        EXPECT_DOUBLE_EQ(st.DT, st.DTDefault);
    }
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w.edDT, &leave);
    EXPECT_DOUBLE_EQ(st.DT, 3e-4);

    // Enter moves the focus to the default button and so commits; "," is a decimal point.
    typeInto(w.edDT, "1,5e-4");
    QTest::keyClick(w.edDT, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(st.DT, 1.5e-4);
    EXPECT_TRUE(w.bbnInit->hasFocus());  // Run is disabled before Init

    // Walls: clamped against each other and the grid.
    st.LeftWall = 100;
    st.RightWall = 200;
    typeInto(w.edLeftWall, "250");
    QTest::keyClick(w.edLeftWall, Qt::Key_Return);
    EXPECT_EQ(st.LeftWall, 199);
    typeInto(w.edRightWall, "5000");
    QTest::keyClick(w.edRightWall, Qt::Key_Return);
    EXPECT_EQ(st.RightWall, st.NX);

    // A refresh while the user types (as the run loop makes them) keeps the typed text.
    typeInto(w.edStopTime, "77");
    w.UpdateMainInfo();
    EXPECT_EQ(w.edStopTime->text(), "77");
    EXPECT_DOUBLE_EQ(st.StopTime, 3600);

    // Esc commits a valid entry, then rewrites the edits from the state.
    typeInto(w.edStopTime, "120");
    QTest::keyClick(w.edStopTime, Qt::Key_Escape);
    EXPECT_DOUBLE_EQ(st.StopTime, 120);
    EXPECT_EQ(w.edStopTime->text(), "120");
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(MainWindowStart, InstanceMarkersAndExit)
{
    Home home;
    RecordingMessageSink sink;
    {
        MainWindow first;
        first.FormActivate();
        ASSERT_TRUE(first.Instance().Claimed());
        EXPECT_EQ(first.InstanceID(), 1);
        EXPECT_TRUE(home.Has("Kelvo5_ID_1.sid"));
        EXPECT_EQ(first.State().PsqFileOwn, (home.dir.path() / "Kelvo5_tmp_1.psq").string());
        EXPECT_EQ(first.State().PsqSize, -1);
        EXPECT_EQ(first.windowTitle(), "KELVO 5: No File");

        MainWindow second;
        second.FormActivate();
        EXPECT_EQ(second.InstanceID(), 2);
        EXPECT_EQ(second.State().PsqFileOwn, (home.dir.path() / "Kelvo5_tmp_2.psq").string());
        EXPECT_EQ(second.windowTitle(), "KELVO 5[2]: No File");
        second.FormActivate();  // later activations claim nothing more
        EXPECT_FALSE(home.Has("Kelvo5_ID_3.sid"));

        // No keeps the window and its marker.
        sink.answers = {false};
        first.show();
        EXPECT_FALSE(first.close());
        EXPECT_EQ(sink.questions.back(), "Exit Kelvo?");
        EXPECT_TRUE(home.Has("Kelvo5_ID_1.sid"));

        // Yes deletes only the own marker; the temporary sequence is not touched.
        sink.answers = {true};
        EXPECT_TRUE(first.close());
        EXPECT_FALSE(home.Has("Kelvo5_ID_1.sid"));
        EXPECT_TRUE(home.Has("Kelvo5_ID_2.sid"));

        MainWindow third;
        third.FormActivate();
        EXPECT_EQ(third.InstanceID(), 1);  // the freed number is taken again
    }
    EXPECT_FALSE(home.Has("Kelvo5_ID_1.sid"));
    EXPECT_FALSE(home.Has("Kelvo5_ID_2.sid"));

    // A marker left by a process that is gone (nobody holds it) is reused.
    { std::FILE* f = std::fopen((home.dir.path() / "Kelvo5_ID_1.sid").c_str(), "w"); std::fclose(f); }
    InstanceMarker m;
    ASSERT_TRUE(m.Claim(home.dir.path().string()));
    EXPECT_EQ(m.Id(), 1);
    InstanceMarker n;
    ASSERT_TRUE(n.Claim(home.dir.path().string()));
    EXPECT_EQ(n.Id(), 2);
    // No free number: the warning and a quit request.
    InstanceMarker none;
    EXPECT_FALSE(none.Claim(home.dir.path().string(), 2));
    EXPECT_FALSE(none.Claim((home.dir.path() / "missing").string()));
}

TEST(MainWindowStart, StartFileAndExampleOpenThroughOnePlace)
{
    Home home;
    RecordingMessageSink sink;
    fs::create_directories(home.dir.path() / "Examples");
    { std::FILE* f = std::fopen((home.dir.path() / "Examples/Example_Demo.sna").c_str(), "w"); std::fclose(f); }
    { std::FILE* f = std::fopen((home.dir.path() / "proj.sna").c_str(), "w"); std::fclose(f); }

    std::vector<std::string> opened;
    auto opener = [&](MainWindow&, const std::string& p) {
        opened.push_back(p);
        return true;
    };
    {
        MainWindow w(QStringList{QString::fromStdString((home.dir.path() / "proj").string())});
        w.FileOpener = opener;
        w.FormActivate();
        w.FormActivate();
        ASSERT_EQ(opened.size(), 1u);  // the name gained ".sna"; the example is not opened
        EXPECT_EQ(opened[0], (home.dir.path() / "proj.sna").string());
    }
    opened.clear();
    {
        MainWindow w(QStringList{"/nonexistent/file.sna"});
        w.FileOpener = opener;
        w.FormActivate();
        w.FormActivate();
        ASSERT_EQ(opened.size(), 1u);  // the example, once
        EXPECT_EQ(opened[0], (home.dir.path() / "Examples/Example_Demo.sna").string());
    }
    opened.clear();
    {
        // A sequence file with player switches; more than four arguments warn.
        const std::string psq = (home.dir.path() / "run.psq").string();
        { std::FILE* f = std::fopen(psq.c_str(), "w"); std::fclose(f); }
        MainWindow w(QStringList{QString::fromStdString(psq), "/5", "/2", "/0.5", "/1"});
        w.FileOpener = opener;
        w.FormActivate();
        EXPECT_EQ(w.PlayerStart.RequestedFrame, 5);
        EXPECT_EQ(w.PlayerStart.FrameStep, 2);
        EXPECT_DOUBLE_EQ(w.PlayerStart.Delay, 0.5);
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], "Too many parameters called from file shell for PSQ file");
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0], psq);
        sink.Clear();
    }
    opened.clear();
    {
        // Settings read at the first activation; a bad file warns and start-up goes on.
        MainWindow w;
        w.FileOpener = opener;
        int reads = 0;
        w.SettingsReader = [&](MainWindow&, const std::string& name) {
            ++reads;
            EXPECT_EQ(name, (home.dir.path() / "KELVO 5.ini").string());
            ThrowError("Incorrect file.");
        };
        w.FormActivate();
        w.FormActivate();
        EXPECT_EQ(reads, 1);
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], "Incorrect INI File.");
    }
}

TEST_F(ScriptedWindow, ViewSwitchAndCheckLists)
{
    w.bnInitClick();
    RunState& st = w.State();
    ASSERT_EQ(w.clbGraph->count(), 4);
    EXPECT_TRUE(w.clbGraph->isVisible());
    EXPECT_FALSE(w.clbDet->isVisible());
    EXPECT_TRUE(st.Series.sr_pH.active);
    EXPECT_EQ(w.Graph->xAxis->label(), "Position in capillary (mm)");

    // Unchecking pH in the list hides its series (a user click on the check box).
    w.clbGraph->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(st.Series.sr_pH.active);
    w.clbGraph->item(0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(st.Series.sr_pH.active);

    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    EXPECT_TRUE(st.DetectorView);
    EXPECT_EQ(w.Graph->Title(), "Detector");
    EXPECT_EQ(w.Graph->xAxis->label(), "Time (min)");
    EXPECT_FALSE(st.Series.sr_pH.active);
    EXPECT_TRUE(st.Series.DET_pH.active);
    EXPECT_TRUE(w.clbDet->isVisible());
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    EXPECT_FALSE(st.DetectorView);
    EXPECT_TRUE(st.Series.sr_pH.active);

    // Switching the detector off returns to the profile view and disables the switch.
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    w.cbDetectorOn->setChecked(false);  // a change made by the program runs the click handler
    EXPECT_FALSE(st.cbDetectorOn);
    EXPECT_FALSE(st.DetectorView);
    EXPECT_FALSE(w.bbnSimDet->isEnabled());

    // The same when a file sets the switch: the box follows and its handler runs.
    w.cbDetectorOn->setChecked(true);
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    ASSERT_TRUE(st.DetectorView);
    w.FileOpener = [](MainWindow& m, const std::string&) {
        m.State().cbDetectorOn = false;
        return true;
    };
    EXPECT_TRUE(w.OpenFile("project.sna"));
    EXPECT_FALSE(w.cbDetectorOn->isChecked());
    EXPECT_FALSE(st.DetectorView);
    EXPECT_FALSE(w.bbnSimDet->isEnabled());
    EXPECT_TRUE(w.clbGraph->isVisible());
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
    EXPECT_EQ(st.NComp, 5);
    ASSERT_EQ(w.clbGraph->count(), 5 + 4);
    EXPECT_EQ(w.clbGraph->item(2)->text(), "Acetic acid");
    // Every constituent is drawn with one point per node.
    int profiles = 0;
    for (int i = 0; i < w.Graph->graphCount(); ++i) {
        QCPGraph* g = w.Graph->graph(i);
        if (g->name().endsWith(" (x-scale)") && g->visible()) {
            EXPECT_EQ(g->dataCount(), st.NX + 1) << g->name().toStdString();
            ++profiles;
        }
    }
    EXPECT_EQ(profiles, 5 + 2);  // constituents, pH and conductivity

    st.StopTime = 0.5;
    QTest::mouseClick(w.bbnStart, Qt::LeftButton);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_FALSE(st.Running);
    EXPECT_GT(st.Time, 0.4);
    EXPECT_LE(st.Time, 0.5);
    EXPECT_GT(st.StepCount, 0);
    EXPECT_EQ(w.edTime->text().toStdString(), FormatFloat("0.0##e+0", st.Time));  // below 1 s
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
    // The drawn profile is the current one, and the chart shows it.
    const double* c2 = st.Arr.C(2, 3);
    EXPECT_EQ(st.Arr.DrawnProfile[3][st.NX / 2], c2[st.NX / 2]);
    ASSERT_GT(st.Series.DET_pH.Count(), 0);   // the detector sampled during the run
    QTest::mouseClick(w.bbnSimDet, Qt::LeftButton);
    ASSERT_TRUE(st.DetectorView);
    bool detectorShown = false;
    for (int i = 0; i < w.Graph->graphCount(); ++i) {
        QCPGraph* g = w.Graph->graph(i);
        if (g->name() == "pH (detector)") {
            detectorShown = g->visible() && g->dataCount() == st.Series.DET_pH.Count();
        }
    }
    EXPECT_TRUE(detectorShown);
}

TEST_F(ScriptedWindow, ViewSwitchRestoresTheRangesOfEachView)
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
    EXPECT_EQ(chart.xAxis->range(), QCPRange(2, 5));
    EXPECT_EQ(chart.yAxis->range(), QCPRange(1, 9));
    EXPECT_FALSE(chart.AutoX());

    // The detector view had no record: it counts as showing everything, so its
    // left range comes back and the bottom axis follows the data.
    w.bbnSimDetClick();
    EXPECT_EQ(chart.yAxis->range(), QCPRange(-1, 4));
    EXPECT_EQ(chart.xAxis->range(), QCPRange(2, 5));  // the record is still empty

    // An unzoomed profile view restores its left range and shows the whole capillary.
    w.bbnSimDetClick();
    w.RescaleGraph();
    const QCPRange left = chart.yAxis->range();
    EXPECT_TRUE(chart.AutoX());
    EXPECT_NEAR(left.lower, 7.0 - 0.1 * st.NX * 0.001, 1e-9);  // pH 7 .. 7 + NX/1000 widened by 10 %
    w.bbnSimDetClick();
    chart.SetRangeY(0, 1);
    w.bbnSimDetClick();
    EXPECT_EQ(chart.yAxis->range(), left);
    EXPECT_TRUE(chart.AutoX());
    chart.replot();
    EXPECT_DOUBLE_EQ(chart.xAxis->range().lower, NodeX(st, 0));
    EXPECT_DOUBLE_EQ(chart.xAxis->range().upper, NodeX(st, st.NX));

    // The detector marker sits at the detector position (mm on the axis) and
    // spans the visible vertical range.
    st.Series.sr_detectorLine.Add(0, 0);
    st.Series.sr_detectorLine.Add(0, 0);
    w.DrawDetectorLine();
    chart.replot();
    QCPGraph* line = nullptr;
    for (int i = 0; i < chart.graphCount(); ++i)
        if (chart.graph(i)->name() == "Detector Line") line = chart.graph(i);
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->visible());
    ASSERT_EQ(line->dataCount(), 2);
    EXPECT_DOUBLE_EQ(line->data()->at(0)->key, 20.0);
    EXPECT_DOUBLE_EQ(line->data()->at(0)->value, chart.yAxis->range().lower);
    EXPECT_DOUBLE_EQ(line->data()->at(1)->value, chart.yAxis->range().upper);
    st.DetPosition = 30;  // beyond the 25 mm capillary: hidden
    w.DrawDetectorLine();
    EXPECT_FALSE(line->visible());
}

TEST_F(ScriptedWindow, DetectorRecordIsMirroredAsItGrowsAndAfterItWasCleared)
{
    w.bnInitClick();
    RunState& st = w.State();
    ChartSeries& rec = st.Series.DET_pH;
    QCPGraph* graph = nullptr;
    for (int i = 0; i < w.Graph->graphCount(); ++i)
        if (w.Graph->graph(i)->name() == "pH (detector)") graph = w.Graph->graph(i);
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
        rec.Add(k / 60.0, 7 + 0.01 * k);  // one sample, as the run loop appends it
        w.OnDetectorSampled(true);
    }
    EXPECT_TRUE(same());

    // A new record (after an Init) taken while the profile view is shown, longer
    // than the old one: the detector view shows the new record only.
    w.bbnSimDetClick();
    rec.Clear();
    for (int k = 0; k < 80; ++k) rec.Add(0.5 + k / 60.0, 5 - 0.01 * k);
    w.bbnSimDetClick();
    EXPECT_TRUE(same());
    // Thinned (every second sample kept): shown as it is now.
    ChartSeries thinned(rec.title);
    for (int k = 0; k < rec.Count(); k += 2) thinned.Add(rec.x[k], rec.y[k]);
    rec.x = thinned.x;
    rec.y = thinned.y;
    w.SyncChart();
    EXPECT_TRUE(same());
}
