#include "recording_host.h"

void RecordingHost::ProcessMessages() {
    ++processMessagesCount;
    if (onProcessMessages) onProcessMessages(processMessagesCount);
}
void RecordingHost::SetStatusText(const std::string& text) { statusTexts.push_back(text); }
void RecordingHost::RedrawGraph() { ++redrawCount; }
void RecordingHost::UpdateMainInfo() { ++mainInfoCount; }
void RecordingHost::DrawWindowLines(int l, int r) { windowLines.emplace_back(l, r); }
void RecordingHost::DrawDetectorLine() { ++detectorLineCount; }
void RecordingHost::OnDetectorSampled(bool added) { detectorSamples.push_back(added); }
void RecordingHost::ShowAdditionalInfo() { ++additionalInfoCount; }
void RecordingHost::ShowMessageWindow(const std::vector<std::string>& lines) {
    messageWindows.push_back(lines);
}
void RecordingHost::SetRunSetupGeometryEditsEnabled(bool e) { geometryEditsEnabled.push_back(e); }
void RecordingHost::OnDiffusionModeChanged(bool on) { diffusionModes.push_back(on); }
void RecordingHost::RefreshMicellarWindow() { ++micellarRefreshCount; }
void RecordingHost::ShowRunSetupSettings() { ++runSetupSettingsCount; }
void RecordingHost::ShowOptionSettings() { ++optionSettingsCount; }
void RecordingHost::OnNewtonIterations(int node, int n) { newtonIterations.emplace_back(node, n); }
void RecordingHost::OnEngineArraysFreed(bool) { ++arraysFreedCount; }
void RecordingHost::AppendPsqFrame(const std::string& file) {
    if (onAppendPsqFrame) onAppendPsqFrame(file);
    psqFrames.push_back(file);
}
void RecordingHost::ResetPsqFile(const std::string& file) { psqResets.push_back(file); }
long long RecordingHost::FileSizeByName(const std::string&) { return fileSize; }
double RecordingHost::NowDays() {
    const double now = clockDays;
    clockDays += clockStep;
    return now;
}
