// Helpers of the engine's run tests: the level-2 profile of a constituent and
// its moments, the zone and voltage of a run before Init, and a run at a
// fixed time step.
#pragma once

#include <vector>

#include "engine/run_state.h"

namespace testcomp {

// Level-2 concentrations of constituent i on every node.
std::vector<double> Profile(const RunState& st, int i);

// Amount (sum of the node values), centroid (m) and variance (m2) of a
// profile on nodes dx apart.
struct ProfileMoments {
    double amount, mean, variance;
};
ProfileMoments Moments(const std::vector<double>& c, double dx);
ProfileMoments Moments(const RunState& st, int i);

// Pending zone of width `widthMM` (edges `edgeMM`) at `injMM`, and a constant
// voltage without sequence recording.
void SetZoneAndVoltage(RunState& st, double injMM, double widthMM, double edgeMM, double volts);

// Runs an initialised state from dt to stopTime and stops it.
void RunTo(RunState& st, double stopTime, double dt);
// The same at a fixed dt (no time-step control), the walls fixed when asked.
void RunFixed(RunState& st, double stopTime, double dt, bool fixedWalls = false);

// Every value the equilibrium routines write at `level` (the forms, the ionic
// strength, the mean charges and effective mobilities), and the pH.
std::vector<double> EquilibriumImage(RunState& st, int level);

}  // namespace testcomp
