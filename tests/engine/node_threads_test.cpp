// Node-wise work spread over threads: every node exactly once, contiguous
// chunks in order, exceptions back on the calling thread, and the serial path
// for one thread or small ranges.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "engine/node_threads.h"

namespace {

struct ThreadsGuard {
    int saved = EngineThreads();
    ~ThreadsGuard() { SetEngineThreads(saved); }
};

}  // namespace

TEST(NodeThreads, ChunksCoverTheRangeOnceInOrder) {
    ThreadsGuard guard;
    for (int threads : {1, 2, 3, 8}) {
        SetEngineThreads(threads);
        for (int rep = 0; rep < 200; ++rep) {
            const int first = 7, last = 7 + 1000 + rep;
            std::vector<int> hits(static_cast<std::size_t>(last + 1), 0);
            std::vector<std::pair<int, int>> chunks(static_cast<std::size_t>(MaxNodeChunks()), {-1, -1});
            std::vector<std::atomic<int>> workers(static_cast<std::size_t>(MaxNodeWorkers()));
            const int parts = ForNodeChunks(first, last, 16, [&](int lo, int hi, int c, int w) {
                chunks[static_cast<std::size_t>(c)] = {lo, hi};
                workers[static_cast<std::size_t>(w)].fetch_add(1);
                for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
            });
            EXPECT_EQ(parts, threads == 1 ? 1 : MaxNodeChunks());
            int taken = 0;
            for (auto& n : workers) taken += n.load();
            EXPECT_EQ(taken, parts);
            for (int j = 0; j <= last; ++j) EXPECT_EQ(hits[static_cast<std::size_t>(j)], j >= first ? 1 : 0);
            EXPECT_EQ(chunks[0].first, first);
            for (int w = 1; w < parts; ++w)
                EXPECT_EQ(chunks[static_cast<std::size_t>(w)].first,
                          chunks[static_cast<std::size_t>(w - 1)].second + 1);
            EXPECT_EQ(chunks[static_cast<std::size_t>(parts - 1)].second, last);
        }
    }
    // Small ranges and one thread run serially on the calling thread.
    SetEngineThreads(4);
    int calls = 0;
    EXPECT_EQ(ForNodeChunks(0, 10, 8, [&](int lo, int hi, int c, int w) {
                  ++calls;
                  EXPECT_EQ(lo, 0);
                  EXPECT_EQ(hi, 10);
                  EXPECT_EQ(c, 0);
                  EXPECT_EQ(w, 0);
              }),
              1);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ForNodeChunks(5, 4, 1, [&](int, int, int, int) { ++calls; }), 0);
    EXPECT_EQ(calls, 1);
    SetEngineThreads(0);
    EXPECT_GE(EngineThreads(), 1);
}

TEST(NodeThreads, ExceptionsReachTheCaller) {
    ThreadsGuard guard;
    SetEngineThreads(4);
    std::atomic<int> done{0};
    try {
        ForNodeChunks(0, 999, 10, [&](int lo, int, int c, int) {
            done.fetch_add(1);
            if (c >= 1) throw std::runtime_error("chunk " + std::to_string(c) + " at " + std::to_string(lo));
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "chunk 1 at 62");
    }
    EXPECT_EQ(done.load(), MaxNodeChunks());
    // The pool stays usable.
    long long sum = 0;
    std::vector<long long> part(static_cast<std::size_t>(MaxNodeChunks()), 0);
    ForNodeChunks(1, 1000, 10, [&](int lo, int hi, int c, int) {
        for (int j = lo; j <= hi; ++j) part[static_cast<std::size_t>(c)] += j;
    });
    for (long long p : part) sum += p;
    EXPECT_EQ(sum, 500500);
}
