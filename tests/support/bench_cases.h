// Reference cases of the engine benchmark and the figures of a timed run.
// Used by the benchmark programs in bench/ and by the fingerprint test, which
// runs short versions of the cases and checks that their trajectories stay the
// same.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/state/run_state.h"

namespace benchcases {

// A case: the composition and the run setup of a run state before Init.
struct Case {
    std::string id;  // "B1", "B2", ...
    std::string title;
    double stopTime;  // model time of the benchmark run (s)
    std::function<void(RunState&)> prepare;
};

// B1 zone electrophoresis with the default run setup (1000 nodes, 25 mm,
// 250 V): 20 mM acetic acid + 10 mM sodium, 0.1 mM lithium and 0.1 mM of a
// weak base (pK 5.0, u 30) injected; B2 isotachophoresis of strong ions
// (leading K+, sample Na+, terminating Li+, counter-ion Cl-, 50 V); B3 = B1
// with the ionic-strength correction; B4a/B4b = B1 on 4,000 and 16,000 nodes;
// B5 = B1 plus a constituent with charges -30..+30; B6 = B1 with Joule heating
// (default heating coefficient) and a capillary whose second half has twice the
// cross-section.
std::vector<Case> ReferenceCases();
// The case with this id; throws std::out_of_range when there is none.
Case FindCase(const std::string& id);

// Prepares `st` for the case (with `nodes` > 0 replacing its node count) and
// runs Init. Returns false when Init refuses.
bool InitCase(RunState& st, const Case& c, int nodes = 0);

// Trajectory fingerprint: steps taken, final time step, sum of the level-2
// concentrations of every constituent at every node.
struct Fingerprint {
    int steps = 0;
    double dt = 0;
    double sumC = 0;
    // Finer checksums for the fingerprint test: sum of node index times the
    // level-2 concentration (moves with every zone) and sum of the pH profile.
    double sumNodeC = 0;
    double sumPH = 0;
};
Fingerprint TakeFingerprint(const RunState& st);

// Figures of one timed run.
struct Figures {
    std::string id;
    int nodes = 0;         // NX + 1
    double modelTime = 0;  // s reached
    int steps = 0;
    int restarts = 0;  // restarts of the multistep method (the first one included)
    double wallSeconds = 0;
    double cpuSeconds = 0;    // user + system time of the process during the run
    long long nodeSteps = 0;  // sum over steps of the window width
    long long correctorPasses = 0;
    long long newtonPasses = 0, nodeSolves = 0;
    int threads = 1;  // threads of node-wise work at the end of the run
    Fingerprint fingerprint;

    double NodeStepsPerSecond() const { return wallSeconds > 0 ? nodeSteps / wallSeconds : 0; }
    double CorrectorPassesPerStep() const
    {
        return steps > 0 ? double(correctorPasses) / steps : 0;
    }
    double NewtonPassesPerSolve() const
    {
        return nodeSolves > 0 ? double(newtonPasses) / nodeSolves : 0;
    }
};

// User + system CPU time of the process so far (s), every thread included.
double ProcessCpuSeconds();

// Runs the initialised state to `stopTime` (RunCalc with a counting host in
// place of the state's host) and measures it.
Figures RunTimed(RunState& st, double stopTime, const std::string& id = "");

// Table output of the figures.
void PrintFiguresHeader(std::FILE* out);
void PrintFigures(std::FILE* out, const Figures& f);

}  // namespace benchcases
