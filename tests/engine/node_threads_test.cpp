// Node-wise work spread over threads: every node exactly once, contiguous
// chunks in order, exceptions back on the calling thread, the serial path
// for one thread or small ranges, and nested calls refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/step/node_threads.h"

TEST(NodeThreads, ChunksCoverTheRangeOnceInOrderAndExceptionsReachTheCaller)
{
    for (int threads : {1, 3, 8}) {
        const ThreadPlan plan{threads};
        for (int rep = 0; rep < 50; ++rep) {
            const int first = 7, last = 7 + 1000 + rep;
            std::vector<int> hits(static_cast<std::size_t>(last + 1), 0);
            std::vector<std::pair<int, int>> chunks(static_cast<std::size_t>(plan.MaxChunks()),
                                                    {-1, -1});
            const int parts = ForNodeChunks(plan, first, last, 16, [&](int lo, int hi, int c, int) {
                chunks[static_cast<std::size_t>(c)] = {lo, hi};
                for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
            });
            EXPECT_EQ(parts, threads == 1 ? 1 : plan.MaxChunks());
            for (int j = 0; j <= last; ++j)
                EXPECT_EQ(hits[static_cast<std::size_t>(j)], j >= first ? 1 : 0);
            EXPECT_EQ(chunks[0].first, first);
            for (std::size_t w = 1; w < static_cast<std::size_t>(parts); ++w)
                EXPECT_EQ(chunks[w].first, chunks[w - 1].second + 1);
            EXPECT_EQ(chunks[static_cast<std::size_t>(parts - 1)].second, last);
        }
    }
    // The first failing chunk's exception reaches the caller; the pool stays usable.
    const ThreadPlan four{4};
    try {
        ForNodeChunks(four, 0, 999, 10, [&](int lo, int, int c, int) {
            if (c >= 1)
                throw std::runtime_error("chunk " + std::to_string(c) + " at " +
                                         std::to_string(lo));
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        // 16 chunks, 4 per thread: a thread's share of 250 nodes starts with
        // a chunk of 4/10 of it
        EXPECT_EQ(std::string(e.what()), "chunk 1 at 100");
    }
    int calls = 0;
    EXPECT_EQ(
        ForNodeChunks(four, 0, 10, 8, [&](int lo, int hi, int, int) { calls += hi - lo + 1; }), 1);
    EXPECT_EQ(calls, 11);
    // 17 nodes in 16 chunks: shrinking chunks would leave one empty, so the
    // chunks are equal (one or two nodes), every one called, none empty.
    std::vector<std::atomic<int>> single(17), called(16);
    EXPECT_EQ(ForNodeChunks(four, 0, 16, 1,
                            [&](int lo, int hi, int c, int) {
                                if (lo <= hi && hi - lo < 2) ++called[static_cast<std::size_t>(c)];
                                for (int j = lo; j <= hi; ++j)
                                    ++single[static_cast<std::size_t>(j)];
                            }),
              16);
    for (auto& n : called) EXPECT_EQ(n.load(), 1);
    for (auto& n : single) EXPECT_EQ(n.load(), 1);
}

TEST(NodeThreads, NestedCallsAreRefusedOnEveryThread)
{
    // A chunk that splits nodes again would wait for the pool it runs on; the
    // call is refused instead, from the calling thread, from a worker and on
    // the serial path, and the pool keeps working afterwards.
    for (int threads : {1, 4}) {
        const ThreadPlan plan{threads};
        int refused = 0, chunks = 0;
        try {
            ForNodeChunks(plan, 0, 999, 10, [&](int lo, int hi, int, int) {
                ForNodeChunks(plan, lo, hi, 1, [](int, int, int, int) {});
            });
        } catch (const std::logic_error&) {
            ++refused;
        }
        EXPECT_EQ(refused, 1) << threads;
        chunks = ForNodeChunks(plan, 0, 999, 10, [](int, int, int, int) {});
        EXPECT_EQ(chunks, threads == 1 ? 1 : plan.MaxChunks());
    }
}

TEST(NodeThreads, LongWaitsSleepAndWakeAndTheAutomaticPlanFollowsTheGrid)
{
    // A chunk that takes far longer than the spinning lasts: the caller and
    // the idle workers fall asleep and are woken, by the last chunk and by
    // the next job; every node is done exactly once each time.
    const ThreadPlan plan{4};
    for (int rep = 0; rep < 3; ++rep) {
        std::vector<int> hits(400, 0);
        std::atomic<bool> slept{false};  // one chunk on a worker, so the caller waits for it
        ForNodeChunks(plan, 0, 399, 10, [&](int lo, int hi, int, int worker) {
            if (worker != 0 && !slept.exchange(true))
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
        });
        for (int h : hits) EXPECT_EQ(h, 1);
        std::this_thread::sleep_for(
            std::chrono::milliseconds(2));  // the workers sleep between jobs
    }
    // Threads by grid size: one below the break-even, more as the grid grows,
    // never more than are at hand.
    EXPECT_EQ(ThreadsForGrid(1001, 8), 1);
    EXPECT_EQ(ThreadsForGrid(4001, 8), 2);
    EXPECT_EQ(ThreadsForGrid(16001, 8), 8);
    EXPECT_EQ(ThreadsForGrid(16001, 3), 3);
    EXPECT_EQ(ThreadsForGrid(0, 8), 1);
    const int saved = EngineThreads();
    const bool automatic = EngineThreadsAutomatic();
    SetEngineThreads(0);
    EXPECT_TRUE(EngineThreadsAutomatic());
    EXPECT_EQ(ThreadPlan::FromSetting(501).threads, 1);
    EXPECT_EQ(ThreadPlan::FromSetting(1000000).threads, EngineThreads());
    SetEngineThreads(3);  // a number set is taken as it is
    EXPECT_EQ(ThreadPlan::FromSetting(501).threads, 3);
    SetEngineThreads(automatic ? 0 : saved);
}

TEST(NodeThreads, InOrderFollowUpsRunOnTheCallerInChunkOrderAsChunksFinish)
{
    // `then` runs once per chunk, on the calling thread, in chunk order, each
    // after its own chunk finished (it sees what the chunk wrote); with one
    // thread, once after the single chunk.
    const std::thread::id caller = std::this_thread::get_id();
    for (int threads : {1, 4}) {
        const ThreadPlan plan{threads};
        for (int rep = 0; rep < 20; ++rep) {
            std::vector<int> written(1000, 0);
            std::vector<std::pair<int, int>> followed;
            bool onCaller = true, sawChunk = true;
            const int parts = ForNodeChunksInOrder(
                plan, 0, 999, 10,
                [&](int lo, int hi, int, int) {
                    for (int j = lo; j <= hi; ++j) written[static_cast<std::size_t>(j)] = 1;
                },
                [&](int lo, int hi, int) {
                    onCaller = onCaller && std::this_thread::get_id() == caller;
                    for (int j = lo; j <= hi; ++j)
                        sawChunk = sawChunk && written[static_cast<std::size_t>(j)] == 1;
                    followed.emplace_back(lo, hi);
                });
            ASSERT_EQ(static_cast<int>(followed.size()), parts) << threads;
            EXPECT_EQ(parts, threads == 1 ? 1 : plan.MaxChunks());
            EXPECT_TRUE(onCaller);
            EXPECT_TRUE(sawChunk);
            EXPECT_EQ(followed.front().first, 0);
            for (std::size_t c = 1; c < followed.size(); ++c)
                EXPECT_EQ(followed[c].first, followed[c - 1].second + 1);
            EXPECT_EQ(followed.back().second, 999);
        }
    }
    // The follow-ups overlap the chunks still running: a chunk on a worker
    // waits (at most 2 s) until chunk 0's follow-up has run, which the caller
    // does without waiting for the whole region.
    // The caller's first chunk holds it (at most 2 s) until a worker has
    // joined, so that a busy machine cannot leave every chunk to the caller.
    const ThreadPlan four{4};
    std::atomic<int> followedUp{0};
    std::atomic<bool> waited{false}, overlapped{false}, joined{false};
    ForNodeChunksInOrder(
        four, 0, 999, 10,
        [&](int, int, int chunk, int worker) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));  // workers join in
            if (worker == 0) {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (!joined.load() && std::chrono::steady_clock::now() < end)
                    std::this_thread::yield();
                return;
            }
            joined = true;
            if (chunk == 0 || waited.exchange(true)) return;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (followedUp.load() == 0 && std::chrono::steady_clock::now() < end)
                std::this_thread::yield();
            overlapped = followedUp.load() > 0;
        },
        [&](int, int, int) { ++followedUp; });
    EXPECT_TRUE(waited.load());
    EXPECT_TRUE(overlapped.load());
    // After a chunk that throws no follow-up runs; a follow-up that throws
    // ends them too; either exception reaches the caller, and the pool keeps
    // working; a follow-up may not split nodes again either.
    for (int failing : {0, 1}) {
        std::vector<int> followed;
        try {
            ForNodeChunksInOrder(
                four, 0, 999, 10,
                [&](int, int, int chunk, int) {
                    if (failing == 0 && chunk == 3) throw std::runtime_error("chunk");
                },
                [&](int, int, int chunk) {
                    followed.push_back(chunk);
                    if (failing == 1 && chunk == 2) throw std::runtime_error("follow-up");
                });
            FAIL() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), failing == 0 ? "chunk" : "follow-up");
        }
        EXPECT_EQ(followed, (std::vector<int>{0, 1, 2})) << failing;
    }
    EXPECT_THROW(ForNodeChunksInOrder(
                     four, 0, 999, 10, [](int, int, int, int) {},
                     [&](int lo, int hi, int) {
                         ForNodeChunks(four, lo, hi, 1, [](int, int, int, int) {});
                     }),
                 std::logic_error);
    int calls = 0;
    EXPECT_EQ(ForNodeChunksInOrder(
                  four, 0, 999, 10, [](int, int, int, int) {}, [&](int, int, int) { ++calls; }),
              four.MaxChunks());
    EXPECT_EQ(calls, four.MaxChunks());
}

TEST(NodeThreads, AThreadHeldUpLeavesTheRestOfItsChunksToTheOthers)
{
    // Each thread runs the chunks of its own share first; the first chunk a
    // worker runs is held (at most 2 s) until every other chunk is done, so the
    // rest of that worker's share must be taken by the caller and the other
    // workers. Every node is still done exactly once.
    const ThreadPlan four{4};
    constexpr int kNodes = 1600;
    for (int round = 0; round < 10; ++round) {
        std::vector<std::atomic<int>> hits(kNodes);
        std::atomic<int> finished{0};
        std::atomic<bool> holding{false}, heldThrough{true};
        int chunks = 0;
        chunks = ForNodeChunks(four, 0, kNodes - 1, 100, [&](int lo, int hi, int, int worker) {
            for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
            bool first = false;
            if (worker != 0 && holding.compare_exchange_strong(first, true)) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));  // the others join in
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                // 16 chunks: every one but this is done by the others
                while (finished.load() < 15 && std::chrono::steady_clock::now() < end)
                    std::this_thread::yield();
                heldThrough = finished.load() == 15;
            }
            ++finished;
        });
        EXPECT_EQ(chunks, 16);
        EXPECT_TRUE(heldThrough.load()) << "round " << round;
        for (int j = 0; j < kNodes; ++j) ASSERT_EQ(hits[static_cast<std::size_t>(j)].load(), 1);
    }
}

TEST(NodeThreads, DenseNodesAreSharedOutByCost)
{
    // Nodes 3000..5999 of 0..15999 cost 16 times the others: every node is
    // done once, the chunks follow each other in node order, each thread's
    // share (4 chunks) holds about the same cost (within one dense node of a
    // quarter), so a window of heavy work is spread over every thread instead
    // of a few, and within a share the chunks shrink (4, 3, 2, 1 tenths).
    const ThreadPlan four{4};
    constexpr int kNodes = 16000, kLo = 3000, kHi = 5999, kWeight = 16;
    std::vector<std::atomic<int>> hits(kNodes);
    std::vector<std::pair<int, int>> bounds(64, {-1, -1});
    std::vector<std::pair<int, int>> followed;
    const int chunks = ForNodeChunksInOrder(
        four, 0, kNodes - 1, 256,
        [&](int lo, int hi, int chunk, int) {
            bounds[static_cast<std::size_t>(chunk)] = {lo, hi};
            for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
        },
        [&](int lo, int hi, int) { followed.emplace_back(lo, hi); }, DenseNodes{kLo, kHi, kWeight});
    ASSERT_EQ(chunks, 16);
    for (int j = 0; j < kNodes; ++j) ASSERT_EQ(hits[static_cast<std::size_t>(j)].load(), 1) << j;
    const double share = double(kNodes + (kWeight - 1) * (kHi - kLo + 1)) / 4;
    for (int c = 0; c < chunks; ++c) {
        const auto [lo, hi] = bounds[static_cast<std::size_t>(c)];
        ASSERT_LE(lo, hi) << c;
        EXPECT_EQ(lo, c == 0 ? 0 : bounds[static_cast<std::size_t>(c - 1)].second + 1);
        const int dense = std::max(0, std::min(hi, kHi) - std::max(lo, kLo) + 1);
        const double cost = (hi - lo + 1) + (kWeight - 1) * dense;
        EXPECT_NEAR(cost, share * (4 - c % 4) / 10, kWeight) << "chunk " << c;
    }
    EXPECT_EQ(bounds[static_cast<std::size_t>(chunks - 1)].second, kNodes - 1);
    EXPECT_EQ(followed.size(),
              static_cast<std::size_t>(chunks));  // the follow-ups see the same chunks
    for (int c = 0; c < chunks; ++c)
        EXPECT_EQ(followed[static_cast<std::size_t>(c)], bounds[static_cast<std::size_t>(c)]);
    // A dense range reaching past the ends, and one node wide.
    for (DenseNodes d : {DenseNodes{-50, kNodes + 50, 16}, DenseNodes{7000, 7000, 1000}}) {
        std::vector<std::atomic<int>> once(kNodes);
        ForNodeChunksInOrder(
            four, 0, kNodes - 1, 256,
            [&](int lo, int hi, int, int) {
                for (int j = lo; j <= hi; ++j) ++once[static_cast<std::size_t>(j)];
            },
            [](int, int, int) {}, d);
        for (int j = 0; j < kNodes; ++j)
            ASSERT_EQ(once[static_cast<std::size_t>(j)].load(), 1) << j;
    }
}
