#include "engine/modes/split_advection/split_advection_mode.h"

#include <cmath>
#include <string>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/standard_scheme.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

constexpr int kSplitAdvectionMinConstituents = 5;

void StopSplitAdvection(RunState& st, const std::string& message)
{
    st.Stop = true;
    st.NumericalFailure = true;
    WarnOncePerRun(st, "DerSplitAdvection", message);
}

// Positive root of Keq x^2 + b x - c1 = 0 with b = cR Keq + 1 - c1 Keq: the
// share of c1 present as constituent 3. Written as 2 c1 / (b + sqrt(d)) where b
// is not negative (no cancellation, and Keq = 0 gives c1 / b); false when
// there is no real root.
bool SplitOfConstituent1(double c1, double cR, double keq, double& c3)
{
    const double b = cR * keq + 1 - c1 * keq;
    const double d = 4 * keq * c1 + b * b;
    if (!(d >= 0)) return false;
    const double r = std::sqrt(d);
    if (b >= 0) {
        const double den = b + r;
        c3 = den > 0 ? 2 * c1 / den : 0.0;
    } else {
        c3 = (-b + r) * 0.5 / keq;  // b < 0 needs keq != 0
    }
    return std::isfinite(c3);
}

// The composition Init is about to copy: the same conditions on its records.
bool CompositionFits(const RunState& st)
{
    if (st.Composition.Count() < kSplitAdvectionMinConstituents) return false;
    for (int i = 2; i <= 4; ++i) {
        TUnivSet<TComponents>::Node* before = nullptr;
        const auto* node = st.Composition.FindNode(i, before);
        if (!node || node->data.FormCount() < 2) return false;
    }
    return true;
}

bool SplitAdvectionInit(RunState& st, ModeInitStage stage)
{
    if (stage != ModeInitStage::Check || SelectMode(st) != Mode::SplitAdvection) return true;
    if (CompositionFits(st)) return true;
    ShowWarning(kSplitAdvectionConstituents);
    return false;
}

void SplitAdvectionDerivatives(RunState& st, int level, bool)
{
    CalcDER_SplitAdvection(st, level);
}

}  // namespace

bool SplitAdvectionModeFits(const RunState& st)
{
    const EngineArrays& a = st.Arr;
    if (a.NComp < kSplitAdvectionMinConstituents) return false;
    for (int i = 2; i <= 4; ++i)
        if (a.Forms(i) < 2) return false;
    return true;
}

void CalcDER_SplitAdvection(RunState& st, int level)
{
    if (!SplitAdvectionModeFits(st)) {
        StopSplitAdvection(st, kSplitAdvectionConstituents);
        return;
    }
    EngineArrays& a = st.Arr;
    const int lw = st.LeftWall, rw = st.RightWall, nx = a.Nn - 1;
    if (rw - lw < 2) return;
    for (int j = lw; j <= rw; ++j) a.Kappa[j] = 1.0;

    // The velocities are mobilities times the set field; the diffusion
    // (conditioning) mode has no field, so nothing is carried in it.
    const double drive = st.DiffMode ? 0.0 : st.UI / st.CapLength;
    const double w2 = a.UForm(2, 1)[0] * drive;
    const double w3 = a.UForm(3, 1)[0] * drive;
    const double w4 = a.UForm(4, 1)[0] * drive;
    const double keq = st.FakeCapLen * 1000;
    const double h1 = 0.5 / st.DX;
    const double cR = a.C(level, 2)[nx];

    // Fast equilibrium: constituent 1 is present as 3 and 4.
    const double* c1 = a.C(level, 1);
    double* c3 = a.C(level, 3);
    double* c4 = a.C(level, 4);
    for (int j = lw; j <= rw; ++j) {
        double share3;
        if (!SplitOfConstituent1(c1[j], cR, keq, share3)) {
            StopSplitAdvection(st, kSplitAdvectionNoSplit + std::to_string(j) +
                                       ": c1 = " + GeneralFloatText(c1[j]) + kCalculationStopped);
            return;
        }
        c3[j] = share3;
        c4[j] = c1[j] - share3;
    }
    if (level > 4) return;

    // Advection by first differences, no diffusion.
    const double* c2 = a.C(level, 2);
    const double* c5 = a.C(level, 5);
    const double w5 = (cR * keq * w4 + w3) / (cR * keq + 1);
    double* f1 = a.F(level, 1);
    double* f2 = a.F(level, 2);
    double* f3 = a.F(level, 3);
    double* f4 = a.F(level, 4);
    double* f5 = a.F(level, 5);
    for (int j = lw + 1; j < rw; ++j) {
        const double d2 = (c2[j + 1] - c2[j - 1]) * h1;
        const double d3 = (c3[j + 1] - c3[j - 1]) * h1;
        const double d4 = (c4[j + 1] - c4[j - 1]) * h1;
        const double d5 = (c5[j + 1] - c5[j - 1]) * h1;
        f1[j] = -w3 * d3 - w4 * d4;
        f2[j] = -w2 * d2 - w4 * d4;
        f3[j] = -w3 * d3;
        f4[j] = -w4 * d4;
        f5[j] = -w5 * d5;
    }
    for (int i = 1; i <= 2; ++i) a.UEff[i][lw + 1] = a.UEff[i][rw - 1] = 1.0;
    WallRule(st, level);
}

ModeHooks SplitAdvectionModeHooks()
{
    ModeHooks h;
    h.name = "Special";  // the run-setup caption
    h.Init = SplitAdvectionInit;
    h.Derivatives = SplitAdvectionDerivatives;
    return h;
}
