// Spreading node-wise work over threads. Every node is computed exactly as in
// the serial loop (its own sums in their own order), only different nodes run
// on different threads, so results are bit-identical to the serial order. The
// run loop itself stays on the calling (window) thread.
#pragma once

#include <type_traits>

// Number of threads the engine may use for node-wise work (1 = serial).
// 0 or less selects the number of hardware threads.
void SetEngineThreads(int threads);
int EngineThreads();

// A chunk job without ownership (no allocation per call).
struct NodeChunkJob {
    void* object;
    void (*call)(void* object, int lo, int hi, int worker);
};
int ForNodeChunksJob(int first, int last, int minChunk, NodeChunkJob job);

// Calls fn(lo, hi, worker) for contiguous chunks covering first..last (both
// included), in parallel when the range has at least 2 * minChunk nodes and
// more than one thread is allowed; otherwise fn(first, last, 0) on the calling
// thread. worker numbers the chunks 0..parts-1 (0 runs on the calling thread).
// Returns the number of chunks used. An exception thrown by fn is raised
// again on the calling thread after every chunk has finished (the one of the
// lowest chunk when several throw).
template <class F>
int ForNodeChunks(int first, int last, int minChunk, F&& fn) {
    using Fn = std::remove_reference_t<F>;
    NodeChunkJob job{const_cast<void*>(static_cast<const void*>(&fn)),
                     [](void* o, int lo, int hi, int w) { (*static_cast<Fn*>(o))(lo, hi, w); }};
    return ForNodeChunksJob(first, last, minChunk, job);
}

// Largest number of chunks ForNodeChunks can use (for per-worker scratch).
int MaxNodeChunks();
