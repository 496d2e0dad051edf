// The run-setup, options and diagnostics windows driven through their
// controls, and the settings kept from one start of the program to the next.
#include "qt_test_env.h"

#include "app/chart/graph_window.h"
#include "app/windows/constituent_editor_window.h"
#include "app/windows/init_dist_window.h"
#include "app/windows/option_window.h"
#include "app/windows/run_setup_window.h"
#include "engine/step/init_calc.h"
#include "files/setup_edits.h"
#include "files/sna_file.h"
#include "support/recording_sink.h"

#include <algorithm>
#include <cmath>

namespace {

// Leaves an edit for the window's Close button (its exit handler runs).
void LeaveForClose(QLineEdit* edit)
{
    edit->window()->findChild<QPushButton*>("bnClose")->setFocus(Qt::TabFocusReason);
    if (edit->hasFocus()) {  // a window that is not active keeps no focus: leave by hand
        edit->clearFocus();
        Leave(edit, Qt::TabFocusReason);
    }
}

// A click on the button's indicator (a button's text may be narrower than the button).
void Click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void Enter(QLineEdit* edit, const QString& text)
{
    TypeOver(edit, text);
    LeaveForClose(edit);
}

// A main window with the two set-up windows beside it (shown, not modal).
class SetupWindows : public ::testing::Test {
protected:
    void SetUp() override { w.show(); }
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    RunSetupWindow* setup = Ctl<RunSetupWindow>(w, "fmRunSetup");
    OptionWindow* option = Ctl<OptionWindow>(w, "fmOption");
    template <class T = QLineEdit>
    T* S(const char* name)
    {
        return Ctl<T>(*setup, name);
    }
    template <class T = QLineEdit>
    T* O(const char* name)
    {
        return Ctl<T>(*option, name);
    }
};

}  // namespace

TEST_F(SetupWindows, RunSetupEditsCommitOnLeavingTheGridWaitsForInitAndSwitchesActAtOnce)
{
    RunState& st = w.State();
    st.Initialised = true;
    w.UpdateMainInfo();
    ShowActive(*setup);
    Enter(S("edNX"), "10");
    EXPECT_EQ(st.NXPending, 1000);
    EXPECT_EQ(S("edNX")->text(), "1000");
    EXPECT_FALSE(S<QPushButton>("bnRestore")->isEnabled());
    Enter(S("edNX"), "20");
    EXPECT_EQ(st.NXPending, 20);
    EXPECT_TRUE(st.SetupChanged && S<QPushButton>("bnRestore")->isEnabled());
    EXPECT_FALSE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());  // Run waits for Init
    Click(S<QPushButton>("bnRestore"));
    EXPECT_EQ(st.NXPending, 1000);
    EXPECT_FALSE(st.SetupChanged || S<QPushButton>("bnRestore")->isEnabled());

    Enter(S("edCapLength"), "250");
    EXPECT_DOUBLE_EQ(st.CapLengthPending, 0.25);

    // Esc commits a valid entry and the window stays open; Enter does not press Close.
    for (auto [key, text, value] :
         {std::tuple(Qt::Key_Escape, "500", 500), std::tuple(Qt::Key_Return, "700", 700)}) {
        TypeOver(S("edPSQ"), text);
        QTest::keyClick(S("edPSQ"), key);
        EXPECT_EQ(st.PSQPeriod, value);
        EXPECT_TRUE(setup->isVisible());
    }
    EXPECT_TRUE(S<QPushButton>("bnClose")->hasFocus());

    // During a run the grid edits are disabled and refuse what reaches them.
    st.Running = true;
    setup->ShowSettings();
    for (const char* name : {"edNX", "edPeakWidth", "edPeakEdgeWidth", "edInjSite", "edCapLength"})
        EXPECT_FALSE(S(name)->isEnabled()) << name;
    EXPECT_TRUE(S("edLW")->isEnabled());
    S("edNX")->setText("50");
    LeaveForClose(S("edNX"));
    EXPECT_EQ(st.NXPending, 1000);
    st.Running = false;
    setup->ShowSettings();
    EXPECT_TRUE(S("edNX")->isEnabled());

    // The switches act at once; the power mode swaps the main window's captions.
    Click(S<QRadioButton>("rbCurrent"));
    EXPECT_FALSE(st.rbVoltage);
    EXPECT_EQ(Ctl<QLabel>(w, "llUI")->text(), "Current (uA)");
    // Recording mode: three buttons, one field each.
    Click(S<QRadioButton>("rbPSQNo"));
    EXPECT_TRUE(st.rbPSQNo && !st.rbPSQMS && !st.rbPSQSteps);
    // Keep distance clears "LW can move", in the window too.
    Click(S<QCheckBox>("cbKeepDistance"));
    EXPECT_TRUE(st.cbKeepDistance && !st.cbLWMove && !S<QCheckBox>("cbLWMove")->isChecked());
}

TEST_F(SetupWindows, OptionsWindowDropsOnEscAndFollowsItsRules)
{
    RunState& st = w.State();
    ShowActive(*option);
    for (auto [key, kept] : {std::pair(Qt::Key_Escape, 1), std::pair(Qt::Key_Return, 7)}) {
        TypeOver(O("edSrT"), "7");
        QTest::keyClick(O("edSrT"), key);
        EXPECT_EQ(std::pair(st.Options.SrT, O("edSrT")->text()),
                  std::pair(kept, QString::number(kept)));
        EXPECT_TRUE(option->isVisible());
    }

    // Precision edits: disabled until Ctrl+Alt+P, which says so each time.
    EXPECT_FALSE(O("edEpsNew")->isEnabled());
    option->Action1Execute();
    EXPECT_TRUE(O("edEpsNew")->isEnabled());
    option->Action1Execute();
    EXPECT_EQ(sink.messages,
              (std::vector<std::string>{"Option: Precision Edits Enabled (Ctrl+Alt+P).",
                                        "Option: Precision Edits Disabled (Ctrl+Alt+P)."}));

    // Line width: any width of 0 or more is kept; the chart draws at most 64 points wide.
    Enter(O("edLineWidth"), "2000000000");
    EXPECT_EQ(st.Options.LineWidth, 2000000000);
    int widest = 0;
    auto* chart = Ctl<QCustomPlot>(w, "Graph");
    for (int i = 0; i < chart->graphCount(); ++i)
        widest = std::max(widest, chart->graph(i)->pen().width());
    EXPECT_EQ(widest, 64);
}

TEST_F(SetupWindows, ColoursTypedInLowerCaseHexadecimalAreTaken)
{
    RunState& st = w.State();
    ShowActive(*option);
    for (auto [edit, text, colour] :
         {std::tuple("edSimColor", "0xb9dcff", 0xB9DCFFu), std::tuple("edDetColor", "$ff", 0xFFu),
          std::tuple("edSimColor", "x1a2b3c", 0x1A2B3Cu)}) {
        Enter(O(edit), text);
        const std::uint32_t stored =
            std::string(edit) == "edSimColor" ? st.Options.SimColor : st.Options.DetColor;
        EXPECT_EQ(stored, colour) << text;
        EXPECT_EQ(O(edit)->text().toStdString(), ColourText(colour)) << text;
    }
}

TEST(SettingsFile, ASettingChangedBeforeExitIsBackAtTheNextStart)
{
    ProgramHome home;
    RecordingMessageSink sink;
    {
        MainWindow first;
        first.show();
        first.FormActivate();
        auto* option = Ctl<OptionWindow>(first, "fmOption");
        ShowActive(*option);
        Enter(Ctl<QLineEdit>(*option, "edSrT"), "5");
        Click(Ctl<QRadioButton>(*option, "rbXAxisM"));
        Click(Ctl<QCheckBox>(*option, "cbPositionINI"));
        option->close();
        first.move(40, 30);
        sink.answers = {true};
        ASSERT_TRUE(first.close());
    }
    MainWindow second;
    second.show();
    EXPECT_EQ(second.State().Options.SrT, 1);  // read at the first activation
    second.FormActivate();
    EXPECT_EQ(std::tuple(second.State().Options.SrT, second.State().XScale), std::tuple(5, 1));
    EXPECT_TRUE(Ctl<QCheckBox>(second, "cbPositionINI")->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(second, "rbXAxisM")->isChecked());
    EXPECT_TRUE(second.State().Options.Places[kWinMain].Known);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(GraphWindow, DrawsTheDiagnosticsOfTheRun)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    RunState& st = w.State();
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 20);
    st.PsqFileOwn = home.dir.file("run.psq");  // the window is never activated here
    ASSERT_TRUE(InitCalc(st));
    auto* graph = Ctl<GraphWindow>(w, "fmGraph");
    graph->Params.LineIndex = 1;
    Ctl<QLineEdit>(*graph, "edMinDC")->setText("0");  // refused: the previous value stays
    Ctl<QAction>(*graph, "Process1")->trigger();
    auto* plot = Ctl<QCustomPlot>(*graph, "Graph");
    EXPECT_EQ(std::pair(plot->graph(0)->dataCount(), plot->graph(2)->dataCount()),
              std::pair(st.NX + 1, st.NX + 1));
    EXPECT_EQ(Ctl<QLineEdit>(*graph, "edMinDC")->text(), "1E-10");
    // The hidden button's line: integers 1..NComp only.
    int line = 1;
    EXPECT_EQ(ReadDiagnosticsLine(st, "9", line), LineAnswer::Refused);
    EXPECT_EQ(ReadDiagnosticsLine(st, "2", line), LineAnswer::Taken);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(DiagnosticsPointText(2.5, 4), "Value = 2.5\nPosition = 5");
}

// The Newton-iteration profile's switch: another button than the left one fits
// the chart's left axis to that profile, in the profile view only.
TEST_F(ExampleWindow, DerSwitchFitsTheLeftAxisToTheNewtonProfile)
{
    auto* setup = Ctl<RunSetupWindow>(*w, "fmRunSetup");
    auto* der = Ctl<QCheckBox>(*setup, "cbDER");
    Ctl<QGroupBox>(*setup, "gbDER")
        ->setVisible(true);  // hidden in the layout; shown so that it takes the press
    std::vector<double>& y = St().Series.sr_DER.y;
    ASSERT_EQ(y.size(), static_cast<size_t>(St().NX + 1));
    std::fill(y.begin(), y.end(), 2.0);
    y[7] = 6.0;
    auto* chart = Ctl<ChartView>(*w, "Graph");
    QTest::mouseClick(der, Qt::RightButton);
    EXPECT_FALSE(chart->AutoY());
    EXPECT_EQ(chart->yAxis->range(), QCPRange(2.0 - 0.8, 6.0 + 0.8));
    std::fill(y.begin(), y.end(), 3.0);  // a flat profile: a span of 1e-5
    QTest::mouseClick(der, Qt::RightButton);
    EXPECT_NEAR(chart->yAxis->range().lower, 3.0 - 2e-6, 1e-12);
    EXPECT_NEAR(chart->yAxis->range().upper, 3.0 + 2e-6, 1e-12);
    St().DetectorView = true;
    y[0] = 50.0;
    QTest::mouseClick(der, Qt::RightButton);
    EXPECT_NEAR(chart->yAxis->range().upper, 3.0 + 2e-6, 1e-12);
    EXPECT_FALSE(der->isChecked());  // the press is taken: the switch does not toggle
}

// The wall step typed in the run-setup window is the one a project saved with
// it brings back: one limit for the edit and the reader.
TEST_F(ExampleWindow, WallStepTypedInRunSetupComesBackWithTheProject)
{
    auto* setup = Ctl<RunSetupWindow>(*w, "fmRunSetup");
    ShowActive(*setup);
    QLineEdit* edit = Ctl<QLineEdit>(*setup, "edWallInc");
    ASSERT_LT(St().NX, 2000);
    for (auto [text, stored] :
         {std::pair("0", 100), std::pair("-5", 100), std::pair("2000", 2000)}) {
        Enter(edit, text);
        EXPECT_EQ(St().WallInc, stored) << text;
        EXPECT_EQ(edit->text().toStdString(), std::to_string(stored)) << text;
    }
    // The two refusals were named, once each.
    const std::string range = "! It must be a whole number from 1 to 10000000.";
    EXPECT_EQ(sink.warnings, (std::vector<std::string>{
                                 "Incorrect value of \"Wall Increment (Nodes)\": \"0\"" + range,
                                 "Incorrect value of \"Wall Increment (Nodes)\": \"-5\"" + range}));
    sink.Clear();
    const std::string name = home.dir.file("wall.sna");
    ASSERT_TRUE(SaveSnaFile(St(), name));
    w->New1Click();
    EXPECT_EQ(St().WallInc, 100);
    ASSERT_TRUE(w->OpenFile(name));
    EXPECT_EQ(St().WallInc, 2000);
    EXPECT_EQ(edit->text(), "2000");
    // Enter in an edit takes the value and moves to Close (the window stays);
    // Space on Close closes it, as the manual says.
    TypeOver(edit, "300");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(St().WallInc, 300);
    ASSERT_TRUE(setup->isVisible() && Ctl<QPushButton>(*setup, "bnClose")->hasFocus());
    QTest::keyClick(Ctl<QPushButton>(*setup, "bnClose"), Qt::Key_Space);
    EXPECT_FALSE(setup->isVisible());
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

// Every number field of the run panel, Run Setup, the constituent editor and
// the initial-distribution tool, typed with a negative, a huge, a NaN and a
// text: each is refused with one warning that names the field and the text,
// or taken, and then Init builds a run whose first step is finite.
TEST_F(ExampleWindow, EveryNumberFieldRefusesWithItsNameOrRunsAFiniteFirstStep)
{
    RunState& st = St();
    auto* setup = Ctl<RunSetupWindow>(*w, "fmRunSetup");
    auto* editor = Ctl<ConstituentEditorWindow>(*w, "fmAdd");
    auto* tool = Ctl<InitDistWindow>(*w, "fmDist");
    std::vector<std::pair<QWidget*, std::string>> fields;
    for (const char* name :
         {"edDT", "edErrOpt", "edStopTime", "edUI", "edEOFMob", "edLeftWall", "edRightWall"})
        fields.emplace_back(w.get(), name);
    for (const EditEntry& e : RunSetupEdits())
        if (e.shown) fields.emplace_back(setup, e.name);
    for (const char* name : {"edConcentration", "edConcInj", "edN", "edP", "edColor", "edZoneCount",
                             "edMicA", "edMicApK"})
        fields.emplace_back(editor, name);
    for (const char* name : {"edNSeg", "edLSeg", "edRSeg"}) fields.emplace_back(tool, name);
    int refused = 0, taken = 0;
    for (auto [window, name] : fields)
        for (const char* text : {"-5", "1e308", "NaN", "abc"}) {
            const std::string where = name + " " + text;
            editor->Model().EditRow(2);  // the editor shows a constituent of the run
            editor->RefreshEditor();
            sink.Clear();
            Enter(*window, name.c_str(), text);
            if (!sink.warnings.empty()) {
                ++refused;
                ASSERT_EQ(sink.warnings.size(), 1u) << where;
                EXPECT_NE(sink.warnings[0].find(std::string("\": \"") + text + "\"!"),
                          std::string::npos)
                    << where << ": " << sink.warnings[0];
                continue;
            }
            if (window == editor) Click(*editor, "bbnAdd");
            Click(*w, "bbnInit");
            if (!sink.warnings.empty()) {  // Init refused it (a pending value): said once
                ++refused;
                EXPECT_EQ(sink.warnings.size(), 1u) << where;
                RestoreRunSetup(st);
                continue;
            }
            ++taken;
            ASSERT_TRUE(st.Initialised) << where;
            const double start = st.Time;
            st.StopTime = st.Time + 1.5 * st.DT;  // the first steps
            Click(*w, "bbnStart");
            EXPECT_GT(st.Time, start) << where;
            for (int k = 1; k <= st.NComp; ++k)
                for (int j = 0; j <= st.NX; ++j)
                    ASSERT_TRUE(std::isfinite(st.Arr.C(2, k)[j])) << where << " " << k << " " << j;
            EXPECT_TRUE(sink.warnings.empty()) << where << ": " << sink.warnings[0];
        }
    EXPECT_GT(taken, 10);
    EXPECT_GT(refused, 3 * static_cast<int>(fields.size()));
}
