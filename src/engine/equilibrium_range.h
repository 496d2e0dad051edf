// Speciation over a range of nodes of the whole grid (spread over threads).
#pragma once

class RunState;

// CalcSpeciation(level, n) for every node n = lo..hi.
void CalcSpeciationRange(RunState& st, int level, int lo, int hi);
// The same for the nodes lo1..hi1 and lo2..hi2 (an empty range has hi < lo),
// in one parallel region: the two sides of the computation window.
void CalcSpeciationRanges(RunState& st, int level, int lo1, int hi1, int lo2, int hi2);
