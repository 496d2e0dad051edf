// Status texts of the main window, the set-up change flags and the player switches.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(StatusText, ElapsedTimeTexts)
{
    const std::pair<int, std::string> cases[] = {{0, ""}, {-5, ""}, {59, "(59 s)"}, {61, "(1 m, 1 s)"},
                                                 {3725, "(1 h, 2 m, 5 s)"}, {90061, "(1 d, 1 h, 1 m, 1 s)"},
                                                 {86400, "(1 d, 0 h, 0 m, 0 s)"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(FormatElapsed(seconds), text) << seconds;
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
    EXPECT_TRUE(st.SetupChanged && st.SetupItemChanged[0] && st.SetupItemChanged[1] && !st.SetupItemChanged[4]);
    st.PeakWidthPending = st.PeakWidth;
    st.NXPending = st.NX;
    CheckRunSetupChanged(st);
    EXPECT_FALSE(st.SetupChanged || st.SetupItemChanged[0]);
}

TEST(StatusText, PlayerSwitchesAfterASequenceFile)
{
    struct Case {
        QStringList args;
        int frame, step;
        double delay;   // -1: not given
        bool tooMany;
    };
    const Case cases[] = {
        {{"run.psq", "/5", "/2", "/0.5"}, 5, 2, 0.5, false},
        {{"run.psq", "5", "/2"}, 0, 0, -1, false},               // no switch first: both ignored
        {{"run.psq", "-3", "x", "/1"}, 3, 0, -1, false},         // a non-switch ends the list
        {{"run.psq", "/0", "/-2", "/-1", "/9"}, 0, 0, -1, true}, // out of range values are not taken
    };
    for (const Case& c : cases) {
        const PlayerStartOptions o = ParsePlayerSwitches(c.args);
        EXPECT_EQ(std::tuple(o.RequestedFrame, o.FrameStep, o.TooMany), std::tuple(c.frame, c.step, c.tooMany)) << c.args[1].toStdString();
        if (c.delay < 0) EXPECT_LT(o.Delay, 0);
        else EXPECT_DOUBLE_EQ(o.Delay, c.delay);
    }
}
