// The complexation window: defaults and grid from the composition, "None"
// cells, the confirmation of the mode switch, Apply and the refusals of Save
// and Open, and its entry in the main menu.
#include "qt_test_env.h"

#include "app/kit/added_texts.h"
#include "app/windows/complex_window.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/modes/modes.h"
#include "engine/step/init_calc.h"
#include "files/sna_file.h"
#include "foundation/messages.h"
#include "support/bench_cases.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "tools/complex_table.h"

#include <cmath>
#include <functional>

using namespace testcomp;

namespace {

std::vector<std::string> Row(QTableWidget* g, int r)
{
    std::vector<std::string> row;
    for (int c = 0; c < g->columnCount(); ++c) row.push_back(g->item(r, c)->text().toStdString());
    return row;
}

}  // namespace

TEST(ComplexWindow, DefaultsGridNoneCellsAndApply)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = SelectorWithAnalytes();
    ComplexWindow w(st, {});
    auto* grid = Ctl<QTableWidget>(w, "sgTable");
    w.show();
    // an empty table takes the defaults of the composition
    EXPECT_EQ(
        sink.messages,
        std::vector<std::string>{
            "Complex table was automatically adjusted to a new composition using default values."});
    EXPECT_EQ(st.TxtTable, DefaultComplexTable(st.Composition, "30", "25"));
    ASSERT_EQ(std::pair(grid->rowCount(), grid->columnCount()), std::pair(13, 4));
    EXPECT_EQ(Row(grid, 1),
              (std::vector<std::string>{"Free ligand pKa (M)", "9.5", "None", "2.25"}));
    // the section titles cannot be edited, the values can
    EXPECT_FALSE(grid->item(3, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(grid->item(4, 2)->flags() & Qt::ItemIsEditable);

    // Apply takes the grid; an emptied cell becomes "None", the ligand's
    // charge range re-lays the grid
    grid->item(4, 2)->setText("-2");
    grid->item(10, 1)->setText("");
    grid->item(11, 2)->setText("1e308");  // a number the table's rule refuses: not taken
    Ctl<QLineEdit>(w, "edN")->setText("0");
    sink.Clear();
    Click(w, "bnApply");
    EXPECT_EQ(st.TxtTable[5], (ComplexRow{"30", "-2", "30"}));
    EXPECT_EQ(st.TxtTable[10], (ComplexRow{"None", "25", "25"}));
    EXPECT_EQ(st.TxtTable[11], (ComplexRow{"25", "25", "25"}));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex Mode: Incorrect value \"1e308\" of "
                                                      "ux (1e-9), Acid; z = -1, zL = 0."});
    EXPECT_EQ(Row(grid, 1), (std::vector<std::string>{"Free ligand pKa (M)", "None", "9.5"}));
    EXPECT_TRUE(sink.messages.empty());
    // Reset Default brings the composition's table back
    Click(w, "bnGenerate");
    EXPECT_EQ(st.TxtTable, DefaultComplexTable(st.Composition, "30", "25"));
    EXPECT_EQ(grid->columnCount(), 4);

    // one constituent: no grid, Save refuses
    st.Composition = TUnivSet<TComponents>();
    st.Composition.Add(SelectorWithAnalytes().Get(1));
    Click(w, "bnGenerate");
    EXPECT_TRUE(grid->isHidden());
    bool asked = false;
    w.chooseSaveFile = [&] {
        asked = true;
        return QString("x.txt");
    };
    sink.Clear();
    Click(w, "bnSave");
    EXPECT_FALSE(asked);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                 "Complex: Enter a ligand constituent and at least one analyte."});
    // Open of a missing file
    TempDir dir;
    const std::string missing = dir.file("none.txt");
    w.chooseOpenFile = [&] { return QString::fromStdString(missing); };
    sink.Clear();
    Click(w, "bnOpenData");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"File \"" + missing + "\" not found."});
}

// A cell typed and the window left by its frame's close button or Esc (not
// by Apply): the run's table holds what the window showed, so that Init and
// the project file use it.
TEST(ComplexWindow, LeavingTheWindowKeepsTheTypedCells)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = SelectorWithAnalytes();
    ComplexWindow w(st, {});
    auto* grid = Ctl<QTableWidget>(w, "sgTable");
    w.show();
    ASSERT_EQ(st.TxtTable, DefaultComplexTable(st.Composition, "30", "25"));
    grid->item(4, 2)->setText("-2");
    w.close();
    EXPECT_EQ(st.TxtTable[5], (ComplexRow{"30", "-2", "30"}));
    w.show();
    grid->item(4, 2)->setText("-3");
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(w.isHidden());
    EXPECT_EQ(st.TxtTable[5], (ComplexRow{"30", "-3", "30"}));
}

TEST(ComplexWindow, TheModeSwitchAsksFirstAndInitRunsWhenSwitchedOff)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = SelectorWithAnalytes();
    int inits = 0;
    // What the Init does: succeeds, is refused (false) or fails (throws).
    std::function<bool()> init = [] { return true; };
    ComplexWindow w(st, [&] { return ++inits > 0 && init(); });
    auto* box = Ctl<QCheckBox>(w, "cbComplex");
    // no table: switching on is refused without a question
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Complex Mode: No text file with input values loaded!"});
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_FALSE(box->isChecked() || st.cbComplex);

    w.show();  // defaults
    for (bool yes : {false, true}) {
        sink.answers = {yes};
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(sink.questions.back(),
                  "Complex (Action Confirmation): Do you want to check/uncheck complex mode?");
        EXPECT_EQ(box->isChecked(), yes);
        EXPECT_EQ(st.cbComplex, yes);
    }
    EXPECT_EQ(inits, 0);

    // Switched off after an Init whose own Init is refused or fails: the box
    // and the mode stay as the run keeps them.
    st.InitDone = st.ComplexReady = true;
    for (const bool throws : {false, true}) {
        init = [throws]() -> bool {
            if (throws) throw std::runtime_error("failed");
            return false;
        };
        sink.answers = {true};
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_TRUE(box->isChecked() && st.cbComplex && st.ComplexReady) << throws;
    }
    EXPECT_EQ(std::pair(inits, sink.messages.back()), std::pair(2, std::string("failed")));

    // switched off by the space key after an Init: the main window's Init runs
    init = [] { return true; };
    sink.answers = {true};
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(box->isChecked() || st.cbComplex || st.ComplexReady);
    EXPECT_EQ(inits, 3);
    EXPECT_EQ(sink.questions.size(), 5u);
}

TEST(ComplexWindow, TheMainWindowsModeLabelFollowsTheInit)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow main;
    // Shown after an Init with the complexation set-up, hidden by an Init without it.
    RunState& st = main.State();
    // The run's sequence and its composition go to the test's folder, not the working one.
    st.PsqFileOwn = st.PsqFile = home.dir.file("own.psq");
    PrepareRun(st, SelectorWithAnalytes(), 100);
    st.TxtTable = DefaultComplexTable(st.Composition, "30", "25");
    auto* label = Ctl<QLabel>(main, "llComplex");
    for (bool on : {true, false}) {
        st.cbComplex = on;
        Click(main, "bbnInit");
        ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
        EXPECT_EQ(label->isVisibleTo(&main), on);
        if (!on) continue;
        // Switched off in the window with the injection site outside a
        // shortened capillary: the switch's Init refuses, and the box, the
        // label and the run stay in complexation mode; Run goes on in it.
        auto* window = Ctl<ComplexWindow>(main, "fmComplex");
        window->show();
        st.CapLengthPending = 0.002;
        sink.answers = {true};
        QTest::mouseClick(Ctl<QCheckBox>(*window, "cbComplex"), Qt::LeftButton);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{InjectionSiteOutsideText("2")});
        EXPECT_TRUE(Ctl<QCheckBox>(*window, "cbComplex")->isChecked() && st.cbComplex);
        window->hide();
        EXPECT_TRUE(label->isVisibleTo(&main));
        st.CapLengthPending = st.CapLength;
        st.StopTime = st.Time + 3 * st.DT;
        sink.Clear();
        Click(main, "bbnStart");
        EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        EXPECT_TRUE(st.Time > 0 && st.ComplexReady && SelectMode(st) == Mode::Complex);
    }
}

TEST(ComplexWindow, ApplyISTakesTheCorrectedConstantsOfTheLastNode)
{
    RecordingMessageSink sink;
    RunState st;
    ComplexWindow empty(st, {});
    Ctl<QPushButton>(empty, "bnIS")->click();
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Insufficint number of constituents."});

    PrepareRun(st, SelectorWithAnalytes(), 100);
    ComplexWindow w(st, [&st] { return InitCalc(st); });
    w.show();
    // No keeps everything
    sink.answers = {false};
    Click(w, "bnIS");
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0].rfind(
                  "This will change pKa and ionic mobilities using IS of most right point.", 0),
              0u);
    EXPECT_FALSE(st.Initialised);
    EXPECT_EQ(st.Composition.Head()->data.PKaOf(1, -1), 9.5);

    sink.answers = {true};
    Click(w, "bnIS");
    ASSERT_TRUE(st.Initialised);
    const TComponents& selector = st.Composition.Head()->data;
    const TComponents& amine = st.Composition.Head()->next->data;
    const TComponents& acid = st.Composition.Head()->next->next->data;
    // An anion's constant moves by 2 log10(gamma1) < 0 (the ionic strength is
    // about 10 mM here); a cation's acid constant keeps its value, since the
    // activity coefficients of BH+ and H+ cancel; mobilities fall below their
    // limits.
    const double shift = acid.PKaOf(1, -1) - 4.0;
    EXPECT_LT(shift, -0.02);
    EXPECT_GT(shift, -0.2);
    EXPECT_NEAR(amine.PKaOf(1, 1), 8.0, 1e-5);
    EXPECT_TRUE(acid.UOf(1, -1) < 35.0 && acid.UOf(1, -1) > 30.0 && selector.UOf(1, 1) < 42.0);
    // the water constants and the ligand's row of the grid follow
    EXPECT_NEAR(Ctl<QLineEdit>(w, "edPKW")->text().toDouble() - 14.0, shift,
                1e-4);  // both move by 2 log10(gamma1)
    auto* grid = Ctl<QTableWidget>(w, "sgTable");
    EXPECT_EQ(grid->item(1, 1)->text().toStdString(), FloatToStr(selector.PKaOf(1, -1)));
    EXPECT_EQ(grid->item(2, 3)->text().toStdString(), FloatToStr(selector.UOf(1, 1)));
    // the correction and the mode switch are as they were
    EXPECT_FALSE(st.cbIS || st.ISCorrection || st.cbComplex);
    EXPECT_TRUE(st.CompChanged);
}

// A complexation project opened through the main window runs as the same
// project opened and run without windows: both move the zones with the
// mobilities of the binding isotherm, and the window shows the project's table.
TEST(ComplexWindow, AProjectOpenedInTheMainWindowRunsAsWithoutWindows)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const double ligand = 10.0;
    const std::string name = home.dir.file("zones.sna");
    RunState made;
    PrepareComplexZoneRun(made, ligand);
    made.StopTime = 10.0;
    made.DT = 1e-3;
    ASSERT_TRUE(InitCalc(made));
    ASSERT_TRUE(SaveSnaFile(made, name));

    RunState headless;
    ASSERT_TRUE(OpenProject(headless, name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    benchcases::RunTimed(headless, headless.StopTime);

    MainWindow main;
    ShowActive(main);
    RunState& st = main.State();
    ASSERT_TRUE(main.OpenFile(name));
    ASSERT_TRUE(st.cbComplex && st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    const ProfileMoments k0 = Moments(st, 4), a0 = Moments(st, 5);
    // The time-step edit, which kept the focus through the open, shows the
    // project's step, so that the click on Run (taking the focus) commits that.
    EXPECT_EQ(QApplication::focusWidget(), Ctl<QLineEdit>(main, "edDT"));
    EXPECT_EQ(Ctl<QLineEdit>(main, "edDT")->text(), QString("1.0e-3"));
    Click(main, "bbnStart");
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 9.9);
    EXPECT_EQ(st.Time, headless.Time);
    const double field = st.UI / st.CapLength;
    for (const BindingZone& z : ComplexZones()) {
        const ProfileMoments before = z.constituent == 4 ? k0 : a0,
                             after = Moments(st, z.constituent);
        const double expected = IsothermMobility(z, ligand);
        EXPECT_NEAR((after.mean - before.mean) / st.Time / field, expected,
                    0.01 * std::abs(expected));
        EXPECT_NEAR(after.mean, Moments(headless, z.constituent).mean, 1e-12);
    }

    // The window shows the table the project brought, and leaves it as it was.
    auto* window = Ctl<ComplexWindow>(main, "fmComplex");
    window->show();
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_EQ(
        std::pair(Ctl<QLineEdit>(*window, "edN")->text(), Ctl<QLineEdit>(*window, "edP")->text()),
        std::pair(QString("0"), QString("0")));
    auto* grid = Ctl<QTableWidget>(*window, "sgTable");
    ASSERT_EQ(grid->rowCount(), 21);
    EXPECT_EQ(std::pair(grid->item(9, 1)->text(), grid->item(18, 1)->text()),
              std::pair(QString("-2"), QString("20")));
    window->hide();
    EXPECT_EQ(st.TxtTable, made.TxtTable);

    // Another project with a charged ligand (-1..1): the window shows its
    // charges and grid, and closing it keeps that table.
    RunState other;
    PrepareRun(other, SelectorWithAnalytes(), 100);
    other.cbComplex = true;
    other.TxtTable = DefaultComplexTable(other.Composition, "30", "25");
    other.TxtTable[5] = {"-1", "-2", "-3"};
    ASSERT_TRUE(InitCalc(other));
    const std::string otherName = home.dir.file("charged.sna");
    ASSERT_TRUE(SaveSnaFile(other, otherName));
    ASSERT_TRUE(main.OpenFile(otherName));
    window->show();
    EXPECT_EQ(
        std::pair(Ctl<QLineEdit>(*window, "edN")->text(), Ctl<QLineEdit>(*window, "edP")->text()),
        std::pair(QString("-1"), QString("1")));
    ASSERT_EQ(std::pair(grid->rowCount(), grid->columnCount()), std::pair(13, 4));
    EXPECT_EQ(grid->item(4, 3)->text(), QString("-3"));
    window->hide();
    EXPECT_EQ(st.TxtTable, other.TxtTable);
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
}

// Apply IS needs an Init of its own: while a run or the sequence player holds
// the arrays, and when that Init is refused, nothing changes (composition,
// CompChanged, the switches, the running simulation's correction).
TEST(ComplexWindow, ApplyISActsOnlyOnAnInitThatRanAndSucceeded)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow main;
    RunState& st = main.State();
    st.PsqFileOwn = st.PsqFile = home.dir.file("own.psq");
    PrepareRun(st, SelectorWithAnalytes(), 100);
    st.cbIS = true;
    Click(main, "bbnInit");
    ASSERT_TRUE(st.Initialised && st.ISCorrection)
        << (sink.warnings.empty() ? "" : sink.warnings[0]);
    auto* window = Ctl<ComplexWindow>(main, "fmComplex");
    window->show();
    window->hide();
    sink.Clear();
    const TUnivSet<TComponents> before = st.Composition;
    auto unchanged = [&](const char* when) {
        EXPECT_EQ(st.Composition.Head()->next->next->data.pKa, before[3].pKa) << when;
        EXPECT_EQ(st.Composition.Head()->data.u, before[1].u) << when;
        EXPECT_FALSE(st.CompChanged) << when;
        EXPECT_FALSE(st.cbComplex) << when;
    };

    // During a run (the window opened from the run loop's message processing).
    st.StopTime = 1e9;
    bool clicked = false;
    QTimer::singleShot(0, window, [&] {
        window->show();
        sink.answers = {true, true};
        Click(*window, "bnIS");
        clicked = true;
        EXPECT_TRUE(st.Running && st.ISCorrection && st.cbIS);
        window->hide();
        st.Stop = true;
    });
    Click(main, "bbnStart");
    ASSERT_TRUE(clicked);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"START is active"});
    EXPECT_TRUE(sink.questions.empty());
    unchanged("run");
    EXPECT_TRUE(st.ISCorrection && st.cbIS);

    // While the player reads a sequence.
    sink.Clear();
    st.PsqPlayerInUse = true;
    sink.answers = {true};
    window->show();
    Click(*window, "bnIS");
    st.PsqPlayerInUse = false;
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"PSQ player in use!"});
    unchanged("player");

    // An Init refused with the previous run kept (too few nodes): nothing is read from that run.
    sink.Clear();
    st.NXPending = 5;
    sink.answers = {true};
    Click(*window, "bnIS");
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0].rfind("Increase Nodes in RunSetup", 0), 0u) << sink.warnings[0];
    ASSERT_TRUE(st.Initialised);
    unchanged("refused Init");
    EXPECT_TRUE(st.cbIS);
    window->hide();
}

// The table goes with the composition it was made for: after the window
// adjusted it to a constituent added since Init, a save that restores the Init
// composition (and the Restore button) brings back the table of that Init, so
// that the project opens again.
TEST(ComplexWindow, RestoringTheInitCompositionBringsBackItsTable)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow main;
    RunState& st = main.State();
    st.PsqFileOwn = st.PsqFile = home.dir.file("own.psq");
    PrepareRun(st, SelectorWithAnalytes(), 100);
    st.TxtTable = DefaultComplexTable(st.Composition, "30", "25");
    st.TxtTable[5] = {"-1", "-2", "-3"};
    st.cbComplex = true;
    Click(main, "bbnInit");
    ASSERT_TRUE(st.Initialised && st.cbComplex) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    const ComplexTable taken = st.TxtTable;
    const TUnivSet<TComponents> initComposition = st.Composition;
    auto* window = Ctl<ComplexWindow>(main, "fmComplex");

    for (bool bySave : {false, true}) {
        // A further analyte; the window adjusts the table to it.
        st.Composition.Add(TComponents::Uniform("Extra", -1, 0, {5.0, 0}, {25, 0}, 0, 0, 1));
        st.CompChanged = true;
        main.UpdateButtons();
        sink.Clear();
        window->show();
        window->hide();
        ASSERT_EQ(sink.messages.size(), 1u);
        ASSERT_NE(st.TxtTable, taken);
        if (!bySave) {
            Click(main, "bnRestore");
            EXPECT_EQ(st.TxtTable, taken);
            EXPECT_EQ(st.Composition.Count(), initComposition.Count());
            continue;
        }
        const std::string name = home.dir.file("restored.sna");
        sink.answers = {true};
        ASSERT_TRUE(SaveSnaFile(st, name));
        EXPECT_EQ(sink.questions.size(), 1u);
        EXPECT_EQ(st.TxtTable, taken);
        main.New1Click();
        sink.Clear();
        ASSERT_TRUE(main.OpenFile(name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
        EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        EXPECT_TRUE(st.cbComplex && st.Initialised);
        EXPECT_EQ(st.TxtTable, taken);
        EXPECT_EQ(st.Composition.Count(), initComposition.Count());
    }

    // A pKx typed in the window after Init, a constituent added and deleted:
    // the table in use fits the Init composition, so Restore and the
    // restoring save keep it, and the project opens with it.
    ComplexTable typed = taken;
    typed[5][0] = "4.5";
    for (bool bySave : {false, true}) {
        window->show();
        Ctl<QTableWidget>(*window, "sgTable")->item(4, 1)->setText("4.5");
        window->close();
        ASSERT_EQ(st.TxtTable, typed);
        st.Composition.Add(TComponents::Uniform("Extra", -1, 0, {5.0, 0}, {25, 0}, 0, 0, 1));
        st.Composition.RemoveNode(st.Composition.Count());
        st.CompChanged = true;
        main.UpdateButtons();
        sink.Clear();
        const std::string name = home.dir.file("typed.sna");
        sink.answers = {true};
        if (!bySave) Click(main, "bnRestore");
        ASSERT_TRUE(SaveSnaFile(st, name));
        EXPECT_EQ(sink.questions.size(), bySave ? 1u : 0u);
        EXPECT_TRUE(sink.messages.empty() && sink.warnings.empty());
        EXPECT_EQ(st.TxtTable, typed) << bySave;
        main.New1Click();
        ASSERT_TRUE(main.OpenFile(name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
        EXPECT_TRUE(st.cbComplex && st.Initialised);
        EXPECT_EQ(st.TxtTable, typed) << bySave;
    }

    // An Init with complexation off takes whatever table there is: none (the
    // window then makes one for the added analyte), one made for another
    // composition, or none for a ligand alone. Restore and the save's restore
    // bring the table into agreement with the Init composition: adjusted with
    // the window's note, or (no analyte) removed with the mode; the saved
    // project opens again.
    TUnivSet<TComponents> other = initComposition, ligand;
    for (const char* name : {"Other1", "Other2"})
        other.Add(TComponents::Uniform(name, 0, 1, {0, 6.0}, {0, 30}, 0, 0, 1));
    ligand.Add(initComposition.Head()->data);
    enum { NoTable, OtherTable, LigandAlone };
    for (int c : {NoTable, OtherTable, LigandAlone})
        for (bool bySave : {false, true}) {
            const std::string when = std::to_string(c) + (bySave ? ", save" : ", Restore");
            st.Composition = c == LigandAlone ? ligand : initComposition;
            st.cbComplex = false;
            st.TxtTable = c == OtherTable ? DefaultComplexTable(other, "29", "24") : ComplexTable{};
            Click(main, "bbnInit");
            ASSERT_TRUE(st.Initialised && !st.CompChanged) << when;
            st.Composition = initComposition;
            st.Composition.Add(TComponents::Uniform("Extra", -1, 0, {5.0, 0}, {25, 0}, 0, 0, 1));
            st.CompChanged = true;
            main.UpdateButtons();
            window->show();
            window->hide();
            // A value typed since: the table of another composition that this
            // Init took does not fit the Init composition and is not taken back.
            if (c == OtherTable) st.TxtTable[5][1] = "7";
            st.cbComplex = true;
            sink.Clear();
            const std::string name = home.dir.file("restored2.sna");
            if (bySave) {
                sink.answers = {true, true};
                ASSERT_TRUE(SaveSnaFile(st, name)) << when;
            } else {
                Click(main, "bnRestore");
            }
            if (c == LigandAlone) {
                EXPECT_EQ(sink.warnings, std::vector<std::string>{kComplexTableCleared}) << when;
                EXPECT_TRUE(st.TxtTable.empty() && !st.cbComplex) << when;
            } else {
                EXPECT_EQ(sink.messages, std::vector<std::string>{kComplexTableAdjusted}) << when;
                EXPECT_EQ(ComplexSetupRefusal(st.TxtTable, st.Composition, false), "") << when;
                // The first analyte forms keep the values the table had for them.
                EXPECT_EQ(st.TxtTable[5][0], c == OtherTable ? "29" : "30") << when;
                if (c == OtherTable) {
                    EXPECT_EQ(st.TxtTable[5][1], "7") << when;
                }
            }
            if (!bySave) continue;
            main.New1Click();
            sink.Clear();
            ASSERT_TRUE(main.OpenFile(name)) << when;
            EXPECT_TRUE(sink.warnings.empty()) << when << ": " << sink.warnings[0];
            EXPECT_TRUE(st.cbComplex == (c != LigandAlone) && st.Initialised) << when;
            EXPECT_EQ(st.Composition.Count(), c == LigandAlone ? 1 : initComposition.Count());
        }
}

// The window opens large enough for its table: every row and column in view,
// the row titles whole.
TEST(ComplexWindow, OpensWithItsWholeTableInView)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = SelectorWithAnalytes();
    ComplexWindow w(st, {});
    ShowActive(w);
    auto* g = Ctl<QTableWidget>(w, "sgTable");
    ASSERT_EQ(std::pair(g->rowCount(), g->columnCount()), std::pair(13, 4));
    const QRect view = g->viewport()->rect();
    for (int r = 0; r < g->rowCount(); ++r) {
        EXPECT_TRUE(view.contains(g->visualItemRect(g->item(r, 0)))) << r;
        EXPECT_TRUE(view.contains(g->visualItemRect(g->item(r, g->columnCount() - 1)))) << r;
        EXPECT_GE(g->columnWidth(0), g->fontMetrics().horizontalAdvance(g->item(r, 0)->text()))
            << g->item(r, 0)->text().toStdString();
    }
    EXPECT_LE(w.frameGeometry().height(), w.screen()->availableGeometry().height());
}

// Every number field of the window typed with a negative number, a number
// beyond any kind, NaN and texts ("abc", a comment's mark, a tab): each is
// refused once, the window left by Close, with a message naming the field as
// the window shows it and the value (the run's table as it was), or taken
// into a table that its text file carries and Init runs to a finite first
// step, listing no field (but the fields a new ligand range lacks).
TEST(ComplexWindow, EveryNumberFieldIsRefusedByNameOrRuns)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, SelectorWithAnalytes(), 40);
    st.cbComplex = true;
    ComplexWindow w(st, {});
    auto* grid = Ctl<QTableWidget>(w, "sgTable");
    w.show();
    w.close();
    const ComplexTable table = st.TxtTable;
    struct Field {
        std::string name;
        std::function<void(const QString&)> type;
        const char* button;  // that takes it, before Close
    };
    std::vector<Field> fields;
    // The grid's cells by their row and column titles; a further form of a
    // constituent by the constituent of the row above.
    std::string section, constituent;
    for (int r = 1; r < grid->rowCount(); ++r) {
        const std::string title = grid->item(r, 0)->text().trimmed().toStdString();
        if (title == "pKx (M^-1)" || title == "ux (1e-9)") {
            section = title;
            continue;
        }
        if (title.rfind("z = ", 0) != 0) constituent = title.substr(0, title.find(';'));
        const std::string row =
            r <= 2 ? title : section + ", " + constituent + "; " + title.substr(title.find("z = "));
        for (int c = 1; c < grid->columnCount(); ++c)
            fields.push_back({row + ", zL = " + grid->item(0, c)->text().toStdString(),
                              [grid, r, c](const QString& v) { grid->item(r, c)->setText(v); },
                              nullptr});
    }
    const std::pair<const char*, const char*> edits[] = {{"edN", "nL"},
                                                         {"edP", "pL"},
                                                         {"edPKW", "pKw (M^2)"},
                                                         {"edUH", "uH (1e-9)"},
                                                         {"edUOH", "uOH (1e-9)"},
                                                         {"edPKx", "pKx (M^-1) of the defaults"},
                                                         {"edUx", "ux (1e-9) of the defaults"}};
    for (const auto& [object, name] : edits) {
        auto* edit = Ctl<QLineEdit>(w, object);
        const std::string n = name;
        const bool charge = n == "nL" || n == "pL";
        fields.push_back({n, [edit](const QString& v) { edit->setText(v); },
                          charge                                    ? "bnApply"
                          : n.find("defaults") != std::string::npos ? "bnGenerate"
                                                                    : nullptr});
    }
    ASSERT_EQ(fields.size(), 10u * 3 + 7);
    for (const Field& f : fields)
        for (const char* value : {"-5", "1e308", "NaN", "abc", "#5", "1\t2", "-200000"}) {
            const std::string when = f.name + " = " + value;
            st.TxtTable = table;
            Ctl<QLineEdit>(w, "edPKx")->setText("30");
            Ctl<QLineEdit>(w, "edUx")->setText("25");
            w.show();
            sink.Clear();
            f.type(value);
            if (f.button) Click(w, f.button);
            Click(w, "bnClose");
            ASSERT_TRUE(w.isHidden());
            if (!sink.warnings.empty()) {
                EXPECT_EQ(sink.warnings,
                          std::vector<std::string>{"Complex Mode: Incorrect value \"" +
                                                   std::string(value) + "\" of " + f.name + "."})
                    << when;
                EXPECT_EQ(st.TxtTable, table) << when;
                continue;
            }
            // Taken: the file carries the table, Init runs it.
            EXPECT_EQ(ParseComplexTable(ComplexFileText(st.TxtTable, st.Composition)), st.TxtTable)
                << when;
            ASSERT_TRUE(InitCalc(st)) << when << ": " << sink.warnings.at(0);
            if (!f.button || std::string(f.button) != "bnApply") {
                EXPECT_TRUE(sink.warnings.empty()) << when << ": " << sink.warnings[0];
            }
            sink.Clear();
            RunFixed(st, 2e-4, 1e-4);
            EXPECT_TRUE(sink.warnings.empty()) << when << ": " << sink.warnings[0];
            EXPECT_GT(st.Time, 0) << when;
            for (int j = 0; j <= st.NX; ++j)
                ASSERT_TRUE(std::isfinite(st.Arr.CH(2)[j]) && std::isfinite(st.Arr.C(2, 2)[j]))
                    << when << " at node " << j;
        }
}
