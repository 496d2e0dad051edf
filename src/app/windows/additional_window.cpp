#include "app/windows/additional_window.h"

#include "app/chart/chart_view.h"
#include "app/kit/qt_convert.h"
#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "app/windows/small_windows.h"
#include "engine/state/run_state.h"
#include "files/chart_lines.h"
#include "tools/chart_hints.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kCompactHeight = 142;
}  // namespace

AdditionalWindow::AdditionalWindow(MainWindow& main, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), MainStateWindow(this, main)
{
    setObjectName("fmAdditional");
    setWindowTitle("Additional Information");
    // The window's two switches live in the window-presence record.
    WindowPresence& shown = State().windows();
    // "Use initial concentrations and mobilities" starts checked.
    shown.cbCInit = true;

    auto* outer = new QVBoxLayout(this);
    auto* plInfo = new QWidget;
    plInfo->setObjectName("plInfo");
    auto* info = new QGridLayout(plInfo);
    info->setContentsMargins(0, 0, 0, 0);
    info->setVerticalSpacing(0);
    struct Pair {
        QLabel** caption;
        QLabel** value;
        const char* text;
        const char* name;
    };
    const Pair pairs[] = {{&c_.llMainC, &c_.llMainCValue, "Main iterations", "llMainC"},
                          {&c_.llGlobMN, &c_.llGlobMNValue, "Global Ratio", "llGlobMN"},
                          {&c_.llErrDT, &c_.llErrDTValue, "Der Error", "llErrDT"},
                          {&c_.llNewtC, &c_.llNewtCValue, "Max. Newton-iter. ", "llNewtC"},
                          {&c_.llErrMax, &c_.llErrMaxValue, "Error Maximum", "llErrMax"},
                          {&c_.llDX, &c_.llDXValue, "dx [mm]", "llDX"}};
    int row = 0;
    for (const Pair& p : pairs) {
        *p.caption = new QLabel(p.text);
        *p.value = new QLabel("0");
        (*p.caption)->setObjectName(p.name);
        (*p.value)->setObjectName(QString(p.name) + "Value");
        info->addWidget(*p.caption, row / 2, (row % 2) * 2);
        info->addWidget(*p.value, row / 2, (row % 2) * 2 + 1);
        ++row;
    }
    outer->addWidget(plInfo);

    auto* boxes = new QHBoxLayout;
    c_.cbNewCnt = new QCheckBox("Newton Iteration Profile");
    c_.cbShowRF = new QCheckBox("Show Reg. Fn.");
    boxes->addWidget(c_.cbNewCnt);
    boxes->addWidget(c_.cbShowRF);
    outer->addLayout(boxes);

    c_.gbRF = new QGroupBox(" Regulation Functions ");
    auto* rf = new QGridLayout(c_.gbRF);
    rf->setVerticalSpacing(0);
    for (int k = 1; k <= 8; ++k) {
        c_.cbRegFn[k] = new QCheckBox(kRegFnCaptions[k]);
        c_.cbRegFn[k]->setObjectName(QString("cbRegFn%1").arg(k));
        const QColor colour =
            ColourFromBGR(static_cast<std::uint32_t>(State().Series.sr_reg[k].colour));
        c_.cbRegFn[k]->setStyleSheet(QString("color: %1").arg(colour.name()));
        c_.cbRegFn[k]->installEventFilter(this);
        rf->addWidget(c_.cbRegFn[k], (k - 1) % 4, (k - 1) / 4);
    }
    c_.Button1 = new QPushButton("z");
    c_.bn = new QPushButton("Ri");
    rf->addWidget(c_.Button1, 4, 0);
    rf->addWidget(c_.bn, 4, 1);
    outer->addWidget(c_.gbRF);

    auto* urf = new QHBoxLayout;
    for (int k = 1; k <= 6; ++k) {
        c_.cbR6[k] = new QCheckBox;
        c_.cbR6[k]->setObjectName(QString("cbR6_%1").arg(k));
        if (k <= 5) c_.cbR6[k]->setToolTip(kR6Hints[k]);
        urf->addWidget(c_.cbR6[k]);
    }
    c_.cbR6[6]->setVisible(false);
    c_.cbCInit = new QCheckBox;
    c_.cbCInit->setToolTip("Use initial concentrations and mobilities");
    c_.llInitX = new QLabel("INIT position:");
    c_.edInitX = new QLineEdit;
    c_.edInitX->setMaximumWidth(70);
    urf->addWidget(c_.cbCInit);
    urf->addWidget(c_.llInitX);
    urf->addWidget(c_.edInitX);
    urf->addStretch();
    outer->addLayout(urf);

    c_.bnClose = new QPushButton("&Close");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(c_.bnClose);
    outer->addLayout(bottom);
    c_.cbNewCnt->installEventFilter(this);

    const std::pair<QObject*, const char*> names[] = {{c_.cbNewCnt, "cbNewCnt"},
                                                      {c_.cbShowRF, "cbShowRF"},
                                                      {c_.gbRF, "gbRF"},
                                                      {c_.Button1, "Button1"},
                                                      {c_.bn, "bn"},
                                                      {c_.cbCInit, "cbCInit"},
                                                      {c_.llInitX, "llInitX"},
                                                      {c_.edInitX, "edInitX"},
                                                      {c_.bnClose, "bnClose"}};
    for (auto [w, name] : names) w->setObjectName(name);

    StateBinder& b = Binder();
    b.Check(c_.cbNewCnt, shown.cbNewCnt, [this] { cbNewCntClick(); });
    b.Check(c_.cbShowRF, a_.cbShowRF, [this] { cbShowRFClick(); });
    for (int k = 1; k <= 8; ++k)
        b.Check(c_.cbRegFn[k], a_.cbRegFn[k], [this, k] { RegFnClick(k); });
    for (int k = 1; k <= 6; ++k) b.Check(c_.cbR6[k], a_.cbR6[k], [this] { main_.RedrawGraph(); });
    b.Check(c_.cbCInit, shown.cbCInit, [this] { main_.RedrawGraph(); });
    OnSignal(c_.edInitX, &QLineEdit::textEdited,
             [this](const QString& t) { a_.edInitX = t.toStdString(); });
    OnSignal(c_.Button1, &QPushButton::clicked, [this] { Button1Click(); });
    OnSignal(c_.bn, &QPushButton::clicked, [this] { bnClick(); });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { close(); });

    move(0, 0);
    adjustSize();
    cbShowRFClick();
    Mirror();
    State().Events.Add(this);
}

AdditionalWindow::~AdditionalWindow()
{
    State().Events.Remove(this);
}

void AdditionalWindow::Mirror()
{
    Binder().Refresh();
    if (!c_.edInitX->hasFocus()) c_.edInitX->setText(Q(a_.edInitX));
}

void AdditionalWindow::ShowInfo()
{
    const InfoTexts t = ShowInfoTexts(State());
    c_.llMainCValue->setText(Q(t.mainC));
    c_.llDXValue->setText(Q(t.dx));
    c_.llNewtCValue->setText(Q(t.newtC));
    c_.llGlobMNValue->setText(Q(t.globMN));
    c_.llGlobMN->setText(Q(t.globMNCaption));
    c_.llErrDTValue->setText(Q(t.errDT));
    c_.llErrDT->setText(Q(t.errDTCaption));
    c_.llErrMaxValue->setText(Q(t.errMax));
    Mirror();
}

void AdditionalWindow::OnEngineEvent(const EngineEvent& event)
{
    // Init, the run loop and the status refresh keep the counters current, also
    // while hidden; while a run goes, as often as the main window's run panel.
    const bool info = event.kind == EngineEventKind::ShowAdditionalInfo ||
                      event.kind == EngineEventKind::UpdateMainInfo;
    if (info || (event.kind == EngineEventKind::RedrawGraph && State().Running))
        info_.Request(State().Running);
    else if (event.kind == EngineEventKind::RedrawGraph)
        Mirror();
}

void AdditionalWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ShowInfo();
}

void AdditionalWindow::cbShowRFClick()
{
    if (designedHeight_ == 0) designedHeight_ = std::max(height(), sizeHint().height());
    const bool show = a_.cbShowRF;
    for (QWidget* w : std::initializer_list<QWidget*>{c_.gbRF, c_.llInitX, c_.edInitX, c_.cbCInit})
        w->setVisible(show);
    for (int k = 1; k <= 5; ++k) c_.cbR6[k]->setVisible(show);
    if (show) {
        setMinimumHeight(0);
        resize(width(), designedHeight_);
    } else {
        setMinimumHeight(0);
        resize(width(), kCompactHeight);
        setFixedHeight(kCompactHeight);
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void AdditionalWindow::cbNewCntClick()
{
    RunState& st = State();
    st.Series.sr_DER.active = st.cbNewCnt && !st.DetectorView;
    main_.SyncChart();
}

void AdditionalWindow::RegFnClick(int k)
{
    RunState& st = State();
    st.Series.sr_reg[k].active = a_.cbRegFn[k] && !st.DetectorView;
    main_.RedrawGraph();
}

void AdditionalWindow::Button1Click()
{
    ShowMessage(a_.ChargeInfo);
}

void AdditionalWindow::bnClick()
{
    MessageWindow* w = MessageWindowOf(main_);
    if (!w) return;
    w->ShowLines(UrfReportLines(State(), a_));
}

bool AdditionalWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        Guarded([&] {
            RunState& st = State();
            if (watched == c_.cbNewCnt) {
                if (c_.cbNewCnt->isChecked() && st.Series.sr_DER.Count() > 0)
                    main_.FitGraphTo(st.Series.sr_DER);
                return;
            }
            for (int k = 1; k <= 8; ++k)
                if (watched == c_.cbRegFn[k] && c_.cbRegFn[k]->isChecked() &&
                    st.Series.sr_reg[k].Count() > 0)
                    main_.FitGraphTo(st.Series.sr_reg[k]);
        });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

AdditionalWindow* InstallAdditionalWindow(MainWindow& main)
{
    auto* window = new AdditionalWindow(main, &main);
    main.Additional = &window->Data();
    AddWindowEntry(*ToolsMenu(main), "Additional Information", "AdditionalInfo1", window)
        ->setVisible(false);
    return window;
}
