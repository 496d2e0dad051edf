#include "files/complex_file.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/state/run_state.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "foundation/numtext.h"

namespace {

constexpr const char* kHeader[] = {
    "# Info: 1) Separator is TAB; 2) Lines starting with '#' are ignored;",
    "# 3) Do not delete any input lines without '#' and if there is no data to input add: 'None'!",
    "# Ligand: nL, pL",
    "# Set of dissoc. const. (pKa) for Ligand: [nL..pL] (not z=0), 'None' for no input",
    "# Ionic mobilities of free ligand ionic forms (including z=0 for diffusion!)",
    "# pKw[M^2] uH uOH [1e-9]",
    "# Number of analytes",
};
constexpr const char* kPKxSection =
    "# Complex constants (pKx in M-1): [i=1..Nanalytes][z=ni..pi] (must match n and p range with Kelvo)";
constexpr const char* kUxSection =
    "# Ionic mobility of complexes (ux in 1e-9 m2/V/s) [i=1..Nanalytes][z=ni..pi]";

std::string Joined(const std::vector<std::string>& fields)
{
    std::string s;
    for (std::size_t k = 0; k < fields.size(); ++k) s += (k ? "\t" : "") + fields[k];
    return s;
}

}  // namespace

ComplexTable ParseComplexTable(const std::string& text, int skip, char separator)
{
    ComplexTable table;
    std::vector<std::string> line;
    std::string field;
    int index = 0;
    auto endField = [&] {
        if (!field.empty()) line.push_back(field);
        field.clear();
    };
    auto endLine = [&] {
        endField();
        if (index >= skip && !line.empty() && line[0][0] != '#') table.push_back(line);
        line.clear();
        ++index;
    };
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (c == separator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && k + 1 < text.size() && text[k + 1] == '\n') ++k;
            endLine();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !line.empty()) endLine();
    return table;
}

ComplexTable ReadComplexTableFile(const std::string& name)
{
    KFile f;
    if (OpenForReading(f, name) != OpenOutcome::Opened) return {};
    const std::int64_t size = f.Seek(0, 2);
    if (size < 0 || f.Seek(0, 0) != 0) return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::int64_t pos = 0;
    try {
        FileReadChecked(f, bytes.data(), size, size, pos);
    } catch (const Exception&) {
        return {};
    }
    return ParseComplexTable(bytes);
}

std::string ComplexFileText(const ComplexTable& table, const TUnivSet<TComponents>& composition)
{
    std::string out;
    auto put = [&](const std::string& s) { out += s + "\r\n"; };
    auto tableLine = [&](int n) {
        if (n >= 1 && n <= static_cast<int>(table.size()))
            put(Joined(table[static_cast<std::size_t>(n - 1)]));
    };
    for (int k = 0; k < 5; ++k) {
        if (k == 0) {
            put(kHeader[0]);
            put(kHeader[1]);
        }
        put(kHeader[k + 2]);
        tableLine(k + 1);
    }
    const int tableForms = (static_cast<int>(table.size()) - 5) / 2;
    for (int section = 0; section < 2; ++section) {
        put(section == 0 ? kPKxSection : kUxSection);
        int line = 6 + section * (tableForms > 0 ? tableForms : 0);
        const int end = section == 0 ? 5 + tableForms : static_cast<int>(table.size());
        int i = 0;
        for (const auto* n = composition.Head(); n; n = n->next, ++i) {
            if (i == 0) continue;
            put("# " + std::to_string(i) + ": " + n->data.name);
            for (int z = n->data.minCharge; z <= n->data.maxCharge; ++z, ++line)
                if (line <= end) tableLine(line);
        }
    }
    return out;
}

bool SaveComplexFile(const std::string& name, const ComplexTable& table,
                     const TUnivSet<TComponents>& composition)
{
    const std::string text = ComplexFileText(table, composition);
    return SaveFileAtomically(name, [&](BinWriter& out) {
        out.Bytes(text.data(), static_cast<std::int64_t>(text.size()));
    });
}

bool ComplexTableReadable(const ComplexTable& table)
{
    if (table.empty()) return true;
    const auto& first = table.front();
    int nL = 0, pL = 0;
    return first.size() >= 2 && ReadInt(first[0], nL) && ReadInt(first[1], pL);
}

bool IsComplexTableFile(const std::string& name)
{
    const ComplexTable table = ReadComplexTableFile(name);
    return !table.empty() && ComplexTableReadable(table);
}

bool SaveComplexData(RunState& st, const std::string& name)
{
    return SaveComplexFile(name, st.TxtTable, st.Composition);
}

ComplexTable ReadTakenComplexTable(const std::string& name)
{
    ComplexTable table = ReadComplexTableFile(name);
    if (!ComplexTableReadable(table)) ThrowError("Incorrect file.");
    return table;
}

void LoadComplexData(ComplexationSettings& cx, const std::string& name)
{
    cx.TxtTable = ReadTakenComplexTable(name);
    cx.ComplexReady = false;
}
