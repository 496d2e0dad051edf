#include "engine/equilibrium.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "engine/modes.h"
#include "engine/parallel_equilibrium.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

// The sums of the Newton method need the range of the x87 extended format:
// charges up to 30 at cH down to 1e-36 mM stay finite there, not in double.
static_assert(LDBL_MAX_EXP >= 16384, "long double must be the extended format");

namespace {

// Fills pw[off + z] = x^z for z = -down..up by repeated multiplication.
inline void PowerTable(long double* pw, int off, int up, int down, long double x) {
    pw[off] = 1.0L;
    for (int z = 1; z <= up; ++z) pw[off + z] = pw[off + z - 1] * x;
    const long double inv = 1.0L / x;
    for (int z = 1; z <= down; ++z) pw[off - z] = pw[off - z + 1] * inv;
}

inline bool ValidCH(double cH) { return cH > 0.0 && std::isfinite(cH); }

// Last node index the arrays hold.
inline int LastNode(const RunState& st) {
    const int n = st.Arr.Nn - 1;
    return st.NX < n ? st.NX : n;
}

}  // namespace

double ActiveKw(const RunState& st) { return st.ISCorrection ? st.KwIS : st.Kw; }

void WarnOncePerRun(RunState& st, const std::string& key, const std::string& message) {
    if (st.WarnedThisRun.insert(key).second) ShowWarning(message);
}

std::string GeneralFloatText(double v) { return FloatToStr(v); }

// ---------------------------------------------------------------------------
// Per-node constants
// ---------------------------------------------------------------------------

void SetSkipComp(RunState& st) {
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
                if (u[n] > kImmobileMobility) { mobile = true; break; }
        }
        if (mobile) a.SkipComp[i] = 0;
    }
    a.SkipComp[a.NComp + 1] = 0;
}

void SetDefaultCrossSections(RunState& st) {
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

void BuildLForm(RunState& st, int n) {
    EngineArrays& a = st.Arr;
    for (int i = 1; i <= a.NComp; ++i) {
        const int k0 = -a.ZMin[i];
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
}

void SetNodeConstants(RunState& st) {
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
}

// ---------------------------------------------------------------------------
// Speciation
// ---------------------------------------------------------------------------

bool SpeciateNode(RunState& st, int level, int n, NewtonScratch& s) {
    EngineArrays& a = st.Arr;
    const double cH = a.CH(level)[n];
    if (!ValidCH(cH)) return false;
    const double Kw = ActiveKw(st);
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    long double* pw = s.Pow.data();
    long double* P = s.P.data();
    const double cOH = Kw / cH;
    if (!st.ISCorrection) a.PH[n] = 3 - std::log10(cH);
    long double is = static_cast<long double>(cH) + cOH;
    a.COH(level)[n] = cOH;
    PowerTable(pw, off, maxZ, maxZ, cH);
    const long double* pz = pw + off;
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
        long double* Pj = P;  // the forms of j, for the concentrations below
        long double s0 = 0, zm = 0, ue = 0, m2 = 0;
        // Charges 0 and +-1 skip the products by x^0 = 1 and by z, which are exact.
        for (int k = 0; k < nf; ++k) {
            const int z = zmin + k;
            if (z == 0) {
                const long double p = L[k * nn];
                Pj[k] = p;
                s0 += p;
                continue;
            }
            const long double p = pz[z] * L[k * nn];
            Pj[k] = p;
            s0 += p;
            if (z == 1) {
                zm += p;
                m2 += p;
            } else if (z == -1) {
                zm -= p;
                m2 += p;
            } else {
                const long double zp = static_cast<long double>(z) * p;
                zm += zp;
                m2 += z * zp;
            }
            if (z > 0) ue += U[k * nn] * p;
            else ue -= U[k * nn] * p;
        }
        const long double inv = 1.0L / s0;
        *zmRow = static_cast<double>(zm * inv);
        *ueRow = static_cast<double>(ue * inv);
        const long double cj = *crow;
        const long double q = cj * inv;
        for (int k = 0; k < nf; ++k) CF[k * nn] = static_cast<double>(q * Pj[k]);
        is += m2 * inv * cj;
        L += nf * nn;
        U += nf * nn;
        CF += nf * nn;
    }
    a.IonicStrength(level)[n] = static_cast<double>(0.5L * is);
    return true;
}

void CalcSpeciation(RunState& st, int level, int node) {
    if (st.cbComplex) return;
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
    for (int n = lo; n <= hi; ++n) {
        if (SpeciateNode(st, level, n, a.Newton)) continue;
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "CalcSpeciation",
                       std::string(kBadHydrogenConcentration) + std::to_string(n) + ": " +
                           GeneralFloatText(a.CH(level)[n]));
    }
}

// ---------------------------------------------------------------------------
// Electroneutrality
// ---------------------------------------------------------------------------

ElneutNodeResult SolveElneutNode(const RunState& st, int level, int i, double x, double r,
                                 int itNew, NewtonScratch& s) {
    const EngineArrays& a = st.Arr;
    const double Kw = ActiveKw(st);
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    const double eps = st.EpsNew;
    long double* pw = s.Pow.data();

    // Gather the constants and concentrations of the constituents that take
    // part: the charged forms of each, in order, then the neutral form apart.
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
        const int k0 = -zmin;
        for (int k = 0; k < nf; ++k) {
            const long double l = Lj[k * nn];
            if (k == k0) {
                s.L0[nActive] = l;
                continue;
            }
            s.L[e] = l;
            s.Z[e] = zmin + k;
            ++e;
        }
        s.C[nActive] = c;
        s.End[nActive] = e;
        s.Active[nActive++] = j;
    }
    ElneutNodeResult res{0.0, 0, false, nActive};

    // Charge balance f(x) = cH - cOH + sum of the charges of all forms and its
    // derivative at x; the sums S0 of the constituents are kept in the scratch.
    const long double* L = s.L.data();
    const int* Z = s.Z.data();
    long double* tA = s.TermA.data();
    long double* tB = s.TermB.data();
    auto balance = [&](double xv, long double& f, long double& fp) {
        PowerTable(pw, off, maxZ, maxZ + 1, xv);  // x^(z-1) of z = -maxZ, and 1/x^2
        const long double* pz = pw + off;
        long double A = 0, B = 0;
        int m = 0;
        for (int q = 0; q < nActive; ++q) {
            long double S0 = s.L0[q], S1 = 0, D1 = 0, D0 = 0;  // neutral form: L x^0
            for (const int end = s.End[q]; m < end; ++m) {
                const int zi = Z[m];
                // Charges +-1 skip the products by z and by x^0 = 1, which are exact.
                if (zi == 1) {
                    const long double t = L[m] * pz[1];
                    S0 += t;
                    S1 += t;
                    D1 += L[m];
                    D0 += L[m];
                } else if (zi == -1) {
                    const long double t = L[m] * pz[-1];
                    const long double w = L[m] * pz[-2];  // -zd
                    S0 += t;
                    S1 -= t;
                    D1 += w;
                    D0 -= w;
                } else {
                    const long double z = zi;
                    const long double t = L[m] * pz[zi];
                    const long double zd = z * (L[m] * pz[zi - 1]);
                    S0 += t;
                    S1 += z * t;
                    D1 += z * zd;
                    D0 += zd;
                }
            }
            s.S0[s.Active[q]] = S0;
            const long double c = s.C[q];
            const long double inv = 1.0L / S0;
            tA[q] = c * S1 * inv;
            tB[q] = (D1 * c * S0 - c * S1 * D0) * (inv * inv);
        }
        // Summed apart, so the constituents' divisions need not wait for the sums.
        for (int q = 0; q < nActive; ++q) {
            A += tA[q];
            B += tB[q];
        }
        const long double xl = xv;
        f = xl - Kw * pw[off - 1] + A;  // pw[off - 1] = 1/x
        fp = Kw * pw[off - 2] + 1 + B;  // pw[off - 2] = 1/x^2
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
        long double f, fp;
        balance(x, f, fp);
        res.passed = true;
        const double xn = static_cast<double>(static_cast<long double>(x) - f / fp);
        ++res.n;
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
    const double kMin = 1e-100, kMax = 1e100;  // x^(+-MaxAbsZ) stays finite in long double
    double lo = x, hi = x;
    long double f, fp;
    balance(x, f, fp);
    if (f > 0) {
        while (lo > kMin) {
            lo = std::max(lo * 1e-3, kMin);
            balance(lo, f, fp);
            if (f <= 0) break;
        }
    } else {
        while (hi < kMax) {
            hi = std::min(hi * 1e3, kMax);
            balance(hi, f, fp);
            if (f >= 0) break;
        }
    }
    const double tol = eps > 1e-15 ? eps : 1e-15;
    double xc = std::sqrt(lo) * std::sqrt(hi);
    for (int pass = 0; pass < 2000; ++pass) {
        balance(xc, f, fp);
        ++res.n;
        if (f == 0) break;
        if (f < 0) lo = xc; else hi = xc;
        double xn = static_cast<double>(static_cast<long double>(xc) - f / fp);
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
                     NewtonScratch& s) {
    EngineArrays& a = st.Arr;
    const double Kw = ActiveKw(st);
    a.CH(level)[i] = x;
    a.PH[i] = 3 - std::log10(x);
    a.COH(level)[i] = Kw / x;
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    long double* pw = s.Pow.data();
    PowerTable(pw, off, maxZ, maxZ, x);
    // The denominators come from the last pass (taken at its start value);
    // constituents that took no part, or a node solved without any pass, take
    // them at the result.
    int q = 0;
    for (int j = 1; j <= a.NComp; ++j) {
        const int zmin = a.ZMin[j];
        const int nf = a.Forms(j);
        auto Lj = [&](int k) -> long double { return a.LForm(j, k)[i]; };
        long double denom;
        if (q < res.nActive && s.Active[q] == j) {
            ++q;
            if (res.passed) {
                denom = s.S0[j];
            } else {
                denom = 0;
                for (int k = 0; k < nf; ++k) denom += Lj(k) * pw[off + zmin + k];
            }
        } else {
            denom = 0;
            for (int k = 0; k < nf; ++k) denom += Lj(k) * pw[off + zmin + k];
        }
        a.Denom[j] = static_cast<double>(denom);
        const double c = a.C(level, j)[i];
        const long double invDenom = 1.0L / denom;
        long double ue = 0;
        double charged = 0;
        for (int k = 0; k < nf; ++k) {
            const int z = zmin + k;
            if (z == 0) continue;
            const long double phi = pw[off + z] * Lj(k) * invDenom;
            const double cf = static_cast<double>(c * phi);
            a.CForm(level, j, k)[i] = cf;
            charged += cf;
            const long double u = a.UForm(j, k)[i];
            ue += z > 0 ? phi * u : -phi * u;
        }
        a.CForm(level, j, -zmin)[i] = c - charged;
        a.UEff[j][i] = static_cast<double>(ue);
    }
}

void Elneut(RunState& st, int level, int source, int node, bool speciate, bool storeForms) {
    if (st.cbChrom) return;
    ++st.NewtonItTotal;
    EngineArrays& a = st.Arr;
    if (!st.Initialised || !a.Allocated()) ThrowErrorCode(-10, "Elneut>>is_init == false");
    if (const auto equilibrium = SelectedModeHooks(st).Equilibrium) {
        equilibrium(st, level, source, node, speciate);
        return;
    }
    if (level < 1 || level > 5) return;
    if (source == 0) source = level + 1;

    const int savedLW = st.LeftWall, savedRW = st.RightWall, savedItNew = st.ItNew;
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
    if (speciate && !st.cbComplex) {
        if (node >= 0) {
            specLo = specHi = node;
        } else {
            specLo = savedLW < 0 ? 0 : savedLW;
            specHi = savedRW > last ? last : savedRW;
        }
    }
    // A window whose nodes do not depend on each other may be spread over
    // threads (the same per-node routines, the same bits).
    if (node < 0 && ((specLo == lo && specHi == hi) || (specLo > specHi && !speciate && !storeForms)) &&
        ElneutParallel(st, level, source, lo, hi, specLo <= specHi)) {
        st.LeftWall = savedLW;
        st.RightWall = savedRW;
        st.ItNew = savedItNew;
        return;
    }
    int itNew = st.ItNew;
    double* cH = a.CH(level);
    const double* cHsrc = source >= 1 ? a.CH(source) : nullptr;

    for (int i = lo; i <= hi; ++i) {
        double x;
        if (source == -1) x = i == lo ? 1e-12 : cH[i - 1];
        else x = cHsrc[i];
        double r = std::fabs(x) + 1e-36;
        if (!(std::fabs(x) <= 1e6)) {  // start guard (also for a start that is no number)
            x = i > 0 ? cH[i - 1] : 1e-36;
            if (!(std::fabs(x) <= 1e6)) x = 1e-36;
            r = x;
            itNew = 10000;
            st.ItNew = 10000;
        }
        const ElneutNodeResult res = SolveElneutNode(st, level, i, x, r, itNew, a.Newton);
        double result = res.x;
        if (result < 1e-14) {  // replacement of tiny values
            result = i == 0 ? 1e-9 : cH[i - 1];
            if (!ValidCH(result)) result = 1e-9;
        }
        if (!std::isfinite(result) || (result <= 0 && res.n > itNew)) {
            st.LeftWall = savedLW;
            st.RightWall = savedRW;
            st.ItNew = savedItNew;
            st.Stop = true;
            st.NumericalFailure = true;
            WarnOncePerRun(st, "Elneut",
                           "Newton's iteration returns incorrect H+ concentration: " +
                               GeneralFloatText(result));
            return;
        }
        if (res.n > st.NewtonItStep) st.NewtonItStep = res.n;
        if (st.cbNewCnt) st.Events.Emit(EngineEvent::Pair(EngineEventKind::NewtonIterations, i, res.n));
        if (i >= specLo && i <= specHi) {
            cH[i] = result;
            if (st.ISCorrection) a.PH[i] = 3 - std::log10(result);
            if (res.passed)
                for (int q = 0; q < res.nActive; ++q) {
                    const int j = a.Newton.Active[q];
                    a.Denom[j] = static_cast<double>(a.Newton.S0[j]);
                }
            SpeciateNode(st, level, i, a.Newton);
        } else if (storeForms) {
            StoreElneutNode(st, level, i, res, result, a.Newton);
        } else {  // cH alone: the caller's speciation writes pH and cOH
            cH[i] = result;
        }
    }
    st.LeftWall = savedLW;
    st.RightWall = savedRW;
    st.ItNew = savedItNew;
    // Nodes of the speciation range were speciated above; the call is kept for
    // the modes in which the speciation does its own work.
    if (speciate && specLo > specHi) CalcSpeciation(st, level, node);
}
