#include "engine/step/comp_window.h"

#include <algorithm>
#include <cmath>

#include "engine/modes/modes.h"
#include "engine/state/run_state.h"

ComputationWindowScope::ComputationWindowScope(RunCounters& counters)
    : counters_(counters), left_(counters.LeftWall), right_(counters.RightWall)
{
}

ComputationWindowScope::~ComputationWindowScope()
{
    counters_.LeftWall = left_;
    counters_.RightWall = right_;
}

void ComputationWindowScope::WholeGrid(int lastNode)
{
    counters_.LeftWall = 0;
    counters_.RightWall = lastNode;
}

int LastGridNode(const RunState& st)
{
    const int n = st.Arr.Allocated() ? st.Arr.Nn - 1 : st.NX;
    return st.NX < n ? st.NX : n;
}

void ClampComputationWindow(RunState& st)
{
    const int last = LastGridNode(st);
    st.LeftWall = std::clamp(st.LeftWall, 0, std::max(last, 0));
    st.RightWall = std::clamp(st.RightWall, 0, std::max(last, 0));
    if (st.RightWall - st.LeftWall < 2) {
        st.LeftWall = 0;
        st.RightWall = last;
    }
}

void DrawWindowLines(RunState& st)
{
    const double n = st.NX > 0 ? st.NX : 1;
    const double xL = st.LeftWall / n * st.CapLength * st.XScale;
    const double xR = st.RightWall / n * st.CapLength * st.XScale;
    ChartSeries& l = st.Series.sr_LeftWall;
    ChartSeries& r = st.Series.sr_RightWall;
    if (l.x.size() == 2) l.x[0] = l.x[1] = xL;
    if (r.x.size() == 2) r.x[0] = r.x[1] = xR;
    st.Events.Emit(EngineEvent::Pair(EngineEventKind::DrawWindowLines, st.LeftWall, st.RightWall));
}

namespace {

enum class ReactingWindow { None, Whole, Opened };

// The whole grid while the selected mode reacts or a mode integrates the
// temperature: None without either, Whole when the walls were there already,
// Opened when they moved.
ReactingWindow OpenWhileReacting(RunState& st)
{
    if (!st.Initialised || !st.Arr.Allocated() || !ModeNeedsWholeGrid(st))
        return ReactingWindow::None;
    const int last = LastGridNode(st);
    if (st.LeftWall == 0 && st.RightWall == last) return ReactingWindow::Whole;
    st.LeftWall = 0;
    st.RightWall = last;
    return ReactingWindow::Opened;
}

}  // namespace

bool WholeGridWhileReacting(RunState& st)
{
    const ReactingWindow w = OpenWhileReacting(st);
    if (w == ReactingWindow::Opened) DrawWindowLines(st);
    return w != ReactingWindow::None;
}

void UpdateComputationWindow(RunState& st)
{
    if (!st.Initialised || !st.Arr.Allocated()) {
        if (st.PsqPlayerInUse) DrawWindowLines(st);
        return;
    }
    // Fixed walls too: the user's window cannot leave reacting or heated nodes out.
    if (OpenWhileReacting(st) != ReactingWindow::None) {
        DrawWindowLines(st);
        return;
    }
    if (!st.cbLWMove && !st.cbRWMove) {
        DrawWindowLines(st);
        return;
    }
    EngineArrays& a = st.Arr;
    const int N = LastGridNode(st);
    const int nc = std::min(a.NComp, a.DrawnProfile.Rows() - 1);
    const int inc = st.WallInc;
    const double limL = st.LW, limR = st.RW;
    int& LW = st.LeftWall;
    int& RW = st.RightWall;
    LW = std::clamp(LW, 0, N);
    RW = std::clamp(RW, 0, N);
    bool rightMoved = false, leftMoved = false;

    for (int pass = 0; pass < 100; ++pass) {
        bool done = true;
        int countRight = 0, countLeft = 0;
        for (int i = 1; i <= nc; ++i) {
            const double* prof = a.DrawnProfile[i];
            // Reads outside the grid are taken at the nearest end node.
            auto Y = [&](int n) { return prof[std::clamp(n, 0, N)]; };
            const double vL = Y(LW), vR = Y(RW);
            if (st.cbRWMove) {
                if (RW != N &&
                    (std::fabs(Y(RW - 2) - vR) >= limR || std::fabs(Y(RW - 30) - vR) >= limR)) {
                    RW = std::min(RW + inc, N);
                    if (st.cbKeepDistance) LW = std::clamp(LW + inc, 0, N);
                    rightMoved = true;
                    done = false;
                    break;
                }
                if (st.Running && RW - 3 - inc > 0 && !rightMoved) {
                    // Every node that leaves the window must be flat, not only
                    // the band at the new wall: a zone between them would be
                    // frozen outside the window.
                    bool flat = inc >= 1;
                    for (int n = RW - inc - 3; flat && n < RW; ++n)
                        flat = std::fabs(Y(n) - vR) < limR;
                    if (flat && ++countRight == nc) {
                        RW -= inc;
                        if (st.cbKeepDistance) LW = std::max(LW - inc, 0);
                        done = false;
                        break;
                    }
                }
            }
            if (st.cbLWMove) {
                if (LW != 0 &&
                    (std::fabs(Y(LW + 2) - vL) >= limL || std::fabs(Y(LW + 30) - vL) >= limL)) {
                    LW = std::max(LW - inc, 0);
                    leftMoved = true;
                    done = false;
                    break;
                }
                if (st.Running && LW + inc + 3 < N && !leftMoved) {
                    bool flat = inc >= 1;
                    for (int n = LW + 1; flat && n <= LW + inc + 3; ++n)
                        flat = std::fabs(Y(n) - vL) < limL;
                    if (flat && ++countLeft == nc) {
                        LW += inc;
                        done = false;
                        break;
                    }
                }
            }
        }
        if (RW < 10) RW = std::min(10, N);
        if (RW <= LW) LW = std::max(RW - 10, 0);
        if (done) break;
    }
    ClampComputationWindow(st);
    DrawWindowLines(st);
}

void RedrawGraph(RunState& st)
{
    if (st.DistPreview || !st.Initialised) return;
    EngineArrays& a = st.Arr;
    if (a.Allocated()) {
        const int nn = a.Nn;
        const int nc = std::min(a.NComp, a.DrawnProfile.Rows() - 1);
        for (int k = 1; k <= nc; ++k) {
            if (a.SkipComp[k] == 1 && st.Running) continue;
            std::copy(a.C(2, k), a.C(2, k) + nn, a.DrawnProfile[k]);
        }
        RunSeries& s = st.Series;
        if (s.sr_pH.Count() == nn) std::copy(a.PH.begin(), a.PH.end(), s.sr_pH.y.begin());
        if (s.sr_conductivity.Count() == nn)
            for (int j = 0; j < nn; ++j) s.sr_conductivity.y[j] = a.Kappa[j] * st.CondScale;
        RedrawModeSeries(st);
    }
    st.Events.Emit(EngineEventKind::RedrawGraph);
}
