#include "app/chart/chart_commands.h"

#include "app/chart/chart_view.h"
#include "app/kit/added_texts.h"
#include "app/kit/input_query.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/state_binder.h"
#include "app/kit/tool_windows.h"
#include "app/shell/help_menu.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "files/chart_lines.h"
#include "files/det_file.h"
#include "files/program_dir.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "tools/chart_export.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The detector file's directory under the program directory, its dialog filter
// and the question before that directory is created.
constexpr const char* kDetDirName = "det";
constexpr const char* kDetectorFileFilter = "Detector File (*.det);;All Files (*.*)";
const std::string kCreateDetDirQuestion = "Create a New Directory?\n";

MouseButton ButtonOf(Qt::MouseButton b)
{
    if (b == Qt::LeftButton) return MouseButton::Left;
    if (b == Qt::RightButton) return MouseButton::Right;
    return MouseButton::Middle;
}

ChartGeometry GeometryOf(const ChartView& g)
{
    ChartGeometry geo;
    geo.x = {g.xAxis->range().lower, g.xAxis->range().upper};
    geo.y[0] = {g.yAxis->range().lower, g.yAxis->range().upper};
    geo.y[1] = {g.yAxis2->range().lower, g.yAxis2->range().upper};
    const QRect r = g.axisRect()->rect();
    geo.left = r.left();
    geo.top = r.top();
    geo.width = r.width();
    geo.height = r.height();
    return geo;
}

}  // namespace

ChartCommands::ChartCommands(MainWindow& main)
    : QObject(&main),
      main_(main),
      graph_(main.findChild<ChartView*>("Graph")),
      clbGraph_(main.findChild<QListWidget*>("clbGraph")),
      clbDet_(main.findChild<QListWidget*>("clbDet"))
{
    setObjectName("ChartCommands");
    ChooseDetectorFile = [this](bool save, const QString& dir) {
        QFileDialog dialog(&main_, save ? "Save" : "Open", dir, kDetectorFileFilter);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        if (save)
            dialog.setDefaultSuffix("det");
        else
            dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    graph_->installEventFilter(this);
    ConnectGuarded(
        graph_, &QCustomPlot::plottableClick, this,
        [this](QCPAbstractPlottable* p, int i, QMouseEvent* e) { SeriesClicked(p, i, e); });
    ConnectGuarded(clbGraph_, &QListWidget::itemDoubleClicked, this,
                   [this] { ListDoubleClick(false, clbGraph_->currentRow()); });
    ConnectGuarded(clbDet_, &QListWidget::itemDoubleClicked, this,
                   [this] { ListDoubleClick(true, clbDet_->currentRow()); });
}

RunState& ChartCommands::St()
{
    return main_.State();
}

bool ChartCommands::GraphMouseDown(MouseButton button, double x, double y)
{
    if (ChartPressAction(button, false) != PressAction::Search) return false;
    RunState& st = St();
    std::vector<HintLine> lines;
    std::vector<const ChartSeries*> series;
    for (const auto& [s, g] : main_.ChartLines()) {
        if (!s || !g) continue;
        HintLine l;
        l.line = ChartLine(st, *s);
        l.active = s->active && g->visible();
        l.yAxis = g->valueAxis() == graph_->yAxis2 ? 1 : 0;
        lines.push_back(l);
        series.push_back(s);
    }
    const auto nearest =
        FindNearestPoint(GeometryOf(*graph_), lines, x, y, main_.State().Options.SrT);
    if (!nearest) return false;
    ShowPoint(*series[nearest->line], nearest->index, button);
    return true;
}

void ChartCommands::ShowPoint(const ChartSeries& series, int index, MouseButton button)
{
    const auto text = GraphHintText(St(), series, index, button, click_);
    main_.ClickedPoint = click_.ClickedPoint;
    main_.ClickedValue = click_.ClickedValue;
    if (text) ShowMessage(*text);
}

void ChartCommands::SeriesClicked(QCPAbstractPlottable* plottable, int dataIndex,
                                  QMouseEvent* event)
{
    for (const auto& [s, g] : main_.ChartLines())
        if (g == plottable && s) {
            ShowPoint(*s, dataIndex, ButtonOf(event->button()));
            return;
        }
}

bool ChartCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == graph_) {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* e = static_cast<QMouseEvent*>(event);
            bool taken = false;
            Guarded([&] {
                taken = GraphMouseDown(ButtonOf(e->button()), e->position().x(), e->position().y());
            });
            if (taken) {
                swallowRelease_ = true;
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonRelease && swallowRelease_) {
            swallowRelease_ = false;
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ChartCommands::FitTo(const ChartSeries* series)
{
    if (!series) return;
    const auto range = FitValueRange(ChartLine(St(), *series));
    if (!range) return;
    graph_->SetRangeY(range->lower, range->upper);
    graph_->SetAutoX(true);
    graph_->RequestReplot();
}

void ChartCommands::ListDoubleClick(bool detector, int row)
{
    RunState& st = St();
    if (row < 0) return;
    const ChartSeries& first = detector ? st.Series.DET_pH : st.Series.sr_pH;
    if (first.Count() == 0 && ChartLine(st, first).Count() == 0) return;
    graph_->SetAutoY(false);
    FitTo(detector ? DetectorItemSeries(st, row) : ProfileItemSeries(st, row));
}

QListWidget* ChartCommands::CurrentList()
{
    return St().DetectorView ? clbDet_ : clbGraph_;
}

template <class F>
void ChartCommands::CheckItems(bool on, F which)
{
    RunState& st = St();
    auto& items = st.DetectorView ? st.Series.clbDet : st.Series.clbGraph;
    if (items.size() < 2) return;
    for (int i = 0; i < static_cast<int>(items.size()); ++i)
        if (which(i)) items[i].checked = on;
    main_.ShowCheckLists();
    main_.clbGraphClickCheck();
}

void ChartCommands::CheckAll1Click()
{
    CheckItems(true, [](int) { return true; });
}
void ChartCommands::UncheckAll1Click()
{
    CheckItems(false, [](int) { return true; });
}
void ChartCommands::C1Click()
{
    const int n = St().NComp;
    CheckItems(true, [n](int i) { return i >= 2 && i <= n + 1; });
}

void ChartCommands::CopytoClipboard1Click()
{
    RunState& st = St();
    QListWidget* list = CurrentList();
    const int row =
        list->currentItem() && list->currentItem()->isSelected() ? list->currentRow() : -1;
    if (row < 0) {
        ShowMessage(kClipboardNoSelection);
        return;
    }
    const bool det = st.DetectorView;
    if (ChartLine(st, det ? st.Series.DET_pH : st.Series.sr_pH).Count() == 0) return;
    const ChartSeries* series = det ? DetectorItemSeries(st, row) : ProfileItemSeries(st, row);
    if (!series) return;
    const ChartLine line(st, *series);
    if (line.Count() == 0) return;
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(ClipboardText(line, DecimalSeparator())));
}

void ChartCommands::SavetoBMP1Click()
{
    RunState& st = St();
    if (!st.Initialised || st.NComp == 0) return;
    const bool det = st.DetectorView;
    QListWidget* list = det ? clbDet_ : clbGraph_;
    auto& items = det ? st.Series.clbDet : st.Series.clbGraph;
    const std::string name = det ? "Detector" : graph_->Title().toStdString();
    if (!BmpListFitsRun(static_cast<int>(items.size()), st.CompInit.Count(), det)) {
        ShowWarning(kBmpCountMismatch);
        return;
    }
    std::string typed;
    if (!InputQuery(BmpCaption(name), kBmpPrompt, typed)) return;
    const std::string bmpDir = JoinPath(main_.RootDir(), kBmpDirName).string();
    std::error_code ec;
    fs::create_directory(bmpDir, ec);
    const std::string dir = fs::path(BitmapFileName(bmpDir, typed, "x")).parent_path().string();
    fs::create_directory(dir, ec);

    // The check marks are remembered and every profile is drawn alone, without the wall lines.
    std::vector<bool> remembered;
    for (CheckListItem& item : items) {
        remembered.push_back(item.checked);
        item.checked = false;
    }
    auto apply = [this] {
        main_.ShowCheckLists();
        main_.clbGraphClickCheck();
    };
    auto walls = [&](bool on) {
        if (!det) st.Series.sr_LeftWall.active = st.Series.sr_RightWall.active = on;
    };
    auto restore = [&] {
        walls(true);
        for (std::size_t i = 0; i < items.size() && i < remembered.size(); ++i)
            items[i].checked = remembered[i];
        apply();
        main_.RescaleGraph();
    };
    walls(false);
    apply();
    std::string failed;
    try {
        for (int i = 0; i < static_cast<int>(items.size()) && i < list->count(); ++i) {
            items[i].checked = true;
            apply();
            list->setCurrentRow(i);
            ListDoubleClick(det, i);
            graph_->replot();
            const std::string file = BitmapFileName(bmpDir, typed, items[i].text);
            if (!graph_->saveBmp(QString::fromStdString(file))) failed += "\n" + file;
            items[i].checked = false;
        }
    } catch (...) {
        restore();
        throw;
    }
    restore();
    if (!failed.empty())
        ShowWarning(kBitmapsNotWritten + failed);
    else
        ShowMessage(BmpDoneMessage(bmpDir, typed));
}

void ChartCommands::Save1Click()
{
    RunState& st = St();
    std::string dir = detSaveDir_;
    if (dir.empty()) {
        dir = JoinPath(main_.RootDir(), kDetDirName).string();
        std::error_code ec;
        if (!fs::is_directory(dir, ec) &&
            !(Confirm(kCreateDetDirQuestion + dir) && fs::create_directory(dir, ec)))
            dir = main_.RootDir();
    }
    const QString chosen = ChooseDetectorFile(true, QString::fromStdString(dir));
    if (chosen.isEmpty()) return;
    const std::string name = chosen.toStdString();
    try {
        st.host().SetStatusText("Saving detector data ...");
        st.host().ProcessMessages();
        if (WriteDetFile(st, name)) detSaveDir_ = fs::path(name).parent_path().string();
    } catch (...) {
        main_.UpdateMainInfo();
        throw;
    }
    main_.UpdateMainInfo();
}

void ChartCommands::OpenDetector1Click()
{
    RunState& st = St();
    // The record belongs to the constituents of a run.
    if (!st.Initialised) return;
    std::string dir = detOpenDir_;
    if (dir.empty()) {
        dir = JoinPath(main_.RootDir(), kDetDirName).string();
        std::error_code ec;
        if (!fs::is_directory(dir, ec)) dir = main_.RootDir();
    }
    const QString chosen = ChooseDetectorFile(false, QString::fromStdString(dir));
    if (chosen.isEmpty()) return;
    const std::string name = chosen.toStdString();
    try {
        if (ReadDetFile(st, name)) detOpenDir_ = fs::path(name).parent_path().string();
    } catch (...) {
        main_.SyncChart();
        main_.UpdateMainInfo();
        throw;
    }
    main_.SyncChart();
    main_.UpdateMainInfo();
}

namespace {

// The sample typed into the Skip box: -1 when it is no whole number.
bool AskSample(const char* prompt, int& k)
{
    std::string typed;
    if (!InputQuery(kDetectorCaption, prompt, typed)) {
        ShowWarning(kOutOfRange);
        return false;
    }
    if (!ReadInt(typed, k)) k = -1;
    return true;
}

}  // namespace

void ChartCommands::Skip(const char* prompt, bool (*cut)(RunSeries&, int))
{
    RunState& st = St();
    if (DetectorSamples(st.Series) == 0) {
        ShowWarning(kNoDetectorInput);
        return;
    }
    int k = -1;
    if (!AskSample(prompt, k)) return;
    if (cut(st.Series, k)) main_.SyncChart();
}

void ChartCommands::Skiptopoint1Click()
{
    Skip(kSkipToPrompt, &SkipToPoint);
}
void ChartCommands::Skipfrompoint1Click()
{
    Skip(kSkipFromPrompt, &SkipFromPoint);
}

ChartCommands* InstallChartCommands(MainWindow& main)
{
    auto* c = new ChartCommands(main);
    auto* pop = new QMenu(&main);
    pop->setObjectName("popClbGraph");
    auto add = [&](QMenu* menu, const char* caption, const char* name,
                   void (ChartCommands::*handler)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        ConnectGuarded(a, &QAction::triggered, c, [c, handler] { (c->*handler)(); });
        return a;
    };
    add(pop, "Check All", "CheckAll1", &ChartCommands::CheckAll1Click);
    add(pop, "Uncheck All", "UncheckAll1", &ChartCommands::UncheckAll1Click);
    add(pop, "Check Constituents", "C1", &ChartCommands::C1Click);
    pop->addSeparator();
    add(pop, "Copy to Clipboard", "CopytoClipboard1", &ChartCommands::CopytoClipboard1Click);
    for (const char* name : {"clbGraph", "clbDet"}) {
        auto* list = main.findChild<QListWidget*>(name);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(
            list, &QListWidget::customContextMenuRequested, pop,
            [pop, list](const QPoint& p) { pop->popup(list->viewport()->mapToGlobal(p)); });
    }
    add(ToolsMenu(main), "Save to BMP", "SavetoBMP1", &ChartCommands::SavetoBMP1Click)
        ->setVisible(false);
    QMenu* detector = MainMenu(main, "Detector", "Detector1");
    detector->menuAction()->setVisible(false);
    add(detector, "Open ...", "OpenDetector1", &ChartCommands::OpenDetector1Click);
    add(detector, "Save ...", "Save1", &ChartCommands::Save1Click);
    detector->addSeparator();
    add(detector, "Skip to point ...", "Skiptopoint1", &ChartCommands::Skiptopoint1Click);
    add(detector, "Skip from point...", "Skipfrompoint1", &ChartCommands::Skipfrompoint1Click);
    return c;
}
