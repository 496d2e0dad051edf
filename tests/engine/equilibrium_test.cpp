// Acid-base equilibrium: pH of water, acids and buffers against direct
// solutions, charge balance, high charges and the edge cases of the Newton solve.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "engine/derivatives.h"
#include "engine/equilibrium.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/recording_host.h"
#include "support/uniform_grid.h"

namespace {

constexpr double kF = 96485.0;

// Fraction of each form of a constituent at hydrogen-ion concentration h (mM),
// from its stepwise pK values (pK[z] for the form of charge z, z != 0),
// written directly from the mass-action law.
std::vector<double> Fractions(int zmin, int zmax, const std::vector<double>& pKbyK, double h) {
    // relative amount of form z against the neutral one
    std::vector<double> rel(zmax - zmin + 1, 0.0);
    const int k0 = -zmin;
    rel[k0] = 1.0;
    for (int k = k0 - 1; k >= 0; --k) {  // anions: A(z) = A(z+1) * K / h
        const double K = std::pow(10.0, 3.0 - pKbyK[k]);
        rel[k] = rel[k + 1] * K / h;
    }
    for (int k = k0 + 1; k <= zmax - zmin; ++k) {  // cations: A(z) = A(z-1) * h / K
        const double K = std::pow(10.0, 3.0 - pKbyK[k]);
        rel[k] = rel[k - 1] * h / K;
    }
    double s = 0;
    for (double r : rel) s += r;
    for (double& r : rel) r /= s;
    return rel;
}

struct Spec1 {  // one constituent for the direct solution
    int zmin, zmax;
    std::vector<double> pK, u;
    double c;
};

// Charge balance solved by bisection on log10(h), independent of the Newton code.
double DirectPH(const std::vector<Spec1>& cs, double Kw = 1e-8) {
    auto balance = [&](double h) {
        double q = h - Kw / h;
        for (const auto& s : cs) {
            auto f = Fractions(s.zmin, s.zmax, s.pK, h);
            for (int k = 0; k < static_cast<int>(f.size()); ++k) q += (s.zmin + k) * s.c * f[k];
        }
        return q;
    };
    double lo = -20, hi = 10;  // log10 h
    for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo + hi);
        if (balance(std::pow(10.0, mid)) > 0) hi = mid; else lo = mid;
    }
    return 3 - 0.5 * (lo + hi);
}

std::vector<TComponents> Records(const std::vector<Spec1>& cs) {
    std::vector<TComponents> r;
    int n = 0;
    for (const auto& s : cs)
        r.push_back(MakeConstituent("c" + std::to_string(++n), s.zmin, s.zmax, s.pK, s.u, s.c));
    return r;
}

// Conductivity from the forms of a level at a node: F * sum |z| u c (mM = mol/m3).
double FormConductivity(RunState& st, int level, int n) {
    EngineArrays& a = st.Arr;
    double k = kF * (a.UForm(a.NComp + 1, 1)[n] * a.CH(level)[n] +
                     a.UForm(a.NComp + 2, 0)[n] * a.COH(level)[n]);
    for (int j = 1; j <= a.NComp; ++j)
        for (int f = 0; f < a.Forms(j); ++f) {
            const int z = a.ZMin[j] + f;
            if (z != 0) k += kF * std::abs(z) * a.UForm(j, f)[n] * a.CForm(level, j, f)[n];
        }
    return k;
}

const Spec1 kAcetic{-1, 0, {4.756, 0}, {42.4, 0}, 20.0};
const Spec1 kSodium10{0, 1, {0, 14}, {0, 51.9}, 10.0};

}  // namespace

TEST(Elneut, WaterAcidsAndBuffersGiveTheDirectPH) {
    RecordingMessageSink sink;
    {   // pure water: cH = sqrt(Kw), conductivity of the water ions alone
        RunState st;
        SetUpUniformGrid(st, {}, 10);
        Elneut(st, 2, -1, -1, true);
        for (int n = 0; n <= 10; ++n) {
            EXPECT_NEAR(st.Arr.PH[n], 7.0, 1e-6);
            EXPECT_NEAR(FormConductivity(st, 2, n), kF * (362.5e-9 + 205.5e-9) * 1e-4, 1e-15);
        }
    }
    {   // 1 mM of a strong acid
        RunState st;
        SetUpUniformGrid(st, {MakeStrongAnion("Cl", 79.1, 1.0)}, 4);
        Elneut(st, 2, -1, -1, true);
        EXPECT_NEAR(st.Arr.PH[2], 3.000, 1e-3);
    }
    {   // acetic acid 20 mM with 10 mM sodium: Henderson-Hasselbalch with cH
        RunState st;
        SetUpUniformGrid(st, Records({kAcetic, kSodium10}), 6);
        Elneut(st, 2, -1, -1, true);
        const double ph = st.Arr.PH[3];
        const double h = std::pow(10.0, 3 - ph);  // mM
        EXPECT_NEAR(ph, 4.756 + std::log10((10 + h) / (10 - h)), 2e-4);
        EXPECT_NEAR(ph, 4.7575, 1e-3);
        EXPECT_NEAR(ph, DirectPH({kAcetic, kSodium10}), 1e-7);
    }
    {   // phosphate 20 mM with 30 mM sodium: equimolar H2PO4-/HPO4(2-)
        const Spec1 phosphate{-3, 0, {12.67, 7.21, 2.16, 0}, {71.5, 61.5, 35.1, 0}, 20.0};
        const Spec1 sodium{0, 1, {0, 14}, {0, 51.9}, 30.0};
        RunState st;
        SetUpUniformGrid(st, Records({phosphate, sodium}), 6);
        Elneut(st, 2, -1, -1, true);
        EXPECT_NEAR(st.Arr.PH[0], 7.210, 2e-3);
        EXPECT_NEAR(st.Arr.PH[6], DirectPH({phosphate, sodium}), 1e-7);
        // forms against the mass-action law
        const double h = st.Arr.CH(2)[6];
        auto f = Fractions(-3, 0, phosphate.pK, h);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(st.Arr.CForm(2, 1, k)[6], 20.0 * f[k], 1e-9);
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, ConductivityAndChargeBalanceAtEveryNode) {
    RecordingMessageSink sink;
    RunState st;
    const Spec1 base{0, 1, {0, 5.0}, {0, 30.0}, 0.1};
    const Spec1 li{0, 1, {0, 14}, {0, 40.1}, 0.1};
    SetUpUniformGrid(st, Records({kAcetic, kSodium10, li, base}), 20);
    // a profile that differs from node to node
    for (int n = 0; n <= 20; ++n) {
        st.Arr.C(2, 1)[n] = 5.0 + n;
        st.Arr.C(2, 3)[n] = 0.01 * n;
        st.Arr.C(2, 4)[n] = 0.5 * std::exp(-0.1 * (n - 10) * (n - 10));
    }
    Elneut(st, 2, -1, -1, true);
    std::vector<double> kappas;
    for (int n = 0; n <= 20; ++n) {
        double scale = 0;
        const double res = ChargeBalance(st, 2, n, &scale);
        EXPECT_LE(std::fabs(res), 1e-9 * scale) << "node " << n;
        // conductivity from the fractions of the mass-action law at the solved cH
        const double h = st.Arr.CH(2)[n];
        double kappa = kF * (362.5e-9 * h + 205.5e-9 * 1e-8 / h);
        const Spec1 cs[4] = {kAcetic, kSodium10, li, base};
        for (int j = 0; j < 4; ++j) {
            auto f = Fractions(cs[j].zmin, cs[j].zmax, cs[j].pK, h);
            for (int k = 0; k < static_cast<int>(f.size()); ++k) {
                const int z = cs[j].zmin + k;
                kappa += kF * std::abs(z) * cs[j].u[k] * 1e-9 * st.Arr.C(2, j + 1)[n] * f[k];
            }
        }
        EXPECT_NEAR(FormConductivity(st, 2, n), kappa, 1e-9 * kappa);
        kappas.push_back(kappa);
        // weak base: effective mobility u * h / (h + K)
        const double K = std::pow(10.0, 3 - 5.0);
        EXPECT_NEAR(st.Arr.UEff[4][n], 30e-9 * h / (h + K), 1e-12 * 30e-9);
        EXPECT_NEAR(st.Arr.UEff[1][n], -42.4e-9 * (1 - h / (h + std::pow(10.0, 3 - 4.756))),
                    1e-12 * 42.4e-9);
    }
    // the engine's conductivity (formed with the field) without the
    // ionic-strength correction
    CalcDER(st, 2, true);
    for (int n = 0; n <= 20; ++n) EXPECT_NEAR(st.Arr.Kappa[n], kappas[n], 1e-9 * kappas[n]);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, ChargesFromMinus30ToPlus30StayFinite) {
    RecordingMessageSink sink;
    std::vector<double> pK(61), u(61);
    for (int k = 0; k < 61; ++k) {
        const int z = -30 + k;
        pK[k] = z < 0 ? 4.0 : 10.0;
        u[k] = z == 0 ? 0 : 5.0 * std::abs(z);
    }
    RunState st;
    SetUpUniformGrid(st,
                     {MakeConstituent("acetic", -1, 0, {4.756, 0}, {42.4, 0}, 20),
                      MakeStrongCation("Na", 51.9, 10),
                      MakeConstituent("protein", -30, 30, pK, u, 0.1)},
                     12);
    for (int n = 0; n <= 12; ++n) st.Arr.C(2, 3)[n] = 0.01 * n;  // includes zero
    Elneut(st, 2, -1, -1, true);
    EXPECT_FALSE(st.Stop);
    for (int n = 0; n <= 12; ++n) {
        EXPECT_TRUE(std::isfinite(st.Arr.PH[n])) << n;
        EXPECT_TRUE(std::isfinite(FormConductivity(st, 2, n))) << n;
        EXPECT_TRUE(std::isfinite(st.Arr.IonicStrength(2)[n])) << n;
        double scale = 0;
        const double res = ChargeBalance(st, 2, n, &scale);
        EXPECT_LE(std::fabs(res), 1e-9 * scale);
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, NewtonEdgeCases) {
    RecordingMessageSink sink;
    {   // start guard: a start above 1e6 restarts from 1e-36; water then needs
        // more than 100 passes (x doubles per pass), so the limit is raised
        RunState st;
        SetUpUniformGrid(st, {}, 4);
        st.Arr.CH(2)[0] = 2e6;
        Elneut(st, 1, 0, 0, false);
        EXPECT_NEAR(st.Arr.PH[0], 7.0, 1e-9);
        EXPECT_GT(st.NewtonItStep, 100);
        EXPECT_EQ(st.ItNew, 100);
        // at node 3 the guard takes the left neighbour of the level solved
        st.Arr.CH(1)[2] = 1.5e-4;
        st.Arr.CH(2)[3] = 5e6;
        st.NewtonItStep = 0;
        Elneut(st, 1, 0, 3, false);
        EXPECT_NEAR(st.Arr.CH(1)[3], 1e-4, 1e-15);
        EXPECT_LT(st.NewtonItStep, 20);
        // a start that is not a number is treated like a start out of range
        st.Arr.CH(2)[4] = std::nan("");
        Elneut(st, 1, 0, 4, false);
        EXPECT_NEAR(st.Arr.CH(1)[4], 1e-4, 1e-15);
        EXPECT_EQ(st.ItNew, 100);
    }
    {   // a step to a negative x restarts from a thousandth of |start|:
        // 1 mM of a strong base from cH = 1e-4 overshoots below zero twice
        RunState st;
        SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 1.0)}, 2);
        Elneut(st, 1, 0, -1, true);
        EXPECT_LT(st.NewtonItStep, 40);  // restarted, not run into the limit
        const double expect = DirectPH({{0, 1, {0, 14}, {0, 51.9}, 1.0}});
        EXPECT_NEAR(st.Arr.PH[1], expect, 1e-7);
        EXPECT_NEAR(st.Arr.PH[1], 11.0, 1e-3);
    }
    {   // replacement of tiny values: with Kw 1e-30 the result is 1e-30 mM
        RunState st;
        st.Kw = 1e-30;
        SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 1.0)}, 8);
        Elneut(st, 1, 0, 0, false);
        EXPECT_EQ(st.Arr.CH(1)[0], 1e-9);
        st.Arr.CH(1)[6] = 4.2e-6;
        Elneut(st, 1, 0, 7, false);
        EXPECT_EQ(st.Arr.CH(1)[7], 4.2e-6);
        // a neighbour that holds no valid value gives 1e-9
        st.Arr.CH(1)[5] = 0.0;
        Elneut(st, 1, 0, 6, false);
        EXPECT_EQ(st.Arr.CH(1)[6], 1e-9);
    }
    {   // a start of 0 ends before the first pass; the replacement applies
        RunState st;
        SetUpUniformGrid(st, {MakeStrongAnion("Cl", 79.1, 1.0)}, 8);
        st.Arr.CH(2)[0] = 0.0;
        st.NewtonItStep = 0;
        Elneut(st, 1, 0, 0, true);
        EXPECT_EQ(st.Arr.CH(1)[0], 1e-9);
        EXPECT_EQ(st.NewtonItStep, 0);
        EXPECT_DOUBLE_EQ(st.Arr.COH(1)[0], 1e-8 / 1e-9);
        st.Arr.CH(1)[6] = 3.3e-5;
        st.Arr.CH(2)[7] = -1e-40;
        Elneut(st, 1, 0, 7, true);
        EXPECT_EQ(st.Arr.CH(1)[7], 3.3e-5);
        // the forms still add up to the analytical concentration
        EXPECT_NEAR(st.Arr.CForm(1, 1, 0)[7] + st.Arr.CForm(1, 1, 1)[7], 1.0, 1e-15);
    }
    {   // Chrom mode: nothing is computed or counted
        RunState st;
        SetUpUniformGrid(st, {MakeStrongAnion("Cl", 79.1, 1.0)}, 3);
        st.cbChrom = true;
        st.Arr.CH(2)[1] = 0.123;
        const int total = st.NewtonItTotal;
        Elneut(st, 2, -1, -1, true);
        EXPECT_EQ(st.NewtonItTotal, total);
        EXPECT_EQ(st.Arr.CH(2)[1], 0.123);
        st.cbChrom = false;
        Elneut(st, 2, -1, -1, true);
        EXPECT_EQ(st.NewtonItTotal, total + 1);
        EXPECT_NEAR(st.Arr.PH[1], 3.0, 1e-3);
    }
    {   // not initialised: counted, then raised
        RunState st;
        SetUpUniformGrid(st, {}, 3);
        st.Initialised = false;
        try {
            Elneut(st, 2, -1, -1, true);
            FAIL();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "(Elneut>>is_init == false): Initialization required.");
        }
        EXPECT_EQ(st.NewtonItTotal, 1);
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, SourceLevelsWindowAndIterationProfile) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.Host = &host;
    SetUpUniformGrid(st, Records({kAcetic, kSodium10}), 10);
    // source -1 solves the whole grid even with a narrow window, then
    // restores the window; speciation treats the restored window
    st.LeftWall = 3;
    st.RightWall = 5;
    st.cbNewCnt = true;
    Elneut(st, 3, -1, -1, true);
    EXPECT_EQ(st.LeftWall, 3);
    EXPECT_EQ(st.RightWall, 5);
    for (int n = 0; n <= 10; ++n) EXPECT_NEAR(st.Arr.PH[n], 4.7575, 1e-3);
    EXPECT_EQ(host.newtonIterations.size(), 11u);
    EXPECT_EQ(host.newtonIterations.front().first, 0);
    // source 0 at level 1 starts from level 2 and solves only the window
    for (int n = 0; n <= 10; ++n) st.Arr.CH(1)[n] = 7.0;
    Elneut(st, 1, 0, -1, false);
    EXPECT_EQ(st.Arr.CH(1)[2], 7.0);
    EXPECT_EQ(st.Arr.CH(1)[6], 7.0);
    for (int n = 3; n <= 5; ++n) EXPECT_NEAR(st.Arr.CH(1)[n], st.Arr.CH(3)[n], 1e-15);
    // walls beyond the grid are clamped
    st.RightWall = 50;
    EXPECT_NO_THROW(Elneut(st, 1, 0, -1, true));
    EXPECT_EQ(st.RightWall, 50);
    EXPECT_NEAR(st.Arr.CH(1)[10], st.Arr.CH(3)[10], 1e-15);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, NonFiniteResultStopsWithTheNewtonMessageOncePerRun) {
    RecordingMessageSink sink;
    RunState st;
    SetUpUniformGrid(st, {MakeStrongAnion("Cl", 79.1, 1.0)}, 6);
    Elneut(st, 2, -1, -1, true);
    const double before = st.Arr.CH(1)[5];
    st.Arr.C(1, 1)[3] = std::nan("");
    st.LeftWall = 1;
    st.RightWall = 5;
    Elneut(st, 1, 0, -1, true);
    EXPECT_TRUE(st.Stop);
    EXPECT_TRUE(st.NumericalFailure);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "Newton's iteration returns incorrect H+ concentration: NAN");
    EXPECT_EQ(st.LeftWall, 1);
    EXPECT_EQ(st.RightWall, 5);
    EXPECT_EQ(st.ItNew, 100);
    EXPECT_TRUE(std::isfinite(st.Arr.CH(1)[3]));
    EXPECT_EQ(st.Arr.CH(1)[5], before);  // later nodes untouched
    Elneut(st, 1, 0, -1, true);
    EXPECT_EQ(sink.warnings.size(), 1u);  // shown once per run
    st.WarnedThisRun.clear();
    Elneut(st, 1, 0, -1, true);
    EXPECT_EQ(sink.warnings.size(), 2u);
}

TEST(CalcSpeciation, FormsMeansAndIonicStrength) {
    RecordingMessageSink sink;
    RunState st;
    SetUpUniformGrid(st,
                     {MakeStrongCation("Na", 51.9, 12.0), MakeStrongAnion("Cl", 79.1, 10.0),
                      MakeConstituent("glucose", 0, 0, {0}, {0}, 5.0),
                      MakeConstituent("sulfate", -2, 0, {-3, -2, 0}, {82.9, 50.0, 0}, 1.0)},
                     8);
    Elneut(st, 2, -1, -1, true);
    const int n = 4;
    const double h = st.Arr.CH(2)[n];
    EXPECT_NEAR(st.Arr.PH[n], 7.0, 0.01);
    // neutral-only constituent: all neutral, no charge, no mobility
    EXPECT_EQ(st.Arr.CForm(2, 3, 0)[n], 5.0);
    EXPECT_EQ(st.Arr.ZMean[3][n], 0.0);
    EXPECT_EQ(st.Arr.UEff[3][n], 0.0);
    // strong ions fully dissociated
    EXPECT_NEAR(st.Arr.ZMean[1][n], 1.0, 2e-7);  // pK 14: 1e-7 neutral at pH 7
    EXPECT_NEAR(st.Arr.UEff[2][n], -79.1e-9, 1e-15);
    EXPECT_NEAR(st.Arr.ZMean[4][n], -2.0, 1e-9);
    // I = 0.5 (cH + cOH + 12 + 10 + 4 * 1)
    EXPECT_NEAR(st.Arr.IonicStrength(2)[n], 0.5 * (h + 1e-8 / h + 26.0), 2e-6);
    // the window only: nodes outside keep their values
    st.Arr.CH(2)[0] = 1.0;
    st.Arr.CH(2)[6] = 1.0;
    st.LeftWall = 5;
    st.RightWall = 7;
    const double ph0 = st.Arr.PH[0];
    CalcSpeciation(st, 2, -1);
    EXPECT_EQ(st.Arr.PH[0], ph0);
    EXPECT_NEAR(st.Arr.PH[6], 3.0, 1e-12);
    EXPECT_NEAR(st.Arr.COH(2)[6], 1e-8, 1e-20);
    // with the ionic-strength correction the pH is left to the correction
    st.ISCorrection = true;
    st.KwIS = 1e-8;
    st.Arr.CH(2)[6] = 0.1;
    CalcSpeciation(st, 2, 6);
    EXPECT_NEAR(st.Arr.PH[6], 3.0, 1e-12);
    EXPECT_NEAR(st.Arr.COH(2)[6], 1e-7, 1e-19);
    st.ISCorrection = false;
    // complexation mode: nothing written
    st.cbComplex = true;
    CalcSpeciation(st, 2, 6);
    EXPECT_NEAR(st.Arr.PH[6], 3.0, 1e-12);
    st.cbComplex = false;
    EXPECT_TRUE(sink.warnings.empty());
    // a cH that is not positive: node skipped, run stopped, one warning
    st.Arr.CH(2)[7] = 0.0;
    const double ph7 = st.Arr.PH[7];
    CalcSpeciation(st, 2, 7);
    CalcSpeciation(st, 2, 7);
    EXPECT_EQ(st.Arr.PH[7], ph7);
    EXPECT_TRUE(st.Stop);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "Incorrect H+ concentration at node 7: 0");
}

TEST(Elneut, SpeciatingCallEqualsSolveThenSpeciation) {
    RecordingMessageSink sink;
    const Spec1 base{0, 1, {0, 5.0}, {0, 30.0}, 0.1};
    RunState a, b;
    for (RunState* st : {&a, &b}) {
        SetUpUniformGrid(*st, Records({kAcetic, kSodium10, base}), 30);
        for (int n = 0; n <= 30; ++n) st->Arr.C(1, 3)[n] = 0.01 * n;
        st->LeftWall = 7;
        st->RightWall = 19;
    }
    RunState c;
    SetUpUniformGrid(c, Records({kAcetic, kSodium10, base}), 30);
    for (int n = 0; n <= 30; ++n) c.Arr.C(1, 3)[n] = 0.01 * n;
    Elneut(a, 1, -1, -1, true);
    Elneut(b, 1, -1, -1, false);
    CalcSpeciation(b, 1, -1);
    // only cH stored, the caller speciates the whole solved range
    Elneut(c, 1, -1, -1, false, false);
    CalcSpeciation(c, 1, -1);
    for (int n = 7; n <= 19; ++n) {  // b's window
        EXPECT_EQ(c.Arr.CH(1)[n], b.Arr.CH(1)[n]);
        EXPECT_EQ(c.Arr.UEff[3][n], b.Arr.UEff[3][n]);
        EXPECT_EQ(c.Arr.CForm(1, 1, 0)[n], b.Arr.CForm(1, 1, 0)[n]);
    }
    for (int n = 0; n <= 30; ++n) {
        EXPECT_EQ(a.Arr.CH(1)[n], b.Arr.CH(1)[n]);
        EXPECT_EQ(a.Arr.PH[n], b.Arr.PH[n]);
        EXPECT_EQ(a.Arr.COH(1)[n], b.Arr.COH(1)[n]);
        EXPECT_EQ(a.Arr.IonicStrength(1)[n], b.Arr.IonicStrength(1)[n]);
        for (int j = 1; j <= 3; ++j) {
            EXPECT_EQ(a.Arr.UEff[j][n], b.Arr.UEff[j][n]) << n;
            EXPECT_EQ(a.Arr.ZMean[j][n], b.Arr.ZMean[j][n]);
            for (int k = 0; k < a.Arr.Forms(j); ++k)
                EXPECT_EQ(a.Arr.CForm(1, j, k)[n], b.Arr.CForm(1, j, k)[n]);
        }
    }
}
