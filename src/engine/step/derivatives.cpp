#include "engine/step/derivatives.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_range.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/node_diffusion.h"
#include "engine/step/node_threads.h"
#include "engine/step/standard_scheme.h"
#include "engine/step/voltage.h"
#include "foundation/messages.h"

namespace {

// Work rows of the derivative routine, kept in the run's engine context; grown
// once, so a time step allocates nothing.
struct DerScratch {
    std::vector<double> W, K, G, Dsum, Msum;
    std::vector<double> Gw, Ew;  // one row of u c E and one of the field per worker thread
    std::vector<char> InUse;     // FormRowsInUse
    void EnsureWorkers(int workers, int nn)
    {
        const std::size_t need = static_cast<std::size_t>(workers) * nn;
        if (Gw.size() < need) Gw.assign(need, 0.0);
        if (Ew.size() < need) Ew.assign(need, 0.0);
    }
    void Ensure(int nn)
    {
        if (static_cast<int>(W.size()) >= nn) return;
        for (std::vector<double>* v : {&W, &K, &G, &Dsum, &Msum}) v->assign(nn, 0.0);
    }
};

inline double Sign(double v)
{
    return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0);
}

// A mode whose derivative routine is not built: the run stops (warning once).
void Unavailable(RunState& st, const char* key, const char* text)
{
    st.Stop = true;
    st.NumericalFailure = true;
    WarnOncePerRun(st, key, text);
}

// Speciation of `level` on every node of the grid.
void SpeciateWholeGrid(RunState& st, int level)
{
    CalcSpeciationRange(st, level, 0, LastGridNode(st));
}

}  // namespace

namespace {

// Rate v of the kinetic reaction C + P -> PC at a node of `level`:
// k_main [C]^a [P]^b [OH]^c - k_deg [PC]^d [OH]^x.
struct KineticRate {
    const RunState& st;
    const double *c1, *c2, *c3, *cOH;
    KineticRate(const RunState& s, int level)
        : st(s),
          c1(s.Arr.C(level, 1)),
          c2(s.Arr.C(level, 2)),
          c3(s.Arr.C(level, 3)),
          cOH(s.Arr.COH(level))
    {
    }
    // c^e by the C library's pow; a concentration a hair below zero under a
    // fractional exponent (a NaN) is taken as 0.
    static double Power(double c, double e)
    {
        return std::pow(c < 0 && std::trunc(e) != e ? 0.0 : c, e);
    }
    double operator()(int j) const
    {
        return st.Kin1 * Power(c2[j], st.KinA) * Power(c3[j], st.KinB) * Power(cOH[j], st.KinC) -
               st.Kin2 * Power(c1[j], st.KinD) * Power(cOH[j], st.KinX);
    }
};

// Whether the wall node x keeps a derivative of its own for constituent i:
// held by the wall rule or set by the electrode boundary, rather than
// following its neighbour (whose derivative has the neighbour's reaction).
bool WallOwnDerivative(const RunState& st, int i, int x)
{
    if (x == st.LeftWall ? st.cbLE : st.cbRE) return true;
    return !WallFollowsNeighbour(st, i, x);
}

}  // namespace

void KineticTerm(RunState& st, int level, int lw, int rw)
{
    EngineArrays& a = st.Arr;
    const KineticRate rate(st, level);
    double* f1 = a.F(level, 1);
    double* f2 = a.F(level, 2);
    double* f3 = a.F(level, 3);
    for (int j = lw + 1; j < rw; ++j) {
        const double v = rate(j);
        f1[j] += v;
        f2[j] -= v;
        f3[j] -= v;
    }
}

namespace {

// The add-ons of the standard scheme: the kinetic reaction (constituents 1..3)
// and the racemic term (3 a selector of charges -1 and 0).
bool KineticTermOn(const RunState& st)
{
    return st.cbKinetic && st.Arr.NComp >= 3;
}

bool RacemicTermOn(const RunState& st)
{
    const EngineArrays& a = st.Arr;
    return st.setup_cbRacemic && a.NComp > 2 && a.ZMin[3] + a.ZMax[3] == -1;
}

// Whether an add-on converts constituents into each other: a kinetic term
// with a rate constant, the racemic term with a racemisation rate.
bool StandardReactsEverywhere(const RunState& st)
{
    return (KineticTermOn(st) && (st.Kin1 != 0 || st.Kin2 != 0)) ||
           (RacemicTermOn(st) && st.RacemicG != 0);
}

// Enantiomers 1 and 2 migrating as complexes with the charged selector 3 and
// converting into each other; replaces the transport of constituents 1..3.
void RacemicTerm(RunState& st, int level, int lw, int rw, double h1, double h2)
{
    EngineArrays& a = st.Arr;
    st.host().SetStatusText("Racemic MODE ...");
    const double A = st.RacemicA, B = st.RacemicB, G = st.RacemicG;
    const double* c1 = a.C(level, 1);
    const double* c2 = a.C(level, 2);
    const double* s = a.C(level, 3);
    const double* E = a.E.data();
    const double* d1 = a.DForm(1, 0);
    const double* d2 = a.DForm(2, 0);
    const double* d3 = a.DForm(3, 0);
    const double* u1 = a.UForm(1, 0);
    const double* u2 = a.UForm(2, 0);
    const double* u3 = a.UForm(3, 0);
    const double sgn3 = Sign(a.ZMin[3]);
    double* f1 = a.F(level, 1);
    double* f2 = a.F(level, 2);
    double* f3 = a.F(level, 3);
    auto thetaA = [&](int x) { return A * s[x] / (A * s[x] + 1); };
    auto thetaB = [&](int x) { return B * s[x] / (B * s[x] + 1); };
    for (int j = lw + 1; j < rw; ++j) {
        f1[j] = d1[j] * (c1[j - 1] - 2 * c1[j] + c1[j + 1]) * h2 +
                (c1[j + 1] * E[j + 1] * u1[j + 1] * thetaA(j + 1) -
                 c1[j - 1] * E[j - 1] * u1[j - 1] * thetaA(j - 1)) *
                    h1 -
                G * c1[j] / (A * s[j] + 1) + G * c2[j] / (B * s[j] + 1);
        f2[j] = d2[j] * (c2[j - 1] - 2 * c2[j] + c2[j + 1]) * h2 +
                (c2[j + 1] * E[j + 1] * u2[j + 1] * thetaB(j + 1) -
                 c2[j - 1] * E[j - 1] * u2[j - 1] * thetaB(j - 1)) *
                    h1 -
                G * c2[j] / (B * s[j] + 1) + G * c1[j] / (A * s[j] + 1);
        f3[j] = d3[j] * (s[j - 1] - 2 * s[j] + s[j + 1]) * h2 -
                sgn3 * (s[j + 1] * E[j + 1] * u3[j + 1] - s[j - 1] * E[j - 1] * u3[j - 1]) * h1;
    }
}

// The reaction of the add-ons at the two walls, at the walls' own
// concentrations, added where the wall keeps a derivative of its own (a held
// wall stands for the reservoir's solution, which reacts as the capillary's
// does; a wall that follows its neighbour has the neighbour's reaction
// already). As inside, the racemic term replaces the kinetic one.
void ReactionAtWalls(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    auto add = [&](int i, int x, double v) {
        if (WallOwnDerivative(st, i, x)) a.F(level, i)[x] += v;
    };
    const int walls[] = {st.LeftWall, st.RightWall};
    if (RacemicTermOn(st)) {
        const double A = st.RacemicA, B = st.RacemicB, G = st.RacemicG;
        const double* c1 = a.C(level, 1);
        const double* c2 = a.C(level, 2);
        const double* s = a.C(level, 3);
        for (int x : walls) {
            const double v = G * c2[x] / (B * s[x] + 1) - G * c1[x] / (A * s[x] + 1);
            add(1, x, v);
            add(2, x, -v);
        }
    } else if (KineticTermOn(st)) {
        const KineticRate rate(st, level);
        for (int x : walls) {
            const double v = rate(x);
            add(1, x, v);
            add(2, x, -v);
            add(3, x, -v);
        }
    }
}

}  // namespace

namespace {

// True when c[lo..hi] are all +0 or -0.
bool RowIsZero(const double* c, int lo, int hi)
{
    std::uint64_t any = 0;
    int j = lo;
    for (; j + 8 <= hi + 1; j += 8) {
        for (int m = 0; m < 8; ++m) {
            std::uint64_t b;
            std::memcpy(&b, c + j + m, sizeof b);
            any |= b << 1;  // the sign bit goes
        }
        if (any != 0) return false;
    }
    for (; j <= hi; ++j) {
        std::uint64_t b;
        std::memcpy(&b, c + j, sizeof b);
        any |= b << 1;
    }
    return any == 0;
}

}  // namespace

const char* FormRowsInUse(const RunState& st, int level, std::vector<char>& rows)
{
    const EngineArrays& a = st.Arr;
    if (!a.Wide.ready) return nullptr;
    bool wide = false;
    for (int i = 1; i <= a.NComp && !wide; ++i) wide = a.Forms(i) >= kWideForms;
    if (!wide) return nullptr;
    rows.assign(static_cast<std::size_t>(a.FormRows), 1);
    const int lo = std::max(st.LeftWall, 0), hi = std::min(st.RightWall, a.Nn - 1);
    for (int i = 1; i <= a.NComp; ++i) {
        if (a.Forms(i) < kWideForms) continue;
        // The forms that the record of the level does not know to be 0 at
        // some node of the window; the others are 0 there without a look.
        int rlo = 0, rhi = a.Forms(i) - 1;
        if (!a.Wide.Rows.empty() && lo <= hi) {
            const std::int16_t* r = a.Wide.RowsOf(a.lvC[level], i);
            rlo = rhi + 1;
            rhi = -1;
            for (int n = lo; n <= hi; ++n) {
                rlo = std::min<int>(rlo, r[2 * n]);
                rhi = std::max<int>(rhi, r[2 * n + 1]);
            }
        }
        for (int k = 0; k < a.Forms(i); ++k)
            rows[static_cast<std::size_t>(a.FormOffset[i] + k)] =
                k >= rlo && k <= rhi && !RowIsZero(a.CForm(level, i, k), lo, hi);
    }
    return rows.data();
}

void ConductivityTerm(const RunState& st, int level, int clo, int chi, double h1, double* W,
                      double* K, double* kappa, const char* inUse, const NodeDiffusion* nd)
{
    const EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const int lw = st.LeftWall, rw = st.RightWall;
    std::fill(W + clo, W + chi + 1, 0.0);
    std::fill(K + clo, K + chi + 1, 0.0);
    const int ilo = std::max(clo, lw + 1), ihi = std::min(chi, rw - 1);
    for (int i = 1; i <= nc + 2; ++i) {
        const int zmin = a.ZMin[i], nf = a.Forms(i);
        for (int k = 0; k < nf; ++k) {
            const int z = zmin + k;
            if (z == 0 || (inUse && !inUse[a.FormOffset[i] + k])) continue;
            const double zd = z, az = std::abs(z);
            const double* D = a.DForm(i, k);
            const double* c = a.CForm(level, i, k);
            const double* u = a.UForm(i, k);
            if (const double* g = nd ? nd->Factor(i) : nullptr) {
                // the coefficients at the node temperatures
                if (clo == lw) W[lw] += DiffusionCurrent(zd, D, g, lw, c[lw], c[lw + 2]) * h1;
                for (int j = ilo; j <= ihi; ++j)
                    W[j] += DiffusionCurrent(zd, D, g, j, c[j - 1], c[j + 1]) * h1;
                if (chi == rw) W[rw] += DiffusionCurrent(zd, D, g, rw, c[rw - 2], c[rw]) * h1;
                for (int j = clo; j <= chi; ++j) K[j] += az * u[j] * c[j];
                continue;
            }
            if (clo == lw) W[lw] += zd * D[lw] * (c[lw + 2] - c[lw]) * h1;
            for (int j = ilo; j <= ihi; ++j) W[j] += zd * D[j] * (c[j + 1] - c[j - 1]) * h1;
            if (chi == rw) W[rw] += zd * D[rw] * (c[rw] - c[rw - 2]) * h1;
            for (int j = clo; j <= chi; ++j) K[j] += az * u[j] * c[j];
        }
    }
    for (int j = clo; j <= chi; ++j) kappa[j] = 96485.0 * K[j];
}

namespace {

// What a node of the window costs in the pass over the column, in the
// resistance terms of a node outside it (its conductivity, summed over every
// form of every constituent, and its resistance term): the chunks of the pass
// hold equal work, not equal numbers of nodes.
constexpr int kConductivityWeight = 16;

// Conductivity over the window (ConductivityTerm into Kappa), the additional
// conductivity, then voltage and current; false when these cannot be formed.
bool ConductivityAndCurrent(RunState& st, int level, double* W, double* K, const char* inUse,
                            const NodeDiffusion* nd)
{
    const int lw = st.LeftWall, rw = st.RightWall;
    const double h1 = 0.5 / st.DX;
    double* kappa = st.Arr.Kappa.data();
    const int n = ColumnEnd(st);
    // Each node sums its species in order 1..NComp+2, forms upward; node
    // chunks may run on several threads (every node keeps its order).
    if (st.DiffMode || lw < 0 || rw > n || n < 1) {
        ForNodeChunks(st.Engine.Threads, lw, rw, kParallelMinChunk,
                      [&](int clo, int chi, int, int) {
                          ConductivityTerm(st, level, clo, chi, h1, W, K, kappa, inUse, nd);
                      });
        AddAdditionalConductivity(st);
        return CalcVoltageCurrent(st);
    }
    // One pass over the column: the conductivity of the window's nodes with
    // the additional conductivity (AddAdditionalConductivity node by node),
    // then the resistance terms of every node; the sum follows in node order.
    // When the window ends before the column does, the conductivity of the
    // last node is final before the pass, and the calling thread sums the
    // terms chunk by chunk as the chunks finish, while the rest still run.
    PrepareResistanceTerms(st);
    const double add = st.AddCond;
    const bool along = rw < n;
    ResistanceSum sum;
    bool started = false;
    const int parts = ForNodeChunksInOrder(
        st.Engine.Threads, 0, n, kParallelMinChunk,
        [&](int clo, int chi, int chunk, int) {
            const int lo = std::max(clo, lw), hi = std::min(chi, rw);
            if (lo <= hi) {
                ConductivityTerm(st, level, lo, hi, h1, W, K, kappa, inUse, nd);
                if (add > 0)
                    for (int j = lo; j <= hi; ++j) kappa[j] += add;
            }
            SetChunkUnfitNode(st.Engine, chunk, ResistanceTermsOfChunk(st, clo, chi));
        },
        [&](int clo, int chi, int) {
            if (!along) return;
            if (!started) StartResistanceSum(st, sum);  // Kappa[0] is final with the first chunk
            started = true;
            AddResistanceTerms(st, sum, clo, chi);
        },
        DenseNodes{lw, rw, kConductivityWeight});
    return along ? VoltageCurrentFromSum(st, parts, sum) : VoltageCurrentFromTerms(st, parts);
}

// Ohmic field at node j corrected by the diffusion current.
inline double OhmicField(const double* W, const double* S, const double* kappa, double I, int j)
{
    return (96485.0 * W[j] + I / S[j]) / kappa[j];
}

}  // namespace

bool FieldAndConductivity(RunState& st, int level, double* W, double* K, const char* inUse)
{
    if (!ConductivityAndCurrent(st, level, W, K, inUse, &PrepareNodeDiffusion(st))) return false;
    EngineArrays& a = st.Arr;
    const double I = st.I;
    const double *S = a.S.data(), *kappa = a.Kappa.data();
    double* E = a.E.data();
    ForNodeChunks(st.Engine.Threads, st.LeftWall, st.RightWall, kParallelMinChunk,
                  [&](int clo, int chi, int, int) {
                      for (int j = clo; j <= chi; ++j) E[j] = OhmicField(W, S, kappa, I, j);
                  });
    return true;
}

void DiffusionTerm(const EngineArrays& a, int level, int i, int clo, int chi, double h2, double* Ds,
                   const char* inUse, const double* g)
{
    const int nf = a.Forms(i);
    std::fill(Ds + clo, Ds + chi + 1, 0.0);
    for (int k = 0; k < nf; ++k) {
        if (inUse && !inUse[a.FormOffset[i] + k]) continue;
        const double* D = a.DForm(i, k);
        const double* c = a.CForm(level, i, k);
        if (g) {
            for (int j = clo; j <= chi; ++j)
                Ds[j] += FluxDiffusion(D, g, j, c[j - 1], c[j], c[j + 1]) * h2;
            continue;
        }
        for (int j = clo; j <= chi; ++j) Ds[j] += D[j] * (c[j - 1] - 2 * c[j] + c[j + 1]) * h2;
    }
}

void MigrationTerm(const EngineArrays& a, int level, int i, int clo, int chi, double h1,
                   const double* E, double* G, double* Ms, const char* inUse)
{
    const int zmin = a.ZMin[i], nf = a.Forms(i);
    std::fill(Ms + clo, Ms + chi + 1, 0.0);
    for (int k = 0; k < nf; ++k) {
        const int z = zmin + k;
        if (z == 0 || (inUse && !inUse[a.FormOffset[i] + k])) continue;
        const double sg = z > 0 ? 1.0 : -1.0;
        const double* c = a.CForm(level, i, k);
        const double* u = a.UForm(i, k);
        for (int j = clo - 1; j <= chi + 1; ++j) G[j] = u[j] * c[j] * E[j];
        for (int j = clo; j <= chi; ++j) Ms[j] += sg * (G[j + 1] - G[j - 1]) * h1;
    }
}

void EOFConvectionTerm(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    const int lw = st.LeftWall, rw = st.RightWall;
    const double h1 = 0.5 / st.DX;
    const double v = st.EOFMob * (st.U / (st.CapLength + st.FakeCapLen));
    for (int i = 1; i <= a.NComp; ++i) {
        const double sg = Sign(a.DBase[i]);
        if (sg == 0) continue;
        const double* c = a.C(level, i);
        double* f = a.F(level, i);
        for (int j = lw + 1; j < rw; ++j) f[j] += -v * (c[j + 1] - c[j - 1]) * h1 * sg;
    }
}

void WallTerm(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const int lw = st.LeftWall, rw = st.RightWall;
    if (level > 3) {
        for (int i = 1; i <= nc; ++i) {
            const int zmin = a.ZMin[i], nf = a.Forms(i);
            for (int x : {lw + 1, rw - 1}) {
                double ue = 0;
                const double c = a.C(level, i)[x];
                for (int k = 0; k < nf; ++k) {
                    const int z = zmin + k;
                    if (z == 0 || c == 0) continue;
                    ue += a.CForm(level, i, k)[x] / c * (z > 0 ? 1.0 : -1.0) * a.UForm(i, k)[x];
                }
                a.UEff[i][x] = ue;
            }
        }
    }
    WallRule(st, level);
}

bool WallFollowsNeighbour(const RunState& st, int i, int wall)
{
    const EngineArrays& a = st.Arr;
    if (wall == st.LeftWall) return !(a.UEff[i][wall + 1] * st.I >= 0);
    return !(a.UEff[i][wall - 1] * st.I <= 0);
}

void WallRule(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const int lw = st.LeftWall, rw = st.RightWall;
    for (int i = 1; i <= nc; ++i) {
        double* f = a.F(level, i);
        f[lw] = WallFollowsNeighbour(st, i, lw) ? f[lw + 1] : 0.0;
        f[rw] = WallFollowsNeighbour(st, i, rw) ? f[rw - 1] : 0.0;
    }
}

void StandardScheme(RunState& st, int level, bool fieldOnly)
{
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const int lw = st.LeftWall, rw = st.RightWall;
    const double h1 = 0.5 / st.DX;
    const double h2 = 1 / st.DX / st.DX;
    DerScratch& sc = st.Engine.Scratch<DerScratch>();
    sc.Ensure(a.Nn);

    const char* inUse = FormRowsInUse(st, level, sc.InUse);
    if (fieldOnly) {
        FieldAndConductivity(st, level, sc.W.data(), sc.K.data(), inUse);
        return;
    }
    const NodeDiffusion& nd = PrepareNodeDiffusion(st);
    if (!ConductivityAndCurrent(st, level, sc.W.data(), sc.K.data(), inUse, &nd)) return;

    // Field, then transport: diffusion at the node's own coefficient,
    // migration as the central difference of sign(z) u c E over the
    // neighbours, in one pass over the window. A chunk forms the field of its
    // own nodes into E and, for the neighbours it reads, into its worker's row
    // Ew (the same expression, the same bits), so no chunk waits for another.
    double* Ds = sc.Dsum.data();
    double* Ms = sc.Msum.data();
    double* E = a.E.data();
    const double I = st.I;
    const double *S = a.S.data(), *kappa = a.Kappa.data(), *W = sc.W.data();
    sc.EnsureWorkers(st.Engine.Threads.MaxWorkers(), a.Nn);
    ForNodeChunks(st.Engine.Threads, lw, rw, kParallelMinChunk,
                  [&](int clo, int chi, int, int worker) {
                      const std::size_t row = static_cast<std::size_t>(worker) * a.Nn;
                      double* G = sc.Gw.data() + row;
                      double* Ew = sc.Ew.data() + row;
                      const int tlo = std::max(clo, lw + 1), thi = std::min(chi, rw - 1);
                      const int elo = std::max(clo - 1, lw), ehi = std::min(chi + 1, rw);
                      for (int j = elo; j <= ehi; ++j) Ew[j] = OhmicField(W, S, kappa, I, j);
                      std::copy(Ew + clo, Ew + chi + 1, E + clo);
                      if (tlo > thi) return;
                      for (int i = 1; i <= nc; ++i) {
                          DiffusionTerm(a, level, i, tlo, thi, h2, Ds, inUse, nd.Factor(i));
                          MigrationTerm(a, level, i, tlo, thi, h1, Ew, G, Ms, inUse);
                          double* f = a.F(level, i);
                          for (int j = tlo; j <= thi; ++j) f[j] = Ds[j] - Ms[j];
                      }
                  });

    // Electroosmotic convection of the analytical concentration.
    if (st.cbEOFDif) EOFConvectionTerm(st, level);
    if (KineticTermOn(st)) KineticTerm(st, level, lw, rw);
    if (RacemicTermOn(st)) RacemicTerm(st, level, lw, rw, h1, h2);
    WallTerm(st, level);
    ElectrodeBoundary(st, level, E, nd);
    ReactionAtWalls(st, level);
    if (st.cbDcH) CalcDER_dcH(st, level);
}

namespace {

// The standard mode: a grid too short for the wall differences has no
// transport to compute; derivative levels exist for 1..4 only.
void StandardDerivatives(RunState& st, int level, bool fieldOnly)
{
    if (st.RightWall - st.LeftWall < 2) return;
    StandardScheme(st, level, fieldOnly || level > 4);
}

// Speciation of the level, then the derivatives of the selected mode.
void Derivatives(RunState& st, int level, bool fieldOnly, bool wholeGrid)
{
    EngineArrays& a = st.Arr;
    if (!a.Allocated() || level < 1 || level > 5) return;
    const ModeHooks& mode = SelectedModeHooks(st);
    if (!mode.ownEquilibrium) {
        ClampComputationWindow(st);
        if (!st.ISCorrection) {
            UpdateModeTemperatures(st);
            if (wholeGrid)
                SpeciateWholeGrid(st, level);
            else
                CalcSpeciation(st, level, -1);
        }
        if (st.cbIgnDER) return;
    }
    if (!mode.Derivatives) {
        Unavailable(st, mode.derivativesKey, mode.derivativesUnavailable);
        return;
    }
    mode.Derivatives(st, level, fieldOnly);
    if (mode.dcHAfter && st.cbDcH) CalcDER_dcH(st, level);
}

}  // namespace

ModeHooks StandardModeHooks()
{
    ModeHooks h;
    h.name = "Standard";
    h.Derivatives = StandardDerivatives;
    h.ReactsEverywhere = StandardReactsEverywhere;
    return h;
}

void CalcDER(RunState& st, int level, bool fieldOnly)
{
    Derivatives(st, level, fieldOnly, true);
}

void CalcDERInWindow(RunState& st, int level, bool fieldOnly)
{
    Derivatives(st, level, fieldOnly, !WindowSpeciationExact(st));
}

bool WindowSpeciationExact(const RunState& st)
{
    return !st.ISCorrection && !SelectedModeHooks(st).ownEquilibrium && !ModeTemperatureUpdates(st);
}

void EquilibriumForDerivatives(RunState& st, int level, bool ionicStrength)
{
    if (ionicStrength)
        ISC(st, level, 0);
    else if (WindowSpeciationExact(st))
        Elneut(st, level, 0, -1, false, false);
    else
        Elneut(st, level, 0, -1, true);
}

void CalcDER_dcH(RunState& st, int level)
{
    if (level < 1 || level > 4) return;
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const int lw = st.LeftWall, rw = st.RightWall;
    const double* cH = a.CH(level);
    const double* is = a.IonicStrength(level);
    double* fH = a.F(level, nc + 1);
    for (int j = lw; j <= rw; ++j) {
        double P = 0, Q = 0;
        for (int i = 1; i <= nc; ++i) {
            const double zm = a.ZMean[i][j];
            P += zm * a.F(level, i)[j];
            Q += zm * zm * a.C(level, i)[j];
        }
        fH[j] = -cH[j] * P / (2 * is[j] - Q);
    }
}

void ElectrodeBoundary(RunState& st, int level, const double* field, const NodeDiffusion& nd)
{
    if (!st.cbLE && !st.cbRE) return;
    EngineArrays& a = st.Arr;
    const int nc = a.NComp;
    const int lw = st.LeftWall, rw = st.RightWall;
    const double dx = st.DX;
    // Convective flux of the electroosmotic flow: the interior scheme carries
    // matter at +EOFMob*U/(L + extra length), so the boundary flux does too.
    const double v = st.cbEOFDif ? st.EOFMob * (st.U / (st.CapLength + st.FakeCapLen)) : 0.0;
    auto flux = [&](int i, int x, int from, int to) {
        double J = 0;
        const int nf = a.Forms(i);
        const double* g = nd.Factor(i);
        for (int k = 0; k < nf; ++k) {
            const double* c = a.CForm(level, i, k);
            J += (c[to] - c[from]) * (-NodeD(a.DForm(i, k), g, x)) / dx;
        }
        J += field[x] * a.UEff[i][x] * a.C(level, i)[x];
        if (st.cbEOFDif) J += v * a.C(level, i)[x] * Sign(a.DBase[i]);
        return J;
    };
    for (int i = 1; i <= nc; ++i) {
        if (st.cbLE) a.F(level, i)[lw] = -flux(i, lw + 1, lw, lw + 1) / dx;
        if (st.cbRE) a.F(level, i)[rw] = flux(i, rw - 1, rw - 1, rw) / dx;
    }
}
