// Initial profiles against a direct evaluation of the layout formulas with the
// program's error function, amounts against the integral of the intended
// profile, and the refusal of set-ups that cannot be laid out.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/init_distribution.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/math_functions.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

// Applies the pending geometry, copies the composition and allocates the
// arrays, as Init does before the distribution.
void Prepare(RunState& st, const TUnivSet<TComponents>& comp, int nodes) {
    PrepareRun(st, comp, nodes);
    st.NX = st.NXPending;
    st.CapLength = st.CapLengthPending;
    st.PeakWidth = st.PeakWidthPending;
    st.PeakEdgeWidth = st.PeakEdgeWidthPending;
    st.InjSite = st.InjSitePending;
    st.CompInit = st.Composition;
    st.NComp = st.CompInit.Count();
    AllocEngineArrays(st, 1);
}

double Half(double a1, double a2) { return 0.5 * (Erf(a1) - Erf(a2)); }

}  // namespace

TEST(InitDistribution, ZoneTypesFollowTheErrorFunctionLayout) {
    RunState st;
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("A", kUK, Analyte, 1.0, 5.0));
    comp.Add(StrongCation("B", kUNa, BGE, 2.0, 7.0));
    comp.Add(StrongCation("L", kUK, Leading, 10.0, 4.0));
    comp.Add(StrongCation("T", kULi, Terminating, 8.0, 3.0));
    comp.Add(WeakAcid("Acid", 4.5, 30.0, 9, 1.0, 1.0));  // type outside 0..3
    Prepare(st, comp, 200);
    ASSERT_TRUE(InitDistribution(st));

    // 0.5 mm edge and 2 mm zone on 25 mm / 200 nodes; site 3 mm.
    const int w = 4, W = 16, s = 24;
    ASSERT_EQ(PositionToNode(st, st.PeakEdgeWidth, st.NX), w);
    ASSERT_EQ(PositionToNode(st, st.PeakWidth, st.NX), W);
    ASSERT_EQ(InjectionSiteNode(st, false), s);
    for (int j = 0; j <= 200; ++j) {
        const double d = j - s;
        const double a1 = (d + W / 2.0) / (w / 2.0), a2 = (d - W / 2.0) / (w / 2.0);
        EXPECT_NEAR(st.Arr.C(2, 1)[j], 5.0 * Half(a1, a2), 1e-12) << j;
        EXPECT_NEAR(st.Arr.C(2, 2)[j], 2.0 + 5.0 * Half(a1, a2), 1e-12) << j;
        EXPECT_NEAR(st.Arr.C(2, 3)[j], 4.0 * 0.5 * (1 + Erf(a1)) + 6.0 * 0.5 * (1 + Erf(a2)), 1e-12);
        EXPECT_NEAR(st.Arr.C(2, 4)[j], 8.0 - 5.0 * 0.5 * (1 + Erf(a1)) - 3.0 * 0.5 * (1 + Erf(a2)), 1e-12);
        EXPECT_EQ(st.Arr.C(2, 5)[j], 0.0);
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(st.Arr.DrawnProfile[i][j], st.Arr.C(2, i)[j]);
        // Row-1 constants of the charged forms; H+ and OH- rows untouched.
        EXPECT_DOUBLE_EQ(st.Arr.UForm(1, 1)[j], kUK * 1e-9);
        EXPECT_DOUBLE_EQ(st.Arr.PKaForm(1, 1)[j], kPKStrongCation);
        EXPECT_DOUBLE_EQ(st.Arr.UForm(5, 0)[j], 30e-9);
        EXPECT_DOUBLE_EQ(st.Arr.PKaForm(5, 0)[j], 4.5);
        EXPECT_EQ(st.Arr.C(2, 6)[j], 0.0);
        EXPECT_EQ(st.Arr.UForm(6, 1)[j], 0.0);
    }
    // Plateaus: zone inside, levels outside.
    EXPECT_NEAR(st.Arr.C(2, 1)[s], 5.0, 1e-6);
    EXPECT_NEAR(st.Arr.C(2, 3)[0], 0.0, 1e-6);
    EXPECT_NEAR(st.Arr.C(2, 3)[s], 4.0, 1e-6);
    EXPECT_NEAR(st.Arr.C(2, 3)[200], 10.0, 1e-6);
    EXPECT_NEAR(st.Arr.C(2, 4)[0], 8.0, 1e-6);
    EXPECT_NEAR(st.Arr.C(2, 4)[200], 0.0, 1e-6);

    // The amount of a zone is its height times its width (the edges cancel).
    double amount = 0.0, amountBGE = 0.0;
    for (int j = 0; j <= 200; ++j) {
        amount += st.Arr.C(2, 1)[j];
        amountBGE += st.Arr.C(2, 2)[j] - 2.0;
    }
    EXPECT_NEAR(amount, 5.0 * W, 5.0 * W * 1e-6);
    EXPECT_NEAR(amountBGE, 5.0 * W, 5.0 * W * 1e-6);
}

TEST(InitDistribution, SharpStepsGaussianPeakAndSineTestProfiles) {
    RunState st;
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("A", kUK, Analyte, 0.0, 5.0));
    comp.Add(StrongCation("B", kUNa, BGE, 2.0, 7.0));
    comp.Add(StrongCation("L", kUK, Leading, 10.0, 4.0));
    Prepare(st, comp, 200);
    // An edge below half a node spacing still gives one node of edge.
    st.PeakEdgeWidth = 0.01;
    st.cbGauss = true;
    ASSERT_TRUE(InitDistribution(st));
    const int W = 16, s = 24;
    const double sigma2 = W * W / 12.0 + 1.0 / 8.0;
    double amount = 0.0;
    for (int j = 0; j <= 200; ++j) {
        const double d = j - s;
        const double g = std::exp(-d * d / (2 * sigma2));
        EXPECT_NEAR(st.Arr.C(2, 1)[j], 5.0 * g, 1e-12);
        EXPECT_NEAR(st.Arr.C(2, 2)[j], 2.0 + 5.0 * g, 1e-12);
        amount += st.Arr.C(2, 1)[j];
    }
    // Area of a Gaussian of height 5 and variance sigma2.
    const double area = 5.0 * std::sqrt(2 * std::numbers::pi * sigma2);
    EXPECT_NEAR(amount, area, area * 1e-6);  // the tail beyond node 0 is below 1e-6
    // Leading ignores the Gaussian choice: a sharp step (edge scale 0.5 node).
    EXPECT_NEAR(st.Arr.C(2, 3)[s - W / 2 - 3], 0.0, 1e-9);
    EXPECT_NEAR(st.Arr.C(2, 3)[s - W / 2 + 3], 4.0, 1e-9);
    EXPECT_NEAR(st.Arr.C(2, 3)[s - W / 2], 2.0, 1e-9);
    EXPECT_NEAR(st.Arr.C(2, 3)[s + W / 2 + 3], 10.0, 1e-9);

    // Zero zone width: no analyte, a flat BGE; with the Gaussian a peak of
    // variance w^2/8.
    st.PeakWidth = 0.0;
    st.cbGauss = false;
    ASSERT_TRUE(InitDistribution(st));
    for (int j = 0; j <= 200; ++j) {
        EXPECT_EQ(st.Arr.C(2, 1)[j], 0.0);
        EXPECT_EQ(st.Arr.C(2, 2)[j], 2.0);
    }
    st.cbGauss = true;
    ASSERT_TRUE(InitDistribution(st));
    EXPECT_DOUBLE_EQ(st.Arr.C(2, 1)[s + 1], 5.0 * std::exp(-1.0 / (2 * 0.125)));

    // Sine of period PeakEdgeWidth around the injection node, "sin(x^2)" variant.
    st.PeakEdgeWidth = 2.5;
    st.cbMXQ = true;
    ASSERT_TRUE(InitDistribution(st));
    const double k = 2 * std::numbers::pi / 2.5 * 1000;
    for (int j = 0; j <= 200; j += 7) {
        const double x = (j - s) / 200.0 * 0.025;
        EXPECT_NEAR(st.Arr.C(2, 2)[j], 2.0 + 5.0 * std::sin(k * x * x), 1e-12);
    }
    st.cbMXS = true;  // wins over sin(x^2)
    ASSERT_TRUE(InitDistribution(st));
    for (int j = 0; j <= 200; j += 7) {
        const double x = (j - s) / 200.0 * 0.025;
        EXPECT_NEAR(st.Arr.C(2, 1)[j], 5.0 * std::sin(k * x), 1e-12);
        EXPECT_NEAR(st.Arr.C(2, 3)[j], 10.0 - 6.0 * std::sin(k * x), 1e-12);
    }
}

TEST(InitDistribution, SegmentsWithLengthRatios) {
    RunState st;
    TUnivSet<TComponents> comp;
    // Two segments 1:3 with per-segment pK and mobility (mode 5).
    TComponents acid = Segmented(WeakAcid("Acid", 4.0, 30.0, BGE, 0, 0), {2.0, 10.0}, {1.0, 3.0},
                                 true, true);
    acid.pKa[2][0] = 6.0;
    acid.u[2][0] = 50.0;
    comp.Add(acid);
    // Three segments 1:2:1, one pK and mobility row (mode 2).
    comp.Add(Segmented(StrongCation("Na", kUNa, BGE, 0, 0), {1.0, 4.0, 3.0}, {1.0, 2.0, 1.0}));
    // Mobility per segment only (mode 3), boundary 1:2 not on a node.
    TComponents base = Segmented(WeakBase("Base", 8.0, 20.0, BGE, 0, 0), {1.0, 1.0}, {1.0, 2.0},
                                 false, true);
    base.u[2][1] = 40.0;
    comp.Add(base);
    // One segment: constant.
    comp.Add(Segmented(StrongAnion("Cl", kUCl, BGE, 0, 0), {7.5}, {2.0}));
    Prepare(st, comp, 100);
    ASSERT_EQ(st.CompInit[1].mode, 5);
    ASSERT_EQ(st.CompInit[2].mode, 2);
    ASSERT_EQ(st.CompInit[3].mode, 3);
    ASSERT_TRUE(InitDistribution(st));

    const double half = 0.5 * 2;  // w = round(0.5 mm / 25 mm * 100) = 2 nodes
    // The step is centred on node 25, half-way between the segment values, for
    // the concentration and the per-segment pK and mobility alike.
    EXPECT_NEAR(st.Arr.C(2, 1)[25], 6.0, 1e-12);
    EXPECT_NEAR(st.Arr.PKaForm(1, 0)[25], 5.0, 1e-12);
    EXPECT_NEAR(st.Arr.UForm(1, 0)[25], 40e-9, 1e-20);
    EXPECT_NEAR(st.Arr.C(2, 1)[0], 2.0, 1e-6);
    EXPECT_NEAR(st.Arr.C(2, 1)[100], 10.0, 1e-6);
    EXPECT_NEAR(st.Arr.PKaForm(1, 0)[100], 6.0, 1e-6);
    for (int j = 0; j <= 100; ++j) {
        const double x = j;
        const double na = 1.0 + (1 + Erf((x - 25) / half)) * 3.0 * 0.5 + (1 + Erf((x - 75) / half)) * -1.0 * 0.5;
        EXPECT_NEAR(st.Arr.C(2, 2)[j], na, 1e-12) << j;
        EXPECT_DOUBLE_EQ(st.Arr.UForm(2, 1)[j], kUNa * 1e-9);
        // The concentration boundary stays at 33.33, the mobility boundary is
        // rounded to node 33.
        EXPECT_NEAR(st.Arr.UForm(3, 1)[j], (20.0 + (1 + Erf((x - 33) / half)) * 10.0) * 1e-9, 1e-20);
        EXPECT_DOUBLE_EQ(st.Arr.PKaForm(3, 1)[j], 8.0);
        EXPECT_NEAR(st.Arr.C(2, 4)[j], 7.5, 1e-15);
    }
    // Amount of the three-segment profile: the sum of the segment amounts
    // (trapezoidal sum over the nodes, the edges cancel in the interior).
    double sum = 0.0;
    for (int j = 0; j <= 100; ++j) sum += st.Arr.C(2, 2)[j];
    sum -= 0.5 * (st.Arr.C(2, 2)[0] + st.Arr.C(2, 2)[100]);
    EXPECT_NEAR(sum, 1.0 * 25 + 4.0 * 50 + 3.0 * 25, 1e-5);
}

TEST(InitDistribution, TableProfileReplacesTheComputedOne) {
    RunState st;
    TUnivSet<TComponents> comp;
    TComponents a = StrongCation("A", kUK, BGE, 3.0, 3.0);
    a.AllocTable(101);
    for (int k = 1; k <= 101; ++k) a.table[k] = 0.1 * k;
    comp.Add(a);
    TComponents b = StrongCation("B", kUK, BGE, 3.0, 3.0);
    b.AllocTable(100);  // not one value per node: ignored
    comp.Add(b);
    TComponents c = StrongCation("C", kUK, BGE, 3.0, 3.0);
    c.tableCount = 101;  // count without values: ignored
    comp.Add(c);
    Prepare(st, comp, 100);
    ASSERT_TRUE(InitDistribution(st));
    for (int j = 0; j <= 100; ++j) {
        EXPECT_DOUBLE_EQ(st.Arr.C(2, 1)[j], 0.1 * (j + 1));
        EXPECT_DOUBLE_EQ(st.Arr.DrawnProfile[1][j], 0.1 * (j + 1));
        EXPECT_DOUBLE_EQ(st.Arr.C(2, 2)[j], 3.0);
        EXPECT_DOUBLE_EQ(st.Arr.C(2, 3)[j], 3.0);
    }
}

TEST(InitDistribution, SetUpsThatCannotBeLaidOutAreRefused) {
    auto refuse = [](TComponents bad) {
        RecordingMessageSink sink;
        RunState st;
        TUnivSet<TComponents> comp;
        comp.Add(StrongCation("A", kUK, BGE, 3.0, 3.0));
        comp.Add(bad);
        comp.Add(StrongCation("C", kUK, BGE, 3.0, 3.0));
        Prepare(st, comp, 100);
        st.Initialised = true;
        EXPECT_FALSE(InitDistribution(st));
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], "Error: Incorrent setup of 2. constituent");
        EXPECT_FALSE(st.Arr.Allocated());
        EXPECT_FALSE(st.Initialised);
    };
    TComponents unapplied = StrongCation("B", kUNa, BGE, 1, 1);
    unapplied.mode = 0;
    refuse(unapplied);
    unapplied.mode = 6;
    refuse(unapplied);
    refuse(Segmented(StrongCation("B", kUNa, BGE, 0, 0), {1.0, 2.0}, {0.0, 0.0}));
    refuse(Segmented(StrongCation("B", kUNa, BGE, 0, 0), {1.0, 2.0}, {1.0, -1.0}));
    TComponents noZones = Segmented(StrongCation("B", kUNa, BGE, 0, 0), {1.0}, {1.0});
    noZones.zones = 0;
    refuse(noZones);
    TComponents missing = Segmented(StrongCation("B", kUNa, BGE, 0, 0), {1.0, 2.0}, {1.0, 1.0});
    missing.c_grad.resize(2);
    refuse(missing);
}
