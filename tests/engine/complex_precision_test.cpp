// The complexation equilibrium against a reference kept in extended
// precision: the two equations (ligand balance, electroneutrality) evaluated
// with every sum in long double and the free-form terms of each analyte taken
// relative to the largest through logarithms, polished by Newton's method from
// the engine's solution. At every node the engine's cH and every stored
// fraction agree with the reference root within 1e-10 relative, on a run of
// the benchmark's complexation case and on ligands of every charge pattern
// across pH 3..11.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "foundation/errors.h"
#include "support/bench_cases.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

struct RefPoint {
    long double F1 = 0, F2 = 0, dF1dh = 0, dF1dw = 0, dF2dh = 0, dF2dw = 0;
    std::vector<long double> hq;                // [q]: ligand-form terms
    std::vector<std::vector<long double>> phi;  // [a][f]: free fractions of the free analyte
    std::vector<long double> invB;              // [a]
};

RefPoint Evaluate(RunState& st, int l, int i, long double h, long double w)
{
    const ComplexData& d = ComplexArrays(st);
    const EngineArrays& ar = st.Arr;
    const int Q = d.Q(), na = d.Nanalytes;
    const long double cL = ar.C(l, 1)[i], u = cL * w;
    RefPoint r;
    long double S0 = 0, S1 = 0, S2 = 0, p = 1;
    for (int q = 0; q <= Q; ++q, p *= h) {
        const long double t = d.LigandL[static_cast<std::size_t>(q)] * p;
        const int z = d.nL + q;
        r.hq.push_back(t);
        S0 += t;
        S1 += z * t;
        S2 += static_cast<long double>(z) * z * t;
    }
    r.phi.resize(static_cast<std::size_t>(na) + 1);
    r.invB.assign(static_cast<std::size_t>(na) + 1, 0);
    long double sT0 = 0, sT0B2 = 0, sA = 0, sB = 0, sC = 0, sE = 0;
    for (int a = 1; a <= na; ++a) {
        const std::size_t as = static_cast<std::size_t>(a);
        const int zmin = ar.ZMin[a + 1], nf = d.FormCount[as];
        std::vector<long double>& phi = r.phi[as];
        phi.assign(static_cast<std::size_t>(nf), 0);
        long double logMax = -INFINITY;
        for (int f = 0; f < nf; ++f) {
            const long double L = ar.LForm(a + 1, f)[i];
            phi[static_cast<std::size_t>(f)] =
                L > 0 ? std::log(L) + (zmin + f) * std::log(h) : -INFINITY;
            logMax = std::max(logMax, phi[static_cast<std::size_t>(f)]);
        }
        long double den = 0;
        for (auto& v : phi) den += (v = std::exp(v - logMax));
        long double M1 = 0, M2 = 0, T0 = 0, T1 = 0, T2 = 0;
        for (int f = 0; f < nf; ++f) {
            long double& ph = phi[static_cast<std::size_t>(f)];
            ph /= den;
            const int zf = zmin + f;
            M1 += zf * ph;
            M2 += static_cast<long double>(zf) * zf * ph;
            for (int q = 0; q <= Q; ++q) {
                const long double t =
                    ph * r.hq[static_cast<std::size_t>(q)] *
                    d.K[as][static_cast<std::size_t>(f)][static_cast<std::size_t>(q)];
                const int z = zf + d.nL + q;
                T0 += t;
                T1 += z * t;
                T2 += static_cast<long double>(z) * z * t;
            }
        }
        const long double B = 1 + u * T0, ca = ar.C(l, a + 1)[i], cB2 = ca / (B * B);
        r.invB[as] = 1 / B;
        sT0 += ca * T0 / B;
        sT0B2 += cB2 * T0;
        sA += ca / B * (M1 + u * T1);
        sB += cB2 * (T1 - (M1 + d.nL) * T0);
        sC += cB2 * (M1 * T0 - T1);
        sE += cB2 * ((M2 + u * T2) * (1 + u * T0) + d.nL * u * (M1 * T0 - T1) -
                     (M1 + u * T1) * (M1 + u * T1));
    }
    const long double Kw = d.Kw;
    r.F1 = w * S0 + w * sT0 - 1;
    r.F2 = h - Kw / h + u * S1 + sA;
    r.dF1dw = S0 + sT0B2;
    r.dF1dh = w / h * (S1 - d.nL * S0 + sB);
    r.dF2dw = cL * S1 - cL * sC;
    r.dF2dh = 1 + Kw / (h * h) + u / h * (S2 - d.nL * S1) + sE / h;
    return r;
}

// Newton's method on the reference equations from (h, w) until the step is at
// the rounding of long double.
RefPoint Polish(RunState& st, int l, int i, long double& h, long double& w)
{
    for (int it = 0; it < 60; ++it) {
        const RefPoint e = Evaluate(st, l, i, h, w);
        const long double D = e.dF2dh * e.dF1dw - e.dF2dw * e.dF1dh;
        const long double dh = (e.dF1dw * e.F2 - e.dF2dw * e.F1) / D;
        const long double dw = (e.dF2dh * e.F1 - e.dF1dh * e.F2) / D;
        h -= dh;
        w -= dw;
        if (std::fabs(dh / h) < 1e-17L && std::fabs(dw / w) < 1e-17L) break;
    }
    return Evaluate(st, l, i, h, w);
}

// Every node of level l: the engine's cH and fractions against the reference
// root. Returns the largest relative difference of cH.
double CheckNodes(RunState& st, int l, const std::string& what)
{
    SCOPED_TRACE(what);
    const ComplexData& d = ComplexArrays(st);
    EngineArrays& ar = st.Arr;
    const int Q = d.Q();
    double worst = 0;
    auto near = [](double got, long double ref) {
        return std::fabs(got - static_cast<double>(ref)) <=
               1e-10 * std::fabs(static_cast<double>(ref)) + 1e-300;
    };
    for (int j = 0; j < ar.Nn; ++j) {
        long double h = ar.CH(l)[j], w = ComplexWork(st, l, 0, 0, 0)[j];
        const RefPoint r = Polish(st, l, j, h, w);
        const double got = ar.CH(l)[j];
        worst = std::max(worst, std::fabs(got - static_cast<double>(h)) / static_cast<double>(h));
        if (!near(got, h)) {
            ADD_FAILURE() << "cH at node " << j << ": " << got << " against "
                          << static_cast<double>(h);
            return worst;
        }
        for (int q = 0; q <= Q; ++q)
            EXPECT_TRUE(near(ComplexWork(st, l, 0, 0, q)[j], w * r.hq[static_cast<std::size_t>(q)]))
                << "ligand form " << q << " at node " << j;
        for (int a = 1; a <= d.Nanalytes; ++a)
            for (int f = 0; f < d.FormCount[static_cast<std::size_t>(a)]; ++f) {
                const long double free =
                    r.phi[static_cast<std::size_t>(a)][static_cast<std::size_t>(f)] *
                    r.invB[static_cast<std::size_t>(a)];
                EXPECT_TRUE(near(ComplexWork(st, l, a, f, Q + 1)[j], free))
                    << "free form " << f << " of analyte " << a << " at node " << j;
                for (int q = 0; q <= Q; ++q)
                    EXPECT_TRUE(near(ComplexWork(st, l, a, f, q)[j],
                                     free * w * r.hq[static_cast<std::size_t>(q)] *
                                         d.K[static_cast<std::size_t>(a)][static_cast<std::size_t>(
                                             f)][static_cast<std::size_t>(q)]))
                        << "complex " << f << "/" << q << " of analyte " << a << " at node " << j;
            }
    }
    return worst;
}

}  // namespace

TEST(ComplexPrecision, RunOfTheBenchmarkCaseAgreesWithTheExtendedReference)
{
    RecordingMessageSink sink;
    RunState st;
    ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B7"), 300));
    benchcases::RunTimed(st, 0.2, "B7");
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.StepCount, 10);
    CheckNodes(st, 2, "as the run left level 2");
    // the whole grid solved again from the lowest start, node after node
    ComplexElneut(st, 2, -1, -1, false);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    CheckNodes(st, 2, "solved again from the start values");
}

TEST(ComplexPrecision, LigandsOfEveryChargePatternAcrossThePHRange)
{
    struct Ligand {
        int zmin, zmax;
        std::vector<double> pK;
    };
    const Ligand ligands[] = {
        {0, 0, {0}}, {-1, 0, {6.0, 0}}, {-1, 1, {8.5, 0, 4.0}}, {-2, 0, {3.5, 7.5, 0}}};
    for (const Ligand& lig : ligands) {
        SCOPED_TRACE("ligand " + std::to_string(lig.zmin) + ".." + std::to_string(lig.zmax));
        RecordingMessageSink sink;
        RunState st;
        TUnivSet<TComponents> comp;
        std::vector<double> uL(lig.pK.size(), 30.0);
        comp.Add(Constituent("Ligand", lig.zmin, lig.zmax, lig.pK, uL, BGE, 5, 5));
        comp.Add(Constituent("Na", 0, 1, {0, 16}, {0, 50}, BGE, 12, 12));
        comp.Add(Constituent("Cl", -1, 0, {-2, 0}, {79, 0}, BGE, 1, 1));
        comp.Add(Constituent("HA", -1, 0, {4.75, 0}, {40, 0}, BGE, 10, 10));
        comp.Add(Constituent("Amph", -1, 1, {9.2, 0, 3.1}, {30, 0, 30}, BGE, 2, 2));
        PrepareRun(st, comp, 44);
        st.cbComplex = true;
        const int nq = lig.zmax - lig.zmin + 1;
        ComplexTable t;
        t.push_back({std::to_string(lig.zmin), std::to_string(lig.zmax)});
        ComplexRow pk;
        for (int z = lig.zmin; z <= lig.zmax; ++z)
            if (z != 0)
                pk.push_back(std::to_string(lig.pK[static_cast<std::size_t>(z - lig.zmin)]));
        t.push_back(pk.empty() ? ComplexRow{"None"} : pk);
        t.push_back(ComplexRow(static_cast<std::size_t>(nq), "30"));
        t.push_back({"14", "362.5", "205.5"});
        t.push_back({"4"});
        const int forms[4] = {2, 2, 2, 3};
        for (int a = 0; a < 4; ++a)
            for (int f = 0; f < forms[a]; ++f) {
                ComplexRow line;
                for (int q = 0; q < nq; ++q)
                    line.push_back(a >= 2 ? std::to_string(-(0.3 * f - 0.5 * q - 0.2 * a) - 3)
                                          : "30");
                t.push_back(line);
            }
        for (int a = 0; a < 4; ++a)
            for (int f = 0; f < forms[a]; ++f)
                t.push_back(ComplexRow(static_cast<std::size_t>(nq), "25"));
        st.TxtTable = t;
        ASSERT_TRUE(InitCalc(st)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
        // node j: ligand 0..50 mM, sodium or chloride in excess to sweep the pH
        const double cLs[] = {0, 1, 5, 20, 50};
        const double excess[] = {-2.0, -0.4, 0.4, 1.2, 1.9, 2.6, 3.5, 4.5, 5.5};
        EngineArrays& a = st.Arr;
        for (int j = 0; j <= st.NX; ++j) {
            const double cL = cLs[j % 5], e = excess[j / 5];
            const double acids = 12 + (lig.zmin < 0 ? cL : 0);
            const double c[5] = {cL, e > 0 ? e * acids / 5.0 : 0.0, e > 0 ? 0.0 : -e, 10.0, 2.0};
            for (int i = 1; i <= 5; ++i) a.C(2, i)[j] = c[i - 1];
        }
        ComplexElneut(st, 2, -1, -1, false);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        double pHmin = 99, pHmax = -99;
        for (int j = 0; j <= st.NX; ++j) {
            pHmin = std::min(pHmin, a.PH[j]);
            pHmax = std::max(pHmax, a.PH[j]);
        }
        EXPECT_LT(pHmin, 3.5);
        EXPECT_GT(pHmax, 10.5);
        CheckNodes(st, 2, "pH sweep");
    }
}

// The equations and their Jacobian at points where double holds every term and
// where it does not (a constituent with charges -30..+30 at cH far from its
// pKs), against the extended reference.
TEST(ComplexPrecision, EquationsAgreeWithTheReferenceInsideAndBeyondTheRangeOfDouble)
{
    RecordingMessageSink sink;
    RunState st;
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Ligand", -1, 1, {8.5, 0, 4.0}, {30, 0, 30}, BGE, 5, 5));
    comp.Add(Constituent("Na", 0, 1, {0, 16}, {0, 50}, BGE, 12, 12));
    std::vector<double> pK(61), u(61);
    for (int k = 0; k <= 60; ++k) {
        pK[static_cast<std::size_t>(k)] = k < 30 ? 4.0 : k > 30 ? 10.0 : 0.0;
        u[static_cast<std::size_t>(k)] = k == 30 ? 0.0 : 20.0;
    }
    comp.Add(Constituent("Wide", -30, 30, pK, u, BGE, 0.5, 0.5));
    PrepareRun(st, comp, 10);
    st.cbComplex = true;
    ComplexTable t = {
        {"-1", "1"}, {"8.5", "4"}, {"30", "20", "30"}, {"14", "362.5", "205.5"}, {"2"}};
    const int forms[2] = {2, 61};
    for (int a = 0; a < 2; ++a)
        for (int f = 0; f < forms[a]; ++f)
            t.push_back(a == 0 ? ComplexRow{"30", "30", "30"}
                               : ComplexRow{std::to_string(-1.0 - 0.02 * f), "-2", "-1.5"});
    for (int a = 0; a < 2; ++a)
        for (int f = 0; f < forms[a]; ++f) t.push_back({"25", "25", "25"});
    st.TxtTable = t;
    ASSERT_TRUE(InitCalc(st)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    const ComplexData& d = ComplexArrays(st);
    int beyond = 0;
    for (double h : {1e-15, 1e-11, 1e-6, 1e-3, 0.5, 30.0})
        for (double w : {1e-12, 1e-3, 0.4, 1.0}) {
            SCOPED_TRACE("h " + std::to_string(h) + " w " + std::to_string(w));
            const ComplexEquations e = EvaluateComplexEquations(st, 2, 3, h, w);
            const RefPoint r = Evaluate(st, 2, 3, h, w);
            // whether double holds the terms of the wide constituent here
            long double big = 0;
            for (int f = 0; f < 61; ++f)
                big = std::max(
                    big, st.Arr.LForm(3, f)[3] * std::pow(static_cast<long double>(h), -30 + f));
            if (big > 1e280L) ++beyond;
            const double cTot = st.Arr.C(2, 1)[3] + st.Arr.C(2, 2)[3] + st.Arr.C(2, 3)[3];
            const double s1 = std::fabs(w) * (1 + static_cast<double>(r.dF1dw)) + 1;
            const double s2 = h + d.Kw / h + 60 * cTot * (1 + w);
            EXPECT_NEAR(e.F1, static_cast<double>(r.F1),
                        1e-12 * (s1 + std::fabs(static_cast<double>(r.F1))));
            EXPECT_NEAR(e.F2, static_cast<double>(r.F2),
                        1e-12 * (s2 + std::fabs(static_cast<double>(r.F2))));
            auto rel = [](double got, long double ref) {
                return std::fabs(got - static_cast<double>(ref)) <=
                       1e-9 * std::fabs(static_cast<double>(ref)) + 1e-300;
            };
            EXPECT_TRUE(rel(e.dF1dw, r.dF1dw)) << e.dF1dw << " " << static_cast<double>(r.dF1dw);
            EXPECT_TRUE(rel(e.dF2dh, r.dF2dh)) << e.dF2dh << " " << static_cast<double>(r.dF2dh);
            EXPECT_NEAR(e.dF1dh, static_cast<double>(r.dF1dh),
                        1e-9 * (std::fabs(static_cast<double>(r.dF1dh)) + s1 / h));
            EXPECT_NEAR(e.dF2dw, static_cast<double>(r.dF2dw),
                        1e-9 * (std::fabs(static_cast<double>(r.dF2dw)) + s2));
        }
    EXPECT_GT(beyond, 0);  // the points reach beyond the range of double
}

// A polyanion of charge -30 (thirty strong acid steps, pK -6) binding a
// neutral ligand with its fully dissociated form: at the pH of an acetate
// buffer its terms leave the range of double, so every solve goes through the
// extended evaluation. At every node, after Init and after a run: cH solves
// the charge balance written by hand (the polyanion and its complex carry -30
// whatever the binding), the stored species are electroneutral with the
// charges of their forms, adjacent free forms hold the acid's mass action
// (c(-29) / c(-30) = cH / K), and the effective mobility is the free and bound
// share of the -30 form, (1 - theta) u_free + theta u_complex, negative, with
// theta from the ligand balance; the zone migrates at it. At a cH far below
// any solution (a Newton iterate), where even long double cannot hold the
// terms, the ligand balance still sees the polyanion entirely in its -30
// form, the only one that binds.
TEST(ComplexPrecision, PolyanionBeyondTheRangeOfDoubleKeepsTheChargesOfItsForms)
{
    const double cL = 10.0, K = 0.5, uFree = 20.0, uCx = 10.0;  // mM, 1/mM, 1e-9 m2/(V s)
    const double Kstep = std::pow(10.0, 3 + 6.0);               // mM, each step of pK -6
    const double Ka = std::pow(10.0, 3 - kPKAcetic), Kna = std::pow(10.0, 3 - kPKStrongCation);
    auto text = [](double v) {
        char b[64];
        std::snprintf(b, sizeof b, "%.17g", v);
        return std::string(b);
    };
    RecordingMessageSink sink;
    RunState st;
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Selector", 0, 0, {0}, {0}, BGE, cL, cL));
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0, 15.0));
    std::vector<double> pK(31, -6.0), u(31, uFree);
    pK[30] = u[30] = 0.0;
    comp.Add(Constituent("Polyanion", -30, 0, pK, u, Analyte, 0.0, 1e-3));
    PrepareRun(st, comp, 200);
    st.CapLengthPending = 0.025;
    SetZoneAndVoltage(st, 12.5, 1.0, 0.5, 100.0);
    st.cbComplex = true;
    ComplexTable t = {{"0", "0"}, {"None"}, {"20"}, {"14", "362.5", "205.5"}, {"3"}};
    for (int f = 0; f < 35; ++f) t.push_back({f == 4 ? text(-std::log10(K * 1e3)) : "30"});
    for (int f = 0; f < 35; ++f) t.push_back({f == 4 ? text(uCx) : "25"});
    st.TxtTable = t;
    ASSERT_TRUE(InitCalc(st)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    const ComplexData& d = ComplexArrays(st);
    EngineArrays& a = st.Arr;
    int extended = 0;
    auto check = [&](const std::string& when) {
        SCOPED_TRACE(when);
        for (int j = 0; j <= st.NX; ++j) {
            const double cLj = a.C(2, 1)[j], cAc = a.C(2, 2)[j], cNa = a.C(2, 3)[j],
                         cW = a.C(2, 4)[j];
            const double h = a.CH(2)[j];
            // whether double holds the terms of the polyanion here
            if (a.LForm(4, 0)[j] * std::pow(static_cast<long double>(h), -30) > 1e280L) ++extended;
            auto balance = [&](double x) {
                return cNa * x / (x + Kna) + x - d.Kw / x - cAc * Ka / (Ka + x) - 30 * cW;
            };
            double lo = std::log(1e-6), hi = std::log(1.0);
            for (int it = 0; it < 200; ++it) {
                const double m = 0.5 * (lo + hi);
                (balance(std::exp(m)) > 0 ? hi : lo) = m;
            }
            ASSERT_NEAR(h, std::exp(0.5 * (lo + hi)), 1e-9 * h) << j;
            // the stored species with the charges of their forms
            double charge = h - d.Kw / h, scale = h + d.Kw / h;
            for (int an = 1; an <= 3; ++an) {
                const double ca = a.C(2, an + 1)[j];
                for (int f = 0; f < d.FormCount[static_cast<std::size_t>(an)]; ++f) {
                    const int z = a.ZMin[an + 1] + f;
                    const double c =
                        (ComplexWork(st, 2, an, f, 1)[j] + ComplexWork(st, 2, an, f, 0)[j] * cLj) *
                        ca;
                    charge += z * c;
                    scale += std::abs(z) * c;
                }
            }
            ASSERT_NEAR(charge, 0.0, 1e-9 * scale) << j;
            const double free30 = ComplexWork(st, 2, 3, 0, 1)[j],
                         free29 = ComplexWork(st, 2, 3, 1, 1)[j];
            ASSERT_NEAR(free29 / free30, h / Kstep, 1e-9 * h / Kstep) << j;
            // effective mobility from the ligand balance Lf + cW K Lf / (1 + K Lf) = cL
            double l0 = 0, l1 = cLj;
            for (int it = 0; it < 200; ++it) {
                const double m = 0.5 * (l0 + l1);
                (m + cW * K * m / (1 + K * m) > cLj ? l1 : l0) = m;
            }
            const double Lf = 0.5 * (l0 + l1), theta = K * Lf / (1 + K * Lf);
            const double uHand = -((1 - theta) * uFree + theta * uCx) * 1e-9;
            // (the row holds the last solve of the run, a stage close to level 2)
            ASSERT_NEAR(a.UEff[4][j], uHand, 1e-6 * std::abs(uHand)) << j;
        }
    };
    check("after Init");
    ASSERT_GT(extended, st.NX);
    const ProfileMoments m0 = Moments(st, 4);
    RunTo(st, 5.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 4.9);
    check("after the run");
    const ProfileMoments m1 = Moments(st, 4);
    const double theta = K * cL / (1 + K * cL), uZone = -((1 - theta) * uFree + theta * uCx) * 1e-9;
    EXPECT_NEAR((m1.mean - m0.mean) / st.Time / (100.0 / 0.025), uZone, 0.01 * std::abs(uZone));
    EXPECT_NEAR(m1.amount, m0.amount, 1e-4 * m0.amount);

    // a Newton iterate at cH 1e-140 mM: the polyanion's terms beyond even
    // long double; the ligand balance w S0 + w sum c_a T0_a / (1 + cL w T0_a)
    // - 1 with the -30 form alone present (T0 = K), the others not binding
    const int j = st.NX / 2;
    const double cW = a.C(2, 4)[j], cLj = a.C(2, 1)[j];
    ASSERT_GT(cW, 1e-4);
    for (double w : {1e-3, 0.4, 1.0}) {
        const ComplexEquations e = EvaluateComplexEquations(st, 2, j, 1e-140, w);
        const double F1 = w + w * cW * K / (1 + cLj * w * K) - 1;
        EXPECT_NEAR(e.F1, F1, 1e-12) << w;
    }
}
