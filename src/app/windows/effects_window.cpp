#include "app/windows/effects_window.h"

#include "app/kit/qt_dialogs.h"
#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/effects/effects_mode.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/state/run_state.h"
#include "engine/step/run_series.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>

#include <string>

namespace {

template <class T>
T* Named(T* w, const char* name)
{
    w->setObjectName(name);
    return w;
}

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

EffectsWindow::EffectsWindow(RunState& st, QWidget* parent)
    : QWidget(parent, Qt::Window), StateWindow(this), st_(st)
{
    setObjectName("fmEffects");
    setWindowTitle("CE Effects");
    BuildControls();
    resize(960, 600);

    CapillaryEffects& fx = st_.effects();  // the window's own record
    StateBinder& b = Binder();
    b.afterChange = [this] { RefreshForm(); };
    b.Check(c_.cbS, fx.cbS, [&fx] {
        if (!fx.cbS) fx.cbSvol = false;
    });
    b.Check(c_.cbMix, fx.cbMix);
    b.Check(c_.cbH, fx.cbH);
    b.Check(c_.cbT, fx.cbT);
    b.Check(c_.cbSvol, fx.cbSvol, [&fx] {
        if (fx.cbSvol) fx.cbS = true;
    });
    b.Check(c_.cbEOF, fx.cbEOF);
    b.Radio(c_.rbD, c_.rbS, fx.rbD);
    b.Radio(c_.rbH, c_.rbP, fx.rbH);
    b.Radio(c_.rbPK_pos, c_.rbPK_neg, fx.rbPK_pos);
    b.Check(c_.cbAccT, fx.cbAccT);
    b.Check(c_.cbTEOF, fx.cbTEOF);
    b.Check(c_.cbDiffusion, fx.cbDiffusion);
    b.Check(c_.cbAllStac, fx.cbAllStac);
    b.Check(c_.cbMixE, fx.cbMixE);
    EditCommitter* seg = b.Integer(
        c_.edNSeg, [this] { return QString::number(segCountEdit_); },
        [this](int n) {
            if (n >= 1) segCountEdit_ = n;
        });
    seg->onEscape = [this] {
        c_.bnClose->setFocus(Qt::OtherFocusReason);
        RefreshForm();
    };
    seg->onEnter = [this] { c_.bnRe->setFocus(Qt::OtherFocusReason); };

    OnSignal(c_.bnCreate, &QPushButton::clicked, [this] { bnCreateClick(); });
    OnSignal(c_.bnRe, &QPushButton::clicked, [this] { RefreshForm(); });
    OnSignal(c_.bnDefault, &QPushButton::clicked, [this] { bnDefaultClick(); });
    OnSignal(c_.bnClear, &QPushButton::clicked, [this] { bnClearClick(); });
    OnSignal(c_.bnUse, &QPushButton::clicked, [this] { bnUseClick(); });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { close(); });
    OnSignal(c_.cbTemplate, &QComboBox::activated, [this](int index) { cbTemplateSelect(index); });
    OnSignal(c_.sgData, &QTableWidget::itemChanged,
             [this](QTableWidgetItem* item) { CellEdited(item); });
    OnSignal(c_.cbStayOnTop, &QCheckBox::toggled, [this](bool on) {
        const bool shown = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (shown) show();
    });
    c_.sgData->viewport()->installEventFilter(this);
    c_.sgData->installEventFilter(this);
    RefreshForm();
}

void EffectsWindow::BuildControls()
{
    auto box = [this](const char* name, const char* caption) {
        return Named(new QCheckBox(caption, this), name);
    };
    auto radio = [this](const char* name, const char* caption) {
        return Named(new QRadioButton(caption, this), name);
    };
    c_.cbS = box("cbS", "Various Cross-Section");
    c_.cbMix = box("cbMix", "Mixing");
    c_.cbMix->setToolTip("Different performace if checked Variable Cross-section (better error)");
    c_.cbH = box("cbH", "Heating");
    c_.cbT = box("cbT", "Initial Temperature Profile");
    c_.cbSvol = box("cbSvol", "Dual Cross-Section (E, Vol)");
    c_.cbSvol->setEnabled(false);
    c_.cbEOF = box("cbEOF", "Dynanic vEOF (pH, E)");
    c_.rbD = radio("rbD", "Diameter (ID)");
    c_.rbS = radio("rbS", "Cross-Section (S)");
    c_.rbH = radio("rbH", "hOA (Cylindrical shape only)");
    c_.rbP = radio("rbP", "p(V) (Volume heating factor)");
    c_.rbP->setToolTip("dT = p(V)*P/L/S; S is cross-section ");
    c_.rbPK_pos = radio("rbPK_pos", "+1");
    c_.rbPK_neg = radio("rbPK_neg", "-1");
    c_.cbAccT = box("cbAccT", "Simplified Heating");
    c_.cbTEOF = box("cbTEOF", "Enable Thermal vEOF");
    c_.cbDiffusion = box("cbDiffusion", "Enable Thermal Diffusion");
    c_.cbSeparatedEOF = box("cbSeparatedEOF", "Separated EOF Segments");
    c_.cbSeparatedEOF->setEnabled(false);
    c_.cbEOFT = box("cbEOFT", "uEOF - T Dependendence");
    c_.cbEOFT->setEnabled(false);
    c_.cbAllStac = box("cbAllStac", "Stationary Concentrations");
    c_.cbMixE = box("cbMixE", "E(x) dependence in Mixing");
    c_.cbStayOnTop = box("cbStayOnTop", "Stay On Top");
    c_.llCapLength = Named(new QLabel(this), "llCapLength");
    c_.llDia = Named(new QLabel(this), "llDia");
    c_.sgData = Named(new QTableWidget(this), "sgData");
    c_.sgData->setToolTip("<Double Right Click> ... Set cell value to ALL");
    c_.sgData->horizontalHeader()->hide();
    c_.sgData->verticalHeader()->hide();
    c_.sbData = Named(new QScrollArea(this), "sbData");
    c_.sbData->setWidgetResizable(true);
    c_.sbData->setWidget(c_.sgData);
    c_.sbData->hide();
    c_.edNSeg = Named(new QLineEdit(this), "edNSeg");
    c_.bnCreate = Named(new QPushButton("Create", this), "bnCreate");
    c_.bnRe = Named(new QPushButton("Re&fresh Table", this), "bnRe");
    c_.cbTemplate = Named(new QComboBox(this), "cbTemplate");
    c_.cbTemplate->setToolTip("Use segmentation of previously created constituents");
    c_.bnDefault = Named(new QPushButton("Default", this), "bnDefault");
    c_.bnClear = Named(new QPushButton("Clear", this), "bnClear");
    c_.bnUse = Named(new QPushButton("&ReInitiate", this), "bnUse");
    c_.bnClose = Named(new QPushButton("&Close", this), "bnClose");

    auto group = [this](const char* name, const char* title,
                        std::initializer_list<QWidget*> items) {
        auto* g = Named(new QGroupBox(title, this), name);
        auto* l = new QVBoxLayout(g);
        for (QWidget* w : items) l->addWidget(w);
        return g;
    };
    auto* top = new QHBoxLayout;
    top->addWidget(
        group("gbModes", "Use Modes", {c_.cbS, c_.cbMix, c_.cbH, c_.cbT, c_.cbSvol, c_.cbEOF}));
    top->addWidget(group("gbS", "Cross-Section Input", {c_.rbD, c_.rbS}));
    top->addWidget(group("gbH", "Heating Coefficient Input", {c_.rbH, c_.rbP}));
    top->addWidget(group("gbEOF", "Charge of EOF pK", {c_.rbPK_pos, c_.rbPK_neg}));
    auto* switches = new QGridLayout;
    int k = 0;
    for (QWidget* w :
         {static_cast<QWidget*>(c_.cbAccT), static_cast<QWidget*>(c_.cbTEOF),
          static_cast<QWidget*>(c_.cbDiffusion), static_cast<QWidget*>(c_.cbSeparatedEOF),
          static_cast<QWidget*>(c_.cbEOFT), static_cast<QWidget*>(c_.cbAllStac),
          static_cast<QWidget*>(c_.cbMixE), static_cast<QWidget*>(c_.cbStayOnTop)})
        switches->addWidget(w, k / 4, k % 4), ++k;
    auto* commands = new QHBoxLayout;
    commands->addWidget(new QLabel("# Segments", this));
    for (QWidget* w : {static_cast<QWidget*>(c_.edNSeg), static_cast<QWidget*>(c_.bnCreate),
                       static_cast<QWidget*>(c_.bnRe), static_cast<QWidget*>(c_.cbTemplate),
                       static_cast<QWidget*>(c_.bnDefault), static_cast<QWidget*>(c_.bnClear),
                       static_cast<QWidget*>(c_.bnUse), static_cast<QWidget*>(c_.bnClose)})
        commands->addWidget(w);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(switches);
    main->addWidget(c_.llCapLength);
    main->addWidget(c_.llDia);
    main->addWidget(c_.sbData, 1);
    main->addLayout(commands);
}

void EffectsWindow::RefreshForm()
{
    RunState& st = st_;
    for (QCheckBox* b : {c_.cbTEOF, c_.cbDiffusion}) {
        QFont f = b->font();
        f.setStrikeOut(st.cbAccT);
        b->setFont(f);
    }
    const bool mm = st.XScale == 1000;
    c_.llCapLength->setText(Text(
        "Capillary Length = " + FloatToStr(st.CapLengthPending * st.XScale) + (mm ? " mm" : " m")));
    const double d = st.CapDiameter;
    c_.llDia->setText(Text(d >= 0.001 ? "Capillary Diameter = " + FloatToStr(d * 1000) + " mm"
                                      : "Capillary Diameter = " + FloatToStr(d * 1e6) + " um"));
    c_.cbTemplate->clear();
    c_.cbTemplate->addItem("Choose Template Constituent");
    for (const auto* node = st.Composition.Head(); node; node = node->next)
        c_.cbTemplate->addItem(Text(node->data.name));
    c_.cbTemplate->setCurrentIndex(0);
    RefreshEffectsGrid(st);
    ShowGrid();
    Binder().Refresh();
}

void EffectsWindow::ShowGrid()
{
    RunState& st = st_;
    const bool shown =
        st.sbData_Visible && st.SegCount >= 1 && static_cast<int>(st.Grid.size()) == kEffectsRows;
    c_.sbData->setVisible(shown);
    if (!shown) return;
    showing_ = true;
    const int cols = st.SegCount + 2;
    c_.sgData->setRowCount(kEffectsRows);
    c_.sgData->setColumnCount(cols);
    for (int r = 0; r < kEffectsRows; ++r)
        for (int c = 0; c < cols; ++c) {
            QTableWidgetItem* item = c_.sgData->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                c_.sgData->setItem(r, c, item);
            }
            const std::string& text =
                c < static_cast<int>(st.Grid[r].size()) ? st.Grid[r][c] : std::string();
            item->setText(Text(text));
            // Titles, lengths and the computed row of each input pair take no input.
            const bool computed =
                c >= 2 && (r == (st.rbD ? kRowS : kRowID) || r == (st.rbH ? kRowP : kRowHOA));
            const bool fixed = r == 0 || c == 0 || (r == kRowRatio && c == 1) || computed;
            item->setFlags(fixed ? Qt::ItemIsEnabled
                                 : Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        }
    showing_ = false;
}

void EffectsWindow::CellEdited(QTableWidgetItem* item)
{
    if (showing_ || !item) return;
    RunState& st = st_;
    const int r = item->row(), c = item->column();
    if (r < 0 || r >= static_cast<int>(st.Grid.size()) || c < 0 ||
        c >= static_cast<int>(st.Grid[r].size()))
        return;
    st.Grid[r][c] = item->text().toStdString();
    // A ratio that is no number is reported once, at the edit that made it.
    const int bad = RefreshEffectsGrid(st);
    if (bad && r == kRowRatio) {
        c_.sgData->setCurrentCell(kRowRatio, bad);
        ShowWarning(kEffectsRatioError + std::to_string(bad));
    }
    // The copy the project stores follows every edit, so no typed value is lost.
    StoreEffectsTable(st.effects());
    ShowGrid();
}

void EffectsWindow::bnCreateClick()
{
    CreateEffectsGrid(st_, segCountEdit_);
    RefreshForm();
}

void EffectsWindow::bnDefaultClick()
{
    if (st_.SegCount < 1) return;
    DefaultEffectsGrid(st_);
    RefreshForm();
}

void EffectsWindow::bnClearClick()
{
    if (st_.SegCount < 1) return;
    ClearEffectsGrid(st_);
    StoreEffectsTable(st_.effects());
    ShowGrid();
}

void EffectsWindow::cbTemplateSelect(int index)
{
    if (index < 1) return;
    const auto* node = st_.Composition.Head();
    for (int k = 1; k < index && node; ++k) node = node->next;
    if (!node) return;
    const TComponents& rec = node->data;
    // Only a constituent laid out in segments has ratios to take.
    if (!rec.gradient || rec.zones < 1 || static_cast<int>(rec.ratio.size()) <= rec.zones) return;
    segCountEdit_ = rec.zones;
    CreateEffectsGrid(st_, rec.zones);
    for (int k = 1; k <= rec.zones; ++k)
        st_.Grid[kRowRatio][k + 1] = EffectsNumberText(rec.ratio[k]);
    RefreshForm();
    StoreEffectsTable(st_.effects());
}

void EffectsWindow::CopyCellToAll(int row, int column)
{
    RunState& st = st_;
    if (st.SegCount < 1 || row < 1 || row >= static_cast<int>(st.Grid.size())) return;
    const int cols = st.SegCount + 2;
    if (column >= static_cast<int>(st.Grid[row].size())) return;
    const std::string value = st.Grid[row][column];
    if (column == 1 && row >= kRowID) {
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = value;
    } else if (column >= 2) {
        for (int c = 2; c < cols; ++c) st.Grid[row][c] = value;
    }
    RefreshForm();
}

void EffectsWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) Guarded([this] { RefreshForm(); });
}

bool EffectsWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Keys of the grid (an open cell editor takes its own): Esc leaves for
    // Close, Enter refreshes the lengths and conversions.
    if (watched == c_.sgData && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape: c_.bnClose->setFocus(Qt::OtherFocusReason); return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: Guarded([this] { RefreshForm(); }); return true;
        default: break;
        }
    }
    if (watched == c_.sgData->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::RightButton) {
            const QModelIndex index = c_.sgData->indexAt(me->position().toPoint());
            if (index.isValid()) Guarded([&] { CopyCellToAll(index.row(), index.column()); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EffectsWindow::bnUseClick()
{
    RunState& st = st_;
    if (!st.Initialised || !st.Arr.Allocated()) return;
    if (!ApplyEffects(st)) ShowWarning(kEffectsInvalid);
    if (!st.cbH && !st.cbT) ReferenceMobilities(st);
    // As after Init: the default cross-sections and the uniform-section flag.
    SetDefaultCrossSections(st);
    FillSectionSeries(st);
    RunSeries& s = st.Series;
    const EngineArrays& a = st.Arr;
    for (ChartSeries* p : {&s.sr_mix, &s.sr_S, &s.sr_T, &s.sr_pi}) p->Clear();
    for (int n = 0; n < a.Nn; ++n) {
        const double x = NodeX(st, n);
        s.sr_mix.Add(x, a.Mix[n]);
        s.sr_S.Add(x, a.S[n] * 1e9);
        s.sr_T.Add(x, a.T(2)[n] - 273.15);
        s.sr_pi.Add(x, a.HeatP[n] * 1e9);
    }
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
}

EffectsWindow* InstallEffectsWindow(QMainWindow& main, RunState& st)
{
    auto* window = new EffectsWindow(st, &main);
    window->hide();
    // A hidden entry of the menu bar, ahead of the Help menu.
    QAction* help = nullptr;
    for (QAction* a : main.menuBar()->actions())
        if (a->text().remove('&') == "Help") help = a;
    auto* entry = new QAction("CE-Effects", main.menuBar());
    main.menuBar()->insertAction(help, entry);
    entry->setObjectName("CEEffects1");
    entry->setVisible(false);
    ConnectGuarded(entry, &QAction::triggered, window, [window] {
        window->RefreshForm();
        window->show();
        window->raise();
    });
    return window;
}
