#include "engine/modes/racemic/racemic_mode.h"

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"

namespace {

constexpr const char* kTooFewConstituents = "Racemic Mode requires at least 4 constituents.";
constexpr int kMinConstituents = 4;

// Fewer than four constituents leave no carrier of the rates: the run stops.
bool EnoughConstituents(RunState& st)
{
    if (st.Arr.NComp >= kMinConstituents) return true;
    st.Stop = true;
    st.NumericalFailure = true;
    WarnOncePerRun(st, "Racemic4", kTooFewConstituents);
    return false;
}

// Interconversion of constituents 2 and 3 at the interior nodes: the free
// forms at kF, the bound ones at kB2 (2 -> 3) and kB3 (3 -> 2). Whichever of
// the two is the selector itself keeps its derivative.
void Interconversion(RunState& st, int level, int m)
{
    EngineArrays& a = st.Arr;
    const TComponents& carrier = st.CompInit.IndexAddress(4)->data;
    const double kF = carrier.c, kB2 = carrier.cInj, kB3 = carrier.uMicA;
    const double* c2 = a.C(level, 2);
    const double* c3 = a.C(level, 3);
    const double* mb2 = a.MicBound[2];
    const double* mb3 = a.MicBound[3];
    double* f2 = a.F(level, 2);
    double* f3 = a.F(level, 3);
    for (int j = st.LeftWall + 1; j < st.RightWall; ++j) {
        const double r = kF * ((c2[j] - mb2[j]) - (c3[j] - mb3[j])) + kB2 * mb2[j] - kB3 * mb3[j];
        if (m != 2) f2[j] -= r;
        if (m != 3) f3[j] += r;
    }
}

void RacemicDerivatives(RunState& st, int level, bool fieldOnly)
{
    MicellarVariant v;
    v.flowTerm = false;
    v.addTerm = Interconversion;
    v.check = EnoughConstituents;
    MicellarScheme(st, level, fieldOnly, v);
}

// Init: a composition of fewer than four constituents is refused before
// anything changes (a loader's Init goes on: the run stops at its first
// step). The selector is the micellar window's constituent; without micellar
// mode the racemic mode takes its set-up and CMC profile itself.
bool RacemicInit(RunState& st, ModeInitStage stage)
{
    switch (stage) {
    case ModeInitStage::Check:
        if (!st.Loading && st.Composition.Count() < kMinConstituents) {
            ShowWarning(kTooFewConstituents);
            return false;
        }
        return true;
    case ModeInitStage::Switches: return st.cbSDS || MicellarSetupAccepted(st);
    case ModeInitStage::Arrays:
        if (!st.cbSDS) InitCMCProfile(st);
        return true;
    case ModeInitStage::Profiles: return true;
    }
    return true;
}

// The main window's switch is taken at Init.
void RacemicTakeSwitches(RunState& st)
{
    st.RacemicAtInit = st.cbRacemic;
}

}  // namespace

ModeHooks RacemicModeHooks()
{
    ModeHooks h;
    h.name = "Racemic";
    h.Init = RacemicInit;
    h.Derivatives = RacemicDerivatives;
    h.derivativesKey = "DerRacemic";
    h.TakeSwitches = RacemicTakeSwitches;
    return h;
}
