// Profile recalculation: equilibrium and field of level 2 on the whole grid
// whatever the computation window, and the derived profiles against the
// physics they stand for (Ohm's law, the potential across the column, the
// ionic strength 0.5 sum z^2 c).
#include <gtest/gtest.h>

#include <cmath>

#include "engine/init_calc.h"
#include "engine/recalc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

void InitUniformSalt(RunState& st, int nodes) {
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    PrepareRun(st, comp, nodes);
    ASSERT_TRUE(InitCalc(st));
}

}  // namespace

TEST(RecalcProfiles, UniformColumnObeysOhmsLaw) {
    RecordingMessageSink sink;
    RunState st;
    InitUniformSalt(st, 100);
    EngineArrays& a = st.Arr;
    const double area = 3.141592653589793 * 0.25 * st.CapDiameter * st.CapDiameter;
    const double kappa = a.Kappa[50];
    // Constant voltage 250 V over 25 mm: I = U kappa S / L, E = U / L.
    EXPECT_NEAR(st.I, 250.0 * kappa * area / 0.025, st.I * 1e-9);
    EXPECT_NEAR(st.KappaEnd, a.Kappa[100], 0.0);
    const RunSeries& s = st.Series;
    for (int j = 0; j <= 100; j += 10) {
        EXPECT_NEAR(s.sr_E.y[j], 250.0 / 0.025 * 0.001, 1e-6);
        EXPECT_NEAR(s.sr_j.y[j], st.I / area * 0.001, 1e-9 * st.I / area);
        EXPECT_NEAR(s.sr_Ui.y[j], 250.0 / 100, 1e-9);
        EXPECT_NEAR(s.sr_P.y[j], 250.0 / 100 * st.I / st.DX, 1e-9 * 250.0 / 100 * st.I / st.DX);
        EXPECT_DOUBLE_EQ(s.sr_pH.y[j], a.PH[j]);
        EXPECT_DOUBLE_EQ(s.sr_conductivity.x[j], j * 0.025 / 100 * 1000);
    }
    // The potential ends at the applied voltage: the end nodes count half.
    ASSERT_EQ(s.sr_potential.Count(), 101);
    EXPECT_NEAR(s.sr_potential.y[100], 0.25, 1e-9);
    EXPECT_DOUBLE_EQ(s.sr_potential.x[100], 25.0);
    EXPECT_NEAR(s.sr_potential.y[0], 250.0 / 100 * 0.001 * 0.5, 1e-12);
    // Ionic strength 0.5 * sum z^2 c of the ions, water ions included.
    const double ionic =
        0.5 * (a.CForm(2, 1, 1)[50] + a.CForm(2, 2, 0)[50] + a.CH(2)[50] + a.COH(2)[50]);
    EXPECT_NEAR(s.sr_IS.y[50], ionic, ionic * 1e-12);
    EXPECT_NEAR(ionic, 10.0, 1e-3);
}

TEST(RecalcProfiles, WholeGridWhateverTheWindowAndChromMode) {
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, AcetateBufferWithAnalytes(), 100);
    ASSERT_TRUE(InitCalc(st));
    EngineArrays& a = st.Arr;
    // Spoil the equilibrium everywhere, narrow the window, recalculate.
    for (int j = 0; j <= 100; ++j) a.CH(2)[j] = 1.0;
    st.LeftWall = 40;
    st.RightWall = 60;
    RecalcProfiles(st, 2);
    EXPECT_EQ(st.LeftWall, 40);
    EXPECT_EQ(st.RightWall, 60);
    EXPECT_GT(st.NewtonItTotal, 0);
    for (int j : {0, 50, 90, 100}) {  // outside the analyte zone around node 12
        EXPECT_NEAR(a.PH[j], 4.7575, 0.01) << j;
        EXPECT_NE(a.CH(2)[j], 1.0);
    }
    // Chrom mode: the series show conductivity 1, the end conductivity keeps
    // the computed value.
    st.cbChrom = true;
    const double kappaEnd = a.Kappa[100];
    RecalcProfiles(st, 2);
    st.cbChrom = false;
    EXPECT_EQ(st.KappaEnd, kappaEnd);
    for (int j = 0; j <= 100; j += 25) {
        EXPECT_EQ(a.Kappa[j], 1.0);
        EXPECT_EQ(st.Series.sr_conductivity.y[j], st.CondScale);
        for (int l = 1; l <= 5; ++l) EXPECT_EQ(a.CH(l)[j], 1e-4);
    }
}
