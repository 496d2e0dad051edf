// Speciation over a range of nodes that takes flat stretches of the profiles
// cheaply: a node whose inputs equal those of its left neighbour bitwise gets
// the neighbour's results, which are exactly what its own computation gives.
#pragma once

class RunState;

// CalcSpeciation(level, n) for every node n = lo..hi (flat nodes copied).
void CalcSpeciationRange(RunState& st, int level, int lo, int hi);
