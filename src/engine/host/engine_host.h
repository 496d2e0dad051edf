// What the engine needs answered while it runs: the message pump, the clock
// and the status text. Warnings, questions and plain messages go through
// ShowWarning / Confirm / ShowMessage of foundation/errors.h (one path); what
// the engine tells the windows goes out as events (engine_events.h); sequence
// recording has its own interface (psq_recorder.h). Every method is pure: a
// host that leaves one out does not compile.
#pragma once

#include <string>

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // Processes pending window messages once; may change Stop, DT, UI, Restart,
    // walls or switches of the run state.
    virtual void ProcessMessages() = 0;
    // Text of the status-bar panel ("Initializing ...", "Running ...", "Ready!").
    virtual void SetStatusText(const std::string& text) = 0;
    // Current date and time in days since 1899-12-30.
    virtual double NowDays() = 0;
};

// The real clock in days since 1899-12-30.
double SystemNowDays();

// The host used when the run state has none: no pump, no status, real clock.
class NullEngineHost final : public EngineHost {
public:
    void ProcessMessages() override {}
    void SetStatusText(const std::string&) override {}
    double NowDays() override { return SystemNowDays(); }
};
