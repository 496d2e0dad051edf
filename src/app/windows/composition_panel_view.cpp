#include "app/windows/composition_panel_view.h"

#include "app/chart/chart_view.h"
#include "app/kit/input_query.h"
#include "app/kit/qt_convert.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/state_binder.h"
#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "app/windows/amplitudes_window.h"
#include "app/windows/constituent_editor_window.h"
#include "composition/ampholines.h"
#include "composition/constituent_editor.h"
#include "engine/state/run_state.h"
#include "files/program_dir.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <QAction>
#include <QBoxLayout>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

QString DialogFilter(const char* filter)
{
    const QStringList parts = QString(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) entries << parts[i];
    return entries.join(";;");
}

CompositionPanelView::CompositionPanelView(MainWindow& main, ConstituentEditorWindow& editor,
                                           QWidget* parent)
    : QWidget(parent), main_(main), editor_(editor)
{
    setObjectName("plComponents");
    RunState& st = main.State();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);

    auto* gbComposition = new QGroupBox("Composition");
    gbComposition->setObjectName("gbComposition");
    auto* buttons = new QVBoxLayout(gbComposition);
    buttons->setSpacing(1);
    auto button = [&](const char* caption, const char* name,
                      void (CompositionPanelView::*handler)()) {
        auto* b = new QPushButton(caption);
        b->setObjectName(name);
        buttons->addWidget(b);
        ConnectGuarded(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        return b;
    };
    button("Add", "bbnAddComponent", &CompositionPanelView::bbnAddComponentClick);
    button("Edit", "bnEdit", &CompositionPanelView::bnEditClick);
    button("Delete", "bnDelete", &CompositionPanelView::bnDeleteClick);
    button("Delete All", "bnDeleteAll", &CompositionPanelView::bnDeleteAllClick);
    bnRestore_ = button("Restore", "bnRestore", &CompositionPanelView::bnRestoreClick);
    row->addWidget(gbComposition);
    gbComposition_ = gbComposition;

    auto* gbFile = new QGroupBox("Composition File");
    gbFile->setObjectName("gbCompFile");
    auto* file = new QVBoxLayout(gbFile);
    file->setSpacing(1);
    auto* plOpen = new QWidget;
    plOpen->setObjectName("plOpen");
    plOpen->setToolTip(
        "Loading mode\nSet - existing constituents with the same name is overwritten by constituent "
        "from a file\nAdd - no existing constituents is overwritten");
    auto* radios = new QHBoxLayout(plOpen);
    radios->setContentsMargins(0, 0, 0, 0);
    auto* rbSet = new QRadioButton("Set");
    rbSet->setObjectName("rbSet");
    rbSet->setToolTip("Load all constituents from file and delete all actual constituents");
    auto* rbAdd = new QRadioButton("Add");
    rbAdd->setObjectName("rbAdd");
    rbAdd->setToolTip(
        "Load only specific constituents from file which aren't in the composition list\n"
        "and all actual constituents remain unchanged");
    radios->addWidget(rbSet);
    radios->addWidget(rbAdd);
    file->addWidget(plOpen);
    (st.rbSet ? rbSet : rbAdd)->setChecked(true);
    connect(rbSet, &QRadioButton::toggled, this, [&st](bool on) { st.rbSet = on; });
    auto fileButton = [&](const char* caption, const char* name, const char* hint,
                          void (CompositionPanelView::*handler)()) {
        auto* b = new QPushButton(caption);
        b->setObjectName(name);
        b->setToolTip(hint);
        file->addWidget(b);
        ConnectGuarded(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        return b;
    };
    bnLoad_ = fileButton("Open", "bnLoad", "Open constituents from CMP file",
                         &CompositionPanelView::bnLoadClick);
    fileButton("Save", "bnSave", "Save constituents to CMP file",
               &CompositionPanelView::bnSaveClick);
    file->addStretch();
    row->addWidget(gbFile);

    table_ = new QTableWidget(0, kPanelColumns);
    table_->setObjectName("sbComponents");
    table_->setToolTip(
        "List of constituents\n<Left double-click> ... Edit constituent\n<Right click> ... PopUp "
        "Menu (Edit, Delete, Move,...)");
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(16 + 2);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setMinimumSectionSize(16);
    for (int col = 0; col < kPanelColumns; ++col) {
        auto* h = new QTableWidgetItem(kPanelHeaders[col].header);
        h->setToolTip(kPanelHeaders[col].hint);
        table_->setHorizontalHeaderItem(col, h);
    }
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->viewport()->setCursor(Qt::PointingHandCursor);
    row->addWidget(table_, 1);

    popup_ = new QMenu(this);
    popup_->setObjectName("popComponents");
    auto entry = [&](const char* caption, const char* name, std::function<void(int)> handler) {
        QAction* a = popup_->addAction(caption);
        a->setObjectName(name);
        ConnectGuarded(a, &QAction::triggered, this, [this, handler] { handler(ClickedRow); });
    };
    entry("Edit", "Edit1", [this](int r) { EditRowClick(r); });
    entry("Delete", "Delete1", [this](int r) { DeleteRowClick(r); });
    entry("Delete All", "DeleteAll1", [this](int) { bnDeleteAllClick(); });
    entry("Focus", "Focus1", [this](int r) { FocusClick(r); });
    entry("Move -> First", "MoveFirst1", [this](int r) { MoveClick(&MoveFirst, r); });
    entry("Move Up", "MoveUp1", [this](int r) { MoveClick(&MoveUp, r); });
    entry("Move Down", "MoveDown1", [this](int r) { MoveClick(&MoveDown, r); });
    entry("Move Last", "MoveLast1", [this](int r) { MoveClick(&MoveLast, r); });
    connect(table_, &QTableWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = table_->indexAt(pos);
        ClickedRow = index.isValid() ? index.row() + 1 : -1;
        popup_->popup(table_->viewport()->mapToGlobal(pos));
    });
    ConnectGuarded(table_, &QTableWidget::cellDoubleClicked, this,
                   [this](int r, int) { EditRowClick(r + 1); });

    ShowEditor = [this] { editor_.exec(); };
    ChooseFile = [this](bool save) {
        QFileDialog dialog(this, save ? "Save" : "Open", Q(main_.RootDir()),
                           DialogFilter(kComponentFileFilter));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        if (save)
            dialog.setDefaultSuffix("cmp");
        else
            dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    setMaximumHeight(190);
    ShowComposition();
}

namespace {

// Captions of the constituent editor: a new constituent, or one of the list.
const char* const kAddCaption = "Add Constituent";
const char* const kEditCaption = "Edit Constituent";

}  // namespace

void CompositionPanelView::ShowComposition()
{
    RunState& st = main_.State();
    if (st.Destroying || building_) return;
    const int n = st.Composition.Count();
    std::vector<PanelRow> rows;
    rows.reserve(static_cast<std::size_t>(n > 0 && n <= kPanelMaxRows ? n : 0));
    // Row 1 shows the ligand's charge range of loaded complexation data, in
    // complexation mode only.
    std::optional<std::pair<int, int>> ligand;
    if (st.cbComplex && !st.TxtTable.empty() && st.TxtTable[0].size() >= 2) {
        int nL = 0, pL = 0;
        if (ReadInt(st.TxtTable[0][0], nL) && ReadInt(st.TxtTable[0][1], pL))
            ligand = std::pair(nL, pL);
    }
    if (n <= kPanelMaxRows)
        for (const auto* node = st.Composition.Head(); node; node = node->next)
            rows.push_back(PanelRowTexts(node->data, node->index, st.cbComplex, ligand));
    std::vector<int> colours;
    for (const auto* node = st.Composition.Head(); node && n <= kPanelMaxRows; node = node->next)
        colours.push_back(node->data.colour);
    // Nothing to do for an unchanged list (the refresh of the main window calls this often).
    static_assert(kPanelColumns == 13);
    bool same = shownOnce_ && rows == shown_ && table_->rowCount() == n;
    for (int r = 0; same && r < n; ++r) {
        QTableWidgetItem* item = table_->item(r, 2);
        same = item &&
               item->background().color() == ColourFromBGR(colours[static_cast<std::size_t>(r)]);
    }
    if (same) return;
    // The table keeps its previous content; the warning comes once for each
    // count beyond the limit, not at every refresh.
    if (n > kPanelMaxRows) {
        if (n != refusedCount_) PanelAcceptsCount(n);
        refusedCount_ = n;
        return;
    }
    refusedCount_ = 0;
    building_ = true;
    shownOnce_ = true;
    const int scroll = table_->verticalScrollBar() ? table_->verticalScrollBar()->value() : 0;
    table_->setRowCount(n);
    for (int r = 0; r < n; ++r)
        for (int col = 0; col < kPanelColumns; ++col) {
            QTableWidgetItem* item = table_->item(r, col);
            if (!item) {
                item = new QTableWidgetItem;
                table_->setItem(r, col, item);
            }
            item->setText(Q(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(col)]));
            if (col == 2) item->setBackground(ColourFromBGR(colours[static_cast<std::size_t>(r)]));
        }
    const QFontMetrics metrics = table_->fontMetrics();
    const auto widths = PanelColumnWidths(
        rows, [&metrics](const std::string& text) { return metrics.horizontalAdvance(Q(text)); });
    for (int col = 0; col + 1 < kPanelColumns; ++col)
        table_->setColumnWidth(col, widths[static_cast<std::size_t>(col)]);
    shown_ = std::move(rows);
    table_->verticalScrollBar()->setValue(scroll);
    building_ = false;
}

bool CompositionPanelView::ListFrozen() const
{
    return main_.State().DistPreview;
}

void CompositionPanelView::Refresh()
{
    const bool frozen = ListFrozen();
    gbComposition_->setEnabled(!frozen);
    for (QAction* a : popup_->actions())
        if (a->objectName() != "Focus1") a->setEnabled(!frozen);
    bnRestore_->setEnabled(main_.State().CompChanged);
    bnLoad_->setEnabled(main_.FilesEnabled());
    ShowComposition();
}

void CompositionPanelView::AfterListChange()
{
    ShowComposition();
    editor_.RefreshEditor();
    main_.UpdateButtons();
}

// ----- list operations -----------------------------------------------------------

void CompositionPanelView::bbnAddComponentClick()
{
    if (ListFrozen()) return;
    editor_.setWindowTitle(kAddCaption);
    editor_.bnClearClick();
    if (ShowEditor) ShowEditor();
}

void CompositionPanelView::bnEditClick()
{
    if (ListFrozen()) return;
    std::string answer;
    if (!InputQuery(kEditCaption, "Input number of constituent: ", answer)) return;
    if (answer.empty() || answer == " ") return;
    const int r = RowFromAnswer(answer, main_.State().Composition.Count());
    if (r > 0) EditRowClick(r);
}

void CompositionPanelView::bnDeleteClick()
{
    if (ListFrozen()) return;
    std::string answer;
    if (!InputQuery("Delete Constituent", "Input row of constituent to DELETE", answer)) return;
    const int r = RowFromAnswer(answer, main_.State().Composition.Count());
    if (r > 0) DeleteRowClick(r);
}

void CompositionPanelView::bnDeleteAllClick()
{
    if (ListFrozen()) return;
    if (editor_.Model().DeleteAll()) AfterListChange();
}

void CompositionPanelView::bnRestoreClick()
{
    if (ListFrozen()) return;
    editor_.Model().Restore();
    AfterListChange();
}

void CompositionPanelView::bnLoadClick()
{
    // Open belongs to the file commands, which wait for the end of a run.
    if (main_.EngineBusy()) {
        ShowMessage("START is active");
        return;
    }
    if (!main_.FilesEnabled()) return;
    const QString name = ChooseFile ? ChooseFile(false) : QString();
    if (name.isEmpty()) return;
    editor_.Model().OpenComposition(name.toStdString());
    AfterListChange();
}

void CompositionPanelView::bnSaveClick()
{
    const QString name = ChooseFile ? ChooseFile(true) : QString();
    if (name.isEmpty()) return;
    editor_.Model().SaveComposition(name.toStdString());
}

void CompositionPanelView::EditRowClick(int r)
{
    if (ListFrozen()) return;
    if (!editor_.Model().EditRow(r)) return;
    editor_.setWindowTitle(kEditCaption);
    editor_.ShowGrids();
    editor_.RefreshEditor();
    if (ShowEditor) ShowEditor();
}

void CompositionPanelView::DeleteRowClick(int r)
{
    if (ListFrozen()) return;
    if (editor_.Model().DeleteRow(r)) AfterListChange();
}

void CompositionPanelView::FocusClick(int r)
{
    RunState& st = main_.State();
    std::string radius;
    // A changed composition is refused before the radius is asked.
    if (!st.CompChanged && !InputQuery("FOCUS", "Input concentration radius [mM]:", radius)) return;
    double last = 0;
    if (r >= 1 && r < static_cast<int>(st.Series.srComp.size()) && st.Series.srComp[r].Count() > 0)
        last = st.Series.srComp[r].y.back();
    const auto range = FocusRange(st, r, radius, last);
    if (!range) return;
    if (auto* chart = main_.findChild<ChartView*>("Graph")) {
        chart->SetRangeY(range->first, range->second);
        chart->RequestReplot();
    }
}

void CompositionPanelView::MoveClick(bool (*move)(TUnivSet<TComponents>&, int), int r)
{
    if (ListFrozen()) return;
    if (move(main_.State().Composition, r)) AfterListChange();
}

void CompositionPanelView::MultipleConstituents1Click()
{
    if (ListFrozen()) return;
    RunState& st = main_.State();
    AmpholinesWizard wizard;
    while (wizard.Current() == AmpholinesWizard::State::Asking) {
        std::string answer = wizard.Default();
        if (!InputQuery(kAmpholinesCaption, wizard.Prompt(), answer)) return;
        wizard.Answer(answer, st.Composition, main_.State().Options.SimColor,
                      main_.State().Options.DetColor);
    }
    if (wizard.Current() == AmpholinesWizard::State::Created) AfterListChange();
}

// ----- installation -----------------------------------------------------------------

CompositionPanelView* InstallCompositionEditing(MainWindow& main)
{
    auto* editor = new ConstituentEditorWindow(main.State(), &main);
    editor->environment = [&main] {
        EditorEnvironment env;
        env.SimColor = main.State().Options.SimColor;
        env.DetColor = main.State().Options.DetColor;
        env.ChartBackground = main.State().Options.SimColor;
        env.MicellarMode = main.State().cbSDS;
        // "Delete Table" is offered while the initial-distribution tool can be opened.
        if (const auto* entry = main.findChild<QAction*>("InitialDistribution1"))
            env.InitialDistributionVisible = entry->isVisible();
        return env;
    };
    auto* panel = new CompositionPanelView(main, *editor);
    if (auto* box = qobject_cast<QBoxLayout*>(main.centralWidget() ? main.centralWidget()->layout()
                                                                   : nullptr))
        box->addWidget(panel);
    else
        panel->setParent(&main);
    editor->onCompositionChanged = [panel] { panel->ShowComposition(); };
    editor->onRefreshed = [&main] { main.UpdateButtons(); };
    main.CompositionRefresh = [panel] { panel->Refresh(); };

    QAction* wizard = ToolsMenu(main)->addAction("Ampholines Wizard");
    wizard->setObjectName("MultipleConstituents1");
    ConnectGuarded(wizard, &QAction::triggered, panel,
                   [panel] { panel->MultipleConstituents1Click(); });
    InstallAmplitudesWindow(main);

    editor->OpenDatabase(FindSupplied(kDatabaseFileName).string());
    editor->RefreshEditor();
    return panel;
}
