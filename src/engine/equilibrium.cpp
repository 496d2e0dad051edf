#include "engine/equilibrium.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

// Fills pw[off + z] = x^z for z = -(maxZ+1)..maxZ+1 by repeated multiplication.
inline void PowerTable(long double* pw, int off, int maxZ, long double x) {
    pw[off] = 1.0L;
    for (int z = 1; z <= maxZ + 1; ++z) pw[off + z] = pw[off + z - 1] * x;
    const long double inv = 1.0L / x;
    for (int z = 1; z <= maxZ + 1; ++z) pw[off - z] = pw[off - z + 1] * inv;
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

std::string GeneralFloatText(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    std::string s(buf);
    const auto e = s.find('E');
    if (e == std::string::npos) return s;
    // Exponent without '+' and without leading zeros.
    std::string mant = s.substr(0, e), exp = s.substr(e + 1);
    bool neg = false;
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) {
        neg = exp[0] == '-';
        exp.erase(0, 1);
    }
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    return mant + "E" + (neg ? "-" : "") + exp;
}

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
    const int nc = a.NComp;
    const double Kw = ActiveKw(st);
    const bool writePH = !st.ISCorrection;
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    long double* pw = a.NewtonPow.data();
    long double* P = a.NewtonP.data();
    double* cHrow = a.CH(level);
    double* cOHrow = a.COH(level);
    double* isRow = a.IonicStrength(level);

    for (int n = lo; n <= hi; ++n) {
        const double cH = cHrow[n];
        if (!ValidCH(cH)) {
            st.Stop = true;
            st.NumericalFailure = true;
            WarnOncePerRun(st, "CalcSpeciation",
                           std::string(kBadHydrogenConcentration) + std::to_string(n) + ": " +
                               GeneralFloatText(cH));
            continue;
        }
        const double cOH = Kw / cH;
        if (writePH) a.PH[n] = 3 - std::log10(cH);
        long double is = static_cast<long double>(cH) + cOH;
        cOHrow[n] = cOH;
        PowerTable(pw, off, maxZ, cH);
        for (int j = 1; j <= nc; ++j) {
            const int zmin = a.ZMin[j];
            const int nf = a.Forms(j);
            const int base = a.FormOffset[j];
            long double s0 = 0, zm = 0, ue = 0, m2 = 0;
            for (int k = 0; k < nf; ++k) {
                const int z = zmin + k;
                const long double p = pw[off + z] * a.LForm(j, k)[n];
                P[base + k] = p;
                s0 += p;
                zm += z * p;
                m2 += static_cast<long double>(z) * z * p;
                if (z > 0) ue += a.UForm(j, k)[n] * p;
                else if (z < 0) ue -= a.UForm(j, k)[n] * p;
            }
            zm /= s0;
            ue /= s0;
            m2 /= s0;
            a.ZMean[j][n] = static_cast<double>(zm);
            a.UEff[j][n] = static_cast<double>(ue);
            const long double cj = a.C(level, j)[n];
            const long double q = cj / s0;
            for (int k = 0; k < nf; ++k) a.CForm(level, j, k)[n] = static_cast<double>(q * P[base + k]);
            is += m2 * cj;
        }
        isRow[n] = static_cast<double>(0.5L * is);
    }
}

// ---------------------------------------------------------------------------
// Electroneutrality
// ---------------------------------------------------------------------------

namespace {

// Newton's method for cH at node i. Returns the result and the pass count.
struct NewtonResult {
    double x;
    int n;
    bool passed;  // at least one pass computed the sums of this node
};

NewtonResult SolveNode(RunState& st, int level, int i, double x, double r, int itNew,
                       double Kw, int nActive) {
    EngineArrays& a = st.Arr;
    const int maxZ = a.MaxAbsZ;
    const int off = maxZ + 1;
    long double* pw = a.NewtonPow.data();
    const long double* L = a.NewtonL.data();
    const long double* cj = a.NewtonC.data();
    long double* s0j = a.NewtonS0.data();
    const int* act = a.NewtonActive.data();
    const double eps = st.EpsNew;
    (void)level;
    (void)i;

    int n = 0;
    double p = 0.0;  // value of x at the start of the previous pass (0 before any pass)
    bool passed = false;
    for (;;) {
        if (x <= 0) {
            r = 0.001 * r;
            x = r;
            if (r < 1e-36) return {p, n, passed};
        }
        p = x;
        PowerTable(pw, off, maxZ, x);
        long double A = 0, B = 0;
        for (int q = 0; q < nActive; ++q) {
            const int j = act[q];
            const int zmin = a.ZMin[j];
            const int nf = a.Forms(j);
            const long double* Lj = L + a.FormOffset[j];
            long double S0 = 0, S1 = 0, D1 = 0, D0 = 0;
            for (int k = 0; k < nf; ++k) {
                const int z = zmin + k;
                const long double t = Lj[k] * pw[off + z];
                S0 += t;
                if (z != 0) {
                    const long double td = Lj[k] * pw[off + z - 1];
                    S1 += z * t;
                    D1 += static_cast<long double>(z) * z * td;
                    D0 += z * td;
                }
            }
            s0j[j] = S0;
            const long double c = cj[j];
            A += c * S1 / S0;
            B += (D1 * c * S0 - c * S1 * D0) / (S0 * S0);
        }
        passed = true;
        const long double xl = x;
        const long double f = xl - Kw / xl + A;
        const long double fp = Kw / (xl * xl) + 1 + B;
        const double xn = static_cast<double>(xl - f / fp);
        ++n;
        if (!std::isfinite(xn)) return {xn, n, passed};
        if (std::fabs((x - xn) / x) <= eps || n >= itNew) return {xn, n, passed};
        x = xn;
    }
}

}  // namespace

void (*ComplexElneutHandler)(RunState&, int, int, int, bool) = nullptr;

void Elneut(RunState& st, int level, int source, int node, bool speciate) {
    if (st.cbChrom) return;
    ++st.NewtonItTotal;
    EngineArrays& a = st.Arr;
    if (!st.Initialised || !a.Allocated()) ThrowErrorCode(-10, "Elneut>>is_init == false");
    if (st.cbComplex && ComplexElneutHandler) {
        ComplexElneutHandler(st, level, source, node, speciate);
        return;
    }
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
    const double Kw = ActiveKw(st);
    const int nc = a.NComp;
    int itNew = st.ItNew;
    double* cH = a.CH(level);
    const double* cHsrc = source >= 1 ? a.CH(source) : nullptr;

    for (int i = lo; i <= hi; ++i) {
        // Start value.
        double x;
        if (source == -1) x = i == lo ? 1e-12 : cH[i - 1];
        else x = cHsrc[i];
        double r = std::fabs(x) + 1e-36;
        if (!(std::fabs(x) <= 1e6)) {  // too large, or not a number
            x = i > 0 ? cH[i - 1] : 1e-36;
            if (!(std::fabs(x) <= 1e6)) x = 1e-36;
            r = x;
            itNew = 10000;
            st.ItNew = 10000;
        }
        // Gather the node's constants and concentrations.
        int nActive = 0;
        for (int j = 1; j <= nc; ++j) {
            const double c = a.C(level, j)[i];
            a.NewtonC[j] = c;
            const int base = a.FormOffset[j];
            for (int k = 0; k < a.Forms(j); ++k) a.NewtonL[base + k] = a.LForm(j, k)[i];
            if (c != 0.0 && a.ZMin[j] != a.ZMax[j]) a.NewtonActive[nActive++] = j;
        }
        NewtonResult res = SolveNode(st, level, i, x, r, itNew, Kw, nActive);
        double result = res.x;
        const int n = res.n;
        // Replacement of tiny values.
        if (result < 1e-14) {
            result = i == 0 ? 1e-9 : cH[i - 1];
            if (!ValidCH(result)) result = 1e-9;
        }
        if (!std::isfinite(result) || (result <= 0 && n > itNew)) {
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
        if (n > st.NewtonItStep) st.NewtonItStep = n;
        st.NewtonPassCount += n;
        ++st.NodeSolveCount;
        if (st.cbNewCnt) st.host().OnNewtonIterations(i, n);

        // Results at the node.
        const double xv = result;
        cH[i] = xv;
        a.PH[i] = 3 - std::log10(xv);
        a.COH(level)[i] = Kw / xv;
        const int maxZ = a.MaxAbsZ;
        const int off = maxZ + 1;
        long double* pw = a.NewtonPow.data();
        // Denominators of constituents that took no part in the passes (or of a
        // node solved without any pass) are taken at the result.
        bool needFinalPowers = true;
        if (!res.passed) {
            PowerTable(pw, off, maxZ, xv);
            needFinalPowers = false;
            for (int q = 0; q < nActive; ++q) {
                const int j = a.NewtonActive[q];
                long double S0 = 0;
                for (int k = 0; k < a.Forms(j); ++k)
                    S0 += a.NewtonL[a.FormOffset[j] + k] * pw[off + a.ZMin[j] + k];
                a.NewtonS0[j] = S0;
            }
        }
        if (needFinalPowers) PowerTable(pw, off, maxZ, xv);
        int q = 0;
        for (int j = 1; j <= nc; ++j) {
            const int zmin = a.ZMin[j];
            const int nf = a.Forms(j);
            const long double* Lj = a.NewtonL.data() + a.FormOffset[j];
            long double denom;
            if (q < nActive && a.NewtonActive[q] == j) {
                denom = a.NewtonS0[j];
                ++q;
            } else {
                denom = 0;
                for (int k = 0; k < nf; ++k) denom += Lj[k] * pw[off + zmin + k];
            }
            a.Denom[j] = static_cast<double>(denom);
            const double c = a.C(level, j)[i];
            long double ue = 0;
            double charged = 0;
            for (int k = 0; k < nf; ++k) {
                const int z = zmin + k;
                if (z == 0) continue;
                const long double phi = pw[off + z] * Lj[k] / denom;
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
    st.LeftWall = savedLW;
    st.RightWall = savedRW;
    st.ItNew = savedItNew;
    if (speciate) CalcSpeciation(st, level, node);
}
