// The complexation table of the complexation window: its text file (TAB
// separated, CR LF, '#' comments), the default table built from the
// composition, and the grid the window shows.
//
// Table lines (1-based): 1 nL, pL; 2 ligand pKa of every charge but 0 ("None"
// when none); 3 ligand mobilities of every charge; 4 pKw, uH, uOH; 5 number of
// analytes; then one pKx line per analyte form and one ux line per analyte
// form, in the order of the composition (constituents 2..count, charges from
// the lowest).
#pragma once

#include <string>
#include <vector>

#include "engine/complexation_settings.h"
#include "engine/components.h"
#include "foundation/univset.h"

// Lines of `text`: a separator ends a field, CR, LF or CR LF a line; empty
// fields are not stored; lines with an index (from 0) below `skip`, without
// fields or whose first field begins with '#' are left out.
ComplexTable ParseComplexTable(const std::string& text, int skip = 0, char separator = '\t');
// The table of a file; empty when the file cannot be read.
ComplexTable ReadComplexTableFile(const std::string& name);

// The text of the file: comment lines, the table lines and, per analyte, a
// comment with its number and name. The analyte lines are taken in order as
// far as the table has them.
std::string ComplexFileText(const ComplexTable& table, const TUnivSet<TComponents>& composition);
// Writes the file (replaced only when complete). False when it cannot be created.
bool SaveComplexFile(const std::string& name, const ComplexTable& table, const TUnivSet<TComponents>& composition);

// Number of analyte forms: charges of constituents 2..count.
int ComplexFormCount(const TUnivSet<TComponents>& composition);
// The default table of a composition with at least 2 constituents; every pKx
// and ux field is the given text.
ComplexTable DefaultComplexTable(const TUnivSet<TComponents>& composition, const std::string& pKx,
                                 const std::string& ux);

// The grid: [row][column], row 0 and column 0 the titles; pL - nL + 2 columns
// and 2F + 5 rows (title, ligand pKa, ligand u, "pKx (M^-1)", F form rows,
// "ux (1e-9)", F form rows). Missing values show "-"; form rows beyond the
// table take pKx / ux.
using ComplexGrid = std::vector<std::vector<std::string>>;
ComplexGrid ComplexGridFromTable(const ComplexTable& table, int nL, int pL, const TUnivSet<TComponents>& composition,
                                 const std::string& pKx, const std::string& ux);
// Grid rows of the two section titles (not editable).
int ComplexGridPKxTitleRow();
int ComplexGridUxTitleRow(int formCount);
// Whether the pKa cell of column `col` (1-based) holds no constant: the
// neutral charge, and the first (all charges positive) or last (all negative).
bool ComplexPKaCellIsNone(int nL, int pL, int col);
// The table from the grid and the edits: empty cells become "None" (the
// engine then uses its default for them and lists them).
ComplexTable ComplexTableFromGrid(const ComplexGrid& grid, int nL, int pL, const std::string& pKw,
                                  const std::string& uH, const std::string& uOH, int analytes);

class RunState;
// The run state's table as the project's companion file (written when
// complexation mode is on) and back (the table is replaced and the engine's
// data are no longer ready).
bool SaveComplexData(RunState& st, const std::string& name);
void LoadComplexData(RunState& st, const std::string& name);
