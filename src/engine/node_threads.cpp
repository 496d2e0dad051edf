#include "engine/node_threads.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

int HardwareThreads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

std::atomic<int> gThreads{1};

// Persistent workers. A job is published by raising `generation_`; worker w
// runs chunk w (1..parts-1), the caller runs chunk 0 and waits until every
// worker has acknowledged the job. Workers spin a short while for the next job before they sleep,
// so the many small jobs of a time step do not pay for a wake-up each.
class Pool {
public:
    static Pool& Instance() {
        static Pool pool;
        return pool;
    }

    int Run(int parts, int first, int last, NodeChunkJob fn) {
        std::lock_guard<std::mutex> runLock(runMutex_);  // one job at a time
        Grow(parts - 1);
        const int n = last - first + 1;
        job_ = fn;
        first_ = first;
        count_ = n;
        parts_ = parts;
        errors_.assign(static_cast<std::size_t>(parts), nullptr);
        // Every worker acknowledges every job, so no worker still reads the
        // job's fields when the next job writes them.
        pending_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
        {
            std::lock_guard<std::mutex> lk(mutex_);
            generation_.fetch_add(1, std::memory_order_release);
        }
        cv_.notify_all();
        RunChunk(0);
        while (pending_.load(std::memory_order_acquire) != 0) std::this_thread::yield();
        for (auto& e : errors_)
            if (e) std::rethrow_exception(e);
        return parts;
    }

    ~Pool() {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            quit_ = true;
            generation_.fetch_add(1, std::memory_order_release);
        }
        cv_.notify_all();
        for (auto& t : workers_) t.join();
    }

private:
    void Grow(int needed) {
        while (static_cast<int>(workers_.size()) < needed) {
            const int index = static_cast<int>(workers_.size()) + 1;
            const unsigned long long seen = generation_.load(std::memory_order_acquire);
            workers_.emplace_back([this, index, seen] { Loop(index, seen); });
        }
    }

    void RunChunk(int part) {
        const int lo = first_ + static_cast<int>(static_cast<long long>(count_) * part / parts_);
        const int hi = first_ + static_cast<int>(static_cast<long long>(count_) * (part + 1) / parts_) - 1;
        if (lo > hi) return;
        try {
            job_.call(job_.object, lo, hi, part);
        } catch (...) {
            errors_[static_cast<std::size_t>(part)] = std::current_exception();
        }
    }

    void Loop(int index, unsigned long long seen) {
        for (;;) {
            unsigned long long g = generation_.load(std::memory_order_acquire);
            for (int spin = 0; g == seen && spin < 20000; ++spin) {
                std::this_thread::yield();
                g = generation_.load(std::memory_order_acquire);
            }
            if (g == seen) {
                std::unique_lock<std::mutex> lk(mutex_);
                cv_.wait(lk, [&] { return generation_.load(std::memory_order_acquire) != seen; });
                g = generation_.load(std::memory_order_acquire);
            }
            seen = g;
            if (quit_) return;
            if (index < parts_) RunChunk(index);
            pending_.fetch_sub(1, std::memory_order_acq_rel);
        }
    }

    std::mutex runMutex_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::atomic<unsigned long long> generation_{0};
    std::atomic<int> pending_{0};
    std::vector<std::thread> workers_;
    NodeChunkJob job_{nullptr, nullptr};
    int first_ = 0, count_ = 0, parts_ = 1;
    std::vector<std::exception_ptr> errors_;
    bool quit_ = false;
};

}  // namespace

void SetEngineThreads(int threads) {
    gThreads.store(threads <= 0 ? HardwareThreads() : std::min(threads, 64));
}

int EngineThreads() { return gThreads.load(); }

int MaxNodeChunks() { return EngineThreads(); }

int ForNodeChunksJob(int first, int last, int minChunk, NodeChunkJob fn) {
    if (last < first) return 0;
    const int n = last - first + 1;
    if (minChunk < 1) minChunk = 1;
    const int parts = std::min(EngineThreads(), n / minChunk);
    if (parts < 2) {
        fn.call(fn.object, first, last, 0);
        return 1;
    }
    return Pool::Instance().Run(parts, first, last, fn);
}
