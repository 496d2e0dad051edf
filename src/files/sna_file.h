// The project file (".sna") with its companions of the same base name: the
// composition ".cmp" (required for opening), the profile sequence ".psq" and
// the detector record ".det". The project file holds the run-setup block, the
// mode switches and the capillary-effects table, the run counters and the
// current profiles, so that a run can be continued after loading.
#pragma once

#include "files/run_setup_block.h"
#include "foundation/errors.h"

#include <cstdint>
#include <string>
#include <vector>

class RunState;

// The contents of a project file of version "1.1" or "1.0".
struct ProjectImage {
    std::string Version = "1.1";
    RunSetupBlock Block;
    // "1.1" only: run-setup switches and the effects table copy.
    bool cbDcH = false, cbChrom = false, cbLE = false, cbRE = false;
    std::int32_t RowCount = 11;  // rows of the table copy (2..11)
    std::int32_t SegCount = 0;   // K: segments (0: no table)
    bool cbS = false, cbH = false, cbMix = false, cbT = false, rbD = false, rbH = false;
    std::vector<double> Edges;  // edge values of rows 3..RowCount
    std::vector<double> Cells;  // rows 2..RowCount, each segments 1..K
    double RunStart = 0, SpentTime = 0;
    std::int32_t StepCount = 0, NewtonItTotal = 0;
    std::vector<double> Profiles;           // C x (N+1): constituent 1 nodes 0..N, then 2, ...
    std::vector<double> HProfile;           // N+1
    std::vector<std::uint8_t> GraphChecks;  // C+2
    std::vector<std::uint8_t> DetChecks;    // C+4
};

// The image of the current state (profiles of time level 2, the state that
// matches the stored time).
ProjectImage CaptureProject(const RunState& st);

// Writes / reads the fields of a project file from the position of a cursor
// (the start of the file). The
// reader needs the constituent count C (from the companion composition); it
// checks every count against the bytes left before allocating and raises
// "Incorrect file." for a file that is cut short, of another kind, or whose
// node count, capillary length or table counts cannot be right. A file of the
// older layout ("RAVO_CORE SNA FILE") raises "Incorrect file." here.
void WriteProjectImage(BinWriter& out, const ProjectImage& image);
ProjectImage ReadProjectImage(BinReader& in, int constituents);
// Stored concentrations are taken as the engine writes them: every finite
// value within kMaxStoredConcentration either way, the small negative values
// a run leaves behind sharp boundaries included (an isotachophoresis at 0.25
// V per node spacing dips to -15 % of its plateaus).
bool StoredConcentrationsTaken(const std::vector<double>& values);
// Stored concentrations beyond this (mM: a thousand moles per litre, far above
// any solution) are no run: the equilibrium of such profiles may be found on
// one open and not on the next.
inline constexpr double kMaxStoredConcentration = 1e6;
// Stored hydrogen-ion concentrations (mM) start the equilibrium of every node:
// taken as the engine writes them, each finite and at least kSmallestKeptCH,
// the smallest its solve keeps (from a start far below it, 1e-300, the
// solution does not move and a node would load out of equilibrium).
bool StoredHydrogenTaken(const std::vector<double>& values);

// The value checks of the reader on a whole image (block with its geometry,
// table, counters, profiles).
bool ProjectValuesValid(const ProjectImage& image);

// The name a project is saved under: `name` when it ends in ".sna" (in any
// case), else `name` + ".sna" (so that no companion is saved over another).
std::string ProjectSaveName(const std::string& name);

// Before a file of a project (its composition, its sequence) is read on its
// own: a save of that project that died on its way is settled (the old files
// put back), one still running is awaited; raises when it does not end or its
// journal is damaged. The file to read for `name`: `name` itself, or where
// its old contents are when the save could not be settled (after a warning).
std::string SettleProjectSaveOf(const std::string& name);
// Whether a project lies beside the companion `name`: its stem with ".sna"
// in any case, or the journal of a save of it.
bool ProjectBesideCompanion(const std::string& name);

// Saves the project under ProjectSaveName(`name`) (the dialog is the
// caller's): the restore question when the composition was edited since Init,
// the directory question, the composition, the sequence copy (asking before
// it overwrites a sequence, unless `replaceConfirmed`: the caller asked
// before replacing the project), the detector record, the complexation table
// and the project file. All of them replace the old files (and a sequence,
// options or table of an earlier save that the project no longer has goes) in
// one commit that a reader sees whole. A save without Init raises; a file
// that cannot be created warns; a failed commit raises. The messages name the
// file and say whether the previous project is unchanged. False when the save
// ended early.
bool SaveSnaFile(RunState& st, const std::string& name, bool replaceConfirmed = false);

// Tests: a routine run as a save begins to open its staged files in a state of
// its own (the check before the commit); it may raise std::bad_alloc as a
// check that runs out of memory does. Returns the previous routine.
using SaveCheckWatch = void (*)();
SaveCheckWatch SetSaveCheckWatch(SaveCheckWatch watch);

// Opens a project: the project file and its companions beside it (the
// composition, the complexation table, the older options file, the detector
// record) are read and checked whole before the run state changes; then the
// New command, the sequence transfer and the project's values. Warnings and
// false for a missing file or companion (nothing changed); a bad file raises
// (before the state changed, or, when Init or the recalculation of the loaded
// profiles refuses it, after: OpenProject recovers from that). Another
// extension than ".sna" gives false.
bool ReadSnaFile(RunState& st, const std::string& name);

// The failure of an open that the run state did not see: the file was refused
// before anything was taken, so the run goes on as it was.
class OpenRefused : public Exception {
public:
    using Exception::Exception;
};

// ReadSnaFile with the recovery of a failed open: a file refused before the
// state changed leaves it as it was (OpenRefused), one refused afterwards
// resets the state and initialises it empty; either raises "Warning: While
// Opening SNA file '" + name + "' Error Message Occur: " + message. A name of
// another kind in the opener table (".cmp") opens through its opener.
bool OpenProject(RunState& st, const std::string& name);

// Opens a composition alone (File > Open of a ".cmp"): its constituents
// replace or join the composition (st.rbSet), the constituents of the last
// Init go and Run waits for the next Init. True when read; warnings and false
// for a file refused, a damaged file raises OpenRefused with the message of
// OpenProject; either leaves the state as it was.
bool OpenComposition(RunState& st, const std::string& name);
