// The nodes outside the computation window keep their speciation through the
// steps while nothing they depend on changes; whatever changes their
// concentrations or the constants they were speciated with (the walls leaving
// integrated nodes behind, a switch turned on and off during a run, the ionic
// product of water, a new Init) has them speciated again. After every step each
// node holds exactly what a fresh speciation of its concentrations gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/kept_forms.h"
#include "engine/modes/effects/effects_mode.h"
#include "engine/modes/effects/effects_table.h"
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

// Moves the walls (as the run-setup window moves them while the run goes on)
// at every twelfth step k through windows that leave nodes integrated in the
// window behind, with concentrations of their own in every level, and take
// others in and leave them again.
void MoveWalls(RunState& st, int k)
{
    static const std::pair<int, int> windows[] = {{0, 400},   {80, 400}, {140, 520}, {40, 320},
                                                  {180, 640}, {0, 1200}, {120, 240}, {20, 800}};
    if (k % 12 != 0) return;
    st.cbLWMove = st.cbRWMove = false;
    const std::pair<int, int>& w = windows[k / 12 % 8];
    st.LeftWall = w.first * st.NX / 1200;
    st.RightWall = w.second * st.NX / 1200;
}

// Every array of the run's state, and its voltage, current, time step and time.
std::vector<double> RunImage(RunState& st)
{
    EngineArrays& a = st.Arr;
    std::vector<double> v;
    auto add = [&](const double* p) { v.insert(v.end(), p, p + a.Nn); };
    for (int l = 1; l <= 5; ++l) {
        for (int i = 1; i <= a.NComp + 2; ++i) {
            add(a.C(l, i));
            for (int k = 0; k < a.Forms(i); ++k) add(a.CForm(l, i, k));
        }
        add(a.IonicStrength(l));
        add(a.T(l));
    }
    for (int l = 1; l <= 4; ++l)
        for (int i = 1; i <= a.NComp + 2; ++i) add(a.F(l, i));
    for (int i = 1; i <= a.NComp; ++i) {
        add(a.ZMean[i]);
        add(a.UEff[i]);
    }
    add(a.PH.data());
    add(a.Kappa.data());
    add(a.E.data());
    v.insert(v.end(), {st.U, st.I, st.DT, st.Time, double(st.StepCount)});
    return v;
}

}  // namespace

// The constants rewritten between steps k as the windows rewrite them during a
// run (the run at 37 degC, where the corrected mobilities differ from their
// reference values): a temperature profile switched on and off again (the
// mobilities stay corrected), the capillary-effects window's "ReInitiate" with
// no temperature switch (ReferenceMobilities), and a pK edit applied.
void RewriteConstants(RunState& st, int k)
{
    EngineArrays& a = st.Arr;
    if (k == 20) st.cbT = true;
    if (k == 26) st.cbT = false;
    if (k == 60) ReferenceMobilities(st);
    if (k == 95) {
        for (int i = 1; i <= a.NComp; ++i)
            for (int f = 0; f < a.Forms(i); ++f)
                if (f != -a.ZMin[i])
                    for (int n = 0; n < a.Nn; ++n) a.PKaForm(i, f)[n] += 0.25;
        SetNodeConstants(st);
    }
}

TEST(OutsideSpeciation, KeepingItChangesNoValueOfTheRun)
{
    // The same run with the record forgotten after every step (every node
    // outside the window speciated at every step) ends with the same bits in
    // every level, derivative, profile and in the current, also when the
    // constants are rewritten between steps.
    auto run = [](bool forgetEveryStep, long long& taken) {
        RecordingMessageSink sink;
        RecordingHost host;
        RunState st;
        benchcases::FindCase("B1").prepare(st);
        st.NXPending = 600;
        st.Temperature = 310.15;
        host.Attach(st);
        EXPECT_TRUE(InitCalc(st));
        KeptSpeciation& kept = st.Engine.Scratch<KeptSpeciation>();
        host.onProcessMessages = [&](int) {
            if (forgetEveryStep) kept.Forget();
            MoveWalls(st, st.StepCount);
            RewriteConstants(st, st.StepCount);
            if (st.StepCount >= 130) st.Stop = true;
        };
        st.StopTime = 1e9;
        RunCalc(st);
        StopCalc(st);
        EXPECT_EQ(st.StepCount, 130);
        taken = kept.Taken();
        return RunImage(st);
    };
    long long kept = 0, none = 0;
    const std::vector<double> a = run(false, kept), b = run(true, none);
    EXPECT_GT(kept, 130 * 200);
    EXPECT_EQ(none, 0);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

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

        // The walls move.
        EXPECT_EQ(StepAndCompare(host, st, 8 * 12, [&](int k) { MoveWalls(st, k); }), "");
        long long taken = kept.Taken();
        EXPECT_GT(taken, 8 * 12 * 400);  // most nodes outside kept their speciation

        // A temperature profile switched on during the run changes the mobilities
        // (which stay so when it is switched off again); the ionic product of
        // water changed between steps changes cOH, and again when it is set back.
        // A profile of 30 degC applied while it is on, then one of 40 degC: the
        // mobilities follow the new temperatures.
        auto applyTemperature = [&](const char* celsius) {
            st.Grid[kRowT][2] = celsius;
            RefreshEffectsGrid(st);
            ASSERT_TRUE(ApplyEffects(st));
            // the update that rewrites the mobilities stamps them, so that no
            // record of the old ones is taken (whichever mode keeps records)
            const std::uint64_t stamp = st.Arr.ConstantsStamp();
            UpdateTemperature(st);
            EXPECT_NE(st.Arr.ConstantsStamp(), stamp);
        };
        EXPECT_EQ(StepAndCompare(host, st, 40,
                                 [&](int k) {
                                     if (k == 5) st.cbT = true;
                                     if (k == 8) st.cbT = false;
                                     if (k == 12) {
                                         st.cbT = true;
                                         CreateEffectsGrid(st, 1);
                                         applyTemperature("30");
                                     }
                                     if (k == 16) applyTemperature("40");
                                     if (k == 20) st.cbT = false;
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
