#include "engine/equilibrium/equilibrium.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/equilibrium/equilibrium_terms.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

namespace {

using nodesolve::AddExactProduct;
using nodesolve::PowerTable;

// The node solve works in double. Integer powers of x come from a table built
// by repeated multiplication; the terms L x^z of a constituent are used as
// they are while the table and their sum are finite and normal, and are
// otherwise scaled by powers of two (x = m 2^e taken apart) so that the
// largest is about 1: charges up to 30 at any cH then stay finite.

// The terms of ScaledTerms with x split into its mantissa and binary exponent:
// t[k] = L[k] x^z 2^-scale exactly, the largest term in [1, 2).
int ScaledTermsApart(const double* L, std::ptrdiff_t stride, int zmin, int nf, double x, double* t,
                     double& S0)
{
    int ex = 0;
    const double mx = std::frexp(x, &ex);
    double p = 1.0;  // mx^zmin
    if (zmin < 0) {
        const double inv = 1.0 / mx;
        for (int z = 0; z > zmin; --z) p *= inv;
    } else {
        for (int z = 0; z < zmin; ++z) p *= mx;
    }
    int top = INT_MIN;
    for (int k = 0; k < nf; ++k, p *= mx) {
        const double u = L[k * stride] * p;
        t[k] = u;
        if (u != 0 && std::isfinite(u)) top = std::max(top, std::ilogb(u) + ex * (zmin + k));
    }
    S0 = 0;
    if (top == INT_MIN) {  // no finite nonzero term: the sum tells
        for (int k = 0; k < nf; ++k) S0 += t[k];
        return 0;
    }
    for (int k = 0; k < nf; ++k) {
        t[k] = std::ldexp(t[k], ex * (zmin + k) - top);
        S0 += t[k];
    }
    return top;
}

// Terms t[k] = L[k] x^(zmin + k) of one constituent (L[k] at L + k * stride),
// scaled by 2^-scale, and their sum S0; returns scale (0: the plain products).
// pz[z] = x^z from PowerTable, `normal` its answer.
inline int ScaledTerms(const double* L, std::ptrdiff_t stride, int zmin, int nf, const double* pz,
                       bool normal, double x, double* t, double& S0)
{
    double s = 0;
    for (int k = 0; k < nf; ++k) {
        const double v = L[k * stride] * pz[zmin + k];
        t[k] = v;
        s += v;
    }
    S0 = s;
    if (normal && s <= DBL_MAX) return 0;
    return ScaledTermsApart(L, stride, zmin, nf, x, t, S0);
}

inline bool ValidCH(double cH)
{
    return cH > 0.0 && std::isfinite(cH);
}

// Last node index the arrays hold.
inline int LastNode(const RunState& st)
{
    const int n = st.Arr.Nn - 1;
    return st.NX < n ? st.NX : n;
}

}  // namespace

double ActiveKw(const RunState& st)
{
    return st.ISCorrection ? st.KwIS : st.Kw;
}

void WarnOncePerRun(RunState& st, const std::string& key, const std::string& message)
{
    if (st.WarnedThisRun.insert(key).second) ShowWarning(message);
}

std::string GeneralFloatText(double v)
{
    return FloatToStr(v);
}

// ---------------------------------------------------------------------------
// Per-node constants
// ---------------------------------------------------------------------------

void SetSkipComp(RunState& st)
{
    EngineArrays& a = st.Arr;
    for (int i = 1; i <= a.NComp; ++i) {
        if (a.ZMin[i] == a.ZMax[i]) {
            a.SkipComp[i] = 0;
            continue;
        }
        a.SkipComp[i] = 1;
        const int k0 = -a.ZMin[i];
        bool mobile = false;
        for (int k = 0; k < a.Forms(i) && !mobile; ++k) {
            if (k == k0) continue;
            const double* u = a.UForm(i, k);
            for (int n = 0; n < a.Nn; ++n)
                if (u[n] > kImmobileMobility) {
                    mobile = true;
                    break;
                }
        }
        if (mobile) a.SkipComp[i] = 0;
    }
    a.SkipComp[a.NComp + 1] = 0;
}

void SetDefaultCrossSections(RunState& st)
{
    EngineArrays& a = st.Arr;
    if (!st.cbS || !st.sbData_Visible) {
        const double s = kPi * 0.25 * st.CapDiameter * st.CapDiameter;
        for (int n = 0; n < a.Nn; ++n) a.S[n] = s;
    }
    if (!st.cbSvol || !st.sbData_Visible)
        for (int n = 0; n < a.Nn; ++n) a.SVol[n] = a.S[n];
    bool uniform = true;
    for (int n = 0; n < a.Nn && uniform; ++n)
        if (a.S[n] != a.S[0] || a.SVol[n] != a.SVol[0]) uniform = false;
    st.EOFAsVelocity = uniform;
    st.UniformSection = uniform;
}

void BuildLFormOf(EngineArrays& a, int i, int n)
{
    const int k0 = -a.ZMin[i];
    // New constants: the windows of the forms that matter no longer hold.
    if (a.Forms(i) >= kWideForms && a.Wide.ready) a.Wide.ready = false;
    for (int k = 0; k < a.Forms(i); ++k) {
        if (k == k0) {
            a.LForm(i, k)[n] = 1.0;
        } else if (k < k0) {
            long double p = 1.0L;
            for (int m = k; m <= k0 - 1; ++m) p *= a.KForm(i, m)[n];
            a.LForm(i, k)[n] = static_cast<double>(p);
        } else {
            long double p = 1.0L;
            for (int m = k0 + 1; m <= k; ++m) p *= a.KForm(i, m)[n];
            if (p == 0.0L) ThrowErrorCode(-3, "Elneut");
            a.LForm(i, k)[n] = static_cast<double>(1.0L / p);
        }
    }
}

void BuildLForm(RunState& st, int n)
{
    EngineArrays& a = st.Arr;
    for (int i = 1; i <= a.NComp; ++i) BuildLFormOf(a, i, n);
}

void SetNodeConstants(RunState& st)
{
    EngineArrays& a = st.Arr;
    const int h = a.NComp + 1, oh = a.NComp + 2;
    const int nn = a.Nn;
    // H+ and OH-.
    const double pKH = 2 * 3 - std::log10(st.Kw);
    for (int n = 0; n < nn; ++n) {
        a.PKaForm(h, 1)[n] = pKH;
        a.UForm(h, 1)[n] = kMobilityH;
        a.UForm(oh, 0)[n] = kMobilityOH;
    }
    // Limiting mobilities.
    for (int i = 1; i <= oh; ++i)
        for (int k = 0; k < a.Forms(i); ++k) {
            if (k == -a.ZMin[i]) continue;
            const double* u = a.UForm(i, k);
            double* ul = a.UFormLim(i, k);
            for (int n = 0; n < nn; ++n) ul[n] = u[n];
        }
    // Dissociation constants and their limiting copies.
    for (int i = 1; i <= a.NComp; ++i)
        for (int k = 0; k < a.Forms(i); ++k) {
            if (k == -a.ZMin[i]) continue;
            const double* pk = a.PKaForm(i, k);
            double* K = a.KForm(i, k);
            for (int n = 0; n < nn; ++n) K[n] = std::pow(10.0, 3.0 - pk[n]);
        }
    for (int n = 0; n < nn; ++n) a.KForm(h, 1)[n] = 1e-3 * 1e-8;
    for (int i = 1; i <= h; ++i)
        for (int k = 0; k < a.Forms(i); ++k) {
            if (k == -a.ZMin[i]) continue;
            const double* K = a.KForm(i, k);
            double* KL = a.KFormLim(i, k);
            for (int n = 0; n < nn; ++n) KL[n] = K[n];
        }
    // Cumulative constants.
    for (int n = 0; n < nn; ++n) BuildLForm(st, n);
    // The ionic-strength correction changes the constants at every pass.
    if (!st.ISCorrection) BuildWideForms(a);
    // Diffusion coefficients.
    const double f = st.RedDiff ? st.DiffMultiplier : 1.0;
    const double T = st.Temperature;
    const double R = kGasConstant, F = kFaraday;
    for (int i = 1; i <= oh; ++i) {
        const int k0 = -a.ZMin[i];
        for (int k = 0; k < a.Forms(i); ++k) {
            const int z = a.ZMin[i] + k;
            double* D = a.DForm(i, k);
            if (i > a.NComp) {
                if (z == 0) continue;
                const double* u = a.UForm(i, k);
                for (int n = 0; n < nn; ++n) D[n] = u[n] * R * T / (std::abs(z) * F) * f;
            } else if (a.ZMin[i] == 0 && a.ZMax[i] == 0) {
                for (int n = 0; n < nn; ++n) {
                    a.DBase[i] = kNeutralOnlyMobility * R * T / F;
                    D[n] = a.DBase[i] * f;
                }
            } else if (k == k0) {
                const double* us = a.ZMax[i] == 0 ? a.UForm(i, k0 - 1) : a.UForm(i, k0 + 1);
                for (int n = 0; n < nn; ++n) {
                    a.DBase[i] = us[n] * R * T / F;
                    D[n] = a.DBase[i] * f;
                }
            } else {
                const double* u = a.UForm(i, k);
                for (int n = 0; n < nn; ++n) D[n] = u[n] * R * T / (std::abs(z) * F) * f;
            }
        }
    }
    a.ConstantsRewritten();
}

// ---------------------------------------------------------------------------
// Speciation
// ---------------------------------------------------------------------------

void SpeciateWideTerms(EngineArrays& a, int level, int j, int n, const double* t, int klo, int khi,
                       double s0, int wlo, int whi, double& add)
{
    const std::ptrdiff_t nn = a.Nn;
    const int zmin = a.ZMin[j];
    const double* U = a.UForm(j, 0) + n;
    double zm = 0, ue = 0, m2 = 0;
    for (int k = klo; k <= khi; ++k) {
        const int z = zmin + k;
        const double p = t[k - klo];
        const double zp = z * p;
        zm += zp;
        m2 += z * zp;
        const double u = U[k * nn] * p;
        ue += z > 0 ? u : (z < 0 ? -u : 0.0);
    }
    const double inv = 1.0 / s0;
    a.ZMean[j][n] = zm * inv;
    a.UEff[j][n] = ue * inv;
    const double cj = a.C(level, j)[n];
    const double q = cj * inv;
    double* CF = a.CForm(level, j, 0) + n;
    for (int k = wlo; k < klo; ++k) CF[k * nn] = 0.0;
    for (int k = klo; k <= khi; ++k) CF[k * nn] = q * t[k - klo];
    for (int k = khi + 1; k <= whi; ++k) CF[k * nn] = 0.0;
    add = m2 * inv * cj;
}

bool SpeciateWide(EngineArrays& a, int level, int j, int n, double x, double* t, int wlo, int whi,
                  double& add)
{
    int klo, khi;
    double s0;
    if (!WideTerms(a, j, n, x, t, klo, khi, s0)) return false;
    SpeciateWideTerms(a, level, j, n, t, klo, khi, s0, wlo, whi, add);
    if (wlo == 0 && whi == a.Forms(j) - 1) KeepWideRows(a.Wide, a.lvC[level], j, n, klo, khi);
    return true;
}

bool SpeciateNode(RunState& st, int level, int n, NewtonScratch& s)
{
    EngineArrays& a = st.Arr;
    const double cH = a.CH(level)[n];
    if (!ValidCH(cH)) return false;
    const double Kw = ActiveKw(st);
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    double* pw = s.Pow.data();
    double* P = s.P.data();
    const double cOH = Kw / cH;
    if (!st.ISCorrection) a.PH[n] = NodePH(a, n, cH);
    double is = cH + cOH;
    a.COH(level)[n] = cOH;
    const int tableZ = a.SolveAbsZ();
    const bool normal = PowerTable(pw, off, tableZ, cH);
    bool normalAll = normal, full = tableZ == maxZ;  // the table of every charge (made when needed)
    const double* pz = pw + off;
    // The rows of constituents 1..NComp (and of their forms) follow each
    // other Nn values apart.
    const std::ptrdiff_t nn = a.Nn;
    const double* L = a.LForm(1, 0) + n;
    const double* U = a.UForm(1, 0) + n;
    double* CF = a.CForm(level, 1, 0) + n;
    const double* crow = a.C(level, 1) + n;
    double* zmRow = a.ZMean[1] + n;
    double* ueRow = a.UEff[1] + n;
    for (int j = 1; j <= a.NComp; ++j, crow += nn, zmRow += nn, ueRow += nn) {
        const int zmin = a.ZMin[j];
        const int nf = a.ZMax[j] - zmin + 1;
        if (nf >= kWideForms && a.Wide.ready) {
            double add;
            if (SpeciateWide(a, level, j, n, cH, P, 0, nf - 1, add)) {
                is += add;
                L += nf * nn;
                U += nf * nn;
                CF += nf * nn;
                continue;
            }
            if (!full) {
                normalAll = PowerTable(pw, off, maxZ, cH);
                full = true;
            }
        }
        if (nf >= kWideForms) KeepWideRows(a.Wide, a.lvC[level], j, n, 0, nf - 1);
        double s0;
        // The ratios below do not depend on the scale.
        ScaledTerms(L, nn, zmin, nf, pz, nf >= kWideForms ? normalAll : normal, cH, P, s0);
        double zm = 0, ue = 0, m2 = 0;
        for (int k = 0; k < nf; ++k) {
            const int z = zmin + k;
            const double p = P[k];
            const double zp = z * p;
            zm += zp;
            m2 += z * zp;
            const double u = U[k * nn] * p;
            ue += z > 0 ? u : (z < 0 ? -u : 0.0);
        }
        const double inv = 1.0 / s0;
        *zmRow = zm * inv;
        *ueRow = ue * inv;
        const double cj = *crow;
        const double q = cj * inv;
        for (int k = 0; k < nf; ++k) CF[k * nn] = q * P[k];
        is += m2 * inv * cj;
        L += nf * nn;
        U += nf * nn;
        CF += nf * nn;
    }
    a.IonicStrength(level)[n] = 0.5 * is;
    return true;
}

void CalcSpeciation(RunState& st, int level, int node)
{
    if (ModeOwnsEquilibrium(st)) return;
    EngineArrays& a = st.Arr;
    if (!a.Allocated()) return;
    const int last = LastNode(st);
    int lo, hi;
    if (node >= 0) {
        if (node > last) return;
        lo = hi = node;
    } else {
        lo = st.LeftWall < 0 ? 0 : st.LeftWall;
        hi = st.RightWall > last ? last : st.RightWall;
    }
    if (node < 0 && CalcSpeciationParallel(st, level, lo, hi)) return;
    // Every node with an invalid cH stops the run; the first one is named.
    const int bad = lo == hi ? (SpeciateNode(st, level, lo, a.Newton) ? -1 : lo)
                             : SpeciateNodes(st, level, lo, hi, a.Newton);
    if (bad < 0) return;
    st.Stop = true;
    st.NumericalFailure = true;
    WarnOncePerRun(st, "CalcSpeciation",
                   std::string(kBadHydrogenConcentration) + std::to_string(bad) + ": " +
                       GeneralFloatText(a.CH(level)[bad]));
}

// ---------------------------------------------------------------------------
// Electroneutrality
// ---------------------------------------------------------------------------

ElneutNodeResult SolveElneutNode(const RunState& st, int level, int i, double x, double r,
                                 int itNew, NewtonScratch& s)
{
    const EngineArrays& a = st.Arr;
    const double Kw = ActiveKw(st);
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    const double eps = st.EpsNew;
    double* pw = s.Pow.data();

    // Gather the constants and concentrations of the constituents that take
    // part: every form of each, in order of charge.
    // The rows of constituents 1..NComp follow each other Nn values apart.
    int nActive = 0, e = 0;
    const std::ptrdiff_t nn = a.Nn;
    const double* crow = a.C(level, 1) + i;
    const double* lrow = a.LForm(1, 0) + i;
    for (int j = 1; j <= a.NComp; ++j, crow += nn) {
        const double c = *crow;
        const int zmin = a.ZMin[j];
        const int nf = a.ZMax[j] - zmin + 1;
        const double* Lj = lrow;
        lrow += nf * nn;
        if (c == 0.0 || nf == 1) continue;
        s.Begin[nActive] = e;
        for (int k = 0; k < nf; ++k) s.L[e++] = Lj[k * nn];
        s.ZMin[nActive] = zmin;
        s.C[nActive] = c;
        s.Active[nActive++] = j;
    }
    s.Begin[nActive] = e;
    ElneutNodeResult res{0.0, 0, false, nActive};

    // Charge balance f(x) = cH - cOH + sum of c times the mean charge and its
    // derivative f'(x) = 1 + Kw/x^2 + sum of c times the variance of the
    // charge, over x. The mean charge is taken as the charge zc of the largest
    // form plus the mean of z - zc, and the sum of the c zc is kept exact, so
    // that a balance of large strong-ion concentrations loses nothing to
    // rounding. The sums S0 of the constituents are kept in the scratch.
    const double* L = s.L.data();
    double* t = s.P.data();
    const int tableZ = a.SolveAbsZ();
    auto balance = [&](double xv, double& f, double& fp, double& noise) {
        const bool normal = PowerTable(pw, off, tableZ, xv);
        bool normalAll = normal,
             full = tableZ == maxZ;  // the table of every charge (made when needed)
        const double* pz = pw + off;
        double hi = 0, lo = 0, mean = 0, var = 0, spread = 0;
        for (int q = 0; q < nActive; ++q) {
            const int b = s.Begin[q], nf = s.Begin[q + 1] - b;
            double* tq = t + b;
            double S0;
            const int j = s.Active[q];
            // Offsets k - km from the largest form km: sums of d t, d^2 t, |d| t.
            int km = 0;
            double r1 = 0, r2 = 0, a1 = 0;
            int klo, khi;
            const bool wide = nf >= kWideForms && a.Wide.ready;
            if (wide && WideTerms(a, j, i, xv, tq, klo, khi, S0)) {
                s.S0[j] = S0;
                s.S0Exp[j] = 0;
                WideMoments(tq, klo, khi, km, r1, r2, a1);
            } else {
                if (wide && !full) {
                    normalAll = PowerTable(pw, off, maxZ, xv);
                    full = true;
                }
                const int scale = ScaledTerms(L + b, 1, s.ZMin[q], nf, pz,
                                              nf >= kWideForms ? normalAll : normal, xv, tq, S0);
                s.S0[j] = S0;
                s.S0Exp[j] = scale;
                if (nf == 2) {  // the loop below for two forms, the same bits
                    if (tq[1] > tq[0]) {
                        km = 1;
                        r1 = 0.0 - tq[0];
                        r2 = a1 = tq[0];
                    } else {
                        r1 = r2 = a1 = tq[1];
                    }
                } else {
                    for (int k = 1; k < nf; ++k)
                        if (tq[k] > tq[km]) km = k;
                    for (int k = 0; k < nf; ++k) {
                        const double d = k - km;
                        const double dt = d * tq[k];
                        r1 += dt;
                        r2 += d * dt;
                        a1 += std::fabs(dt);
                    }
                }
            }
            const double inv = 1.0 / S0;
            const double m1 = r1 * inv;
            const double c = s.C[q];
            mean += c * m1;
            spread += c * a1 * inv;
            var += c * (r2 * inv - m1 * m1);
            AddExactProduct(hi, lo, c, s.ZMin[q] + km);
        }
        const double ix = 1.0 / xv;
        f = hi + (lo + (mean + (xv - Kw * ix)));
        fp = 1.0 + Kw * ix * ix + var * ix;
        // Bound of the rounding error of f: a balance below it is zero.
        noise = 2 * DBL_EPSILON * (xv + Kw * ix + std::fabs(spread));
    };

    double p = 0.0;  // x at the start of the previous pass (0 before any pass)
    for (;;) {
        if (x <= 0) {
            r = 0.001 * r;
            x = r;
            if (r < 1e-36) {
                res.x = p;
                res.exhausted = true;
                return res;
            }
        }
        p = x;
        double f, fp, noise;
        balance(x, f, fp, noise);
        res.passed = true;
        ++res.n;
        // A balance within its rounding error: x is a root to working
        // precision (a start at a root returns it unchanged).
        if (std::fabs(f) <= noise) {
            res.x = x;
            return res;
        }
        const double xn = x - f / fp;
        if (!std::isfinite(xn) || std::fabs((x - xn) / x) <= eps) {
            res.x = xn;
            return res;
        }
        if (res.n >= itNew) break;
        x = xn;
    }

    // The iteration limit was reached before the step became small: the last
    // iterate may be far from the root (a start from a distant neighbour with
    // highly charged forms). The balance rises strictly with x, so the root is
    // bracketed and found by Newton steps kept inside the bracket, bisecting
    // geometrically where a step leaves it.
    const double kMin = 1e-100, kMax = 1e100;
    double lo = x, hi = x;
    double f, fp, noise;
    balance(x, f, fp, noise);
    if (f > 0) {
        while (lo > kMin) {
            lo = std::max(lo * 1e-3, kMin);
            balance(lo, f, fp, noise);
            if (f <= 0) break;
        }
    } else {
        while (hi < kMax) {
            hi = std::min(hi * 1e3, kMax);
            balance(hi, f, fp, noise);
            if (f >= 0) break;
        }
    }
    const double tol = eps > 1e-15 ? eps : 1e-15;
    double xc = std::sqrt(lo) * std::sqrt(hi);
    for (int pass = 0; pass < 2000; ++pass) {
        balance(xc, f, fp, noise);
        ++res.n;
        if (std::fabs(f) <= noise) break;
        if (f < 0)
            lo = xc;
        else
            hi = xc;
        double xn = xc - f / fp;
        if (!(xn > lo && xn < hi)) xn = std::sqrt(lo) * std::sqrt(hi);
        const bool done = std::fabs((xc - xn) / xc) <= tol || hi - lo <= tol * lo;
        xc = xn;
        if (done) break;
    }
    res.x = xc;
    res.passed = false;  // the denominators are taken at the result
    return res;
}

void StoreElneutNode(RunState& st, int level, int i, const ElneutNodeResult& res, double x,
                     NewtonScratch& s)
{
    EngineArrays& a = st.Arr;
    const double Kw = ActiveKw(st);
    ForgetWideRows(a, level, i, i);  // every row is written
    a.CH(level)[i] = x;
    a.PH[i] = NodePH(a, i, x);
    a.COH(level)[i] = Kw / x;
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    double* pw = s.Pow.data();
    const int tableZ = a.SolveAbsZ();
    const bool normal = PowerTable(pw, off, tableZ, x);
    bool normalAll = normal, full = tableZ == maxZ;  // the table of every charge (made when needed)
    double* t = s.P.data();
    const std::ptrdiff_t nn = a.Nn;
    // The denominators come from the last pass (taken at its start value);
    // constituents that took no part, or a node solved without any pass, take
    // them at the result.
    int q = 0;
    for (int j = 1; j <= a.NComp; ++j) {
        const int zmin = a.ZMin[j];
        const int nf = a.Forms(j);
        double sum;
        // Forms klo..khi (terms from t[0]); the others are 0.
        int klo = 0, khi = nf - 1, scale = 0;
        const bool wide = nf >= kWideForms && a.Wide.ready;
        if (!wide || !WideTerms(a, j, i, x, t, klo, khi, sum)) {
            klo = 0;
            khi = nf - 1;
            if (wide && !full) {
                normalAll = PowerTable(pw, off, maxZ, x);
                full = true;
            }
            scale = ScaledTerms(a.LForm(j, 0) + i, nn, zmin, nf, pw + off,
                                nf >= kWideForms ? normalAll : normal, x, t, sum);
        }
        double denom = sum;
        int denomScale = scale;
        if (q < res.nActive && s.Active[q] == j) {
            ++q;
            if (res.passed) {
                denom = s.S0[j];
                denomScale = s.S0Exp[j];
            }
        }
        a.Denom[j] = std::ldexp(denom, denomScale);
        const double c = a.C(level, j)[i];
        // Terms at x over the denominator, with the two scales made one.
        const double invDenom =
            scale == denomScale ? 1.0 / denom : std::ldexp(1.0 / denom, scale - denomScale);
        double ue = 0, charged = 0;
        for (int k = 0; k < nf; ++k) {
            const int z = zmin + k;
            if (z == 0) continue;
            if (k < klo || k > khi) {
                a.CForm(level, j, k)[i] = 0.0;
                continue;
            }
            const double phi = t[k - klo] * invDenom;
            const double cf = c * phi;
            a.CForm(level, j, k)[i] = cf;
            charged += cf;
            const double u = a.UForm(j, k)[i];
            ue += z > 0 ? phi * u : -phi * u;
        }
        a.CForm(level, j, -zmin)[i] = c - charged;
        a.UEff[j][i] = ue;
    }
}

void CountEquilibriumSolve(RunState& st)
{
    ++st.NewtonItTotal;
    if (!st.Initialised || !st.Arr.Allocated()) ThrowErrorCode(-10, "Elneut>>is_init == false");
}

void Elneut(RunState& st, int level, int source, int node, bool speciate, bool storeForms)
{
    // The selected mode's own equilibrium replaces the solve (it counts its
    // solves itself; a model without an equilibrium counts none).
    if (const auto equilibrium = SelectedModeHooks(st).Equilibrium) {
        equilibrium(st, level, source, node, speciate);
        return;
    }
    CountEquilibriumSolve(st);
    EngineArrays& a = st.Arr;
    if (level < 1 || level > 5) return;
    if (source == 0) source = level + 1;

    // The walls the call ends with are the walls it was given, whatever the
    // warning and event paths below do.
    const ComputationWindowScope window(st.counters());
    const int last = LastNode(st);
    int lo, hi;
    if (source == -1) {
        lo = 0;
        hi = last;
    } else {
        lo = st.LeftWall < 0 ? 0 : st.LeftWall;
        hi = st.RightWall > last ? last : st.RightWall;
    }
    if (node >= 0) {
        if (node > last) return;
        lo = hi = node;
    }
    if (source > 5) source = 5;  // no such level: start from the oldest one
    // Nodes that the closing speciation covers (the restored window, or the
    // node) are speciated as soon as they are solved: the speciation rewrites
    // everything the store would write there, so the store is skipped.
    int specLo = 1, specHi = 0;
    if (speciate && !ModeOwnsEquilibrium(st)) {
        if (node >= 0) {
            specLo = specHi = node;
        } else {
            specLo = window.SavedLeft() < 0 ? 0 : window.SavedLeft();
            specHi = window.SavedRight() > last ? last : window.SavedRight();
        }
    }
    // A window whose nodes do not depend on each other may be spread over
    // threads (the same per-node routines, the same bits).
    if (node < 0 &&
        ((specLo == lo && specHi == hi) || (specLo > specHi && !speciate && !storeForms)) &&
        ElneutParallel(st, level, source, lo, hi, specLo <= specHi))
        return;
    int itNew = st.ItNew;
    double* cH = a.CH(level);
    const double* cHsrc = source >= 1 ? a.CH(source) : nullptr;

    // Keeps the result of node i (the tiny-value replacement reads the final
    // cH of its left neighbour); false when the solve failed (the call ends).
    auto finish = [&](int i, const ElneutNodeResult& res) __attribute__((always_inline))->bool
    {
        double result = res.x;
        if (result < kSmallestKeptCH) {  // replacement of tiny values
            result = i == 0 ? 1e-9 : cH[i - 1];
            if (!ValidCH(result)) result = 1e-9;
        }
        if (!std::isfinite(result) || (result <= 0 && res.n > itNew)) {
            st.Stop = true;
            st.NumericalFailure = true;
            WarnOncePerRun(st, "Elneut",
                           "Newton's iteration returns incorrect H+ concentration: " +
                               GeneralFloatText(result));
            return false;
        }
        if (res.n > st.NewtonItStep) st.NewtonItStep = res.n;
        st.NewtonPassCount += res.n;
        ++st.NodeSolveCount;
        if (st.cbNewCnt)
            st.Events.Emit(EngineEvent::Pair(EngineEventKind::NewtonIterations, i, res.n));
        if (i >= specLo && i <= specHi) {
            cH[i] = result;
            if (st.ISCorrection) a.PH[i] = NodePH(a, i, result);
            if (res.passed)
                for (int q = 0; q < res.nActive; ++q) {
                    const int j = a.Newton.Active[q];
                    a.Denom[j] = std::ldexp(a.Newton.S0[j], a.Newton.S0Exp[j]);
                }
            SpeciateNode(st, level, i, a.Newton);
        } else if (storeForms) {
            StoreElneutNode(st, level, i, res, result, a.Newton);
        } else {  // cH alone: the caller's speciation writes pH and cOH
            cH[i] = result;
        }
        return true;
    };
    // Where cH alone is kept and every start comes from another level, nodes
    // are solved side by side (a group whose starts need the guard goes one
    // node at a time).
    const int lanes = node < 0 ? NodeLanes() : 1;
    const bool sideBySide = lanes > 1 && source >= 1 && specLo > specHi && !storeForms;
    for (int i = lo; i <= hi;) {
        if (sideBySide && i + lanes - 1 <= hi) {
            double x[kMaxNodeLanes];
            bool plain = true;
            for (int l = 0; l < lanes; ++l) {
                x[l] = cHsrc[i + l];
                plain = plain && std::fabs(x[l]) <= 1e6;
            }
            if (plain) {
                ElneutNodeResult res[kMaxNodeLanes];
                SolveElneutNodes(st, level, i, x, itNew, a.Newton, res);
                for (int l = 0; l < lanes; ++l)
                    if (!finish(i + l, res[l])) return;
                i += lanes;
                continue;
            }
        }
        double x;
        if (source == -1)
            x = i == lo ? 1e-12 : cH[i - 1];
        else
            x = cHsrc[i];
        double r = std::fabs(x) + 1e-36;
        if (!(std::fabs(x) <= 1e6)) {  // start guard (also for a start that is no number)
            x = i > 0 ? cH[i - 1] : 1e-36;
            if (!(std::fabs(x) <= 1e6)) x = 1e-36;
            r = x;
            itNew = 10000;
        }
        if (!finish(i, SolveElneutNode(st, level, i, x, r, itNew, a.Newton))) return;
        ++i;
    }
    // Nodes of the speciation range were speciated above; the call is kept for
    // the modes in which the speciation does its own work.
    if (speciate && specLo > specHi) CalcSpeciation(st, level, node);
}
