#include "app/kit/paced_refresh.h"

#include <QTimer>

void PacedRefresh::Request(bool running)
{
    if (!running) {
        pending_ = false;
        show_();
        return;
    }
    const qint64 since = shown_.isValid() ? shown_.elapsed() : periodMs_;
    if (since < periodMs_) {
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(static_cast<int>(periodMs_ - since), owner_, [this] {
            if (pending_) Show();
        });
        return;
    }
    Show();
}

void PacedRefresh::Show()
{
    pending_ = false;
    shown_.start();
    show_();
}
