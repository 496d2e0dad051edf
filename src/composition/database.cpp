#include "composition/database.h"

#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "foundation/numtext.h"

#include <sstream>
#include <vector>

namespace {

// The whole read with the guarded file routines; raises "Incorrect file." for
// a damaged file, returns false for the rejections that carry no error.
bool ReadEntries(const std::string& name, TUnivSet<TComponents>& out)
{
    KFile f;
    if (OpenForReading(f, name) != OpenOutcome::Opened) return false;
    BinReader in(f);
    if (in.Limit() <= 0) return false;
    in.StringZ();  // header text
    if (in.Left() < 8 + 4) return false;
    in.Require(8);
    for (int k = 0; k < 8; ++k) in.UInt8();  // reserved
    const std::int32_t count = in.Int32();
    in.Check(count >= 0);
    for (std::int32_t k = 0; k < count; ++k) {
        TComponents c;
        c.name = in.StringZ();
        const std::int32_t n = in.Int32();
        const std::int32_t p = in.Int32();
        in.Check(n >= 0 && p >= 0 && n <= kMaxChargeMagnitude && p <= kMaxChargeMagnitude);
        in.RequireItems(static_cast<std::int64_t>(n) + p, 16);
        c.minCharge = -n;
        c.maxCharge = p;
        c.AllocChargeRows();
        for (int pass = 0; pass < 2; ++pass) {
            TComponents::Row& row = pass == 0 ? c.u[1] : c.pKa[1];
            for (int z = c.minCharge; z <= c.maxCharge; ++z)
                if (z != 0) row[z - c.minCharge] = in.Double();
            in.Check(AllFinite(row));
        }
        c.mode = c.ModeFromFlags();
        out.Add(c);
    }
    return true;
}

std::string JoinList(const TComponents& c, bool pKa)
{
    std::string s;
    for (int z = c.minCharge; z <= c.maxCharge; ++z) {
        if (z == 0) continue;
        if (!s.empty()) s += (z == 1 && c.minCharge < 0) ? " | " : "; ";
        s += FloatToStr(pKa ? c.PKaOf(1, z) : c.UOf(1, z));
    }
    return s;
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char ch : s) {
        if (ch == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += ch;
        }
    }
    parts.push_back(cur);
    return parts;
}

bool ParseList(const std::string& text, std::size_t expected, std::vector<double>& out)
{
    out.clear();
    if (expected == 0) return text.find_first_not_of(" -") == std::string::npos;
    for (const auto& part : Split(text, ';')) {
        double v;
        if (!ReadDouble(part, v)) return false;
        out.push_back(v);
    }
    return out.size() == expected;
}

}  // namespace

bool ReadDatabase(const std::string& name, TUnivSet<TComponents>& database)
{
    database.Empty();
    if (!FileExists(name)) return false;
    TUnivSet<TComponents> loaded;
    try {
        if (!ReadEntries(name, loaded)) return false;
    } catch (const Exception&) {
        return false;
    }
    database = loaded;
    return true;
}

bool WriteDatabase(const std::string& name, const TUnivSet<TComponents>& database)
{
    return SaveFileAtomically(name, [&](BinWriter& out) {
        out.StringZ(kDatabaseHeader);
        for (int k = 0; k < 8; ++k) out.UInt8(0);  // reserved
        out.Int32(database.Count());
        for (const auto* n = database.Head(); n; n = n->next) {
            const TComponents& c = n->data;
            out.Fields(c.name, std::int32_t{-c.minCharge}, std::int32_t{c.maxCharge});
            for (int pass = 0; pass < 2; ++pass)
                for (int z = c.minCharge; z <= c.maxCharge; ++z)
                    if (z != 0) out.Double(pass == 0 ? c.UOf(1, z) : c.PKaOf(1, z));
        }
    });
}

DatabaseRowTexts DatabaseRow(const TComponents& entry)
{
    return {entry.name, std::to_string(entry.minCharge), std::to_string(entry.maxCharge),
            JoinList(entry, true), JoinList(entry, false)};
}

bool ParseDatabaseTable(const std::string& text, TUnivSet<TComponents>& database,
                        std::string& error)
{
    TUnivSet<TComponents> parsed;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto f = Split(line, '\t');
        int n = 0, p = 0;
        std::vector<double> pKa, u;
        const bool ok = f.size() >= 5 && !f[0].empty() && ReadInt(f[1], n) && ReadInt(f[2], p) &&
                        n >= 0 && p >= 0 && n + p <= 64 &&
                        ParseList(f[3], static_cast<std::size_t>(n + p), pKa) &&
                        ParseList(f[4], static_cast<std::size_t>(n + p), u);
        if (!ok) {
            error = "line " + std::to_string(number) + ": " + line;
            return false;
        }
        TComponents c;
        c.name = f[0];
        c.minCharge = -n;
        c.maxCharge = p;
        c.AllocChargeRows();
        std::size_t k = 0;
        for (int z = -n; z <= p; ++z) {
            if (z == 0) continue;
            c.pKa[1][z + n] = pKa[k];
            c.u[1][z + n] = u[k];
            ++k;
        }
        c.mode = c.ModeFromFlags();
        parsed.Add(c);
    }
    database = parsed;
    return true;
}
