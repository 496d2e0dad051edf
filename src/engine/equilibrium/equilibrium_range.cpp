#include "engine/equilibrium/equilibrium_range.h"

#include <atomic>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/equilibrium/kept_forms.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"

void CalcSpeciationRange(RunState& st, int level, int lo, int hi)
{
    CalcSpeciationRanges(st, level, lo, hi, 1, 0);
}

SpeciationRanges SpeciationRanges::Of(const RunState& st, int lo1, int hi1, int lo2, int hi2)
{
    SpeciationRanges r;
    const EngineArrays& a = st.Arr;
    if (ModeOwnsEquilibrium(st) || !a.Allocated()) return r;
    const int last = a.Nn - 1;
    r.lo[0] = lo1 < 0 ? 0 : lo1;
    r.lo[1] = lo2 < 0 ? 0 : lo2;
    r.hi[0] = hi1 > last ? last : hi1;
    r.hi[1] = hi2 > last ? last : hi2;
    return r;
}

void SpeciationRanges::Speciate(RunState& st, int level, int first, int last, NewtonScratch& s,
                                std::atomic<bool> invalid[2]) const
{
    auto speciate = [&](int from, int to) {
        return kept ? kept->Speciate(st, level, from, to, s)
                    : SpeciateNodes(st, level, from, to, s);
    };
    const int n0 = Size(0);
    if (first < n0 && speciate(lo[0] + first, lo[0] + (last < n0 ? last : n0 - 1)) >= 0)
        invalid[0].store(true, std::memory_order_relaxed);
    if (last >= n0 && speciate(lo[1] + (first > n0 ? first : n0) - n0, lo[1] + last - n0) >= 0)
        invalid[1].store(true, std::memory_order_relaxed);
}

void SpeciationRanges::Finish(RunState& st, int level, const std::atomic<bool> invalid[2]) const
{
    for (int r = 0; r < 2; ++r)
        if (invalid[r].load()) {
            // The range is speciated again node by node, past the record.
            if (kept) kept->Forget();
            for (int n = lo[r]; n <= hi[r]; ++n) CalcSpeciation(st, level, n);
        }
}

void CalcSpeciationRanges(RunState& st, int level, int lo1, int hi1, int lo2, int hi2,
                          KeptSpeciation* kept)
{
    SpeciationRanges ranges = SpeciationRanges::Of(st, lo1, hi1, lo2, hi2);
    ranges.kept = kept;
    if (ranges.Count() == 0) return;
    // Spread over threads: the chunks cover the nodes of both ranges one
    // after the other (a chunk may hold the end of the first and the start of
    // the second). A node without a valid cH sends its whole range through
    // the one-node calls (their warning).
    PrepareWorkerScratch(st);
    std::atomic<bool> invalid[2] = {false, false};
    ForNodeChunks(st.Engine.Threads, 0, ranges.Count() - 1, kParallelMinChunk,
                  [&](int clo, int chi, int, int worker) {
                      ranges.Speciate(st, level, clo, chi, WorkerScratch(st, worker), invalid);
                  });
    ranges.Finish(st, level, invalid);
}
