// Speciation over a range of nodes of the whole grid (spread over threads).
#pragma once

#include <atomic>

class KeptSpeciation;
class RunState;
struct NewtonScratch;

// CalcSpeciation(level, n) for every node n = lo..hi.
void CalcSpeciationRange(RunState& st, int level, int lo, int hi);
// The same for the nodes lo1..hi1 and lo2..hi2 (an empty range has hi < lo),
// in one parallel region: the two sides of the computation window. With
// `kept` (prepared), the nodes whose record fits take it back.
void CalcSpeciationRanges(RunState& st, int level, int lo1, int hi1, int lo2, int hi2,
                          KeptSpeciation* kept = nullptr);

// The pieces of CalcSpeciationRanges, for a parallel region that does other
// work besides. The nodes of both ranges are numbered 0..Count() - 1, the
// first range first.
struct SpeciationRanges {
    int lo[2] = {1, 1}, hi[2] = {0, 0};
    // The record of the nodes' speciation (prepared), or null: every node is speciated.
    KeptSpeciation* kept = nullptr;
    int Count() const { return Size(0) + Size(1); }
    int Size(int r) const { return hi[r] >= lo[r] ? hi[r] - lo[r] + 1 : 0; }
    // Both ranges clamped to the grid; empty when the level cannot be speciated.
    static SpeciationRanges Of(const RunState& st, int lo1, int hi1, int lo2, int hi2);
    // Speciates the nodes numbered first..last with the scratch of the chunk's
    // thread; a range that meets a node without a valid cH is marked in `invalid`.
    void Speciate(RunState& st, int level, int first, int last, NewtonScratch& s,
                  std::atomic<bool> invalid[2]) const;
    // After the region: a marked range node by node (the one-node calls warn).
    void Finish(RunState& st, int level, const std::atomic<bool> invalid[2]) const;
};
