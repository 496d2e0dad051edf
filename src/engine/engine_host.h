// Every outward call of the engine other than warnings, questions and plain
// messages (those go through ShowWarning / Confirm / ShowMessage of
// foundation/errors.h). The main window implements it; tests use a recording
// host. Every method has a neutral default, so new methods can be added
// without touching existing hosts.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // ---- message pump and status ------------------------------------------
    // Processes pending window messages once; may change Stop, DT, UI, Restart,
    // walls or switches of the run state.
    virtual void ProcessMessages() {}
    // Text of the status-bar panel ("Initializing ...", "Running ...", "Ready!").
    virtual void SetStatusText(const std::string& /*text*/) {}

    // ---- chart and windows --------------------------------------------------
    // Redraws the chart from level 2; must refresh the engine's drawn profile.
    virtual void RedrawGraph() {}
    // Rewrites the main window's values and status bar from the run state.
    virtual void UpdateMainInfo() {}
    // Titles, axes and shown series of the chart for the view of DetectorView
    // (Init calls it after rebuilding the run's series and check lists).
    virtual void SetupGraph() {}
    // Wall marker lines at the given node indices.
    virtual void DrawWindowLines(int /*leftWall*/, int /*rightWall*/) {}
    // Moves the detector marker.
    virtual void DrawDetectorLine() {}
    // After a detector sample (pointAdded: a point was appended to the record).
    virtual void OnDetectorSampled(bool /*pointAdded*/) {}
    // Refresh of the additional-information window.
    virtual void ShowAdditionalInfo() {}
    // The message window with these lines, shown without waiting.
    virtual void ShowMessageWindow(const std::vector<std::string>& /*lines*/) {}
    // Enables or disables the geometry edits of the run-setup window.
    virtual void SetRunSetupGeometryEditsEnabled(bool /*enabled*/) {}
    // Diffusion (conditioning) mode switched: button and time label.
    virtual void OnDiffusionModeChanged(bool /*on*/) {}
    // Refresh of the micellar window at the end of a run.
    virtual void RefreshMicellarWindow() {}
    // Refresh of the run-setup and options windows after Init.
    virtual void ShowRunSetupSettings() {}
    virtual void ShowOptionSettings() {}
    // Newton iteration count of one node (only while the profile is wanted).
    virtual void OnNewtonIterations(int /*node*/, int /*iterations*/) {}
    // The engine arrays were released (chart series of the run go with them).
    virtual void OnEngineArraysFreed(bool /*destroying*/) {}

    // ---- profile sequence ---------------------------------------------------
    // Appends one frame of the current state; throws Exception on failure.
    virtual void AppendPsqFrame(const std::string& /*file*/) {}
    // Recreates the temporary sequence file empty.
    virtual void ResetPsqFile(const std::string& /*file*/) {}
    // Size of a file in bytes, -1 when it does not exist.
    virtual long long FileSizeByName(const std::string& /*file*/) { return -1; }

    // ---- clock --------------------------------------------------------------
    // Current date and time in days (real clock by default).
    virtual double NowDays() {
        using namespace std::chrono;
        const double secs =
            duration<double>(system_clock::now().time_since_epoch()).count();
        return 25569.0 + secs / 86400.0;  // days since 1899-12-30
    }
};

// The host used when the run state has none.
class NullEngineHost : public EngineHost {};
