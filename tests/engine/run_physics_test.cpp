// Physics of the run loop checked against results that do not use the
// engine's formulas: zone velocity = effective mobility x field, conservation
// of matter, ambipolar diffusion of a salt, and the isotachophoretic
// adjustment of a sample zone with Kohlrausch's regulating function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

constexpr double kR = 8.314, kF = 96485.0;

struct Layout {
    int nodes;
    double lengthMM, injMM, widthMM, edgeMM;
    double volts;
};

// Initialises the run with the layout, runs it to stopTime at a start dt,
// and returns the level-2 profiles before and after.
std::pair<std::vector<std::vector<double>>, std::vector<std::vector<double>>> RunProfiles(
    RunState& st, const TUnivSet<TComponents>& comp, const Layout& l, double stopTime, double dt)
{
    PrepareRun(st, comp, l.nodes);
    st.CapLengthPending = l.lengthMM * 1e-3;
    SetZoneAndVoltage(st, l.injMM, l.widthMM, l.edgeMM, l.volts);
    std::vector<std::vector<double>> before, after;
    if (!InitCalc(st)) return {};
    for (int i = 1; i <= st.NComp; ++i) before.push_back(Profile(st, i));
    st.StopTime = stopTime;
    st.DT = dt;
    RunCalc(st);
    StopCalc(st);
    for (int i = 1; i <= st.NComp; ++i) after.push_back(Profile(st, i));
    return {before, after};
}

TEST(RunPhysics, TraceZonesMoveAtEffectiveMobilityTimesFieldAndAreConserved)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0, 15.0));
    comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 1e-3));
    comp.Add(WeakBase("Base", 5.0, 30.0, Analyte, 0.0, 1e-3));
    RunState st;
    const auto [c0, c1] = RunProfiles(st, comp, {250, 25.0, 4.0, 1.0, 0.5, 100.0}, 10.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 9.9);
    // the base moves with its protonated fraction at the buffer's cH
    const double E = 100.0 / 0.025, cH = st.Arr.CH(2)[st.NX];
    const double u[] = {kUK * 1e-9, 30e-9 * cH / (cH + std::pow(10.0, 3 - 5.0))};
    for (int i : {2, 3}) {
        const double pred = u[i - 2] * E * st.Time;
        const ProfileMoments m0 = Moments(c0[i], st.DX), m1 = Moments(c1[i], st.DX);
        EXPECT_NEAR(m1.mean - m0.mean, pred, 0.002 * pred);
        EXPECT_NEAR(m1.amount, m0.amount, 1e-10 * m0.amount);
    }
}

TEST(RunPhysics, SaltZoneSpreadsWithAmbipolarDiffusionAtZeroCurrent)
{
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Sodium", kUNa, Analyte, 0.0, 1.0));
    comp.Add(StrongAnion("Chloride", kUCl, Analyte, 0.0, 1.0));
    RunState st;
    const auto [c0, c1] = RunProfiles(st, comp, {100, 10.0, 5.0, 2.0, 0.5, 0.0}, 20.0, 1e-2);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_EQ(st.I, 0);
    const double dNa = kUNa * 1e-9 * kR * st.Temperature / kF,
                 dCl = kUCl * 1e-9 * kR * st.Temperature / kF;
    const double dAmb = 2 * dNa * dCl / (dNa + dCl);
    for (int i : {0, 1})
        EXPECT_NEAR(
            (Moments(c1[i], st.DX).variance - Moments(c0[i], st.DX).variance) / (2 * st.Time), dAmb,
            0.01 * dAmb);
}

TEST(RunPhysics, IsotachophoresisAdjustsTheSampleAndKeepsKohlrauschsFunction)
{
    RecordingMessageSink sink;
    RunState st;
    const auto [c0, c1] =
        RunProfiles(st, ItpStrongIons(), {240, 6.0, 1.8, 1.4, 0.05, 12.0}, 15.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    // Kohlrausch's regulating function sum |z| c / u of the strong ions
    const double u[4] = {kUK, kUNa, kULi, kUCl};
    auto omega = [&](const std::vector<std::vector<double>>& c, int j) {
        double w = 0;
        for (int i = 0; i < 4; ++i) w += c[i][j] / u[i];
        return w;
    };
    auto node = [&](double mm) { return static_cast<int>(std::lround(mm * 1e-3 / st.DX)); };

    // the sample zone (Na above half its maximum) has left its original place
    // and taken the concentration set by the leader
    const auto& na = c1[1];
    const double naMax = *std::max_element(na.begin(), na.end());
    int rear = -1, front = -1;
    for (int j = 0; j <= st.NX; ++j)
        if (na[j] > 0.5 * naMax) (rear < 0 ? rear : front) = front = j;
    ASSERT_GT(rear, node(2.5));
    ASSERT_LT(front, node(5.5));
    const double adjusted = 10.0 * (kUNa / kUK) * (kUK + kUCl) / (kUNa + kUCl);
    const int mid = (rear + front) / 2, half = (front - rear) / 4;
    for (int j = mid - half; j <= mid + half; ++j)
        EXPECT_NEAR(na[j], adjusted, 0.005 * adjusted) << j;

    // inside each plateau the regulating function keeps its initial value:
    // terminator, the original sample region (now terminator), the sample
    // zone (former leader region) and the leader ahead of it
    std::vector<int> probes = {node(0.2), node(0.4), node(1.7), node(1.8), mid};
    for (int j = front + node(0.3); j <= st.NX - 5; j += 5) probes.push_back(j);
    for (int j : probes)
        EXPECT_NEAR(omega(c1, j), omega(c0, j), 0.001 * omega(c0, j)) << "node " << j;
}

}  // namespace
