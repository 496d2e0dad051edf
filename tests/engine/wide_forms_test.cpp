// A constituent of charges -30..+30: the node solve takes only the forms whose
// terms reach 2^-72 of the largest and sets the others to 0. Its speciation
// must agree with the sums over every form in extended precision across the
// pH scale, and a whole run must agree node by node with the run that takes
// every form.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/wide_forms.h"
#include "engine/state/run_state.h"
#include "support/bench_cases.h"

namespace {

// Largest |x - y| / max(|x|, |y|, 1e-6 of the largest |value| of its row)
// over profiles of `nn` nodes side by side: values below a millionth of a
// profile's peak (the rounding noise around 0 before a zone, a few of them
// negative) are held to 1e-18 of the peak instead of to themselves.
double MaxRelativeGap(const std::vector<double>& x, const std::vector<double>& y, int nn)
{
    double worst = 0;
    for (std::size_t r = 0; r + nn <= x.size(); r += nn) {
        double peak = 0;
        for (int i = 0; i < nn; ++i)
            peak = std::max({peak, std::fabs(x[r + i]), std::fabs(y[r + i])});
        for (int i = 0; i < nn; ++i) {
            const double m = std::max({std::fabs(x[r + i]), std::fabs(y[r + i]), 1e-6 * peak});
            if (m > 0) worst = std::max(worst, std::fabs(x[r + i] - y[r + i]) / m);
        }
    }
    return worst;
}

}  // namespace

TEST(WideForms, SpeciationAcrossPHAgreesWithTheSumsOverEveryForm)
{
    RunState st;
    ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B5"), 199));
    EngineArrays& a = st.Arr;
    const int hc = a.NComp;
    ASSERT_EQ(a.Forms(hc), 61);
    ASSERT_TRUE(a.Wide.ready);
    st.LeftWall = 0;
    st.RightWall = st.NX;
    int windowed = 0;
    // Once at pH 4.8 on every node (a few forms of charge near +30 matter),
    // then pH -1 .. 15 along the grid (cH in mM); 0.01 mM of the constituent.
    for (const bool across : {false, true}) {
        for (int n = 0; n < a.Nn; ++n) {
            a.CH(2)[n] = std::pow(10.0, 3 - (across ? -1.0 + 16.0 * n / (a.Nn - 1) : 4.8));
            a.C(2, hc)[n] = 0.01;
            for (int k = 0; k < 61; ++k)
                a.CForm(2, hc, k)[n] = 1.0;  // stale values: must be replaced
        }
        CalcSpeciation(st, 2, -1);
        ASSERT_FALSE(st.NumericalFailure);
        for (int n = 0; n < a.Nn; ++n) {
            const long double x = a.CH(2)[n];
            // Every term in extended precision, relative to the largest.
            std::vector<long double> lt(61);
            long double top = -1e4000L;
            for (int k = 0; k < 61; ++k) {
                lt[k] =
                    std::log(static_cast<long double>(a.LForm(hc, k)[n])) + (k - 30) * std::log(x);
                top = std::max(top, lt[k]);
            }
            long double sum = 0, zsum = 0, usum = 0;
            for (int k = 0; k < 61; ++k) {
                const long double w = std::exp(lt[k] - top);
                sum += w;
                zsum += (k - 30) * w;
                usum += (k == 30 ? 0 : (k > 30 ? 1 : -1)) * a.UForm(hc, k)[n] * w;
            }
            int zeros = 0;
            for (int k = 0; k < 61; ++k) {
                const double expect = static_cast<double>(0.01L * std::exp(lt[k] - top) / sum);
                const double got = a.CForm(2, hc, k)[n];
                if (got == 0) ++zeros;
                // Each form within 1e-13 of the constituent's concentration, and
                // the forms that matter within 1e-12 of their own value.
                EXPECT_NEAR(got, expect, 1e-15) << "node " << n << " form " << k;
                if (expect > 1e-6) {
                    EXPECT_NEAR(got / expect, 1.0, 1e-12) << "node " << n << " form " << k;
                }
            }
            if (zeros > 30) ++windowed;
            EXPECT_NEAR(a.ZMean[hc][n], static_cast<double>(zsum / sum), 1e-12) << n;
            EXPECT_NEAR(a.UEff[hc][n] / static_cast<double>(usum / sum), 1.0, 1e-12) << n;
        }
    }
    // Away from the pH of the middle forms most forms are left out.
    EXPECT_GT(windowed, a.Nn + a.Nn / 2);
}

TEST(WideForms, RunAgreesNodeByNodeWithTheRunOverEveryForm)
{
    // The benchmark case with a constituent of charges -30..+30 (300 nodes,
    // 0.2 s: the zone has moved and spread), once by the windows and once
    // with every form (the tables switched off after Init).
    auto run = [](bool windows) {
        RunState st;
        EXPECT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B5"), 300));
        EXPECT_TRUE(st.Arr.Wide.ready);
        if (!windows) st.Arr.Wide.ready = false;
        benchcases::RunTimed(st, 0.2, "B5");
        EXPECT_FALSE(st.NumericalFailure);
        std::vector<double> image;
        for (int j = 1; j <= st.Arr.NComp; ++j)
            image.insert(image.end(), st.Arr.C(2, j), st.Arr.C(2, j) + st.Arr.Nn);
        image.insert(image.end(), st.Arr.CH(2), st.Arr.CH(2) + st.Arr.Nn);
        image.insert(image.end(), st.Arr.Kappa.begin(), st.Arr.Kappa.end());
        EXPECT_EQ(st.Arr.Nn, 301);
        image.push_back(st.StepCount);
        image.push_back(st.DT);
        return image;
    };
    const std::vector<double> every = run(false), windowed = run(true);
    ASSERT_EQ(every.size(), windowed.size());
    EXPECT_EQ(every[every.size() - 2], windowed[windowed.size() - 2]);  // steps
    EXPECT_EQ(every.back(), windowed.back());                           // time step
    const int nn = 301;
    const double gap = MaxRelativeGap(every, windowed, nn);
    EXPECT_LE(gap, 1e-12);
    RecordProperty("max_relative_gap", std::to_string(gap));
    std::printf("largest relative gap at any node: %.3g\n", gap);
}
