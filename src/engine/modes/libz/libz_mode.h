// LiBz mode (run setup cbLiBz): two constituents carried by the flow and
// diffusing with the diffusion coefficient of constituent 1 (an acid with
// charges -1..0); constituent 1 is retarded by a pH-dependent binding to the
// capacity given by constituent 3 (none without a third constituent). The
// temperature of level 2 follows the forms of constituent 1, and the field
// array carries (a + g - free capacity) 1000 as a display quantity.
#pragma once

#include "engine/modes/modes.h"

class RunState;

// Conductivity of the interior nodes (copied to the ends of the grid), voltage
// and current, T[2] over the window, the derivatives of constituents 1 and 2 at
// the interior nodes (the rows of the others keep their contents), E and the
// walls of a flow from left to right. Fewer than 2 constituents stop the run
// silently; a constituent 1 whose lowest charge is not -1 stops it with a
// warning (once per run).
void CalcDER_LiBz(RunState& st, int level);

ModeHooks LiBzModeHooks();
