#include "foundation/math_functions.h"

#include <cmath>

namespace {

constexpr int kMaxIterations = 100;
constexpr double kEps = 3e-7;
constexpr double kFpMin = 1e-30;

}  // namespace

double LnGamma(double x)
{
    static const double c[6] = {76.18009172947146,  -86.50532032941678,   24.01409824083091,
                                -1.231739572450155, 0.001208650973866179, -5.395239384953e-06};
    double y = x;
    double tmp = x + 5.5;
    tmp -= (x + 0.5) * std::log(tmp);
    double ser = 1.000000000190015;
    for (double cj : c) ser += cj / ++y;
    return -tmp + std::log(2.5066282746310007 * ser / x);
}

void GammaSeries(double& gamser, double a, double x, double& gln)
{
    gln = LnGamma(a);
    if (x == 0) {
        gamser = 0;
        return;
    }
    double ap = a;
    double del = 1.0 / a;
    double sum = del;
    for (int n = 1; n <= kMaxIterations; ++n) {
        ap += 1;
        del *= x / ap;
        sum += del;
        if (std::fabs(del) < std::fabs(sum) * kEps) break;
    }
    // Without convergence the last partial sum is scaled the same way.
    gamser = sum * std::exp(-x + a * std::log(x) - gln);
}

void GammaContFrac(double& gammcf, double a, double x, double& gln)
{
    gln = LnGamma(a);
    double b = x + 1 - a;
    double c = 1 / kFpMin;
    double d = 1 / b;
    double h = d;
    for (int i = 1; i <= kMaxIterations; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::fabs(d) < kFpMin) d = kFpMin;
        c = b + an / c;
        if (std::fabs(c) < kFpMin) c = kFpMin;
        d = 1 / d;
        const double del = d * c;
        h *= del;
        if (std::fabs(del - 1) < kEps) break;
    }
    gammcf = std::exp(-x + a * std::log(x) - gln) * h;
}

double GammaP(double a, double x)
{
    if (!(x >= 0) || !(a > 0)) return -1.0;
    double gln = 0;
    if (x < a + 1) {
        double gamser = 0;
        GammaSeries(gamser, a, x, gln);
        return gamser;
    }
    double gammcf = 0;
    GammaContFrac(gammcf, a, x, gln);
    return 1 - gammcf;
}

double Erf(double x)
{
    if (std::isnan(x)) return x;
    const double x2 = x * x;
    if (std::isinf(x2)) return x < 0 ? -1.0 : 1.0;
    const double p = GammaP(0.5, x2);
    return x >= 0 ? p : -p;
}
