// The Tools menu of the main window's menu bar, created on first use.
#pragma once

class QMainWindow;
class QMenu;

QMenu* ToolsMenu(QMainWindow& main);
