// Chrom mode (run setup "Chrom Mode"): a chromatographic model. Constituents
// 1 and 2 are carried by the flow at v = |EOFMob| 1e9 (the EOF entry taken as a
// velocity) and retarded by competitive Langmuir adsorption, with capacity a =
// the entered mobility of form 0 (display units) and constant K = the entered
// pKa of form 0. The electroneutrality solve is off in this mode: Init puts
// cH = 1e-4 mM (pH 7) into every level, so the speciation has a valid value.
#pragma once

#include "engine/modes/modes.h"

class RunState;

// Text of the refusal: constituents 1 and 2 must have -1 as their lowest charge.
inline constexpr const char* kChromModeConstituents = "Incorrect constituents for Chrom Mode!";

// Derivatives of constituents 1 and 2 at the interior nodes (the rows of the
// others keep their contents), then the walls of a flow from left to right. A
// composition that does not fit stops the run with the refusal (once per run).
void CalcDER_Chrom(RunState& st, int level);

// Walls of a flow from left to right, for every constituent: the left wall
// holds its value and the right wall follows its neighbour.
void FlowWalls(RunState& st, int level);

ModeHooks ChromModeHooks();
