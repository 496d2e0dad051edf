// The complexation table of the complexation window: the default table built
// from the composition and the grid the window shows. The table's lines and
// its text file are those of files/complex_file.h.
#pragma once

#include <string>
#include <vector>

#include "engine/modes/complex/complexation_settings.h"
#include "engine/state/components.h"
#include "files/complex_file.h"
#include "foundation/univset.h"

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
ComplexGrid ComplexGridFromTable(const ComplexTable& table, int nL, int pL,
                                 const TUnivSet<TComponents>& composition, const std::string& pKx,
                                 const std::string& ux);
// Grid rows of the two section titles (not editable).
int ComplexGridPKxTitleRow();
int ComplexGridUxTitleRow(int formCount);
// Whether the pKa cell of column `col` (1-based) holds no constant: the
// neutral charge, and the first (all charges positive) or last (all negative).
bool ComplexPKaCellIsNone(int nL, int pL, int col);
// Field `col` of table line `line` (both 1-based) that cell (r, c) of a grid
// laid for ligand charges nL..pL shows; false for the titles and the pKa
// cells of charges without a constant.
bool ComplexGridCellField(const ComplexGrid& grid, int nL, int pL, int r, int c, int& line,
                          int& col);
// Every cell of `grid` changed from `shown` (the grid as it was laid for
// ligand charges nL..pL) that the table does not take as typed
// (ComplexTypedRefusal; a pKa cell without a constant takes only "None")
// goes back to its text in `shown` ("-" when the shapes differ); answers the
// refusals, one line each, naming the field and the value ("" when none).
std::string RevertRefusedCells(ComplexGrid& grid, const ComplexGrid& shown, int nL, int pL,
                               const TUnivSet<TComponents>& composition);
// The table from the grid and the edits: empty cells become "None" (the
// engine then uses its default for them and lists them), and so does a field
// the table's rule does not take (ComplexFieldTakes).
ComplexTable ComplexTableFromGrid(const ComplexGrid& grid, int nL, int pL, const std::string& pKw,
                                  const std::string& uH, const std::string& uOH, int analytes);
