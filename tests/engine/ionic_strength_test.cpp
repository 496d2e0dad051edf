// Ionic-strength correction: conductivity of NaCl against measured values,
// activity coefficients at low ionic strength, the activity pH of a buffer
// against a direct solution, the user's ionic product of water, and the
// failure paths of the correction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/equilibrium.h"
#include "engine/init_calc.h"
#include "engine/ionic_strength.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/test_compositions.h"
#include "support/uniform_grid.h"

namespace {

constexpr double kF = 96485.0;

// Conductivity F * sum |z| u c of the stored forms of a level (S/m).
double Conductivity(RunState& st, int level, int node) {
    EngineArrays& a = st.Arr;
    double k = 0;
    for (int j = 1; j <= a.NComp + 2; ++j)
        for (int f = 0; f < a.Forms(j); ++f) {
            const int z = a.ZMin[j] + f;
            if (z == 0) continue;
            k += std::abs(z) * a.UForm(j, f)[node] * a.CForm(level, j, f)[node];
        }
    return kF * k;
}

double ConductivityOfNaCl(double c, bool simplified) {
    RunState st;
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, c), MakeStrongAnion("Cl", 79.1, c)}, 4);
    st.ISCorrection = true;
    st.cbFastIS = simplified;
    ISC(st, 2, -1);
    return Conductivity(st, 2, 2);
}

// Decadic logarithm of the activity coefficient of charge z at molar ionic
// strength im, by the extended Debye-Hueckel law with a linear term.
double LogGamma(int z, double im) {
    return -0.50925 * z * z * std::sqrt(im) / (1 + 1.5 * std::sqrt(im)) + 0.1 * z * z * im;
}

}  // namespace

TEST(IonicStrength, ConductivityOfSodiumChlorideMatchesMeasuredValues) {
    // Measured conductivities at 25 degC.
    const double k10 = ConductivityOfNaCl(10.0, false);
    const double k1 = ConductivityOfNaCl(1.0, false);
    EXPECT_NEAR(k10, 0.11851, 0.005 * 0.11851);
    EXPECT_NEAR(k1, 0.012368, 0.005 * 0.012368);
    // The simplified method agrees with the full theory at 10 mM.
    const double k10s = ConductivityOfNaCl(10.0, true);
    EXPECT_NEAR(k10s, k10, 0.001 * k10);
    // Without the correction the limiting conductivity is far off (the test
    // would not pass by accident): F (uNa + uCl) c.
    EXPECT_GT(kF * (51.9e-9 + 79.1e-9) * 10.0, 1.05 * 0.11851);
}

TEST(IonicStrength, ActivityCoefficientsTendToOneAndFollowTheLimitingLaw) {
    for (int z = 1; z <= 3; ++z) {
        EXPECT_NEAR(ActivityCoefficient(z, 0.0), 1.0, 0.0);
        EXPECT_LT(1 - ActivityCoefficient(z, 1e-4), 1 - ActivityCoefficient(z, 1e-2));
        EXPECT_NEAR(ActivityCoefficient(z, 1e-10), 1.0, 1e-6 * z * z);
        // Monotone decrease at low ionic strength.
        EXPECT_LT(ActivityCoefficient(z, 1.0), ActivityCoefficient(z, 0.1));
        // Debye-Hueckel limiting slope of water at 25 degC, 0.509 (mol/L)^-1/2.
        const double im = 1e-7;
        const double slope = -std::log10(ActivityCoefficient(z, im * 1000)) / (z * z * std::sqrt(im));
        EXPECT_NEAR(slope, 0.509, 0.002);
    }
    // Pure water: I = 1e-4 mM and gamma1 practically 1.
    RunState st;
    SetUpUniformGrid(st, {}, 3);
    st.ISCorrection = true;
    ISC(st, 2, -1);
    EXPECT_NEAR(st.Arr.IonicStrength(2)[1], 1e-4, 1e-7);
    EXPECT_NEAR(st.Arr.ZScratch[1][1], 1.0, 1e-3);
    EXPECT_NEAR(st.Arr.PH[1], 7.0, 1e-3);
}

TEST(IonicStrength, AcetateBufferPHIsTheActivityPH) {
    const double cHA = 20, cNa = 10, pKa = 4.756;
    RunState st;
    SetUpUniformGrid(st, {MakeConstituent("Acetic acid", -1, 0, {pKa, 0}, {42.4, 0}, cHA),
                          MakeStrongCation("Na", 51.9, cNa)},
                     4);
    Elneut(st, 2, -1, -1, true);
    const double pHPlain = st.Arr.PH[2];
    EXPECT_NEAR(pHPlain, 4.7575, 1e-3);

    st.ISCorrection = true;
    ISC(st, 2, -1);
    const double pHActivity = st.Arr.PH[2];
    const double cH = st.Arr.CH(2)[2];
    const double gamma1 = st.Arr.ZScratch[1][1];
    // The stored pH is the pH of the hydrogen-ion activity.
    EXPECT_NEAR(pHActivity, 3 - std::log10(cH) + -std::log10(gamma1), 1e-12);
    EXPECT_LT(gamma1, 1.0);

    // Direct solution: concentration constants Ka/g^2 and Kw/g^2 (mM scale),
    // charge balance by bisection, ionic strength, repeated until g settles.
    double g = 1, h = 0;
    for (int it = 0; it < 50; ++it) {
        const double Ka = std::pow(10.0, 3 - pKa) / (g * g), Kw = 1e-8 / (g * g);
        double lo = -8, hi = 1;
        for (int b = 0; b < 200; ++b) {
            const double mid = 0.5 * (lo + hi), x = std::pow(10.0, mid);
            const double q = x - Kw / x + cNa - cHA * Ka / (Ka + x);
            if (q > 0) hi = mid; else lo = mid;
        }
        h = std::pow(10.0, 0.5 * (lo + hi));
        const double ac = cHA * Ka / (Ka + h);
        const double I = 0.5 * (h + 1e-8 / (g * g) / h + cNa + ac);
        g = std::pow(10.0, LogGamma(1, 0.001 * I));
    }
    EXPECT_NEAR(pHActivity, 3 - std::log10(h * g), 2e-5);
    // The activity shift of the buffer: about -0.043 at I = 10 mM.
    EXPECT_NEAR(pHActivity - pHPlain, -0.043, 0.002);
    // Mass balance; the charge balance holds to the convergence of the
    // activity coefficients, and exactly with a last solve at the final constants.
    EXPECT_NEAR(st.Arr.CForm(2, 1, 0)[2] + st.Arr.CForm(2, 1, 1)[2], cHA, 1e-12);
    double scale = 0;
    double residual = ChargeBalance(st, 2, 2, &scale);
    EXPECT_LE(std::fabs(residual), 1e-5 * scale);
    st.cbISPostN = true;
    ISC(st, 2, -1);
    residual = ChargeBalance(st, 2, 2, &scale);
    EXPECT_LE(std::fabs(residual), 1e-12 * scale);
    EXPECT_NEAR(st.Arr.PH[2], pHActivity, 1e-5);
}

TEST(IonicStrength, UserIonicProductOfWaterIsKept) {
    RunState st;
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 10), MakeStrongAnion("Cl", 79.1, 10)}, 4);
    st.Kw = 1e-7;  // the user's value
    st.ISCorrection = true;
    ISC(st, 2, -1);
    EXPECT_EQ(st.Kw, 1e-7);
    // While the correction is on, water follows the corrected fixed product.
    const double g1 = st.Arr.ZScratch[1][1];
    EXPECT_DOUBLE_EQ(st.KwIS, 1e-8 / g1 / g1);
    EXPECT_DOUBLE_EQ(ActiveKw(st), st.KwIS);
    EXPECT_NEAR(st.Arr.CH(2)[3] * st.Arr.COH(2)[3], st.KwIS, 1e-12 * st.KwIS);

    // Without the correction the user's value applies again.
    st.ISCorrection = false;
    Elneut(st, 2, -1, -1, true);
    EXPECT_DOUBLE_EQ(st.Arr.CH(2)[3] * st.Arr.COH(2)[3], 1e-7);
}

TEST(IonicStrength, MobilityCorrectionEdgeCases) {
    // A slow trace cation in 100 mM NaCl: the correction exceeds its mobility
    // and both methods keep the limiting value.
    RunState st;
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 100), MakeStrongAnion("Cl", 79.1, 100),
                          MakeStrongCation("Slow", 5.0, 1e-3),
                          MakeConstituent("Neutral", 0, 0, {0}, {0}, 1.0),
                          MakeConstituent("Immobile", 0, 1, {0, 10}, {0, 0}, 1e-3)},
                     2);
    st.ISCorrection = true;
    st.cbFastIS = true;
    ISC(st, 2, -1);
    EngineArrays& a = st.Arr;
    EXPECT_EQ(a.UForm(3, 1)[1], 5e-9);
    EXPECT_LT(a.UForm(1, 1)[1], 51.9e-9);
    EXPECT_GT(a.UForm(1, 1)[1], 0.0);
    EXPECT_EQ(a.UForm(5, 1)[1], 0.0);  // a mobility of 0 stays 0

    st.cbFastIS = false;
    ISC(st, 2, -1);
    EXPECT_NEAR(a.UForm(3, 1)[1], 5e-9, 1e-20);
    EXPECT_LT(a.UForm(1, 1)[1], 51.9e-9);
    EXPECT_DOUBLE_EQ(a.UForm(5, 1)[1], 1e-12);  // 0 stands in as 1e-12
    for (int j = 1; j <= a.NComp + 2; ++j)
        for (int f = 0; f < a.Forms(j); ++f) {
            if (a.ZMin[j] + f != 0) { EXPECT_GE(a.UForm(j, f)[1], 0.0); }
        }

    // At zero ionic strength the simplified method leaves every mobility.
    a.IonicStrength(2)[0] = 0;
    st.cbFastIS = true;
    onsfuo(st, 2, 0);
    EXPECT_EQ(a.UForm(1, 1)[0], 51.9e-9);
    EXPECT_EQ(a.UForm(a.HIndex(), 1)[0], 362.5e-9);
    EXPECT_EQ(a.UForm(a.OHIndex(), 0)[0], 205.5e-9);

    // A node without ions: the full method raises its own error type.
    st.cbFastIS = false;
    for (int j = 1; j <= a.NComp + 2; ++j)
        for (int f = 0; f < a.Forms(j); ++f) a.CForm(2, j, f)[0] = 0;
    EXPECT_THROW(onsfuo(st, 2, 0), OnsagerFuossError);
}

TEST(IonicStrength, IterationCountAndOptions) {
    auto fresh = [](RunState& st) {
        SetUpUniformGrid(st, {MakeConstituent("Acetic acid", -1, 0, {4.756, 0}, {42.4, 0}, 20),
                              MakeStrongCation("Na", 51.9, 10)},
                         9);
        st.ISCorrection = true;
        for (int n = 0; n <= st.NX; ++n) st.Arr.C(1, 1)[n] = 20, st.Arr.C(1, 2)[n] = 10;
        st.NewtonItTotal = 0;
    };
    RunState ref;
    fresh(ref);
    ISC(ref, 2, -1);
    EXPECT_GE(ref.NewtonItTotal, 2 * 10);  // at least two passes per node from unit coefficients

    // With source -1 the convergence option has no effect.
    RunState st;
    fresh(st);
    st.cbISConv = true;
    ISC(st, 2, -1);
    EXPECT_EQ(st.NewtonItTotal, ref.NewtonItTotal);
    for (int n = 0; n <= st.NX; ++n) EXPECT_EQ(st.Arr.PH[n], ref.Arr.PH[n]);

    // "IS Convergence" with start values of another level: one pass per node,
    // over the window only.
    st.LeftWall = 2;
    st.RightWall = 6;
    const double outside = st.Arr.PH[8] = -1;
    st.NewtonItTotal = 0;
    ISC(st, 1, 0);
    EXPECT_EQ(st.NewtonItTotal, 5);
    EXPECT_EQ(st.Arr.PH[8], outside);
    EXPECT_EQ(st.LeftWall, 2);
    EXPECT_EQ(st.RightWall, 6);
    // "IS Post El-Neut" adds one solve per node.
    st.cbISPostN = true;
    st.NewtonItTotal = 0;
    ISC(st, 1, 0);
    EXPECT_EQ(st.NewtonItTotal, 10);
}

TEST(IonicStrength, FailuresCarryTheirTexts) {
    RunState st;
    try {
        ISC(st, 2, -1);
        FAIL() << "no error before Init";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "(ISC>>is_init == false): " + ErrorCodeText(-10));
    }

    // A non-finite ionic strength is refused by the activity routine, and ISC
    // reports it under its own name with the walls restored.
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 10), MakeStrongAnion("Cl", 79.1, 10)}, 4);
    st.ISCorrection = true;
    double change = 0;
    std::vector<double> g(st.Arr.MaxAbsZ + 1, 1.0);
    double kw = 0;
    EXPECT_THROW(mcinn(st.Arr, 1, change, -1.0, g.data(), kw, 0), Exception);
    EXPECT_THROW(mcinn(st.Arr, 1, change, std::nan(""), g.data(), kw, 0), Exception);
    try {
        mcinn(st.Arr, 1, change, -1.0, g.data(), kw, 0);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "(mcinn>>Negative Ionic Strength): " + ErrorCodeText(-11));
    }
    // A node whose activity coefficients do not settle (a charge of 30 at
    // 300 mM) stops the correction with its node number.
    {
        RunState hi;
        SetUpUniformGrid(hi, {MakeConstituent("Z30", 0, 30, std::vector<double>(31, 10.0),
                                              std::vector<double>(31, 20.0), 10),
                              MakeStrongAnion("Cl", 79.1, 300)},
                         3);
        hi.ISCorrection = true;
        hi.LeftWall = 1;
        hi.RightWall = 2;
        try {
            ISC(hi, 2, 0);
            FAIL() << "no error for an unsettled iteration";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "(ISC): (ISC>>too many iterations. (1)): " + ErrorCodeText(-10));
        }
        EXPECT_EQ(hi.LeftWall, 1);
        EXPECT_EQ(hi.RightWall, 2);
    }

    // A Newton failure inside is no error of the correction: it warns once,
    // stops the run and the correction goes on with the other nodes.
    RecordingMessageSink sink;
    st.LeftWall = 1;
    st.RightWall = 3;
    st.Arr.C(2, 1)[2] = std::nan("");
    EXPECT_NO_THROW(ISC(st, 2, 0));
    EXPECT_TRUE(st.Stop);
    EXPECT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(st.LeftWall, 1);
    EXPECT_EQ(st.RightWall, 3);
    EXPECT_TRUE(std::isfinite(st.Arr.PH[3]));
}

TEST(IonicStrength, RunWithoutCorrectionAfterOneWithItUsesTheUserIonicProduct) {
    RunState st;
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 100);
    const double userKw = std::pow(10.0, 6 - 13.8);
    st.Kw = userKw;
    st.cbIS = true;
    ASSERT_TRUE(InitCalc(st));
    ASSERT_TRUE(st.ISCorrection);
    st.StopTime = 0.02;
    RunCalc(st);
    StopCalc(st);
    EXPECT_GT(st.StepCount, 0);
    EXPECT_EQ(st.Kw, userKw);
    EXPECT_NE(st.KwIS, userKw);
    // The activity pH lies above the concentration pH by -log10 gamma1.
    const int n = st.NX / 2;
    EXPECT_GT(st.Arr.PH[n] - (3 - std::log10(st.Arr.CH(2)[n])), 0.02);

    st.cbIS = false;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_FALSE(st.ISCorrection);
    EXPECT_DOUBLE_EQ(st.Arr.PKaForm(st.Arr.HIndex(), 1)[0], 6 - std::log10(userKw));
    st.StopTime = 0.02;
    RunCalc(st);
    StopCalc(st);
    EXPECT_GT(st.StepCount, 0);
    for (int j = 0; j <= st.NX; j += 10)
        EXPECT_NEAR(st.Arr.CH(2)[j] * st.Arr.COH(2)[j], userKw, 1e-12 * userKw) << j;
    EXPECT_NEAR(st.Arr.PH[n], 3 - std::log10(st.Arr.CH(2)[n]), 1e-12);
}
