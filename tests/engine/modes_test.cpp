// Engine modes: the precedence of the window switches, the run's own table of
// hooks (a mode put into it is called at Init, at every derivative evaluation
// and after every step, and no other run sees it), the warnings of the modes
// not built, and the per-run context (thread plan taken at Init, work storage
// never shared).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/modes/linear/linear_mode.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/modes/modes.h"
#include "engine/state/engine_arrays.h"
#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "engine/step/standard_scheme.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

struct ModeSwitch {
    Mode mode;
    const char* name;
    std::function<void(RunState&)> on;
    const char* derivativeWarning;  // null: the mode is built
};

// Every switch that selects a mode, in precedence order (each capillary
// effect on its own), with the warning of a mode not built (null: built).
std::vector<ModeSwitch> Switches()
{
    return {
        {Mode::Complex, "cbComplex", [](RunState& s) { s.cbComplex = true; },
         "Complex (Elneut): Data not initialized!"},
        {Mode::Racemic, "cbRacemic", [](RunState& s) { s.cbRacemic = true; }, nullptr},
        {Mode::Linear, "cbMX", [](RunState& s) { s.cbMX = true; }, nullptr},
        {Mode::Micellar, "cbSDS", [](RunState& s) { s.cbSDS = true; }, nullptr},
        {Mode::SplitAdvection, "cbSpec", [](RunState& s) { s.cbSpec = true; }, nullptr},
        {Mode::Effects, "cbS", [](RunState& s) { s.cbS = true; }, nullptr},
        {Mode::Effects, "cbH", [](RunState& s) { s.cbH = true; }, nullptr},
        {Mode::Effects, "cbMix", [](RunState& s) { s.cbMix = true; }, nullptr},
        {Mode::Effects, "cbT", [](RunState& s) { s.cbT = true; }, nullptr},
        {Mode::Effects, "cbSvol", [](RunState& s) { s.cbSvol = true; }, nullptr},
        {Mode::Effects, "cbEOF", [](RunState& s) { s.cbEOF = true; }, nullptr},
        {Mode::Chrom, "cbChrom", [](RunState& s) { s.cbChrom = true; }, nullptr},
        {Mode::LiBz, "cbLiBz", [](RunState& s) { s.cbLiBz = true; }, nullptr},
    };
}

// An initialised acetate run on 60 nodes.
void Initialised(RunState& st, EngineHost& host)
{
    PrepareRun(st, AcetateBufferWithAnalytes(), 60);
    st.Host = &host;
    ASSERT_TRUE(InitCalc(st));
}

// What the test mode saw.
struct TestModeCalls {
    int init[4] = {0, 0, 0, 0};
    bool arraysAtInit = false;
    int derivatives = 0;
    bool refuseAtSwitches = false;
} calls;

// A mode of this test only: the standard scheme plus a constant production
// of constituent 1 at the interior nodes.
constexpr double kProduction = 0.25;  // mM/s

ModeHooks TestMode()
{
    ModeHooks h;
    h.name = "Test";
    h.Init = [](RunState& st, ModeInitStage stage) {
        ++calls.init[static_cast<int>(stage)];
        if (stage == ModeInitStage::Arrays) calls.arraysAtInit = st.Arr.Allocated();
        if (stage == ModeInitStage::Switches && calls.refuseAtSwitches) {
            ShowWarning("Test mode refused.");
            return false;
        }
        return true;
    };
    h.Derivatives = [](RunState& st, int level, bool fieldOnly) {
        ++calls.derivatives;
        StandardScheme(st, level, fieldOnly || level > 4);
        if (fieldOnly || level > 4) return;
        double* f = st.Arr.F(level, 1);
        for (int j = st.LeftWall + 1; j < st.RightWall; ++j) f[j] += kProduction;
    };
    return h;
}

}  // namespace

TEST(Modes, OneFunctionHoldsThePrecedenceOfTheSwitches)
{
    const auto sw = Switches();
    RunState none;
    EXPECT_EQ(SelectMode(none), Mode::Standard);
    // switches of add-ons and options select no mode
    none.setup_cbRacemic = none.cbKinetic = none.cbDcH = none.cbIgnDER = none.cbEOFDif = true;
    none.cbLE = none.cbRE = none.cbIS = true;
    EXPECT_EQ(SelectMode(none), Mode::Standard);
    for (std::size_t i = 0; i < sw.size(); ++i) {
        RunState one;
        sw[i].on(one);
        EXPECT_EQ(SelectMode(one), sw[i].mode) << sw[i].name;
        EXPECT_TRUE(ModeSwitchedOn(one, sw[i].mode)) << sw[i].name;
        EXPECT_EQ(AnyCapillaryEffect(one), sw[i].mode == Mode::Effects) << sw[i].name;
        // with any later switch on too, the earlier one wins
        for (std::size_t k = i + 1; k < sw.size(); ++k) {
            RunState two;
            sw[k].on(two);
            sw[i].on(two);
            EXPECT_EQ(SelectMode(two), sw[i].mode) << sw[i].name << " + " << sw[k].name;
        }
    }
}

TEST(Modes, ModesNotBuiltStopTheRunWithTheirWarningOncePerRun)
{
    const auto sw = Switches();
    for (std::size_t i = 0; i < sw.size(); ++i)
        for (std::size_t k = i; k < sw.size(); ++k) {
            if (!sw[i].derivativeWarning) continue;  // a built mode
            RecordingMessageSink sink;
            RecordingHost host;
            RunState st;
            Initialised(st, host);
            sw[k].on(st);  // switched on during the run: taken at the next evaluation
            sw[i].on(st);
            for (int call = 0; call < 2; ++call) {
                st.Stop = false;
                CalcDER(st, 2, false);
                EXPECT_TRUE(st.Stop && st.NumericalFailure);
            }
            EXPECT_EQ(sink.warnings, std::vector<std::string>{sw[i].derivativeWarning})
                << sw[i].name << " + " << sw[k].name;
        }
}

TEST(Modes, AModePutIntoTheRunsTableIsCalledAtInitDerivativesAndSteps)
{
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st, plain;
    st.Engine.Modes[ModeIndex(Mode::Linear)] = TestMode();
    calls = {};
    st.cbMX = true;
    Initialised(st, host);
    EXPECT_TRUE(calls.init[0] == 1 && calls.init[1] == 1 && calls.init[2] == 1 &&
                calls.init[3] == 1);
    // the arrays exist at their stage; the field of level 2 is formed at Init
    EXPECT_TRUE(calls.arraysAtInit && calls.derivatives >= 1 && sink.warnings.empty());

    // Derivatives: the standard scheme's rows plus the production, bit for bit.
    Initialised(plain, host);
    calls.derivatives = 0;
    CalcDER(st, 2, false);
    CalcDER(plain, 2, false);
    EXPECT_EQ(calls.derivatives, 1);
    const EngineArrays &a = st.Arr, &b = plain.Arr;
    for (int i = 1; i <= a.NComp; ++i)
        for (int j = 0; j < a.Nn; ++j) {
            const bool interior = i == 1 && j > st.LeftWall && j < st.RightWall;
            ASSERT_EQ(a.F(2, i)[j], b.F(2, i)[j] + (interior ? kProduction : 0.0)) << i << " " << j;
        }
    EXPECT_EQ(std::memcmp(a.E.data(), b.E.data(), a.E.size() * sizeof(double)), 0);

    // A run: every accepted step evaluates the mode's derivatives, after the
    // predictor and after each corrector pass.
    st.DT = 1e-3;
    st.StopTime = 0.05;
    calls.derivatives = 0;
    RunCalc(st);
    EXPECT_TRUE(st.StepCount > 10 && calls.derivatives >= 2 * st.StepCount) << calls.derivatives;

    // No other run has the mode: there cbMX is the linearized mode.
    plain.cbMX = true;
    calls.derivatives = 0;
    CalcDER(plain, 2, false);
    EXPECT_TRUE(calls.derivatives == 0 && sink.warnings.empty());

    // The mode's Init may refuse; Init then ends there.
    calls = {};
    calls.refuseAtSwitches = true;
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Test mode refused."});
    EXPECT_TRUE(calls.init[0] == 1 && calls.init[1] == 1 && calls.init[2] == 0 &&
                calls.init[3] == 0);
}

TEST(Modes, ThreadPlanIsTakenAtInitAndWorkStorageIsPerRun)
{
    RecordingMessageSink sink;
    RecordingHost host;
    const int saved = EngineThreads();
    SetEngineThreads(3);
    RunState st;
    Initialised(st, host);
    SetEngineThreads(1);
    RunState other;
    Initialised(other, host);
    SetEngineThreads(saved);
    EXPECT_EQ(std::make_pair(st.Engine.Threads.threads, other.Engine.Threads.threads),
              std::make_pair(3, 1));

    struct Work {
        std::vector<double> row;
    };
    st.Engine.Scratch<Work>().row.assign(5, 1.0);
    EXPECT_TRUE(other.Engine.Scratch<Work>().row.empty());
    RunState copy = st;
    EXPECT_TRUE(copy.Engine.Scratch<Work>().row.empty() && copy.Engine.Threads.threads == 3);
    EXPECT_EQ(st.Engine.Scratch<Work>().row.size(), 5u);
}

namespace {

// A mode of this test only that integrates the node temperatures at a
// constant rate (no heating switch is on), holds the right end with the left
// border and holds the clock for the first five steps.
constexpr double kHeatRate = 40.0;  // K/s
std::vector<double> stepTimes;

ModeHooks AnnouncingMode()
{
    ModeHooks h;
    h.name = "Announcing";
    h.Derivatives = [](RunState& st, int level, bool fieldOnly) {
        StandardScheme(st, level, fieldOnly || level > 4);
        if (fieldOnly || level > 4) return;
        double* dT = st.Arr.DTdt(level);
        for (int j = 0; j < st.Arr.Nn; ++j) dT[j] = kHeatRate;
    };
    h.Rows = [](const RunState&) {
        ModeRows r;
        r.temperature = r.temperatureInError = true;
        return r;
    };
    h.holdsRightEnd = true;
    h.ClockHeld = [](const RunState&) { return stepTimes.size() < 5; };
    return h;
}

}  // namespace

// The integrator learns from the table what a mode integrates and holds: a
// mode that no window switch of heating or of the linearised mode names gets
// its temperature row integrated (starter and run loop alike), its right end
// held and its clock stopped.
TEST(Modes, TheStepFollowsTheRowsAndHoldsAModeAnnounces)
{
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.Engine.Modes[ModeIndex(Mode::SplitAdvection)] = AnnouncingMode();
    st.cbSpec = true;
    st.cbLBorder = true;
    st.cbInitWalls = true;
    stepTimes.clear();
    Initialised(st, host);
    // The time after every accepted step: the pump that follows it.
    long long stepsSeen = 0;
    host.onProcessMessages = [&](int) {
        if (st.StepCount > stepsSeen) stepTimes.push_back(st.Time);
        stepsSeen = st.StepCount;
    };
    ASSERT_FALSE(st.cbH || st.cbMX);
    // A fixed step over the whole grid.
    st.cbOptDt = st.cbLWMove = st.cbRWMove = false;
    ASSERT_TRUE(st.LeftWall == 0 && st.RightWall == st.NX);
    EngineArrays& a = st.Arr;
    const int nc = a.NComp, nx = st.NX;
    // A left border of its own, away from the buffer that both ends hold now.
    for (int i = 1; i <= nc; ++i) a.CLeft[i] = 1.25 * a.C(2, i)[0] + 1.0;
    const std::vector<double> t0(a.T(2), a.T(2) + a.Nn);
    st.DT = 1e-4;
    st.StopTime = 2e-3;
    RunCalc(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(stepTimes.size(), 8u);

    // The clock stood still for five steps after the starter's three, then ran.
    for (std::size_t k = 0; k < 5; ++k) EXPECT_DOUBLE_EQ(stepTimes[k], 3 * st.DT) << k;
    EXPECT_NEAR(stepTimes[5], 4 * st.DT, 1e-12);
    EXPECT_NEAR(st.Time, (static_cast<double>(stepTimes.size()) - 2) * st.DT, 1e-12);

    // The temperature rose at the mode's rate over every step taken, held or
    // not: three of the starter and every step of the loop.
    const double rise = kHeatRate * st.DT * (3 + static_cast<double>(stepTimes.size()));
    for (int j = 0; j <= nx; ++j) ASSERT_NEAR(a.T(2)[j], t0[j] + rise, 1e-9 * rise) << j;

    // Both ends kept the left border's values.
    for (int i = 1; i <= nc; ++i) {
        EXPECT_EQ(a.C(2, i)[0], a.CLeft[i]) << i;
        EXPECT_EQ(a.C(2, i)[nx], a.CLeft[i]) << i;
    }
}

// A mode keeps its data in its own slot of the run's context: the slot comes
// with a copy of the run state (and is the copy's own), and a mode forgets what
// it built when the run's arrays are released.
TEST(Modes, AModesStateIsItsOwnSlotCopiedWithTheRunAndForgottenWithTheArrays)
{
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    // The linearised mode's matrices are built by Init while its switch is on.
    PrepareRun(st, AcetateBufferWithAnalytes(), 60);
    st.cbMX = true;
    st.Host = &host;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(LinearState(st).Mat1.n(), st.NComp);
    EXPECT_EQ(LinearState(st).Mat2.n(), st.NComp);

    MicellarState(st).profileReady = true;
    LinearState(st).Mat1[1][1] = 7.0;
    RunState copy = st;
    EXPECT_TRUE(MicellarProfileReady(copy));
    EXPECT_EQ(LinearState(copy).Mat1[1][1], 7.0);
    LinearState(copy).Mat1[1][1] = 3.0;
    EXPECT_EQ(LinearState(st).Mat1[1][1], 7.0);
    copy = RunState{};
    EXPECT_FALSE(MicellarProfileReady(copy));
    EXPECT_EQ(LinearState(copy).Mat1.n(), 2);

    FreeEngineArrays(st);
    EXPECT_FALSE(MicellarProfileReady(st));
}
