// The complexation window: defaults and grid from the composition, "None"
// cells, the confirmation of the mode switch, Apply and the refusals of Save
// and Open, and its entry in the main menu.
#include "qt_test_env.h"

#include "app/complex_window.h"
#include "app/main_window.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"
#include "tools/complex_table.h"

#include <QAction>
#include <QCheckBox>
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
    EXPECT_EQ(w.windowTitle(), "Complex");
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
    EXPECT_EQ(entry->text(), "Complex");
    EXPECT_TRUE(main.findChild<ComplexWindow*>("fmComplex"));
}
