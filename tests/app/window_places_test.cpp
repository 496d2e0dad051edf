// Where the windows open and what the settings file keeps of their places:
// all seven stored windows, windows never shown, and the windows that must
// fit the smallest screen the main window supports.
#include "offscreen_screen.h"
#include "qt_test_env.h"
#include "stored_places.h"

#include "app/kit/tool_windows.h"
#include "app/windows/option_window.h"
#include "app/windows/run_setup_window.h"
#include "files/byte_builder.h"
#include "files/ini_file.h"
#include "support/recording_sink.h"

#include <unistd.h>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

// The screen of this program is the smallest that the main window supports.
const bool kSmallScreen = UseOffscreenScreen(800, 600);

}  // namespace

TEST(WindowPlaces, AllSevenWindowsAreRestoredAndOnlyShownOnesStoreANewPlace)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string ini = home.dir.file("KELVO 5.ini");
    std::array<Place, kStoredWindows> stored{};
    for (int k = 0; k < kStoredWindows; ++k)
        stored[k] = {10 + 20 * k, 15 + 10 * k, 300 + 5 * k, 500 + 7 * k};
    WriteSettings(ini, true, stored);
    {
        MainWindow w;
        w.show();
        w.FormActivate();
        ASSERT_TRUE(w.State().Options.cbPositionINI);
        // Every stored window stands where the file put it.
        for (int k = 0; k < kStoredWindows; ++k) {
            const QWidget* window = k == kWinMain ? &w : Ctl<QWidget>(w, kStored[k]);
            EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(stored[k][0], stored[k][1]))
                << kStored[k];
        }
        // The player is opened and moved; the others are never shown.
        Ctl<QAction>(w, "PSQPlayer2")->trigger();
        auto* player = Ctl<QWidget>(w, "fmPSQ");
        ASSERT_TRUE(player->isVisible());
        player->move(123, 45);
        w.move(31, 17);
        const Place main = FrameOf(&w), moved = FrameOf(player);
        player->close();
        sink.answers = {true};
        ASSERT_TRUE(w.close());
        const auto written = PlacesInFile(ini);
        EXPECT_EQ(written[kWinMain], main);
        EXPECT_EQ(written[kWinPsqPlayer], moved);
        for (int k : {kWinRunSetup, kWinOption, kWinConstituent, kWinMicellar, kWinDistribution})
            EXPECT_EQ(written[k], stored[k]) << kStored[k];
    }

    // Positions not stored before: the option is switched on in this session.
    // The windows never shown store the place they would open at (the player
    // its own at the top right, the others their own size over the main
    // window), not the 0, 0 and default size of a window never laid out.
    WriteSettings(ini, false, stored);
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    std::array<Place, kStoredWindows> defaults{};
    {
        MainWindow w;
        w.show();
        w.FormActivate();
        auto* option = Ctl<OptionWindow>(w, "fmOption");
        for (int k = 1; k < kStoredWindows; ++k)
            EXPECT_NE(Ctl<QWidget>(w, kStored[k])->frameGeometry().topLeft(),
                      QPoint(stored[k][0], stored[k][1]))
                << kStored[k];
        Ctl<QCheckBox>(*option, "cbPositionINI")->click();
        ASSERT_TRUE(w.State().Options.cbPositionINI);
        const Place player = FrameOf(Ctl<QWidget>(w, "fmPSQ"));
        sink.answers = {true};
        ASSERT_TRUE(w.close());
        defaults = PlacesInFile(ini);
        EXPECT_EQ(defaults[kWinMain], FrameOf(&w));
        EXPECT_EQ(defaults[kWinPsqPlayer], player);
        EXPECT_EQ(player[1], free.top());
        for (int k = 1; k < kStoredWindows; ++k) {
            const QRect r(defaults[k][0], defaults[k][1], defaults[k][3], defaults[k][2]);
            EXPECT_TRUE(r.width() > 150 && r.height() > 60 && free.contains(r)) << kStored[k];
        }
    }
    // The next start opens them there.
    {
        MainWindow w;
        w.show();
        w.FormActivate();
        for (int k = 1; k < kStoredWindows; ++k)
            EXPECT_EQ(Ctl<QWidget>(w, kStored[k])->frameGeometry().topLeft(),
                      QPoint(defaults[k][0], defaults[k][1]))
                << kStored[k];
    }
    EXPECT_TRUE(sink.warnings.empty());
}

// The options and run-setup windows hold more than the 600 pixels of height of
// the smallest screen: opened over an 800 x 600 main window, the window, its
// Close button and every group (scrolled to) lie on the screen.
TEST(WindowPlaces, OptionsAndRunSetupFitTheSmallestScreen)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    w.resize(800, 600);
    w.show();
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(kSmallScreen);
    ASSERT_EQ(free.size(), QSize(800, 600));
    int inspected = 0;
    auto inspect = [&](const char* name) {
        QTimer::singleShot(0, [&, name] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            EXPECT_EQ(dialog->objectName(), name);
            EXPECT_TRUE(free.contains(dialog->frameGeometry())) << name;
            auto* close = Ctl<QPushButton>(*dialog, "bnClose");
            const QRect button(close->mapToGlobal(QPoint(0, 0)), close->size());
            EXPECT_TRUE(close->isVisible() && free.contains(button) &&
                        dialog->geometry().contains(button))
                << name;
            // Each group can be brought into view inside the window.
            auto* body = Ctl<QScrollArea>(*dialog, "sbBody");
            for (QGroupBox* group : dialog->findChildren<QGroupBox*>()) {
                if (!group->isVisibleTo(dialog)) continue;
                body->ensureWidgetVisible(group, 0, 0);
                const QRect g(group->mapToGlobal(QPoint(0, 0)),
                              QSize(group->width(), std::min(group->height(), 20)));
                EXPECT_TRUE(dialog->geometry().contains(g))
                    << name << " " << group->title().toStdString();
            }
            ++inspected;
            dialog->close();
        });
    };
    inspect("fmOption");
    Ctl<QAction>(w, "Option1")->trigger();
    inspect("fmRunSetup");
    Click(w, "spbRunSetup");
    EXPECT_EQ(inspected, 2);
}

// The detector tool and the initial-distribution tool open over the main
// window's client area, their title bars on the screen.
TEST(WindowPlaces, ToolWindowsOpenOverTheMainWindow)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    w.resize(700, 500);
    w.show();
    w.move(60, 40);
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    for (auto [entry, name] :
         {std::pair("Reduce1", "fmDet"), std::pair("InitialDistribution1", "fmDist")}) {
        Ctl<QAction>(w, entry)->trigger();
        auto* window = Ctl<QWidget>(w, name);
        ASSERT_TRUE(window->isVisible()) << name;
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(w.geometry().contains(frame.topLeft())) << name;
        EXPECT_TRUE(free.contains(frame)) << name;
        window->close();
    }
    EXPECT_TRUE(sink.warnings.empty());
}

// Over a main window near the screen's lower right corner the two tool windows
// still open wholly on the screen.
TEST(WindowPlaces, ToolWindowsOverAMainWindowAtTheCornerStayOnTheScreen)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    w.resize(700, 500);
    w.show();
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    w.move(free.right() - 260, free.bottom() - 200);
    for (auto [entry, name] :
         {std::pair("Reduce1", "fmDet"), std::pair("InitialDistribution1", "fmDist")}) {
        Ctl<QAction>(w, entry)->trigger();
        auto* window = Ctl<QWidget>(w, name);
        ASSERT_TRUE(window->isVisible()) << name;
        EXPECT_TRUE(free.contains(window->frameGeometry())) << name;
        window->close();
    }
    EXPECT_TRUE(sink.warnings.empty());
}

// "Store Window Positions": each start puts every stored window where the
// last session left it, frame and all, so that the file holds the same places
// round after round (no window creeps up or grows by its title bar).
TEST(WindowPlaces, StoredPlacesComeBackTheSameRoundAfterRound)
{
    ExpectStoredPlacesComeBackRoundAfterRound();
}

// The window manager's states of a window around its mapping, driven
// directly: a frame read while the manager takes the window over (negative
// margins, or a frame beside the client area) is no frame, and a window shown
// but not yet mapped takes its place once, at its exposure (the offscreen
// windows here know their frame from their first show on).
TEST(WindowPlaces, APlaceIsPutByWhatTheWindowManagerDidWithTheWindow)
{
    const QRect client(105, 110, 500, 400);
    EXPECT_TRUE(FrameHoldsClient(QRect(100, 80, 510, 435), client));
    EXPECT_FALSE(FrameHoldsClient(client, client));
    EXPECT_FALSE(FrameHoldsClient(QRect(110, 120, 490, 380), client));
    EXPECT_FALSE(FrameHoldsClient(QRect(100, 80, 500, 430), client));
    EXPECT_EQ(PlacingFor(true, true, true), Placing::Now);
    EXPECT_EQ(PlacingFor(true, true, false), Placing::Now);
    EXPECT_EQ(PlacingFor(false, true, false), Placing::WhenExposed);
    EXPECT_EQ(PlacingFor(false, false, false), Placing::NowAndWhenFramed);
    EXPECT_EQ(PlacingFor(false, true, true), Placing::NowAndWhenFramed);

    // A main window without a frame, placed by the settings read at its first
    // activation after its show and before its exposure: it moves only then.
    ProgramHome home;
    RecordingMessageSink sink;
    const auto stored = SmallScreenPlaces();
    WriteSettings(home.dir.file("KELVO 5.ini"), true, stored);
    MainWindow w;
    w.setWindowFlag(Qt::FramelessWindowHint);
    w.show();
    ASSERT_FALSE(w.windowHandle()->isExposed() || FrameKnown(w));
    const QRect shown = w.geometry();
    w.FormActivate();
    ASSERT_TRUE(w.State().Options.cbPositionINI);
    EXPECT_EQ(w.geometry(), shown);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.windowHandle()->isExposed(); }, 5000));
    EXPECT_EQ(FrameOf(&w), stored[kWinMain]);
    sink.answers = {true};
}

// A window never shown in a session keeps the place read from the settings
// file, also one that the screen of this session cannot hold (a second screen
// of an earlier session), where a window shown would have been moved.
TEST(WindowPlaces, AWindowNeverShownKeepsThePlaceRead)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string ini = home.dir.file("KELVO 5.ini");
    std::array<Place, kStoredWindows> stored{};
    stored[kWinMain] = {0, 0, 600, 800};
    for (int k = 1; k < kStoredWindows; ++k)
        stored[k] = {1900 + 10 * k, 1200 + 5 * k, 900 + k, 1300 + k};
    WriteSettings(ini, true, stored);
    {
        MainWindow w;
        w.show();
        w.FormActivate();
        sink.answers = {true};
        ASSERT_TRUE(w.close());
    }
    const auto written = PlacesInFile(ini);
    for (int k = 1; k < kStoredWindows; ++k) EXPECT_EQ(written[k], stored[k]) << kStored[k];
}

namespace {

// The visible controls of a window squeezed below what their texts need.
std::vector<std::string> Squeezed(const QWidget& window)
{
    std::vector<std::string> squeezed;
    for (QWidget* c : window.findChildren<QWidget*>()) {
        if (!c->isVisible() || c->window() != &window) continue;
        if (!qobject_cast<QLabel*>(c) && !qobject_cast<QAbstractButton*>(c) &&
            !qobject_cast<QLineEdit*>(c))
            continue;
        if (!qobject_cast<QLineEdit*>(c) && c->property("text").toString().isEmpty())
            continue;  // the small spin arrows beside the edits have no text to cut
        const QSize need = c->minimumSizeHint();
        if (c->width() < need.width() || c->height() < need.height())
            squeezed.push_back(c->objectName().toStdString() + " '" +
                               c->property("text").toString().toStdString() + "'");
    }
    return squeezed;
}

}  // namespace

// On the smallest screen the main window, maximised or at its least size,
// lies on the screen with its status bar (progress, AID, time), and none of
// its controls is squeezed below what its text needs.
TEST(WindowPlaces, TheMainWindowFitsTheSmallestScreen)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_EQ(free.size(), QSize(800, 600));
    for (const bool maximised : {true, false}) {
        MainWindow w;
        if (maximised) {
            w.showMaximized();
        } else {
            w.show();
            w.resize(w.minimumSize());
            w.move(free.topLeft());
        }
        w.FormActivate();  // the texts of the first start are shown
        QCoreApplication::processEvents();
        const std::string how = maximised ? "maximised" : "least size";
        EXPECT_TRUE(free.contains(w.frameGeometry())) << how;
        for (int i = 0; i < 5; ++i) {
            auto* panel = Ctl<QLabel>(w, ("sbPanel" + std::to_string(i)).c_str());
            const QRect r(panel->mapToGlobal(QPoint(0, 0)), panel->size());
            EXPECT_TRUE(panel->isVisible() && free.contains(r) && w.geometry().contains(r))
                << how << " panel " << i;
        }
        EXPECT_EQ(Squeezed(w), std::vector<std::string>{}) << how;
    }
}
