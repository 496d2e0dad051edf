// Capillary effects: the segment table and its profiles, and physics that
// does not depend on the engine's formulas (energy balance of Joule heating,
// heat conduction, volume-flow continuity of the electroosmotic flow,
// continuity of the current, wall dissociation, first-order mixing,
// conservation of matter in a capillary of varying cross-section).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/effects/effects_mode.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

constexpr double kF = 96485.0;
// Water at 298.15 K as the property fits give it.
constexpr double kRhoCp = 997.02 * 4240.4;
constexpr double kAlpha = 0.60586 / kRhoCp;

TUnivSet<TComponents> Kcl(double c = 10.0)
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Potassium", kUK, BGE, c, c));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, c, c));
    return comp;
}

TUnivSet<TComponents> KclWithNeutral(double cInj)
{
    TUnivSet<TComponents> comp = Kcl();
    comp.Add(Constituent("Neutral", 0, 0, {0.0}, {0.0}, Analyte, 0.0, cInj));
    return comp;
}

class Effects : public ::testing::Test {
protected:
    void SetUp() override { host.Attach(st); }
    void TearDown() override { host.Detach(); }

    // Composition, nodes, length (m); fixed dt, no time-step control.
    void Prepare(const TUnivSet<TComponents>& comp, int nodes, double length, double dt)
    {
        PrepareRun(st, comp, nodes);
        st.CapLengthPending = length;
        st.cbOptDt = false;
        st.DT = st.DTDefault = st.DTInit = dt;
    }
    // A table of `segments` columns with the given rows set (display units).
    void Table(int segments, const std::vector<std::pair<int, std::vector<std::string>>>& rows,
               double edgeMM = 0.2)
    {
        CreateEffectsGrid(st, segments);
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = FloatToStr(edgeMM);
        for (const auto& [row, cells] : rows)
            for (int k = 0; k < segments; ++k) st.Grid[row][k + 2] = cells[k];
        RefreshEffectsGrid(st);
    }
    void Run(double stop)
    {
        st.StopTime = stop;
        RunCalc(st);
        ASSERT_FALSE(st.NumericalFailure);
    }
    double X(int j) const { return j * st.DX; }
    // Amount and centroid of constituent i, weighted by the volume S DX.
    std::pair<double, double> Moments(int i) const
    {
        double m0 = 0, m1 = 0;
        for (int j = 0; j < st.Arr.Nn; ++j) {
            const double w = st.Arr.S[j] * st.DX * st.Arr.C(2, i)[j];
            m0 += w;
            m1 += w * X(j);
        }
        return {m0, m1 / m0};
    }
    // A fresh run state for the next case.
    void Reset()
    {
        host.Detach();
        host.onProcessMessages = nullptr;
        st = RunState();
        host.Attach(st);
    }

    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
};

}  // namespace

TEST_F(Effects, TableCellsBecomeProfilesInEngineUnits)
{
    Prepare(Kcl(), 100, 0.5, 1e-4);
    st.cbS = st.rbD = st.cbT = st.cbEOF = st.cbMix = true;
    Table(2, {{kRowRatio, {"1", "1"}},
              {kRowID, {"50", "50"}},
              {kRowT, {"25", "25"}},
              {kRowPKEOF, {"5.5", "5.5"}},
              {kRowMix, {"3", "7"}}});
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    const EngineArrays& a = st.Arr;
    for (int j = 0; j < a.Nn; ++j) {
        EXPECT_NEAR(a.S[j], 1.9634954084936207e-9, 1e-21);
        for (int l = 1; l <= 5; ++l) EXPECT_DOUBLE_EQ(a.T(l)[j], 298.15);
        EXPECT_DOUBLE_EQ(a.T0[j], 298.15);
        EXPECT_DOUBLE_EQ(a.PKEOF[j], 2.5);
    }
    // ratios 1, 1 on 0.5 m: the mixing step (3 -> 7) is half way at 0.25 m
    const double mixes[][3] = {
        {a.Mix[50], 5.0, 1e-6},           {a.Mix[0], 3.0, 1e-12},
        {a.Mix[100], 7.0, 1e-12},         {a.MixWindow[1][10], 3.0, 1e-12},
        {a.MixWindow[2][10], 0.0, 1e-12}, {a.MixWindow[1][50] + a.MixWindow[2][50], 5.0, 1e-6}};
    for (const auto& m : mixes) EXPECT_NEAR(m[0], m[1], m[2]);

    // a cell that is not a number: the message, and the row default (0) in its place
    st.Grid[kRowMix][3] = "x";
    EXPECT_FALSE(ApplyEffects(st));
    EXPECT_EQ(std::make_pair(a.Mix[0], a.Mix[100]), std::make_pair(3.0, 0.0));
    EXPECT_DOUBLE_EQ(st.TableRows[7][2], -1.0);  // stored as -1
    // an edge of width 0 fails and leaves no non-finite value
    st.Grid[kRowMix][3] = "7";
    st.Grid[kRowMix][1] = "0";
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kEffectsInvalid});
    for (int j = 0; j < a.Nn; ++j) EXPECT_TRUE(std::isfinite(a.Mix[j]) && std::isfinite(a.S[j]));
}

// A negative mixing coefficient would drive the concentrations away from
// their mean: such a segment does not mix (0 at its nodes and in its window)
// and the table is reported, while the other segment mixes as typed.
TEST_F(Effects, ANegativeMixingSegmentDoesNotMix)
{
    Prepare(Kcl(), 100, 0.5, 1e-4);
    st.cbMix = true;
    Table(2, {{kRowRatio, {"1", "1"}}, {kRowMix, {"3", "-2"}}});
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kEffectsInvalid});
    const EngineArrays& a = st.Arr;
    EXPECT_EQ(std::make_pair(a.Mix[0], a.MixWindow[1][0]), std::make_pair(3.0, 3.0));
    for (int j = 0; j < a.Nn; ++j) {
        EXPECT_GE(a.Mix[j], 0.0) << j;
        EXPECT_GE(a.MixWindow[2][j], 0.0) << j;
    }
    EXPECT_EQ(std::make_pair(a.Mix[100], a.MixWindow[2][100]), std::make_pair(0.0, 0.0));
}

TEST_F(Effects, TheTableCopySurvivesRestoringTheGrid)
{
    Prepare(Kcl(), 100, 0.5, 1e-4);
    Table(3, {{kRowRatio, {"1", "2", "1"}}, {kRowS, {"1.5", "2", "2.5"}}});
    EXPECT_EQ(std::make_pair(st.Grid[0][2], st.Grid[0][3]),
              std::make_pair(std::string("125"), std::string("250")));
    st.Grid[kRowMix][4] = "?";
    StoreEffectsTable(st.effects());
    const auto rows = st.TableRows;
    const auto edges = st.TableEdge;
    st.Grid.clear();
    RestoreEffectsTable(st);
    StoreEffectsTable(st.effects());
    EXPECT_TRUE(st.TableRows == rows && st.TableEdge == edges);
    EXPECT_DOUBLE_EQ(st.TableRows[7][3], -1.0);
}

// Steady Joule heating at constant current: the energy balance per volume
// gives dT = p j^2 / kappa(T); the temperature relaxes with tau = rho cp p.
TEST_F(Effects, JouleHeatingReachesTheEnergyBalanceWithItsRelaxationTime)
{
    for (const double current : {20.0, 2.0}) {  // uA: a rise of about 5 K, then 0.05 K
        Reset();
        Prepare(Kcl(), 20, 0.01, 3.5e-4);
        st.rbVoltage = false;
        st.UI = current;
        st.cbH = true;  // p from the default row: d/4/1500
        Table(1, {});
        ASSERT_TRUE(InitCalc(st));
        st.cbLWMove = st.cbRWMove = false;
        const double p = st.Arr.HeatP[10], T0 = st.Arr.T0[10];
        const double tau = kRhoCp * p;
        std::vector<double> t, dT;
        host.onProcessMessages = [&](int) {
            t.push_back(st.Time);
            dT.push_back(st.Arr.T(2)[10] - T0);
        };
        Run(20 * tau);
        const double j = st.I / st.Arr.S[10];
        const double expected = p * j * j / st.Arr.Kappa[10];
        EXPECT_NEAR(dT.back(), expected, 1e-3) << current;
        if (current > 5) {
            EXPECT_GT(expected, 3.0);
            continue;
        }
        // time of 1 - 1/e of the rise, interpolated between steps
        const double target = (1 - std::exp(-1.0)) * dT.back();
        double tEst = 0;
        for (std::size_t k = 1; k < dT.size(); ++k)
            if (dT[k - 1] < target && dT[k] >= target) {
                tEst = t[k - 1] + (target - dT[k - 1]) / (dT[k] - dT[k - 1]) * (t[k] - t[k - 1]);
                break;
            }
        EXPECT_NEAR(tEst / tau, 1.0, 0.02);
    }
}

// Heat conduction without current: the variance of a small temperature pulse
// grows by 2 alpha t, alpha = k / (rho cp); the loss term scales only the amplitude.
TEST_F(Effects, ATemperaturePulseSpreadsWithTheThermalDiffusivity)
{
    Prepare(Kcl(), 200, 0.01, 1e-3);
    st.UI = 0;
    st.cbH = st.cbDiffusion = true;
    Table(1, {{kRowP, {"1000000"}}});
    ASSERT_TRUE(InitCalc(st));
    st.cbLWMove = st.cbRWMove = false;
    EngineArrays& a = st.Arr;
    const double T0 = a.T0[0], s0 = 5e-4, x0 = 0.005;
    for (int l = 1; l <= 5; ++l)
        for (int j = 0; j < a.Nn; ++j)
            a.T(l)[j] = T0 + 0.1 * std::exp(-(X(j) - x0) * (X(j) - x0) / (2 * s0 * s0));
    auto variance = [&] {
        double m0 = 0, m1 = 0, m2 = 0;
        for (int j = 0; j < a.Nn; ++j) {
            const double w = a.T(2)[j] - T0;
            m0 += w;
            m1 += w * X(j);
            m2 += w * X(j) * X(j);
        }
        return m2 / m0 - (m1 / m0) * (m1 / m0);
    };
    const double v0 = variance();
    Run(2.0);
    EXPECT_NEAR((variance() - v0) / (2 * st.Time) / kAlpha, 1.0, 0.01);
}

// A neutral plug carried by the static EOF at v = mu U / L; in a capillary of
// two sections the volume flow is continuous, so the plug slows by S1/S2.
TEST_F(Effects, NeutralPlugsFollowTheVolumeFlow)
{
    auto velocity = [&](double inj, bool stepped) {
        Reset();
        Prepare(KclWithNeutral(1.0), 500, 0.025, 2e-3);
        st.InjSitePending = inj;
        st.PeakWidthPending = 1.0;
        st.rbVoltage = true;
        st.UI = 250;
        st.EOFMob = 50e-9;
        st.cbEOFDif = true;
        st.cbS = true;
        Table(2, {{kRowS, {"1", stepped ? "2" : "1"}}});
        EXPECT_TRUE(InitCalc(st));
        const auto [m0, x0] = Moments(3);
        const double t0 = st.Time;
        Run(4.0);
        const auto [m1, x1] = Moments(3);
        EXPECT_NEAR(m1 / m0, 1.0, 1e-6);
        return (x1 - x0) / (st.Time - t0);
    };
    const double v = 50e-9 * 250 / 0.025;
    EXPECT_NEAR(velocity(6.0, false) / v, 1.0, 1e-4);
    const double v1 = velocity(5.0, true), v2 = velocity(16.0, true);
    EXPECT_NEAR(v1 / v, 1.0, 1e-3);  // S1 = 1e-9 m2, the reference section
    EXPECT_NEAR(v1 / v2, 2.0, 0.02);
}

// Constant current across a cross-section step: U = I * integral dx / (kappa S).
TEST_F(Effects, VoltageFollowsTheResistanceOfTheSections)
{
    Prepare(Kcl(), 400, 0.025, 1e-4);
    st.rbVoltage = false;
    st.UI = 10;
    st.cbS = true;
    Table(2, {{kRowRatio, {"1", "3"}}, {kRowS, {"1", "2"}}});
    ASSERT_TRUE(InitCalc(st));
    const double kappa = kF * (kUK + kUCl) * 1e-9 * 10.0;
    const double R = (0.025 / 4 / 1e-9 + 0.025 * 3 / 4 / 2e-9) / kappa;
    EXPECT_NEAR(st.U / (st.I * R), 1.0, 0.005);
}

// Henderson-Hasselbalch at the wall: half the groups are dissociated at pH = pK.
TEST_F(Effects, DynamicEOFIsHalfTheMaximumAtTheWallPK)
{
    Prepare(Kcl(), 50, 0.025, 1e-4);
    st.cbEOF = true;
    Table(1, {{kRowPKEOF, {"5.5"}}, {kRowUEOF, {"50"}}});
    ASSERT_TRUE(InitCalc(st));
    EngineArrays& a = st.Arr;
    for (int j = 0; j < a.Nn; ++j) {
        a.CH(2)[j] = std::pow(10.0, 3 - 5.5);
        a.E[j] = 1e4;
    }
    // a negatively charged wall drives the flow the way a positive EOF mobility does
    EXPECT_NEAR(CalcEOFMobility(st) / (0.5 * 50e-9 * 1e4), 1.0, 1e-9);
    st.rbPK_pos = true;
    EXPECT_NEAR(CalcEOFMobility(st) / (0.5 * 50e-9 * 1e4), -1.0, 1e-9);
    EXPECT_EQ(st.EOFMobCalc, CalcEOFMobility(st));
}

// Mixing relaxes every node towards the volume mean: (C - mean) ~ exp(-k t),
// and the amount sum S C DX stays.
TEST_F(Effects, MixingDecaysExponentiallyAndConserves)
{
    Prepare(KclWithNeutral(1.0), 200, 0.025, 1e-3);
    st.InjSitePending = 12.5;
    st.PeakWidthPending = 8.0;
    st.UI = 0;
    st.cbS = st.cbMix = true;
    Table(1, {{kRowMix, {"10"}}});
    ASSERT_TRUE(InitCalc(st));
    const double m0 = Moments(3).first;
    const double mean = m0 / (st.Arr.S[0] * st.DX * st.Arr.Nn);
    const double d0 = st.Arr.C(2, 3)[100] - mean;
    const double t0 = st.Time;
    Run(0.3);
    EXPECT_NEAR(Moments(3).first / m0, 1.0, 1e-12);
    const double d1 = st.Arr.C(2, 3)[100] - mean;
    EXPECT_NEAR(d1 / d0 / std::exp(-10 * (st.Time - t0)), 1.0, 1e-3);
}

// Zones migrating through a capillary with a cross-section step keep their amounts.
TEST_F(Effects, AmountsAreConservedWithASteppedCrossSection)
{
    Prepare(AcetateBufferWithAnalytes(), 250, 0.025, 1e-4);
    st.InjSitePending = 10.0;
    st.UI = 250;
    st.cbS = true;
    Table(2, {{kRowS, {"1.5", "3"}}}, 0.5);
    ASSERT_TRUE(InitCalc(st));
    std::vector<double> before(5);
    for (int i = 1; i <= 4; ++i) before[i] = Moments(i).first;
    Run(0.5);
    for (int i = 1; i <= 4; ++i) EXPECT_NEAR(Moments(i).first / before[i], 1.0, 1e-4) << i;
}

// The simplified heating does not diverge at small rises (its relaxation fit
// has a negative time constant below about 0.19 K), and a node without
// heating coefficient stays at its ambient temperature.
TEST_F(Effects, SimplifiedHeatingStaysFiniteAtSmallRises)
{
    Prepare(Kcl(), 20, 0.01, 1e-4);
    st.rbVoltage = false;
    st.UI = 1;  // a rise of about 0.01 K
    st.cbH = st.cbAccT = true;
    Table(1, {});
    ASSERT_TRUE(InitCalc(st));
    Run(0.05);
    const EngineArrays& a = st.Arr;
    const double j = st.I / a.S[10];
    EXPECT_NEAR(a.T(2)[10] - a.T0[10], a.HeatP[10] * j * j / a.Kappa[10], 1e-6);
    st.Grid[kRowP][2] = "0";
    ASSERT_TRUE(InitCalc(st));
    Run(0.01);
    for (int k = 0; k < a.Nn; ++k) EXPECT_EQ(a.T(2)[k], a.T0[k]);
}

// Effects switched on after an Init without any: the profiles are there with
// their defaults. Heating at constant current in a uniform capillary reaches
// the energy balance p j^2 = kappa(T) dT per volume with the default heat-loss
// coefficient p = d / 4 / 1500 K m3/W; the conductivity of 10 mM KCl grows by
// 2.05 % per K. The dynamic EOF with the default wall (pK 5.5, 50e-9 m2/(V s))
// carries a neutral plug at pH 7 with alpha = K / (K + cH).
TEST_F(Effects, EffectsTickedAfterAnInitWithoutThemWorkWithTheirDefaults)
{
    Prepare(Kcl(), 20, 0.01, 3.5e-4);
    st.rbVoltage = false;
    st.UI = 20;  // uA
    ASSERT_TRUE(InitCalc(st));
    st.cbLWMove = st.cbRWMove = false;
    st.cbH = true;
    const double d = st.CapDiameter, S = kPi * d * d / 4, p = d / 4 / 1500;
    const double j = 20e-6 / S, kappa25 = kF * (kUK + kUCl) * 1e-9 * 10.0, a = 0.0205;
    // a kappa25 dT^2 + kappa25 dT - p j^2 = 0 (ambient 25 degC)
    const double rise = (-1 + std::sqrt(1 + 4 * a * p * j * j / kappa25)) / (2 * a);
    ASSERT_GT(rise, 3.0);
    Run(20 * kRhoCp * p);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    for (int n = 0; n < st.Arr.Nn; ++n)
        EXPECT_NEAR((st.Arr.T(2)[n] - 298.15) / rise, 1.0, 0.01) << n;

    Reset();
    Prepare(KclWithNeutral(1.0), 500, 0.025, 2e-3);
    st.InjSitePending = 6.0;
    st.PeakWidthPending = 1.0;
    st.rbVoltage = true;
    st.UI = 250;
    st.EOFMob = 0;
    st.cbEOFDif = true;
    ASSERT_TRUE(InitCalc(st));
    st.cbEOF = true;
    const auto [m0, x0] = Moments(3);
    const double t0 = st.Time;
    Run(4.0);
    const auto [m1, x1] = Moments(3);
    EXPECT_NEAR(m1 / m0, 1.0, 1e-6);
    const double K = std::pow(10.0, 3 - 5.5), cH = 1e-4;  // mM
    EXPECT_NEAR((x1 - x0) / (st.Time - t0) / (50e-9 * K / (K + cH) * 250 / 0.025), 1.0, 1e-3);
    EXPECT_TRUE(sink.warnings.empty());
}

// Heating from the "hOA" row: the heat a segment loses through its wall per
// length, hOA pi d dT, balances the Joule power j E pi d^2 / 4, so the heating
// coefficient is p = d / (4 hOA) with the diameter of the "ID" row. At constant
// voltage in a uniform capillary E = U / L, and 10 mM KCl conducts
// kappa25 (1 + 0.0205 dT): the steady rise is dT = p E^2 kappa25 / (1 - 0.0205
// p E^2 kappa25). Ticked after an Init without effects, as a user ticks it.
TEST_F(Effects, HeatingFromTheHOARowAtConstantVoltageReachesTheWallLossBalance)
{
    Prepare(Kcl(), 20, 0.01, 3.5e-4);
    st.rbVoltage = true;
    st.UI = 400;             // V
    st.rbD = st.rbH = true;  // the diameter and hOA are typed, S and p computed
    Table(1, {{kRowID, {"75"}}, {kRowHOA, {"1000"}}});
    ASSERT_TRUE(InitCalc(st));
    st.cbLWMove = st.cbRWMove = false;
    st.cbS = st.cbH = true;
    ASSERT_TRUE(ApplyEffects(st));
    const double d = 75e-6, p = d / (4 * 1000.0);
    for (int n = 0; n < st.Arr.Nn; ++n) {
        EXPECT_NEAR(st.Arr.HeatP[n] / p, 1.0, 1e-12) << n;
        EXPECT_NEAR(st.Arr.S[n] / (kPi * d * d / 4), 1.0, 1e-12) << n;
    }
    const double E = 400 / 0.01, kappa25 = kF * (kUK + kUCl) * 1e-9 * 10.0, q = p * E * E * kappa25;
    const double rise = q / (1 - 0.0205 * q);
    ASSERT_GT(rise, 4.0);
    Run(20 * kRhoCp * p);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    for (int n = 0; n < st.Arr.Nn; ++n)
        EXPECT_NEAR((st.Arr.T(2)[n] - 298.15) / rise, 1.0, 5e-4) << n;
    // the current follows the warmer conductivity: I = kappa25 (1 + 0.0205 dT) E S
    EXPECT_NEAR(st.I / (kappa25 * (1 + 0.0205 * rise) * E * kPi * d * d / 4), 1.0, 5e-4);
}

// A bad cell costs only its own value: its row default takes its place and
// every other cell and row is built; an edge of width 0 gives its own row
// sharp steps (half way on a boundary node) and leaves the other rows alone.
TEST_F(Effects, ABadCellOrAZeroEdgeCostsOnlyItsOwnValue)
{
    Prepare(Kcl(), 100, 0.5, 1e-4);
    st.cbS = st.cbT = st.cbMix = true;
    Table(2, {{kRowS, {"1.5", "3"}}, {kRowT, {"40", "30"}}, {kRowMix, {"3", "x"}}});
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kEffectsInvalid});
    const EngineArrays& a = st.Arr;
    auto rowsKept = [&] {
        EXPECT_NEAR(a.S[0], 1.5e-9, 1e-21);
        EXPECT_NEAR(a.S[100], 3e-9, 1e-21);
        for (int l = 1; l <= 5; ++l) {
            EXPECT_NEAR(a.T(l)[0], 313.15, 1e-9);
            EXPECT_NEAR(a.T(l)[100], 303.15, 1e-9);
        }
        EXPECT_NEAR(a.T0[0], 313.15, 1e-9);
        EXPECT_NEAR(a.T0[100], 303.15, 1e-9);
    };
    rowsKept();
    EXPECT_EQ(std::make_pair(a.Mix[0], a.Mix[100]), std::make_pair(3.0, 0.0));
    EXPECT_EQ(std::make_pair(a.MixWindow[1][10], a.MixWindow[2][90]), std::make_pair(3.0, 0.0));

    st.Grid[kRowMix][3] = "7";
    st.Grid[kRowMix][1] = "0";
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kEffectsInvalid});
    rowsKept();
    EXPECT_EQ(std::make_tuple(a.Mix[49], a.Mix[50], a.Mix[51]), std::make_tuple(3.0, 5.0, 7.0));
    EXPECT_EQ(std::make_tuple(a.MixWindow[1][49], a.MixWindow[1][50], a.MixWindow[2][50],
                              a.MixWindow[2][51]),
              std::make_tuple(3.0, 1.5, 3.5, 7.0));

    // a temperature below absolute zero is a bad cell too: the ambient temperature in its place
    st.Grid[kRowT][2] = "-300";
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kEffectsInvalid});
    EXPECT_EQ(std::make_pair(a.T0[0], a.T(2)[0]), std::make_pair(st.Temperature, st.Temperature));
    EXPECT_NEAR(a.T0[100], 303.15, 1e-9);
}

// The starter makes the state the oldest level of its history, temperature
// included: with the heating switched off during a run its history is the
// state's temperature, held, so that heating ticked again continues from it.
// Init ends with the temperature update: the simplified heating of a small
// rise (whose relaxation fit has no positive time constant) is at its steady
// value p j^2 / kappa right after Init.
TEST_F(Effects, TheStarterHoldsTheStateTemperatureAndInitEndsWithTheTemperatureUpdate)
{
    Prepare(Kcl(), 20, 0.01, 3.5e-4);
    st.rbVoltage = false;
    st.UI = 20;
    st.cbH = true;
    ASSERT_TRUE(InitCalc(st));
    st.cbLWMove = st.cbRWMove = false;
    const double tau = kRhoCp * st.Arr.HeatP[10];
    Run(0.5 * tau);  // still rising
    EngineArrays& a = st.Arr;
    ASSERT_GT(a.T(2)[10] - a.T(5)[10], 1e-3);
    st.cbH = false;
    st.Restart = true;
    Run(st.Time + 3 * st.DT);
    const std::vector<double> held(a.T(2), a.T(2) + a.Nn);
    EXPECT_GT(held[10] - a.T0[10], 1.0);
    for (int l = 1; l <= 5; ++l)
        for (int n = 0; n < a.Nn; ++n) EXPECT_EQ(a.T(l)[n], held[n]) << l << " " << n;

    Reset();
    Prepare(Kcl(), 20, 0.01, 1e-4);
    st.rbVoltage = false;
    st.UI = 1;  // a rise of about 0.01 K
    st.cbH = st.cbAccT = true;
    ASSERT_TRUE(InitCalc(st));
    const double j = st.I / a.S[10];
    EXPECT_NEAR((a.T(2)[10] - a.T0[10]) / (a.HeatP[10] * j * j / a.Kappa[10]), 1.0, 1e-6);
}
