// The diagnostics graph on a run whose arrays are overwritten with profiles of
// known differences: Sx and bx against their closed forms, the substitutions
// where the concentration is flat, the spans in metres and in the chart unit.
#include "tools/diagnostics.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

namespace {

// c(i) = i + 1, u = -3e-8, kappa(i) = 2 + i on every node of constituent 1.
void LinearProfiles(RunState& st)
{
    EngineArrays& a = st.Arr;
    for (int i = 0; i <= st.NX; ++i) {
        a.C(2, 1)[i] = i + 1;
        a.UEff[1][i] = -3e-8;
        a.Kappa[i] = 2 + i;
    }
    st.LinScale = 1e7;
}

}  // namespace

TEST(Diagnostics, SxAndBxFollowTheirClosedForms)
{
    RunState st;
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 20);
    ASSERT_TRUE(InitCalc(st));
    LinearProfiles(st);
    DiagnosticsParams p;
    p.LineIndex = 1, p.MultSx = 2;
    DiagnosticsSeries d;
    ASSERT_TRUE(ComputeDiagnostics(st, p, d));
    const int N = st.NX;
    ASSERT_EQ(std::tuple(d.Sx.Count(), d.comp.Count()), std::tuple(N + 1, N + 1));
    for (int i = 1; i < N; ++i) {
        // dc = 1, dkappa = 1; Sx = kappa^2 / (u s) * dr with dr = s u (1/(k+1) - 1/(k-1)) / 2.
        const double k = 2 + i;
        EXPECT_NEAR(d.Sx.y[i], 2 * -k * k / (k * k - 1), 1e-12) << i;
        EXPECT_NEAR(d.bx.y[i], 1.0, 1e-12) << i;
        EXPECT_DOUBLE_EQ(d.Sx.x[i], i * st.CapLength / N);
    }
    // End points repeat their neighbours; the x span is the length in metres.
    EXPECT_EQ(d.Sx.y[0], d.Sx.y[1]);
    EXPECT_EQ(d.bx.y[N], d.bx.y[N - 1]);
    EXPECT_DOUBLE_EQ(d.Sx.x[N], st.CapLength);
    // The concentration spans the length in the chart unit (mm).
    EXPECT_DOUBLE_EQ(d.comp.x[N], st.CapLength * 1000);
    EXPECT_EQ(std::tuple(d.comp.y[3], d.vx.Count()), std::tuple(4.0, 0));

    // vx on request: r against c.
    p.ShowVx = true, p.Multvx = 10;
    ASSERT_TRUE(ComputeDiagnostics(st, p, d));
    ASSERT_EQ(d.vx.Count(), N + 1);
    EXPECT_DOUBLE_EQ(d.vx.x[2], 3);
    EXPECT_NEAR(d.vx.y[2], 10 * -3e-8 * 1e7 / 4, 1e-15);

    // Where the concentration is flat, or the constituent neutral, INFValue x factor.
    for (int i = 0; i <= N; ++i) st.Arr.C(2, 1)[i] = 5;
    p.INFValue = 7;
    ASSERT_TRUE(ComputeDiagnostics(st, p, d));
    EXPECT_EQ(std::tuple(d.Sx.y[4], d.bx.y[4]), std::tuple(14.0, 7.0));
    LinearProfiles(st);
    for (int i = 0; i <= N; ++i) st.Arr.UEff[1][i] = 0;
    ASSERT_TRUE(ComputeDiagnostics(st, p, d));
    EXPECT_EQ(std::tuple(d.Sx.y[4], d.vx.Count()), std::tuple(14.0, N + 1));
    EXPECT_TRUE(std::isfinite(d.bx.y[4]));

    // No such constituent, or no run: nothing drawn.
    p.LineIndex = st.NComp + 1;
    EXPECT_FALSE(ComputeDiagnostics(st, p, d));
    EXPECT_EQ(d.Sx.Count(), 0);
    RunState none;
    p.LineIndex = 1;
    EXPECT_FALSE(ComputeDiagnostics(none, p, d));
}

TEST(Diagnostics, FactorTexts)
{
    DiagnosticsParams p;
    const std::string texts[6] = {"-5", "x", "2,5", "", "0.5", "0"};
    ReadDiagnosticsTexts(p, texts);
    // A minimum change of 0 is refused.
    EXPECT_EQ(std::tuple(p.INFValue, p.MultSx, p.Multbx, p.MultC, p.MinDC),
              std::tuple(-5.0, 1.0, 2.5, 0.5, 1e-10));
}
