// The capillary-effects window opened from the main window (its entry is
// hidden but still acts): it follows the run set-up when it becomes active
// again, and its grid takes Enter (refresh) and Esc (to Close).
#include "qt_test_env.h"

#include "app/windows/effects_window.h"
#include "app/windows/run_setup_window.h"
#include "engine/modes/effects/effects_table.h"

TEST_F(ExampleWindow, EffectsWindowFollowsTheSetupAtActivationAndTakesGridKeys)
{
    auto* effects = Ctl<EffectsWindow>(*w, "fmEffects");
    auto* setup = Ctl<RunSetupWindow>(*w, "fmRunSetup");
    auto* label = Ctl<QLabel>(*effects, "llCapLength");
    auto* grid = Ctl<QTableWidget>(*effects, "sgData");
    Trigger("CEEffects1");
    ShowActive(*effects);
    Click(*effects, "bnCreate");
    ASSERT_EQ(St().SegCount, 1);
    const QString before = label->text();

    // The pending length changes in the run set-up while the window is in the background.
    ShowActive(*w);
    Enter(*setup, "edCapLength", "50");
    ASSERT_EQ(St().CapLengthPending, 0.05);
    EXPECT_EQ(label->text(), before);
    ShowActive(*effects);
    EXPECT_EQ(label->text(), "Capillary Length = 50 mm");
    EXPECT_EQ(grid->item(0, 2)->text(), "50");

    // Enter in the grid refreshes; Esc hands the focus to Close.
    grid->setFocus(Qt::OtherFocusReason);
    St().CapLengthPending = 0.07;  // changed behind the window's back: only a refresh shows it
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(label->text(), "Capillary Length = 70 mm");
    EXPECT_EQ(grid->item(0, 2)->text(), "70");
    QTest::keyClick(grid, Qt::Key_Escape);
    EXPECT_TRUE(Ctl<QPushButton>(*effects, "bnClose")->hasFocus());
}
