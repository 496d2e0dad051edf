// The additional-information window's counter texts and switches.
#include <gtest/gtest.h>

#include "engine/run_state.h"
#include "tools/additional_info.h"

namespace {

TEST(AdditionalInfo, CounterTextsAndSwitches)
{
    RunState st;
    st.StepCount = 1234;
    st.DX = 0.025 / 1000;  // 0.025 mm
    st.NewtonItMax = 0;
    st.NewtonItStep = 7;
    st.GlobalRatio = 1.23456;
    st.MaxCorrChange = 0.0012345;
    st.EpsCor = 0.01;
    st.MaxError = 2.5e-11;
    InfoTexts t = ShowInfoTexts(st);
    EXPECT_EQ(t.mainC, "1234");
    EXPECT_EQ(t.dx, "2.5e-2");
    EXPECT_EQ(t.newtC, "7");  // no maximum yet: the iterations of the last call
    EXPECT_EQ(t.globMN, "1.2346");
    EXPECT_EQ(t.globMNCaption, "Global Ratio");
    EXPECT_EQ(t.errDT, "1.235e-3");
    EXPECT_EQ(t.errDTCaption, "Der Error (1.0e-2)");
    EXPECT_EQ(t.errMax, "2.5e-11");
    st.NewtonItMax = 12;
    st.ISCorrection = true;
    st.DX = 0.02;
    t = ShowInfoTexts(st);
    EXPECT_EQ(t.newtC, "12");
    EXPECT_EQ(t.globMNCaption, "Neut per iter");
    EXPECT_EQ(t.dx, "20.000");

    AdditionalState a;
    EXPECT_FALSE(AnyRegFnShown(a));  // the design state shows none
    EXPECT_TRUE(a.cbR6[1] && a.cbR6[5] && !a.cbR6[6]);
    a.cbRegFn[8] = true;
    EXPECT_TRUE(AnyRegFnShown(a));
    EXPECT_STREQ(kRegFnCaptions[1], "Kohlrauch (|z|c/u) [1e9]");
    EXPECT_STREQ(kRegFnCaptions[4], "Reg 4 c*(|z|/u+z/uOH)[1e9]");
    EXPECT_STREQ(kR6Hints[5], "One Point Regulation");
}

}  // namespace
