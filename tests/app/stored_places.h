// The places of the seven windows the settings file stores, read from a
// file's bytes and written as an earlier session would have left them, and
// the round trip of "Store Window Positions" through several starts.
#pragma once

#include "qt_test_env.h"

#include "files/byte_builder.h"
#include "files/ini_file.h"
#include "support/recording_sink.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>

inline const char* const kStored[kStoredWindows] = {"fmMain", "fmRunSetup", "fmOption", "fmPSQ",
                                                    "fmAdd",  "fmSDS",      "fmDist"};

using Place = std::array<std::int32_t, 4>;  // Left, Top, Height, Width

// The 28 window integers of a settings file, read from its last bytes: they
// stand right before the trailer "EOF" and its zero byte.
inline std::array<Place, kStoredWindows> PlacesInFile(const std::string& name)
{
    const std::string bytes = ReadBytes(name);
    std::array<Place, kStoredWindows> places{};
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("EOF", 4));
    const std::size_t at = bytes.size() - 4 - 28 * 4;
    for (int k = 0; k < 28; ++k) {
        std::int32_t v = 0;
        std::memcpy(&v, bytes.data() + at + 4 * k, 4);
        places[k / 4][k % 4] = v;
    }
    return places;
}

inline Place FrameOf(const QWidget* w)
{
    const QRect f = w->frameGeometry();
    return {f.left(), f.top(), f.height(), f.width()};
}

// A settings file as an earlier session left it, with "Store Window Positions" as given.
inline void WriteSettings(const std::string& name, bool positions,
                          const std::array<Place, kStoredWindows>& places)
{
    RunState st;
    st.Options.cbPositionINI = positions;
    for (int k = 0; k < kStoredWindows; ++k)
        st.Options.Places[k] = {places[k][0], places[k][1], places[k][2], places[k][3], true};
    ASSERT_TRUE(WriteIniFile(st, name));
}

// The places of the smallest screen: the main window over the whole of it.
inline std::array<Place, kStoredWindows> SmallScreenPlaces()
{
    std::array<Place, kStoredWindows> stored{};
    stored[kWinMain] = {0, 0, 600, 800};
    for (int k = 1; k < kStoredWindows; ++k)
        stored[k] = {5 * k, 10 + 5 * k, 420 + 5 * k, 730 + 5 * k};
    return stored;
}

// How a display starts the main window, and the frame of a window once it
// stands at the place it was given (or once it is plain it never will).
struct PlacesDisplay {
    std::function<void(MainWindow&)> start = [](MainWindow& w) {
        w.show();
        w.FormActivate();
    };
    std::function<Place(const QWidget*, const Place&)> frame = [](const QWidget* w, const Place&) {
        return FrameOf(w);
    };
};

// Each start puts every stored window where the last session left it, frame
// and all, so that the file holds the same places round after round (no
// window creeps up or grows by its title bar).
inline void ExpectStoredPlacesComeBackRoundAfterRound(
    const std::array<Place, kStoredWindows>& stored = SmallScreenPlaces(), int rounds = 3,
    const PlacesDisplay& display = {})
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string ini = home.dir.file("KELVO 5.ini");
    WriteSettings(ini, true, stored);
    for (int round = 1; round <= rounds; ++round) {
        MainWindow w;
        display.start(w);
        for (int k = 1; k < kStoredWindows; ++k) Ctl<QWidget>(w, kStored[k])->show();
        QCoreApplication::processEvents();
        for (int k = 0; k < kStoredWindows; ++k) {
            QWidget* window = k == kWinMain ? &w : Ctl<QWidget>(w, kStored[k]);
            EXPECT_EQ(display.frame(window, stored[k]), stored[k])
                << "round " << round << " " << kStored[k];
        }
        for (int k = 1; k < kStoredWindows; ++k) Ctl<QWidget>(w, kStored[k])->hide();
        sink.answers = {true};
        ASSERT_TRUE(w.close());
        const auto written = PlacesInFile(ini);
        for (int k = 0; k < kStoredWindows; ++k)
            EXPECT_EQ(written[k], stored[k]) << "round " << round << " " << kStored[k];
    }
    EXPECT_TRUE(sink.warnings.empty());
}
