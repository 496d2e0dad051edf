// What the tool windows share: the main window's Tools menu and their place
// on the screen.
#pragma once

class QMainWindow;
class QMenu;
class QWidget;

// The menu bar's "Tools" menu, created at the end of the menu bar when absent.
QMenu* ToolsMenu(QMainWindow& main);

// Moves a window to the top of the screen against its right edge.
void PlaceAtTopRight(QWidget& window);
