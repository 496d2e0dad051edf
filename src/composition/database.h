// The constituent database "Database.dbc": ready-made charge limits, pKa values
// and limiting mobilities supplied beside the program.
//
// Layout (little-endian, no alignment): a header text ended by a zero byte;
// 8 reserved bytes; int32 count; then per entry: name (text ended by a zero
// byte), int32 n (minCharge = -n), int32 p (maxCharge = p), n + p doubles of
// limiting mobilities (1e-9 m2/(V s)) and n + p doubles of pKa, both for the
// charges -n..-1, 1..p. Mobilities come before the pKa values.
#pragma once

#include "engine/state/components.h"
#include "foundation/univset.h"

#include <string>

// Header text written by this program's writer.
inline constexpr const char* kDatabaseHeader = "KELVO DBC FILE";

// Reads the database `name` into `database` (emptied first). False for a
// missing, empty or damaged file (a text without its zero byte where a number
// must follow, negative charge counts, a count larger than the bytes left);
// `database` is then left empty.
bool ReadDatabase(const std::string& name, TUnivSet<TComponents>& database);

// Writes `database` with the layout above, through a temporary file renamed
// over `name` once complete. False when the file cannot be created; a write
// error raises "Error: Can't write to file" and leaves a previous file intact.
bool WriteDatabase(const std::string& name, const TUnivSet<TComponents>& database);

// Texts of the list view row of an entry: n (signed minCharge), p, the pKa
// list and the u list ("; " between values, " | " at the neutral position of
// an ampholyte).
struct DatabaseRowTexts {
    std::string name, n, p, pKa, u;
};
DatabaseRowTexts DatabaseRow(const TComponents& entry);

// The source table of the supplied database: one entry per line, fields
// separated by tabs: name, n, p, the pKa values and the mobilities of the
// charges -n..-1, 1..p (each list separated by ';'), then source notes.
// Blank lines and lines starting with '#' are skipped. False with a message
// naming the line for a malformed line.
bool ParseDatabaseTable(const std::string& text, TUnivSet<TComponents>& database,
                        std::string& error);
