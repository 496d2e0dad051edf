// The complexation window: defaults and grid from the composition, "None"
// cells, the confirmation of the mode switch, Apply and the refusals of Save
// and Open, and its entry in the main menu.
#include "qt_test_env.h"

#include "app/complex_window.h"
#include "app/main_window.h"
#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"
#include "tools/complex_table.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace testcomp;

namespace {

constexpr const char* kAdjusted = "Complex table was automatically adjusted to a new composition using default values.";
constexpr const char* kQuestion = "Complex (Action Confirmation): Do you want to check/uncheck complex mode?";

TUnivSet<TComponents> Composition() { return SelectorWithAnalytes(); }

std::vector<std::string> Row(QTableWidget* g, int r) {
    std::vector<std::string> row;
    for (int c = 0; c < g->columnCount(); ++c) row.push_back(g->item(r, c)->text().toStdString());
    return row;
}

}  // namespace

TEST(ComplexWindow, DefaultsGridNoneCellsAndApply)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = Composition();
    ComplexWindow w(st, {});
    auto* grid = w.findChild<QTableWidget*>("sgTable");
    ASSERT_TRUE(grid);
    w.show();
    // an empty table takes the defaults of the composition
    EXPECT_EQ(sink.messages, std::vector<std::string>{kAdjusted});
    EXPECT_EQ(st.TxtTable, DefaultComplexTable(st.Composition, "30", "25"));
    EXPECT_EQ(w.findChild<QLineEdit*>("edN")->text(), "-1");
    EXPECT_EQ(w.findChild<QLineEdit*>("edP")->text(), "1");
    ASSERT_EQ(grid->rowCount(), 13);
    ASSERT_EQ(grid->columnCount(), 4);
    EXPECT_EQ(Row(grid, 0), (std::vector<std::string>{"Name \\ zL", "-1", "0", "1"}));
    EXPECT_EQ(Row(grid, 1), (std::vector<std::string>{"Free ligand pKa (M)", "9.5", "None", "2.25"}));
    EXPECT_EQ(Row(grid, 4), (std::vector<std::string>{"  Amine; z = 0", "30", "30", "30"}));
    EXPECT_EQ(Row(grid, 9)[0], "  Amine; z = 0");
    // the section titles cannot be edited, the values can
    EXPECT_FALSE(grid->item(3, 1)->flags() & Qt::ItemIsEditable);
    EXPECT_FALSE(grid->item(8, 2)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(grid->item(4, 2)->flags() & Qt::ItemIsEditable);

    // Apply takes the grid; an emptied cell becomes "None", the ligand's
    // charge range re-lays the grid
    grid->item(4, 2)->setText("-2");
    grid->item(10, 1)->setText("");
    w.findChild<QLineEdit*>("edN")->setText("0");
    sink.Clear();
    QTest::mouseClick(w.findChild<QPushButton*>("bnApply"), Qt::LeftButton);
    EXPECT_EQ(st.TxtTable[0], (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(st.TxtTable[5], (std::vector<std::string>{"30", "-2", "30"}));
    EXPECT_EQ(st.TxtTable[10], (std::vector<std::string>{"None", "25", "25"}));
    EXPECT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(Row(grid, 1), (std::vector<std::string>{"Free ligand pKa (M)", "None", "9.5"}));
    EXPECT_TRUE(sink.messages.empty());
    // Reset Default brings the composition's table back
    QTest::mouseClick(w.findChild<QPushButton*>("bnGenerate"), Qt::LeftButton);
    EXPECT_EQ(st.TxtTable, DefaultComplexTable(st.Composition, "30", "25"));
    EXPECT_EQ(grid->columnCount(), 4);

    // one constituent: no grid, Save refuses
    st.Composition = TUnivSet<TComponents>();
    st.Composition.Add(Composition().Get(1));
    QTest::mouseClick(w.findChild<QPushButton*>("bnGenerate"), Qt::LeftButton);
    EXPECT_TRUE(grid->isHidden());
    bool asked = false;
    w.chooseSaveFile = [&] { asked = true; return QString("x.txt"); };
    sink.Clear();
    QTest::mouseClick(w.findChild<QPushButton*>("bnSave"), Qt::LeftButton);
    EXPECT_FALSE(asked);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex: Enter a ligand constituent and at least one analyte."});
    // Open of a missing file
    TempDir dir;
    const std::string missing = dir.file("none.txt");
    w.chooseOpenFile = [&] { return QString::fromStdString(missing); };
    sink.Clear();
    QTest::mouseClick(w.findChild<QPushButton*>("bnOpenData"), Qt::LeftButton);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"File \"" + missing + "\" not found."});
}

TEST(ComplexWindow, TheModeSwitchAsksFirstAndInitRunsWhenSwitchedOff)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = Composition();
    int inits = 0;
    ComplexWindow w(st, [&] { ++inits; });
    auto* box = w.findChild<QCheckBox*>("cbComplex");
    ASSERT_TRUE(box);
    // no table: switching on is refused without a question
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex Mode: No text file with input values loaded!"});
    EXPECT_TRUE(sink.questions.empty());
    EXPECT_FALSE(box->isChecked() || st.cbComplex);

    w.show();  // defaults
    sink.Clear();
    sink.answers = {false};
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(sink.questions, std::vector<std::string>{kQuestion});
    EXPECT_FALSE(box->isChecked() || st.cbComplex);
    sink.answers = {true};
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(box->isChecked() && st.cbComplex);
    EXPECT_EQ(inits, 0);

    // switched off by the space key after an Init: the main window's Init runs
    st.InitDone = true;
    st.ComplexReady = true;
    sink.answers = {true};
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(box->isChecked() || st.cbComplex);
    EXPECT_EQ(inits, 1);
    EXPECT_FALSE(st.ComplexReady);
    EXPECT_EQ(sink.questions.size(), 3u);
}

TEST(ComplexWindow, MainMenuEntryOpensTheWindow)
{
    RecordingMessageSink sink;
    MainWindow main;
    auto* entry = main.findChild<QAction*>("Complex1");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(main.findChild<ComplexWindow*>("fmComplex"));

    // The main window's mode label: shown after an Init with the complexation
    // set-up, hidden by an Init without it.
    RunState& st = main.State();
    PrepareRun(st, Composition(), 100);
    st.TxtTable = DefaultComplexTable(st.Composition, "30", "25");
    st.cbComplex = true;
    auto* label = main.findChild<QLabel*>("llComplex");
    ASSERT_TRUE(label);
    main.findChild<QPushButton*>("bbnInit")->click();
    ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_TRUE(label->isVisibleTo(&main));
    st.cbComplex = false;
    main.findChild<QPushButton*>("bbnInit")->click();
    ASSERT_TRUE(st.Initialised);
    EXPECT_FALSE(label->isVisibleTo(&main));
}

TEST(ComplexWindow, ApplyISTakesTheCorrectedConstantsOfTheLastNode)
{
    RecordingMessageSink sink;
    RunState st;
    ComplexWindow empty(st, {});
    empty.findChild<QPushButton*>("bnIS")->click();
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Insufficint number of constituents."});

    PrepareRun(st, Composition(), 100);
    ComplexWindow w(st, [&st] { InitCalc(st); });
    w.show();
    // No keeps everything
    sink.Clear();
    sink.answers = {false};
    w.findChild<QPushButton*>("bnIS")->click();
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0].rfind("This will change pKa and ionic mobilities using IS of most right point.", 0), 0u);
    EXPECT_FALSE(st.Initialised);
    EXPECT_EQ(st.Composition.Head()->data.PKaOf(1, -1), 9.5);

    sink.answers = {true};
    w.findChild<QPushButton*>("bnIS")->click();
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
    EXPECT_LT(acid.UOf(1, -1), 35.0);
    EXPECT_GT(acid.UOf(1, -1), 30.0);
    EXPECT_LT(selector.UOf(1, 1), 42.0);
    // six significant digits
    EXPECT_EQ(RoundD(acid.PKaOf(1, -1), 6), acid.PKaOf(1, -1));
    // the water constants and the ligand's row of the grid follow
    const double pKw = w.findChild<QLineEdit*>("edPKW")->text().toDouble();
    EXPECT_LT(pKw, 14.0);
    EXPECT_NEAR(pKw - 14.0, shift, 1e-4);  // both move by 2 log10(gamma1)
    auto* grid = w.findChild<QTableWidget*>("sgTable");
    EXPECT_EQ(grid->item(1, 1)->text().toStdString(), FloatToStr(selector.PKaOf(1, -1)));
    EXPECT_EQ(grid->item(2, 3)->text().toStdString(), FloatToStr(selector.UOf(1, 1)));
    // the correction and the mode switch are as they were
    EXPECT_FALSE(st.cbIS || st.ISCorrection || st.cbComplex);
    EXPECT_TRUE(st.CompChanged);
}
