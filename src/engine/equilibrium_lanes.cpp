#include "engine/equilibrium_lanes.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "engine/equilibrium.h"
#include "engine/equilibrium_terms.h"
#include "engine/run_state.h"

namespace {

// Two doubles side by side (SSE2 on every x86-64: one instruction per
// operation of both nodes); a comparison gives a mask per lane (all bits set
// or none). The operations are the IEEE operations of one double each, so a
// lane computes exactly what the one-node routine computes.
using V = double __attribute__((vector_size(16)));
using M = long long __attribute__((vector_size(16)));
static_assert(kNodeLanes == 2, "the lanes are two doubles");

inline V Load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(double* p, V v) { std::memcpy(p, &v, sizeof v); }
inline V Splat(double d) { return V{d, d}; }
inline V Abs(V v) { return (V)((M)v & 0x7fffffffffffffffLL); }
// Bit l set where lane l of the mask is.
inline int Bits(M m) {
#if defined(__SSE2__)
    return __builtin_ia32_movmskpd((V)m);
#else
    return (m[0] != 0 ? 1 : 0) | (m[1] != 0 ? 2 : 0);
#endif
}
inline bool All(M m) { return Bits(m) == 3; }
inline bool Any(M m) { return Bits(m) != 0; }
// Lanes with a positive finite value.
inline M PositiveFinite(V v) { return (v > Splat(0.0)) & (v <= Splat(DBL_MAX)); }

// PowerTable of the lanes: x^z at pw + kNodeLanes * (zmax + z); the mask of
// the lanes whose extreme entries are normal finite numbers.
M PowerTableLanes(double* pw, int zmax, V x) {
    double* p0 = pw + kNodeLanes * zmax;
    if (zmax == 1) {  // the loops below for charges up to 1
        const V p = Splat(1.0) * x, q = Splat(1.0) * (Splat(1.0) / x);
        Store(p0 - kNodeLanes, q);
        Store(p0, Splat(1.0));
        Store(p0 + kNodeLanes, p);
        return (p >= Splat(DBL_MIN)) & (p <= Splat(DBL_MAX)) & (q >= Splat(DBL_MIN)) & (q <= Splat(DBL_MAX));
    }
    V p = Splat(1.0);
    Store(p0, p);
    for (int z = 1; z <= zmax; ++z) Store(p0 + kNodeLanes * z, p = p * x);
    const V inv = Splat(1.0) / x;
    V q = Splat(1.0);
    for (int z = 1; z <= zmax; ++z) Store(p0 - kNodeLanes * z, q = q * inv);
    return (p >= Splat(DBL_MIN)) & (p <= Splat(DBL_MAX)) & (q >= Splat(DBL_MIN)) & (q <= Splat(DBL_MAX));
}

// The plain terms L x^z of one constituent (forms at L + k * nn) into t and
// their sum (ScaledTerms while no scaling is needed).
inline V TermsLanes(const double* L, std::ptrdiff_t nn, int zmin, int nf, const double* pz, double* t) {
    V s = Splat(0.0);
    for (int k = 0; k < nf; ++k) {
        const V v = Load(L + k * nn) * Load(pz + kNodeLanes * (zmin + k));
        Store(t + kNodeLanes * k, v);
        s += v;
    }
    return s;
}

// SpeciateNode of nodes n and n + 1. False (nothing written) when a cH is not
// a positive finite number; a lane whose terms need scaling is done again by
// SpeciateNode.
bool SpeciatePair(RunState& st, int level, int n, NewtonScratch& s) {
    EngineArrays& a = st.Arr;
    const V cH = Load(a.CH(level) + n);
    if (!All(PositiveFinite(cH))) return false;
    const double Kw = ActiveKw(st);
    const V cOH = Splat(Kw) / cH;
    if (!st.ISCorrection)
        for (int l = 0; l < kNodeLanes; ++l) a.PH[n + l] = NodePH(a, n + l, cH[l]);
    V is = cH + cOH;
    Store(a.COH(level) + n, cOH);
    const int maxZ = a.MaxAbsZ;
    double* pw = s.LanePow.data();
    const double* pz = pw + kNodeLanes * maxZ;
    M bad = ~PowerTableLanes(pw, maxZ, cH);
    double* P = s.LaneP.data();
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
        V zm = Splat(0.0), ue = Splat(0.0), m2 = Splat(0.0);
        // One form of the terms: the sums of z p, z^2 p and the signed u p.
        auto add = [&](int z, V p, const double* u) {
            const V zp = Splat(z) * p;
            zm += zp;
            m2 += Splat(z) * zp;
            const V up = Load(u) * p;
            ue += z > 0 ? up : (z < 0 ? -up : Splat(0.0));
        };
        // The means over the forms and the form concentrations from the sum
        // s0 of the terms term(k).
        auto close = [&](V s0, auto term) {
            const V inv = Splat(1.0) / s0;
            Store(zmRow, zm * inv);
            Store(ueRow, ue * inv);
            const V cj = Load(crow);
            const V q = cj * inv;
            for (int k = 0; k < nf; ++k) Store(CF + k * nn, q * term(k));
            is += m2 * inv * cj;
        };
        if (nf == 2) {  // the general case below for two forms, kept in registers
            const V t0 = Load(L) * Load(pz + kNodeLanes * zmin);
            const V t1 = Load(L + nn) * Load(pz + kNodeLanes * (zmin + 1));
            const V s0 = Splat(0.0) + t0 + t1;
            bad |= ~(s0 <= Splat(DBL_MAX));
            add(zmin, t0, U);
            add(zmin + 1, t1, U + nn);
            close(s0, [&](int k) { return k == 0 ? t0 : t1; });
        } else {
            const V s0 = TermsLanes(L, nn, zmin, nf, pz, P);
            bad |= ~(s0 <= Splat(DBL_MAX));
            for (int k = 0; k < nf; ++k) add(zmin + k, Load(P + kNodeLanes * k), U + k * nn);
            close(s0, [&](int k) { return Load(P + kNodeLanes * k); });
        }
        L += nf * nn;
        U += nf * nn;
        CF += nf * nn;
    }
    Store(a.IonicStrength(level) + n, Splat(0.5) * is);
    for (int l = 0; l < kNodeLanes; ++l)
        if (bad[l]) SpeciateNode(st, level, n + l, s);
    return true;
}

// The charge balance of SolveElneutNode (f, its derivative fp and the bound
// of its rounding error) at x of both lanes; `bad` marks the lanes whose
// terms need scaling (the one-node routine does those).
struct BalanceLanes {
    V f, fp, noise;
    M bad;
};

BalanceLanes Balance(const EngineArrays& a, int level, int i, V x, double Kw, NewtonScratch& s) {
    const int maxZ = a.MaxAbsZ;
    double* pw = s.LanePow.data();
    const double* pz = pw + kNodeLanes * maxZ;
    const M normal = PowerTableLanes(pw, maxZ, x);
    double* t = s.LaneP.data();
    M bad = M{0, 0};
    V hi = Splat(0.0), lo = Splat(0.0), mean = Splat(0.0), var = Splat(0.0), spread = Splat(0.0);
    const std::ptrdiff_t nn = a.Nn;
    const double* crow = a.C(level, 1) + i;
    const double* L = a.LForm(1, 0) + i;
    for (int j = 1; j <= a.NComp; ++j, crow += nn) {
        const int zmin = a.ZMin[j];
        const int nf = a.ZMax[j] - zmin + 1;
        const double* Lj = L;
        L += nf * nn;
        if (nf == 1) continue;
        // A lane whose concentration is 0 takes no part (its sums stay).
        const V c = Load(crow);
        const M act = c != Splat(0.0);
        if (!Any(act)) continue;
        // Offsets from the largest form km, as in SolveElneutNode.
        V S0, r1, r2, a1;
        V km;  // a small integer held as a double (SSE2 compares doubles, not 64-bit integers)
        if (nf == 2) {
            const V t0 = Load(Lj) * Load(pz + kNodeLanes * zmin);
            const V t1 = Load(Lj + nn) * Load(pz + kNodeLanes * (zmin + 1));
            S0 = Splat(0.0) + t0 + t1;
            const M up = t1 > t0;
            r1 = up ? Splat(0.0) - t0 : t1;
            r2 = a1 = up ? t0 : t1;
            km = up ? Splat(1.0) : Splat(0.0);
        } else {
            S0 = TermsLanes(Lj, nn, zmin, nf, pz, t);
            V top = Load(t);
            km = Splat(0.0);
            for (int k = 1; k < nf; ++k) {
                const V tk = Load(t + kNodeLanes * k);
                const M up = tk > top;
                top = up ? tk : top;
                km = up ? Splat(k) : km;
            }
            r1 = r2 = a1 = Splat(0.0);
            for (int k = 0; k < nf; ++k) {
                const V d = Splat(k) - km;
                const V dt = d * Load(t + kNodeLanes * k);
                r1 += dt;
                r2 += d * dt;
                a1 += Abs(dt);
            }
        }
        bad |= act & ~(normal & (S0 <= Splat(DBL_MAX)));
        const V inv = Splat(1.0) / S0;
        const V m1 = r1 * inv;
        mean = act ? mean + c * m1 : mean;
        spread = act ? spread + c * a1 * inv : spread;
        var = act ? var + c * (r2 * inv - m1 * m1) : var;
        // The exact sum of c z (AddExactProduct): for charges -1, 0 and +1
        // in both lanes side by side, else lane by lane.
        const V z = Splat(zmin) + km;
        if (!Any(act & (Abs(z) > Splat(1.0)))) {
            const M add = act & (z != Splat(0.0));
            const V v = z * c;
            const V sum = hi + v;
            const V bv = sum - hi;
            const V low = lo + ((hi - (sum - bv)) + (v - bv));
            hi = add ? sum : hi;
            lo = add ? low : lo;
        } else {
            double h[kNodeLanes], w[kNodeLanes];
            Store(h, hi);
            Store(w, lo);
            for (int l = 0; l < kNodeLanes; ++l)
                if (act[l]) nodesolve::AddExactProduct(h[l], w[l], c[l], static_cast<int>(z[l]));
            hi = Load(h);
            lo = Load(w);
        }
    }
    const V ix = Splat(1.0) / x;
    const V kw = Splat(Kw);
    BalanceLanes b;
    b.f = hi + (lo + (mean + (x - kw * ix)));
    b.fp = Splat(1.0) + kw * ix * ix + var * ix;
    b.noise = Splat(2 * DBL_EPSILON) * (x + kw * ix + Abs(spread));
    b.bad = bad;
    return b;
}

}  // namespace

int SpeciateNodes(RunState& st, int level, int lo, int hi, NewtonScratch& s) {
    int firstBad = -1;
    auto one = [&](int n) {
        if (!SpeciateNode(st, level, n, s) && firstBad < 0) firstBad = n;
    };
    int n = lo;
    for (; n + kNodeLanes - 1 <= hi; n += kNodeLanes)
        if (!SpeciatePair(st, level, n, s))
            for (int l = 0; l < kNodeLanes; ++l) one(n + l);
    for (; n <= hi; ++n) one(n);
    return firstBad;
}

void SolveElneutNodes(const RunState& st, int level, int i, const double* x0, int itNew,
                      NewtonScratch& s, ElneutNodeResult* res) {
    const double Kw = ActiveKw(st);
    const double eps = st.EpsNew;
    double x[kNodeLanes];
    bool open[kNodeLanes], redo[kNodeLanes];
    int openCount = 0;
    for (int l = 0; l < kNodeLanes; ++l) {
        res[l] = ElneutNodeResult{0.0, 0, false, 0};
        x[l] = x0[l];
        // A start that is no positive finite number takes the restarts of the
        // one-node routine.
        redo[l] = !(x[l] > 0 && x[l] <= DBL_MAX);
        open[l] = !redo[l];
        if (redo[l]) x[l] = 1.0;  // any valid value: the lane is not read
        openCount += open[l];
    }
    for (int n = 1; openCount > 0; ++n) {
        const V xv = Load(x);
        const BalanceLanes b = Balance(st.Arr, level, i, xv, Kw, s);
        const V xn = xv - b.f / b.fp;
        for (int l = 0; l < kNodeLanes; ++l) {
            if (!open[l]) continue;
            // The steps of SolveElneutNode's Newton loop; anything else (the
            // iteration limit, a restart from below) is left to it.
            bool close = true;
            if (b.bad[l]) {
                redo[l] = true;
            } else if (std::fabs(b.f[l]) <= b.noise[l]) {
                res[l].x = x[l];
                res[l].n = n;
            } else if (!std::isfinite(xn[l]) || std::fabs((x[l] - xn[l]) / x[l]) <= eps) {
                res[l].x = xn[l];
                res[l].n = n;
            } else if (n >= itNew || xn[l] <= 0) {
                redo[l] = true;
            } else {
                x[l] = xn[l];
                close = false;
            }
            if (close) {
                open[l] = false;
                --openCount;
            }
        }
    }
    for (int l = 0; l < kNodeLanes; ++l)
        if (redo[l]) {
            res[l] = SolveElneutNode(st, level, i + l, x0[l], std::fabs(x0[l]) + 1e-36, itNew, s);
            res[l].passed = false;
            res[l].nActive = 0;
        }
}
