// The background-electrolyte calculation against references computed here
// independently: pH by bisection on the exact charge balance (activity
// coefficients by fixed point), Kohlrausch sums for the conductivity, the
// Onsager limiting law of a 1:1 salt with textbook constants, and the engine's
// own Init on the same buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "engine/equilibrium/ionic_strength.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"
#include "tools/bge_calc.h"

using namespace testcomp;

namespace {

// A constituent as the references see it: charges, pK and mobility (1e-9
// m2/(V.s)) per charge from zmin up, concentration in mM.
struct Species {
    int zmin, zmax;
    std::vector<double> pK, u;
    double c;
};

double Gamma(int z, double ionicStrengthMM)
{  // Davies-type coefficient of the program
    const double i = ionicStrengthMM / 1000, z2 = double(z) * z;
    return std::pow(10.0, -0.50925 * z2 * std::sqrt(i) / (1 + 1.5 * std::sqrt(i)) + 0.1 * z2 * i);
}

struct Reference {
    double cH = 0, pH = 0, I = 0, kappa = 0, gamma1 = 1;
};

// Equilibrium of a solution: for each species the fraction of form z is
// proportional to x^z / prod(K' of the steps between 0 and z), with the
// concentration constant of the step (acid form a -> base form b + H+)
// K' = K gamma(a) / (gamma(H) gamma(b)); Kw' = Kw / gamma(H)^2. cH by bisection
// on the log scale, the activity coefficients by fixed point.
Reference Solve(const std::vector<Species>& sp, bool activity)
{
    Reference r;
    double I = 0;
    for (int pass = 0; pass < (activity ? 60 : 1); ++pass) {
        auto g = [&](int z) { return activity ? Gamma(std::abs(z), I) : 1.0; };
        auto fractions = [&](const Species& s, double x) {
            std::vector<double> w(size_t(s.zmax - s.zmin + 1));
            double sum = 0;
            for (int z = s.zmin; z <= s.zmax; ++z) {
                double lw = 0;  // log10 of x^z / prod K'
                for (int q = 1; q <= std::abs(z); ++q) {
                    const int base = z > 0 ? q - 1 : -q, acid = base + 1;
                    const double pK = s.pK[size_t((z > 0 ? acid : base) - s.zmin)];
                    const double lk = 3 - pK + std::log10(g(acid) / (g(1) * g(base)));
                    lw += z > 0 ? std::log10(x) - lk : lk - std::log10(x);
                }
                w[size_t(z - s.zmin)] = std::pow(10.0, lw);
                sum += w[size_t(z - s.zmin)];
            }
            for (double& v : w) v /= sum;
            return w;
        };
        const double kw = 1e-8 / (g(1) * g(1));
        auto balance = [&](double x) {
            double q = x - kw / x;
            for (const Species& s : sp) {
                const auto w = fractions(s, x);
                for (int z = s.zmin; z <= s.zmax; ++z) q += z * s.c * w[size_t(z - s.zmin)];
            }
            return q;
        };
        double lo = -20, hi = 8;  // log10 cH (mM)
        for (int it = 0; it < 200; ++it) {
            const double mid = 0.5 * (lo + hi);
            (balance(std::pow(10.0, mid)) > 0 ? hi : lo) = mid;
        }
        const double x = std::pow(10.0, 0.5 * (lo + hi));
        double is = x + kw / x, k = 362.5 * x + 205.5 * kw / x;
        for (const Species& s : sp) {
            const auto w = fractions(s, x);
            for (int z = s.zmin; z <= s.zmax; ++z) {
                is += double(z) * z * s.c * w[size_t(z - s.zmin)];
                k += std::abs(z) * s.u[size_t(z - s.zmin)] * s.c * w[size_t(z - s.zmin)];
            }
        }
        I = 0.5 * is;
        r = {x, 3 - std::log10(x * g(1)), I, 96485 * k * 1e-9, g(1)};
    }
    return r;
}

TComponents Record(const std::string& name, const Species& s, int type = BGE)
{
    return Constituent(name, s.zmin, s.zmax, s.pK, s.u, type, s.c, s.c);
}

const Species kAcetic{-1, 0, {kPKAcetic, 0}, {kUAcetate, 0}, 20};
const Species kSodium{0, 1, {0, kPKStrongCation}, {0, kUNa}, 10};
Species Potassium(double c)
{
    return {0, 1, {0, kPKStrongCation}, {0, kUK}, c};
}
Species Chloride(double c)
{
    return {-1, 0, {kPKStrongAnion, 0}, {kUCl, 0}, c};
}

// Computes the BGE of `records` with the correction on or off.
struct Bge {
    RunState st;
    RecordingMessageSink sink;
    bool ok = false;
    Bge(const std::vector<TComponents>& records, bool correction)
    {
        for (const TComponents& r : records) st.CompInit.Add(r);
        st.ISCorrection = correction;
        ok = BuildPMBGE(st);
    }
    const TEIData& rec() const { return st.EIData; }
};

}  // namespace

TEST(BgeCalculation, PureWaterFromAnalytesOnly)
{
    for (bool corr : {false, true}) {
        Bge b({Record("K", Potassium(5), Analyte), Record("Ac", kAcetic, Analyte)}, corr);
        ASSERT_TRUE(b.ok);
        const TEIData& r = b.rec();
        EXPECT_EQ(std::tuple(r.AnalyteCount, r.FormConc[1][1], r.FormConc[2][0]),
                  std::tuple(2, 0.0, 0.0));
        const double cH = r.FormConc[3][0], cOH = r.FormConc[4][0];
        const double g1 = corr ? Gamma(1, r.IStrength) : 1.0;  // 0.99963
        // (with the correction, cH lags one round of gamma behind)
        EXPECT_NEAR(cH, 1e-4 / g1, 1e-6 * cH);
        EXPECT_NEAR(cOH, 1e-4 / g1, 1e-6 * cH);
        EXPECT_NEAR(r.PH, 7.0, 1e-7);
        EXPECT_NEAR(r.IStrength, 1e-4 / g1, 1e-6 * cH);
        EXPECT_NEAR(r.FormPK[3][0], 14 + 2 * std::log10(g1), 1e-9);
        // Textbook: 0.055 uS/cm at 25 degC; the limiting mobilities give 5.4803e-6 S/m.
        EXPECT_NEAR(r.Conductivity, 96485 * (362.5 + 205.5) * 1e-4 * 1e-9, corr ? 2e-9 : 1e-15);
        EXPECT_NEAR(r.Conductivity, 5.5e-6, 0.05e-6);
    }
}

TEST(BgeCalculation, PotassiumChlorideConductivityAndOnsagerFuossMobilities)
{
    // Onsager limiting law of a 1:1 salt with the textbook constants at the
    // program's permittivity, viscosity and temperature (c in mol/L):
    // lambda' = lambda - (B1 lambda + B2/2) sqrt(c) / (1 + 1.5 sqrt(c)).
    const double eT = 78.3043 * 298.15, eta = 0.00896331;
    const double b1 = 8.204e5 / std::pow(eT, 1.5), b2 = 82.5 / (eta * std::sqrt(eT));
    EXPECT_NEAR(b1, 0.2300, 1e-4);
    EXPECT_NEAR(b2, 60.24, 0.01);
    const double f = 96485 * 1e-5;  // 1e-9 m2/(V.s) -> S cm2/mol
    for (double c : {1.0, 10.0}) {
        Bge plain({Record("K", Potassium(c)), Record("Cl", Chloride(c))}, false);
        Bge corr({Record("K", Potassium(c)), Record("Cl", Chloride(c))}, true);
        ASSERT_TRUE(plain.ok && corr.ok);
        // Without the correction: Kohlrausch's sum of the limiting mobilities.
        const Reference ref = Solve({Potassium(c), Chloride(c)}, false);
        EXPECT_NEAR(plain.rec().Conductivity, ref.kappa, 1e-9 * ref.kappa);
        EXPECT_NEAR(plain.rec().IStrength, ref.I, 1e-9 * ref.I);
        EXPECT_NEAR(plain.rec().PH, ref.pH, 1e-9);
        // With it: each ion follows the limiting law.
        const double sc = std::sqrt(c / 1000), shape = sc / (1 + 1.5 * sc);
        const TEIData& r = corr.rec();
        for (auto [uK, u0] : {std::pair(r.FormMob[1][1], kUK), std::pair(r.FormMob[2][0], kUCl)}) {
            const double lam = (u0 * f) - (b1 * u0 * f + b2 / 2) * shape;
            EXPECT_NEAR(uK * f, lam, 2e-4 * lam) << c;
        }
        // The H+ and OH- mobilities are corrected too.
        EXPECT_TRUE(r.FormMob[3][0] < 362.5 && r.FormMob[4][0] < 205.5);
        // pK of the chloride form carries 2 log10 gamma1, the cation's none.
        const double g1 = Gamma(1, r.IStrength);
        EXPECT_NEAR(r.FormPK[2][0], kPKStrongAnion + 2 * std::log10(g1), 1e-9);
        EXPECT_NEAR(r.FormPK[1][1], kPKStrongCation, 1e-9);
        const double water =
            96485e-9 * (r.FormConc[3][0] * r.FormMob[3][0] + r.FormConc[4][0] * r.FormMob[4][0]);
        const double molar = (r.Conductivity - water) / c * 1e4;  // S cm2/mol of the salt
        if (c == 1.0) {
            EXPECT_NEAR(molar, 146.95, 0.0005 * 146.95);  // measured at 1 mM
        } else {
            EXPECT_NEAR(r.Conductivity, 0.1413, 0.005 * 0.1413);  // standard 10 mM KCl
        }
    }
}

TEST(BgeCalculation, AcetateBuffersAgainstTheExactChargeBalance)
{
    const Species acetic100{-1, 0, {kPKAcetic, 0}, {kUAcetate, 0}, 100};
    const Species sodium100{0, 1, {0, kPKStrongCation}, {0, kUNa}, 100};
    const Species acetic200{-1, 0, {kPKAcetic, 0}, {kUAcetate, 0}, 200};
    for (const auto& [acid, base] : {std::pair(kAcetic, kSodium), std::pair(acetic200, sodium100),
                                     std::pair(acetic100, kSodium)}) {
        for (bool corr : {false, true}) {
            Bge b({Record("Acetic acid", acid), Record("Sodium", base)}, corr);
            ASSERT_TRUE(b.ok);
            const Reference ref = Solve({acid, base}, corr);
            const TEIData& r = b.rec();
            // The correction stops once gamma changes by at most 1e-5 relative.
            EXPECT_NEAR(r.PH, ref.pH, corr ? 1e-5 : 1e-9) << acid.c << " " << corr;
            EXPECT_NEAR(r.IStrength, ref.I, (corr ? 1e-5 : 1e-9) * ref.I);
            // Mass balance of the acid.
            EXPECT_NEAR(r.FormConc[1][0] + r.FormConc[1][1], acid.c, 1e-12 * acid.c);
            if (corr) {
                EXPECT_NEAR(r.FormPK[1][0], kPKAcetic + 2 * std::log10(ref.gamma1), 1e-5);
            } else {
                EXPECT_NEAR(r.Conductivity, ref.kappa, 1e-9 * ref.kappa);
            }
        }
    }
    // Textbook: an equimolar acetate buffer at I = 0.01 M has pH 4.71, at 0.1 M about 4.65.
    EXPECT_NEAR(Bge({Record("Ac", kAcetic), Record("Na", kSodium)}, true).rec().PH, 4.71, 0.01);
    EXPECT_NEAR(Bge({Record("Ac", acetic200), Record("Na", sodium100)}, true).rec().PH, 4.65,
                0.015);
}

TEST(BgeCalculation, ActivityCoefficientsAndCorrectedConstants)
{
    // Debye-Hueckel limiting law at 0.1 mM: 10^(-0.509 sqrt(1e-4)).
    EXPECT_NEAR(ActivityCoefficient(1, 0.1), std::pow(10.0, -0.509 * 0.01), 3e-4);

    // A diprotic acid (pK 4.21, 5.64) half-neutralised: the -2 form's pK
    // carries log10 gamma2, the -1 form's 2 log10 gamma1, the water's too.
    const Species succinic{-2, 0, {5.64, 4.21, 0}, {58.0, 32.0, 0}, 20};
    Bge b({Record("Succinic acid", succinic), Record("Sodium", kSodium)}, true);
    ASSERT_TRUE(b.ok);
    const TEIData& r = b.rec();
    const Reference ref = Solve({succinic, kSodium}, true);
    EXPECT_NEAR(r.PH, ref.pH, 2e-6);
    const double G1 = Gamma(1, r.IStrength), G2 = Gamma(2, r.IStrength);
    EXPECT_NEAR(r.FormPK[1][0], 5.64 + std::log10(G2), 1e-6);
    EXPECT_NEAR(r.FormPK[1][1], 4.21 + 2 * std::log10(G1), 1e-6);
    EXPECT_NEAR(r.FormPK[3][0], 14 + 2 * std::log10(G1), 1e-6);
}

TEST(BgeCalculation, PHEqualsTheEngineInitPHOnTheSameBuffer)
{
    for (bool corr : {false, true}) {
        RunState st;
        RecordingMessageSink sink;
        PrepareRun(st, AcetateBufferWithAnalytes(), 200);
        st.cbIS = corr;
        ASSERT_TRUE(InitCalc(st));
        ASSERT_TRUE(BuildPMBGE(st));
        EXPECT_EQ(st.EIData.AnalyteCount, 2);
        // Far from the injection zone the analytes are absent: the BGE alone.
        const int far = st.NX;
        ASSERT_EQ(std::tuple(st.Arr.C(2, 3)[far], st.Arr.C(2, 4)[far]), std::tuple(0.0, 0.0));
        EXPECT_NEAR(st.Arr.PH[far], st.EIData.PH, 1e-9) << corr;
        // The engine speciates once more with the final constants.
        EXPECT_NEAR(st.Arr.IonicStrength(2)[far], st.EIData.IStrength, 1e-7 * st.EIData.IStrength);
        EXPECT_TRUE(sink.warnings.empty());
    }
}

TEST(BgeCalculation, RefusalsAndFailuresLeaveTheRecordEmpty)
{
    // Leading or terminating constituents are refused, even after a result.
    for (int type : {Leading, Terminating}) {
        Bge b({Record("Ac", kAcetic), Record("Na", kSodium)}, false);
        ASSERT_TRUE(b.ok);
        b.st.CompInit.Add(Record("Li", Potassium(1), type));
        EXPECT_FALSE(BuildPMBGE(b.st));
        EXPECT_EQ(b.sink.warnings, std::vector<std::string>{
                                       "In PM MODE all constituents have to be of type A or B."});
        EXPECT_TRUE(b.rec().Empty() && b.rec().FormConc.empty() && b.rec().ZMin.empty());
    }
    // Nothing initialised: nothing to compute.
    Bge none({}, false);
    EXPECT_TRUE(!none.ok && none.rec().Empty());

    // A concentration that is no number: warning, error, empty record.
    RunState st;
    RecordingMessageSink sink;
    Species bad = kSodium;
    bad.c = std::nan("");
    st.CompInit.Add(Record("Ac", kAcetic));
    st.CompInit.Add(Record("Na", bad));
    EXPECT_EQ(RaisedMessage([&] { BuildPMBGE(st); }), "BGE calculation error");
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Newton's iteration returns incorrect concentration: NAN"});
    EXPECT_TRUE(st.EIData.Empty() && st.EIData.FormMob.empty());

    // A base so concentrated that cH falls below every restart value.
    st.CompInit.Empty();
    st.CompInit.Add(Record("Na", {0, 1, {0, 60}, {0, kUNa}, 1e29}));
    EXPECT_EQ(RaisedMessage([&] { BuildPMBGE(st); }), "BGE calculation error");
    EXPECT_EQ(sink.messages,
              std::vector<std::string>{"PM MODE: Newton method can't find correct pH."});
    EXPECT_TRUE(st.EIData.Empty());

    // A cation whose constant is 0: the numbered error of the solve.
    st.CompInit.Empty();
    st.CompInit.Add(Record("X", {0, 1, {0, 400}, {0, 30}, 1}));
    st.CompInit.Add(Record("Cl", Chloride(1)));
    EXPECT_EQ(RaisedMessage([&] { BuildPMBGE(st); }), "(Calculate>>ElneutG): " + ErrorCodeText(-3));
    EXPECT_TRUE(st.EIData.Empty());

    // A form without mobility does not spoil the correction of the others.
    Bge still({Record("Na", kSodium), Record("Y", {-1, 0, {3.0, 0}, {0.0, 0}, 10})}, true);
    ASSERT_TRUE(still.ok);
    EXPECT_TRUE(std::isfinite(still.rec().Conductivity));
    EXPECT_LT(still.rec().FormMob[1][1], kUNa);
}
