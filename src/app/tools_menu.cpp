#include "app/tools_menu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

QMenu* ToolsMenu(QMainWindow& main)
{
    for (QAction* entry : main.menuBar()->actions())
        if (entry->menu() && entry->text().remove('&') == "Tools") return entry->menu();
    QMenu* tools = main.menuBar()->addMenu("&Tools");
    tools->setObjectName("Tools1");
    return tools;
}
