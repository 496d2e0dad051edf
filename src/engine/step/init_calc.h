// Run initialisation (INIT): turns the edited composition and the pending
// run-setup values into a fresh engine state at time 0.
#pragma once

class RunState;

// Checks the composition and the mode settings (each refusal with its warning),
// applies the pending geometry, copies Composition into CompInit, allocates the
// engine arrays, builds the initial profiles and per-node constants, prepares
// the chart data and the temporary sequence file and solves equilibrium and
// field of level 2. With `Loading` set (a loader fills the state afterwards)
// the node check, the pending values, walls and time, the sequence reset and
// the final equilibrium are skipped.
//
// Returns true when a run exists afterwards (Initialised). A refusal before the
// arrays are released leaves the previous state as it was; any failure after
// that releases the arrays and leaves Initialised false (an exception is
// raised again after the release).
bool InitCalc(RunState& st);

// A sensible share of the machine's memory for one run (bytes): what Init's
// estimate of a run may reach, and what a mode may allocate for it later.
double RunMemoryShare();
