#include "app/windows/init_dist_window.h"

#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Enter in a cell's editor commits the cell at once (the standard delegate
// commits only after the key has gone on to the grid, whose check would
// rewrite the cell first) and then goes on to the grid.
class CommitOnEnterDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        auto* editor = qobject_cast<QWidget*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                return false;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
};

}  // namespace

InitDistWindow::InitDistWindow(MainWindow& main)
    : QWidget(&main, Qt::Window), MainStateWindow(this, main), tool_(main.State())
{
    setObjectName("fmDist");
    setWindowTitle("Initial Distribution Tool");
    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    auto edit = [&](const char* name, const QString& caption, int col, bool readOnly) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        e->setMaximumWidth(100);
        auto* label = new QLabel(caption, this);
        grid->addWidget(label, 0, col);
        grid->addWidget(e, 1, col);
        return std::pair(e, label);
    };
    c_.edNSeg = edit("edNSeg", "# Segments", 0, false).first;
    c_.edLSeg = edit("edLSeg", "# Left Segm.", 1, false).first;
    c_.edRSeg = edit("edRSeg", "# Right Segm.", 2, false).first;
    auto [diff, diffLabel] = edit("edDiff", "Diff. Connection [mm^2]", 3, false);
    c_.edDiff = diff;
    c_.edDiff->setVisible(false);
    diffLabel->setVisible(false);
    c_.edNX = edit("edNX", "New Size (Nodes)", 4, true).first;
    c_.edNXActual = edit("edNXActual", "Actual Size (Nodes)", 5, true).first;
    outer->addLayout(grid);
    c_.llCapLength = new QLabel(this);
    c_.llCapLength->setObjectName("llCapLength");
    outer->addWidget(c_.llCapLength);

    auto* checks = new QHBoxLayout;
    c_.cbDiff = new QCheckBox("Apply Diffusion", this);
    c_.cbDiff->setObjectName("cbDiff");
    c_.cbTime = new QCheckBox("Copy Time", this);
    c_.cbTime->setObjectName("cbTime");
    c_.cbStayOnTop = new QCheckBox("Stay On Top", this);
    c_.cbStayOnTop->setObjectName("cbStayOnTop");
    for (QCheckBox* b : {c_.cbDiff, c_.cbTime, c_.cbStayOnTop}) checks->addWidget(b);
    checks->addStretch();
    outer->addLayout(checks);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    c_.bnCreate = button("bnCreate", "Create");
    c_.bnDiscard = button("bnDiscard", "Discard");
    c_.bnPreview = button("bnPreview", "Preview");
    c_.bnApply = button("bnApply", "&Apply");
    c_.bnClose = button("bnClose", "&Cancel");
    buttons->addStretch();
    outer->addLayout(buttons);

    c_.sbData = new QScrollArea(this);
    c_.sbData->setObjectName("sbData");
    c_.sgData = new QTableWidget;
    c_.sgData->setObjectName("sgData");
    c_.sgData->horizontalHeader()->setVisible(false);
    c_.sgData->verticalHeader()->setVisible(false);
    c_.sgData->installEventFilter(this);
    c_.sgData->setItemDelegate(new CommitOnEnterDelegate(c_.sgData));
    c_.sbData->setWidget(c_.sgData);
    c_.sbData->setWidgetResizable(true);
    c_.sbData->setMinimumHeight(160);
    c_.sbData->setVisible(false);
    outer->addWidget(c_.sbData, 1);

    StateBinder& b = Binder();
    b.afterChange = [this] { ShowSettings(); };
    b.onEnter = b.onEscape = [this] { c_.bnClose->setFocus(Qt::OtherFocusReason); };
    // The tool checks and stores each typed text.
    b.Text(
        c_.edNSeg, [this] { return QString::number(tool_.SegCount); },
        [this](const std::string& text) { tool_.EditSegCount(text); });
    b.Text(
        c_.edLSeg, [this] { return QString::number(tool_.LeftSegCount); },
        [this](const std::string& text) { tool_.EditLeftSegCount(text); });
    b.Text(
        c_.edRSeg, [this] { return QString::number(tool_.RightSegCount); },
        [this](const std::string& text) { tool_.EditRightSegCount(text); });
    b.Text(
        c_.edDiff, [this] { return QString::fromStdString(FloatToStr(tool_.DiffConnection)); },
        [this](const std::string& text) { tool_.EditDiffConnection(text); });
    b.Display(c_.edNX, [this] { return QString::number(tool_.NewSize); });
    b.Display(c_.edNXActual, [this] { return QString::number(tool_.ActualSize()); });
    b.Check(c_.cbDiff, tool_.ApplyDiffusion);
    b.Check(c_.cbTime, tool_.CopyTime);
    OnSignal(c_.cbStayOnTop, &QCheckBox::toggled, [this](bool on) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (shown) show();
    });
    OnSignal(c_.bnCreate, &QPushButton::clicked, [this] { bnCreateClick(); });
    OnSignal(c_.bnDiscard, &QPushButton::clicked, [this] { bnDiscardClick(); });
    OnSignal(c_.bnPreview, &QPushButton::clicked, [this] { bnPreviewClick(); });
    OnSignal(c_.bnApply, &QPushButton::clicked, [this] { bnApplyClick(); });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { close(); });
    OnSignal(c_.sgData, &QTableWidget::cellChanged,
             [this](int row, int col) { CellEdited(row, col); });
    OnSignal(qApp, &QApplication::focusChanged, [this](QWidget* from, QWidget* to) {
        auto inGrid = [this](QWidget* w) {
            return w && (w == c_.sgData || c_.sgData->isAncestorOf(w));
        };
        if (inGrid(from) && !inGrid(to) && gridEdited_) sgDataExit();
    });
    ShowSettings();
    resize(640, 320);
}

// The application's focus signal reaches this window through its own
// handler; it is cut before the controls go, since their destruction moves
// the focus while this window is no longer whole.
InitDistWindow::~InitDistWindow()
{
    QObject::disconnect(qApp, nullptr, this, nullptr);
}

void InitDistWindow::ShowSettings()
{
    c_.llCapLength->setText(QString::fromStdString(tool_.CapLengthText()));
    c_.sbData->setVisible(tool_.TableShown);
    c_.bnDiscard->setEnabled(tool_.TableShown);
    c_.bnPreview->setEnabled(tool_.PreviewEnabled);
    c_.bnApply->setEnabled(tool_.ApplyEnabled);
    Binder().Refresh();
}

void InitDistWindow::FillGrid()
{
    const DistTable& t = tool_.Table;
    const int rows = t.Constituents() + 2, cols = t.SegCount + 1;
    filling_ = true;
    c_.sgData->setRowCount(rows);
    c_.sgData->setColumnCount(cols);
    c_.sgData->setColumnWidth(0, 2 * c_.sgData->horizontalHeader()->defaultSectionSize());
    auto set = [this](int r, int k, const std::string& text, bool editable) {
        QTableWidgetItem* item = c_.sgData->item(r, k);
        if (!item) {
            item = new QTableWidgetItem;
            c_.sgData->setItem(r, k, item);
        }
        item->setText(QString::fromStdString(text));
        item->setFlags(editable ? item->flags() | Qt::ItemIsEditable
                                : item->flags() & ~Qt::ItemIsEditable);
    };
    set(0, 0, "Width (Nodes)", false);
    set(1, 0, "Type (U/C/D)", false);
    for (int k = 1; k <= t.Constituents(); ++k)
        set(k + 1, 0, t.Names[static_cast<std::size_t>(k)], false);
    for (int j = 1; j <= t.SegCount; ++j) {
        const auto col = static_cast<std::size_t>(j);
        set(0, j, t.Width[col], true);
        set(1, j, t.Type[col], true);
        for (int k = 1; k <= t.Constituents(); ++k)
            set(k + 1, j, t.Cell[static_cast<std::size_t>(k)][col], true);
    }
    filling_ = false;
}

void InitDistWindow::CellEdited(int row, int col)
{
    DistTable& t = tool_.Table;
    if (filling_ || col < 1 || col > t.SegCount || row < 0 || row > t.Constituents() + 1) return;
    const std::string text = c_.sgData->item(row, col)->text().toStdString();
    const auto j = static_cast<std::size_t>(col);
    if (row == 0)
        t.Width[j] = text;
    else if (row == 1)
        t.Type[j] = text;
    else
        t.Cell[static_cast<std::size_t>(row - 1)][j] = text;
    gridEdited_ = true;
}

void InitDistWindow::sgDataExit()
{
    gridEdited_ = false;
    tool_.TableEdited();
    FillGrid();
    ShowSettings();
}

void InitDistWindow::InsertClickedValue()
{
    const int row = c_.sgData->currentRow(), col = c_.sgData->currentColumn();
    if (!tool_.InsertValue(col, row - 1, main_.ClickedValue)) return;
    FillGrid();
    ShowSettings();
}

void InitDistWindow::bnCreateClick()
{
    const bool created = tool_.Create();
    if (created) {
        FillGrid();
        // A new constituent's series joins the chart's lists.
        if (tool_.NewConstCount > 0) {
            main_.ShowCheckLists();
            main_.SetupGraph();
        }
    }
    ShowSettings();
}

void InitDistWindow::bnPreviewClick()
{
    if (gridEdited_) sgDataExit();
    const bool shown = tool_.Preview();
    // The preview freezes the main window's commands.
    main_.UpdateButtons();
    FillGrid();
    if (shown) {
        main_.ShowCheckLists();
        main_.SetupGraph();
        main_.RedrawGraph();
        main_.RescaleGraph();
    }
    ShowSettings();
}

void InitDistWindow::bnApplyClick()
{
    if (!tool_.Apply()) {
        ShowSettings();
        return;
    }
    close();
}

void InitDistWindow::bnDiscardClick()
{
    tool_.Discard();
    ShowSettings();
}

void InitDistWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow() && !gridEdited_) {
        tool_.Normalize();
        if (tool_.TableShown) FillGrid();
    }
    ShowSettings();
}

void InitDistWindow::closeEvent(QCloseEvent* event)
{
    Guarded([this] {
        gridEdited_ = false;
        tool_.Close();
        main_.ShowCheckLists();
        main_.SetupGraph();
        main_.RedrawGraph();
        main_.RescaleGraph();
        main_.UpdateMainInfo();
        ShowSettings();
    });
    QWidget::closeEvent(event);
}

bool InitDistWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == c_.sgData && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape: c_.bnClose->setFocus(Qt::OtherFocusReason); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: Guarded([this] { sgDataExit(); }); return true;
        case Qt::Key_Insert: Guarded([this] { InsertClickedValue(); }); return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

InitDistWindow* InstallInitDistWindow(MainWindow& main)
{
    auto* window = new InitDistWindow(main);
    OpenNearMainWindow(*window, main);
    AddWindowEntry(*ToolsMenu(main), "Initial Distribution", "InitialDistribution1", window,
                   [&main, window] {
                       const std::string refusal = InitDistTool::OpenRefusal(main.State());
                       if (!refusal.empty()) {
                           ShowWarning(refusal);
                           return;
                       }
                       window->show();
                       window->raise();
                   });
    return window;
}
