// Run initialisation: refusals with their texts and the state they leave, the
// complete initial state (equilibrium on the whole grid, buffer pH against a
// direct solution), the loading path and failures that leave no run behind.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_host.h"
#include "support/test_compositions.h"

using namespace testcomp;

namespace {

// |charge balance| and the scale sum |z| c of level 2 at node j.
void ChargeBalance(RunState& st, int j, double& residual, double& scale) {
    EngineArrays& a = st.Arr;
    const double ch = a.CH(2)[j], coh = a.COH(2)[j];
    residual = ch - coh;
    scale = ch + coh;
    for (int i = 1; i <= st.NComp; ++i)
        for (int k = 0; k <= a.ZMax[i] - a.ZMin[i]; ++k) {
            const int z = a.ZMin[i] + k;
            const double c = a.CForm(2, i, k)[j];
            residual += z * c;
            scale += std::abs(z) * c;
        }
}

// pH of a uniform acetic acid / sodium solution from its charge balance,
// solved by bisection on log10 cH (cH in mM, K = 10^(3 - pK) mM).
double BufferPH(double acid, double pKa, double sodium, double pKNa, double kw) {
    const double ka = std::pow(10.0, 3 - pKa), kna = std::pow(10.0, 3 - pKNa);
    auto balance = [&](double ch) {
        return ch + sodium * ch / (ch + kna) - kw / ch - acid * ka / (ka + ch);
    };
    double lo = -15, hi = 3;
    for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo + hi);
        (balance(std::pow(10.0, mid)) > 0 ? hi : lo) = mid;
    }
    return 3 - 0.5 * (lo + hi);
}

TUnivSet<TComponents> UniformAcetate() {
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    return comp;
}

}  // namespace

TEST(InitCalc, CompleteInitSolvesTheWholeGrid) {
    RecordingMessageSink sink;
    RecordingHost host;
    host.fileSize = 123;
    RunState st;
    st.Host = &host;
    st.PsqFileOwn = "own.psq";
    PrepareRun(st, AcetateBufferWithAnalytes(), 200);
    st.Time = 12.0;
    st.StepCount = 7;
    st.PsqStarted = true;
    st.CompChanged = true;
    st.SetupChanged = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_TRUE(st.TempOption);
    EXPECT_FALSE(st.PsqStarted);
    EXPECT_FALSE(st.CompChanged);
    EXPECT_FALSE(st.SetupChanged);
    EXPECT_EQ(st.Time, 0.0);
    EXPECT_EQ(st.StepCount, 0);
    EXPECT_EQ(st.PsqFile, "own.psq");
    ASSERT_EQ(host.psqResets.size(), 1u);
    EXPECT_EQ(host.psqResets[0], "own.psq");
    EXPECT_EQ(st.PsqSize, 123);

    // Electroneutrality holds at every node of level 2.
    for (int j = 0; j <= st.NX; ++j) {
        double residual, scale;
        ChargeBalance(st, j, residual, scale);
        EXPECT_LE(std::abs(residual), 1e-9 * scale) << j;
        EXPECT_NEAR(st.Arr.PH[j], 3 - std::log10(st.Arr.CH(2)[j]), 1e-12);
    }
    // Left-border values and the copies taken at the end of Init.
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(st.Arr.CLeft[i], st.Arr.C(2, i)[0]);
    EXPECT_EQ(st.Arr.CLeft[5], st.Arr.CH(2)[0]);
    EXPECT_EQ(st.Arr.URF[5][50], st.Arr.CH(2)[50]);
    EXPECT_EQ(st.Arr.URF[6][50], st.Arr.COH(2)[50]);
    EXPECT_EQ(st.Arr.URFMob(1, 0)[50], kUAcetate * 1e-9);
    // Linearised-mode matrices: zero unless the run has two constituents.
    ASSERT_EQ(st.Mat1.n(), 4);
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c) EXPECT_EQ(st.Mat1[r][c] + st.Mat2[r][c], 0.0);
    EXPECT_DOUBLE_EQ(st.Arr.URFMob(5, 1)[50], 362.5e-9);

    // Chart data: one point per node on every fixed profile series, two on
    // the markers, the detector list with every trace checked.
    const RunSeries& s = st.Series;
    for (const ChartSeries* p : {&s.sr_conductivity, &s.sr_pH, &s.sr_IS, &s.sr_j, &s.sr_E, &s.sr_Ui,
                                 &s.sr_P, &s.sr_potential, &s.sr_DER, &s.sr_S, &s.sr_Svol, &s.sr_T,
                                 &s.sr_mix, &s.sr_pi, &s.sr_elneut, &s.sr_reg[1], &s.sr_reg[8]})
        EXPECT_EQ(p->Count(), 201);
    for (const ChartSeries* p : {&s.sr_LeftWall, &s.sr_RightWall, &s.sr_detectorLine}) EXPECT_EQ(p->Count(), 2);
    EXPECT_EQ(s.DET_pH.Count(), 0);
    ASSERT_EQ(s.srComp.size(), 5u);
    ASSERT_EQ(s.srDetComp.size(), 5u);
    EXPECT_FALSE(s.srDetComp[4].active);
    std::vector<std::string> det;
    for (const CheckListItem& item : s.clbDet) {
        det.push_back(item.text);
        EXPECT_TRUE(item.checked);
    }
    EXPECT_EQ(det, (std::vector<std::string>{"pH", "Conductivity", "Acetic acid", "Sodium",
                                             "Potassium", "Base", "Voltage", "Current",
                                             "Temperature"}));
    ASSERT_EQ(s.clbGraph.size(), 8u);
    EXPECT_EQ(s.clbGraph[6].text, "E - Intensity");
    EXPECT_TRUE(s.clbGraph[0].checked && s.clbGraph[1].checked && s.clbGraph[2].checked);
    EXPECT_FALSE(s.clbGraph[6].checked);
    EXPECT_FALSE(s.sr_E.active);
}

TEST(InitCalc, BufferPHAgreesWithTheDirectSolution) {
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, UniformAcetate(), 50);
    ASSERT_TRUE(InitCalc(st));
    const double expected = BufferPH(20.0, kPKAcetic, 10.0, kPKStrongCation, 1e-8);
    EXPECT_NEAR(expected, 4.7575, 1e-3);  // Henderson-Hasselbalch with the cH correction
    for (int j = 0; j <= 50; ++j) EXPECT_NEAR(st.Arr.PH[j], expected, 1e-9) << j;
    // Conductivity F * sum |z| u c of the ions.
    const double ch = st.Arr.CH(2)[25];
    const double acetate = st.Arr.CForm(2, 1, 0)[25], sodium = st.Arr.CForm(2, 2, 1)[25];
    const double kappa = 96485.0 * (kUAcetate * 1e-9 * acetate + kUNa * 1e-9 * sodium +
                                    362.5e-9 * ch + 205.5e-9 * st.Arr.COH(2)[25]);
    EXPECT_NEAR(st.Arr.Kappa[25], kappa, kappa * 1e-9);
    EXPECT_NEAR(st.Series.sr_conductivity.y[25], kappa * st.CondScale, kappa * st.CondScale * 1e-9);
    ASSERT_EQ(st.Mat1.n(), 2);
    EXPECT_EQ(st.Mat1[1][2], -5.49491542042e-10);
    EXPECT_EQ(st.Mat1[2][1], 1.83961711019e-9);
    EXPECT_EQ(st.Mat2[1][1], 6.57099853217e-10);
    EXPECT_EQ(st.Mat2[2][2], 1.13954602666e-9);
}

TEST(InitCalc, RefusalsKeepThePreviousRun) {
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, UniformAcetate(), 50);
    ASSERT_TRUE(InitCalc(st));
    const double ph = st.Arr.PH[10];

    // Each refusal before the arrays are released leaves the run as it was.
    auto refusedKeepsRun = [&](const std::string& message) {
        sink.Clear();
        EXPECT_FALSE(InitCalc(st));
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], message);
        EXPECT_TRUE(st.Initialised);
        EXPECT_EQ(st.NX, 50);
        EXPECT_EQ(st.Arr.PH[10], ph);
    };
    st.Running = true;
    refusedKeepsRun("START is active");
    st.Running = false;

    st.NXPending = 9;
    refusedKeepsRun(
        "Increase Nodes in RunSetup >> \"Grid Points (Nodes)\" to Proceed!\nMinimum Value is 10.");
    st.NXPending = 50;
    TUnivSet<TComponents> saved = st.Composition;
    st.Composition.Empty();
    refusedKeepsRun("No constituents!");
    st.Composition = saved;

    // dcH/dt mode switches the ionic-strength correction off and goes on.
    st.cbDcH = true;
    st.cbIS = true;
    sink.Clear();
    EXPECT_TRUE(InitCalc(st));
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0],
              "Ionic Strength Correction is not applicable with dcH/dt MODE. IS correction dissabled");
    EXPECT_FALSE(st.cbIS);
    EXPECT_FALSE(st.ISCorrection);
    st.cbDcH = false;

    // Modes whose set-up is not built stop with no run left.
    auto unavailable = [&](bool& sw, const char* message) {
        ASSERT_TRUE(InitCalc(st));
        sw = true;
        sink.Clear();
        EXPECT_FALSE(InitCalc(st));
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(sink.warnings[0], message);
        EXPECT_FALSE(st.Initialised);
        EXPECT_FALSE(st.Arr.Allocated());
        sw = false;
    };
    unavailable(st.cbComplex, kInitComplexUnavailable);
    unavailable(st.cbSDS, kInitMicellarUnavailable);  // constituent 1, an acid (-1..0)

    // The micellizing constituent: a number inside the composition naming a
    // monovalent acid or base (checked before the mode is refused).
    ASSERT_TRUE(InitCalc(st));
    st.cbSDS = true;
    const std::string index =
        "Incorrect index number of micellizing constituent defined by \"Mic. Constituent No.\".";
    st.MicCompNo = 3;
    refusedKeepsRun(index);
    st.MicCompNo = 0;
    refusedKeepsRun(index);
    st.Composition.Add(Constituent("Ampholyte", -1, 1, {3.0, 0, 9.0}, {20, 0, 20}, BGE, 1, 1));
    st.MicCompNo = 3;
    refusedKeepsRun("Incorrect valency of micellizing constituent.");
    st.Composition = UniformAcetate();
    st.MicCompNo = 2;  // sodium (0..+1)
    st.cbSDS = false;
    unavailable(st.cbSDS, kInitMicellarUnavailable);
    st.MicCompNo = 1;
    unavailable(st.cbMix, kInitEffectsUnavailable);
    unavailable(st.cbS, kInitEffectsUnavailable);

    // The smallest grid accepted.
    st.NXPending = 10;
    sink.Clear();
    EXPECT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_EQ(st.NX, 10);
}

TEST(InitCalc, FailuresAfterTheReleaseLeaveNoHalfBuiltRun) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.Host = &host;
    PrepareRun(st, UniformAcetate(), 50);
    ASSERT_TRUE(InitCalc(st));

    // A constituent that cannot be laid out.
    TComponents bad = StrongCation("Bad", kUK, BGE, 1.0, 1.0);
    bad.mode = 0;
    st.Composition.Add(bad);
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "Error: Incorrent setup of 3. constituent");
    EXPECT_FALSE(st.Initialised);
    EXPECT_FALSE(st.Arr.Allocated());
    EXPECT_TRUE(st.Series.srComp.empty());

    // A cation whose constants multiply to zero raises out of Init.
    st.Composition = UniformAcetate();
    TComponents zero = WeakBase("Zero", 400.0, 20.0, BGE, 1.0, 1.0);
    st.Composition.Add(zero);
    try {
        InitCalc(st);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "(Elneut): INFINITE expression. Divided by ZERO or pole of the function.");
    }
    EXPECT_FALSE(st.Initialised);
    EXPECT_FALSE(st.Arr.Allocated());
    FreeEngineArrays(st);  // harmless a second time
    EXPECT_FALSE(st.Initialised);

    // The temporary sequence file cannot be created.
    st.Composition = UniformAcetate();
    struct FailingHost : RecordingHost {
        void ResetPsqFile(const std::string&) override { ThrowError("Cannot create file."); }
    } failing;
    st.Host = &failing;
    EXPECT_THROW(InitCalc(st), Exception);
    EXPECT_FALSE(st.Initialised);
    EXPECT_FALSE(st.Arr.Allocated());
    st.Host = &host;
    EXPECT_TRUE(InitCalc(st));

    // A derivative mode without its routine fails in the final equilibrium.
    st.cbRacemic = true;
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings.size(), 1u);
    EXPECT_FALSE(st.Initialised);
    EXPECT_FALSE(st.Arr.Allocated());
}

TEST(InitCalc, WallsChecksAndModesTakenAtInit) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.Host = &host;
    PrepareRun(st, AcetateBufferWithAnalytes(), 100);
    st.cbInitWalls = false;
    st.LeftWall = -3;
    st.RightWall = 105;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.LeftWall, 0);
    EXPECT_EQ(st.RightWall, 100);
    // A window left from a larger grid becomes the whole grid.
    st.LeftWall = 500;
    st.RightWall = 1000;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.LeftWall, 0);
    EXPECT_EQ(st.RightWall, 100);
    st.LeftWall = 20;
    st.RightWall = 60;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.LeftWall, 20);
    EXPECT_EQ(st.RightWall, 60);
    st.cbInitWalls = true;
    st.cbKeepDistance = true;
    st.cbLWMove = st.cbRWMove = false;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.RightWall, 100);
    EXPECT_FALSE(st.cbKeepDistance);
    EXPECT_TRUE(st.cbLWMove && st.cbRWMove);

    // The check marks of pH, conductivity and the two profiles after the
    // constituents survive a change of the constituent count.
    st.Series.clbGraph[0].checked = false;
    st.Series.clbGraph[1].checked = true;
    st.Series.clbGraph[4 + 2].checked = true;   // "E - Intensity"
    st.Series.clbGraph[4 + 3].checked = false;  // "Ionic Strength"
    st.Composition.RemoveNode(4);
    ASSERT_TRUE(InitCalc(st));
    ASSERT_EQ(st.Series.clbGraph.size(), 7u);
    EXPECT_FALSE(st.Series.clbGraph[0].checked);
    EXPECT_TRUE(st.Series.clbGraph[1].checked);
    EXPECT_EQ(st.Series.clbGraph[5].text, "E - Intensity");
    EXPECT_TRUE(st.Series.clbGraph[5].checked);
    EXPECT_FALSE(st.Series.clbGraph[6].checked);

    // Flags of the run taken from the switches; initial dt and diffusion mode.
    st.cbRedDiff = true;
    st.DiffMultiplier = 0.5;
    st.cbIgnDT = false;
    st.edDTInit_Visible = true;
    st.DTInit = 3e-5;
    st.cbAutoDiff = true;
    st.DiffTimeSet = 4.0;
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(st.RedDiff);
    EXPECT_EQ(st.SavedDT, 3e-5);
    EXPECT_TRUE(st.DiffMode);
    EXPECT_EQ(st.DiffTime, 4.0);
    EXPECT_EQ(st.DiffClock, 0.0);
    EXPECT_TRUE(st.Restart);
    st.cbAutoDiff = false;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_FALSE(st.DiffMode);
    EXPECT_FALSE(host.diffusionModes.back());
}

TEST(InitCalc, LoadingPathPreparesArraysWithoutEquilibrium) {
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    st.Host = &host;
    PrepareRun(st, AcetateBufferWithAnalytes(), 5);  // pending values are not applied
    st.NX = 40;
    st.CapLength = 0.03;
    st.Time = 7.5;
    st.SpentTime = 3.0;
    st.LeftWall = 5;
    st.RightWall = 30;
    st.PsqFile = "taken.psq";
    st.Loading = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_EQ(st.NX, 40);
    EXPECT_DOUBLE_EQ(st.DX, 0.03 / 40);
    EXPECT_EQ(st.Time, 7.5);
    EXPECT_EQ(st.SpentTime, 3.0);
    EXPECT_EQ(st.LeftWall, 5);
    EXPECT_EQ(st.RightWall, 30);
    EXPECT_EQ(st.PsqFile, "taken.psq");
    EXPECT_TRUE(host.psqResets.empty());
    EXPECT_TRUE(st.Loading);  // cleared by the loader, not here
    EXPECT_EQ(st.NewtonItTotal, 0);
    EXPECT_TRUE(st.TempOption);
    for (int j = 0; j <= 40; ++j) {
        EXPECT_EQ(st.Arr.Kappa[j], 0.0);
        EXPECT_EQ(st.Arr.CH(2)[j], 0.0);
    }
    EXPECT_EQ(st.Series.sr_conductivity.Count(), 41);
    EXPECT_EQ(st.Series.sr_pH.Count(), 41);
    // Chrom mode: conductivity 1 and pH 7 on levels 1 and 2.
    st.cbChrom = true;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.Arr.Kappa[3], 1.0);
    EXPECT_EQ(st.Arr.CH(1)[3], 1e-4);
    EXPECT_EQ(st.Arr.CH(2)[3], 1e-4);
    st.cbChrom = false;
    // The sequence player keeps its file.
    st.Loading = false;
    st.LoadingPsq = true;
    st.NXPending = 40;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(host.psqResets.empty());
}

TEST(InitCalc, TableProfileGivesTheLeftBorderValue) {
    RecordingMessageSink sink;
    RunState st;
    TUnivSet<TComponents> comp = UniformAcetate();
    TComponents k = StrongCation("Potassium", kUK, Analyte, 0.0, 1.0);
    k.AllocTable(51);
    for (int i = 1; i <= 51; ++i) k.table[i] = 0.5 + 0.01 * i;
    comp.Add(k);
    PrepareRun(st, comp, 50);
    ASSERT_TRUE(InitCalc(st));
    EXPECT_DOUBLE_EQ(st.Arr.C(2, 3)[0], 0.51);
    EXPECT_DOUBLE_EQ(st.Arr.CLeft[3], 0.51);
    EXPECT_DOUBLE_EQ(st.Arr.DrawnProfile[3][50], 1.01);
}
