// Arithmetic pieces of the node solve shared by the one-node routines and
// the routines that take several nodes side by side (the same operations,
// hence the same bits).
#pragma once

#include <cfloat>
#include <cmath>

namespace nodesolve {

// Fills pw[off + z] = x^z for z = -zmax..zmax by repeated multiplication and
// tells whether the extreme entries are normal finite numbers.
inline bool PowerTable(double* pw, int off, int zmax, double x)
{
    pw[off] = 1.0;
    for (int z = 1; z <= zmax; ++z) pw[off + z] = pw[off + z - 1] * x;
    const double inv = 1.0 / x;
    for (int z = 1; z <= zmax; ++z) pw[off - z] = pw[off - z + 1] * inv;
    const double hi = pw[off + zmax], lo = pw[off - zmax];
    return hi >= DBL_MIN && hi <= DBL_MAX && lo >= DBL_MIN && lo <= DBL_MAX;
}

// Adds v to the unevaluated sum hi + lo without rounding error (two-sum).
inline void AddExact(double& hi, double& lo, double v)
{
    const double s = hi + v;
    const double bv = s - hi;
    lo += (hi - (s - bv)) + (v - bv);
    hi = s;
}

// Adds c z to hi + lo without rounding error for |z| < 32: c is split into two
// halves of 26 bits, whose products by z are exact.
inline void AddExactProduct(double& hi, double& lo, double c, int z)
{
    if (z == 0) return;
    if (z == 1 || z == -1) {
        AddExact(hi, lo, z * c);
        return;
    }
    const double sp = c * 134217729.0;  // 2^27 + 1
    const double ch = sp - (sp - c);
    if (!std::isfinite(ch)) {
        AddExact(hi, lo, c * z);
        return;
    }
    AddExact(hi, lo, ch * z);
    AddExact(hi, lo, (c - ch) * z);
}

}  // namespace nodesolve
