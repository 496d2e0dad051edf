// The segment table of the capillary effects and the per-node profiles built
// from it. The table is a grid of texts (CapillaryEffects::Grid): row 0 the
// segment lengths, rows 1..10 the parameters, column 0 the titles, column 1
// the edge width of each row (mm), columns 2..SegCount+1 the segments, all in
// display units. The numeric copy (TableEdge/TableRows) is what the project
// file stores.
#pragma once

#include <string>
#include <vector>

class RunState;
struct CapillaryEffects;

inline constexpr int kEffectsRows = 11;  // grid rows 0..10

// Row indices of the grid.
enum EffectsRow {
    kRowLength = 0,
    kRowRatio = 1,
    kRowID = 2,
    kRowS = 3,
    kRowHOA = 4,
    kRowP = 5,
    kRowMix = 6,
    kRowT = 7,
    kRowSvol = 8,
    kRowPKEOF = 9,
    kRowUEOF = 10,
};

// Default (engine unit) and display factor of each row; index 0 is the edge
// width (m, factor 1000), 1..10 the grid rows.
struct EffectsDefaults {
    double value[kEffectsRows] = {};
    double factor[kEffectsRows] = {};
};
// Computed from the current capillary, temperature and edge width.
EffectsDefaults EffectsRowDefaults(const RunState& st);
// The default of a row in display units (row 0: the edge width in mm).
double DisplayDefault(const EffectsDefaults& d, int row);
// Display text of a number: rounded to `digits` significant digits, general form.
std::string EffectsNumberText(double value, int digits = 8);
// Row titles of column 0.
const char* EffectsRowTitle(int row);

// ---- grid commands ------------------------------------------------------------
// Create: SegCount := segments (>= 1), the grid gets its titles, every empty
// cell its default (column 2 from the defaults, the Ratio row 1, the other
// segment columns from column 2, the edge column from the edge default); cells
// that hold values keep them. The table copy is stored.
void CreateEffectsGrid(RunState& st, int segments);
// Default: every cell below the title row emptied, then Create.
void DefaultEffectsGrid(RunState& st);
// Clear: every cell below the title row emptied; lengths "-" and ratios 1.
void ClearEffectsGrid(RunState& st);
// Lengths of the segments (row 0) from the ratios and the computed row of each
// input pair (S from ID or ID from S, p from hOA or hOA from p). Returns the
// grid column of a ratio that is not a number (0 when all are numbers); then
// the lengths are "-".
int RefreshEffectsGrid(RunState& st);
// The numeric copy of the grid (a cell that is no number becomes -1), and the
// grid rebuilt from it (the project reader).
void StoreEffectsTable(CapillaryEffects& fx);
void RestoreEffectsTable(RunState& st);

// ---- node profiles ----------------------------------------------------------------
// Every node profile of the table takes its row default (S, HeatP, Mix and its
// windows, T of all levels and T0, SVol, PKEOF, UEOFMax).
void ResetEffectsProfiles(RunState& st);
// Every profile takes its default (ResetEffectsProfiles, whatever the
// switches), then the rows of every mode switched on are built from the grid
// (Init and "&ReInitiate"). False when a used cell is not acceptable; the
// caller shows kEffectsInvalid. A bad cell costs only its own value (its row
// default takes its place, every other cell and row is built); an edge of
// width 0 builds its row with sharp steps. Profiles never receive a non-finite
// value.
bool ApplyEffects(RunState& st);

inline constexpr const char* kEffectsInvalid = "Invalid Data Occured in CE Effects Window.";
inline constexpr const char* kEffectsHeatCombination =
    "Incorrect Combination of Cross-Section and Heating Mode in CE Effects Window to Calculate p form hOA "
    "and DIAMETER - Cylindrical Conditions Used!";
inline constexpr const char* kEffectsNegativeEOF =
    "uEOF Set to Negative Value (10th Row in CE Effects Window) - Use <Charge of EOF pK> Radiobuttons!";
inline constexpr const char* kEffectsRatioError =
    "Ratio Input Error: Incorrect Number Entry in Column No. ";

// One row built over the nodes: x_i = i CapLength/NX, the segment values of
// `values` (1..n) joined by erf steps of width w at the boundaries `bounds`
// (1..n-1, m). w <= 0 gives sharp steps (0.5 on a boundary). With windows
// (n + 1 rows), window k is about values[k] inside segment k, 0 elsewhere.
std::vector<double> ErfSegmentProfile(const std::vector<double>& values,
                                      const std::vector<double>& bounds, double w, int nx,
                                      double length, std::vector<std::vector<double>>* windows);
