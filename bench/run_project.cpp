// Runs a project file headless and prints the benchmark figures:
//
//   run_project <project.sna> [--time T] [--threads N] [--max-error E] [--nodes NX]
//               [--voltage U] [--csv DIR] [--moments]
//
// The run goes to the project's stop time, or to the model time T. --max-error
// replaces the project's error centre of the step control (Set Max Error). --threads
// sets the threads of node-wise work (default 1; 0 = chosen by the grid size,
// as in the window); the process CPU time of the run is printed beside its
// wall time. --nodes starts the project's composition afresh (Init at time 0)
// on NX node spacings; --voltage drives the run at U volts. With --csv
// the final level-2 profiles (position, every constituent, pH, conductivity)
// go to DIR/profiles.csv and the detector record to DIR/detector.csv. With
// --moments each constituent's detector trace goes through the Moments
// window's computation (Detector (t-scale), the whole trace, no baseline):
// its area and its centre time, in seconds.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/node_threads.h"
#include "files/sna_file.h"
#include "foundation/numtext.h"
#include "support/bench_cases.h"
#include "tools/moments.h"

namespace {

// Shortest text that reads back to the same double.
std::string Num(double v)
{
    return ShortestFloatText(v, '.');
}

std::string Quoted(const std::string& s)
{
    std::string out = "\"";
    for (char ch : s) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

bool WriteCsv(RunState& st, const std::filesystem::path& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::ofstream prof(dir / "profiles.csv");
    if (!prof) return false;
    prof << "x_mm";
    for (int i = 1; i <= st.NComp; ++i) prof << ',' << Quoted(st.CompInit[i].name + " (mM)");
    prof << ",pH,conductivity_S_per_m\n";
    for (int n = 0; n <= st.NX; ++n) {
        prof << Num(n * st.CapLength / st.NX * 1000.0);
        for (int i = 1; i <= st.NComp; ++i) prof << ',' << Num(st.Arr.C(2, i)[n]);
        prof << ',' << Num(st.Arr.PH[n]) << ',' << Num(st.Arr.Kappa[n]) << '\n';
    }
    std::ofstream det(dir / "detector.csv");
    if (!det) return false;
    const RunSeries& s = st.Series;
    det << "time_min,pH,conductivity";
    for (int i = 1; i <= st.NComp; ++i) det << ',' << Quoted(st.CompInit[i].name + " (mM)");
    det << ",voltage_kV,current_uA\n";
    auto at = [](const ChartSeries& c, int p) { return p < c.Count() ? c.y[p] : 0.0; };
    for (int p = 0; p < s.DET_pH.Count(); ++p) {
        det << Num(s.DET_pH.x[p]) << ',' << Num(s.DET_pH.y[p]) << ','
            << Num(at(s.DET_conductivity, p));
        for (int i = 1; i <= st.NComp; ++i)
            det << ','
                << Num(i < static_cast<int>(s.srDetComp.size()) ? at(s.srDetComp[i], p) : 0.0);
        det << ',' << Num(at(s.DET_volt, p)) << ',' << Num(at(s.DET_CDen, p)) << '\n';
    }
    return static_cast<bool>(prof) && static_cast<bool>(det);
}

// The Moments window's figures of every constituent's detector trace.
void PrintDetectorMoments(const RunState& st)
{
    MomentsTool tool;
    tool.DetectorScale = true;
    for (int i = 1; i <= st.NComp; ++i) {
        tool.SeriesNo = i;
        if (!tool.SetMaxBorders(st).empty() || !tool.Process(st).empty()) continue;
        std::printf("detector moments of %s: M0 %s mM*min, M1 %s s\n", tool.SeriesName(st).c_str(),
                    Num(tool.Moments[0]).c_str(), Num(tool.Moments[1] * 60.0).c_str());
    }
}

int Usage()
{
    std::fprintf(
        stderr,
        "usage: run_project <project.sna> [--time T] [--threads N] [--max-error E] [--nodes NX] "
        "[--voltage U] [--csv DIR] [--moments]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string project, csvDir;
    double time = 0, maxError = 0, voltage = 0;
    int threads = 1, nodes = 0;
    bool moments = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--time" && i + 1 < argc)
            time = std::atof(argv[++i]);
        else if (a == "--threads" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (a == "--csv" && i + 1 < argc)
            csvDir = argv[++i];
        else if (a == "--max-error" && i + 1 < argc)
            maxError = std::atof(argv[++i]);
        else if (a == "--nodes" && i + 1 < argc)
            nodes = std::atoi(argv[++i]);
        else if (a == "--voltage" && i + 1 < argc)
            voltage = std::atof(argv[++i]);
        else if (a == "--moments")
            moments = true;
        else if (a.rfind("--", 0) == 0 || !project.empty())
            return Usage();
        else
            project = a;
    }
    if (project.empty()) return Usage();

    // Warnings go to standard error and questions are answered No (the default
    // message sink).
    int status = 0;
    SetEngineThreads(threads);  // taken by the run when the project is opened (Init)
    try {
        RunState st;
        if (!OpenProject(st, std::filesystem::absolute(project).string())) {
            std::fprintf(stderr, "%s: not opened\n", project.c_str());
            return 1;
        }
        if (nodes > 0) {
            st.NXPending = nodes;
            if (!InitCalc(st)) {
                std::fprintf(stderr, "%s: Init on %d node spacings failed\n", project.c_str(),
                             nodes);
                return 1;
            }
        }
        if (voltage > 0) {
            st.rbVoltage = true;
            st.UI = voltage;
        }
        if (maxError > 0) st.ErrOpt = maxError;
        const double stop = time > 0 ? time : st.StopTime;
        const int used = st.Engine.Threads.threads;
        std::printf(
            "Kelvo project run: %s, from %g s to %g s, max error %g (%d thread%s for node-wise work)\n",
            project.c_str(), st.Time, stop, st.ErrOpt, used, used == 1 ? "" : "s");
        benchcases::PrintFiguresHeader(stdout);
        const benchcases::Figures f =
            benchcases::RunTimed(st, stop, std::filesystem::path(project).stem().string());
        benchcases::PrintFigures(stdout, f);
        std::printf("process CPU %.3f s for %.3f s wall\n", f.cpuSeconds, f.wallSeconds);
        if (moments) PrintDetectorMoments(st);
        if (!csvDir.empty() && !WriteCsv(st, csvDir)) {
            std::fprintf(stderr, "%s: the CSV files could not be written\n", csvDir.c_str());
            status = 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        status = 1;
    }
    return status;
}
