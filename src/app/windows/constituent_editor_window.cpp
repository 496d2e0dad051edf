#include "app/windows/constituent_editor_window.h"

#include "app/kit/edit_committer.h"
#include "app/kit/qt_convert.h"
#include "app/kit/qt_dialogs.h"
#include "app/windows/protein_window.h"
#include "composition/database.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Sets an edit's text unless the user is typing into it.
void ShowText(QLineEdit* edit, const std::string& text)
{
    if (edit->hasFocus() && edit->isModified()) return;
    edit->setText(Q(text));
    edit->setModified(false);
}

// Key handling of the grids: Enter and Esc when no cell is being edited, and
// leaving the grid.
class GridKeys : public QObject {
public:
    GridKeys(CellGrid* grid, std::function<void()> enter, std::function<void()> escape,
             std::function<void()> leave)
        : QObject(grid),
          grid_(grid),
          enter_(std::move(enter)),
          escape_(std::move(escape)),
          leave_(std::move(leave))
    {
        grid->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && !grid_->Editing()) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && enter_) {
                Guarded(enter_);
                return true;
            }
            if (key == Qt::Key_Escape && escape_) {
                Guarded(escape_);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut && leave_) {
            // Leaving for the grid's own cell editor is not leaving the grid.
            QTimer::singleShot(0, grid_, [this] {
                QWidget* f = QApplication::focusWidget();
                if (f && (f == grid_ || grid_->isAncestorOf(f))) return;
                Guarded(leave_);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    CellGrid* grid_;
    std::function<void()> enter_, escape_, leave_;
};

}  // namespace

// ===== CellGrid =====================================================================

CellGrid::CellGrid(QWidget* parent) : QTableWidget(parent)
{
    horizontalHeader()->setVisible(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setDefaultSectionSize(72);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling || !onCellEdited) return;
        Guarded([&] { onCellEdited(item->column(), item->row(), item->text()); });
    });
}

void CellGrid::Show(const StringGrid& grid)
{
    filling = true;
    setColumnCount(grid.ColCount());
    setRowCount(grid.RowCount());
    const QColor fixed = palette().color(QPalette::Button);
    for (int r = 0; r < grid.RowCount(); ++r)
        for (int col = 0; col < grid.ColCount(); ++col) {
            auto* item = new QTableWidgetItem(Q(grid.Cell(col, r)));
            if (r == 0 || col == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(fixed);
            }
            setItem(r, col, item);
        }
    filling = false;
}

void CellGrid::FinishEdit()
{
    if (!Editing()) return;
    // The open cell editor is the viewport's one child widget.
    QWidget* editor = indexWidget(currentIndex());
    if (!editor)
        for (QWidget* child : viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible()) editor = child;
    if (!editor) return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void CellGrid::FocusCell(int col, int row)
{
    setCurrentCell(row, col);
    setFocus(Qt::OtherFocusReason);
}

// ===== the window ===================================================================

ConstituentEditorWindow::ConstituentEditorWindow(RunState& st, QWidget* parent)
    : QDialog(parent), StateWindow(this), st_(st), model_(st)
{
    setObjectName("fmAdd");
    setWindowTitle("Add Constituent");
    setModal(true);
    BuildWindow();
    BindControls();
    protein_ = new ProteinBuilderWindow(model_, this);
    st_.FormCreated[0] = true;
    FillDatabaseList();
    ShowGrids();
    RefreshEditor();
}

ConstituentEditorWindow::~ConstituentEditorWindow()
{
    DropEditCommitters(this);
}

void ConstituentEditorWindow::BuildWindow()
{
    auto* outer = new QVBoxLayout(this);
    auto* plNew = new QGroupBox;
    auto* grid = new QGridLayout(plNew);
    auto edit = [&](QLineEdit*& e, const char* caption, const char* hint, int row, int col,
                    QLabel** label = nullptr) {
        auto* l = new QLabel(caption);
        e = new QLineEdit;
        e->setToolTip(hint);
        grid->addWidget(l, row, col);
        grid->addWidget(e, row + 1, col);
        if (label) *label = l;
    };
    edit(c_.edName, "Name", "Constituent name (unique identifier)", 0, 0);
    edit(c_.edConcentration, "Concentration [mM]",
         "Concentration outside of injection zone when Type property is applied", 0, 1);
    edit(c_.edConcInj, "C(Injection) [mM]",
         "Concentration inside of injection zone when Type property is applied", 0, 2);
    edit(c_.edN, "Neg", "the most negative charge of constituent form", 0, 3);
    edit(c_.edP, "Pos", "the most positive charge of constituent form", 0, 4);
    edit(c_.edColor, "Colour", "Colour of profile in Graph", 2, 0);
    c_.bbnColor = new QPushButton("...");
    c_.bbnColor->setToolTip("Define own colour");
    grid->addWidget(c_.bbnColor, 3, 1, Qt::AlignLeft);
    c_.cbType = new QComboBox;
    c_.cbType->addItems({"Analyte", "BGE", "Leading", "Terminating"});
    grid->addWidget(new QLabel("Type"), 2, 2);
    grid->addWidget(c_.cbType, 3, 2);
    edit(c_.edMicA, "u(mic-A) [1e-9]", "", 2, 3, &c_.llMicA);
    edit(c_.edMicApK, "K(mic-A) (M-1)", "", 2, 4, &c_.llMicApK);
    outer->addWidget(plNew);

    auto* gbSegments = new QGroupBox("Advanced Setup (Segments)");
    auto* seg = new QHBoxLayout(gbSegments);
    c_.cbGradient = new QCheckBox("concentration");
    c_.cbGradPKa = new QCheckBox("pKa");
    c_.cbGradU = new QCheckBox("mobility");
    c_.edZoneCount = new QLineEdit;
    c_.edZoneCount->setToolTip("Number of segments");
    c_.edZoneCount->setMaximumWidth(60);
    seg->addWidget(c_.cbGradient);
    seg->addWidget(c_.cbGradPKa);
    seg->addWidget(c_.cbGradU);
    seg->addWidget(new QLabel("No. of Segments"));
    seg->addWidget(c_.edZoneCount);
    c_.cbTemplate = new QComboBox;
    c_.cbTemplate->setToolTip("Use segmentation of previously created constituents");
    seg->addWidget(c_.cbTemplate, 1);
    c_.bnApplyToAll = new QPushButton("All");
    seg->addWidget(c_.bnApplyToAll);
    outer->addWidget(gbSegments);

    // The grids (scComponents), or the message while the shape is pending.
    auto* scbComponents = new QWidget;
    auto* grids = new QVBoxLayout(scbComponents);
    c_.sbC = new QWidget;
    c_.sgC = new CellGrid;
    (new QVBoxLayout(c_.sbC))->addWidget(c_.sgC);
    c_.sbZ = new QWidget;
    c_.sgZ = new CellGrid;
    (new QVBoxLayout(c_.sbZ))->addWidget(c_.sgZ);
    c_.sgC->setMaximumHeight(4 * (fontMetrics().height() + 8));
    c_.llComp = new QLabel(kNeutralConstituent);
    c_.llCompMsg = new QLabel(kApplyMessage);
    c_.llCompMsg->setAlignment(Qt::AlignCenter);
    for (QWidget* w : std::initializer_list<QWidget*>{c_.sbC, c_.sbZ, c_.llComp, c_.llCompMsg})
        grids->addWidget(w);
    grids->addStretch();
    outer->addWidget(scbComponents, 1);

    auto* buttons = new QHBoxLayout;
    c_.bnApply = new QPushButton("Apply");
    c_.bnCancel = new QPushButton("Cancel");
    c_.bnClear = new QPushButton("Clear");
    c_.bnTable = new QPushButton("Delete Table");
    c_.bnTable->setToolTip("Delete data in table (initial distribution of constituent)");
    c_.bnDelAllTables = new QPushButton("Del All Tables");
    c_.bnAddProtein = new QPushButton("Add Protein");
    c_.bbnAdd = new QPushButton("Accept");
    c_.bbnCancel = new QPushButton("Cancel");
    for (QPushButton* b :
         {c_.bnApply, c_.bnCancel, c_.bnClear, c_.bnTable, c_.bnDelAllTables, c_.bnAddProtein})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(c_.bbnAdd);
    buttons->addWidget(c_.bbnCancel);
    outer->addLayout(buttons);

    auto* plDatabase = new QGroupBox("Database of Constituents");
    c_.plDatabase = plDatabase;
    auto* db = new QVBoxLayout(plDatabase);
    c_.lvDatabase = new QTreeWidget;
    c_.lvDatabase->setToolTip("Database of constituents");
    c_.lvDatabase->setRootIsDecorated(false);
    c_.lvDatabase->setSelectionBehavior(QAbstractItemView::SelectRows);
    c_.lvDatabase->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c_.lvDatabase->setHeaderLabels({"name", "n", "p", "pKa", "u"});
    c_.lvDatabase->header()->setSectionsClickable(false);
    const int widths[] = {250, 24, 24, 180, 180};
    for (int i = 0; i < 5; ++i) c_.lvDatabase->setColumnWidth(i, widths[i]);
    db->addWidget(c_.lvDatabase);
    auto* dbButtons = new QHBoxLayout;
    c_.bnDbPick = new QPushButton("Pick from Database");
    c_.bnDbEdit = new QPushButton("Edit");
    c_.bnDbEdit->setEnabled(false);
    c_.bnDbEdit->setVisible(false);
    dbButtons->addWidget(c_.bnDbPick);
    dbButtons->addWidget(c_.bnDbEdit);
    dbButtons->addStretch();
    db->addLayout(dbButtons);
    outer->addWidget(plDatabase, 1);

    // Enter and Esc belong to the controls, never to a default button.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    const std::pair<QObject*, const char*> names[] = {{c_.edName, "edName"},
                                                      {c_.edConcentration, "edConcentration"},
                                                      {c_.edConcInj, "edConcInj"},
                                                      {c_.edN, "edN"},
                                                      {c_.edP, "edP"},
                                                      {c_.edColor, "edColor"},
                                                      {c_.bbnColor, "bbnColor"},
                                                      {c_.cbType, "cbType"},
                                                      {c_.edZoneCount, "edZoneCount"},
                                                      {c_.cbGradient, "cbGradient"},
                                                      {c_.cbGradPKa, "cbGradPKa"},
                                                      {c_.cbGradU, "cbGradU"},
                                                      {c_.edMicA, "edMicA"},
                                                      {c_.edMicApK, "edMicApK"},
                                                      {c_.sbZ, "sbZ"},
                                                      {c_.sbC, "sbC"},
                                                      {c_.sgZ, "sgZ"},
                                                      {c_.sgC, "sgC"},
                                                      {c_.llComp, "llComp"},
                                                      {c_.llCompMsg, "llCompMsg"},
                                                      {c_.cbTemplate, "cbTemplate"},
                                                      {c_.bnTable, "bnTable"},
                                                      {c_.bnApplyToAll, "bnApplyToAll"},
                                                      {c_.bnDelAllTables, "bnDelAllTables"},
                                                      {c_.bnApply, "bnApply"},
                                                      {c_.bnCancel, "bnCancel"},
                                                      {c_.bnClear, "bnClear"},
                                                      {c_.bbnAdd, "bbnAdd"},
                                                      {c_.bbnCancel, "bbnCancel"},
                                                      {c_.bnAddProtein, "bnAddProtein"},
                                                      {c_.plDatabase, "plDatabase"},
                                                      {c_.lvDatabase, "lvDatabase"},
                                                      {c_.bnDbPick, "bnDbPick"},
                                                      {c_.bnDbEdit, "bnDbEdit"},
                                                      {plNew, "plNew"}};
    for (auto [w, name] : names) w->setObjectName(name);
    resize(820, 760);
}

void ConstituentEditorWindow::BindControls()
{
    ConstituentEditor& m = model_;
    // An edit commits on leaving; Enter commits and keeps the focus; Esc shows
    // the stored value again and keeps the focus.
    auto bind = [this](QLineEdit* edit, std::function<void(const std::string&)> commit,
                       bool toAccept) {
        auto exit = [this, edit, commit] {
            if (!edit->isModified()) return;
            edit->setModified(false);
            commit(edit->text().toStdString());
            RefreshEditor();
        };
        commits_.emplace_back(edit, exit);
        auto* c = new EditCommitter(edit, exit);
        if (toAccept) {
            // The micelle edits hand the focus to Accept, which commits them.
            c->onEnter = [this] { c_.bbnAdd->setFocus(Qt::OtherFocusReason); };
            c->onEscape = [this, edit] {
                if (edit->hasFocus()) c_.bbnAdd->setFocus(Qt::OtherFocusReason);
                RefreshEditor();
            };
            return;
        }
        c->onEnter = [this, edit, commit] {
            edit->setModified(false);
            commit(edit->text().toStdString());
            RefreshEditor();
            edit->selectAll();
        };
        c->onEscape = [this, edit] {
            edit->setModified(false);
            RefreshEditor();
            edit->selectAll();
        };
    };
    bind(
        c_.edName, [&m](const std::string& t) { m.EditName(t); }, false);
    bind(
        c_.edConcentration, [&m](const std::string& t) { m.EditConcentration(t); }, false);
    bind(
        c_.edConcInj, [&m](const std::string& t) { m.EditConcInj(t); }, false);
    bind(
        c_.edN, [&m](const std::string& t) { m.EditMinChargeText(t); }, false);
    bind(
        c_.edP, [&m](const std::string& t) { m.EditMaxChargeText(t); }, false);
    bind(
        c_.edColor, [&m](const std::string& t) { m.EditColour(t); }, false);
    bind(
        c_.edZoneCount, [&m](const std::string& t) { m.EditZoneCount(t); }, false);
    bind(
        c_.edMicA, [&m](const std::string& t) { m.EditMicA(t); }, true);
    bind(
        c_.edMicApK, [&m](const std::string& t) { m.EditMicApK(t); }, true);

    auto after = [this] { RefreshEditor(); };
    OnSignal(c_.cbType, &QComboBox::activated, [this, &m](int i) {
        m.SetType(i);
        RefreshEditor();
    });
    OnSignal(c_.cbGradient, &QCheckBox::clicked, [this, &m](bool on) {
        m.SetGradient(on);
        RefreshEditor();
    });
    OnSignal(c_.cbGradPKa, &QCheckBox::clicked, [this, &m](bool on) {
        m.SetGradPKa(on);
        RefreshEditor();
    });
    OnSignal(c_.cbGradU, &QCheckBox::clicked, [this, &m](bool on) {
        m.SetGradU(on);
        RefreshEditor();
    });
    OnSignal(c_.bbnColor, &QPushButton::clicked, [this, &m] {
        const QColor chosen =
            QColorDialog::getColor(ColourFromBGR(static_cast<TColor>(m.WorkComp.colour)), this);
        if (!chosen.isValid()) return;
        m.SetColour(static_cast<TColor>(chosen.red()) | static_cast<TColor>(chosen.green()) << 8 |
                    static_cast<TColor>(chosen.blue()) << 16);
        RefreshEditor();
    });

    c_.sgZ->onCellEdited = [&m](int col, int row, const QString& text) {
        m.SetZCell(col, row, text.toStdString());
    };
    c_.sgC->onCellEdited = [&m](int col, int row, const QString& text) {
        m.SetCCell(col, row, text.toStdString());
    };
    auto lengths = [this, &m] {
        c_.sgC->FinishEdit();
        const bool ok = m.RatiosToLengths();
        ShowGrids();
        if (!ok) FocusSelection();
    };
    new GridKeys(
        c_.sgC, lengths, [this] { c_.bbnAdd->setFocus(Qt::OtherFocusReason); }, lengths);

    OnSignal(c_.bnApply, &QPushButton::clicked, [this] { bnApplyClick(); });
    OnSignal(c_.bnCancel, &QPushButton::clicked, [this] { bnCancelClick(); });
    OnSignal(c_.bnClear, &QPushButton::clicked, [this] { bnClearClick(); });
    OnSignal(c_.bbnAdd, &QPushButton::clicked, [this] { bnAddClick(); });
    OnSignal(c_.bbnCancel, &QPushButton::clicked, [this] { reject(); });
    OnSignal(c_.bnAddProtein, &QPushButton::clicked, [this] { bnAddProteinClick(); });
    OnSignal(c_.bnTable, &QPushButton::clicked, [this, &m, after] {
        m.DeleteTable();
        after();
    });
    OnSignal(c_.bnDelAllTables, &QPushButton::clicked, [this, &m, after] {
        m.DeleteAllTables();
        after();
    });
    OnSignal(c_.bnApplyToAll, &QPushButton::clicked, [this, &m] {
        FinishGridEdits();
        m.ApplyToAll();
        ShowGrids();
        AfterListChange();
    });
    OnSignal(c_.cbTemplate, &QComboBox::activated, [this, &m](int item) {
        if (item < 1) return;
        FinishGridEdits();
        m.ChooseTemplate(item);
        ShowGrids();
        RefreshEditor();
    });
    OnSignal(c_.bnDbPick, &QPushButton::clicked, [this] { bnDbPickClick(); });
    OnSignal(c_.lvDatabase, &QTreeWidget::itemDoubleClicked, [this] { bnDbPickClick(); });
    // Enter in the list picks the entry.
    class ListEnter : public QObject {
    public:
        ListEnter(QObject* parent, std::function<void()> pick)
            : QObject(parent), pick_(std::move(pick))
        {
        }
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                    Guarded(pick_);
                    return true;
                }
            }
            return QObject::eventFilter(watched, event);
        }

    private:
        std::function<void()> pick_;
    };
    c_.lvDatabase->installEventFilter(new ListEnter(c_.lvDatabase, [this] { bnDbPickClick(); }));
}

void ConstituentEditorWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FillTemplates();
    RefreshEditor();
}

void ConstituentEditorWindow::OpenDatabase(const std::string& fileName)
{
    model_.OpenDatabase(fileName);
    c_.plDatabase->setVisible(model_.DatabaseAvailable);
    FillDatabaseList();
}

void ConstituentEditorWindow::FillDatabaseList()
{
    c_.lvDatabase->clear();
    QList<QTreeWidgetItem*> items;
    for (const auto* n = st_.Database.Head(); n; n = n->next) {
        const DatabaseRowTexts t = DatabaseRow(n->data);
        items.append(new QTreeWidgetItem(QStringList{Q(t.name), Q(t.n), Q(t.p), Q(t.pKa), Q(t.u)}));
    }
    c_.lvDatabase->addTopLevelItems(items);
    c_.plDatabase->setVisible(model_.DatabaseAvailable);
}

void ConstituentEditorWindow::FillTemplates()
{
    QSignalBlocker block(c_.cbTemplate);
    c_.cbTemplate->clear();
    for (const std::string& item : model_.TemplateItems()) c_.cbTemplate->addItem(Q(item));
    c_.cbTemplate->setCurrentIndex(0);
}

void ConstituentEditorWindow::ShowGrids()
{
    c_.sgZ->Show(model_.sgZ);
    c_.sgC->Show(model_.sgC);
}

void ConstituentEditorWindow::RefreshEditor()
{
    if (refreshing_) return;
    refreshing_ = true;
    if (environment) model_.Env = environment();
    model_.Refresh();
    const EditorView& v = model_.View();
    ShowText(c_.edName, v.name);
    ShowText(c_.edColor, v.colour);
    const QColor back = ColourFromBGR(v.colourBack), text = ColourFromBGR(v.colourText);
    c_.edColor->setStyleSheet(
        QString("background-color: %1; color: %2").arg(back.name(), text.name()));
    ShowText(c_.edConcentration, v.concentration);
    ShowText(c_.edConcInj, v.concInj);
    ShowText(c_.edMicA, v.micA);
    ShowText(c_.edMicApK, v.micApK);
    ShowText(c_.edN, v.minCharge);
    ShowText(c_.edP, v.maxCharge);
    ShowText(c_.edZoneCount, v.zoneCount);
    {
        QSignalBlocker b1(c_.cbType), b2(c_.cbGradient), b3(c_.cbGradPKa), b4(c_.cbGradU);
        c_.cbType->setCurrentIndex(v.type);
        c_.cbGradient->setChecked(v.gradient);
        c_.cbGradPKa->setChecked(v.gradPKa);
        c_.cbGradU->setChecked(v.gradU);
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{c_.edMicA, c_.edMicApK, c_.llMicA, c_.llMicApK})
        w->setVisible(v.micVisible);
    c_.bnTable->setEnabled(v.tableEnabled);
    c_.bnTable->setVisible(v.tableVisible);
    for (QWidget* w : std::initializer_list<QWidget*>{c_.edZoneCount, c_.cbGradPKa, c_.cbGradU})
        w->setEnabled(v.segmentBoxesEnabled);
    for (QWidget* w : std::initializer_list<QWidget*>{c_.edConcentration, c_.edConcInj, c_.cbType})
        w->setEnabled(v.concEnabled);
    c_.sbZ->setVisible(v.showZ);
    c_.sbC->setVisible(v.showC);
    c_.llComp->setVisible(v.showNeutral);
    c_.llCompMsg->setVisible(v.showMessage);
    c_.bnDelAllTables->setVisible(v.delAllTablesVisible);
    c_.bnApply->setEnabled(v.applyEnabled);
    c_.bnCancel->setEnabled(v.cancelEnabled);
    refreshing_ = false;
    if (onRefreshed) onRefreshed();
}

void ConstituentEditorWindow::CommitTyping()
{
    for (auto& [edit, exit] : commits_)
        if (edit->isModified()) exit();
    FinishGridEdits();
}

void ConstituentEditorWindow::FinishGridEdits()
{
    c_.sgZ->FinishEdit();
    c_.sgC->FinishEdit();
}

void ConstituentEditorWindow::FocusSelection()
{
    const GridSelection& s = model_.Selection;
    if (s.grid == GridSelection::Z)
        c_.sgZ->FocusCell(s.col, s.row);
    else if (s.grid == GridSelection::C)
        c_.sgC->FocusCell(s.col, s.row);
}

void ConstituentEditorWindow::AfterListChange()
{
    if (onCompositionChanged) onCompositionChanged();
    RefreshEditor();
}

void ConstituentEditorWindow::bnApplyClick()
{
    CommitTyping();
    model_.Apply();
    ShowGrids();
    RefreshEditor();
}

void ConstituentEditorWindow::bnCancelClick()
{
    CommitTyping();
    model_.Cancel();
    RefreshEditor();
}

void ConstituentEditorWindow::bnClearClick()
{
    model_.Clear();
    ShowGrids();
    RefreshEditor();
}

void ConstituentEditorWindow::bnAddClick()
{
    CommitTyping();
    if (!model_.Accept()) {
        ShowGrids();  // the normalised cell texts
        FocusSelection();
        return;
    }
    ShowGrids();
    AfterListChange();
    FillTemplates();
    accept();
}

void ConstituentEditorWindow::bnDbPickClick()
{
    QTreeWidgetItem* item = c_.lvDatabase->currentItem();
    if (!item || !item->isSelected()) return;
    CommitTyping();
    model_.Pick(st_.Database, c_.lvDatabase->indexOfTopLevelItem(item));
    ShowGrids();
    RefreshEditor();
}

void ConstituentEditorWindow::bnAddProteinClick()
{
    CommitTyping();
    protein_->exec();
    ShowGrids();
    RefreshEditor();
}
