// Node-wise work spread over threads: every node exactly once, contiguous
// chunks in order, exceptions back on the calling thread, and the serial path
// for one thread or small ranges.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/node_threads.h"

TEST(NodeThreads, ChunksCoverTheRangeOnceInOrderAndExceptionsReachTheCaller) {
    const int saved = EngineThreads();
    for (int threads : {1, 3, 8}) {
        SetEngineThreads(threads);
        for (int rep = 0; rep < 50; ++rep) {
            const int first = 7, last = 7 + 1000 + rep;
            std::vector<int> hits(static_cast<std::size_t>(last + 1), 0);
            std::vector<std::pair<int, int>> chunks(static_cast<std::size_t>(MaxNodeChunks()), {-1, -1});
            const int parts = ForNodeChunks(first, last, 16, [&](int lo, int hi, int c, int) {
                chunks[static_cast<std::size_t>(c)] = {lo, hi};
                for (int j = lo; j <= hi; ++j) ++hits[static_cast<std::size_t>(j)];
            });
            EXPECT_EQ(parts, threads == 1 ? 1 : MaxNodeChunks());
            for (int j = 0; j <= last; ++j) EXPECT_EQ(hits[static_cast<std::size_t>(j)], j >= first ? 1 : 0);
            EXPECT_EQ(chunks[0].first, first);
            for (std::size_t w = 1; w < static_cast<std::size_t>(parts); ++w)
                EXPECT_EQ(chunks[w].first, chunks[w - 1].second + 1);
            EXPECT_EQ(chunks[static_cast<std::size_t>(parts - 1)].second, last);
        }
    }
    // The first failing chunk's exception reaches the caller; the pool stays usable.
    SetEngineThreads(4);
    try {
        ForNodeChunks(0, 999, 10, [&](int lo, int, int c, int) {
            if (c >= 1) throw std::runtime_error("chunk " + std::to_string(c) + " at " + std::to_string(lo));
        });
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "chunk 1 at 62");
    }
    int calls = 0;
    EXPECT_EQ(ForNodeChunks(0, 10, 8, [&](int lo, int hi, int, int) { calls += hi - lo + 1; }), 1);
    EXPECT_EQ(calls, 11);
    SetEngineThreads(saved);
}
