// Builds a run state for engine tests without Init: constituents with one row
// of pK values and mobilities, uniform concentrations, arrays allocated and the
// per-node constants set, cH of every level at a neutral start value.
#pragma once

#include <string>
#include <vector>

#include "engine/state/components.h"
#include "engine/state/run_state.h"

// A constituent with charges minCharge..maxCharge. `pKa` and `u` (1e-9 m2/(V.s))
// are given per charge from minCharge to maxCharge; the neutral entry is ignored.
TComponents MakeConstituent(const std::string& name, int minCharge, int maxCharge,
                            const std::vector<double>& pKa, const std::vector<double>& u, double c);
// A strong monovalent ion: a cation (pK 14, charges 0..1) or an anion (pK -2,
// charges -1..0).
TComponents MakeStrongCation(const std::string& name, double u, double c);
TComponents MakeStrongAnion(const std::string& name, double u, double c);

// Puts `comps` into CompInit, allocates the arrays for nx + 1 nodes, writes pK
// values and mobilities per node, the concentration `c` of each record into
// every level of C, cH = 1e-4 mM into every level, and sets the per-node
// constants. Leaves Initialised true and the window 0..nx.
void SetUpUniformGrid(RunState& st, const std::vector<TComponents>& comps, int nx = 10);

// Residual of the charge balance cH - cOH + sum z c at a node of a level, and
// the scale sum |z| c it is measured against.
double ChargeBalance(RunState& st, int level, int node, double* scale = nullptr);

// Fractions of the forms zmin..zmax at cH = h (mM), written directly from the
// mass-action law with K = 10^(3 - pK) mM (`pK` per charge, the neutral entry
// unused), in logarithms so that high charges cannot overflow.
std::vector<double> FormFractions(int zmin, int zmax, const std::vector<double>& pK, double h);
