// The state reset of New and a failed open: which records go back to their
// defaults and which stay.
#include <gtest/gtest.h>

#include "engine/state/run_state.h"
#include "files/file_hooks.h"
#include "support/test_compositions.h"

TEST(StateReset, ProjectRecordsGoBackTheOthersStay)
{
    const RunState d;  // the defaults
    RunState st;
    st.Composition = testcomp::AcetateBufferWithAnalytes();
    const int constituents = st.Composition.Count();
    ASSERT_GT(constituents, 0);
    // applied geometry and pending edits; the project's flags, parameters, counters and main
    // switches
    st.NX = 400, st.NXPending = 800, st.CapLength = 0.05, st.CapLengthPending = 0.07;
    st.Initialised = st.Running = st.Stop = st.Restart = st.DiffMode = st.DetectorView = true;
    st.SetupItemChanged[3] = true, st.ShowSpentArmed = st.UniformSection = false,
    st.Temperature = 310;
    st.DT = st.DTInit = st.DTDefault = st.SavedDT = 2e-3, st.StopTime = 60, st.PSQPeriod = 7,
    st.DiffTime = 3;
    st.Time = 5, st.StepCount = 99, st.LeftWall = 10, st.RightWall = 20, st.FileName = "a.sna";
    st.cbIS = st.cbRedDiff = st.cbSDS = true, st.cbOptDt = st.cbDetectorOn = false;
    // records and fields the reset keeps
    st.cbRacemic = true, st.rbSet = false, st.ErrOpt = 1e-9, st.Kw = 2e-8, st.NewtonItMax = 12,
    st.U = 300;
    st.NComp = 4, st.PsqStarted = st.ISCorrection = st.TempOption = true, st.OpenExample = false;
    st.cbDcH = st.cbS = st.cbComplex = st.cbShowMic = st.cbNewCnt = true;
    st.CMC = 5, st.GraphRef = 5, st.XScale = 1, st.PsqFile = "x.psq";

    ResetStateHeadless(st);

    EXPECT_TRUE(!st.Initialised && !st.Running && !st.Stop && !st.Restart && !st.DiffMode &&
                !st.DetectorView);
    EXPECT_FALSE(st.SetupItemChanged[3]);
    EXPECT_TRUE(st.ShowSpentArmed && st.UniformSection);
    EXPECT_EQ(st.Temperature, d.Temperature);
    EXPECT_TRUE(st.DT == d.DT && st.DTInit == d.DTInit && st.DTDefault == d.DTDefault &&
                st.SavedDT == d.DT);
    EXPECT_TRUE(st.StopTime == d.StopTime && st.PSQPeriod == d.PSQPeriod &&
                st.DiffTime == d.DiffTime);
    EXPECT_TRUE(st.Time == 0 && st.StepCount == 0 && st.LeftWall == 0);
    EXPECT_EQ(st.RightWall, 400);  // the whole applied grid
    EXPECT_TRUE(!st.cbIS && !st.cbRedDiff && st.cbOptDt && st.cbDetectorOn && !st.cbSDS);
    EXPECT_EQ(st.FileName, "No File");
    // pending edits dropped, applied geometry kept
    EXPECT_TRUE(st.NX == 400 && st.NXPending == 400 && st.CapLength == 0.05 &&
                st.CapLengthPending == 0.05);
    // kept
    EXPECT_TRUE(st.cbRacemic && !st.rbSet);
    EXPECT_TRUE(st.ErrOpt == 1e-9 && st.Kw == 2e-8 && st.NewtonItMax == 12 && st.U == 300 &&
                st.NComp == 4);
    EXPECT_TRUE(st.PsqStarted && st.ISCorrection && st.TempOption && !st.OpenExample);
    EXPECT_TRUE(st.cbDcH && st.cbS && st.cbComplex && st.cbShowMic && st.cbNewCnt);
    EXPECT_TRUE(st.CMC == 5 && st.GraphRef == 5 && st.XScale == 1 && st.PsqFile == "x.psq");
    EXPECT_EQ(st.Composition.Count(), constituents);

    // New also empties the lists and clears its run-setup and effects switches.
    NewStateHeadless(st);
    EXPECT_EQ(st.Composition.Count(), 0);
    EXPECT_TRUE(!st.cbDcH && !st.cbS && st.cbComplex);
}

// New and Init of the file and tool layers ask the guard of every rebuild
// themselves, for the windows' run state only: refused, nothing of the run
// changes; another run state goes on without windows.
TEST(RebuildGuard, NewAndInitCommandsAskItForTheWindowsRun)
{
    const FileHooks saved = FileLayerHooks();
    RunState st, other;
    int asked = 0;
    bool refuse = true;
    FileLayerHooks() = FileHooks{};
    FileLayerHooks().Owner = &st;
    FileLayerHooks().RebuildRefused = [&](RunState&) { return ++asked, refuse; };
    for (RunState* s : {&st, &other})
        testcomp::PrepareRun(*s, testcomp::AcetateBufferWithAnalytes(), 40);
    const int constituents = st.Composition.Count();

    EXPECT_FALSE(RunInitCommand(st));
    EXPECT_FALSE(RunNewCommand(st));
    EXPECT_TRUE(!st.Initialised && st.NX != 40 && st.Composition.Count() == constituents);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(RunInitCommand(other) && other.Initialised);
    EXPECT_TRUE(RunNewCommand(other) && other.Composition.Count() == 0);
    EXPECT_EQ(asked, 2);

    refuse = false;
    EXPECT_TRUE(RunInitCommand(st) && st.Initialised && st.NX == 40);
    EXPECT_TRUE(RunNewCommand(st) && !st.Initialised && st.Composition.Count() == 0);
    EXPECT_EQ(asked, 4);
    FileLayerHooks() = saved;
}
