// Semantics of the run loop, the starter, the step services and the
// computation window, driven through a recording host.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

#include "engine/modes/chrom/chrom_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/init_calc.h"
#include "engine/step/rk_start.h"
#include "engine/step/run_calc.h"
#include "engine/step/step_services.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

// Acetate buffer with two analyte zones on 100 nodes, ready to run.
class RunLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrepareRun(st, AcetateBufferWithAnalytes(), 100);
        host.Attach(st);
        ASSERT_TRUE(InitCalc(st));
        st.DT = 1e-3;
        st.StopTime = 1.0;
    }
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
};

// Concentrations and cH of level 2.
std::vector<double> Level2(RunState& st)
{
    std::vector<double> v(st.Arr.CH(2), st.Arr.CH(2) + st.NX + 1);
    for (int i = 1; i <= st.NComp; ++i)
        v.insert(v.end(), st.Arr.C(2, i), st.Arr.C(2, i) + st.NX + 1);
    return v;
}

// Drawn profiles of every constituent: 1 on nodes lo..hi, 0 elsewhere.
void DrawZone(RunState& st, int lo, int hi)
{
    for (int i = 1; i <= st.NComp; ++i)
        for (int j = 0; j <= st.NX; ++j)
            st.Arr.DrawnProfile[i][j] = (j >= lo && j <= hi) ? 1.0 : 0.0;
}

// Calls atStep(k) from the message pump at the k-th step of the next run
// and stops it after `steps` steps.
void StopAfter(RecordingHost& host, RunState& st, int steps, std::function<void(int)> atStep = {})
{
    host.onProcessMessages = [&st, first = st.StepCount, steps, atStep](int) {
        if (atStep) atStep(st.StepCount - first);
        if (st.StepCount - first == steps) st.Stop = true;
    };
}

TEST(RunLoopRefusals, LeaveTheStateAlone)
{
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    host.Attach(st);
    RunCalc(st);  // nothing composed, nothing initialised
    st.Composition.Add(StrongCation("Sodium", kUNa, BGE, 10, 10));
    st.cbComplex = true;
    RunCalc(st);
    st.cbComplex = false;
    st.Time = st.StopTime = 5;
    st.Initialised = true;
    st.CompInit = st.Composition;  // an initialised run has its constituents
    RunCalc(st);
    EXPECT_EQ(sink.warnings, (std::vector<std::string>{
                                 "No constituents!", "Complex (Elneut): Data not initialized!",
                                 "Calculation is already DONE! Increase stop-time to continue"}));
    EXPECT_EQ(st.Time, 5);
    // a composition without arrays: the equilibrium's own error, nothing run
    st.Initialised = false;
    st.StopTime = 10;
    EXPECT_THROW(RunCalc(st), Exception);
    EXPECT_TRUE(!st.Running && host.processMessagesCount == 0 && host.statusTexts.empty());
}

TEST_F(RunLoop, StarterStopTimeStopRequestAndRestartOnNewDt)
{
    st.cbOptDt = false;
    // a stop time below one dt: the starter's three steps and no loop step
    st.StopTime = 0.5 * st.DT;
    host.statusTexts.clear();
    RunCalc(st);
    StopCalc(st);
    EXPECT_EQ(st.StepCount, 0);
    EXPECT_DOUBLE_EQ(st.Time, 3 * st.DT);
    EXPECT_EQ(host.psqFrames.size(), 1u);  // the initial frame
    EXPECT_EQ(host.statusTexts,
              (std::vector<std::string>{"Initializing Arrays ...", "Running ...", "Ready!"}));
    EXPECT_EQ(host.geometryEditsEnabled, (std::vector<bool>{false, true}));
    EXPECT_FALSE(st.Running);
    // to the stop time: the last step is never shortened
    st.StopTime = 0.05;
    RunCalc(st);
    StopCalc(st);
    EXPECT_TRUE(st.Time < st.StopTime && st.Time + st.DT >= st.StopTime);
    const int steps = st.StepCount;
    EXPECT_NEAR(st.Time, (steps + 3) * st.DT, 1e-12);

    // Stop after 5 steps; dt changed at step 2 as the dt edit does (with
    // Restart): three steps at the new dt plus the starter's three
    st.StopTime = 10;
    double timeAtChange = 0;
    StopAfter(host, st, 5, [&](int k) {
        if (k == 2 && st.DT == 1e-3) {
            st.DT = 2e-3;
            st.Restart = true;
            timeAtChange = st.Time;
        }
    });
    RunCalc(st);
    EXPECT_FALSE(st.Stop || st.Restart);  // cleared by the end of the run
    EXPECT_EQ(st.StepCount, steps + 5);
    EXPECT_NEAR(st.Time - timeAtChange, 6 * 2e-3, 1e-12);
    // a run that starts with a dt other than the last run's restarts first
    StopAfter(host, st, 1);
    st.DT = 1e-3;
    const double t0 = st.Time;
    RunCalc(st);
    EXPECT_NEAR(st.Time - t0, 4 * 1e-3, 1e-12);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(RunLoop, CorrectorIsCappedAtTenPasses)
{
    st.EditsRef = 1000;
    st.cbOptDt = false;
    auto solvesInThirdStep = [&] {
        std::vector<int> calls;
        StopAfter(host, st, 3, [&](int k) {
            if (k > 0) calls.push_back(st.NewtonItTotal);
        });
        RunCalc(st);
        return calls.size() == 3 ? calls[2] - calls[1] : -1;
    };
    st.EpsCor = 0;                           // never converges
    EXPECT_EQ(solvesInThirdStep(), 1 + 10);  // predictor + ten corrector passes
    st.cbLastCor = true;
    EXPECT_EQ(solvesInThirdStep(), 1 + 10 + 1);
    st.cbLastCor = false;
    st.EpsCor = 0.01;
    EXPECT_EQ(solvesInThirdStep(), 2);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(RunLoop, FailedStepLeavesLevelTwoUntouched)
{
    // the column loses its resistance at step 3 (the message names the node);
    // a conductivity that turns negative at one node; Chrom mode, which cannot
    // work on this composition, switched on at step 2; a concentration that
    // turns into NaN. The error shown stays that of the last accepted step.
    const double s40 = st.Arr.S[40];
    // Every mobility at node 12 scaled by f (and the scale undone by 1/f).
    auto mobilities12 = [&](double f) {
        for (int i = 1; i <= st.NComp + 2; ++i)
            for (int k = 0; k < st.Arr.Forms(i); ++k) st.Arr.UForm(i, k)[12] *= f;
    };
    const struct {
        int at;
        std::function<void()> spoil;
        std::string message;
    } cases[] = {
        {3, [&] { st.Arr.S[40] = 0; },
         "Cross-section is zero, negative or undefined at node 40: 0 m2. Calculation stopped."},
        {2, [&] { mobilities12(-1e6); },
         "Conductivity is zero, negative or undefined at node 12: -"},
        {2, [&] { st.cbChrom = true; }, kChromModeConstituents},
        {2, [&] { st.Arr.F(2, 2)[57] = std::nan(""); },
         "Concentration is not a finite number: constituent 2, node 57. Calculation stopped."}};
    for (const auto& c : cases) {
        std::vector<double> good;
        double goodTime = 0, goodError = -1;
        const int first = st.StepCount;
        st.Arr.S[40] = s40;
        st.cbChrom = false;
        sink.Clear();
        StopAfter(host, st, 1000, [&](int k) {
            if (k == c.at) {
                good = Level2(st);
                goodTime = st.Time;
                goodError = st.StepError;
                c.spoil();
            }
        });
        RunCalc(st);
        EXPECT_EQ(std::tuple(st.StepCount, st.Time, st.StepError),
                  std::tuple(first + c.at, goodTime, goodError));
        EXPECT_EQ(Level2(st), good);
        EXPECT_GT(goodError, 0);
        if (c.message.find("node 12") != std::string::npos) mobilities12(-1e-6);
        ASSERT_EQ(sink.warnings.size(), 1u) << c.message;
        EXPECT_EQ(sink.warnings[0].substr(0, c.message.size()), c.message);
    }
}

TEST_F(RunLoop, DetectorNodesAndSamples)
{
    ASSERT_EQ(st.CapLength, 0.025);  // node = 4 x (mm); halves round to even
    const double x[] = {0.125, 0.375, 0.625, 25.1, 25.13, -0.2, std::nan("")};
    const int node[] = {0, 2, 2, 100, -1, -1, -1};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(DetectorNode(st, x[k]), node[k]) << x[k];
    st.DetInput = st.DetPosition = 10;
    StopAfter(host, st, 40, [&](int k) {
        if (k == 20) st.DetPosition = 30;  // beyond the capillary end
    });
    RunCalc(st);
    EXPECT_EQ(host.detectorSamples, (std::vector<bool>{true, true, false, false}));
    const RunSeries& s = st.Series;
    EXPECT_TRUE(s.DET_pH.Count() == 2 && s.srDetComp[3].Count() == 2);
    EXPECT_DOUBLE_EQ(s.DET_volt.y[0], st.UI * 0.001);
    EXPECT_TRUE(sink.warnings.empty());
}

// The calculation time counts whole days: a run during which the clock moves
// on by 25 hours adds 90,000 s, not the one hour of the time of day.
TEST_F(RunLoop, SpentTimeCountsWholeDays)
{
    st.StopTime = 10;
    st.SpentTime = 0;
    host.clockStep = 0;
    StopAfter(host, st, 3, [&](int k) {
        if (k == 1) host.clockDays += 25.0 / 24.0;
    });
    RunCalc(st);
    EXPECT_NEAR(st.SpentTime, 25 * 3600.0, 1e-3);
}

TEST(StepServices, SequenceSizeLimit)
{
    RecordingHost host;
    RunState st;
    host.Attach(st);
    RunLocals loc;
    st.rbPSQMS = false;
    st.rbPSQSteps = true;
    st.PSQPeriod = st.StepCount = 10;
    for (long long size : {kPsqSizeLimit, kPsqSizeLimit + 1, kPsqSizeLimit + 1}) {
        host.fileSize = size;
        RecordPsqFrame(st, loc);
    }
    EXPECT_EQ(host.psqFrames.size(), 1u);
    ASSERT_EQ(host.messageWindows.size(), 1u);
    EXPECT_EQ(host.messageWindows[0][0], "Appending to PSQ file was stopped!");
}

TEST_F(RunLoop, StarterRestartsOnTheWholeGrid)
{
    EXPECT_FALSE(RestartMultistep(st, 6));
    // from a narrow window: the starter integrates the whole grid, restores
    // the window, and level 5 keeps the start state
    st.LeftWall = 20;
    st.RightWall = 60;
    st.Restart = true;
    const std::vector<double> analyte(st.Arr.C(2, 3), st.Arr.C(2, 3) + st.NX + 1);
    ASSERT_TRUE(RestartMultistep(st, 2));
    EXPECT_EQ(std::make_pair(st.LeftWall, st.RightWall), std::make_pair(20, 60));
    EXPECT_FALSE(st.Restart);
    EXPECT_DOUBLE_EQ(st.Time, 3 * st.DT);
    EXPECT_EQ(std::vector<double>(st.Arr.C(5, 3), st.Arr.C(5, 3) + st.NX + 1), analyte);
    EXPECT_NE(st.Arr.C(2, 3)[15], analyte[15]);  // outside the old window
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(RunLoop, WindowWallsFollowTheDrawnProfileAndNeverSkipAZone)
{
    auto update = [&](int left, int right, int inc) {
        st.LeftWall = left;
        st.RightWall = right;
        st.WallInc = inc;
        UpdateComputationWindow(st);
        return std::make_pair(st.LeftWall, st.RightWall);
    };
    // in a run the walls narrow where every profile is flat, but not past the
    // analyte zones (nodes 4..20 of the drawn profile): the right wall stays
    // 30 nodes beyond them
    st.Running = true;
    st.LW = st.RW = 1e-6;
    EXPECT_EQ(update(0, 100, 10), std::make_pair(0, 50));
    // an increment larger than the gap to a zone does not jump over it
    DrawZone(st, 70, 75);
    EXPECT_LE(update(30, 100, 60).first, 70);
    // the same for the right wall retreating towards a zone at 45..50 with a
    // step of 60 from node 100: it stops beyond the zone
    DrawZone(st, 45, 50);
    EXPECT_GE(update(0, 100, 60).second, 51);
    DrawZone(st, 70, 75);
    // outside a run the walls only widen; a zero limit widens to the end
    st.Running = false;
    st.RW = 0;
    EXPECT_EQ(update(30, 50, 10), std::make_pair(30, 100));
    EXPECT_EQ(host.windowLines.back(), std::make_pair(30, 100));
    // walls outside the grid or too close are repaired
    st.LeftWall = 99;
    st.RightWall = 150;
    ClampComputationWindow(st);
    EXPECT_EQ(std::make_pair(st.LeftWall, st.RightWall), std::make_pair(0, 100));
}

}  // namespace

// Without a host, sequence frames still reach the recorder and every listener
// hears the same events; a removed listener hears no more.
TEST(EngineLinks, FramesGoToTheRecorderAndEventsToEveryListener)
{
    RecordingMessageSink sink;
    RecordingHost recorder, first, second;
    RunState st;
    PrepareRun(st, AcetateBufferWithAnalytes(), 100);
    st.PsqFileOwn = st.PsqFile = "own.psq";
    st.Recorder = &recorder;
    st.Events.Add(&first);
    st.Events.Add(&second);
    ASSERT_TRUE(InitCalc(st));
    RunTo(st, 0.01, 1e-3);
    EXPECT_EQ(recorder.psqResets, std::vector<std::string>{"own.psq"});
    EXPECT_TRUE(!recorder.psqFrames.empty() && recorder.events.empty() &&
                recorder.statusTexts.empty());
    EXPECT_EQ(first.events, second.events);
    EXPECT_EQ(first.geometryEditsEnabled, (std::vector<bool>{false, true}));
    EXPECT_GE(first.mainInfoCount, 2);
    const std::size_t heard = second.events.size();
    st.Events.Remove(&second);
    st.StopTime = 0.02;
    RunCalc(st);
    StopCalc(st);
    EXPECT_TRUE(second.events.size() == heard && first.events.size() > heard);
}
