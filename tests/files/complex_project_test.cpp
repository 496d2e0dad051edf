// A complexation project without any window: its table is read and written by
// the project file itself, so the project opens and runs headless as the
// benchmark runner does.
#include <gtest/gtest.h>

#include <string>

#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "files/complex_file.h"
#include "files/file_hooks.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/bench_cases.h"
#include "support/run_profiles.h"
#include "support/temp_dir.h"

namespace {

using namespace testcomp;

constexpr double kLigand = 10.0;  // mM

// The file layer as a program without windows has it: no routine installed.
struct NoWindowHooks {
    FileHooks saved = FileLayerHooks();
    NoWindowHooks() { FileLayerHooks() = FileHooks{}; }
    ~NoWindowHooks() { FileLayerHooks() = saved; }
};

// A complexation project of the two binding zones, saved after Init.
std::string SaveZoneProject(TempDir& dir, const std::string& base) {
    RunState st;
    PrepareComplexZoneRun(st, kLigand);
    st.StopTime = 10.0;
    st.DT = 1e-3;
    EXPECT_TRUE(InitCalc(st));
    const std::string name = dir.file(base + ".sna");
    EXPECT_TRUE(SaveSnaFile(st, name));
    return name;
}

TEST(ComplexProject, OpensAndRunsHeadlessWithTheZoneMobilitiesOfTheBindingIsotherm) {
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "zones");
    RunState made;
    PrepareComplexZoneRun(made, kLigand);
    EXPECT_EQ(ReadComplexTableFile(dir.file("zones.txt")), made.TxtTable);

    // Opened as the benchmark runner opens it, and run to the project's stop time.
    RunState st;
    ASSERT_TRUE(OpenProject(st, name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_TRUE(st.cbComplex && st.ComplexReady && st.Initialised);
    EXPECT_EQ(st.TxtTable, made.TxtTable);
    const ProfileMoments k0 = Moments(st, 4), a0 = Moments(st, 5);
    benchcases::RunTimed(st, st.StopTime);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 9.9);
    const double field = st.UI / st.CapLength;
    for (const BindingZone& z : ComplexZones()) {
        const ProfileMoments before = z.constituent == 4 ? k0 : a0, after = Moments(st, z.constituent);
        const double u = (after.mean - before.mean) / st.Time / field;
        const double expected = IsothermMobility(z, kLigand);
        EXPECT_NEAR(u, expected, 0.01 * std::abs(expected)) << z.constituent;
        EXPECT_NEAR(after.amount, before.amount, 1e-4 * before.amount);
    }
}

}  // namespace
