#include "foundation/math_functions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

TEST(SpecFun, ErfAgreesWithTheLibraryAndIsSaneAtTheEdges)
{
    double worst = 0;
    for (int i = -80000; i <= 80000; ++i) {
        const double x = i * 1e-4;
        worst = std::max(worst, std::fabs(Erf(x) - std::erf(x)));
        ASSERT_EQ(Erf(-x), -Erf(x)) << x;
    }
    EXPECT_LT(worst, 1e-7);
    for (double x : {6.0, 7.5, 30.0, 1e10, 1e150, 1e200, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(Erf(x), 1.0) << x;
        EXPECT_EQ(Erf(-x), -1.0) << x;
    }
    EXPECT_TRUE(std::isnan(Erf(std::nan(""))));
    EXPECT_NEAR(Erf(1e-300), 0, 2e-300);  // x * x underflows: zero up to 1e-300
}

TEST(SpecFun, IncompleteGammaAndLnGamma)
{
    for (double x : {0.1, 0.5, 1.0, 2.0, 5.0, 20.0})
        EXPECT_NEAR(GammaP(1, x), 1 - std::exp(-x), 3e-7) << x;
    // P(2, x) = 1 - (1 + x) e^-x, on both sides of the series / fraction switch.
    for (double x : {0.3, 2.9, 3.1, 10.0})
        EXPECT_NEAR(GammaP(2, x), 1 - (1 + x) * std::exp(-x), 3e-7) << x;
    const double nan = std::nan("");
    for (auto [a, x] : {std::pair{0.0, 1.0}, {-1.0, 1.0}, {1.0, -0.5}, {nan, 1.0}, {1.0, nan}})
        EXPECT_EQ(GammaP(a, x), -1.0) << a << " " << x;

    double worstRel = 0;
    for (double x = 1e-3; x < 1e6; x *= 1.0007) {
        const double ref = std::lgamma(x);
        const double err = std::fabs(LnGamma(x) - ref);
        // Relative where ln Gamma is away from its zeros at 1 and 2.
        if (std::fabs(ref) > 0.5)
            worstRel = std::max(worstRel, err / std::fabs(ref));
        else
            EXPECT_LT(err, 1e-12) << x;
    }
    EXPECT_LT(worstRel, 1e-12);
}

}  // namespace
