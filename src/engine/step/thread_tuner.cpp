#include "engine/step/thread_tuner.h"

#include <algorithm>

#include "engine/step/node_threads.h"

ThreadTuner::ThreadTuner(ThreadPlan& plan) : plan_(plan)
{
    if (!plan.automatic || plan.Limit() < 2) return;
    const int most = plan.Limit();
    for (int t = 2; t < most; t *= 2) candidates_.push_back(t);
    candidates_.push_back(most);
    holdSeconds_ = kFirstRoundAfter;
    Enter(Phase::Hold, 1);
}

void ThreadTuner::Enter(Phase phase, int threads)
{
    phase_ = phase;
    plan_.threads = threads;
    seconds_ = 0;
    nodes_ = 0;
    steps_ = 0;
}

void ThreadTuner::FinishRound()
{
    agreeing_ = best_ == lastChoice_ ? std::min(agreeing_ + 1, kMaxHoldDoublings) : 0;
    lastChoice_ = best_;
    holdSeconds_ = kHoldSeconds * (1 << agreeing_);
    Enter(Phase::Hold, best_);
}

void ThreadTuner::StepDone(double seconds, long long nodes)
{
    if (!Active()) return;
    if (seconds > 0) seconds_ += seconds;
    nodes_ += nodes;
    ++steps_;
    if (phase_ == Phase::Hold) {
        if (seconds_ < holdSeconds_) return;
        next_ = 0;
        best_ = 1;
        bestRatio_ = 1;
        Enter(Phase::One, 1);
        return;
    }
    // A number that runs at less than half one thread's rate cannot win: its
    // measurement ends after its first step and the round with it (on a busy
    // machine a region waits for a thread that lost its core; a whole probe
    // of such steps costs more than the run gains).
    if (phase_ == Phase::Candidate && seconds_ > 0 && nodes_ / seconds_ < kHopeless * oneRate_) {
        FinishRound();
        return;
    }
    if (steps_ < kProbeSteps || seconds_ < kProbeSeconds) return;
    const double rate = nodes_ / seconds_;
    switch (phase_) {
    case Phase::One:
        oneRate_ = rate;
        Enter(Phase::Candidate, candidates_[next_]);
        return;
    case Phase::Candidate:
        candidateRate_ = rate;
        Enter(Phase::OneAgain, 1);
        return;
    case Phase::OneAgain: {
        // The candidate against one thread measured on both sides of it.
        const double ratio = candidateRate_ / (0.5 * (oneRate_ + rate));
        oneRate_ = rate;
        if (ratio < kGainForMore * bestRatio_) break;
        best_ = candidates_[next_];
        bestRatio_ = ratio;
        if (++next_ == candidates_.size()) break;
        Enter(Phase::Candidate, candidates_[next_]);
        return;
    }
    case Phase::Hold: return;
    }
    FinishRound();
}
