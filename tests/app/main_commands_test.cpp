// The main window's commands beyond run control, driven through its widgets:
// every menu entry, the message window, the run panel's spin buttons, hidden
// buttons and right-click boxes, point hints from a synthetic click, the
// check-list commands, the regulating functions with their report, and the
// exports.
#include "qt_test_env.h"

#include "app/shell/help_menu.h"
#include "app/windows/additional_window.h"
#include "app/windows/small_windows.h"

#include <fstream>

namespace {

// A main window whose Init is the stand-in one (50 nodes).
struct Commands : ShownMainWindow {
    ScriptedInput input;
    void SmallState()
    {
        w.Engine().InitCalc = [](RunState& s) { ScriptedInit(s, 50); };
        w.bnInitClick();
    }
};

}  // namespace

TEST_F(Commands, TheEngineMessageWindowCollectsTheRunsLines)
{
    // The run loop's lines go to the message window, shown without waiting, not to a box.
    const std::vector<std::string> lines = {"Appending to PSQ file was stopped!", "",
                                            "Temporary PSQ file exceeded"};
    w.State().Events.Emit(EngineEvent::Lines(EngineEventKind::ShowMessageWindow, lines));
    MessageWindow* m = MessageWindowOf(w);
    ASSERT_TRUE(m && m->isVisible());
    EXPECT_EQ(m->Lines(), lines);
    EXPECT_TRUE(sink.messages.empty());
    Click(*m, "bnOK");
    EXPECT_FALSE(m->isVisible());
    // The run loop adds its lines to what the window holds.
    w.State().Events.Emit(EngineEvent::Lines(EngineEventKind::ShowMessageWindow, {"again"}));
    EXPECT_EQ(m->Lines().size(), lines.size() + 1);
    EXPECT_EQ(m->Lines().back(), "again");
}

TEST_F(Commands, HelpDocumentsOpenOrSayWhereTheyAreMissing)
{
    const std::string root = home.dir.path().string();
    for (const char* entry : {"Introduction1", "Help2", "KelvoComplexManualpdf1"}) Trigger(entry);
    ASSERT_EQ(sink.messages.size(), 3u);
    EXPECT_EQ(sink.messages[0], "File " + root + "/KELVO 5 INTRODUCTION.html not found");
    EXPECT_EQ(sink.messages[1].rfind(
                  "File '" + root + "/Kelvo5_Manual.pdf' not found!\nKelvo 5 Manual is under", 0),
              0u);
    EXPECT_EQ(sink.messages[2].rfind(
                  "File '" + root + "/Kelvo 5 Complex Manual.pdf' not found!\nCheck pages: ", 0),
              0u);
    // A document in the program directory goes to the desktop.
    std::vector<std::string> opened;
    const DocumentOpener previous = SetDocumentOpener([&](const std::string& p) {
        opened.push_back(p);
        return true;
    });
    std::ofstream(home.dir.file("Kelvo5_Manual.pdf")) << "%PDF";
    Trigger("Help2");
    SetDocumentOpener(previous);
    EXPECT_EQ(opened, std::vector<std::string>{home.dir.file("Kelvo5_Manual.pdf")});
}

TEST_F(Commands, RunPanelSpinButtonsHiddenButtonsAndRightClickBoxes)
{
    RunState& st = w.State();
    st.DT = 1e-3;
    st.ErrInc = 0.25;
    st.ErrOpt = 1e-3;
    st.Restart = false;
    Click(*Ctl<QWidget>(w, "csbDT"), "up");
    EXPECT_DOUBLE_EQ(st.DT, 1.25e-3);
    EXPECT_TRUE(st.Restart);
    Trigger("InverseTime1");  // a hidden entry
    EXPECT_DOUBLE_EQ(st.DT, -1.25e-3);
    Click(*Ctl<QWidget>(w, "csbErrC"), "down");
    EXPECT_DOUBLE_EQ(st.ErrOpt, 1e-4);
    // The panel shows the new values at once.
    EXPECT_EQ(Ctl<QLineEdit>(w, "edErrOpt")->text().toStdString(), FormatFloat("0.0##e+0", 1e-4));

    ShowActive(w);
    Ctl<QPushButton>(w, "bbnLW")->click();
    EXPECT_TRUE(Ctl<QLineEdit>(w, "edLeftWall")->hasFocus());
    // During a run the hidden buttons leave the focus where it is.
    st.Running = true;
    Ctl<QPushButton>(w, "bbnUI")->click();
    EXPECT_TRUE(Ctl<QLineEdit>(w, "edLeftWall")->hasFocus());
    st.Running = false;

    // Right-click boxes take only valid answers.
    auto* diff = Ctl<QToolButton>(w, "spdDiffPrecond");
    st.DiffTimeSet = st.DiffTime = 10;
    input.answers = {"0", "-1", "", " ", "abc", std::nullopt};
    for (int i = 0; i < 6; ++i) QTest::mouseClick(diff, Qt::RightButton);
    EXPECT_EQ(
        input.prompts[0],
        "Diffusion conditioning|Input duration of diffusion mode (s) \n(Actual value = 10 s):");
    EXPECT_EQ(std::pair(st.DiffTimeSet, st.DiffTime), std::pair(0.0, 0.0));
    EXPECT_FALSE(diff->isChecked());  // the right click does not toggle the mode

    // The diffusion multiplier: -1 is refused, "0,5" is 0.5.
    auto* redDiff = Ctl<QCheckBox>(w, "cbRedDiff");
    input.answers = {"-1", "0,5"};
    QTest::mouseClick(redDiff, Qt::RightButton);
    EXPECT_EQ(st.DiffMultiplier, 1.0);
    QTest::mouseClick(redDiff, Qt::RightButton);
    EXPECT_TRUE(st.DiffMultiplier == 0.5 && !redDiff->isChecked());

    auto* pkw = Ctl<QToolButton>(w, "sbnReadFromGraph");
    pkw->setVisible(true);  // hidden in the layout; shown here so that it takes the press
    input.answers = {"14", "300"};
    QTest::mouseClick(pkw, Qt::RightButton);
    EXPECT_NE(input.prompts.back().find("(old value = 8):"), std::string::npos)
        << input.prompts.back();
    EXPECT_DOUBLE_EQ(st.Kw, 1e-14);
    QTest::mouseClick(pkw, Qt::RightButton);
    EXPECT_DOUBLE_EQ(st.Kw, 1e-14);
    EXPECT_EQ(sink.warnings.size(), 1u);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(Commands, AClickNearAProfileDescribesItsPoint)
{
    SmallState();
    auto* graph = Ctl<ChartView>(w, "Graph");
    w.RescaleGraph();
    graph->replot();
    RunState& st = w.State();
    QCPGraph* ph = GraphNamed(w, "pH (x-scale)");
    ASSERT_TRUE(ph && ph->visible());
    const int node = 20;
    st.Options.SrT = 5;
    const QPointF at = ph->coordsToPixels(st.Series.sr_pH.x[node], st.Series.sr_pH.y[node]);
    // Three pixels above the point, and the point's own column.
    QTest::mouseClick(graph, Qt::LeftButton, {},
                      QPoint(int(std::ceil(at.x())), int(std::lround(at.y())) - 3));
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(
        sink.messages[0].rfind(
            "Name: pH (x-scale)\n\nValue: " + FloatToStr(RoundD(st.Series.sr_pH.y[node], 8)), 0),
        0u)
        << sink.messages[0];
    EXPECT_EQ(w.ClickedPoint, node);
    // Far from every line: nothing.
    QTest::mouseClick(graph, Qt::LeftButton, {},
                      QPoint(int(std::ceil(at.x())), int(std::lround(at.y())) - 60));
    EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(Commands, CheckListCopySaveAndSkipCommands)
{
    // Before Init the list holds only "No constituents": nothing changes.
    Trigger("UncheckAll1");
    EXPECT_TRUE(w.State().Series.clbGraph[0].checked);
    SmallState();
    RunState& st = w.State();
    auto checks = [&] {
        std::string s;
        for (const CheckListItem& i : st.Series.clbGraph) s += i.checked ? '1' : '0';
        return s;
    };
    Trigger("C1");
    EXPECT_EQ(checks(), "101100");
    Trigger("UncheckAll1");
    EXPECT_EQ(checks(), "000000");
    EXPECT_FALSE(st.Series.sr_pH.active);
    Trigger("CheckAll1");
    EXPECT_EQ(checks(), "111111");
    auto* list = Ctl<QListWidget>(w, "clbGraph");
    EXPECT_EQ(list->item(5)->checkState(), Qt::Checked);

    list->clearSelection();
    Trigger("CopytoClipboard1");
    EXPECT_EQ(sink.messages,
              std::vector<std::string>{"Error in Copy to Clipboard: No profile selected."});
    list->setCurrentRow(0);
    Trigger("CopytoClipboard1");
    EXPECT_EQ(QGuiApplication::clipboard()->text().split('\n').size(), st.NX + 1);

    // The profile list's constituents are not those of the Init (a third
    // added to the stand-in Init's two): no bitmaps.
    st.CompInit.Add(st.CompInit[1]);
    Trigger("SavetoBMP1");
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Count of components doesn't match to the actual state"});

    // The skip commands cut the detector record.
    Trigger("Skiptopoint1");
    EXPECT_EQ(sink.warnings.back(), "No detector input!");
    for (int i = 0; i < 5; ++i) {
        st.Series.DET_pH.Add(i, 7);
        st.Series.DET_volt.Add(i, 1);
    }
    // Cancel and text that is no number leave the record; a point outside it is refused.
    input.answers = {std::nullopt, "x", "9", "3", "0"};
    for (int i = 0; i < 3; ++i) Trigger("Skipfrompoint1");
    EXPECT_EQ(sink.warnings.back(), "Out of range");
    EXPECT_EQ(st.Series.DET_pH.Count(), 5);
    Trigger("Skipfrompoint1");
    Trigger("Skiptopoint1");
    EXPECT_EQ(std::pair(st.Series.DET_pH.Count(), st.Series.DET_volt.Count()), std::pair(2, 2));
    EXPECT_EQ(st.Series.DET_pH.x[0], 1.0);
}

TEST_F(ExampleWindow, AdditionalWindowCountersRegulatingFunctionsReportAndExport)
{
    ScriptedInput input;
    RunState& st = St();
    auto* extra = Ctl<AdditionalWindow>(*w, "fmAdditional");
    st.StepCount = 1234, st.NewtonItMax = 0, st.NewtonItStep = 7;
    st.Events.Emit(EngineEventKind::ShowAdditionalInfo);
    EXPECT_EQ(std::pair(Ctl<QLabel>(*extra, "llMainCValue")->text(),
                        Ctl<QLabel>(*extra, "llNewtCValue")->text()),
              std::pair(QString("1234"), QString("7")));
    EXPECT_TRUE(st.cbCInit);  // "Use initial concentrations and mobilities" starts on

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
    for (auto [typed, shown] :
         {std::pair("abc", std::string("0")), std::pair("99999", std::to_string(st.NX)),
          std::pair("10", std::string("10"))}) {
        edInitX->setText(typed);
        emit edInitX->textEdited(typed);
        w->RedrawGraph();
        EXPECT_EQ(edInitX->text().toStdString(), shown);
    }
    Click(*extra, "bn");
    MessageWindow* m = MessageWindowOf(*w);
    ASSERT_TRUE(m && m->isVisible() && m->Lines().size() == 15u + 2 * st.NComp);
    EXPECT_EQ(m->Lines()[3], "X = 10");

    // Export all: one file per list item and per shown regulating function.
    input.answers = {"run1"};
    Trigger("ExportAll1");
    const fs::path dir = home.dir.path() / "Export Profiles" / "run1";
    EXPECT_EQ(sink.messages,
              std::vector<std::string>{"CSV files are successfully saved! \nDIR: " + dir.string()});
    int files = 0;
    for (const auto& e : fs::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, Ctl<QListWidget>(*w, "clbGraph")->count() +
                         Ctl<QListWidget>(*w, "clbDet")->count() + 6);
    EXPECT_TRUE(fs::file_size(dir / "sim00 pH.csv") > 0);
    // Again into the same name: the question comes first, No leaves it.
    input.answers = {"run1"};
    sink.answers = {false};
    Trigger("ExportAll1");
    EXPECT_EQ(sink.questions,
              std::vector<std::string>{"Directory run1 already exists!\nContinue?"});
    EXPECT_EQ(sink.messages.size(), 1u);
}

TEST_F(Commands, AModalBoxOpenedDuringARunPausesIt)
{
    ScriptedEngine engine;
    engine.Install(w);
    engine.steps = 30;
    w.bnInitClick();
    int stepsWhileAbout = -1;
    bool aboutShown = false;
    engine.duringStep = [&](RunState& s, int i) {
        if (i != 8) return;
        // The about box opened inside the run: no step is taken until it closes.
        QTimer::singleShot(0, [&] {
            aboutShown = QApplication::activeModalWidget() != nullptr;
            stepsWhileAbout = s.StepCount;
            CloseNextModal();
        });
        Trigger("About1");
        EXPECT_EQ(stepsWhileAbout, s.StepCount);
    };
    w.bnStartClick();
    EXPECT_EQ(engine.stepsDone, 30);
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(sink.messages.empty());
}

// Every visible and enabled entry of the menu bar, of every window's menus,
// triggered once on an initialised run with every modal window closed as it
// opens: no handler lets a programming error through and the window stays
// usable.
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
            if (a->menu())
                collect(a->menu());
            else if (!a->isSeparator())
                entries.push_back(a);
        }
    };
    for (QAction* top : w.menuBar()->actions())
        if (top->menu() && top->isVisible()) collect(top->menu());
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    closer.start(5);
    int triggered = 0;
    for (QAction* a : entries) {
        if (!a->isVisible() || !a->isEnabled() || a->text().remove('&') == "Exit") continue;
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
