// The automatic choice of threads while a run goes on: each number that the
// grid pays for is tried, the fastest is kept (more threads only when clearly
// faster), the numbers are tried again after a while; a number set by the
// user is left alone; and a run whose threads change as it goes keeps the
// trajectory of one thread bit for bit.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/step/node_threads.h"
#include "engine/step/run_calc.h"
#include "engine/step/thread_tuner.h"
#include "support/bench_cases.h"

namespace {

// Feeds the tuner steps of 1000 nodes whose time depends on the plan's
// current number of threads, until `seconds` of stepping have passed.
void Feed(ThreadTuner& tuner, const ThreadPlan& plan, const std::map<int, double>& secondsPerStep,
          double seconds, std::vector<int>* tried = nullptr)
{
    for (double t = 0; t < seconds;) {
        const double s = secondsPerStep.at(plan.threads);
        if (tried && (tried->empty() || tried->back() != plan.threads))
            tried->push_back(plan.threads);
        tuner.StepDone(s, 1000);
        t += s;
    }
}

}  // namespace

TEST(ThreadTuner, ComparesEachNumberWithOneThreadAroundItAndKeepsTheFastest)
{
    ThreadPlan plan{8, 8, true};
    ThreadTuner tuner(plan);
    ASSERT_TRUE(tuner.Active());
    EXPECT_EQ(tuner.Candidates(), (std::vector<int>{2, 4, 8}));
    // 4 threads fastest, 8 slower than 2 (a busy machine)
    const std::map<int, double> busy = {{1, 1e-3}, {2, 0.6e-3}, {4, 0.4e-3}, {8, 0.7e-3}};
    std::vector<int> tried;
    // a run starts on one thread and measures only after a while of stepping
    EXPECT_EQ(plan.threads, 1);
    Feed(tuner, plan, busy, ThreadTuner::kFirstRoundAfter - 0.01, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1}));
    Feed(tuner, plan, busy, 0.01 + 7 * ThreadTuner::kProbeSeconds + 0.01, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1, 2, 1, 4, 1, 8, 1, 4}));
    EXPECT_EQ(plan.threads, 4);
    // held while the machine does not change ...
    Feed(tuner, plan, busy, ThreadTuner::kHoldSeconds - 0.05);
    EXPECT_EQ(plan.threads, 4);
    // ... then measured again: now every other number is slow, and the round
    // stops at the first that does not beat one thread
    const std::map<int, double> loaded = {{1, 1e-3}, {2, 1.5e-3}, {4, 2e-3}, {8, 3e-3}};
    tried.clear();
    Feed(tuner, plan, loaded, 0.05 + 3 * ThreadTuner::kProbeSeconds + 0.02, &tried);
    EXPECT_EQ(tried, (std::vector<int>{4, 1, 2, 1}));
    EXPECT_EQ(plan.threads, 1);
    EXPECT_EQ(plan.Limit(), 8);  // the work storage stays sized for 8
    // the same choice again: the hold doubles
    Feed(tuner, plan, loaded, ThreadTuner::kHoldSeconds + 3 * ThreadTuner::kProbeSeconds + 0.02);
    EXPECT_EQ(plan.threads, 1);
    tried.clear();
    Feed(tuner, plan, loaded, 2 * ThreadTuner::kHoldSeconds - 0.1, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1}));
    Feed(tuner, plan, loaded, 0.2, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1, 2, 1}));
}

TEST(ThreadTuner, ANumberFarSlowerThanOneThreadEndsTheRoundAfterOneStep)
{
    // A machine so busy that 4 threads run at a third of one thread's rate:
    // 2 threads win, 4 are abandoned after their first step (no full probe,
    // no measurement of one thread after them) and the run goes on with 2.
    ThreadPlan plan{8, 8, true};
    ThreadTuner tuner(plan);
    const std::map<int, double> busy = {{1, 1e-3}, {2, 0.7e-3}, {4, 3e-3}, {8, 3e-3}};
    std::vector<int> tried;
    for (int step = 0; step < 10000 && plan.threads != 4; ++step)
        Feed(tuner, plan, busy, 1e-9, &tried);
    tried.push_back(4);
    EXPECT_EQ(tried, (std::vector<int>{1, 2, 1, 4}));
    ASSERT_EQ(plan.threads, 4);
    tuner.StepDone(busy.at(4), 1000);  // the first step on 4 threads
    EXPECT_EQ(plan.threads, 2);
    Feed(tuner, plan, busy, ThreadTuner::kHoldSeconds - 0.1, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1, 2, 1, 4, 2}));
    // A number about as fast as one thread is measured in full.
    ThreadPlan even{8, 8, true};
    ThreadTuner evenTuner(even);
    const std::map<int, double> flat = {{1, 1e-3}, {2, 1.2e-3}, {4, 1e-3}, {8, 1e-3}};
    tried.clear();
    Feed(evenTuner, even, flat, ThreadTuner::kFirstRoundAfter + 0.01, &tried);
    Feed(evenTuner, even, flat, 2 * ThreadTuner::kProbeSeconds, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1, 2, 1}));
}

TEST(ThreadTuner, MoreThreadsOnlyWhenClearlyFasterAndNumbersSetAreKept)
{
    ThreadPlan plan{6, 6, true};
    ThreadTuner tuner(plan);
    EXPECT_EQ(tuner.Candidates(), (std::vector<int>{2, 4, 6}));
    // 2 threads 5 % faster than one: not worth a thread
    std::vector<int> tried;
    Feed(tuner, plan, {{1, 1e-3}, {2, 0.95e-3}, {4, 0.5e-3}, {6, 0.5e-3}},
         ThreadTuner::kFirstRoundAfter + 3 * ThreadTuner::kProbeSeconds + 0.01, &tried);
    EXPECT_EQ(tried, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(plan.threads, 1);
    // a number compared with one thread on both sides of it: one thread
    // measured slow once (a burst of other work) does not make 2 win
    ThreadPlan drift{2, 2, true};
    ThreadTuner paired(drift);
    paired.StepDone(ThreadTuner::kFirstRoundAfter, 1000);  // the first stepping, on one thread
    paired.StepDone(0.05, 10000);                          // one thread: 200,000 nodes/s
    paired.StepDone(0.05, 10000);
    paired.StepDone(0.05, 10000);
    EXPECT_EQ(drift.threads, 2);
    for (int k = 0; k < 3; ++k) paired.StepDone(0.05, 12000);  // 2 threads: 240,000
    EXPECT_EQ(drift.threads, 1);
    for (int k = 0; k < 3; ++k) paired.StepDone(0.05, 16000);  // one thread again: 320,000
    EXPECT_EQ(drift.threads, 1);  // 240,000 against (200,000 + 320,000) / 2: no gain

    ThreadPlan set{3};  // a number the user set
    ThreadTuner none(set);
    EXPECT_FALSE(none.Active());
    none.StepDone(1.0, 1000);
    EXPECT_EQ(set.threads, 3);
    ThreadPlan small{1, 1, true};  // a grid that pays for one thread
    EXPECT_FALSE(ThreadTuner(small).Active());
}

namespace {

// A host whose clock makes each step cost time by the run's current number of
// threads: two threads run fastest.
class ThreadCostHost : public EngineHost {
public:
    explicit ThreadCostHost(const RunState& st) : st_(st) {}
    void ProcessMessages() override {}
    void SetStatusText(const std::string&) override {}
    double NowDays() override
    {
        const int t = st_.Engine.Threads.threads;
        now_ += (t == 2 ? 0.5e-3 : 1e-3) / 86400.0;
        if (seen.empty() || seen.back() != t) seen.push_back(t);
        return now_;
    }
    std::vector<int> seen;

private:
    const RunState& st_;
    double now_ = 45000;
};

std::vector<double> Profiles(RunState& st)
{
    std::vector<double> p;
    for (int i = 1; i <= st.Arr.NComp; ++i)
        p.insert(p.end(), st.Arr.C(2, i), st.Arr.C(2, i) + st.Arr.Nn);
    p.insert(p.end(), st.Arr.PH.begin(), st.Arr.PH.end());
    return p;
}

}  // namespace

TEST(ThreadTuner, ARunChoosesItsThreadsAsItGoesAndKeepsTheTrajectoryOfOneThread)
{
    const int saved = EngineThreads();
    const bool automatic = EngineThreadsAutomatic();
    auto run = [&](int setting, std::vector<int>* seen) {
        SetEngineThreads(setting);
        RunState st;
        EXPECT_TRUE(benchcases::InitCase(st, benchcases::FindCase("B4b"), 6000));
        ThreadCostHost host(st);
        st.Host = &host;
        st.StopTime = 0.25;
        RunCalc(st);
        st.Host = nullptr;
        EXPECT_GT(st.StepCount, 600) << "too short a run for a round of measurements";
        if (seen) *seen = host.seen;
        return std::make_pair(Profiles(st), st.Engine.Threads);
    };
    const auto one = run(1, nullptr);
    std::vector<int> seen;
    const auto chosen = run(0, &seen);
    SetEngineThreads(automatic ? 0 : saved);
    ASSERT_TRUE(chosen.second.automatic);
    ASSERT_GE(chosen.second.Limit(), 2) << "a machine of one core";
    // one thread, two, one; then the next number, which is no faster, and one
    // thread; two threads kept
    ThreadPlan plan = chosen.second;
    const std::vector<int> candidates = ThreadTuner(plan).Candidates();
    std::vector<int> expected = {1, 2, 1};
    if (candidates.size() > 1) expected.insert(expected.end(), {candidates[1], 1});
    expected.push_back(2);
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(
        std::vector<int>(seen.end() - static_cast<std::ptrdiff_t>(expected.size()), seen.end()),
        expected);
    EXPECT_EQ(chosen.second.threads, 2);
    EXPECT_TRUE(chosen.first == one.first) << "the trajectory changed with the threads";
}
