// What the file layer asks of the windows: the few window routines that the
// loaders run and that live outside the run state. The windows install their
// routines once; headless use (tests, bench) keeps the defaults.
#pragma once

#include <functional>
#include <string>

class RunState;

struct FileHooks {
    // Options window: recomputes ZeroPosNode from its zero-position radio group
    // (after a run-setup block was read). Default: ApplyZeroPoint (files/setup_edits.h).
    std::function<void(RunState&)> ApplyZeroPoint;
    // Main window's New command (frees the engine arrays, resets the state).
    // Default: NewStateHeadless.
    std::function<void(RunState&)> NewCommand;
    // Main window's ResetState (after a failed project open). Default:
    // ResetStateHeadless.
    std::function<void(RunState&)> ResetState;
    // Reader of the older options file (".opt" beside an older sequence): the
    // options and the detector node LegacyDetNode. Default: ReadOptFile
    // (files/opt_file.h). The project open reads the one beside an older
    // project with its other companions, before the run state changes.
    std::function<void(RunState&, const std::string&)> ReadOptFile;
    // Writer of the older options file, beside a saved project whose sequence
    // has the older layout. Default: WriteOptFile (files/opt_file.h).
    std::function<void(RunState&, const std::string&)> WriteOptFile;
    // The complexation table as the text file beside a project (saved when
    // complexation mode is on). Default: SaveComplexData / LoadComplexData
    // (files/complex_file.h). The project open reads the table with its other
    // companions, before the run state changes, not through LoadComplexData.
    std::function<void(RunState&, const std::string&)> SaveComplexData;
    std::function<void(RunState&, const std::string&)> LoadComplexData;
};

FileHooks& FileLayerHooks();

// The reset of the run state without windows: run parameters, counters and
// flags back to their reset values; lists, arrays and applied geometry stay.
void ResetStateHeadless(RunState& st);
// The New command without windows: frees the engine arrays, empties the
// composition lists and the check lists, resets the state and clears the
// run-setup and effects switches that New clears.
void NewStateHeadless(RunState& st);

// The hooks with their defaults filled in.
void RunNewCommand(RunState& st);
void RunResetState(RunState& st);
