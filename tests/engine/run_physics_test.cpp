// Physics of the run loop checked against results that do not use the
// engine's formulas: zone velocity = effective mobility x field, conservation
// of matter, ambipolar diffusion of a salt, and the isotachophoretic
// adjustment of a sample zone with Kohlrausch's regulating function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/init_calc.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

constexpr double kR = 8.314, kF = 96485.0;

struct Layout {
    int nodes;
    double lengthMM, injMM, widthMM, edgeMM;
    double volts;
};

void InitRun(RunState& st, const TUnivSet<TComponents>& comp, const Layout& l) {
    PrepareRun(st, comp, l.nodes);
    st.CapLengthPending = l.lengthMM * 1e-3;
    st.InjSitePending = l.injMM;
    st.PeakWidthPending = l.widthMM;
    st.PeakEdgeWidthPending = l.edgeMM;
    st.rbVoltage = true;
    st.UI = l.volts;
    st.rbPSQNo = true;
    st.rbPSQMS = false;
    ASSERT_TRUE(InitCalc(st));
}

void RunUntil(RunState& st, double stopTime, double dt) {
    st.StopTime = stopTime;
    st.DT = dt;
    RunCalc(st);
    StopCalc(st);
}

std::vector<double> Profile(RunState& st, int i) {
    const double* c = st.Arr.C(2, i);
    return std::vector<double>(c, c + st.NX + 1);
}

double Amount(const std::vector<double>& c) {
    double s = 0;
    for (double v : c) s += v;
    return s;
}

// Centroid (m) and variance (m2) of a profile.
std::pair<double, double> Moments(const std::vector<double>& c, double dx) {
    double m1 = 0, m2 = 0;
    for (std::size_t j = 0; j < c.size(); ++j) {
        m1 += j * dx * c[j];
        m2 += j * dx * j * dx * c[j];
    }
    const double s = Amount(c), mean = m1 / s;
    return {mean, m2 / s - mean * mean};
}

TEST(RunPhysics, TraceZonesMoveAtEffectiveMobilityTimesFieldAndAreConserved) {
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0, 15.0));
    comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 1e-3));
    comp.Add(WeakBase("Base", 5.0, 30.0, Analyte, 0.0, 1e-3));
    RunState st;
    const Layout l{250, 25.0, 4.0, 1.0, 0.5, 100.0};
    InitRun(st, comp, l);
    const double dx = st.DX;
    const auto k0 = Profile(st, 3), b0 = Profile(st, 4);

    RunUntil(st, 10.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 9.9);
    const auto k1 = Profile(st, 3), b1 = Profile(st, 4);

    // the base moves with its protonated fraction at the buffer's cH
    const double E = l.volts / (l.lengthMM * 1e-3), cH = st.Arr.CH(2)[st.NX];
    const double predK = kUK * 1e-9 * E * st.Time;
    const double predB = 30e-9 * cH / (cH + std::pow(10.0, 3 - 5.0)) * E * st.Time;
    EXPECT_NEAR(Moments(k1, dx).first - Moments(k0, dx).first, predK, 0.002 * predK);
    EXPECT_NEAR(Moments(b1, dx).first - Moments(b0, dx).first, predB, 0.002 * predB);
    EXPECT_NEAR(Amount(k1), Amount(k0), 1e-10 * Amount(k0));
    EXPECT_NEAR(Amount(b1), Amount(b0), 1e-10 * Amount(b0));
}

TEST(RunPhysics, SaltZoneSpreadsWithAmbipolarDiffusionAtZeroCurrent) {
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Sodium", kUNa, Analyte, 0.0, 1.0));
    comp.Add(StrongAnion("Chloride", kUCl, Analyte, 0.0, 1.0));
    RunState st;
    InitRun(st, comp, {100, 10.0, 5.0, 2.0, 0.5, 0.0});
    const double dx = st.DX;
    const auto na0 = Profile(st, 1), cl0 = Profile(st, 2);
    RunUntil(st, 20.0, 1e-2);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_EQ(st.I, 0);
    const auto na1 = Profile(st, 1), cl1 = Profile(st, 2);

    const double T = st.Temperature;
    const double dNa = kUNa * 1e-9 * kR * T / kF, dCl = kUCl * 1e-9 * kR * T / kF;
    const double dAmb = 2 * dNa * dCl / (dNa + dCl);
    EXPECT_NEAR((Moments(na1, dx).second - Moments(na0, dx).second) / (2 * st.Time), dAmb, 0.01 * dAmb);
    EXPECT_NEAR((Moments(cl1, dx).second - Moments(cl0, dx).second) / (2 * st.Time), dAmb, 0.01 * dAmb);
}

TEST(RunPhysics, IsotachophoresisAdjustsTheSampleAndKeepsKohlrauschsFunction) {
    RecordingMessageSink sink;
    RunState st;
    const Layout l{240, 6.0, 1.8, 1.4, 0.05, 12.0};
    InitRun(st, ItpStrongIons(), l);
    const double dx = st.DX;
    const double u[5] = {0, kUK, kUNa, kULi, kUCl};
    // Kohlrausch's regulating function sum |z| c / u of the strong ions.
    auto omega = [&](int j) {
        double w = 0;
        for (int i = 1; i <= 4; ++i) w += st.Arr.C(2, i)[j] / u[i];
        return w;
    };
    auto node = [&](double mm) { return static_cast<int>(std::lround(mm * 1e-3 / dx)); };
    std::vector<double> omega0(st.NX + 1);
    for (int j = 0; j <= st.NX; ++j) omega0[j] = omega(j);

    RunUntil(st, 15.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];

    // The sample zone (Na above half its maximum) has left its original place.
    const auto na = Profile(st, 2);
    const double naMax = *std::max_element(na.begin(), na.end());
    int rear = -1, front = -1;
    for (int j = 0; j <= st.NX; ++j)
        if (na[j] > 0.5 * naMax) {
            if (rear < 0) rear = j;
            front = j;
        }
    ASSERT_GT(rear, node(2.5));
    ASSERT_LT(front, node(5.5));
    const double cL = 10.0, uA = kUNa, uL = kUK, uR = kUCl;
    const double adjusted = cL * (uA / uL) * (uL + uR) / (uA + uR);
    const int mid = (rear + front) / 2, half = (front - rear) / 4;
    for (int j = mid - half; j <= mid + half; ++j) EXPECT_NEAR(na[j], adjusted, 0.005 * adjusted) << j;

    // Inside each plateau the regulating function keeps its initial value:
    // terminator, the original sample region (now terminator), the sample
    // zone (former leader region) and the leader ahead of it.
    std::vector<int> probes = {node(0.2), node(0.4), node(1.7), node(1.8), mid};
    for (int j = front + node(0.3); j <= st.NX - 5; j += 5) probes.push_back(j);
    for (int j : probes) EXPECT_NEAR(omega(j), omega0[j], 0.001 * omega0[j]) << "node " << j;
}

}  // namespace
