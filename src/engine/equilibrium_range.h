// Speciation over a range of nodes of the whole grid (spread over threads).
#pragma once

class RunState;

// CalcSpeciation(level, n) for every node n = lo..hi.
void CalcSpeciationRange(RunState& st, int level, int lo, int hi);
