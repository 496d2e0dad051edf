// "Store Window Positions" where no window gets a frame (a display without a
// window manager): the places stored are the client areas, and they come back
// unchanged start after start.
#include "offscreen_screen.h"
#include "qt_test_env.h"
#include "stored_places.h"

namespace {

const bool kFrameless = UseOffscreenScreen(800, 600, false);

}  // namespace

TEST(FramelessPlaces, StoredPlacesComeBackTheSameRoundAfterRound)
{
    ASSERT_TRUE(kFrameless);
    {
        ProgramHome home;
        RecordingMessageSink sink;
        MainWindow w;
        w.show();
        ASSERT_EQ(w.frameGeometry(), w.geometry());  // no frame on this display
    }
    ExpectStoredPlacesComeBackRoundAfterRound();
}
