// Micellar mode ("Micellar Mode Enabled"): one constituent, the surfactant,
// forms micelles above a critical micelle concentration (CMC); every other
// constituent binds to free micelles (pseudo-phase 1:1 binding with its own
// constant) and moves bound with its own micelle-complex mobility. The racemic
// mode (racemic_mode.cpp) runs the same scheme with an interconversion term.
#pragma once

#include "engine/modes/modes.h"

class RunState;

// The micellar mode's own state: whether the CMC profile and the micellar
// arrays of the run are built (InitCMCProfile; forgotten with the arrays).
struct MicellarModeState {
    bool profileReady = false;
};
MicellarModeState& MicellarState(RunState& st);
bool MicellarProfileReady(const RunState& st);

// What a variant of the micellar scheme adds: the velocity form of the EOF
// (run setup "EOF-> Flow (SDS Mode)") and a term over the interior nodes,
// added to F before the wall rule (m is the surfactant).
struct MicellarVariant {
    bool flowTerm = true;
    void (*addTerm)(RunState& st, int level, int m) = nullptr;
    // After the wall rule: the variant's term at the walls (m the surfactant).
    void (*wallTerm)(RunState& st, int level, int m) = nullptr;
    // Extra check of the set-up at every call; false stops the run (the hook
    // has warned once per run).
    bool (*check)(RunState& st) = nullptr;
};

// The micellar scheme (CalcDER_SDS): micelle distribution and binding at each
// node of the window, conductivity and field with the charged micelles and
// complexes, voltage and current, then (unless fieldOnly) the derivatives.
// The surfactant number, its valency, the aggregation number and the CMC
// profile are checked at every call: a set-up that no longer fits the run
// stops it with the message of Init (once per run), nothing is read.
void MicellarScheme(RunState& st, int level, bool fieldOnly, const MicellarVariant& variant);

// The CMC profile of the run (NX + 1 copies of CMC), the starting points of
// the micelle, CMC and micelle-bound series, and the micellar arrays.
void InitCMCProfile(RunState& st);

// The micelle series alone from the surfactant's profile last drawn: (s - CMC)/OM
// above the CMC, else 0. Nothing without micellar mode, a CMC profile of the
// run's nodes or a valid surfactant and aggregation number.
void MicellesFromDrawnProfile(RunState& st);

// The micelle series of the chart from the profiles last drawn: micelles
// (s - CMC)/OM above the CMC, the micelle-bound part of constituent 2 and,
// in racemic mode, C2 + C3 in place of the CMC. Nothing without a profile.
void RedrawMicelleSeries(RunState& st);

// The micellar set-up checked at Init (stage Switches) by the micellar and
// racemic modes: surfactant number, valency and aggregation number.
bool MicellarSetupAccepted(const RunState& st);

ModeHooks MicellarModeHooks();
