// The equilibrium routines with their node loops spread over threads. Each
// node is solved and speciated by the same per-node routines as in the serial
// loops, so every stored value is bit-identical to the serial order. The
// drivers decline (return false, nothing done) where a node depends on the
// result of another node of the same call, or where the serial failure
// semantics could be observed; the caller then runs its serial loop.
#pragma once

class RunState;

// Speciation of nodes lo..hi of `level` (CalcSpeciation's loop).
bool CalcSpeciationParallel(RunState& st, int level, int lo, int hi);

// Electroneutrality of nodes lo..hi of `level` from the cH of level `source`
// (Elneut's loop over its window). With `speciate` each node is speciated
// right after its solve (Elneut with its speciation range equal to the
// window); without it only cH, cOH and pH are stored (Elneut storing no
// forms). Nodes after a failed solve keep their values, as in the serial
// loop. Declines for source -1 (each node starts from its left neighbour),
// with the ionic-strength correction, and when a start value needs the start
// guard.
bool ElneutParallel(RunState& st, int level, int source, int lo, int hi, bool speciate);

// Equilibrium scratch of thread `worker` of a ForNodeChunks call (the arrays'
// own scratch for the window thread, 0), sized for the arrays' shape and the
// run's thread plan. Call PrepareWorkerScratch on the window thread before the
// parallel loop.
struct NewtonScratch;
void PrepareWorkerScratch(RunState& st);
NewtonScratch& WorkerScratch(RunState& st, int worker);

// Smallest chunk of a range spread over threads (a range below twice this
// stays on one thread). Measured on the 8-core machine, quiet, node-steps/s
// with 1 / 2 / 8 threads: at 128, B1 (a window of about 350 nodes) 3.98 M /
// 3.63 M / 3.35 M, slower than one thread; at 256, B1 3.88 M / 3.75 M / 3.91 M
// (its window no longer splits), B4a 3.17 M / 3.81 M / 4.65 M, B4b 2.69 M /
// 4.23 M / 7.59 M; at 512, B4a 3.17 M / 3.26 M / 2.89 M and B4b 8 threads
// 5.71 M (too few chunks).
inline constexpr int kParallelMinChunk = 256;
