// Parameters of the run, in two records: those the state reset puts back to
// their defaults and those it keeps.
#pragma once

// Run parameters of the current project (reset as a whole by New and a failed
// open).
struct RunParams {
    double Temperature = 298.15;    // K
    double CapDiameter = 5e-5;      // m
    double UI = 250;                // V (constant voltage) or uA (constant current)
    double EOFMob = 0;              // m2/(V.s)
    double StopTime = 3600;         // s
    double DTDefault = 1e-4;        // s
    double DTInit = 1e-4;           // s
    double DT = 1e-4;               // s
    int ItNew = 100;                // Newton iteration limit
    double LW = 1e-12, RW = 1e-12;  // mM, wall thresholds
    int WallInc = 100;
    int PSQPeriod = 1000;
    int DetInput = 10;
    int OptInter = 100;
    double DetPosition = 20;                 // mm
    double AddCond = 0;                      // S/m
    double FakeCapLen = 0;                   // m
    double DiffTimeSet = 10, DiffTime = 10;  // s
};

// Tolerances and mode constants; the state reset keeps them.
struct SolverParams {
    double ErrOpt = 1e-11;
    double ErrInc = 0.25;
    double EpsNew = 1e-12;  // Newton relative tolerance
    double EpsCor = 0.01;
    double DerNorm = 0.001;
    double DiffMultiplier = 1.0;
    double Kw = 1e-8;  // mM2, the user's ionic product of water
    double Kin1 = 5e-6, Kin2 = 0;
    double KinA = 1, KinB = 1, KinC = 1, KinD = 1, KinX = -0.2;
    double RacemicA = 0, RacemicB = 0, RacemicG = 0;
    double EdgeW = 0;  // m
};
