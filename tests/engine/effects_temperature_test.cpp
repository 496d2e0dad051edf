// Capillary effects away from the defaults: a warmer capillary conducts more
// (about 2 %/K for KCl, with H+ and OH- at their own smaller rates), carries
// more current at a fixed voltage and lets a neutral zone spread faster
// (D = u R T / F with the mobility's own rise); the dynamic electroosmotic flow
// away from pH = pK follows the wall's degree of dissociation, mirrored for
// the two wall charges; a concentration step holds Henderson's liquid-junction
// potential.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/modes/effects/effects_mode.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

constexpr double kF = 96485.0;
constexpr double kT25 = 298.15;
// Relative change of a limiting mobility per kelvin near 25 degC: the ions of
// salts about 2 %/K, H+ and OH- less.
constexpr double kSaltPerK = 0.0205, kHPerK = 0.013765757, kOHPerK = 0.0081;

TUnivSet<TComponents> Kcl(double c = 10.0)
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongCation("Potassium", kUK, BGE, c, c));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, c, c));
    return comp;
}

class EffectsTemperature : public ::testing::Test {
protected:
    void SetUp() override { host.Attach(st); }
    void TearDown() override { host.Detach(); }

    void Fresh()
    {
        host.Detach();
        st = RunState();
        host.Attach(st);
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
    // A one-segment table with the given rows set (display units).
    void Table(const std::vector<std::pair<int, std::string>>& rows)
    {
        CreateEffectsGrid(st, 1);
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = "0.2";
        for (const auto& [row, cell] : rows) st.Grid[row][2] = cell;
        RefreshEffectsGrid(st);
    }
    void Run(double stop)
    {
        st.StopTime = stop;
        RunCalc(st);
        ASSERT_FALSE(st.NumericalFailure);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    }

    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
};

struct Conduction {
    double kappa, current;
    double shownAtInit;          // the conductivity profile drawn after Init
    std::vector<double> uRatio;  // mobility / limiting mobility of K+ (or the first ion), H+, OH-
};

}  // namespace

// A KCl buffer 10 K above 25 degC conducts about 20 % more, and at a fixed
// voltage the current rises alike; the capillary at 25 degC is the reference.
TEST_F(EffectsTemperature, WarmerBufferConductsMoreAndCarriesMoreCurrent)
{
    auto at = [&](const TUnivSet<TComponents>& comp, const char* celsius) {
        Fresh();
        Prepare(comp, 50, 0.025, 1e-4, 250);
        st.cbT = true;
        Table({{kRowT, celsius}});
        EXPECT_TRUE(InitCalc(st));
        const double shown = st.Series.sr_conductivity.y.at(25) / st.CondScale;
        Run(5e-4);
        EngineArrays& a = st.Arr;
        const int h = a.NComp + 1, oh = a.NComp + 2;
        Conduction c{a.Kappa[25], st.I, shown, {}};
        const int k = a.ZMin[1] == 0 ? 1 : 0;  // the charged form of constituent 1
        c.uRatio = {a.UForm(1, k)[25] / a.UFormLim(1, k)[25],
                    a.UForm(h, 1)[25] / a.UFormLim(h, 1)[25],
                    a.UForm(oh, 0)[25] / a.UFormLim(oh, 0)[25]};
        return c;
    };
    const Conduction cold = at(Kcl(), "25"), warm = at(Kcl(), "35");
    EXPECT_NEAR(cold.kappa, kF * (kUK + kUCl) * 1e-9 * 10.0, 1e-4 * cold.kappa);
    const double rise = warm.kappa / cold.kappa;
    EXPECT_GT(rise, 1.18);  // about 2 %/K
    EXPECT_LT(rise, 1.22);
    // the water ions carry 2e-5 of the current at pH 7
    EXPECT_NEAR(rise, 1 + 10 * kSaltPerK, 1e-5);
    EXPECT_NEAR(warm.current / cold.current, rise, 1e-6);
    // the profile drawn after Init shows it already
    EXPECT_NEAR(warm.shownAtInit / cold.shownAtInit, rise, 1e-9);
    // at 25 degC every mobility is its limiting value
    for (double r : cold.uRatio) EXPECT_DOUBLE_EQ(r, 1.0);
    // each of K+, H+ and OH- at its own rate
    EXPECT_NEAR(warm.uRatio[0], 1 + 10 * kSaltPerK, 1e-12);
    EXPECT_NEAR(warm.uRatio[1], 1 + 10 * kHPerK, 1e-12);
    EXPECT_NEAR(warm.uRatio[2], 1 + 10 * kOHPerK, 1e-12);

    // Hydrochloric acid (H+ the counter-ion) and potassium hydroxide (OH- the
    // counter-ion), 1 mM each: the conductivity rises by the mobility-weighted
    // mean of the two ions' rates.
    TUnivSet<TComponents> hcl, koh;
    hcl.Add(StrongAnion("Chloride", kUCl, BGE, 1.0, 1.0));
    koh.Add(StrongCation("Potassium", kUK, BGE, 1.0, 1.0));
    for (const auto* comp : {&hcl, &koh}) {
        const bool acid = comp == &hcl;
        SCOPED_TRACE(acid ? "HCl" : "KOH");
        const Conduction c25 = at(*comp, "25"), c35 = at(*comp, "35");
        const double uIon = (acid ? kUCl : kUK) * 1e-9;
        // the counter-ion's limiting mobility from the conductivity itself
        const double uWater = c25.kappa / kF / 1.0 - uIon;
        EXPECT_GT(uWater, (acid ? 300e-9 : 150e-9));
        const double rate = acid ? kHPerK : kOHPerK;
        const double expected =
            (uIon * (1 + 10 * kSaltPerK) + uWater * (1 + 10 * rate)) / (uIon + uWater);
        EXPECT_NEAR(c35.kappa / c25.kappa, expected, 2e-4);
        EXPECT_NEAR(c35.current / c25.current, c35.kappa / c25.kappa, 1e-6);
    }
}

// Without current a neutral zone spreads by diffusion alone; in a capillary
// 20 K warmer than the set temperature its variance grows faster by
// T / T0 = 318.15 / 298.15 (Einstein: D = u kT / q) times the rise of the
// mobility that its coefficient stands for, 1 + 0.0205 * 20 (the viscosity of
// water falls as the temperature rises).
TEST_F(EffectsTemperature, NeutralZoneSpreadsFasterInAWarmerCapillary)
{
    auto growth = [&](const char* celsius) {
        Fresh();
        TUnivSet<TComponents> comp = Kcl();
        comp.Add(Constituent("Neutral", 0, 0, {0.0}, {0.0}, Analyte, 0.0, 1.0));
        Prepare(comp, 250, 0.01, 2e-3, 0.0);
        st.InjSitePending = 5.0;
        st.PeakWidthPending = 1.0;
        st.PeakEdgeWidthPending = 0.2;
        st.cbT = true;
        Table({{kRowT, celsius}});
        EXPECT_TRUE(InitCalc(st));
        st.cbLWMove = st.cbRWMove = false;
        const ProfileMoments m0 = Moments(st, 3);
        const double t0 = st.Time;
        Run(20.0);
        const ProfileMoments m1 = Moments(st, 3);
        EXPECT_NEAR(m1.amount / m0.amount, 1.0, 1e-9);
        EXPECT_NEAR(m1.mean, m0.mean, 1e-9);
        return (m1.variance - m0.variance) / (2 * (st.Time - t0));
    };
    const double d25 = growth("25"), d45 = growth("45");
    EXPECT_GT(d25, 1e-10);
    EXPECT_NEAR(d45 / d25, (kT25 + 20) / kT25 * (1 + 20 * kSaltPerK), 1e-4);
}

// Wall groups of pK 6 (as typed) at pH 7 and pH 5: a negatively charged wall
// (an acid) is 10/11 dissociated one unit above its pK and 1/11 one unit
// below; a positively charged wall (a base) the other way round. A negative
// wall drives the flow the way a positive static EOF mobility does.
TEST_F(EffectsTemperature, DynamicEOFFollowsTheWallDissociationAwayFromItsPK)
{
    Prepare(Kcl(), 40, 0.025, 1e-4, 250);
    st.cbEOF = true;
    Table({{kRowPKEOF, "6"}, {kRowUEOF, "50"}});
    ASSERT_TRUE(InitCalc(st));
    EngineArrays& a = st.Arr;
    const double uMax = 50e-9;
    struct Case {
        double pH;
        bool positiveWall;
        double alpha, sign;
    };
    const Case cases[] = {{7.0, false, 10.0 / 11, 1},
                          {5.0, false, 1.0 / 11, 1},
                          {7.0, true, 1.0 / 11, -1},
                          {5.0, true, 10.0 / 11, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pH) + (c.positiveWall ? " positive" : " negative"));
        st.rbPK_pos = c.positiveWall;
        // a uniform column: the flow is sign alpha uMax E
        for (int j = 0; j < a.Nn; ++j) {
            a.CH(2)[j] = std::pow(10.0, 3 - c.pH);
            a.E[j] = 1e4;
        }
        EXPECT_NEAR(CalcEOFMobility(st), c.sign * c.alpha * uMax * 1e4, 1e-9 * uMax * 1e4);
        // half the column one unit above the pK and half one unit below, at
        // fields 1e4 and 3e4 V/m: the mean of the two, weighted by length
        for (int j = 0; j < a.Nn; ++j) {
            const bool left = j < a.Nn / 2;
            a.CH(2)[j] = std::pow(10.0, 3 - (left ? c.pH : 12.0 - c.pH));
            a.E[j] = left ? 1e4 : 3e4;
        }
        const int nLeft = a.Nn / 2, nRight = a.Nn - nLeft;
        const double mean =
            c.sign * uMax * (nLeft * c.alpha * 1e4 + nRight * (1 - c.alpha) * 3e4) / a.Nn;
        EXPECT_NEAR(CalcEOFMobility(st), mean, 1e-9 * uMax * 1e4);
    }

    // Through a run: pure KCl has pH 7; a neutral zone moves with the flow of
    // a negative wall of pK 6, 10/11 of the maximum at the field U/L.
    Fresh();
    TUnivSet<TComponents> comp = Kcl();
    comp.Add(Constituent("Neutral", 0, 0, {0.0}, {0.0}, Analyte, 0.0, 1.0));
    Prepare(comp, 250, 0.025, 2e-3, 250);
    st.InjSitePending = 6.0;
    st.PeakWidthPending = 1.0;
    st.cbEOF = st.cbEOFDif = true;
    Table({{kRowPKEOF, "6"}, {kRowUEOF, "50"}});
    ASSERT_TRUE(InitCalc(st));
    EXPECT_NEAR(st.Arr.PH[100], 7.0, 1e-6);
    const double x0 = Moments(st, 3).mean, t0 = st.Time;
    Run(4.0);
    const double v = (Moments(st, 3).mean - x0) / (st.Time - t0);
    EXPECT_NEAR(v / (10.0 / 11 * uMax * 250 / 0.025), 1.0, 1e-3);
}

// At zero current a step from 10 to 20 mM KCl holds the liquid-junction
// potential of Henderson's equation, (RT/F) (uK - uCl)/(uK + uCl) ln 2, the
// integral of the field across it: in the standard scheme and with the
// capillary effects on at the set temperature.
TEST_F(EffectsTemperature, JunctionPotentialOfAKclStepFollowsHenderson)
{
    for (const bool effects : {false, true}) {
        SCOPED_TRACE(effects ? "capillary effects" : "standard");
        Fresh();
        TUnivSet<TComponents> comp;
        comp.Add(Segmented(StrongCation("Potassium", kUK, BGE, 10.0, 10.0), {10.0, 20.0}, {1, 1}));
        comp.Add(Segmented(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0), {10.0, 20.0}, {1, 1}));
        Prepare(comp, 400, 0.01, 1e-4, 0.0);
        st.PeakEdgeWidthPending = 1.0;
        if (effects) {
            st.cbT = true;
            Table({{kRowT, "25"}});
        }
        ASSERT_TRUE(InitCalc(st));
        Run(3e-4);
        EXPECT_EQ(st.I, 0.0);
        double phi = 0;
        for (int j = 0; j < st.NX; ++j) phi += 0.5 * (st.Arr.E[j] + st.Arr.E[j + 1]) * st.DX;
        const double henderson = 8.314 * kT25 / kF * (kUK - kUCl) / (kUK + kUCl) * std::log(2.0);
        EXPECT_NEAR(phi / henderson, 1.0, 1e-3);
    }
}
