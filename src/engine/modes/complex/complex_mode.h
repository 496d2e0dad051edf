// Complexation mode ("Enable Complex Mode"): constituent 1 is a ligand, every
// further constituent an analyte whose ionic forms bind one ligand in any of
// its ionic forms. The set-up turns the window's table into constants, the
// equilibrium solves cH and the free-ligand fraction node by node (a 2x2
// Newton), and the derivatives move free species and complexes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/modes/complex/complexation_settings.h"
#include "engine/modes/modes.h"
#include "engine/state/components.h"
#include "foundation/univset.h"

class RunState;

// Constants and work rows of a complexation run, built at Init from the table.
// Index a: 0 the ligand, 1..Nanalytes the analytes (constituent a+1); f the
// form of analyte a (charge ZMin[a+1] + f); q the ligand form (charge nL + q).
struct ComplexData {
    int nL = 0, pL = 0, Nanalytes = 0;
    std::vector<int> FormCount;                          // [a]: forms (1 for the ligand row)
    std::vector<std::vector<std::vector<double>>> K, U;  // [a][f][q]
    std::vector<double> LigandL;                         // [q]: cumulative ligand constants
    double Kw = 1e-8;                                    // mM2, water product of the table
    // Shape the arrays were built for.
    int NComp = 0, Nn = 0;
    // Equilibrium fractions per concentration slot (rotating with C): row
    // Row(a, f, q) holds Nn values; q = Q() + 1 is the free analyte form.
    std::vector<double> Work[6];

    int Q() const { return pL - nL; }
    int Row(int a, int f, int q) const
    {
        return (FormBase[static_cast<std::size_t>(a)] + f) * (Q() + 2) + q;
    }
    std::vector<int> FormBase;  // [a]: rows of forms before analyte a
};

// The complexation data of the run, the mode's own state slot (copied with the
// run state; empty until the set-up built them, forgotten when the run is gone).
ComplexData& ComplexArrays(RunState& st);
// Fractions row (a, f, q) of time level `level`.
double* ComplexWork(RunState& st, int level, int a, int f, int q);

// Whether a table read from a file can be taken: an empty one (no data, which
// the run's set-up reports), or one whose first line holds just the ligand's
// charges nL and pL as two integers within the charges a ligand may have,
// whose lines hold no more fields than the ligand's charges give (nL..pL
// within the ligand's range), and whose fields are each taken
// (ComplexFieldTakes). A field that is no number ("None") or a missing one is
// left to the set-up, which lists it and takes its default.
bool ComplexTableReadable(const ComplexTable& table);
// The one rule of a table's values for the file's reader, the window and
// Init: why the table is not readable (ComplexTableReadable), naming the
// field as the window shows it (ComplexFieldName, with the analytes of
// `composition`) and its value, or "" when it is.
std::string ComplexTableValuesRefusal(const ComplexTable& table,
                                      const TUnivSet<TComponents>& composition = {});
// The refusal of value `text` of the field named `field`.
std::string ComplexValueRefusal(const std::string& field, std::string_view text);
// Field `col` (1-based) of table line `line` (1-based) of a table of `lines`
// lines for a ligand of charges nL..pL, named as the window shows it: "nL",
// "pKw (M^2)", "Free ligand u (1e-9), zL = 1", "pKx (M^-1), Amine; z = 1,
// zL = -1" (the analyte forms of `composition`; "form 3" beyond them).
std::string ComplexFieldName(int line, int col, int lines, int nL, int pL,
                             const TUnivSet<TComponents>& composition);
// The name of the free ligand's pKa of charge z.
std::string ComplexLigandPKaName(int z);
// Whether the ligand of charges nL..pL has a pKa field for charge z: every
// charge but 0, and but the lowest when all are positive or the highest when
// all are negative (the reference forms).
bool ComplexLigandHasPKa(int nL, int pL, int z);

// Whether the table's text file carries `text` as field `col` (1-based) of a
// table line and reads it back as it is: not empty, no tab or line break, and
// a line's first field not beginning with '#' (that line would be a comment).
bool ComplexFieldCarried(std::string_view text, int col);
// Whether a ligand charge text (nL, pL) is taken: an integer within
// -kMaxLigandCharge..kMaxLigandCharge, the charges a constituent may have.
bool ComplexLigandChargeTakes(const std::string& text);
// Whether field `col` of table line `line` of a table of `lines` lines is
// taken: carried by the file, a ligand charge within its range (line 1), and
// a number within the limits of its kind (ComplexNumberTakes). A text that is
// no number is taken (the set-up lists it and takes its default).
bool ComplexFieldTakes(int line, int col, int lines, std::string_view text);
// Whether the set-up uses the field as it stands, without listing it: taken,
// a number, a mobility not negative and the ions' uH, uOH above 0.
bool ComplexFieldClean(int line, int col, int lines, std::string_view text);
// The refusal of `text` typed for field `col` of line `line` (names as
// ComplexFieldName), or "" when it is taken as typed: a ligand charge
// ComplexLigandChargeTakes takes, else a missing value ("", "None", "-") or
// one the set-up uses as it stands (ComplexFieldClean). What is typed thus
// never becomes a value the set-up lists at every Init.
std::string ComplexTypedRefusal(int line, int col, int lines, int nL, int pL,
                                const TUnivSet<TComponents>& composition, std::string_view text);

// Forms of a ligand of charges nL..pL as the table's lines count them: the
// widest ligand's when the charges are out of order or beyond any ligand's.
std::size_t ComplexLigandForms(int nL, int pL);
// Fields table line `line` (1-based) may hold for a ligand of `forms` forms
// (line 2: the pKa of every charge but 0, or "None" when there is none).
std::size_t ComplexLineFieldLimit(int line, std::size_t forms);

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
// The table with every field after the first line that is not taken
// (ComplexFieldTakes) replaced by "None" (the set-up lists it and takes its
// default): what the window and the default table build is a table the
// reader takes.
ComplexTable WithTakenNumbers(ComplexTable table);

// Why Init would refuse complexation with this table, composition and
// ionic-strength switch (the warning's text), or "" when it would not.
std::string ComplexSetupRefusal(const ComplexTable& table, const TUnivSet<TComponents>& composition,
                                bool isCorrection);
// The window's note when it adjusts the table to the composition.
inline constexpr const char* kComplexTableAdjusted =
    "Complex table was automatically adjusted to a new composition using default values.";
// Whether the table has the lines of `composition`: a ligand and at least one
// analyte, 5 + 2F lines (F analyte forms) and the analyte count in line 5.
bool ComplexTableFits(const ComplexTable& table, const TUnivSet<TComponents>& composition);
// The table adjusted to `composition` (at least 2 constituents) as the window
// adjusts it: the ligand's and the water's lines kept, line 5 the analyte
// count, the table's pKx and ux lines in order as far as the forms reach,
// further forms with `pKx` and `ux` in each ligand column.
ComplexTable ComplexTableAdjusted(const ComplexTable& table,
                                  const TUnivSet<TComponents>& composition, const std::string& pKx,
                                  const std::string& ux);
// The constituents of `composition`, the ligand first, as a table's lines are
// for them.
ComplexTableConstituents ComplexConstituentsOf(const TUnivSet<TComponents>& composition);
// The table in use := `table`, made or read for `composition` (the engine's
// data no longer ready).
void TakeComplexTable(ComplexationSettings& cx, ComplexTable table,
                      const TUnivSet<TComponents>& composition);
// The table in use laid onto `composition` as the window shows it: each
// analyte's lines where its constituent (name and charges) now stands, an
// analyte new to the table with `pKx` and `ux` in each ligand column. The table
// itself when the constituents it was taken for are not known or are those of
// `composition`.
ComplexTable ComplexTableOnto(const ComplexationSettings& cx,
                              const TUnivSet<TComponents>& composition, const std::string& pKx,
                              const std::string& ux);
// After the composition of the last Init came back (Restore, a save that
// restores; `before` the constituents it replaced): the ligand's and the
// water's lines in use are kept, and so are the lines of every analyte in use
// whose constituent (name and charges) is back; an analyte the table in use
// has no lines for takes those of the Init's table (when that fits the
// composition) or the defaults, in the ligand charges of the lines kept. The window's note is
// shown when the table is then neither the one in use nor the Init's. A table
// in use whose constituents are not known is taken as made for `before` or
// the composition back when it fits them; else the Init's table when it fits,
// else the table in use adjusted line by line (with the note). Without an
// analyte: no table and the mode switched off (a warning says so).
void ComplexTableAfterRestore(RunState& st, const ComplexTableConstituents& before);

// Checks before a run; false after its warning. Changes nothing: the data of
// the run stay until the engine arrays go (ComplexFreeArrays, the mode's Reset).
bool ComplexCheckSetup(RunState& st);
// Builds the constants and work rows from the table (bad fields take defaults
// and are listed in one warning) and sets ComplexReady.
void ComplexInit(RunState& st);
// Releases the data and clears ComplexReady.
void ComplexFreeArrays(RunState& st);
// Whether the data match the run's arrays and may be used.
bool ComplexUsable(RunState& st);

// The two equations at a node for (h, w) and their Jacobian.
struct ComplexEquations {
    double F1 = 0, F2 = 0;
    double dF1dw = 0, dF1dh = 0, dF2dw = 0, dF2dh = 0;
};
ComplexEquations EvaluateComplexEquations(RunState& st, int level, int node, double h, double w);
// Newton's method with restarts at one node: h and w carry the start in and
// the solution out. False when it did not converge; a solution that is no
// number, h <= 0 or w < 0 warns (once per run), sets Stop and stores nothing.
bool ComplexNewton(RunState& st, int level, int node, double& h, double& w, int& iterations);
// The equilibrium of level `level` (Elneut's arguments).
void ComplexElneut(RunState& st, int level, int source, int node, bool speciate);
// Conductivity, field and (unless fieldOnly) the derivatives of level `level`.
void ComplexDerivative(RunState& st, int level, bool fieldOnly);

ModeHooks ComplexModeHooks();
