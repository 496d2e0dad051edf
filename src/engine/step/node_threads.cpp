#include "engine/step/node_threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

int HardwareThreads()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 64u));
}

std::atomic<int> gThreads{1};

// Node chunks the current thread is running (0 outside ForNodeChunks).
thread_local int tChunkDepth = 0;

// Marks the current thread as inside a chunk while it lives.
struct ChunkDepth {
    ChunkDepth() { ++tChunkDepth; }
    ~ChunkDepth() { --tChunkDepth; }
};

// Runs one chunk with the current thread marked as inside a chunk.
void CallChunk(const NodeChunkJob& fn, int lo, int hi, int chunk, int worker)
{
    ChunkDepth depth;
    fn.call(fn.object, lo, hi, chunk, worker);
}

// Runs the job's in-order follow-up of one chunk, marked the same way (it
// runs while the pool holds its job: a nested call would wait for itself).
void CallInOrder(const NodeChunkJob& fn, int lo, int hi, int chunk)
{
    ChunkDepth depth;
    fn.inOrder(fn.orderedObject, lo, hi, chunk);
}

// Persistent workers. A job is published in one atomic word that carries a
// job counter and the number of threads taking part. The chunks are handed out
// by a second atomic word that carries the same job counter, the chunk count
// and the next chunk index, so a worker that wakes late for a finished job
// takes nothing and never reads the fields of a later job. The caller takes
// chunks too and then waits until every chunk of its job is done; it never
// waits for a worker that has not started. A job with an in-order follow-up
// has each finished chunk marked with the job's serial number; the caller
// runs the follow-ups of the finished chunks in order between its own chunks
// and then waits for the chunks one by one as it runs the rest.
class Pool {
public:
    static Pool& Instance()
    {
        static Pool pool;
        return pool;
    }

    int Run(int threads, int chunks, int first, int last, NodeChunkJob fn)
    {
        std::lock_guard<std::mutex> runLock(runMutex_);  // one job at a time
        Grow(threads - 1);
        const unsigned long long job =
            ((word_.load(std::memory_order_relaxed) >> 8) + 1) & kJobMask;
        job_ = fn;
        first_ = first;
        count_ = last - first + 1;
        chunks_ = chunks;
        SetCuts(threads, chunks);
        errors_.assign(static_cast<std::size_t>(chunks), nullptr);
        done_.store(0, std::memory_order_relaxed);
        ++serial_;
        ordered_ = 0;
        orderedStopped_ = false;
        for (int h = 0; h < threads; ++h) {
            const auto begin = static_cast<unsigned long long>(chunks * h / threads);
            const auto end = static_cast<unsigned long long>(chunks * (h + 1) / threads);
            homes_[static_cast<std::size_t>(h)].next.store((job << 40) | (end << 32) | begin,
                                                           std::memory_order_relaxed);
        }
        Publish(job, static_cast<unsigned>(threads));
        TakeChunks(job, static_cast<unsigned>(threads), 0);
        if (fn.inOrder) AdvanceInOrder(chunks, true);
        WaitDone(chunks, std::chrono::steady_clock::now() + kCallerSpin);
        for (auto& e : errors_)
            if (e) std::rethrow_exception(e);
        return chunks;
    }

    // The slots never move: a worker reads its helpers' slots without the mutex
    // while the caller may add workers for a larger job.
    Pool()
        : homes_(new Home[kMaxThreads]),
          chunkDone_(new ChunkFlag[kMaxChunks]),
          cuts_(new int[kMaxChunks + 1])
    {
        slots_.reserve(kMaxThreads);
    }

    ~Pool()
    {
        Publish(((word_.load(std::memory_order_relaxed) >> 8) + 1) & kJobMask, kQuit);
        for (auto& t : workers_) t.join();
    }

private:
    static constexpr unsigned kQuit = 255;
    static constexpr std::size_t kMaxThreads = 64;
    static constexpr unsigned long long kJobMask = 0xFFFFFF;
    static constexpr std::size_t kMaxChunks = 256;  // chunk indices fit the 8 bits of a home's end

    // A worker waiting for the next job spins this long before it sleeps:
    // about what a sleep and a wake-up cost on a busy machine, so a short wait
    // costs no more than a sleep and a long one leaves the core to other work.
    // (The gaps between the parallel regions of a step are a few to some tens
    // of microseconds; with 5 us the workers slept through most of them and
    // B4b on 8 threads ran slower than with 20 us.)
    static constexpr auto kSpin = std::chrono::microseconds(20);
    // A worker whose last wait ended while it spun spins this long for the
    // next: while a run steps, its regions follow each other closely and a
    // worker kept awake joins the next one at once instead of after a
    // wake-up (tens of microseconds on a virtual machine, a good part of a
    // region on 8 threads). A wait that ended asleep (between runs, a run on
    // one thread, a long serial part) brings the short spin back, so an idle
    // pool leaves the cores alone after one such spin.
    static constexpr auto kSteppingSpin = std::chrono::microseconds(50);
    // The caller waits for chunks in progress, which end soon unless their
    // thread lost its core: it spins longer before it sleeps.
    static constexpr auto kCallerSpin = std::chrono::microseconds(200);

    static void Pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    // Waits until `chunks` chunks of the current job are done: spinning
    // until spinEnd, then asleep until the thread that finishes the last one
    // wakes it.
    void WaitDone(int chunks, std::chrono::steady_clock::time_point spinEnd)
    {
        for (int spin = 0; done_.load(std::memory_order_acquire) != chunks; ++spin) {
            Pause();
            if ((spin & 15) != 15 || std::chrono::steady_clock::now() < spinEnd) continue;
            std::unique_lock<std::mutex> lk(mutex_);
            callerSleeping_.store(true);
            doneCv_.wait(lk, [&] { return done_.load() == chunks; });
            callerSleeping_.store(false);
            break;
        }
    }

    // Stores the job word and wakes worker 1 if it sleeps (every worker for
    // the quit word). The others are woken down a binary tree: worker k wakes
    // 2k and 2k + 1 (WakeHelpers). A wake-up is a system call that cost the
    // caller up to some tens of microseconds on the 8-core virtual machine
    // (measured: a region of trivial chunks after a 200 us pause took 40 us,
    // nearly all of it in the wake-ups); made one after the other by the
    // caller, they held up the region it is about to run.
    // The word changes under the mutex, so a worker on its way to sleep sees
    // it in its wait condition; the wake-ups follow outside the mutex (a
    // worker woken does not block on it).
    void Publish(unsigned long long job, unsigned threads)
    {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            word_.store((job << 8) | threads, std::memory_order_release);
        }
        for (std::size_t w = 0; w < slots_.size(); ++w)
            if (slots_[w]->sleeping.load() && (threads == kQuit || (w == 0 && threads > 1)))
                slots_[w]->cv.notify_one();
    }

    // Worker `index`'s share of the wake-ups for the job of word w. A worker
    // that is not asleep yet sees the job word before it sleeps: its flag is
    // set under the mutex, and the word was stored under it.
    void WakeHelpers(int index, unsigned long long w)
    {
        const unsigned threads = static_cast<unsigned>(w & 0xFF);
        for (int child : {2 * index, 2 * index + 1}) {
            if (static_cast<unsigned>(child) >= threads) return;
            Slot& slot = *slots_[static_cast<std::size_t>(child - 1)];
            if (slot.sleeping.load()) slot.cv.notify_one();
        }
    }

    void Grow(int needed)
    {
        while (static_cast<int>(workers_.size()) < needed) {
            const int index = static_cast<int>(workers_.size()) + 1;
            Slot* slot;
            {
                std::lock_guard<std::mutex> lk(mutex_);
                slots_.push_back(std::make_unique<Slot>());
                slot = slots_.back().get();
            }
            const unsigned long long seen = word_.load(std::memory_order_acquire);
            workers_.emplace_back([this, index, seen, slot] { Loop(index, seen, *slot); });
        }
    }

    // Nodes of chunk `part`.
    void Bounds(int part, int& lo, int& hi) const
    {
        lo = first_ + cuts_[part];
        hi = first_ + cuts_[part + 1] - 1;
    }

    // The cost of the range before `at` nodes of it, and the nodes before a
    // cost: the job's dense nodes count denseWeight each, the others 1.
    struct CostScale {
        long long n, a, m, extra;
        long long Total() const { return n + extra * m; }
        long long Nodes(long long cost) const
        {
            if (cost <= a) return cost;
            if (cost >= a + (extra + 1) * m) return cost - extra * m;
            return a + (cost - a) / (extra + 1);
        }
    };

    // Where the chunks of the job start (cuts_[part], nodes from first_;
    // cuts_[chunks] = count_). Each thread's share (the chunks it runs first)
    // holds 1/threads of the range's cost; within a share the chunks shrink
    // (costs c, c - 1, ..., 1 for c chunks): the share's owner starts on the
    // large ones, and the last ones, which decide when the region ends and
    // which the others take when the owner is held up, are small. When that
    // leaves a chunk empty (very short ranges), equal chunks.
    void SetCuts(int threads, int chunks)
    {
        const long long n = count_;
        const long long a = std::clamp<long long>(job_.denseLo - first_, 0, n);
        const long long b = std::clamp<long long>(job_.denseHi - first_ + 1, a, n);
        const CostScale scale{n, a, b - a, job_.denseWeight > 1 ? job_.denseWeight - 1 : 0};
        const long long total = scale.Total();
        for (int h = 0; h < threads; ++h) {
            const int begin = chunks * h / threads, end = chunks * (h + 1) / threads;
            const long long c = end - begin, sum = c * (c + 1) / 2;
            for (long long i = 0; i < c; ++i) {
                const long long before = i * c - i * (i - 1) / 2;  // costs of the chunks before i
                cuts_[begin + i] = static_cast<int>(scale.Nodes(
                    total * (h * sum + before) / (static_cast<long long>(threads) * sum)));
            }
        }
        cuts_[chunks] = static_cast<int>(n);
        bool nonEmpty = true;
        for (int p = 0; p < chunks; ++p) nonEmpty = nonEmpty && cuts_[p] < cuts_[p + 1];
        if (nonEmpty) return;
        for (int p = 0; p < chunks; ++p) cuts_[p] = static_cast<int>(n * p / chunks);
    }

    // The caller's in-order follow-ups of the chunks finished in order so far
    // (with `wait`, of every chunk, waiting for each: spinning, then asleep
    // until the whole job is done). After a chunk that threw, or a follow-up
    // that threw (its exception kept as the chunk's), no follow-up is run.
    void AdvanceInOrder(int chunks, bool wait)
    {
        while (ordered_ < chunks && !orderedStopped_) {
            const std::atomic<unsigned long long>& flag =
                chunkDone_[static_cast<std::size_t>(ordered_)].serial;
            if (flag.load(std::memory_order_acquire) != serial_) {
                if (!wait) return;
                const auto spinEnd = std::chrono::steady_clock::now() + kCallerSpin;
                for (int spin = 0; flag.load(std::memory_order_acquire) != serial_; ++spin) {
                    Pause();
                    if ((spin & 15) != 15 || std::chrono::steady_clock::now() < spinEnd) continue;
                    WaitDone(chunks, spinEnd);
                    break;
                }
            }
            const int part = ordered_++;
            std::exception_ptr& error = errors_[static_cast<std::size_t>(part)];
            if (error) {
                orderedStopped_ = true;
                return;
            }
            int lo, hi;
            Bounds(part, lo, hi);
            if (lo > hi) continue;
            try {
                CallInOrder(job_, lo, hi, part);
            } catch (...) {
                error = std::current_exception();
                orderedStopped_ = true;
            }
        }
    }

    // Claims a chunk of home `h` for job `job`: the owner its next one, the
    // others its last one (the owner goes on from the front, and the chunks
    // it still finds are those next to the ones it just ran); -1 when the
    // home has none left (or its word belongs to another job: a late worker
    // must not use up a chunk of a later job).
    int Claim(unsigned long long job, unsigned h, bool owner)
    {
        std::atomic<unsigned long long>& word = homes_[h].next;
        unsigned long long v = word.load(std::memory_order_acquire);
        for (;;) {
            if ((v >> 40) != job) return -1;
            const int end = static_cast<int>((v >> 32) & 0xFF);
            const int next = static_cast<int>(v & 0xFFFFFFFFu);
            if (next >= end) return -1;
            const unsigned long long taken = owner ? v + 1 : v - (1ull << 32);
            if (word.compare_exchange_weak(v, taken, std::memory_order_acq_rel,
                                           std::memory_order_acquire))
                return owner ? next : end - 1;
        }
    }

    // Runs chunks of job `job` until none is left (or the job is over): first
    // the worker's own home, then what is left in the others' homes. On a
    // quiet machine every thread runs its own home, the same nodes in every
    // region of a step, so its nodes stay in its core's cache; a thread held
    // up elsewhere has its chunks taken by the others.
    void TakeChunks(unsigned long long job, unsigned threads, int worker)
    {
        const unsigned own = static_cast<unsigned>(worker);
        int finished = 0;
        for (unsigned k = 0; k < threads; ++k) {
            const unsigned h = (own + k) % threads;
            for (int part; (part = Claim(job, h, k == 0)) >= 0; ++finished) RunChunk(part, worker);
        }
        if (finished == 0) return;
        // The caller may be asleep: the thread that finishes the last chunk
        // wakes it (the flag is set before the caller's last look at done_).
        const int chunks = chunks_;
        if (done_.fetch_add(finished) + finished == chunks && callerSleeping_.load()) {
            std::lock_guard<std::mutex> lk(mutex_);
            doneCv_.notify_one();
        }
    }

    void RunChunk(int part, int worker)
    {
        const int chunks = chunks_;
        int lo, hi;
        Bounds(part, lo, hi);
        if (lo <= hi) {
            try {
                CallChunk(job_, lo, hi, part, worker);
            } catch (...) {
                errors_[static_cast<std::size_t>(part)] = std::current_exception();
            }
        }
        // Read by the caller's in-order follow-ups (the job's serial
        // number was set before the job was published).
        if (job_.inOrder)
            chunkDone_[static_cast<std::size_t>(part)].serial.store(serial_,
                                                                    std::memory_order_release);
        if (worker == 0 && job_.inOrder) AdvanceInOrder(chunks, false);
    }

    // Whether worker `index` takes part in the job of word w.
    static bool TakesPart(unsigned long long w, int index)
    {
        const unsigned threads = static_cast<unsigned>(w & 0xFF);
        return threads == kQuit || static_cast<unsigned>(index) < threads;
    }

    struct Slot;
    void Loop(int index, unsigned long long seen, Slot& slot)
    {
        // Spin a few microseconds after the last job this worker took part
        // in (longer while the jobs keep coming), then sleep. Jobs it takes no
        // part in do not keep it awake.
        auto spinEnd = std::chrono::steady_clock::now() + kSpin;
        bool awake = false;  // the last wait ended while spinning
        for (;;) {
            unsigned long long w = word_.load(std::memory_order_acquire);
            for (int spin = 0; !(w != seen && TakesPart(w, index)); ++spin) {
                seen = w;
                Pause();
                w = word_.load(std::memory_order_acquire);
                if ((spin & 15) == 15 && std::chrono::steady_clock::now() > spinEnd) break;
            }
            awake = w != seen && TakesPart(w, index);
            if (!awake) {
                std::unique_lock<std::mutex> lk(mutex_);
                slot.sleeping = true;
                slot.cv.wait(lk, [&] {
                    const unsigned long long v = word_.load(std::memory_order_acquire);
                    return v != seen && TakesPart(v, index);
                });
                slot.sleeping = false;
                w = word_.load(std::memory_order_acquire);
            }
            seen = w;
            if ((w & 0xFF) == kQuit) return;
            WakeHelpers(index, w);
            TakeChunks(w >> 8, static_cast<unsigned>(w & 0xFF), index);
            spinEnd = std::chrono::steady_clock::now() + (awake ? kSteppingSpin : kSpin);
        }
    }

    std::mutex runMutex_;
    std::mutex mutex_;
    // One wake-up per worker, so a job wakes only the workers it needs.
    struct Slot {
        std::condition_variable cv;
        std::atomic<bool> sleeping{false};  // written under mutex_
    };
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::thread> workers_;
    std::vector<std::exception_ptr> errors_;
    std::condition_variable doneCv_;  // wakes the caller (with mutex_)
    // Per thread taking part, its home: the chunks it runs first (one cache
    // line each).
    struct alignas(64) Home {
        std::atomic<unsigned long long> next{
            0};  // job << 40 | end << 32 | next chunk (end excluded)
    };
    std::unique_ptr<Home[]> homes_;
    // Per chunk, the serial number of the last job whose chunk of that index
    // finished (one cache line each: different workers finish neighbouring
    // chunks).
    struct alignas(64) ChunkFlag {
        std::atomic<unsigned long long> serial{0};
    };
    std::unique_ptr<ChunkFlag[]> chunkDone_;
    int ordered_ = 0;  // next chunk for the in-order follow-up (the caller's)
    bool orderedStopped_ = false;
    // The current job: written by the caller before it publishes the job and
    // read by every thread while it runs, on a cache line that nothing writes
    // meanwhile (a counter beside it would have every thread fetch it again
    // after each chunk another thread finishes).
    alignas(64) NodeChunkJob job_{nullptr, nullptr};
    int first_ = 0, count_ = 0;
    int chunks_ = 0;
    std::unique_ptr<int[]> cuts_;    // [chunk]: its first node, from first_ (SetCuts)
    unsigned long long serial_ = 0;  // of the current job
    // The job word, read by the spinning workers.
    alignas(64) std::atomic<unsigned long long> word_{0};  // job << 8 | threads
    // Chunks finished, added by each thread once it has found no chunk left.
    alignas(64) std::atomic<int> done_{0};
    std::atomic<bool> callerSleeping_{false};
};

}  // namespace

void SetEngineThreads(int threads)
{
    gThreads.store(threads <= 0 ? 0 : std::min(threads, 64));
}

int EngineThreads()
{
    const int t = gThreads.load();
    return t == 0 ? HardwareThreads() : t;
}

bool EngineThreadsAutomatic()
{
    return gThreads.load() == 0;
}

// Nodes of the grid per thread below which another thread does not pay: a
// time step spreads its window (a part of the grid) over the threads in a few
// dozen parallel regions, each costing a wake-up and a join. Measured on the
// 8-core machine (B1 on N nodes to 0.1 s, best of 3, other builds running):
// N 1001: 1 thread 0.097 s, 2: 0.086, 4: 0.117, 8: 0.092; N 2001: 0.167,
// 0.182, 0.155, 0.142; N 4001: 0.316, 0.277, 0.287, 0.212; N 8001: 0.648,
// 0.499, 0.428, 0.460. Below about 1500 nodes per thread a thread more gains
// nothing reliable (and on a loaded machine it loses).
constexpr int kNodesPerThread = 1500;

int ThreadsForGrid(int nodes, int available)
{
    return std::max(1, std::min(available, nodes / kNodesPerThread));
}

// Chunks per thread: enough that a thread held up elsewhere leaves its share
// to the others, few enough that a chunk stays long.
constexpr int kChunksPerThread = 4;

int ThreadPlan::MaxChunks() const
{
    return Limit() * kChunksPerThread;
}

int ForNodeChunksJob(const ThreadPlan& plan, int first, int last, int minChunk, NodeChunkJob fn)
{
    // Checked on every path, so a nested call is found with one thread too.
    if (tChunkDepth > 0) throw std::logic_error("ForNodeChunks called from inside a node chunk");
    if (last < first) return 0;
    const int n = last - first + 1;
    if (minChunk < 1) minChunk = 1;
    const int threads = std::max(1, std::min(plan.threads, 64));
    const int chunks = std::min({threads * kChunksPerThread, n / minChunk, 255});
    if (threads < 2 || chunks < 2) {
        CallChunk(fn, first, last, 0, 0);
        if (fn.inOrder) CallInOrder(fn, first, last, 0);
        return 1;
    }
    return Pool::Instance().Run(std::min(threads, chunks), chunks, first, last, fn);
}
