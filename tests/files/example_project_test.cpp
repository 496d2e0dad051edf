#include "files/example_project.h"

#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

// Centroid (mm) of a constituent's level-2 profile.
double Centroid(RunState& st, int i)
{
    double m0 = 0, m1 = 0;
    for (int n = 0; n <= st.NX; ++n) {
        const double x = n * st.CapLength / st.NX * 1000.0;
        m0 += st.Arr.C(2, i)[n];
        m1 += x * st.Arr.C(2, i)[n];
    }
    return m1 / m0;
}

// Field strength (V/m) seen by a constituent: E weighted by its profile.
double FieldSeen(RunState& st, int i)
{
    double m0 = 0, m1 = 0;
    for (int n = 0; n <= st.NX; ++n) {
        m0 += st.Arr.C(2, i)[n];
        m1 += std::fabs(st.Arr.E[n]) * st.Arr.C(2, i)[n];
    }
    return m1 / m0;
}

} // namespace

TEST(ExampleProject, OpensAndItsZonesMoveAtTheirMobilityTimesField)
{
    TempDir tmp;
    RecordingMessageSink sink;
    std::string error;
    ASSERT_TRUE(WriteExampleDemo(tmp.file("Example_Demo.sna"), error)) << error;
    RunState st;
    ASSERT_TRUE(OpenProject(st, tmp.file("Example_Demo.sna")));
    ASSERT_EQ(st.NComp, 5);
    EXPECT_EQ(st.NX, 500);
    EXPECT_EQ(st.StopTime, 60);
    EXPECT_EQ(st.Time, 0);
    EXPECT_EQ(st.CompInit[3].name, "Potassium");

    // Between 1 s and 2 s each strong cation moves at its mobility times the
    // field strength where it is (both taken from the run, the mobility from
    // the composition).
    st.StopTime = 1.0;
    RunCalc(st);
    const double t1 = st.Time, k1 = Centroid(st, 3), li1 = Centroid(st, 4);
    const double ek1 = FieldSeen(st, 3), eli1 = FieldSeen(st, 4);
    st.StopTime = 2.0;
    RunCalc(st);
    const double dt = st.Time - t1;
    ASSERT_GT(dt, 0.9);
    const double vk = (Centroid(st, 3) - k1) / 1000.0 / dt, vli = (Centroid(st, 4) - li1) / 1000.0 / dt;
    const double ek = 0.5 * (ek1 + FieldSeen(st, 3)), eli = 0.5 * (eli1 + FieldSeen(st, 4));
    EXPECT_NEAR(vk, 76.2e-9 * ek, 0.02 * vk);
    EXPECT_NEAR(vli, 40.1e-9 * eli, 0.02 * vli);
    EXPECT_TRUE(sink.warnings.empty());
}
