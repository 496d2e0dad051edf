#include "engine/modes.h"

#include "engine/init_calc.h"
#include "engine/micellar_mode.h"
#include "engine/racemic_mode.h"
#include "engine/run_state.h"
#include "engine/standard_scheme.h"
#include "foundation/messages.h"

namespace {

// Set-ups this version does not build: Init stops with no run left.
bool ComplexInitUnavailable(RunState& st, ModeInitStage stage) {
    return stage != ModeInitStage::Check || RefuseUnbuiltMode(st, kInitComplexUnavailable);
}

bool EffectsInitUnavailable(RunState& st, ModeInitStage stage) {
    return stage != ModeInitStage::Switches || RefuseUnbuiltMode(st, kInitEffectsUnavailable);
}

// An entry without derivative routine: the run stops with the warning.
ModeHooks Unbuilt(const char* name, const char* key, const char* text) {
    ModeHooks h;
    h.name = name;
    h.derivativesKey = key;
    h.derivativesUnavailable = text;
    return h;
}

}  // namespace

ModeTable DefaultModeTable() {
    ModeTable t;
    t[ModeIndex(Mode::Complex)] = Unbuilt("Complex", "DerComplex", kDerComplexUnavailable);
    t[ModeIndex(Mode::Complex)].Init = ComplexInitUnavailable;
    t[ModeIndex(Mode::Complex)].ownEquilibrium = true;
    t[ModeIndex(Mode::Racemic)] = RacemicModeHooks();
    t[ModeIndex(Mode::Linear)] = Unbuilt("Linearized", "DerLinear", kDerLinearUnavailable);
    t[ModeIndex(Mode::Micellar)] = MicellarModeHooks();
    t[ModeIndex(Mode::Special)] = Unbuilt("Special", "DerSpecial", kDerSpecialUnavailable);
    t[ModeIndex(Mode::Effects)] = Unbuilt("CE Effects", "DerEffects", kDerEffectsUnavailable);
    t[ModeIndex(Mode::Effects)].Init = EffectsInitUnavailable;
    t[ModeIndex(Mode::Effects)].dcHAfter = true;
    t[ModeIndex(Mode::Chrom)] = Unbuilt("Chrom", "DerChrom", kDerChromUnavailable);
    t[ModeIndex(Mode::LiBz)] = Unbuilt("LiBz", "DerLiBz", kDerLiBzUnavailable);
    t[ModeIndex(Mode::Standard)] = StandardModeHooks();
    return t;
}

bool AnyCapillaryEffect(const RunState& st) {
    return st.cbS || st.cbH || st.cbMix || st.cbT || st.cbSvol || st.cbEOF;
}

namespace {

// The switches of each mode; inlined so that SelectMode becomes a plain chain
// of tests (Elneut asks for the selected mode at every node it solves).
[[gnu::always_inline]] inline bool SwitchOf(const RunState& st, Mode m) {
    switch (m) {
        case Mode::Complex: return st.cbComplex;
        case Mode::Racemic: return st.cbRacemic;
        case Mode::Linear: return st.cbMX;
        case Mode::Micellar: return st.cbSDS;
        case Mode::Special: return st.cbSpec;
        case Mode::Effects: return AnyCapillaryEffect(st);
        case Mode::Chrom: return st.cbChrom;
        case Mode::LiBz: return st.cbLiBz;
        case Mode::Standard: return true;
    }
    return false;
}

}  // namespace

bool ModeSwitchedOn(const RunState& st, Mode m) { return SwitchOf(st, m); }

Mode SelectMode(const RunState& st) {
#pragma GCC unroll 16
    for (int k = 0; k < kModeCount; ++k)
        if (SwitchOf(st, static_cast<Mode>(k))) return static_cast<Mode>(k);
    return Mode::Standard;
}

const ModeHooks& SelectedModeHooks(const RunState& st) { return st.Engine.Modes[ModeIndex(SelectMode(st))]; }

bool InitModes(RunState& st, ModeInitStage stage) {
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.Init && ModeSwitchedOn(st, m) && !h.Init(st, stage)) return false;
    }
    return true;
}

void UpdateModeTemperatures(RunState& st) {
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        const ModeHooks& h = st.Engine.Modes[ModeIndex(m)];
        if (h.UpdateTemperature && ModeSwitchedOn(st, m)) h.UpdateTemperature(st);
    }
}

bool ModeTemperatureUpdates(const RunState& st) {
    for (int k = 0; k < kModeCount; ++k) {
        const Mode m = static_cast<Mode>(k);
        if (st.Engine.Modes[ModeIndex(m)].UpdateTemperature && ModeSwitchedOn(st, m)) return true;
    }
    return false;
}
