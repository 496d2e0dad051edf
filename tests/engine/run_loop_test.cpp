// Semantics of the run loop, the starter, the step services and the
// computation window, driven through a recording host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/comp_window.h"
#include "engine/derivatives.h"
#include "engine/equilibrium.h"
#include "engine/equilibrium_range.h"
#include "engine/init_calc.h"
#include "engine/rk_start.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "engine/step_services.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_host.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

// Acetate buffer with two analyte zones on 100 nodes, ready to run.
void InitSmall(RunState& st, RecordingHost& host) {
    PrepareRun(st, AcetateBufferWithAnalytes(), 100);
    st.Host = &host;
    ASSERT_TRUE(InitCalc(st));
    st.DT = 1e-3;
    st.StopTime = 1.0;
}

std::vector<double> Level2(RunState& st) {
    std::vector<double> v;
    for (int i = 1; i <= st.NComp; ++i) v.insert(v.end(), st.Arr.C(2, i), st.Arr.C(2, i) + st.NX + 1);
    v.insert(v.end(), st.Arr.CH(2), st.Arr.CH(2) + st.NX + 1);
    return v;
}

TEST(RunLoop, RefusalsLeaveTheStateAlone) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.Host = &host;
    RunCalc(st);  // nothing composed, nothing initialised
    st.Composition.Add(StrongCation("Sodium", kUNa, BGE, 10, 10));
    st.cbComplex = true;
    RunCalc(st);
    st.cbComplex = false;
    st.Time = 5;
    st.StopTime = 5;
    st.Initialised = true;
    RunCalc(st);
    EXPECT_EQ(sink.warnings, (std::vector<std::string>{
                                 "No constituents!", "Complex (Elneut): Data not initialized!",
                                 "Calculation is already DONE! Increase stop-time to continue"}));
    EXPECT_FALSE(st.Running);
    EXPECT_EQ(host.processMessagesCount, 0);
    EXPECT_TRUE(host.statusTexts.empty());
    EXPECT_EQ(st.Time, 5);
    // A composition without arrays: the equilibrium's own error, nothing run.
    st.Initialised = false;
    st.StopTime = 10;
    EXPECT_THROW(RunCalc(st), Exception);
    EXPECT_FALSE(st.Running);
    EXPECT_EQ(host.processMessagesCount, 0);
}

TEST(RunLoop, SpeciationOfFlatStretchesEqualsTheNodeByNodeResult) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    EngineArrays& a = st.Arr;
    auto outputs = [&] {
        std::vector<double> v(a.PH);
        for (int i = 1; i <= st.NComp; ++i) {
            v.insert(v.end(), a.UEff[i], a.UEff[i] + st.NX + 1);
            v.insert(v.end(), a.ZMean[i], a.ZMean[i] + st.NX + 1);
            for (int k = 0; k < a.Forms(i); ++k) v.insert(v.end(), a.CForm(2, i, k), a.CForm(2, i, k) + st.NX + 1);
        }
        v.insert(v.end(), a.IonicStrength(2), a.IonicStrength(2) + st.NX + 1);
        v.insert(v.end(), a.COH(2), a.COH(2) + st.NX + 1);
        return v;
    };
    for (int n = 0; n <= st.NX; ++n) CalcSpeciation(st, 2, n);
    const auto byNode = outputs();
    std::fill(a.PH.begin(), a.PH.end(), 0.0);
    for (int i = 1; i <= st.NComp; ++i) std::fill(a.UEff[i], a.UEff[i] + st.NX + 1, 0.0);
    std::fill(a.IonicStrength(2), a.IonicStrength(2) + st.NX + 1, 0.0);
    CalcSpeciationRange(st, 2, 0, st.NX);
    EXPECT_EQ(outputs(), byNode);
}

TEST(RunLoop, StarterRunsEvenWhenNoStepFits) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    st.StopTime = 0.5 * st.DT;  // below one dt: the loop takes no step
    host.statusTexts.clear();
    RunCalc(st);
    StopCalc(st);
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_EQ(st.StepCount, 0);
    EXPECT_TRUE(st.PsqStarted);
    EXPECT_DOUBLE_EQ(st.Time, 3 * st.DT);  // the starter's three steps, past the stop time
    EXPECT_EQ(host.psqFrames.size(), 1u);  // the initial frame
    EXPECT_EQ(host.statusTexts, (std::vector<std::string>{"Initializing Arrays ...", "Running ...", "Ready!"}));
    EXPECT_EQ(host.geometryEditsEnabled, (std::vector<bool>{false, true}));
    EXPECT_TRUE(st.Stop);
    EXPECT_FALSE(st.Running);
    EXPECT_EQ(st.Statics.LastRunDT, st.DT);
}

TEST(RunLoop, StopTimeRuleStopRequestAndRestartOnNewDt) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    st.cbOptDt = false;
    st.StopTime = 0.05;
    // First run to the stop time: the last step is never shortened.
    RunCalc(st);
    StopCalc(st);
    ASSERT_TRUE(sink.warnings.empty());
    EXPECT_LT(st.Time, st.StopTime);
    EXPECT_GE(st.Time + st.DT, st.StopTime);
    const int steps = st.StepCount;
    EXPECT_NEAR(st.Time, (steps + 3) * st.DT, 1e-12);

    // Second run: the pump stops it after 5 steps; at step 2 dt is changed
    // as the dt edit does (with Restart), which restarts the method.
    st.StopTime = 10;
    double timeAtChange = 0;
    host.onProcessMessages = [&](int) {
        if (st.StepCount == steps + 2 && st.DT == 1e-3) {
            st.DT = 2e-3;
            st.Restart = true;
            timeAtChange = st.Time;
        }
        if (st.StepCount == steps + 5) st.Stop = true;
    };
    RunCalc(st);
    EXPECT_EQ(host.statusTexts.back(), "Ready!");
    EXPECT_FALSE(st.Stop);  // cleared by the end of the run
    StopCalc(st);
    EXPECT_TRUE(st.Stop);
    EXPECT_EQ(st.StepCount, steps + 5);
    EXPECT_FALSE(st.Restart);
    // Three more steps at the new dt plus the starter's three.
    EXPECT_NEAR(st.Time - timeAtChange, 6 * 2e-3, 1e-12);

    // A run that starts with a dt other than the last run's restarts first.
    const int steps2 = st.StepCount;
    host.onProcessMessages = [&](int) {
        if (st.StepCount == steps2 + 1) st.Stop = true;
    };
    st.DT = 1e-3;
    const double t0 = st.Time;
    RunCalc(st);
    EXPECT_NEAR(st.Time - t0, 4 * 1e-3, 1e-12);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(RunLoop, CorrectorIsCappedAtTenPasses) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    st.EditsRef = 1000;
    st.cbOptDt = false;
    // Equilibrium solves between the second and the third step of a run.
    auto solvesPerStep = [&] {
        std::vector<int> calls;
        const int first = st.StepCount;
        host.onProcessMessages = [&](int) {
            if (st.StepCount > first) calls.push_back(st.NewtonItTotal);
            if (st.StepCount == first + 3) st.Stop = true;
        };
        RunCalc(st);
        EXPECT_EQ(calls.size(), 3u);
        return calls.size() == 3 ? calls[2] - calls[1] : -1;
    };
    st.EpsCor = 0;  // never converges
    EXPECT_EQ(solvesPerStep(), 1 + 10);  // predictor + ten corrector passes
    st.cbLastCor = true;
    EXPECT_EQ(solvesPerStep(), 1 + 10 + 1);
    st.cbLastCor = false;
    st.EpsCor = 0.01;
    EXPECT_EQ(solvesPerStep(), 2);  // the default tolerance converges at once
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(RunLoop, FailedStepLeavesLevelTwoUntouched) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    std::vector<double> good;
    double goodTime = 0;
    host.onProcessMessages = [&](int) {
        if (st.StepCount == 3 && good.empty()) {
            good = Level2(st);
            goodTime = st.Time;
            st.Arr.S[40] = 0;  // the column loses its resistance
        }
    };
    RunCalc(st);
    StopCalc(st);
    EXPECT_EQ(st.StepCount, 3);
    EXPECT_EQ(st.Time, goodTime);
    EXPECT_EQ(Level2(st), good);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kBadResistance});

    // A mode without its derivative routine stops the same way.
    sink.Clear();
    st.Arr.S[40] = st.Arr.S[39];
    host.onProcessMessages = [&](int) {
        if (st.StepCount == 5) {
            good = Level2(st);
            st.cbChrom = true;
        }
    };
    RunCalc(st);
    EXPECT_EQ(st.StepCount, 5);
    EXPECT_EQ(Level2(st), good);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kDerChromUnavailable});
}

TEST(RunLoop, HydrogenIonIntegratedInDcHMode) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    st.cbDcH = true;
    st.cbLBorder = true;
    const int H = st.NComp + 1;
    const double cHFar = st.Arr.CH(2)[90];
    st.Arr.CLeft[H] = 2 * st.Arr.CH(2)[0];  // a border value the solve would not give
    host.onProcessMessages = [&](int) {
        if (st.StepCount == 20) st.Stop = true;
    };
    RunCalc(st);
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_EQ(st.StepCount, 20);
    // The border holds cH itself; the uniform buffer far from the zones keeps
    // its pH (no charge flux there, so no change of cH).
    EXPECT_EQ(st.Arr.CH(2)[0], st.Arr.CLeft[H]);
    EXPECT_NEAR(st.Arr.CH(2)[90], cHFar, 1e-12 * cHFar);
    EXPECT_NEAR(st.Arr.PH[90], 3 - std::log10(cHFar), 1e-9);
}

TEST(RunLoop, WindowSpeciationGivesTheWholeGridResult) {
    // The same run with the speciation of every derivative call spread over
    // the whole grid (forced by a temperature hook that does nothing).
    RecordingMessageSink sink;
    RecordingHost h1, h2;
    RunState a, b;
    InitSmall(a, h1);
    InitSmall(b, h2);
    a.StopTime = b.StopTime = 0.2;
    a.WallInc = b.WallInc = 5;
    RunCalc(a);
    InstalledDerivativeVariants().UpdateTemperature = [](RunState&) {};
    RunCalc(b);
    InstalledDerivativeVariants().UpdateTemperature = nullptr;
    ASSERT_TRUE(sink.warnings.empty());
    ASSERT_GT(a.StepCount, 30);
    EXPECT_EQ(a.StepCount, b.StepCount);
    EXPECT_EQ(a.DT, b.DT);
    EXPECT_EQ(Level2(a), Level2(b));
    EXPECT_EQ(a.Arr.PH, b.Arr.PH);
    EXPECT_EQ(a.Arr.Kappa, b.Arr.Kappa);
    EXPECT_EQ(a.Arr.E, b.Arr.E);
    const int nn = a.NX + 1;
    for (int i = 1; i <= a.NComp; ++i) {
        EXPECT_EQ(std::vector<double>(a.Arr.UEff[i], a.Arr.UEff[i] + nn),
                  std::vector<double>(b.Arr.UEff[i], b.Arr.UEff[i] + nn));
        for (int k = 0; k < a.Arr.Forms(i); ++k)
            EXPECT_EQ(std::vector<double>(a.Arr.CForm(2, i, k), a.Arr.CForm(2, i, k) + nn),
                      std::vector<double>(b.Arr.CForm(2, i, k), b.Arr.CForm(2, i, k) + nn));
    }
    EXPECT_EQ(std::vector<double>(a.Arr.IonicStrength(2), a.Arr.IonicStrength(2) + nn),
              std::vector<double>(b.Arr.IonicStrength(2), b.Arr.IonicStrength(2) + nn));
    EXPECT_EQ(a.Series.DET_pH.y, b.Series.DET_pH.y);
}

TEST(RunLoop, DetectorNodesAndSamples) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.NX = 100;
    st.CapLength = 0.025;  // node = 4 x (mm)
    EXPECT_EQ(DetectorNode(st, 0.125), 0);   // 0.5 -> 0
    EXPECT_EQ(DetectorNode(st, 0.375), 2);   // 1.5 -> 2
    EXPECT_EQ(DetectorNode(st, 0.625), 2);   // 2.5 -> 2
    EXPECT_EQ(DetectorNode(st, 25.1), 100);  // 100.4 -> 100, still on the grid
    EXPECT_EQ(DetectorNode(st, 25.13), -1);  // 100.52 -> 101
    EXPECT_EQ(DetectorNode(st, -0.2), -1);
    EXPECT_EQ(DetectorNode(st, std::nan("")), -1);

    InitSmall(st, host);
    st.DetInput = 10;
    st.DetPosition = 10;
    host.onProcessMessages = [&](int) {
        if (st.StepCount == 20) st.DetPosition = 30;  // beyond the capillary end
        if (st.StepCount == 40) st.Stop = true;
    };
    RunCalc(st);
    EXPECT_EQ(host.detectorSamples, (std::vector<bool>{true, true, false, false}));
    const RunSeries& s = st.Series;
    ASSERT_EQ(s.DET_pH.Count(), 2);
    EXPECT_EQ(s.DET_conductivity.Count(), 2);
    EXPECT_EQ(s.srDetComp[3].Count(), 2);
    EXPECT_DOUBLE_EQ(s.DET_volt.y[0], st.UI * 0.001);
    EXPECT_NEAR(s.DET_T.y[0], st.Temperature - 273.15, 1e-12);
}

TEST(RunLoop, ZeroPeriodsAreNeverDue) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    st.EditsRef = st.GraphRef = st.DetInput = st.OptInter = st.WallRef = 0;
    st.PSQPeriod = 0;
    st.rbPSQMS = false;
    st.rbPSQSteps = true;
    host.onProcessMessages = [&](int) {
        if (st.StepCount == 25) st.Stop = true;
    };
    const int redraws = host.redrawCount;
    RunCalc(st);
    EXPECT_EQ(st.StepCount, 25);
    EXPECT_TRUE(host.detectorSamples.empty());
    EXPECT_EQ(host.psqFrames.size(), 1u);          // the initial frame only
    EXPECT_EQ(host.redrawCount - redraws, 2);      // start and end of the run
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(StepServices, TimeStepRules) {
    RunState st;
    RunLocals loc;
    st.cbOptDt = true;
    st.cbDCDTCor = true;
    st.OptInter = 1000;
    st.ErrInc = 0.06;
    st.DT = 1;
    loc.CorrectorIterations = 3;
    loc.RunSteps = 1;
    // A long streak of steps needing several corrector passes: dt cut to a
    // tenth at its first step, then 5 % less (dt and increment) every 20th.
    std::vector<double> inc;
    for (int n = 1; n <= 81; ++n) {
        st.StepCount = 100 + n;
        TimeStepControl(st, loc);
        if (n % 20 == 1) inc.push_back(st.ErrInc);
    }
    ASSERT_EQ(inc.size(), 5u);
    EXPECT_DOUBLE_EQ(inc[0], 0.06);
    EXPECT_DOUBLE_EQ(inc[1], 0.057);
    EXPECT_DOUBLE_EQ(inc[2], 0.05415);
    EXPECT_DOUBLE_EQ(inc[3], 0.0514425);
    EXPECT_DOUBLE_EQ(inc[4], 0.05);
    EXPECT_TRUE(st.Restart);

    // A quick step ends the streak; the next streak cuts dt to a tenth again.
    st.Restart = false;
    loc.CorrectorIterations = 1;
    st.StepCount = 300;
    const double dt = st.DT;
    TimeStepControl(st, loc);
    EXPECT_EQ(st.DT, dt);
    EXPECT_FALSE(st.Restart);
    loc.CorrectorIterations = 2;
    st.StepCount = 302;
    TimeStepControl(st, loc);
    EXPECT_DOUBLE_EQ(st.DT, 0.1 * dt);

    // Periodic optimisation: exactly 0.1 or 10 times the target keeps dt.
    loc.CorrectorIterations = 1;
    st.OptInter = 100;
    st.ErrInc = 0.25;
    st.ErrOpt = 1e-11;
    st.DT = 1e-3;
    st.StepCount = 400;
    for (double e : {0.1 * st.ErrOpt, 10 * st.ErrOpt}) {
        st.StepError = e;
        TimeStepControl(st, loc);
        EXPECT_EQ(st.DT, 1e-3);
    }
    st.StepError = 0;
    TimeStepControl(st, loc);
    EXPECT_DOUBLE_EQ(st.DT, 1.25e-3);
    st.StepError = 1e-9;
    st.StepCount = 401;  // not due
    TimeStepControl(st, loc);
    EXPECT_DOUBLE_EQ(st.DT, 1.25e-3);
    st.StepCount = 500;
    TimeStepControl(st, loc);
    EXPECT_DOUBLE_EQ(st.DT, 1e-3);
    EXPECT_DOUBLE_EQ(st.MaxError, 1e-9);
}

TEST(StepServices, SequenceFramesAndTheSizeLimit) {
    RecordingHost host;
    RunState st;
    st.Host = &host;
    RunLocals loc;
    st.rbPSQMS = false;
    st.rbPSQSteps = true;
    st.PSQPeriod = 10;
    st.StepCount = 10;
    host.fileSize = kPsqSizeLimit;
    RecordPsqFrame(st, loc);
    EXPECT_EQ(host.psqFrames.size(), 1u);
    host.fileSize = kPsqSizeLimit + 1;
    RecordPsqFrame(st, loc);
    RecordPsqFrame(st, loc);
    EXPECT_EQ(host.psqFrames.size(), 1u);
    EXPECT_FALSE(loc.PsqAppendAllowed);
    ASSERT_EQ(host.messageWindows.size(), 1u);
    EXPECT_EQ(host.messageWindows[0][0], "Appending to PSQ file was stopped!");

    // By model time: a frame whenever PSQPeriod ms have passed since the last.
    RunLocals loc2;
    host.fileSize = -1;
    st.rbPSQSteps = false;
    st.rbPSQMS = true;
    st.PSQPeriod = 100;
    st.Statics.LastPsqFrameTime = 0;
    st.StepCount = 7;
    for (double t : {0.05, 0.1, 0.15, 0.2, 0.31}) {
        st.Time = t;
        RecordPsqFrame(st, loc2);
    }
    EXPECT_EQ(host.psqFrames.size(), 1u + 3u);
    EXPECT_DOUBLE_EQ(st.Statics.LastPsqFrameTime, 0.31);
}

TEST(Starter, RestartLevelsAndTime) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    const auto before = Level2(st);
    EXPECT_FALSE(RestartMultistep(st, 0));
    EXPECT_FALSE(RestartMultistep(st, 6));
    EXPECT_EQ(Level2(st), before);
    EXPECT_EQ(st.Time, 0);

    // From level 2 on a narrow window: the starter works on the whole grid,
    // restores the window, and level 5 keeps the start state.
    st.LeftWall = 20;
    st.RightWall = 60;
    st.Restart = true;
    ASSERT_TRUE(RestartMultistep(st, 2));
    EXPECT_EQ(st.LeftWall, 20);
    EXPECT_EQ(st.RightWall, 60);
    EXPECT_FALSE(st.Restart);
    EXPECT_DOUBLE_EQ(st.Time, 3 * st.DT);
    EXPECT_EQ(std::vector<double>(st.Arr.C(5, 3), st.Arr.C(5, 3) + st.NX + 1),
              std::vector<double>(before.begin() + 2 * (st.NX + 1), before.begin() + 3 * (st.NX + 1)));
    // The analyte outside the old window moved too (the whole grid was integrated).
    EXPECT_NE(st.Arr.C(2, 3)[15], st.Arr.C(5, 3)[15]);

    // In the diffusion mode the clock runs instead and the mode ends when the
    // clock reaches its duration.
    st.DiffMode = true;
    st.DiffClock = 0;
    st.DiffTime = 3 * st.DT;
    st.SavedDT = st.DT;
    const double t = st.Time;
    ASSERT_TRUE(RestartMultistep(st, 2));
    EXPECT_EQ(st.Time, t);
    EXPECT_FALSE(st.DiffMode);
    EXPECT_EQ(st.DT, st.SavedDT);
    EXPECT_TRUE(st.Restart);  // the history was built for the diffusion mode
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(ComputationWindow, WallsFollowTheDrawnProfile) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    InitSmall(st, host);
    st.Running = true;
    st.WallInc = 10;
    st.LW = st.RW = 1e-6;
    // Both walls narrow while every profile is flat near them, but never
    // past the analyte zones (nodes 4..20 of the drawn profile).
    st.LeftWall = 0;
    st.RightWall = 100;
    UpdateComputationWindow(st);
    EXPECT_EQ(st.LeftWall, 0);  // the zone starts right at the left end
    // The far test keeps the right wall 30 nodes beyond the zone (node 20).
    EXPECT_EQ(st.RightWall, 50);
    // A wall increment larger than the gap to a zone does not jump over it.
    st.WallInc = 60;
    st.LeftWall = 30;
    st.RightWall = 100;
    for (int i = 1; i <= st.NComp; ++i) {
        double* y = st.Arr.DrawnProfile[i];
        for (int j = 0; j <= st.NX; ++j) y[j] = (j >= 70 && j <= 75) ? 1.0 : 0.0;
    }
    UpdateComputationWindow(st);
    EXPECT_LE(st.LeftWall, 70);
    // Outside a run the walls only widen; a zero limit widens to the ends.
    st.Running = false;
    st.WallInc = 10;
    st.LeftWall = 30;
    st.RightWall = 50;
    st.RW = 0;
    st.LW = 1e-6;
    UpdateComputationWindow(st);
    EXPECT_EQ(st.RightWall, 100);
    EXPECT_EQ(st.LeftWall, 30);
    // Walls outside the grid or too close are repaired.
    st.LeftWall = 99;
    st.RightWall = 150;
    ClampComputationWindow(st);
    EXPECT_EQ(st.LeftWall, 0);
    EXPECT_EQ(st.RightWall, 100);
    EXPECT_EQ(host.windowLines.back(), std::make_pair(30, 100));
}

}  // namespace
