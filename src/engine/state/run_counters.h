// Time, steps, errors and counters of the run, in two records: those the
// state reset puts back and the values Init and the steps derive (kept).
#pragma once

#include <set>
#include <string>

// Counters of the current project (reset as a whole by New and a failed open;
// the reset then sets RightWall to NX).
struct RunCounters {
    double Time = 0;  // s
    double StepError = 0;
    double MaxError = 0;
    double GlobalRatio = 0;
    // 64-bit: a file may set them near the 32-bit limit and a run goes on counting.
    long long StepCount = 0;
    long long NewtonItTotal = 0;
    int NewtonItStep = 0;
    double SpentTime = 0;                // s
    double DiffClock = 0;                // s
    double SavedDT = 1e-4;               // s
    int LeftWall = 0, RightWall = 1000;  // computation window, both included
};

// Values that Init and the steps derive; the state reset keeps them.
struct RunResults {
    double MaxCorrChange = 0;
    int NewtonItMax = 0;
    // Solver statistics that only grow (benchmarks read their differences):
    // Newton passes and node solves of Elneut, corrector passes of the run loop.
    long long NewtonPassCount = 0, NodeSolveCount = 0, CorrectorPassCount = 0;
    double RunStart = 0, RunStartStamp = 0;  // days
    double SavedErrInc = 0.25;
    double U = 0;              // V
    double I = 0;              // A
    double DX = 0.025 / 1000;  // m
    double KappaEnd = 0;       // S/m
    double EOFMobCalc = 0;
    double KwIS = 1e-8;  // mM2, ionic product corrected for ionic strength (Kw kept)
    double LinScale = 0, LinA18 = 0;
    double LinReference = 0;  // reference value of the linearised mode (0 = take a new one)
    int NComp = 0;            // constituents of the run
    // Messages already shown in this run by routines that warn at every call.
    std::set<std::string> WarnedThisRun;
};
