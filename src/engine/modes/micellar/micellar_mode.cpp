#include "engine/modes/micellar/micellar_mode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/node_diffusion.h"
#include "engine/step/node_threads.h"
#include "engine/step/run_series.h"
#include "engine/step/standard_scheme.h"
#include "engine/step/voltage.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

// Caption of the micellar window's constituent-number label.
constexpr const char* kMicConstituentCaption = "Mic. Constituent No.";

std::string IndexMessage()
{
    return std::string("Incorrect index number of micellizing constituent defined by \"") +
           kMicConstituentCaption + "\".";
}
constexpr const char* kValencyMessage = "Incorrect valency of micellizing constituent.";

inline double Sign(double v)
{
    return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0);
}

bool Monovalent(int minCharge, int maxCharge)
{
    return (maxCharge == 1 && minCharge == 0) || (maxCharge == 0 && minCharge == -1);
}

// Work rows of one call, kept in the run's engine context.
struct MicellarWork {
    std::vector<double> A, B, W, K;   // per node
    std::vector<double> Kb, DM, uM;   // per constituent: binding (1/mM), D and u of its complex
    std::vector<double> b;            // per constituent: binding concentration at one node
    std::vector<const double*> bRow;  // per constituent: the row it binds with (C_0 or C_T)
    // Per constituent and node: the free share 1/(K x + 1) of each form of a
    // binder whose every form binds (C_T, a binder with charged forms).
    std::vector<double> free;
    void Ensure(int nn, int nc)
    {
        for (std::vector<double>* v : {&A, &B, &W, &K})
            if (static_cast<int>(v->size()) < nn) v->assign(nn, 0.0);
        const std::size_t cells = (static_cast<std::size_t>(nc) + 1) * static_cast<std::size_t>(nn);
        if (free.size() < cells) free.assign(cells, 1.0);
        for (std::vector<double>* v : {&Kb, &DM, &uM, &b})
            v->assign(static_cast<std::size_t>(nc) + 1, 0.0);
        bRow.assign(static_cast<std::size_t>(nc) + 1, nullptr);
    }
};

// Stops the run: a derivative that cannot be formed leaves the step unaccepted.
void StopRun(RunState& st, const std::string& key, const std::string& message)
{
    st.Stop = true;
    st.NumericalFailure = true;
    WarnOncePerRun(st, key, message);
}

// The set-up as the run's arrays see it, checked at every call: the CMC
// profile and the micellar rows exist for this grid, the surfactant number
// names a monovalent constituent of the run, the aggregation number is at
// least 1. Returns the surfactant number, 0 when the run has been stopped.
int CheckedSurfactant(RunState& st)
{
    const EngineArrays& a = st.Arr;
    const bool arrays = MicellarProfileReady(st) && static_cast<int>(a.CMCProfile.size()) == a.Nn &&
                        static_cast<int>(a.MicConc.size()) == a.Nn &&
                        static_cast<int>(a.MicFree.size()) == a.Nn &&
                        a.MicBound.Rows() == a.NComp + 1 && a.MicBound.Cols() == a.Nn;
    if (!arrays) {
        StopRun(st, "PressINIT", "Press INIT");
        return 0;
    }
    const int m = st.MicCompNo;
    if (m < 1 || m > a.NComp) {
        StopRun(st, "MicIndex", IndexMessage());
        return 0;
    }
    if (!Monovalent(a.ZMin[m], a.ZMax[m])) {
        StopRun(st, "MicValency", kValencyMessage);
        return 0;
    }
    if (st.OM < 1) {
        StopRun(st, "MicOM", kMicAggregationNumber);
        return 0;
    }
    return m;
}

// Free micelles x at a node: the root of
// g(x) = x - B + sum Ki bi x / (Ki x + 1) by Newton's method from `start`.
double FreeMicelles(const RunState& st, const MicellarWork& w, const double* b, int nc, int m,
                    double B, double start)
{
    double x = start == 0.0 ? 1e-20 : start;
    double a = std::abs(x);
    const int itMax = std::max(1, st.ItNew);
    for (int it = 1;; ++it) {
        double g = x - B, gp = 1.0;
        for (int i = 1; i <= nc; ++i) {
            if (i == m || w.Kb[i] == 0.0) continue;
            const double d = w.Kb[i] * x + 1.0;
            g += w.Kb[i] * b[i] * x / d;
            gp += w.Kb[i] * b[i] / (d * d);
        }
        double xn = x - g / gp;
        if (!(xn >= 0.0)) {
            // A negative (or undefined) iterate restarts closer to zero; the
            // iteration ends with the last non-negative one when that fails.
            a *= 0.001;
            if (a < 1e-50) return x;
            xn = a;
        }
        const double change = x > 1.0 ? std::abs(x - xn) / x : std::abs(x - xn);
        x = xn;
        if (change <= st.EpsNew || it >= itMax) return x;
    }
}

// Per-constituent binding constant (1/mM), complex mobility and complex
// diffusion coefficient of the run.
void TakeConstants(const RunState& st, MicellarWork& w, int nc, double zM, double mult)
{
    int i = 1;
    for (const auto* node = st.CompInit.Head(); node && i <= nc; node = node->next, ++i) {
        const TComponents& c = node->data;
        w.Kb[i] = c.pKMicA < 30.0 ? std::pow(10.0, -c.pKMicA - 3.0) : 0.0;
        w.uM[i] = c.uMicA * 1e-9;
        w.DM[i] = w.uM[i] * kGasConstant * st.Temperature / std::abs(zM) / kFaraday * mult;
    }
}

}  // namespace

MicellarModeState& MicellarState(RunState& st)
{
    return st.Engine.ModeState<MicellarModeState>();
}
bool MicellarProfileReady(const RunState& st)
{
    return st.Engine.ModeState<MicellarModeState>().profileReady;
}

bool MicellarSetupAccepted(const RunState& st)
{
    const int m = st.MicCompNo;
    if (m < 1 || m > st.Composition.Count()) {
        ShowWarning(IndexMessage());
        return false;
    }
    const auto* node = st.Composition.Head();
    for (int k = 1; k < m && node; ++k) node = node->next;
    if (!node || !Monovalent(node->data.minCharge, node->data.maxCharge)) {
        ShowWarning(kValencyMessage);
        return false;
    }
    if (st.OM < 1) {
        ShowWarning(kMicAggregationNumber);
        return false;
    }
    return true;
}

void InitCMCProfile(RunState& st)
{
    EngineArrays& a = st.Arr;
    RunSeries& s = st.Series;
    const int nn = st.NX + 1;
    a.CMCProfile.assign(static_cast<std::size_t>(nn), st.CMC);
    for (ChartSeries* p : {&s.sr_CMC, &s.sr_mic, &s.sr_MicDye}) p->Clear();
    for (int i = 0; i < nn; ++i) {
        const double x = NodeX(st, i);
        s.sr_CMC.Add(x, st.cbRacemic ? 0.0 : a.CMCProfile[static_cast<std::size_t>(i)]);
        s.sr_mic.Add(x, 0.0);
        s.sr_MicDye.Add(x, 0.0);
    }
    if (a.Allocated()) a.AllocateMicellar();
    MicellarState(st).profileReady = true;
}

void MicellesFromDrawnProfile(RunState& st)
{
    const EngineArrays& a = st.Arr;
    ChartSeries& mic = st.Series.sr_mic;
    const int nn = a.Nn, m = st.MicCompNo;
    if (!st.cbSDS || !MicellarProfileReady(st) || static_cast<int>(a.CMCProfile.size()) != nn)
        return;
    if (mic.Count() != nn || m < 1 || m >= a.DrawnProfile.Rows() || a.DrawnProfile.Cols() != nn ||
        st.OM < 1)
        return;
    const double* sv = a.DrawnProfile[m];
    for (int j = 0; j < nn; ++j)
        mic.y[j] = sv[j] <= a.CMCProfile[j] ? 0.0 : (sv[j] - a.CMCProfile[j]) / st.OM;
}

void RedrawMicelleSeries(RunState& st)
{
    const EngineArrays& a = st.Arr;
    RunSeries& s = st.Series;
    const int nn = a.Nn;
    if (!st.cbSDS || !MicellarProfileReady(st) || static_cast<int>(a.CMCProfile.size()) != nn)
        return;
    if (s.sr_mic.Count() != nn || s.sr_MicDye.Count() != nn || s.sr_CMC.Count() != nn) return;
    MicellesFromDrawnProfile(st);
    const bool bound = a.NComp >= 2 && a.MicBound.Rows() > 2 && a.MicBound.Cols() == nn;
    for (int j = 0; j < nn; ++j) s.sr_MicDye.y[j] = bound ? a.MicBound[2][j] : 0.0;
    if (a.NComp > 3 && st.cbRacemic)
        for (int j = 0; j < nn; ++j) s.sr_CMC.y[j] = a.C(2, 2)[j] + a.C(2, 3)[j];
}

void MicellarScheme(RunState& st, int level, bool fieldOnly, const MicellarVariant& variant)
{
    EngineArrays& a = st.Arr;
    if (st.RightWall - st.LeftWall < 2) return;
    const int m = CheckedSurfactant(st);
    if (m == 0) return;
    if (variant.check && !variant.check(st)) return;
    fieldOnly = fieldOnly || level > 4;

    const int nc = a.NComp, nn = a.Nn;
    const int lw = st.LeftWall, rw = st.RightWall;
    const double h1 = 0.5 / st.DX, h2 = 1.0 / st.DX / st.DX;
    MicellarWork& w = st.Engine.Scratch<MicellarWork>();
    w.Ensure(nn, nc);

    // Surfactant and micelle constants.
    const int zS = a.ZMin[m] + a.ZMax[m];
    const int ci = zS == -1 ? 0 : 1;
    const int zc = a.ZMin[m] + ci;
    const double zM = static_cast<double>(st.OM) * zS;
    const double sM = Sign(zM), sS = Sign(zS);
    const double mult = st.RedDiff ? st.DiffMultiplier : 1.0;
    const double DMic = st.MicMob * kGasConstant * st.Temperature / std::abs(zM) / kFaraday * mult;
    TakeConstants(st, w, nc, zM, mult);

    const double* cS = a.C(level, m);
    const double* cSc = a.CForm(level, m, ci);
    const double* cmc = a.CMCProfile.data();
    double* A = w.A.data();
    double* B = w.B.data();
    double* mono = a.MicConc.data();
    double* x = a.MicFree.data();

    // Surfactant state: micelles above the CMC, monomer up to it.
    for (int j = lw; j <= rw; ++j) {
        if (cS[j] <= cmc[j]) {
            B[j] = 0.0;
            mono[j] = cS[j];
        } else {
            B[j] = (cS[j] - cmc[j]) / st.OM;
            mono[j] = cmc[j];
        }
        A[j] = cS[j] > 0 ? cSc[j] / cS[j] : 0.0;
    }

    // Free micelles and the bound parts, node by node (each node's Newton
    // starts from the result of the node before).
    std::vector<const double*>& bRow = w.bRow;
    for (int i = 1; i <= nc; ++i) bRow[i] = st.rbC0 ? a.CForm(level, i, -a.ZMin[i]) : a.C(level, i);
    // Under C_T the analytical concentration binds: every form of a binder
    // with charged forms gives the bound amount in proportion, so each keeps
    // the free share 1/(K x + 1) in transport and conductivity (its effective
    // mobility says the same). A neutral binder's free part stays c - bound.
    auto shares = [&](int i) { return !st.rbC0 && i != m && i <= nc && a.Forms(i) > 1; };
    auto freeRow = [&](int i) {
        return w.free.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(nn);
    };
    std::vector<double>& bj = w.b;
    double previous = 1e-5;
    for (int j = lw; j <= rw; ++j) {
        if (nc < 2) {
            x[j] = B[j];
        } else if (B[j] == 0.0) {
            x[j] = 0.0;
        } else {
            for (int i = 1; i <= nc; ++i) bj[i] = bRow[i][j];
            x[j] = FreeMicelles(st, w, bj.data(), nc, m, B[j], j == lw ? 1e-5 : previous);
        }
        previous = x[j];
        for (int i = 1; i <= nc; ++i) {
            if (i == m) continue;
            const double d = w.Kb[i] * x[j] + 1.0;
            if (shares(i)) freeRow(i)[j] = 1.0 / d;
            a.MicBound[i][j] = x[j] * w.Kb[i] * bRow[i][j] / d;
            const double theta = x[j] * w.Kb[i] / d;
            const double uBound = sM * w.uM[i] * A[j];
            if (st.rbC0)
                a.UEff[i][j] += theta * uBound;
            else
                a.UEff[i][j] += theta * (uBound - a.UEff[i][j]);
        }
    }

    // The coefficients of the constituents' forms at the node temperatures
    // (the micelles' and complexes' stay at the set temperature).
    const NodeDiffusion& nd = PrepareNodeDiffusion(st);

    // Conductivity and diffusion-current sum at the interior nodes.
    double* W = w.W.data();
    double* K = w.K.data();
    double* kappa = a.Kappa.data();
    const double* gS = nd.Factor(m);
    ForNodeChunks(
        st.Engine.Threads, lw + 1, rw - 1, kParallelMinChunk, [&](int lo, int hi, int, int) {
            for (int j = lo; j <= hi; ++j) {
                double wj = 0.0, kj = 0.0;
                for (int i = 1; i <= nc + 2; ++i) {
                    if (i == m) continue;
                    const int zmin = a.ZMin[i], nf = a.Forms(i);
                    const double* fr = shares(i) ? freeRow(i) : nullptr;
                    const double* g = nd.Factor(i);
                    for (int k = 0; k < nf; ++k) {
                        const int z = zmin + k;
                        if (z == 0) continue;
                        const double* c = a.CForm(level, i, k);
                        if (fr) {
                            wj += DiffusionCurrent(z, a.DForm(i, k), g, j, fr[j - 1] * c[j - 1],
                                                   fr[j + 1] * c[j + 1]) *
                                  h1;
                            kj += std::abs(z) * a.UForm(i, k)[j] * fr[j] * c[j];
                            continue;
                        }
                        wj += DiffusionCurrent(z, a.DForm(i, k), g, j, c[j - 1], c[j + 1]) * h1;
                        kj += std::abs(z) * a.UForm(i, k)[j] * c[j];
                    }
                    if (i > nc) continue;
                    const double* mb = a.MicBound[i];
                    wj += zM * w.DM[i] * (A[j + 1] * mb[j + 1] - A[j - 1] * mb[j - 1]) * h1;
                    kj += std::abs(zM) * w.uM[i] * A[j] * mb[j];
                }
                wj += DiffusionCurrent(zS, a.DForm(m, ci), gS, j, A[j - 1] * mono[j - 1],
                                       A[j + 1] * mono[j + 1]) *
                          h1 +
                      zM * DMic * (A[j + 1] * x[j + 1] - A[j - 1] * x[j - 1]) * h1;
                kj += std::abs(zM) * st.MicMob * A[j] * x[j] +
                      std::abs(zc) * a.UForm(m, ci)[j] * A[j] * mono[j];
                W[j] = wj;
                K[j] = kj;
                kappa[j] = kFaraday * kj;
            }
        });
    W[lw] = W[lw + 1];
    W[rw] = W[rw - 1];
    kappa[lw] = kappa[lw + 1];
    kappa[rw] = kappa[rw - 1];

    AddAdditionalConductivity(st);
    if (!CalcVoltageCurrent(st)) return;
    // The field corrected by the diffusion current; the field profile of the
    // run (heating, detector, chart) is this one too.
    double* E = a.E.data();
    const double* S = a.S.data();
    for (int j = lw; j <= rw; ++j) E[j] = (kFaraday * W[j] + st.I / S[j]) / kappa[j];
    if (fieldOnly) return;

    // Transport. V(n): velocity-weighted surfactant that migrates at node n.
    auto L = [&](const double* y, int j) { return (y[j - 1] - 2.0 * y[j] + y[j + 1]) * h2; };
    auto V = [&](int n) {
        double v = sS * a.UForm(m, ci)[n] * mono[n] + sM * st.OM * st.MicMob * x[n];
        for (int i = 1; i <= nc; ++i)
            if (i != m) v += sM * w.uM[i] * a.MicBound[i][n];
        return v;
    };
    const double* Dm = a.DForm(m, ci);
    ForNodeChunks(
        st.Engine.Threads, lw + 1, rw - 1, kParallelMinChunk, [&](int lo, int hi, int, int) {
            for (int j = lo; j <= hi; ++j) {
                const double monoDiffusion =
                    gS ? FluxDiffusion(Dm, gS, j, mono[j - 1], mono[j], mono[j + 1]) * h2
                       : Dm[j] * L(mono, j);
                double fm = monoDiffusion + st.OM * DMic * L(x, j) -
                            V(j + 1) * A[j + 1] * E[j + 1] * h1 +
                            V(j - 1) * A[j - 1] * E[j - 1] * h1;
                for (int i = 1; i <= nc; ++i) {
                    if (i == m) continue;
                    const int zmin = a.ZMin[i], nf = a.Forms(i), k0 = -zmin;
                    const double* mb = a.MicBound[i];
                    const double* fr = shares(i) ? freeRow(i) : nullptr;
                    const double* g = nd.Factor(i);
                    double f = 0.0;
                    for (int k = 0; k < nf; ++k) {
                        const double* c = a.CForm(level, i, k);
                        const double* D = a.DForm(i, k);
                        if (fr) {
                            // the free share of the form: f c
                            const double cm = fr[j - 1] * c[j - 1], c0 = fr[j] * c[j],
                                         cp = fr[j + 1] * c[j + 1];
                            f += g ? FluxDiffusion(D, g, j, cm, c0, cp) * h2
                                   : D[j] * (cm - 2.0 * c0 + cp) * h2;
                            if (k == k0) continue;
                            const double* u = a.UForm(i, k);
                            f -= Sign(zmin + k) *
                                 (u[j + 1] * cp * E[j + 1] - u[j - 1] * cm * E[j - 1]) * h1;
                            continue;
                        }
                        if (k == k0) {
                            // the free part of the neutral form
                            f += g ? FluxDiffusion(D, g, j, c[j - 1] - mb[j - 1], c[j] - mb[j],
                                                   c[j + 1] - mb[j + 1]) *
                                         h2
                                   : D[j] *
                                         ((c[j - 1] - mb[j - 1]) - 2.0 * (c[j] - mb[j]) +
                                          (c[j + 1] - mb[j + 1])) *
                                         h2;
                            continue;
                        }
                        const double* u = a.UForm(i, k);
                        f += (g ? FluxDiffusion(D, g, j, c[j - 1], c[j], c[j + 1]) * h2
                                : D[j] * L(c, j)) -
                             Sign(zmin + k) *
                                 (u[j + 1] * c[j + 1] * E[j + 1] - u[j - 1] * c[j - 1] * E[j - 1]) *
                                 h1;
                    }
                    const double bound =
                        (mb[j + 1] * A[j + 1] * E[j + 1] - mb[j - 1] * A[j - 1] * E[j - 1]) * h1;
                    f += w.DM[i] * L(mb, j) - sM * w.uM[i] * bound;
                    fm += st.OM * w.DM[i] * L(mb, j) - sM * st.OM * st.MicMob * bound;
                    a.F(level, i)[j] = f;
                }
                a.F(level, m)[j] = fm;
            }
        });

    // Electroosmotic flow of the analytical concentrations.
    const bool eofDif = st.cbEOFDif, flow = !eofDif && variant.flowTerm && st.cbFlow;
    if (eofDif || flow) {
        const double v = eofDif ? st.EOFMob * (st.U / st.CapLength) : st.EOFMob * 1e9;
        for (int i = 1; i <= nc; ++i) {
            const double* c = a.C(level, i);
            double* f = a.F(level, i);
            for (int j = lw + 1; j < rw; ++j) f[j] += -v * (c[j + 1] - c[j - 1]) * h1;
        }
    }
    if (variant.addTerm) variant.addTerm(st, level, m);

    // First step of the starter: effective mobilities next to the walls from
    // this level, bound part included (none where the neutral form is absent).
    if (level > 3) {
        for (int i = 1; i <= nc; ++i) {
            const int zmin = a.ZMin[i], nf = a.Forms(i), k0 = -zmin;
            const bool shared = shares(i);
            for (int n : {lw + 1, rw - 1}) {
                const double cN = a.CForm(level, i, k0)[n];
                const double c = a.C(level, i)[n];
                double ue;
                if (shared) {
                    // bound share of the total, free share of each form
                    const double fr = freeRow(i)[n];
                    ue = c != 0 ? sM * a.MicBound[i][n] / c * w.uM[i] * A[n] : 0.0;
                    for (int k = 0; k < nf; ++k)
                        if (k != k0 && c != 0)
                            ue += fr * a.CForm(level, i, k)[n] / c * Sign(zmin + k) *
                                  a.UForm(i, k)[n];
                    a.UEff[i][n] = ue;
                    continue;
                }
                ue = cN > 0 ? sM * a.MicBound[i][n] / cN * w.uM[i] * A[n] : 0.0;
                for (int k = 0; k < nf; ++k)
                    if (k != k0 && c != 0)
                        ue += a.CForm(level, i, k)[n] / c * Sign(zmin + k) * a.UForm(i, k)[n];
                a.UEff[i][n] = ue;
            }
        }
    }
    WallRule(st, level);
    if (variant.wallTerm) variant.wallTerm(st, level, m);
}

namespace {

// The micellar set-up is taken at Init: a refused set-up keeps the previous
// run (it is checked before anything of the run changes); the CMC profile and
// the micellar arrays come with the engine arrays.
bool MicellarInit(RunState& st, ModeInitStage stage)
{
    if (stage == ModeInitStage::Check) return MicellarSetupAccepted(st);
    if (stage == ModeInitStage::Switches) {
        st.SDSAtInit = true;
    } else if (stage == ModeInitStage::Arrays) {
        InitCMCProfile(st);
    }
    return true;
}

void MicellarDerivatives(RunState& st, int level, bool fieldOnly)
{
    MicellarScheme(st, level, fieldOnly, MicellarVariant{});
}

// The switch is taken at Init (set when the set-up was accepted).
void MicellarTakeSwitches(RunState& st)
{
    st.SDSAtInit = false;
}

// A sequence with micelles is shown with the micelle series, whatever the switch.
void MicellarBuilt(RunState& st)
{
    if (st.Loading && st.PsqPlayerMicelles && !MicellarProfileReady(st)) InitCMCProfile(st);
}

// A sequence frame: an older one without micelles shows them from the
// surfactant's drawn profile (unless the micellar window ignores what files
// bring); a recorded one brings them, on the CMC profile of the frame's grid.
void MicellarSequenceFrame(RunState& st, int nodes, const double* micelles, const double* bound)
{
    RunSeries& s = st.Series;
    if (!micelles || !bound) {
        if (!st.cbIngoreSNA) MicellesFromDrawnProfile(st);
        return;
    }
    if (s.sr_mic.Count() != nodes || s.sr_MicDye.Count() != nodes) InitCMCProfile(st);
    if (s.sr_mic.Count() == nodes && s.sr_MicDye.Count() == nodes) {
        std::copy_n(micelles, nodes, s.sr_mic.y.begin());
        std::copy_n(bound, nodes, s.sr_MicDye.y.begin());
    }
}

void MicellarReset(RunState& st)
{
    MicellarState(st).profileReady = false;
}

// Without its CMC profile the mode computes nothing and the clock stands still.
bool MicellarClockHeld(const RunState& st)
{
    return !MicellarProfileReady(st);
}

}  // namespace

ModeHooks MicellarModeHooks()
{
    ModeHooks h;
    h.name = "Micellar";
    h.Init = MicellarInit;
    h.Derivatives = MicellarDerivatives;
    h.derivativesKey = "DerSDS";
    h.dcHAfter = true;
    h.TakeSwitches = MicellarTakeSwitches;
    h.Built = MicellarBuilt;
    h.Reset = MicellarReset;
    h.SequenceFrame = MicellarSequenceFrame;
    h.ClockHeld = MicellarClockHeld;
    h.Redraw = RedrawMicelleSeries;
    return h;
}
