#include "app/settings_file.h"

#include "app/main_window.h"
#include "app/option_window.h"
#include "app/run_setup_window.h"
#include "engine/run_state.h"
#include "files/ini_file.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <array>

namespace {

// The windows of this program among the stored ones, in the file's order.
std::array<QWidget*, kStoredWindows> StoredWindows(MainWindow& main, QWidget* runSetup, QWidget* option)
{
    std::array<QWidget*, kStoredWindows> w{};
    w[kWinMain] = &main;
    w[kWinRunSetup] = runSetup;
    w[kWinOption] = option;
    return w;
}

// Frame place and size; the client area is the frame less the window's border.
void Place(QWidget* w, const WindowPlace& p)
{
    if (!p.Known || p.Width <= 0 || p.Height <= 0) return;
    const QRect frame = w->frameGeometry(), client = w->geometry();
    int width = p.Width - (frame.width() - client.width());
    int height = p.Height - (frame.height() - client.height());
    int left = p.Left, top = p.Top;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        width = std::min(width, area.width());
        height = std::min(height, area.height());
        left = std::clamp(left, area.left(), std::max(area.left(), area.right() - width));
        top = std::clamp(top, area.top(), std::max(area.top(), area.bottom() - height));
    }
    w->move(left, top);
    w->resize(std::max(width, w->minimumWidth()), std::max(height, w->minimumHeight()));
}

} // namespace

void InstallSettingsFile(MainWindow& main, RunSetupWindow* runSetup, OptionWindow* option)
{
    main.SettingsReader = [runSetup, option](MainWindow& w, const std::string& name) {
        RunState& st = w.State();
        const bool read = ReadIniFile(st, name);
        if (read && st.Options.cbPositionINI) {
            const auto windows = StoredWindows(w, runSetup, option);
            for (int k = 0; k < kStoredWindows; ++k)
                if (windows[k]) Place(windows[k], st.Options.Places[k]);
        }
        if (runSetup) runSetup->ShowSettings();
        if (option) option->ShowSettings();
        w.ApplyLineWidth();
        w.SetupGraph();
        w.UpdateMainInfo();
    };
    main.SettingsWriter = [runSetup, option](MainWindow& w, const std::string& name) {
        RunState& st = w.State();
        const auto windows = StoredWindows(w, runSetup, option);
        for (int k = 0; k < kStoredWindows; ++k) {
            if (!windows[k]) continue;   // windows of other parts keep the places read
            const QRect f = windows[k]->frameGeometry();
            st.Options.Places[k] = {f.left(), f.top(), f.height(), f.width(), true};
        }
        WriteIniFile(st, name);
    };
}
