#include "engine/equilibrium_range.h"

#include <atomic>

#include "engine/equilibrium.h"
#include "engine/equilibrium_lanes.h"
#include "engine/node_threads.h"
#include "engine/parallel_equilibrium.h"
#include "engine/run_state.h"

void CalcSpeciationRange(RunState& st, int level, int lo, int hi) { CalcSpeciationRanges(st, level, lo, hi, 1, 0); }

void CalcSpeciationRanges(RunState& st, int level, int lo1, int hi1, int lo2, int hi2) {
    EngineArrays& a = st.Arr;
    if (st.cbComplex || !a.Allocated()) return;
    const int last = a.Nn - 1;
    int lo[2] = {lo1 < 0 ? 0 : lo1, lo2 < 0 ? 0 : lo2};
    int hi[2] = {hi1 > last ? last : hi1, hi2 > last ? last : hi2};
    const int n0 = hi[0] >= lo[0] ? hi[0] - lo[0] + 1 : 0;
    const int n1 = hi[1] >= lo[1] ? hi[1] - lo[1] + 1 : 0;
    if (n0 + n1 == 0) return;
    // Spread over threads: the chunks cover the nodes of both ranges one
    // after the other (a chunk may hold the end of the first and the start of
    // the second). A node without a valid cH sends its whole range through
    // the one-node calls (their warning).
    PrepareWorkerScratch(st);
    std::atomic<bool> invalid[2] = {false, false};
    ForNodeChunks(st.Engine.Threads, 0, n0 + n1 - 1, kParallelMinChunk, [&](int clo, int chi, int, int worker) {
        NewtonScratch& s = WorkerScratch(st, worker);
        if (clo < n0 && SpeciateNodes(st, level, lo[0] + clo, lo[0] + (chi < n0 ? chi : n0 - 1), s) >= 0)
            invalid[0].store(true, std::memory_order_relaxed);
        if (chi >= n0 &&
            SpeciateNodes(st, level, lo[1] + (clo > n0 ? clo : n0) - n0, lo[1] + chi - n0, s) >= 0)
            invalid[1].store(true, std::memory_order_relaxed);
    });
    for (int r = 0; r < 2; ++r)
        if (invalid[r].load())
            for (int n = lo[r]; n <= hi[r]; ++n) CalcSpeciation(st, level, n);
}
