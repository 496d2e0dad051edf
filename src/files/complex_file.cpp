#include "files/complex_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
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

// A name as the text of a comment line: a line break (or another control
// character) in it would end the comment and start a table line, so each one
// becomes a space.
std::string CommentText(std::string name)
{
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') c = ' ';
    return name;
}

std::string Joined(const ComplexRow& fields)
{
    std::string s;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k) s += '\t';
        s += fields[k].view();
    }
    return s;
}

}  // namespace

ComplexTable ParseComplexTable(const std::string& text, int skip, char separator)
{
    ComplexTable table;
    ComplexRow line;
    std::string field;
    int index = 0;
    auto endField = [&] {
        if (!field.empty()) line.push_back(field);
        field.clear();
    };
    auto endLine = [&] {
        endField();
        if (index >= skip && !line.empty() && line[0][0] != '#') table.push_back(std::move(line));
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

namespace {

// The bytes of a file of at most `maxBytes`; nothing when it cannot be read or
// is larger (its size is known before anything is read).
std::optional<std::string> TableFileBytes(const std::string& name, std::int64_t maxBytes)
{
    KFile f;
    if (OpenForReading(f, name) != OpenOutcome::Opened) return std::nullopt;
    const std::int64_t size = f.Seek(0, 2);
    if (size < 0 || size > maxBytes || f.Seek(0, 0) != 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::int64_t pos = 0;
    try {
        FileReadChecked(f, bytes.data(), size, size, pos);
    } catch (const Exception&) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

std::int64_t ComplexTableByteLimit(const TUnivSet<TComponents>& composition)
{
    // Per table line: every field of the widest ligand (2 kMaxLigandCharge + 1)
    // as a number text of up to 32 characters with its separator.
    constexpr std::int64_t kLineBytes = (2 * kMaxLigandCharge + 1) * 33 + 2;
    std::int64_t bytes = 1 << 20;  // header, comments and the user's own notes
    for (const auto* n = composition.Head(); n; n = n->next)
        bytes += 2 * (static_cast<std::int64_t>(n->data.maxCharge) - n->data.minCharge + 1) *
                     kLineBytes +
                 static_cast<std::int64_t>(n->data.name.size()) * 2 + 64;
    return bytes;
}

ComplexTable ReadComplexTableFile(const std::string& name, std::int64_t maxBytes)
{
    const std::optional<std::string> bytes = TableFileBytes(name, maxBytes);
    return bytes ? ParseComplexTable(*bytes) : ComplexTable{};
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
            put("# " + std::to_string(i) + ": " + CommentText(n->data.name));
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

bool SaveComplexData(RunState& st, const std::string& name)
{
    return SaveComplexFile(name, st.TxtTable, st.Composition);
}

namespace {

// Goes through the lines of an open table file as ParseComplexTable parses
// them, a block at a time: `field(index, text)` for each field of a table line
// (the text only with `texts`; else its first characters) and `line(fields)`
// at the end of each; either stops the scan by returning false (the scan then
// answers false).
template <class Field, class Line>
bool ScanTableFile(KFile& f, std::int64_t size, bool texts, Field&& field, Line&& line)
{
    constexpr std::size_t kShortText = 64;  // kept of a field without `texts`
    std::vector<char> block(static_cast<std::size_t>(std::clamp<std::int64_t>(size, 1, 1 << 20)));
    std::string text;
    std::int64_t length = 0, pos = 0;
    int fields = 0;
    bool comment = false, afterCR = false;
    const auto endField = [&] {
        bool go = true;
        if (length > 0) {
            if (fields == 0 && text[0] == '#') comment = true;
            if (!comment) go = field(fields, text, length);
            ++fields;
        }
        text.clear();
        length = 0;
        return go;
    };
    const auto endLine = [&] {
        bool go = endField();
        if (go && fields > 0 && !comment) go = line(fields);
        fields = 0;
        comment = false;
        return go;
    };
    while (pos < size) {
        const std::int64_t before = pos;
        FileReadChecked(f, block.data(), std::min<std::int64_t>(size - pos, block.size()), size,
                        pos);
        if (pos == before) break;
        for (std::int64_t k = 0; k < pos - before; ++k) {
            const char c = block[static_cast<std::size_t>(k)];
            if (afterCR && c == '\n') {
                afterCR = false;
                continue;
            }
            afterCR = false;
            if (c == '\t') {
                if (!endField()) return false;
            } else if (c == '\r' || c == '\n') {
                if (!endLine()) return false;
                afterCR = c == '\r';
            } else {
                if ((texts && !comment) || text.size() < kShortText) text += c;
                ++length;
            }
        }
    }
    return (length == 0 && fields == 0) || endLine();
}

}  // namespace

std::int64_t ComplexTableLineLimit(const TUnivSet<TComponents>& composition)
{
    std::int64_t forms = 0;
    int k = 1;
    for (const auto* n = composition.Head(); n; n = n->next, ++k)
        if (k >= 2) forms += static_cast<std::int64_t>(n->data.maxCharge) - n->data.minCharge + 1;
    return 5 + 2 * forms;
}

namespace {

// Counts the fields of each table line of an open table file (`counts`) and
// checks the counts: the first line holds the ligand's charges (two
// integers), which bound the fields of the others; at most `maxLines` lines.
// With `ligandCharges` the two must be the charges of a ligand, nL <= pL
// within a ligand's range (a first line the set-up would never take is no
// table). False when the counts are no table's.
bool CountTableLines(KFile& f, std::int64_t size, std::int64_t maxLines,
                     std::vector<std::int32_t>& counts, bool ligandCharges = false)
{
    std::vector<std::string> charges;
    std::size_t forms = 2 * kMaxLigandCharge + 1;
    const auto most = [&](std::size_t line) {
        return ComplexLineFieldLimit(static_cast<int>(line), forms);
    };
    return ScanTableFile(
        f, size, false,
        [&](int index, const std::string& text, std::int64_t length) {
            if (!counts.empty() || static_cast<std::size_t>(index) >= most(1)) return true;
            charges.push_back(static_cast<std::size_t>(length) == text.size() ? text : "");
            return true;
        },
        [&](int fields) {
            counts.push_back(fields);
            if (counts.size() == 1) {
                int nL = 0, pL = 0;
                if (fields != 2 || !ReadInt(charges[0], nL) || !ReadInt(charges[1], pL))
                    return false;
                if (ligandCharges &&
                    !(-kMaxLigandCharge <= nL && nL <= pL && pL <= kMaxLigandCharge))
                    return false;
                forms = ComplexLigandForms(nL, pL);
            }
            return static_cast<std::int64_t>(counts.size()) <= maxLines &&
                   static_cast<std::size_t>(fields) <= most(counts.size());
        });
}

// Whether each field of a table of `lines` lines is taken (ComplexFieldTakes):
// one field at a time, nothing stored.
bool TableNumbersTaken(KFile& f, std::int64_t size, int lines)
{
    if (f.Seek(0, 0) != 0) ThrowError("Error: Can't read from file");
    int done = 0;
    return ScanTableFile(
        f, size, true,
        [&](int index, const std::string& text, std::int64_t) {
            return ComplexFieldTakes(done + 1, index + 1, lines, text);
        },
        [&](int) {
            ++done;
            return true;
        });
}

}  // namespace

ComplexTable ReadTakenComplexTable(const std::string& name, std::int64_t maxBytes,
                                   std::int64_t maxLines)
{
    KFile f;
    if (OpenForReading(f, name) != OpenOutcome::Opened) return {};
    const std::int64_t size = f.Seek(0, 2);
    if (size < 0 || f.Seek(0, 0) != 0) return {};
    // A file larger than any table of the composition is refused unread.
    if (size > maxBytes) ThrowError("Incorrect file.");
    // First the fields are counted and checked, so that what is then stored
    // is no more than a table of the composition holds, whatever the file.
    std::vector<std::int32_t> counts;
    bool counted = true;
    try {
        counted = CountTableLines(f, size, maxLines, counts);
    } catch (const Exception&) {
        return {};
    }
    if (!counted || !TableNumbersTaken(f, size, static_cast<int>(counts.size())))
        ThrowError("Incorrect file.");
    ComplexTable table;
    table.reserve(counts.size());
    if (f.Seek(0, 0) != 0) ThrowError("Error: Can't read from file");
    // Each line takes the room of its count; a file that changed meanwhile
    // (another count) is refused.
    bool lineStarts = true;
    const bool stored = ScanTableFile(
        f, size, true,
        [&](int, const std::string& text, std::int64_t) {
            if (lineStarts) {
                const std::size_t line = table.size();
                if (line == counts.size()) return false;
                table.emplace_back().reserve(static_cast<std::size_t>(counts[line]));
                lineStarts = false;
            }
            if (table.back().size() == table.back().capacity()) return false;
            table.back().emplace_back(text);
            return true;
        },
        [&](int fields) {
            lineStarts = true;
            return fields == counts[table.size() - 1];
        });
    if (!stored || table.size() != counts.size() || !ComplexTableReadable(table))
        ThrowError("Incorrect file.");
    return table;
}

ComplexTable ReadTakenComplexTable(const std::string& name,
                                   const TUnivSet<TComponents>& composition)
{
    return ReadTakenComplexTable(name, ComplexTableByteLimit(composition),
                                 ComplexTableLineLimit(composition));
}

bool IsComplexTableFile(const std::string& name)
{
    // Read a field at a time: whatever the file, nothing of it is stored.
    KFile f;
    if (OpenForReading(f, name) != OpenOutcome::Opened) return false;
    const std::int64_t size = f.Seek(0, 2);
    if (size < 0 || size > kComplexTableMaxBytes || f.Seek(0, 0) != 0) return false;
    try {
        std::vector<std::int32_t> counts;
        return CountTableLines(f, size, INT64_MAX, counts, true) && !counts.empty() &&
               TableNumbersTaken(f, size, static_cast<int>(counts.size()));
    } catch (const Exception&) {
        return false;
    }
}

void LoadComplexData(RunState& st, const std::string& name, std::int64_t maxBytes)
{
    TakeComplexTable(st, ReadTakenComplexTable(name, maxBytes), st.Composition);
}
