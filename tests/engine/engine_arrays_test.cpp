// Engine arrays: shapes and index bases, zero fill, level rotation by index
// exchange, release; and the per-node constants built on them.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/engine_arrays.h"
#include "engine/equilibrium.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/recording_host.h"
#include "support/uniform_grid.h"

TEST(EngineArrays, ShapesZeroFillRotationAndRelease) {
    RecordingHost host;
    RunState st;
    st.Host = &host;
    st.CompInit.Add(MakeConstituent("phosphate", -3, 0, {12.67, 7.21, 2.16, 0}, {71, 61, 35, 0}, 1));
    st.CompInit.Add(MakeConstituent("glucose", 0, 0, {0}, {0}, 1));
    st.CompInit.Add(MakeConstituent("His", -1, 2, {9.2, 0, 6.0, 1.8}, {30, 0, 20, 40}, 1));
    st.NComp = 3;
    st.NX = 50;
    st.Temperature = 300.0;
    AllocEngineArrays(st, 0);
    EngineArrays& a = st.Arr;
    ASSERT_TRUE(a.Allocated());
    EXPECT_EQ(a.Nn, 51);
    EXPECT_EQ(a.MaxAbsZ, 3);
    EXPECT_EQ(a.NForms, 2 + 3 + 0 + 3);
    EXPECT_EQ(a.MixSegCount, 1);  // raised from 0
    EXPECT_EQ(a.ZMin[4], 0);      // H+
    EXPECT_EQ(a.ZMax[4], 1);
    EXPECT_EQ(a.ZMin[5], -1);     // OH-
    EXPECT_EQ(a.ZMax[5], 0);
    EXPECT_EQ(a.Forms(2), 1);
    EXPECT_EQ(a.T(2)[50], 300.0);
    EXPECT_EQ(a.T0[0], 300.0);
    EXPECT_EQ(a.ZScratch[1].size(), 4u);
    // zero-filled, and every row is its own N+1 values
    for (int l = 1; l <= 5; ++l)
        for (int i = 1; i <= 5; ++i)
            for (int k = 0; k < a.Forms(i); ++k)
                for (int n = 0; n <= 50; ++n) ASSERT_EQ(a.CForm(l, i, k)[n], 0.0);
    for (int l = 1; l <= 5; ++l)
        for (int i = 1; i <= 5; ++i)
            for (int n = 0; n <= 50; ++n) a.C(l, i)[n] = 1000 * l + 10 * i + n * 1e-3;
    for (int i = 1; i <= 5; ++i)
        for (int k = 0; k < a.Forms(i); ++k) a.CForm(2, i, k)[7] = 100 * i + k;
    for (int i = 1; i <= 5; ++i)
        for (int k = 0; k < a.Forms(i); ++k) EXPECT_EQ(a.CForm(2, i, k)[7], 100 * i + k);
    EXPECT_EQ(a.CH(2)[7], 401);
    EXPECT_EQ(a.COH(2)[7], 500);
    // rotation: level k+1 takes level k, level 1 recycles the oldest row set
    const double* rows[6];
    for (int l = 1; l <= 5; ++l) rows[l] = a.C(l, 2);
    a.RotateConcentrationLevels();
    for (int l = 2; l <= 5; ++l) EXPECT_EQ(a.C(l, 2), rows[l - 1]);
    EXPECT_EQ(a.C(1, 2), rows[5]);
    EXPECT_EQ(a.C(3, 3)[0], 2030.0);
    EXPECT_EQ(a.CForm(3, 1, 2)[7], 102);  // forms follow their level
    EngineArrays::SwapLevels(a.lvC, 2, 5);
    EXPECT_EQ(a.C(5, 2), rows[1]);
    for (int l = 1; l <= 4; ++l) a.F(l, 1)[0] = l;
    a.RotateDerivativeLevels();
    EXPECT_EQ(a.F(1, 1)[0], 4);
    EXPECT_EQ(a.F(2, 1)[0], 1);

    // release twice is harmless and tells the host each time; the run's
    // series go with the arrays
    st.Series.srComp.resize(4);
    st.Series.sr_pH.Add(1, 7);
    st.Series.DET_T.Add(1, 300);
    st.Initialised = true;
    FreeEngineArrays(st);
    FreeEngineArrays(st);
    EXPECT_FALSE(a.Allocated());
    EXPECT_FALSE(st.Initialised);
    EXPECT_TRUE(st.PsqPlayerReloadNeeded);
    EXPECT_EQ(host.arraysFreedCount, 2);
    EXPECT_TRUE(a.Kappa.empty());
    EXPECT_TRUE(st.Series.srComp.empty());
    EXPECT_TRUE(st.Series.sr_pH.x.empty());
    EXPECT_TRUE(st.Series.DET_T.y.empty());
    // a fresh allocation after release starts from zero with new shapes
    st.NComp = 1;
    st.NX = 4;
    AllocEngineArrays(st);
    EXPECT_EQ(a.Nn, 5);
    EXPECT_EQ(a.C(2, 1)[0], 0.0);
    EXPECT_EQ(a.C(2, 1)[4], 0.0);
}

TEST(NodeConstants, DiffusionCumulativeConstantsAndImmobileConstituents) {
    RecordingMessageSink sink;
    RunState st;
    SetUpUniformGrid(st,
                     {MakeConstituent("acetic", -1, 0, {4.756, 0}, {42.4, 0}, 1),
                      MakeConstituent("glucose", 0, 0, {0}, {0}, 1),
                      MakeConstituent("sulfate", -2, 0, {1.9, -3, 0}, {82.9, 40, 0}, 1),
                      MakeConstituent("base", 0, 2, {0, 9.0, 4.0}, {0, 30, 50}, 1),
                      MakeConstituent("fixed", -1, 0, {5.0, 0}, {0, 0}, 1)},
                     6);
    EngineArrays& a = st.Arr;
    const int h = a.NComp + 1, oh = a.NComp + 2;
    // D = u R T / (|z| F) at 298.15 K
    EXPECT_NEAR(a.DForm(h, 1)[3], 9.313e-9, 1e-12);
    EXPECT_NEAR(a.DForm(oh, 0)[3], 5.280e-9, 1e-12);
    EXPECT_NEAR(a.DForm(2, 0)[3], 5.138e-10, 1e-13);
    EXPECT_NEAR(a.DForm(3, 0)[3], 82.9e-9 * 8.314 * 298.15 / (2 * 96485.0), 1e-22);
    // neutral forms: an acid takes its -1 form, a base its +1 form
    EXPECT_DOUBLE_EQ(a.DForm(1, 1)[0], 42.4e-9 * 8.314 * 298.15 / 96485.0);
    EXPECT_DOUBLE_EQ(a.DForm(4, 0)[0], 30e-9 * 8.314 * 298.15 / 96485.0);
    EXPECT_DOUBLE_EQ(a.DBase[4], a.DForm(4, 0)[6]);
    // L of an acid anion is its K; of a divalent anion K(-2) K(-1);
    // of cations 1 / product
    EXPECT_DOUBLE_EQ(a.LForm(1, 0)[2], std::pow(10.0, 3 - 4.756));
    EXPECT_DOUBLE_EQ(a.LForm(3, 0)[2], std::pow(10.0, 3 - 1.9) * std::pow(10.0, 3 + 3.0));
    EXPECT_NEAR(a.LForm(4, 2)[2], 1 / (std::pow(10.0, 3 - 9.0) * std::pow(10.0, 3 - 4.0)),
                1e-12 * a.LForm(4, 2)[2]);
    EXPECT_EQ(a.LForm(4, 0)[2], 1.0);
    // immobile constituents
    EXPECT_EQ(a.SkipComp[1], 0);
    EXPECT_EQ(a.SkipComp[2], 0);
    EXPECT_EQ(a.SkipComp[5], 1);
    a.UForm(5, 0)[6] = 2e-15;
    SetSkipComp(st);
    EXPECT_EQ(a.SkipComp[5], 0);
    // H+ data: pK follows Kw, K of H+ does not
    st.Kw = 1e-9;
    SetNodeConstants(st);
    EXPECT_DOUBLE_EQ(a.PKaForm(h, 1)[0], 15.0);
    EXPECT_DOUBLE_EQ(a.KForm(h, 1)[0], 1e-11);
    EXPECT_EQ(a.UFormLim(h, 1)[0], 362.5e-9);
    // uniform capillary
    EXPECT_TRUE(st.EOFAsVelocity);
    EXPECT_DOUBLE_EQ(a.S[3], 3.141592653589793 * 0.25 * 5e-5 * 5e-5);
    a.SVol[2] *= 2;
    st.cbSvol = true;
    st.sbData_Visible = true;
    st.cbS = true;
    SetDefaultCrossSections(st);
    EXPECT_FALSE(st.EOFAsVelocity);
    // a diffusion multiplier applies only with RedDiff
    st.RedDiff = true;
    st.DiffMultiplier = 0.5;
    SetNodeConstants(st);
    EXPECT_NEAR(a.DForm(h, 1)[3], 0.5 * 9.313e-9, 1e-12);
    // a cation whose constants multiply to exactly 0 is refused
    a.PKaForm(4, 1)[1] = 400;
    try {
        SetNodeConstants(st);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "(Elneut): " + ErrorCodeText(-3));
    }
    EXPECT_TRUE(sink.warnings.empty());
}
