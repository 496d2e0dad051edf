// Values the engine keeps for the whole program (not reset by Init).
#pragma once

struct EngineStatics {
    double LastRunDT = 0.0;         // dt in force when the previous run ended
    int CutStreakCount = -1;        // streak of steps needing several corrector passes
    double CutStreakStart = -1.0;   // StepCount at the first step of that streak
    double LastPsqFrameTime = 0.0;  // model time of the last frame recorded by time
    // Rebuilds and replacements of the run so far (a release of the engine
    // arrays, a sequence frame taken as the run): a tool tells the run it
    // prepared for from a new one.
    long long RunsReplaced = 0;
};
