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

// The hooks with their defaults filled in.
void RunNewCommand(RunState& st);
void RunResetState(RunState& st);
