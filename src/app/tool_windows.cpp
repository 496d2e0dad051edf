#include "app/tool_windows.h"

#include "app/state_binder.h"

#include <QAction>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

QMenu* ToolsMenu(QMainWindow& main)
{
    for (QAction* entry : main.menuBar()->actions())
        if (entry->menu() && entry->text().remove('&') == "Tools") return entry->menu();
    QMenu* tools = main.menuBar()->addMenu("&Tools");
    tools->setObjectName("Tools1");
    return tools;
}

QAction* AddWindowEntry(QWidget& menu, const QString& caption, const char* name, QWidget* window,
                        std::function<void()> open)
{
    QAction* entry = menu.addAction(caption);
    entry->setObjectName(name);
    if (!open) open = [window] {
        window->show();
        window->raise();
    };
    ConnectGuarded(entry, &QAction::triggered, window, std::move(open));
    return entry;
}

void PlaceAtTopRight(QWidget& window)
{
    window.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.right() - window.frameGeometry().width() + 1, area.top());
    }
}
