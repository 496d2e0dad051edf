#include "composition/cmp_file.h"

#include "engine/run_state.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"

#include <filesystem>
#include <system_error>

namespace {

constexpr double kSolventKw = 1e-08;
constexpr double kSolventUH = 362.5;
constexpr double kSolventUOH = 205.5;

// Charge positions stored per row: minCharge..-1 and 1..maxCharge.
void WriteChargeRow(KFile& f, std::int64_t& pos, const TComponents& c, bool pKaRow, int row)
{
    for (int z = c.minCharge; z <= c.maxCharge; ++z) {
        if (z == 0) continue;
        FileWriteDouble(f, pKaRow ? c.PKaOf(row, z) : c.UOf(row, z), pos);
    }
}

void WriteRecord(KFile& f, std::int64_t& pos, const TComponents& c)
{
    FileWriteString(f, c.name, pos, true);
    FileWriteInt32(f, c.colour, pos);
    FileWriteInt32(f, c.minCharge, pos);
    FileWriteInt32(f, c.maxCharge, pos);
    FileWriteDouble(f, c.pKMicA, pos);
    FileWriteDouble(f, c.uMicA, pos);
    FileWriteBool(f, c.gradient, pos);
    FileWriteBool(f, c.gradPKa, pos);
    FileWriteBool(f, c.gradU, pos);
    if (c.gradient) {
        FileWriteInt32(f, c.zones, pos);
        for (int k = 1; k <= c.zones; ++k)
            FileWriteDouble(f, k < static_cast<int>(c.c_grad.size()) ? c.c_grad[k] : 0.0, pos);
        for (int k = 1; k <= c.zones; ++k)
            FileWriteDouble(f, k < static_cast<int>(c.ratio.size()) ? c.ratio[k] : 0.0, pos);
    } else {
        FileWriteDouble(f, c.c, pos);
        FileWriteDouble(f, c.cInj, pos);
        FileWriteUInt8(f, c.type, pos);
    }
    for (int r = 1; r <= c.PKaRows(); ++r) WriteChargeRow(f, pos, c, true, r);
    for (int r = 1; r <= c.URows(); ++r) WriteChargeRow(f, pos, c, false, r);
    const int count = c.tableCount > 0 ? c.tableCount : 0;
    FileWriteInt32(f, count, pos);
    for (int k = 1; k <= count; ++k)
        FileWriteDouble(f, k < static_cast<int>(c.table.size()) ? c.table[k] : 0.0, pos);
}

void ReadChargeRows(KFile& f, std::int64_t limit, std::int64_t& pos, TComponents& c,
                    TComponents::RowTable& rows, int count)
{
    const std::int64_t perRow = static_cast<std::int64_t>(c.maxCharge) - c.minCharge;
    RequireBytes(f, perRow * 8 * count, limit, pos);
    rows.assign(static_cast<std::size_t>(count) + 1, {});
    for (int r = 1; r <= count; ++r) {
        rows[r].assign(static_cast<std::size_t>(perRow) + 1, 0.0);
        for (int z = c.minCharge; z <= c.maxCharge; ++z) {
            if (z == 0) continue;
            rows[r][z - c.minCharge] = FileReadDouble(f, limit, pos);
        }
    }
}

TComponents ReadRecord(KFile& f, std::int64_t limit, std::int64_t& pos, bool current)
{
    TComponents c;
    FileReadStringZ(f, c.name, limit, pos);
    c.colour = FileReadInt32(f, limit, pos);
    c.minCharge = FileReadInt32(f, limit, pos);
    c.maxCharge = FileReadInt32(f, limit, pos);
    if (c.minCharge > 0 || c.maxCharge < 0) {
        f.Close();
        ThrowError("Incorrect file.");
    }
    if (current) {
        c.pKMicA = FileReadDouble(f, limit, pos);
        c.uMicA = FileReadDouble(f, limit, pos);
    }
    c.gradient = FileReadBool(f, limit, pos);
    c.gradPKa = FileReadBool(f, limit, pos);
    c.gradU = FileReadBool(f, limit, pos);
    if (c.gradient) {
        const std::int32_t zones = FileReadInt32(f, limit, pos);
        if (zones < 1) {
            f.Close();
            ThrowError("Incorrect file.");
        }
        RequireBytes(f, static_cast<std::int64_t>(zones) * 16, limit, pos);
        c.zones = zones;
        c.c_grad.assign(static_cast<std::size_t>(zones) + 1, 0.0);
        c.ratio.assign(static_cast<std::size_t>(zones) + 1, 0.0);
        FileReadDoubles(f, c.c_grad.data() + 1, zones, limit, pos);
        FileReadDoubles(f, c.ratio.data() + 1, zones, limit, pos);
    } else {
        // Per-segment rows exist only for a segmented constituent.
        c.gradPKa = c.gradU = false;
        c.c = FileReadDouble(f, limit, pos);
        c.cInj = FileReadDouble(f, limit, pos);
        c.type = FileReadUInt8(f, limit, pos);
    }
    ReadChargeRows(f, limit, pos, c, c.pKa, c.PKaRows());
    ReadChargeRows(f, limit, pos, c, c.u, c.URows());
    if (current) {
        const std::int32_t count = FileReadInt32(f, limit, pos);
        if (count < 0) {
            f.Close();
            ThrowError("Incorrect file.");
        }
        if (count > 0) {
            RequireBytes(f, static_cast<std::int64_t>(count) * 8, limit, pos);
            c.table.assign(static_cast<std::size_t>(count) + 1, 0.0);
            FileReadDoubles(f, c.table.data() + 1, count, limit, pos);
        }
        c.tableCount = count;
    }
    c.mode = c.ModeFromFlags();
    return c;
}

} // namespace

bool WriteComposition(const TUnivSet<TComponents>& list, const std::string& name)
{
    if (list.Count() == 0) return false;
    if (!FileDirExists(name)) {
        const std::string dir = std::filesystem::path(name).parent_path().string();
        if (!Confirm("Create New Dir?\n" + dir)) return false;
        std::error_code ec;
        std::filesystem::create_directory(dir, ec);
    }
    const bool created = SaveFileAtomically(name, [&](KFile& f, std::int64_t& pos) {
        FileWriteString(f, "KELVO", pos, true);
        FileWriteString(f, "1.0", pos, true);
        FileWriteDouble(f, kSolventKw, pos);
        FileWriteDouble(f, kSolventUH, pos);
        FileWriteDouble(f, kSolventUOH, pos);
        FileWriteInt32(f, list.Count(), pos);
        for (const auto* n = list.Head(); n; n = n->next) WriteRecord(f, pos, n->data);
        FileWriteString(f, "EOF", pos, true);
    });
    if (!created) {
        ShowWarning("Error: Can't create new file");
        return false;
    }
    return true;
}

bool LoadCompositionFile(const std::string& name, TUnivSet<TComponents>& loaded)
{
    if (!FileExists(name)) {
        ShowWarning("File \"" + name + "\" not found.");
        return false;
    }
    KFile f = KFile::Open(name, 0);
    if (!f.IsOpen()) {
        ShowWarning("Can't open file");
        return false;
    }
    const std::int64_t limit = f.Seek(0, 2);
    f.Seek(0, 0);
    std::int64_t pos = 0;
    std::string identity, version;
    FileReadStringZ(f, identity, limit, pos);
    bool current = false;
    if (identity == "RAVO_CORE") {
        FileReadDouble(f, limit, pos);
    } else if (identity == "KELVO") {
        FileReadStringZ(f, version, limit, pos);
        current = version == "1.0";
        if (current)
            for (int k = 0; k < 3; ++k) FileReadDouble(f, limit, pos);
    } else {
        ShowWarning("Incorrect CMP File.");
        return false;
    }
    const std::int32_t count = FileReadInt32(f, limit, pos);
    if (count < 0) {
        f.Close();
        ThrowError("Incorrect file.");
    }
    TUnivSet<TComponents> temp;
    for (std::int32_t k = 0; k < count; ++k) temp.Add(ReadRecord(f, limit, pos, current));
    std::string trailer;
    FileReadStringZ(f, trailer, limit, pos);
    if (trailer != "EOF") {
        ShowWarning("Incorrect file.");
        return false;
    }
    loaded = temp;
    return true;
}

void MergeComposition(TUnivSet<TComponents>& target, const TUnivSet<TComponents>& loaded, bool replace)
{
    if (replace) target.Empty();
    for (const auto* n = loaded.Head(); n; n = n->next) {
        bool present = false;
        for (const auto* m = target.Head(); m && !present; m = m->next) present = m->data.name == n->data.name;
        if (!present) target.Add(n->data);
    }
}

bool ReadComposition(RunState& st, const std::string& name)
{
    TUnivSet<TComponents> loaded;
    if (!LoadCompositionFile(name, loaded)) return false;
    MergeComposition(st.Composition, loaded, st.rbSet);
    return true;
}
