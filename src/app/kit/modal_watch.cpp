#include "app/kit/modal_watch.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

ModalWatch::ModalWatch(std::function<void(const QWidget*)> changed) : changed_(std::move(changed))
{
    qApp->installEventFilter(this);
}

ModalWatch::~ModalWatch()
{
    qApp->removeEventFilter(this);
}

bool ModalWatch::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if ((t != QEvent::Show && t != QEvent::Hide) || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    const auto* window = static_cast<const QWidget*>(watched);
    if (!window->isWindow() || !window->isModal()) return QObject::eventFilter(watched, event);
    if (t == QEvent::Hide) {
        // A window that opened this one holds the loop again.
        window = nullptr;
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w != watched && w->isVisible() && w->isModal()) window = w;
    }
    changed_(window);
    return QObject::eventFilter(watched, event);
}
