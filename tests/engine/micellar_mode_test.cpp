// Micellar and racemic modes against results that do not use the engine's
// formulas: the pseudo-phase partition of each node (micelles above the CMC
// only, 1:1 binding by mass action), micellar electrokinetic retention of a
// neutral analyte (velocity = bound fraction x micelle velocity), conservation
// of every constituent, and first-order interconversion of two forms; and a
// set-up made invalid after Init stopping the run instead of reading past the
// composition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

constexpr double kCMC = 2.0;  // mM
constexpr int kOM = 64;

TComponents Binding(TComponents rec, double pKMic, double uMic = 40.0)
{
    rec.pKMicA = pKMic;
    rec.uMicA = uMic;
    return rec;
}

TComponents Neutral(const std::string& name, double c, double cInj, double pKMic, int type = BGE)
{
    return Binding(Constituent(name, 0, 0, {0.0}, {0.0}, type, c, cInj), pKMic);
}

// Micellar run of `comp` (surfactant first) on `nodes` nodes of 25 mm.
bool InitMicellar(RunState& st, const TUnivSet<TComponents>& comp, int nodes, double volts)
{
    PrepareRun(st, comp, nodes);
    SetZoneAndVoltage(st, 12.5, 2.0, 0.5, volts);
    st.cbSDS = true;
    st.MicCompNo = 1;
    st.CMC = kCMC;
    st.OM = kOM;
    return InitCalc(st);
}

// The micellar buffer: surfactant and sodium (c and injected c), an acid and
// a neutral constituent that bind to the micelles.
TUnivSet<TComponents> SdsBuffer(double cSds, double cSdsInj, double cNa, double cNaInj)
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("SDS", 30.0, BGE, cSds, cSdsInj));
    comp.Add(StrongCation("Sodium", kUNa, BGE, cNa, cNaInj));
    comp.Add(Binding(WeakAcid("Acid", kPKAcetic, kUAcetate, BGE, 2.0, 3.0), -2.5, 25.0));
    comp.Add(Neutral("Binder", 0.5, 3.0, -3.0));
    return comp;
}

double Amount(const std::vector<double>& c)
{
    return Moments(c, 1.0).amount;
}

}  // namespace

TEST(Micellar, EachNodeHoldsThePseudoPhasePartitionAndNoMicellesAtOrBelowTheCMC)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp = SdsBuffer(20.0, 40.0, 22.0, 42.0);  // a zone of more surfactant
    comp.Add(Neutral("Free", 0.5, 3.0, 30.0));
    const double K[] = {0, 0, 0, std::pow(10.0, 2.5 - 3), std::pow(10.0, 3.0 - 3), 0};
    RunState st;
    ASSERT_TRUE(InitMicellar(st, comp, 120, 100.0));
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    CalcDER(st, 2, false);
    const EngineArrays& a = st.Arr;
    int above = 0;
    for (int j = st.LeftWall; j <= st.RightWall; ++j) {
        const double cs = a.C(2, 1)[j], x = a.MicFree[j];
        const double B = cs > kCMC ? (cs - kCMC) / kOM : 0.0;
        above += B > 0;
        // micelles: free ones and those holding a bound analyte
        double micelles = x;
        for (int i = 2; i <= 5; ++i) micelles += a.MicBound[i][j];
        EXPECT_NEAR(micelles, B, 1e-9 * B) << j;
        EXPECT_DOUBLE_EQ(a.MicConc[j], std::min(cs, kCMC)) << j;
        for (int i = 2; i <= 5; ++i) {
            const double b = a.C(2, i)[j], mb = a.MicBound[i][j];
            // mass action: bound / (free analyte x free micelles) = K; nothing bound with K = 0
            EXPECT_NEAR(K[i] == 0 ? mb : mb / ((b - mb) * x), K[i], 1e-9 * K[i]) << i << " " << j;
        }
    }
    EXPECT_GT(above, 100);
    // the chart: CMC profile, micelles of the drawn surfactant profile, the
    // bound part of constituent 2 (sodium: none)
    const RunSeries& sr = st.Series;
    ASSERT_TRUE(sr.sr_mic.Count() == a.Nn && sr.sr_CMC.Count() == a.Nn &&
                sr.sr_MicDye.Count() == a.Nn);
    for (int j = 0; j < a.Nn; ++j) {
        const double cs = a.C(2, 1)[j];
        EXPECT_EQ(sr.sr_CMC.y[j], kCMC);
        EXPECT_DOUBLE_EQ(sr.sr_mic.y[j], cs > kCMC ? (cs - kCMC) / kOM : 0.0);
        EXPECT_EQ(sr.sr_MicDye.y[j], 0.0);
    }

    // At or below the CMC everywhere: no micelles, nothing bound, the
    // effective mobilities of the speciation, and every constituent moves as
    // without micelles (the surfactant as monomer).
    for (double cInj : {kCMC, 1.5}) {
        RunState mic;
        ASSERT_TRUE(InitMicellar(mic, SdsBuffer(1.0, cInj, 3.0, 2.0 + cInj), 120, 100.0));
        RunState plain = mic;
        plain.cbSDS = false;
        CalcDER(mic, 2, false);
        CalcDER(plain, 2, false);
        const EngineArrays &m = mic.Arr, &p = plain.Arr;
        double fMax = 0;
        for (int i = 1; i <= 4; ++i)
            for (int j = 0; j < m.Nn; ++j) fMax = std::max(fMax, std::abs(p.F(2, i)[j]));
        for (int j = mic.LeftWall; j <= mic.RightWall; ++j) {
            EXPECT_TRUE(m.MicFree[j] == 0.0 && m.MicConc[j] == m.C(2, 1)[j]) << j;
            EXPECT_NEAR(m.E[j], p.E[j], 1e-12 * std::abs(p.E[j]));
            for (int i = 1; i <= 4; ++i) {
                EXPECT_TRUE(m.MicBound[i][j] == 0.0 && m.UEff[i][j] == p.UEff[i][j])
                    << i << " " << j;
                EXPECT_NEAR(m.F(2, i)[j], p.F(2, i)[j], 1e-6 * fMax) << i << " " << j;
            }
        }
    }
}

TEST(Micellar, NeutralAnalyteMovesWithItsBoundFractionOfTheMicellesAndTotalsAreKept)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 20.0, 20.0));
    comp.Add(Neutral("Binder", 0.0, 1e-4, -3.0, Analyte));  // K = 1/mM
    comp.Add(Neutral("Free", 0.0, 1e-4, 30.0, Analyte));    // not bound
    RunState st;
    ASSERT_TRUE(InitMicellar(st, comp, 250, 200.0));
    std::vector<std::vector<double>> c0;
    for (int i = 1; i <= 4; ++i) c0.push_back(Profile(st, i));
    // the window stays the whole capillary, so every flux stays inside
    st.cbLWMove = st.cbRWMove = false;
    // totals, while every disturbance of the background is inside the capillary
    st.StopTime = 6.0;
    st.DT = 1e-3;
    RunCalc(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 5.9);
    for (int i = 1; i <= 4; ++i)
        EXPECT_NEAR(Amount(Profile(st, i)), Amount(c0[i - 1]), 1e-10 * Amount(c0[i - 1])) << i;
    // the run goes on to 20 s
    st.StopTime = 20.0;
    RunCalc(st);
    StopCalc(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 19.9);
    // the pseudo-phase model: all surfactant above the CMC in micelles, the
    // trace analyte bound in proportion K x / (1 + K x); the micelles move at
    // their mobility (the surfactant fully charged) in the field
    const double x = (20.0 - kCMC) / kOM, theta = 1.0 * x / (1.0 + 1.0 * x);
    const double vMic = -40e-9 * st.Arr.E[st.NX / 2];
    ASSERT_NEAR(st.Arr.E[st.NX / 2], 200.0 / 0.025, 0.01 * 200.0 / 0.025);
    const double moved = Moments(st, 3).mean - Moments(c0[2], st.DX).mean;
    EXPECT_NEAR(moved, theta * vMic * st.Time, 0.02 * std::abs(theta * vMic * st.Time));
    const double still = Moments(st, 4).mean - Moments(c0[3], st.DX).mean;
    EXPECT_LT(std::abs(still), 1e-3 * std::abs(moved));
    for (int i : {3, 4})
        EXPECT_NEAR(Amount(Profile(st, i)), Amount(c0[i - 1]), 1e-10 * Amount(c0[i - 1])) << i;
}

TEST(Racemic, FreeFormsInterconvertAtFirstOrderAndTheirSumIsKept)
{
    RecordingMessageSink sink;
    const double kF = 0.5;  // 1/s
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("Selector", 30.0, BGE, 1.0, 1.0));
    comp.Add(Neutral("R", 1.0, 1.0, 30.0));
    comp.Add(Neutral("S", 0.2, 0.2, 30.0));
    TComponents rates = Neutral("Rates", kF, kF, 30.0);
    rates.uMicA = 0.0;
    comp.Add(rates);
    comp.Add(StrongCation("Sodium", kUNa, BGE, 1.0, 1.0));
    RunState st;
    st.cbRacemic = true;
    ASSERT_TRUE(InitMicellar(st, comp, 40, 0.0));
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    const int j = 20;
    const double d0 = st.Arr.C(2, 2)[j] - st.Arr.C(2, 3)[j],
                 s0 = st.Arr.C(2, 2)[j] + st.Arr.C(2, 3)[j];
    RunFixed(st, 2.0, 1e-4);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 1.99);
    const double d = st.Arr.C(2, 2)[j] - st.Arr.C(2, 3)[j];
    EXPECT_NEAR(d, d0 * std::exp(-2.0 * kF * st.Time), 1e-6 * d0 * std::exp(-2.0 * kF * st.Time));
    EXPECT_NEAR(st.Arr.C(2, 2)[j] + st.Arr.C(2, 3)[j], s0, 1e-12 * s0);

    // the chart shows the sum of the two forms in place of the CMC
    RedrawGraph(st);
    EXPECT_EQ(st.Series.sr_CMC.y[j], st.Arr.C(2, 2)[j] + st.Arr.C(2, 3)[j]);

    // the rates are read at every call: with kF = 0 nothing converts
    RunState frozen = st;
    frozen.CompInit.IndexAddress(4)->data.c = 0.0;
    CalcDER(frozen, 2, false);
    EXPECT_EQ(frozen.Arr.F(2, 2)[j], 0.0);
}

TEST(Micellar, ASetUpMadeInvalidAfterInitStopsTheRunWithItsMessage)
{
    RecordingMessageSink sink;
    RecordingHost host;
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 20.0, 20.0));
    comp.Add(Neutral("Binder", 0.0, 1e-3, -3.0));
    comp.Add(Constituent("Ampholyte", -1, 1, {3.0, 0, 9.0}, {20, 0, 20}, Analyte, 0.0, 1e-3));
    const std::string index =
        "Incorrect index number of micellizing constituent defined by \"Mic. Constituent No.\".";
    const std::string valency = "Incorrect valency of micellizing constituent.";
    // numbers above and below the constituents, a neutral constituent, an
    // ampholyte, aggregation number 0, no CMC profile, one of another grid
    const std::pair<std::function<void(RunState&)>, std::string> cases[] = {
        {[](RunState& s) { s.MicCompNo = 5; }, index},
        {[](RunState& s) { s.MicCompNo = -3; }, index},
        {[](RunState& s) { s.MicCompNo = 3; }, valency},
        {[](RunState& s) { s.MicCompNo = 4; }, valency},
        {[](RunState& s) { s.OM = 0; }, kMicAggregationNumber},
        {[](RunState& s) { MicellarState(s).profileReady = false; }, "Press INIT"},
        {[](RunState& s) { s.Arr.CMCProfile.resize(7); }, "Press INIT"}};
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& [spoil, message] = cases[k];
        RunState st;
        ASSERT_TRUE(InitMicellar(st, comp, 60, 100.0));
        host.Attach(st);
        // the first steps run, then the set-up changes under the running run
        int pumps = 0;
        host.onProcessMessages = [&](int) {
            if (++pumps == 3) spoil(st);
        };
        sink.Clear();
        RunTo(st, 1.0, 1e-3);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{message}) << k;
        EXPECT_LT(st.Time, 0.5) << k;
        host.onProcessMessages = nullptr;
        host.Detach();
        // a derivative call stops again, without another message and without
        // touching the derivatives
        const std::vector<double> f(st.Arr.F(2, 1), st.Arr.F(2, 1) + st.Arr.Nn);
        st.Stop = false;
        CalcDER(st, 2, false);
        EXPECT_TRUE(st.Stop && st.NumericalFailure && sink.warnings.size() == 1) << k;
        EXPECT_EQ(std::vector<double>(st.Arr.F(2, 1), st.Arr.F(2, 1) + st.Arr.Nn), f) << k;
    }

    // micellar mode switched on after a run initialised without it
    RunState st;
    ASSERT_TRUE(InitMicellar(st, comp, 60, 100.0));
    st.cbSDS = false;
    ASSERT_TRUE(InitCalc(st));
    st.cbSDS = true;
    sink.Clear();
    CalcDER(st, 2, false);
    EXPECT_TRUE(st.Stop && sink.warnings == std::vector<std::string>{"Press INIT"});
    // racemic mode switched on for a run of fewer than four constituents
    comp.RemoveNode(4);
    st.Composition = comp;
    ASSERT_TRUE(InitCalc(st));
    st.cbRacemic = true;
    sink.Clear();
    CalcDER(st, 2, false);
    EXPECT_TRUE(st.Stop);
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Racemic Mode requires at least 4 constituents."});
}

TEST(Racemic, WithoutRatesItIsTheMicellarModeWithoutTheFlowVelocity)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 40.0));
    comp.Add(Binding(WeakAcid("Acid", kPKAcetic, kUAcetate, BGE, 2.0, 3.0), -2.5, 25.0));
    comp.Add(Neutral("Binder", 0.5, 3.0, -3.0));
    TComponents rates = Neutral("Rates", 0.0, 0.0, 30.0);
    rates.uMicA = 0.0;
    comp.Add(rates);
    comp.Add(StrongCation("Sodium", kUNa, BGE, 24.0, 45.0));
    RunState racemic;
    racemic.cbRacemic = true;
    ASSERT_TRUE(InitMicellar(racemic, comp, 80, 100.0));
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    racemic.EOFMob = 2e-8;
    racemic.cbFlow = true;  // the velocity form of the EOF is the micellar mode's alone
    RunState micellar = racemic;
    micellar.cbRacemic = false;
    CalcDER(racemic, 2, false);
    CalcDER(micellar, 2, false);
    const EngineArrays &r = racemic.Arr, &m = micellar.Arr;
    const double h1 = 0.5 / racemic.DX;
    for (int i = 1; i <= 5; ++i)
        for (int j = racemic.LeftWall + 1; j < racemic.RightWall; ++j) {
            const double flow = -(2e-8 * 1e9) * (r.C(2, i)[j + 1] - r.C(2, i)[j - 1]) * h1;
            ASSERT_NEAR(m.F(2, i)[j], r.F(2, i)[j] + flow, 1e-12 * (1 + std::abs(m.F(2, i)[j])))
                << i << " " << j;
        }
    EXPECT_GT(r.MicBound[3][40], 0.0);  // something is bound
    micellar.cbFlow = racemic.cbFlow = false;
    CalcDER(racemic, 2, false);
    CalcDER(micellar, 2, false);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(std::vector<double>(m.F(2, i), m.F(2, i) + m.Nn),
                  std::vector<double>(r.F(2, i), r.F(2, i) + r.Nn));
}

// The effective mobility the mode writes for a constituent that binds to the
// micelles is the mean over its free and bound states: a neutral one moves
// with theta u_mic, theta = K x / (1 + K x) the bound fraction (x the free
// micelles), and a weak acid with (1 - theta) u_free + theta u_mic. The free
// micelles come from the pseudo-phase balance x + sum K c x / (1 + K x) =
// (c_S - CMC) / OM, solved here by bisection. Micelles of an anionic
// surfactant migrate against the field, those of a cationic one with it.
TEST(Micellar, EffectiveMobilityOfABindingConstituentIsItsBoundFractionOfTheMicelles)
{
    const double uMicN = 40.0, uMicA = 25.0;              // 1e-9 m2/(V s)
    const double KN = 1.0, KA = std::pow(10.0, 2.5 - 3);  // 1/mM (pK -3 and -2.5)
    // C_T: the analytical concentration binds and the free share (1 - theta)
    // keeps its own mobility; C_0: the neutral form alone binds and the
    // micellar share adds to the free mobility.
    for (const bool neutralForm : {false, true})
        for (const bool cationic : {false, true}) {
            SCOPED_TRACE(cationic ? "cationic surfactant" : "anionic surfactant");
            SCOPED_TRACE(neutralForm ? "C_0" : "C_T");
            RecordingMessageSink sink;
            TUnivSet<TComponents> comp;
            comp.Add(cationic ? StrongCation("CTA", 30.0, BGE, 20.0, 26.0)
                              : StrongAnion("SDS", 30.0, BGE, 20.0, 26.0));
            comp.Add(cationic ? StrongAnion("Chloride", kUCl, BGE, 20.0, 26.0)
                              : StrongCation("Sodium", kUNa, BGE, 20.0, 20.0));
            comp.Add(Binding(WeakAcid("Acid", kPKAcetic, kUAcetate, BGE, 2.0, 1.0), -2.5, uMicA));
            comp.Add(
                Binding(Constituent("Binder", 0, 0, {0.0}, {0.0}, Analyte, 0.0, 0.5), -3.0, uMicN));
            RunState st;
            st.rbC0 = neutralForm;
            ASSERT_TRUE(InitMicellar(st, comp, 100, 100.0));
            CalcDER(st, 2, false);
            ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
            EngineArrays& a = st.Arr;
            const double sign = cationic ? 1.0 : -1.0;
            int checked = 0;
            for (int j = st.LeftWall; j <= st.RightWall; ++j) {
                const double h = a.CH(2)[j], Ka = std::pow(10.0, 3 - kPKAcetic);
                const double cS = a.C(2, 1)[j], cN = a.C(2, 4)[j];
                const double cA = a.C(2, 3)[j] * (neutralForm ? h / (h + Ka) : 1.0);
                const double B = (cS - kCMC) / kOM;
                ASSERT_GT(B, 0.0);
                double lo = 0, hi = B;
                for (int it = 0; it < 200; ++it) {
                    const double x = 0.5 * (lo + hi);
                    (x + KA * cA * x / (1 + KA * x) + KN * cN * x / (1 + KN * x) > B ? hi : lo) = x;
                }
                const double x = 0.5 * (lo + hi);
                const double thetaN = KN * x / (1 + KN * x), thetaA = KA * x / (1 + KA * x);
                // the micelles carry the charge of the surfactant's charged fraction
                const double Ks = std::pow(10.0, 3 - (cationic ? kPKStrongCation : kPKStrongAnion));
                const double charged = cationic ? h / (h + Ks) : Ks / (Ks + h);
                EXPECT_NEAR(a.UEff[4][j], sign * thetaN * uMicN * 1e-9 * charged,
                            1e-9 * uMicN * 1e-9)
                    << j;
                const double uFree = -kUAcetate * 1e-9 * Ka / (Ka + h);
                EXPECT_NEAR(a.UEff[3][j],
                            (neutralForm ? 1.0 : 1 - thetaA) * uFree +
                                sign * thetaA * uMicA * 1e-9 * charged,
                            1e-9 * kUAcetate * 1e-9)
                    << j;
                ++checked;
            }
            EXPECT_GT(checked, 90);
            // the zone of more surfactant holds more micelles: a larger bound fraction
            EXPECT_GT(std::fabs(a.UEff[4][st.NX / 2]), std::fabs(a.UEff[4][5]));
        }
}

// With a cationic surfactant the micelles migrate with the field: a trace
// neutral analyte moves at +theta u_mic E and keeps its amount; one that does
// not bind stands.
TEST(Micellar, NeutralAnalyteMovesWithCationicMicelles)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("CTA", 30.0, BGE, 20.0, 20.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 20.0, 20.0));
    comp.Add(Neutral("Binder", 0.0, 1e-4, -3.0, Analyte));  // K = 1/mM
    comp.Add(Neutral("Free", 0.0, 1e-4, 30.0, Analyte));
    RunState st;
    ASSERT_TRUE(InitMicellar(st, comp, 250, 200.0));
    const std::vector<double> b0 = Profile(st, 3), f0 = Profile(st, 4);
    st.cbLWMove = st.cbRWMove = false;
    st.StopTime = 20.0;
    st.DT = 1e-3;
    RunCalc(st);
    StopCalc(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 19.9);
    const double x = (20.0 - kCMC) / kOM, theta = x / (1.0 + x);
    const double E = 200.0 / 0.025, vMic = 40e-9 * E;
    const double moved = Moments(st, 3).mean - Moments(b0, st.DX).mean;
    EXPECT_GT(moved, 0.0);
    EXPECT_NEAR(moved, theta * vMic * st.Time, 0.02 * theta * vMic * st.Time);
    EXPECT_LT(std::abs(Moments(st, 4).mean - Moments(f0, st.DX).mean), 1e-3 * moved);
    EXPECT_NEAR(Amount(Profile(st, 3)), Amount(b0), 1e-10 * Amount(b0));
}

// Under C_T the analytical concentration of a weak acid binds: the bound
// amount comes from every form in proportion, and the free share 1/(1 + K x)
// of each form keeps its own mobility. In 20 mM SDS / Na+ buffered at pH 7
// (a non-binding buffer acid of pK 7, half titrated), a trace acid of pK 6
// binding with K = 1/mM migrates at (1 - theta) alpha u_A + theta u_mic
// (alpha its dissociated fraction, theta = K x / (1 + K x), x = (c_S - CMC)/OM
// the free micelles): the zone's centroid moves at that mobility times the
// field, which is also the effective mobility the engine reports. With 5 mM of
// the acid in the background the conductivity is the sum over the free
// species (free anion (1 - theta) alpha c, micelles, bound acid with the
// micelle's charge, monomer, sodium, buffer anion, H+ and OH-), and the
// effective mobility rebuilt next to the walls is that of every other node.
TEST(Micellar, IonisedBinderMigratesAtTheMobilityTheEngineReports)
{
    const double uA = 30.0, uMic = 40.0, uBuf = 30.0;  // 1e-9 m2/(V s)
    const double pKA = 6.0, pKBuf = 7.0, K = 1.0;      // K in 1/mM (pK_mic -3)
    auto buffer = [&](double acid, double acidInj) {
        TUnivSet<TComponents> comp;
        comp.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 20.0));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 25.0, 25.0));
        comp.Add(WeakAcid("Buffer", pKBuf, uBuf, BGE, 10.0, 10.0));
        comp.Add(Binding(WeakAcid("Acid", pKA, uA, acid > 0 ? BGE : Analyte, acid, acidInj), -3.0,
                         uMic));
        return comp;
    };
    const double x = (20.0 - kCMC) / kOM, theta = K * x / (1 + K * x);
    const double h = std::pow(10.0, 3 - pKBuf);  // half-titrated buffer: cH = Ka (mM)
    const double alpha = std::pow(10.0, 3 - pKA) / (std::pow(10.0, 3 - pKA) + h);
    const double uHand = -((1 - theta) * alpha * uA + theta * uMic) * 1e-9;

    {
        RecordingMessageSink sink;
        RunState st;
        ASSERT_TRUE(InitMicellar(st, buffer(0.0, 1e-3), 250, 200.0));
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        const std::vector<double> c0 = Profile(st, 4);
        const int mid = st.NX / 2;
        EXPECT_NEAR(st.Arr.PH[mid], 7.0, 0.01);
        st.cbLWMove = st.cbRWMove = false;
        st.StopTime = 1.0;
        st.DT = 1e-3;
        RunCalc(st);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        const double t1 = st.Time, m1 = Moments(st, 4).mean;
        st.StopTime = 16.0;
        RunCalc(st);
        StopCalc(st);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_GT(st.Time, 15.9);
        const ProfileMoments z = Moments(st, 4);
        EXPECT_NEAR(z.amount, Amount(c0), 1e-10 * Amount(c0));
        // field and reported mobility at the zone's centroid
        const int at = static_cast<int>(std::lround(z.mean / st.DX));
        ASSERT_GT(at, 20);
        const double E = st.Arr.E[at];
        ASSERT_NEAR(E, 200.0 / 0.025, 0.02 * 200.0 / 0.025);
        const double uZone = (z.mean - m1) / (st.Time - t1) / E;
        const double uReported = st.Arr.UEff[4][at];
        EXPECT_NEAR(uReported, uHand, 0.005 * std::abs(uHand));
        EXPECT_NEAR(uZone, uReported, 0.01 * std::abs(uReported));
        EXPECT_NEAR(uZone, uHand, 0.01 * std::abs(uHand));
    }

    // 5 mM of the acid everywhere: the conductivity of the free species
    RecordingMessageSink sink;
    RunState st;
    ASSERT_TRUE(InitMicellar(st, buffer(5.0, 5.0), 60, 200.0));
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    CalcDER(st, 2, false);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EngineArrays& a = st.Arr;
    const double Ks = std::pow(10.0, 3 - kPKStrongAnion);
    std::vector<double> uHandAt(static_cast<std::size_t>(a.Nn), 0.0);
    for (int j = st.LeftWall + 1; j < st.RightWall; ++j) {
        const double cS = a.C(2, 1)[j], cA = a.C(2, 4)[j], hj = a.CH(2)[j];
        const double B = (cS - kCMC) / kOM;
        double lo = 0, hi = B;
        for (int it = 0; it < 200; ++it) {
            const double xm = 0.5 * (lo + hi);
            (xm + K * cA * xm / (1 + K * xm) > B ? hi : lo) = xm;
        }
        const double xj = 0.5 * (lo + hi), th = K * xj / (1 + K * xj);
        const double charged = Ks / (Ks + hj);  // of the surfactant
        const double aA = std::pow(10.0, 3 - pKA) / (std::pow(10.0, 3 - pKA) + hj);
        const double aB = std::pow(10.0, 3 - pKBuf) / (std::pow(10.0, 3 - pKBuf) + hj);
        const double freeAnion = (1 - th) * aA * cA, bound = th * cA;
        ASSERT_GT(freeAnion, 0.0);
        ASSERT_GT((1 - th) * (1 - aA) * cA, 0.0);  // the free neutral form
        EXPECT_NEAR(a.MicBound[4][j], bound, 1e-9 * bound) << j;
        const double sum = kUNa * a.C(2, 2)[j] + 30.0 * charged * kCMC + kOM * 40.0 * charged * xj +
                           kOM * uMic * charged * bound + uBuf * aB * a.C(2, 3)[j] + uA * freeAnion;
        const double water =
            a.UForm(a.HIndex(), 1)[j] * hj + a.UForm(a.OHIndex(), 0)[j] * a.COH(2)[j];
        const double kappa = kFaraday * (sum * 1e-9 + water);
        EXPECT_NEAR(a.Kappa[j], kappa, 1e-6 * kappa) << j;
        uHandAt[j] = -((1 - th) * aA * uA + th * uMic * charged) * 1e-9;
    }
    // the first stage of the starter rebuilds the effective mobility next to
    // the walls from its own level: the same free and bound shares
    for (int i = 1; i <= a.NComp + 2; ++i) {
        if (i <= a.NComp) std::copy_n(a.C(2, i), a.Nn, a.C(4, i));
        for (int k = 0; k < a.Forms(i); ++k) std::copy_n(a.CForm(2, i, k), a.Nn, a.CForm(4, i, k));
    }
    CalcDER(st, 4, false);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    for (int n : {st.LeftWall + 1, st.RightWall - 1})
        EXPECT_NEAR(a.UEff[4][n], uHandAt[n], 1e-9 * std::abs(uHandAt[n])) << n;
}

// Under C_T an ionised binder that is no trace keeps only its free share
// 1/(1 + K x) in the diffusion current and in its own diffusion. Across a step
// from 2 to 4 mM of a binding acid (pK 3, K = 1/mM) in 20 mM SDS / Na+
// buffered at pH 7, without current, the field at every node is the diffusion
// current of the species over their conductivity, each from a speciation by
// hand (free micelles by bisection): Na+, the buffer's anion, the free anion of
// the acid, the bound acid carried with the micelles' charge, the micelles, the
// monomer, H+ and OH-, each with D = u R T / (|z| F). A trace zone of the acid
// spreads with (1 - theta) D_A + theta D_bound.
TEST(Micellar, AnIonisedBindersJunctionAndZoneFollowItsFreeShare)
{
    const double uA = 30.0, uMic = 40.0, uBuf = 30.0, micMob = 40.0;  // 1e-9 m2/(V s)
    const double pKA = 3.0, pKBuf = 7.0, K = 1.0;                     // K in 1/mM
    auto buffer = [&](TComponents sodium, TComponents acid) {
        TUnivSet<TComponents> comp;
        comp.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 20.0));
        comp.Add(sodium);
        comp.Add(WeakAcid("Buffer", pKBuf, uBuf, BGE, 10.0, 10.0));
        comp.Add(Binding(acid, -3.0, uMic));
        return comp;
    };
    const double rtf = kGasConstant * 298.15 / kFaraday;
    {
        RecordingMessageSink sink;
        RunState st;
        const TUnivSet<TComponents> comp =
            buffer(Segmented(StrongCation("Sodium", kUNa, BGE, 27.0, 27.0), {27.0, 29.0}, {1, 1}),
                   Segmented(WeakAcid("Acid", pKA, uA, BGE, 2.0, 2.0), {2.0, 4.0}, {1, 1}));
        ASSERT_TRUE(InitMicellar(st, comp, 200, 0.0));
        ASSERT_TRUE(!st.rbC0 && st.MicMob == micMob * 1e-9);
        CalcDER(st, 2, false);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        EXPECT_EQ(st.I, 0.0);
        EngineArrays& a = st.Arr;
        const int nn = a.Nn;
        // A species: its concentration per node, z D (in units of 1e-9 m2/s)
        // and |z| u (1e-9 m2/(V s)); what the micelles carry has their charge.
        struct Species {
            std::vector<double> c;
            double zD, absZu;
        };
        const double Ks = std::pow(10.0, 3 - kPKStrongAnion);
        std::vector<double> na(nn), bufAnion(nn), freeAnion(nn), bound(nn), micelles(nn),
            monomer(nn), h(nn), oh(nn);
        for (int j = 0; j < nn; ++j) {
            const double cS = a.C(2, 1)[j], cA = a.C(2, 4)[j], hj = a.CH(2)[j];
            const double charged = Ks / (Ks + hj);
            const double B = (cS - kCMC) / kOM;
            double lo = 0, hi = B;
            for (int it = 0; it < 200; ++it) {
                const double xm = 0.5 * (lo + hi);
                (xm + K * cA * xm / (1 + K * xm) > B ? hi : lo) = xm;
            }
            const double x = 0.5 * (lo + hi), theta = K * x / (1 + K * x);
            const double aA = std::pow(10.0, 3 - pKA) / (std::pow(10.0, 3 - pKA) + hj);
            const double aB = std::pow(10.0, 3 - pKBuf) / (std::pow(10.0, 3 - pKBuf) + hj);
            na[j] = a.C(2, 2)[j];
            bufAnion[j] = aB * a.C(2, 3)[j];
            freeAnion[j] = (1 - theta) * aA * cA;
            bound[j] = charged * theta * cA;  // as micelle charge: with the charged surfactant
            micelles[j] = charged * x;
            monomer[j] = charged * kCMC;
            h[j] = hj;
            oh[j] = a.COH(2)[j];
        }
        ASSERT_GT(freeAnion[nn - 1] - freeAnion[0], 1.0);  // the step of the free anion
        ASSERT_GT(bound[nn - 1] - bound[0], 0.02);         // and of the bound acid
        const double uH = a.UForm(a.HIndex(), 1)[0] * 1e9, uOH = a.UForm(a.OHIndex(), 0)[0] * 1e9;
        const std::vector<Species> species = {{na, kUNa * rtf, kUNa},
                                              {bufAnion, -uBuf * rtf, uBuf},
                                              {freeAnion, -uA * rtf, uA},
                                              {bound, -uMic * rtf, kOM * uMic},
                                              {micelles, -micMob * rtf, kOM * micMob},
                                              {monomer, -30.0 * rtf, 30.0},
                                              {h, uH * rtf, uH},
                                              {oh, -uOH * rtf, uOH}};
        double largest = 0;
        for (int j = st.LeftWall + 1; j < st.RightWall; ++j)
            largest = std::max(largest, std::abs(a.E[j]));
        ASSERT_GT(largest, 0.5);  // V/m: the junction's field
        for (int j = st.LeftWall + 1; j < st.RightWall; ++j) {
            double W = 0, sum = 0;
            for (const Species& s : species) {
                W += s.zD * (s.c[j + 1] - s.c[j - 1]) * 0.5 / st.DX;
                sum += s.absZu * s.c[j];
            }
            EXPECT_NEAR(a.E[j], W / sum, 1e-6 * largest) << j;
        }
    }

    // The trace zone without field.
    RecordingMessageSink sink;
    RunState st;
    ASSERT_TRUE(InitMicellar(st,
                             buffer(StrongCation("Sodium", kUNa, BGE, 25.0, 25.0),
                                    WeakAcid("Acid", pKA, uA, Analyte, 0.0, 1e-3)),
                             200, 0.0));
    const double x = (20.0 - kCMC) / kOM, theta = K * x / (1 + K * x);
    const double expected = ((1 - theta) * uA + theta * uMic / kOM) * 1e-9 * rtf;
    const ProfileMoments m0 = Moments(st, 4);
    st.cbLWMove = st.cbRWMove = false;
    st.cbOptDt = false;
    st.DT = 1e-3;
    st.StopTime = 0.5;
    RunCalc(st);
    StopCalc(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 0.49);
    const double D = (Moments(st, 4).variance - m0.variance) / (2 * st.Time);
    EXPECT_NEAR(D / expected, 1.0, 0.01);
}
