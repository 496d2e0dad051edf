// Voltage and current of the capillary: the column resistance from the
// conductivity profile, closed by the power mode (constant voltage or constant
// current).
#pragma once

class RunState;
class EngineContext;

// Adds the additional conductivity AddCond (when above 0) to Kappa over the
// computation window. The derivative routines call it exactly once, right after
// they have formed Kappa from the concentrations.
void AddAdditionalConductivity(RunState& st);

// U and I from the conductivity profile as it stands (AddCond is not added
// here). Diffusion mode: U = I = 0. KappaEnd takes Kappa[NX] when it is 0.
// R = FakeCapLen/KappaEnd + DX*(half end terms + inner 1/(Kappa*S)); the
// extra-length term is skipped when FakeCapLen is 0. A zero, negative or
// non-finite resistance warns once per run, sets Stop and NumericalFailure,
// leaves U and I unchanged and returns false.
bool CalcVoltageCurrent(RunState& st);

// CalcVoltageCurrent in parts, for a caller that forms the conductivity in
// node chunks of its own (not in the diffusion mode, arrays allocated):
// PrepareResistanceTerms once, then for the chunks covering nodes 0..ColumnEnd
// in node order ResistanceTermsOfChunk (the inner terms 1/(Kappa S) of nodes
// clo..chi; returns the first node whose conductivity or cross-section is not
// a positive finite number, INT_MAX if none) with SetChunkUnfitNode, and last
// VoltageCurrentFromTerms over the `parts` chunks: the sum (ResistanceSum), U
// and I, or the warning and the stop (false).
int ColumnEnd(const RunState& st);
void PrepareResistanceTerms(RunState& st);
int ResistanceTermsOfChunk(RunState& st, int clo, int chi);
void SetChunkUnfitNode(EngineContext& engine, int chunk, int node);
int FirstUnfitNode(EngineContext& engine, int parts);
bool VoltageCurrentFromTerms(RunState& st, int parts);
// The sum of the inner terms 1/(Kappa S): node j goes into partial sum
// j mod kLanes, each in ascending node order, and the partial sums are added
// in a fixed order at the end. The result does not depend on how the nodes
// are split into chunks (the same bits on any number of threads), and the
// additions are kLanes independent chains instead of one chain as long as
// the column, which held up the calling thread on a long grid.
struct ResistanceSum {
    static constexpr int kLanes = 8;
    double start = 0;  // the extra-length and half end terms
    double lane[kLanes] = {};
    // Adds the terms of nodes lo..hi (ascending, after every node below lo).
    void Add(const double* term, int lo, int hi);
    double Total() const;
};
// The same sum carried along the chunks as they finish in node order
// (ForNodeChunksInOrder), with the same bits: StartResistanceSum once Kappa of
// nodes 0 and ColumnEnd is final, AddResistanceTerms for each chunk after its
// ResistanceTermsOfChunk, and last VoltageCurrentFromSum in place of
// VoltageCurrentFromTerms.
void StartResistanceSum(RunState& st, ResistanceSum& sum);
void AddResistanceTerms(RunState& st, ResistanceSum& sum, int clo, int chi);
bool VoltageCurrentFromSum(RunState& st, int parts, const ResistanceSum& sum);

// Column resistance in ohm from Kappa, S, DX, FakeCapLen and KappaEnd (which
// it fills when 0). Not finite or not positive when the column has no
// resistance to speak of.
double ColumnResistance(RunState& st);
