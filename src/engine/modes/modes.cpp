#include "engine/modes/modes.h"

#include "engine/modes/chrom/chrom_mode.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/modes/effects/effects_mode.h"
#include "engine/modes/libz/libz_mode.h"
#include "engine/modes/linear/linear_mode.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/modes/racemic/racemic_mode.h"
#include "engine/modes/split_advection/split_advection_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/standard_scheme.h"
#include "foundation/messages.h"

ModeTable DefaultModeTable()
{
    ModeTable t;
    t[ModeIndex(Mode::Complex)] = ComplexModeHooks();
    t[ModeIndex(Mode::Racemic)] = RacemicModeHooks();
    t[ModeIndex(Mode::Linear)] = LinearModeHooks();
    t[ModeIndex(Mode::Micellar)] = MicellarModeHooks();
    t[ModeIndex(Mode::SplitAdvection)] = SplitAdvectionModeHooks();
    t[ModeIndex(Mode::Effects)] = EffectsModeHooks();
    t[ModeIndex(Mode::Chrom)] = ChromModeHooks();
    t[ModeIndex(Mode::LiBz)] = LiBzModeHooks();
    t[ModeIndex(Mode::Standard)] = StandardModeHooks();
    return t;
}

bool AnyCapillaryEffect(const RunState& st)
{
    return st.cbS || st.cbH || st.cbMix || st.cbT || st.cbSvol || st.cbEOF;
}

namespace {

// The switches of each mode; inlined so that SelectMode becomes a plain chain
// of tests (Elneut asks for the selected mode at every node it solves).
[[gnu::always_inline]] inline bool SwitchOf(const RunState& st, Mode m)
{
    switch (m) {
    case Mode::Complex: return st.cbComplex;
    case Mode::Racemic: return st.cbRacemic;
    case Mode::Linear: return st.cbMX;
    case Mode::Micellar: return st.cbSDS;
    case Mode::SplitAdvection: return st.cbSpec;
    case Mode::Effects: return AnyCapillaryEffect(st);
    case Mode::Chrom: return st.cbChrom;
    case Mode::LiBz: return st.cbLiBz;
    case Mode::Standard: return true;
    }
    return false;
}

}  // namespace

bool ModeSwitchedOn(const RunState& st, Mode m)
{
    return SwitchOf(st, m);
}

Mode SelectMode(const RunState& st)
{
#pragma GCC unroll 16
    for (int k = 0; k < kModeCount; ++k)
        if (SwitchOf(st, static_cast<Mode>(k))) return static_cast<Mode>(k);
    return Mode::Standard;
}

const ModeHooks& SelectedModeHooks(const RunState& st)
{
    return st.Engine.Modes[ModeIndex(SelectMode(st))];
}

bool InitModes(RunState& st, ModeInitStage stage)
{
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.Init && ModeSwitchedOn(st, m) && !h.Init(st, stage)) return false;
    }
    return true;
}

void UpdateModeTemperatures(RunState& st)
{
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.UpdateTemperature && ModeSwitchedOn(st, m)) h.UpdateTemperature(st);
    }
}

bool ModeTemperatureUpdates(const RunState& st)
{
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        if (st.Engine.Modes[ModeIndex(m)].UpdateTemperature && ModeSwitchedOn(st, m)) return true;
    }
    return false;
}

namespace {

// Runs hook `member` of every mode whose switch is on, in precedence order.
template <typename Hook, typename... Args>
void ForSwitchedModes(RunState& st, Hook ModeHooks::*member, Args... args)
{
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const Hook hook = st.Engine.Modes[ModeIndex(m)].*member;
        if (hook && ModeSwitchedOn(st, m)) hook(st, args...);
    }
}

}  // namespace

void ModeStageUpdates(RunState& st, int level)
{
    ForSwitchedModes(st, &ModeHooks::StageUpdate, level);
}

void ModesBeforeEquilibrium(RunState& st, int level)
{
    ForSwitchedModes(st, &ModeHooks::BeforeEquilibrium, level);
}

void ModesFileBlockRead(RunState& st)
{
    for (const ModeHooks& h : st.Engine.Modes)
        if (h.FileBlockRead) h.FileBlockRead(st);
}

void TakeModeSwitches(RunState& st)
{
    for (const ModeHooks& h : st.Engine.Modes)
        if (h.TakeSwitches) h.TakeSwitches(st);
}

void ModesDistributed(RunState& st)
{
    for (const ModeHooks& h : st.Engine.Modes)
        if (h.Distributed) h.Distributed(st);
}

void ModesSequenceFrame(RunState& st, int nodes, const double* micelles, const double* bound)
{
    for (const ModeHooks& h : st.Engine.Modes)
        if (h.SequenceFrame) h.SequenceFrame(st, nodes, micelles, bound);
}

void ModesBuilt(RunState& st)
{
    for (const ModeHooks& h : st.Engine.Modes)
        if (h.Built) h.Built(st);
}

void ModesReset(RunState& st)
{
    for (const ModeHooks& h : st.Engine.Modes)
        if (h.Reset) h.Reset(st);
}

namespace {

// Whether a mode whose switch is on answers `has` with true (the property is
// asked first: a switch is read only for the modes that have it).
template <class Has>
bool AnySwitchedMode(const RunState& st, Has has)
{
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        if (has(st.Engine.Modes[ModeIndex(m)]) && SwitchOf(st, m)) return true;
    }
    return false;
}

}  // namespace

double ModesInitBytes(const RunState& st, int nodes)
{
    double bytes = 0;
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.InitBytes && SwitchOf(st, m)) bytes += h.InitBytes(st, nodes);
    }
    return bytes;
}

ModeRows IntegratedModeRows(const RunState& st)
{
    ModeRows rows;
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.Rows && SwitchOf(st, m)) rows |= h.Rows(st);
    }
    return rows;
}

bool ModeOwnsEquilibrium(const RunState& st)
{
    return AnySwitchedMode(st, [](const ModeHooks& h) { return h.ownEquilibrium; });
}

bool ModeEquilibriumSwitchedOn(const RunState& st)
{
    return AnySwitchedMode(st, [](const ModeHooks& h) { return h.Equilibrium != nullptr; });
}

bool ModeTemperatureMobilities(const RunState& st)
{
    return AnySwitchedMode(st, [&](const ModeHooks& h) {
        return h.TemperatureMobilities && h.TemperatureMobilities(st);
    });
}

bool ModeHoldsRightEnd(const RunState& st)
{
    return AnySwitchedMode(st, [](const ModeHooks& h) { return h.holdsRightEnd; });
}

bool ModeClockHeld(const RunState& st)
{
    return AnySwitchedMode(st, [&](const ModeHooks& h) { return h.ClockHeld && h.ClockHeld(st); });
}

bool ModeReactsEverywhere(const RunState& st)
{
    const auto reacts = SelectedModeHooks(st).ReactsEverywhere;
    return reacts && reacts(st);
}

bool ModeNeedsWholeGrid(const RunState& st)
{
    return ModeReactsEverywhere(st) || IntegratedModeRows(st).temperature;
}

void ModeProfilesComputed(RunState& st)
{
    if (const auto hook = SelectedModeHooks(st).ProfilesComputed) hook(st);
}

void RedrawModeSeries(RunState& st)
{
    ForSwitchedModes(st, &ModeHooks::Redraw);
}

bool ModesAllowRun(RunState& st)
{
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.RunStart && SwitchOf(st, m) && !h.RunStart(st)) return false;
    }
    return true;
}
