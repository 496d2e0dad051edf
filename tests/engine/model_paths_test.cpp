// The linearized, Chrom and LiBz modes away from their default inputs: the
// voltage at constant current with the right wall inside the capillary is
// set by the resistance of the whole column; a concentrated step of the
// Chrom mode moves at the shock speed of its Langmuir isotherm, a
// concentrated peak tails and a competitor speeds a trace zone; a trace
// zone in the LiBz mode with its capacity constituent is retarded by
// 1 + dq/dc.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

constexpr double kF = 96485.0;

// The default run setup on `nodes` nodes of a 25 mm capillary, a zone of
// width `widthMM` (edges `edgeMM`) at `injMM`, 250 V.
void Prepare(RunState& st, const TUnivSet<TComponents>& comp, int nodes, double injMM,
             double widthMM, double edgeMM)
{
    PrepareRun(st, comp, nodes);
    SetZoneAndVoltage(st, injMM, widthMM, edgeMM, 250);
}

// Position where the profile last falls through `level` (searched from the
// right end), interpolated between nodes.
double FrontPosition(const std::vector<double>& c, double level, double dx)
{
    for (int j = static_cast<int>(c.size()) - 2; j >= 0; --j)
        if (c[j] >= level && c[j + 1] < level) return (j + (c[j] - level) / (c[j] - c[j + 1])) * dx;
    return -1;
}

// Third standardised moment of a profile.
double Skewness(const std::vector<double>& c, double dx)
{
    const ProfileMoments m = Moments(c, dx);
    double m3 = 0, w = 0;
    for (std::size_t j = 0; j < c.size(); ++j) {
        const double d = j * dx - m.mean;
        m3 += c[j] * d * d * d;
        w += c[j];
    }
    return m3 / w / std::pow(m.variance, 1.5);
}

}  // namespace

// Constant current: the set value is the current density j, and the voltage
// is j times the resistivity integrated over the whole column, also when the
// right wall stands inside the capillary (the column beyond it is uniform).
TEST(LinearizedPaths, VoltageAtConstantCurrentCountsTheWholeColumn)
{
    RecordingMessageSink sink;
    // NaCl 10 mM in the first fifth, 30 mM beyond (steps of 0.5 mm)
    TUnivSet<TComponents> comp;
    comp.Add(Segmented(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0), {10.0, 30.0}, {1, 4}));
    comp.Add(Segmented(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0), {10.0, 30.0}, {1, 4}));
    RunState st;
    Prepare(st, comp, 200, 5.0, 2.0, 0.5);
    st.cbMX = true;
    st.rbVoltage = false;
    st.UI = 20.0;
    ASSERT_TRUE(InitCalc(st));
    const int nx = st.NX;
    for (const int rw : {nx, 150, 60}) {
        SCOPED_TRACE("right wall " + std::to_string(rw));
        st.LeftWall = 0;
        st.RightWall = rw;
        RunFixed(st, st.Time + 5e-3, 1e-3, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        // resistivity of each node from its ions (the water ions add 1e-5)
        double sum = 0;
        for (int j = 0; j <= nx; ++j) {
            const double kappa = kF * 1e-9 * (kUCl * st.Arr.C(2, 1)[j] + kUNa * st.Arr.C(2, 2)[j]);
            sum += (j == 0 || j == nx ? 0.5 : 1.0) / kappa;
        }
        const double rho = sum / nx;
        EXPECT_NEAR(st.U, 20.0 * rho * st.CapLength, 1e-4 * st.U);
        // the column is not uniform: the mean resistivity is not that of either end
        EXPECT_GT(rho * kF * 1e-9 * (kUCl + kUNa) * 30.0, 1.1);
    }
}

// Chrom mode: constituent 1 adsorbs by the Langmuir isotherm q = a K c /
// (1 + K c) (a = 50, K = 0.01/mM) and moves with the flow v in the part not
// adsorbed: c_t + (v (c - q))_x = 0. A step from c to 0 is a shock moving at
// (v (c - q(c))) / c = v (1 - a K / (1 + K c)): 0.75 v at c = 100 mM, between
// the trace velocity 0.5 v and the characteristic velocity at c, 0.875 v.
TEST(ChromPaths, ConcentratedStepMovesAtTheShockSpeedAndAPeakTails)
{
    RecordingMessageSink sink;
    const double v = 1e-3, a = 50.0, K = 0.01;
    auto composition = [&](bool step, double c) {
        TUnivSet<TComponents> comp;
        TComponents first = WeakAcid("Retarded", K, a, Analyte, step ? c : 0.0, c);
        if (step) first = Segmented(first, {c, 0.0}, {1, 3});
        comp.Add(first);
        comp.Add(WeakAcid("Unretained", 0.0, 30.0, Analyte, 0.0, 0.0));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 1.0, 1.0));
        return comp;
    };
    for (const double c : {100.0, 1e-3}) {
        SCOPED_TRACE("step of " + std::to_string(c) + " mM");
        RunState st;
        Prepare(st, composition(true, c), 1000, 5.0, 2.0, 1.0);
        st.cbChrom = true;
        st.EOFMob = 1e-12;
        ASSERT_TRUE(InitCalc(st));
        const double x0 = FrontPosition(Profile(st, 1), 0.5 * c, st.DX);
        RunFixed(st, 4.0, 5e-4, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_GT(st.Time, 3.99);
        const double speed = (FrontPosition(Profile(st, 1), 0.5 * c, st.DX) - x0) / st.Time;
        const double shock = v * (1 - a * K / (1 + K * c));
        EXPECT_NEAR(speed / shock, 1.0, 0.01);
    }
    // A concentrated peak: its high part runs ahead (sharp front) and the
    // low part lags (tail behind it); a trace peak keeps its shape.
    for (const double c : {100.0, 1e-3}) {
        SCOPED_TRACE("peak of " + std::to_string(c) + " mM");
        RunState st;
        Prepare(st, composition(false, c), 1000, 5.0, 2.0, 1.0);
        st.cbChrom = true;
        st.EOFMob = 1e-12;
        ASSERT_TRUE(InitCalc(st));
        const double s0 = Skewness(Profile(st, 1), st.DX);
        const double amount0 = Moments(st, 1).amount;
        RunFixed(st, 8.0, 5e-4, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        const std::vector<double> p = Profile(st, 1);
        const double s = Skewness(p, st.DX);
        EXPECT_NEAR(Moments(st, 1).amount, amount0, 1e-6 * amount0);
        if (c > 1) {
            EXPECT_LT(s - s0, -0.3);
            // the maximum runs ahead of the centroid
            const int top = static_cast<int>(std::max_element(p.begin(), p.end()) - p.begin());
            EXPECT_GT(top * st.DX - Moments(st, 1).mean, 0.05e-3);
        } else {
            EXPECT_NEAR(s, s0, 0.03);
        }
    }
}

// LiBz mode: the capacity g (constituent 3) binds the undissociated acid
// (constituent 1) by the Langmuir isotherm q(c) = g k [HA] / (1 + k [HA]),
// k = 0.05/mM, [HA] = c h / (h + K). A trace zone moves with the flow
// retarded by 1 + dq/dc (chromatographic retention), constituent 2 unretarded.
TEST(LiBzPaths, CapacityRetardsATraceZoneByOnePlusTheIsothermSlope)
{
    RecordingMessageSink sink;
    const double g = 10.0, pKa = 4.2;
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Benzoic acid", pKa, 30.0, Analyte, 0.0, 1e-3));
    comp.Add(StrongCation("Lithium", kULi, Analyte, 0.0, 1e-3));
    comp.Add(Constituent("Capacity", 0, 0, {0.0}, {0.0}, BGE, g, g));
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    RunState st;
    Prepare(st, comp, 1000, 5.0, 1.0, 0.5);
    st.cbLiBz = true;
    st.EOFMob = 5e-9;
    ASSERT_TRUE(InitCalc(st));
    const std::vector<double> c1 = Profile(st, 1), c2 = Profile(st, 2);
    RunFixed(st, 20.0, 1e-2, true);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 19.99);
    const double v = 5e-9 * 250 / 0.025;
    const double h = st.Arr.CH(2)[st.NX / 2], K = std::pow(10.0, 3 - pKa);
    EXPECT_NEAR(3 - std::log10(h), kPKAcetic, 0.05);
    auto q = [&](double c) {
        const double ha = c * h / (h + K);
        return g * 0.05 * ha / (1 + 0.05 * ha);
    };
    const double slope = (q(1e-6) - q(0.0)) / 1e-6;
    EXPECT_GT(slope, 0.05);
    const double v1 = (Moments(st, 1).mean - Moments(c1, st.DX).mean) / st.Time;
    const double v2 = (Moments(st, 2).mean - Moments(c2, st.DX).mean) / st.Time;
    EXPECT_NEAR(v2 / v, 1.0, 1e-3);
    EXPECT_NEAR(v1 / (v / (1 + slope)), 1.0, 2e-3);
}

// Competitive adsorption: with constituent 2 (a K 30 x 0.01) at 100 mM
// everywhere, the sites left to a trace of constituent 1 (a K = 50 x 0.01)
// give q1 = a1 K1 c1 / (1 + K2 c2): it moves at v (1 - 0.5 / 2) = 0.75 v,
// while constituent 2 stays uniform (but for the little the trace displaces).
TEST(ChromPaths, ACompetitorOccupiesSitesAndSpeedsATraceZone)
{
    RecordingMessageSink sink;
    const double v = 1e-3;
    for (const double c2 : {0.0, 100.0}) {
        SCOPED_TRACE("competitor " + std::to_string(c2) + " mM");
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("Retarded", 0.01, 50.0, Analyte, 0.0, 1e-3));
        comp.Add(WeakAcid("Competitor", 0.01, 30.0, BGE, c2, c2));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 1.0, 1.0));
        RunState st;
        Prepare(st, comp, 500, 5.0, 2.0, 1.0);
        st.cbChrom = true;
        st.EOFMob = 1e-12;
        ASSERT_TRUE(InitCalc(st));
        const double x0 = Moments(st, 1).mean;
        RunFixed(st, 2.0, 1e-3, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        const double speed = (Moments(st, 1).mean - x0) / st.Time;
        EXPECT_NEAR(speed / (v * (1 - 0.5 / (1 + 0.01 * c2))), 1.0, 0.01);
        for (double c : Profile(st, 2)) ASSERT_NEAR(c, c2, 1e-3);  // within the trace amount
    }
}
