// Engine modes. Each mode fills one entry of a table of optional hooks; the
// run state holds the table (EngineContext::Modes). Which mode computes the
// derivatives is decided by SelectMode alone; the window switches are read at
// every call, so a switch toggled during a run takes effect at the next
// derivative evaluation. A mode whose routines are not built has no hooks and
// stops the run with its "not available" warning.
//
// Adding a mode: one file with its hooks (reusing terms of the standard
// scheme, standard_scheme.h, where they fit) and its entry in DefaultModeTable.
#pragma once

#include <array>
#include <cstddef>

class RunState;

// Modes in order of precedence: when several switches are on, the first wins.
enum class Mode {
    Complex,         // complexation window "cbComplex"
    Racemic,         // main window "Enable Racemic"
    Linear,          // run setup "Linearized mode"
    Micellar,        // micellar window "Micellar Mode Enabled"
    SplitAdvection,  // run setup "Special Mode" (control cbSpec)
    Effects,         // any capillary effect
    Chrom,           // run setup "Chrom Mode"
    LiBz,            // run setup cbLiBz
    Standard,        // none of these: the standard scheme
};
inline constexpr int kModeCount = static_cast<int>(Mode::Standard) + 1;

// The points of Init at which the modes whose switch is on are called.
enum class ModeInitStage {
    Check,     // before anything of the run changes; a check changes nothing (its refusal
               // keeps the previous run, its data and the switches it took at its Init)
    Switches,  // after the run's switches were taken (ISCorrection, RedDiff, ...); no refusal
    Profiles,  // the initial distribution is built; before the default cross-sections
    Arrays,    // the engine arrays, distribution and profile lists are built
};

// Rows a mode integrates besides the concentrations (and cH with dcH/dt).
struct ModeRows {
    // The node temperatures T with their rates DTdt: row NComp + 1 of the
    // starter, Pred/Corr row NComp + 2 of the run loop; without it the
    // starter holds the temperature of the state.
    bool temperature = false;
    // The temperature counts in the step's error estimate.
    bool temperatureInError = false;
    ModeRows& operator|=(const ModeRows& o)
    {
        temperature = temperature || o.temperature;
        temperatureInError = temperatureInError || o.temperatureInError;
        return *this;
    }
};

struct ModeHooks {
    const char* name = "";
    // Checks and set-up at the given stage of Init; false ends Init (the
    // hook has shown its warning and released what must not stay).
    bool (*Init)(RunState& st, ModeInitStage stage) = nullptr;
    // Every Init, whatever the switches, before the Init hooks of stage
    // Switches: the mode takes the state of its switches for the run.
    void (*TakeSwitches)(RunState& st) = nullptr;
    // Every Init, whatever the switches, once the initial distribution is on
    // the new arrays, before the Init hooks of stage Profiles: the profiles the
    // mode keeps beside the distribution (a switch may be ticked later).
    void (*Distributed)(RunState& st) = nullptr;
    // Every Init that built the run's arrays (after stage Arrays), whatever
    // the switches, since a switch may be ticked during the run: what the
    // mode keeps in its own state beside the arrays.
    void (*Built)(RunState& st) = nullptr;
    // The run is gone (its arrays released, or the state reset): the mode
    // forgets what it built for it. Whatever the switches.
    void (*Reset)(RunState& st) = nullptr;
    // Switch on: the bytes the mode allocates for a run of the composition on
    // `nodes` + 1 nodes beside the engine arrays (its Init and Built hooks),
    // counted by Init's memory estimate before anything is allocated.
    double (*InitBytes)(const RunState& st, int nodes) = nullptr;
    // The mode solves its own equilibrium: the derivative routine neither
    // clamps the window, nor speciates, nor honours "DO NOT Calculate DER";
    // the speciation and the ionic strength of the standard equilibrium are
    // left alone while its switch is on.
    bool ownEquilibrium = false;
    // Rows the mode integrates while its switch is on (nothing when null).
    ModeRows (*Rows)(const RunState& st) = nullptr;
    // Whether the node mobilities follow the node temperatures (UForm, set by
    // UpdateTemperature) rather than their limiting values, switch on.
    bool (*TemperatureMobilities)(const RunState& st) = nullptr;
    // With the constant left border, the right end keeps the left border's
    // values too while the switch is on.
    bool holdsRightEnd = false;
    // Whether the run's clock stands still (a step is taken, the time does
    // not advance) while the switch is on.
    bool (*ClockHeld)(const RunState& st) = nullptr;
    // Selected mode: whether its derivatives change the concentrations by a
    // reaction (a kinetic term, a conversion of one constituent into another)
    // wherever the reactants are, flat profiles included. While it answers
    // true the computation window spans the whole grid: a reaction outside
    // the window would not be integrated.
    bool (*ReactsEverywhere)(const RunState& st) = nullptr;
    // Selected mode: after the profiles of level 2 were computed at Init or
    // after a change of the data (or set up for a loaded sequence), the values
    // its model does not have (conductivity, cH).
    void (*ProfilesComputed)(RunState& st) = nullptr;
    // Switch on: after the chart's profiles were taken from level 2, the
    // mode's own series.
    void (*Redraw)(RunState& st) = nullptr;
    // Switch on, before a run starts: false refuses the run (the hook has
    // shown its warning).
    bool (*RunStart)(RunState& st) = nullptr;
    // Derivatives of `level` into F[level] (after the speciation of the level
    // unless ownEquilibrium). Null: the run stops with derivativesUnavailable,
    // shown once per run under derivativesKey.
    void (*Derivatives)(RunState& st, int level, bool fieldOnly) = nullptr;
    const char* derivativesKey = "";
    const char* derivativesUnavailable = "";
    // dcH/dt of the hydrogen ion follows the mode's derivatives when the
    // run-setup "dcH/dt Mode" is checked.
    bool dcHAfter = false;
    // Node temperatures of the heating, run before each speciation.
    void (*UpdateTemperature)(RunState& st) = nullptr;
    // Replaces the electroneutrality solve (Elneut's arguments).
    void (*Equilibrium)(RunState& st, int level, int source, int node, bool speciate) = nullptr;
    // After the concentrations (with heating also the temperature) of a stage
    // were set, before its equilibrium: the predictor and every corrector pass
    // of the run loop, every stage of the starter.
    void (*StageUpdate)(RunState& st, int level) = nullptr;
    // Run loop only: right before the equilibrium of the predicted or
    // corrected level (not in dcH/dt mode).
    void (*BeforeEquilibrium)(RunState& st, int level) = nullptr;
    // File block: after a project file put the mode's own block into the
    // state (its switches and its copy of a table), the mode rebuilds what it
    // keeps beside that block. Called whatever the switches, since the block
    // brings them; only for files that carry the block.
    void (*FileBlockRead)(RunState& st) = nullptr;
    // Sequence player, whatever the switches: a frame of `nodes` nodes is shown,
    // its drawn profiles in place. `micelles` and `bound` are the frame's
    // recorded micelle series (null for a frame of an older sequence without
    // them: the mode derives what it shows from the drawn profiles).
    void (*SequenceFrame)(RunState& st, int nodes, const double* micelles,
                          const double* bound) = nullptr;
};

using ModeTable = std::array<ModeHooks, kModeCount>;
inline std::size_t ModeIndex(Mode m)
{
    return static_cast<std::size_t>(m);
}

// The table of the modes built into this program.
ModeTable DefaultModeTable();

// Whether any capillary effect (cross-section, heating, mixing, temperature,
// volume cross-section, dynamic EOF) is switched on.
bool AnyCapillaryEffect(const RunState& st);
// Whether the window switch of mode m is on (Standard: always).
bool ModeSwitchedOn(const RunState& st, Mode m);
// The mode that computes the derivatives: the first in precedence order whose
// switch is on.
Mode SelectMode(const RunState& st);
// Hooks of the selected mode in the run's table.
const ModeHooks& SelectedModeHooks(const RunState& st);

// Init hooks of every mode whose switch is on, in precedence order; false when
// one of them ended Init.
bool InitModes(RunState& st, ModeInitStage stage);
// Temperature hooks of every mode whose switch is on; whether there is one.
void UpdateModeTemperatures(RunState& st);
bool ModeTemperatureUpdates(const RunState& st);
// Stage and pre-equilibrium hooks of every mode whose switch is on.
void ModeStageUpdates(RunState& st, int level);
void ModesBeforeEquilibrium(RunState& st, int level);
// File-block hooks of every mode, in precedence order (after a project file
// with the modes' blocks was read).
void ModesFileBlockRead(RunState& st);

// Hooks of every mode whatever the switches, in precedence order.
void TakeModeSwitches(RunState& st);
void ModesDistributed(RunState& st);
void ModesSequenceFrame(RunState& st, int nodes, const double* micelles, const double* bound);
void ModesBuilt(RunState& st);
void ModesReset(RunState& st);
// The InitBytes of every mode whose switch is on, summed.
double ModesInitBytes(const RunState& st, int nodes);
// The rows integrated besides the concentrations by the modes whose switch is on.
ModeRows IntegratedModeRows(const RunState& st);
// Whether a mode whose switch is on solves its own equilibrium; replaces the
// electroneutrality solve (an Equilibrium hook); makes the mobilities follow
// the node temperatures; holds the right end with the left border; holds the
// clock.
bool ModeOwnsEquilibrium(const RunState& st);
bool ModeEquilibriumSwitchedOn(const RunState& st);
bool ModeTemperatureMobilities(const RunState& st);
bool ModeHoldsRightEnd(const RunState& st);
bool ModeClockHeld(const RunState& st);
// The selected mode's ReactsEverywhere answer (false without the hook).
bool ModeReactsEverywhere(const RunState& st);
// Whether the computation window must span the whole grid: the selected mode
// reacts everywhere, or a mode whose switch is on integrates the node
// temperatures (a uniform column heats everywhere, flat profiles included, and
// the current follows the conductivity of every node).
bool ModeNeedsWholeGrid(const RunState& st);
// The selected mode's ProfilesComputed hook.
void ModeProfilesComputed(RunState& st);
// Redraw hooks of every mode whose switch is on.
void RedrawModeSeries(RunState& st);
// RunStart hooks of every mode whose switch is on; false when one refused.
bool ModesAllowRun(RunState& st);
