// The complexation window: defaults and grid from the composition, "None"
// cells, the confirmation of the mode switch, Apply and the refusals of Save
// and Open, and its entry in the main menu.
#include "qt_test_env.h"

#include "app/complex_window.h"
#include "engine/init_calc.h"
#include "tools/complex_table.h"

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
    EXPECT_EQ(sink.messages, std::vector<std::string>{
        "Complex table was automatically adjusted to a new composition using default values."});
    EXPECT_EQ(st.TxtTable, DefaultComplexTable(st.Composition, "30", "25"));
    ASSERT_EQ(std::pair(grid->rowCount(), grid->columnCount()), std::pair(13, 4));
    EXPECT_EQ(Row(grid, 1), (std::vector<std::string>{"Free ligand pKa (M)", "9.5", "None", "2.25"}));
    // the section titles cannot be edited, the values can
    EXPECT_FALSE(grid->item(3, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(grid->item(4, 2)->flags() & Qt::ItemIsEditable);

    // Apply takes the grid; an emptied cell becomes "None", the ligand's
    // charge range re-lays the grid
    grid->item(4, 2)->setText("-2");
    grid->item(10, 1)->setText("");
    Ctl<QLineEdit>(w, "edN")->setText("0");
    sink.Clear();
    Click(w, "bnApply");
    EXPECT_EQ(st.TxtTable[5], (std::vector<std::string>{"30", "-2", "30"}));
    EXPECT_EQ(st.TxtTable[10], (std::vector<std::string>{"None", "25", "25"}));
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
    w.chooseSaveFile = [&] { asked = true; return QString("x.txt"); };
    sink.Clear();
    Click(w, "bnSave");
    EXPECT_FALSE(asked);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex: Enter a ligand constituent and at least one analyte."});
    // Open of a missing file
    TempDir dir;
    const std::string missing = dir.file("none.txt");
    w.chooseOpenFile = [&] { return QString::fromStdString(missing); };
    sink.Clear();
    Click(w, "bnOpenData");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"File \"" + missing + "\" not found."});
}

TEST(ComplexWindow, TheModeSwitchAsksFirstAndInitRunsWhenSwitchedOff)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = SelectorWithAnalytes();
    int inits = 0;
    ComplexWindow w(st, [&] { ++inits; });
    auto* box = Ctl<QCheckBox>(w, "cbComplex");
    // no table: switching on is refused without a question
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex Mode: No text file with input values loaded!"});
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_FALSE(box->isChecked() || st.cbComplex);

    w.show();  // defaults
    for (bool yes : {false, true}) {
        sink.answers = {yes};
        QTest::mouseClick(box, Qt::LeftButton);
        EXPECT_EQ(sink.questions.back(), "Complex (Action Confirmation): Do you want to check/uncheck complex mode?");
        EXPECT_EQ(box->isChecked(), yes);
        EXPECT_EQ(st.cbComplex, yes);
    }
    EXPECT_EQ(inits, 0);

    // switched off by the space key after an Init: the main window's Init runs
    st.InitDone = st.ComplexReady = true;
    sink.answers = {true};
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(box->isChecked() || st.cbComplex || st.ComplexReady);
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(sink.questions.size(), 3u);
}

TEST(ComplexWindow, TheMainWindowsModeLabelFollowsTheInit)
{
    RecordingMessageSink sink;
    MainWindow main;
    // Shown after an Init with the complexation set-up, hidden by an Init without it.
    RunState& st = main.State();
    PrepareRun(st, SelectorWithAnalytes(), 100);
    st.TxtTable = DefaultComplexTable(st.Composition, "30", "25");
    auto* label = Ctl<QLabel>(main, "llComplex");
    for (bool on : {true, false}) {
        st.cbComplex = on;
        Click(main, "bbnInit");
        ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
        EXPECT_EQ(label->isVisibleTo(&main), on);
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
    ComplexWindow w(st, [&st] { InitCalc(st); });
    w.show();
    // No keeps everything
    sink.answers = {false};
    Click(w, "bnIS");
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0].rfind("This will change pKa and ionic mobilities using IS of most right point.", 0), 0u);
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
    EXPECT_NEAR(Ctl<QLineEdit>(w, "edPKW")->text().toDouble() - 14.0, shift, 1e-4);  // both move by 2 log10(gamma1)
    auto* grid = Ctl<QTableWidget>(w, "sgTable");
    EXPECT_EQ(grid->item(1, 1)->text().toStdString(), FloatToStr(selector.PKaOf(1, -1)));
    EXPECT_EQ(grid->item(2, 3)->text().toStdString(), FloatToStr(selector.UOf(1, 1)));
    // the correction and the mode switch are as they were
    EXPECT_FALSE(st.cbIS || st.ISCorrection || st.cbComplex);
    EXPECT_TRUE(st.CompChanged);
}
