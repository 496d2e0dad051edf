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

#include "engine/modes/complex/complexation_settings.h"
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

// Whether a table read from a file can be taken: an empty one (no data, which
// the run's set-up reports), or one whose first line holds just the ligand's
// charges nL and pL as two integers, whose lines hold no more fields than the
// ligand's charges give (nL..pL within the ligand's range), and whose numbers
// are each within the limits of their kind (ComplexNumberTakes). A field that
// is no number ("None") or a missing one is left to the set-up, which lists it
// and takes its default.
bool ComplexTableReadable(const ComplexTable& table);

// The kinds of numbers of the table, by line and column.
enum class ComplexNumber {
    Charge,    // line 1: nL, pL
    PK,        // line 2 (ligand pKa), line 4 column 1 (pKw), the pKx lines
    Mobility,  // line 3, line 4 columns 2 and 3 (uH, uOH), the ux lines (1e-9 m2/V/s)
    Count,     // line 5: number of analytes
};
// The kind of field `col` (1-based) of line `line` (1-based) of a table of
// `lines` lines (the pKx lines are the first half of those after line 5).
ComplexNumber ComplexNumberKind(int line, int col, int lines);
// Whether a number text is taken for its kind: 0 or a normal double (no
// subnormal such as 4.9e-324), a pK within +-300 (its constants 10^(3 - pK),
// 10^(-pK - 3) stay normal doubles) and a mobility within +-1e6 (1e-3
// m2/V/s, far above any ion's). A text that is no number is taken (the
// set-up lists it).
bool ComplexNumberTakes(ComplexNumber kind, const std::string& text);
// The table with every number its kind does not take replaced by "None" (the
// set-up lists it and takes its default): what the window and the default
// table build is a table the reader takes.
ComplexTable WithTakenNumbers(ComplexTable table);

// Whether a file holds a complexation table: one table line at least, the
// first with the ligand's charges as two integers.
bool IsComplexTableFile(const std::string& name);

// The run state's table as the project's companion file and back. Loading
// replaces the table (the engine's data are then no longer ready); a file
// whose table cannot be taken raises "Incorrect file." and leaves the table.
bool SaveComplexData(RunState& st, const std::string& name);
void LoadComplexData(ComplexationSettings& cx, const std::string& name,
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
