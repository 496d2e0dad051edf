// What the tool windows share: the main window's Tools menu, the menu entry
// that opens a window and their place on the screen.
#pragma once

#include <functional>

class QAction;
class QMainWindow;
class QLayout;
class QMenu;
class QRect;
class QScrollArea;
class QSize;
class QString;
class QWidget;

// The menu bar's "Tools" menu, created at the end of the menu bar when absent.
QMenu* ToolsMenu(QMainWindow& main);

// Adds the entry `caption` (object name `name`) to `menu` (a menu or the menu
// bar). Choosing it runs `open` under Guarded; without `open` it shows and
// raises `window`. The connection lives as long as `window`.
QAction* AddWindowEntry(QWidget& menu, const QString& caption, const char* name, QWidget* window,
                        std::function<void()> open = {});

// Border and title bar around a window's client area: known once the window
// manager framed the window (a frame that holds the client area), estimated
// before (a title bar of at least two text lines).
QSize FrameExtra(const QWidget& window);
bool FrameKnown(const QWidget& window);
// Whether a frame read around a client area is the window manager's frame.
bool FrameHoldsClient(const QRect& frame, const QRect& client);

// When a stored place is put on a window, by what the window manager did with
// it so far: at once when framed; at its exposure when shown but not yet
// mapped; else at once and again once framed.
enum class Placing { Now, WhenExposed, NowAndWhenFramed };
Placing PlacingFor(bool frameKnown, bool shown, bool exposed);

// Moves a window to the top of the screen against its right edge.
void PlaceAtTopRight(QWidget& window);

// Opens `window` at the top-left of the main window's client area (so that
// its title bar is on the screen) the first time it is shown, unless it was
// placed before (the settings file); always within the screen.
void OpenNearMainWindow(QWidget& window, const QWidget& main);

// Puts `content` into a scroll area, returned to take the place of the
// window's body above its row of buttons. Each time the window is shown it is
// sized to the whole content where the screen allows and never beyond the
// screen's free area: on a small screen the groups scroll while the buttons
// stay in view.
QScrollArea* ScrollingBody(QWidget& window, QLayout* content);
