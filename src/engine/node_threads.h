// Spreading node-wise work over threads. Every node is computed exactly as in
// the serial loop (its own sums in their own order), only different nodes run
// on different threads, so results are bit-identical to the serial order. The
// run loop itself stays on the calling (window) thread.
#pragma once

#include <functional>

// Number of threads the engine may use for node-wise work (1 = serial).
// 0 or less selects the number of hardware threads.
void SetEngineThreads(int threads);
int EngineThreads();

// Calls fn(lo, hi, worker) for contiguous chunks covering first..last (both
// included), in parallel when the range has at least 2 * minChunk nodes and
// more than one thread is allowed; otherwise fn(first, last, 0) on the calling
// thread. worker numbers the chunks 0..parts-1 (0 runs on the calling thread).
// Returns the number of chunks used. An exception thrown by fn is raised
// again on the calling thread after every chunk has finished (the one of the
// lowest chunk when several throw).
int ForNodeChunks(int first, int last, int minChunk,
                  const std::function<void(int lo, int hi, int worker)>& fn);

// Largest number of chunks ForNodeChunks can use (for per-worker scratch).
int MaxNodeChunks();
