#include "app/menu_entries.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

void AddToolsEntry(QMainWindow& main, QAction* entry)
{
    QMenu* tools = nullptr;
    for (QAction* item : main.menuBar()->actions())
        if (item->menu() && item->text().remove('&') == "Tools") tools = item->menu();
    if (tools)
        tools->addAction(entry);
    else
        main.addAction(entry);
}
