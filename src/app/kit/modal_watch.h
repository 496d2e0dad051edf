// Watches the modal windows of the application while a run lasts.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

// While it exists, tells `changed` the modal window that holds the
// application's event loop whenever one is shown or hidden (null when none is
// left). A run steps only between the events its loop lets through: a modal
// window opened during the run holds it until the window closes.
class ModalWatch : public QObject {
public:
    explicit ModalWatch(std::function<void(const QWidget*)> changed);
    ~ModalWatch() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QWidget*)> changed_;
};
