#include "composition/constituent_editor.h"

#include "composition/cmp_file.h"
#include "composition/database.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// Value of `charge` in row `row` of an old record's table: 0 when the charge
// lies outside the old limits or the row or position does not exist.
double OldValue(const TComponents& old, const TComponents::RowTable& t, int row, int charge)
{
    if (charge < old.minCharge || charge > old.maxCharge) return 0.0;
    if (row < 1 || static_cast<std::size_t>(row) >= t.size()) return 0.0;
    const auto& r = t[row];
    const int pos = charge - old.minCharge;
    if (pos < 0 || static_cast<std::size_t>(pos) >= r.size()) return 0.0;
    return r[pos];
}

bool HasRows(const TComponents::RowTable& t)
{
    return t.size() >= 2 && !t[1].empty();
}

double Entry(const std::vector<double>& v, int i)
{
    return i >= 0 && static_cast<std::size_t>(i) < v.size() ? v[i] : 0.0;
}

std::string HexColour(TColor c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(c));
    return buf;
}

// Rows of the new record: count rows, each charge from row `sourceRow(i)` of the old.
template <class F>
void FillRows(TComponents::RowTable& dst, int rows, const TComponents& nw, const TComponents& old,
              const TComponents::RowTable& src, F sourceRow)
{
    dst.assign(static_cast<std::size_t>(rows) + 1, {});
    for (int i = 1; i <= rows; ++i) {
        dst[i].assign(static_cast<std::size_t>(nw.FormCount()), 0.0);
        for (int z = nw.minCharge; z <= nw.maxCharge; ++z)
            if (z != 0) dst[i][z - nw.minCharge] = OldValue(old, src, sourceRow(i), z);
    }
}

// Charges of the charge-form grid rows 1..: minCharge..-1, 1..maxCharge.
int ChargeOfRow(const TComponents& c, int row)
{
    const int z = c.minCharge + row - 1;
    return z >= 0 ? z + 1 : z;
}

// Columns of the pKa and u values of segment row `seg` in the charge-form grid.
int PKaColumn(int mode, int seg)
{
    switch (mode) {
    case 4: return 1 + seg;
    case 5: return 2 * seg - 1;
    default: return 1;
    }
}
int UColumn(int mode, int seg)
{
    switch (mode) {
    case 3: return 1 + seg;
    case 4: return 1;
    case 5: return 2 * seg;
    default: return 2;
    }
}

std::string Num(double v)
{
    return FloatToStr(v);
}

// Larger segment counts and charge magnitudes than kMaxZones and
// kMaxChargeMagnitude are refused like unreadable entries, with a warning
// (every segment and charge form is a grid column or row and an array entry).

std::string LengthText(double ratio, double sum, double capLength)
{
    if (!(sum > 0)) return "0";
    const double v = ratio / sum * capLength * 1000;
    if (!std::isfinite(v)) return "-";
    return Num(RoundD(v, 6));
}

std::string Round6(double v)
{
    return std::isfinite(v) ? Num(RoundD(v, 6)) : Num(v);
}

// The ranges of the editor's fields beside the shared ones.
constexpr FieldRange kChargeRange{-kMaxChargeMagnitude, kMaxChargeMagnitude, true, true};
constexpr FieldRange kZoneRange{1, kMaxZones, true, true};
constexpr FieldRange kColourRange{0, 0x7FFFFFFF, true, true};
constexpr FieldRange kBindingRange{0, std::numeric_limits<double>::max(), false};
// pK values whose constants 10^-pK are normal finite numbers.
constexpr FieldRange kRatioRange{-std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::max()};

// A typed whole number of `range` into `field`; other text is refused with a warning.
void TakeWhole(const char* name, const std::string& text, const FieldRange& range, int& field)
{
    double v = 0;
    if (TakeTyped(name, text, range, v)) field = static_cast<int>(v);
}

}  // namespace

ConstituentEditor::ConstituentEditor(RunState& state) : st_(state)
{
    // FillLists: first colour, type BGE, pending shape, then an applied neutral record.
    WorkComp.colour = static_cast<int>(NewColour());
    WorkComp.type = 1;
    EditZones = 5;
    EditMinCharge = EditMaxCharge = 0;
    ListsFilled = true;
    Clear();
}

// ----- field edits --------------------------------------------------------

void ConstituentEditor::EditName(const std::string& text)
{
    WorkComp.name = text;
    Refresh();
}

void ConstituentEditor::EditConcentration(const std::string& text)
{
    TakeTyped("Concentration [mM]", text, kConcentrationRange, WorkComp.c);
    Refresh();
}

void ConstituentEditor::EditConcInj(const std::string& text)
{
    TakeTyped("C(Injection) [mM]", text, kConcentrationRange, WorkComp.cInj);
    Refresh();
}

void ConstituentEditor::EditMinChargeText(const std::string& text)
{
    int v = EditMinCharge;
    TakeWhole("Neg", text, kChargeRange, v);
    EditMinCharge = -std::abs(v);
    UpdateApplyButtons();
    Refresh();
}

void ConstituentEditor::EditMaxChargeText(const std::string& text)
{
    int v = EditMaxCharge;
    TakeWhole("Pos", text, kChargeRange, v);
    EditMaxCharge = std::abs(v);
    UpdateApplyButtons();
    Refresh();
}

void ConstituentEditor::EditColour(const std::string& text)
{
    TakeWhole("Colour", text, kColourRange, WorkComp.colour);
    Refresh();
}

void ConstituentEditor::SetColour(TColor colour)
{
    WorkComp.colour = static_cast<int>(colour & 0x7FFFFFFF);
    Refresh();
}

void ConstituentEditor::SetType(int type)
{
    if (type >= 0 && type <= 3) WorkComp.type = static_cast<std::uint8_t>(type);
    Refresh();
}

void ConstituentEditor::EditZoneCount(const std::string& text)
{
    TakeWhole("No. of Segments", text, kZoneRange, EditZones);
    UpdateApplyButtons();
    Refresh();
}

void ConstituentEditor::SetGradient(bool on)
{
    cbGradient = on;
    if (on && EditZones < 1) EditZones = 1;
    UpdateApplyButtons();
    Refresh();
}

void ConstituentEditor::SetGradPKa(bool on)
{
    cbGradPKa = on && cbGradient;
    UpdateApplyButtons();
    Refresh();
}

void ConstituentEditor::SetGradU(bool on)
{
    cbGradU = on && cbGradient;
    UpdateApplyButtons();
    Refresh();
}

void ConstituentEditor::EditMicA(const std::string& text)
{
    TakeTyped("u(mic-A) [1e-9]", text, {0, kMobilityRange.high}, WorkComp.uMicA);
    Refresh();
}

void ConstituentEditor::EditMicApK(const std::string& text)
{
    double k;
    if (TakeTyped("K(mic-A) (M-1)", text, kBindingRange, k)) WorkComp.pKMicA = -std::log10(k);
    Refresh();
}

// ----- view ---------------------------------------------------------------

bool ConstituentEditor::BoxesMatchMode(int mode) const
{
    switch (mode) {
    case 1: return !cbGradient && !cbGradPKa && !cbGradU;
    case 2: return cbGradient && !cbGradPKa && !cbGradU;
    case 3: return cbGradient && !cbGradPKa && cbGradU;
    case 4: return cbGradient && cbGradPKa && !cbGradU;
    case 5: return cbGradient && cbGradPKa && cbGradU;
    default: return false;
    }
}

void ConstituentEditor::SetBoxesFromMode(int mode)
{
    cbGradient = mode >= 2;
    cbGradPKa = mode == 4 || mode == 5;
    cbGradU = mode == 3 || mode == 5;
}

void ConstituentEditor::SetRowsEnabled(bool apply, bool cancel)
{
    view_.applyEnabled = apply;
    view_.cancelEnabled = cancel;
}

void ConstituentEditor::UpdateApplyButtons()
{
    if (AppliedMode == 0) {
        SetRowsEnabled(true, false);
    } else if (EditZones != AppliedZones || EditMinCharge != AppliedMinCharge ||
               EditMaxCharge != AppliedMaxCharge) {
        SetRowsEnabled(true, true);
    } else if (AppliedMode == 1) {
        SetRowsEnabled(cbGradient, cbGradient);
    } else {
        const bool differ = !BoxesMatchMode(AppliedMode);
        SetRowsEnabled(differ, differ);
    }
}

void ConstituentEditor::Refresh()
{
    EditorView& v = view_;
    v.restoreEnabled = st_.CompChanged;
    if (WorkComp.name.empty()) WorkComp.name = DefaultName();
    v.name = WorkComp.name;
    TColor shown = static_cast<TColor>(WorkComp.colour);
    if (shown == Env.ChartBackground) shown = NewColour();
    v.colour = HexColour(shown);
    v.colourBack = shown;
    v.colourText = ContrastColor(shown);
    v.concentration = Num(WorkComp.c);
    v.concInj = Num(WorkComp.cInj);
    v.micA = Num(WorkComp.uMicA);
    v.micApK = Num(std::pow(10.0, -WorkComp.pKMicA));
    v.minCharge = std::to_string(EditMinCharge);
    v.maxCharge = std::to_string(EditMaxCharge);
    v.zoneCount = std::to_string(EditZones);
    v.type = WorkComp.type;
    v.micVisible = Env.MicellarMode;
    v.tableEnabled = WorkComp.tableCount >= 1;
    v.tableVisible = Env.InitialDistributionVisible || v.tableEnabled;
    if (!cbGradient) cbGradPKa = cbGradU = false;
    v.segmentBoxesEnabled = cbGradient;
    v.gradient = cbGradient;
    v.gradPKa = cbGradPKa;
    v.gradU = cbGradU;
    const bool zonesMatch = AppliedMode < 2 || EditZones == AppliedZones;
    const bool shapeMatches = AppliedMode != 0 && BoxesMatchMode(AppliedMode) && zonesMatch &&
                              EditMinCharge == AppliedMinCharge &&
                              EditMaxCharge == AppliedMaxCharge;
    v.delAllTablesVisible = true;
    if (shapeMatches) {
        const bool neutral = WorkComp.minCharge == 0 && WorkComp.maxCharge == 0;
        v.showC = AppliedMode >= 2;
        v.showZ = !neutral;
        v.showNeutral = neutral;
        v.showMessage = false;
    } else {
        v.showC = v.showZ = v.showNeutral = false;
        v.showMessage = true;
        v.delAllTablesVisible = false;
    }
}

// ----- apply, grids --------------------------------------------------------

void ConstituentEditor::Apply()
{
    ReadGrids(false);
    AllocNewComp();
    BuildGrids();
    RatiosToLengths();
    if (ListsFilled) Refresh();
}

void ConstituentEditor::AllocNewComp()
{
    TComponents old = WorkComp;
    if (!HasRows(old.pKa)) old.pKa = {{}, {0.0}};
    if (!HasRows(old.u)) old.u = {{}, {0.0}};
    TComponents& w = WorkComp;
    w.pKa.clear();
    w.u.clear();
    w.c_grad.clear();
    w.ratio.clear();
    if (!cbGradient) {
        w.gradient = w.gradPKa = w.gradU = false;
        w.minCharge = EditMinCharge;
        w.maxCharge = EditMaxCharge;
        w.zones = 1;
        AppliedMode = 1;
        if (EditMinCharge == 0 && EditMaxCharge == 0) {
            AppliedMinCharge = AppliedMaxCharge = 0;
            return;
        }
        FillRows(w.pKa, 1, w, old, old.pKa, [](int) { return 1; });
        FillRows(w.u, 1, w, old, old.u, [](int) { return 1; });
        AppliedMinCharge = EditMinCharge;
        AppliedMaxCharge = EditMaxCharge;
        return;
    }
    if (EditZones < 1) {
        ShowWarning("TfmAdd::AllocNewComp>>zones < 1");
        EditZones = 1;
    }
    w.gradient = true;
    w.zones = AppliedZones = EditZones;
    w.minCharge = AppliedMinCharge = EditMinCharge;
    w.maxCharge = AppliedMaxCharge = EditMaxCharge;
    w.c_grad.assign(static_cast<std::size_t>(w.zones) + 1, 0.0);
    w.ratio.assign(static_cast<std::size_t>(w.zones) + 1, 0.0);
    for (int i = 1; i <= w.zones; ++i) {
        const bool keep = old.gradient && i <= old.zones;
        w.c_grad[i] = keep ? Entry(old.c_grad, i) : 0.0;
        w.ratio[i] = keep ? Entry(old.ratio, i) : 1.0;
    }
    const int oz = old.zones;
    const bool oldPK = old.gradient && old.gradPKa, oldU = old.gradient && old.gradU;
    auto one = [](int) { return 1; };
    if (!cbGradPKa && !cbGradU) {
        FillRows(w.pKa, 1, w, old, old.pKa, one);
        FillRows(w.u, 1, w, old, old.u, one);
        AppliedMode = 2;
    } else if (cbGradU && !cbGradPKa) {
        FillRows(w.pKa, 1, w, old, old.pKa, one);
        FillRows(w.u, w.zones, w, old, old.u, [&](int i) { return oldU && i <= oz ? i : 1; });
        AppliedMode = 3;
    } else if (cbGradPKa && !cbGradU) {
        FillRows(w.pKa, w.zones, w, old, old.pKa, [&](int i) { return oldPK && i <= oz ? i : 1; });
        FillRows(w.u, 1, w, old, old.u, one);
        AppliedMode = 4;
    } else {
        auto both = [&](int i) { return oldPK && oldU && i <= oz ? i : 1; };
        FillRows(w.pKa, w.zones, w, old, old.pKa, both);
        FillRows(w.u, w.zones, w, old, old.u, both);
        AppliedMode = 5;
    }
    w.gradPKa = cbGradPKa;
    w.gradU = cbGradU;
}

void ConstituentEditor::BuildGrids()
{
    SetRowsEnabled(false, false);
    TComponents& w = WorkComp;
    view_.concEnabled = !w.gradient;
    if (w.gradient) {
        if (EditZones < 1) {
            ShowWarning("TfmAdd::bnApplyClick>>zones < 1");
            EditZones = 1;
        }
        if (w.zones < EditZones) {  // a record short of segments is padded
            w.c_grad.resize(static_cast<std::size_t>(EditZones) + 1, 0.0);
            w.ratio.resize(static_cast<std::size_t>(EditZones) + 1, 1.0);
        }
        sgC.Reset(EditZones + 1, 3);
        sgC.SetCell(0, 0, "Length (mm)");
        sgC.SetCell(0, 1, "Ratio");
        sgC.SetCell(0, 2, "c (mM)");
        double sum = 0;
        for (int i = 1; i <= EditZones; ++i) sum += Entry(w.ratio, i);
        if (sum == 0) {
            for (int i = 1; i <= EditZones && static_cast<std::size_t>(i) < w.ratio.size(); ++i)
                w.ratio[i] = 1.0;
            sum = EditZones;
        }
        for (int i = 1; i <= EditZones; ++i) {
            sgC.SetCell(i, 0, LengthText(Entry(w.ratio, i), sum, st_.CapLength));
            sgC.SetCell(i, 1, Round6(Entry(w.ratio, i)));
            sgC.SetCell(i, 2, Num(Entry(w.c_grad, i)));
        }
    } else {
        sgC.Reset(0, 0);
    }
    const int mode = AppliedMode;
    const int zones = w.zones > 0 ? w.zones : 1;
    int cols = 3;
    if (mode == 3 || mode == 4) cols = 2 + zones;
    if (mode == 5) cols = 1 + 2 * zones;
    const int rows = w.maxCharge - w.minCharge + 1;
    sgZ.Reset(cols, rows);
    if (w.minCharge == 0 && w.maxCharge == 0) return;
    sgZ.SetCell(0, 0, "charge");
    const int pkRows = mode == 4 || mode == 5 ? zones : 1;
    const int uRows = mode == 3 || mode == 5 ? zones : 1;
    for (int s = 1; s <= pkRows; ++s) sgZ.SetCell(PKaColumn(mode, s), 0, "pKa");
    for (int s = 1; s <= uRows; ++s) sgZ.SetCell(UColumn(mode, s), 0, "u (10e-9)");
    for (int r = 1; r < rows; ++r) {
        const int z = ChargeOfRow(w, r);
        sgZ.SetCell(0, r, std::to_string(z));
        for (int s = 1; s <= pkRows; ++s) sgZ.SetCell(PKaColumn(mode, s), r, Num(w.PKaOf(s, z)));
        for (int s = 1; s <= uRows; ++s) sgZ.SetCell(UColumn(mode, s), r, Num(w.UOf(s, z)));
    }
}

bool ConstituentEditor::ReadGrids(bool forAccept)
{
    if (AppliedMode < 1) return false;
    Selection = {};
    TComponents& w = WorkComp;
    const int mode = AppliedMode;
    const int zones = w.zones > 0 ? w.zones : 1;
    // Reads one cell into `target`; false when Accept must stop there (the
    // cell is named in the warning).
    auto cell = [&](StringGrid& g, GridSelection::Grid which, int col, int row, double& target,
                    double fallback, const FieldRange& range) {
        std::string text = g.Cell(col, row);
        ToLocalDecimal(text);
        g.SetCell(col, row, text);
        double v;
        if (ReadDouble(text, v) && InRange(range, v)) {
            target = v;
            return true;
        }
        if (forAccept) {
            Selection = {which, col, row};
            const std::string column = g.Cell(col, 0), line = g.Cell(0, row);
            ShowWarning(FieldRefusedText(which == GridSelection::Z
                                             ? column + " of charge " + line
                                             : line + " of segment " + std::to_string(col),
                                         text, range));
            return false;
        }
        target = fallback;
        return true;
    };
    const FieldRange mobility = kMobilityRange;
    const bool neutral = w.minCharge == 0 && w.maxCharge == 0;
    if (!neutral) {
        const int pkRows = mode >= 4 ? zones : 1;
        const int uRows = mode == 3 || mode == 5 ? zones : 1;
        w.pKa.resize(static_cast<std::size_t>(std::max(pkRows, 1)) + 1);
        w.u.resize(static_cast<std::size_t>(std::max(uRows, 1)) + 1);
        for (int r = 1; r < w.FormCount(); ++r) {
            const int z = ChargeOfRow(w, r);
            const auto pos = static_cast<std::size_t>(z - w.minCharge);
            for (int s = 1; s <= pkRows; ++s) {
                w.pKa[s].resize(static_cast<std::size_t>(w.FormCount()), 0.0);
                if (!cell(sgZ, GridSelection::Z, PKaColumn(mode, s), r, w.pKa[s][pos], 0.0,
                          kPKRange))
                    return false;
            }
            for (int s = 1; s <= uRows; ++s) {
                w.u[s].resize(static_cast<std::size_t>(w.FormCount()), 0.0);
                if (!cell(sgZ, GridSelection::Z, UColumn(mode, s), r, w.u[s][pos], 0.0, mobility))
                    return false;
            }
        }
    }
    if (mode > 1 && w.gradient) {
        w.ratio.resize(static_cast<std::size_t>(zones) + 1, 1.0);
        w.c_grad.resize(static_cast<std::size_t>(zones) + 1, 0.0);
        for (int s = 1; s <= zones; ++s) {
            if (!cell(sgC, GridSelection::C, s, 1, w.ratio[s], 1.0, kRatioRange)) return false;
            if (!cell(sgC, GridSelection::C, s, 2, w.c_grad[s], 0.0, kConcentrationRange))
                return false;
        }
    }
    if (!w.gradient && w.type == 1 && w.c == 0)
        w.type = 0;
    else if (!w.gradient && w.type == 0 && w.c != 0)
        w.type = 1;
    return true;
}

bool ConstituentEditor::RatiosToLengths()
{
    if (AppliedMode <= 1) return true;
    const int n = std::min(EditZones, sgC.ColCount() - 1);
    double sum = 0;
    std::vector<double> ratios(static_cast<std::size_t>(n > 0 ? n : 0) + 1, 0.0);
    for (int i = 1; i <= n; ++i) {
        std::string text = sgC.Cell(i, 1);
        ToLocalDecimal(text);
        double v;
        if (!ReadDouble(text, v) || !std::isfinite(v)) {
            Selection = {GridSelection::C, i, 1};
            ShowWarning("Ratio Input Error: Incorrect Number Entry in Column No. " +
                        std::to_string(i));
            for (int k = 1; k <= n; ++k) sgC.SetCell(k, 0, "-");
            return false;
        }
        if (v < 0) {
            v = -v;
            sgC.SetCell(i, 1, Num(v));
        }
        ratios[i] = v;
        sum += v;
    }
    for (int i = 1; i <= n; ++i) sgC.SetCell(i, 0, LengthText(ratios[i], sum, st_.CapLength));
    return true;
}

// ----- accept, cancel, clear ----------------------------------------------

bool ConstituentEditor::Accept()
{
    if (AppliedMode == 0) {
        ShowWarning("Error: Arrays aren't initialized");
        return false;
    }
    if (!ReadGrids(true)) return false;
    if (st_.Initialised) st_.CompChanged = true;
    WorkComp.mode = AppliedMode;
    bool replaced = false;
    for (auto* n = st_.Composition.Head(); n && !replaced; n = n->next)
        if (n->data.name == WorkComp.name) {
            n->data = WorkComp;
            replaced = true;
        }
    if (!replaced) st_.Composition.Add(WorkComp);
    Clear();
    Refresh();
    return true;
}

void ConstituentEditor::Cancel()
{
    EditZones = AppliedZones;
    EditMinCharge = AppliedMinCharge;
    EditMaxCharge = AppliedMaxCharge;
    Refresh();
    if (AppliedMode != 0) {
        SetRowsEnabled(false, false);
        SetBoxesFromMode(AppliedMode);
        Refresh();
    }
}

void ConstituentEditor::Clear()
{
    WorkComp = TComponents();
    WorkComp.zones = EditZones = 5;
    WorkComp.type = 1;
    WorkComp.colour = static_cast<int>(NewColour());
    WorkComp.mode = AppliedMode = 0;
    EditMinCharge = EditMaxCharge = 0;
    cbGradient = cbGradPKa = cbGradU = false;
    Refresh();
    Apply();
}

void ConstituentEditor::LoadIntoEditor(const TComponents& rec)
{
    if (rec.gradient) EditZones = rec.zones;
    EditMinCharge = rec.minCharge;
    EditMaxCharge = rec.maxCharge;
    cbGradient = rec.gradient;
    cbGradPKa = rec.gradient && rec.gradPKa;
    cbGradU = rec.gradient && rec.gradU;
    WorkComp = rec;
    AppliedMode = rec.mode;
    AppliedMinCharge = EditMinCharge;
    AppliedMaxCharge = EditMaxCharge;
    AppliedZones = rec.zones;
    BuildGrids();
    Refresh();
}

// ----- colours and names ---------------------------------------------------

TColor ConstituentEditor::NewColour() const
{
    static constexpr TColor fixed[] = {0x0000FF, 0xFF0000, 0x008000, 0x800080, 0x137EC6,
                                       0x01DBFA, 0x808000, 0x00FF00, 0x7ECCF5, 0xB49432};
    // Series colours of the main chart: pH, conductivity (black), voltage (maroon),
    // current (olive), temperature (green), micelle-bound dye.
    static constexpr TColor series[] = {15827199, 0x000000, 0x000080, 0x008080, 0x008000, 4194432};
    TColor cand = 0;
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        if (attempt <= 10) {
            cand = fixed[attempt - 1];
        } else {
            const TColor r = static_cast<TColor>(std::rand() % 256);
            const TColor g = static_cast<TColor>(std::rand() % 256);
            const TColor b = static_cast<TColor>(std::rand() % 256);
            cand = r + 256 * g + 65536 * b;
        }
        bool taken =
            cand == Env.SimColor || cand == Env.DetColor || cand >= 0xFFFFFF || cand == 0xFFFF00;
        for (TColor s : series) taken = taken || cand == s;
        for (const auto* n = st_.Composition.Head(); n && !taken; n = n->next)
            taken = static_cast<TColor>(n->data.colour) == cand;
        if (!taken) return cand;
    }
    return cand;
}

std::string ConstituentEditor::DefaultName() const
{
    for (int k = 1;; ++k) {
        const std::string name = "Constituent " + std::to_string(k);
        bool used = false;
        for (const auto* n = st_.Composition.Head(); n && !used; n = n->next)
            used = n->data.name == name;
        if (!used) return name;
    }
}

// ----- template, tables, pick ---------------------------------------------

std::vector<std::string> ConstituentEditor::TemplateItems() const
{
    std::vector<std::string> items{kTemplateFirstItem};
    for (const auto* n = st_.Composition.Head(); n; n = n->next) items.push_back(n->data.name);
    return items;
}

void ConstituentEditor::ChooseTemplate(int item)
{
    if (item < 1 || item > st_.Composition.Count()) return;
    const TComponents t = st_.Composition[item];
    EditZones = t.zones;
    cbGradient = t.gradient;
    cbGradPKa = t.gradient && t.gradPKa;
    cbGradU = t.gradient && t.gradU;
    Apply();
    if (WorkComp.gradient)
        for (int i = 1; i <= EditZones; ++i) sgC.SetCell(i, 1, Round6(Entry(t.ratio, i)));
    WorkComp.type = t.type;
    Refresh();
    RatiosToLengths();
}

void ConstituentEditor::ApplyToAll()
{
    if (!Confirm(
            "Apply segment distribution to all others constituents (where number of segment matches)?"))
        return;
    ReadGrids(false);
    if (!WorkComp.gradient) return;
    for (auto* n = st_.Composition.Head(); n; n = n->next) {
        TComponents& c = n->data;
        if (!c.gradient || c.zones != WorkComp.zones) continue;
        c.ratio.resize(static_cast<std::size_t>(c.zones) + 1, 0.0);
        for (int i = 1; i <= c.zones; ++i) c.ratio[i] = Entry(WorkComp.ratio, i);
    }
}

void ConstituentEditor::DeleteTable()
{
    if (WorkComp.tableCount > 0 && Confirm("Delete Table Data?")) {
        WorkComp.table.clear();
        WorkComp.tableCount = 0;
    }
    Refresh();
}

void ConstituentEditor::DeleteAllTables()
{
    if (!Confirm("Are you sure to DELETE table-defined profiles of ALL constituents?")) return;
    WorkComp.table.clear();
    WorkComp.tableCount = 0;
    for (auto* n = st_.Composition.Head(); n; n = n->next) {
        n->data.table.clear();
        n->data.tableCount = 0;
    }
    Refresh();
}

void ConstituentEditor::Pick(const TUnivSet<TComponents>& database, int item)
{
    if (item < 0 || item >= database.Count()) return;
    TComponents entry = database[item + 1];
    entry.colour = static_cast<int>(NewColour());
    entry.type = 1;
    entry.mode = 1;
    if (AppliedMode <= 1) {
        LoadIntoEditor(entry);
        return;
    }
    ReadGrids(false);
    EditMinCharge = AppliedMinCharge = entry.minCharge;
    EditMaxCharge = AppliedMaxCharge = entry.maxCharge;
    AllocNewComp();
    TComponents& w = WorkComp;
    w.name = entry.name;
    w.colour = entry.colour;
    for (int z = w.minCharge; z <= w.maxCharge; ++z) {
        if (z == 0) continue;
        const auto pos = static_cast<std::size_t>(z - w.minCharge);
        for (std::size_t r = 1; r < w.pKa.size(); ++r)
            if (pos < w.pKa[r].size()) w.pKa[r][pos] = entry.PKaOf(1, z);
        for (std::size_t r = 1; r < w.u.size(); ++r)
            if (pos < w.u[r].size()) w.u[r][pos] = entry.UOf(1, z);
    }
    BuildGrids();
    Refresh();
    SetRowsEnabled(false, false);
}

// ----- list operations ------------------------------------------------------

void ConstituentEditor::AfterListChange()
{
    WorkComp.name = DefaultName();
    WorkComp.colour = static_cast<int>(NewColour());
    if (st_.Initialised) st_.CompChanged = true;
    Refresh();
}

bool ConstituentEditor::EditRow(int r)
{
    if (r < 1 || r > st_.Composition.Count()) {
        ShowWarning("Index is out of range");
        return false;
    }
    LoadIntoEditor(st_.Composition[r]);
    return true;
}

bool ConstituentEditor::DeleteRow(int r)
{
    if (r < 1 || r > st_.Composition.Count()) return false;
    st_.Composition.RemoveNode(r);
    AfterListChange();
    return true;
}

bool ConstituentEditor::DeleteAll()
{
    if (!Confirm("Are you sure to DELETE ALL constituents?\n")) return false;
    st_.Composition.Empty();
    if (st_.Initialised) st_.CompChanged = true;
    Refresh();
    return true;
}

void ConstituentEditor::Restore()
{
    RestoreInitComposition(st_);
    Refresh();
}

bool ConstituentEditor::OpenComposition(const std::string& fileName)
{
    st_.CompChanged = true;
    bool ok = false;
    try {
        ok = ReadComposition(st_, fileName);
    } catch (const Exception& e) {
        ShowWarning(e.Message());
    }
    Refresh();
    return ok;
}

bool ConstituentEditor::SaveComposition(const std::string& fileName)
{
    try {
        return WriteComposition(st_.Composition, fileName);
    } catch (const Exception& e) {
        ShowWarning(e.Message());
        return false;
    }
}

bool ConstituentEditor::OpenDatabase(const std::string& fileName)
{
    DatabaseAvailable = ReadDatabase(fileName, st_.Database);
    if (!DatabaseAvailable) ShowWarning("DATABASE isn't accessible.");
    return DatabaseAvailable;
}

int RowFromAnswer(const std::string& text, int count)
{
    int r;
    if (!ReadInt(text, r)) return 0;
    return r >= 1 && r <= count ? r : 0;
}
