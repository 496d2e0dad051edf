// Node-wise work spread over threads: every node exactly once, contiguous
// chunks in order, exceptions back on the calling thread, the serial path
// for one thread or small ranges, and nested calls refused.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/node_threads.h"

TEST(NodeThreads, ChunksCoverTheRangeOnceInOrderAndExceptionsReachTheCaller) {
    for (int threads : {1, 3, 8}) {
        const ThreadPlan plan{threads};
        for (int rep = 0; rep < 50; ++rep) {
            const int first = 7, last = 7 + 1000 + rep;
            std::vector<int> hits(static_cast<std::size_t>(last + 1), 0);
            std::vector<std::pair<int, int>> chunks(static_cast<std::size_t>(plan.MaxChunks()), {-1, -1});
            const int parts = ForNodeChunks(plan, first, last, 16, [&](int lo, int hi, int c, int) {
                chunks[static_cast<std::size_t>(c)] = {lo, hi};
                for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
            });
            EXPECT_EQ(parts, threads == 1 ? 1 : plan.MaxChunks());
            for (int j = 0; j <= last; ++j) EXPECT_EQ(hits[static_cast<std::size_t>(j)], j >= first ? 1 : 0);
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
            if (c >= 1) throw std::runtime_error("chunk " + std::to_string(c) + " at " + std::to_string(lo));
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "chunk 1 at 62");
    }
    int calls = 0;
    EXPECT_EQ(ForNodeChunks(four, 0, 10, 8, [&](int lo, int hi, int, int) { calls += hi - lo + 1; }), 1);
    EXPECT_EQ(calls, 11);
}

TEST(NodeThreads, NestedCallsAreRefusedOnEveryThread) {
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
