// Run initialisation: the complete initial state (equilibrium on the whole
// grid, chart data), refusals with their texts, failures that leave no run
// behind, and the loading path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "engine/modes/micellar/micellar_mode.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"
#include "support/uniform_grid.h"

using namespace testcomp;

namespace {

TUnivSet<TComponents> UniformAcetate()
{
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    return comp;
}

class Init : public ::testing::Test {
protected:
    void Prepare(const TUnivSet<TComponents>& comp, int nodes)
    {
        PrepareRun(st, comp, nodes);
        host.Attach(st);
    }
    // Init refused with these messages, the previous run kept (with the
    // switches it took at its Init).
    void ExpectRefusedKeepingTheRun(const std::vector<std::string>& messages)
    {
        const int nx = st.NX;
        const double ph = st.Arr.PH[10];
        const bool taken[] = {st.ISCorrection, st.RedDiff, st.TempOption, st.SDSAtInit,
                              st.RacemicAtInit};
        sink.Clear();
        EXPECT_FALSE(InitCalc(st));
        EXPECT_EQ(sink.warnings, messages);
        EXPECT_TRUE(st.Initialised && st.NX == nx && st.Arr.PH[10] == ph);
        const bool after[] = {st.ISCorrection, st.RedDiff, st.TempOption, st.SDSAtInit,
                              st.RacemicAtInit};
        EXPECT_TRUE(std::equal(std::begin(taken), std::end(taken), std::begin(after)));
    }
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
};

}  // namespace

TEST_F(Init, CompleteInitSolvesTheWholeGrid)
{
    Prepare(AcetateBufferWithAnalytes(), 200);
    st.PsqFileOwn = "own.psq";
    st.Time = 12.0;
    st.StepCount = 7;
    st.CompChanged = st.SetupChanged = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_TRUE(!st.CompChanged && !st.SetupChanged && st.Time == 0.0 && st.StepCount == 0);
    EXPECT_EQ(host.psqResets, std::vector<std::string>{"own.psq"});
    // electroneutrality at every node of level 2, the left border values kept
    for (int j = 0; j <= st.NX; ++j) {
        double scale = 0;
        const double residual = ChargeBalance(st, 2, j, &scale);
        EXPECT_LE(std::abs(residual), 1e-9 * scale) << j;
        EXPECT_NEAR(st.Arr.PH[j], 3 - std::log10(st.Arr.CH(2)[j]), 1e-12);
    }
    EXPECT_NEAR(st.Arr.PH[st.NX], 4.7575, 1e-3);  // the buffer beyond the analytes
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(st.Arr.CLeft[i], st.Arr.C(2, i)[0]);
    EXPECT_EQ(st.Arr.CLeft[5], st.Arr.CH(2)[0]);

    // chart data: one point per node
    EXPECT_TRUE(st.Series.sr_pH.Count() == 201 && st.Series.sr_reg[8].Count() == 201);
}

TEST_F(Init, RefusalsInOrderKeepThePreviousRun)
{
    Prepare(UniformAcetate(), 50);
    ASSERT_TRUE(InitCalc(st));
    // the checks in their order: each case fails all the later ones too
    const TUnivSet<TComponents> saved = st.Composition;
    st.Running = true;
    st.NXPending = 9;
    st.Composition.Empty();
    ExpectRefusedKeepingTheRun({"START is active"});
    st.Running = false;
    ExpectRefusedKeepingTheRun({"No constituents!"});
    st.Composition = saved;
    // dcH/dt mode switches the ionic-strength correction off and goes on
    st.cbDcH = st.cbIS = true;
    ExpectRefusedKeepingTheRun(
        {"Ionic Strength Correction is not applicable with dcH/dt MODE. IS correction dissabled",
         "Increase Nodes in RunSetup >> \"Grid Points (Nodes)\" to Proceed!\nMinimum Value is 10."});
    EXPECT_FALSE(st.cbIS);
    st.NXPending = 10;  // the smallest grid accepted
    sink.Clear();
    EXPECT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty() && !st.ISCorrection && st.NX == 10);
    st.cbDcH = false;

    // the micellizing constituent: a number inside the composition naming a
    // monovalent acid or base, checked before the mode is refused (and before
    // the run takes the switches ticked since its Init)
    st.cbSDS = st.cbIS = st.cbRedDiff = true;
    st.DiffMultiplier = 0.5;
    const std::string index =
        "Incorrect index number of micellizing constituent defined by \"Mic. Constituent No.\".";
    for (int no : {3, 0}) {
        st.MicCompNo = no;
        ExpectRefusedKeepingTheRun({index});
    }
    st.Composition.Add(Constituent("Ampholyte", -1, 1, {3.0, 0, 9.0}, {20, 0, 20}, BGE, 1, 1));
    st.MicCompNo = 3;
    ExpectRefusedKeepingTheRun({"Incorrect valency of micellizing constituent."});
    // an aggregation number below 1 (a file may carry one) is refused too
    st.Composition = saved;
    st.MicCompNo = 1;
    st.OM = 0;
    ExpectRefusedKeepingTheRun({kMicAggregationNumber});
    st.OM = 64;
    st.cbIS = st.cbRedDiff = false;
    // an acid and a base are taken, with the CMC profile of the grid
    for (int no : {1, 2}) {
        st.MicCompNo = no;
        sink.Clear();
        ASSERT_TRUE(InitCalc(st));
        EXPECT_TRUE(sink.warnings.empty() && st.SDSAtInit && MicellarProfileReady(st));
        EXPECT_EQ(st.Arr.CMCProfile,
                  std::vector<double>(static_cast<std::size_t>(st.NX) + 1, st.CMC));
    }
    st.cbSDS = false;
    // racemic mode needs four constituents: refused before anything changes
    st.cbRacemic = true;
    ExpectRefusedKeepingTheRun({"Racemic Mode requires at least 4 constituents."});
    st.cbRacemic = false;

    // Values outside the ranges of their fields (a file or a tool may bring
    // them): the first is named, nothing changes; at the bounds the run is built.
    const FieldRange profile{-kConcentrationRange.high, kConcentrationRange.high};
    using Change = std::function<void(TComponents&)>;
    for (auto [change, field, value, range] :
         {std::tuple(Change([](TComponents& c) { c.c = 1e308; }), "Concentration [mM]", "1E308",
                     kConcentrationRange),
          std::tuple(Change([](TComponents& c) { c.cInj = -5; }), "C(Injection) [mM]", "-5",
                     kConcentrationRange),
          std::tuple(Change([](TComponents& c) { c.minCharge = -501; }), "Neg", "-501",
                     FieldRange{-500, 500, true, true}),
          std::tuple(Change([](TComponents& c) { c.pKa[1][0] = 400; }), "pKa of charge -1", "400",
                     kPKRange),
          std::tuple(Change([](TComponents& c) { c.u[1][0] = -1e300; }), "u (10e-9) of charge -1",
                     "-1E300", kMobilityRange),
          std::tuple(Change([](TComponents& c) {
                         c.AllocTable(51);
                         c.table[3] = 2e5;
                     }),
                     "Table (mM) at node 2", "200000", profile)}) {
        st.Composition = saved;
        change(st.Composition[1]);
        ExpectRefusedKeepingTheRun(
            {FieldRefusedText(std::string(field) + " of Acetic acid", value, range)});
    }
    st.Composition = saved;
    st.DT = 1e308;
    ExpectRefusedKeepingTheRun({FieldRefusedText("dt (s)", "1E308", kTimeStepRange)});
    st.DT = kTimeStepRange.high;
    st.UI = -2e6;
    ExpectRefusedKeepingTheRun({FieldRefusedText("Voltage (V)", "-2000000", kVoltageRange)});
    st.UI = kVoltageRange.low;
    st.Composition[1].c = st.Composition[1].cInj = kConcentrationRange.high;
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    // 100 mol/L of acetic acid beside 10 mM sodium: electroneutrality
    // H + Na = Ka c / (H + Ka) solved directly (water's ions left out).
    const double ka = std::pow(10.0, -kPKAcetic), c = kConcentrationRange.high * 1e-3, na = 0.01;
    const double h = (-(na + ka) + std::sqrt((na + ka) * (na + ka) - 4 * (na * ka - ka * c))) / 2;
    EXPECT_NEAR(st.Arr.PH[10], -std::log10(h), 0.01);
}

TEST_F(Init, FailuresAfterTheReleaseLeaveNoHalfBuiltRun)
{
    Prepare(UniformAcetate(), 50);
    auto failsWithoutRun = [&](const std::function<void()>& spoil, const std::string& message) {
        ASSERT_TRUE(InitCalc(st));
        spoil();
        sink.Clear();
        try {
            EXPECT_FALSE(InitCalc(st));
        } catch (const Exception& e) {
            sink.warnings.push_back(e.Message());
        }
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_TRUE(message.empty() || sink.warnings[0] == message) << sink.warnings[0];
        EXPECT_FALSE(st.Initialised || st.Arr.Allocated());
        EXPECT_TRUE(st.Series.srComp.empty());
        st.Composition = UniformAcetate();
    };
    // a constituent that cannot be laid out
    TComponents bad = StrongCation("Bad", kUK, BGE, 1.0, 1.0);
    bad.mode = 0;
    failsWithoutRun([&] { st.Composition.Add(bad); }, "Error: Incorrent setup of 3. constituent");
    // a cation whose constants multiply to zero raises out of Init (17 steps
    // of pK 300, each within the range of its field)
    failsWithoutRun(
        [&] {
            std::vector<double> pK(18, 300.0), u(18, 20.0);
            pK[0] = u[0] = 0.0;
            st.Composition.Add(Constituent("Zero", 0, 17, pK, u, BGE, 1.0, 1.0));
        },
        "(Elneut): INFINITE expression. Divided by ZERO or pole of the function.");
    // the temporary sequence file cannot be created
    struct FailingHost : RecordingHost {
        void ResetPsqFile(const std::string&) override { ThrowError("Cannot create file."); }
    } failing;
    failsWithoutRun([&] { failing.Attach(st); }, "Cannot create file.");
    failing.Detach();
    host.Attach(st);
    // a derivative mode without its routine fails in the final equilibrium
    ModeHooks unbuilt;
    unbuilt.derivativesKey = "Unbuilt";
    unbuilt.derivativesUnavailable = "Unbuilt mode.";
    st.Engine.Modes[ModeIndex(Mode::Linear)] = unbuilt;
    failsWithoutRun([&] { st.cbMX = true; }, "Unbuilt mode.");
    st.cbMX = false;
    st.Engine.Modes = DefaultModeTable();
}

TEST_F(Init, WallsAndDiffusionModeTakenAtInit)
{
    Prepare(AcetateBufferWithAnalytes(), 100);
    st.cbInitWalls = false;
    // walls outside the grid, or left from a larger grid, become the grid
    const int walls[][4] = {{-3, 105, 0, 100}, {500, 1000, 0, 100}, {20, 60, 20, 60}};
    for (const auto& w : walls) {
        st.LeftWall = w[0];
        st.RightWall = w[1];
        ASSERT_TRUE(InitCalc(st));
        EXPECT_EQ(std::make_pair(st.LeftWall, st.RightWall), std::make_pair(w[2], w[3]));
    }
    st.cbInitWalls = st.cbKeepDistance = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(std::make_tuple(st.LeftWall, st.RightWall, st.cbKeepDistance),
              std::make_tuple(0, 100, false));
    // the diffusion mode at start
    st.cbAutoDiff = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(st.DiffMode && st.Restart && host.diffusionModes.back());
    EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(Init, LoadingPathPreparesArraysWithoutEquilibrium)
{
    Prepare(AcetateBufferWithAnalytes(), 5);  // pending values are not applied
    st.NX = 40;
    st.Time = 7.5;
    st.Loading = true;
    ASSERT_TRUE(InitCalc(st));
    // the loader clears Loading, not Init
    EXPECT_EQ(std::make_tuple(st.NX, st.Time, st.Loading, st.NewtonItTotal, st.Arr.CH(2)[20]),
              std::make_tuple(40, 7.5, true, 0, 0.0));
    // neither the loader nor the sequence player resets the sequence file
    st.Loading = false;
    st.LoadingPsq = true;
    st.NXPending = 40;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(host.psqResets.empty() && sink.warnings.empty());
}

TEST_F(Init, ARunTooLargeForMemoryIsRefusedBeforeAnythingIsAllocated)
{
    Prepare(UniformAcetate(), 50);
    ASSERT_TRUE(InitCalc(st));
    // 20 constituents of the widest charges (1001 ionic forms each) on 100001
    // nodes: several hundred gigabytes of arrays.
    TUnivSet<TComponents> huge;
    for (int k = 0; k < 20; ++k)
        huge.Add(Constituent("Wide " + std::to_string(k), -500, 500, std::vector<double>(1001, 7.0),
                             std::vector<double>(1001, 30.0), BGE, 10.0, 10.0));
    const TUnivSet<TComponents> saved = st.Composition;
    st.Composition = huge;
    st.NXPending = 100000;
    ExpectRefusedKeepingTheRun({kInitRunTooLarge});
    // The same composition on a small grid, and the loading path, are measured the same way.
    st.Loading = true;
    st.NX = 100000;
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kInitRunTooLarge});
    st.Loading = false;
    st.NX = 50;
    st.Composition = saved;
    st.NXPending = 50;
    EXPECT_TRUE(InitCalc(st));
}

TEST_F(Init, ZeroPointOfTheCapillaryEndsFollowsTheAppliedInjectionSite)
{
    Prepare(UniformAcetate(), 200);
    st.CapLengthPending = 0.05;
    st.InjSitePending = 10.0;  // mm: node 40 of 200 on 50 mm
    st.ZeroPosNode = 7;        // left from another set-up
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.ZeroPosNode, 40);
    st.InjSitePending = 25.0;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.ZeroPosNode, 100);
}
