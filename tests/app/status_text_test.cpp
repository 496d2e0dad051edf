// Status texts of the main window and the set-up change flags.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(StatusText, ElapsedTimeTexts)
{
    EXPECT_EQ(FormatElapsed(0), "");
    EXPECT_EQ(FormatElapsed(-5), "");
    EXPECT_EQ(FormatElapsed(59), "(59 s)");
    EXPECT_EQ(FormatElapsed(61), "(1 m, 1 s)");
    EXPECT_EQ(FormatElapsed(3725), "(1 h, 2 m, 5 s)");
    EXPECT_EQ(FormatElapsed(90061), "(1 d, 1 h, 1 m, 1 s)");
    EXPECT_EQ(FormatElapsed(86400), "(1 d, 0 h, 0 m, 0 s)");
    // Remaining times from a tiny or negative dt stay inside the int range.
    EXPECT_EQ(ClampSeconds(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(ClampSeconds(-1e300), 0);
    EXPECT_EQ(ClampSeconds(std::nan("")), 0);
    EXPECT_EQ(ClampSeconds(3725.9), 3725);
}

TEST(StatusText, SetupChanges)
{
    RunState st;
    CheckRunSetupChanged(st);
    EXPECT_FALSE(st.SetupChanged);
    st.PeakWidthPending = 3;
    st.NXPending = 500;
    CheckRunSetupChanged(st);
    EXPECT_TRUE(st.SetupChanged);
    EXPECT_TRUE(st.SetupItemChanged[0]);
    EXPECT_TRUE(st.SetupItemChanged[1]);
    EXPECT_FALSE(st.SetupItemChanged[4]);
    st.PeakWidthPending = st.PeakWidth;
    st.NXPending = st.NX;
    CheckRunSetupChanged(st);
    EXPECT_FALSE(st.SetupChanged);
    EXPECT_FALSE(st.SetupItemChanged[0]);
}


TEST(StatusText, PlayerSwitchesAfterASequenceFile)
{
    PlayerStartOptions o = ParsePlayerSwitches({"run.psq", "/5", "/2", "/0.5"});
    EXPECT_EQ(o.RequestedFrame, 5);
    EXPECT_EQ(o.FrameStep, 2);
    EXPECT_DOUBLE_EQ(o.Delay, 0.5);
    EXPECT_FALSE(o.TooMany);

    o = ParsePlayerSwitches({"run.psq", "5", "/2"});  // no switch first: both ignored
    EXPECT_EQ(o.RequestedFrame, 0);
    EXPECT_EQ(o.FrameStep, 0);

    o = ParsePlayerSwitches({"run.psq", "-3", "x", "/1"});  // a non-switch ends the list
    EXPECT_EQ(o.RequestedFrame, 3);
    EXPECT_EQ(o.FrameStep, 0);
    EXPECT_LT(o.Delay, 0);

    o = ParsePlayerSwitches({"run.psq", "/0", "/-2", "/-1", "/9"});  // out of range values are not taken
    EXPECT_TRUE(o.TooMany);
    EXPECT_EQ(o.RequestedFrame, 0);
    EXPECT_EQ(o.FrameStep, 0);
    EXPECT_LT(o.Delay, 0);
}
