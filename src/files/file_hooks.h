// What the file layer asks of the windows: the few window routines that the
// loaders run and that live outside the run state. The windows install their
// routines once; headless use (tests, bench) keeps the defaults.
#pragma once

#include <functional>

class RunState;

struct FileHooks {
    // The run state the windows' routines act on. The hooks below run only for
    // it; any other state (a scratch state a save opens its staged files into,
    // a test's own state) takes the headless defaults, so that it never
    // reaches a window.
    const RunState* Owner = nullptr;
    // The one guard of every command that rebuilds or replaces the run (New,
    // Init, an open, the player's frames, the distribution tool's Apply): true
    // when the command must be refused now (a run or an Init going, a preview
    // of the initial-distribution tool shown); the refusal has been shown.
    // Default: refused while a run is going ("START is active").
    std::function<bool(RunState&)> RebuildRefused;
    // Main window's New command (frees the engine arrays, resets the state).
    // Default: NewStateHeadless.
    std::function<void(RunState&)> NewCommand;
    // Main window's ResetState (after a failed project open). Default:
    // ResetStateHeadless.
    std::function<void(RunState&)> ResetState;
};

FileHooks& FileLayerHooks();

// The reset of the run state without windows: run parameters, counters and
// flags back to their reset values; lists, arrays and applied geometry stay.
void ResetStateHeadless(RunState& st);
// The New command without windows: frees the engine arrays, empties the
// composition lists and the check lists, resets the state and clears the
// run-setup and effects switches that New clears; the run's sequence shows
// as not created.
void NewStateHeadless(RunState& st);

// The hooks with their defaults filled in. The file and tool layers reach
// New and Init only through these two, so that both pass the guard
// (scripts/check_rebuild_guard.sh holds it).
bool RebuildRefusedFor(RunState& st);
// New: false when the guard refused it (nothing changed).
[[nodiscard]] bool RunNewCommand(RunState& st);
// Init (InitCalc): false when the guard refused it (nothing changed) or when
// the Init failed.
[[nodiscard]] bool RunInitCommand(RunState& st);
void RunResetState(RunState& st);
