// An engine host for tests: records every call and lets a test react to the
// message pump (stop after k steps, change dt, ...).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/engine_host.h"

class RecordingHost : public EngineHost {
public:
    void ProcessMessages() override;
    void SetStatusText(const std::string& text) override;
    void RedrawGraph() override;
    void UpdateMainInfo() override;
    void DrawWindowLines(int leftWall, int rightWall) override;
    void DrawDetectorLine() override;
    void OnDetectorSampled(bool pointAdded) override;
    void ShowAdditionalInfo() override;
    void ShowMessageWindow(const std::vector<std::string>& lines) override;
    void SetRunSetupGeometryEditsEnabled(bool enabled) override;
    void OnDiffusionModeChanged(bool on) override;
    void RefreshMicellarWindow() override;
    void ShowRunSetupSettings() override;
    void ShowOptionSettings() override;
    void OnNewtonIterations(int node, int iterations) override;
    void OnEngineArraysFreed(bool destroying) override;
    void AppendPsqFrame(const std::string& file) override;
    void ResetPsqFile(const std::string& file) override;
    long long FileSizeByName(const std::string& file) override;
    double NowDays() override;

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
};
