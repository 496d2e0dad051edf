// The checks of a step spread over threads name the node the serial checks
// name: the first non-finite concentration in constituent order, then node
// order, and the first node of the column with a conductivity or
// cross-section that is not a positive finite number; the resistance itself
// is the sum in node order.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"
#include "engine/step/step_services.h"
#include "engine/step/voltage.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/bench_cases.h"
#include "support/recording_sink.h"
#include "support/uniform_grid.h"

namespace {

constexpr int kNodes = 2400;

void Build(RunState& st, int threads)
{
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 10), MakeStrongAnion("Cl", 79.1, 10)},
                     kNodes);
    st.Engine.Threads = ThreadPlan{threads};
    st.FakeCapLen = 0;
    EngineArrays& a = st.Arr;
    for (int n = 0; n < a.Nn; ++n) {
        a.Kappa[n] = 0.1 + 1e-5 * n;
        a.S[n] = 2e-9 * (1 + 0.5 * std::sin(0.01 * n));
    }
}

// The warnings and the outcome of ConcentrationsFinite and CalcVoltageCurrent
// after `modify`, and the resistance they found.
struct Outcome {
    std::vector<std::string> warnings;
    bool finite, voltage;
    double r;
};

template <class F>
Outcome RunChecks(int threads, F modify)
{
    RecordingMessageSink sink;
    RunState st;
    Build(st, threads);
    modify(st);
    Outcome o;
    o.finite = ConcentrationsFinite(st, 1);
    o.r = ColumnResistance(st);
    o.voltage = CalcVoltageCurrent(st);
    o.warnings = sink.warnings;
    return o;
}

}  // namespace

TEST(StepChecks, ThreadsNameTheNodesTheSerialChecksName)
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    auto serialSum = [](RunState& st) {
        // The resistance written out here: the half end terms, then node j's
        // term into partial sum j mod 8 in node order, the partial sums added
        // pairwise.
        const EngineArrays& a = st.Arr;
        double sum = 0.5 / (a.Kappa[0] * a.S[0]) + 0.5 / (a.Kappa[kNodes] * a.S[kNodes]);
        double part[8] = {};
        for (int j = 1; j < kNodes; ++j) part[j % 8] += 1.0 / (a.Kappa[j] * a.S[j]);
        sum += ((part[0] + part[1]) + (part[2] + part[3])) +
               ((part[4] + part[5]) + (part[6] + part[7]));
        return sum * st.DX;
    };
    auto exactSum = [](RunState& st) {
        // The same resistance in long double, node by node.
        const EngineArrays& a = st.Arr;
        long double sum = 0.5L / (a.Kappa[0] * a.S[0]) + 0.5L / (a.Kappa[kNodes] * a.S[kNodes]);
        for (int j = 1; j < kNodes; ++j) sum += 1.0L / ((long double)a.Kappa[j] * a.S[j]);
        return static_cast<double>(sum * st.DX);
    };
    for (int threads : {1, 3, 8}) {
        RunState st;
        Build(st, threads);
        const double r = ColumnResistance(st);
        EXPECT_EQ(r, serialSum(st)) << threads;  // the same bits on any number of threads
        EXPECT_NEAR(r, exactSum(st), 1e-14 * r) << threads;
    }
    const struct {
        const char* what;
        void (*modify)(RunState&, double, double);
        std::string expect;
    } cases[] = {
        // cH (row 3) fails first in node order, but constituent 2 comes first
        {"concentrations",
         [](RunState& st, double in, double na) {
             st.Arr.CH(1)[3] = na;
             st.Arr.C(1, 2)[2000] = in;
             st.Arr.C(1, 2)[1900] = -in;
         },
         std::string(kBadConcentrationOf) + "2, node 1900" + kCalculationStopped},
        {"conductivity",
         [](RunState& st, double, double na) {
             st.Arr.Kappa[2100] = -1;
             st.Arr.S[1300] = 0;
             st.Arr.Kappa[1300] = na;
         },
         std::string(kBadConductivityAt) + "1300: " + GeneralFloatText(std::nan("")) + " S/m" +
             kCalculationStopped},
        {"cross-section at the end", [](RunState& st, double, double) { st.Arr.S[kNodes] = -0.0; },
         std::string(kBadCrossSectionAt) + std::to_string(kNodes) + ": " + GeneralFloatText(-0.0) +
             " m2" + kCalculationStopped},
    };
    for (const auto& c : cases) {
        const Outcome serial = RunChecks(1, [&](RunState& st) { c.modify(st, inf, nan); });
        ASSERT_EQ(serial.warnings.size(), 1u) << c.what;
        EXPECT_EQ(serial.warnings[0], c.expect) << c.what;
        for (int threads : {3, 8}) {
            const Outcome threaded =
                RunChecks(threads, [&](RunState& st) { c.modify(st, inf, nan); });
            EXPECT_EQ(threaded.warnings, serial.warnings) << c.what << " threads " << threads;
            EXPECT_EQ(threaded.finite, serial.finite) << c.what;
            EXPECT_EQ(threaded.voltage, serial.voltage) << c.what;
        }
    }
}

TEST(StepChecks, AutomaticThreadsFollowTheGridBeingInitialised)
{
    // B4b asks for 16001 nodes of a state that had the default grid: the
    // automatic choice takes the new grid, not the one being replaced.
    const int saved = EngineThreads();
    const bool automatic = EngineThreadsAutomatic();
    SetEngineThreads(0);
    RunState st;
    ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B4b"), 0));
    EXPECT_EQ(st.NX, 16000);
    EXPECT_EQ(st.Engine.Threads.threads, ThreadsForGrid(16001, EngineThreads()));
    SetEngineThreads(automatic ? 0 : saved);
}
