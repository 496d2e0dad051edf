// A heated or warm capillary checked against physics that does not use the
// engine's formulas: a uniform column heats uniformly whatever the walls of the
// computation window, and carries the current of the heated column; in a warm
// capillary diffusion follows the mobility (Nernst-Einstein, D = u R T / F), so
// a concentration step holds Henderson's potential at every temperature, a
// trace zone spreads at 2 u(T) R T / F, and each constituent keeps its amount
// across a temperature step; the dynamic electroosmotic flow follows the field
// of the present current over the whole column.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/modes/effects/effects_mode.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/derivatives.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "support/bench_cases.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

// Physical constants of their own (CODATA), not the engine's.
constexpr double kR = 8.314462618, kFaraday = 96485.33212;
constexpr double kT25 = 298.15;
constexpr double kSaltPerK = 0.0205;  // relative change of a salt ion's mobility per K

TUnivSet<TComponents> Kcl(double c = 10.0)
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Potassium", kUK, BGE, c, c));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, c, c));
    return comp;
}

class HeatedColumn : public ::testing::Test {
protected:
    void SetUp() override { host.Attach(st); }
    void TearDown() override { host.Detach(); }

    void Fresh()
    {
        host.Detach();
        host.onProcessMessages = nullptr;
        st = RunState();
        host.Attach(st);
        sink.Clear();
    }
    // Composition, nodes, length (m); fixed dt, constant voltage `volts`.
    void Prepare(const TUnivSet<TComponents>& comp, int nodes, double length, double dt,
                 double volts)
    {
        PrepareRun(st, comp, nodes);
        st.CapLengthPending = length;
        st.cbOptDt = false;
        st.DT = st.DTDefault = st.DTInit = dt;
        st.rbVoltage = true;
        st.UI = volts;
    }
    // A table of one segment per cell of `temperatures` (degC; the T row),
    // edges 0.2 mm.
    void Table(const std::vector<std::string>& temperatures)
    {
        const int n = static_cast<int>(temperatures.size());
        CreateEffectsGrid(st, n);
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = "0.2";
        for (int k = 0; k < n; ++k) st.Grid[kRowT][k + 2] = temperatures[k];
        RefreshEffectsGrid(st);
    }
    void Run(double stop)
    {
        st.StopTime = stop;
        RunCalc(st);
        ASSERT_FALSE(st.NumericalFailure);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    }
    // Amount of constituent i: sum of S c DX over the column.
    double Amount(int i) const
    {
        double m = 0;
        for (int j = 0; j < st.Arr.Nn; ++j) m += st.Arr.S[j] * st.DX * st.Arr.C(2, i)[j];
        return m;
    }

    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
};

// Nernst-Einstein: D = u R T / F of a singly charged ion of limiting mobility
// u25 (1e-9 m2/(V s)) at `celsius`, its mobility rising by 2.05 %/K.
double NernstEinstein(double u25, double celsius)
{
    const double T = 273.15 + celsius;
    return u25 * 1e-9 * (1 + kSaltPerK * (T - kT25)) * kR * T / kFaraday;
}

}  // namespace

// Uniform 10 mM KCl in a 50 um capillary, 1500 V over 25 mm: Joule heating,
// full and simplified, leaves every node at the same temperature, whether the
// walls of the computation window move (the default) or are held over the
// whole column; the current is that of the heated column.
TEST_F(HeatedColumn, AUniformColumnHeatsUniformlyWhateverTheWalls)
{
    for (const bool simplified : {false, true}) {
        SCOPED_TRACE(simplified ? "simplified" : "full");
        auto run = [&](bool held) {
            Fresh();
            Prepare(Kcl(), 400, 0.025, 1e-3, 1500);
            st.cbH = true;
            st.cbAccT = simplified;
            Table({"25"});
            EXPECT_TRUE(InitCalc(st));
            EXPECT_EQ(st.CapDiameter, 50e-6);
            if (held) {
                st.cbLWMove = st.cbRWMove = false;
                st.LeftWall = 0;
                st.RightWall = st.NX;
            }
            Run(0.5);
            return std::make_pair(std::vector<double>(st.Arr.T(2), st.Arr.T(2) + st.Arr.Nn), st.I);
        };
        const auto [moving, iMoving] = run(false);
        const auto [held, iHeld] = run(true);
        EXPECT_GT(held[200] - kT25, 3.0);  // heated by several kelvin
        for (std::size_t j = 0; j < held.size(); ++j) {
            ASSERT_NEAR(held[j], held[200], 1e-6) << j;  // uniformly
            ASSERT_NEAR(moving[j], held[j], 1e-6) << j;
        }
        EXPECT_NEAR(iMoving / iHeld, 1.0, 1e-6);
        // the current of the column at its temperature: kappa25 (1 + 0.0205 dT) U / L S
        const double S = 3.141592653589793 * 50e-6 * 50e-6 / 4;
        const double kappa =
            96485.0 * (kUK + kUCl) * 1e-9 * 10.0 * (1 + kSaltPerK * (held[200] - kT25));
        EXPECT_NEAR(iHeld / (kappa * 1500 / 0.025 * S), 1.0, 1e-3);
    }
}

// In a capillary held at 25, 35 and 45 degC (an initial temperature profile,
// no current) every diffusion coefficient follows its mobility:
// - a step from 10 to 20 mM KCl holds Henderson's potential
//   (R T / F) (uK - uCl) / (uK + uCl) ln 2 at the capillary's temperature;
// - a trace K+ zone in 10 mM NaCl spreads with D = u(T) R T / F;
// - across a step from 25 to 45 degC each constituent keeps its amount.
TEST_F(HeatedColumn, DiffusionFollowsTheMobilityInAWarmCapillary)
{
    for (const double celsius : {25.0, 35.0, 45.0}) {
        SCOPED_TRACE(celsius);
        Fresh();
        TUnivSet<TComponents> comp;
        comp.Add(Segmented(StrongCation("Potassium", kUK, BGE, 10.0, 10.0), {10.0, 20.0}, {1, 1}));
        comp.Add(Segmented(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0), {10.0, 20.0}, {1, 1}));
        Prepare(comp, 400, 0.01, 1e-4, 0.0);
        st.PeakEdgeWidthPending = 1.0;
        st.cbT = true;
        Table({std::to_string(celsius)});
        ASSERT_TRUE(InitCalc(st));
        Run(3e-4);
        EXPECT_EQ(st.I, 0.0);
        double phi = 0;
        for (int j = 0; j < st.NX; ++j) phi += 0.5 * (st.Arr.E[j] + st.Arr.E[j + 1]) * st.DX;
        const double henderson =
            kR * (273.15 + celsius) / kFaraday * (kUK - kUCl) / (kUK + kUCl) * std::log(2.0);
        EXPECT_NEAR(phi / henderson, 1.0, 5e-3);
    }

    // A step of a salt from c to 2c at 45 degC, the set temperature 25 or 37
    // degC: each ion diffuses with its own mobility's factor (OH- 0.81 %/K, a
    // salt ion 2.05 %/K) and D = u R T / (|z| F), so that at zero current the
    // junction of a salt of ions z+, z- holds
    //   (R T / F) (u+/z+ - u-/|z-|) / (u+ + u-) ln 2
    // with both mobilities at 45 degC: 10 to 20 mM NaOH, a doubly charged
    // anion with twice its sodium (as Na2SO4) and a doubly charged cation with
    // twice its chloride (as CaCl2). In the capillary-effects scheme, the
    // micellar one (a trace of surfactant below its CMC) and the complexation
    // one (a neutral ligand that binds nothing), which give the potential of
    // the capillary-effects scheme on the same run.
    struct Salt {
        std::vector<TComponents> ions;
        double uPlus, zPlus, uMinus, zMinus, minusPerK;  // mobilities at 25 degC
    };
    const Salt salts[] = {
        {{Segmented(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0), {10.0, 20.0}, {1, 1})},
         kUNa,
         1,
         205.5,
         1,
         0.0081},
        {{Segmented(StrongCation("Sodium", kUNa, BGE, 20.0, 20.0), {20.0, 40.0}, {1, 1}),
          Segmented(
              Constituent("Sulfate", -2, 0, {-2.0, -2.0, 0.0}, {82.9, 52.0, 0.0}, BGE, 10.0, 10.0),
              {10.0, 20.0}, {1, 1})},
         kUNa,
         1,
         82.9,
         2,
         kSaltPerK},
        {{Segmented(
              Constituent("Calcium", 0, 2, {0.0, 16.0, 16.0}, {0.0, 30.0, 61.7}, BGE, 10.0, 10.0),
              {10.0, 20.0}, {1, 1}),
          Segmented(StrongAnion("Chloride", kUCl, BGE, 20.0, 20.0), {20.0, 40.0}, {1, 1})},
         61.7,
         2,
         kUCl,
         1,
         kSaltPerK}};
    for (const Salt& salt : salts)
        for (const double setCelsius : {25.0, 37.0}) {
            double standard = 0;
            for (const int scheme : {0, 1, 2}) {
                SCOPED_TRACE(salt.ions.back().name + " " + std::to_string(scheme) + " at " +
                             std::to_string(setCelsius));
                Fresh();
                TUnivSet<TComponents> comp;
                if (scheme == 2) comp.Add(Constituent("Ligand", 0, 0, {0}, {0}, BGE, 5.0, 5.0));
                int forms = 0;
                for (std::size_t k = 0; k < salt.ions.size(); ++k) {
                    comp.Add(salt.ions[k]);
                    forms += salt.ions[k].maxCharge - salt.ions[k].minCharge + 1;
                    if (scheme == 1 && k == 0) {
                        comp.Add(StrongAnion("SDS", 30.0, BGE, 1e-3, 1e-3));
                        st.cbSDS = true;
                        st.MicCompNo = 2;
                        st.CMC = 2.0;
                        st.OM = 64;
                    }
                }
                if (scheme == 2) {
                    // Complexes of no weight: pKx 30 for every form.
                    st.cbComplex = true;
                    st.TxtTable = {{"0", "0"},
                                   {"None"},
                                   {"20"},
                                   {"14", "362.5", "205.5"},
                                   {std::to_string(salt.ions.size())}};
                    for (int k = 0; k < 2 * forms; ++k)
                        st.TxtTable.push_back({k < forms ? "30" : "25"});
                }
                Prepare(comp, 400, 0.01, 1e-4, 0.0);
                st.PeakEdgeWidthPending = 1.0;
                st.cbT = true;
                st.Temperature = 273.15 + setCelsius;
                Table({"45"});
                ASSERT_TRUE(InitCalc(st));
                ASSERT_EQ(SelectMode(st), scheme == 0   ? Mode::Effects
                                          : scheme == 1 ? Mode::Micellar
                                                        : Mode::Complex);
                Run(3e-4);
                EXPECT_EQ(st.I, 0.0);
                double phi = 0;
                for (int j = 0; j < st.NX; ++j)
                    phi += 0.5 * (st.Arr.E[j] + st.Arr.E[j + 1]) * st.DX;
                const double T = 273.15 + 45, uPlus = salt.uPlus * (1 + kSaltPerK * (T - kT25)),
                             uMinus = salt.uMinus * (1 + salt.minusPerK * (T - kT25));
                const double henderson = kR * T / kFaraday *
                                         (uPlus / salt.zPlus - uMinus / salt.zMinus) /
                                         (uPlus + uMinus) * std::log(2.0);
                EXPECT_NEAR(phi / henderson, 1.0, 5e-3);
                if (scheme == 0) standard = phi;
                EXPECT_NEAR(phi / standard, 1.0, 1e-4);
            }
        }

    // The trace zone: 0.01 mM K+ (with its chloride) 1 mm wide in 10 mM NaCl.
    auto traceZone = [&](const std::vector<std::string>& temperatures, double injMM) {
        Fresh();
        TUnivSet<TComponents> comp;
        comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
        comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.01));
        comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 0.01));
        Prepare(comp, 250, 0.01, 2e-3, 0.0);
        st.InjSitePending = injMM;
        st.PeakWidthPending = 1.0;
        st.PeakEdgeWidthPending = 0.2;
        st.cbT = true;
        Table(temperatures);
        EXPECT_TRUE(InitCalc(st));
        st.cbLWMove = st.cbRWMove = false;
        st.LeftWall = 0;
        st.RightWall = st.NX;
    };
    for (const double celsius : {25.0, 45.0}) {
        SCOPED_TRACE(celsius);
        traceZone({std::to_string(celsius)}, 5.0);
        const ProfileMoments m0 = Moments(st, 3);
        const double t0 = st.Time;
        Run(20.0);
        const ProfileMoments m1 = Moments(st, 3);
        EXPECT_NEAR(m1.amount / m0.amount, 1.0, 1e-9);
        const double D = (m1.variance - m0.variance) / (2 * (st.Time - t0));
        EXPECT_NEAR(D / NernstEinstein(kUK, celsius), 1.0, 0.01);
    }

    // A zone spreading across a step from 25 to 45 degC (at 5 mm).
    traceZone({"25", "45"}, 5.0);
    ASSERT_NEAR(st.Arr.T(2)[50], kT25, 1e-9);
    ASSERT_NEAR(st.Arr.T(2)[200], kT25 + 20, 1e-9);
    std::vector<double> before;
    for (int i = 1; i <= 3; ++i) before.push_back(Amount(i));
    Run(10.0);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(Amount(i) / before[i - 1], 1.0, 1e-12) << i;

    // The zone at the left end closed by the electrode, the temperature
    // varying there (segments of 0.2 mm at 25 and 45 degC in turn): the end
    // node's flux is the face's that its neighbour sees, so the amounts stay.
    std::vector<std::string> cells;
    for (int k = 0; k < 50; ++k) cells.push_back(k % 2 ? "45" : "25");
    traceZone(cells, 0.3);
    st.cbLE = st.cbRE = true;
    ASSERT_GT(std::fabs(st.Arr.T(2)[1] - st.Arr.T(2)[0]), 0.1);
    ASSERT_GT(st.Arr.C(2, 3)[0], 1e-4);
    before.clear();
    for (int i = 1; i <= 3; ++i) before.push_back(Amount(i));
    Run(2.0);
    for (int i = 1; i <= 3; ++i) EXPECT_NEAR(Amount(i) / before[i - 1], 1.0, 1e-12) << i;
}

// Isotachophoresis of strong ions at a constant 50 V (its current falls as
// the terminator fills the column) with the dynamic electroosmotic flow: after
// 5 s, with the walls moved in from the ends, the flow is the mean over the
// column of the wall's dissociation times the present field, which outside
// the window is the ohmic field of the present current.
TEST_F(HeatedColumn, DynamicFlowAveragesThePresentFieldOverTheColumn)
{
    benchcases::FindCase("B2").prepare(st);
    st.cbEOF = true;  // default wall: pK 5.5 (as typed), 50e-9 m2/(V s)
    ASSERT_TRUE(InitCalc(st));
    const double i0 = st.I;
    Run(5.0);
    ASSERT_TRUE(st.LeftWall > 0 || st.RightWall < st.NX);  // the window is narrowed
    EXPECT_GT(std::fabs(st.I / i0 - 1), 0.005);            // the current has changed
    const double flow = CalcEOFMobility(st);
    EXPECT_EQ(flow, st.EOFMobCalc);

    // The present field at every node, the window opened over the column.
    {
        ComputationWindowScope window(st.counters());
        window.WholeGrid(st.NX);
        CalcDER(st, 2, true);
    }
    EngineArrays& a = st.Arr;
    double sum = 0, volume = 0;
    for (int j = 0; j < a.Nn; ++j) {
        const double K = std::pow(10.0, 3 - 5.5), cH = a.CH(2)[j];  // mM
        sum += 50e-9 * K / (K + cH) * a.E[j] * a.S[j];
        volume += a.S[j];
    }
    EXPECT_NEAR(flow / (sum / volume), 1.0, 1e-3);
}

// The simplified heating sets the node temperatures itself: they stay out of
// the step's error, which in a uniform column is then that of its flat
// concentrations; the full model's integrated temperature counts.
TEST_F(HeatedColumn, OnlyTheIntegratedTemperatureCountsInTheStepError)
{
    for (const bool simplified : {true, false}) {
        SCOPED_TRACE(simplified ? "simplified" : "full");
        Fresh();
        Prepare(Kcl(), 40, 0.025, 1e-3, 1500);
        st.cbH = true;
        st.cbAccT = simplified;
        Table({"25"});
        ASSERT_TRUE(InitCalc(st));
        double largest = 0;
        host.onProcessMessages = [&](int) { largest = std::max(largest, st.StepError); };
        Run(0.05);
        EXPECT_GT(st.Arr.T(2)[20] - kT25, 0.5);  // the column is heating
        if (simplified)
            EXPECT_LT(largest, 1e-9);
        else
            EXPECT_GT(largest, 1e-6);
    }
}
