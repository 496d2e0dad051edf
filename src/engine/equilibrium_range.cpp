#include "engine/equilibrium_range.h"

#include <atomic>
#include <cmath>
#include <cstddef>

#include "engine/equilibrium.h"
#include "engine/node_threads.h"
#include "engine/parallel_equilibrium.h"
#include "engine/run_state.h"

namespace {

// The rows of the constituents 1..NComp (concentrations, and the forms of a
// level or of a per-form constant) follow each other Nn values apart.

// Whether node n has the same speciation inputs as node n - 1.
bool SameInputsAsLeft(const EngineArrays& a, int level, int n) {
    const int nc = a.NComp;
    const std::ptrdiff_t nn = a.Nn;
    const double* h = a.CForm(level, nc + 1, 1) + n;
    if (h[0] != h[-1]) return false;
    const double* c = a.C(level, 1) + n;
    for (int i = 0; i < nc; ++i, c += nn)
        if (c[0] != c[-1]) return false;
    const int rows = a.FormOffset[nc + 1] - a.FormOffset[1];
    const double* l = a.LForm(1, 0) + n;
    const double* u = a.UForm(1, 0) + n;
    for (int r = 0; r < rows; ++r, l += nn, u += nn)
        if (l[0] != l[-1] || u[0] != u[-1]) return false;
    return true;
}

// Copies every result of the speciation of node n - 1 to node n.
void CopySpeciationFromLeft(RunState& st, int level, int n) {
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const std::ptrdiff_t nn = a.Nn;
    double* coh = a.COH(level);
    coh[n] = coh[n - 1];
    if (!st.ISCorrection) a.PH[n] = a.PH[n - 1];
    double* is = a.IonicStrength(level);
    is[n] = is[n - 1];
    for (int i = 1; i <= nc; ++i) {
        a.ZMean[i][n] = a.ZMean[i][n - 1];
        a.UEff[i][n] = a.UEff[i][n - 1];
    }
    const int rows = a.FormOffset[nc + 1] - a.FormOffset[1];
    double* cf = a.CForm(level, 1, 0) + n;
    for (int r = 0; r < rows; ++r, cf += nn) cf[0] = cf[-1];
}

}  // namespace

void CalcSpeciationRange(RunState& st, int level, int lo, int hi) {
    EngineArrays& a = st.Arr;
    if (st.cbComplex || !a.Allocated()) return;
    const int last = a.Nn - 1;
    lo = lo < 0 ? 0 : lo;
    hi = hi > last ? last : hi;
    if (lo > hi) return;
    // Spread over threads: the first node of a chunk is computed, which gives
    // the bits a copy from its left neighbour gives. A node without a valid cH
    // sends the whole range through the serial loop (its warning and copies).
    PrepareWorkerScratch(st);
    std::atomic<bool> invalid{false};
    ForNodeChunks(st.Engine.Threads, lo, hi, kParallelMinChunk, [&](int clo, int chi, int, int worker) {
        NewtonScratch& s = WorkerScratch(st, worker);
        for (int n = clo; n <= chi; ++n) {
            if (n > clo && SameInputsAsLeft(a, level, n))
                CopySpeciationFromLeft(st, level, n);
            else if (!SpeciateNode(st, level, n, s))
                invalid.store(true, std::memory_order_relaxed);
        }
    });
    if (!invalid.load()) return;
    for (int n = lo; n <= hi; ++n) {
        if (n > lo && SameInputsAsLeft(a, level, n))
            CopySpeciationFromLeft(st, level, n);
        else
            CalcSpeciation(st, level, n);
    }
}
