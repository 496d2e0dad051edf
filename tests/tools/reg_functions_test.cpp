// Regulating functions and additional profiles: the terms of the universal
// function on a hand-filled state against values worked out by hand, the
// Kohlrausch function across the zones of a real isotachophoretic run, the
// derived profiles and the report text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "engine/step/comp_window.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "tools/additional_info.h"
#include "tools/reg_functions.h"
#include "toy_state.h"

namespace {

using namespace testcomp;

// Three nodes. At every node cH = 0.5 mM and cOH = 0 with uH = 400e-9;
// the form weights w = cH^z L are
//   ampholyte: w(-1) = 0.5^-1 * 0.5 = 1, w(0) = 2, w(+1) = 0.5 * 2 = 1 (sum 4),
//              u(-1) = 30e-9, u(+1) = 40e-9;
//   weak acid: w(-1) = 0.5^-1 * 0.25 = 0.5, w(0) = 1.5 (sum 2), u(-1) = 40e-9;
//   neutral:   w(0) = 1, no charged form (effective mobility 0).
// Drawn concentrations: ampholyte 2, 4, 0; acid 4, 4, 4; neutral 3, 3, 3.
void FillToyEquilibrium(RunState& st)
{
    MakeToyState(st, 2);
    EngineArrays& a = st.Arr;
    const double amph[] = {2, 4, 0};
    for (int j = 0; j <= 2; ++j) {
        a.CH(2)[j] = 0.5;
        a.COH(2)[j] = 0;
        a.UForm(4, 1)[j] = 400e-9;
        a.UForm(5, 0)[j] = 200e-9;
        a.LForm(1, 0)[j] = 0.5, a.LForm(1, 1)[j] = 2, a.LForm(1, 2)[j] = 2;
        a.UForm(1, 0)[j] = 30e-9, a.UForm(1, 2)[j] = 40e-9;
        a.LForm(2, 0)[j] = 0.25, a.LForm(2, 1)[j] = 1.5;
        a.UForm(2, 0)[j] = 40e-9;
        a.LForm(3, 0)[j] = 1;
        a.DrawnProfile[1][j] = amph[j];
        a.DrawnProfile[2][j] = 4;
        a.DrawnProfile[3][j] = 3;
    }
}

TEST(UniversalRF, TermsAndReportAgainstHandValuesWithZeroEffectiveMobility)
{
    RunState st;
    FillToyEquilibrium(st);
    AdditionalState add;
    add.edInitX = "1";
    ComputeUniversalRF(st, add);
    EngineArrays& a = st.Arr;
    // Ampholyte: zbar = 0, z2bar = 2/4, ubar = (-30 + 40)/4 = 2.5e-9,
    // mu = (30 + 40)/4 = 17.5e-9, nu = (-30 + 40)/4 = 2.5e-9.
    //   r1 term = c/ubar (mu^2 - ubar nu) = c/2.5e-9 * 300e-18 = 1.2e-7 c
    //   r2 term = -c/ubar (mu zbar - ubar z2bar) = c * 0.5 = 0.5 c
    // Weak acid (univalent): both terms vanish; mu/ubar = -1,
    //   zbar/ubar = -0.25 / -10e-9 = 2.5e7. Neutral: nothing, ratios 0.
    const double c1[] = {2, 4, 0};
    for (int j = 0; j <= 2; ++j) {
        EXPECT_NEAR(a.URFR[1][j], 1.2e-7 * c1[j], 1e-20) << j;
        EXPECT_NEAR(a.URFR[2][j], 0.5 * c1[j], 1e-12) << j;
        EXPECT_EQ(std::tuple(a.URFR[3][j], a.URFR[4][j], a.URFR[5][j], a.URFR[6][j],
                             a.URFWorkA[3][j], a.URFWorkB[3][j]),
                  std::tuple(-0.5 * 400e-9, 0.5, 0.5, 0.0, 0.0, 0.0))
            << j;
        EXPECT_NEAR(a.URFWorkA[1][j], 7.0, 1e-12);
        EXPECT_NEAR(a.URFWorkB[1][j], 0.0, 1e-12);
        EXPECT_NEAR(a.URFWorkA[2][j], -1.0, 1e-12);
        EXPECT_NEAR(a.URFWorkB[2][j], 2.5e7, 1e-5);
    }
    // the INIT position: node 1 copied into slot NX + 1
    EXPECT_EQ(std::tuple(add.URFCount, add.edInitX), std::tuple(1, "1"));
    for (int r = 1; r <= 6; ++r) EXPECT_EQ(a.URFR[r][3], a.URFR[r][1]);
    EXPECT_EQ(a.URFWorkB[2][3], a.URFWorkB[2][1]);

    // Init concentrations of the three constituents at node 1
    a.URF[1][1] = 2, a.URF[2][1] = 1, a.URF[3][1] = 5;
    // R1 = (r2 + r4) * 7 + (r1 + r3) * 0 = (2 + 0.5) * 7 = 17.5
    // R2 = (r2 + r4) * -1 + (r1 + r3) * 2.5e7 = -2.5 + (4.8e-7 - 2e-7) * 2.5e7 = 4.5,
    //      one unit of the 15th digit below in binary arithmetic
    // w = 17.5 * 2 + 4.5 * 1 + 0 * 5 = 39.5
    const std::vector<std::string> expected = {"Universal Regulation Function Report",
                                               "------------------------------------",
                                               "",
                                               "X = 1",
                                               "",
                                               "r1 = 4.8E-7",
                                               "r2 = 2",
                                               "r3 = -2E-7",
                                               "r4 = 0.5",
                                               "",
                                               "i ... (mju[i]/ueff[i], Z[i]/ueff[i])",
                                               "1 ... (7, 0)",
                                               "2 ... (-1, 25000000)",
                                               "3 ... (0, 0)",
                                               "",
                                               "i ... R[i]",
                                               "1 ... 17.5",
                                               "2 ... 4.49999999999999",
                                               "3 ... 0",
                                               "",
                                               "w(x) = 39.5"};
    EXPECT_EQ(UrfReportLines(st, add), expected);
    // text that is no whole number takes node 0; a node beyond the grid is clamped
    add.edInitX = "1.5x";
    ComputeUniversalRF(st, add);
    EXPECT_EQ(std::tuple(add.edInitX, add.URFCount, a.URFR[2][3]),
              std::tuple("0", 0, a.URFR[2][0]));
    add.edInitX = "99";
    ComputeUniversalRF(st, add);
    EXPECT_EQ(std::tuple(add.edInitX, a.URFR[2][3]), std::tuple("2", 0.0));
    // an INIT position outside the grid reads the last node, never beyond
    add.URFCount = 1000;
    EXPECT_EQ(UrfReportLines(st, add)[3], "X = 2");
    // without a run only the title
    RunState empty;
    EXPECT_EQ(UrfReportLines(empty, add).size(), 2u);
}

TEST(RegulationFunctions, KohlrauschAndChargeSumOnTheToyState)
{
    RunState st;
    FillToyEquilibrium(st);
    st.Series.sr_pH.y[0] = 7.0;
    AdditionalState add;
    add.cbRegFn[1] = add.cbRegFn[2] = true;
    FillRegulationFunctions(st, add);
    // ampholyte at pH 7 (pK 3 and 9) and the acid (pK 4.75) are both
    // represented by their -1 forms, the neutral one by 0
    EXPECT_EQ(add.ChargeInfo, "-1\n-1\n0\n");
    const double c1[] = {2, 4, 0};
    const RunSeries& s = st.Series;
    for (int j = 0; j <= 2; ++j) {
        EXPECT_NEAR(s.sr_reg[1].y[j], c1[j] / 30 + 4.0 / 40, 1e-12) << j;
        EXPECT_DOUBLE_EQ(s.sr_reg[2].y[j], -c1[j] - 4.0);
    }
    EXPECT_TRUE(s.sr_reg[1].active && s.sr_reg[2].active && !s.sr_reg[3].active);
    // at pH 3 the ampholyte is nearer its cationic form
    st.Series.sr_pH.y[0] = 3.0;
    EXPECT_EQ(ChargeChoice(st)[1], 1);
    // nothing in the detector view
    st.DetectorView = true;
    FillRegulationFunctions(st, add);
    EXPECT_FALSE(s.sr_reg[1].active);
}

TEST(RegulationFunctions, UniversalFunctionFromItsTerms)
{
    RunState st;
    FillToyEquilibrium(st);
    st.cbCInit = false;
    AdditionalState add;
    add.cbRegFn[6] = true;
    add.cbR6[5] = false;  // each node its own terms
    add.edInitX = "1";
    FillRegulationFunctions(st, add);
    const std::vector<double>& y = st.Series.sr_reg[6].y;
    // node 0: r1 = 2.4e-7, r2 = 1, r3 = -2e-7, r4 = 0.5, r5 = cH = 0.5, r6 = 0;
    // sum of c (r1 + r3 + r5) z/u + c (r2 + r4 + r6) mu/u over the constituents:
    //   ampholyte 2 * 1.5 * 7 = 21; acid 4 * (0.50000004 * 2.5e7 - 1.5) = 49999998
    EXPECT_NEAR(y[0], 50000019.0, 1e-6);
    // one-point regulation: every node reads the terms of node 1
    // (r1 = 4.8e-7, r2 = 2); node 2 has no ampholyte:
    //   4 * (0.50000028 * 2.5e7 - 2.5) = 50000018
    add.cbR6[5] = true;
    FillRegulationFunctions(st, add);
    EXPECT_NEAR(y[2], 50000018.0, 1e-6);
    // without the r1 and r3 terms: 4 * (0.5 * 2.5e7 - 2.5) = 49999990
    add.cbR6[1] = add.cbR6[3] = false;
    FillRegulationFunctions(st, add);
    EXPECT_NEAR(y[2], 49999990.0, 1e-6);
    EXPECT_EQ(add.URFCount, 1);
}

// Functions 3 and 4 add to Kohlrausch's |z|/u the terms -z/uH and +z/uOH.
// At pH 3 the ampholyte is represented by its cation (u 40), the acid by its
// anion (u 40), the neutral constituent by nothing; uH = 400, uOH = 200.
TEST(RegulationFunctions, ThreeAndFourAgainstHandSums)
{
    RunState st;
    FillToyEquilibrium(st);
    st.Series.sr_pH.y[0] = 3.0;
    AdditionalState add;
    add.cbRegFn[3] = add.cbRegFn[4] = true;
    FillRegulationFunctions(st, add);
    EXPECT_EQ(add.ChargeInfo, "1\n-1\n0\n");
    const RunSeries& s = st.Series;
    ASSERT_TRUE(s.sr_reg[3].active && s.sr_reg[4].active && !s.sr_reg[1].active);
    const double c1[] = {2, 4, 0};
    for (int j = 0; j <= 2; ++j) {
        // in units of 1e9 (V s)/m2: c (|z|/u - z/uH) and c (|z|/u + z/uOH)
        const double reg3 = c1[j] * (1.0 / 40 - 1.0 / 400) + 4.0 * (1.0 / 40 + 1.0 / 400);
        const double reg4 = c1[j] * (1.0 / 40 + 1.0 / 200) + 4.0 * (1.0 / 40 - 1.0 / 200);
        EXPECT_NEAR(s.sr_reg[3].y[j], reg3, 1e-12) << j;
        EXPECT_NEAR(s.sr_reg[4].y[j], reg4, 1e-12) << j;
    }
}

// Where OH- is not negligible its terms enter the universal function:
// r3 = -(cH uH - cOH uOH), r4 = cH + cOH, r6 = cOH.
TEST(RegulationFunctions, UniversalFunctionCountsHydroxide)
{
    RunState st;
    FillToyEquilibrium(st);
    EngineArrays& a = st.Arr;
    for (int j = 0; j <= 2; ++j) a.COH(2)[j] = 0.2;
    AdditionalState add;
    add.cbRegFn[6] = true;
    add.cbR6[5] = false;
    add.edInitX = "0";
    FillRegulationFunctions(st, add);
    for (int j = 0; j <= 2; ++j) {
        EXPECT_NEAR(a.URFR[3][j], -(0.5 * 400e-9 - 0.2 * 200e-9), 1e-22) << j;
        EXPECT_DOUBLE_EQ(a.URFR[4][j], 0.5 + 0.2);
        EXPECT_DOUBLE_EQ(a.URFR[5][j], 0.5);
        EXPECT_DOUBLE_EQ(a.URFR[6][j], 0.2);
    }
    // node 0: r1 = 2.4e-7, r2 = 1 (as without OH-);
    //   z term r1 + r3 + r5 = 2.4e-7 - 1.6e-7 + 0.5 = 0.50000008,
    //   mobility term r2 + r4 + r6 = 1 + 0.7 + 0.2 = 1.9;
    //   ampholyte 2 * 1.9 * 7 = 26.6; acid 4 * (0.50000008 * 2.5e7 - 1.9) = 50000000.4
    const std::vector<double>& y = st.Series.sr_reg[6].y;
    EXPECT_NEAR(y[0], 50000027.0, 1e-6);
    // node 2 (no ampholyte): r1 = r2 = 0: 4 * ((0.5 - 1.6e-7) * 2.5e7 - 0.9) = 49999980.4
    EXPECT_NEAR(y[2], 49999980.4, 1e-6);
}

// Function 8 (strong electrolytes with the water ions) where OH- is not
// negligible: sum over k of (z (cH + cOH) + |z| (cOH uOH - cH uH)) / u c.
// At pH 3 the ampholyte counts as its cation, the acid as its anion (both u 40e-9).
TEST(RegulationFunctions, StrongElectrolyteFunctionCountsHydroxide)
{
    RunState st;
    FillToyEquilibrium(st);
    st.Series.sr_pH.y[0] = 3.0;
    EngineArrays& a = st.Arr;
    for (int j = 0; j <= 2; ++j) a.COH(2)[j] = 0.2;
    st.cbCInit = false;
    AdditionalState add;
    add.cbRegFn[8] = true;
    add.cbR6[5] = false;
    FillRegulationFunctions(st, add);
    ASSERT_TRUE(st.Series.sr_reg[8].active);
    const double c1[] = {2, 4, 0};
    const double water = 0.2 * 200e-9 - 0.5 * 400e-9;
    for (int j = 0; j <= 2; ++j) {
        const double want = (0.7 + water) / 40e-9 * c1[j] + (-0.7 + water) / 40e-9 * 4.0;
        EXPECT_NEAR(st.Series.sr_reg[8].y[j], want, 1e-12 * 7e7) << j;
    }
}

TEST(RegulationFunctions, StateBeforeAnySolveGivesFiniteZeros)
{
    RunState st;
    MakeToyState(st, 4);  // every array zero: cH = 0, mobilities 0
    AdditionalState add;
    for (int k = 1; k <= 8; ++k) add.cbRegFn[k] = true;
    st.cbCInit = false;
    st.Series.clbGraph.assign(st.NComp + 13, CheckListItem{});
    FillRegulationFunctions(st, add);
    FillAdditionalSeries(st);
    const RunSeries& s = st.Series;
    std::vector<const ChartSeries*> series{&s.sr_IS, &s.sr_E, &s.sr_elneut,
                                           &s.sr_j,  &s.sr_P, &s.sr_potential};
    for (int k = 1; k <= 8; ++k) series.push_back(&s.sr_reg[k]);
    for (const ChartSeries* p : series)
        for (double v : p->y) EXPECT_TRUE(std::isfinite(v)) << p->title;
    for (int r = 1; r <= 6; ++r)
        for (int j = 0; j <= 5; ++j) EXPECT_TRUE(std::isfinite(st.Arr.URFR[r][j]));
}

TEST(RegulationFunctions, AllUnivalent)
{
    TUnivSet<TComponents> list;
    EXPECT_TRUE(AllUnivalent(list));
    list.Add(WeakAcid("Acid", 4.75, 40, BGE, 4, 4));
    list.Add(WeakBase("Base", 9, 30, BGE, 4, 4));
    EXPECT_TRUE(AllUnivalent(list));
    TUnivSet<TComponents> divalent = list;
    divalent.Add(Constituent("Di", -2, 0, {4, 6, 0}, {30, 20, 0}, BGE, 1, 1));
    list.Add(Constituent("Sugar", 0, 0, {0.0}, {0.0}, Analyte, 3, 3));
    EXPECT_FALSE(AllUnivalent(divalent) || AllUnivalent(list));
}

TEST(AdditionalSeries, FieldPotentialPowerAndBalance)
{
    RunState st;
    FillToyEquilibrium(st);
    EngineArrays& a = st.Arr;
    const double e[] = {1000, 2000, 3000};
    // Charge balance: cH 0.5 + the acid's mean charge -0.25 x 2 mM = 0; ionic
    // strength 0.5 (cH + z^2 c(-1) of the acid, 0.5 mM).
    for (int j = 0; j <= 2; ++j)
        a.E[j] = e[j], a.S[j] = 2e-9, a.T(2)[j] = 308.15, a.C(2, 2)[j] = 2, a.ZMean[2][j] = -0.25,
        a.CForm(2, 2, 0)[j] = 0.5;
    st.I = 1e-6, st.DX = 0.001;
    RunSeries& s = st.Series;
    // the list without the additional profiles: only IS, E and the balance
    s.clbGraph.assign(st.NComp + 4, CheckListItem{});
    // The run's own ionic-strength row (the correction is off) is only read
    // for display, never written: what the run computes next must not depend
    // on whether the chart was drawn.
    for (int j = 0; j <= 2; ++j) a.IonicStrength(2)[j] = 7.0 + j;
    FillAdditionalSeries(st);
    for (int j = 0; j <= 2; ++j) {
        EXPECT_EQ(a.IonicStrength(2)[j], 7.0 + j);
        EXPECT_DOUBLE_EQ(s.sr_E.y[j], e[j] * 0.001);
        EXPECT_NEAR(s.sr_IS.y[j], 0.5 * (0.5 + 0.5), 1e-15);
        // cH - Kw/cH + sum c zbar with Kw = 1e-8 mM2, in 1e-12 mM
        EXPECT_NEAR(s.sr_elneut.y[j], -1e-8 / 0.5 * 1e12, 1e-3);
        EXPECT_EQ(s.sr_potential.y[j] + s.sr_T.y[j], 0.0);
    }
    s.clbGraph.assign(st.NComp + 5, CheckListItem{});
    FillAdditionalSeries(st);
    for (int j = 0; j <= 2; ++j) {
        EXPECT_NEAR(s.sr_Ui.y[j], e[j] * st.DX, 1e-12);        // V over one node spacing
        EXPECT_NEAR(s.sr_P.y[j], e[j] * st.I, 1e-15);          // W/m = E I
        EXPECT_NEAR(s.sr_j.y[j], st.I / 2e-9 * 0.001, 1e-12);  // 1e3 A/m2
        EXPECT_NEAR(s.sr_T.y[j], 35.0, 1e-12);
    }
    // the potential at the end is the trapezoidal integral of E over the grid, kV
    const double integral = st.DX * (e[0] / 2 + e[1] + e[2] / 2) * 0.001;
    EXPECT_NEAR(s.sr_potential.y[2], integral, 1e-15);
    EXPECT_NEAR(s.sr_potential.y[0], st.DX * e[0] / 2 * 0.001, 1e-15);
    // no current: no current density, no power
    st.I = 0;
    FillAdditionalSeries(st);
    for (int j = 0; j <= 2; ++j) EXPECT_EQ(s.sr_j.y[j] + s.sr_P.y[j], 0.0);
}

TEST(RegulationFunctions, KohlrauschConstantAcrossIsotachophoreticZones)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, ItpStrongIons(), 240);
    st.CapLengthPending = 6.0e-3, st.InjSitePending = 1.8, st.PeakWidthPending = 1.4,
    st.PeakEdgeWidthPending = 0.05;
    st.rbVoltage = st.rbPSQNo = true, st.rbPSQMS = false, st.UI = 12.0;
    ASSERT_TRUE(InitCalc(st));
    // Kohlrausch's function of the initial state, from the limiting mobilities
    const double u[5] = {0, kUK, kUNa, kULi, kUCl};
    std::vector<double> omega0(st.NX + 1, 0.0);
    for (int j = 0; j <= st.NX; ++j)
        for (int i = 1; i <= 4; ++i) omega0[j] += st.Arr.C(2, i)[j] / u[i];
    st.StopTime = 15.0;
    st.DT = 1e-3;
    RunCalc(st);
    StopCalc(st);
    RedrawGraph(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    // the sample has moved into the former leader region
    const double* na = st.Arr.C(2, 2);
    const int peak = static_cast<int>(std::max_element(na, na + st.NX + 1) - na);
    ASSERT_GT(peak, static_cast<int>(2.5e-3 / st.DX));

    AdditionalState add;
    add.cbRegFn[1] = true;
    FillRegulationFunctions(st, add);
    EXPECT_EQ(add.ChargeInfo, "1\n1\n1\n-1\n");
    const std::vector<double>& w = st.Series.sr_reg[1].y;
    ASSERT_EQ(static_cast<int>(w.size()), st.NX + 1);
    // inside the plateaus the function keeps the value it had there at the
    // start: the terminator, the original sample region (now terminator),
    // the middle of the adjusted sample zone and the leader ahead of it
    auto node = [&](double mm) { return static_cast<int>(std::lround(mm * 1e-3 / st.DX)); };
    const double naMax = na[peak];
    int rear = -1, front = -1;
    for (int j = 0; j <= st.NX; ++j)
        if (na[j] > 0.5 * naMax) {
            if (rear < 0) rear = j;
            front = j;
        }
    std::vector<int> probes = {node(0.2), node(0.4), node(1.7), node(1.8), (rear + front) / 2};
    for (int j = front + node(0.3); j <= st.NX - 5; j += 5) probes.push_back(j);
    ASSERT_GT(probes.size(), 10u);
    for (int j : probes) EXPECT_NEAR(w[j], omega0[j], 0.001 * omega0[j]) << "node " << j;
    // and it is not constant across the capillary: the test can tell zones apart
    EXPECT_GT(std::fabs(w[node(0.2)] - w[st.NX - 5]), 0.05 * w[st.NX - 5]);
}

}  // namespace
