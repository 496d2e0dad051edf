#include "app/windows/complex_window.h"

#include "app/kit/qt_convert.h"
#include "app/kit/tool_windows.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "foundation/numtext.h"
#include "tools/complex_table.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
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
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

std::string S(const QString& s)
{
    return s.toStdString();
}

int EditInt(QLineEdit* e)
{
    int v = 0;
    return ReadInt(S(e->text()), v) ? v : 0;
}

// Refusals one to a line, shown together once.
void AddRefusal(std::string& refusals, const std::string& refusal)
{
    if (!refusal.empty()) refusals += (refusals.empty() ? "" : "\n") + refusal;
}

}  // namespace

ComplexWindow::ComplexWindow(RunState& st, std::function<bool()> runInit, QWidget* parent)
    : QDialog(parent), StateWindow(this), st_(st), runInit_(std::move(runInit))
{
    setObjectName("fmComplex");
    setWindowTitle("Complex");
    setModal(true);
    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    auto edit = [this](const char* name, const char* text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(name);
        return e;
    };
    auto group = [this](const char* name, const char* title) {
        auto* g = new QGroupBox(title, this);
        g->setObjectName(name);
        return g;
    };
    c_.gbComplex = group("gbComplex", "Complex Setup");
    c_.bnOpenData = button("bnOpenData", "Open");
    c_.bnSave = button("bnSave", "Save");
    c_.bnGenerate = button("bnGenerate", "Reset Default");
    c_.bnIS = button("bnIS", "Apply IS");
    c_.cbComplex = new QCheckBox("Enable Complex Mode", this);
    c_.cbComplex->setObjectName("cbComplex");
    auto* setup = new QHBoxLayout(c_.gbComplex);
    for (QWidget* w : {static_cast<QWidget*>(c_.bnOpenData), static_cast<QWidget*>(c_.bnSave),
                       static_cast<QWidget*>(c_.bnGenerate), static_cast<QWidget*>(c_.bnIS),
                       static_cast<QWidget*>(c_.cbComplex)})
        setup->addWidget(w);

    c_.gbChange = group("gbChange", "Change Ligand nL && pL");
    c_.edN = edit("edN", "");
    c_.edP = edit("edP", "");
    c_.bnApply = button("bnApply", "Apply");
    auto* change = new QGridLayout(c_.gbChange);
    change->addWidget(new QLabel("nL", this), 0, 0);
    change->addWidget(c_.edN, 0, 1);
    change->addWidget(new QLabel("pL", this), 1, 0);
    change->addWidget(c_.edP, 1, 1);
    change->addWidget(c_.bnApply, 2, 1);

    c_.gbTemplate = group("gbTemplate", "Complexation Defaults");
    c_.edPKx = edit("edPKx", "30");
    c_.edUx = edit("edUx", "25");
    auto* tmpl = new QGridLayout(c_.gbTemplate);
    tmpl->addWidget(new QLabel("pKx (M^-1)", this), 0, 0);
    tmpl->addWidget(c_.edPKx, 0, 1);
    tmpl->addWidget(new QLabel("ux (1e-9)", this), 1, 0);
    tmpl->addWidget(c_.edUx, 1, 1);

    c_.gbWater = group("gbWater", "Water Constants");
    c_.edPKW = edit("edPKW", "14");
    c_.edUH = edit("edUH", "362.5");
    c_.edUOH = edit("edUOH", "205.5");
    auto* water = new QGridLayout(c_.gbWater);
    water->addWidget(new QLabel("pKw (M^2)", this), 0, 0);
    water->addWidget(c_.edPKW, 0, 1);
    water->addWidget(new QLabel("uH (1e-9)", this), 1, 0);
    water->addWidget(c_.edUH, 1, 1);
    water->addWidget(new QLabel("uOH (1e-9)", this), 2, 0);
    water->addWidget(c_.edUOH, 2, 1);

    c_.sgTable = new QTableWidget(this);
    c_.sgTable->setObjectName("sgTable");
    c_.sgTable->horizontalHeader()->hide();
    c_.sgTable->verticalHeader()->hide();
    c_.sgTable->horizontalHeader()->setDefaultSectionSize(64);
    c_.bnClose = button("bnClose", "Close");

    auto* top = new QHBoxLayout;
    for (QGroupBox* g : {c_.gbChange, c_.gbTemplate, c_.gbWater}) top->addWidget(g);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(c_.gbComplex);
    layout->addLayout(top);
    layout->addWidget(c_.sgTable, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(c_.bnClose);
    layout->addLayout(bottom);

    chooseOpenFile = [this] { return QFileDialog::getOpenFileName(this, "Open", {}, "*.txt"); };
    chooseSaveFile = [this] {
        QFileDialog dialog(this, "Save", {}, "*.txt");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("txt");
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles()[0]
                   : QString();
    };

    // The switch changes only through the confirmation; a change made by the
    // program runs the same handler as one made by the user.
    Binder().CheckRefusable(c_.cbComplex, st_.complexation().cbComplex,
                            [this] { return cbComplexClick(); });
    c_.cbComplex->installEventFilter(this);
    OnSignal(c_.bnOpenData, &QPushButton::clicked, [this] { bnOpenDataClick(); });
    OnSignal(c_.bnSave, &QPushButton::clicked, [this] { bnSaveClick(); });
    OnSignal(c_.bnGenerate, &QPushButton::clicked, [this] {
        if (st_.Composition.Count() >= 2) DefaultData();
        FillTable();
    });
    OnSignal(c_.bnIS, &QPushButton::clicked, [this] { bnISClick(); });
    OnSignal(c_.bnApply, &QPushButton::clicked, [this] {
        TableToData();
        FillTable();
    });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] {
        TableToData();
        close();
    });
    Refresh();
}

ComplexWindow::~ComplexWindow() = default;

void ComplexWindow::Refresh()
{
    Binder().Refresh();
}

void ComplexWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Guarded([this] {
        Refresh();
        // A table loaded while the window was closed (with a project) brings
        // its ligand charges.
        if (st_.TxtTable != shown_) MirrorLigandCharges();
        if (st_.TxtTable.empty() && st_.Composition.Count() >= 2) {
            DefaultData();
            ShowMessage(kComplexTableAdjusted);
        }
        FillTable();
        shown_ = st_.TxtTable;
    });
}

void ComplexWindow::hideEvent(QHideEvent* event)
{
    // The grid goes into the run's table however the window is left, so that
    // Init and the project file find what the window showed.
    Guarded([this] {
        TableToData();
        shown_ = st_.TxtTable;
    });
    QDialog::hideEvent(event);
}

void ComplexWindow::MirrorLigandCharges()
{
    if (st_.TxtTable.empty()) return;
    const auto& first = st_.TxtTable[0];
    c_.edN->setText(first.size() > 0 ? Q(first[0]) : QString());
    c_.edP->setText(first.size() > 1 ? Q(first[1]) : QString());
}

bool ComplexWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != c_.cbComplex) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            c_.cbComplex->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
            Guarded([this] { ConfirmComplexMode(); });
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Space) break;
        if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
            Guarded([this] { ConfirmComplexMode(); });
        return true;
    default: break;
    }
    return QDialog::eventFilter(watched, event);
}

void ComplexWindow::ConfirmComplexMode()
{
    const bool on = c_.cbComplex->isChecked();
    if (!on && st_.TxtTable.empty()) {
        ShowWarning("Complex Mode: No text file with input values loaded!");
        return;
    }
    if (Confirm("Complex (Action Confirmation): Do you want to check/uncheck complex mode?"))
        c_.cbComplex->setChecked(!on);
}

bool ComplexWindow::cbComplexClick()
{
    // Switched off after an Init, the run goes back to standard mode through
    // an Init; when that does not succeed (refused by the guard or by its own
    // checks, or failed), the switch shows the mode the run keeps.
    if (!st_.cbComplex && st_.InitDone && runInit_ && !runInit_()) return false;
    st_.ComplexReady = false;
    // The composition panel numbers the ligand "L" in complexation mode.
    st_.Events.Emit(EngineEventKind::UpdateMainInfo);
    return true;
}

void ComplexWindow::bnOpenDataClick()
{
    const std::string name = S(chooseOpenFile());
    if (name.empty()) return;
    if (!FileExists(name)) {
        ShowWarning("File \"" + name + "\" not found.");
        fileName_.clear();
        return;
    }
    fileName_ = name;
    LoadData(name);
}

void ComplexWindow::bnSaveClick()
{
    if (st_.Composition.Count() < 2) {
        ShowWarning("Complex: Enter a ligand constituent and at least one analyte.");
        return;
    }
    const std::string name = S(chooseSaveFile());
    if (name.empty()) return;
    if (FileExists(name) && !ConfirmOverwrite(name)) return;
    fileName_ = name;
    SaveData(name);
}

void ComplexWindow::LoadData(const std::string& name)
{
    LoadComplexData(st_, name);
    MirrorLigandCharges();
    FillTable();
    shown_ = st_.TxtTable;
    st_.Events.Emit(EngineEventKind::UpdateMainInfo);  // the ligand's charges in the panel
}

void ComplexWindow::SaveData(const std::string& name)
{
    TableToData();
    if (!SaveComplexData(st_, name)) ShowWarning("Error: Can't create a new file");
}

void ComplexWindow::bnISClick()
{
    if (st_.Composition.Count() == 0) {
        ShowWarning("Insufficint number of constituents.");
        return;
    }
    // The corrected values come from an Init of their own: what the Init
    // would refuse is refused before the question.
    if (initRefused && initRefused()) return;
    if (!Confirm("This will change pKa and ionic mobilities using IS of most right point.\n"
                 "Both Complex table and Composition list will be changed.\n\nContinue?"))
        return;
    // Init with the correction and without complexation: the corrected
    // constants and mobilities of every form at the last node.
    const bool complexOn = st_.cbComplex;
    const bool isOn = st_.cbIS;
    st_.cbComplex = false;
    st_.cbIS = true;
    bool ran = false;
    try {
        ran = runInit_ && runInit_();
    } catch (...) {
        st_.cbIS = isOn;
        st_.cbComplex = complexOn;
        throw;
    }
    if (!ran) {
        // Nothing was computed: the switches and the run stay as they were.
        st_.cbIS = isOn;
        st_.cbComplex = complexOn;
        st_.Events.Emit(EngineEventKind::UpdateMainInfo);
        Refresh();
        return;
    }
    EngineArrays& a = st_.Arr;
    const bool ready = st_.Initialised && a.Allocated() && a.NComp == st_.Composition.Count();
    if (ready) {
        const int last = st_.NX;
        auto six = [](double v) { return std::isfinite(v) && v != 0 ? RoundD(v, 6) : v; };
        int i = 1;
        for (auto* n = st_.Composition.Head(); n; n = n->next, ++i) {
            TComponents& c = n->data;
            // Only the forms the run has.
            const int lo = std::max(c.minCharge, a.ZMin[i]), hi = std::min(c.maxCharge, a.ZMax[i]);
            for (int z = lo; z <= hi; ++z) {
                if (z == 0) continue;
                const int k = z - a.ZMin[i];
                const double pKa = six(3.0 - std::log10(a.KForm(i, k)[last]));
                const double u = six(a.UForm(i, k)[last] * 1e9);
                for (auto& row : c.pKa)
                    if (static_cast<int>(row.size()) > z - c.minCharge)
                        row[static_cast<std::size_t>(z - c.minCharge)] = pKa;
                for (auto& row : c.u)
                    if (static_cast<int>(row.size()) > z - c.minCharge)
                        row[static_cast<std::size_t>(z - c.minCharge)] = u;
            }
        }
        const double kw = st_.ISCorrection ? st_.KwIS : st_.Kw;
        c_.edPKW->setText(Q(FloatToStr(six(2 * 3 - std::log10(kw)))));
        c_.edUH->setText(Q(FloatToStr(six(a.UForm(a.HIndex(), 1)[last] * 1e9))));
        c_.edUOH->setText(Q(FloatToStr(six(a.UForm(a.OHIndex(), 0)[last] * 1e9))));
        // The ligand's row of the grid, when the grid shows its charge range.
        const TComponents& ligand = st_.Composition.Head()->data;
        QTableWidget* g = c_.sgTable;
        const int nL = EditInt(c_.edN), pL = EditInt(c_.edP);
        if (nL == ligand.minCharge && pL == ligand.maxCharge && g->rowCount() > 2 &&
            g->columnCount() == pL - nL + 2)
            for (int z = nL; z <= pL; ++z) {
                if (z == 0) continue;
                const int col = z - nL + 1;
                if (QTableWidgetItem* item = g->item(1, col))
                    item->setText(Q(FloatToStr(ligand.PKaOf(1, z))));
                if (QTableWidgetItem* item = g->item(2, col))
                    item->setText(Q(FloatToStr(ligand.UOf(1, z))));
            }
        st_.CompChanged = true;
    }
    st_.cbIS = false;
    st_.ISCorrection = false;
    st_.cbComplex = complexOn;
    st_.Events.Emit(EngineEventKind::UpdateMainInfo);
    Refresh();
}

void ComplexWindow::LigandCharges(int& nL, int& pL, std::string& refusals)
{
    QLineEdit* edits[2] = {c_.edN, c_.edP};
    int z[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        std::string text = S(edits[k]->text().trimmed());
        const std::string refusal = ComplexTypedRefusal(1, k + 1, 0, 0, 0, st_.Composition, text);
        if (!refusal.empty()) {
            AddRefusal(refusals, refusal);
            const ComplexRow first = st_.TxtTable.empty() ? ComplexRow{} : st_.TxtTable[0];
            const bool kept =
                first.size() == 2 && ComplexLigandChargeTakes(first[static_cast<std::size_t>(k)]);
            text = kept ? std::string(first[static_cast<std::size_t>(k)]) : "0";
            edits[k]->setText(Q(text));
        }
        ReadInt(text, z[k]);
    }
    nL = z[0];
    pL = z[1];
}

std::string ComplexWindow::TemplateText(int k, std::string& refusals)
{
    QLineEdit* edit = k ? c_.edUx : c_.edPKx;
    const std::string text = S(edit->text().trimmed());
    // The defaults fill whole lines: a number the set-up uses as it stands,
    // as a field of the pKx line (6) or the ux line (7) of one analyte form.
    if (ComplexFieldClean(k ? 7 : 6, 1, 7, text)) {
        template_[k] = text;
    } else {
        AddRefusal(refusals,
                   ComplexValueRefusal(
                       std::string(k ? "ux (1e-9)" : "pKx (M^-1)") + " of the defaults", text));
        edit->setText(Q(template_[k]));
    }
    return template_[k];
}

void ComplexWindow::DefaultData()
{
    if (st_.Composition.Count() < 2) return;
    std::string refusals;
    const std::string pKx = TemplateText(0, refusals), ux = TemplateText(1, refusals);
    if (!refusals.empty()) ShowWarning(refusals);
    c_.edPKW->setText("14");
    c_.edUH->setText("362.5");
    c_.edUOH->setText("205.5");
    TakeComplexTable(st_, DefaultComplexTable(st_.Composition, pKx, ux), st_.Composition);
    c_.edN->setText(Q(st_.TxtTable[0][0]));
    c_.edP->setText(Q(st_.TxtTable[0][1]));
}

void ComplexWindow::FillTable()
{
    QTableWidget* g = c_.sgTable;
    if (st_.TxtTable.empty() || st_.Composition.Count() < 2) {
        g->hide();
        return;
    }
    std::string refusals;
    int nL = 0, pL = 0;
    LigandCharges(nL, pL, refusals);
    if (nL > pL) nL = pL;
    c_.edN->setText(QString::number(nL));
    c_.edP->setText(QString::number(pL));
    const auto& water = st_.TxtTable.size() >= 4 ? st_.TxtTable[3] : ComplexRow{};
    QLineEdit* edits[3] = {c_.edPKW, c_.edUH, c_.edUOH};
    for (std::size_t k = 0; k < 3 && k < water.size(); ++k) edits[k]->setText(Q(water[k]));
    for (int k = 0; k < 3; ++k) water_[k] = S(edits[k]->text().trimmed());

    const std::string pKx = TemplateText(0, refusals), ux = TemplateText(1, refusals);
    if (!refusals.empty()) ShowWarning(refusals);
    // Each analyte's values go with its constituent, wherever it now stands.
    const ComplexGrid grid = ComplexGridFromTable(ComplexTableOnto(st_, st_.Composition, pKx, ux),
                                                  nL, pL, st_.Composition, pKx, ux);
    filled_ = grid;
    gridNL_ = nL;
    gridPL_ = pL;
    const int forms = ComplexFormCount(st_.Composition);
    g->clear();
    g->setRowCount(static_cast<int>(grid.size()));
    g->setColumnCount(static_cast<int>(grid[0].size()));
    for (int r = 0; r < g->rowCount(); ++r)
        for (int c = 0; c < g->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(
                Q(grid[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
            const bool fixed = r == 0 || c == 0 || r == ComplexGridPKxTitleRow() ||
                               r == ComplexGridUxTitleRow(forms);
            if (fixed) item->setFlags(Qt::ItemIsEnabled);
            g->setItem(r, c, item);
        }
    g->show();
    FitToTable();
    if (g->rowCount() != static_cast<int>(st_.TxtTable.size())) ShowMessage(kComplexTableAdjusted);
}

void ComplexWindow::FitToTable()
{
    QTableWidget* g = c_.sgTable;
    g->resizeColumnToContents(0);
    g->resizeRowsToContents();
    if (!isVisible()) return;
    int w = 2 * g->frameWidth(), h = 2 * g->frameWidth();
    for (int c = 0; c < g->columnCount(); ++c) w += g->columnWidth(c);
    for (int r = 0; r < g->rowCount(); ++r) h += g->rowHeight(r);
    if (layout()) layout()->activate();
    QSize target = size() + QSize(std::max(0, w - g->viewport()->width() - 2 * g->frameWidth()),
                                  std::max(0, h - g->viewport()->height() - 2 * g->frameWidth()));
    if (const QScreen* s = screen()) {
        // The frame of the window stays on the screen too.
        const QSize frame = frameGeometry().size() - size();
        target = target.boundedTo(s->availableGeometry().size() - frame);
    }
    resize(target.expandedTo(size()));
}

void ComplexWindow::TableToData()
{
    QTableWidget* g = c_.sgTable;
    if (g->isHidden() || g->rowCount() == 0) return;
    ComplexGrid grid(static_cast<std::size_t>(g->rowCount()),
                     std::vector<std::string>(static_cast<std::size_t>(g->columnCount())));
    for (int r = 0; r < g->rowCount(); ++r)
        for (int c = 0; c < g->columnCount(); ++c)
            if (const QTableWidgetItem* item = g->item(r, c))
                grid[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] =
                    S(item->text().trimmed());
    // A value typed that the table does not take goes back to what the cell
    // or edit showed, so it never reaches the table; the window says which,
    // once, in the grid's terms.
    std::string refusals;
    int nL = 0, pL = 0;
    LigandCharges(nL, pL, refusals);
    const std::string cells = RevertRefusedCells(grid, filled_, gridNL_, gridPL_, st_.Composition);
    AddRefusal(refusals, cells);
    for (int r = 0; !cells.empty() && r < g->rowCount(); ++r)
        for (int c = 0; c < g->columnCount(); ++c) {
            const std::string& text =
                grid[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            QTableWidgetItem* item = g->item(r, c);
            if (item && S(item->text().trimmed()) != text) item->setText(Q(text));
        }
    QLineEdit* edits[3] = {c_.edPKW, c_.edUH, c_.edUOH};
    std::string water[3];
    const int lines = 5 + 2 * ComplexFormCount(st_.Composition);
    for (int k = 0; k < 3; ++k) {
        water[k] = S(edits[k]->text().trimmed());
        const std::string refusal =
            water[k] == water_[k]
                ? ""
                : ComplexTypedRefusal(4, k + 1, lines, nL, pL, st_.Composition, water[k]);
        if (!refusal.empty()) {
            AddRefusal(refusals, refusal);
            water[k] = water_[k];
            edits[k]->setText(Q(water[k]));
        }
        water_[k] = water[k];
    }
    filled_ = grid;
    if (!refusals.empty()) ShowWarning(refusals);
    const ComplexTable table = ComplexTableFromGrid(grid, nL, pL, water[0], water[1], water[2],
                                                    st_.Composition.Count() - 1);
    // A table the window changed is one for the constituents it showed.
    if (table != st_.TxtTable) TakeComplexTable(st_, table, st_.Composition);
}

ComplexWindow* InstallComplexWindow(QMainWindow& main, RunState& st, std::function<bool()> runInit)
{
    auto* window = new ComplexWindow(st, std::move(runInit), &main);
    AddWindowEntry(*main.menuBar(), "Complex", "Complex1", window, [window, &st] {
        window->exec();
        st.Events.Emit(EngineEventKind::UpdateMainInfo);  // the panel shows the table's ligand
    });
    return window;
}
