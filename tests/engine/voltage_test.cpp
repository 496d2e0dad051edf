// Voltage, current and the derived profiles of a uniform electrolyte against
// Ohm's law, with the conductivity computed here from the ion mobilities; the
// profile recalculation on the whole grid whatever the window.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/equilibrium/ionic_strength.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "engine/step/recalc.h"
#include "engine/step/voltage.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

// 10 mM NaCl on 100 nodes at the default 250 V over 25 mm; its conductivity
// F sum u c of Na+, Cl- and the water ions at pH 7, and the cross-section.
constexpr double kKappa =
    96485.0 * (kUNa * 1e-9 * 10 + kUCl * 1e-9 * 10 + (362.5e-9 + 205.5e-9) * 1e-4);
constexpr double kS = 3.141592653589793 * 0.25 * 5e-5 * 5e-5;

void InitUniformNaCl(RunState& st)
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    PrepareRun(st, comp, 100);
    ASSERT_TRUE(InitCalc(st));
    ASSERT_EQ(st.CapDiameter, 5e-5);
}

TEST(Voltage, OhmsLawAndTheDerivedProfiles)
{
    RecordingMessageSink sink;
    RunState st;
    InitUniformNaCl(st);
    const double L = st.CapLength;
    // constant voltage: I = U kappa S / L, the field U / L everywhere, the
    // current density I / S, the potential rising to U (end nodes count half)
    EXPECT_NEAR(st.I, 250 * kKappa * kS / L, 1e-6 * st.I);
    const RunSeries& s = st.Series;
    for (int j = 0; j <= 100; j += 10) {
        EXPECT_NEAR(st.Arr.E[j], 250 / L, 1e-6 * 250 / L);
        EXPECT_NEAR(s.sr_E.y[j], 250 / L * 0.001, 1e-6);
        EXPECT_NEAR(s.sr_j.y[j], st.I / kS * 0.001, 1e-9 * st.I / kS);
        EXPECT_NEAR(s.sr_potential.y[j], 0.25 * (j + 0.5 - 0.5 * (j == 100)) / 100, 1e-9) << j;
    }
    EXPECT_NEAR(s.sr_IS.y[50], 10.0, 1e-3);  // 0.5 sum z^2 c

    // constant current: the set value in microamperes, U = I R
    st.rbVoltage = false;
    st.UI = 100;
    CalcDER(st, 2, true);
    EXPECT_DOUBLE_EQ(st.I, 1e-4);
    EXPECT_NEAR(st.U, 1e-4 * L / (kKappa * kS), 1e-6 * st.U);
    // negative set values carry their sign; the diffusion mode has no field
    st.UI = -100;
    ASSERT_TRUE(CalcVoltageCurrent(st));
    EXPECT_LT(st.U, 0);
    st.DiffMode = true;
    ASSERT_TRUE(CalcVoltageCurrent(st));
    EXPECT_TRUE(st.U == 0 && st.I == 0 && sink.warnings.empty());
}

TEST(Voltage, AdditionalConductivityFakeLengthAndUndefinedResistance)
{
    RecordingMessageSink sink;
    RunState st;
    InitUniformNaCl(st);
    // the additional conductivity is added once: repeated refreshes do not drift
    st.AddCond = 0.05;
    CalcDER(st, 2, true);
    const double u = st.U, i = st.I;
    ASSERT_TRUE(CalcVoltageCurrent(st) && CalcVoltageCurrent(st));
    EXPECT_TRUE(st.U == u && st.I == i);
    EXPECT_NEAR(st.I, 250 * (kKappa + 0.05) * kS / st.CapLength, 1e-6 * st.I);
    st.AddCond = 0;
    CalcDER(st, 2, true);
    // the extra length enters divided by the end conductivity alone
    st.FakeCapLen = 0.01;
    st.KappaEnd = 0;
    const double R = ColumnResistance(st);
    EXPECT_NEAR(R, 0.01 / kKappa + st.CapLength / (kKappa * kS), 1e-9 * R);
    // an extra length as large as L / S doubles the resistance
    st.FakeCapLen = st.CapLength / kS;
    EXPECT_NEAR(ColumnResistance(st), 2 * st.CapLength / (kKappa * kS), 1e-8 * R);
    st.FakeCapLen = 0.01;

    // a zero end conductivity with an extra length (like a zero cross-section,
    // see the run loop): one warning, the run stopped, U and I untouched
    const double u0 = st.U, i0 = st.I;
    st.KappaEnd = st.Arr.Kappa[st.NX] = 0;
    EXPECT_FALSE(CalcVoltageCurrent(st) || CalcVoltageCurrent(st));
    EXPECT_TRUE(st.Stop && st.NumericalFailure && st.U == u0 && st.I == i0);
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Conductivity is zero, negative or undefined at node " +
                                       std::to_string(st.NX) + ": 0 S/m. Calculation stopped."});
}

TEST(RecalcProfiles, WholeGridWhateverTheWindow)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, AcetateBufferWithAnalytes(), 100);
    ASSERT_TRUE(InitCalc(st));
    EngineArrays& a = st.Arr;
    for (int j = 0; j <= 100; ++j) a.CH(2)[j] = 1.0;  // spoil the equilibrium everywhere
    st.LeftWall = 40;
    st.RightWall = 60;
    RecalcProfiles(st, 2);
    EXPECT_EQ(std::make_pair(st.LeftWall, st.RightWall), std::make_pair(40, 60));
    for (int j : {0, 50, 90, 100}) EXPECT_NEAR(a.PH[j], 4.7575, 0.01) << j;  // outside the analytes
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(RecalcProfiles, WindowComesBackWhenARoutineRaisesOrReturnsEarly)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, AcetateBufferWithAnalytes(), 100);
    ASSERT_TRUE(InitCalc(st));
    const auto window = [&] { return std::make_pair(st.LeftWall, st.RightWall); };
    st.LeftWall = 40;
    st.RightWall = 60;
    // the equilibrium raises on the whole grid (state not initialised): the
    // recalculation passes the error on with the window it was given
    st.Initialised = false;
    EXPECT_EQ(RaisedMessage([&] { RecalcProfiles(st, 2); }).find("Elneut") != std::string::npos,
              true);
    EXPECT_EQ(window(), std::make_pair(40, 60));
    st.Initialised = true;
    // the ionic-strength pass over the whole grid returns with it too, and
    // has worked outside it
    st.ISCorrection = true;
    for (int j = 0; j <= 100; ++j) st.Arr.CH(2)[j] = 1.0;
    ISC(st, 2, -1);
    EXPECT_EQ(window(), std::make_pair(40, 60));
    EXPECT_NEAR(st.Arr.PH[0], 4.7575, 0.05);
    // a scope of its own, left by a return and by an exception
    const auto inScope = [&](bool raise) {
        ComputationWindowScope scope(st.counters());
        scope.WholeGrid(st.NX);
        if (std::make_pair(scope.SavedLeft(), scope.SavedRight()) != std::make_pair(40, 60))
            return -1;
        if (raise) ThrowError("raised");
        return st.RightWall;
    };
    EXPECT_EQ(inScope(false), 100);
    EXPECT_EQ(window(), std::make_pair(40, 60));
    EXPECT_EQ(RaisedMessage([&] { inScope(true); }), "raised");
    EXPECT_EQ(window(), std::make_pair(40, 60));
    EXPECT_TRUE(sink.warnings.empty());
}

}  // namespace

TEST(Voltage, ResistanceSumPutsEachNodeInItsPartialSumWhereverTheChunksEnd)
{
    // Node j goes into partial sum j mod 8, in node order, however the nodes
    // are handed over (one call, or two calls split at any node): the result
    // does not depend on where the chunks of a region end.
    constexpr int kLast = 100;
    std::vector<double> term(kLast + 1);
    for (int j = 0; j <= kLast; ++j) term[j] = 1.0 / (3 + j) + 1e-3 * std::sin(7.0 * j);
    double lane[ResistanceSum::kLanes] = {};
    for (int j = 1; j <= kLast; ++j) lane[j % ResistanceSum::kLanes] += term[j];
    for (int split = 1; split <= kLast + 1; ++split) {
        ResistanceSum sum;
        sum.start = 0.25;
        sum.Add(term.data(), 1, split - 1);
        sum.Add(term.data(), split, kLast);
        for (int k = 0; k < ResistanceSum::kLanes; ++k)
            ASSERT_EQ(sum.lane[k], lane[k]) << "split " << split << " lane " << k;
        EXPECT_EQ(sum.Total(), 0.25 + (((lane[0] + lane[1]) + (lane[2] + lane[3])) +
                                       ((lane[4] + lane[5]) + (lane[6] + lane[7]))));
    }
}
