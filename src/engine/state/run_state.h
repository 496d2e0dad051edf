// The whole state of a run, made of sub-records, one per owner; each record
// holds its defaults. One plain object (no Qt); the main window owns the single
// instance, engine routines take it by reference. Fields read as `st.DT`; a
// routine or window that owns one record can take just that record
// (`st.params()`, `st.effects()`, ...). Add a new field to the record of its
// owner; the state reset (files/file_hooks.cpp) assigns whole records.
#pragma once

#include "engine/host/engine_events.h"
#include "engine/host/engine_host.h"
#include "engine/host/psq_recorder.h"
#include "engine/modes/complex/complexation_settings.h"
#include "engine/modes/effects/capillary_effects.h"
#include "engine/modes/micellar/micellar_settings.h"
#include "engine/state/display_options.h"
#include "engine/state/engine_statics.h"
#include "engine/state/engine_store.h"
#include "engine/state/main_switches.h"
#include "engine/state/option_switches.h"
#include "engine/state/run_counters.h"
#include "engine/state/run_flags.h"
#include "engine/state/run_geometry.h"
#include "engine/state/run_lists.h"
#include "engine/state/run_params.h"
#include "engine/state/run_setup_switches.h"
#include "engine/state/window_presence.h"

class RunState : public RunFlags,
                 public ModeFlags,
                 public ProgramFlags,
                 public RunGeometry,
                 public RunParams,
                 public SolverParams,
                 public RunCounters,
                 public RunResults,
                 public RunLists,
                 public DisplayOptions,
                 public EngineStore,
                 public MainSwitches,
                 public RunSetupSwitches,
                 public OptionSwitches,
                 public MicellarSettings,
                 public CapillaryEffects,
                 public ComplexationSettings,
                 public WindowPresence {
public:
    RunFlags& flags() { return *this; }
    const RunFlags& flags() const { return *this; }
    ModeFlags& modeFlags() { return *this; }
    const ModeFlags& modeFlags() const { return *this; }
    ProgramFlags& programFlags() { return *this; }
    const ProgramFlags& programFlags() const { return *this; }
    RunGeometry& geometry() { return *this; }
    const RunGeometry& geometry() const { return *this; }
    RunParams& params() { return *this; }
    const RunParams& params() const { return *this; }
    SolverParams& solver() { return *this; }
    const SolverParams& solver() const { return *this; }
    RunCounters& counters() { return *this; }
    const RunCounters& counters() const { return *this; }
    RunResults& results() { return *this; }
    const RunResults& results() const { return *this; }
    RunLists& lists() { return *this; }
    const RunLists& lists() const { return *this; }
    DisplayOptions& display() { return *this; }
    const DisplayOptions& display() const { return *this; }
    EngineStore& store() { return *this; }
    const EngineStore& store() const { return *this; }
    MainSwitches& mainSwitches() { return *this; }
    const MainSwitches& mainSwitches() const { return *this; }
    RunSetupSwitches& runSetup() { return *this; }
    const RunSetupSwitches& runSetup() const { return *this; }
    OptionSwitches& options() { return *this; }
    const OptionSwitches& options() const { return *this; }
    MicellarSettings& micellar() { return *this; }
    const MicellarSettings& micellar() const { return *this; }
    CapillaryEffects& effects() { return *this; }
    const CapillaryEffects& effects() const { return *this; }
    ComplexationSettings& complexation() { return *this; }
    const ComplexationSettings& complexation() const { return *this; }
    WindowPresence& windows() { return *this; }
    const WindowPresence& windows() const { return *this; }

    // Values the engine keeps for the whole program (not reset by Init).
    EngineStatics Statics;

    // ---- outward links (not owned) ----------------------------------------------
    // Answers pump, clock and status; none: no pump, no status, real clock.
    EngineHost* Host = nullptr;
    EngineHost& host() { return Host ? *Host : nullHost_; }
    // Records the profile sequence; none: nothing is recorded.
    PsqRecorder* Recorder = nullptr;
    PsqRecorder& recorder() { return Recorder ? *Recorder : nullRecorder_; }
    // Listeners of the engine's events (the windows, through the application).
    EngineEvents Events;

private:
    NullEngineHost nullHost_;
    NullPsqRecorder nullRecorder_;
};
