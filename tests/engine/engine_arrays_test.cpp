// Engine arrays: shapes, zero fill, level rotation by index exchange and
// release; the per-node constants built on them.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/engine_arrays.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/uniform_grid.h"

TEST(EngineArrays, ShapesZeroFillRotationAndRelease)
{
    RecordingHost host;
    RunState st;
    host.Attach(st);
    st.CompInit.Add(
        MakeConstituent("phosphate", -3, 0, {12.67, 7.21, 2.16, 0}, {71, 61, 35, 0}, 1));
    st.CompInit.Add(MakeConstituent("glucose", 0, 0, {0}, {0}, 1));
    st.CompInit.Add(MakeConstituent("His", -1, 2, {9.2, 0, 6.0, 1.8}, {30, 0, 20, 40}, 1));
    st.NComp = 3;
    st.NX = 50;
    AllocEngineArrays(st, 0);
    EngineArrays& a = st.Arr;
    ASSERT_TRUE(a.Allocated());
    // forms: H+, OH- (lowest charge -1), phosphate, glucose, His
    EXPECT_EQ(std::make_tuple(a.Nn, a.NForms, a.ZMin[5], a.Forms(2)),
              std::make_tuple(51, 2 + 3 + 0 + 3, -1, 1));
    // zero-filled, every row its own N+1 values, forms follow their level
    for (int l = 1; l <= 5; ++l)
        for (int i = 1; i <= 5; ++i)
            for (int k = 0; k < a.Forms(i); ++k)
                for (int n = 0; n <= 50; ++n) {
                    ASSERT_EQ(a.CForm(l, i, k)[n], 0.0);
                    a.CForm(l, i, k)[n] = 1000 * l + 10 * i + k + n * 1e-3;
                }
    // not overwritten by the next row; H+ and OH- are the last two
    EXPECT_EQ(std::make_tuple(a.CForm(1, 1, 0)[50], a.CH(2)[0], a.COH(2)[0]),
              std::make_tuple(1010 + 50 * 1e-3, 2041.0, 2050.0));
    // rotation: level k+1 takes level k, level 1 recycles the oldest rows
    const double* rows[6];
    for (int l = 1; l <= 5; ++l) rows[l] = a.C(l, 2);
    a.RotateConcentrationLevels();
    for (int l = 2; l <= 5; ++l) EXPECT_EQ(a.C(l, 2), rows[l - 1]);
    EXPECT_EQ(a.C(1, 2), rows[5]);
    EXPECT_EQ(a.CForm(3, 1, 2)[0], 2012);

    // release twice is harmless; the run's series go with the arrays
    st.Series.srComp.resize(4);
    st.Initialised = true;
    FreeEngineArrays(st);
    FreeEngineArrays(st);
    EXPECT_FALSE(a.Allocated() || st.Initialised);
    EXPECT_TRUE(a.Kappa.empty() && st.Series.srComp.empty());
    AllocEngineArrays(st);
    EXPECT_EQ(a.C(2, 1)[50], 0.0);  // a fresh allocation starts from zero
}

TEST(NodeConstants, DiffusionFromMobilityAndImmobileConstituents)
{
    RecordingMessageSink sink;
    RunState st;
    SetUpUniformGrid(st,
                     {MakeConstituent("acetic", -1, 0, {4.756, 0}, {42.4, 0}, 1),
                      MakeConstituent("sulfate", -2, 0, {1.9, -3, 0}, {82.9, 40, 0}, 1),
                      MakeConstituent("base", 0, 2, {0, 9.0, 4.0}, {0, 30, 50}, 1),
                      MakeConstituent("fixed", -1, 0, {5.0, 0}, {0, 0}, 1)},
                     6);
    EngineArrays& a = st.Arr;
    const int h = a.NComp + 1;
    // Nernst-Einstein D = u R T / (|z| F) at 298.15 K; a neutral form takes
    // the D of the neighbouring charged form
    const double rtf = 8.314 * 298.15 / 96485.0;
    EXPECT_NEAR(a.DForm(h, 1)[3], 9.313e-9, 1e-12);
    EXPECT_NEAR(a.DForm(h + 1, 0)[3], 5.280e-9, 1e-12);
    EXPECT_NEAR(a.DForm(2, 0)[3], 82.9e-9 * rtf / 2, 1e-22);
    EXPECT_DOUBLE_EQ(a.DForm(3, 0)[0], 30e-9 * rtf);
    EXPECT_TRUE(a.SkipComp[1] == 0 && a.SkipComp[4] == 1);
    a.UForm(4, 0)[6] = 2e-15;
    SetSkipComp(st);
    EXPECT_EQ(a.SkipComp[4], 0);
    // the diffusion multiplier applies only with RedDiff
    st.DiffMultiplier = 0.5;
    st.RedDiff = true;
    SetNodeConstants(st);
    EXPECT_NEAR(a.DForm(h, 1)[3], 0.5 * 9.313e-9, 1e-12);
    EXPECT_TRUE(sink.warnings.empty());
}
