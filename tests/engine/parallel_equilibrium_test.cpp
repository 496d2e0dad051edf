// The equilibrium with its node loops over threads gives the very bits of the
// serial loops: forms, pH, ionic strength, means, iteration statistics, the
// tiny-value replacement at chunk edges and the failure that leaves the rest
// of the nodes untouched, and the iteration events node by node.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_range.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"
#include "foundation/errors.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/uniform_grid.h"

namespace {

constexpr int kNodes = 2400;

// A buffer with two analytes whose concentrations vary along the grid, cH of
// level 2 as start values; then the case's own change.
void Build(RunState& st, const std::function<void(RunState&)>& modify)
{
    SetUpUniformGrid(
        st,
        {MakeConstituent("Acetic acid", -1, 0, {4.756, 0}, {42.4, 0}, 20),
         MakeStrongCation("Na", 51.9, 10), MakeConstituent("Base", 0, 1, {0, 5.0}, {0, 30}, 0),
         MakeConstituent("Ampholyte", -2, 2, {3.1, 4.2, 0, 8.3, 9.9}, {30, 20, 0, 18, 28}, 0),
         MakeConstituent("Strong base", 0, 1, {0, 20}, {0, 50}, 0)},
        kNodes);
    EngineArrays& a = st.Arr;
    for (int n = 0; n < a.Nn; ++n) {
        const double x = double(n) / kNodes;
        a.C(1, 3)[n] = 0.1 * std::exp(-std::pow((x - 0.3) / 0.05, 2));
        a.C(1, 4)[n] = 0.5 * std::exp(-std::pow((x - 0.7) / 0.1, 2));
        a.C(1, 1)[n] = 20 + 2 * std::sin(20 * x);
        a.CH(2)[n] = 1e-2 * (1 + 0.5 * std::cos(7 * x));
    }
    modify(st);
}

// Every value the equilibrium writes, its largest iteration count and the stop flag.
std::vector<double> Snapshot(RunState& st, int level)
{
    std::vector<double> v = testcomp::EquilibriumImage(st, level);
    v.push_back(st.NewtonItStep);
    v.push_back(st.Stop);
    return v;
}

}  // namespace

TEST(ParallelEquilibrium, SameBitsAsTheSerialLoops)
{
    auto none = [](RunState&) {};
    // A node of 1e7 mM of a very strong base solves below 1e-14 mM and takes
    // its left neighbour's value; put one at chunk starts and inside chunks.
    auto tiny = [](RunState& st) {
        for (int n : {0, 1, 600, 601, 800, 1200, 1201, 1800, 2000, kNodes}) st.Arr.C(1, 5)[n] = 1e7;
    };
    // A concentration that is no number fails the solve: the warning, Stop,
    // and the rest of the nodes untouched, wherever the chunk edges fall.
    auto bad = [](int n) {
        return [n](RunState& st) { st.Arr.C(1, 1)[n] = st.Arr.C(1, 2)[n] = std::nan(""); };
    };
    const struct {
        std::function<void(RunState&)> modify;
        int lo, hi, level, source;
    } cases[] = {
        {none, 0, kNodes, 1, 2},
        {none, 37, kNodes - 100, 1, 2},
        // level 2 from its own cH (a project just read) and level 3 from level 4
        {[](RunState& st) {
             std::copy(st.Arr.C(1, 1), st.Arr.C(1, 1) + st.Arr.Nn, st.Arr.C(2, 1));
         },
         0, kNodes, 2, 2},
        {none, 0, kNodes, 3, 4},
        {tiny, 0, kNodes, 1, 2},
        {bad(5), 0, kNodes, 1, 2},
        {bad(1199), 0, kNodes, 1, 2},
        {bad(1200), 0, kNodes, 1, 2},
        {bad(2399), 0, kNodes, 1, 2},
    };
    for (const auto& c : cases)
        for (int threads : {2, 3, 8})
            for (bool speciate : {true, false}) {
                RecordingHost host1, host2;  // outlive the states
                RunState s1, s2;
                Build(s1, c.modify);
                Build(s2, c.modify);
                s1.LeftWall = s2.LeftWall = c.lo;
                s1.RightWall = s2.RightWall = c.hi;
                // The iteration events: the same nodes with the same counts in
                // node order (some go out while later chunks still run).
                host1.Attach(s1);
                host2.Attach(s2);
                s1.cbNewCnt = s2.cbNewCnt = true;
                RecordingMessageSink sink1;
                s1.Engine.Threads = ThreadPlan{1};
                Elneut(s1, c.level, c.source, -1, speciate, speciate);
                RecordingMessageSink sink2;
                s2.Engine.Threads = ThreadPlan{threads};
                ASSERT_TRUE(ElneutParallel(s2, c.level, c.source, c.lo, c.hi, speciate));
                EXPECT_EQ(sink1.warnings, sink2.warnings);
                EXPECT_FALSE(host1.newtonIterations.empty());
                EXPECT_TRUE(host1.newtonIterations == host2.newtonIterations)
                    << &c - cases << " threads " << threads << " speciate " << speciate << ": "
                    << host1.newtonIterations.size() << " events, " << host2.newtonIterations.size()
                    << " on threads";
                const auto a = Snapshot(s1, c.level), b = Snapshot(s2, c.level);
                EXPECT_TRUE(a.size() == b.size() &&
                            std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0)
                    << &c - cases << " threads " << threads << " speciate " << speciate;
                EXPECT_EQ(s1.NumericalFailure, s2.NumericalFailure);
                // The solver statistics count every node solve kept and its
                // passes, as the events report them, on one thread and on many.
                for (const auto* r : {&s1, &s2}) {
                    const auto& events = r == &s1 ? host1.newtonIterations : host2.newtonIterations;
                    long long passes = 0;
                    for (const auto& e : events) passes += e.second;
                    EXPECT_EQ(r->NodeSolveCount, static_cast<long long>(events.size()))
                        << &c - cases << " threads " << threads << " speciate " << speciate;
                    EXPECT_EQ(r->NewtonPassCount, passes)
                        << &c - cases << " threads " << threads << " speciate " << speciate;
                }
            }
}

TEST(ParallelEquilibrium, BothSidesOfTheWindowSpeciatedInOneRegionAsNodeByNode)
{
    // The two sides of the window in one parallel region: every node of both
    // ranges (and no other) speciated as by the one-node call, wherever the
    // chunks fall (one chunk holds the end of the left side and the start of
    // the right one); a node without a valid cH stops the run with the
    // warning that names it, its side node by node, the other side done.
    const struct {
        int lo1, hi1, lo2, hi2, badNode;
    } cases[] = {
        {0, 700, 1500, kNodes, -1},       {0, -1, 1301, kNodes, -1},  // no left side
        {0, 999, kNodes + 1, kNodes, -1},                             // no right side
        {0, 700, 1500, kNodes, 1777},     {0, 700, 1500, kNodes, 333},
    };
    for (const auto& c : cases)
        for (int threads : {1, 3, 8}) {
            RunState s1, s2;
            for (RunState* s : {&s1, &s2}) {
                Build(*s, [](RunState&) {});
                s->Engine.Threads = ThreadPlan{1};
                s->LeftWall = 0;
                s->RightWall = kNodes;
                Elneut(*s, 1, 2, -1, false, false);  // cH of level 1 on every node
                if (c.badNode >= 0) s->Arr.CH(1)[c.badNode] = -1;
            }
            RecordingMessageSink sink1;
            for (int n = 0; n <= kNodes; ++n)
                if ((n >= c.lo1 && n <= c.hi1) || (n >= c.lo2 && n <= c.hi2))
                    CalcSpeciation(s1, 1, n);
            RecordingMessageSink sink2;
            s2.Engine.Threads = ThreadPlan{threads};
            CalcSpeciationRanges(s2, 1, c.lo1, c.hi1, c.lo2, c.hi2);
            EXPECT_EQ(sink1.warnings, sink2.warnings);
            EXPECT_EQ(sink2.warnings.size(), c.badNode >= 0 ? 1u : 0u);
            const auto a = Snapshot(s1, 1), b = Snapshot(s2, 1);
            EXPECT_TRUE(a.size() == b.size() &&
                        std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0)
                << &c - cases << " threads " << threads;
        }
}
