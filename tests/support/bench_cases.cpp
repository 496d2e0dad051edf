#include "support/bench_cases.h"

#include <sys/resource.h>

#include <chrono>
#include <stdexcept>

#include "engine/modes/effects/effects_table.h"
#include "engine/state/components.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "support/test_compositions.h"

namespace benchcases {

namespace {

using testcomp::Analyte;
using testcomp::BGE;
using testcomp::Constituent;
using testcomp::Leading;
using testcomp::Terminating;

TComponents Cation(const std::string& name, double pK, double u, int type, double c, double cInj,
                   int colour)
{
    return Constituent(name, 0, 1, {0.0, pK}, {0.0, u}, type, c, cInj, colour);
}

TComponents Anion(const std::string& name, double pK, double u, int type, double c, double cInj,
                  int colour)
{
    return Constituent(name, -1, 0, {pK, 0.0}, {u, 0.0}, type, c, cInj, colour);
}

// The default run setup of the program with `nodes` + 1 nodes and the
// composition `comp`, driven at `voltage`.
void DefaultSetup(RunState& st, const TUnivSet<TComponents>& comp, int nodes, double voltage)
{
    testcomp::PrepareRun(st, comp, nodes);
    st.UI = voltage;
    st.rbVoltage = true;
    st.DT = st.DTDefault = st.DTInit = 1e-4;
}

TUnivSet<TComponents> ZoneComposition()
{
    TUnivSet<TComponents> comp;
    comp.Add(Anion("Acetic acid", 4.756, 42.4, BGE, 20.0, 20.0, 0x000080));
    comp.Add(Cation("Sodium", 14.0, 51.9, BGE, 10.0, 10.0, 0x008000));
    comp.Add(Cation("Lithium", 14.0, 40.1, Analyte, 0.0, 0.1, 0x800000));
    comp.Add(Cation("Weak base", 5.0, 30.0, Analyte, 0.0, 0.1, 0x808000));
    return comp;
}

void PrepareZone(RunState& st)
{
    DefaultSetup(st, ZoneComposition(), 1000, 250);
}

void PrepareItp(RunState& st)
{
    TUnivSet<TComponents> comp;
    comp.Add(Cation("Potassium", 14.0, 76.2, Leading, 10.0, 0.0, 0x000080));
    comp.Add(Cation("Sodium", 14.0, 51.9, Analyte, 0.0, 10.0, 0x008000));
    comp.Add(Cation("Lithium", 14.0, 40.1, Terminating, 10.0, 0.0, 0x800000));
    comp.Add(Anion("Chloride", -2.0, 79.1, BGE, 10.0, 10.0, 0x808000));
    DefaultSetup(st, comp, 1000, 50);
}

// A constituent with charges -30..+30: pK 4 for the anionic steps, 10 for the
// cationic ones, mobility 20e-9 for every charged form.
TComponents HighCharge()
{
    std::vector<double> pK(61), u(61);
    for (int k = 0; k <= 60; ++k) {
        const int z = k - 30;
        pK[k] = z < 0 ? 4.0 : z > 0 ? 10.0 : 0.0;
        u[k] = z == 0 ? 0.0 : 20.0;
    }
    return Constituent("Charge 30", -30, 30, pK, u, Analyte, 0.0, 0.01, 0x008080);
}

// B1 with a neutral ligand (10 mM, in the buffer and the sample) that the weak
// base binds with K = 100 1/M in both its forms; the complex of the charged form
// moves at 15e-9 m2/(V s).
void PrepareComplexZone(RunState& st)
{
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Ligand", 0, 0, {0.0}, {0.0}, BGE, 10.0, 10.0, 0x404040));
    const TUnivSet<TComponents> zone = ZoneComposition();
    for (int i = 1; i <= zone.Count(); ++i) comp.Add(zone.Get(i));
    DefaultSetup(st, comp, 1000, 250);
    st.cbComplex = true;
    // forms: acetic -1, 0; sodium 0, 1; lithium 0, 1; weak base 0, 1
    st.TxtTable = {{"0", "0"}, {"None"}, {"0"},  {"14", "362.5", "205.5"},
                   {"4"},      {"30"},   {"30"}, {"30"},
                   {"30"},     {"30"},   {"30"}, {"-2"},
                   {"-2"},     {"20"},   {"20"}, {"20"},
                   {"20"},     {"20"},   {"20"}, {"15"},
                   {"15"}};
}

// Counts the window width of every step at the message pump that follows it.
class CountingHost : public EngineHost {
public:
    explicit CountingHost(RunState& st) : st_(st) {}
    void ProcessMessages() override
    {
        if (st_.StepCount > lastSteps_) {
            nodeSteps += static_cast<long long>(st_.StepCount - lastSteps_) * lastWidth_;
            lastSteps_ = st_.StepCount;
        }
        lastWidth_ = st_.RightWall - st_.LeftWall + 1;
        if (st_.Restart) ++restarts;
    }
    void SetStatusText(const std::string&) override {}
    double NowDays() override { return SystemNowDays(); }
    void Start()
    {
        lastSteps_ = st_.StepCount;
        lastWidth_ = st_.RightWall - st_.LeftWall + 1;
    }
    long long nodeSteps = 0;
    int restarts = 0;

private:
    RunState& st_;
    int lastSteps_ = 0;
    int lastWidth_ = 0;
};

}  // namespace

std::vector<Case> ReferenceCases()
{
    std::vector<Case> cases;
    cases.push_back({"B1", "zone electrophoresis, 1001 nodes", 2.0, PrepareZone});
    cases.push_back({"B2", "isotachophoresis of strong ions, 1001 nodes", 5.0, PrepareItp});
    cases.push_back({"B3", "B1 with the ionic-strength correction", 2.0, [](RunState& st) {
                         PrepareZone(st);
                         st.cbIS = true;
                     }});
    cases.push_back({"B4a", "B1 on 4001 nodes", 0.5, [](RunState& st) {
                         PrepareZone(st);
                         st.NXPending = 4000;
                     }});
    cases.push_back({"B4b", "B1 on 16001 nodes", 0.5, [](RunState& st) {
                         PrepareZone(st);
                         st.NXPending = 16000;
                     }});
    cases.push_back({"B6", "B1 with Joule heating and a cross-section step (S 1.96 -> 3.93e-9 m2)",
                     2.0, [](RunState& st) {
                         PrepareZone(st);
                         st.cbH = st.cbS = true;
                         CreateEffectsGrid(st, 2);
                         st.Grid[kRowS][3] = "3.92699082";
                         StoreEffectsTable(st.effects());
                     }});
    cases.push_back({"B5", "B1 with a constituent of charges -30..+30", 2.0, [](RunState& st) {
                         PrepareZone(st);
                         st.Composition.Add(HighCharge());
                     }});
    cases.push_back({"B7", "B1 with complexation (the weak base binds a neutral ligand)", 2.0,
                     PrepareComplexZone});
    return cases;
}

Case FindCase(const std::string& id)
{
    for (const Case& c : ReferenceCases())
        if (c.id == id) return c;
    throw std::out_of_range("no benchmark case " + id);
}

bool InitCase(RunState& st, const Case& c, int nodes)
{
    c.prepare(st);
    if (nodes > 0) st.NXPending = nodes;
    st.Stop = false;
    return InitCalc(st);
}

Fingerprint TakeFingerprint(const RunState& st)
{
    Fingerprint f;
    f.steps = st.StepCount;
    f.dt = st.DT;
    const EngineArrays& a = st.Arr;
    if (!a.Allocated()) return f;
    double sum = 0, moment = 0, ph = 0;
    for (int i = 1; i <= a.NComp; ++i) {
        const double* c = a.C(2, i);
        for (int n = 0; n < a.Nn; ++n) {
            sum += c[n];
            moment += n * c[n];
        }
    }
    for (int n = 0; n < a.Nn; ++n) ph += a.PH[n];
    f.sumC = sum;
    f.sumNodeC = moment;
    f.sumPH = ph;
    return f;
}

double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

Figures RunTimed(RunState& st, double stopTime, const std::string& id)
{
    Figures f;
    f.id = id;
    f.nodes = st.NX + 1;
    CountingHost host(st);
    EngineHost* saved = st.Host;
    st.Host = &host;
    st.StopTime = stopTime;
    const int steps0 = st.StepCount;
    const long long cor0 = st.CorrectorPassCount, newton0 = st.NewtonPassCount,
                    solves0 = st.NodeSolveCount;
    const int elneut0 = st.NewtonItTotal;
    if (!st.PsqStarted) host.restarts = 1;
    host.Start();
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    try {
        RunCalc(st);
    } catch (...) {
        StopCalc(st);
        st.Host = saved;
        throw;
    }
    const auto t1 = std::chrono::steady_clock::now();
    f.cpuSeconds = ProcessCpuSeconds() - cpu0;
    StopCalc(st);
    host.ProcessMessages();  // the width of the last step
    st.Host = saved;
    f.wallSeconds = std::chrono::duration<double>(t1 - t0).count();
    f.modelTime = st.Time;
    f.steps = st.StepCount - steps0;
    f.restarts = host.restarts;
    f.nodeSteps = host.nodeSteps;
    f.correctorPasses = st.CorrectorPassCount - cor0;
    // Without the run loop's counter: every step solves the equilibrium once
    // after the predictor and once per corrector pass.
    if (f.correctorPasses == 0 && !st.ISCorrection && st.NewtonItTotal >= elneut0)
        f.correctorPasses = st.NewtonItTotal - elneut0 - f.steps;
    f.newtonPasses = st.NewtonPassCount - newton0;
    f.nodeSolves = st.NodeSolveCount - solves0;
    f.threads = st.Engine.Threads.threads;
    f.fingerprint = TakeFingerprint(st);
    return f;
}

void PrintFiguresHeader(std::FILE* out)
{
    std::fprintf(out, "%-5s %6s %7s %7s %5s %9s %12s %9s %8s %4s   %s\n", "case", "nodes", "t (s)",
                 "steps", "rest", "wall (s)", "node-steps/s", "corr/step", "newt/sol", "thr",
                 "fingerprint (steps, final DT, sum C2)");
}

void PrintFigures(std::FILE* out, const Figures& f)
{
    std::fprintf(out, "%-5s %6d %7.3f %7d %5d %9.3f %12.0f %9.3f %8.3f %4d   %d %.17g %.17g\n",
                 f.id.c_str(), f.nodes, f.modelTime, f.steps, f.restarts, f.wallSeconds,
                 f.NodeStepsPerSecond(), f.CorrectorPassesPerStep(), f.NewtonPassesPerSolve(),
                 f.threads, f.fingerprint.steps, f.fingerprint.dt, f.fingerprint.sumC);
    std::fflush(out);
}

}  // namespace benchcases
