// The node solve in double (scaled integer powers, the big charge sums kept
// exact) against a reference that accumulates every sum in the x87 extended
// format: at every node of every benchmark case, and for a constituent with
// charges -30..+30 across pH 0-14, both give the same cH within 1e-12.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "support/bench_cases.h"
#include "support/uniform_grid.h"

static_assert(LDBL_MAX_EXP >= 16384, "the reference needs the x87 extended format");

namespace {

// Newton's method for cH at node i of `level` from start x and restart value
// r, every sum in long double, with the engine's iteration rules (restarts
// from below, the bracketed search after itNew passes).
double ReferenceSolve(const RunState& st, int level, int i, double x, double r, int itNew)
{
    const EngineArrays& a = st.Arr;
    const long double Kw = ActiveKw(st);
    const double eps = st.EpsNew;
    struct Form {
        long double L;
        int z;
    };
    std::vector<std::vector<Form>> comps;
    std::vector<long double> conc;
    for (int j = 1; j <= a.NComp; ++j) {
        const double c = a.C(level, j)[i];
        if (c == 0.0 || a.Forms(j) == 1) continue;
        std::vector<Form> forms;
        for (int k = 0; k < a.Forms(j); ++k) forms.push_back({a.LForm(j, k)[i], a.ZMin[j] + k});
        comps.push_back(forms);
        conc.push_back(c);
    }
    auto balance = [&](double xv, long double& f, long double& fp) {
        const long double xl = xv;
        long double A = 0, B = 0;
        for (std::size_t q = 0; q < comps.size(); ++q) {
            long double S0 = 0, S1 = 0, D0 = 0, D1 = 0;
            for (const Form& fm : comps[q]) {
                long double p = 1;  // x^z by repeated multiplication
                for (int m = 0; m < std::abs(fm.z); ++m) p = fm.z > 0 ? p * xl : p / xl;
                const long double t = fm.L * p;
                S0 += t;
                S1 += fm.z * t;
                D0 += fm.z * t / xl;
                D1 += fm.z * fm.z * t / xl;
            }
            A += conc[q] * S1 / S0;
            B += conc[q] * (D1 * S0 - S1 * D0) / (S0 * S0);
        }
        f = xl - Kw / xl + A;
        fp = Kw / (xl * xl) + 1 + B;
    };
    double p = 0;
    for (int n = 1;; ++n) {
        if (x <= 0) {
            r = 0.001 * r;
            x = r;
            if (r < 1e-36) return p;
        }
        p = x;
        long double f, fp;
        balance(x, f, fp);
        const double xn = static_cast<double>(x - f / fp);
        if (!std::isfinite(xn) || std::fabs((x - xn) / x) <= eps) return xn;
        if (n >= itNew) break;
        x = xn;
    }
    double lo = x, hi = x;
    long double f, fp;
    balance(x, f, fp);
    if (f > 0) {
        while (lo > 1e-100) {
            lo = std::max(lo * 1e-3, 1e-100);
            balance(lo, f, fp);
            if (f <= 0) break;
        }
    } else {
        while (hi < 1e100) {
            hi = std::min(hi * 1e3, 1e100);
            balance(hi, f, fp);
            if (f >= 0) break;
        }
    }
    const double tol = std::max(eps, 1e-15);
    double xc = std::sqrt(lo) * std::sqrt(hi);
    for (int pass = 0; pass < 2000; ++pass) {
        balance(xc, f, fp);
        if (f == 0) break;
        (f < 0 ? lo : hi) = xc;
        double xn = static_cast<double>(xc - f / fp);
        if (!(xn > lo && xn < hi)) xn = std::sqrt(lo) * std::sqrt(hi);
        const bool done = std::fabs((xc - xn) / xc) <= tol || hi - lo <= tol * lo;
        xc = xn;
        if (done) break;
    }
    return xc;
}

// Largest relative difference of the engine's solve and the reference at
// every node of `level` solved by Newton's method alone, from the start
// values start(i).
template <class Start>
double WorstDifference(RunState& st, int level, Start start)
{
    double worst = 0;
    for (int i = 0; i <= st.NX; ++i) {
        const double x0 = start(i);
        const double r = std::fabs(x0) + 1e-36;
        const double ref = ReferenceSolve(st, level, i, x0, r, st.ItNew);
        const ElneutNodeResult res = SolveElneutNode(st, level, i, x0, r, st.ItNew, st.Arr.Newton);
        const double mine = res.x;
        EXPECT_TRUE(std::isfinite(mine) && mine > 0) << i << ": " << mine;
        EXPECT_TRUE(std::isfinite(ref) && ref > 0) << i << ": " << ref;
        const double rel = std::fabs(mine - ref) / ref;
        if (res.passed) {
            worst = std::max(worst, rel);
        } else {
            // After ItNew passes the root is bracketed and the bracket closed
            // down to the tolerance: both results lie within it of the root.
            EXPECT_LE(rel, 3 * std::max(st.EpsNew, 1e-15)) << i;
        }
    }
    return worst;
}

}  // namespace

TEST(NodeSolvePrecision, EveryNodeOfEveryBenchmarkCaseAgreesWithExtendedSums)
{
    for (const benchcases::Case& c : benchcases::ReferenceCases()) {
        SCOPED_TRACE(c.id);
        RunState st;
        ASSERT_TRUE(benchcases::InitCase(st, c));
        // The state after Init, and after a few steps (zones moved); starts
        // at the solution and a factor of 3 and of 30 off it.
        for (double t : {0.0, 2e-3}) {
            if (t > 0) benchcases::RunTimed(st, t, c.id);
            const double* cH = st.Arr.CH(2);
            for (double f : {1.0, 3.0, 1.0 / 30})
                EXPECT_LE(WorstDifference(st, 2, [&](int i) { return f * cH[i]; }), 1e-12)
                    << t << " " << f;
        }
    }
}

TEST(NodeSolvePrecision, ChargesFromMinus30ToPlus30AcrossPH0To14)
{
    std::vector<double> pK(61), u(61);
    for (int z = -30; z <= 30; ++z) {
        pK[z + 30] = z < 0 ? 4.0 : 10.0;
        u[z + 30] = 5.0 * std::abs(z);
    }
    RunState st;
    SetUpUniformGrid(st,
                     {MakeConstituent("protein", -30, 30, pK, u, 0.1),
                      MakeStrongAnion("chloride", 79.1, 0), MakeStrongCation("sodium", 51.9, 0)},
                     28);
    // Node n aims at pH n/2: strong acid below 7, strong base above.
    for (int n = 0; n <= 28; ++n) {
        const double pH = 0.5 * n;
        st.Arr.C(2, 2)[n] = pH < 7 ? std::pow(10.0, 3 - pH) : 0.0;
        st.Arr.C(2, 3)[n] = pH > 7 ? std::pow(10.0, pH - 11) : 0.0;
    }
    Elneut(st, 2, -1, -1, true);
    EXPECT_FALSE(st.Stop);
    for (int n = 0; n <= 28; ++n) {
        EXPECT_TRUE(std::isfinite(st.Arr.PH[n])) << n;
        for (int k = 0; k < 61; ++k) {
            EXPECT_TRUE(std::isfinite(st.Arr.CForm(2, 1, k)[n])) << n << " " << k;
        }
        if (n > 0) {
            EXPECT_GT(st.Arr.PH[n], st.Arr.PH[n - 1]) << n;
        }
    }
    EXPECT_NEAR(st.Arr.PH[0], 0.0, 0.01);
    EXPECT_GT(st.Arr.PH[28], 13.5);
    const double* cH = st.Arr.CH(2);
    EXPECT_LE(WorstDifference(st, 2, [&](int i) { return cH[i]; }), 1e-12);
    EXPECT_LE(WorstDifference(st, 2, [&](int i) { return 10 * cH[i]; }), 1e-12);
    EXPECT_LE(WorstDifference(st, 2, [&](int i) { return 1e-3 * cH[i]; }), 1e-12);
    EXPECT_LE(WorstDifference(st, 2, [](int) { return 1e-12; }), 1e-12);
}
