// The nodes outside the computation window keep their speciation through the
// steps while nothing they depend on changes; whatever changes their
// concentrations or the constants they were speciated with (the walls leaving
// integrated nodes behind, a switch turned on and off during a run, the ionic
// product of water, a new Init) has them speciated again. After every step each
// node holds exactly what a fresh speciation of its concentrations gives.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "engine/equilibrium/kept_speciation.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/node_threads.h"
#include "engine/step/run_calc.h"
#include "support/bench_cases.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"

namespace {

// Runs `steps` steps of the initialised state, comparing its equilibrium with
// a fresh speciation after each one (atStep(k) first, at the message pump that
// follows step k). The first difference, or empty.
std::string StepAndCompare(RecordingHost& host, RunState& st, int steps,
                           const std::function<void(int)>& atStep = {})
{
    std::string difference;
    const int first = st.StepCount;
    host.onProcessMessages = [&](int) {
        const int k = st.StepCount - first;
        if (k == 0) return;
        if (difference.empty()) {
            difference = testcomp::SpeciationDifference(st);
            if (!difference.empty()) difference = "step " + std::to_string(k) + ": " + difference;
        }
        if (atStep) atStep(k);
        if (k >= steps) st.Stop = true;
    };
    st.StopTime = 1e9;
    RunCalc(st);
    StopCalc(st);
    host.onProcessMessages = nullptr;
    EXPECT_EQ(st.StepCount - first, steps);
    return difference;
}

}  // namespace

TEST(OutsideSpeciation, EveryNodeHoldsTheSpeciationOfItsConcentrationsAfterEachStep)
{
    // On one thread and on several (each chunk keeps the nodes it speciates).
    const int saved = EngineThreads();
    for (int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        SetEngineThreads(threads);
        RecordingMessageSink sink;
        RecordingHost host;
        RunState st;
        // Zone electrophoresis on 1200 nodes (several chunks a side) at 37 °C: the mobilities
        // differ from those at 25 °C once a temperature profile is switched on.
        benchcases::FindCase("B1").prepare(st);
        st.NXPending = 1200;
        st.Temperature = 310.15;
        host.Attach(st);
        ASSERT_TRUE(InitCalc(st));
        ASSERT_EQ(st.Engine.Threads.threads, threads);
        const KeptSpeciation& kept = st.Engine.Scratch<KeptSpeciation>();

        // The walls move (as the run-setup window moves them while the run goes
        // on): nodes integrated in the window are left behind with concentrations
        // of their own in every level, others are taken in and left again.
        st.cbLWMove = st.cbRWMove = false;
        const std::pair<int, int> windows[] = {{0, 400},   {80, 400}, {140, 520}, {40, 320},
                                               {180, 640}, {0, 1199}, {120, 240}, {20, 800}};
        EXPECT_EQ(StepAndCompare(host, st, 8 * 12,
                                 [&](int k) {
                                     if (k % 12 != 0) return;
                                     st.LeftWall = windows[k / 12 % 8].first;
                                     st.RightWall = windows[k / 12 % 8].second;
                                 }),
                  "");
        long long taken = kept.Taken();
        EXPECT_GT(taken, 8 * 12 * 400);  // most nodes outside kept their speciation

        // A temperature profile switched on during the run changes the mobilities
        // (which stay so when it is switched off again); the ionic product of
        // water changed between steps changes cOH, and again when it is set back.
        EXPECT_EQ(StepAndCompare(host, st, 40,
                                 [&](int k) {
                                     if (k == 5) st.cbT = true;
                                     if (k == 8) st.cbT = false;
                                     if (k == 25) st.Kw = 1.1e-8;
                                     if (k == 32) st.Kw = 1e-8;
                                 }),
                  "");
        EXPECT_GT(kept.Taken(), taken);
        taken = kept.Taken();

        // A new Init with another mobility of sodium: the nodes outside the
        // window have the concentrations and cH they had before.
        TComponents sodium = st.Composition.Get(2);
        ASSERT_EQ(sodium.name, "Sodium");
        sodium.u[1][1] = 45.0;  // row 1, charge +1
        st.Composition.Put(2, sodium);
        ASSERT_TRUE(InitCalc(st));
        st.LeftWall = 0;
        st.RightWall = 400;
        EXPECT_EQ(StepAndCompare(host, st, 20), "");
        EXPECT_GT(kept.Taken(), taken);
        EXPECT_TRUE(sink.warnings.empty());
    }
    SetEngineThreads(saved);
}
