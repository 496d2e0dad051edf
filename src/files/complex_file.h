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

#include <string>

#include "engine/modes/complex/complexation_settings.h"
#include "engine/state/components.h"
#include "foundation/univset.h"

class RunState;

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
bool SaveComplexFile(const std::string& name, const ComplexTable& table,
                     const TUnivSet<TComponents>& composition);

// Whether a table read from a file can be taken: an empty one (no data, which
// the run's set-up reports), or one whose first line holds the ligand's
// charges nL and pL as two integers. Every other field is checked by the
// set-up, which lists a bad one and takes its default.
bool ComplexTableReadable(const ComplexTable& table);

// Whether a file holds a complexation table: one table line at least, the
// first with the ligand's charges as two integers.
bool IsComplexTableFile(const std::string& name);

// The run state's table as the project's companion file and back. Loading
// replaces the table (the engine's data are then no longer ready); a file
// whose table cannot be taken raises "Incorrect file." and leaves the table.
bool SaveComplexData(RunState& st, const std::string& name);
void LoadComplexData(ComplexationSettings& cx, const std::string& name);
// The table of `name` when it can be taken (else "Incorrect file." is raised).
ComplexTable ReadTakenComplexTable(const std::string& name);
