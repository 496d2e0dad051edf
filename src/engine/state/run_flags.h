// Flags of the run state, in three records by lifetime.
#pragma once

// Flags of the current project: the state reset (New, a failed open) puts the
// whole record back to these values.
struct RunFlags {
    bool Initialised = false;
    bool Running = false;
    bool Stop = false;
    bool Restart = false;
    bool SetupChanged = false;
    bool SetupItemChanged[5] = {false, false, false, false,
                                false};  // nodes, width, edge, site, length
    bool CompChanged = false;
    bool DetectorView = false;
    bool DistPreview = false;
    bool DiffMode = false;
    bool ShowSpentArmed = true;
    bool InitDone = false;
    bool UniformSection = true;
};

// Switches taken at Init and flags of the run loop; the state reset keeps them.
struct ModeFlags {
    bool PsqStarted = false;
    bool ISCorrection = false;   // cbIS taken at Init
    bool RedDiff = false;        // cbRedDiff taken at Init (and DiffMultiplier != 1)
    bool RacemicAtInit = false;  // main cbRacemic taken at Init
    bool SDSAtInit = false;      // cbSDS taken at Init
    bool TempOption = false;     // an Init has completed
    bool EOFAsVelocity = false;  // uniform S and SVol (set by Init)
    bool NumericalFailure =
        false;  // a routine of the current step failed numerically (Stop set too)
};

// Flags of the program's life (loading, closing, first start).
struct ProgramFlags {
    bool Loading = false;
    bool LoadingPsq = false;
    bool Destroying = false;
    bool OpenExample = true;
};
