#include "tools/moments.h"

#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/init_distribution.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace {

constexpr double kPi = 3.14159265358979323846;

// c = A exp(-(x - mu)^2 / 2 sigma^2) at x = i dx.
std::vector<double> Gaussian(int n, double dx, double A, double mu, double sigma)
{
    std::vector<double> y(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double d = i * dx - mu;
        y[static_cast<std::size_t>(i)] = A * std::exp(-d * d / (2 * sigma * sigma));
    }
    return y;
}

std::vector<double> Abscissae(int n, double dx)
{
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<std::size_t>(i)] = i * dx;
    return x;
}

// A run on 1000 intervals of 0.1 m whose first constituent's drawn profile is
// replaced by the test's profile.
struct GaussRun {
    RunState st;
    GaussRun()
    {
        testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 1000);
        st.CapLengthPending = 0.1;
        EXPECT_TRUE(InitCalc(st));
    }
    void SetProfile(const std::vector<double>& y)
    {
        std::copy(y.begin(), y.end(), st.Arr.DrawnProfile[1]);
    }
};

}  // namespace

TEST(Moments, GaussianAndASkewedProfileAgainstClosedForms)
{
    const int n = 1001;
    const double dx = 1e-4, S = kPi * 50e-6 * 50e-6 / 4;
    const std::vector<double> x = Abscissae(n, dx), w(static_cast<std::size_t>(n), S * dx);
    // One Gaussian: a0 = A sigma sqrt(2 pi) S, a1 = mu, a2 = sigma^2, a3 = 0.
    const double A = 2.5, mu = 0.05, sigma = 1e-3;
    const auto a = ComputeMoments(x, Gaussian(n, dx, A, mu, sigma), w, 0, n - 1, 0, 0, 1);
    EXPECT_NEAR(a[0], A * sigma * std::sqrt(2 * kPi) * S, 1e-9 * a[0]);
    EXPECT_NEAR(a[1], mu, 1e-12);
    EXPECT_NEAR(a[2], sigma * sigma, 1e-9 * sigma * sigma);
    EXPECT_LT(std::fabs(a[3]), 1e-20);

    // A skewed four-point case by hand.
    EXPECT_EQ(ComputeMoments({0, 1, 2, 3}, {1, 2, 0, 1}, {1, 1, 1, 1}, 0, 3, 0, 0, 1),
              (std::array<double, 4>{4, 1.25, 1.1875, 0.84375}));
    // A zone of zero net area.
    EXPECT_EQ(ComputeMoments({0, 1, 2}, {1, -2, 1}, {1, 1, 1}, 0, 2, 0, 0, 1),
              (std::array<double, 4>{0, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(ZoneMobility(0.05, 100, 1e4, 0.5), 25.0);
}

TEST(Moments, ToolOnTheRunProfileWithBaselineZeroPointAndRefusals)
{
    GaussRun r;
    RunState& st = r.st;
    st.ZeroPosNode = 0;  // positions from the inlet (Init puts the zero at the injection site)
    const int n = st.NX + 1;
    const double dx = st.DX, S = st.Arr.SVol[0];
    const double A = 1.0, mu = 0.05, sigma = 1e-3, K = 30.0, Q = 0.7;
    std::vector<double> y = Gaussian(n, dx, A, mu, sigma);
    for (int i = 0; i < n; ++i) y[static_cast<std::size_t>(i)] += K * i * dx + Q;
    r.SetProfile(y);

    MomentsTool tool;
    EXPECT_EQ(std::tuple(tool.SeriesName(st), tool.Process(st)),
              std::tuple("No selected constituent", "Invalid number of constituent"));
    EXPECT_EQ(tool.Moments[0], -1);
    EXPECT_FALSE(tool.EditSeriesNo("0", st) || tool.EditSeriesNo(std::to_string(st.NComp + 1), st));
    ASSERT_TRUE(tool.EditSeriesNo("1", st));
    EXPECT_EQ(std::tuple(tool.SeriesName(st), tool.Process(st)),
              std::tuple(st.Series.srComp[1].title, "Invalid Borders"));
    EXPECT_EQ(tool.SetMaxBorders(st), "");
    EXPECT_EQ(tool.RightBorder, n - 1);
    EXPECT_FALSE(tool.EditRightBorder(std::to_string(n), st) ||
                 tool.EditLeftBorder(std::to_string(n - 1), st));

    // The baseline removed, in chart millimetres: the moments of the Gaussian.
    tool.BaselineEnabled = true;
    ASSERT_TRUE(tool.EditBaselineK("30"));
    ASSERT_TRUE(tool.EditBaselineQ("0,7"));
    EXPECT_FALSE(tool.EditBaselineQ("inf"));
    ASSERT_EQ(tool.Process(st), "");
    EXPECT_NEAR(tool.Moments[0], A * sigma * std::sqrt(2 * kPi) * S, 1e-9 * tool.Moments[0]);
    EXPECT_NEAR(tool.Moments[1], mu, 1e-12);
    EXPECT_NEAR(tool.Moments[2], sigma * sigma, 1e-8 * sigma * sigma);
    EXPECT_LT(std::fabs(tool.Moments[3]), 1e-18);
    const auto withMm = tool.Moments;
    // The same in metres, and the centre measured from the zero position.
    st.XScale = 1, st.ZeroPosNode = 100;
    ASSERT_EQ(tool.Process(st), "");
    EXPECT_NEAR(tool.Moments[0], withMm[0], 1e-12 * withMm[0]);
    EXPECT_NEAR(tool.Moments[1], mu - 100 * dx, 1e-12);
    EXPECT_NEAR(tool.Moments[2], withMm[2], 1e-9 * withMm[2]);
    EXPECT_EQ(tool.RowTitles()[1], "a1 (CG) [m]");

    // Mobility: a1 / t / U x L (with the zero position at the injection site,
    // where the zone started).
    st.ZeroPosNode = InjectionSiteNode(st, false);
    st.Time = 100, st.U = 1e4, tool.Moments[1] = 0.05;
    EXPECT_EQ(tool.MobilityText(st), "5");  // 0.05 m / 100 s / 10 kV x 0.1 m
    st.U = 0;
    EXPECT_EQ(tool.MobilityText(st), "N/A");

    // Borders outside the series; digits; <Insert>.
    tool.RightBorder = n;
    EXPECT_EQ(tool.Process(st), "Invalid Borders.");
    EXPECT_EQ(std::tuple(tool.Moments[0], tool.Moments[1]), std::tuple(-1.0, 0.05));
    EXPECT_TRUE(!tool.EditDigits("19") && !tool.EditDigits("0") && tool.EditDigits("18"));
    EXPECT_EQ(std::tuple(tool.InsertClickedPoint(MomentsTool::Field::LeftBorder, 120, st),
                         tool.LeftBorder),
              std::tuple("", 120));
    EXPECT_EQ(tool.InsertClickedPoint(MomentsTool::Field::RightBorder, n, st),
              "<INS> Error: Stored Incorrect Position of Point (Check Scale).");
    EXPECT_EQ(tool.InsertClickedPoint(MomentsTool::Field::BaselineQ, -1, st),
              "No Baseline Position Stored (Check Scale).");
    tool.EditDigits("3");
    EXPECT_EQ(tool.InsertClickedPoint(MomentsTool::Field::BaselineQ, 0, st), "");
    EXPECT_DOUBLE_EQ(tool.BaselineQ, 0.7);
    tool.Moments = {1.23456789, std::nan(""), 0, 0};
    EXPECT_EQ(std::tuple(tool.MomentText(0), tool.MomentText(1)), std::tuple("1.23", "NAN"));
    MomentsTool none;
    EXPECT_EQ(std::tuple(none.InsertClickedPoint(MomentsTool::Field::BaselineQ, 0, st),
                         none.SetMaxBorders(st)),
              std::tuple("Choose Profile or Constituent.", "Set Profile First."));
}

TEST(Moments, DetectorScaleIsIndependentOfTheAxisUnitAndWeighsBeyondTheGrid)
{
    GaussRun r;
    RunState& st = r.st;
    // A detector trace longer than the grid: times in minutes.
    const int n = 2 * (st.NX + 1);
    ChartSeries& d = st.Series.srDetComp[2];
    d.Clear();
    const std::vector<double> y = Gaussian(n, 0.01, 3.0, 10.0, 0.5);
    for (int i = 0; i < n; ++i) d.Add(i * 0.01, y[static_cast<std::size_t>(i)]);
    MomentsTool tool;
    tool.DetectorScale = true;
    ASSERT_TRUE(tool.EditSeriesNo("2", st));
    ASSERT_EQ(tool.SetMaxBorders(st), "");
    ASSERT_EQ(tool.Process(st), "");
    const auto mm = tool.Moments;
    st.XScale = 1;
    ASSERT_EQ(tool.Process(st), "");
    EXPECT_EQ(tool.Moments, mm);
    EXPECT_NEAR(mm[1], 10.0, 1e-9);
    EXPECT_NEAR(mm[2], 0.25, 1e-9);
    // The area under the trace: mM integrated over minutes.
    EXPECT_NEAR(mm[0], 3.0 * 0.5 * std::sqrt(2 * kPi), 1e-9 * mm[0]);
    EXPECT_EQ(std::tuple(tool.RowTitles()[0], tool.MobilityText(st)),
              std::tuple("M0 (area) [mM*min]", "N/A"));

    // No run: no sections to weigh with.
    RunState empty;
    EXPECT_EQ(tool.Process(empty), "Invalid number of constituent");
}
