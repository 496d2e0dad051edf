// The profile-sequence player: opens a sequence file, shows its frames one at
// a time in the run's chart data, plays them with a frame step and a delay,
// hands a shown frame back to the run (Use) and writes a reduced copy of a
// sequence without every p-th frame.
//
// The model holds the player's whole state; the window only binds controls to
// it: it sets the hooks, forwards every handler to the method of the same
// meaning and shows the refusals that the methods raise (exceptions) or have
// already warned about. A file is read and checked in full before the run state
// changes, so a damaged or foreign file leaves the live run as it was.
#pragma once

#include "files/psq.h"
#include "files/run_setup_block.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class RunState;

// One frame as it stands in the file, before it is put into the run state.
struct PsqFrame {
    // "1.0"
    RunSetupBlock Block;
    double RunStart = 0, SpentTime = 0;
    // "0.1" state part
    double Time = 0, DT = 0, StepError = 0, ErrOpt = 0, I = 0, U = 0, MaxError = 0, StopTime = 0;
    double MaxCorrChange = 0;
    std::int32_t LeftWall = 0, RightWall = 0;
    // both
    std::int32_t StepCount = 0, NewtonItTotal = 0;
    std::vector<double> PH, Kappa;      // N + 1 values
    std::vector<double> C;              // C x (N + 1): constituent 1 nodes 0..N, then 2, ...
    std::vector<double> H;              // "1.0": hydrogen-ion concentration, mM
    std::vector<double> Mic, MicBound;  // "1.0" with micelles
};

// Reads the frame that starts at `position` (checked reads: a frame cut short,
// with run values no edit would take or with a value that is not a finite
// number, negative counters, concentrations or a hydrogen-ion concentration
// the project reader would refuse, raises "Incorrect file.").
PsqFrame ReadPsqFrame(KFile& file, std::int64_t limit, std::int64_t position,
                      const PsqHeader& header);

// Frames that Reduce Size keeps (1-based, in order): every p-th is dropped.
std::vector<int> ReducedFrames(int frameCount, int period);

// Next frame of the play loop after `current` with `step` (> 0) of `count`
// frames: the last frame is always shown once. Returns false when the loop
// ends (the last frame was just shown).
bool NextPlayFrame(int& current, int step, int count);

class PsqPlayer {
public:
    explicit PsqPlayer(RunState& st);

    // ---- state -----------------------------------------------------------
    std::string FileName;
    int CurrentFrame = 1;
    int FrameCount = 1;
    std::int64_t HeaderSize = 0;
    int StartFrame = 1;
    std::int64_t FrameSize = 1;
    bool Busy = false;  // a file is being read
    bool FileOpened = false;
    bool KeepPlaying = false;
    bool SingleFrame = false;
    double Delay = 0.0;  // s between two frames
    int FrameStep = 1;
    std::string Version;
    bool Micelles = false;
    int RequestedFrame = 0;  // start frame requested from outside (command line)
    // Micelle rows of the last frame shown (files with micelles).
    std::vector<double> MicelleRow, MicelleBoundRow;

    // The engine arrays must be rebuilt from the opened file before a frame is
    // shown (set by every release of the arrays).
    bool ReloadNeeded() const;

    // ---- what the controls show -------------------------------------------------
    // Delay rounded to 10 digits, "0.####".
    std::string DelayText() const;
    // The scroll bar: range 1..ScrollMax(), enabled with a file holding frames.
    int ScrollMax() const { return FrameCount > 0 ? FrameCount : 1; }
    bool ScrollEnabled() const { return !FileName.empty() && FrameCount != 0; }

    // ---- hooks of the window -------------------------------------------------
    // Writes the state to the controls.
    std::function<void()> UpdateControls;
    // A frame was put into the run state (chart and status may show it).
    std::function<void(int frame)> FrameShown;

    // ---- commands --------------------------------------------------------------
    // Back to the closed player: frames 1, no file, flags clear, reload needed.
    void ResetPlayer();
    // Opens the file, rebuilds the engine when needed, shows frames from
    // StartFrame (one with SingleFrame, else to the end or to Stop). Raises
    // "PSQ file <name> not found.", "Error: Cannot Open File.", "Incorrect PSQ
    // file." (nothing in the run state changed) and the messages of the loaders.
    // Asks the guard of every rebuild of the run first (a run, an Init, a
    // preview of the initial-distribution tool), whether or not the file fits
    // the run: false when it refused, with nothing changed. The player stays
    // on the frame drawn last; a frame chosen while one is shown is shown next.
    bool PlayPsqFile(const std::string& name);
    // Open: plays the whole file from frame 1. False (with the warning) when it
    // does not exist; ignored while Busy. Raises as PlayPsqFile, after which no
    // file is open. A file that does not hold whole frames, at least one, is
    // refused with "Incorrect PSQ file.".
    // A complexation table beside the file (".txt") opens it in complexation
    // mode, otherwise the mode is off.
    bool Open(const std::string& name);
    // Play from the current frame; Stop; First; Last; show one frame (scroll
    // bar). A frame command the guard refused leaves the frame shown as it was.
    void Play();
    void StopPlaying();
    void First();
    void Last();
    void ShowFrame(int frame);
    // Edit commits: true when the text was accepted. An accepted frame is shown.
    bool EditFrame(const std::string& text);
    bool EditStep(const std::string& text);
    bool EditDelay(const std::string& text);
    // Use: continues the run from the shown frame. The temporary sequence
    // becomes the opened file cut after that frame. False with a warning when
    // refused (also when the frame the player is on is not the one drawn, or
    // the file no longer holds the frames counted); true when done (the
    // window closes).
    bool Use();
    // The delete period typed into the Reduce Size box: an integer 2..FrameCount.
    bool ReducePeriod(const std::string& text, int& period) const;
    // True when Reduce Size can be offered (not busy, not playing, a file with
    // at least 2 frames).
    bool CanReduce() const;
    // Writes the opened file without every p-th frame to `target` (and the
    // companion ".cmp"). The target is replaced only by a complete new file;
    // a target equal to the opened file is replaced in place and frame 1
    // shown, when the guard of every rebuild lets it. The companions of
    // another project beside the target are replaced only after the overwrite
    // question for each. A missing directory is created after "Create New
    // Directory?\n" + dir. False when nothing was written.
    bool ReduceSize(int period, const std::string& target);

private:
    RunState& st_;
    int drawnFrame_ = 0;  // the frame of FileName drawn last (0: none)
    void SetBusy(bool busy);
    void SetPlaying(bool playing);
    // No file open: the frame counters of the closed player, so that nothing
    // of a file refused or left shows.
    void ForgetFile();
    void Controls()
    {
        if (UpdateControls) UpdateControls();
    }
    // Shows the frame CurrentFrame; when refused, CurrentFrame and StartFrame
    // go back to `frame` and `start`.
    void ShowSingle(int frame, int start);
};
