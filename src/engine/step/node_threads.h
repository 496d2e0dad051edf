// Spreading node-wise work over threads. Every node is computed exactly as in
// the serial loop (its own sums in their own order), only different nodes run
// on different threads, so results are bit-identical to the serial order. The
// run loop itself stays on the calling (window) thread.
#pragma once

#include <type_traits>

// The program's setting: threads that runs initialised from now on use for
// node-wise work (1 = serial). 0 or less chooses automatically: as many as the
// grid pays for (ThreadsForGrid), at most the hardware threads.
void SetEngineThreads(int threads);
// The threads of the setting: the hardware threads when it is automatic.
int EngineThreads();
bool EngineThreadsAutomatic();

// Threads that pay off on a grid of `nodes` nodes with `available` threads at
// hand (1 below the break-even).
int ThreadsForGrid(int nodes, int available);

// The threads of one run, taken from the program's setting when the run is
// initialised. A number set is kept until the next Init; with the automatic
// setting the run may change `threads` between steps (ThreadTuner) within
// 1..limit, the most that the grid pays for. Results do not depend on the
// number of threads, and the work storage is sized for the limit.
struct ThreadPlan {
    int threads = 1;
    int limit = 0;           // most threads of the run (0: `threads`)
    bool automatic = false;  // the run chooses `threads` as it goes
    static ThreadPlan FromSetting(int nodes)
    {
        if (!EngineThreadsAutomatic()) return ThreadPlan{EngineThreads()};
        const int most = ThreadsForGrid(nodes, EngineThreads());
        return ThreadPlan{most, most, true};
    }
    int Limit() const { return limit > threads ? limit : threads; }
    // Largest number of chunks and of workers ForNodeChunks can use (for
    // per-chunk and per-thread scratch).
    int MaxChunks() const;
    int MaxWorkers() const { return Limit(); }
};

// A chunk job without ownership (no allocation per call). `inOrder`, when
// set, is called on the calling thread for each chunk in chunk order once the
// chunk has finished (ForNodeChunksInOrder).
struct NodeChunkJob {
    void* object;
    void (*call)(void* object, int lo, int hi, int chunk, int worker);
    void* orderedObject = nullptr;
    void (*inOrder)(void* object, int lo, int hi, int chunk) = nullptr;
    // Nodes denseLo..denseHi cost denseWeight times as much as the others:
    // the chunks are cut to equal cost, not to equal numbers of nodes.
    int denseLo = 0, denseHi = -1, denseWeight = 1;
};
int ForNodeChunksJob(const ThreadPlan& plan, int first, int last, int minChunk, NodeChunkJob job);

// Calls fn(lo, hi, chunk, worker) for contiguous chunks covering first..last
// (both included), chunk 0 first in node order. The chunks are shared out
// among the threads as they become free, so a thread held up elsewhere does
// not hold up the others; `worker` (0 = the calling thread) tells which
// thread runs the chunk, for per-thread scratch. The range is split only when
// it has at least 2 * minChunk nodes and the plan has more than one thread;
// otherwise fn(first, last, 0, 0) runs on the calling thread. Returns the
// number of chunks. An exception thrown by fn is raised again on the calling
// thread after every chunk has finished (the one of the lowest chunk when
// several throw). fn must not call ForNodeChunks again: a nested call would
// wait for the pool it runs on, so it throws std::logic_error instead.
template <class F>
int ForNodeChunks(const ThreadPlan& plan, int first, int last, int minChunk, F&& fn)
{
    using Fn = std::remove_reference_t<F>;
    NodeChunkJob job{
        const_cast<void*>(static_cast<const void*>(&fn)),
        [](void* o, int lo, int hi, int c, int w) { (*static_cast<Fn*>(o))(lo, hi, c, w); }};
    return ForNodeChunksJob(plan, first, last, minChunk, job);
}

// ForNodeChunks, and then(lo, hi, chunk) on the calling thread for every
// chunk in chunk order, each as soon as its chunk and every chunk before it
// have finished: work that must follow the nodes in order (a sum in node
// order, events node by node) overlaps the chunks still running instead of
// waiting for all of them. `then` runs between the caller's own chunks and
// after them, never beside another `then`. After a chunk that threw, `then`
// is called for no further chunk; an exception thrown by `then` ends the
// calls too, and is raised after every chunk has finished (as a chunk's
// would be, by chunk order). With one chunk: fn, then `then`, on the caller.
//
// `dense` (lo, hi, weight), when given, names nodes that cost `weight` times
// as much as the others (a window of heavy work within a long range of light
// work): each chunk then holds about the same cost.
struct DenseNodes {
    int lo = 0, hi = -1, weight = 1;
};
template <class F, class G>
int ForNodeChunksInOrder(const ThreadPlan& plan, int first, int last, int minChunk, F&& fn,
                         G&& then, DenseNodes dense = {})
{
    using Fn = std::remove_reference_t<F>;
    using Gn = std::remove_reference_t<G>;
    NodeChunkJob job{
        const_cast<void*>(static_cast<const void*>(&fn)),
        [](void* o, int lo, int hi, int c, int w) { (*static_cast<Fn*>(o))(lo, hi, c, w); },
        const_cast<void*>(static_cast<const void*>(&then)),
        [](void* o, int lo, int hi, int c) { (*static_cast<Gn*>(o))(lo, hi, c); },
        dense.lo,
        dense.hi,
        dense.weight};
    return ForNodeChunksJob(plan, first, last, minChunk, job);
}
