#include "app/kit/modal_watch.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>

ModalWatch::ModalWatch(std::function<double()> clock, std::function<void(const QWidget*)> changed)
    : clock_(std::move(clock)), changed_(std::move(changed))
{
    qApp->installEventFilter(this);
}

ModalWatch::~ModalWatch()
{
    qApp->removeEventFilter(this);
}

double ModalWatch::HeldDays(double now) const
{
    return shown_.empty() ? held_ : held_ + (now - heldSince_);
}

bool ModalWatch::IsToolWindow(const QWidget* window)
{
    // Every class of the toolkit is named with a leading 'Q'.
    return window && window->metaObject()->className()[0] != 'Q';
}

bool ModalWatch::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type t = event->type();
    if ((t != QEvent::Show && t != QEvent::Hide) || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow() || !window->isModal()) return QObject::eventFilter(watched, event);
    const bool wasHeld = !shown_.empty();
    shown_.erase(std::remove_if(shown_.begin(), shown_.end(),
                                [window](const QPointer<QWidget>& w) {
                                    return w.isNull() || w == window || !w->isVisible();
                                }),
                 shown_.end());
    if (t == QEvent::Show) shown_.push_back(window);
    if (wasHeld != !shown_.empty()) {
        const double now = clock_();
        if (wasHeld)
            held_ += now - heldSince_;
        else
            heldSince_ = now;
    }
    // The window named is the last tool window shown (a message box over it
    // leaves it holding the run).
    const QWidget* tool = nullptr;
    for (const QPointer<QWidget>& w : shown_)
        if (IsToolWindow(w)) tool = w;
    changed_(tool);
    return QObject::eventFilter(watched, event);
}
