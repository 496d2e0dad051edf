// An engine host, event listener and sequence recorder for tests: records
// every call and event and lets a test react to the message pump (stop after k
// steps, change dt, ...). Attach(st) links it to a run state; a host that
// does not outlive the state is detached before it goes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/host/engine_events.h"
#include "engine/host/engine_host.h"
#include "engine/host/psq_recorder.h"

class RunState;

class RecordingHost : public EngineHost, public EngineListener, public PsqRecorder {
public:
    RecordingHost() = default;
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;
    // Becomes the host, a listener and the recorder of `st` (leaving a state
    // it was attached to before).
    void Attach(RunState& st);
    void Detach();

    void ProcessMessages() override;
    void SetStatusText(const std::string& text) override;
    double NowDays() override;
    void OnEngineEvent(const EngineEvent& event) override;
    void AppendPsqFrame(const std::string& file) override;
    void ResetPsqFile(const std::string& file) override;
    long long FileSizeByName(const std::string& file) override;

    // Called by ProcessMessages with the number of pump passes so far (1-based).
    std::function<void(int)> onProcessMessages;
    std::function<void(const std::string&)> onAppendPsqFrame;  // may throw
    // Fake clock (days) returned by NowDays; advanced by clockStep per call.
    double clockDays = 45000.0;
    double clockStep = 0.0;
    long long fileSize = -1;  // FileSizeByName result

    int processMessagesCount = 0;
    int redrawCount = 0;
    int mainInfoCount = 0;
    int detectorLineCount = 0;
    int additionalInfoCount = 0;
    int micellarRefreshCount = 0;
    int runSetupSettingsCount = 0;
    int optionSettingsCount = 0;
    int arraysFreedCount = 0;
    std::vector<std::string> statusTexts;
    std::vector<std::pair<int, int>> windowLines;
    std::vector<bool> detectorSamples;
    std::vector<std::vector<std::string>> messageWindows;
    std::vector<bool> geometryEditsEnabled;
    std::vector<bool> diffusionModes;
    std::vector<std::pair<int, int>> newtonIterations;
    std::vector<std::string> psqFrames;
    std::vector<std::string> psqResets;
    int setupGraphCount = 0;
    std::vector<EngineEventKind> events;  // every event in order

private:
    RunState* st_ = nullptr;
};
