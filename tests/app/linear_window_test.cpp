// The linear tool window: the hidden menu entry that opens it, its one
// button, and the value of the background-electrolyte record its handler shows.
#include "qt_test_env.h"

#include "app/windows/linear_window.h"
#include "support/recording_sink.h"

using namespace testcomp;

TEST(LinearWindow, HiddenEntryOpensItModallyAndProcessShowsTheComputedMobility)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow main;
    RunState& st = main.State();
    st.CompInit.Add(StrongCation("Sodium", kUNa, BGE, 10, 10));
    st.CompInit.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20, 20));
    st.CompInit.Add(StrongCation("Potassium", kUK, Analyte, 0, 1));
    st.ISCorrection = true;
    auto* entry = Ctl<QAction>(main, "Linear1");
    auto* window = Ctl<LinearWindow>(main, "fmLinear");
    bool shownModal = false;
    QTimer::singleShot(0, window, [&] {
        shownModal = window->isVisible() && window->isModal();
        EXPECT_TRUE(st.EIData.Empty());  // opening computes nothing
        window->bnProcessClick();
        QTest::mouseClick(window->bnClose, Qt::LeftButton);
    });
    entry->trigger();
    EXPECT_TRUE(shownModal && !window->isVisible());
    ASSERT_FALSE(st.EIData.Empty());
    // The +1 form of sodium (index ZMin + ZMax = 1), corrected for the ionic strength.
    const double u = st.EIData.FormMob[1][1];
    EXPECT_EQ(sink.messages, std::vector<std::string>{FloatToStr(u)});
    EXPECT_TRUE(u < kUNa && u > 0.9 * kUNa) << u;

    // A failed calculation shows its error and leaves the record empty.
    sink.Clear();
    st.CompInit[1].c = std::nan("");
    window->bnProcessClick();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"BGE calculation error"});
    EXPECT_TRUE(st.EIData.Empty());
}
