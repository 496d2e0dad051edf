// Nodes solved and speciated side by side (two SSE2 lanes, four AVX2 lanes)
// give every stored value the bits of the one-node routines: across pH 0-14
// with the constituent of charges -30..+30 present or absent node by node
// (terms that need scaling, restarts), and over whole benchmark runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"
#include "support/bench_cases.h"
#include "support/run_profiles.h"

namespace {

// The lane widths this processor runs, the one-node routines (1) first.
std::vector<int> LaneWidths()
{
    std::vector<int> w{1};
    if (NodeLanes() >= 2) w.push_back(2);
    if (NodeLanes() >= 4) w.push_back(4);
    return w;
}

bool SameBits(const std::vector<double>& x, const std::vector<double>& y)
{
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(double)) == 0;
}

class NodeLanesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedThreads_ = EngineThreads();
        SetEngineThreads(1);
    }
    void TearDown() override
    {
        SetNodeLanes(0);
        SetEngineThreads(savedThreads_);
    }
    int savedThreads_ = 1;
};

}  // namespace

TEST_F(NodeLanesTest, SolveAndSpeciationAcrossPHKeepTheOneNodeBits)
{
    std::vector<double> solved1, speciated1;
    for (int lanes : LaneWidths()) {
        SetNodeLanes(lanes);
        RunState st;
        ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B5"), 199));
        EngineArrays& a = st.Arr;
        const int hc = a.NComp;  // the constituent of charges -30..+30
        st.LeftWall = 0;
        st.RightWall = st.NX;
        // Sodium (constituent 2) rising along the grid against 20 mM acetic
        // acid takes the pH from about 3 to 13; the charge-30 constituent is
        // on every third node only. Level 3 supplies the starts, a few of
        // them at or below 0 (restarts from below).
        for (int n = 0; n < a.Nn; ++n) {
            a.CH(3)[n] = n % 17 == 5 ? -1e-3 : (n % 23 == 7 ? 0.0 : 1e-4);
            for (int j = 1; j <= a.NComp; ++j) a.C(2, j)[n] = a.C(3, j)[n];
            a.C(2, 2)[n] = 40.0 * n / (a.Nn - 1);
            a.C(2, hc)[n] = n % 3 == 0 ? 0.01 + 1e-4 * n : 0.0;
        }
        st.NewtonItStep = 0;
        Elneut(st, 2, 3, -1, false, false);
        ASSERT_FALSE(st.NumericalFailure) << lanes;
        const std::vector<double> cH(a.CH(2), a.CH(2) + a.Nn);
        EXPECT_GT(cH[0] / cH[a.Nn - 1], 1e5);
        // The speciation across pH 0..14: the highly charged forms at the
        // ends need scaled terms (the lanes hand those nodes to the one-node
        // routine).
        for (int n = 0; n < a.Nn; ++n) a.CH(2)[n] = std::pow(10.0, 3 - 14.0 * n / (a.Nn - 1));
        CalcSpeciation(st, 2, -1);
        ASSERT_FALSE(st.NumericalFailure) << lanes;
        const std::vector<double> image = testcomp::EquilibriumImage(st, 2);
        if (lanes == 1) {
            solved1 = cH;
            speciated1 = image;
            continue;
        }
        EXPECT_TRUE(SameBits(cH, solved1)) << lanes << " lanes: cH";
        EXPECT_TRUE(SameBits(image, speciated1)) << lanes << " lanes: speciation";
    }
}

TEST_F(NodeLanesTest, BenchmarkRunsKeepTheOneNodeBits)
{
    const struct {
        const char* id;
        double stopTime;
    } cases[] = {{"B1", 0.05}, {"B2", 0.05}, {"B3", 0.01}, {"B5", 0.01}};
    for (const auto& c : cases) {
        std::vector<double> first;
        for (int lanes : LaneWidths()) {
            SetNodeLanes(lanes);
            RunState st;
            ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase(c.id), 300));
            benchcases::RunTimed(st, c.stopTime, c.id);
            std::vector<double> image = testcomp::EquilibriumImage(st, 2);
            for (int j = 1; j <= st.Arr.NComp; ++j)
                image.insert(image.end(), st.Arr.C(2, j), st.Arr.C(2, j) + st.Arr.Nn);
            image.push_back(st.StepCount);
            image.push_back(st.DT);
            if (lanes == 1) {
                EXPECT_GT(st.StepCount, 10) << c.id;
                first = image;
            } else {
                EXPECT_TRUE(SameBits(image, first)) << c.id << ", " << lanes << " lanes";
            }
        }
    }
}
