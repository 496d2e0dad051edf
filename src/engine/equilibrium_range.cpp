#include "engine/equilibrium_range.h"

#include <atomic>

#include "engine/equilibrium.h"
#include "engine/equilibrium_lanes.h"
#include "engine/modes.h"
#include "engine/node_threads.h"
#include "engine/parallel_equilibrium.h"
#include "engine/run_state.h"

void CalcSpeciationRange(RunState& st, int level, int lo, int hi) {
    EngineArrays& a = st.Arr;
    if (ModeOwnsEquilibrium(st) || !a.Allocated()) return;
    const int last = a.Nn - 1;
    lo = lo < 0 ? 0 : lo;
    hi = hi > last ? last : hi;
    if (lo > hi) return;
    // Spread over threads. A node without a valid cH sends the whole range
    // through the one-node calls (their warning).
    PrepareWorkerScratch(st);
    std::atomic<bool> invalid{false};
    ForNodeChunks(st.Engine.Threads, lo, hi, kParallelMinChunk, [&](int clo, int chi, int, int worker) {
        if (SpeciateNodes(st, level, clo, chi, WorkerScratch(st, worker)) >= 0)
            invalid.store(true, std::memory_order_relaxed);
    });
    if (!invalid.load()) return;
    for (int n = lo; n <= hi; ++n) CalcSpeciation(st, level, n);
}
