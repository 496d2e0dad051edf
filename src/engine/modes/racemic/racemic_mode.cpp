#include "engine/modes/racemic/racemic_mode.h"

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/standard_scheme.h"
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

// The rates of the conversion, carried by constituent 4: kF of the free
// forms, kB2 (2 -> 3) and kB3 (3 -> 2) of the bound ones.
struct ConversionRates {
    double kF, kB2, kB3;
};

ConversionRates RatesOf(const RunState& st)
{
    const TComponents& carrier = st.CompInit.IndexAddress(4)->data;
    return {carrier.c, carrier.cInj, carrier.uMicA};
}

// Rate of the conversion 2 -> 3 at node j of `level`: the free forms at kF,
// the bound ones at kB2 (2 -> 3) and kB3 (3 -> 2).
struct Conversion {
    ConversionRates k;
    const double *c2, *c3, *mb2, *mb3;
    Conversion(const RunState& st, int level)
        : k(RatesOf(st)),
          c2(st.Arr.C(level, 2)),
          c3(st.Arr.C(level, 3)),
          mb2(st.Arr.MicBound[2]),
          mb3(st.Arr.MicBound[3])
    {
    }
    double operator()(int j) const
    {
        return k.kF * ((c2[j] - mb2[j]) - (c3[j] - mb3[j])) + k.kB2 * mb2[j] - k.kB3 * mb3[j];
    }
};

// Interconversion of constituents 2 and 3 at the interior nodes. Whichever of
// the two is the selector itself keeps its derivative.
void Interconversion(RunState& st, int level, int m)
{
    EngineArrays& a = st.Arr;
    const Conversion rate(st, level);
    double* f2 = a.F(level, 2);
    double* f3 = a.F(level, 3);
    for (int j = st.LeftWall + 1; j < st.RightWall; ++j) {
        const double r = rate(j);
        if (m != 2) f2[j] -= r;
        if (m != 3) f3[j] += r;
    }
}

// The same at the walls, where the wall rule holds a constituent's value: a
// held wall stands for the reservoir's solution, which converts as the
// capillary's does (a wall that follows its neighbour has its conversion).
void InterconversionAtWalls(RunState& st, int level, int m)
{
    EngineArrays& a = st.Arr;
    const Conversion rate(st, level);
    for (int x : {st.LeftWall, st.RightWall}) {
        const double r = rate(x);
        if (m != 2 && !WallFollowsNeighbour(st, 2, x)) a.F(level, 2)[x] -= r;
        if (m != 3 && !WallFollowsNeighbour(st, 3, x)) a.F(level, 3)[x] += r;
    }
}

// The forms convert wherever they are, while a rate is set.
bool RacemicReactsEverywhere(const RunState& st)
{
    if (st.Arr.NComp < kMinConstituents || st.CompInit.Count() < kMinConstituents) return false;
    const ConversionRates r = RatesOf(st);
    return r.kF != 0 || r.kB2 != 0 || r.kB3 != 0;
}

void RacemicDerivatives(RunState& st, int level, bool fieldOnly)
{
    MicellarVariant v;
    v.flowTerm = false;
    v.addTerm = Interconversion;
    v.wallTerm = InterconversionAtWalls;
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
        return st.cbSDS || MicellarSetupAccepted(st);
    case ModeInitStage::Switches: return true;
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
    h.ReactsEverywhere = RacemicReactsEverywhere;
    h.derivativesKey = "DerRacemic";
    h.TakeSwitches = RacemicTakeSwitches;
    return h;
}
