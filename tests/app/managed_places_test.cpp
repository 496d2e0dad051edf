// "Store Window Positions" on a real X server whose window manager frames the
// windows (Xvfb and openbox, started by this test program for itself): the
// places stored are the frames, and each start sets the same frames again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// An X server on a display number it chooses itself, and a window manager on
// it; both end with this program. `error` says why they could not be had.
class ManagedDisplay : public ::testing::Environment {
public:
    std::string error;
    std::string display;

    void SetUp() override
    {
        error = Start();
        if (!error.empty()) return;  // the windows stay offscreen; the test fails with `error`
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("DISPLAY", display.c_str(), 1);
        // No session bus on this display: Qt does not look for one (nor start one through X).
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    }
    void TearDown() override
    {
        // Torn down after the application (environments end in reverse order).
        Stop(wm_);
        Stop(server_);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

private:
    static bool Installed(const std::string& program)
    {
        const char* path = std::getenv("PATH");
        std::stringstream dirs(path ? path : "/usr/bin:/bin");
        for (std::string d; std::getline(dirs, d, ':');)
            if (!d.empty() && access((d + "/" + program).c_str(), X_OK) == 0) return true;
        return false;
    }

    // Starts `args` with its output in `log`; the child ends when this program does.
    static pid_t Spawn(const std::vector<std::string>& args, const std::string& log,
                       const std::vector<std::pair<std::string, std::string>>& env, int keepFd)
    {
        const pid_t pid = fork();
        if (pid != 0) return pid;
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keepFd) close(fd);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }

    static void Stop(pid_t& pid)
    {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = 0;
    }

    // Polls `ready` every 20 ms for at most `seconds`.
    template <class Ready>
    static bool WaitFor(Ready ready, int seconds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!ready()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::string Log(const char* name) const
    {
        std::ifstream in(dir_ / name);
        std::stringstream text;
        text << in.rdbuf();
        return " (its output: \"" + text.str() + "\")";
    }

    std::string Start()
    {
        for (const char* program : {"Xvfb", "openbox"})
            if (!Installed(program))
                return std::string(program) +
                       " is not installed: this test needs an X server with a window manager "
                       "(scripts/setup.sh installs the packages xvfb and openbox)";
        dir_ =
            std::filesystem::temp_directory_path() / ("kelvo-managed-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        // The server picks a free display number and writes it to the pipe once it takes clients.
        int fds[2];
        if (pipe(fds) != 0) return "no pipe for the X server's display number";
        server_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                         "1280x1024x24", "-nolisten", "tcp"},
                        (dir_ / "xvfb.log").string(), {}, fds[1]);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (number.find('\n') == std::string::npos && poll(&p, 1, 30000) > 0) {
            char c[16];
            const ssize_t n = read(fds[0], c, sizeof c);
            if (n <= 0) break;
            number.append(c, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        if (number.find('\n') == std::string::npos)
            return "Xvfb gave no display number within 30 s" + Log("xvfb.log");
        display = ":" + number.substr(0, number.find('\n'));
        // The window manager runs a command once it manages the screen.
        const std::filesystem::path ready = dir_ / "wm-ready";
        wm_ = Spawn({"openbox", "--sm-disable", "--startup", "touch " + ready.string()},
                    (dir_ / "openbox.log").string(),
                    {{"DISPLAY", display}, {"XDG_CONFIG_HOME", dir_.string()}}, -1);
        bool gone = false;
        if (!WaitFor(
                [&] {
                    gone = waitpid(wm_, nullptr, WNOHANG) == wm_;
                    return gone || std::filesystem::exists(ready);
                },
                30)) {
            return "openbox did not manage the display " + display + " within 30 s" +
                   Log("openbox.log");
        }
        if (gone) {
            wm_ = 0;
            return "openbox ended at its start on " + display + Log("openbox.log");
        }
        return "";
    }

    std::filesystem::path dir_;
    pid_t server_ = 0, wm_ = 0;
};

// Defined before the window tests' application environment (whose header
// follows), so registered and set up before it: the application then opens
// on this display.
inline ManagedDisplay* const g_display =
    static_cast<ManagedDisplay*>(::testing::AddGlobalTestEnvironment(new ManagedDisplay));

}  // namespace

#include "qt_test_env.h"
#include "stored_places.h"

#include "app/shell/app_main.h"

// Start after start under the window manager, the main window and every
// stored tool window open where the last session left them, frame and title
// bar and all, and the settings file holds the same places round after round
// (no window creeps up or grows by its title bar).
TEST(ManagedPlaces, StoredPlacesComeBackTheSameRoundAfterRound)
{
    ASSERT_EQ(g_display->error, "");
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    std::array<Place, kStoredWindows> stored{};
    stored[kWinMain] = {100, 80, 785, 1102};
    for (int k = 1; k < kStoredWindows; ++k)
        stored[k] = {40 + 30 * k, 30 + 20 * k, 500 + 5 * k, 730 + 5 * k};
    PlacesDisplay managed;
    managed.start = [](MainWindow& w) {
        ShowMainWindow(w);  // as the program starts
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.State().Options.cbPositionINI; }, 10000));
    };
    // Waits (bounded, by polling) until the window manager has framed the
    // window and the frame stands at the place.
    managed.frame = [](const QWidget* window, const Place& place) {
        const bool framed = QTest::qWaitFor(
            [&] { return window->isVisible() && window->frameGeometry() != window->geometry(); },
            10000);
        EXPECT_TRUE(framed) << window->objectName().toStdString();
        (void)QTest::qWaitFor([&] { return FrameOf(window) == place; }, 10000);
        return FrameOf(window);
    };
    ExpectStoredPlacesComeBackRoundAfterRound(stored, 6, managed);
}
