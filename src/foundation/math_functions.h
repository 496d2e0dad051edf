// Special functions: the logarithm of the gamma function, the regularised
// incomplete gamma function and the error function built on it. The error
// function is accurate to about 3e-7 relative (Gaussian profile edges need no
// more) and is exactly +-1 for |x| >= 6.
#pragma once

// ln Gamma(x) for x > 0 (Lanczos series with six coefficients).
double LnGamma(double x);

// P(a, x); -1.0 for x < 0, a <= 0 or a NaN argument.
double GammaP(double a, double x);

// P(a, x) by its series (into gamser) and ln Gamma(a) (into gln).
void GammaSeries(double& gamser, double a, double x, double& gln);

// Q(a, x) = 1 - P(a, x) by its continued fraction (into gammcf) and ln Gamma(a).
void GammaContFrac(double& gammcf, double a, double x, double& gln);

// The error function: NaN for NaN, +-1 beyond the range where x*x overflows.
double Erf(double x);
