// Chooses, while a run goes on, how many threads spread its node-wise work.
// The machine's load changes under a desktop program (a compile, a browser),
// and with it the number of threads that runs fastest: more threads than the
// cores that are free make every parallel region wait for a thread that has
// lost its core. With the automatic setting the run therefore starts on one
// thread and, once it has stepped a while, measures in rounds: one thread,
// then the next number of threads that the grid pays for (2, 4, ... up to its
// limit), each followed by one thread again, so that every number is compared
// with one thread measured just before and just after it (the machine's speed
// drifts). It goes up while each number runs clearly faster than the best so
// far (a number whose first step runs at less than half one thread's rate
// ends the round at once), keeps the best, and holds it for a while of
// stepping before the next round; the hold doubles while rounds keep choosing
// the same number. Results are the same bits on any number of threads.
#pragma once

#include <cstddef>
#include <vector>

struct ThreadPlan;

class ThreadTuner {
public:
    // Stepping time of one measurement (s) and the fewest steps it takes.
    static constexpr double kProbeSeconds = 0.04;
    static constexpr int kProbeSteps = 3;
    // Stepping time (s) on the chosen number before the next round, at first;
    // doubled while rounds agree, up to kMaxHoldDoublings times.
    static constexpr double kHoldSeconds = 2.0;
    static constexpr int kMaxHoldDoublings = 4;
    // A run starts on one thread and measures only after this much stepping
    // time (s): a short run is never slowed by measuring numbers that lose.
    static constexpr double kFirstRoundAfter = 0.25;
    // More threads are kept only when they run at least this much faster.
    static constexpr double kGainForMore = 1.10;
    // A number whose first step runs below this fraction of one thread's rate
    // ends the round at once.
    static constexpr double kHopeless = 0.5;

    // Takes over the plan's thread count when the plan is automatic and its
    // limit is above one; otherwise it leaves the plan alone.
    explicit ThreadTuner(ThreadPlan& plan);
    bool Active() const { return !candidates_.empty(); }
    // One step took `seconds` of stepping time over `nodes` nodes.
    void StepDone(double seconds, long long nodes);
    // The numbers of threads a round may try after one thread, in order.
    const std::vector<int>& Candidates() const { return candidates_; }

private:
    enum class Phase { One, Candidate, OneAgain, Hold };
    void Enter(Phase phase, int threads);
    void FinishRound();
    ThreadPlan& plan_;
    std::vector<int> candidates_;
    Phase phase_ = Phase::One;
    std::size_t next_ = 0;  // candidate of the round being measured
    double oneRate_ = 0;    // one thread, measured last
    double candidateRate_ = 0;
    double bestRatio_ = 1;  // best number's rate over one thread's
    int best_ = 1, lastChoice_ = 0, agreeing_ = 0;
    double holdSeconds_ = 0;
    double seconds_ = 0;  // stepping time measured in the current phase
    long long nodes_ = 0;
    int steps_ = 0;
};
