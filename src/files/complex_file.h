// The complexation table's text file, a companion of a project ("<project>.txt"
// beside the ".sna", written when complexation mode is on): TAB separated
// fields, CR LF line ends, lines starting with '#' are comments.
//
// Table lines (1-based): 1 nL, pL; 2 ligand pKa of every charge but 0 ("None"
// when none); 3 ligand mobilities of every charge; 4 pKw, uH, uOH; 5 number of
// analytes; then one pKx line per analyte form and one ux line per analyte
// form, in the order of the composition (constituents 2..count, charges from
// the lowest).
#pragma once

#include <cstdint>
#include <string>

#include "engine/modes/complex/complex_mode.h"
#include "engine/state/components.h"
#include "foundation/univset.h"

class RunState;

// Lines of `text`: a separator ends a field, CR, LF or CR LF a line; empty
// fields are not stored; lines with an index (from 0) below `skip`, without
// fields or whose first field begins with '#' are left out.
ComplexTable ParseComplexTable(const std::string& text, int skip = 0, char separator = '\t');
// Bytes a table file may have when no composition is at hand: far more than
// the table of any composition a run can hold with its comments.
inline constexpr std::int64_t kComplexTableMaxBytes = 16 << 20;
// Bytes the table file of `composition` may have: its lines with every field
// of the widest ligand, long number texts, its comments and a generous room
// for the user's own. A larger file is no table of it and is not read.
std::int64_t ComplexTableByteLimit(const TUnivSet<TComponents>& composition);
// The table of a file; empty when the file cannot be read or is larger than
// `maxBytes` (nothing of it is read then).
ComplexTable ReadComplexTableFile(const std::string& name,
                                  std::int64_t maxBytes = kComplexTableMaxBytes);

// The text of the file: comment lines, the table lines and, per analyte, a
// comment with its number and name. The analyte lines are taken in order as
// far as the table has them.
std::string ComplexFileText(const ComplexTable& table, const TUnivSet<TComponents>& composition);
// Writes the file (replaced only when complete). False when it cannot be created.
bool SaveComplexFile(const std::string& name, const ComplexTable& table,
                     const TUnivSet<TComponents>& composition);

// Whether a file holds a complexation table: one table line at least, the
// first with the ligand's charges as two integers nL <= pL within their range,
// and every field taken (ComplexFieldTakes): a text whose first line the set-up
// would never take is the user's.
bool IsComplexTableFile(const std::string& name);

// The run state's table as the project's companion file and back. Loading
// replaces the table by one for the composition (the engine's data are then
// no longer ready); a file whose table cannot be taken raises "Incorrect
// file." and leaves the table.
bool SaveComplexData(RunState& st, const std::string& name);
void LoadComplexData(RunState& st, const std::string& name,
                     std::int64_t maxBytes = kComplexTableMaxBytes);
// The table of `name` when it can be taken (else "Incorrect file." is raised,
// also for a file larger than `maxBytes` or of more table lines than
// `maxLines`). Its fields are counted and checked before any is stored, so
// the memory it takes is within a small multiple of the file's size. A file
// that cannot be read gives an empty table.
ComplexTable ReadTakenComplexTable(const std::string& name,
                                   std::int64_t maxBytes = kComplexTableMaxBytes,
                                   std::int64_t maxLines = INT64_MAX);
// The table lines of a whole table of `composition` (5 + 2 x its analytes' forms).
std::int64_t ComplexTableLineLimit(const TUnivSet<TComponents>& composition);
// The table beside `composition`: at most its bytes and lines.
ComplexTable ReadTakenComplexTable(const std::string& name,
                                   const TUnivSet<TComponents>& composition);
