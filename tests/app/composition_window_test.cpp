// The composition windows driven through their controls: a buffer and an
// analyte built in the editor from the database and by typing, arranged in the
// panel, run, saved and opened again; the editor's refusals; a protein from
// its sequence; an ampholine series; the panel's popup menu and file group.
#include "qt_test_env.h"

#include "app/windows/composition_panel_view.h"
#include "app/windows/constituent_editor_window.h"
#include "app/windows/protein_window.h"
#include "composition/cmp_file.h"
#include "composition/composition_panel.h"
#include "files/sna_file.h"
#include "foundation/messages.h"
#include "support/recording_sink.h"

#include <cmath>
#include <fstream>

namespace {

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
    ProgramHome home;
    RecordingMessageSink sink;
    ScriptedInput input;
    MainWindow w;
    CompositionPanelView* panel = nullptr;
    ConstituentEditorWindow* editor = nullptr;

    RunState& st() { return w.State(); }
    template <class T>
    T* E(const char* name)
    {
        return Ctl<T>(*editor, name);
    }
    // Types into an editor edit and commits it with Enter.
    void Type(const char* edit, const QString& text)
    {
        QLineEdit* e = E<QLineEdit>(edit);
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    void Click(const char* button) { E<QPushButton>(button)->click(); }
    void MainClick(const char* button) { Ctl<QPushButton>(w, button)->click(); }
    // Picks a database entry with the button, or with Enter in the list.
    void Pick(const QString& name, bool byEnter)
    {
        auto* list = E<QTreeWidget>("lvDatabase");
        const auto found = list->findItems(name, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->setCurrentItem(found[0]);
        if (byEnter)
            QTest::keyClick(list, Qt::Key_Return);
        else
            Click("bnDbPick");
    }
    QString Cell(int row, int col) const { return panel->Table()->item(row, col)->text(); }
    CellGrid* Grid(const char* grid) { return E<CellGrid>(grid); }
    QString GridCell(const char* grid, int col, int row)
    {
        return Grid(grid)->item(row, col)->text();
    }
    void SetGridCell(const char* grid, int col, int row, const QString& text)
    {
        Grid(grid)->item(row, col)->setText(text);
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const auto* n = w.State().Composition.Head(); n; n = n->next)
            names.push_back(n->data.name);
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
        EXPECT_EQ(std::tuple(x.name, x.minCharge, x.maxCharge, x.colour, x.type, x.gradient, x.mode,
                             x.c, x.cInj),
                  std::tuple(y.name, y.minCharge, y.maxCharge, y.colour, y.type, y.gradient, y.mode,
                             y.c, y.cInj));
        for (int z = x.minCharge; z <= x.maxCharge; ++z)
            EXPECT_TRUE(z == 0 || std::pair(x.PKaOf(1, z), x.UOf(1, z)) ==
                                      std::pair(y.PKaOf(1, z), y.UOf(1, z)))
                << z;
    }
}

}  // namespace

TEST_F(CompositionWindow, BufferAndAnalyteBuiltInTheEditorRunAndComeBackFromTheProject)
{
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];  // the supplied database was read

    // Buffer: Tris and MES from the database, concentrations typed.
    for (auto [name, c] : {std::pair("Tris", "20"), std::pair("MES", "10")}) {
        MainClick("bbnAddComponent");
        ASSERT_TRUE(editor->isVisible());
        Pick(name, name == std::string("MES"));
        Type("edConcentration", c);
        Type("edConcInj", c);
        Click("bbnAdd");
        EXPECT_FALSE(editor->isVisible());
    }

    // Analyte typed: a weak acid, only in the injection zone.
    MainClick("bbnAddComponent");
    Type("edName", "Analyte X");
    Type("edN", "1");
    EXPECT_EQ(E<QLineEdit>("edN")->text(), "-1");
    EXPECT_FALSE(E<QWidget>("sbZ")->isVisible());  // pending shape: the grids wait for Apply
    Click("bnApply");
    EXPECT_EQ(GridCell("sgZ", 0, 1), "-1");
    SetGridCell("sgZ", 1, 1, "4,5");  // "," is a decimal point too
    SetGridCell("sgZ", 2, 1, "30");
    Type("edConcInj", "1");
    Click("bbnAdd");
    ASSERT_EQ(Names(), (std::vector<std::string>{"Tris", "MES", "Analyte X"}));
    const TComponents& analyte = st().Composition[3];
    EXPECT_EQ(std::tuple(analyte.PKaOf(1, -1), analyte.UOf(1, -1), analyte.cInj),
              std::tuple(4.5, 30.0, 1.0));
    EXPECT_EQ(analyte.type, 0);  // no concentration along the capillary: an analyte

    // The panel: one row per constituent; arranged with the popup menu.
    ASSERT_EQ(panel->Table()->rowCount(), 3);
    EXPECT_EQ(std::tuple(Cell(2, 1), Cell(2, 3), Cell(2, 8)),
              std::tuple(QString("Analyte X"), QString("A"), QString("4.5")));
    Popup("MoveFirst1", 3);
    Popup("MoveLast1", 1);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Tris", "MES", "Analyte X"}));
    EXPECT_FALSE(Ctl<QPushButton>(w, "bnRestore")->isEnabled());

    // Init and a short run with the real engine.
    MainClick("bbnInit");
    ASSERT_TRUE(st().Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_NEAR(st().Arr.PH[0], 8.08, 0.02);  // Tris-MES buffer
    st().StopTime = 0.01;
    MainClick("bbnStart");
    ASSERT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_GT(st().StepCount, 0);

    // Focus on the analyte: the chart's vertical axis around its background (0 for an analyte).
    input.answers = {"0.5"};
    Popup("Focus1", 3);
    EXPECT_EQ(Ctl<ChartView>(w, "Graph")->yAxis->range(), QCPRange(-0.5, 0.5));

    // Save the project and open it again: the same composition.
    const TUnivSet<TComponents> before = st().Composition;
    const std::string project = home.dir.file("buffer.sna");
    ASSERT_TRUE(SaveSnaFile(st(), project));
    w.New1Click();
    EXPECT_EQ(panel->Table()->rowCount(), 0);
    ASSERT_TRUE(w.OpenFile(project));
    ExpectSameComposition(st().Composition, before);

    // The composition file group: Save, Delete All, Open in Set mode.
    const QString cmp = QString::fromStdString(home.dir.file("only.cmp"));
    panel->ChooseFile = [&](bool) { return cmp; };
    MainClick("bnSave");
    ASSERT_TRUE(fs::exists(cmp.toStdString()));
    sink.answers = {true};
    MainClick("bnDeleteAll");
    EXPECT_EQ(sink.questions.back(), "Are you sure to DELETE ALL constituents?\n");
    EXPECT_EQ(panel->Table()->rowCount(), 0);
    EXPECT_TRUE(Ctl<QPushButton>(w, "bnRestore")->isEnabled());  // changed since Init
    EXPECT_FALSE(Ctl<QPushButton>(w, "bbnStart")->isEnabled());
    ASSERT_TRUE(Ctl<QRadioButton>(w, "rbSet")->isChecked());
    MainClick("bnLoad");
    ExpectSameComposition(st().Composition, before);
    // Restore brings back the list taken at Init.
    MainClick("bnRestore");
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
    MainClick("bbnAddComponent");
    // Negative or unreadable concentrations are ignored.
    Type("edConcentration", "5");
    Type("edConcentration", "-1");
    EXPECT_EQ(E<QLineEdit>("edConcentration")->text(), "5");
    EXPECT_EQ(editor->Model().WorkComp.c, 5.0);

    // A charged constituent with an unreadable grid cell: Accept stops on that cell.
    Type("edName", "Acid");
    Type("edN", "2");
    Click("bnApply");
    ASSERT_EQ(Grid("sgZ")->rowCount(), 3);
    SetGridCell("sgZ", 1, 1, "3.1");
    SetGridCell("sgZ", 2, 1, "abc");
    Click("bbnAdd");
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(st().Composition.Count(), 0);
    EXPECT_EQ(std::pair(Grid("sgZ")->currentRow(), Grid("sgZ")->currentColumn()), std::pair(1, 2));
    EXPECT_EQ(GridCell("sgZ", 1, 1), "3.1");  // what was typed stays
    // Text still being typed (an edit not left, a cell editor open) is taken by Accept.
    QTest::keyClicks(E<QLineEdit>("edConcInj"), "12");
    Grid("sgZ")->editItem(Grid("sgZ")->item(1, 2));
    auto* cellEditor = Grid("sgZ")->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(cellEditor);
    cellEditor->setText("40");
    Click("bbnAdd");
    ASSERT_EQ(st().Composition.Count(), 1);
    const TComponents& acid = st().Composition[1];
    EXPECT_EQ(std::tuple(acid.PKaOf(1, -2), acid.UOf(1, -2), acid.cInj),
              std::tuple(3.1, 40.0, 12.0));

    // "Delete Table Data?" answered No keeps the table.
    editor->Model().WorkComp.AllocTable(4);
    editor->RefreshEditor();
    Click("bnTable");
    EXPECT_EQ(sink.questions.back(), "Delete Table Data?");
    EXPECT_EQ(editor->Model().WorkComp.tableCount, 4);
    Click("bbnCancel");
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(st().Composition.Count(), 1);

    // Edit and Delete through the input box: a row outside the list does nothing.
    input.answers = {"7", "1"};
    MainClick("bnEdit");
    EXPECT_FALSE(editor->isVisible());
    MainClick("bnEdit");
    EXPECT_TRUE(editor->isVisible() && E<QLineEdit>("edName")->text() == "Acid");
    Click("bbnCancel");
    input.answers = {"7", "1"};
    MainClick("bnDelete");
    EXPECT_EQ(Names(), (std::vector<std::string>{"Acid"}));
    MainClick("bnDelete");
    EXPECT_TRUE(Names().empty());
}

TEST_F(CompositionWindow, ProteinFromItsSequenceGoesIntoTheEditorAndThePanel)
{
    MainClick("bbnAddComponent");
    ProteinBuilderWindow* protein = editor->Protein();
    QTimer::singleShot(0, protein, [&] {
        Ctl<QPlainTextEdit>(*protein, "Input")->setPlainText("ACDEFGHIKL\nMNPQRSTVWY");
        Ctl<QCheckBox>(*protein, "cbAllSS")->click();  // the thiol is free
        Ctl<QPushButton>(*protein, "bnOK")->click();
    });
    Click("bnAddProtein");
    EXPECT_FALSE(protein->isVisible());
    // Five acidic and four basic groups: charges -5..4.
    EXPECT_EQ(std::pair(E<QLineEdit>("edN")->text(), E<QLineEdit>("edP")->text()),
              std::pair(QString("-5"), QString("4")));
    Type("edName", "Peptide");
    Type("edConcInj", "0.1");
    Click("bbnAdd");
    ASSERT_EQ(Names(), std::vector<std::string>{"Peptide"});
    // Highest pK at the most negative charge: R, K, Y side chains, A's amine, C's thiol,
    // H's imidazole, E and D carboxyls, Y's terminal carboxyl.
    EXPECT_EQ(Cell(0, 8), "12.48; 10.53; 10.07; 9.87; 8; | 6.1; 4.07; 3.86; 2.2");

    // Cancel in the builder leaves the editor as it was.
    QTimer::singleShot(0, protein, [&] { Ctl<QPushButton>(*protein, "bnCancel")->click(); });
    Click("bnAddProtein");
    EXPECT_EQ(E<QLineEdit>("edN")->text(), "0");
}

// A protein of serum albumin's size (120 acidic, 81 basic groups) through the
// builder: it runs, its charge at the buffer's pH is the one of its pK ladder,
// and the project and its composition file open again. A chain with more groups
// than a constituent holds is refused by the builder with nothing built.
TEST_F(CompositionWindow, LargeProteinBuildsRunsAndOpensAgainAndALargerOneIsRefused)
{
    ProteinBuilderWindow* protein = editor->Protein();
    auto build = [&](const QString& sequence) {
        QTimer::singleShot(0, protein, [&, sequence] {
            Ctl<QPlainTextEdit>(*protein, "Input")->setPlainText(sequence);
            Ctl<QPushButton>(*protein, "bnOK")->click();
            if (protein->isVisible()) Ctl<QPushButton>(*protein, "bnCancel")->click();
        });
        Click("bnAddProtein");
    };
    const QString albumin = "M" + QString(40, 'D') + QString(60, 'E') + QString(19, 'Y') +
                            QString(50, 'K') + QString(20, 'R') + QString(10, 'H') +
                            QString(30, 'G');
    MainClick("bbnAddComponent");
    build(albumin);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_EQ(std::pair(E<QLineEdit>("edN")->text(), E<QLineEdit>("edP")->text()),
              std::pair(QString("-120"), QString("81")));
    Type("edName", "Albumin");
    Type("edConcentration", "0.05");
    Type("edConcInj", "0.05");
    Click("bbnAdd");
    ASSERT_EQ(Names(), std::vector<std::string>{"Albumin"});
    // A Tris-acetate buffer of pH about 8.
    st().Composition.Add(TComponents::Uniform("Tris", 0, 1, {0, 8.1}, {0, 29.5}, 1, 20, 20));
    st().Composition.Add(TComponents::Uniform("Acetate", -1, 0, {4.76, 0}, {42.4, 0}, 1, 10, 10));
    w.UpdateButtons();

    MainClick("bbnInit");
    ASSERT_TRUE(st().Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    st().StopTime = 0.002;
    MainClick("bbnStart");
    ASSERT_TRUE(sink.messages.empty()) << sink.messages[0];
    ASSERT_GT(st().StepCount, 0);
    // Mean charge of the protein at a node against its ladder of pKs solved
    // directly in logarithms: form z weighs beta_z cH^z, beta the product of
    // the constants K = 10^(3 - pK) mM of the steps from the neutral form.
    const TComponents& p = st().CompInit[1];
    EngineArrays& a = st().Arr;
    for (int node : {0, st().NX / 2}) {
        const long double lx = std::log10(static_cast<long double>(a.CH(2)[node]));
        std::vector<long double> lg(p.maxCharge - p.minCharge + 1);
        long double top = -1e300L;
        for (int z = p.minCharge; z <= p.maxCharge; ++z) {
            long double l = z * lx;
            for (int m = z; m <= -1; ++m) l += 3 - p.PKaOf(1, m);
            for (int m = 1; m <= z; ++m) l -= 3 - p.PKaOf(1, m);
            lg[z - p.minCharge] = l;
            top = std::max(top, l);
        }
        long double sw = 0, szw = 0;
        for (int z = p.minCharge; z <= p.maxCharge; ++z) {
            const long double wz = std::pow(10.0L, lg[z - p.minCharge] - top);
            sw += wz;
            szw += z * wz;
        }
        double c = 0, zc = 0;
        for (int z = p.minCharge; z <= p.maxCharge; ++z) {
            const double cz = a.CForm(2, 1, z - p.minCharge)[node];
            ASSERT_TRUE(std::isfinite(cz)) << z;
            c += cz;
            zc += z * cz;
        }
        EXPECT_NEAR(c, 0.05, 1e-9) << node;
        EXPECT_NEAR(zc / c, static_cast<double>(szw / sw), 1e-6) << node;
        EXPECT_LT(zc / c, -5.0) << node;  // above its isoelectric point: an anion
    }

    // Saved with the project and opened again; its composition file alone too.
    const std::string project = home.dir.file("albumin.sna");
    ASSERT_TRUE(SaveSnaFile(st(), project));
    w.New1Click();
    ASSERT_TRUE(w.OpenFile(project)) << (sink.warnings.empty() ? "" : sink.warnings.back());
    ASSERT_EQ(Names(), (std::vector<std::string>{"Albumin", "Tris", "Acetate"}));
    EXPECT_EQ(std::pair(st().Composition[1].minCharge, st().Composition[1].maxCharge),
              std::pair(-120, 81));
    TUnivSet<TComponents> list;
    EXPECT_TRUE(LoadCompositionFile(home.dir.file("albumin.cmp"), list));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];

    // Beyond what a constituent holds: the builder says so and the editor keeps its record.
    MainClick("bbnAddComponent");
    Type("edName", "Kept");
    build("M" + QString(kMaxChargeMagnitude, 'E'));
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0],
              ProteinTooManyGroupsText(kMaxChargeMagnitude + 1, 1, kMaxChargeMagnitude));
    EXPECT_EQ(std::tuple(E<QLineEdit>("edName")->text(), E<QLineEdit>("edN")->text(),
                         E<QLineEdit>("edP")->text()),
              std::tuple(QString("Kept"), QString("0"), QString("0")));
    EXPECT_FALSE(protein->isVisible());
    // More basic groups than a constituent holds (the lysines and the N-terminus).
    sink.Clear();
    build("M" + QString(kMaxChargeMagnitude, 'K'));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{ProteinTooManyGroupsText(
                                 1, kMaxChargeMagnitude + 1, kMaxChargeMagnitude)});
    EXPECT_EQ(std::pair(E<QLineEdit>("edN")->text(), E<QLineEdit>("edP")->text()),
              std::pair(QString("0"), QString("0")));
    // The ampholines wizard makes the same widest charges and no wider.
    Click("bbnCancel");
    input.answers = {"1", "Wide", std::to_string(-kMaxChargeMagnitude - 1)};
    Ctl<QAction>(w, "MultipleConstituents1")->trigger();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Incorrect input. Action cancelled."});
    input.answers = {"1", "Wide", std::to_string(-kMaxChargeMagnitude), "0"};
    for (int z = -kMaxChargeMagnitude; z < 0; ++z)
        input.answers.insert(input.answers.end(), {"9", "0", "20"});
    input.answers.push_back("0.1");
    sink.answers = {true};
    Ctl<QAction>(w, "MultipleConstituents1")->trigger();
    EXPECT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(st().Composition[st().Composition.Count()].minCharge, -kMaxChargeMagnitude);
}

TEST_F(CompositionWindow, AmpholineSeriesFromTheWizardsQuestions)
{
    // The series' rules and refusals are tested beside the wizard; here its boxes reach it.
    QAction* wizard = Ctl<QAction>(w, "MultipleConstituents1");
    // Count, prefix, charges -1..1, lowest pK, step and mobility per charge, concentration.
    input.answers = {"3", "Amph", "-1", "1", "4", "0.5", "-20", "9", "0.5", "25", "0.2"};
    sink.answers = {true};
    wizard->trigger();
    EXPECT_EQ(sink.questions.back(), "Continue and create new constituents?");
    ASSERT_EQ(Names(), (std::vector<std::string>{"Amph1", "Amph2", "Amph3"}));
    EXPECT_EQ(std::pair(Cell(2, 8), Cell(2, 9)),
              std::pair(QString("5; | 10"), QString("20; | 25")));
}

TEST_F(CompositionWindow, PanelRowsAndFocusRefusals)
{
    st().Composition.Add(
        TComponents::Uniform("Acid", -1, 1, {3, 0, 9}, {20, 0, 25}, 1, 5, 5, 0x123456));
    st().Composition.Add(TComponents::Uniform("Neutral", 0, 0, {0}, {0}, 0, 0, 1));
    w.UpdateButtons();  // the refresh of the main window rebuilds the changed table
    ASSERT_EQ(panel->Table()->rowCount(), 2);
    EXPECT_EQ(panel->Table()->item(0, 2)->background().color(), QColor(0x56, 0x34, 0x12));
    // Focus is refused while the list differs from the one taken at Init.
    st().CompChanged = true;
    Popup("Focus1", 1);
    EXPECT_EQ(sink.warnings.back(),
              "Constituents changed - press <INIT> or <RESTORE> to do this action!");
    EXPECT_TRUE(input.prompts.empty());
    st().CompChanged = false;
    input.answers = {"-2"};
    Popup("Focus1", 1);
    EXPECT_EQ(sink.warnings.back(), "Incorrect input!");
    Popup("Delete1", 1);
    EXPECT_EQ(Names(), std::vector<std::string>{"Neutral"});
}

// Row 1 takes the ligand's charges of the complexation table only in
// complexation mode; a list beyond the panel's rows warns once per count, not
// at every refresh; the amplitudes window keeps its width meter.
TEST_F(CompositionWindow, PanelShowsTheLigandOnlyInComplexModeAndWarnsOncePerCount)
{
    st().Composition.Add(TComponents::Uniform("Tris", 0, 1, {0, 8.1}, {0, 29.5}, 1, 20, 20));
    st().Composition.Add(TComponents::Uniform("Acid", -1, 0, {4.0, 0}, {30, 0}, 0, 0, 1));
    st().TxtTable = {{"-1", "0"}, {"None"}, {"20"}, {"14", "362.5", "205.5"}, {"1"}};
    st().cbComplex = false;
    w.UpdateButtons();
    EXPECT_EQ(std::tuple(Cell(0, 0), Cell(0, 4), Cell(0, 5)),
              std::tuple(QString("1"), QString("0"), QString("1")));
    st().cbComplex = true;
    w.UpdateButtons();
    EXPECT_EQ(std::tuple(Cell(0, 0), Cell(0, 4), Cell(0, 5)),
              std::tuple(QString("L"), QString("-1"), QString("0")));
    st().cbComplex = false;
    w.UpdateButtons();
    EXPECT_EQ(std::pair(Cell(0, 4), Cell(0, 5)), std::pair(QString("0"), QString("1")));

    sink.Clear();
    while (st().Composition.Count() <= kPanelMaxRows)
        st().Composition.Add(TComponents::Uniform("X" + std::to_string(st().Composition.Count()), 0,
                                                  0, {0}, {0}, 0, 0, 1));
    for (int refresh = 0; refresh < 3; ++refresh) w.UpdateButtons();
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0].rfind(
                  "Number of constituents is greater than internal constant = 2048", 0),
              0u);
    EXPECT_EQ(panel->Table()->rowCount(), 2);  // the panel keeps what it showed
    st().Composition.Add(TComponents::Uniform("One more", 0, 0, {0}, {0}, 0, 0, 1));
    w.UpdateButtons();
    w.UpdateButtons();
    EXPECT_EQ(sink.warnings.size(), 2u);

    auto* meter = Ctl<QLabel>(w, "llAmp");
    EXPECT_EQ(meter->text(), "To Get Text Width in Pts");
    EXPECT_FALSE(meter->isVisibleTo(meter->window()));
}

TEST(CompositionDatabase, ADamagedDatabaseIsReportedAndItsPanelHidden)
{
    ProgramHome home;
    // The program directory comes first: a file too short for its header part.
    std::ofstream(home.dir.file("Database.dbc"), std::ios::binary).write("KELVO", 6);
    RecordingMessageSink sink;
    MainWindow w;
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"DATABASE isn't accessible."});
    auto* editor = Ctl<ConstituentEditorWindow>(w, "fmAdd");
    EXPECT_FALSE(Ctl<QWidget>(*editor, "plDatabase")->isVisibleTo(editor));
    EXPECT_EQ(w.State().Database.Count(), 0);
}
