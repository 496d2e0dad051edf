#include "engine/step/step_services.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/node_threads.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"

double ElapsedSeconds(RunState& st, double stamp)
{
    if (stamp == 0) stamp = st.RunStart;
    return (st.host().NowDays() - stamp) * 86400.0;
}

namespace {

// First non-finite value of each tested row in each chunk of the window.
struct FiniteChunks {
    std::vector<int> first;  // [chunk][row - 1]
    void Ensure(std::size_t need)
    {
        if (first.size() < need) first.assign(need, INT_MAX);
    }
};

// First node of c[lo..hi] that is not finite (INT_MAX if none). The mask pass
// works on the bits, without a branch per node, so it vectorises (a test of
// the double does not): an exponent of all ones carries into the top bit when
// one is added to it. The node is sought only when the mask has found one.
int FirstNonFinite(const double* c, int lo, int hi)
{
    constexpr std::uint64_t kExponent = 0x7FF0000000000000u, kExponentOne = 0x0010000000000000u;
    std::uint64_t bad = 0;
    for (int j = lo; j <= hi; ++j)
        bad |= (std::bit_cast<std::uint64_t>(c[j]) & kExponent) + kExponentOne;
    if (!(bad >> 63)) return INT_MAX;
    for (int j = lo; j <= hi; ++j)
        if (!std::isfinite(c[j])) return j;
    return INT_MAX;
}

}  // namespace

void FiniteRowsOfChunk(EngineArrays& a, int level, int clo, int chi, int* first)
{
    const int nc = a.NComp;
    for (int i = 1; i <= nc + 1; ++i)
        first[i - 1] = i > nc || a.SkipComp[i] != 1
                           ? FirstNonFinite(i > nc ? a.CH(level) : a.C(level, i), clo, chi)
                           : INT_MAX;
}

bool FiniteVerdict(RunState& st, const int* first, int parts)
{
    const int rows = st.Arr.NComp + 1;
    // The first failure in row order, and within a row in node order.
    for (int i = 1; i <= rows; ++i) {
        for (int c = 0; c < parts; ++c) {
            const int j = first[static_cast<std::size_t>(c) * rows + i - 1];
            if (j == INT_MAX) continue;
            st.Stop = true;
            st.NumericalFailure = true;
            WarnOncePerRun(st, "ConcentrationsFinite",
                           kBadConcentrationOf + std::to_string(i) + ", node " + std::to_string(j) +
                               kCalculationStopped);
            return false;
        }
    }
    return true;
}

bool ConcentrationsFinite(RunState& st, int level)
{
    const int rows = st.Arr.NComp + 1;  // the constituents, then cH
    FiniteChunks& sc = st.Engine.Scratch<FiniteChunks>();
    sc.Ensure(static_cast<std::size_t>(st.Engine.Threads.MaxChunks()) * rows);
    const int parts = ForNodeChunks(
        st.Engine.Threads, st.LeftWall, st.RightWall, kParallelMinChunk,
        [&](int clo, int chi, int chunk, int) {
            FiniteRowsOfChunk(st.Arr, level, clo, chi,
                              sc.first.data() + static_cast<std::size_t>(chunk) * rows);
        });
    return FiniteVerdict(st, sc.first.data(), parts);
}

void SolverStatistics(RunState& st)
{
    if (!PeriodDue(st.StepCount, st.EditsRef)) return;
    st.NewtonItMax = st.NewtonItStep;
    st.NewtonItStep = 0;
    if (st.ISCorrection) {
        st.GlobalRatio =
            static_cast<double>(st.NewtonItTotal) / st.EditsRef / (st.RightWall - st.LeftWall + 1);
        st.NewtonItTotal = 0;
    } else {
        st.GlobalRatio = static_cast<double>(st.NewtonItTotal) / st.StepCount;
    }
}

void TimeStepControl(RunState& st, const RunLocals& loc)
{
    EngineStatics& s = st.Statics;
    const double dtStart = st.DT;
    if (st.StepError > st.MaxError) st.MaxError = st.StepError;

    // Immediate cut after a step that needed several corrector passes.
    if (loc.CorrectorIterations != 1 && st.cbOptDt && st.cbDCDTCor) {
        const double oldInc = st.ErrInc;
        if (st.StepCount == s.CutStreakCount + s.CutStreakStart) {
            if (s.CutStreakCount % 20 == 0) {
                st.ErrInc = 0.95 * st.ErrInc;
                st.DT = 0.95 * st.DT;
            }
        } else {
            st.DT = 0.1 * st.DT;
            if (loc.RunSteps > 5) st.ErrOpt = 0.4 * st.ErrOpt;
            s.CutStreakStart = st.StepCount;
            s.CutStreakCount = 0;
        }
        s.CutStreakCount += 1;
        if (oldInc >= 0.05 && st.ErrInc < 0.05) st.ErrInc = 0.05;
    }

    // Periodic optimisation towards the error target.
    if (PeriodDue(st.StepCount, st.OptInter) && st.DT == dtStart && st.cbOptDt) {
        // The step grows no further than a typed step may be (a project
        // saved with it opens again).
        if (st.StepError < 0.1 * st.ErrOpt)
            st.DT = std::copysign(std::min(std::fabs((1 + st.ErrInc) * st.DT), kTimeStepRange.high),
                                  st.DT);
        if (st.StepError > 10 * st.ErrOpt) st.DT = st.DT / (1 + st.ErrInc);
    }
    if (st.DT != dtStart) st.Restart = true;
}

namespace {

// Appends a frame unless the file has outgrown the size limit; past the limit
// recording ends for this run with a message.
void AppendChecked(RunState& st, RunLocals& loc)
{
    if (!loc.PsqAppendAllowed) return;
    if (st.recorder().FileSizeByName(st.PsqFile) <= kPsqSizeLimit) {
        st.recorder().AppendPsqFrame(st.PsqFile);
        return;
    }
    loc.PsqAppendAllowed = false;
    st.Events.Emit(EngineEvent::Lines(
        EngineEventKind::ShowMessageWindow,
        {"Appending to PSQ file was stopped!", "",
         "Temporary PSQ file exceeded its maximum size limit (Kelvo internal limit). Simulation "
         "continues without appending data to PSQ file..."}));
}

}  // namespace

void RecordPsqFrame(RunState& st, RunLocals& loc)
{
    if (st.rbPSQNo) return;
    if (st.rbPSQSteps) {
        if (PeriodDue(st.StepCount, st.PSQPeriod)) AppendChecked(st, loc);
        return;
    }
    if (!st.rbPSQMS || st.PSQPeriod < 1) return;
    double& last = st.Statics.LastPsqFrameTime;
    if (PeriodDue(st.StepCount, st.PSQPeriod) && st.Time == 0) {
        AppendChecked(st, loc);
        return;
    }
    if (st.Time < last) last = 0;
    if (st.Time - last >= st.PSQPeriod * 0.001) {
        AppendChecked(st, loc);
        last = st.Time;
    }
}

int DetectorNode(const RunState& st, double x)
{
    const double v = std::nearbyint(0.001 * st.NX / st.CapLength * x);
    if (!(v >= 0) || !(v <= st.NX)) return -1;
    return static_cast<int>(v);
}

void SampleDetector(RunState& st)
{
    double x = st.DetPosition;
    if (st.cbEnableEOF) x = x - st.EOFMob * st.U * st.Time / (st.CapLength + st.FakeCapLen) * 1000;
    st.Events.Emit(EngineEventKind::DrawDetectorLine);
    const int node = DetectorNode(st, x);
    EngineArrays& a = st.Arr;
    const bool inside = node >= 0 && node < a.Nn;
    if (inside) {
        RunSeries& s = st.Series;
        const double t = st.Time / 60;
        s.DET_conductivity.Add(t, a.Kappa[node] * st.CondScale);
        s.DET_pH.Add(t, a.PH[node]);
        s.DET_volt.Add(t, st.U * 0.001);
        s.DET_CDen.Add(t, st.I * 1000000);
        s.DET_T.Add(t, a.T(2)[node] - 273.15);
        const int n = static_cast<int>(s.srDetComp.size()) - 1;
        for (int i = 1; i <= a.NComp && i <= n; ++i) s.srDetComp[i].Add(t, a.C(2, i)[node]);
    }
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::DetectorSampled, inside));
}

void StepServices(RunState& st, RunLocals& loc)
{
    SolverStatistics(st);
    TimeStepControl(st, loc);
    if (PeriodDue(st.StepCount, st.GraphRef)) RedrawGraph(st);
    RecordPsqFrame(st, loc);
    if (st.cbDetectorOn && !st.DiffMode && PeriodDue(st.StepCount, st.DetInput)) SampleDetector(st);
    if (PeriodDue(st.StepCount, st.EditsRef)) {
        st.SpentTime += ElapsedSeconds(st, st.RunStartStamp);
        st.Events.Emit(EngineEventKind::UpdateMainInfo);
        st.Events.Emit(EngineEventKind::ShowAdditionalInfo);
        st.RunStartStamp = st.host().NowDays();
    }
    if (PeriodDue(st.StepCount, st.WallRef)) UpdateComputationWindow(st);
    if (st.DiffMode) {
        if (st.DiffClock > st.DiffTime)
            EndDiffusionMode(st);
        else
            st.DiffClock += st.DT;
    }
    st.host().ProcessMessages();
}
