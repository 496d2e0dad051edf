// Split-advection mode (run setup "Special Mode", control cbSpec): pure advection of five
// constituents with fixed roles. Constituent 1 is split at every node, in fast equilibrium, into
// constituents 3 and 4: C3 is the positive root of Keq x^2 + (cR Keq + 1 - c1 Keq) x - c1 = 0 and
// C4 = c1 - C3, with cR the value of constituent 2 at the last node and Keq = FakeCapLen 1000 (the
// extra length read back in mm). Constituents 2, 3 and 4 move at their form-1
// mobility times UI/CapLength, 5 at the fast-equilibrium velocity of the split;
// nothing moves in the diffusion (conditioning) mode, which has no field.
#pragma once

#include "engine/modes/modes.h"

class RunState;

// Whether the run's arrays fit the mode: at least 5 constituents, of which
// 2, 3 and 4 have a form 1.
bool SplitAdvectionModeFits(const RunState& st);

// Kappa = 1 over the window, the split of constituent 1 into C3 and C4 (written
// into the concentrations of the level), the advection derivatives at the
// interior nodes and the wall rule; I, U and E are left as they are. A
// composition that does not fit, or a node without a real split, stops the run
// with a warning (once per run).
void CalcDER_SplitAdvection(RunState& st, int level);

ModeHooks SplitAdvectionModeHooks();
