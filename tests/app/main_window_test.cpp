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

#include <QAction>
#include <QCheckBox>
#include <QLabel>
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
#include <set>
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

struct Home : ProgramHome {
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
    for (const char* name : {"bbnInit", "bbnStart", "bbnStop", "spbNew", "spbOpen", "spbSave"})
        s += Ctl<QWidget>(w, name)->isEnabled() ? '1' : '0';
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
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnInit"), Qt::LeftButton);
    EXPECT_EQ(Enabled(w), "111111");

    bool seen = false;
    engine.duringStep = [&](RunState& st, int i) {
        if (i != 20) return;
        seen = st.Running;
        EXPECT_EQ(Enabled(w), "001000");
        EXPECT_EQ(w.StatusText().rfind("Running ... (", 0), 0u) << w.StatusText();
    };
    w.State().Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, false));
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnStart"), Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(engine.stepsDone, 200);
    // StopCalc always runs at the end.
    EXPECT_TRUE(!w.State().Running && w.State().Stop && w.GeometryEditsEnabled());
    EXPECT_EQ(Enabled(w), "111111");
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
    // Init after the stop request still works: it clears Stop first.
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnInit"), Qt::LeftButton);
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
    };
    w.bnStartClick();
    // The refused commands did not restart or end the run.
    EXPECT_EQ(std::pair(engine.stepsDone, initCalls), std::pair(200, 0));
    EXPECT_EQ(sink.messages, std::vector<std::string>(3, "START is active"));

    // Closing the window stops the run after the current step, then asks; No keeps the window.
    engine.steps = 100000;
    engine.duringStep = [&](RunState&, int i) {
        if (i == 3) w.close();
    };
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone - 200, 4);
    EXPECT_TRUE(sink.questions.empty());
    QTRY_COMPARE(sink.questions.size(), size_t(1));
    EXPECT_EQ(sink.questions[0], "Exit Kelvo?");
    EXPECT_TRUE(w.isVisible());

    // Exit stops the run at the next poll and closes the window once the loop has ended.
    sink.answers = {true};
    engine.duringStep = [&](RunState&, int i) {
        if (i == 3) w.bnExitClick();
    };
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone - 204, 4);
    EXPECT_EQ(sink.questions.size(), size_t(1));
    QTRY_COMPARE(sink.questions.size(), size_t(2));
    EXPECT_EQ(sink.questions[1], "Exit Kelvo?");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ScriptedWindow, FileMenuFollowsTheButtonsAndSaveNeedsAnInit)
{
    auto action = [&](const QString& text) {
        for (QAction* a : w.findChildren<QAction*>())
            if (a->text() == text) return a;
        throw std::logic_error("no menu item " + text.toStdString());
    };
    QAction *aNew = action("New"), *aOpen = action("Open..."), *aSave = action("Save...");
    auto menu = [&] {
        return std::string{aNew->isEnabled() ? '1' : '0', aOpen->isEnabled() ? '1' : '0', aSave->isEnabled() ? '1' : '0'};
    };
    EXPECT_EQ(menu(), "110");
    // Save before Init opens no dialog and writes nothing (the reader would refuse it).
    bool dialog = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* m = QApplication::activeModalWidget()) {
            dialog = true;
            m->close();
        }
    });
    w.Save2Click();  // as a shortcut would reach it
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog);
    for (const auto& entry : fs::recursive_directory_iterator(home.dir.path()))
        EXPECT_NE(entry.path().extension(), ".sna") << entry.path();

    w.bnInitClick();
    EXPECT_EQ(menu(), "111");
    std::string during;
    engine.duringStep = [&](RunState&, int i) {
        if (i == 20) during = menu();
    };
    w.bnStartClick();
    EXPECT_EQ(during, "000");
    EXPECT_EQ(menu(), "111");
}

TEST_F(ScriptedWindow, EditsDuringARunKeepTheTypedTextAndFollowEnterEscAndInsert)
{
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.bnInitClick();
    RunState& st = w.State();
    QLineEdit *edUI = Ctl<QLineEdit>(w, "edUI"), *edStopTime = Ctl<QLineEdit>(w, "edStopTime"),
              *edLeftWall = Ctl<QLineEdit>(w, "edLeftWall");
    const double ui = st.UI;
    std::vector<std::string> seen;
    engine.duringStep = [&](RunState& s, int i) {
        // Selected at step 5, typed over after the run's refresh at step 10, Enter at 15
        // (no button can take the focus during a run).
        if (i == 5) {
            edUI->setFocus(Qt::MouseFocusReason);
            edUI->selectAll();
        }
        if (i == 12) QTest::keyClicks(edUI, "500");
        if (i == 15) {
            seen.push_back(edUI->text().toStdString() + " " + FloatToStr(s.UI));
            QTest::keyClick(edUI, Qt::Key_Return);
            seen.push_back(FloatToStr(s.UI) + (edUI->hasFocus() ? " focused" : ""));
        }
        if (i == 16) {
            TypeOver(edStopTime, "x");
            w.UpdateMainInfo();
            QTest::keyClick(edStopTime, Qt::Key_Escape);
            seen.push_back(edStopTime->text().toStdString());
        }
        if (i == 17) {
            w.ClickedPoint = 7;
            edLeftWall->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(edLeftWall, Qt::Key_Insert);
            QTest::keyClick(edLeftWall, Qt::Key_Return);
            seen.push_back(std::to_string(s.LeftWall));
        }
    };
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 200);
    EXPECT_EQ(seen, (std::vector<std::string>{"500 " + FloatToStr(ui), "500", FloatToStr(st.StopTime), "7"}));
    EXPECT_TRUE(st.Restart);
}

TEST_F(ScriptedWindow, AFailedOpenLeavesRunDisabledUntilAnInitSucceeds)
{
    w.bnInitClick();
    EXPECT_EQ(Enabled(w), "111111");
    // The loader's recovery leaves an empty state marked initialised.
    w.FileOpener = [](MainWindow& m, const std::string&) -> bool {
        m.State().Initialised = true;
        ThrowError("Warning: While Opening SNA file 'bad.sna' Error Message Occur: Incorrect file.");
    };
    EXPECT_ANY_THROW(w.OpenFile("bad.sna"));
    EXPECT_EQ(Enabled(w), "101110");
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 0);
    w.bnInitClick();
    EXPECT_EQ(Enabled(w), "111111");
}

TEST_F(ScriptedWindow, DiffusionModeLabelMovesNoButtonAndNewReleasesDiff)
{
    w.bnInitClick();
    auto* diff = Ctl<QToolButton>(w, "spdDiffPrecond");
    auto places = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        std::vector<QRect> r;
        for (const char* name : {"bbnInit", "bbnStart", "bbnStop", "bbnSimDet", "spdDiffPrecond", "spdTime", "edRightWall"})
            r.push_back(Ctl<QWidget>(w, name)->geometry());
        return r;
    };
    const std::vector<QRect> before = places();
    w.State().DiffMode = true;
    w.UpdateMainInfo();
    EXPECT_TRUE(Ctl<QLabel>(w, "llDiffMode")->isVisibleTo(&w) && diff->isChecked());
    EXPECT_EQ(places(), before);
    w.New1Click();
    EXPECT_FALSE(w.State().DiffMode || diff->isChecked());
    EXPECT_EQ(Ctl<QLabel>(w, "llTime")->text(), "Time (s)");
}

TEST(ExampleProject, ConstituentColoursDifferFromEachOtherAndFromTheWindowsCurves)
{
    Home home;
    RecordingMessageSink sink;
    MainWindow w;
    ChartView& chart = *Ctl<ChartView>(w, "Graph");
    std::set<QRgb> builtIn;
    for (int i = 0; i < chart.graphCount(); ++i) builtIn.insert(chart.graph(i)->pen().color().rgb());
    ASSERT_GT(builtIn.size(), 20u);
    RunState st;
    ComposeExampleDemo(st);
    std::set<QRgb> seen;
    for (const auto* node = st.Composition.Head(); node; node = node->next) {
        const QRgb c = ColourFromBGR(static_cast<std::uint32_t>(node->data.colour)).rgb();
        EXPECT_TRUE(seen.insert(c).second) << node->data.name;
        EXPECT_EQ(builtIn.count(c), 0u) << node->data.name;
    }
    EXPECT_EQ(seen.size(), 5u);
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
        QTest::mouseClick(Ctl<QPushButton>(w, "bbnStop"), Qt::LeftButton);
        timer.stop();
    });
    timer.start();
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnStart"), Qt::LeftButton);
    ASSERT_GE(stepsAtClick, 0);
    EXPECT_EQ(engine.stepsDone, stepsAtClick + 1);
    EXPECT_FALSE(w.State().Running);
    EXPECT_TRUE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());
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
        QTest::mouseClick(Ctl<QPushButton>(w, "bbnStart"), Qt::LeftButton);
        EXPECT_EQ(sink.messages, std::vector<std::string>{text});
        EXPECT_FALSE(w.State().Running);
        EXPECT_TRUE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());
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
        TypeOver(edit, text);
        if (enter) QTest::keyClick(edit, Qt::Key_Return);
    };
    auto leave = [&](QLineEdit* edit, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent away(QEvent::FocusOut, reason);
        QApplication::sendEvent(edit, &away);
    };

    typeInto(Ctl<QLineEdit>(w, "edDT"), "2e-4");
    EXPECT_EQ(st.DT, 1e-4);  // nothing happens while typing
    EXPECT_FALSE(st.Restart);
    Ctl<QLineEdit>(w, "edStopTime")->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(Ctl<QLineEdit>(w, "edStopTime")->hasFocus());
    EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    EXPECT_TRUE(st.Restart);
    EXPECT_EQ(Ctl<QLineEdit>(w, "edDT")->text(), "2.0e-4");

    // Invalid text is ignored and the stored value shown again.
    st.Restart = false;
    for (const char* bad : {"abc", "-1", "inf"}) {
        typeInto(Ctl<QLineEdit>(w, "edDT"), bad);
        Ctl<QLineEdit>(w, "edStopTime")->setFocus(Qt::TabFocusReason);
        EXPECT_DOUBLE_EQ(st.DT, 2e-4) << bad;
        EXPECT_EQ(Ctl<QLineEdit>(w, "edDT")->text(), "2.0e-4");
    }
    EXPECT_FALSE(st.Restart);

    // Another window activated or a menu opened: the edit keeps its text uncommitted.
    typeInto(Ctl<QLineEdit>(w, "edDT"), "3e-4");
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        leave(Ctl<QLineEdit>(w, "edDT"), reason);
        EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    }
    leave(Ctl<QLineEdit>(w, "edDT"));
    EXPECT_DOUBLE_EQ(st.DT, 3e-4);

    // Enter moves the focus to the default button and so commits; "," is a decimal point.
    typeInto(Ctl<QLineEdit>(w, "edDT"), "1,5e-4", true);
    EXPECT_DOUBLE_EQ(st.DT, 1.5e-4);
    EXPECT_TRUE(Ctl<QPushButton>(w, "bbnInit")->hasFocus());  // Run is disabled before Init

    // Walls: clamped against each other and the grid.
    st.LeftWall = 100;
    st.RightWall = 200;
    typeInto(Ctl<QLineEdit>(w, "edLeftWall"), "250", true);
    typeInto(Ctl<QLineEdit>(w, "edRightWall"), "5000", true);
    EXPECT_EQ(std::pair(st.LeftWall, st.RightWall), std::pair(199, st.NX));

    // A refresh while the user types (as the run loop makes them) keeps the typed text.
    typeInto(Ctl<QLineEdit>(w, "edStopTime"), "77");
    w.UpdateMainInfo();
    EXPECT_EQ(Ctl<QLineEdit>(w, "edStopTime")->text(), "77");
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
    // A named project that fails to open is not followed by the example; a
    // sequence file goes to the player window (an empty one shows nothing).
    const std::string bad = home.Touch("bad.sna"), seq = home.Touch("run.psq");
    const std::pair<QStringList, std::vector<std::string>> cases[] = {
        {{QString::fromStdString(proj.substr(0, proj.size() - 4))}, {proj}},
        {{"/nonexistent/file.sna"}, {example}},
        {{QString::fromStdString(bad)}, {bad}},
        {{QString::fromStdString(seq)}, {}}};
    for (const auto& [args, expected] : cases) {
        sink.Clear();
        std::vector<std::string> opened;
        int reads = 0;
        MainWindow w(args);
        w.FileOpener = [&](MainWindow&, const std::string& p) {
            opened.push_back(p);
            if (p == bad) ThrowError("Incorrect file.");
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
        EXPECT_EQ(opened, expected);
        EXPECT_EQ(reads, 1);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect INI File."});
        if (args.first().toStdString() == bad) {
            EXPECT_EQ(sink.messages, std::vector<std::string>{"Incorrect file."});
        }
        if (args.first().toStdString() == seq) {
            EXPECT_TRUE(sink.messages.empty());
            EXPECT_TRUE(Ctl<QWidget>(w, "fmPSQ")->isVisible());
        }
    }
}

TEST(MainWindowStart, CapillaryEndsOfTheExampleAreTheSameAtStartAndAfterOpen)
{
    Home home;
    RecordingMessageSink sink;
    fs::create_directories(home.dir.path() / "Examples");
    const std::string example = (home.dir.path() / "Examples" / "Example_Demo.sna").string();
    std::string error;
    ASSERT_TRUE(WriteExampleDemo(example, error)) << error;
    // The ends in mm from the example's geometry, zero at the injection site.
    RunState ref;
    ComposeExampleDemo(ref);
    const std::pair<std::string, std::string> expected{
        FormatFloat("0.000", -ref.InjSitePending),
        FormatFloat("0.000", ref.CapLengthPending * 1000 - ref.InjSitePending)};
    MainWindow w;
    auto ends = [&] {
        return std::pair(Ctl<QLabel>(w, "sbPanel0")->text().toStdString(),
                         Ctl<QLabel>(w, "sbPanel4")->text().toStdString());
    };
    w.FormActivate();  // the first start opens the example
    EXPECT_EQ(w.State().FileName, example);
    EXPECT_EQ(ends(), expected);
    w.New1Click();
    EXPECT_EQ(ends(), std::pair(std::string("-"), std::string("-")));
    EXPECT_TRUE(w.OpenFile(example));  // where File > Open goes
    EXPECT_EQ(ends(), expected);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

TEST_F(ScriptedWindow, ViewSwitchAndCheckLists)
{
    w.bnInitClick();
    RunState& st = w.State();
    ASSERT_EQ(Ctl<QListWidget>(w, "clbGraph")->count(), 4);
    EXPECT_TRUE(Ctl<QListWidget>(w, "clbGraph")->isVisible() && !Ctl<QListWidget>(w, "clbDet")->isVisible() &&
                st.Series.sr_pH.active);
    // Unchecking pH in the list hides its series (a user click on the check box).
    Ctl<QListWidget>(w, "clbGraph")->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(st.Series.sr_pH.active);
    Ctl<QListWidget>(w, "clbGraph")->item(0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(st.Series.sr_pH.active);

    QTest::mouseClick(Ctl<QPushButton>(w, "bbnSimDet"), Qt::LeftButton);
    EXPECT_TRUE(st.DetectorView && !st.Series.sr_pH.active && st.Series.DET_pH.active &&
                Ctl<QListWidget>(w, "clbDet")->isVisible());
    EXPECT_EQ(Ctl<ChartView>(w, "Graph")->xAxis->label(), "Time (min)");
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnSimDet"), Qt::LeftButton);
    EXPECT_TRUE(!st.DetectorView && st.Series.sr_pH.active);

    // A file that switches the detector off returns to the profile view and disables the switch.
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnSimDet"), Qt::LeftButton);
    w.FileOpener = [](MainWindow& m, const std::string&) {
        m.State().cbDetectorOn = false;
        return true;
    };
    EXPECT_TRUE(w.OpenFile("project.sna"));
    EXPECT_FALSE(Ctl<QCheckBox>(w, "cbDetectorOn")->isChecked() || st.DetectorView ||
                 Ctl<QPushButton>(w, "bbnSimDet")->isEnabled());
}

TEST_F(ScriptedWindow, ViewsKeepTheirRangesMarkerAndDetectorRecord)
{
    w.bnInitClick();
    RunState& st = w.State();
    ChartView& chart = *Ctl<ChartView>(w, "Graph");

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

    QTest::mouseClick(Ctl<QPushButton>(w, "bbnInit"), Qt::LeftButton);
    ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    ASSERT_EQ(Ctl<QListWidget>(w, "clbGraph")->count(), 5 + 4);
    // Every constituent, pH and conductivity are drawn with one point per node.
    int profiles = 0;
    for (int i = 0; i < Ctl<ChartView>(w, "Graph")->graphCount(); ++i) {
        QCPGraph* g = Ctl<ChartView>(w, "Graph")->graph(i);
        if (g->name().endsWith(" (x-scale)") && g->visible()) profiles += g->dataCount() == st.NX + 1;
    }
    EXPECT_EQ(profiles, 5 + 2);

    st.StopTime = 0.5;
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnStart"), Qt::LeftButton);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(!st.Running && st.Time > 0.4 && st.Time <= 0.5 && st.StepCount > 0) << st.Time;
    EXPECT_EQ(Ctl<QLineEdit>(w, "edTime")->text().toStdString(), FormatFloat("0.0##e+0", st.Time));  // below 1 s
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
    ASSERT_GT(st.Series.DET_pH.Count(), 0);   // the detector sampled during the run
    QTest::mouseClick(Ctl<QPushButton>(w, "bbnSimDet"), Qt::LeftButton);
    ASSERT_TRUE(st.DetectorView);
    QCPGraph* detector = GraphNamed(*Ctl<ChartView>(w, "Graph"), "pH (detector)");
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
