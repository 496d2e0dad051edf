#include "engine/thread_tuner.h"

#include "engine/node_threads.h"

ThreadTuner::ThreadTuner(ThreadPlan& plan) : plan_(plan) {
    if (!plan.automatic || plan.Limit() < 2) return;
    const int most = plan.Limit();
    for (int t = 1; t < most; t *= 2) candidates_.push_back(t);
    candidates_.push_back(most);
    rates_.assign(candidates_.size(), 0.0);
    Begin(0);
}

void ThreadTuner::Begin(std::size_t index) {
    probing_ = index;
    if (index < candidates_.size()) plan_.threads = candidates_[index];
    seconds_ = 0;
    nodes_ = 0;
    steps_ = 0;
}

void ThreadTuner::StepDone(double seconds, long long nodes) {
    if (!Active()) return;
    if (seconds > 0) seconds_ += seconds;
    nodes_ += nodes;
    ++steps_;
    if (probing_ < candidates_.size()) {
        if (steps_ < kProbeSteps || seconds_ < kProbeSeconds) return;
        rates_[probing_] = nodes_ / seconds_;
        if (probing_ + 1 < candidates_.size()) {
            Begin(probing_ + 1);
            return;
        }
        // The fewest threads unless more run clearly faster.
        std::size_t best = 0;
        for (std::size_t k = 1; k < candidates_.size(); ++k)
            if (rates_[k] > kGainForMore * rates_[best]) best = k;
        Begin(candidates_.size());
        plan_.threads = candidates_[best];
        return;
    }
    if (seconds_ >= kHoldSeconds) Begin(0);
}
