#include "app/windows/micellar_window.h"

#include "app/chart/chart_view.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/tool_windows.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "files/chart_lines.h"
#include "tools/chart_hints.h"
#include "tools/micellar_edits.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr const char* kSeriesHint = "left-click ... mark ; right-click ... focus";

}  // namespace

MicellarWindow::MicellarWindow(RunState& st, ChartView* chart, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      StateWindow(this),
      st_(st),
      chart_(chart)
{
    setObjectName("fmSDS");
    setWindowTitle("Micellar Mode");
    Build();
    Bind();
    st_.FormCreated[4] = true;
    st_.MicCompNo = 1;
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().width() - width(), 0);
    ShowSettings();
}

void MicellarWindow::Build()
{
    auto* grid = new QGridLayout(this);
    int row = 0;
    auto box = [&](QCheckBox*& b, const char* name, const char* caption, bool visible = true) {
        b = new QCheckBox(caption, this);
        b->setObjectName(name);
        b->setVisible(visible);
        grid->addWidget(b, row++, 0, 1, 2);
    };
    auto edit = [&](QLineEdit*& e, const char* name, const char* caption, bool visible = true) {
        auto* label = new QLabel(caption, this);
        e = new QLineEdit(this);
        e->setObjectName(name);
        label->setVisible(visible);
        e->setVisible(visible);
        grid->addWidget(label, row, 0);
        grid->addWidget(e, row++, 1);
    };
    box(c_.cbSDS, "cbSDS", "Micellar Mode Enabled");
    edit(c_.edNDet, "edNDet", "Mic. Constituent No.");
    edit(c_.edMic, "edMic", "Mic. Mobility (1e-9)");
    edit(c_.edCMC, "edCMC", "CMC (mM)");
    edit(c_.edOM, "edOM", "Agregation Number");
    box(c_.cbShowMic, "cbShowMic", "Show Micelle Profile");
    box(c_.cbComplex, "cbComplex", "Profile of Complex (No. 2)");
    box(c_.cbShowCMC, "cbShowCMC", "Show CMC Profile");
    for (QCheckBox* b : {c_.cbShowMic, c_.cbComplex, c_.cbShowCMC}) {
        b->setToolTip(kSeriesHint);
        b->installEventFilter(this);
    }
    edit(c_.edCMCL, "edCMCL", "CMC left (mM)", false);
    edit(c_.edCMCR, "edCMCR", "CMC right (mM)", false);
    edit(c_.edCMCC, "edCMCC", "CMC center (Pts)", false);
    edit(c_.edCMCW, "edCMCW", "CMC width (Pts)", false);
    box(c_.cbIngoreSNA, "cbIngoreSNA", "Ignore Micellar data while loading SNA file", false);
    c_.gbMode = new QGroupBox("Mode", this);
    c_.gbMode->setObjectName("gbMode");
    c_.rbC0 = new QRadioButton("C_0", c_.gbMode);
    c_.rbC0->setObjectName("rbC0");
    c_.rbCT = new QRadioButton("C_T", c_.gbMode);
    c_.rbCT->setObjectName("rbCT");
    auto* modes = new QVBoxLayout(c_.gbMode);
    modes->addWidget(c_.rbC0);
    modes->addWidget(c_.rbCT);
    c_.gbMode->setVisible(false);
    grid->addWidget(c_.gbMode, row++, 0, 1, 2);
    c_.BitBtn1 = new QPushButton("Enable Start (cmp)", this);
    c_.BitBtn1->setObjectName("BitBtn1");
    c_.BitBtn1->setVisible(false);
    grid->addWidget(c_.BitBtn1, row++, 0, 1, 2);
    c_.bnClose = new QPushButton("Close", this);
    c_.bnClose->setObjectName("bnClose");
    grid->addWidget(c_.bnClose, row++, 1);
}

void MicellarWindow::Bind()
{
    RunState& st = st_;
    MicellarSettings& m = st_.micellar();  // the window's own record
    StateBinder& b = Binder();
    b.afterChange = [this] { ShowSettings(); };
    b.onEnter = [this] { c_.bnClose->setFocus(Qt::OtherFocusReason); };
    b.onEscape = [this] {
        c_.bnClose->setFocus(Qt::OtherFocusReason);
        ShowSettings();
    };
    // The mode is taken at the next Init; Run waits for it.
    b.Check(c_.cbSDS, m.cbSDS, [&st] { st.Events.Emit(EngineEventKind::UpdateMainInfo); });
    b.Check(c_.cbShowMic, m.cbShowMic, [this, &m] { ShowSeries(st_.Series.sr_mic, m.cbShowMic); });
    b.Check(c_.cbComplex, m.cbMicComplex,
            [this, &m] { ShowSeries(st_.Series.sr_MicDye, m.cbMicComplex); });
    b.Check(c_.cbShowCMC, m.cbShowCMC, [this, &m] { ShowSeries(st_.Series.sr_CMC, m.cbShowCMC); });
    b.Check(c_.cbIngoreSNA, m.cbIngoreSNA);
    b.Radio(c_.rbC0, c_.rbCT, m.rbC0);
    auto show = [&st](MicellarEdit e) {
        return [&st, e] { return QString::fromStdString(MicellarEditText(st, e)); };
    };
    auto number = [&st](MicellarEdit e) {
        return [&st, e](double v) { AcceptMicellarValue(st, e, v, st.Composition.Count()); };
    };
    auto whole = [&st](MicellarEdit e) {
        return [&st, e](int v) { AcceptMicellarValue(st, e, v, st.Composition.Count()); };
    };
    b.Integer(c_.edNDet, show(MicellarEdit::NDet), whole(MicellarEdit::NDet));
    b.Number(c_.edMic, show(MicellarEdit::Mic), number(MicellarEdit::Mic));
    b.Number(c_.edCMC, show(MicellarEdit::CMC), number(MicellarEdit::CMC));
    b.Integer(c_.edOM, show(MicellarEdit::OM), whole(MicellarEdit::OM));
    b.Number(c_.edCMCL, show(MicellarEdit::CMCL), number(MicellarEdit::CMCL));
    b.Number(c_.edCMCR, show(MicellarEdit::CMCR), number(MicellarEdit::CMCR));
    b.Integer(c_.edCMCC, show(MicellarEdit::CMCC), whole(MicellarEdit::CMCC));
    b.Integer(c_.edCMCW, show(MicellarEdit::CMCW), whole(MicellarEdit::CMCW));
    OnSignal(c_.BitBtn1, &QPushButton::clicked, [&st] {
        st.CompChanged = false;
        st.Events.Emit(EngineEventKind::UpdateMainInfo);
    });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { close(); });
}

void MicellarWindow::ShowSettings()
{
    const bool idle = !st_.Running;
    for (QWidget* w :
         std::initializer_list<QWidget*>{c_.cbSDS, c_.edNDet, c_.edOM, c_.edMic, c_.edCMC})
        w->setEnabled(idle);
    Binder().Refresh();
}

void MicellarWindow::ShowSeries(ChartSeries& series, bool checked)
{
    series.active = checked && !st_.DetectorView;
    RedrawGraph(st_);
}

void MicellarWindow::FocusSeries(QCheckBox* box)
{
    if (!chart_ || !st_.cbSDS || !MicellarProfileReady(st_)) return;
    chart_->SetAutoY(false);
    RunSeries& s = st_.Series;
    const ChartSeries& series = box == c_.cbShowCMC   ? s.sr_CMC
                                : box == c_.cbShowMic ? s.sr_mic
                                                      : s.sr_MicDye;
    if (!box->isChecked()) return;
    const std::optional<AxisRange> range = FitValueRange(ChartLine(st_, series));
    if (!range) return;
    chart_->SetRangeY(range->lower, range->upper);
    chart_->SetAutoX(true);
    chart_->RequestReplot();
}

bool MicellarWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        auto* box = qobject_cast<QCheckBox*>(watched);
        if (box) Guarded([&] { FocusSeries(box); });
    }
    return QWidget::eventFilter(watched, event);
}

void MicellarWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) Guarded([this] { ShowSettings(); });
}

MicellarWindow* InstallMicellarWindow(QMainWindow& main, RunState& st)
{
    auto* window = new MicellarWindow(st, main.findChild<ChartView*>("Graph"), &main);
    AddWindowEntry(*ToolsMenu(main), "SDS", "SDS1", window)->setVisible(false);
    st.SDS1_Visible = false;
    return window;
}
