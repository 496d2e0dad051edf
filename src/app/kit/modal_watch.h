// Watches the modal windows of the application while a run lasts.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QWidget;

// While it exists, tells `changed` the tool window that holds the
// application's event loop whenever a modal window is shown or hidden (null
// when none is left), and counts how long modal windows held the loop. A run
// steps only between the events its loop lets through: a modal window opened
// during the run holds it until the window closes.
class ModalWatch : public QObject {
public:
    // `clock` gives the time in days.
    ModalWatch(std::function<double()> clock, std::function<void(const QWidget*)> changed);
    ~ModalWatch() override;

    // Days during which a modal window (a tool window, a message box, a file
    // dialog) held the loop since the watch began, up to `now` for a hold
    // that goes on.
    double HeldDays(double now) const;

    // The program's tool windows are made by its own classes; a message box,
    // a file dialog or an input box of the toolkit is none.
    static bool IsToolWindow(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<double()> clock_;
    std::function<void(const QWidget*)> changed_;
    // The modal windows shown, the last shown last.
    std::vector<QPointer<QWidget>> shown_;
    double held_ = 0, heldSince_ = 0;
};
