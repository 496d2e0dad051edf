// The linearized, split-advection, Chrom and LiBz modes checked against results that
// do not use their formulas: a Fourier mode of the linear coupled transport
// from the eigen-analysis of its matrices, the fast-equilibrium velocity of a
// split constituent, plain translation at the flow velocity and the
// advection-diffusion moments; then the refusals of compositions a mode
// cannot work on, at Init and during a run, without reading out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/modes/chrom/chrom_mode.h"
#include "engine/modes/linear/linear_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;
using cplx = std::complex<double>;

constexpr double kPi = 3.141592653589793;

struct Layout {
    int nodes;
    double injMM, widthMM, edgeMM;
};

// The default run setup with the layout on a 25 mm capillary at 250 V.
void Prepare(RunState& st, const TUnivSet<TComponents>& comp, const Layout& l)
{
    PrepareRun(st, comp, l.nodes);
    SetZoneAndVoltage(st, l.injMM, l.widthMM, l.edgeMM, 250);
}

// exp(-M t) a for a complex 2x2 matrix M, by its eigenvalues and eigenvectors.
std::vector<cplx> Propagate(const cplx M[2][2], const std::vector<double>& a, double t)
{
    const cplx tr = M[0][0] + M[1][1], det = M[0][0] * M[1][1] - M[0][1] * M[1][0];
    const cplx root = std::sqrt(tr * tr / 4.0 - det);
    const cplx lambda[2] = {tr / 2.0 + root, tr / 2.0 - root};
    // Eigenvector of lambda: (M01, lambda - M00), M01 != 0 for the matrices used.
    cplx V[2][2];
    for (int k = 0; k < 2; ++k) {
        V[0][k] = M[0][1];
        V[1][k] = lambda[k] - M[0][0];
    }
    const cplx vdet = V[0][0] * V[1][1] - V[0][1] * V[1][0];
    // Coordinates of a in the eigenbasis.
    const cplx b0 = (V[1][1] * a[0] - V[0][1] * a[1]) / vdet;
    const cplx b1 = (-V[1][0] * a[0] + V[0][0] * a[1]) / vdet;
    const cplx e0 = b0 * std::exp(-lambda[0] * t), e1 = b1 * std::exp(-lambda[1] * t);
    return {V[0][0] * e0 + V[0][1] * e1, V[1][0] * e0 + V[1][1] * e1};
}

TEST(LinearizedMode, SineModeEvolvesByTheEigenvaluesOfTheCoupledTransport)
{
    RecordingMessageSink sink;
    // Two constituents on a uniform background with small sine modes of
    // wavelength 5 mm (200 nodes), phase 0 at the injection node 200.
    const double base[2] = {20.0, 10.0}, amp[2] = {0.02, -0.01};
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, base[0], base[0] + amp[0]));
    comp.Add(StrongCation("Sodium", kUNa, BGE, base[1], base[1] + amp[1]));
    RunState st;
    Prepare(st, comp, {1000, 5.0, 2.0, 5.0});
    st.cbMX = st.cbMXS = true;
    ASSERT_TRUE(InitCalc(st));
    ASSERT_EQ(LinearState(st).Mat1.n(), 2);
    const double dx = st.DX, k = 2 * kPi / 5e-3, E0 = 250 / 0.025;
    EXPECT_DOUBLE_EQ(st.U, 250.0);
    RunFixed(st, 100.0, 0.05, true);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    const double t = st.Time;
    ASSERT_GT(t, 99.9);

    // d c/dt = Mat2 c'' - E0 Mat1 c': the mode e^{ikx} decays/turns by
    // exp(-(Mat2 k^2 + i k E0 Mat1) t); the sine is its imaginary part.
    cplx M[2][2];
    for (int i = 0; i < 2; ++i)
        for (int m = 0; m < 2; ++m)
            M[i][m] = cplx(LinearState(st).Mat2[i + 1][m + 1] * k * k,
                           k * E0 * LinearState(st).Mat1[i + 1][m + 1]);
    const std::vector<cplx> ct = Propagate(M, {amp[0], amp[1]}, t);
    // the mode changed a lot: the check cannot pass by standing still
    EXPECT_GT(std::abs(ct[0] - amp[0]), 0.3 * std::fabs(amp[0]));
    double worst = 0, scale = 0;
    for (int i = 0; i < 2; ++i) {
        const std::vector<double> c = Profile(st, i + 1);
        for (int j = 300; j <= 700; ++j) {  // clear of the walls, which hold their values
            const double expected = (ct[i] * std::exp(cplx(0, k * (j - 200) * dx))).imag();
            worst = std::max(worst, std::fabs(c[j] - base[i] - expected));
            scale = std::max(scale, std::fabs(expected));
        }
    }
    EXPECT_LT(worst, 1e-3 * scale) << worst / scale;
}

// The matrices grow with the square of the constituents: a run without the
// mode holds none of that size, one with it has them from Init, and one that
// switches the mode on during the run builds them before its first step and
// moves as the run that had the mode from Init. Init counts them in its
// memory estimate: a composition whose matrices would not fit is refused
// before anything is allocated, and the previous run stays.
TEST(LinearizedMode, MatricesOnlyWhileTheModeIsOnAndCountedByInitsEstimate)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> many;
    for (int k = 1; k <= 300; ++k)
        many.Add(k % 2 ? StrongCation("C" + std::to_string(k), kUNa, BGE, 1.0, 1.0)
                       : StrongAnion("A" + std::to_string(k), kUCl, BGE, 1.0, 1.0));
    RunState st;
    Prepare(st, many, {20, 5.0, 2.0, 0.5});
    ASSERT_TRUE(InitCalc(st));
    EXPECT_LT(LinearState(st).Mat1.n() * LinearState(st).Mat2.n(), 300);
    st.cbMX = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(std::tuple(LinearState(st).Mat1.n(), LinearState(st).Mat2.n()), std::tuple(300, 300));

    // Two constituents (the matrices of the sine test): on from Init, and
    // switched on after Init.
    TUnivSet<TComponents> two;
    two.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.02));
    two.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 9.99));
    RunState atInit, later;
    std::vector<double> start;
    for (RunState* r : {&atInit, &later}) {
        Prepare(*r, two, {200, 5.0, 2.0, 5.0});
        r->cbMXS = true;
        r->cbMX = r == &atInit;
        ASSERT_TRUE(InitCalc(*r));
        start = Profile(*r, 1);
        r->cbMX = true;
        RunFixed(*r, 20.0, 0.05, true);
    }
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_EQ(LinearState(later).Mat1[2][1], LinearState(atInit).Mat1[2][1]);
    // (Init with the mode on keeps the left border's values at both ends: the
    // nodes near the ends differ; the interior moves alike.)
    for (int i = 1; i <= 2; ++i)
        for (int j = 40; j <= 160; ++j)
            ASSERT_NEAR(Profile(later, i)[j], Profile(atInit, i)[j], 1e-9) << i << " " << j;
    EXPECT_NE(Profile(later, 1), start);

    // Matrices beyond the run's share of the memory: refused at once.
    const int huge = static_cast<int>(std::sqrt(RunMemoryShare() / 16.0)) + 2;
    TUnivSet<TComponents> lots;
    for (int k = 1; k <= huge; ++k)
        lots.Add(k % 2 ? StrongCation("C" + std::to_string(k), kUNa, BGE, 1.0, 1.0)
                       : StrongAnion("A" + std::to_string(k), kUCl, BGE, 1.0, 1.0));
    RunState big;
    Prepare(big, two, {20, 5.0, 2.0, 0.5});
    ASSERT_TRUE(InitCalc(big));
    big.Composition = lots;
    big.NXPending = 10;
    big.cbMX = true;
    sink.Clear();
    EXPECT_FALSE(InitCalc(big));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kInitRunTooLarge});
    EXPECT_TRUE(big.Initialised && big.NComp == 2 && big.Arr.NComp == 2);
    EXPECT_LT(LinearState(big).Mat1.n(), 3);
}

TEST(LinearizedMode, DriveFollowsThePowerModeAndIgnoreDerivativesLeavesAll)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    RunState st;
    Prepare(st, comp, {100, 5.0, 2.0, 0.5});
    st.cbMX = true;
    ASSERT_TRUE(InitCalc(st));
    // Uniform NaCl: kappa = F (uNa cNa + uCl cCl) plus the water ions (5e-5).
    const double kappa = st.Arr.Kappa[50];
    EXPECT_NEAR(kappa, 96485.0 * (kUNa + kUCl) * 1e-9 * 10.0, 1e-4 * kappa);
    EXPECT_NEAR(st.LinScale, 250 / 0.025 * kappa, 1e-9 * st.LinScale);
    // constant current: the set value is the current density; U = j L / kappa
    st.rbVoltage = false;
    st.UI = 20.0;
    CalcDER(st, 2, true);
    EXPECT_EQ(st.LinScale, 20.0);
    EXPECT_NEAR(st.U, 20.0 * 0.025 / kappa, 1e-9 * st.U);
    EXPECT_EQ(st.I, 0.0);  // the current is not this mode's

    // "DO NOT Calculate DER": not even the conductivity is formed.
    st.cbIgnDER = true;
    st.Arr.Kappa[50] = 123.0;
    st.Arr.F(2, 1)[50] = 7.0;
    const double U = st.U;
    st.UI = 40.0;
    CalcDER(st, 2, false);
    EXPECT_EQ(std::make_tuple(st.Arr.Kappa[50], st.Arr.F(2, 1)[50], st.U),
              std::make_tuple(123.0, 7.0, U));
    EXPECT_TRUE(sink.warnings.empty());
}

// The linearized mode stands for a column between two vessels of the same
// solution: with the constant left border the right end holds the left
// border's values too, even where a zone covered it at the start.
TEST(LinearizedMode, ConstantLeftBorderHoldsTheRightEnd)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 12.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 12.0));
    RunState st;
    Prepare(st, comp, {100, 24.0, 4.0, 0.5});  // the zone reaches past the right end
    st.cbMX = true;
    ASSERT_TRUE(InitCalc(st));
    const int nx = st.NX;
    for (int i = 1; i <= 2; ++i) {
        ASSERT_EQ(st.Arr.CLeft[i], st.Arr.C(2, i)[0]);
        ASSERT_NEAR(st.Arr.C(2, i)[nx], 12.0, 1e-6) << i;
    }
    st.cbLBorder = true;
    st.LeftWall = 0;
    st.RightWall = nx;
    RunFixed(st, 0.01, 1e-3, true);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.StepCount, 5);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_EQ(st.Arr.C(2, i)[0], st.Arr.CLeft[i]) << i;
        EXPECT_EQ(st.Arr.C(2, i)[nx], st.Arr.CLeft[i]) << i;
        EXPECT_NEAR(st.Arr.C(2, i)[nx - 5], 12.0, 1e-3) << i;  // the zone's plateau inside
    }
}

TEST(SplitAdvectionMode, ZoneMovesAtTheFastEquilibriumVelocity)
{
    const double w3 = 20e-9 * 250 / 0.025, w4 = 60e-9 * 250 / 0.025, cR = 10.0;
    // extra length (m) -> Keq = 1000 x: 0 (all free), 1 (half), 10 (mostly bound)
    for (const double fake : {0.0, 1e-4, 1e-3}) {
        RecordingMessageSink sink;
        RunState st;
        Prepare(st, SplitAdvectionComposition(), {500, 5.0, 2.0, 1.0});
        st.cbSpec = true;
        st.FakeCapLen = fake;
        ASSERT_TRUE(InitCalc(st));
        const double keq = fake * 1000;
        // the split at Init: C3 + C4 = c1, and C3 = c1 with Keq = 0
        const double c1 = st.Arr.C(2, 1)[100], c3 = st.Arr.C(2, 3)[100];
        EXPECT_NEAR(c3 + st.Arr.C(2, 4)[100], c1, 1e-15);
        EXPECT_TRUE(keq != 0 || c3 == c1);
        const double x0 = Moments(st, 1).mean;
        const double u0 = st.U, i0 = st.I;
        RunFixed(st, 5.0, 2e-3, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_GT(st.Time, 4.99);
        const double v = (Moments(st, 1).mean - x0) / st.Time;
        const double expected = (w3 + cR * keq * w4) / (1 + cR * keq);
        EXPECT_NEAR(v, expected, 0.01 * expected) << "Keq " << keq;
        EXPECT_TRUE(st.U == u0 && st.I == i0);
        for (double y : Profile(st, 3)) ASSERT_TRUE(std::isfinite(y));
    }
}

TEST(SplitAdvectionMode, UnfitCompositionsAndSplitsWithoutRootStopWithAMessage)
{
    RecordingMessageSink sink;
    RunState st;
    Prepare(st, SplitAdvectionComposition(4), {100, 5.0, 2.0, 1.0});
    ASSERT_TRUE(InitCalc(st));  // a standard run of 4 constituents
    const std::vector<double> before = Profile(st, 1);
    st.cbSpec = true;
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kSplitAdvectionConstituents});
    EXPECT_TRUE(st.Initialised && st.Arr.Allocated());  // the previous run is kept

    // switched on during the run: it stops at once, once warned, nothing read
    // beyond the 4 constituents
    sink.Clear();
    for (int run = 0; run < 2; ++run) {
        RunFixed(st, 1.0, 1e-3, true);
        EXPECT_TRUE(st.Time == 0.0 && Profile(st, 1) == before) << run;
    }
    EXPECT_EQ(sink.warnings,
              (std::vector<std::string>{kSplitAdvectionConstituents, kSplitAdvectionConstituents}));

    // a constituent 2..4 without a charged form is refused too
    TUnivSet<TComponents> comp = SplitAdvectionComposition();
    comp[3] = Constituent("Neutral", 0, 0, {0.0}, {0.0}, Analyte, 0.0, 0.0);
    st.Composition = comp;
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kSplitAdvectionConstituents});

    // A split without a real root (possible only with cR Keq < 0, here a
    // negative extra length from a file) stops with a message naming the node:
    // Init leaves no run.
    comp = SplitAdvectionComposition();
    comp[1] = StrongCation("Analyte", 30.0, Analyte, 0.0, 10.0);
    st.Composition = comp;
    st.FakeCapLen = -1e-3;
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0].rfind(kSplitAdvectionNoSplit, 0), 0u) << sink.warnings[0];
    EXPECT_FALSE(st.Initialised || st.Arr.Allocated());
}

// Two acids with charges -1..0 (zones at 5 mm) and a cation background.
TUnivSet<TComponents> ChromComposition(double pK1, double u1)
{
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Retarded", pK1, u1, Analyte, 0.0, 1e-3));
    comp.Add(WeakAcid("Unretained", 0.0, 30.0, Analyte, 0.0, 1e-3));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 1.0, 1.0));
    return comp;
}

TEST(ChromMode, ZonesTranslateAtTheFlowVelocityOrRetardedByAdsorption)
{
    // K1 = K2 = 0: both unretarded; K1 a1 = 0.01 x 50 = 0.5: constituent 1 at
    // half the velocity (its denominator 1 + K c stays 1 within 1e-5).
    for (const double pK1 : {0.0, 0.01}) {
        RecordingMessageSink sink;
        RunState st;
        Prepare(st, ChromComposition(pK1, 50.0), {500, 5.0, 2.0, 1.0});
        st.cbChrom = true;
        st.EOFMob = -1e-12;  // the flow goes to +x whatever the sign
        ASSERT_TRUE(InitCalc(st));
        EXPECT_NEAR(st.Arr.PH[10], 7.0, 1e-12);  // Elneut is off: pH 7 in every level
        const double v = 1e-3;
        const double x1 = Moments(st, 1).mean, x2 = Moments(st, 2).mean;
        RunFixed(st, 2.0, 1e-3, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_GT(st.Time, 1.99);
        const double v1 = (Moments(st, 1).mean - x1) / st.Time;
        const double v2 = (Moments(st, 2).mean - x2) / st.Time;
        EXPECT_NEAR(v2, v, 1e-4 * v);
        const double expected1 = pK1 == 0 ? v : 0.5 * v;
        EXPECT_NEAR(v1, expected1, (pK1 == 0 ? 1e-4 : 0.01) * expected1);
        // constituent 3 is not this mode's: its profile never changes
        for (double c : Profile(st, 3)) ASSERT_EQ(c, 1.0);
    }
}

TEST(ChromMode, OtherRowsUntouchedAndUnfitConstituentsRefused)
{
    RecordingMessageSink sink;
    RunState st;
    Prepare(st, ChromComposition(0.0, 30.0), {100, 5.0, 2.0, 1.0});
    st.cbChrom = true;
    st.EOFMob = 1e-12;
    ASSERT_TRUE(InitCalc(st));
    double* f3 = st.Arr.F(2, 3);
    std::fill(f3, f3 + st.Arr.Nn, 7.0);
    CalcDER(st, 2, false);
    const int lw = st.LeftWall, rw = st.RightWall;
    for (int j = lw + 1; j < rw; ++j) ASSERT_EQ(f3[j], 7.0) << j;
    EXPECT_EQ(f3[lw], 0.0);  // walls of the flow, for every constituent
    EXPECT_EQ(f3[rw], 7.0);
    EXPECT_TRUE(sink.warnings.empty());

    // lowest charge of constituent 2 not -1, and a single constituent
    TUnivSet<TComponents> cation = ChromComposition(0.0, 30.0);
    cation[2] = StrongCation("Potassium", kUK, Analyte, 0.0, 1e-3);
    TUnivSet<TComponents> single = ChromComposition(0.0, 30.0);
    single.RemoveNode(3);
    single.RemoveNode(2);
    for (const auto* comp : {&cation, &single}) {
        sink.Clear();
        st.Composition = *comp;
        EXPECT_FALSE(InitCalc(st));
        EXPECT_EQ(sink.warnings, std::vector<std::string>{kChromModeConstituents});
        EXPECT_TRUE(st.Initialised && st.Arr.NComp == 3);  // the previous run is kept
    }
}

// Chrom ticked beside a mode of higher precedence (the capillary effects,
// "Initial Temperature Profile" at its default 25 degC; the micellar mode):
// that mode computes, with the equilibrium solved as without Chrom. The
// buffer's pH against the charge balance of 20 mM acetic acid and 10 mM Na+
// solved by bisection.
TEST(ChromMode, AModeOfHigherPrecedenceKeepsTheEquilibrium)
{
    auto run = [](const TUnivSet<TComponents>& comp, bool micellar, bool chrom) {
        RecordingMessageSink sink;
        RunState st;
        Prepare(st, comp, {200, 5.0, 2.0, 1.0});
        st.cbT = !micellar;
        st.cbSDS = micellar;
        st.MicCompNo = 1;
        st.CMC = 2.0;
        st.OM = 64;
        st.cbChrom = chrom;
        EXPECT_TRUE(InitCalc(st));
        const double pH = st.Arr.PH[0];
        RunFixed(st, 0.2, 1e-3, true);
        EXPECT_TRUE(sink.warnings.empty()) << chrom;
        return std::make_tuple(pH, Profile(st, 3),
                               std::vector<double>(st.Arr.PH.begin(), st.Arr.PH.end()));
    };
    const double K = std::pow(10.0, 3 - kPKAcetic), Kw = 1e-8;
    double lo = -10, hi = 2;
    for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo + hi), h = std::pow(10.0, mid);
        (10.0 + h - 20.0 * K / (K + h) - Kw / h > 0 ? hi : lo) = mid;
    }
    TUnivSet<TComponents> sds;
    sds.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 20.0));
    sds.Add(StrongCation("Sodium", kUNa, BGE, 30.0, 30.0));
    sds.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 25.0));
    for (const bool micellar : {false, true}) {
        const auto& comp = micellar ? sds : AcetateBufferWithAnalytes();
        const auto [pHPlain, plain, profilePlain] = run(comp, micellar, false);
        const auto [pHChrom, chrom, profileChrom] = run(comp, micellar, true);
        EXPECT_NEAR(pHPlain, 3 - 0.5 * (lo + hi), 1e-6) << micellar;
        EXPECT_EQ(pHChrom, pHPlain) << micellar;
        EXPECT_EQ(chrom, plain) << micellar;
        EXPECT_EQ(profileChrom, profilePlain) << micellar;
    }
}

// An acid (the retarded constituent) and a cation, as zones at 5 mm, and
// optionally a third constituent as the capacity.
TUnivSet<TComponents> LiBzComposition(bool withCapacity)
{
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Benzoic acid", 4.2, 30.0, Analyte, 0.0, 0.1));
    comp.Add(StrongCation("Lithium", kULi, Analyte, 0.0, 0.1));
    if (withCapacity) comp.Add(WeakAcid("Capacity", 6.0, 20.0, Analyte, 0.0, 0.0));
    return comp;
}

struct LiBzResult {
    std::vector<double> c1, c2;
    double time = 0, dx = 0;
};

LiBzResult RunLiBz(const TUnivSet<TComponents>& comp, std::vector<double>* start = nullptr)
{
    RunState st;
    Prepare(st, comp, {1000, 5.0, 1.0, 0.5});
    st.cbLiBz = true;
    st.EOFMob = 5e-9;  // with 250 V over 25 mm: 5e-5 m/s (cell Peclet number 1.6)
    if (!InitCalc(st)) return {};
    if (start) *start = Profile(st, 1);
    RunFixed(st, 20.0, 1e-2, true);
    return {Profile(st, 1), Profile(st, 2), st.Time, st.DX};
}

TEST(LiBzMode, WithoutCapacityBothZonesFlowAndDiffuseWithTheFirstCoefficient)
{
    RecordingMessageSink sink;
    std::vector<double> start;
    const LiBzResult r = RunLiBz(LiBzComposition(false), &start);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(r.time, 19.99);
    const double v = 5e-9 * 250 / 0.025;
    const double D1 = 30e-9 * 8.314 * 298.15 / 96485.0;  // of the acid's anion
    const ProfileMoments m0 = Moments(start, r.dx);      // both zones start alike
    for (const auto* c : {&r.c1, &r.c2}) {
        const ProfileMoments m = Moments(*c, r.dx);
        EXPECT_NEAR((m.mean - m0.mean) / r.time, v, 1e-3 * v);
        EXPECT_NEAR((m.variance - m0.variance) / (2 * r.time), D1, 0.01 * D1);
    }
    // deterministic: the same run again gives the same bits, and an empty
    // third constituent (no capacity) the same profiles
    const LiBzResult again = RunLiBz(LiBzComposition(false));
    EXPECT_EQ(again.c1, r.c1);
    EXPECT_EQ(again.c2, r.c2);
    const LiBzResult empty = RunLiBz(LiBzComposition(true));
    for (std::size_t j = 0; j < r.c1.size(); ++j) {
        ASSERT_NEAR(empty.c1[j], r.c1[j], 1e-12 * 0.1) << j;
        ASSERT_NEAR(empty.c2[j], r.c2[j], 1e-12 * 0.1) << j;
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(LiBzMode, UnfitConstituentsAreRefusedAndStopARun)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> cationFirst = LiBzComposition(false);
    cationFirst[1] = StrongCation("Sodium", kUNa, Analyte, 0.0, 0.1);
    TUnivSet<TComponents> single = LiBzComposition(false);
    single.RemoveNode(2);
    for (const auto* comp : {&cationFirst, &single}) {
        sink.Clear();
        RunState st;
        Prepare(st, *comp, {100, 5.0, 1.0, 0.5});
        ASSERT_TRUE(InitCalc(st));  // a standard run
        st.cbLiBz = true;
        EXPECT_FALSE(InitCalc(st));
        EXPECT_EQ(sink.warnings, std::vector<std::string>{kLiBzModeConstituents});
        EXPECT_TRUE(st.Initialised);
        // switched on during the run: it stops before the first step (warned
        // when constituent 1 is unfit, silently with a single constituent)
        sink.Clear();
        const std::vector<double> before = Profile(st, 1);
        RunFixed(st, 1.0, 1e-3, true);
        EXPECT_TRUE(st.Time == 0.0 && Profile(st, 1) == before);
        EXPECT_EQ(sink.warnings.size(), comp == &cationFirst ? 1u : 0u);
    }
}

}  // namespace
