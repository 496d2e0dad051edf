#include "recording_host.h"

#include "engine/state/run_state.h"

void RecordingHost::Attach(RunState& st)
{
    Detach();
    st_ = &st;
    st.Host = this;
    st.Recorder = this;
    st.Events.Add(this);
}

void RecordingHost::Detach()
{
    if (!st_) return;
    if (st_->Host == this) st_->Host = nullptr;
    if (st_->Recorder == this) st_->Recorder = nullptr;
    st_->Events.Remove(this);
    st_ = nullptr;
}

void RecordingHost::ProcessMessages()
{
    ++processMessagesCount;
    if (onProcessMessages) onProcessMessages(processMessagesCount);
}
void RecordingHost::SetStatusText(const std::string& text)
{
    statusTexts.push_back(text);
}

void RecordingHost::OnEngineEvent(const EngineEvent& e)
{
    events.push_back(e.kind);
    switch (e.kind) {
    case EngineEventKind::RedrawGraph: ++redrawCount; break;
    case EngineEventKind::UpdateMainInfo: ++mainInfoCount; break;
    case EngineEventKind::SetupGraph: ++setupGraphCount; break;
    case EngineEventKind::DrawWindowLines: windowLines.emplace_back(e.first, e.second); break;
    case EngineEventKind::DrawDetectorLine: ++detectorLineCount; break;
    case EngineEventKind::DetectorSampled: detectorSamples.push_back(e.flag); break;
    case EngineEventKind::ShowAdditionalInfo: ++additionalInfoCount; break;
    case EngineEventKind::ShowMessageWindow: messageWindows.push_back(e.lines); break;
    case EngineEventKind::GeometryEditsEnabled: geometryEditsEnabled.push_back(e.flag); break;
    case EngineEventKind::DiffusionModeChanged: diffusionModes.push_back(e.flag); break;
    case EngineEventKind::RefreshMicellar: ++micellarRefreshCount; break;
    case EngineEventKind::ShowRunSetupSettings: ++runSetupSettingsCount; break;
    case EngineEventKind::ShowOptionSettings: ++optionSettingsCount; break;
    case EngineEventKind::NewtonIterations: newtonIterations.emplace_back(e.first, e.second); break;
    case EngineEventKind::EngineArraysFreed: ++arraysFreedCount; break;
    }
}

void RecordingHost::AppendPsqFrame(const std::string& file)
{
    if (onAppendPsqFrame) onAppendPsqFrame(file);
    psqFrames.push_back(file);
}
void RecordingHost::ResetPsqFile(const std::string& file)
{
    psqResets.push_back(file);
}
long long RecordingHost::FileSizeByName(const std::string&)
{
    return fileSize;
}
double RecordingHost::NowDays()
{
    const double now = clockDays;
    clockDays += clockStep;
    return now;
}
