// Paths of the engine checked against values that do not come from its own
// formulas: the time-step control above and below its error target, the
// Runge-Kutta starter and the multistep method on a first-order reaction
// (exp(-k t)), the kinetic term with concentrations below zero, and the
// electroosmotic term carrying a neutral peak at EOFMob * U / (L + extra length).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_range.h"
#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/init_calc.h"
#include "engine/step/rk_start.h"
#include "engine/step/run_calc.h"
#include "engine/step/step_services.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"
#include "support/uniform_grid.h"

namespace {

using namespace testcomp;

// A run state with a recording host and message sink, prepared with the
// composition and node count, `before` applied, and initialised.
struct HostedRun {
    HostedRun(const TUnivSet<TComponents>& comp, int nodes,
              const std::function<void(RunState&)>& before = {})
    {
        PrepareRun(st, comp, nodes);
        st.Host = &host;
        if (before) before(st);
        initialised = InitCalc(st);
    }
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    bool initialised = false;
};

TEST(TimeStepControl, ShrinksAboveTheTargetAndGrowsBelowIt)
{
    RunState st;
    RunLocals loc;
    loc.CorrectorIterations = 1;
    st.cbOptDt = true;
    st.OptInter = 100;
    st.ErrOpt = 1e-11;
    st.ErrInc = 0.25;
    st.DT = 1e-3;
    // far above the target at a multiple of OptInter: dt / 1.25, and a restart;
    // not a multiple of OptInter, or within 0.1..10 times the target:
    // unchanged; below a tenth of the target: dt * 1.25
    const std::tuple<int, double, double, bool> steps[] = {
        // count, error, dt after, restart
        {300, 1e-3, 1e-3 / 1.25, true},   {301, 1e-3, 1e-3 / 1.25, false},
        {400, 9e-11, 1e-3 / 1.25, false}, {500, 1.1e-12, 1e-3 / 1.25, false},
        {600, 0.9e-12, 1e-3, true},       {700, 1.5e-10, 1e-3 / 1.25, true},
        {800, 0.9e-12, 1e-3, true}};
    for (auto [count, error, dt, restart] : steps) {
        st.Restart = false;
        st.StepCount = count;
        st.StepError = error;
        TimeStepControl(st, loc);
        EXPECT_DOUBLE_EQ(st.DT, dt) << count;
        EXPECT_EQ(st.Restart, restart) << count;
    }
    EXPECT_EQ(st.MaxError, 1e-3);
    // The step grows no further than a typed step may be, forward or backward in time.
    for (double sign : {1.0, -1.0}) {
        st.DT = sign * 0.9 * kTimeStepRange.high;
        st.StepCount = 900;
        TimeStepControl(st, loc);
        EXPECT_EQ(st.DT, sign * kTimeStepRange.high);
    }
    st.DT = 1e-3;

    // The immediate cut after a step that needed several corrector passes:
    // the first step of a streak cuts dt to a tenth (and, after 5 steps of the
    // run, the target to 0.4 of it); the 21st, 41st ... shrink dt and the
    // increment by 5 %; the increment stops at 0.05 where it crosses it.
    st.cbDCDTCor = true;
    loc.CorrectorIterations = 3;
    loc.RunSteps = 10;
    st.Statics.CutStreakCount = st.Statics.CutStreakStart = -1;
    st.StepCount = 1000;
    st.StepError = 0;  // the error alone would not change dt here
    TimeStepControl(st, loc);
    EXPECT_DOUBLE_EQ(st.DT, 1e-4);
    EXPECT_DOUBLE_EQ(st.ErrOpt, 0.4e-11);
    double dt = 1e-4, inc = 0.25;
    for (int k = 1; k <= 60; ++k) {
        st.StepCount = 1000 + k;
        TimeStepControl(st, loc);
        if (k % 20 == 0) {
            dt *= 0.95;
            inc = std::max(0.95 * inc, inc >= 0.05 ? 0.05 : 0.0);
        }
        EXPECT_DOUBLE_EQ(st.DT, dt) << k;
        EXPECT_DOUBLE_EQ(st.ErrInc, inc) << k;
    }
    // a step that converged ends the streak; the next cut starts a new one
    st.StepCount = 1062;
    loc.CorrectorIterations = 1;
    TimeStepControl(st, loc);
    loc.CorrectorIterations = 2;
    st.StepCount = 1063;
    TimeStepControl(st, loc);
    EXPECT_DOUBLE_EQ(st.DT, 0.1 * dt);
    EXPECT_EQ(st.Statics.CutStreakStart, 1063);
}

// Weak acids of pK 12 (almost neutral at the buffer's pH) as the product (1),
// the reactant C (2) and the partner P (3) of the kinetic reaction, in a
// sodium acetate buffer; every profile flat, so that the transport terms
// vanish inside the capillary.
class FirstOrderReaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("PC", 12, 20, BGE, 0.5, 0.5));
        comp.Add(WeakAcid("C", 12, 25, BGE, 2.0, 2.0));
        comp.Add(WeakAcid("P", 12, 30, BGE, 5.0, 5.0));
        comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20, 20));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 10, 10));
        PrepareRun(st, comp, 100);
        st.Host = &host;
        ASSERT_TRUE(InitCalc(st));
        // v = k [C]: C decays as exp(-k t)
        st.cbKinetic = true;
        st.Kin1 = kRate;
        st.Kin2 = 0;
        st.KinA = 1;
        st.KinB = st.KinC = st.KinD = st.KinX = 0;
        st.cbOptDt = false;
        st.EpsCor = 1e-12;
    }
    static constexpr double kRate = 100;  // 1/s
    static constexpr int kMid = 50;
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
};

TEST_F(FirstOrderReaction, StarterFollowsTheExponentialToFourthOrder)
{
    const double c0 = st.Arr.C(2, 2)[kMid], dt = 1e-3;  // k dt = 0.1
    ASSERT_EQ(c0, 2.0);
    st.DT = dt;
    const double t0 = st.Time;
    ASSERT_TRUE(RestartMultistep(st, 2));
    EXPECT_DOUBLE_EQ(st.Time, t0 + 3 * dt);
    // levels 4, 3, 2 hold t + dt, t + 2 dt, t + 3 dt; Ralston's method is of
    // fourth order: its error over a step is about (k dt)^5 / 120
    for (int n = 1; n <= 3; ++n) {
        const double exact = c0 * std::exp(-kRate * n * dt);
        EXPECT_NEAR(st.Arr.C(5 - n, 2)[kMid], exact, 5e-7 * exact) << n;
        // P is used up with C, the product forms from it
        EXPECT_NEAR(st.Arr.C(5 - n, 3)[kMid], 5.0 - (c0 - exact), 1e-6) << n;
        EXPECT_NEAR(st.Arr.C(5 - n, 1)[kMid], 0.5 + (c0 - exact), 1e-6) << n;
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(FirstOrderReaction, StarterStopsAtANonFiniteConcentrationAndNamesIt)
{
    st.DT = 1e-3;
    st.Arr.C(2, 2)[kMid] = std::nan("");
    const double t0 = st.Time;
    EXPECT_FALSE(RestartMultistep(st, 2));
    EXPECT_TRUE(st.Stop && st.NumericalFailure && st.Restart && st.Time == t0);
    EXPECT_TRUE(std::isnan(st.Arr.C(2, 2)[kMid]));  // the level exchange undone
    EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                 "Concentration is not a finite number: constituent 2, node " +
                                 std::to_string(kMid) + ". Calculation stopped."});
}

TEST_F(FirstOrderReaction, StarterThatStopsGivesBackTheWindow)
{
    // the starter works on the whole grid; stopped by a node outside the
    // window, it returns early with the window it was given
    st.DT = 1e-3;
    st.LeftWall = 60;
    st.RightWall = 90;
    st.Arr.C(2, 2)[kMid] = std::nan("");
    EXPECT_FALSE(RestartMultistep(st, 2));
    EXPECT_TRUE(st.Stop && st.NumericalFailure);
    EXPECT_EQ(std::make_pair(st.LeftWall, st.RightWall), std::make_pair(60, 90));
}

TEST_F(FirstOrderReaction, MultistepFollowsTheExponentialAcrossADtChange)
{
    const double c0 = st.Arr.C(2, 2)[kMid];
    const double t0 = st.Time;
    st.DT = 2e-4;
    st.StopTime = 1.0;
    int step = 0;
    host.onProcessMessages = [&](int) {
        if (st.StepCount == 0) return;
        if (++step == 40) {  // as the dt edit does
            st.DT = 5e-4;
            st.Restart = true;
        }
        if (step == 120) st.Stop = true;
    };
    RunCalc(st);
    ASSERT_EQ(step, 120);
    const double t = st.Time - t0;
    EXPECT_NEAR(t, 43 * 2e-4 + 83 * 5e-4, 1e-12);  // both starters' three steps included
    const double exact = c0 * std::exp(-kRate * t);
    EXPECT_NEAR(st.Arr.C(2, 2)[kMid], exact, 1e-5 * c0);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(FirstOrderReaction, StarterThatEndsTheDiffusionModeLeavesARestartForTheRestoredDt)
{
    // The starter's three steps run the diffusion clock out; the mode's end
    // restores dt, which the history just built does not fit: the restart
    // stays requested, and the next one builds the history at the restored dt.
    st.DT = 1e-3;
    StartDiffusionMode(st, 2e-4);
    st.DT = 1e-4;
    const double t0 = st.Time;
    ASSERT_TRUE(RestartMultistep(st, 2));
    EXPECT_EQ(std::make_tuple(st.DiffMode, st.DT, st.Restart, st.Time),
              std::make_tuple(false, 1e-3, true, t0));
    ASSERT_TRUE(RestartMultistep(st, 2));
    EXPECT_FALSE(st.Restart);
    EXPECT_DOUBLE_EQ(st.Time, t0 + 3e-3);
}

TEST_F(FirstOrderReaction, KineticTermClampsOnlyWhereAPowerWouldBeUndefined)
{
    // A concentration below zero: with an integral exponent the power is
    // finite and taken as it is; with a fractional one it counts as 0.
    st.Arr.C(2, 2)[kMid] = -0.5;
    auto rate = [&](double kinA) {  // what the reaction adds to d[PC]/dt
        st.Kin1 = 0;
        CalcDER(st, 2, false);
        const double base = st.Arr.F(2, 1)[kMid];
        st.Kin1 = kRate;
        st.KinA = kinA;
        CalcDER(st, 2, false);
        return st.Arr.F(2, 1)[kMid] - base;
    };
    EXPECT_NEAR(rate(2), kRate * 0.25, 1e-9);
    EXPECT_NEAR(rate(3), -kRate * 0.125, 1e-9);
    EXPECT_EQ(rate(0.5), 0.0);
    EXPECT_FALSE(st.NumericalFailure);
}

// The dcH/dt mode integrates cH instead of solving electroneutrality: the run
// keeps every node electroneutral and ends where the ordinary run ends.
TEST(DcHMode, KeepsElectroneutralityAndFollowsTheOrdinaryRun)
{
    auto runMode = [](bool dcH) {
        HostedRun run(AcetateBufferWithAnalytes(), 100, [dcH](RunState& s) { s.cbDcH = dcH; });
        EXPECT_TRUE(run.initialised);
        RunState& st = run.st;
        st.DT = 1e-3;
        st.cbOptDt = false;
        st.StopTime = 0.3;
        RunCalc(st);
        EXPECT_TRUE(run.sink.warnings.empty());
        double worst = 0;
        for (int j = 0; j <= st.NX; ++j) {
            double scale = 0;
            const double r = ChargeBalance(st, 2, j, &scale);
            worst = std::max(worst, std::fabs(r) / scale);
        }
        std::vector<double> v(st.Arr.CH(2), st.Arr.CH(2) + st.NX + 1);
        for (int i = 1; i <= st.NComp; ++i)
            v.insert(v.end(), st.Arr.C(2, i), st.Arr.C(2, i) + st.NX + 1);
        return std::make_pair(worst, v);
    };
    const auto [worstOrdinary, ordinary] = runMode(false);
    const auto [worstDcH, dcH] = runMode(true);
    EXPECT_TRUE(worstOrdinary < 1e-10 && worstDcH < 1e-9) << worstOrdinary << " " << worstDcH;
    ASSERT_EQ(ordinary.size(), dcH.size());
    double largest = 0;
    for (std::size_t k = 0; k < dcH.size(); ++k)
        largest = std::max(
            largest, std::fabs(dcH[k] - ordinary[k]) / std::max(std::fabs(ordinary[k]), 1e-3));
    EXPECT_LT(largest, 1e-8);
}

// Equal concentrations and cH on every node, but a segment of other
// mobilities from node 5 on and another pK from node 8 on: the speciation there is the
// node's own, not a copy of its left neighbour's.
TEST(Speciation, NeighboursWithOtherMobilitiesAreNotCopied)
{
    RunState st;
    SetUpUniformGrid(st,
                     {MakeStrongCation("Na", 50.0, 10), MakeStrongAnion("Cl", 80.0, 5),
                      MakeConstituent("Acetic acid", -1, 0, {4.756, 0}, {42.4, 0}, 5)},
                     10);
    Elneut(st, 2, -1, -1, true);
    const double h = st.Arr.CH(2)[0];
    for (int j = 0; j <= st.NX; ++j) st.Arr.CH(2)[j] = h;  // the same cH everywhere
    EngineArrays& a = st.Arr;
    for (int j = 5; j <= st.NX; ++j)
        a.UForm(1, 1)[j] = 2 * a.UForm(1, 1)[0];  // sodium twice as fast
    for (int j = 8; j <= st.NX; ++j)
        a.LForm(3, 0)[j] = 10 * a.LForm(3, 0)[0];  // acetate: pK one lower
    CalcSpeciationRange(st, 2, 0, st.NX);
    for (int j : {4, 5, 6, 7, 8, 9}) {
        // a strong cation: UEff is its mobility
        EXPECT_NEAR(a.UEff[1][j], a.UForm(1, 1)[j], 1e-5 * a.UForm(1, 1)[j]) << j;
        // the dissociated fraction of acetic acid from its own constant: Ka / (Ka + cH)
        const double ka = std::pow(10.0, 3 - (j < 8 ? 4.756 : 3.756));
        EXPECT_NEAR(a.CForm(2, 3, 0)[j] / 5.0, ka / (ka + h), 1e-9) << j;
    }
}

// Acetate buffer with two cationic analytes, chloride (constituent 5)
// injected as an anionic one and a neutral one (6), at rest in the field.
TUnivSet<TComponents> BufferWithCationsAndAnAnion()
{
    TUnivSet<TComponents> comp = AcetateBufferWithAnalytes();
    comp.Add(StrongAnion("Chloride", kUCl, Analyte, 0.0, 0.1));
    comp.Add(Constituent("Neutral", 0, 0, {0}, {20}, Analyte, 0.0, 0.1));
    return comp;
}

// Walls inside the analyte zones, where their profiles have a slope: a
// constituent leaving the window through a wall lets the wall follow its
// neighbour, one entering it (or at rest) holds the wall.
TEST(Walls, DerivativeAtWallsInsideAZone)
{
    HostedRun run(BufferWithCationsAndAnAnion(), 200);
    RunState& st = run.st;
    ASSERT_TRUE(run.initialised && st.I > 0);
    // the zones: where K+ (constituent 3) has a slope
    int lo = -1, hi = -1;
    for (int j = 1; j < st.NX; ++j)
        if (std::fabs(st.Arr.C(2, 3)[j + 1] - st.Arr.C(2, 3)[j - 1]) > 1e-3) (lo < 0 ? lo : hi) = j;
    ASSERT_GT(hi - lo, 10);
    st.LeftWall = lo + 1;
    st.RightWall = hi - 1;
    CalcDER(st, 2, false);
    int leaving[2] = {0, 0}, entering[2] = {0, 0};
    for (int i = 1; i <= st.NComp; ++i) {
        const double* f = st.Arr.F(2, i);
        const int lw = st.LeftWall, rw = st.RightWall;
        // direction from the constituent's own forms at the nodes next to the walls
        for (int side = 0; side < 2; ++side) {
            const int x = side == 0 ? lw + 1 : rw - 1, wall = side == 0 ? lw : rw;
            double u = 0;
            for (int k = 0; k < st.Arr.Forms(i); ++k) {
                const int z = st.Arr.ZMin[i] + k;
                if (z != 0)
                    u += st.Arr.CForm(2, i, k)[x] * (z > 0 ? 1 : -1) * st.Arr.UForm(i, k)[x];
            }
            // cations drift towards +x with the current, anions towards -x
            const bool leaves = side == 0 ? u < 0 : u > 0;
            (leaves ? leaving : entering)[side] += f[x] != 0.0;  // sloped
            EXPECT_EQ(f[wall], leaves ? f[x] : 0.0) << i << " " << side;
        }
    }
    for (int side = 0; side < 2; ++side)
        EXPECT_TRUE(leaving[side] > 0 && entering[side] > 0) << side;
}

// With the constant left border the value at node 0 stays the one of Init,
// also where the profile there has a slope; without it node 0 moves.
TEST(Walls, ConstantLeftBorderHoldsASlopedNodeZero)
{
    auto nodeZero = [](bool border) {
        HostedRun run(BufferWithCationsAndAnAnion(), 200, [](RunState& s) {
            s.InjSitePending = 0.5;  // the zone's rising edge at node 0
            s.PeakWidthPending = 1.0;
            s.PeakEdgeWidthPending = 0.5;
        });
        RunState& st = run.st;
        EXPECT_TRUE(run.initialised);
        const double c0 = st.Arr.C(2, 5)[0];  // chloride leaves through node 0
        EXPECT_GT(std::fabs(st.Arr.C(2, 5)[1] - c0), 1e-3 * c0);
        EXPECT_EQ(st.Arr.CLeft[5], c0);
        st.cbLBorder = border;
        st.cbLWMove = false;  // node 0 stays in the window
        st.LeftWall = 0;
        st.DT = 1e-4;
        st.StopTime = 0.01;
        RunCalc(st);
        EXPECT_TRUE(run.sink.warnings.empty());
        return std::make_pair(c0, st.Arr.C(2, 5)[0]);
    };
    const auto [held0, held] = nodeZero(true);
    EXPECT_EQ(held, held0);
    const auto [free0, moved] = nodeZero(false);
    EXPECT_GT(std::fabs(moved - free0), 1e-6 * free0);
}

// Electrodes at both ends close the capillary: the cations of the buffer
// migrate away from the left end (anode side) and pile up at the right one,
// the anions the other way round, by about the amount migration carries in
// the time (E u c t over the node spacing); the ordinary walls hold
// the ends of a flat buffer.
TEST(ElectrodeBoundary, ClosedEndsDepleteAndAccumulateByMigration)
{
    auto ends = [](bool electrodes) {
        HostedRun run(AcetateBufferWithAnalytes(), 100);
        EXPECT_TRUE(run.initialised);
        RunState& st = run.st;
        st.cbLE = st.cbRE = electrodes;
        st.cbLWMove = st.cbRWMove = false;
        st.LeftWall = 0;
        st.RightWall = st.NX;
        st.DT = 1e-4;
        st.StopTime = 0.02;
        RunCalc(st);
        EXPECT_TRUE(run.sink.warnings.empty());
        // sodium (2) and acetate (1) at both ends, relative to their buffer values
        return std::vector<double>{st.Arr.C(2, 2)[0] / 10,
                                   st.Arr.C(2, 2)[st.NX] / 10,
                                   st.Arr.C(2, 1)[0] / 20,
                                   st.Arr.C(2, 1)[st.NX] / 20,
                                   st.Time,
                                   st.Arr.E[1],
                                   st.DX};
    };
    const std::vector<double> held = ends(false), closed = ends(true);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(held[k], 1.0, 1e-9) << k;
    // sodium: E u t / dx of its concentration leaves the left end node
    const double t = closed[4], E = closed[5], dx = closed[6];
    const double moved = E * kUNa * 1e-9 * t / dx;
    ASSERT_GT(moved, 0.02);
    EXPECT_NEAR(closed[0], 1 - moved, 0.05 * moved);
    EXPECT_NEAR(closed[1], 1 + moved, 0.05 * moved);
    EXPECT_GT(closed[2], 1.0);  // acetate piles up at the anode side
    EXPECT_LT(closed[3], 1.0);
}

// A neutral marker peak (constituent 3) in a sodium acetate buffer, 250 V,
// an extra length equal to the capillary's; dt fixed at 1 ms.
struct MarkerRun : HostedRun {
    MarkerRun()
        : HostedRun(MarkerComposition(), 400, [](RunState& s) {
              SetZoneAndVoltage(s, s.InjSitePending, 0.2, 0.05, 250);
              s.FakeCapLen = 0.025;  // doubles the length the flow is driven over
          })
    {
        st.EOFMob = 40e-9;
        st.DT = 1e-3;
        st.cbOptDt = false;
    }
    static TUnivSet<TComponents> MarkerComposition()
    {
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20, 20));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 10, 10));
        comp.Add(Constituent("Marker", 0, 0, {0}, {20}, Analyte, 0, 1.0));
        return comp;
    }
};

// The electroosmotic term of the transport equation carries the marker.
TEST(ElectroosmoticTerm, CarriesANeutralPeakAtMobilityTimesVoltageOverLength)
{
    MarkerRun run;
    RunState& st = run.st;
    ASSERT_TRUE(run.initialised);
    st.cbEOFDif = true;
    const ProfileMoments m0 = Moments(st, 3);
    const double t0 = st.Time;
    st.StopTime = 4.0;
    RunCalc(st);
    const ProfileMoments m1 = Moments(st, 3);
    const double v = 40e-9 * 250 / (st.CapLength + 0.025);
    EXPECT_GT(m1.mean - m0.mean, 10 * st.DX);
    EXPECT_NEAR((m1.mean - m0.mean) / (st.Time - t0), v, 0.005 * v);
    EXPECT_NEAR(m1.amount, m0.amount, 1e-9 * m0.amount);
    EXPECT_TRUE(run.sink.warnings.empty());
}

// The detector moving against the flow (the flow left out of the equation)
// passes a marker that stays where it is at the time the flow of the
// equation would take to carry it there: its speed is the same
// EOFMob * U / (L + extra length).
TEST(ElectroosmoticTerm, DetectorMovesAgainstTheFlowAtTheSpeedOfTheFlow)
{
    MarkerRun run;
    RunState& st = run.st;
    ASSERT_TRUE(run.initialised);
    st.cbEOFDif = false;
    st.cbEnableEOF = st.cbDetectorOn = true;
    st.DetInput = 10;
    const double v = 40e-9 * 250 / (st.CapLength + 0.025) * 1000;  // mm/s
    st.DetPosition = Moments(st, 3).mean * 1000 + 0.5;
    st.StopTime = 5.0;
    RunCalc(st);
    EXPECT_TRUE(run.sink.warnings.empty());
    // the mean time of the detector trace (s)
    const ChartSeries& d = st.Series.srDetComp[3];
    double area = 0, moment = 0;
    for (std::size_t k = 0; k < d.y.size(); ++k) {
        area += d.y[k];
        moment += d.x[k] * 60 * d.y[k];
    }
    EXPECT_GT(*std::max_element(d.y.begin(), d.y.end()), 0.5);
    EXPECT_NEAR(moment / area, 0.5 / v, 0.02 * 0.5 / v);
}

}  // namespace
