// Complexation mode: the checks before a run and the constants built from the
// window's table.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

namespace {

// Field `col` (1-based) of table line `line` (1-based); empty when absent.
std::string TableField(const ComplexTable& t, int line, int col)
{
    if (line < 1 || line > static_cast<int>(t.size())) return {};
    const auto& fields = t[static_cast<std::size_t>(line - 1)];
    if (col < 1 || col > static_cast<int>(fields.size())) return {};
    return fields[static_cast<std::size_t>(col - 1)];
}

// A number of the table; false (value untouched) when the field is missing,
// no number, or not finite.
bool TableNumber(const ComplexTable& t, int line, int col, double& value)
{
    double v = 0;
    if (!ReadDouble(TableField(t, line, col), v) || !std::isfinite(v)) return false;
    value = v;
    return true;
}

int TableInt(const ComplexTable& t, int line, int col)
{
    int v = 0;
    return ReadInt(TableField(t, line, col), v) ? v : 0;
}

// 10^x that stays finite: a constant beyond the double range is a table error.
bool FinitePow10(double x, double& value)
{
    const double v = std::pow(10.0, x);
    if (!std::isfinite(v) || v <= 0) return false;
    value = v;
    return true;
}

std::string Entry(int line, int col)
{
    return std::to_string(line) + " (col = " + std::to_string(col) + ")\n";
}

// A mobility field x 1e-9: a bad field gives 3e-8, a negative one is made
// positive; both add an entry.
double TableMobility(const ComplexTable& t, int line, int col, std::string& errors)
{
    double v = 0;
    if (!TableNumber(t, line, col, v)) {
        errors += Entry(line, col);
        return 3e-8;
    }
    if (v < 0) {
        errors += Entry(line, col);
        v = -v;
    }
    return v * 1e-9;
}

}  // namespace

ComplexData& ComplexArrays(RunState& st)
{
    return st.Engine.ModeState<ComplexData>();
}

double* ComplexWork(RunState& st, int level, int a, int f, int q)
{
    ComplexData& d = ComplexArrays(st);
    return d.Work[st.Arr.lvC[level]].data() + static_cast<std::size_t>(d.Row(a, f, q)) * d.Nn;
}

void ComplexFreeArrays(RunState& st)
{
    ComplexArrays(st) = ComplexData{};
    st.ComplexReady = false;
}

bool ComplexUsable(RunState& st)
{
    if (!st.ComplexReady || !st.Arr.Allocated()) return false;
    const ComplexData& d = ComplexArrays(st);
    const EngineArrays& a = st.Arr;
    if (d.NComp != a.NComp || d.Nn != a.Nn || d.Nanalytes != a.NComp - 1) return false;
    for (int k = 1; k <= d.Nanalytes; ++k)
        if (d.FormCount[static_cast<std::size_t>(k)] != a.Forms(k + 1)) return false;
    return true;
}

ComplexNumber ComplexNumberKind(int line, int col, int lines)
{
    switch (line) {
    case 1: return ComplexNumber::Charge;
    case 2: return ComplexNumber::PK;
    case 3: return ComplexNumber::Mobility;
    case 4: return col == 1 ? ComplexNumber::PK : ComplexNumber::Mobility;
    case 5: return ComplexNumber::Count;
    default: return line <= 5 + (lines - 5) / 2 ? ComplexNumber::PK : ComplexNumber::Mobility;
    }
}

bool ComplexNumberTakes(ComplexNumber kind, const std::string& text)
{
    double v = 0;
    if (!ReadDouble(text, v)) return true;
    const double a = std::fabs(v);
    if (!std::isfinite(v) || (a != 0 && a < std::numeric_limits<double>::min())) return false;
    switch (kind) {
    case ComplexNumber::PK: return a <= 300;
    case ComplexNumber::Mobility: return a <= 1e6;
    case ComplexNumber::Charge:
    case ComplexNumber::Count: return true;
    }
    return true;
}

ComplexTable WithTakenNumbers(ComplexTable table)
{
    const int lines = static_cast<int>(table.size());
    for (int line = 2; line <= lines; ++line) {
        auto& fields = table[static_cast<std::size_t>(line - 1)];
        for (int col = 1; col <= static_cast<int>(fields.size()); ++col) {
            ComplexField& f = fields[static_cast<std::size_t>(col - 1)];
            if (!ComplexFieldTakes(line, col, lines, f.view())) f = "None";
        }
    }
    return table;
}

bool ComplexFieldCarried(std::string_view text, int col)
{
    return !text.empty() && text.find_first_of("\t\r\n") == std::string_view::npos &&
           !(col == 1 && text[0] == '#');
}

bool ComplexLigandChargeTakes(const std::string& text)
{
    int z = 0;
    return ReadInt(text, z) && -kMaxLigandCharge <= z && z <= kMaxLigandCharge;
}

bool ComplexFieldTakes(int line, int col, int lines, std::string_view text)
{
    if (!ComplexFieldCarried(text, col)) return false;
    if (line == 1) return col > 2 || ComplexLigandChargeTakes(std::string(text));
    return ComplexNumberTakes(ComplexNumberKind(line, col, lines), std::string(text));
}

bool ComplexFieldClean(int line, int col, int lines, std::string_view text)
{
    double v = 0;
    if (!ComplexFieldTakes(line, col, lines, text) || !ReadDouble(std::string(text), v))
        return false;
    if (line == 4 && col > 1) return v > 0;
    return ComplexNumberKind(line, col, lines) != ComplexNumber::Mobility || v >= 0;
}

std::string ComplexTypedRefusal(int line, int col, int lines, int nL, int pL,
                                const TUnivSet<TComponents>& composition, std::string_view text)
{
    const bool taken = line == 1 ? ComplexLigandChargeTakes(std::string(text))
                                 : text.empty() || text == "None" || text == "-" ||
                                       ComplexFieldClean(line, col, lines, text);
    return taken
               ? ""
               : ComplexValueRefusal(ComplexFieldName(line, col, lines, nL, pL, composition), text);
}

std::string ComplexValueRefusal(const std::string& field, std::string_view text)
{
    // A value pasted from elsewhere may be long: the message shows its start.
    constexpr std::size_t kShown = 40;
    const std::string value =
        text.size() > kShown ? std::string(text.substr(0, kShown)) + "..." : std::string(text);
    return kComplexValue + ("\"" + value + "\" of " + field + ".");
}

bool ComplexLigandHasPKa(int nL, int pL, int z)
{
    return z != 0 && !(nL > 0 && z == nL) && !(pL < 0 && z == pL);
}

std::string ComplexLigandPKaName(int z)
{
    return "Free ligand pKa (M), zL = " + std::to_string(z);
}

std::string ComplexFieldName(int line, int col, int lines, int nL, int pL,
                             const TUnivSet<TComponents>& composition)
{
    const std::string zL = ", zL = " + std::to_string(nL + col - 1);
    switch (line) {
    case 1: return col == 1 ? "nL" : col == 2 ? "pL" : "nL, pL";
    case 2: {
        // The col-th charge with a constant; a field beyond them counts on.
        int z = nL, seen = 0;
        for (; z <= pL; ++z)
            if (ComplexLigandHasPKa(nL, pL, z) && ++seen == col) return ComplexLigandPKaName(z);
        return ComplexLigandPKaName(z + col - seen - 1);
    }
    case 3: return "Free ligand u (1e-9)" + zL;
    case 4: {
        static const char* const kWater[] = {"pKw (M^2)", "uH (1e-9)", "uOH (1e-9)"};
        return col >= 1 && col <= 3 ? kWater[col - 1] : "Water Constants";
    }
    case 5: return "Number of analytes";
    default: break;
    }
    // The analyte forms: the pKx lines, then the ux lines.
    const int forms = (lines - 5) / 2;
    int form = line - 6;
    const bool pK = form < forms;
    if (!pK) form -= forms;
    std::string title = "form " + std::to_string(form + 1);
    int k = 0, r = 0;
    for (const auto* n = composition.Head(); n; n = n->next, ++k)
        for (int z = n->data.minCharge; k > 0 && z <= n->data.maxCharge; ++z, ++r)
            if (r == form) title = n->data.name + "; z = " + std::to_string(z);
    return (pK ? "pKx (M^-1), " : "ux (1e-9), ") + title + zL;
}

std::size_t ComplexLigandForms(int nL, int pL)
{
    const bool ranged = -kMaxLigandCharge <= nL && nL <= pL && pL <= kMaxLigandCharge;
    return ranged ? static_cast<std::size_t>(pL - nL + 1) : 2 * kMaxLigandCharge + 1;
}

std::size_t ComplexLineFieldLimit(int line, std::size_t forms)
{
    return line == 1   ? 2
           : line == 2 ? std::max<std::size_t>(forms - 1, 1)
           : line == 4 ? 3
           : line == 5 ? 1
                       : forms;
}

std::string ComplexTableValuesRefusal(const ComplexTable& table,
                                      const TUnivSet<TComponents>& composition)
{
    if (table.empty()) return "";
    const auto& first = table.front();
    if (first.size() != 2) return kComplexLigandCharges;
    const int lines = static_cast<int>(table.size());
    for (int col = 1; col <= 2; ++col) {
        const std::string_view text = first[static_cast<std::size_t>(col - 1)].view();
        if (!ComplexFieldTakes(1, col, lines, text))
            return ComplexValueRefusal(col == 1 ? "nL" : "pL", text);
    }
    int nL = 0, pL = 0;
    ReadInt(first[0], nL);
    ReadInt(first[1], pL);
    const std::size_t forms = ComplexLigandForms(nL, pL);
    for (int line = 2; line <= lines; ++line) {
        const auto& fields = table[static_cast<std::size_t>(line - 1)];
        for (int col = 1; col <= static_cast<int>(fields.size()); ++col) {
            const std::string_view text = fields[static_cast<std::size_t>(col - 1)].view();
            if (static_cast<std::size_t>(col) > ComplexLineFieldLimit(line, forms) ||
                !ComplexFieldTakes(line, col, lines, text))
                return ComplexValueRefusal(ComplexFieldName(line, col, lines, nL, pL, composition),
                                           text);
        }
    }
    return "";
}

bool ComplexTableReadable(const ComplexTable& table)
{
    return ComplexTableValuesRefusal(table).empty();
}

namespace {
constexpr const char* kComplexNlAbovePl = "Complex Mode: nL > pL!";
constexpr const char* kComplexAnalyteCount =
    "Complex Mode: N_analyte do not match number of constituents!";
}  // namespace

std::string ComplexSetupRefusal(const ComplexTable& t, const TUnivSet<TComponents>& composition,
                                bool isCorrection)
{
    if (t.empty()) return "Complex Mode: No complex data!";
    if (isCorrection) return "Complex Mode: Not compatible with IS correction!";
    const int count = composition.Count();
    if (count < 2) return "Complex Mode: Enter a ligand constituent and at least one analyte.";
    long forms = 0;
    bool gradients = false;
    int k = 1;
    for (const auto* n = composition.Head(); n; n = n->next, ++k) {
        if (k >= 2) forms += n->data.maxCharge - n->data.minCharge + 1;
        gradients = gradients || n->data.gradPKa || n->data.gradU;
    }
    // A complete table has 5 + 2F lines: a line more (a repeated line, junk)
    // or less is no table of this composition.
    if (static_cast<long>(t.size()) != 5 + 2 * forms)
        return "Complex Mode: Number of analyte forms (composition) was changed - Set complex "
               "table.";
    if (gradients) return "Complex Mode: Not compatible with pKa or mobility gradients!";
    // Charges that are no integer ("abc", "nan", "1e400") or beyond any a
    // constituent may have are no table: named with their value.
    const ComplexRow& first = t.front();
    if (first.size() != 2) return kComplexLigandCharges;
    if (!ComplexLigandChargeTakes(first[0]) || !ComplexLigandChargeTakes(first[1]))
        return ComplexTableValuesRefusal(t, composition);
    const int nL = TableInt(t, 1, 1), pL = TableInt(t, 1, 2);
    if (pL < nL) return kComplexNlAbovePl;
    if (TableInt(t, 5, 1) != count - 1) return kComplexAnalyteCount;
    // The values by the rule the file's reader and the window hold them to.
    return ComplexTableValuesRefusal(t, composition);
}

ComplexTableConstituents ComplexConstituentsOf(const TUnivSet<TComponents>& composition)
{
    ComplexTableConstituents out;
    for (const auto* n = composition.Head(); n; n = n->next)
        out.push_back({n->data.name, n->data.minCharge, n->data.maxCharge});
    return out;
}

void TakeComplexTable(ComplexationSettings& cx, ComplexTable table,
                      const TUnivSet<TComponents>& composition)
{
    cx.TxtTable = std::move(table);
    cx.TxtTableFor = ComplexConstituentsOf(composition);
    cx.ComplexReady = false;
}

namespace {

long FormsOf(const ComplexTableConstituent& c)
{
    return static_cast<long>(c.maxCharge) - c.minCharge + 1;
}

// Analyte forms of a table for `owners` (every constituent after the ligand).
long ComplexForms(const ComplexTableConstituents& owners)
{
    long forms = 0;
    for (std::size_t k = 1; k < owners.size(); ++k) forms += FormsOf(owners[k]);
    return forms;
}

// Whether the table has the lines of a table for `owners`: a ligand and at
// least one analyte, 5 + 2F lines (F analyte forms) and the analyte count in
// line 5.
bool TableFor(const ComplexTable& t, const ComplexTableConstituents& owners)
{
    return owners.size() >= 2 && static_cast<long>(t.size()) == 5 + 2 * ComplexForms(owners) &&
           TableInt(t, 5, 1) == static_cast<int>(owners.size()) - 1;
}

// Lines 1 to 4 of a table (the ligand's and the water's); the lines a
// damaged table lacks: a neutral ligand, its values left to the set-up's
// defaults.
ComplexTable LigandLines(const ComplexTable& t)
{
    ComplexTable out(t.begin(), t.begin() + static_cast<long>(std::min<std::size_t>(t.size(), 4)));
    while (out.size() < 4) out.push_back(out.empty() ? ComplexRow{"0", "0"} : ComplexRow{"None"});
    return out;
}

// One field per ligand charge of line 1 (charges beyond any ligand's are the
// set-up's to refuse).
std::size_t LigandColumns(const ComplexTable& t)
{
    const long nL = TableInt(t, 1, 1), pL = TableInt(t, 1, 2);
    return static_cast<std::size_t>(std::clamp(pL - nL + 1, 1L, 2L * kMaxLigandCharge + 1));
}

// The pKx (section 0) or ux (section 1) line of form `form` of a table of
// `forms` forms, in the ligand charges of `into`: each field where its
// charge is, a charge the line lacks with `fill`.
ComplexRow FormLine(const ComplexTable& from, long forms, int section, long form,
                    const ComplexTable& into, const std::string& fill)
{
    const ComplexRow& line = from[static_cast<std::size_t>(5 + section * forms + form)];
    const int fromNL = TableInt(from, 1, 1), nL = TableInt(into, 1, 1);
    if (fromNL == nL && TableInt(from, 1, 2) == TableInt(into, 1, 2)) return line;
    ComplexRow out(LigandColumns(into), fill);
    for (std::size_t q = 0; q < out.size(); ++q) {
        const long at = nL + static_cast<long>(q) - fromNL;
        if (at >= 0 && at < static_cast<long>(line.size()))
            out[q] = line[static_cast<std::size_t>(at)];
    }
    return out;
}

// The table for `restored` from the lines of the table in use, made for
// `owners`, and those of the Init's table (null when it does not fit
// `restored`), the analytes' matched per constituent. The ligand's and the
// water's lines are those in use (the window keeps them whatever the first
// constituent is).
ComplexTable MatchedTable(const ComplexTable& inUse, const ComplexTableConstituents& owners,
                          const ComplexTable* init, const ComplexTableConstituents& restored,
                          const std::string& pKx = "30", const std::string& ux = "25")
{
    ComplexTable out = LigandLines(inUse);
    out.push_back({std::to_string(restored.size() - 1)});
    // Where each analyte's lines start in the table in use, and for each
    // analyte back the one of the table in use it is (0: none).
    std::vector<long> ownedFirst(owners.size(), 0);
    for (std::size_t j = 2; j < owners.size(); ++j)
        ownedFirst[j] = ownedFirst[j - 1] + FormsOf(owners[j - 1]);
    std::vector<std::size_t> match(restored.size(), 0);
    std::vector<bool> taken(owners.size(), false);
    for (std::size_t k = 1; k < restored.size(); ++k)
        for (std::size_t j = 1; j < owners.size() && !match[k]; ++j)
            if (!taken[j] && owners[j] == restored[k]) {
                match[k] = j;
                taken[j] = true;
            }
    const long ownedForms = ComplexForms(owners), initForms = ComplexForms(restored);
    for (int section = 0; section < 2; ++section) {
        const std::string& fill = section ? ux : pKx;
        long initFirst = 0;
        for (std::size_t k = 1; k < restored.size(); initFirst += FormsOf(restored[k]), ++k)
            for (long f = 0; f < FormsOf(restored[k]); ++f) {
                const std::size_t j = match[k];
                out.push_back(j ? FormLine(inUse, ownedForms, section, ownedFirst[j] + f, out, fill)
                              : init ? FormLine(*init, initForms, section, initFirst + f, out, fill)
                                     : ComplexRow(LigandColumns(out), fill));
            }
    }
    return out;
}

}  // namespace

bool ComplexTableFits(const ComplexTable& t, const TUnivSet<TComponents>& composition)
{
    return TableFor(t, ComplexConstituentsOf(composition));
}

ComplexTable ComplexTableAdjusted(const ComplexTable& t, const TUnivSet<TComponents>& composition,
                                  const std::string& pKx, const std::string& ux)
{
    const long forms = ComplexForms(ComplexConstituentsOf(composition));
    ComplexTable out = LigandLines(t);
    out.push_back({std::to_string(composition.Count() - 1)});
    const long tableForms = t.size() > 5 ? static_cast<long>(t.size() - 5) / 2 : 0;
    const std::size_t columns = LigandColumns(t);
    for (long section = 0; section < 2; ++section)
        for (long r = 0; r < forms; ++r)
            out.push_back(r < tableForms ? t[static_cast<std::size_t>(5 + section * tableForms + r)]
                                         : ComplexRow(columns, section ? ux : pKx));
    return out;
}

ComplexTable ComplexTableOnto(const ComplexationSettings& cx,
                              const TUnivSet<TComponents>& composition, const std::string& pKx,
                              const std::string& ux)
{
    const ComplexTableConstituents now = ComplexConstituentsOf(composition);
    if (now.size() < 2 || cx.TxtTableFor == now || !TableFor(cx.TxtTable, cx.TxtTableFor))
        return cx.TxtTable;
    return MatchedTable(cx.TxtTable, cx.TxtTableFor, nullptr, now, pKx, ux);
}

void ComplexTableAfterRestore(RunState& st, const ComplexTableConstituents& before)
{
    ComplexationSettings& cx = st.complexation();
    const TUnivSet<TComponents>& composition = st.Composition;
    const ComplexTableConstituents restored = ComplexConstituentsOf(composition);
    const ComplexTable& inUse = cx.TxtTable;
    const ComplexTable* init = !cx.TxtTableInit.empty() && TableFor(cx.TxtTableInit, restored)
                                   ? &cx.TxtTableInit
                                   : nullptr;
    // Whom the lines of the table in use are for: the constituents it was
    // taken for, else the composition it fits (the one back first, as Init
    // would read it).
    ComplexTableConstituents owners = cx.TxtTableFor;
    if (!TableFor(inUse, owners))
        owners = TableFor(inUse, restored) ? restored
                 : TableFor(inUse, before) ? before
                                           : ComplexTableConstituents{};
    ComplexTable table = inUse;
    bool adjusted = false;
    if (!owners.empty() && restored.size() >= 2) {
        table = MatchedTable(inUse, owners, init, restored);
        adjusted = table != inUse && (!init || table != *init);
    } else {
        if (init && (table.empty() || !TableFor(table, restored))) table = *init;
        if (!table.empty() && !TableFor(table, restored) && restored.size() >= 2) {
            table = ComplexTableAdjusted(table, composition, "30", "25");
            adjusted = true;
        }
    }
    if (!table.empty() && restored.size() < 2) {
        table.clear();
        if (cx.cbComplex) ShowWarning(kComplexTableCleared);
        cx.cbComplex = false;
    }
    if (adjusted) ShowMessage(kComplexTableAdjusted);
    if (table != inUse)
        TakeComplexTable(cx, std::move(table), composition);
    else if (!table.empty())
        cx.TxtTableFor = restored;
}

bool ComplexCheckSetup(RunState& st)
{
    // Nothing of the run changes here: a refused Init leaves the run as it
    // was, its data included. The data of an Init that goes on go with the
    // engine arrays (the mode's Reset) and are built afresh from the table
    // (ComplexInit).
    const std::string refusal = ComplexSetupRefusal(st.TxtTable, st.Composition, st.cbIS);
    if (refusal.empty()) return true;
    ShowWarning(refusal);
    return false;
}

void ComplexInit(RunState& st)
{
    EngineArrays& a = st.Arr;
    const ComplexTable& t = st.TxtTable;
    ComplexData& d = ComplexArrays(st);
    // The data start afresh from the table the checks accepted (the arrays
    // released between the checks and this build forgot them).
    d = ComplexData{};
    d.nL = TableInt(t, 1, 1);
    d.pL = TableInt(t, 1, 2);
    d.Nanalytes = TableInt(t, 5, 1);
    const int Q = d.Q();
    const int na = d.Nanalytes;
    std::string errors;

    d.FormCount.assign(1, 1);
    d.FormBase.assign(1, 0);
    for (int k = 1; k <= na; ++k) {
        d.FormBase.push_back(d.FormBase.back() + d.FormCount.back());
        d.FormCount.push_back(a.Forms(k + 1));
    }
    d.K.assign(static_cast<std::size_t>(na) + 1, {});
    d.U.assign(static_cast<std::size_t>(na) + 1, {});
    for (int k = 0; k <= na; ++k) {
        const auto fc = static_cast<std::size_t>(d.FormCount[static_cast<std::size_t>(k)]);
        d.K[static_cast<std::size_t>(k)].assign(
            fc, std::vector<double>(static_cast<std::size_t>(Q) + 1, 0.0));
        d.U[static_cast<std::size_t>(k)].assign(
            fc, std::vector<double>(static_cast<std::size_t>(Q) + 1, 0.0));
    }

    // Ligand step constants (line 2): negative steps from the lowest charge
    // up, then the positive steps; the reference form holds 1.
    std::vector<double>& LK = d.K[0][0];
    int field = 1;
    auto stepConstant = [&](double badPKa) {
        double pka = 0, k = 0;
        if (!TableNumber(t, 2, field, pka) || !FinitePow10(3.0 - pka, k)) {
            errors += "2 (col = " + std::to_string(field) + ")\n";
            k = std::pow(10.0, 3.0 - badPKa);
        }
        ++field;
        return k;
    };
    if (d.nL < 0) {
        const int last = d.pL < 0 ? Q - 1 : -d.nL - 1;
        for (int q = 0; q <= last; ++q) LK[static_cast<std::size_t>(q)] = stepConstant(30.0);
        if (d.pL < 0) LK[static_cast<std::size_t>(Q)] = 1.0;
    }
    if (d.nL <= 0 && 0 <= d.pL) LK[static_cast<std::size_t>(-d.nL)] = 1.0;
    if (d.pL > 0) {
        for (int q = d.nL > 0 ? 1 : 1 - d.nL; q <= Q; ++q)
            LK[static_cast<std::size_t>(q)] = stepConstant(-20.0);
        if (d.nL > 0) LK[0] = 1.0;
    }
    for (int q = 0; q <= Q; ++q)
        d.U[0][0][static_cast<std::size_t>(q)] = TableMobility(t, 3, q + 1, errors);

    // Water (line 4): the table's Kw serves this mode only; the user's Kw stays.
    double v = 0;
    d.Kw = st.Kw;
    if (!TableNumber(t, 4, 1, v) || !FinitePow10(6.0 - v, d.Kw)) errors += "4 (Kw)\n";
    const int h = a.HIndex(), oh = a.OHIndex();
    const double rtf =
        kGasConstant * st.Temperature / kFaraday * (st.RedDiff ? st.DiffMultiplier : 1.0);
    auto waterIon = [&](int col, int i, int k, const char* entry) {
        double u = 0;
        if (!TableNumber(t, 4, col, u) || !(u > 0)) {
            errors += entry;
            return;
        }
        // Mobility, its limit and the diffusion coefficient follow the table.
        for (int n = 0; n < a.Nn; ++n) {
            a.UForm(i, k)[n] = u * 1e-9;
            a.UFormLim(i, k)[n] = u * 1e-9;
            a.DForm(i, k)[n] = u * 1e-9 * rtf;
        }
    };
    a.ConstantsRewritten();
    waterIon(2, h, 1, "4 (uH)\n");
    waterIon(3, oh, 0, "4 (uOH)\n");

    // Complex constants and mobilities, one line per analyte form.
    int line = 6;
    for (int k = 1; k <= na; ++k)
        for (int f = 0; f < d.FormCount[static_cast<std::size_t>(k)]; ++f, ++line)
            for (int q = 0; q <= Q; ++q) {
                double pkx = 0, kx = 0;
                // A constant below the double range is no complex at all.
                if (!TableNumber(t, line, q + 1, pkx) ||
                    !std::isfinite(kx = std::pow(10.0, -pkx - 3.0))) {
                    errors += Entry(line, q + 1);
                    kx = std::pow(10.0, -33.0);
                }
                d.K[static_cast<std::size_t>(k)][static_cast<std::size_t>(f)]
                   [static_cast<std::size_t>(q)] = kx;
            }
    for (int k = 1; k <= na; ++k)
        for (int f = 0; f < d.FormCount[static_cast<std::size_t>(k)]; ++f, ++line)
            for (int q = 0; q <= Q; ++q)
                d.U[static_cast<std::size_t>(k)][static_cast<std::size_t>(f)]
                   [static_cast<std::size_t>(q)] = TableMobility(t, line, q + 1, errors);

    // Work rows of every concentration slot, zeroed.
    d.NComp = a.NComp;
    d.Nn = a.Nn;
    const std::size_t rows =
        static_cast<std::size_t>(d.FormBase.back() + d.FormCount.back()) * (Q + 2);
    for (int s = 1; s <= 5; ++s) d.Work[s].assign(rows * static_cast<std::size_t>(d.Nn), 0.0);

    // Cumulative ligand constants: form q = form 0 x LigandL[q] x h^q.
    d.LigandL.assign(static_cast<std::size_t>(Q) + 1, 1.0);
    for (int q = 1; q <= Q; ++q) {
        double prod =
            (d.nL + q >= 0 ? LK[static_cast<std::size_t>(q)] : 1.0) * (d.nL <= 0 ? LK[0] : 1.0);
        for (int y = 1; y <= q - 1; ++y) prod *= LK[static_cast<std::size_t>(y)];
        d.LigandL[static_cast<std::size_t>(q)] = 1.0 / prod;
    }

    if (!errors.empty())
        ShowWarning(
            "Complex INIT: One or more errors were found in the txt table on following lines:\n" +
            errors);
    st.ComplexReady = true;
}

namespace {

// Checks before anything of the run changes; the constants once the engine
// arrays exist.
bool ComplexModeInit(RunState& st, ModeInitStage stage)
{
    if (stage == ModeInitStage::Check) return ComplexCheckSetup(st);
    if (stage == ModeInitStage::Arrays) ComplexInit(st);
    return true;
}

// The mode runs on the data its set-up built at Init.
bool ComplexRunStart(RunState& st)
{
    if (ComplexUsable(st)) return true;
    ShowWarning("Complex (Elneut): Data not initialized!");
    return false;
}

// The work rows of a run on `nodes` + 1 nodes with the table's ligand: five
// concentration slots of (1 + analyte forms) x (Q + 2) rows, which the
// set-up builds, and what the derivatives keep for the run: three rows per
// species (the ligand's forms, the free forms and the complexes, fewer than
// the rows of a slot) and two of the current. Beside them, per row, the
// constants of the set-up, their copies in the equilibrium and the
// derivatives' record of each species (within twelve doubles).
double ComplexInitBytes(const RunState& st, int nodes)
{
    const ComplexTable& t = st.TxtTable;
    const int q = std::clamp(TableInt(t, 1, 2) - TableInt(t, 1, 1), 0, 2 * kMaxLigandCharge);
    double forms = 1;
    int k = 1;
    for (const auto* n = st.Composition.Head(); n; n = n->next, ++k)
        if (k >= 2) forms += n->data.maxCharge - n->data.minCharge + 1.0;
    const double rows = forms * (q + 2.0), nodeCount = nodes + 1.0;
    return 8.0 * (rows * (8.0 * nodeCount + 12.0) + 2.0 * nodeCount);
}

// The equilibrium in place of Elneut's solve, counted as one.
void ComplexEquilibrium(RunState& st, int level, int source, int node, bool speciate)
{
    CountEquilibriumSolve(st);
    ComplexElneut(st, level, source, node, speciate);
}

}  // namespace

ModeHooks ComplexModeHooks()
{
    ModeHooks h;
    h.name = "Complex";
    h.Init = ComplexModeInit;
    h.ownEquilibrium = true;
    h.Derivatives = ComplexDerivative;
    h.derivativesKey = "DerComplex";
    h.Equilibrium = ComplexEquilibrium;
    h.RunStart = ComplexRunStart;
    h.Reset = ComplexFreeArrays;
    h.InitBytes = ComplexInitBytes;
    return h;
}
