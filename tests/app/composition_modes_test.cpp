// The composition panel and the constituent editor as the main window opens
// them: the ligand row in complexation mode, the editor opened on a row of the
// list, and its "Delete Table" button.
#include "qt_test_env.h"

#include "app/windows/complex_window.h"
#include "app/windows/composition_panel_view.h"
#include "app/windows/constituent_editor_window.h"

#include <functional>

namespace {

// Text of a cell of the composition panel (row and column 0-based).
std::string Cell(const MainWindow& w, int row, int col)
{
    const QTableWidgetItem* item = Ctl<QTableWidget>(w, "sbComponents")->item(row, col);
    return item ? item->text().toStdString() : std::string("(none)");
}

// Double-clicks row `row` (0-based) of the composition panel.
void DoubleClickRow(MainWindow& w, int row)
{
    auto* table = Ctl<QTableWidget>(w, "sbComponents");
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
    QApplication::processEvents();
    const QRect cell = table->visualItemRect(table->item(row, 1));
    // Press and release, then the second press that the system reports as a double click.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

}  // namespace

// In complexation mode the first constituent is the ligand "L"; the charge
// range of loaded complexation data stands in its row.
TEST_F(ExampleWindow, ComplexationModeNumbersTheLigandAndShowsItsTableCharges)
{
    RunState& st = St();
    ASSERT_GE(st.Composition.Count(), 3);
    EXPECT_EQ((std::vector<std::string>{Cell(*w, 0, 0), Cell(*w, 1, 0), Cell(*w, 2, 0)}),
              (std::vector<std::string>{"1", "2", "3"}));
    const TComponents first = st.Composition.Get(1);
    bool inside = false;
    QTimer::singleShot(0, [&] {
        auto* complex = qobject_cast<ComplexWindow*>(QApplication::activeModalWidget());
        ASSERT_TRUE(complex);
        inside = true;
        // The ligand's charge range changed in the window's table.
        Ctl<QLineEdit>(*complex, "edN")->setText("-2");
        Ctl<QLineEdit>(*complex, "edP")->setText("3");
        Click(*complex, "bnApply");
        // Switching the mode on (after the question) renumbers the panel at once.
        sink.answers = {true};
        QTest::mouseClick(Ctl<QCheckBox>(*complex, "cbComplex"), Qt::LeftButton);
        EXPECT_TRUE(st.cbComplex);
        EXPECT_EQ((std::vector<std::string>{Cell(*w, 0, 0), Cell(*w, 1, 0), Cell(*w, 2, 0)}),
                  (std::vector<std::string>{"L", "1", "2"}));
        Click(*complex, "bnClose");
    });
    Trigger("Complex1");
    ASSERT_TRUE(inside);
    EXPECT_EQ(st.TxtTable[0], (ComplexRow{"-2", "3"}));
    EXPECT_EQ(std::pair(Cell(*w, 0, 4), Cell(*w, 0, 5)),
              std::pair(std::string("-2"), std::string("3")));
    // The analytes keep their own charges.
    const TComponents second = st.Composition.Get(2);
    EXPECT_EQ(std::pair(Cell(*w, 1, 4), Cell(*w, 1, 5)),
              std::pair(std::to_string(second.minCharge), std::to_string(second.maxCharge)));
    EXPECT_NE(std::pair(first.minCharge, first.maxCharge), std::pair(-2, 3));
}

// With complexation mode on, the ligand's row follows the table as it changes
// in the window: at once when a table file is opened, and after Close when the
// charge range was changed there.
TEST_F(ExampleWindow, LigandRowFollowsTheTableOpenedOrChangedInTheWindow)
{
    RunState& st = St();
    const std::string table = home.dir.file("ligand.txt");
    auto visit = [&](const std::function<void(ComplexWindow&)>& act) {
        bool inside = false;
        QTimer::singleShot(0, [&] {
            auto* complex = qobject_cast<ComplexWindow*>(QApplication::activeModalWidget());
            ASSERT_TRUE(complex);
            inside = true;
            act(*complex);
            Click(*complex, "bnClose");
        });
        Trigger("Complex1");
        EXPECT_TRUE(inside);
    };
    auto ligandCharges = [&] { return std::pair(Cell(*w, 0, 4), Cell(*w, 0, 5)); };
    // Mode on, the range -2..3 saved as a table file.
    visit([&](ComplexWindow& complex) {
        Ctl<QLineEdit>(complex, "edN")->setText("-2");
        Ctl<QLineEdit>(complex, "edP")->setText("3");
        Click(complex, "bnApply");
        sink.answers = {true};
        QTest::mouseClick(Ctl<QCheckBox>(complex, "cbComplex"), Qt::LeftButton);
        complex.chooseSaveFile = [&] { return QString::fromStdString(table); };
        Click(complex, "bnSave");
    });
    ASSERT_TRUE(st.cbComplex);
    ASSERT_TRUE(fs::exists(table));
    EXPECT_EQ(ligandCharges(), std::pair(std::string("-2"), std::string("3")));
    // Another range typed and applied: the panel shows it once the window closes.
    visit([&](ComplexWindow& complex) {
        Ctl<QLineEdit>(complex, "edN")->setText("-1");
        Ctl<QLineEdit>(complex, "edP")->setText("1");
        Click(complex, "bnApply");
    });
    EXPECT_EQ(st.TxtTable[0], (ComplexRow{"-1", "1"}));
    EXPECT_EQ(ligandCharges(), std::pair(std::string("-1"), std::string("1")));
    // The saved table opened: the panel shows its range while the window is open.
    visit([&](ComplexWindow& complex) {
        complex.chooseOpenFile = [&] { return QString::fromStdString(table); };
        Click(complex, "bnOpenData");
        EXPECT_EQ(ligandCharges(), std::pair(std::string("-2"), std::string("3")));
    });
    EXPECT_EQ(ligandCharges(), std::pair(std::string("-2"), std::string("3")));
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

// A double click on a row opens the editor on that constituent, captioned as an edit.
TEST_F(ExampleWindow, DoubleClickOnARowOpensTheEditorAsAnEdit)
{
    auto* panel = Ctl<CompositionPanelView>(*w, "plComponents");
    auto* editor = Ctl<ConstituentEditorWindow>(*w, "fmAdd");
    std::vector<std::string> captions, names;
    panel->ShowEditor = [&] {
        captions.push_back(editor->windowTitle().toStdString());
        names.push_back(Ctl<QLineEdit>(*editor, "edName")->text().toStdString());
    };
    DoubleClickRow(*w, 1);
    Click(*w, "bbnAddComponent");
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions, (std::vector<std::string>{"Edit Constituent", "Add Constituent"}));
    EXPECT_EQ(names[0], St().Composition.Get(2).name);
}

// "Delete Table" is shown, disabled, for a constituent without a table while
// the "Initial Distribution" entry is there; without the entry only a table shows it.
TEST_F(ExampleWindow, DeleteTableIsOfferedWhileTheInitialDistributionEntryIsThere)
{
    auto* panel = Ctl<CompositionPanelView>(*w, "plComponents");
    auto* editor = Ctl<ConstituentEditorWindow>(*w, "fmAdd");
    auto* table = Ctl<QPushButton>(*editor, "bnTable");
    ASSERT_EQ(St().Composition.Get(1).tableCount, 0);
    std::vector<std::pair<bool, bool>> seen;  // visible, enabled
    panel->ShowEditor = [&] { seen.emplace_back(table->isVisibleTo(editor), table->isEnabled()); };
    DoubleClickRow(*w, 0);
    Ctl<QAction>(*w, "InitialDistribution1")->setVisible(false);
    DoubleClickRow(*w, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<bool, bool>>{{true, false}, {false, false}}));
}
