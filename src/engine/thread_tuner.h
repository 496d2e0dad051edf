// Chooses, while a run goes on, how many threads spread its node-wise work.
// The machine's load changes under a desktop program (a compile, a browser),
// and with it the number of threads that runs fastest: more threads than the
// cores that are free make every parallel region wait for a thread that has
// lost its core. With the automatic setting the run therefore measures: it
// runs a few steps on each number of threads that the grid can pay for (one
// thread included), keeps the fastest, and measures again after a while of
// stepping. Results are the same bits on any number of threads.
#pragma once

#include <vector>

struct ThreadPlan;

class ThreadTuner {
public:
    // Stepping time of one probe (s) and the fewest steps it takes.
    static constexpr double kProbeSeconds = 0.02;
    static constexpr int kProbeSteps = 3;
    // Stepping time (s) on the chosen number before the numbers are tried again.
    static constexpr double kHoldSeconds = 2.0;
    // More threads are kept only when they run at least this much faster.
    static constexpr double kGainForMore = 1.03;

    // Takes over the plan's thread count when the plan is automatic and its
    // limit is above one; otherwise it leaves the plan alone.
    explicit ThreadTuner(ThreadPlan& plan);
    bool Active() const { return !candidates_.empty(); }
    // One step took `seconds` of stepping time over `nodes` nodes.
    void StepDone(double seconds, long long nodes);
    // The numbers of threads tried, in order.
    const std::vector<int>& Candidates() const { return candidates_; }

private:
    void Begin(std::size_t index);
    ThreadPlan& plan_;
    std::vector<int> candidates_;
    std::vector<double> rates_;  // node-steps per second of each candidate in the last round
    std::size_t probing_ = 0;    // candidate being measured; == size while holding
    double seconds_ = 0;         // stepping time measured since the last change
    long long nodes_ = 0;
    int steps_ = 0;
};
