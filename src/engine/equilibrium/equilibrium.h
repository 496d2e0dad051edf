// Acid-base equilibrium of the run: per-node constants built at Init, the
// speciation of a level from its stored cH, and the electroneutrality solve
// (Newton's method for cH at every node).
#pragma once

#include <cmath>
#include <string>

#include "engine/state/engine_arrays.h"

class RunState;

// Physical constants of the engine.
inline constexpr double kGasConstant = 8.314;  // J/(mol.K)
inline constexpr double kFaraday = 96485.0;    // C/mol
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kMobilityH = 362.5e-9;        // m2/(V.s)
inline constexpr double kMobilityOH = 205.5e-9;       // m2/(V.s)
inline constexpr double kNeutralOnlyMobility = 2e-8;  // m2/(V.s), constituent without charged forms
inline constexpr double kImmobileMobility = 1e-15;    // m2/(V.s)
inline constexpr double kKwRef = 1e-8;                // mM2
// The smallest H+ concentration (mM) the solve of a node keeps; a smaller
// result is replaced by the left neighbour's (the first node's by 1e-9).
inline constexpr double kSmallestKeptCH = 1e-14;

// Ionic product of water in force: the ionic-strength corrected value while the
// correction is on, the user's value otherwise.
double ActiveKw(const RunState& st);

// ---- per-node constants (run initialisation) ----------------------------------
// SkipComp: 1 for a charged constituent whose charged forms have mobility
// <= 1e-15 at every node, 0 otherwise.
void SetSkipComp(RunState& st);
// Default cross-sections S and SVol (unless the capillary-effects table feeds
// them) and the uniform-capillary flag EOFAsVelocity.
void SetDefaultCrossSections(RunState& st);
// H+ and OH- data, UFormLim, KForm, KFormLim, LForm, DBase and DForm.
// Raises code -3 at "Elneut" when a cation's constants multiply to exactly 0.
void SetNodeConstants(RunState& st);
// Rebuilds LForm at one node from KForm (used after KForm changes there).
void BuildLForm(RunState& st, int node);
// The same for constituent i alone.
void BuildLFormOf(EngineArrays& a, int i, int node);

// ---- speciation ----------------------------------------------------------------
// From the stored cH of `level`: cOH, pH (unless the ionic-strength correction
// is on), every form, ZMean, UEff and IonicStrength[level]. node < 0 treats the
// window LeftWall..RightWall. A node whose cH is not a positive finite number is
// left untouched, and the run is stopped with a warning (once per run).
void CalcSpeciation(RunState& st, int level, int node);

// pH = 3 - log10(cH) of node n (remembered per node: see EngineArrays::PHMemo).
inline double NodePH(EngineArrays& a, int n, double cH)
{
    if (a.PHMemoCH[n] != cH) {
        a.PHMemoCH[n] = cH;
        a.PHMemo[n] = 3 - std::log10(cH);
    }
    return a.PHMemo[n];
}

// ---- electroneutrality ---------------------------------------------------------
// Solves cH of `level` at one node (node >= 0) or at every node of the range
// (window, or the whole grid when source = -1). source 0 = level + 1 supplies
// the start values, -1 = start at 1e-12 and continue from the left neighbour.
// With `speciate`, CalcSpeciation(level, node) follows. A failed solve warns
// (once per run), sets Stop and NumericalFailure and leaves the remaining nodes.
// storeForms false (only with speciate false): the caller speciates the solved
// nodes before anything reads them, so only cH is stored (the speciation
// writes pH and cOH).
void Elneut(RunState& st, int level, int source, int node, bool speciate, bool storeForms = true);
// A mode with its own equilibrium (ModeHooks::Equilibrium) takes Elneut's work
// while it is the selected mode.
// One more solve of the equilibrium (NewtonItTotal); a state without a run
// raises code -10. Elneut counts each call; a mode's own equilibrium counts
// its solves through it.
void CountEquilibriumSolve(RunState& st);

// ---- per-node pieces (for callers that spread nodes over threads) ------------
// Each takes its own scratch; nodes are independent except where Elneut reads
// the left neighbour (source -1, the start guard and the tiny-value replacement).
struct NewtonScratch;
struct ElneutNodeResult {
    double x;                // result of the iteration (before the tiny-value replacement)
    int n;                   // Newton passes
    bool passed;             // at least one pass computed the sums of this node
    int nActive;             // constituents that took part (listed in the scratch)
    bool exhausted = false;  // the restarts from below ran out: x is no root
};
// Speciation of node n of `level`; false (nothing written) for an invalid cH.
bool SpeciateNode(RunState& st, int level, int n, NewtonScratch& s);
// Speciation of constituent j (kWideForms forms or more) at node n of `level`
// from the terms t[k - klo] of its forms klo..khi that matter and their sum s0:
// CForm (rows wlo..whi, 0 outside klo..khi), ZMean and UEff; add = its share
// of twice the ionic strength. SpeciateWide forms the terms at cH x first (t:
// room for every form) and is false, with nothing written, without a window.
void SpeciateWideTerms(EngineArrays& a, int level, int j, int n, const double* t, int klo, int khi,
                       double s0, int wlo, int whi, double& add);
bool SpeciateWide(EngineArrays& a, int level, int j, int n, double x, double* t, int wlo, int whi,
                  double& add);
// Newton's method at node i from start x and restart value r.
ElneutNodeResult SolveElneutNode(const RunState& st, int level, int i, double x, double r,
                                 int itNew, NewtonScratch& s);
// Stores cH = x, pH, cOH, the forms and UEff of node i after SolveElneutNode.
void StoreElneutNode(RunState& st, int level, int i, const ElneutNodeResult& res, double x,
                     NewtonScratch& s);

// Shows `message` unless a warning with `key` was shown already in this run.
void WarnOncePerRun(RunState& st, const std::string& key, const std::string& message);
// Text of a double in the general format with 15 significant digits (FloatToStr).
std::string GeneralFloatText(double v);
