// The equilibrium with its node loops over threads gives the very bits of the
// serial loops: forms, pH, ionic strength, means, iteration statistics, the
// tiny-value replacement at chunk edges and the failure that leaves the rest
// of the nodes untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/equilibrium.h"
#include "engine/node_threads.h"
#include "engine/parallel_equilibrium.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/uniform_grid.h"

namespace {

struct ThreadsGuard {
    int saved = EngineThreads();
    ~ThreadsGuard() { SetEngineThreads(saved); }
};

constexpr int kNodes = 2400;

// A buffer with two analytes whose concentrations vary along the grid, cH of
// level 2 as start values, and every level-1 row scrambled.
void Build(RunState& st) {
    SetUpUniformGrid(st, {MakeConstituent("Acetic acid", -1, 0, {4.756, 0}, {42.4, 0}, 20),
                          MakeStrongCation("Na", 51.9, 10),
                          MakeConstituent("Base", 0, 1, {0, 5.0}, {0, 30}, 0),
                          MakeConstituent("Ampholyte", -2, 2, {3.1, 4.2, 0, 8.3, 9.9},
                                          {30, 20, 0, 18, 28}, 0),
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
}

// Every value the equilibrium writes.
std::vector<double> Snapshot(RunState& st, int level) {
    EngineArrays& a = st.Arr;
    std::vector<double> v;
    for (int i = 1; i <= a.NComp + 2; ++i)
        for (int k = 0; k < a.Forms(i); ++k) v.insert(v.end(), a.CForm(level, i, k), a.CForm(level, i, k) + a.Nn);
    v.insert(v.end(), a.IonicStrength(level), a.IonicStrength(level) + a.Nn);
    v.insert(v.end(), a.PH.begin(), a.PH.end());
    for (int j = 1; j <= a.NComp; ++j) {
        v.insert(v.end(), a.ZMean[j], a.ZMean[j] + a.Nn);
        v.insert(v.end(), a.UEff[j], a.UEff[j] + a.Nn);
    }
    v.push_back(st.NewtonItStep);
    return v;
}

bool SameBits(const std::vector<double>& x, const std::vector<double>& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

// Runs the serial Elneut on one state and the parallel driver on a twin, with
// the nodes speciated as they are solved and with cH stored alone.
void Compare(const std::function<void(RunState&)>& modify, int lo, int hi, int threads,
             const std::function<void(RunState&)>& check = nullptr, int level = 1, int source = 2) {
    for (bool speciate : {true, false}) {
        RunState s1, s2;
        Build(s1);
        Build(s2);
        modify(s1);
        modify(s2);
        s1.LeftWall = s2.LeftWall = lo;
        s1.RightWall = s2.RightWall = hi;
        std::vector<std::string> w1, w2;
        {
            RecordingMessageSink sink;
            SetEngineThreads(1);
            Elneut(s1, level, source, -1, speciate, speciate);
            w1 = sink.warnings;
        }
        {
            RecordingMessageSink sink;
            SetEngineThreads(threads);
            ASSERT_TRUE(ElneutParallel(s2, level, source, lo, hi, speciate));
            w2 = sink.warnings;
        }
        EXPECT_EQ(w1, w2);
        EXPECT_TRUE(SameBits(Snapshot(s1, level), Snapshot(s2, level))) << speciate;
        EXPECT_EQ(s1.Stop, s2.Stop);
        EXPECT_EQ(s1.NumericalFailure, s2.NumericalFailure);
        for (int j = 1; j <= s1.Arr.NComp; ++j) {
            if (s1.Arr.Denom[j] != 0) {
                EXPECT_EQ(s1.Arr.Denom[j], s2.Arr.Denom[j]) << j;
            }
        }
        if (check) check(s2);
    }
}

}  // namespace

TEST(ParallelEquilibrium, SameBitsAsTheSerialLoops) {
    ThreadsGuard guard;
    for (int threads : {2, 3, 8}) {
        Compare([](RunState&) {}, 0, kNodes, threads);
        Compare([](RunState&) {}, 37, kNodes - 100, threads);
        // Level 2 from its own cH (a project just read) and level 3 from level 4.
        Compare([](RunState& st) { std::copy(st.Arr.C(1, 1), st.Arr.C(1, 1) + st.Arr.Nn, st.Arr.C(2, 1)); },
                0, kNodes, threads, nullptr, 2, 2);
        Compare([](RunState&) {}, 0, kNodes, threads, nullptr, 3, 4);
    }
    // Speciation alone.
    RunState s1, s2;
    Build(s1);
    Build(s2);
    SetEngineThreads(1);
    Elneut(s1, 2, -1, -1, false);
    Elneut(s2, 2, -1, -1, false);
    CalcSpeciation(s1, 2, -1);
    SetEngineThreads(4);
    ASSERT_TRUE(CalcSpeciationParallel(s2, 2, 0, kNodes));
    EXPECT_TRUE(SameBits(Snapshot(s1, 2), Snapshot(s2, 2)));
    // Declined where nodes depend on each other or the range is small.
    EXPECT_FALSE(ElneutParallel(s2, 1, -1, 0, kNodes, true));
    EXPECT_FALSE(ElneutParallel(s2, 1, 2, 0, 100, true));
    s2.ISCorrection = true;
    EXPECT_FALSE(ElneutParallel(s2, 1, 2, 0, kNodes, true));
    SetEngineThreads(1);
    EXPECT_FALSE(CalcSpeciationParallel(s2, 2, 0, kNodes));
}

TEST(ParallelEquilibrium, TinyResultsAtChunkEdgesAndFailures) {
    ThreadsGuard guard;
    // A node of 1e7 mM of a very strong base solves below 1e-14 mM and takes its left
    // neighbour's value; put one at every chunk start and inside chunks.
    auto tiny = [](RunState& st) {
        for (int n : {0, 1, 600, 601, 800, 1200, 1201, 1800, 2000, kNodes})
            st.Arr.C(1, 5)[n] = 1e7;
    };
    auto replaced = [](RunState& st) {
        const double* cH = st.Arr.CH(1);
        EXPECT_EQ(cH[0], 1e-9);
        EXPECT_EQ(cH[1], 1e-9);
        for (int n : {600, 601, 800, 1200, 1201, 1800, 2000, kNodes}) EXPECT_EQ(cH[n], cH[n - 1]) << n;
        EXPECT_FALSE(st.Stop);
    };
    for (int threads : {2, 3, 4}) Compare(tiny, 0, kNodes, threads, replaced);
    // A concentration that is no number fails the solve: the warning, Stop,
    // and the rest of the nodes untouched, wherever the chunk edges fall.
    for (int bad : {5, 601, 1199, 1200, 2399}) {
        auto fail = [bad](RunState& st) {
            st.Arr.C(1, 1)[bad] = std::nan("");
            st.Arr.C(1, 2)[bad] = std::nan("");
        };
        auto stopped = [bad](RunState& st) {
            EXPECT_TRUE(st.Stop);
            EXPECT_TRUE(st.NumericalFailure);
            EXPECT_EQ(st.Arr.CH(1)[bad], 1e-4);  // not stored
        };
        for (int threads : {2, 4}) Compare(fail, 0, kNodes, threads, stopped);
    }
}
