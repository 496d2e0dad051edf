// Initial profiles against a direct evaluation of the layout with the
// program's error function, amounts against the integral of the intended
// profile, and the refusal of set-ups that cannot be laid out.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "engine/state/run_state.h"
#include "engine/step/init_distribution.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/math_functions.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

// Applies the pending geometry (25 mm, zone 2 mm at 3 mm, edge 0.5 mm),
// copies the composition and allocates the arrays, as Init does.
void Prepare(RunState& st, const std::vector<TComponents>& comps, int nodes)
{
    TUnivSet<TComponents> comp;
    for (const TComponents& c : comps) comp.Add(c);
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

double Sum(const double* c, int n)
{
    double s = 0;
    for (int j = 0; j <= n; ++j) s += c[j];
    return s;
}

// On 200 nodes: edge w = 4 nodes, zone W = 16 nodes, injection node 24.
constexpr int kW = 16, kSite = 24;

}  // namespace

TEST(InitDistribution, ZoneTypesFollowTheErrorFunctionLayout)
{
    RunState st;
    Prepare(
        st,
        {StrongCation("A", kUK, Analyte, 1.0, 5.0), StrongCation("B", kUNa, BGE, 2.0, 7.0),
         StrongCation("L", kUK, Leading, 10.0, 4.0), StrongCation("T", kULi, Terminating, 8.0, 3.0),
         WeakAcid("Acid", 4.5, 30.0, 9, 1.0, 1.0)},  // a type outside 0..3: no profile
        200);
    ASSERT_TRUE(InitDistribution(st));
    ASSERT_EQ(InjectionSiteNode(st, false), kSite);
    for (int j = 0; j <= 200; ++j) {
        const double rear = 0.5 * (1 + Erf((j - kSite + kW / 2.0) / 2.0));
        const double front = 0.5 * (1 + Erf((j - kSite - kW / 2.0) / 2.0));
        const double expected[] = {5.0 * (rear - front), 2.0 + 5.0 * (rear - front),
                                   4.0 * rear + 6.0 * front, 8.0 - 5.0 * rear - 3.0 * front, 0.0};
        for (int i = 1; i <= 5; ++i) {
            EXPECT_NEAR(st.Arr.C(2, i)[j], expected[i - 1], 1e-12) << i << " " << j;
            EXPECT_EQ(st.Arr.DrawnProfile[i][j], st.Arr.C(2, i)[j]);
        }
    }
    // plateaus; the amount of a zone is height times width (the edges cancel)
    const double plateaus[][2] = {{st.Arr.C(2, 1)[kSite], 5.0},
                                  {st.Arr.C(2, 3)[0], 0.0},
                                  {st.Arr.C(2, 4)[200], 0.0},
                                  {st.Arr.C(2, 3)[200], 10.0},
                                  {st.Arr.C(2, 4)[0], 8.0}};
    for (const auto& p : plateaus) EXPECT_NEAR(p[0], p[1], 1e-6);
    EXPECT_NEAR(Sum(st.Arr.C(2, 1), 200), 5.0 * kW, 5.0 * kW * 1e-6);
    EXPECT_NEAR(Sum(st.Arr.C(2, 2), 200) - 2.0 * 201, 5.0 * kW, 5.0 * kW * 1e-6);
    // A zone wider than the capillary fills it with the sample, up to the
    // widest the edit takes and beyond, where the node count overflows.
    for (double width : {100.0, kMaxLengthMm, 1e308}) {
        st.PeakWidth = width;
        ASSERT_TRUE(InitDistribution(st));
        for (int j = 0; j <= 200; ++j)
            ASSERT_NEAR(st.Arr.C(2, 1)[j], 5.0, 1e-9) << width << " " << j;
    }
}

TEST(InitDistribution, GaussianPeakAndSharpSteps)
{
    RunState st;
    Prepare(st,
            {StrongCation("A", kUK, Analyte, 0.0, 5.0), StrongCation("B", kUNa, BGE, 2.0, 7.0),
             StrongCation("L", kUK, Leading, 10.0, 4.0)},
            200);
    st.PeakEdgeWidth = 0.01;  // below half a node spacing: still one node of edge
    st.cbGauss = true;
    ASSERT_TRUE(InitDistribution(st));
    const double sigma2 = kW * kW / 12.0 + 1.0 / 8.0;
    for (int j = 0; j <= 200; ++j) {
        const double g = std::exp(-(j - kSite) * (j - kSite) / (2 * sigma2));
        EXPECT_NEAR(st.Arr.C(2, 1)[j], 5.0 * g, 1e-12);
        EXPECT_NEAR(st.Arr.C(2, 2)[j], 2.0 + 5.0 * g, 1e-12);
    }
    const double area = 5.0 * std::sqrt(2 * std::numbers::pi * sigma2);
    EXPECT_NEAR(Sum(st.Arr.C(2, 1), 200), area, area * 1e-6);
    // the leader ignores the Gaussian: a sharp step, half-way at the boundary
    const int rear = kSite - kW / 2, front = kSite + kW / 2;
    for (auto [j, c] : {std::pair{rear - 3, 0.0}, {rear, 2.0}, {rear + 3, 4.0}, {front + 3, 10.0}})
        EXPECT_NEAR(st.Arr.C(2, 3)[j], c, 1e-9) << j;

    // zero zone width: no analyte, a flat BGE; with the Gaussian a peak of variance w^2/8
    st.PeakWidth = 0.0;
    st.cbGauss = false;
    ASSERT_TRUE(InitDistribution(st));
    EXPECT_TRUE(Sum(st.Arr.C(2, 1), 200) == 0.0 && Sum(st.Arr.C(2, 2), 200) == 2.0 * 201);
    st.cbGauss = true;
    ASSERT_TRUE(InitDistribution(st));
    EXPECT_DOUBLE_EQ(st.Arr.C(2, 1)[kSite + 1], 5.0 * std::exp(-1.0 / (2 * 0.125)));
}

TEST(InitDistribution, SegmentsWithLengthRatios)
{
    RunState st;
    // two segments 1:3 with pK and mobility per segment (mode 5)
    TComponents acid =
        Segmented(WeakAcid("Acid", 4.0, 30.0, BGE, 0, 0), {2.0, 10.0}, {1.0, 3.0}, true, true);
    acid.pKa[2][0] = 6.0;
    acid.u[2][0] = 50.0;
    // mobility per segment only (mode 3), boundary 1:2 not on a node
    TComponents base =
        Segmented(WeakBase("Base", 8.0, 20.0, BGE, 0, 0), {1.0, 1.0}, {1.0, 2.0}, false, true);
    base.u[2][1] = 40.0;
    Prepare(st,
            {acid, Segmented(StrongCation("Na", kUNa, BGE, 0, 0), {1.0, 4.0, 3.0}, {1.0, 2.0, 1.0}),
             base, Segmented(StrongAnion("Cl", kUCl, BGE, 0, 0), {7.5}, {2.0})},
            100);
    ASSERT_TRUE(st.CompInit[1].mode == 5 && st.CompInit[3].mode == 3);
    ASSERT_TRUE(InitDistribution(st));
    // the step is centred on node 25, half-way between the segment values,
    // for the concentration and the per-segment pK and mobility alike
    EXPECT_NEAR(st.Arr.C(2, 1)[25], 6.0, 1e-12);
    EXPECT_NEAR(st.Arr.PKaForm(1, 0)[25], 5.0, 1e-12);
    EXPECT_NEAR(st.Arr.UForm(1, 0)[25], 40e-9, 1e-20);
    EXPECT_NEAR(st.Arr.C(2, 1)[100], 10.0, 1e-6);
    EXPECT_NEAR(st.Arr.PKaForm(1, 0)[100], 6.0, 1e-6);
    for (int j = 0; j <= 100; ++j) {  // edge w = 2 nodes
        const double na = 1.0 + (1 + Erf((j - 25) / 1.0)) * 1.5 - (1 + Erf((j - 75) / 1.0)) * 0.5;
        EXPECT_NEAR(st.Arr.C(2, 2)[j], na, 1e-12) << j;
        // the concentration boundary stays at 33.33, the mobility boundary is rounded to node 33
        EXPECT_NEAR(st.Arr.UForm(3, 1)[j], (20.0 + (1 + Erf((j - 33) / 1.0)) * 10.0) * 1e-9, 1e-20);
        EXPECT_DOUBLE_EQ(st.Arr.PKaForm(3, 1)[j], 8.0);
        EXPECT_NEAR(st.Arr.C(2, 4)[j], 7.5, 1e-15);
    }
    // the amount (trapezoidal sum) is the sum of the segment amounts
    const double* na = st.Arr.C(2, 2);
    EXPECT_NEAR(Sum(na, 100) - 0.5 * (na[0] + na[100]), 1.0 * 25 + 4.0 * 50 + 3.0 * 25, 1e-5);
}

TEST(InitDistribution, TableProfileAndSetUpsThatCannotBeLaidOut)
{
    RunState st;
    TComponents a = StrongCation("A", kUK, BGE, 3.0, 3.0), b = a, c = a;
    a.AllocTable(101);
    for (int k = 1; k <= 101; ++k) a.table[k] = 0.1 * k;
    b.AllocTable(100);   // not one value per node: ignored
    c.tableCount = 101;  // a count without values: ignored
    Prepare(st, {a, b, c}, 100);
    ASSERT_TRUE(InitDistribution(st));
    for (int j = 0; j <= 100; ++j) {
        EXPECT_DOUBLE_EQ(st.Arr.C(2, 1)[j], 0.1 * (j + 1));
        EXPECT_EQ(st.Arr.DrawnProfile[1][j], st.Arr.C(2, 1)[j]);
        EXPECT_TRUE(st.Arr.C(2, 2)[j] == 3.0 && st.Arr.C(2, 3)[j] == 3.0) << j;
    }

    // segment layouts that cannot be laid out (and modes outside 1..5): refused, no run left
    RecordingMessageSink sink;
    const TComponents seg = StrongCation("B", kUNa, BGE, 0, 0);
    std::vector<TComponents> bad = {seg,
                                    seg,
                                    Segmented(seg, {1.0}, {1.0}),
                                    Segmented(seg, {1.0, 2.0}, {1.0, 1.0}),
                                    Segmented(seg, {1.0, 2.0}, {0.0, 0.0}),
                                    Segmented(seg, {1.0, 2.0}, {1.0, -1.0})};
    bad[0].mode = 0;
    bad[1].mode = 6;
    bad[2].zones = 0;
    bad[3].c_grad.resize(2);
    for (const TComponents& b : bad) {
        RunState s2;
        Prepare(s2, {a, b, a}, 100);
        s2.Initialised = true;
        sink.Clear();
        EXPECT_FALSE(InitDistribution(s2));
        EXPECT_EQ(sink.warnings,
                  std::vector<std::string>{"Error: Incorrent setup of 2. constituent"});
        EXPECT_FALSE(s2.Arr.Allocated() || s2.Initialised);
    }
}
