// The main window's commands beyond run control, driven through its widgets:
// every menu entry, the small windows, the run panel's spin buttons, hidden
// buttons and right-click boxes, point hints from a synthetic click, the
// check-list commands, the regulating functions with their report, and the
// exports.
#include "qt_test_env.h"

#include "app/additional_window.h"
#include "app/chart_commands.h"
#include "app/chart_view.h"
#include "app/help_menu.h"
#include "app/input_query.h"
#include "app/main_window.h"
#include "app/small_windows.h"
#include "files/example_project.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"
#include "tools/additional_info.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

#include <functional>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Answers of the input box, front to back; the asked captions and prompts are kept.
struct ScriptedInput {
    std::vector<std::pair<bool, std::string>> answers;
    std::vector<std::string> asked;
    InputQueryHandler previous;
    ScriptedInput()
    {
        previous = SetInputQueryHandler([this](const std::string& caption, const std::string& prompt, std::string& v) {
            asked.push_back(caption + "|" + prompt);
            if (answers.empty()) return false;
            auto [ok, text] = answers.front();
            answers.erase(answers.begin());
            if (ok) v = text;
            return ok;
        });
    }
    ~ScriptedInput() { SetInputQueryHandler(previous); }
};

// Documents handed to the desktop are only recorded.
struct RecordedOpens {
    std::vector<std::string> paths;
    DocumentOpener previous;
    RecordedOpens()
    {
        previous = SetDocumentOpener([this](const std::string& p) {
            paths.push_back(p);
            return true;
        });
    }
    ~RecordedOpens() { SetDocumentOpener(previous); }
};

// A state with a pH profile of `nx` + 1 nodes and two constituents in the lists,
// without engine arrays.
void SmallState(MainWindow& w, int nx = 50)
{
    RunState& st = w.State();
    w.Engine().InitCalc = [nx](RunState& s) {
        s.Initialised = true;
        s.NX = s.NXPending = nx;
        s.NComp = 2;
        s.Series.sr_pH.Clear();
        for (int j = 0; j <= nx; ++j) s.Series.sr_pH.Add(NodeX(s, j), 4.0 + 0.1 * j);
        s.Series.clbGraph = {{"pH", true}, {"Conductivity", false}, {"A", false}, {"B", false},
                             {"E", false}, {"IS", false}};
        s.Series.clbDet = {{"pH", true}, {"Conductivity", true}, {"A", false}, {"B", false},
                           {"Voltage", false}, {"Current", false}, {"Temperature", false}};
    };
    w.bnInitClick();
    ASSERT_TRUE(st.Initialised);
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override { w.show(); }
    ProgramHome home;
    RecordingMessageSink sink;
    ScriptedInput input;
    RecordedOpens opens;
    MainWindow w;
};

QAction* Action(const MainWindow& w, const char* name) { return Ctl<QAction>(w, name); }

}  // namespace

TEST_F(Commands, EveryVisibleEntryRunsAndTheHiddenOnesExist)
{
    SmallState(w);
    // Hidden entries exist but are not shown.
    for (const char* name : {"Scan1", "AdditionalInfo1", "SavetoBMP1", "InverseTime1", "bnPeak"})
        EXPECT_FALSE(Action(w, name)->isVisible()) << name;
    EXPECT_FALSE(Ctl<QMenu>(w, "Detector1")->menuAction()->isVisible());
    // Help stays the last menu.
    EXPECT_EQ(w.menuBar()->actions().back()->text().remove('&'), "Help");

    // Every visible entry of these commands, once, with every box answered.
    for (const char* name : {"About1", "Introduction1", "Help2", "KelvoComplexManualpdf1", "ExportAll1", "CheckAll1",
                             "UncheckAll1", "C1", "CopytoClipboard1"}) {
        QAction* a = Action(w, name);
        EXPECT_TRUE(a->isVisible() && a->isEnabled()) << name;
        CloseNextModal();
        a->trigger();
    }
    // No exception reached a handler: the only boxes are the ones of the commands.
    for (const std::string& m : sink.messages)
        EXPECT_TRUE(m.rfind("File ", 0) == 0 || m == "Error in Copy to Clipboard: No profile selected.") << m;
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_EQ(input.asked, std::vector<std::string>{"Export All|Input name of a directory"});
}

TEST_F(Commands, SmallWindowsAndTheEngineMessageWindow)
{
    auto* about = Ctl<AboutBox>(w, "AboutBox");
    EXPECT_EQ(Ctl<QLabel>(*about, "LabelVersion")->text(), "Release Version: 1.0");
    QTimer::singleShot(0, [about] { QTest::mouseClick(Ctl<QPushButton>(*about, "OKButton"), Qt::LeftButton); });
    Action(w, "About1")->trigger();
    EXPECT_EQ(about->result(), 1);

    // The run loop's lines go to the message window, shown without waiting, not to a box.
    const std::vector<std::string> lines = {"Appending to PSQ file was stopped!", "", "Temporary PSQ file exceeded"};
    w.State().Events.Emit(EngineEvent::Lines(EngineEventKind::ShowMessageWindow, lines));
    MessageWindow* m = MessageWindowOf(w);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->isVisible());
    EXPECT_EQ(m->Lines(), lines);
    EXPECT_TRUE(sink.messages.empty());
    QTest::mouseClick(Ctl<QPushButton>(*m, "bnOK"), Qt::LeftButton);
    EXPECT_FALSE(m->isVisible());
    // The run loop adds its lines to what the window holds.
    w.State().Events.Emit(EngineEvent::Lines(EngineEventKind::ShowMessageWindow, {"again"}));
    EXPECT_EQ(m->Lines().size(), lines.size() + 1);
    EXPECT_EQ(m->Lines().back(), "again");

    // Start of the scan window does nothing; Close closes.
    auto* scan = Ctl<QDialog>(w, "fmScan");
    QTimer::singleShot(0, [scan] {
        QTest::mouseClick(Ctl<QPushButton>(*scan, "bbnStart"), Qt::LeftButton);
        EXPECT_TRUE(scan->isVisible());
        QTest::mouseClick(Ctl<QPushButton>(*scan, "bbnClose"), Qt::LeftButton);
    });
    Action(w, "Scan1")->trigger();
    EXPECT_FALSE(scan->isVisible());
}

TEST_F(Commands, HelpDocumentsOpenOrSayWhereTheyAreMissing)
{
    const std::string root = home.dir.path().string();
    Action(w, "Introduction1")->trigger();
    Action(w, "Help2")->trigger();
    Action(w, "KelvoComplexManualpdf1")->trigger();
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[0], "File " + root + "/KELVO 5 INTRODUCTION.html not found");
    EXPECT_EQ(sink.messages[1].rfind("File '" + root + "/Kelvo5_Manual.pdf' not found!\nKelvo 5 Manual is under "
                                     "development. Check pages: ", 0), 0u);
    EXPECT_EQ(sink.messages[2].rfind("File '" + root + "/Kelvo 5 Complex Manual.pdf' not found!\nCheck pages: ", 0),
              0u);
    EXPECT_TRUE(opens.paths.empty());
    // A document in the program directory goes to the desktop; F1 and F2 are the keys.
    std::ofstream(home.dir.file("Kelvo5_Manual.pdf")) << "%PDF";
    Action(w, "Help2")->trigger();
    EXPECT_EQ(opens.paths, std::vector<std::string>{home.dir.file("Kelvo5_Manual.pdf")});
    EXPECT_EQ(Action(w, "Introduction1")->shortcut(), QKeySequence("F1"));
    EXPECT_EQ(Action(w, "Help2")->shortcut(), QKeySequence("F2"));
}

TEST_F(Commands, SpinButtonsHiddenButtonsAndInverseTime)
{
    RunState& st = w.State();
    st.DT = 1e-3;
    st.ErrInc = 0.25;
    st.ErrOpt = 1e-3;
    st.Restart = false;
    auto* csbDT = Ctl<QWidget>(w, "csbDT");
    QTest::mouseClick(Ctl<QToolButton>(*csbDT, "up"), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(st.DT, 1.25e-3);
    EXPECT_TRUE(st.Restart);
    QTest::mouseClick(Ctl<QToolButton>(*csbDT, "down"), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(st.DT, 1e-3);
    auto* csbErrC = Ctl<QWidget>(w, "csbErrC");
    QTest::mouseClick(Ctl<QToolButton>(*csbErrC, "up"), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(st.ErrOpt, 1e-2);
    QTest::mouseClick(Ctl<QToolButton>(*csbErrC, "down"), Qt::LeftButton);
    QTest::mouseClick(Ctl<QToolButton>(*csbErrC, "down"), Qt::LeftButton);
    EXPECT_DOUBLE_EQ(st.ErrOpt, 1e-4);
    // The panel shows the new values at once.
    EXPECT_EQ(Ctl<QLineEdit>(w, "edErrOpt")->text().toStdString(), FormatFloat("0.0##e+0", 1e-4));

    Action(w, "InverseTime1")->trigger();
    EXPECT_DOUBLE_EQ(st.DT, -1e-3);

    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Ctl<QPushButton>(w, "bbnLW")->click();
    EXPECT_TRUE(Ctl<QLineEdit>(w, "edLeftWall")->hasFocus());
    // During a run the hidden buttons leave the focus where it is.
    st.Running = true;
    Ctl<QPushButton>(w, "bbnUI")->click();
    EXPECT_TRUE(Ctl<QLineEdit>(w, "edLeftWall")->hasFocus());
    st.Running = false;
}

TEST_F(Commands, RightClickBoxesTakeOnlyValidAnswers)
{
    RunState& st = w.State();
    auto* diff = Ctl<QToolButton>(w, "spdDiffPrecond");
    st.DiffTimeSet = st.DiffTime = 10;
    input.answers = {{true, "0"}};
    QTest::mouseClick(diff, Qt::RightButton);
    ASSERT_EQ(input.asked.size(), 1u);
    EXPECT_EQ(input.asked[0], "Diffusion conditioning|Input duration of diffusion mode (s) \n(Actual value = 10 s):");
    EXPECT_EQ(std::pair(st.DiffTimeSet, st.DiffTime), std::pair(0.0, 0.0));
    EXPECT_FALSE(diff->isChecked());  // the right click does not toggle the mode
    for (const char* text : {"-1", "", " ", "abc"}) {
        input.answers = {{true, text}};
        QTest::mouseClick(diff, Qt::RightButton);
    }
    input.answers = {{false, "7"}};
    QTest::mouseClick(diff, Qt::RightButton);
    EXPECT_EQ(st.DiffTimeSet, 0.0);
    // The press of a double click asks nothing.
    const size_t asked = input.asked.size();
    QTest::mouseDClick(diff, Qt::RightButton);
    EXPECT_LE(input.asked.size(), asked + 1);  // at most the first press of the pair

    auto* redDiff = Ctl<QCheckBox>(w, "cbRedDiff");
    input.answers = {{true, "0"}, {true, "-1"}, {true, "0,5"}};
    QTest::mouseClick(redDiff, Qt::RightButton);
    EXPECT_EQ(st.DiffMultiplier, 0.0);
    QTest::mouseClick(redDiff, Qt::RightButton);
    EXPECT_EQ(st.DiffMultiplier, 0.0);
    EXPECT_EQ(input.asked.back(),
              "Diffusion reduction|Input diffusion multiplier \n1 .. normal diff., 0 .. no diff. (old value = 0):");
    QTest::mouseClick(redDiff, Qt::RightButton);
    EXPECT_EQ(st.DiffMultiplier, 0.5);
    EXPECT_FALSE(redDiff->isChecked());

    auto* pkw = Ctl<QToolButton>(w, "sbnReadFromGraph");
    pkw->setVisible(true);  // hidden in the layout; shown here so that it takes the press
    input.answers = {{true, "14"}, {true, "300"}};
    QTest::mouseClick(pkw, Qt::RightButton);
    EXPECT_NE(input.asked.back().find("(old value = 8):"), std::string::npos) << input.asked.back();
    EXPECT_DOUBLE_EQ(st.Kw, 1e-14);
    QTest::mouseClick(pkw, Qt::RightButton);
    EXPECT_DOUBLE_EQ(st.Kw, 1e-14);
    EXPECT_EQ(sink.warnings.size(), 1u);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(Commands, AClickNearAProfileDescribesItsPointAndInsertTakesIt)
{
    SmallState(w, 50);
    auto* graph = Ctl<ChartView>(w, "Graph");
    w.RescaleGraph();
    graph->replot();
    RunState& st = w.State();
    QCPGraph* ph = nullptr;
    for (int i = 0; i < graph->graphCount(); ++i)
        if (graph->graph(i)->name() == "pH (x-scale)") ph = graph->graph(i);
    ASSERT_TRUE(ph && ph->visible());
    const int node = 20;
    EXPECT_EQ(st.Options.SrT, 1);  // the options' default
    st.Options.SrT = 5;
    const QPointF at = ph->coordsToPixels(st.Series.sr_pH.x[node], st.Series.sr_pH.y[node]);
    // Three pixels above the point, and the point's own column.
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(int(std::ceil(at.x())), int(std::lround(at.y())) - 3));
    ASSERT_EQ(sink.messages.size(), 1u);
    const std::string& text = sink.messages[0];
    EXPECT_EQ(text.rfind("Name: pH (x-scale)\n\nValue: " + FloatToStr(RoundD(st.Series.sr_pH.y[node], 8)), 0), 0u)
        << text;
    EXPECT_NE(text.find("\n\nNode Position: 20\n"), std::string::npos) << text;
    EXPECT_EQ(w.ClickedPoint, node);
    // Far from every line: nothing.
    QTest::mouseClick(graph, Qt::LeftButton, {}, QPoint(int(std::ceil(at.x())), int(std::lround(at.y())) - 60));
    EXPECT_EQ(sink.messages.size(), 1u);

    // Insert in a wall edit writes the clicked node; leaving takes it.
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* right = Ctl<QLineEdit>(w, "edRightWall");
    right->setFocus();
    QTest::keyClick(right, Qt::Key_Insert);
    EXPECT_EQ(right->text(), "20");
    QTest::keyClick(right, Qt::Key_Return);
    EXPECT_EQ(st.RightWall, 20);
}

TEST_F(Commands, CheckListCommandsAndCopyToClipboard)
{
    // Before Init the list holds only "No constituents": nothing changes.
    Action(w, "UncheckAll1")->trigger();
    EXPECT_TRUE(w.State().Series.clbGraph[0].checked);
    SmallState(w);
    RunState& st = w.State();
    auto checks = [&] {
        std::string s;
        for (const CheckListItem& i : st.Series.clbGraph) s += i.checked ? '1' : '0';
        return s;
    };
    Action(w, "C1")->trigger();
    EXPECT_EQ(checks(), "101100");
    Action(w, "UncheckAll1")->trigger();
    EXPECT_EQ(checks(), "000000");
    EXPECT_FALSE(st.Series.sr_pH.active);
    Action(w, "CheckAll1")->trigger();
    EXPECT_EQ(checks(), "111111");
    EXPECT_EQ(Ctl<QListWidget>(w, "clbGraph")->item(5)->checkState(), Qt::Checked);

    auto* list = Ctl<QListWidget>(w, "clbGraph");
    list->clearSelection();
    Action(w, "CopytoClipboard1")->trigger();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Error in Copy to Clipboard: No profile selected."});
    list->setCurrentRow(0);
    Action(w, "CopytoClipboard1")->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    ASSERT_EQ(lines.size(), st.NX + 1);
    EXPECT_EQ(lines[3].toStdString(), FloatToStr(st.Series.sr_pH.x[3]) + "\t" + FloatToStr(st.Series.sr_pH.y[3]));

    // A double click on the item fits the vertical axis to it: 20 % beyond its values.
    auto* graph = Ctl<ChartView>(w, "Graph");
    const QPoint item0 = list->visualItemRect(list->item(0)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, item0);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, item0);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item0);
    EXPECT_NEAR(graph->yAxis->range().lower, 4.0 - 0.2 * 5.0, 1e-12);
    EXPECT_NEAR(graph->yAxis->range().upper, 9.0 + 0.2 * 5.0, 1e-12);
}

TEST_F(Commands, SkipCommandsCutTheDetectorRecord)
{
    RunSeries& s = w.State().Series;
    Action(w, "Skiptopoint1")->trigger();
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"No detector input!"});
    for (int i = 0; i < 5; ++i) {
        s.DET_pH.Add(i, 7);
        s.DET_volt.Add(i, 1);
    }
    input.answers = {{false, ""}, {true, "0"}, {true, "x"}, {true, "3"}};
    Action(w, "Skiptopoint1")->trigger();
    EXPECT_EQ(sink.warnings.back(), "Out of range");
    Action(w, "Skiptopoint1")->trigger();
    EXPECT_EQ(std::pair(s.DET_pH.Count(), s.DET_volt.Count()), std::pair(4, 4));
    Action(w, "Skipfrompoint1")->trigger();  // not a number: nothing
    EXPECT_EQ(s.DET_pH.Count(), 4);
    Action(w, "Skipfrompoint1")->trigger();
    EXPECT_EQ(std::pair(s.DET_pH.Count(), s.DET_volt.Count()), std::pair(3, 3));
    EXPECT_EQ(s.DET_pH.x[0], 1.0);
}

TEST(CommandsEngine, RegulatingFunctionReportAndExportOfTheExample)
{
    ProgramHome home;
    RecordingMessageSink sink;
    ScriptedInput input;
    MainWindow w;
    ComposeExampleDemo(w.State());
    w.show();
    RunState& st = w.State();
    auto* extra = Ctl<AdditionalWindow>(w, "fmAdditional");
    // The window starts compact with "Use initial concentrations and mobilities" on.
    EXPECT_TRUE(st.cbCInit);
    EXPECT_EQ(extra->height(), 142);
    EXPECT_TRUE(Ctl<QGroupBox>(*extra, "gbRF")->isHidden());
    Ctl<QCheckBox>(*extra, "cbShowRF")->click();
    EXPECT_FALSE(Ctl<QGroupBox>(*extra, "gbRF")->isHidden());
    EXPECT_GT(extra->height(), 142);

    w.bnInitClick();
    ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    st.StopTime = 0.2;
    w.bnStartClick();
    ASSERT_TRUE(sink.messages.empty()) << sink.messages[0];

    // Kohlrausch's function on: its series is drawn, one finite value per node.
    Ctl<QCheckBox>(*extra, "cbRegFn1")->click();
    EXPECT_TRUE(st.Series.sr_reg[1].active);
    ASSERT_EQ(st.Series.sr_reg[1].Count(), st.NX + 1);
    for (double v : st.Series.sr_reg[1].y) ASSERT_TRUE(std::isfinite(v));
    // The universal terms of the current state, then the report at node 10.
    Ctl<QCheckBox>(*extra, "cbCInit")->click();
    EXPECT_FALSE(st.cbCInit);
    auto* edInitX = Ctl<QLineEdit>(*extra, "edInitX");
    // Text that is no node gives node 0; a node beyond the grid its last one; both written back.
    for (auto [typed, shown] : {std::pair("abc", std::string("0")), std::pair("99999", std::to_string(st.NX))}) {
        edInitX->setText(typed);
        emit edInitX->textEdited(typed);
        w.RedrawGraph();
        EXPECT_EQ(edInitX->text().toStdString(), shown);
    }
    edInitX->setText("10");
    emit edInitX->textEdited("10");
    w.RedrawGraph();
    QTest::mouseClick(Ctl<QPushButton>(*extra, "bn"), Qt::LeftButton);
    MessageWindow* m = MessageWindowOf(w);
    ASSERT_TRUE(m && m->isVisible());
    const std::vector<std::string> lines = m->Lines();
    ASSERT_EQ(lines.size(), 15u + 2 * st.NComp);
    EXPECT_EQ(lines[0], "Universal Regulation Function Report");
    EXPECT_EQ(lines[3], "X = 10");
    EXPECT_EQ(lines[5].rfind("r1 = ", 0), 0u);
    EXPECT_EQ(lines.back().rfind("w(x) = ", 0), 0u);

    // Export all: one file per list item and per shown regulating function.
    input.answers = {{true, "run1"}};
    Ctl<QAction>(w, "ExportAll1")->trigger();
    const fs::path dir = home.dir.path() / "Export Profiles" / "run1";
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0], "CSV files are successfully saved! \nDIR: " + dir.string());
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, Ctl<QListWidget>(w, "clbGraph")->count() + Ctl<QListWidget>(w, "clbDet")->count() + 6);
    std::ifstream ph(dir / "sim00 pH.csv", std::ios::binary);
    std::string first;
    std::getline(ph, first);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back(), '\r');
    first.pop_back();
    double x = 0, y = 0;
    ASSERT_TRUE(ReadDouble(first.substr(0, first.find(',')), x));
    ASSERT_TRUE(ReadDouble(first.substr(first.find(',') + 1), y));
    EXPECT_EQ(y, st.Series.sr_pH.y[0]);
    // Again into the same name: the question comes first, No leaves it.
    input.answers = {{true, "run1"}};
    sink.answers = {false};
    Ctl<QAction>(w, "ExportAll1")->trigger();
    EXPECT_EQ(sink.questions, std::vector<std::string>{"Directory run1 already exists!\nContinue?"});
    EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(Commands, AModalBoxOpenedDuringARunPausesIt)
{
    SmallState(w);
    int steps = 0, stepsWhileAbout = -1;
    bool aboutShown = false;
    w.Engine().RunCalc = [&](RunState& s) {
        s.Running = true;
        s.Events.Emit(EngineEventKind::UpdateMainInfo);
        for (int i = 0; i < 30 && !s.Stop; ++i) {
            s.host().ProcessMessages();
            if (i == 8) {
                // The about box opened inside the run: no step is taken until it closes.
                QTimer::singleShot(0, [&] {
                    aboutShown = QApplication::activeModalWidget() != nullptr;
                    stepsWhileAbout = steps;
                    CloseNextModal();
                });
                Action(w, "About1")->trigger();
                EXPECT_EQ(stepsWhileAbout, steps);
            }
            ++steps;
            s.Time += s.DT;
        }
        s.Running = false;
    };
    w.bnStartClick();
    EXPECT_EQ(steps, 30);
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(Commands, InformationCountersFollowTheEngineAndSaveToBmpChecksTheList)
{
    RunState& st = w.State();
    auto* extra = Ctl<AdditionalWindow>(w, "fmAdditional");
    st.StepCount = 1234;
    st.DX = 5e-5;
    st.NewtonItMax = 0;
    st.NewtonItStep = 7;
    st.ISCorrection = true;
    st.Events.Emit(EngineEventKind::ShowAdditionalInfo);
    EXPECT_EQ(Ctl<QLabel>(*extra, "llMainCValue")->text(), "1234");
    EXPECT_EQ(Ctl<QLabel>(*extra, "llDXValue")->text().toStdString(), FormatFloat("0.0##e+0", 0.05));
    EXPECT_EQ(Ctl<QLabel>(*extra, "llNewtCValue")->text(), "7");
    EXPECT_EQ(Ctl<QLabel>(*extra, "llGlobMN")->text(), "Neut per iter");

    // A regulating function switched on in the detector view stays off.
    SmallState(w);
    st.DetectorView = true;
    Ctl<QCheckBox>(*extra, "cbRegFn2")->click();
    EXPECT_TRUE(Ctl<QCheckBox>(*extra, "cbRegFn2")->isChecked());
    EXPECT_FALSE(st.Series.sr_reg[2].active);
    st.DetectorView = false;

    // The profile list holds more than the constituents of the Init + 2: no bitmaps.
    Action(w, "SavetoBMP1")->trigger();
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Count of components doesn't match to the actual state"});
    EXPECT_TRUE(input.asked.empty());
}

// Every visible and enabled entry of the menu bar, of every window's menus,
// triggered once on an initialised example run with every modal window closed
// as it opens: no handler lets a programming error through and the window
// stays usable.
TEST_F(Commands, EveryVisibleMenuEntryOfTheProgramRunsOnce)
{
    QApplication::processEvents();
    RunState& st = w.State();
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 100);
    w.bnInitClick();
    ASSERT_TRUE(st.Initialised);
    std::vector<QAction*> entries;
    std::function<void(QMenu*)> collect = [&](QMenu* menu) {
        for (QAction* a : menu->actions()) {
            if (a->menu()) collect(a->menu());
            else if (!a->isSeparator()) entries.push_back(a);
        }
    };
    for (QAction* top : w.menuBar()->actions())
        if (top->menu() && top->isVisible()) collect(top->menu());
    ASSERT_GT(entries.size(), 10u);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    closer.start(5);
    int triggered = 0;
    for (QAction* a : entries) {
        const QString text = a->text().remove('&');
        if (!a->isVisible() || !a->isEnabled() || text == "Exit") continue;
        a->trigger();
        QApplication::processEvents();
        ++triggered;
    }
    closer.stop();
    EXPECT_GT(triggered, 10);
    EXPECT_TRUE(w.isVisible());
    // A programming error shows the text of its exception: none of these
    // look like one of the library's own.
    for (const std::string& m : sink.messages) EXPECT_EQ(m.find("::"), std::string::npos) << m;
    for (const std::string& m : sink.warnings) EXPECT_EQ(m.find("::"), std::string::npos) << m;
}
