// Ionic-strength correction: conductivity of NaCl against measured values,
// activity coefficients at low ionic strength, the activity pH of a buffer
// against a direct solution, the user's ionic product of water, and the
// failure paths of the correction.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"
#include "support/uniform_grid.h"

namespace {

// Conductivity F * sum |z| u c of NaCl at c mM after the correction (S/m),
// the ions of water left out.
double ConductivityOfNaCl(double c, bool simplified)
{
    RunState st;
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, c), MakeStrongAnion("Cl", 79.1, c)}, 4);
    st.ISCorrection = true;
    st.cbFastIS = simplified;
    ISC(st, 2, -1);
    EngineArrays& a = st.Arr;
    double k = 0;
    for (int j = 1; j <= a.NComp; ++j)
        for (int f = 0; f < a.Forms(j); ++f)
            k += std::abs(a.ZMin[j] + f) * a.UForm(j, f)[2] * a.CForm(2, j, f)[2];
    return 96485.0 * k;
}

// Activity coefficient of charge z at ionic strength im (mol/L) by the
// extended Debye-Hueckel law of water at 25 degC.
double Gamma(int z, double im)
{
    return std::pow(10.0,
                    z * z * (-0.50925 * std::sqrt(im) / (1 + 1.5 * std::sqrt(im)) + 0.1 * im));
}

// Direct solution for an acid of charges -n..0 (pK[m-1]: the step from
// -(m-1) to -m) at cA mM with a strong cation at cNa mM: concentration
// constants from the activity coefficients, the charge balance by bisection,
// the ionic strength from the species; repeated until the coefficients
// settle. Returns cH (mM) and the ionic strength (mol/L); `passes` counts
// the repetitions.
std::pair<double, double> DirectActivitySolution(const std::vector<double>& pK, double cA,
                                                 double cNa, int& passes)
{
    const int n = static_cast<int>(pK.size());
    double im = 0, h = 0;
    passes = 0;
    for (double gOld = 0; passes < 200; ++passes) {
        std::vector<double> g(n + 1), K(n + 1, 0.0);
        for (int z = 0; z <= n; ++z) g[z] = Gamma(z, im);
        for (int m = 1; m <= n; ++m)
            K[m] = std::pow(10.0, 3 - pK[m - 1]) * g[m - 1] / (g[1] * g[m]);
        const double kw = 1e-8 / (g[1] * g[1]);
        auto fractions = [&](double x) {  // fractions of the charges 0..-n
            std::vector<double> w(n + 1, 1.0);
            double sum = 1;
            for (int m = 1; m <= n; ++m) sum += w[m] = w[m - 1] * K[m] / x;
            for (double& v : w) v /= sum;
            return w;
        };
        auto moment = [&](const std::vector<double>& f, int power) {
            double q = 0;
            for (int m = 1; m <= n; ++m) q += std::pow(m, power) * f[m];
            return q;
        };
        double lo = -12, hi = 3;
        for (int b = 0; b < 200; ++b) {
            const double mid = 0.5 * (lo + hi), x = std::pow(10.0, mid);
            (x - kw / x + cNa - cA * moment(fractions(x), 1) > 0 ? hi : lo) = mid;
        }
        h = std::pow(10.0, 0.5 * (lo + hi));
        im = 0.0005 * (h + kw / h + cNa + cA * moment(fractions(h), 2));
        if (std::fabs(g[n] - gOld) <= 1e-12 * g[n]) break;
        gOld = g[n];
    }
    return {h, im};
}

}  // namespace

TEST(IonicStrength, ConductivityOfSodiumChlorideAndActivityCoefficients)
{
    // Measured conductivities at 25 degC; the simplified method agrees with
    // the full theory at 10 mM.
    const double k10 = ConductivityOfNaCl(10.0, false);
    EXPECT_NEAR(k10, 0.11851, 0.005 * 0.11851);
    EXPECT_NEAR(ConductivityOfNaCl(1.0, false), 0.012368, 0.005 * 0.012368);
    EXPECT_NEAR(ConductivityOfNaCl(10.0, true), k10, 0.001 * k10);
    // At 0.1 mM the relaxation and electrophoretic terms reduce to Onsager's
    // limiting law for a 1:1 salt in water at 25 degC:
    // Lambda0 - Lambda = (0.2289 Lambda0 + 60.20 S cm2/mol) sqrt(c / (mol/L)).
    for (double c : {0.1, 0.4}) {
        const double lambda0 = 96485.0 * (51.9e-9 + 79.1e-9);  // S m2/mol
        const double decrement = (0.2289 * lambda0 + 60.20e-4) * std::sqrt(c / 1000);
        EXPECT_NEAR(lambda0 - ConductivityOfNaCl(c, false) / c, decrement, 0.03 * decrement) << c;
    }
    for (int z = 1; z <= 3; ++z) {
        EXPECT_EQ(ActivityCoefficient(z, 0.0), 1.0);
        EXPECT_NEAR(ActivityCoefficient(z, 1e-10), 1.0, 1e-6 * z * z);
        // Debye-Hueckel limiting slope of water at 25 degC, 0.509 (mol/L)^-1/2.
        const double im = 1e-7;
        EXPECT_NEAR(-std::log10(ActivityCoefficient(z, im * 1000)) / (z * z * std::sqrt(im)), 0.509,
                    0.002);
    }
}

// Under the correction the ionic strength of a node is 1/2 sum z^2 c over
// every charged form and the water ions: 10 mM MgCl2 gives 30 mM, not the
// 20 mM of the shortcut for charges of magnitude 1 alone, and the activity
// coefficients (the pH of the activity, the ionic product) are those of 30 mM.
// At Init and through a run, with the nodes side by side and node by node.
TEST(IonicStrength, DoublyChargedIonsCountFourTimes)
{
    for (const int lanes : {1, 0}) {
        SetNodeLanes(lanes);
        RecordingMessageSink sink;
        TUnivSet<TComponents> comp;
        comp.Add(testcomp::Constituent("Magnesium", 0, 2, {0.0, 14.0, 14.0}, {0.0, 30.0, 55.0},
                                       testcomp::BGE, 10.0, 10.0));
        comp.Add(testcomp::StrongAnion("Chloride", 79.1, testcomp::BGE, 20.0, 20.0));
        RunState st;
        testcomp::PrepareRun(st, comp, 64);
        st.cbIS = true;
        ASSERT_TRUE(InitCalc(st));
        auto check = [&](const char* when) {
            EngineArrays& a = st.Arr;
            for (int n = 0; n < a.Nn; ++n) {
                double sum = a.CH(2)[n] + a.COH(2)[n];
                for (int j = 1; j <= a.NComp; ++j)
                    for (int f = 0; f < a.Forms(j); ++f) {
                        const int z = a.ZMin[j] + f;
                        sum += z * z * a.CForm(2, j, f)[n];
                    }
                ASSERT_NEAR(a.IonicStrength(2)[n], 0.5 * sum, 1e-9 * sum) << when << " " << n;
                ASSERT_NEAR(a.IonicStrength(2)[n], 30.0, 0.01) << when << " " << n;
                // the activity of H+ and the ionic product at that ionic strength
                const double g = Gamma(1, 0.5 * sum / 1000);
                ASSERT_NEAR(a.PH[n], 3 - std::log10(a.CH(2)[n] * g), 3e-8) << when << " " << n;
                ASSERT_NEAR(a.CH(2)[n] * a.COH(2)[n] * g * g, 1e-8, 1e-7 * 1e-8)
                    << when << " " << n;
            }
        };
        check("Init");
        st.DT = 1e-4;
        st.StopTime = 2e-3;
        RunCalc(st);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        check("run");
    }
    SetNodeLanes(0);
}

// The activity pH, cH, ionic strength and ionic product of a buffer under the
// correction against the direct solution: 20 mM acetic acid with 10 mM
// sodium (its activity shift about -0.043 at I = 10 mM), and 100 mM citric
// acid with 200 mM sodium, where the activity coefficients (down to about
// 0.1 for the trivalent form) move the species, which move the ionic
// strength: the correction must follow this loop to its fixed point.
TEST(IonicStrength, BufferPHIsTheActivityPHAtTheFixedPoint)
{
    const struct {
        std::vector<double> pK, u;  // pK from the first step on; u from the highest charge on
        double cA, cNa, shift;
        int passes;
    } cases[] = {{{4.756}, {42.4}, 20, 10, -0.043, 1},
                 {{3.13, 4.76, 6.40}, {70, 55, 30}, 100, 200, NAN, 5}};
    for (const auto& c : cases) {
        const int n = static_cast<int>(c.pK.size());
        std::vector<double> pK(c.pK.rbegin(), c.pK.rend()), u = c.u;
        pK.push_back(0);
        u.push_back(0);
        RunState st;
        SetUpUniformGrid(
            st, {MakeConstituent("Acid", -n, 0, pK, u, c.cA), MakeStrongCation("Na", 51.9, c.cNa)},
            2);
        Elneut(st, 2, -1, -1, true);
        const double pHPlain = st.Arr.PH[1];
        st.ISCorrection = st.cbISPostN = true;
        ISC(st, 2, -1);
        int passes = 0;
        const auto [h, im] = DirectActivitySolution(c.pK, c.cA, c.cNa, passes);
        const double g = Gamma(1, im);
        EXPECT_GE(passes, c.passes);
        EXPECT_NEAR(st.Arr.IonicStrength(2)[1], im * 1000, 2e-8 * im * 1000) << n;
        EXPECT_NEAR(st.Arr.PH[1], 3 - std::log10(h * g), 3e-8) << n;
        EXPECT_NEAR(st.Arr.CH(2)[1], h, 1e-7 * h) << n;
        // the ionic product of the concentrations is Kw / g^2 under the correction
        EXPECT_NEAR(st.Arr.CH(2)[1] * st.Arr.COH(2)[1], 1e-8 / (g * g), 1e-7 * 1e-8 / (g * g)) << n;
        EXPECT_GT(1 / (g * g), 1.1);
        if (!std::isnan(c.shift)) {
            EXPECT_NEAR(st.Arr.PH[1] - pHPlain, c.shift, 0.002);
        }
        double scale = 0;
        const double residual = ChargeBalance(st, 2, 1, &scale);
        EXPECT_LE(std::fabs(residual), 1e-12 * scale) << n;
    }
}

// The pH of the activity, 3 - log10(cH g1), is remembered per node with the
// pH of the plain speciation (by the argument of the logarithm). A node whose
// memory holds the plain pH of the very cH that the correction finds must
// still get the activity pH: node by node and with the nodes side by side.
TEST(IonicStrength, ActivityPHIsNotTheRememberedPlainPH)
{
    for (const int lanes : {1, 0}) {
        SetNodeLanes(lanes);
        auto run = [](const std::vector<double>* planted, std::vector<double>& cH,
                      std::vector<double>& pH) {
            RunState st;
            SetUpUniformGrid(st,
                             {MakeConstituent("Acid", -1, 0, {4.756, 0}, {42.4, 0}, 20),
                              MakeStrongCation("Na", 51.9, 10)},
                             12);
            st.ISCorrection = true;
            ISC(st, 2, -1);
            EngineArrays& a = st.Arr;
            if (planted)
                for (int n = 0; n < a.Nn; ++n) {
                    a.PHMemoCH[n] = (*planted)[n];
                    a.PHMemo[n] = 3 - std::log10((*planted)[n]);
                }
            ISC(st, 2, 2);  // from level 2's own cH: side by side where the lanes run
            cH.assign(a.CH(2), a.CH(2) + a.Nn);
            pH = a.PH;
        };
        std::vector<double> cH, pH, cHPlanted, pHPlanted;
        run(nullptr, cH, pH);
        run(&cH, cHPlanted, pHPlanted);
        for (std::size_t n = 0; n < cH.size(); ++n) {
            EXPECT_EQ(cHPlanted[n], cH[n]) << lanes << " lanes, node " << n;
            EXPECT_EQ(pHPlanted[n], pH[n]) << lanes << " lanes, node " << n;
            // at 10 mM the activity pH lies about 0.045 above the plain one
            EXPECT_NEAR(pH[n] - (3 - std::log10(cH[n])), 0.045, 0.01) << n;
        }
    }
    SetNodeLanes(0);
}

TEST(IonicStrength, SimplifiedCorrectionNeverGivesNegativeMobility)
{
    // A slow trace cation in 100 mM NaCl: the correction exceeds its mobility
    // and both methods keep the limiting value; a mobility of 0 stays 0.
    RunState st;
    SetUpUniformGrid(st,
                     {MakeStrongCation("Na", 51.9, 100), MakeStrongAnion("Cl", 79.1, 100),
                      MakeStrongCation("Slow", 5.0, 1e-3),
                      MakeConstituent("Immobile", 0, 1, {0, 10}, {0, 0}, 1e-3)},
                     2);
    st.ISCorrection = true;
    EngineArrays& a = st.Arr;
    for (bool fast : {true, false}) {
        st.cbFastIS = fast;
        ISC(st, 2, -1);
        EXPECT_NEAR(a.UForm(3, 1)[1], 5e-9, 1e-20);
        EXPECT_LT(a.UForm(1, 1)[1], 51.9e-9);
        EXPECT_DOUBLE_EQ(a.UForm(4, 1)[1],
                         fast ? 0.0 : 1e-12);  // 0 stands in as 1e-12 for the full theory
        for (int j = 1; j <= a.NComp + 2; ++j)
            for (int f = 0; f < a.Forms(j); ++f) EXPECT_GE(a.UForm(j, f)[1], 0.0);
    }
}

TEST(IonicStrength, FailuresCarryTheirTexts)
{
    RunState st;
    try {
        ISC(st, 2, -1);
        FAIL() << "no error before Init";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "(ISC>>is_init == false): " + ErrorCodeText(-10));
    }
    // A negative ionic strength is refused by the activity routine.
    SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 10), MakeStrongAnion("Cl", 79.1, 10)}, 4);
    st.ISCorrection = true;
    double change = 0, kw = 0;
    std::vector<double> g(st.Arr.MaxAbsZ + 1, 1.0);
    try {
        mcinn(st.Arr, 1, change, -1.0, g.data(), kw, 0);
        FAIL() << "no error for a negative ionic strength";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "(mcinn>>Negative Ionic Strength): " + ErrorCodeText(-11));
    }
    // A node whose activity coefficients do not settle (a charge of 30 at
    // 300 mM) stops the correction with its node number, walls restored.
    RunState hi;
    SetUpUniformGrid(hi,
                     {MakeConstituent("Z30", 0, 30, std::vector<double>(31, 10.0),
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
    // A Newton failure inside warns once, stops the run, and the correction
    // goes on with the other nodes.
    RecordingMessageSink sink;
    st.LeftWall = 1;
    st.RightWall = 3;
    st.Arr.C(2, 1)[2] = std::nan("");
    EXPECT_NO_THROW(ISC(st, 2, 0));
    EXPECT_TRUE(st.Stop);
    EXPECT_EQ(sink.warnings.size(), 1u);
    EXPECT_TRUE(std::isfinite(st.Arr.PH[3]));
}

TEST(IonicStrength, RunWithoutCorrectionAfterOneWithItUsesTheUserIonicProduct)
{
    RunState st;
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 100);
    const double userKw = std::pow(10.0, 6 - 13.8);
    st.Kw = userKw;
    for (bool is : {true, false}) {
        st.cbIS = is;
        ASSERT_TRUE(InitCalc(st));
        ASSERT_EQ(st.ISCorrection, is);
        st.StopTime = 0.02;
        RunCalc(st);
        StopCalc(st);
        EXPECT_GT(st.StepCount, 0);
        EXPECT_EQ(st.Kw, userKw);
    }
    EXPECT_DOUBLE_EQ(st.Arr.PKaForm(st.Arr.HIndex(), 1)[0], 6 - std::log10(userKw));
    for (int j = 0; j <= st.NX; j += 10)
        EXPECT_NEAR(st.Arr.CH(2)[j] * st.Arr.COH(2)[j], userKw, 1e-12 * userKw) << j;
}
