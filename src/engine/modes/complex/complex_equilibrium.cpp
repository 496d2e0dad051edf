// Complexation mode: electroneutrality and ligand balance at each node, solved
// for cH (h) and the fraction w of the total ligand in its lowest free form.
#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"

namespace {

constexpr const char* kNotInitialised = "Complex (Elneut): Data not initialized!";
constexpr const char* kIncorrectSolution = "Complex (Newton): Incorrect solution detected!";

// Per-node sums of the analytes (index a) and the free fractions of their
// forms (index FormBase[a] + f), kept in the run's work storage.
struct ComplexSums {
    std::vector<double> invB, phi;
    std::vector<long double> hq, raw;  // ligand-form terms; free-form terms of one analyte
    // The constants of a solve laid out flat: per analyte its lowest charge,
    // form count and first form; per form its LForm row and its binding
    // constants K[q] (form-major).
    std::vector<int> zmin, forms, base;
    std::vector<const double*> lRow, uRow;  // per form: LForm and UForm rows
    std::vector<double> K, U;     // per form: binding constants and complex mobilities [q]
    std::vector<double> ligandU;  // [q]: mobilities of the ligand forms
    std::vector<double*> rows;    // fraction rows (ComplexData::Row) of the level being stored
    int rowsLevel = -1;
};

ComplexSums& Sums(RunState& st)
{
    return st.Engine.Scratch<ComplexSums>();
}

// Sums of free-form terms outside these bounds go through logarithms (the
// terms themselves may then have left the range of long double).
constexpr long double kTinyTerm = 1e-4000L, kHugeTerm = 1e4000L;
// Forms of one analyte that the evaluation in double keeps on the stack (a
// constituent with more goes through the extended evaluation alone).
constexpr int kMaxFormsOnStack = 64;
// Ligand forms the evaluation keeps on the stack (the set-up takes ligand
// charges -32..32).
constexpr int kMaxLigandForms = 65;

// h^n by repeated squaring (n of either sign).
template <class R>
R PowerOf(R h, int n)
{
    R r = 1, b = n < 0 ? 1 / h : h;
    for (unsigned m = static_cast<unsigned>(n < 0 ? -n : n); m; m >>= 1, b *= b)
        if (m & 1) r *= b;
    return r;
}

// What the solve of one call reads and writes: the run, its complexation data
// and the sums (sized once per call, not per evaluation).
struct Solve {
    explicit Solve(RunState& run) : st(run), d(ComplexArrays(run)), ar(run.Arr), s(Sums(run))
    {
        const std::size_t nA = static_cast<std::size_t>(d.Nanalytes) + 1;
        if (s.invB.size() < nA) s.invB.assign(nA, 0.0);
        const std::size_t nPhi =
            d.FormBase.empty() ? 0
                               : static_cast<std::size_t>(d.FormBase.back() + d.FormCount.back());
        if (s.phi.size() < nPhi) s.phi.assign(nPhi, 0.0);
        if (s.hq.size() < static_cast<std::size_t>(d.Q()) + 1)
            s.hq.assign(static_cast<std::size_t>(d.Q()) + 1, 0.0L);
        const std::size_t nq = static_cast<std::size_t>(d.Q()) + 1;
        if (s.lRow.size() < nPhi) s.lRow.assign(nPhi, nullptr);
        if (s.K.size() < nPhi * nq) {
            s.K.assign(nPhi * nq, 0.0);
            s.U.assign(nPhi * nq, 0.0);
        }
        if (s.uRow.size() < nPhi) s.uRow.assign(nPhi, nullptr);
        // One mobility per ligand form (0 where the data have none).
        s.ligandU.assign(nq, 0.0);
        if (!d.U.empty() && !d.U[0].empty())
            std::copy_n(d.U[0][0].begin(), std::min(nq, d.U[0][0].size()), s.ligandU.begin());
        s.rowsLevel = -1;
        if (s.zmin.size() < nA) {
            s.zmin.assign(nA, 0);
            s.forms.assign(nA, 0);
            s.base.assign(nA, 0);
        }
        int maxForms = 0;
        for (int a = 1; a <= d.Nanalytes; ++a)
            maxForms = std::max(maxForms, d.FormCount[static_cast<std::size_t>(a)]);
        if (s.raw.size() < static_cast<std::size_t>(maxForms))
            s.raw.assign(static_cast<std::size_t>(maxForms), 0.0L);
        for (int a = 1; a <= d.Nanalytes; ++a) {
            const std::size_t as = static_cast<std::size_t>(a);
            s.zmin[as] = ar.ZMin[a + 1];
            s.forms[as] = d.FormCount[as];
            s.base[as] = d.FormBase[as];
            for (int f = 0; f < d.FormCount[as]; ++f) {
                const std::size_t row = static_cast<std::size_t>(d.FormBase[as] + f);
                s.lRow[row] = ar.LForm(a + 1, f);
                s.uRow[row] = ar.UForm(a + 1, f);
                std::copy(d.K[as][static_cast<std::size_t>(f)].begin(),
                          d.K[as][static_cast<std::size_t>(f)].end(),
                          s.K.begin() + static_cast<std::ptrdiff_t>(row * nq));
                std::copy(d.U[as][static_cast<std::size_t>(f)].begin(),
                          d.U[as][static_cast<std::size_t>(f)].end(),
                          s.U.begin() + static_cast<std::ptrdiff_t>(row * nq));
            }
        }
    }
    // Fractions row (a, f, q) of time level l.
    double* Row(int l, int a, int f, int q) const
    {
        return d.Work[ar.lvC[l]].data() + static_cast<std::size_t>(d.Row(a, f, q)) * d.Nn;
    }
    // Every fraction row of level l, in the order of ComplexData::Row.
    double* const* Rows(int l)
    {
        if (s.rowsLevel != ar.lvC[l]) {
            const std::size_t n =
                d.Nn > 0 ? d.Work[ar.lvC[l]].size() / static_cast<std::size_t>(d.Nn) : 0;
            s.rows.resize(n);
            for (std::size_t r = 0; r < n; ++r)
                s.rows[r] = d.Work[ar.lvC[l]].data() + r * static_cast<std::size_t>(d.Nn);
            s.rowsLevel = ar.lvC[l];
        }
        return s.rows.data();
    }
    RunState& st;
    ComplexData& d;
    EngineArrays& ar;
    ComplexSums& s;
};

// The sums at (h, w) of node i, level l, in the precision R: the ligand-form
// terms, the free fractions and 1/B of every analyte (kept in the solve's
// sums for the store) and, with kEquations, the equations with their exact
// Jacobian. In double, false when a sum has left the range where double keeps
// its precision (the caller then evaluates in extended precision, whose range
// holds every term the solve meets; there the free-form terms of an analyte go
// through logarithms relative to the largest one when even that range does not
// hold them). The fractions are the same bits with and without kEquations.
template <class R, bool kEquations>
bool EvaluateIn(Solve& sv, int l, int i, double hIn, double wIn, ComplexEquations& e)
{
    constexpr bool kExtended = sizeof(R) > sizeof(double);
    constexpr R kTiny = kExtended ? static_cast<R>(kTinyTerm) : R(1e-280);
    constexpr R kHuge = kExtended ? static_cast<R>(kHugeTerm) : R(1e280);
    const ComplexData& d = sv.d;
    EngineArrays& ar = sv.ar;
    ComplexSums& s = sv.s;
    const int Q = d.Q(), na = d.Nanalytes;

    const R h = hIn, w = wIn;
    const R cL = ar.C(l, 1)[i];
    const R u = cL * w;
    R hqLocal[kMaxLigandForms];
    R* hq = hqLocal;
    if constexpr (kExtended)
        hq = s.hq.data();
    else if (Q + 1 > kMaxLigandForms)
        return false;
    R S0 = 0, S1 = 0, S2 = 0;
    R p = 1;
    for (int q = 0; q <= Q; ++q, p *= h) {
        const R term = d.LigandL[static_cast<std::size_t>(q)] * p;
        const int z = d.nL + q;
        hq[q] = term;
        if constexpr (!kExtended) s.hq[static_cast<std::size_t>(q)] = term;
        S0 += term;
        if constexpr (kEquations) {
            S1 += z * term;
            S2 += static_cast<R>(z) * z * term;
        }
    }
    if (!kExtended && !(S0 > kTiny && S0 < kHuge)) return false;
    R sumT0 = 0, sumT0B2 = 0, sumA = 0, sumB = 0, sumC = 0, sumE = 0;
    R phiLocal[kMaxFormsOnStack];
    R* phi = phiLocal;
    if constexpr (kExtended) phi = s.raw.data();
    const int nq = Q + 1;
    for (int a = 1; a <= na; ++a) {
        const std::size_t as = static_cast<std::size_t>(a);
        const int zmin = s.zmin[as], nf = s.forms[as];
        if (!kExtended && nf > kMaxFormsOnStack) return false;
        const double* const* lRow = s.lRow.data() + s.base[as];
        R den = 0;
        {
            R hz = PowerOf(h, zmin);
            for (int f = 0; f < nf; ++f, hz *= h) den += (phi[f] = lRow[f][i] * hz);
        }
        if (!(den > kTiny && den < kHuge)) {
            if (!kExtended) return false;
            R logMax = -INFINITY;
            for (int f = 0; f < nf; ++f) {
                const R L = ar.LForm(a + 1, f)[i];
                phi[f] = L > 0 ? std::log(L) + (zmin + f) * std::log(h) : -INFINITY;
                logMax = std::max(logMax, phi[f]);
            }
            den = 0;
            for (int f = 0; f < nf; ++f) den += (phi[f] = std::exp(phi[f] - logMax));
        }
        const R invDen = 1 / den;
        double* phiOut = s.phi.data() + s.base[as];
        const double* Kx =
            s.K.data() + static_cast<std::size_t>(s.base[as]) * static_cast<std::size_t>(nq);
        R M1 = 0, M2 = 0, T0 = 0, T1 = 0, T2 = 0;
        for (int f = 0; f < nf; ++f) {
            const R ph = phi[f] * invDen;
            phiOut[f] = static_cast<double>(ph);
            const int zf = zmin + f;
            if constexpr (kEquations) {
                M1 += zf * ph;
                M2 += static_cast<R>(zf) * zf * ph;
            }
            for (int q = 0; q <= Q; ++q) {
                const R t = ph * hq[q] * Kx[f * nq + q];
                T0 += t;
                if constexpr (kEquations) {
                    const int z = zf + d.nL + q;
                    T1 += z * t;
                    T2 += static_cast<R>(z) * z * t;
                }
            }
        }
        const R B = 1 + u * T0;
        const R invB = 1 / B;
        s.invB[as] = static_cast<double>(invB);
        if constexpr (!kEquations) continue;
        const R ca = ar.C(l, a + 1)[i];
        const R cB = ca * invB, cB2 = cB * invB;
        sumT0 += cB * T0;
        sumT0B2 += cB2 * T0;
        sumA += cB * (M1 + u * T1);
        sumB += cB2 * (T1 - (M1 + d.nL) * T0);
        sumC += cB2 * (M1 * T0 - T1);
        sumE += cB2 * ((M2 + u * T2) * (1 + u * T0) + d.nL * u * (M1 * T0 - T1) -
                       (M1 + u * T1) * (M1 + u * T1));
    }
    if constexpr (!kEquations) return true;
    const R Kw = d.Kw;
    e.F1 = static_cast<double>(w * S0 + w * sumT0 - 1);
    e.F2 = static_cast<double>(h - Kw / h + u * S1 + sumA);
    e.dF1dw = static_cast<double>(S0 + sumT0B2);
    e.dF1dh = static_cast<double>(w / h * (S1 - d.nL * S0 + sumB));
    e.dF2dw = static_cast<double>(cL * S1 - cL * sumC);
    e.dF2dh = static_cast<double>(1 + Kw / (h * h) + u / h * (S2 - d.nL * S1) + sumE / h);
    return kExtended ||
           (std::isfinite(e.F1) && std::isfinite(e.F2) && std::isfinite(e.dF1dw) &&
            std::isfinite(e.dF1dh) && std::isfinite(e.dF2dw) && std::isfinite(e.dF2dh));
}

// The equations at (h, w) of node i, level l, with their exact Jacobian; the
// free fractions and sums of the analytes are left in the solve's sums.
ComplexEquations Evaluate(Solve& sv, int l, int i, double h, double w)
{
    ComplexEquations e;
    if (!EvaluateIn<double, true>(sv, l, i, h, w, e))
        EvaluateIn<long double, true>(sv, l, i, h, w, e);
    return e;
}

// The fractions at (h, w) alone, for the store.
void EvaluateFractions(Solve& sv, int l, int i, double h, double w)
{
    ComplexEquations unused;
    if (!EvaluateIn<double, false>(sv, l, i, h, w, unused))
        EvaluateIn<long double, false>(sv, l, i, h, w, unused);
}

// Writes the solution (h, w) of node i, level l: cH, cOH, pH, the fractions,
// the effective mobilities and the ionic strength (the sums are those of
// (h, w), evaluated last).
void Store(Solve& sv, int l, int i, double h, double w)
{
    const ComplexData& d = sv.d;
    EngineArrays& ar = sv.ar;
    const ComplexSums& s = sv.s;
    const int Q = d.Q(), nq = Q + 1,
              stride = Q + 2;  // rows per form: the complexes, then the free form
    double* const* rows = sv.Rows(l);
    ar.CH(l)[i] = h;
    ar.COH(l)[i] = d.Kw / h;
    ar.PH[static_cast<std::size_t>(i)] = 3.0 - std::log10(h);
    const double cL = ar.C(l, 1)[i];
    auto sign = [](int z) { return z > 0 ? 1.0 : (z < 0 ? -1.0 : 0.0); };
    double is = h + d.Kw / h;
    double ueL = 0;
    double ligandFrac[kMaxLigandForms];
    for (int q = 0; q <= Q; ++q) {
        const double frac = static_cast<double>(w * s.hq[static_cast<std::size_t>(q)]);
        rows[q][i] = frac;
        if (q < kMaxLigandForms) ligandFrac[q] = frac;
        const int z = d.nL + q;
        ueL += sign(z) * s.ligandU[static_cast<std::size_t>(q)] * frac;
        is += cL * z * z * frac;
    }
    for (int a = 1; a <= d.Nanalytes; ++a) {
        const std::size_t as = static_cast<std::size_t>(a);
        const int zmin = s.zmin[as], base = s.base[as];
        const double ca = ar.C(l, a + 1)[i];
        const double* phi = s.phi.data() + base;
        double ue = 0;
        for (int f = 0; f < s.forms[as]; ++f) {
            const int zf = zmin + f;
            const int form = base + f;
            double* const* formRows = rows + static_cast<std::ptrdiff_t>(form) * stride;
            const double* K =
                s.K.data() + static_cast<std::size_t>(form) * static_cast<std::size_t>(nq);
            const double* U =
                s.U.data() + static_cast<std::size_t>(form) * static_cast<std::size_t>(nq);
            const double freeFrac = phi[f] * s.invB[as];
            formRows[Q + 1][i] = freeFrac;
            ue += sign(zf) * s.uRow[static_cast<std::size_t>(form)][i] * freeFrac;
            is += static_cast<double>(zf * zf) * freeFrac * ca;
            for (int q = 0; q <= Q; ++q) {
                const double lq = q < kMaxLigandForms ? ligandFrac[q] : rows[q][i];
                const double cx = freeFrac * lq * K[q];
                formRows[q][i] = cx;
                const int z = zf + d.nL + q;
                const double uc = U[q];
                ue += sign(z) * uc * cx * cL;
                ueL += sign(z) * uc * cx * ca;
                is += static_cast<double>(z * z) * cx * ca * cL;
            }
        }
        ar.UEff[a + 1][i] = ue;
    }
    ar.UEff[1][i] = ueL;
    ar.IonicStrength(l)[i] = 0.5 * is;
}

void Fail(RunState& st)
{
    WarnOncePerRun(st, "ComplexNewton", kIncorrectSolution);
    st.Stop = true;
    st.NumericalFailure = true;
}

enum class Outcome { Converged, OutOfIterations, Failed };

// The square of a step below this times eps ends the iteration (the margin
// covers the constant of the quadratic convergence).
constexpr double kQuadraticMargin = 1e-2;

Outcome Newton(Solve& sv, int l, int i, double& h, double& w, int& iterations);

}  // namespace

ComplexEquations EvaluateComplexEquations(RunState& st, int level, int node, double h, double w)
{
    Solve sv(st);
    return Evaluate(sv, level, node, h, w);
}

bool ComplexNewton(RunState& st, int level, int node, double& h, double& w, int& iterations)
{
    Solve sv(st);
    return Newton(sv, level, node, h, w, iterations) == Outcome::Converged;
}

namespace {

Outcome Newton(Solve& sv, int l, int i, double& h, double& w, int& iterations)
{
    RunState& st = sv.st;
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
        const ComplexEquations e = Evaluate(sv, l, i, h, w);
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
        // A full step this small is in the quadratic range of Newton's
        // method: the step after it would be of the order of its square,
        // far below eps, so the new point is taken as the solution.
        const bool quadratic = lambda == 1.0 && stage == 0 && rh * rh <= kQuadraticMargin * eps &&
                               rw * rw <= kQuadraticMargin * eps;
        const bool small = (rh <= eps && rw <= eps) || quadratic;
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
    EvaluateFractions(sv, l, i, h, w);
    Store(sv, l, i, h, w);
    return converged ? Outcome::Converged : Outcome::OutOfIterations;
}

}  // namespace

void ComplexElneut(RunState& st, int level, int source, int node, bool /*speciate*/)
{
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
    Solve sv(st);
    const double* wSource = source != -1 ? sv.Row(source, 0, 0, 0) : sv.Row(level, 0, 0, 0);
    for (int i = lo; i <= hi; ++i) {
        double h = 1e-15, w = 1e-15;
        if (source != -1) {
            h = a.CH(source)[i];
            w = wSource[i];
        } else if (i > lo) {
            h = a.CH(level)[i - 1];
            w = wSource[i - 1];
        }
        if (!(h > 0) || !std::isfinite(h)) h = 1e-15;
        if (!(w > 0) || !std::isfinite(w)) w = 1e-15;
        int n = 0;
        const Outcome r = Newton(sv, level, i, h, w, n);
        st.NewtonItStep = std::max(st.NewtonItStep, n);
        st.NewtonPassCount += n;
        ++st.NodeSolveCount;
        if (st.cbNewCnt) st.Events.Emit(EngineEvent::Pair(EngineEventKind::NewtonIterations, i, n));
        // A node without solution ends the loop.
        if (r == Outcome::Failed) return;
    }
}
