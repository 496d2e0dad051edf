#include "engine/modes/chrom/chrom_mode.h"

#include <cmath>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"

namespace {

// Hydrogen-ion concentration of every node and level while the mode is on, mM.
constexpr double kChromCH = 1e-4;

bool ArraysFit(const EngineArrays& a)
{
    return a.NComp >= 2 && a.ZMin[1] == -1 && a.ZMin[2] == -1;
}

// The composition Init is about to copy: the same condition on its records.
bool CompositionFits(const RunState& st)
{
    if (st.Composition.Count() < 2) return false;
    for (int i = 1; i <= 2; ++i) {
        TUnivSet<TComponents>::Node* before = nullptr;
        const auto* node = st.Composition.FindNode(i, before);
        if (!node || node->data.minCharge != -1) return false;
    }
    return true;
}

// Refuses a composition the mode cannot work on (keeping the previous run);
// while the mode computes, the speciation is at pH 7, since the
// electroneutrality solve is off. A mode before it in precedence keeps its
// equilibrium.
bool ChromInit(RunState& st, ModeInitStage stage)
{
    if (stage == ModeInitStage::Check) {
        if (SelectMode(st) != Mode::Chrom || CompositionFits(st)) return true;
        ShowWarning(kChromModeConstituents);
        return false;
    }
    if (stage == ModeInitStage::Arrays && SelectMode(st) == Mode::Chrom) {
        EngineArrays& a = st.Arr;
        for (int l = 1; l <= 5; ++l) {
            double* cH = a.CH(l);
            for (int j = 0; j < a.Nn; ++j) cH[j] = kChromCH;
        }
    }
    return true;
}

void ChromDerivatives(RunState& st, int level, bool)
{
    CalcDER_Chrom(st, level);
}

// The model has no acid-base equilibrium: nothing is solved or counted while
// the mode computes (a mode before it in precedence solves its own).
void ChromEquilibrium(RunState&, int, int, int, bool) {}

// No conductivity and a fixed cH at every node and level.
void ChromProfiles(RunState& st)
{
    EngineArrays& a = st.Arr;
    for (int j = 0; j <= st.NX; ++j) {
        a.Kappa[j] = 1.0;
        for (int l = 1; l <= 5; ++l) a.CH(l)[j] = kChromCH;
    }
}

}  // namespace

void FlowWalls(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    const int lw = st.LeftWall, rw = st.RightWall;
    for (int i = 1; i <= a.NComp; ++i) {
        double* f = a.F(level, i);
        f[lw] = 0.0;
        f[rw] = f[rw - 1];
    }
}

void CalcDER_Chrom(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    if (!ArraysFit(a)) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "DerChrom", kChromModeConstituents);
        return;
    }
    const int lw = st.LeftWall, rw = st.RightWall;
    if (rw - lw < 2 || level > 4) return;
    const double v = std::fabs(st.EOFMob * 1e9);
    const double a1 = a.UForm(1, 0)[0] * 1e9, a2 = a.UForm(2, 0)[0] * 1e9;
    const double K1 = a.PKaForm(1, 0)[0], K2 = a.PKaForm(2, 0)[0];
    const double h1 = 0.5 / st.DX;
    const double* c1 = a.C(level, 1);
    const double* c2 = a.C(level, 2);
    double* f1 = a.F(level, 1);
    double* f2 = a.F(level, 2);
    for (int j = lw + 1; j < rw; ++j) {
        // Competitive Langmuir denominators at the two neighbours.
        const double dm = K2 * c2[j - 1] + K1 * c1[j - 1] + 1;
        const double dp = K2 * c2[j + 1] + K1 * c1[j + 1] + 1;
        f1[j] = -v * ((1 - a1 * K1 / dp) * c1[j + 1] - (1 - a1 * K1 / dm) * c1[j - 1]) * h1;
        f2[j] = -v * ((1 - a2 * K2 / dp) * c2[j + 1] - (1 - a2 * K2 / dm) * c2[j - 1]) * h1;
    }
    FlowWalls(st, level);
}

ModeHooks ChromModeHooks()
{
    ModeHooks h;
    h.name = "Chrom";
    h.Init = ChromInit;
    h.Derivatives = ChromDerivatives;
    h.Equilibrium = ChromEquilibrium;
    h.ProfilesComputed = ChromProfiles;
    return h;
}
