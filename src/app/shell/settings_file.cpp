#include "app/shell/settings_file.h"

#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "app/windows/option_window.h"
#include "app/windows/run_setup_window.h"
#include "engine/state/run_state.h"
#include "files/ini_file.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <array>

namespace {

// The windows of this program among the stored ones, in the file's order
// (a window that does not exist is null).
std::array<QWidget*, kStoredWindows> StoredWindows(MainWindow& main, QWidget* runSetup,
                                                   QWidget* option)
{
    std::array<QWidget*, kStoredWindows> w{};
    w[kWinMain] = &main;
    w[kWinRunSetup] = runSetup;
    w[kWinOption] = option;
    w[kWinPsqPlayer] = main.findChild<QWidget*>("fmPSQ");
    w[kWinConstituent] = main.findChild<QWidget*>("fmAdd");
    w[kWinMicellar] = main.findChild<QWidget*>("fmSDS");
    w[kWinDistribution] = main.findChild<QWidget*>("fmDist");
    return w;
}

// Marks a window once it has been shown: only a shown window has a place of
// its own worth storing (one never shown would give 0, 0 and Qt's default size).
class ShownMark : public QObject {
public:
    explicit ShownMark(QWidget* window) : QObject(window) { window->installEventFilter(this); }
    static bool Shown(const QWidget* window)
    {
        return window->isVisible() || window->property(kProperty).toBool();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) watched->setProperty(kProperty, true);
        return QObject::eventFilter(watched, event);
    }

private:
    static constexpr const char* kProperty = "shownOnce";
};

// Frame place and size as stored: the client area is the frame less the
// window's border and title bar. Before the window is framed the client takes
// the whole (without a window manager the window never gets a frame, and
// what is stored is its client area).
void ApplyPlace(QWidget* w, const WindowPlace& p)
{
    const QSize extra = FrameKnown(*w) ? w->frameGeometry().size() - w->size() : QSize(0, 0);
    int width = p.Width - extra.width(), height = p.Height - extra.height();
    int left = p.Left, top = p.Top;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        width = std::min(width, area.width() - extra.width());
        height = std::min(height, area.height() - extra.height());
        left = std::clamp(left, area.left(),
                          std::max(area.left(), area.right() + 1 - width - extra.width()));
        top = std::clamp(top, area.top(),
                         std::max(area.top(), area.bottom() + 1 - height - extra.height()));
    }
    w->resize(std::max(width, w->minimumWidth()), std::max(height, w->minimumHeight()));
    w->move(left, top);
}

// A window placed before it was framed takes its place again once its frame
// is known: the stored frame, not the estimated one. A window already shown
// but not yet mapped by the window manager (which maps a window once it has
// framed it) is placed only then, at its exposure: placing it at once and
// again when framed would leave two requests in flight, and the window
// manager may end on the first. The frame may also leave the client area
// where it was, with no move or resize, so the native window's exposure is
// watched as well as the window's show, move and resize.
class PlaceWhenFramed : public QObject {
public:
    PlaceWhenFramed(QWidget* window, const WindowPlace& place, bool unplaced)
        : QObject(window), window_(window), place_(place), unplaced_(unplaced)
    {
        setObjectName(kName);
        window->installEventFilter(this);
        WatchNativeWindow();
    }
    static constexpr const char* kName = "placeWhenFramed";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type t = event->type();
        if (watched == window_ && t == QEvent::Show) WatchNativeWindow();
        const bool mayBeFramed = (watched == window_ && (t == QEvent::Show || t == QEvent::Move ||
                                                         t == QEvent::Resize)) ||
                                 (watched == native_ && t == QEvent::Expose);
        if (mayBeFramed && window_->isVisible()) {
            if (FrameKnown(*window_)) {
                window_->removeEventFilter(this);
                if (native_) native_->removeEventFilter(this);
                ApplyPlace(window_, place_);
                deleteLater();
            } else if (unplaced_ && native_ && native_->isExposed()) {
                unplaced_ = false;  // mapped without a frame: no window manager frames it
                ApplyPlace(window_, place_);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // The native window exists from the window's first show on.
    void WatchNativeWindow()
    {
        QWindow* native = window_->windowHandle();
        if (!native || native == native_) return;
        if (native_) native_->removeEventFilter(this);
        native_ = native;
        native->installEventFilter(this);
    }

    QWidget* window_;
    QPointer<QWindow> native_;
    WindowPlace place_;
    bool unplaced_;
};

void Place(QWidget* w, const WindowPlace& p)
{
    if (!p.Known || p.Width <= 0 || p.Height <= 0) return;
    for (QObject* waiting :
         w->findChildren<QObject*>(PlaceWhenFramed::kName, Qt::FindDirectChildrenOnly))
        delete waiting;
    const Placing placing = PlacingFor(FrameKnown(*w), w->isVisible() && w->windowHandle(),
                                       w->windowHandle() && w->windowHandle()->isExposed());
    if (placing != Placing::WhenExposed) ApplyPlace(w, p);
    if (placing != Placing::Now) new PlaceWhenFramed(w, p, placing == Placing::WhenExposed);
}

// Where a window never shown opens by itself: where its constructor put it
// (the player), else at its own size centred over the main window; within the screen.
WindowPlace DefaultPlace(const QWidget* w, const QWidget& main)
{
    if (w->testAttribute(Qt::WA_Moved)) {
        const QRect f = w->frameGeometry();
        return {f.left(), f.top(), f.height(), f.width(), true};
    }
    const QSize size = w->sizeHint().expandedTo(w->minimumSize()).expandedTo(QSize(1, 1));
    QRect r(QPoint(0, 0), size);
    r.moveCenter(main.frameGeometry().center());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        r.setSize(r.size().boundedTo(area.size()));
        r.moveLeft(
            std::clamp(r.left(), area.left(), std::max(area.left(), area.right() + 1 - r.width())));
        r.moveTop(
            std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() + 1 - r.height())));
    }
    return {r.left(), r.top(), r.height(), r.width(), true};
}

}  // namespace

void InstallSettingsFile(MainWindow& main, RunSetupWindow* runSetup, OptionWindow* option)
{
    for (QWidget* window : StoredWindows(main, runSetup, option))
        if (window) new ShownMark(window);
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
            if (!windows[k]) continue;
            // A window never shown keeps the place read, or gets the one it
            // would open at (not 0, 0 and the size of a window never laid out).
            if (!ShownMark::Shown(windows[k])) {
                if (!st.Options.Places[k].Known) st.Options.Places[k] = DefaultPlace(windows[k], w);
                continue;
            }
            const QRect f = windows[k]->frameGeometry();
            st.Options.Places[k] = {f.left(), f.top(), f.height(), f.width(), true};
        }
        WriteIniFile(st, name);
    };
}
