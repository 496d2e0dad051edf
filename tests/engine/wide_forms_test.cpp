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
#include "engine/step/node_threads.h"
#include "engine/step/standard_scheme.h"
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

// Nodes of every level at which a form of a wide constituent outside the
// record of its storage slot is not 0 (the record is wrong there); `narrow`:
// nodes of level 2 whose record leaves out a form.
int NodesAgainstTheRecord(const EngineArrays& a, int& narrow)
{
    int wrong = 0;
    narrow = 0;
    for (int level = 1; level <= 5; ++level)
        for (int j = 1; j <= a.NComp; ++j) {
            if (a.Forms(j) < kWideForms) continue;
            const std::int16_t* r = a.Wide.RowsOf(a.lvC[level], j);
            for (int n = 0; n < a.Nn; ++n) {
                bool ok = r[2 * n] >= 0 && r[2 * n + 1] < a.Forms(j);
                for (int k = 0; k < a.Forms(j); ++k)
                    if ((k < r[2 * n] || k > r[2 * n + 1]) && a.CForm(level, j, k)[n] != 0.0)
                        ok = false;
                wrong += !ok;
                if (level == 2 && (r[2 * n] > 0 || r[2 * n + 1] < a.Forms(j) - 1)) ++narrow;
            }
        }
    return wrong;
}

// Levels at which the derivative's rows in use differ from a look at every
// row of the window (in use: some value other than 0).
int LevelsWithOtherRowsInUse(const RunState& st)
{
    const EngineArrays& a = st.Arr;
    int wrong = 0;
    std::vector<char> rows;
    for (int level = 1; level <= 5; ++level) {
        const char* inUse = FormRowsInUse(st, level, rows);
        if (!inUse) {
            ++wrong;
            continue;
        }
        bool same = true;
        for (int j = 1; j <= a.NComp; ++j)
            for (int k = 0; k < a.Forms(j); ++k) {
                bool any = a.Forms(j) < kWideForms;  // the other constituents: every row
                for (int n = st.LeftWall; n <= st.RightWall; ++n)
                    any = any || a.CForm(level, j, k)[n] != 0.0;
                same = same && (inUse[a.FormOffset[j] + k] != 0) == any;
            }
        wrong += !same;
    }
    return wrong;
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
        // A writer outside the engine's routines drops the record of the rows
        // known to be 0, as the engine's own writers keep it.
        ForgetWideRows(a, 2, 0, a.Nn - 1);
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

TEST(WideForms, RecordOfTheRowsThatAre0HoldsOnEveryLevelThroughARun)
{
    // The speciation clears and the derivative skips the forms that the
    // record of each level knows to be 0: after Init and after every stretch of
    // a run, on one thread and on three, every form outside the record is 0 at
    // every node of every level, and the record is narrow at most nodes.
    const int saved = EngineThreads();
    std::vector<double> first;
    for (int threads : {1, 3}) {
        SetEngineThreads(threads);
        RunState st;
        ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B5"), 300));
        ASSERT_TRUE(st.Arr.Wide.ready);
        int narrow = 0;
        EXPECT_EQ(NodesAgainstTheRecord(st.Arr, narrow), 0) << "after Init, threads " << threads;
        for (int stretch = 1; stretch <= 4; ++stretch) {
            benchcases::RunTimed(st, 0.05 * stretch, "B5");
            ASSERT_FALSE(st.NumericalFailure);
            EXPECT_EQ(NodesAgainstTheRecord(st.Arr, narrow), 0)
                << "stretch " << stretch << ", threads " << threads;
            EXPECT_GT(narrow, st.Arr.Nn / 2) << "stretch " << stretch << ", threads " << threads;
            EXPECT_EQ(LevelsWithOtherRowsInUse(st), 0)
                << "stretch " << stretch << ", threads " << threads;
        }
        // A stale value in a row the record leaves out, written by a writer
        // that forgets the record: the next speciation replaces it.
        EngineArrays& a = st.Arr;
        const int hc = a.NComp;
        const int n = a.Nn / 2;
        const std::int16_t* r = a.Wide.RowsOf(a.lvC[2], hc);
        ASSERT_GT(r[2 * n], 0);
        a.CForm(2, hc, 0)[n] = 1.0;
        ForgetWideRows(a, 2, n, n);
        st.LeftWall = 0;
        st.RightWall = st.NX;
        CalcSpeciation(st, 2, -1);
        EXPECT_EQ(a.CForm(2, hc, 0)[n], 0.0);
        EXPECT_EQ(NodesAgainstTheRecord(a, narrow), 0) << "threads " << threads;
        // A stale value at level 2 in a row that neither level's record
        // takes (the form of charge -30), its record dropped: the run's copy of level 2 into level
        // 1 carries the record along, so no level keeps the value.
        int m = st.LeftWall + 1;
        while (m < st.RightWall &&
               (a.Wide.RowsOf(a.lvC[1], hc)[2 * m] == 0 || a.Wide.RowsOf(a.lvC[2], hc)[2 * m] == 0))
            ++m;
        ASSERT_LT(m, st.RightWall);
        a.CForm(2, hc, 0)[m] = 1e-30;
        ForgetWideRows(a, 2, m, m);
        benchcases::RunTimed(st, st.Time + 3 * st.DT, "B5");
        EXPECT_EQ(NodesAgainstTheRecord(a, narrow), 0) << "copy, threads " << threads;
        std::vector<double> image(a.C(2, hc), a.C(2, hc) + a.Nn);
        if (first.empty())
            first = image;
        else
            EXPECT_EQ(first, image);  // the same bits on three threads
    }
    SetEngineThreads(saved);
}

TEST(WideForms, SpeciationWithoutTheTablesKeepsTheRecord)
{
    // Nodes whose cH the tables do not reach are speciated over every form:
    // at pH 13 the forms of charge near -30 prevail, which the record of the
    // buffer (forms of charge near +30) leaves out. Over the window (one node beyond the tables
    // takes the group of nodes side by side off the windows) and node by node,
    // every form outside the record stays 0.
    RunState st;
    ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B5"), 199));
    EngineArrays& a = st.Arr;
    const int hc = a.NComp;
    st.LeftWall = 0;
    st.RightWall = st.NX;
    int narrow = 0;
    ASSERT_EQ(NodesAgainstTheRecord(a, narrow), 0);
    ASSERT_GT(narrow, a.Nn / 2);
    for (int n = 0; n < a.Nn; ++n) {
        a.CH(2)[n] = 1e-10;  // pH 13
        a.C(2, hc)[n] = 0.01;
    }
    a.CH(2)[7] = 0x1p-140;  // beyond the tables
    CalcSpeciation(st, 2, -1);
    ASSERT_FALSE(st.NumericalFailure);
    EXPECT_GT(a.CForm(2, hc, 0)[100], 0.0);
    EXPECT_GT(a.CForm(2, hc, 0)[7], 0.0);
    EXPECT_EQ(NodesAgainstTheRecord(a, narrow), 0);
    // Every node in the tables again; a stale value in the row of charge +30
    // whose record is dropped is replaced.
    a.CH(2)[7] = 1e-10;
    a.CForm(2, hc, 60)[100] = 1.0;
    ForgetWideRows(a, 2, 100, 100);
    CalcSpeciation(st, 2, -1);
    EXPECT_EQ(a.CForm(2, hc, 60)[100], 0.0);
    EXPECT_LT(a.Wide.RowsOf(a.lvC[2], hc)[2 * 100 + 1], 60);
    EXPECT_EQ(NodesAgainstTheRecord(a, narrow), 0);
    // Node by node, from the record of the buffer again.
    ASSERT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B5"), 199));
    for (int n = 0; n < a.Nn; ++n) {
        a.CH(2)[n] = n % 2 ? 0x1p-140 : 1e-10;
        a.C(2, hc)[n] = 0.01;
        CalcSpeciation(st, 2, n);
        EXPECT_GT(a.CForm(2, hc, 0)[n], 0.0) << n;
    }
    EXPECT_EQ(NodesAgainstTheRecord(a, narrow), 0);
}
