// Helpers of the engine's run tests: the level-2 profile of a constituent and
// its moments, the zone and voltage of a run before Init, and a run at a
// fixed time step.
#pragma once

#include <string>
#include <vector>

#include "engine/state/run_state.h"

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

// A complexation run of two trace zones (1e-3 mM, 1 mm wide at 12.5 mm of a
// 25 mm capillary, 250 nodes, 100 V) in 30 mM acetic acid with 15 mM sodium and
// a neutral ligand "Selector" of `ligand` mM everywhere: potassium binds it
// with K = 0.1 1/mM (complex mobility 20), an anion of mobility 60 with K =
// 0.05 1/mM (complex mobility 15). The state is ready for Init.
struct BindingZone {
    int constituent;
    double uFree, uComplex, K, sign;  // mobilities 1e-9 m2/(V.s), K 1/mM, sign of the charge
};
std::vector<BindingZone> ComplexZones();
void PrepareComplexZoneRun(RunState& st, double ligand);
// The zone's mobility by the binding isotherm (u_free + K [L] u_complex) /
// (1 + K [L]), signed, in m2/(V.s).
double IsothermMobility(const BindingZone& z, double ligand);

// Every value the equilibrium routines write at `level` (the forms, the ionic
// strength, the mean charges and effective mobilities), and the pH.
std::vector<double> EquilibriumImage(RunState& st, int level);

// Where the stored equilibrium of level 2 after a step (the forms, cOH, ionic
// strength, and the pH, mean charges and effective mobilities, which follow
// the level speciated last) differs at some node, bit for bit, from a fresh
// speciation of the same concentrations and cH (on a copy of the state, node
// by node). Empty when nothing differs; else the first difference.
std::string SpeciationDifference(RunState& st);

}  // namespace testcomp
