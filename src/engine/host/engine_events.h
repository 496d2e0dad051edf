// What the engine tells the windows. The engine emits events; the application
// fans them out to whichever windows exist. The engine names no window.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

enum class EngineEventKind {
    RedrawGraph,           // redraw the chart from level 2 (refreshes the drawn profile)
    UpdateMainInfo,        // rewrite the main values and the status bar from the run state
    SetupGraph,            // titles, axes and shown series for the view of DetectorView
    DrawWindowLines,       // wall markers at nodes first (left) and second (right)
    DrawDetectorLine,      // move the detector marker
    DetectorSampled,       // a detector sample; flag: a point was appended
    ShowAdditionalInfo,    // refresh the additional information
    ShowMessageWindow,     // the message window with lines, shown without waiting
    GeometryEditsEnabled,  // flag: the geometry edits of the run set-up may be edited
    DiffusionModeChanged,  // flag: the diffusion (conditioning) mode is on
    RefreshMicellar,       // refresh the micellar settings at the end of a run
    ShowRunSetupSettings,  // refresh the run set-up after Init
    ShowOptionSettings,    // refresh the options after Init
    NewtonIterations,      // first: node, second: iterations (only while cbNewCnt)
    EngineArraysFreed,     // the engine arrays were released; flag: the program closes
};

// The kind's name; nullptr for a value that is no kind. The kinds are numbered
// 0, 1, ... without gaps, so counting up until nullptr visits every kind; a
// kind without its name here does not build (the switch has no default).
constexpr const char* EngineEventKindName(EngineEventKind kind)
{
    switch (kind) {
    case EngineEventKind::RedrawGraph: return "RedrawGraph";
    case EngineEventKind::UpdateMainInfo: return "UpdateMainInfo";
    case EngineEventKind::SetupGraph: return "SetupGraph";
    case EngineEventKind::DrawWindowLines: return "DrawWindowLines";
    case EngineEventKind::DrawDetectorLine: return "DrawDetectorLine";
    case EngineEventKind::DetectorSampled: return "DetectorSampled";
    case EngineEventKind::ShowAdditionalInfo: return "ShowAdditionalInfo";
    case EngineEventKind::ShowMessageWindow: return "ShowMessageWindow";
    case EngineEventKind::GeometryEditsEnabled: return "GeometryEditsEnabled";
    case EngineEventKind::DiffusionModeChanged: return "DiffusionModeChanged";
    case EngineEventKind::RefreshMicellar: return "RefreshMicellar";
    case EngineEventKind::ShowRunSetupSettings: return "ShowRunSetupSettings";
    case EngineEventKind::ShowOptionSettings: return "ShowOptionSettings";
    case EngineEventKind::NewtonIterations: return "NewtonIterations";
    case EngineEventKind::EngineArraysFreed: return "EngineArraysFreed";
    }
    return nullptr;
}

struct EngineEvent {
    EngineEventKind kind;
    int first = 0, second = 0;
    bool flag = false;
    std::vector<std::string> lines;

    EngineEvent(EngineEventKind k) : kind(k) {}  // an event without payload
    static EngineEvent Flag(EngineEventKind k, bool on)
    {
        EngineEvent e(k);
        e.flag = on;
        return e;
    }
    static EngineEvent Pair(EngineEventKind k, int first, int second)
    {
        EngineEvent e(k);
        e.first = first;
        e.second = second;
        return e;
    }
    static EngineEvent Lines(EngineEventKind k, std::vector<std::string> lines)
    {
        EngineEvent e(k);
        e.lines = std::move(lines);
        return e;
    }
};

class EngineListener {
public:
    virtual ~EngineListener() = default;
    virtual void OnEngineEvent(const EngineEvent& event) = 0;
};

// The listeners of one run state, called in the order they were added.
class EngineEvents {
public:
    void Add(EngineListener* listener)
    {
        if (listener &&
            std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
            listeners_.push_back(listener);
    }
    void Remove(EngineListener* listener)
    {
        listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener),
                         listeners_.end());
    }
    void Emit(const EngineEvent& event) const
    {
        // By index: a listener may add listeners while it is called.
        for (std::size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->OnEngineEvent(event);
    }

private:
    std::vector<EngineListener*> listeners_;
};
