#include "engine/modes/libz/libz_mode.h"

#include <cmath>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/chrom/chrom_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/standard_scheme.h"
#include "engine/step/voltage.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

// Velocity of the electroosmotic flow, m/s: the EOF entry taken as a velocity
// with run setup "vEOF", else EOFMob U / (L + extra length). (The dynamic flow
// of the capillary effects takes precedence over this mode, so it never
// applies here.)
double FlowVelocity(const RunState& st)
{
    if (st.cbVEOF) return st.EOFMob * 1e9;
    return st.EOFMob * st.U / (st.CapLength + st.FakeCapLen);
}

// The composition Init is about to copy: at least 2 constituents, the first
// with -1 as its lowest charge.
bool CompositionFits(const RunState& st)
{
    if (st.Composition.Count() < 2) return false;
    TUnivSet<TComponents>::Node* before = nullptr;
    const auto* node = st.Composition.FindNode(1, before);
    return node && node->data.minCharge == -1;
}

bool LiBzInit(RunState& st, ModeInitStage stage)
{
    if (stage != ModeInitStage::Check || SelectMode(st) != Mode::LiBz || CompositionFits(st))
        return true;
    ShowWarning(kLiBzModeConstituents);
    return false;
}

void LiBzDerivatives(RunState& st, int level, bool)
{
    CalcDER_LiBz(st, level);
}

}  // namespace

void CalcDER_LiBz(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    if (a.NComp < 2) {
        st.Stop = true;
        st.NumericalFailure = true;
        return;
    }
    if (a.ZMin[1] != -1) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "DerLiBz", kLiBzModeConstituents);
        return;
    }
    const int lw = st.LeftWall, rw = st.RightWall, nx = a.Nn - 1;
    if (rw - lw < 2) return;
    const double h1 = 0.5 / st.DX;
    const double h2 = 1 / st.DX / st.DX;

    // Conductivity of the interior nodes (with the additional conductivity),
    // copied to the two ends of the grid; then voltage and current.
    ConductivityRows& sc = st.Engine.Scratch<ConductivityRows>();
    sc.Ensure(a.Nn);
    double* kappa = a.Kappa.data();
    ConductivityTerm(st, level, lw + 1, rw - 1, h1, sc.W.data(), sc.K.data(), kappa);
    if (st.AddCond > 0)
        for (int j = lw + 1; j < rw; ++j) kappa[j] += st.AddCond;
    kappa[0] = kappa[1];
    kappa[nx] = kappa[nx - 1];
    if (!CalcVoltageCurrent(st)) return;

    const double* anion = a.CForm(level, 1, 0);
    const double* neutral = a.CForm(level, 1, 1);
    double* T2 = a.T(2);
    for (int j = lw; j <= rw; ++j) T2[j] = 0.036 * neutral[j] + 0.0017 * anion[j] + 273.15;
    if (level > 4) return;

    const double v = std::fabs(FlowVelocity(st));
    const double Kw = ActiveKw(st);
    const double* ca = a.C(level, 1);
    const double* cb = a.C(level, 2);
    const double* cg = a.NComp >= 3 ? a.C(level, 3) : nullptr;  // no capacity without constituent 3
    const double* Kd = a.KForm(1, 0);
    const double* D = a.DForm(1, 0);
    const double* cH = a.CH(level);
    double* f1 = a.F(level, 1);
    double* f2 = a.F(level, 2);
    double* E = a.E.data();
    for (int j = lw + 1; j < rw; ++j) {
        const double g = cg ? cg[j] : 0.0;
        const double K = Kd[j], h = cH[j], c = ca[j];
        const double F1 = D[j] * (ca[j + 1] - 2 * c + ca[j - 1]) * h2;
        const double F2 =
            D[j] * (cb[j + 1] - 2 * cb[j] + cb[j - 1]) * h2 - v * (cb[j + 1] - cb[j - 1]) * h1;
        // Binding of constituent 1 to the capacity g, with its pH dependence.
        const double alpha = K / (K + h);
        const double q = 0.05 * h;
        const double freeSites = g / (q * c / (h + K) + 1);
        const double X = q * freeSites / (q * c + h + K);
        const double Y = 0.05 * freeSites * c * alpha / (q * c + h + K);
        const double Z = Kw / h / h + 1 + (c * K / (K + h)) / (K + h);
        const double R = 1 + X + Y * alpha / Z;
        f2[j] = F2;
        f1[j] = F1 / R + (Y / Z / R) * F2 - (v / R) * (ca[j + 1] - ca[j - 1]) * h1;
        E[j] = (c + g - freeSites) * 1000;
    }
    E[lw] = E[lw + 1];
    E[rw] = E[rw - 1];
    FlowWalls(st, level);
}

ModeHooks LiBzModeHooks()
{
    ModeHooks h;
    h.name = "LiBz";
    h.Init = LiBzInit;
    h.Derivatives = LiBzDerivatives;
    return h;
}
