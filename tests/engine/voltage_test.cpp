// Voltage and current of the column against Ohm's law for a uniform
// electrolyte whose conductivity is computed here from the ion mobilities.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/derivatives.h"
#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "engine/voltage.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

constexpr double kFaradayConst = 96485.0;
constexpr double kPi = 3.141592653589793;

// 10 mM NaCl along the whole capillary.
void InitUniformNaCl(RunState& st) {
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    PrepareRun(st, comp, 100);
    ASSERT_TRUE(InitCalc(st));
}

// kappa = F * sum u c of Na+, Cl- and the water ions at pH 7.
double NaClConductivity() {
    const double cw = 1e-4;  // mM
    return kFaradayConst * (kUNa * 1e-9 * 10 + kUCl * 1e-9 * 10 + 362.5e-9 * cw + 205.5e-9 * cw);
}

TEST(Voltage, OhmsLawInUniformElectrolyte) {
    RecordingMessageSink sink;
    RunState st;
    InitUniformNaCl(st);
    const double kappa = NaClConductivity();
    const double S = kPi * 0.25 * st.CapDiameter * st.CapDiameter;
    const double L = st.CapLength;

    // Constant voltage: I = U kappa S / L.
    st.rbVoltage = true;
    st.UI = 250;
    CalcDER(st, 2, true);
    EXPECT_EQ(st.U, 250);
    EXPECT_NEAR(st.I, 250 * kappa * S / L, 1e-6 * 250 * kappa * S / L);
    // The field of a uniform column is U / L everywhere.
    for (int j = 0; j <= st.NX; j += 10) EXPECT_NEAR(st.Arr.E[j], 250 / L, 1e-6 * 250 / L);

    // Constant current: the set value is in microamperes, U = I R.
    st.rbVoltage = false;
    st.UI = 100;
    CalcDER(st, 2, true);
    EXPECT_DOUBLE_EQ(st.I, 1e-4);
    EXPECT_NEAR(st.U, 1e-4 * L / (kappa * S), 1e-6 * 1e-4 * L / (kappa * S));

    // Negative set values carry their sign; diffusion mode has no field.
    st.UI = -100;
    ASSERT_TRUE(CalcVoltageCurrent(st));
    EXPECT_LT(st.U, 0);
    st.DiffMode = true;
    ASSERT_TRUE(CalcVoltageCurrent(st));
    EXPECT_EQ(st.U, 0);
    EXPECT_EQ(st.I, 0);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Voltage, AdditionalConductivityIsAddedOnce) {
    RecordingMessageSink sink;
    RunState st;
    InitUniformNaCl(st);
    st.AddCond = 0.05;
    st.UI = 250;
    CalcDER(st, 2, true);
    const double kappa = NaClConductivity() + 0.05;
    EXPECT_NEAR(st.Arr.Kappa[0], kappa, 1e-9 * kappa);
    const double u = st.U, i = st.I;
    // A status refresh recomputes U and I from the same profile: nothing drifts.
    ASSERT_TRUE(CalcVoltageCurrent(st));
    ASSERT_TRUE(CalcVoltageCurrent(st));
    EXPECT_EQ(st.U, u);
    EXPECT_EQ(st.I, i);
    EXPECT_NEAR(st.Arr.Kappa[st.NX / 2], kappa, 1e-9 * kappa);
    const double S = kPi * 0.25 * st.CapDiameter * st.CapDiameter;
    EXPECT_NEAR(st.I, 250 * kappa * S / st.CapLength, 1e-6 * st.I);
}

TEST(Voltage, FakeLengthAndUndefinedResistance) {
    RecordingMessageSink sink;
    RunState st;
    InitUniformNaCl(st);
    const double kappa = NaClConductivity();
    const double S = kPi * 0.25 * st.CapDiameter * st.CapDiameter;
    // The extra length enters divided by the end conductivity alone.
    st.FakeCapLen = 0.01;
    st.KappaEnd = 0;
    const double R = ColumnResistance(st);
    EXPECT_NEAR(st.KappaEnd, kappa, 1e-9 * kappa);
    EXPECT_NEAR(R, 0.01 / kappa + st.CapLength / (kappa * S), 1e-9 * R);

    // A zero cross-section: warning, stop, U and I untouched.
    st.FakeCapLen = 0;
    st.UI = 250;
    ASSERT_TRUE(CalcVoltageCurrent(st));
    const double u = st.U, i = st.I;
    st.Arr.S[5] = 0;
    st.Stop = false;
    EXPECT_FALSE(CalcVoltageCurrent(st));
    EXPECT_FALSE(CalcVoltageCurrent(st));
    EXPECT_TRUE(st.Stop);
    EXPECT_TRUE(st.NumericalFailure);
    EXPECT_EQ(st.U, u);
    EXPECT_EQ(st.I, i);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], kBadResistance);
    // A zero end conductivity with an extra length is refused as well.
    st.Arr.S[5] = S;
    st.FakeCapLen = 0.01;
    st.KappaEnd = 0;
    st.Arr.Kappa[st.NX] = 0;
    EXPECT_FALSE(CalcVoltageCurrent(st));
}

}  // namespace
