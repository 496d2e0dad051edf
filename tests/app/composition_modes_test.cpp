// The composition panel and the constituent editor as the main window opens
// them: the ligand row in complexation mode, the editor opened on a row of the
// list, its "Delete Table" button, and Restore keeping the complexation values
// typed for each constituent.
#include "qt_test_env.h"

#include "app/windows/complex_window.h"
#include "app/windows/composition_panel_view.h"
#include "app/windows/constituent_editor_window.h"
#include "files/sna_file.h"

#include <fstream>
#include <functional>
#include <iterator>

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

// Opens the complexation window from the main menu (modal), acts in it and
// closes it with Close.
void VisitComplexWindow(MainWindow& w, const std::function<void(ComplexWindow&)>& act)
{
    bool inside = false;
    QTimer::singleShot(0, [&] {
        auto* complex = qobject_cast<ComplexWindow*>(QApplication::activeModalWidget());
        ASSERT_TRUE(complex);
        inside = true;
        act(*complex);
        Click(*complex, "bnClose");
    });
    Ctl<QAction>(w, "Complex1")->trigger();
    EXPECT_TRUE(inside);
}

std::string FileText(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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
        VisitComplexWindow(*w, act);
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

// Restore and the restoring save keep every complexation value typed for a
// constituent that is back, whatever the window made of the table meanwhile
// (adjusted to a constituent deleted, or shown for another of the same
// charges in its place); a constituent whose lines the table lost takes those
// the Init ran with. Saved, the text file beside the project holds them under
// the constituents' names, and the project opens with them.
TEST_F(ExampleWindow, RestoreKeepsTheComplexValuesTypedForEachConstituentBack)
{
    RunState& st = St();
    const int count = st.Composition.Count();
    ASSERT_EQ(st.Composition[count].name, "Imidazole");
    ASSERT_EQ(st.Composition[2].name, "Sodium");
    // Grid rows: Sodium's z = 0 pKx row 4; Imidazole's (last of four analytes
    // of two forms) pKx row 10, ux row 19; column 1 the ligand's z = -1.
    auto cell = [](ComplexWindow& c, int row) {
        return Ctl<QTableWidget>(c, "sgTable")->item(row, 1);
    };
    VisitComplexWindow(*w, [&](ComplexWindow& c) {
        cell(c, 10)->setText("6.5");
        cell(c, 19)->setText("31");
        sink.answers = {true};
        QTest::mouseClick(Ctl<QCheckBox>(c, "cbComplex"), Qt::LeftButton);
    });
    Click(*w, "bbnInit");
    ASSERT_TRUE(st.Initialised && st.cbComplex) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    VisitComplexWindow(*w, [&](ComplexWindow& c) { cell(c, 4)->setText("4.5"); });
    ASSERT_EQ(st.TxtTable[5][0], "4.5");
    auto* panel = Ctl<CompositionPanelView>(*w, "plComponents");
    int saves = 0;
    for (bool replaced : {false, true})
        for (bool bySave : {false, true}) {
            const std::string when =
                std::string(replaced ? "replaced" : "deleted") + (bySave ? ", save" : ", Restore");
            panel->ClickedRow = count;
            Ctl<QAction>(*panel->Popup(), "Delete1")->trigger();
            ASSERT_EQ(st.Composition.Count(), count - 1) << when;
            if (replaced) {
                st.Composition.Add(
                    TComponents::Uniform("Histidine", 0, 1, {0.0, 6.0}, {0.0, 30.0}, 0, 0.0, 0.2));
                w->UpdateButtons();
            }
            // The window adjusts the table to the list, or shows Imidazole's
            // lines for Histidine, where a value is typed.
            VisitComplexWindow(*w, [&](ComplexWindow& c) {
                if (replaced) cell(c, 10)->setText("2.5");
            });
            sink.Clear();
            const std::string name = home.dir.file("restored" + std::to_string(++saves) + ".sna");
            if (bySave) {
                // The save button waits for Init or Restore; the save's own
                // restore asks first.
                EXPECT_FALSE(Ctl<QToolButton>(*w, "spbSave")->isEnabled());
                sink.answers = {true};
                ASSERT_TRUE(SaveSnaFile(st, name)) << when;
                ASSERT_EQ(sink.questions.size(), 1u) << when;
            } else {
                Click(*w, "bnRestore");
            }
            EXPECT_TRUE(sink.warnings.empty()) << when << ": " << sink.warnings[0];
            ASSERT_EQ(st.Composition.Count(), count) << when;
            ASSERT_EQ(st.TxtTable.size(), 5u + 2 * 8) << when;
            auto typed = [&](const std::string& how) {
                EXPECT_EQ(st.TxtTable[5][0], "4.5") << how;
                EXPECT_EQ(st.TxtTable[11][0], "6.5") << how;
                EXPECT_EQ(st.TxtTable[19][0], "31") << how;
                VisitComplexWindow(*w, [&](ComplexWindow& c) {
                    EXPECT_EQ(cell(c, 4)->text(), "4.5") << how;
                    EXPECT_EQ(cell(c, 10)->text(), "6.5") << how;
                });
            };
            typed(when);
            if (!bySave) continue;
            // The file beside the project: each constituent's lines under its name.
            const std::string text = FileText(ChangeFileExt(name, ".txt"));
            const std::size_t sodium = text.find("# 1: Sodium\r\n4.5\t30\r\n30\t30\r\n"),
                              pkx = text.find("# 4: Imidazole\r\n6.5\t30\r\n30\t30\r\n"),
                              ux = text.find("# 4: Imidazole\r\n31\t25\r\n25\t25\r\n");
            EXPECT_TRUE(sodium < pkx && pkx < ux && ux != std::string::npos) << when << text;
            EXPECT_EQ(text.find("Histidine"), std::string::npos) << when;
            ASSERT_TRUE(w->New1Click());
            sink.Clear();
            ASSERT_TRUE(w->OpenFile(name)) << when;
            EXPECT_TRUE(sink.warnings.empty()) << when << ": " << sink.warnings[0];
            EXPECT_TRUE(st.cbComplex && st.Initialised) << when;
            typed(when + ", opened");
        }
    // A constituent deleted in the middle of the list: the window shows each
    // other analyte's own lines (Imidazole's pKx now in row 8), and Restore
    // gives the deleted one those the Init ran with.
    panel->ClickedRow = 3;
    Ctl<QAction>(*panel->Popup(), "Delete1")->trigger();
    ASSERT_EQ(st.Composition.Count(), count - 1);
    VisitComplexWindow(*w, [&](ComplexWindow& c) {
        EXPECT_EQ(cell(c, 4)->text(), "4.5");
        EXPECT_EQ(cell(c, 8)->text(), "6.5");
    });
    Click(*w, "bnRestore");
    ASSERT_EQ(st.TxtTable.size(), 5u + 2 * 8);
    EXPECT_EQ(std::tuple(st.TxtTable[5][0], st.TxtTable[11][0], st.TxtTable[19][0]),
              std::tuple("4.5", "6.5", "31"));
}
