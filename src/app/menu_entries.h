// Menu entries that the main window adds for a tool window.
#pragma once

class QAction;
class QMainWindow;

// Adds `entry` to the menu bar's Tools menu when there is one, else to the
// window's own actions (where its shortcut still works).
void AddToolsEntry(QMainWindow& main, QAction* entry);
