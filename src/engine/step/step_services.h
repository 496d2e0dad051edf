// The services that follow every accepted step of the run loop: solver
// statistics, time-step control, chart refresh, profile-sequence frames,
// detector samples, status refresh, computation window, diffusion clock and one
// pass of the message pump.
#pragma once

class RunState;
class EngineArrays;

// Values of the running call of RunCalc.
struct RunLocals {
    bool PsqAppendAllowed = true;  // reset at every run start
    int RunSteps = 0;              // steps done in this call
    int CorrectorIterations = 0;   // corrector passes of the current step (1..10)
};

// Largest size (bytes) of the temporary sequence file that still takes frames.
inline constexpr long long kPsqSizeLimit = 2000000000LL;

// A period below 1 is never due.
inline bool PeriodDue(long long count, int period)
{
    return period >= 1 && count % period == 0;
}

// Seconds from `stamp` (days; RunStart when 0) to now, whole days included.
double ElapsedSeconds(RunState& st, double stamp);

// Whether every concentration of `level` (constituents that move, and cH as
// constituent NComp + 1) is finite over the window; otherwise the run stops
// (Stop and NumericalFailure set) with a warning that names the first
// constituent and node that failed.
bool ConcentrationsFinite(RunState& st, int level);
// ConcentrationsFinite in two parts, for a caller that tests inside node
// chunks of its own: the test of nodes clo..chi (the first node that is not
// finite, INT_MAX if none, of each row 1..NComp + 1 into first[0..NComp]),
// then the verdict over the chunks in node order (`parts` chunks of
// NComp + 1 entries each), with the warning and the stop.
void FiniteRowsOfChunk(EngineArrays& a, int level, int clo, int chi, int* first);
bool FiniteVerdict(RunState& st, const int* first, int parts);

// All services of one step, in their order.
void StepServices(RunState& st, RunLocals& loc);

// The single services (each called by StepServices).
void SolverStatistics(RunState& st);
void TimeStepControl(RunState& st, const RunLocals& loc);
void RecordPsqFrame(RunState& st, RunLocals& loc);
void SampleDetector(RunState& st);
// Detector node for a position x (mm): 0.001*NX/CapLength*x rounded with halves
// to even; -1 when it lies outside 0..NX (or is not finite).
int DetectorNode(const RunState& st, double x);
