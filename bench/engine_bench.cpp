// Engine benchmark: runs the reference cases headless to a fixed model time
// and prints steps, wall time, node-steps per second, corrector passes per
// step, Newton passes per node solve and the trajectory fingerprint.
//
//   engine_bench [--repeat N] [--time T] [--nodes N] [--threads N] [--save DIR] [case ...]
//
// Cases: B1 B2 B3 B4a B4b B5 B6 B7 (default: all). Each case is run N times
// (default 3) from a fresh Init; the fastest run is reported. B1 is always run
// (first, when not named), and every case's rate is printed relative to B1's
// in the same run. --threads sets
// the threads of node-wise work (default 1; 0 = chosen by the grid size, at
// most every hardware thread). --save writes each case after its Init as the
// project DIR/<case>.sna (for run_project) instead of running it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/step/node_threads.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/bench_cases.h"

namespace {

// Warnings of the engine go to standard error without stopping the program.
class StderrSink : public MessageSink {
public:
    void Warning(const std::string& m) override
    {
        std::fprintf(stderr, "warning: %s\n", m.c_str());
    }
    bool Question(const std::string&) override { return false; }
    void Message(const std::string& m) override { std::fprintf(stderr, "%s\n", m.c_str()); }
};

int Usage()
{
    std::fprintf(
        stderr,
        "usage: engine_bench [--repeat N] [--time T] [--nodes N] [--threads N] [--save DIR] [case ...]\n"
        "cases:");
    for (const auto& c : benchcases::ReferenceCases()) std::fprintf(stderr, " %s", c.id.c_str());
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int repeat = 3;
    double time = 0;  // 0: the case's own model time
    int nodes = 0;
    int threads = 1;
    std::string saveDir;
    std::vector<std::string> ids;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--repeat" || a == "--time" || a == "--nodes" || a == "--threads") &&
            i + 1 < argc) {
            const char* v = argv[++i];
            if (a == "--repeat")
                repeat = std::atoi(v);
            else if (a == "--time")
                time = std::atof(v);
            else if (a == "--threads")
                threads = std::atoi(v);
            else
                nodes = std::atoi(v);
        } else if (a == "--save" && i + 1 < argc) {
            saveDir = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            return Usage();
        } else {
            ids.push_back(a);
        }
    }
    if (repeat < 1) repeat = 1;
    std::vector<benchcases::Case> cases;
    try {
        if (ids.empty()) cases = benchcases::ReferenceCases();
        for (const auto& id : ids) cases.push_back(benchcases::FindCase(id));
        bool haveB1 = false;
        for (const auto& c : cases) haveB1 = haveB1 || c.id == "B1";
        if (!haveB1) cases.insert(cases.begin(), benchcases::FindCase("B1"));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return Usage();
    }

    StderrSink sink;
    SetMessageSink(&sink);
    SetEngineThreads(threads);
    if (!saveDir.empty()) {
        int status = 0;
        std::error_code ec;
        std::filesystem::create_directories(saveDir, ec);
        for (const auto& c : cases) {
            RunState st;
            const std::string name = (std::filesystem::path(saveDir) / (c.id + ".sna")).string();
            bool ok = benchcases::InitCase(st, c, nodes);
            st.StopTime = time > 0 ? time : c.stopTime;
            ok = ok && SaveSnaFile(st, name);
            std::printf("%s %s\n", ok ? "written" : "NOT written", name.c_str());
            if (!ok) status = 1;
        }
        SetMessageSink(nullptr);
        return status;
    }
    if (EngineThreadsAutomatic())
        std::printf(
            "Kelvo engine benchmark (threads for node-wise work by grid size, at most %d; best of %d)\n",
            EngineThreads(), repeat);
    else
        std::printf("Kelvo engine benchmark (%d thread%s for node-wise work; best of %d)\n",
                    EngineThreads(), EngineThreads() == 1 ? "" : "s", repeat);
    for (const auto& c : cases)
        std::printf("  %-4s %s, to %g s\n", c.id.c_str(), c.title.c_str(),
                    time > 0 ? time : c.stopTime);
    benchcases::PrintFiguresHeader(stdout);
    int status = 0;
    std::vector<benchcases::Figures> results;
    for (const auto& c : cases) {
        benchcases::Figures best;
        bool have = false;
        for (int r = 0; r < repeat; ++r) {
            RunState st;
            try {
                if (!benchcases::InitCase(st, c, nodes)) {
                    std::fprintf(stderr, "%s: Init refused\n", c.id.c_str());
                    status = 1;
                    break;
                }
                benchcases::Figures f =
                    benchcases::RunTimed(st, time > 0 ? time : c.stopTime, c.id);
                if (!have || f.wallSeconds < best.wallSeconds) best = f;
                have = true;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: %s\n", c.id.c_str(), e.what());
                status = 1;
                break;
            }
        }
        if (have) {
            benchcases::PrintFigures(stdout, best);
            results.push_back(best);
        }
    }
    double b1 = 0;
    for (const auto& f : results)
        if (f.id == "B1") b1 = f.NodeStepsPerSecond();
    if (b1 > 0) {
        std::printf("rate relative to B1 (node-steps/s):");
        for (const auto& f : results)
            std::printf(" %s %.3f", f.id.c_str(), f.NodeStepsPerSecond() / b1);
        std::printf("\n");
    }
    SetMessageSink(nullptr);
    return status;
}
