#include "files/example_project.h"

#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"

#include <cmath>
#include <functional>
#include <tuple>
#include <gtest/gtest.h>

namespace {

// Mean of f over a constituent's level-2 profile.
double ProfileMean(RunState& st, int i, const std::function<double(int)>& f)
{
    double m0 = 0, m1 = 0;
    for (int n = 0; n <= st.NX; ++n) {
        m0 += st.Arr.C(2, i)[n];
        m1 += f(n) * st.Arr.C(2, i)[n];
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
    EXPECT_EQ(std::tuple(st.NX, st.StopTime, st.Time), std::tuple(500, 60.0, 0.0));
    EXPECT_EQ(st.CompInit[3].name, "Potassium");

    // Between 1 s and 2 s each strong cation (K+ 3, Li+ 4) moves at its mobility
    // times the field strength where it is.
    auto x = [&](int n) { return n * st.CapLength / st.NX; };
    auto e = [&](int n) { return std::fabs(st.Arr.E[n]); };
    double x1[5], e1[5];
    st.StopTime = 1.0;
    RunCalc(st);
    const double t1 = st.Time;
    for (int i : {3, 4}) x1[i] = ProfileMean(st, i, x), e1[i] = ProfileMean(st, i, e);
    st.StopTime = 2.0;
    RunCalc(st);
    ASSERT_GT(st.Time - t1, 0.9);
    for (auto [i, u] : {std::pair(3, 76.2e-9), std::pair(4, 40.1e-9)}) {
        const double v = (ProfileMean(st, i, x) - x1[i]) / (st.Time - t1);
        EXPECT_NEAR(v, u * 0.5 * (e1[i] + ProfileMean(st, i, e)), 0.02 * v) << i;
    }
    EXPECT_TRUE(sink.warnings.empty());
}
