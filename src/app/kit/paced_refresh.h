// A refresh that a run asks for far more often than a screen shows pictures:
// while the run goes it is shown at most once per period, and a request made
// within the period is shown once at its end (so the last state always shows);
// outside a run every request is shown at once.
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>

// The period of the run panels (the main window's, the additional information):
// as often as the chart repaints during a run.
inline constexpr int kRunPanelMs = 100;

class PacedRefresh {
public:
    // `owner` holds the timer of a waiting request (it dies with the owner).
    PacedRefresh(QObject* owner, int periodMs, std::function<void()> show)
        : owner_(owner), periodMs_(periodMs), show_(std::move(show))
    {
    }

    void Request(bool running);

private:
    void Show();

    QObject* owner_;
    int periodMs_;
    std::function<void()> show_;
    QElapsedTimer shown_;
    bool pending_ = false;
};
