#include "composition/cmp_file.h"

#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"

#include <cmath>
#include <string>
#include <unordered_set>

namespace {

constexpr double kSolventKw = 1e-08;
constexpr double kSolventUH = 362.5;
constexpr double kSolventUOH = 205.5;

// Charge positions stored per row: minCharge..-1 and 1..maxCharge.
void WriteChargeRow(BinWriter& out, const TComponents& c, bool pKaRow, int row)
{
    for (int z = c.minCharge; z <= c.maxCharge; ++z)
        if (z != 0) out.Double(pKaRow ? c.PKaOf(row, z) : c.UOf(row, z));
}

// Values 1..count of a 1-based array (0.0 past its end).
void WriteOneBased(BinWriter& out, const std::vector<double>& values, int count)
{
    for (int k = 1; k <= count; ++k)
        out.Double(k < static_cast<int>(values.size()) ? values[k] : 0.0);
}

void WriteRecord(BinWriter& out, const TComponents& c)
{
    out.Fields(c.name, c.colour, c.minCharge, c.maxCharge, c.pKMicA, c.uMicA, c.gradient, c.gradPKa,
               c.gradU);
    if (c.gradient) {
        out.Int32(c.zones);
        WriteOneBased(out, c.c_grad, c.zones);
        WriteOneBased(out, c.ratio, c.zones);
    } else {
        out.Fields(c.c, c.cInj, c.type);
    }
    for (int r = 1; r <= c.PKaRows(); ++r) WriteChargeRow(out, c, true, r);
    for (int r = 1; r <= c.URows(); ++r) WriteChargeRow(out, c, false, r);
    const int count = c.tableCount > 0 ? c.tableCount : 0;
    out.Int32(count);
    WriteOneBased(out, c.table, count);
}

// `count` finite doubles into a 1-based array (slot 0 unused), checked before allocating.
std::vector<double> ReadOneBased(BinReader& in, std::int64_t count)
{
    in.RequireItems(count, 8);
    std::vector<double> values(static_cast<std::size_t>(count) + 1, 0.0);
    in.Doubles(values.data() + 1, count);
    in.Check(AllFinite(values));
    return values;
}

void ReadChargeRows(BinReader& in, TComponents& c, TComponents::RowTable& rows, int count,
                    const FieldRange& range)
{
    const std::int64_t perRow = static_cast<std::int64_t>(c.maxCharge) - c.minCharge;
    in.RequireItems(count, perRow * 8);
    rows.assign(static_cast<std::size_t>(count) + 1, {});
    for (int r = 1; r <= count; ++r) {
        rows[r].assign(static_cast<std::size_t>(perRow) + 1, 0.0);
        for (int z = c.minCharge; z <= c.maxCharge; ++z)
            if (z != 0) in.Check(InRange(range, rows[r][z - c.minCharge] = in.Double()));
    }
}

TComponents ReadRecord(BinReader& in, bool current)
{
    TComponents c;
    // Concentrations and types the editor would not take, and numbers that are
    // not finite, are refused.
    in.Fields(c.name, c.colour, c.minCharge, c.maxCharge);
    in.Check(c.minCharge <= 0 && c.maxCharge >= 0 && c.minCharge >= -kMaxChargeMagnitude &&
             c.maxCharge <= kMaxChargeMagnitude);
    if (current) in.Fields(c.pKMicA, c.uMicA);
    in.Check(AllFinite({c.pKMicA, c.uMicA}));
    in.Fields(c.gradient, c.gradPKa, c.gradU);
    if (c.gradient) {
        c.zones = in.Int32();
        in.Check(c.zones >= 1 && c.zones <= kMaxZones);
        in.RequireItems(c.zones, 16);
        c.c_grad = ReadOneBased(in, c.zones);
        c.ratio = ReadOneBased(in, c.zones);
        for (int k = 1; k <= c.zones; ++k)
            in.Check(InRange(kConcentrationRange, c.c_grad[static_cast<std::size_t>(k)]));
    } else {
        // Per-segment rows exist only for a segmented constituent.
        c.gradPKa = c.gradU = false;
        in.Fields(c.c, c.cInj, c.type);
        in.Check(InRange(kConcentrationRange, c.c) && InRange(kConcentrationRange, c.cInj) &&
                 c.type <= 3);
    }
    ReadChargeRows(in, c, c.pKa, c.PKaRows(), kPKRange);
    ReadChargeRows(in, c, c.u, c.URows(), kMobilityRange);
    if (current) {
        const std::int32_t count = in.Int32();
        in.Check(count >= 0);
        if (count > 0) c.table = ReadOneBased(in, count);
        // A table is a run's profile: its small undershoots below 0 included.
        for (double v : c.table) in.Check(std::fabs(v) <= kConcentrationRange.high);
        c.tableCount = count;
    }
    c.mode = c.ModeFromFlags();
    return c;
}

}  // namespace

void EncodeComposition(BinWriter& out, const TUnivSet<TComponents>& list)
{
    out.Fields("KELVO", "1.0", kSolventKw, kSolventUH, kSolventUOH, list.Count());
    for (const auto* n = list.Head(); n; n = n->next) WriteRecord(out, n->data);
    out.StringZ("EOF");
}

bool WriteComposition(const TUnivSet<TComponents>& list, const std::string& name)
{
    if (list.Count() == 0) return false;
    if (!MakeFileDirAsked(name, "Create New Dir?\n")) return false;
    const bool created =
        SaveFileAtomically(name, [&](BinWriter& out) { EncodeComposition(out, list); });
    if (!created) {
        ShowWarning("Error: Can't create new file");
        return false;
    }
    return true;
}

bool LoadCompositionFile(const std::string& name, TUnivSet<TComponents>& loaded)
{
    KFile f;
    if (!OpenForReading(f, name, "Can't open file")) return false;
    BinReader in(f);
    const std::string identity = in.StringZ();
    bool current = false;
    if (identity == "RAVO_CORE") {
        in.Double();
    } else if (identity == "KELVO") {
        current = in.StringZ() == "1.0";
        if (current) in.Doubles(3);  // solvent constants, not used
    } else {
        ShowWarning("Incorrect CMP File.");
        return false;
    }
    const std::int32_t count = in.Int32();
    in.Check(count >= 0);
    TUnivSet<TComponents> temp;
    for (std::int32_t k = 0; k < count; ++k) temp.Add(ReadRecord(in, current));
    if (!in.TrailerIsEOF()) return false;
    loaded = temp;
    return true;
}

void MergeComposition(TUnivSet<TComponents>& target, const TUnivSet<TComponents>& loaded,
                      bool replace)
{
    if (replace) target.Empty();
    // The names in the list, looked up by hash (a composition of many
    // constituents is merged in linear time).
    std::unordered_set<std::string> names;
    for (const auto* m = target.Head(); m; m = m->next) names.insert(m->data.name);
    for (const auto* n = loaded.Head(); n; n = n->next)
        if (names.insert(n->data.name).second) target.Add(n->data);
}

void RestoreInitComposition(RunState& st)
{
    const ComplexTableConstituents before = ComplexConstituentsOf(st.Composition);
    st.Composition.Empty();
    for (const auto* n = st.CompInit.Head(); n; n = n->next) st.Composition.Add(n->data);
    // The complexation table agrees with the composition brought back, the
    // values typed for each constituent back kept (an Init with the mode off
    // may have taken a table of another composition).
    ComplexTableAfterRestore(st, before);
    st.CompChanged = false;
}

bool ReadComposition(RunState& st, const std::string& name)
{
    TUnivSet<TComponents> loaded;
    if (!LoadCompositionFile(name, loaded)) return false;
    MergeComposition(st.Composition, loaded, st.rbSet);
    return true;
}
