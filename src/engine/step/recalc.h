// Profile recalculation: brings the derived quantities of time level 2 into
// line with its concentrations (equilibrium on the whole grid, conductivity,
// current, voltage and field) and refills the derived profile series.
#pragma once

class RunState;

// `start` is handed to the equilibrium solve as its source level: -1 uses no
// earlier hydrogen-ion concentrations, 2 starts every node from level 2.
// The computation window is widened to the whole grid for the solve and
// restored afterwards, also when a routine raises.
void RecalcProfiles(RunState& st, int start);
