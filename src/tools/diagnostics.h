// The diagnostics graph of one constituent: the profiles Sx and bx from central
// differences of its concentration c, its effective mobility u and the
// conductivity kappa (r = u * LinScale / kappa):
//   Sx = kappa / r * dr / dc,   bx = dkappa / dc,
// drawn at INFValue where |dc| is not above MinDC (or where a quotient is not
// finite), its concentration profile, and on request r against c (vx).
#pragma once

#include "engine/step/run_series.h"

#include <string>

class RunState;
struct RunResults;

struct DiagnosticsParams {
    int LineIndex = 3;  // constituent 1..NComp
    double INFValue = 100;
    double MultSx = 1, Multbx = 1, Multvx = 1, MultC = 1;
    double MinDC = 1e-10;
    bool ShowVx = false;
};

struct DiagnosticsSeries {
    ChartSeries Sx{"Sx"}, bx{"bx"}, comp{"comp"}, vx{"vx"};
};

// Fills the four series from the run's level 2; false (series empty) when no
// run exists or the constituent is not one of the run. Sx and bx span 0 to the
// length in metres, comp the length in the chart's x unit.
bool ComputeDiagnostics(const RunState& st, const DiagnosticsParams& p, DiagnosticsSeries& out);

// Parses the six factor texts into `p` (a text that is no number keeps the
// value; MinDC takes only values above 0).
void ReadDiagnosticsTexts(DiagnosticsParams& p, const std::string texts[6]);

// The message of a clicked point: "Value = " + y + "\nPosition = " + (index + 1).
std::string DiagnosticsPointText(double y, int index);

// The answer to "Input constituent line": Cancelled for an empty, blank or
// unparsable answer (nothing happens), Taken for an integer 1..NComp of the
// run (stored in `line`), Refused for any other integer ("Incorrect
// constituent line!").
enum class LineAnswer { Cancelled, Taken, Refused };
LineAnswer ReadDiagnosticsLine(const RunResults& results, const std::string& text, int& line);
