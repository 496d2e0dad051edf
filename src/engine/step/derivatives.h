// Time derivatives of the concentrations (the right-hand side of the method of
// lines): conductivity, current, voltage and field, then dc/dt of every
// constituent over the computation window.
#pragma once

class RunState;
class NodeDiffusion;

// Derivatives of time level `level` (1..5) into F[level]. With fieldOnly it
// stops after conductivity, current, voltage and field. The equilibrium of the
// level has been solved by the caller. The mode selected by the window
// switches (SelectMode) computes them; a mode whose derivative routine is not
// available stops the run with a warning.
void CalcDER(RunState& st, int level, bool fieldOnly);

// CalcDER whose speciation (without the ionic-strength correction) covers only
// the computation window instead of the whole grid. Nothing of the derivative
// reads outside the window; the run loop speciates the rest of the current
// level once per accepted step, before anything else reads it, which gives the
// same values as the whole-grid speciation of every call.
void CalcDERInWindow(RunState& st, int level, bool fieldOnly);
// True when CalcDERInWindow is equivalent to CalcDER followed by a speciation
// of the nodes outside the window (no temperature update between them).
bool WindowSpeciationExact(const RunState& st);
// Equilibrium of `level` ahead of a derivative call: ISC with the ionic-strength
// correction, else Elneut. When the derivative routine speciates the window
// from the same cH, the solver stores cH alone.
void EquilibriumForDerivatives(RunState& st, int level, bool ionicStrength);

// dcH/dt of the hydrogen ion (row NComp+1 of F[level]) over the window, for the
// mode in which cH is integrated as a species.
void CalcDER_dcH(RunState& st, int level);

// Replaces the wall derivatives by a flux balance at the electrode ends (run
// setup "Left Electrode" / "Right Electrode"); `field` is the field profile,
// `nd` the diffusion factors the same derivative call prepared.
void ElectrodeBoundary(RunState& st, int level, const double* field, const NodeDiffusion& nd);
