// The standard finite-difference scheme of the derivative routine, as named
// terms that a mode reuses or replaces. h1 = 0.5/DX and h2 = 1/DX/DX; the
// window is LeftWall..RightWall of the run state, its interior the nodes
// strictly between. The per-node kernels (ConductivityTerm, DiffusionTerm,
// MigrationTerm) read the state and write only their explicit output rows, so
// node chunks may run on several threads.
#pragma once

#include <vector>

#include "engine/modes/modes.h"

class RunState;
class EngineArrays;
class NodeDiffusion;

// The kernels below skip the form rows r of CForm with inUse[r] == 0 (null:
// none): rows that are 0 across the window (FormRowsInUse) add nothing.
//
// Diffusion-current sum W and conductivity (K = sum of |z| u c, Kappa =
// 96485 K) of nodes clo..chi of the window; one-sided differences at the walls.
// With `nd` each diffusion coefficient takes its factor at the node temperature.
void ConductivityTerm(const RunState& st, int level, int clo, int chi, double h1, double* W,
                      double* K, double* kappa, const char* inUse = nullptr,
                      const NodeDiffusion* nd = nullptr);
// For the constituents of kWideForms forms or more (whose forms far from the
// prevailing charge the node solve sets to 0): 1 for each row of CForm at
// `level` with a value other than ±0 in the window, 0 for the others; every
// row of the other constituents is 1. Null when the run has no such
// constituent. `rows` holds the flags (FormRows of them).
const char* FormRowsInUse(const RunState& st, int level, std::vector<char>& rows);
// Work rows W and K of ConductivityTerm for modes that form the conductivity
// themselves (kept in the run's engine context: st.Engine.Scratch).
struct ConductivityRows {
    std::vector<double> W, K;
    void Ensure(int nn)
    {
        if (static_cast<int>(W.size()) >= nn) return;
        W.assign(nn, 0.0);
        K.assign(nn, 0.0);
    }
};
// Field and conductivity: ConductivityTerm over the window into Kappa, the
// additional conductivity, current and voltage, then the ohmic field corrected
// by the diffusion current into E. W and K are work rows of Nn values. False
// when the voltage or current cannot be formed (the run stops).
bool FieldAndConductivity(RunState& st, int level, double* W, double* K,
                          const char* inUse = nullptr);
// Diffusion of constituent i at nodes clo..chi: sum over its forms of
// D (c[j-1] - 2 c[j] + c[j+1]) h2, into Ds; with the factor row g of its
// coefficients at the node temperatures (NodeDiffusion) in flux form.
void DiffusionTerm(const EngineArrays& a, int level, int i, int clo, int chi, double h2, double* Ds,
                   const char* inUse = nullptr, const double* g = nullptr);
// Migration flux difference of constituent i at nodes clo..chi: sum over its
// charged forms of sign(z) (G[j+1] - G[j-1]) h1 with G = u c E (G is a work
// row, written at clo-1..chi+1), into Ms.
void MigrationTerm(const EngineArrays& a, int level, int i, int clo, int chi, double h1,
                   const double* E, double* G, double* Ms, const char* inUse = nullptr);
// Electroosmotic convection of the analytical concentrations, added to F.
void EOFConvectionTerm(RunState& st, int level);
// Kinetic reaction C + P -> PC (constituents 2, 3 -> 1) over the interior, added to F
// (the scheme adds it at the walls that keep their own derivative after the wall rule).
void KineticTerm(RunState& st, int level, int lw, int rw);
// Walls: a constituent entering the window (or at rest) holds its wall value;
// one leaving it lets the wall follow its neighbour. WallTerm first rebuilds
// the effective mobilities next to the walls from the level (level > 3, the
// first step of the starter); WallRule is the rule alone, for a mode that
// rebuilds them its own way.
void WallTerm(RunState& st, int level);
void WallRule(RunState& st, int level);
// Whether the wall node `wall` (LeftWall or RightWall) of constituent i
// follows its neighbour by the wall rule (the constituent leaves the window
// there); otherwise the rule holds the wall's value.
bool WallFollowsNeighbour(const RunState& st, int i, int wall);
// The electrode boundary (ElectrodeBoundary) and dcH/dt (CalcDER_dcH) are
// declared in derivatives.h.

// The whole scheme: field and conductivity (stops there with fieldOnly), then
// diffusion minus migration, EOF convection, kinetic and racemic add-ons,
// walls, electrode boundary and dcH/dt.
void StandardScheme(RunState& st, int level, bool fieldOnly);

// Hooks of the standard mode (no mode switch on).
ModeHooks StandardModeHooks();
