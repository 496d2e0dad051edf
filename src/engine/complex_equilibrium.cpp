// Complexation mode: electroneutrality and ligand balance at each node, solved
// for cH (h) and the fraction w of the total ligand in its lowest free form.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/comp_window.h"
#include "engine/complex_mode.h"
#include "engine/equilibrium.h"
#include "engine/run_state.h"

namespace {

constexpr const char* kNotInitialised = "Complex (Elneut): Data not initialized!";
constexpr const char* kIncorrectSolution = "Complex (Newton): Incorrect solution detected!";

// Per-node sums of the analytes (index a) and the free fractions of their
// forms (index FormBase[a] + f), kept in the run's work storage.
struct ComplexSums {
    std::vector<long double> invB, M1, M2, T0, T1, T2, phi, hq;
    long double S0 = 0, S1 = 0, S2 = 0;
};

ComplexSums& Sums(RunState& st) { return st.Engine.Scratch<ComplexSums>(); }

// The sums at (h, w) of node i, level l, and the equations with their exact
// Jacobian.
ComplexEquations Evaluate(RunState& st, int l, int i, double hIn, double wIn) {
    const ComplexData& d = ComplexArrays(st);
    EngineArrays& ar = st.Arr;
    ComplexSums& s = Sums(st);
    const int Q = d.Q(), na = d.Nanalytes;
    const std::size_t nA = static_cast<std::size_t>(na) + 1;
    if (s.invB.size() < nA)
        for (auto* v : {&s.invB, &s.M1, &s.M2, &s.T0, &s.T1, &s.T2}) v->assign(nA, 0.0L);
    const std::size_t nPhi = static_cast<std::size_t>(d.FormBase.back() + d.FormCount.back());
    if (s.phi.size() < nPhi) s.phi.assign(nPhi, 0.0L);
    if (s.hq.size() < static_cast<std::size_t>(Q) + 1) s.hq.assign(static_cast<std::size_t>(Q) + 1, 0.0L);

    const long double h = hIn, w = wIn;
    const long double cL = ar.C(l, 1)[i];
    const long double u = cL * w;
    s.S0 = s.S1 = s.S2 = 0;
    long double p = 1;
    for (int q = 0; q <= Q; ++q, p *= h) {
        const long double term = d.LigandL[static_cast<std::size_t>(q)] * p;
        const int z = d.nL + q;
        s.hq[static_cast<std::size_t>(q)] = term;
        s.S0 += term;
        s.S1 += z * term;
        s.S2 += static_cast<long double>(z) * z * term;
    }
    long double sumT0 = 0, sumT0B2 = 0, sumA = 0, sumB = 0, sumC = 0, sumE = 0;
    for (int a = 1; a <= na; ++a) {
        const std::size_t as = static_cast<std::size_t>(a);
        const int zmin = ar.ZMin[a + 1], nf = d.FormCount[as];
        long double* phi = s.phi.data() + d.FormBase[as];
        // Free fractions relative to the largest term (no overflow for any h).
        long double logMax = -INFINITY;
        for (int f = 0; f < nf; ++f) {
            const long double L = ar.LForm(a + 1, f)[i];
            phi[f] = L > 0 ? std::log(L) + (zmin + f) * std::log(h) : -INFINITY;
            logMax = std::max(logMax, phi[f]);
        }
        long double den = 0;
        for (int f = 0; f < nf; ++f) den += (phi[f] = std::exp(phi[f] - logMax));
        long double M1 = 0, M2 = 0, T0 = 0, T1 = 0, T2 = 0;
        for (int f = 0; f < nf; ++f) {
            phi[f] /= den;
            const int zf = zmin + f;
            M1 += zf * phi[f];
            M2 += static_cast<long double>(zf) * zf * phi[f];
            const auto& Kx = d.K[as][static_cast<std::size_t>(f)];
            for (int q = 0; q <= Q; ++q) {
                const long double t = phi[f] * s.hq[static_cast<std::size_t>(q)] * Kx[static_cast<std::size_t>(q)];
                const int z = zf + d.nL + q;
                T0 += t;
                T1 += z * t;
                T2 += static_cast<long double>(z) * z * t;
            }
        }
        const long double B = 1 + u * T0;
        const long double ca = ar.C(l, a + 1)[i];
        s.invB[as] = 1 / B;
        s.M1[as] = M1;
        s.M2[as] = M2;
        s.T0[as] = T0;
        s.T1[as] = T1;
        s.T2[as] = T2;
        const long double cB2 = ca / (B * B);
        sumT0 += ca * T0 / B;
        sumT0B2 += cB2 * T0;
        sumA += ca / B * (M1 + u * T1);
        sumB += cB2 * (T1 - (M1 + d.nL) * T0);
        sumC += cB2 * (M1 * T0 - T1);
        sumE += cB2 * ((M2 + u * T2) * (1 + u * T0) + d.nL * u * (M1 * T0 - T1) - (M1 + u * T1) * (M1 + u * T1));
    }
    const long double Kw = d.Kw;
    ComplexEquations e;
    e.F1 = static_cast<double>(w * s.S0 + w * sumT0 - 1);
    e.F2 = static_cast<double>(h - Kw / h + u * s.S1 + sumA);
    e.dF1dw = static_cast<double>(s.S0 + sumT0B2);
    e.dF1dh = static_cast<double>(w / h * (s.S1 - d.nL * s.S0 + sumB));
    e.dF2dw = static_cast<double>(cL * s.S1 - cL * sumC);
    e.dF2dh = static_cast<double>(1 + Kw / (h * h) + u / h * (s.S2 - d.nL * s.S1) + sumE / h);
    return e;
}

// Writes the solution (h, w) of node i, level l: cH, cOH, pH, the fractions,
// the effective mobilities and the ionic strength (the sums are those of
// (h, w), evaluated last).
void Store(RunState& st, int l, int i, double h, double w) {
    const ComplexData& d = ComplexArrays(st);
    EngineArrays& ar = st.Arr;
    const ComplexSums& s = Sums(st);
    const int Q = d.Q(), free = Q + 1;
    ar.CH(l)[i] = h;
    ar.COH(l)[i] = d.Kw / h;
    ar.PH[static_cast<std::size_t>(i)] = 3.0 - std::log10(h);
    const double cL = ar.C(l, 1)[i];
    auto sign = [](int z) { return z > 0 ? 1.0 : (z < 0 ? -1.0 : 0.0); };
    long double is = h + d.Kw / h;
    long double ueL = 0;
    for (int q = 0; q <= Q; ++q) {
        const double frac = static_cast<double>(w * s.hq[static_cast<std::size_t>(q)]);
        ComplexWork(st, l, 0, 0, q)[i] = frac;
        const int z = d.nL + q;
        ueL += sign(z) * d.U[0][0][static_cast<std::size_t>(q)] * frac;
        is += cL * static_cast<long double>(z) * z * frac;
    }
    for (int a = 1; a <= d.Nanalytes; ++a) {
        const std::size_t as = static_cast<std::size_t>(a);
        const int zmin = ar.ZMin[a + 1];
        const double ca = ar.C(l, a + 1)[i];
        const long double* phi = s.phi.data() + d.FormBase[as];
        long double ue = 0;
        for (int f = 0; f < d.FormCount[as]; ++f) {
            const int zf = zmin + f;
            const double freeFrac = static_cast<double>(phi[f] * s.invB[as]);
            ComplexWork(st, l, a, f, free)[i] = freeFrac;
            ue += sign(zf) * ar.UForm(a + 1, f)[i] * freeFrac;
            is += static_cast<long double>(zf) * zf * freeFrac * ca;
            for (int q = 0; q <= Q; ++q) {
                const double cx = freeFrac * ComplexWork(st, l, 0, 0, q)[i] *
                                  d.K[as][static_cast<std::size_t>(f)][static_cast<std::size_t>(q)];
                ComplexWork(st, l, a, f, q)[i] = cx;
                const int z = zf + d.nL + q;
                const double uc = d.U[as][static_cast<std::size_t>(f)][static_cast<std::size_t>(q)];
                ue += sign(z) * uc * cx * cL;
                ueL += sign(z) * uc * cx * ca;
                is += static_cast<long double>(z) * z * cx * ca * cL;
            }
        }
        ar.UEff[a + 1][i] = static_cast<double>(ue);
    }
    ar.UEff[1][i] = static_cast<double>(ueL);
    ar.IonicStrength(l)[i] = static_cast<double>(0.5L * is);
}

void Fail(RunState& st) {
    WarnOncePerRun(st, "ComplexNewton", kIncorrectSolution);
    st.Stop = true;
    st.NumericalFailure = true;
}

enum class Outcome { Converged, OutOfIterations, Failed };

Outcome Newton(RunState& st, int l, int i, double& h, double& w, int& iterations);

}  // namespace

ComplexEquations EvaluateComplexEquations(RunState& st, int level, int node, double h, double w) {
    return Evaluate(st, level, node, h, w);
}

bool ComplexNewton(RunState& st, int level, int node, double& h, double& w, int& iterations) {
    return Newton(st, level, node, h, w, iterations) == Outcome::Converged;
}

namespace {

Outcome Newton(RunState& st, int l, int i, double& h, double& w, int& iterations) {
    const double h0 = h, w0 = w;
    const double eps = st.EpsNew;
    const int itNew = std::max(1, st.ItNew);
    int it = 0, stage = 0, restarts = 0;
    double lambda = 1.0;
    bool converged = false;
    bool broken = false;
    // The next attempt from the restart values of `stage` (false when none is left).
    auto restart = [&](double& hn, double& wn) {
        if (stage > 3) return false;
        hn = 1e-15;
        wn = stage % 2 == 0 ? 1e-15 : 1.0;
        restarts += it;
        it = 0;
        ++stage;
        return true;
    };
    do {
        const ComplexEquations e = Evaluate(st, l, i, h, w);
        const double D = lambda * (e.dF2dh * e.dF1dw - e.dF2dw * e.dF1dh);
        double hn, wn;
        if (!std::isfinite(D) || D == 0 || !std::isfinite(e.F1) || !std::isfinite(e.F2)) {
            // A singular or overflowing system has no Newton step: the next
            // attempt, or no solution.
            if (!restart(hn, wn)) {
                broken = true;
                break;
            }
            h = hn;
            w = wn;
            continue;
        }
        const double dh = (e.dF1dw * e.F2 - e.dF2dw * e.F1) / D;
        const double dw = (e.dF2dh * e.F1 - e.dF1dh * e.F2) / D;
        hn = h - dh;
        wn = w - dw;
        const double rh = std::fabs(dh / h), rw = std::fabs(dw / w);
        const bool small = rh <= eps && rw <= eps;
        if (small || (it % itNew == 0 && it > 0)) {
            if (hn > 0 && wn > 0 && small) {
                converged = true;
            } else if (!restart(hn, wn)) {
                lambda *= 4;
                if (!(hn > 0) || !std::isfinite(hn)) hn = h0;
                if (!(wn > 0) || !std::isfinite(wn)) wn = w0;
                ++stage;
            }
        }
        // Both unknowns stay positive: a step beyond zero goes a tenth of the way.
        if (!(hn > 0)) hn = 0.1 * h;
        if (!(wn > 0)) wn = 0.1 * w;
        if (h0 > 1e-14 && it >= itNew / 4 && stage == 0 && restarts == 0 && std::fabs(dh) < eps &&
            std::fabs(dw) < eps)
            converged = true;
        h = hn;
        w = wn;
        ++it;
    } while (it < 10 * itNew && !converged);
    iterations = it + restarts;
    if (broken || !(h > 0) || !(w >= 0) || !std::isfinite(h) || !std::isfinite(w)) {
        Fail(st);
        return Outcome::Failed;
    }
    Evaluate(st, l, i, h, w);
    Store(st, l, i, h, w);
    return converged ? Outcome::Converged : Outcome::OutOfIterations;
}

}  // namespace

void ComplexElneut(RunState& st, int level, int source, int node, bool /*speciate*/) {
    if (level < 1 || level > 5) return;
    if (!ComplexUsable(st)) {
        WarnOncePerRun(st, "ComplexElneut", kNotInitialised);
        st.Stop = true;
        st.NumericalFailure = true;
        return;
    }
    if (source == 0) source = level + 1;
    if (source > 5) source = 5;
    const int last = LastGridNode(st);
    int lo, hi;
    if (source == -1) {
        lo = 0;
        hi = last;
    } else {
        lo = std::max(0, st.LeftWall);
        hi = std::min(last, st.RightWall);
    }
    if (node >= 0) {
        if (node > last) return;
        lo = hi = node;
    }
    EngineArrays& a = st.Arr;
    for (int i = lo; i <= hi; ++i) {
        double h = 1e-15, w = 1e-15;
        if (source != -1) {
            h = a.CH(source)[i];
            w = ComplexWork(st, source, 0, 0, 0)[i];
        } else if (i > lo) {
            h = a.CH(level)[i - 1];
            w = ComplexWork(st, level, 0, 0, 0)[i - 1];
        }
        if (!(h > 0) || !std::isfinite(h)) h = 1e-15;
        if (!(w > 0) || !std::isfinite(w)) w = 1e-15;
        int n = 0;
        const Outcome r = Newton(st, level, i, h, w, n);
        st.NewtonItStep = std::max(st.NewtonItStep, n);
        if (st.cbNewCnt) st.Events.Emit(EngineEvent::Pair(EngineEventKind::NewtonIterations, i, n));
        // A node without solution ends the loop.
        if (r == Outcome::Failed) return;
    }
}
