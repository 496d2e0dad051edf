// The additional-information window's counter texts and switches.
#include <gtest/gtest.h>

#include <tuple>

#include "engine/state/run_state.h"
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
    // No Newton maximum yet: the iterations of the last call.
    InfoTexts t = ShowInfoTexts(st);
    EXPECT_EQ(std::tuple(t.mainC, t.dx, t.newtC, t.globMN, t.globMNCaption, t.errDT, t.errDTCaption,
                         t.errMax),
              std::tuple("1234", "2.5e-2", "7", "1.2346", "Global Ratio", "1.235e-3",
                         "Der Error (1.0e-2)", "2.5e-11"));
    st.NewtonItMax = 12, st.ISCorrection = true, st.DX = 0.02;
    t = ShowInfoTexts(st);
    EXPECT_EQ(std::tuple(t.newtC, t.globMNCaption, t.dx),
              std::tuple("12", "Neut per iter", "20.000"));

    AdditionalState a;
    EXPECT_FALSE(AnyRegFnShown(a));  // the design state shows none
    EXPECT_TRUE(a.cbR6[1] && a.cbR6[5] && !a.cbR6[6]);
    a.cbRegFn[8] = true;
    EXPECT_TRUE(AnyRegFnShown(a));
}

}  // namespace
