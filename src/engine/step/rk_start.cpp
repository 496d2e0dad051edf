#include "engine/step/rk_start.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/derivatives.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/node_threads.h"
#include "engine/step/step_services.h"
#include "foundation/errors.h"

namespace {

// Stage rows K1..K4 and the start values Y: rows 1..NComp of Nn values each,
// and row NComp + 1 for the temperature while a mode integrates it.
struct RKScratch {
    std::vector<double> K[4], Y;
    int rows = 0, nn = 0;
    void Ensure(int r, int n)
    {
        const std::size_t need = static_cast<std::size_t>(r) * n;
        if (Y.size() < need) {
            for (auto& k : K) k.assign(need, 0.0);
            Y.assign(need, 0.0);
        }
        rows = r;
        nn = n;
    }
    double* Row(std::vector<double>& v, int i)
    {
        return v.data() + static_cast<std::size_t>(i - 1) * nn;
    }
};

// Equilibrium and derivatives of a stage at level k.
void StageEvaluation(RunState& st, int k)
{
    if (!ConcentrationsFinite(st, k)) return;
    ModeStageUpdates(st, k);
    // The window is the whole grid here, so CalcDER speciates all of it.
    EquilibriumForDerivatives(st, k, st.ISCorrection);
    CalcDER(st, k, false);
}

// The state of `level` becomes level 5: concentrations, forms and
// temperature, whatever the switches.
void SwapLevelRows(EngineArrays& a, int level)
{
    EngineArrays::SwapLevels(a.lvC, level, 5);
    EngineArrays::SwapLevels(a.lvIS, level, 5);
    EngineArrays::SwapLevels(a.lvT, level, 5);
}

// Without a mode that integrates the temperature, the starter does not: it stays
// that of the state over the three steps, so that levels 2..4 keep it.
void HoldTemperature(RunState& st)
{
    if (IntegratedModeRows(st).temperature) return;
    EngineArrays& a = st.Arr;
    const double* t5 = a.T(5);
    for (int l = 2; l <= 4; ++l) std::copy(t5, t5 + a.Nn, a.T(l));
}

}  // namespace

bool RKStart(RunState& st)
{
    EngineArrays& a = st.Arr;
    const int nc = a.NComp, nn = a.Nn;
    const long long savedNewton = st.NewtonItTotal;
    const long long savedSteps = st.StepCount;
    RKScratch& sc = st.Engine.Scratch<RKScratch>();
    const int rows = IntegratedModeRows(st).temperature ? nc + 1 : nc;
    sc.Ensure(rows, nn);
    const double dt = st.DT;
    // Row i of level k: a concentration, or the temperature (row NComp + 1).
    auto value = [&](int k, int i) { return i <= nc ? a.C(k, i) : a.T(k); };
    auto rate = [&](int k, int i) { return i <= nc ? a.F(k, i) : a.DTdt(k); };

    // Every row of a stage at once, over node chunks on the run's threads:
    // each node computes what the serial row loops compute.
    auto forNodes = [&](auto&& fn) {
        ForNodeChunks(st.Engine.Threads, 0, nn - 1, kParallelMinChunk,
                      [&](int lo, int hi, int, int) {
                          for (int i = 1; i <= rows; ++i) fn(i, lo, hi);
                      });
    };
    // Stage s: C[k] = Y + sum of coef[m] * K[m] (m < s), evaluate, K[s] = dt * F[k].
    const double coef[4][4] = {
        {0, 0, 0, 0}, {kRK_a21, 0, 0, 0}, {kRK_a31, kRK_a32, 0, 0}, {kRK_a41, kRK_a42, kRK_a43, 0}};
    for (int k = 4; k >= 2; --k) {
        forNodes([&](int i, int lo, int hi) {
            const double* __restrict src = value(k + 1, i);
            double* __restrict y = sc.Row(sc.Y, i);
            double* __restrict c = value(k, i);
            for (int j = lo; j <= hi; ++j) c[j] = y[j] = src[j];
        });
        for (int s = 0; s < 4; ++s) {
            StageEvaluation(st, k);
            if (st.NumericalFailure) return false;
            // K[s] of this stage, then the start values of the next stage (or
            // the step's result after the last one), node by node.
            forNodes([&](int i, int lo, int hi) {
                const double* __restrict f = rate(k, i);
                double* ks = sc.Row(sc.K[s], i);  // read again below: no __restrict
                for (int j = lo; j <= hi; ++j) ks[j] = dt * f[j];
                const double* __restrict y = sc.Row(sc.Y, i);
                double* __restrict c = value(k, i);
                if (s < 3) {
                    const int next = s + 1;
                    for (int j = lo; j <= hi; ++j) {
                        double v = y[j];
                        for (int m = 0; m < next; ++m) v += coef[next][m] * sc.Row(sc.K[m], i)[j];
                        c[j] = v;
                    }
                    return;
                }
                const double* __restrict k1 = sc.Row(sc.K[0], i);
                const double* __restrict k2 = sc.Row(sc.K[1], i);
                const double* __restrict k3 = sc.Row(sc.K[2], i);
                const double* __restrict k4 = sc.Row(sc.K[3], i);
                for (int j = lo; j <= hi; ++j)
                    c[j] = y[j] + kRK_b1 * k1[j] + kRK_b2 * k2[j] + kRK_b3 * k3[j] + kRK_b4 * k4[j];
            });
        }
        StageEvaluation(st, k);
        if (st.NumericalFailure) return false;
    }

    if (st.DiffMode) {
        st.DiffClock += 3 * st.DT;
        if (st.DiffClock >= st.DiffTime) EndDiffusionMode(st);
    } else {
        st.Time += 3 * st.DT;
    }
    st.NewtonItTotal = savedNewton;
    st.StepCount = savedSteps;
    return true;
}

bool RestartMultistep(RunState& st, int level)
{
    if (level < 1 || level > 5) return false;
    EngineArrays& a = st.Arr;
    if (!a.Allocated()) return false;
    SwapLevelRows(a, level);
    HoldTemperature(st);
    ComputationWindowScope window(st.counters());
    window.WholeGrid(LastGridNode(st));
    auto undo = [&] {
        SwapLevelRows(a, level);
        st.Restart = true;
    };
    const bool diffusionBefore = st.DiffMode;
    bool ok;
    try {
        ok = RKStart(st);
    } catch (const Exception& e) {
        undo();
        ThrowError(e.Message());
    } catch (...) {
        undo();
        throw;
    }
    if (!ok) {
        undo();
        return false;
    }
    // When the diffusion mode ended during the start, dt and the field have
    // changed: the history just built does not fit them, so the next step
    // restarts again.
    st.Restart = diffusionBefore && !st.DiffMode;
    return true;
}
