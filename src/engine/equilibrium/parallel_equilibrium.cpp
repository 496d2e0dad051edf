#include "engine/equilibrium/parallel_equilibrium.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"
#include "foundation/messages.h"

namespace {

inline bool ValidCH(double cH)
{
    return cH > 0.0 && std::isfinite(cH);
}

// Per-chunk outcome of a parallel pass, one cache line apart from the next
// chunk's: a chunk updates its own at every node (mostIterations).
struct alignas(64) ChunkState {
    int last = -1;            // the chunk's last node
    int deferFrom = INT_MAX;  // first node left to the serial pass (its neighbour was not final)
    int failAt = INT_MAX;     // node whose solve failed
    double failValue = 0;
    int badSpeciation = INT_MAX;
    int mostIterations = 0;            // Newton passes of the chunk's slowest node kept
    long long passes = 0, solves = 0;  // Newton passes and node solves kept
    // Denom of the chunk's last solves, per constituent, as the scaled sum
    // and its exponent (ldexp'd once, when the chunks are combined).
    std::vector<double> denom;
    std::vector<int> denomExp;
    std::vector<char> denomSet;
};

// Scratch of the worker threads, sized for one run shape and reused.
struct Workspace {
    std::vector<NewtonScratch>
        scratch;  // per thread; [0] unused: the window thread uses the arrays' own
    std::vector<ChunkState> chunks;  // per chunk
    std::vector<int> iterations;     // Newton passes per node
    std::vector<double> backup;      // values a failed call must leave untouched
    int formRows = -1, nComp = -1, maxAbsZ = -1, nn = -1, threads = -1, chunkCount = -1;

    void Prepare(const EngineArrays& a, const ThreadPlan& plan)
    {
        const int threadCount = plan.MaxWorkers(), chunkMax = plan.MaxChunks();
        if (a.FormRows == formRows && a.NComp == nComp && a.MaxAbsZ == maxAbsZ && a.Nn == nn &&
            threadCount <= threads && chunkMax <= chunkCount)
            return;
        formRows = a.FormRows;
        nComp = a.NComp;
        maxAbsZ = a.MaxAbsZ;
        nn = a.Nn;
        threads = std::max(threadCount, threads);
        chunkCount = std::max(chunkMax, chunkCount);
        scratch.resize(static_cast<std::size_t>(threads));
        for (auto& s : scratch) s.Resize(formRows, nComp, maxAbsZ);
        chunks.resize(static_cast<std::size_t>(chunkCount));
        for (auto& c : chunks) {
            c.denom.assign(static_cast<std::size_t>(nComp) + 1, 0.0);
            c.denomExp.assign(static_cast<std::size_t>(nComp) + 1, 0);
            c.denomSet.assign(static_cast<std::size_t>(nComp) + 1, 0);
        }
        iterations.assign(static_cast<std::size_t>(nn), 0);
        backup.assign(static_cast<std::size_t>(BackupRows()) * nn, 0.0);
    }
    // Rows saved per node: every form of the constituents and of the solvent
    // ions, the ionic strength, pH, and ZMean and UEff of each constituent.
    int BackupRows() const { return formRows + 2 + 2 * nComp; }
};

Workspace& Work(RunState& st)
{
    Workspace& w = st.Engine.Scratch<Workspace>();
    w.Prepare(st.Arr, st.Engine.Threads);
    return w;
}

NewtonScratch& ScratchOf(EngineArrays& a, Workspace& w, int worker)
{
    return worker == 0 ? a.Newton : w.scratch[static_cast<std::size_t>(worker)];
}

// Copies (save) or restores the values of nodes lo..hi that a call of the
// equilibrium writes at `level`: with speciation every form, the ionic
// strength, pH and the means; without it cH, cOH and pH.
void SaveOrRestore(EngineArrays& a, Workspace& w, int level, int lo, int hi, bool speciated,
                   bool save)
{
    if (lo > hi) return;
    const std::size_t nn = static_cast<std::size_t>(a.Nn);
    int row = 0;
    auto move = [&](double* data) {
        double* b = w.backup.data() + static_cast<std::size_t>(row++) * nn;
        if (save)
            std::copy(data + lo, data + hi + 1, b + lo);
        else
            std::copy(b + lo, b + hi + 1, data + lo);
    };
    move(a.PH.data());
    if (!speciated) {
        move(a.CH(level));
        move(a.COH(level));
        return;
    }
    for (int i = 1; i <= a.NComp + 2; ++i)
        for (int k = 0; k < a.Forms(i); ++k) move(a.CForm(level, i, k));
    if (!save) ForgetWideRows(a, level, lo, hi);
    move(a.IonicStrength(level));
    for (int j = 1; j <= a.NComp; ++j) {
        move(a.ZMean[j]);
        move(a.UEff[j]);
    }
}

// Stops the run with the speciation's warning at the first node (in node
// order) whose cH the speciation of the chunks refused, as the serial loop does.
void StopAtFirstBadSpeciation(RunState& st, const Workspace& w, int parts, int level)
{
    for (int c = 0; c < parts; ++c) {
        const int n = w.chunks[static_cast<std::size_t>(c)].badSpeciation;
        if (n == INT_MAX) continue;
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "CalcSpeciation",
                       std::string(kBadHydrogenConcentration) + std::to_string(n) + ": " +
                           GeneralFloatText(st.Arr.CH(level)[n]));
        return;
    }
}

}  // namespace

void PrepareWorkerScratch(RunState& st)
{
    Work(st);
}

NewtonScratch& WorkerScratch(RunState& st, int worker)
{
    return ScratchOf(st.Arr, st.Engine.Scratch<Workspace>(), worker);
}

bool CalcSpeciationParallel(RunState& st, int level, int lo, int hi)
{
    if (st.Engine.Threads.threads < 2 || hi - lo + 1 < 2 * kParallelMinChunk) return false;
    EngineArrays& a = st.Arr;
    Workspace& w = Work(st);
    const int parts = ForNodeChunks(st.Engine.Threads, lo, hi, kParallelMinChunk,
                                    [&](int clo, int chi, int chunk, int worker) {
                                        NewtonScratch& s = ScratchOf(a, w, worker);
                                        ChunkState& cs = w.chunks[static_cast<std::size_t>(chunk)];
                                        const int bad = SpeciateNodes(st, level, clo, chi, s);
                                        cs.badSpeciation = bad < 0 ? INT_MAX : bad;
                                    });
    StopAtFirstBadSpeciation(st, w, parts, level);
    return true;
}

bool ElneutParallel(RunState& st, int level, int source, int lo, int hi, bool speciate)
{
    if (st.Engine.Threads.threads < 2 || hi - lo + 1 < 2 * kParallelMinChunk) return false;
    if (source < 1 || source > 5 || level < 1 || level > 5) return false;
    if (st.ISCorrection || ModeOwnsEquilibrium(st)) return false;
    EngineArrays& a = st.Arr;
    double* cH = a.CH(level);
    const double* src = a.CH(source);
    // The start guard works in node order. Without a branch per node (a NaN
    // fails the comparison), so the test vectorises.
    bool guardFree = true;
    for (int i = lo; i <= hi; ++i) guardFree &= std::fabs(src[i]) <= 1e6;
    if (!guardFree) return false;

    Workspace& w = Work(st);
    const int itNew = st.ItNew;
    const int nc = a.NComp;

    // Solves node i with the serial rules; false when the solve failed.
    // `given`: the node's result from SolveElneutNodes (the same bits).
    auto solve = [&](int i, NewtonScratch& s, ChunkState& cs, int chunkLo,
                     const ElneutNodeResult* given = nullptr) -> int {
        const double x = src[i];
        const double r = std::fabs(x) + 1e-36;
        const ElneutNodeResult res = given ? *given : SolveElneutNode(st, level, i, x, r, itNew, s);
        double result = res.x;
        if (result < kSmallestKeptCH) {  // replacement of tiny values by the left neighbour
            if (i == chunkLo && i > lo) return 1;  // the neighbour is not final yet
            result = i == 0 ? 1e-9 : cH[i - 1];
            if (!ValidCH(result)) result = 1e-9;
        }
        if (!std::isfinite(result) || (result <= 0 && res.n > itNew)) {
            cs.failAt = i;
            cs.failValue = result;
            return 2;
        }
        w.iterations[static_cast<std::size_t>(i)] = res.n;
        cs.mostIterations = std::max(cs.mostIterations, res.n);
        cs.passes += res.n;
        ++cs.solves;
        cH[i] = result;
        if (!speciate) return 0;  // cH alone: the caller's speciation writes pH, cOH and the forms
        if (res.passed)
            for (int q = 0; q < res.nActive; ++q) {
                const int j = s.Active[q];
                cs.denom[static_cast<std::size_t>(j)] = s.S0[j];
                cs.denomExp[static_cast<std::size_t>(j)] = s.S0Exp[j];
                cs.denomSet[static_cast<std::size_t>(j)] = 1;
            }
        SpeciateNode(st, level, i, s);
        return 0;
    };

    // The iteration events of the chunks that finished in order without a
    // deferred rest or a failure go out while later chunks still run; the
    // rest follow the serial pass below, in node order all the same.
    int emitted = lo - 1;  // last node whose event went out
    bool emitting = st.cbNewCnt;
    auto emitInOrder = [&](int clo, int chi, int chunk) {
        const ChunkState& cs = w.chunks[static_cast<std::size_t>(chunk)];
        if (!emitting || cs.deferFrom != INT_MAX || cs.failAt != INT_MAX) {
            emitting = false;
            return;
        }
        for (int i = clo; i <= chi; ++i)
            st.Events.Emit(EngineEvent::Pair(EngineEventKind::NewtonIterations, i,
                                             w.iterations[static_cast<std::size_t>(i)]));
        emitted = chi;
    };
    const int parts = ForNodeChunksInOrder(
        st.Engine.Threads, lo, hi, kParallelMinChunk,
        [&](int clo, int chi, int chunk, int worker) {
            NewtonScratch& s = ScratchOf(a, w, worker);
            ChunkState& cs = w.chunks[static_cast<std::size_t>(chunk)];
            cs.last = chi;
            cs.deferFrom = cs.failAt = INT_MAX;
            cs.mostIterations = 0;
            cs.passes = cs.solves = 0;
            std::fill(cs.denomSet.begin(), cs.denomSet.end(), 0);
            SaveOrRestore(a, w, level, clo, chi, speciate, true);
            // cH alone: nodes solved side by side (equilibrium_lanes.h).
            const int lanes = speciate ? 1 : NodeLanes();
            for (int i = clo; i <= chi;) {
                ElneutNodeResult res[kMaxNodeLanes];
                const int m = lanes > 1 && i + lanes - 1 <= chi ? lanes : 1;
                if (m > 1) SolveElneutNodes(st, level, i, src + i, itNew, s, res);
                int outcome = 0;
                for (int l = 0; l < m && outcome == 0; ++l) {
                    outcome = solve(i + l, s, cs, clo, m > 1 ? &res[l] : nullptr);
                    if (outcome == 1) cs.deferFrom = i + l;
                }
                if (outcome != 0) break;
                i += m;
            }
        },
        emitInOrder);

    // Chunks in node order: a deferred rest is solved now (its left neighbour
    // is final); the first failure ends the call as in the serial loop.
    int end = hi;  // last node that keeps its new values
    bool failed = false;
    double failValue = 0;
    for (int c = 0; c < parts && !failed; ++c) {
        ChunkState& cs = w.chunks[static_cast<std::size_t>(c)];
        if (cs.deferFrom != INT_MAX) {
            for (int i = cs.deferFrom; i <= cs.last; ++i)
                if (solve(i, a.Newton, cs, INT_MIN) == 2) break;
        }
        if (cs.failAt != INT_MAX) {
            failed = true;
            end = cs.failAt - 1;
            failValue = cs.failValue;
        }
    }
    if (failed) SaveOrRestore(a, w, level, end + 1, hi, speciate, false);

    // The most passes of a node kept: the chunks' own maxima up to the failed
    // one (a maximum does not depend on the order), without a pass over the
    // nodes; the iteration events follow in node order.
    if (st.cbNewCnt)
        for (int i = emitted + 1; i <= end; ++i)
            st.Events.Emit(EngineEvent::Pair(EngineEventKind::NewtonIterations, i,
                                             w.iterations[static_cast<std::size_t>(i)]));
    for (int c = 0; c < parts; ++c) {
        const ChunkState& cs = w.chunks[static_cast<std::size_t>(c)];
        st.NewtonItStep = std::max(st.NewtonItStep, cs.mostIterations);
        st.NewtonPassCount += cs.passes;
        st.NodeSolveCount += cs.solves;
        for (int j = 1; j <= nc; ++j)
            if (cs.denomSet[static_cast<std::size_t>(j)])
                a.Denom[j] = std::ldexp(cs.denom[static_cast<std::size_t>(j)],
                                        cs.denomExp[static_cast<std::size_t>(j)]);
        if (cs.failAt != INT_MAX) break;
    }
    if (failed) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "Elneut",
                       "Newton's iteration returns incorrect H+ concentration: " +
                           GeneralFloatText(failValue));
    }
    return true;
}
