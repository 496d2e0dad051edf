#include "engine/equilibrium_range.h"

#include <atomic>
#include <cmath>

#include "engine/equilibrium.h"
#include "engine/node_threads.h"
#include "engine/parallel_equilibrium.h"
#include "engine/run_state.h"

namespace {

// Whether node n has the same speciation inputs as node n - 1.
bool SameInputsAsLeft(const EngineArrays& a, int level, int n) {
    const int nc = a.NComp;
    if (a.CForm(level, nc + 1, 1)[n] != a.CForm(level, nc + 1, 1)[n - 1]) return false;
    for (int i = 1; i <= nc; ++i) {
        if (a.C(level, i)[n] != a.C(level, i)[n - 1]) return false;
        for (int k = 0; k < a.Forms(i); ++k) {
            const double* l = a.LForm(i, k);
            const double* u = a.UForm(i, k);
            if (l[n] != l[n - 1] || u[n] != u[n - 1]) return false;
        }
    }
    return true;
}

// Copies every result of the speciation of node n - 1 to node n.
void CopySpeciationFromLeft(RunState& st, int level, int n) {
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    double* coh = a.COH(level);
    coh[n] = coh[n - 1];
    if (!st.ISCorrection) a.PH[n] = a.PH[n - 1];
    double* is = a.IonicStrength(level);
    is[n] = is[n - 1];
    for (int i = 1; i <= nc; ++i) {
        a.ZMean[i][n] = a.ZMean[i][n - 1];
        a.UEff[i][n] = a.UEff[i][n - 1];
        for (int k = 0; k < a.Forms(i); ++k) {
            double* c = a.CForm(level, i, k);
            c[n] = c[n - 1];
        }
    }
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
    PrepareWorkerScratch(a);
    std::atomic<bool> invalid{false};
    ForNodeChunks(lo, hi, kParallelMinChunk, [&](int clo, int chi, int, int worker) {
        NewtonScratch& s = WorkerScratch(a, worker);
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
