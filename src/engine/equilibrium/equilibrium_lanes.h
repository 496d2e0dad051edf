// The speciation and the electroneutrality solve of several neighbouring
// nodes at once. Every lane performs exactly the IEEE operations of the
// one-node routines (SpeciateNode, SolveElneutNode) in the same order, only
// several nodes side by side in vector registers, so every result has the
// same bits. A lane that leaves the common path (a cH that is no positive
// finite number, terms that need scaling, a restart from below, the
// bracketed search) is done again by the one-node routine.
#pragma once

struct ElneutNodeResult;
struct NewtonScratch;
struct IonicStrengthWork;
class RunState;

// Nodes side by side (the rows of a profile are contiguous in the node):
// 4 where the processor has AVX2, else 2 (SSE2); 1 where the lanes are not
// built (a compiler other than GCC, a processor other than x86-64).
inline constexpr int kMaxNodeLanes = 4;
int NodeLanes();
// Sets the lanes for tests: 1 = the one-node routines alone, 2 (where the
// processor runs more); anything else = chosen by the processor.
void SetNodeLanes(int lanes);

// SpeciateNode for every node n = lo..hi; returns the first node whose cH is
// not a positive finite number (left untouched, like the others of its kind),
// or -1 when there is none.
int SpeciateNodes(RunState& st, int level, int lo, int hi, NewtonScratch& s);

// SolveElneutNode for the nodes i..i + NodeLanes() - 1, node i + l from start
// x[l] with the restart value |x[l]| + 1e-36. For callers that store cH alone:
// the results carry the passes (n) and the exhausted flag, but not the lists of
// the scratch (passed is false, nActive 0).
void SolveElneutNodes(const RunState& st, int level, int i, const double* x, int itNew,
                      NewtonScratch& s, ElneutNodeResult* res);

// The activity iteration of ISC (source level src >= 1, none of the options
// that change its passes) at the nodes i..i + groups NodeLanes() - 1 side by
// side (groups 1 or 2: two groups take their passes in turn), with the same
// results as node by node. False when a node leaves the common path: the
// nodes are then as they were, for the one-node routine.
bool IonicStrengthNodes(RunState& st, int level, int src, int i, IonicStrengthWork& w,
                        int groups = 1);

// (double)(1.0L / K[m]) for m = 0..n-1 as the side-by-side rebuild of LForm
// forms it (the double quotient where it is that value), for tests.
void ExtendedReciprocals(const double* K, double* out, int n);

// Whether the activity iteration settles for the coefficients of the largest
// charge gOld[m] -> g[m] (|gOld - g| / g <= 1e-5), decided as the nodes side by
// side decide it, for tests.
void ActivitySettled(const double* gOld, const double* g, bool* settled, int n);
