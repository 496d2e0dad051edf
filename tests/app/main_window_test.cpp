// The main window driven through its widgets: run control, button states,
// edits that commit on leaving, instance markers, start and exit, views; its
// status texts and start switches.
#include "qt_test_env.h"
#include "support/recording_sink.h"

#include "app/kit/added_texts.h"
#include "app/windows/run_setup_window.h"
#include "composition/cmp_file.h"
#include "engine/step/run_calc.h"
#include "files/sna_file.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"

#include <fstream>
#include <iterator>
#include <limits>
#include <set>

namespace {

// Which of Init, Run, Stop, New, Open and Save are enabled ('1') or not ('0'),
// then New, Open and Save of the File menu.
std::string Enabled(const MainWindow& w)
{
    std::string s;
    for (const char* name : {"bbnInit", "bbnStart", "bbnStop", "spbNew", "spbOpen", "spbSave"})
        s += Ctl<QWidget>(w, name)->isEnabled() ? '1' : '0';
    s += ' ';
    for (const char* text : {"New", "Open...", "Save..."})
        for (QAction* a : w.findChildren<QAction*>())
            if (a->text() == text) s += a->isEnabled() ? '1' : '0';
    return s;
}

// A shown main window with the scripted engine, in its own program directory.
struct ScriptedWindow : ShownMainWindow {
    void SetUp() override
    {
        engine.Install(w);
        w.show();
    }
    ScriptedEngine engine;
};

}  // namespace

TEST_F(ScriptedWindow, ButtonAndMenuStatesThroughAWholeRunAndNoSaveBeforeInit)
{
    EXPECT_EQ(Enabled(w), "101110 110");  // before Init: nothing to run or save
    // Save before Init opens no dialog and writes nothing (the reader would refuse the file).
    bool dialog = false;
    QTimer::singleShot(0, [&] {
        dialog = QApplication::activeModalWidget() != nullptr;
        CloseNextModal();
    });
    w.Save2Click();  // as a shortcut would reach it
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog);
    for (const auto& entry : fs::recursive_directory_iterator(home.dir.path()))
        EXPECT_NE(entry.path().extension(), ".sna") << entry.path();
    Click(w, "bbnInit");
    EXPECT_EQ(Enabled(w), "111111 111");

    // The companion windows follow the run with its panel (at its pace),
    // never at each detector sample: whenever they refresh, the panel shows
    // the present time.
    int companionRefreshes = 0, behindPanel = 0;
    QLineEdit* edTime = Ctl<QLineEdit>(w, "edTime");
    w.InfoRefreshers.push_back([&] {
        if (!w.State().Running) return;
        ++companionRefreshes;
        behindPanel += edTime->text().toStdString() != FormatFloat("0.0##e+0", w.State().Time);
    });
    bool seen = false;
    engine.duringStep = [&](RunState& st, int i) {
        st.Time += 1e-3;  // within the first second: "0.0##e+0"
        st.Events.Emit(EngineEvent::Flag(EngineEventKind::DetectorSampled, true));
        if (i != 20) return;
        seen = st.Running;
        EXPECT_EQ(Enabled(w), "001000 000");
        EXPECT_EQ(w.StatusText().rfind("Running ... (", 0), 0u) << w.StatusText();
    };
    w.State().Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, false));
    Click(w, "bbnStart");
    EXPECT_TRUE(seen);
    EXPECT_EQ(engine.stepsDone, 200);
    EXPECT_LT(companionRefreshes, 200);
    EXPECT_EQ(behindPanel, 0);
    // StopCalc always runs at the end.
    EXPECT_TRUE(!w.State().Running && w.State().Stop && w.GeometryEditsEnabled());
    EXPECT_EQ(Enabled(w), "111111 111");
    EXPECT_EQ(w.StatusText().rfind("Ready ...", 0), 0u);
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

    // Closing the window (No) and Exit (Yes) stop the run after the current
    // step and ask once the loop has ended; only Yes closes.
    engine.steps = 100000;
    for (bool yes : {false, true}) {
        const int before = engine.stepsDone;
        sink.answers = {yes};
        engine.duringStep = [&](RunState&, int i) {
            if (i == 3) yes ? w.bnExitClick() : (void)w.close();
        };
        w.bnStartClick();
        EXPECT_EQ(engine.stepsDone - before, 4);
        EXPECT_EQ(sink.questions.size(), size_t(yes));
        QTRY_COMPARE(sink.questions.size(), size_t(yes) + 1);
        EXPECT_EQ(sink.questions.back(), "Exit Kelvo?");
        EXPECT_EQ(w.isVisible(), !yes);
    }
}

TEST_F(ScriptedWindow, EditsDuringARunKeepTheTypedTextAndFollowEnterEscAndInsert)
{
    ShowActive(w);
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
    EXPECT_EQ(seen, (std::vector<std::string>{"500 " + FloatToStr(ui), "500",
                                              FloatToStr(st.StopTime), "7"}));
    EXPECT_TRUE(st.Restart);

    // A run started with Alt+R while "dt (s)" has the focus: the edit follows
    // the run's DT, and leaving it untouched commits nothing (the old text
    // would bring back the DT shown before the run).
    QLineEdit* edDT = Ctl<QLineEdit>(w, "edDT");
    st.DT = 1e-4;
    w.UpdateMainInfo();
    edDT->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(edDT->hasFocus());
    seen.clear();
    engine.duringStep = [&](RunState& s, int i) {
        if (i == 30) s.DT = 1.8234567e-3;  // the step control's choice, shown rounded
        if (i == 31) {
            w.UpdateMainInfo();
            seen.push_back(edDT->text().toStdString() + (edDT->hasFocus() ? " focused" : ""));
        }
    };
    // Alt+R clicks Run without taking the focus from the edit.
    Ctl<QPushButton>(w, "bbnStart")->click();
    EXPECT_EQ(seen, std::vector<std::string>{"1.823e-3 focused"});
    st.Restart = false;
    edStopTime->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!edDT->hasFocus());
    EXPECT_EQ(std::pair(st.DT, st.Restart), std::pair(1.8234567e-3, false));
}

TEST_F(ScriptedWindow, AFailedOpenLeavesRunDisabledUntilAnInitSucceedsAndNewEndsDiffusion)
{
    w.bnInitClick();
    // The loader's recovery leaves an empty state marked initialised.
    w.FileOpener = [](MainWindow& m, const std::string&) -> bool {
        m.State().Initialised = true;
        ThrowError(
            "Warning: While Opening SNA file 'bad.sna' Error Message Occur: Incorrect file.");
    };
    EXPECT_ANY_THROW(w.OpenFile("bad.sna"));
    EXPECT_EQ(Enabled(w), "101110 110");
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 0);
    w.bnInitClick();
    EXPECT_EQ(Enabled(w), "111111 111");
    w.State().DiffMode = true;
    w.New1Click();
    EXPECT_FALSE(w.State().DiffMode || Ctl<QToolButton>(w, "spdDiffPrecond")->isChecked());
}

TEST_F(ScriptedWindow, StopOrAFailureDuringARunEndsItAfterTheCurrentStep)
{
    engine.steps = 100000;
    w.bnInitClick();
    engine.duringStep = [&](RunState&, int i) {
        if (i == 5) Click(w, "bbnStop");
    };
    Click(w, "bbnStart");
    EXPECT_EQ(engine.stepsDone, 6);
    EXPECT_TRUE(sink.messages.empty());
    engine.duringStep = nullptr;

    // A failure inside a run is shown after the run has stopped: the program's
    // own text is kept; anything else gets the calculation message.
    engine.steps = 200;
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[] { ThrowError("Error: Can't write to file"); }, "Error: Can't write to file"},
        {[] { throw std::runtime_error("vector::at"); },
         "C Error: Error in Calculation Occured (e.g. Negative Values)."}};
    for (const auto& [raise, text] : failures) {
        sink.Clear();
        engine.throwAt = raise;
        Click(w, "bbnStart");
        EXPECT_EQ(sink.messages, std::vector<std::string>{text});
        EXPECT_FALSE(w.State().Running);
        EXPECT_TRUE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());
    }
}

TEST_F(ShownMainWindow, PanelEditsCommitOnLeavingAndIgnoreInvalidText)
{
    ShowActive(w);
    RunState& st = w.State();
    QLineEdit *dt = Ctl<QLineEdit>(w, "edDT"), *stop = Ctl<QLineEdit>(w, "edStopTime");

    // Invalid text is refused, named in a warning, and the stored value shown again.
    for (const char* typed : {"2e-4", "abc", "-1", "inf"}) {
        TypeOver(dt, typed);
        EXPECT_EQ(st.DT, typed[0] == '2' ? 1e-4 : 2e-4);  // nothing happens while typing
        stop->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(stop->hasFocus());
        EXPECT_DOUBLE_EQ(st.DT, 2e-4) << typed;
        EXPECT_EQ(dt->text(), "2.0e-4");
        EXPECT_EQ(st.Restart, typed[0] == '2');
        st.Restart = false;
    }

    // Another window activated or a menu opened: the edit keeps its text uncommitted.
    TypeOver(dt, "3e-4");
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
        Leave(dt, reason);
        EXPECT_DOUBLE_EQ(st.DT, 2e-4);
    }
    Leave(dt);
    EXPECT_DOUBLE_EQ(st.DT, 3e-4);

    // Enter moves the focus to the default button and so commits; "," is a decimal point.
    TypeOver(dt, "1,5e-4");
    QTest::keyClick(dt, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(st.DT, 1.5e-4);
    EXPECT_TRUE(Ctl<QPushButton>(w, "bbnInit")->hasFocus());  // Run is disabled before Init

    // Walls: clamped against each other and the grid.
    st.LeftWall = 100;
    st.RightWall = 200;
    for (auto [name, text] : {std::pair("edLeftWall", "250"), std::pair("edRightWall", "5000")}) {
        TypeOver(Ctl<QLineEdit>(w, name), text);
        QTest::keyClick(Ctl<QLineEdit>(w, name), Qt::Key_Return);
    }
    EXPECT_EQ(std::pair(st.LeftWall, st.RightWall), std::pair(199, st.NX));

    // A refresh while the user types (as the run loop makes them) keeps the typed text.
    TypeOver(stop, "77");
    w.UpdateMainInfo();
    EXPECT_EQ(stop->text(), "77");
    EXPECT_DOUBLE_EQ(st.StopTime, 3600);
    std::vector<std::string> refused;
    for (const char* typed : {"abc", "-1", "inf"})
        refused.push_back(FieldRefusedText("dt (s)", typed, {0, kTimeStepRange.high}));
    EXPECT_EQ(sink.warnings, refused);
}

TEST(MainWindowStart, InstanceMarkersAndExit)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string dir = home.dir.path().string();
    {
        MainWindow first, second;
        first.FormActivate();
        ASSERT_TRUE(first.Instance().Claimed());
        second.FormActivate();
        second.FormActivate();  // later activations claim nothing more
        EXPECT_FALSE(home.Has("Kelvo5_ID_3.sid"));
        for (auto [win, id, title] : {std::tuple(&first, 1, "KELVO 5: No File"),
                                      std::tuple(&second, 2, "KELVO 5[2]: No File")}) {
            EXPECT_TRUE(home.Has("Kelvo5_ID_" + std::to_string(id) + ".sid"));
            EXPECT_EQ(win->InstanceID(), id);
            EXPECT_EQ(win->State().PsqFileOwn, dir + "/Kelvo5_tmp_" + std::to_string(id) + ".psq");
            EXPECT_EQ(win->windowTitle(), title);
        }
        // No keeps the window and its marker; Yes deletes only the own marker.
        first.show();
        for (bool yes : {false, true}) {
            sink.answers = {yes};
            EXPECT_EQ(first.close(), yes);
            EXPECT_EQ(sink.questions.back(), "Exit Kelvo?");
            EXPECT_EQ(home.Has("Kelvo5_ID_1.sid"), !yes);
        }
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
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string example = home.Touch("Examples/Example_Demo.sna"),
                      proj = home.Touch("proj.sna");
    // The name gains ".sna" (the example is then not opened); a missing file
    // opens the example instead, once.
    // A named project that fails to open is not followed by the example; a
    // sequence file goes to the player window (an empty one shows nothing).
    const std::string bad = home.Touch("bad.sna"), seq = home.Touch("run.psq");
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {proj.substr(0, proj.size() - 4), {proj}},
        {"/nonexistent/file.sna", {example}},
        {bad, {bad}},
        {seq, {}}};
    for (const auto& [arg, expected] : cases) {
        sink.Clear();
        std::vector<std::string> opened;
        int reads = 0;
        MainWindow w({QString::fromStdString(arg)});
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
        // A named file that is missing is named in a warning.
        std::vector<std::string> warnings{"Incorrect INI File."};
        if (arg == "/nonexistent/file.sna") warnings.push_back("File \"" + arg + "\" not found.");
        EXPECT_EQ(sink.warnings, warnings);
        EXPECT_EQ(sink.messages, arg == bad ? std::vector<std::string>{"Incorrect file."}
                                            : std::vector<std::string>{});
        EXPECT_EQ(Ctl<QWidget>(w, "fmPSQ")->isVisible(), arg == seq);
    }
}

TEST(MainWindowStart, CapillaryEndsOfTheExampleAreTheSameAtStartAndAfterOpen)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string example = home.WriteExample();
    ASSERT_FALSE(example.empty());
    // The ends in mm from the example's geometry, zero at the injection site.
    RunState ref;
    ComposeExampleDemo(ref);
    const std::pair expected{
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

TEST_F(ScriptedWindow, ViewsCheckListsRangesAndTheDetectorRecord)
{
    w.bnInitClick();
    RunState& st = w.State();
    ChartView& chart = *Ctl<ChartView>(w, "Graph");
    auto ranges = [&] { return std::pair(chart.xAxis->range(), chart.yAxis->range()); };
    auto* graphList = Ctl<QListWidget>(w, "clbGraph");
    ASSERT_EQ(graphList->count(), 6);
    EXPECT_TRUE(graphList->isVisible() && !Ctl<QListWidget>(w, "clbDet")->isVisible() &&
                st.Series.sr_pH.active);
    // Unchecking pH in the list hides its series (a user click on the check box).
    graphList->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(st.Series.sr_pH.active);
    graphList->item(0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(st.Series.sr_pH.active);

    // A zoomed profile view comes back with exactly its ranges; the detector
    // view had no record: it counts as showing everything, so its left range
    // comes back and the bottom axis follows the data.
    chart.SetRangeX(2, 5);
    chart.SetRangeY(9, 1);
    Click(w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView && !st.Series.sr_pH.active && st.Series.DET_pH.active &&
                Ctl<QListWidget>(w, "clbDet")->isVisible());
    chart.SetRangeY(-1, 4);
    w.bbnSimDetClick();
    EXPECT_EQ(ranges(), std::pair(QCPRange(2, 5), QCPRange(1, 9)));
    EXPECT_FALSE(chart.AutoX());
    w.bbnSimDetClick();
    // (the empty record's time axis spans the run, not the zoomed capillary)
    EXPECT_EQ(ranges(), std::pair(QCPRange(0, st.StopTime / 60), QCPRange(-1, 4)));

    // The detector record is mirrored sample by sample as it grows, and whole
    // after it was cleared (a new Init).
    ChartSeries& rec = st.Series.DET_pH;
    QCPGraph* graph = GraphNamed(w, "pH (detector)");
    ASSERT_NE(graph, nullptr);
    auto same = [&] {
        std::vector<double> keys;
        for (int j = 0; j < graph->dataCount(); ++j) keys.push_back(graph->data()->at(j)->key);
        return keys == rec.x && Values(graph) == rec.y;
    };
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

    // A file that switches the detector off returns to the profile view and disables the switch.
    w.FileOpener = [](MainWindow& m, const std::string&) {
        m.State().cbDetectorOn = false;
        return true;
    };
    EXPECT_TRUE(w.OpenFile("project.sna"));
    EXPECT_FALSE(Ctl<QCheckBox>(w, "cbDetectorOn")->isChecked() || st.DetectorView ||
                 Ctl<QPushButton>(w, "bbnSimDet")->isEnabled());
}

TEST_F(ExampleWindow, RunThroughTheMainWindowAndItsChart)
{
    RunState& st = St();
    ASSERT_EQ(Ctl<QListWidget>(*w, "clbGraph")->count(), 5 + 4);
    // Every constituent, pH and conductivity are drawn with one point per node.
    auto* chart = Ctl<ChartView>(*w, "Graph");
    int profiles = 0;
    for (int i = 0; i < chart->graphCount(); ++i) {
        QCPGraph* g = chart->graph(i);
        if (g->name().endsWith(" (x-scale)") && g->visible())
            profiles += g->dataCount() == st.NX + 1;
    }
    EXPECT_EQ(profiles, 5 + 2);
    std::set<int> colours;  // each constituent has a colour of its own
    for (const auto* n = st.Composition.Head(); n; n = n->next) colours.insert(n->data.colour);
    EXPECT_EQ(colours.size(), 5u);

    st.StopTime = 0.5;
    Click(*w, "bbnStart");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(!st.Running && st.Time > 0.4 && st.Time <= 0.5 && st.StepCount > 0) << st.Time;
    EXPECT_EQ(Ctl<QLineEdit>(*w, "edTime")->text().toStdString(),
              FormatFloat("0.0##e+0", st.Time));  // below 1 s
    ASSERT_GT(st.Series.DET_pH.Count(), 0);       // the detector sampled during the run
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView);
    QCPGraph* detector = GraphNamed(*w, "pH (detector)");
    EXPECT_TRUE(detector && detector->visible() &&
                detector->dataCount() == st.Series.DET_pH.Count());

    // New: the PSQ line shows no size of the run that is gone.
    QLabel* size = Ctl<QLabel>(*w, "llPSQFileSize");
    ASSERT_TRUE(size->text().endsWith(" MB") && size->text() != "0 MB")
        << size->text().toStdString();
    Click(*w, "spbNew");
    EXPECT_EQ(size->text(), "Uncreated");
}

// The example run: the detector view after Init shows the empty record over
// the run's time; Run Setup, Options and the Complex window opened during a
// run say in the status bar that the run waits for them (a message box names
// none), and their waits count in no computing time; a run whose
// constituents are gone (a composition opened alone, then Restore) is refused
// with a plain message, also in the racemic mode, and Run is disabled.
TEST_F(ExampleWindow, DetectorAxesAfterInitRunHeldByAWindowAndARunWithoutConstituents)
{
    RunState& st = St();
    Click(*w, "bbnSimDet");
    ASSERT_TRUE(st.DetectorView && st.Series.DET_pH.Count() == 0);
    auto* chart = Ctl<ChartView>(*w, "Graph");
    chart->replot();
    EXPECT_EQ(chart->xAxis->label(), "Time (min)");
    EXPECT_EQ(chart->xAxis->range(), QCPRange(0, st.StopTime / 60));
    Click(*w, "bbnSimDet");

    // Each window opened from the run's message processing, closed by the
    // run's next timer; the status bar names it meanwhile, then the run goes on.
    // A message box names no window: over the Complex window that one holds
    // the run. Each window is held 31 s of a clock that stands otherwise:
    // the waits are no computing time.
    double days = 45000;
    w->Clock = [&] { return days; };
    st.StopTime = 1e9;
    std::vector<std::string> waiting, after;
    const auto hold = [&] {
        waiting.push_back(w->StatusText());
        days += 31.0 / 86400;
    };
    const auto messageBox = [&] {
        QMessageBox box(QMessageBox::Warning, "Warning", "held", QMessageBox::Ok,
                        QApplication::activeWindow());
        QTimer::singleShot(0, &box, [&] {
            hold();
            box.done(QMessageBox::Ok);
        });
        box.exec();
    };
    // The windows open once the run steps.
    std::function<void()> whenStepping = [&] {
        if (st.StepCount == 0) return QTimer::singleShot(0, w.get(), whenStepping);
        for (const std::string entry : {"spbRunSetup", "Option1", "Complex1"}) {
            QTimer::singleShot(0, w.get(), [&] {
                hold();
                if (entry == "Complex1") messageBox();
                QApplication::activeModalWidget()->close();
            });
            if (entry[0] == 's')
                Click(*w, entry.c_str());
            else
                Trigger(entry.c_str());
            after.push_back(w->StatusText());
        }
        messageBox();
        after.push_back(w->StatusText());
        st.Stop = true;
    };
    QTimer::singleShot(0, w.get(), whenStepping);
    Click(*w, "bbnStart");
    ASSERT_EQ(waiting.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(waiting.begin(), waiting.begin() + 4),
              (std::vector<std::string>{RunWaitsText("Run Setup"), RunWaitsText("Option"),
                                        RunWaitsText("Complex"), RunWaitsText("Complex")}));
    after.push_back(waiting[4]);
    ASSERT_EQ(after.size(), 5u);
    for (const std::string& text : after) EXPECT_EQ(text.rfind("Running ...", 0), 0u) << text;
    EXPECT_TRUE(!st.Running && sink.warnings.empty());
    EXPECT_EQ(st.SpentTime, 0.0);
    EXPECT_EQ(w->StatusText(), "Ready ...");
    w->Clock = nullptr;

    st.StopTime = st.Time + 0.001;
    const std::string cmp = home.dir.file("alone.cmp");
    ASSERT_TRUE(WriteComposition(st.Composition, cmp));
    ASSERT_TRUE(w->OpenFile(cmp));
    // The run's own entry point refuses by the run's constituents, not by the
    // composition shown.
    ASSERT_TRUE(st.Initialised && st.Composition.Count() > 0);
    const long long steps = st.StepCount;
    sink.Clear();
    RunCalc(st);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kNoConstituentsToRun});
    EXPECT_TRUE(st.StepCount == steps && !st.Running);
    Click(*w, "bnRestore");
    ASSERT_TRUE(st.Initialised && st.Composition.Count() == 0 && !st.CompChanged);
    EXPECT_FALSE(Ctl<QWidget>(*w, "bbnStart")->isEnabled());
    EXPECT_FALSE(Ctl<QWidget>(*w, "spbSave")->isEnabled());
    for (bool racemic : {false, true}) {
        st.cbRacemic = racemic;
        sink.Clear();
        EXPECT_NO_THROW(w->bnStartClick());
        EXPECT_EQ(sink.warnings, std::vector<std::string>{kNoConstituentsToRun});
    }
}

// A reaction switched on in the run setup (C + P -> PC of the first three
// constituents) acts at every node: the window's walls stand at the ends of
// the grid before, during and after the run, in the panel and on the chart,
// and a wall the user moves comes back to its end while the reaction acts.
TEST_F(ExampleWindow, AReactionKeepsTheWallsAtTheEndsOfTheGrid)
{
    RunState& st = St();
    auto* setup = Ctl<RunSetupWindow>(*w, "fmRunSetup");
    setup->show();
    // Hidden in the layout (a project file brings the switch); shown to take the click.
    Ctl<QGroupBox>(*setup, "gbKinetic")->setVisible(true);
    auto* kinetic = Ctl<QCheckBox>(*setup, "cbKinetic");
    kinetic->setVisible(true);
    ASSERT_FALSE(kinetic->isChecked());
    st.Kin1 = 1e-3;
    st.Kin2 = 0.0;
    st.KinC = 0.0;
    st.LeftWall = 100;
    st.RightWall = 300;
    QTest::mouseClick(kinetic, Qt::LeftButton, {}, QPoint(6, kinetic->height() / 2));
    ASSERT_TRUE(st.cbKinetic);
    auto* right = Ctl<QLineEdit>(*w, "edRightWall");
    TypeOver(right, "200");
    QTest::keyClick(right, Qt::Key_Return);
    EXPECT_EQ(std::pair(st.LeftWall, st.RightWall), std::pair(0, st.NX));
    EXPECT_EQ(right->text(), QString::number(st.NX));

    st.StopTime = 0.2;
    Click(*w, "bbnStart");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    ASSERT_TRUE(!st.Running && st.StepCount > 0 && !st.NumericalFailure);
    EXPECT_EQ(std::pair(st.LeftWall, st.RightWall), std::pair(0, st.NX));
    EXPECT_EQ(Ctl<QLineEdit>(*w, "edLeftWall")->text(), "0");
    EXPECT_EQ(right->text(), QString::number(st.NX));
    const QCPGraph* line = GraphNamed(*w, "Right Wall");
    ASSERT_TRUE(line && line->dataCount() == 2);
    EXPECT_DOUBLE_EQ(line->data()->constBegin()->key, st.CapLength * st.XScale);
}

TEST(StatusText, ElapsedTimeTextsPendingSetupAndPlayerSwitches)
{
    const std::pair<int, std::string> cases[] = {
        {-5, ""}, {59, "(59 s)"}, {3725, "(1 h, 2 m, 5 s)"}, {86400, "(1 d, 0 h, 0 m, 0 s)"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatElapsed(seconds), text) << seconds;
    // Remaining times from a tiny or negative dt stay inside the int range.
    EXPECT_EQ(std::tuple(ClampSeconds(1e300), ClampSeconds(-1e300), ClampSeconds(std::nan(""))),
              std::tuple(std::numeric_limits<int>::max(), 0, 0));

    // Pending set-up values mark the set-up changed until they are taken back.
    RunState st;
    st.PeakWidthPending = 3, st.NXPending = 500;
    CheckRunSetupChanged(st);
    EXPECT_TRUE(st.SetupChanged && st.SetupItemChanged[0] && st.SetupItemChanged[1] &&
                !st.SetupItemChanged[4]);
    st.PeakWidthPending = st.PeakWidth, st.NXPending = st.NX;
    CheckRunSetupChanged(st);
    EXPECT_FALSE(st.SetupChanged || st.SetupItemChanged[0]);

    // No switch first: both ignored; a non-switch ends the list; out of range values are not taken.
    const std::tuple<QStringList, int, int, bool> switches[] = {
        {{"run.psq", "5", "/2"}, 0, 0, false},
        {{"run.psq", "-3", "x", "/1"}, 3, 0, false},
        {{"run.psq", "/0", "/-2", "/-1", "/9"}, 0, 0, true},
    };
    for (const auto& [args, frame, step, tooMany] : switches) {
        const PlayerStartOptions o = ParsePlayerSwitches(args);
        EXPECT_EQ(std::tuple(o.RequestedFrame, o.FrameStep, o.TooMany),
                  std::tuple(frame, step, tooMany))
            << args.join(' ').toStdString();
        EXPECT_LT(o.Delay, 0);
    }
}

// A project refused by its own file or by a companion, opened through File >
// Open, leaves the opened run with its name and its commands: Run and Save
// need no new Init.
TEST(MainWindowOpen, AProjectRefusedBeforeTheRunTookItLeavesTheRunAndItsCommands)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string example = home.WriteExample();
    ASSERT_FALSE(example.empty());
    MainWindow w;
    ASSERT_TRUE(w.OpenFile(example));
    const std::string commands = Enabled(w);
    ASSERT_EQ(commands.substr(0, 2), "11");  // Init and Run
    const auto bytes = [](const std::string& name) {
        std::ifstream f(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    const auto write = [](const std::string& name, const std::string& b) {
        std::ofstream(name, std::ios::binary) << b;
    };
    const std::string sna = bytes(example), cmp = bytes(ChangeFileExt(example, ".cmp"));
    const std::string bad = home.dir.file("bad.sna");
    write(ChangeFileExt(bad, ".cmp"), cmp);
    for (const bool table : {false, true}) {
        write(bad, table ? sna : sna.substr(0, 300));
        // a table of another composition
        if (table) write(ChangeFileExt(bad, ".txt"), "# Ligand: nL, pL\r\n0\t0\r\n");
        EXPECT_THROW(w.OpenFile(bad), OpenRefused) << table;
        EXPECT_EQ(w.State().FileName, example) << table;
        EXPECT_EQ(Enabled(w), commands) << table;
    }
}

// The step time of the status text is the mean over the steps since the text
// the window last showed. The run loop restamps its own clock at each of its
// refreshes (every 30 steps here), of which the panel shows only a few.
TEST_F(ScriptedWindow, StatusStepTimeIsTheMeanSinceTheLastShownText)
{
    double days = 45000;  // a controlled clock: each step takes 1 ms, nothing else any time
    w.Clock = [&] { return days; };
    w.bnInitClick();
    RunState& st = w.State();
    st.DT = 0.1;
    st.StopTime = 1000;
    std::vector<std::string> shown;
    w.Engine().RunCalc = [&](RunState& s) {
        s.Running = true;
        s.Stop = false;
        s.RunStart = s.RunStartStamp = days;
        s.host().SetStatusText("Running ...");
        for (int i = 0; i < 400; ++i) {
            days += 0.001 / 86400;
            ++s.StepCount;
            s.Time += s.DT;
            if (s.StepCount % 30 == 0) s.RunStartStamp = days;
            // The panel shown (as a committed edit shows it at once).
            if (s.StepCount == 100 || s.StepCount == 250 || s.StepCount == 391) {
                w.UpdateMainInfo();
                shown.push_back(w.StatusText());
            }
        }
        s.Running = false;
    };
    days += 60.0 / 86400;  // a minute between the Init and Run does not count as steps' time
    Click(w, "bbnStart");
    // Remaining: (1000 s - Time) / 0.1 s per step, 1 ms each.
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Running ... (1.000 %)   |   AID: 1.0 ms/iter (9 s)",
                                        "Running ... (2.500 %)   |   AID: 1.0 ms/iter (9 s)",
                                        "Running ... (3.910 %)   |   AID: 1.0 ms/iter (9 s)"}));
}

// After a failed open the run waits for an Init, also when a later open is
// refused with nothing changed (a project without its constituent file).
TEST_F(ScriptedWindow, AnOpenRefusedAfterAFailedOneKeepsRunAndSaveDisabled)
{
    w.bnInitClick();
    auto real = w.FileOpener;
    w.FileOpener = [](MainWindow& m, const std::string&) -> bool {
        m.State().Initialised = true;
        ThrowError(
            "Warning: While Opening SNA file 'bad.sna' Error Message Occur: Incorrect file.");
    };
    EXPECT_ANY_THROW(w.OpenFile("bad.sna"));
    ASSERT_EQ(Enabled(w), "101110 110");
    w.FileOpener = real;
    const std::string lone = home.Touch("lone.sna");
    sink.Clear();
    EXPECT_FALSE(w.OpenFile(lone));
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"File " + ChangeFileExt(lone, ".cmp") + " not found!"});
    EXPECT_EQ(Enabled(w), "101110 110");
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 0);
    w.bnInitClick();
    EXPECT_EQ(Enabled(w), "111111 111");
}

// A file named on the command line that is not there is named in a warning;
// the program starts as without a file.
TEST(MainWindowStart, AMissingStartFileIsNamed)
{
    ProgramHome home;
    RecordingMessageSink sink;
    for (const std::string& arg : {home.dir.file("gone.sna"), home.dir.file("gone")}) {
        sink.Clear();
        MainWindow w({QString::fromStdString(arg)});
        w.FormActivate();
        const std::string looked =
            arg.size() > 4 && arg.substr(arg.size() - 4) == ".sna" ? arg : arg + ".sna";
        EXPECT_EQ(sink.warnings, std::vector<std::string>{"File \"" + looked + "\" not found."});
        EXPECT_EQ(w.State().FileName, "No File");
    }
}

// The temporary sequence of an instance and its constituent file go with the
// program; a start never shows the size of one left by an earlier session.
TEST(MainWindowStart, TemporaryFilesGoAtExitAndAStartShowsNoneLeft)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string psq = home.dir.file("Kelvo5_tmp_1.psq"),
                      cmp = home.dir.file("Kelvo5_tmp_1.cmp"),
                      txt = home.dir.file("Kelvo5_tmp_1.txt");
    {
        MainWindow w;
        w.show();
        w.FormActivate();
        ASSERT_EQ(w.State().PsqFileOwn, psq);
        std::ofstream(psq) << std::string(4096, 'x');
        std::ofstream(cmp) << "x";
        std::ofstream(txt) << "# complexation table of a run in that mode\r\n-1\t0\r\n";
        sink.answers = {false, true};
        EXPECT_FALSE(w.close());  // No: the program goes on with its files
        EXPECT_TRUE(fs::exists(psq) && fs::exists(cmp) && fs::exists(txt));
        EXPECT_TRUE(w.close());
        EXPECT_FALSE(fs::exists(psq) || fs::exists(cmp) || fs::exists(txt));
    }
    // Left by a session that ended without Exit (the marker is free again).
    std::ofstream(psq) << std::string(3 << 20, 'x');
    std::ofstream(cmp) << "x";
    MainWindow w;
    w.show();
    w.FormActivate();
    ASSERT_EQ(w.State().PsqFileOwn, psq);
    EXPECT_EQ(Ctl<QLabel>(w, "llPSQFileSize")->text(), "Uncreated");
    EXPECT_FALSE(fs::exists(psq) || fs::exists(cmp));
}

// Through the main window's Open: a project beside a damaged detector record
// opens with its run and its commands, the record left out with a warning
// naming it; one beside a damaged composition is refused with the
// composition named, and the run opened before stays.
TEST(MainWindowOpen, ADamagedDetectorRecordIsLeftOutAndADamagedCompositionIsNamed)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string example = home.WriteExample();
    ASSERT_FALSE(example.empty());
    const auto bytes = [](const std::string& name) {
        std::ifstream f(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    const auto write = [](const std::string& name, const std::string& b) {
        std::ofstream(name, std::ios::binary) << b;
    };
    const std::string det = ChangeFileExt(example, ".det"), cmp = ChangeFileExt(example, ".cmp");
    const std::string record = bytes(det), composition = bytes(cmp);
    ASSERT_GT(record.size(), 40u);
    write(det, record.substr(0, record.size() - 12));
    MainWindow w;
    sink.Clear();
    ASSERT_TRUE(w.OpenFile(example));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{std::string(kDetectorLeftOut) + det});
    EXPECT_EQ(Enabled(w).substr(0, 2), "11");  // Init and Run
    EXPECT_EQ(w.State().FileName, example);
    EXPECT_EQ(w.State().Series.DET_pH.Count(), 0);

    write(det, record);
    write(cmp, composition.substr(0, composition.size() / 2));
    std::string raised;
    try {
        w.OpenFile(example);
    } catch (const OpenRefused& e) {
        raised = e.Message();
    }
    EXPECT_EQ(raised, "Warning: While Opening SNA file '" + example +
                          "' Error Message Occur: Incorrect file. (" + cmp + ")");
    EXPECT_EQ(w.State().FileName, example);
    EXPECT_TRUE(w.State().Initialised);
}
