// The composition windows driven through their controls: a buffer and an
// analyte built in the editor from the database and by typing, arranged in the
// panel, run, saved and opened again; the editor's refusals; a protein from
// its sequence; an ampholine series; the panel's popup menu and file group.
#include "qt_test_env.h"

#include "app/amplitudes_window.h"
#include "app/chart_view.h"
#include "app/composition_panel_view.h"
#include "app/constituent_editor_window.h"
#include "app/input_query.h"
#include "app/main_window.h"
#include "app/protein_window.h"
#include "composition/composition_panel.h"
#include "engine/run_state.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <deque>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// Answers the input boxes from a queue and records the prompts; Cancel once
// the queue is empty.
struct ScriptedInput {
    std::deque<std::string> answers;
    std::vector<std::string> prompts;
    std::vector<std::string> defaults;
    InputQueryHandler previous;
    ScriptedInput()
    {
        previous = SetInputQueryHandler([this](const std::string& caption, const std::string& prompt, std::string& v) {
            prompts.push_back(caption + "|" + prompt);
            defaults.push_back(v);
            if (answers.empty()) return false;
            v = answers.front();
            answers.pop_front();
            return true;
        });
    }
    ~ScriptedInput() { SetInputQueryHandler(previous); }
};

// The main window with its composition panel and editor; the editor opens
// without a modal loop so that the test drives it.
class CompositionWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.show();
        panel = Ctl<CompositionPanelView>(w, "plComponents");
        editor = Ctl<ConstituentEditorWindow>(w, "fmAdd");
        panel->ShowEditor = [this] { editor->show(); };
    }
    TempDir home;
    bool homeSet = (setenv("KELVO_HOME", home.path().c_str(), 1), true);
    RecordingMessageSink sink;
    ScriptedInput input;
    MainWindow w;
    CompositionPanelView* panel = nullptr;
    ConstituentEditorWindow* editor = nullptr;

    RunState& st() { return w.State(); }
    template <class T>
    T* E(const char* name) { return Ctl<T>(*editor, name); }
    // Types into an editor edit and commits it with Enter.
    void Type(const char* edit, const QString& text)
    {
        QLineEdit* e = E<QLineEdit>(edit);
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    void Click(const char* button) { E<QPushButton>(button)->click(); }
    void Pick(const QString& name)
    {
        auto* list = E<QTreeWidget>("lvDatabase");
        const auto found = list->findItems(name, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->setCurrentItem(found[0]);
        Click("bnDbPick");
    }
    QString Cell(int row, int col) const { return panel->Table()->item(row, col)->text(); }
    QString GridCell(const char* grid, int col, int row) { return E<CellGrid>(grid)->item(row, col)->text(); }
    void SetGridCell(const char* grid, int col, int row, const QString& text)
    {
        E<CellGrid>(grid)->item(row, col)->setText(text);
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto* n = w.State().Composition.Head(); n; n = n->next) names.push_back(n->data.name);
        return names;
    }
    void Popup(const char* action, int row)
    {
        panel->ClickedRow = row;
        Ctl<QAction>(*panel->Popup(), action)->trigger();
    }
};

// The fields that a composition file keeps.
void ExpectSameComposition(const TUnivSet<TComponents>& a, const TUnivSet<TComponents>& b)
{
    ASSERT_EQ(a.Count(), b.Count());
    for (int k = 1; k <= a.Count(); ++k) {
        const TComponents &x = a[k], &y = b[k];
        EXPECT_EQ(x.name, y.name);
        EXPECT_EQ(std::tuple(x.minCharge, x.maxCharge, x.colour, x.type, x.gradient, x.mode),
                  std::tuple(y.minCharge, y.maxCharge, y.colour, y.type, y.gradient, y.mode))
            << x.name;
        EXPECT_EQ(std::pair(x.c, x.cInj), std::pair(y.c, y.cInj)) << x.name;
        for (int z = x.minCharge; z <= x.maxCharge; ++z) {
            if (z == 0) continue;
            EXPECT_EQ(x.PKaOf(1, z), y.PKaOf(1, z)) << x.name << " z " << z;
            EXPECT_EQ(x.UOf(1, z), y.UOf(1, z)) << x.name << " z " << z;
        }
    }
}

}  // namespace

TEST_F(CompositionWindow, BufferAndAnalyteBuiltInTheEditorRunAndComeBackFromTheProject)
{
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];   // the supplied database was read
    ASSERT_TRUE(E<QWidget>("plDatabase")->isVisibleTo(editor));
    ASSERT_GT(E<QTreeWidget>("lvDatabase")->topLevelItemCount(), 300);
    EXPECT_EQ(panel->Table()->rowCount(), 0);

    // Buffer: Tris and MES from the database, concentrations typed.
    Ctl<QPushButton>(w, "bbnAddComponent")->click();
    ASSERT_TRUE(editor->isVisible());
    Pick("Tris");
    EXPECT_EQ(E<QLineEdit>("edName")->text(), "Tris");
    EXPECT_EQ(std::pair(E<QLineEdit>("edN")->text(), E<QLineEdit>("edP")->text()), std::pair(QString("0"), QString("1")));
    EXPECT_EQ(GridCell("sgZ", 1, 1), "8.07");
    Type("edConcentration", "20");
    Type("edConcInj", "20");
    Click("bbnAdd");
    EXPECT_FALSE(editor->isVisible());

    Ctl<QPushButton>(w, "bbnAddComponent")->click();
    {   // Enter in the list picks the selected entry.
        auto* list = E<QTreeWidget>("lvDatabase");
        list->setCurrentItem(list->findItems("MES", Qt::MatchExactly, 0).value(0));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(E<QLineEdit>("edName")->text(), "MES");
    }
    Type("edConcentration", "10");
    Type("edConcInj", "10");
    Click("bbnAdd");

    // Analyte typed: a weak acid, only in the injection zone.
    Ctl<QPushButton>(w, "bbnAddComponent")->click();
    Type("edName", "Analyte X");
    Type("edN", "1");
    EXPECT_EQ(E<QLineEdit>("edN")->text(), "-1");
    EXPECT_TRUE(E<QLabel>("llCompMsg")->isVisible());   // pending shape: the grids wait for Apply
    EXPECT_FALSE(E<QWidget>("sbZ")->isVisible());
    Click("bnApply");
    EXPECT_FALSE(E<QLabel>("llCompMsg")->isVisible());
    EXPECT_TRUE(E<QWidget>("sbZ")->isVisible());
    EXPECT_EQ(GridCell("sgZ", 0, 1), "-1");
    SetGridCell("sgZ", 1, 1, "4,5");   // "," is a decimal point too
    SetGridCell("sgZ", 2, 1, "30");
    Type("edConcInj", "1");
    Click("bbnAdd");
    ASSERT_EQ(Names(), (std::vector<std::string>{"Tris", "MES", "Analyte X"}));
    const TComponents& analyte = st().Composition[3];
    EXPECT_EQ(std::tuple(analyte.PKaOf(1, -1), analyte.UOf(1, -1), analyte.cInj), std::tuple(4.5, 30.0, 1.0));
    EXPECT_EQ(analyte.type, 0);   // no concentration along the capillary: an analyte

    // The panel: one row per constituent with its texts; arranged with the popup menu.
    ASSERT_EQ(panel->Table()->rowCount(), 3);
    EXPECT_EQ(std::tuple(Cell(2, 0), Cell(2, 1), Cell(2, 3), Cell(2, 4), Cell(2, 5), Cell(2, 8), Cell(2, 9)),
              std::tuple(QString("3"), QString("Analyte X"), QString("A"), QString("-1"), QString("0"), QString("4.5"),
                         QString("30")));
    EXPECT_EQ(Cell(0, 3), "B");
    Popup("MoveFirst1", 3);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Analyte X", "Tris", "MES"}));
    EXPECT_EQ(std::pair(Cell(0, 0), Cell(0, 1)), std::pair(QString("1"), QString("Analyte X")));
    Popup("MoveUp1", 1);   // the first row stays
    Popup("MoveLast1", 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Tris", "MES", "Analyte X"}));
    EXPECT_EQ(Cell(2, 1), "Analyte X");
    EXPECT_FALSE(Ctl<QPushButton>(w, "bnRestore")->isEnabled());

    // Init and a short run with the real engine.
    Ctl<QPushButton>(w, "bbnInit")->click();
    ASSERT_TRUE(st().Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_NEAR(st().Arr.PH[0], 8.08, 0.02);   // Tris-MES buffer
    st().StopTime = 0.01;
    Ctl<QPushButton>(w, "bbnStart")->click();
    ASSERT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_GT(st().StepCount, 0);

    // Focus on the analyte: the chart's vertical axis around its background (0 for an analyte).
    input.answers = {"0.5"};
    Popup("Focus1", 3);
    const QCPRange range = Ctl<ChartView>(w, "Graph")->yAxis->range();
    EXPECT_EQ(std::pair(range.lower, range.upper), std::pair(-0.5, 0.5));

    // Save the project and open it again: the same composition.
    const TUnivSet<TComponents> before = st().Composition;
    const std::string project = (home.path() / "buffer.sna").string();
    ASSERT_TRUE(SaveSnaFile(st(), project));
    w.New1Click();
    EXPECT_EQ(panel->Table()->rowCount(), 0);
    ASSERT_TRUE(w.OpenFile(project));
    ExpectSameComposition(st().Composition, before);
    EXPECT_EQ(panel->Table()->rowCount(), 3);
    EXPECT_EQ(Cell(1, 1), "MES");

    // The composition file group: Save, Delete All, Open in Set mode.
    const QString cmp = QString::fromStdString((home.path() / "only.cmp").string());
    panel->ChooseFile = [&](bool) { return cmp; };
    Ctl<QPushButton>(w, "bnSave")->click();
    ASSERT_TRUE(fs::exists(cmp.toStdString()));
    sink.answers = {true};
    Ctl<QPushButton>(w, "bnDeleteAll")->click();
    EXPECT_EQ(sink.questions.back(), "Are you sure to DELETE ALL constituents?\n");
    EXPECT_EQ(panel->Table()->rowCount(), 0);
    EXPECT_TRUE(Ctl<QPushButton>(w, "bnRestore")->isEnabled());   // changed since Init
    EXPECT_FALSE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());
    ASSERT_TRUE(Ctl<QRadioButton>(w, "rbSet")->isChecked());
    Ctl<QPushButton>(w, "bnLoad")->click();
    ExpectSameComposition(st().Composition, before);
    // Add mode keeps the list: nothing of the same names is added twice.
    Ctl<QRadioButton>(w, "rbAdd")->click();
    EXPECT_FALSE(st().rbSet);
    Ctl<QPushButton>(w, "bnLoad")->click();
    EXPECT_EQ(st().Composition.Count(), 3);
    // Restore brings back the list taken at Init.
    Ctl<QPushButton>(w, "bnRestore")->click();
    EXPECT_FALSE(st().CompChanged);
    EXPECT_TRUE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());

    // Opening a composition is refused while the engine is busy.
    st().Running = true;
    panel->bnLoadClick();
    st().Running = false;
    EXPECT_EQ(sink.messages, std::vector<std::string>{"START is active"});
}

TEST_F(CompositionWindow, EditorRefusesWithItsMessagesAndKeepsWhatWasTyped)
{
    Ctl<QPushButton>(w, "bbnAddComponent")->click();
    // Charge edits: the sign follows the edit, unreadable text a unit charge.
    const std::pair<const char*, const char*> charges[] = {{"2", "-2"}, {"-3", "-3"}, {"x", "-1"}};
    for (auto [typed, shown] : charges) {
        Type("edN", typed);
        EXPECT_EQ(E<QLineEdit>("edN")->text(), shown) << typed;
    }
    Type("edP", "-3");
    EXPECT_EQ(E<QLineEdit>("edP")->text(), "3");
    Click("bnCancel");   // back to the applied neutral shape
    EXPECT_EQ(std::pair(E<QLineEdit>("edN")->text(), E<QLineEdit>("edP")->text()), std::pair(QString("0"), QString("0")));
    EXPECT_TRUE(E<QLabel>("llComp")->isVisible());
    EXPECT_EQ(E<QLabel>("llComp")->text(), "Neutral Constituent");

    // Negative or unreadable concentrations are ignored; Esc shows the stored value again.
    Type("edConcentration", "5");
    Type("edConcentration", "-1");
    EXPECT_EQ(E<QLineEdit>("edConcentration")->text(), "5");
    QLineEdit* conc = E<QLineEdit>("edConcentration");
    conc->selectAll();
    QTest::keyClicks(conc, "77");
    QTest::keyClick(conc, Qt::Key_Escape);
    EXPECT_EQ(conc->text(), "5");
    EXPECT_EQ(editor->Model().WorkComp.c, 5.0);

    // The micelle constants show only in micellar mode; K is kept as -log10 K.
    EXPECT_FALSE(E<QLineEdit>("edMicApK")->isVisibleTo(editor));
    st().cbSDS = true;
    editor->RefreshEditor();
    ASSERT_TRUE(E<QLineEdit>("edMicApK")->isVisibleTo(editor));
    Type("edMicApK", "100");   // Enter hands the focus to Accept
    E<QLineEdit>("edMicApK")->setModified(true);
    editor->bnApplyClick();
    EXPECT_DOUBLE_EQ(editor->Model().WorkComp.pKMicA, -2.0);
    st().cbSDS = false;

    // A charged constituent with an unreadable grid cell: Accept stops on that cell.
    Type("edName", "Acid");
    Type("edN", "2");
    Click("bnApply");
    ASSERT_EQ(E<CellGrid>("sgZ")->rowCount(), 3);
    SetGridCell("sgZ", 1, 1, "3.1");
    SetGridCell("sgZ", 2, 1, "abc");
    Click("bbnAdd");
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(st().Composition.Count(), 0);
    EXPECT_EQ(std::pair(E<CellGrid>("sgZ")->currentRow(), E<CellGrid>("sgZ")->currentColumn()), std::pair(1, 2));
    EXPECT_EQ(GridCell("sgZ", 1, 1), "3.1");   // what was typed stays
    // Text still being typed (an edit not left, a cell editor open) is taken by Accept.
    QTest::keyClicks(E<QLineEdit>("edConcInj"), "12");
    CellGrid* sgZ = E<CellGrid>("sgZ");
    sgZ->editItem(sgZ->item(1, 2));
    auto* cellEditor = sgZ->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(cellEditor);
    cellEditor->setText("40");
    Click("bbnAdd");
    ASSERT_EQ(st().Composition.Count(), 1);
    EXPECT_EQ(st().Composition[1].PKaOf(1, -2), 3.1);
    EXPECT_EQ(st().Composition[1].UOf(1, -2), 40.0);
    EXPECT_EQ(st().Composition[1].cInj, 12.0);

    // Segments: an unreadable ratio is named by its column and the lengths become "-".
    Ctl<QPushButton>(w, "bbnAddComponent")->click();
    E<QCheckBox>("cbGradient")->click();
    Type("edZoneCount", "3");
    Click("bnApply");
    ASSERT_TRUE(E<QWidget>("sbC")->isVisible());
    EXPECT_FALSE(E<QLineEdit>("edConcentration")->isEnabled());
    const double third = st().CapLength * 1000 / 3;
    EXPECT_NEAR(GridCell("sgC", 1, 0).toDouble(), third, 1e-5);
    SetGridCell("sgC", 2, 1, "q");
    E<CellGrid>("sgC")->setFocus();
    QTest::keyClick(E<CellGrid>("sgC"), Qt::Key_Return);
    EXPECT_EQ(sink.warnings.back(), "Ratio Input Error: Incorrect Number Entry in Column No. 2");
    EXPECT_EQ(GridCell("sgC", 1, 0), "-");
    EXPECT_EQ(std::pair(E<CellGrid>("sgC")->currentRow(), E<CellGrid>("sgC")->currentColumn()), std::pair(1, 2));
    SetGridCell("sgC", 2, 1, "2");
    QTest::keyClick(E<CellGrid>("sgC"), Qt::Key_Return);
    EXPECT_NEAR(GridCell("sgC", 2, 0).toDouble(), st().CapLength * 1000 / 2, 1e-5);

    // Table questions: "Delete Table Data?" answered No keeps the table.
    editor->Model().WorkComp.AllocTable(4);
    editor->RefreshEditor();
    ASSERT_TRUE(E<QPushButton>("bnTable")->isEnabled());
    Click("bnTable");
    EXPECT_EQ(sink.questions.back(), "Delete Table Data?");
    EXPECT_EQ(editor->Model().WorkComp.tableCount, 4);
    sink.answers = {true};
    Click("bnTable");
    EXPECT_EQ(editor->Model().WorkComp.tableCount, 0);
    Click("bbnCancel");
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(st().Composition.Count(), 1);

    // A loaded record whose arrays were never built cannot be accepted.
    TComponents raw = TComponents::Uniform("Raw", 0, 1, {0, 5}, {0, 30}, 1, 1, 1);
    raw.mode = 0;
    st().Composition.Add(raw);
    Popup("Edit1", 2);
    ASSERT_TRUE(editor->isVisible());
    Click("bbnAdd");
    EXPECT_EQ(sink.warnings.back(), "Error: Arrays aren't initialized");
    Click("bbnCancel");

    // Edit through the input box: a row outside the list does nothing, the panel's double-click edits.
    input.answers = {"7"};
    Ctl<QPushButton>(w, "bnEdit")->click();
    EXPECT_FALSE(editor->isVisible());
    input.answers = {"1"};
    Ctl<QPushButton>(w, "bnEdit")->click();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(E<QLineEdit>("edName")->text(), "Acid");
    EXPECT_EQ(input.prompts.back(), "Edit Constituent|Input number of constituent: ");
    // Accepting the same name replaces the constituent in place.
    Type("edConcentration", "2");
    Click("bbnAdd");
    EXPECT_EQ(Names(), (std::vector<std::string>{"Acid", "Raw"}));
    EXPECT_EQ(st().Composition[1].c, 2.0);
    // Delete through the input box.
    input.answers = {"1"};
    Ctl<QPushButton>(w, "bnDelete")->click();
    EXPECT_EQ(input.prompts.back(), "Delete Constituent|Input row of constituent to DELETE");
    EXPECT_EQ(Names(), std::vector<std::string>{"Raw"});
    EXPECT_EQ(Cell(0, 0), "1");
}

TEST_F(CompositionWindow, ProteinFromItsSequenceGoesIntoTheEditorAndThePanel)
{
    Ctl<QPushButton>(w, "bbnAddComponent")->click();
    ProteinBuilderWindow* protein = editor->Protein();
    bool driven = false;
    QTimer::singleShot(0, protein, [&] {
        driven = true;
        Ctl<QPlainTextEdit>(*protein, "Input")->setPlainText("ACDEFGHIKL\nMNPQRSTVWY");
        EXPECT_EQ(Ctl<QLabel>(*protein, "llValid")->text(), "Valid characters x = 20");
        EXPECT_EQ(Ctl<QLineEdit>(*protein, "edGroups")->text(), "(A)C0D1E1H1K1R1Y1(Y)");   // every C bonded
        Ctl<QCheckBox>(*protein, "cbAllSS")->click();
        EXPECT_TRUE(Ctl<QLineEdit>(*protein, "edNSS")->isEnabled());
        EXPECT_EQ(Ctl<QLineEdit>(*protein, "edGroups")->text(), "(A)C1D1E1H1K1R1Y1(Y)");
        Ctl<QPushButton>(*protein, "bnOK")->click();
    });
    Click("bnAddProtein");
    ASSERT_TRUE(driven);
    EXPECT_FALSE(protein->isVisible());
    // Five acidic and four basic groups: charges -5..4, nine rows under the header.
    EXPECT_EQ(std::pair(E<QLineEdit>("edN")->text(), E<QLineEdit>("edP")->text()), std::pair(QString("-5"), QString("4")));
    ASSERT_EQ(E<CellGrid>("sgZ")->rowCount(), 10);
    // Highest pK at the most negative charge: R, K, Y side chains, A's amine, C's thiol,
    // H's imidazole, E and D carboxyls, Y's terminal carboxyl.
    const double pks[9] = {12.48, 10.53, 10.07, 9.87, 8.0, 6.1, 4.07, 3.86, 2.2};
    const int charges[9] = {-5, -4, -3, -2, -1, 1, 2, 3, 4};
    for (int r = 1; r <= 9; ++r) {
        EXPECT_EQ(GridCell("sgZ", 0, r).toInt(), charges[r - 1]);
        EXPECT_DOUBLE_EQ(GridCell("sgZ", 1, r).toDouble(), pks[r - 1]) << r;
        const double u = 30.0 / std::cbrt(20.0) * std::abs(charges[r - 1]) + 2.0;
        EXPECT_NEAR(GridCell("sgZ", 2, r).toDouble(), u, 1e-6 * u) << r;
    }
    Type("edName", "Peptide");
    Type("edConcInj", "0.1");
    Click("bbnAdd");
    ASSERT_EQ(Names(), std::vector<std::string>{"Peptide"});
    EXPECT_EQ(Cell(0, 8), "12.48; 10.53; 10.07; 9.87; 8; | 6.1; 4.07; 3.86; 2.2");

    // Cancel in the builder leaves the editor as it was.
    QTimer::singleShot(0, protein, [&] { Ctl<QPushButton>(*protein, "bnCancel")->click(); });
    Click("bnAddProtein");
    EXPECT_EQ(E<QLineEdit>("edN")->text(), "0");
}

TEST_F(CompositionWindow, AmpholineSeriesFromTheWizardsQuestions)
{
    QAction* wizard = Ctl<QAction>(w, "MultipleConstituents1");
    // Cancel in any box: nothing is created.
    input.answers = {"3", "Amph"};
    wizard->trigger();
    EXPECT_EQ(st().Composition.Count(), 0);
    EXPECT_EQ(input.defaults[1], "Amph");
    // A rejected count ends the wizard with its message.
    input.answers = {"abc"};
    wizard->trigger();
    EXPECT_EQ(sink.messages.back(), "Incorrect input. Action cancelled.");

    input.prompts.clear();
    input.answers = {"3", "Amph", "-1", "1", "4", "0.5", "-20", "9", "0.5", "25", "0.2"};
    sink.answers = {true};
    wizard->trigger();
    EXPECT_EQ(sink.questions.back(), "Continue and create new constituents?");
    const std::vector<std::string> prompts = {
        "Ampholines Wizard|Enter number of ampholines to create: ",
        "Ampholines Wizard|Enter unique prefix of ampholines: ",
        "Ampholines Wizard|Enter the most negative charge (Neg): ",
        "Ampholines Wizard|Enter the most positive charge (Pos): ",
        "Ampholines Wizard|Enter the lowest value of pK for charge -1: ",
        "Ampholines Wizard|Enter the difference (step) between two pK values for charge -1: ",
        "Ampholines Wizard|Enter mobility for charge -1: ",
        "Ampholines Wizard|Enter the lowest value of pK for charge 1: ",
        "Ampholines Wizard|Enter the difference (step) between two pK values for charge 1: ",
        "Ampholines Wizard|Enter mobility for charge 1: ",
        "Ampholines Wizard|Enter uniform concentration: "};
    EXPECT_EQ(input.prompts, prompts);
    ASSERT_EQ(Names(), (std::vector<std::string>{"Amph1", "Amph2", "Amph3"}));
    ASSERT_EQ(panel->Table()->rowCount(), 3);
    const char* pKa[3] = {"4; | 9", "4.5; | 9.5", "5; | 10"};
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(Cell(r, 8).toStdString(), pKa[r]);
        EXPECT_EQ(Cell(r, 9), "20; | 25");   // a negative mobility is stored as positive
        EXPECT_EQ(std::pair(Cell(r, 6), Cell(r, 7)), std::pair(QString("0.2"), QString("0")));
    }
    EXPECT_FALSE(st().CompChanged);
}

TEST_F(CompositionWindow, PanelWidthsFocusAndAmplitudes)
{
    QTableWidget* table = panel->Table();
    ASSERT_EQ(table->columnCount(), kPanelColumns);
    st().Composition.Add(TComponents::Uniform("A rather long constituent name", -1, 1, {3, 0, 9}, {20, 0, 25}, 1, 5, 5,
                                              0x123456));
    st().Composition.Add(TComponents::Uniform("Neutral", 0, 0, {0}, {0}, 0, 0, 1));
    w.UpdateButtons();   // the refresh of the main window rebuilds the changed table
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(std::pair(Cell(1, 8), Cell(1, 9)), std::pair(QString(" - "), QString(" - ")));
    EXPECT_EQ(table->item(0, 2)->background().color(), QColor(0x56, 0x34, 0x12));
    // Each column: the widest of header and cells + 8, then + 8; the colour column 16.
    const QFontMetrics m = table->fontMetrics();
    const int nameWidth = m.horizontalAdvance("A rather long constituent name") + 16;
    EXPECT_EQ(table->columnWidth(1), nameWidth);
    EXPECT_EQ(table->columnWidth(2), 16);
    EXPECT_EQ(table->columnWidth(0), m.horizontalAdvance("#") + 16);
    EXPECT_EQ(DialogFilter(kComponentFileFilter), "Component File (*.cmp);;All Files (*.*)");
    // Focus is refused while the list differs from the one taken at Init.
    st().CompChanged = true;
    Popup("Focus1", 1);
    EXPECT_EQ(sink.warnings.back(), "Constituents changed - press <INIT> or <RESTORE> to do this action!");
    EXPECT_TRUE(input.prompts.empty());
    st().CompChanged = false;
    input.answers = {"-2"};
    Popup("Focus1", 1);
    EXPECT_EQ(sink.warnings.back(), "Incorrect input!");
    Popup("Delete1", 1);
    EXPECT_EQ(Names(), std::vector<std::string>{"Neutral"});

    // The amplitudes window: invisible entry; settings clamped on Enter.
    QAction* amp = Ctl<QAction>(w, "Amp1");
    EXPECT_FALSE(amp->isVisible());
    auto* fmAmp = Ctl<AmplitudesWindow>(w, "fmAmp");
    fmAmp->show();
    QApplication::setActiveWindow(fmAmp);
    QLineEdit* digits = Ctl<QLineEdit>(*fmAmp, "edDigits");
    digits->setFocus();
    QTRY_VERIFY(digits->hasFocus());
    digits->selectAll();
    QTest::keyClicks(digits, "25");
    QTest::keyClick(digits, Qt::Key_Return);
    EXPECT_EQ(fmAmp->Settings().Digits, 18);
    EXPECT_EQ(digits->text(), "18");
    fmAmp->hide();
}

TEST(CompositionDatabase, ADamagedDatabaseIsReportedAndItsPanelHidden)
{
    ProgramHome home;
    // The program directory comes first: a file too short for its header part.
    {
        std::FILE* f = std::fopen((home.dir.path() / "Database.dbc").c_str(), "wb");
        std::fputs("KELVO", f);
        std::fputc(0, f);
        std::fclose(f);
    }
    RecordingMessageSink sink;
    MainWindow w;
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"DATABASE isn't accessible."});
    auto* editor = Ctl<ConstituentEditorWindow>(w, "fmAdd");
    EXPECT_FALSE(Ctl<QWidget>(*editor, "plDatabase")->isVisibleTo(editor));
    EXPECT_EQ(w.State().Database.Count(), 0);
    // The editor works without it.
    editor->Model().EditName("Na");
    editor->bnAddClick();
    EXPECT_EQ(w.State().Composition.Count(), 1);
}
