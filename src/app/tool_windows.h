// What the tool windows share: the main window's Tools menu, the menu entry
// that opens a window and their place on the screen.
#pragma once

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QString;
class QWidget;

// The menu bar's "Tools" menu, created at the end of the menu bar when absent.
QMenu* ToolsMenu(QMainWindow& main);

// Adds the entry `caption` (object name `name`) to `menu` (a menu or the menu
// bar). Choosing it runs `open` under Guarded; without `open` it shows and
// raises `window`. The connection lives as long as `window`.
QAction* AddWindowEntry(QWidget& menu, const QString& caption, const char* name, QWidget* window,
                        std::function<void()> open = {});

// Moves a window to the top of the screen against its right edge.
void PlaceAtTopRight(QWidget& window);
