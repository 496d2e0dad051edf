// The run-setup, options and diagnostics windows driven through their
// controls, and the settings kept from one start of the program to the next.
#include "qt_test_env.h"

#include "app/graph_window.h"
#include "app/main_window.h"
#include "app/option_window.h"
#include "app/run_setup_window.h"
#include "engine/init_calc.h"
#include "files/setup_edits.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QAbstractButton>
#include <QToolButton>
#include <qcustomplot.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace {



// Leaves an edit for the window's Close button (its exit handler runs).
void Leave(QLineEdit* edit)
{
    QWidget* next = edit->window()->findChild<QPushButton*>("bnClose");
    next->setFocus(Qt::TabFocusReason);
    if (edit->hasFocus()) {   // a window that is not active keeps no focus: leave by hand
        edit->clearFocus();
        QFocusEvent away(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(edit, &away);
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
    Leave(edit);
}

// A main window with the two set-up windows open beside it (shown, not modal).
class SetupWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.show();
        setup = Ctl<RunSetupWindow>(w, "fmRunSetup");
        option = Ctl<OptionWindow>(w, "fmOption");
    }
    void Show(QDialog* d)
    {
        d->show();
        QApplication::setActiveWindow(d);
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
    }
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    RunSetupWindow* setup = nullptr;
    OptionWindow* option = nullptr;
};

}  // namespace

TEST_F(SetupWindows, EveryTableEditShowsItsValueAndVisibility)
{
    Show(setup);
    for (const auto* table : {&RunSetupEdits(), &OptionEdits()}) {
        const QWidget& window = table == &RunSetupEdits() ? static_cast<QWidget&>(*setup) : *option;
        for (const EditEntry& e : *table) {
            SCOPED_TRACE(e.name);
            auto* edit = Ctl<QLineEdit>(window, e.name);
            EXPECT_EQ(edit->text().toStdString(), ShowEdit(w.State(), e));
            if (table == &RunSetupEdits()) { EXPECT_EQ(edit->isVisible(), e.shown); }
        }
    }
    // Shown switches of the run-setup window.
    EXPECT_TRUE(Ctl<QCheckBox>(*setup, "cbLWMove")->isVisible() && Ctl<QCheckBox>(*setup, "cbLWMove")->isChecked());
    EXPECT_TRUE(!Ctl<QCheckBox>(*setup, "cbPCIS")->isVisible() && Ctl<QCheckBox>(*setup, "cbPCIS")->isChecked());
    EXPECT_TRUE(!Ctl<QCheckBox>(*setup, "cbDP")->isVisible() && Ctl<QCheckBox>(*setup, "cbDP")->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(*setup, "rbPSQMS")->isChecked() && Ctl<QRadioButton>(*setup, "rbVoltage")->isChecked());
    EXPECT_EQ(Ctl<QLineEdit>(*setup, "edDMult")->text(), "120");
    EXPECT_EQ(Ctl<QLabel>(*setup, "llInjSite")->text(), "(120 Nodes)");
    EXPECT_FALSE(Ctl<QLineEdit>(*setup, "edDTInit")->isEnabled());
    EXPECT_EQ(Ctl<QLineEdit>(*setup, "edDTInit")->text(), "Disabled");
}

TEST_F(SetupWindows, RunSetupEditsCommitOnLeavingAndTheGridWaitsForInit)
{
    RunState& st = w.State();
    st.Initialised = true;
    w.UpdateMainInfo();
    Show(setup);
    auto* nx = Ctl<QLineEdit>(*setup, "edNX");
    Enter(nx, "10");
    EXPECT_EQ(st.NXPending, 1000);
    EXPECT_EQ(nx->text(), "1000");
    EXPECT_FALSE(Ctl<QPushButton>(*setup, "bnRestore")->isEnabled());
    Enter(nx, "20");
    EXPECT_EQ(st.NXPending, 20);
    EXPECT_TRUE(st.SetupChanged && Ctl<QPushButton>(*setup, "bnRestore")->isEnabled());
    EXPECT_FALSE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());   // Run waits for Init
    EXPECT_EQ(Ctl<QLabel>(*setup, "llPeakWidth")->text(), "(2 Nodes)");
    QTest::mouseClick(Ctl<QPushButton>(*setup, "bnRestore"), Qt::LeftButton);
    EXPECT_EQ(st.NXPending, 1000);
    EXPECT_FALSE(st.SetupChanged || Ctl<QPushButton>(*setup, "bnRestore")->isEnabled());

    Enter(Ctl<QLineEdit>(*setup, "edCapLength"), "250");
    EXPECT_DOUBLE_EQ(st.CapLengthPending, 0.25);
    EXPECT_EQ(Ctl<QLineEdit>(*setup, "edCapLength")->text(), "250");
    Enter(Ctl<QLineEdit>(*setup, "edTemperature"), "-273.15");
    EXPECT_DOUBLE_EQ(st.Temperature, 298.15);
    Enter(Ctl<QLineEdit>(*setup, "edEditsRef"), "0");
    EXPECT_EQ(st.EditsRef, 30);

    // Esc commits a valid entry and the window stays open; Enter does not press Close.
    auto* psq = Ctl<QLineEdit>(*setup, "edPSQ");
    TypeOver(psq, "500");
    QTest::keyClick(psq, Qt::Key_Escape);
    EXPECT_EQ(st.PSQPeriod, 500);
    EXPECT_TRUE(setup->isVisible());
    TypeOver(psq, "700");
    QTest::keyClick(psq, Qt::Key_Return);
    EXPECT_EQ(st.PSQPeriod, 700);
    EXPECT_TRUE(setup->isVisible());
    EXPECT_TRUE(Ctl<QPushButton>(*setup, "bnClose")->hasFocus());

    // During a run the grid edits are disabled and refuse what reaches them.
    st.Running = true;
    setup->ShowSettings();
    for (const char* name : {"edNX", "edPeakWidth", "edPeakEdgeWidth", "edInjSite", "edCapLength"})
        EXPECT_FALSE(Ctl<QLineEdit>(*setup, name)->isEnabled()) << name;
    EXPECT_TRUE(Ctl<QLineEdit>(*setup, "edLW")->isEnabled());
    Ctl<QLineEdit>(*setup, "edNX")->setText("50");
    Leave(Ctl<QLineEdit>(*setup, "edNX"));
    EXPECT_EQ(st.NXPending, 1000);
    st.Running = false;
    setup->ShowSettings();
    EXPECT_TRUE(Ctl<QLineEdit>(*setup, "edNX")->isEnabled());
}

TEST_F(SetupWindows, RunSetupSwitchesActAtOnce)
{
    RunState& st = w.State();
    Show(setup);
    // The power mode swaps the main window's captions.
    Click(Ctl<QRadioButton>(*setup, "rbCurrent"));
    EXPECT_FALSE(st.rbVoltage);
    EXPECT_EQ(Ctl<QLabel>(w, "llUI")->text(), "Current (uA)");
    EXPECT_EQ(Ctl<QLabel>(w, "llUIOther")->text(), "Voltage (V)");
    Click(Ctl<QRadioButton>(*setup, "rbVoltage"));
    EXPECT_EQ(Ctl<QLabel>(w, "llUI")->text(), "Voltage (V)");
    // Recording mode: three buttons, one field each.
    Click(Ctl<QRadioButton>(*setup, "rbPSQNo"));
    EXPECT_TRUE(st.rbPSQNo && !st.rbPSQMS && !st.rbPSQSteps);
    // Keep distance clears "LW can move"; unchecking it leaves that box.
    Click(Ctl<QCheckBox>(*setup, "cbKeepDistance"));
    EXPECT_TRUE(st.cbKeepDistance && !st.cbLWMove && !Ctl<QCheckBox>(*setup, "cbLWMove")->isChecked());
    Click(Ctl<QCheckBox>(*setup, "cbLWMove"));
    Click(Ctl<QCheckBox>(*setup, "cbKeepDistance"));
    EXPECT_TRUE(!st.cbKeepDistance && st.cbLWMove);
    // A file that sets the switches shows in the window at its next refresh.
    st.rbPSQSteps = true;
    st.rbPSQNo = false;
    st.setup_cbRacemic = true;
    setup->ShowSettings();
    EXPECT_TRUE(Ctl<QRadioButton>(*setup, "rbPSQSteps")->isChecked() && !Ctl<QRadioButton>(*setup, "rbPSQNo")->isChecked());
    EXPECT_FALSE(Ctl<QLineEdit>(*setup, "edRacemicA")->isHidden());
}

TEST_F(SetupWindows, OptionsWindowDropsOnEscAndFollowsItsRules)
{
    RunState& st = w.State();
    Show(option);
    auto* srt = Ctl<QLineEdit>(*option, "edSrT");
    TypeOver(srt, "7");
    QTest::keyClick(srt, Qt::Key_Escape);
    EXPECT_EQ(st.Options.SrT, 1);
    EXPECT_EQ(srt->text(), "1");
    EXPECT_TRUE(option->isVisible());
    TypeOver(srt, "7");
    QTest::keyClick(srt, Qt::Key_Return);
    EXPECT_EQ(st.Options.SrT, 7);

    // Precision edits: disabled until Ctrl+Alt+P, which says so each time.
    auto* eps = Ctl<QLineEdit>(*option, "edEpsNew");
    EXPECT_FALSE(eps->isEnabled());
    option->Action1Execute();
    EXPECT_TRUE(eps->isEnabled());
    option->Action1Execute();
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"Option: Precision Edits Enabled (Ctrl+Alt+P).",
                                                       "Option: Precision Edits Disabled (Ctrl+Alt+P)."}));

    // Colours: a typed hexadecimal colour is shown with eight digits on its own background.
    auto* sim = Ctl<QLineEdit>(*option, "edSimColor");
    Enter(sim, "0x0000FF");
    EXPECT_EQ(st.Options.SimColor, 0xFFu);
    EXPECT_EQ(sim->text(), "0x000000FF");
    EXPECT_TRUE(sim->styleSheet().contains("#ff0000") && sim->styleSheet().contains("#000000"));

    // Line width: any width of 0 or more is kept; the chart draws at most 64 points wide.
    Enter(Ctl<QLineEdit>(*option, "edLineWidth"), "2000000000");
    EXPECT_EQ(st.Options.LineWidth, 2000000000);
    int widest = 0;
    auto* chart = Ctl<QCustomPlot>(w, "Graph");
    for (int i = 0; i < chart->graphCount(); ++i) widest = std::max(widest, chart->graph(i)->pen().width());
    EXPECT_EQ(widest, 64);
    Enter(Ctl<QLineEdit>(*option, "edLineWidth"), "3");

    // Separator: a typed word decides by its first letter.
    auto* csv = Ctl<QComboBox>(*option, "cbCSV");
    Enter(csv->lineEdit(), "semicolon");
    EXPECT_EQ(st.Options.CsvSep, ' ');
    Enter(csv->lineEdit(), ";");
    EXPECT_EQ(st.Options.CsvSep, ';');

    // Zero point: centre of 1001 nodes, another position takes any integer.
    st.NXPending = 1001;
    Click(Ctl<QRadioButton>(*option, "rbCenter"));
    EXPECT_EQ(st.ZeroPosNode, 500);
    EXPECT_FALSE(Ctl<QLineEdit>(*option, "edAnotherPos")->isEnabled());
    Click(Ctl<QRadioButton>(*option, "rbAnotherPos"));
    Enter(Ctl<QLineEdit>(*option, "edAnotherPos"), "-3");
    EXPECT_EQ(st.ZeroPosNode, -3);
    // The x-axis unit.
    Click(Ctl<QRadioButton>(*option, "rbXAxisM"));
    EXPECT_EQ(st.XScale, 1);
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
        option->show();
        QApplication::setActiveWindow(option);
        ASSERT_TRUE(QTest::qWaitForWindowActive(option));
        Enter(Ctl<QLineEdit>(*option, "edSrT"), "5");
        Click(Ctl<QRadioButton>(*option, "rbXAxisM"));
        Click(Ctl<QCheckBox>(*option, "cbPositionINI"));
        option->close();
        first.move(40, 30);
        sink.answers = {true};
        ASSERT_TRUE(first.close());
    }
    EXPECT_TRUE(std::filesystem::exists(home.dir.path() / "KELVO 5.ini"));
    MainWindow second;
    second.show();
    EXPECT_EQ(second.State().Options.SrT, 1);   // read at the first activation
    second.FormActivate();
    EXPECT_EQ(second.State().Options.SrT, 5);
    EXPECT_EQ(second.State().XScale, 1);
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
    st.PsqFileOwn = (home.dir.path() / "run.psq").string();  // the window is never activated here
    ASSERT_TRUE(InitCalc(st));
    auto* graph = Ctl<GraphWindow>(w, "fmGraph");
    graph->Params.LineIndex = 1;
    Ctl<QLineEdit>(*graph, "edMinDC")->setText("0");   // refused: the previous value stays
    Ctl<QAction>(*graph, "Process1")->trigger();
    auto* plot = Ctl<QCustomPlot>(*graph, "Graph");
    EXPECT_EQ(plot->graph(0)->name(), "Sx");
    EXPECT_EQ(plot->graph(0)->dataCount(), st.NX + 1);
    EXPECT_EQ(plot->graph(2)->dataCount(), st.NX + 1);
    EXPECT_EQ(Ctl<QLineEdit>(*graph, "edMinDC")->text(), "1E-10");
    EXPECT_EQ(graph->Drawn.vx.Count(), 0);
    // The hidden button's line: integers 1..NComp only.
    int line = 1;
    EXPECT_EQ(ReadDiagnosticsLine(st, "9", line), LineAnswer::Refused);
    EXPECT_EQ(ReadDiagnosticsLine(st, " ", line), LineAnswer::Cancelled);
    EXPECT_EQ(ReadDiagnosticsLine(st, "2", line), LineAnswer::Taken);
    EXPECT_EQ(line, 2);
    EXPECT_FALSE(Ctl<QToolButton>(w, "spdRedDiff")->isVisible());
    EXPECT_EQ(DiagnosticsPointText(2.5, 4), "Value = 2.5\nPosition = 5");
}
