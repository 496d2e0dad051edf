#include "files/sna_file.h"

#include "composition/cmp_file.h"
#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/modes/modes.h"
#include "engine/state/engine_arrays.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/init_calc.h"
#include "engine/step/recalc.h"
#include "engine/step/rk_start.h"
#include "files/complex_file.h"
#include "files/det_file.h"
#include "files/file_hooks.h"
#include "files/openers.h"
#include "files/opt_file.h"
#include "files/program_dir.h"
#include "files/psq.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <utility>

namespace {

constexpr int kTableRows = 11;
constexpr int kMinNodes = 10;

const char* const kRestoreQuestion =
    "One or more constituents have been changed. You have to call INIT function or restore changed "
    "constituents.\nDo You want to RESTORE CHANGED CONSTITUENTS and continue? \nThis message should "
    "not be seen - inform authors please.";

std::vector<std::uint8_t> ChecksOf(const std::vector<CheckListItem>& items, int count)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count), 0);
    for (int k = 0; k < count && k < static_cast<int>(items.size()); ++k) out[k] = items[k].checked;
    return out;
}

// The contents of a project file of the older layout ("RAVO_CORE SNA FILE").
struct LegacyImage {
    std::int32_t NX = 0;
    double PeakWidth = 0, PeakEdgeWidth = 0, InjNode = 0, CapLength = 0;
    std::vector<double> Profiles;                      // C x (N+1)
    std::vector<std::uint8_t> GraphChecks, DetChecks;  // C+2 each
    double Time = 0, RunStart = 0, SpentTime = 0;
    std::int32_t StepCount = 0, NewtonItTotal = 0;
    bool SetupChanged = false;
    bool SetupItemChanged[5] = {false, false, false, false, false};
};

// Raises "Incorrect file." for a geometry of the older layout no run could be
// built on: the node count, the capillary length, the peak widths and the
// injection site (computed from its node) with the limits of their edits.
void CheckLegacyGeometry(BinReader& in, const LegacyImage& im)
{
    const double injSite = im.NX > 0 ? im.InjNode * 1000.0 / im.NX * im.CapLength : 0.0;
    in.Check(std::isfinite(im.InjNode) &&
             GeometryValid(im.NX, im.CapLength, im.PeakWidth, im.PeakEdgeWidth, injSite));
}

void CheckConcentrations(BinReader& in, const std::vector<double>& values)
{
    in.Check(StoredConcentrationsTaken(values));
}

// What a save of an opened project writes must open again: the values that
// loading brought about (the current of the recalculated profiles, positions
// from node numbers, the options of a companion file) pass the reader's
// checks, or the file is refused.
void CheckSavesAgain(const RunState& st)
{
    if (!ProjectValuesValid(CaptureProject(st))) ThrowError("Incorrect file.");
}

// The trailer "EOF" with its zero byte must end the file: a file whose sizes
// do not add up (a composition of another constituent count) is refused.
void CheckTrailerEndsFile(BinReader& in)
{
    in.Check(in.Left() == 4 && in.StringZ() == "EOF");
}

LegacyImage ReadLegacyImage(BinReader& in, int constituents)
{
    LegacyImage im;
    in.Bool();  // Initialised: not used
    in.Fields(im.NX, im.PeakWidth, im.PeakEdgeWidth, im.InjNode, im.CapLength);
    im.InjNode = std::nearbyint(im.InjNode);
    CheckLegacyGeometry(in, im);
    const std::int64_t nn = static_cast<std::int64_t>(im.NX) + 1;
    const std::int64_t c = constituents;
    in.RequireItems(c, 8 * nn);
    in.Require(8 * c * nn + 2 * (c + 2) + 24 + 8 + 6);
    im.Profiles = in.Doubles(c * nn);
    im.GraphChecks = in.Flags(c + 2);
    im.DetChecks = in.Flags(c + 2);
    in.Fields(im.Time, im.RunStart, im.SpentTime, im.StepCount, im.NewtonItTotal, im.SetupChanged);
    for (bool& b : im.SetupItemChanged) b = in.Bool();
    CheckTrailerEndsFile(in);
    CheckConcentrations(in, im.Profiles);
    in.Check(AllFinite({im.Time, im.RunStart, im.SpentTime}) && im.Time >= 0 && im.StepCount >= 0 &&
             im.NewtonItTotal >= 0);
    return im;
}

// Check states of the profile list with the series they switch.
void ApplyGraphChecks(RunState& st, const std::vector<std::uint8_t>& checks)
{
    RunSeries& s = st.Series;
    const int c = st.NComp;
    for (int k = 0; k < c + 2 && k < static_cast<int>(s.clbGraph.size()); ++k)
        s.clbGraph[k].checked = checks[k];
    s.sr_pH.active = checks[0] != 0;
    s.sr_conductivity.active = checks[1] != 0;
    for (int i = 1; i <= c && i < static_cast<int>(s.srComp.size()); ++i)
        s.srComp[i].active = checks[i + 1] != 0;
}

// True when the sequence file is empty or holds frames of the run's system.
bool PsqFitsRun(const RunState& st, const std::string& name)
{
    KFile f;
    if (OpenForReading(f, name) != OpenOutcome::Opened) return true;
    const std::int64_t size = f.Seek(0, 2);
    if (size <= 0) return true;
    try {
        BinReader in(f);
        const PsqHeader h = ReadPsqHeader(in);
        return !h.Version.empty() && h.N == st.NX && h.C == st.NComp && h.CapLength == st.CapLength;
    } catch (const Exception&) {
        return false;
    }
}

// Init for a loader: the arrays of the loaded composition and geometry must
// exist afterwards.
void InitForLoader(RunState& st)
{
    const bool built = RunInitCommand(st);
    if (!built || !st.Initialised || st.NComp != st.Composition.Count() || !st.Arr.Allocated() ||
        st.Arr.Nn != st.NX + 1)
        ThrowError("Incorrect file.");
}

// Brings the loaded profiles to their equilibrium by `recalc` with the walls
// open over the whole grid, then redraws; the walls come back either way.
// Stored profiles without an equilibrium are no run that could go on: they
// raise "Incorrect file.".
void RecalcLoadedProfiles(RunState& st, const std::function<void()>& recalc)
{
    ComputationWindowScope window(st.counters());
    window.WholeGrid(st.NX);
    st.NumericalFailure = false;
    recalc();
    if (st.NumericalFailure) ThrowError("Incorrect file.");
    // What the project saves must open again: the profiles the loading
    // brought about pass the reader's rule for stored concentrations.
    std::vector<double> level2;
    for (int i = 1; i <= st.NComp; ++i)
        level2.insert(level2.end(), st.Arr.C(2, i), st.Arr.C(2, i) + st.NX + 1);
    if (!StoredConcentrationsTaken(level2)) ThrowError("Incorrect file.");
    // The chart and the computation window of the next run follow the drawn
    // profiles: they are the loaded ones.
    RedrawGraph(st);
    st.DetectorView = false;
    st.Events.Emit(EngineEventKind::SetupGraph);
}

// Everything an open of a project reads: the project file and its companions,
// decoded and checked before the run state changes.
struct ProjectFiles {
    std::string Base;                   // the name the companions are named after
    TUnivSet<TComponents> Composition;  // "<base>.cmp" (required)
    std::optional<ComplexTable> Table;  // "<base>.txt", when it lies beside the project
    bool Legacy = false;                // the older layout ("RAVO_CORE SNA FILE")
    ProjectImage Image;                 // the current layouts
    LegacyImage OldImage;               // the older layout
    std::optional<OptRecord> Options;   // older layout: "<base>.opt", when it was read
    std::optional<DetRecord> Detector;  // "<base>.det", when it was read
    KFile Sequence;                     // "<base>.psq", open when it lies beside the project
    std::string Notes;                  // "<base>.txt" when it holds no table: the user's own
};

// Decodes the project file open in `f` for a composition of `constituents`.
void DecodeProject(KFile& f, int constituents, ProjectFiles& files)
{
    BinReader in(f);
    files.Legacy = in.StringZ() == "RAVO_CORE SNA FILE";
    if (files.Legacy) {
        files.OldImage = ReadLegacyImage(in, constituents);
    } else {
        BinReader fromStart(f);
        files.Image = ReadProjectImage(fromStart, constituents);
    }
    f.Close();
}

// Runs the reading of companion `name`: a damaged companion raises its message
// with the file named, not the project that brought it.
void NamingCompanion(const std::string& name, const std::function<void()>& read)
{
    try {
        read();
    } catch (const Exception& e) {
        ThrowError(e.Message() + " (" + name + ")");
    }
}

// The files of one project set by member, as an open reads them: the files
// beside the project, or the temporary files a save staged. An empty name:
// the set has no such member. Messages name the members after `Base`, in
// the spelling found beside it.
struct ProjectSetNames {
    std::string Base, Project, Composition, Table, Options, Detector, Sequence;
    std::string Shown(const char* ext) const { return CompanionName(Base, ext); }
};

// Reads the project set `names` (its project file open in `f`) into `files`;
// the run state is not touched. False after a warning when the composition is
// refused; a damaged file raises. A text file that holds no complexation table
// is the user's own (`files.Notes`).
bool ReadProjectSet(KFile& f, const ProjectSetNames& names, ProjectFiles& files)
{
    bool composition = false;
    NamingCompanion(names.Shown(".cmp"), [&] {
        composition = LoadCompositionFile(names.Composition, files.Composition);
    });
    if (!composition) return false;
    const std::string txtName = names.Shown(".txt");
    if (!names.Table.empty() && !IsComplexTableFile(names.Table)) files.Notes = txtName;
    if (!names.Table.empty() && files.Notes.empty())
        NamingCompanion(
            txtName, [&] { files.Table = ReadTakenComplexTable(names.Table, files.Composition); });
    const int constituents = files.Composition.Count();
    DecodeProject(f, constituents, files);
    // A table the run's set-up refuses with this composition (another number
    // of analytes or forms) opens no run: its warning, then the refusal.
    if (files.Table && !files.Legacy)
        NamingCompanion(txtName, [&] {
            const std::string why = ComplexSetupRefusal(*files.Table, files.Composition,
                                                        files.Image.Block.ISCorrection);
            if (why.empty()) return;
            ShowWarning(why);
            ThrowError("Incorrect file.");
        });
    OptRecord options;
    if (files.Legacy && !names.Options.empty()) {
        bool read = false;
        NamingCompanion(names.Shown(".opt"), [&] { read = LoadOptFile(names.Options, options); });
        if (read) files.Options = options;
    }
    // The detector record is a by-product of the run that the next save
    // writes anew: one the reader refuses (damaged, of another kind) is left
    // out with one warning naming it.
    if (!names.Detector.empty()) {
        DetRecord detector;
        bool loaded = false;
        {
            HeldMessages held;
            try {
                loaded = LoadDetFile(names.Detector, constituents, detector);
            } catch (const Exception&) {
            }
        }
        if (loaded)
            files.Detector = std::move(detector);
        else
            ShowWarning(kDetectorLeftOut + names.Shown(".det"));
    }
    // The sequence is copied after the state changed: it is held open, so
    // that the copy is of the file read with the others.
    if (!names.Sequence.empty()) files.Sequence = KFile::Open(names.Sequence, 0);
    return true;
}

// Reads the project `name` and the companions beside it into `files`, each
// from where `set` says its old contents are (a save that died and could not
// be settled); the run state is not touched. False after a warning when the
// project or its composition is missing or the composition is refused; a
// damaged file raises.
bool ReadProjectGroup(const std::string& name, ProjectFiles& files, const SettledSet& set)
{
    const auto from = [&](const std::string& file) { return set.Source(file); };
    const std::string source = from(SaveTargetName(name));
    KFile f;
    switch (OpenForReading(f, source == SaveTargetName(name) ? name : source)) {
    case OpenOutcome::Opened: break;
    case OpenOutcome::NotFound: ShowWarning("File \"" + name + "\" not found."); return false;
    case OpenOutcome::CantOpen: ThrowError("Can't open a file");
    }
    // Through a symbolic link the companions lie beside the file the link
    // points to, where a save puts them; a project whose composition lies
    // beside the link only (saved so by an earlier version) is read from there.
    const std::string target = SaveTargetName(name);
    const auto inSet = [&](const std::string& file) { return FileExists(from(file)); };
    files.Base = !FindCompanion(target, ".cmp", inSet).empty() ? target : name;
    const std::string cmpName = FindCompanion(files.Base, ".cmp", inSet);
    if (cmpName.empty()) {
        ShowWarning("File " + ChangeFileExt(files.Base, ".cmp") + " not found!");
        return false;
    }
    const auto beside = [&](const char* ext) {
        const std::string companion = FindCompanion(files.Base, ext, inSet);
        return companion.empty() ? companion : from(companion);
    };
    const ProjectSetNames names{files.Base,     name,           from(cmpName), beside(".txt"),
                                beside(".opt"), beside(".det"), beside(".psq")};
    return ReadProjectSet(f, names, files);
}

// The versions of the project file and of every companion that may lie
// beside it (under `target`'s name and `name`'s).
std::vector<std::string> ProjectStamps(const std::string& name, const std::string& target)
{
    std::vector<std::string> stamps{FileStamp(name)};
    for (const std::string& base : {target, name})
        for (const char* ext : {".cmp", ".txt", ".opt", ".det", ".psq"}) {
            const std::string companion = FindCompanion(base, ext);
            stamps.push_back(companion + ":" + FileStamp(companion));
        }
    return stamps;
}

// The warning of a reader that found a save that died and could not settle
// it: the journal and why, and where the previous files were read.
std::string UnsettledSaveText(const SettledSet& set)
{
    std::string kept;
    for (const auto& [target, old] : set.OldFiles)
        if (!old.empty() && old != target) kept += (kept.empty() ? "" : ", ") + old;
    return kSaveNotSettled + set.Unsettled + "\n" +
           (kept.empty() ? std::string(kSaveReadInPlace) : kSaveReadFromBackups + kept);
}

// Names the files that settling a save that died set aside (one warning).
void WarnSetAside(const std::vector<std::string>& aside)
{
    std::string names;
    for (const std::string& n : aside) names += (names.empty() ? "" : ", ") + n;
    if (!aside.empty()) ShowWarning(kSaveSetAside + names);
}

// How often an open waits 20 ms for a save of the project by another
// instance before it gives up (a commit takes a few renames).
constexpr int kSaveWaits = 250;

// Reads the project `name` and the companions beside it into `files` as one
// set: a save that died on its way is settled first (its old files put back),
// and the files are read again when a save ran while they were read (its
// journal is there, or a file was replaced), so that no mixture of two saves
// is taken. The run state is not touched. False after a warning when the
// project or its composition is missing or the composition is refused; a
// damaged file raises.
bool LoadProjectFiles(const std::string& name, ProjectFiles& files)
{
    const std::string target = SaveTargetName(name);
    const std::string journal = SaveJournalName(target);
    for (int wait = 0;; ++wait) {
        if (wait == kSaveWaits) ThrowError(kSaveInProgress + name);
        if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const SettledSet set = SettleSaveSet(journal);
        WarnSetAside(set.SetAside);
        if (set.Running) continue;
        // The journal of a save that died stays where it could not be
        // settled: the files are read as it tells, while it is the same.
        // Otherwise none may appear until the files are read.
        const std::string journalStamp = set.Unsettled.empty() ? "" : FileStamp(journal);
        const std::vector<std::string> before = ProjectStamps(name, target);
        files = ProjectFiles();
        bool read = false;
        // The journal is looked for before the versions are compared: a save
        // whose renames began before the first look either still has its
        // journal or has replaced a file since.
        const auto quiet = [&] {
            return FileStamp(journal) == journalStamp && ProjectStamps(name, target) == before;
        };
        try {
            read = ReadProjectGroup(name, files, set);
        } catch (const Exception&) {
            if (!quiet()) continue;
            throw;
        }
        if (!quiet()) continue;
        if (!set.Unsettled.empty()) ShowWarning(UnsettledSaveText(set));
        return read;
    }
}

// The sequence beside the project (held open since it was read with the
// project) becomes the run's temporary sequence (after the transfer
// question); without one the temporary sequence starts empty.
void TransferSequence(RunState& st, ProjectFiles& files)
{
    if (st.PsqFileOwn.empty()) return;
    st.PsqFile = st.PsqFileOwn;
    bool transferred = false;
    if (files.Sequence.IsOpen() && (!st.cbPSQQuestion || Confirm(kPsqTransferQuestion))) {
        st.host().SetStatusText("PSQ Transfer in Progress (May Take Several Minutes)...");
        st.host().ProcessMessages();
        if (FileCopyOpen(files.Sequence, st.PsqFile) == -1)
            ShowWarning("Unable to copy PSQ file.");
        else
            transferred = true;
    }
    files.Sequence.Close();
    if (!transferred)
        ResetPsqFile(st, st.PsqFile);
    else
        WriteSequenceCompanions(st, st.PsqFile);
    st.PsqSize = FileSizeByName(st.PsqFile);
}

// The detector points read beside the project, appended to the fresh record.
void ApplyDetector(RunSeries& series, const ProjectFiles& files)
{
    if (files.Detector) AppendDetRecord(series, *files.Detector);
}

// Puts an older project into the state (the profiles go to level 5).
bool ApplyLegacyProject(RunState& st, const ProjectFiles& files, const std::string& name)
{
    const LegacyImage& im = files.OldImage;
    if (files.Options) ApplyOptRecord(st, *files.Options);
    st.NX = im.NX;
    st.PeakWidth = im.PeakWidth;
    st.PeakEdgeWidth = im.PeakEdgeWidth;
    st.CapLength = im.CapLength;
    st.InjSite = im.InjNode * 1000.0 / st.NX * st.CapLength;
    st.InjSitePending = st.InjSite;
    st.DetPosition = st.LegacyDetNode * 1000.0 / st.NX * st.CapLength;
    if (st.LeftWall < 0 || st.LeftWall > st.NX) st.LeftWall = 0;
    if (st.RightWall < 0 || st.RightWall > st.NX) st.RightWall = st.NX;
    InitForLoader(st);
    ApplyDetector(st.Series, files);

    const int c = st.NComp, nn = st.NX + 1;
    for (int i = 1; i <= c; ++i)
        std::copy_n(im.Profiles.data() + static_cast<std::size_t>(i - 1) * nn, nn, st.Arr.C(5, i));
    ApplyGraphChecks(st, im.GraphChecks);
    for (int k = 0; k < c + 2 && k < static_cast<int>(st.Series.clbDet.size()); ++k)
        st.Series.clbDet[k].checked = im.DetChecks[k];
    st.Time = im.Time;
    st.RunStart = im.RunStart;
    st.SpentTime = im.SpentTime;
    st.StepCount = im.StepCount;
    st.NewtonItTotal = im.NewtonItTotal;
    st.GlobalRatio = st.StepCount != 0 ? static_cast<double>(st.NewtonItTotal) / st.StepCount : 0.0;
    st.SetupChanged = im.SetupChanged;
    for (int k = 0; k < 5; ++k) st.SetupItemChanged[k] = im.SetupItemChanged[k];
    st.Loading = false;

    RecalcLoadedProfiles(st, [&] {
        Elneut(st, 5, -1, -1, true);
        // Conductivity of level 5: F x sum of |z| u c over every charged form.
        EngineArrays& a = st.Arr;
        for (int n = 0; n < nn; ++n) {
            double sum = 0;
            for (int i = 1; i <= c + 2; ++i)
                for (int k = 0; k < a.Forms(i); ++k) {
                    const int z = a.ZMin[i] + k;
                    if (z != 0) sum += std::abs(z) * a.UForm(i, k)[n] * a.CForm(5, i, k)[n];
                }
            a.Kappa[n] = 96485.0 * sum;
        }
        RestartMultistep(st, 5);
    });
    st.FileName = name;
    st.SavedDT = st.DT;
    st.SavedErrInc = st.ErrInc;
    EndDiffusionMode(st);
    CheckSavesAgain(st);
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    return true;
}

}  // namespace

ProjectImage CaptureProject(const RunState& st)
{
    ProjectImage im;
    im.Block = CaptureRunSetupBlock(st);
    im.cbDcH = st.cbDcH;
    im.cbChrom = st.cbChrom;
    im.cbLE = st.cbLE;
    im.cbRE = st.cbRE;
    const bool table = st.SegCount >= 1 && st.TableEdge.size() >= 12 && st.TableRows.size() >= 12;
    im.RowCount = kTableRows;
    im.SegCount = table ? st.SegCount : 0;
    im.cbS = st.cbS;
    im.cbH = st.cbH;
    im.cbMix = st.cbMix;
    im.cbT = st.cbT;
    im.rbD = st.rbD;
    im.rbH = st.rbH;
    if (table) {
        for (int r = 3; r <= kTableRows; ++r) im.Edges.push_back(st.TableEdge[r]);
        for (int r = 2; r <= kTableRows; ++r)
            for (int k = 1; k <= st.SegCount; ++k)
                im.Cells.push_back(k < static_cast<int>(st.TableRows[r].size()) ? st.TableRows[r][k]
                                                                                : -1.0);
    }
    im.RunStart = st.RunStart;
    im.SpentTime = st.SpentTime;
    im.StepCount = Int32Field(st.StepCount);
    im.NewtonItTotal = Int32Field(st.NewtonItTotal);
    const int nn = st.NX + 1;
    const int c = st.NComp;
    if (st.Arr.Allocated() && st.Arr.Nn == nn && st.Arr.NComp == c) {
        for (int i = 1; i <= c; ++i)
            im.Profiles.insert(im.Profiles.end(), st.Arr.C(2, i), st.Arr.C(2, i) + nn);
        const double* h = const_cast<RunState&>(st).Arr.CH(2);
        im.HProfile.assign(h, h + nn);
    } else {
        im.Profiles.assign(static_cast<std::size_t>(c) * nn, 0.0);
        im.HProfile.assign(static_cast<std::size_t>(nn), 0.0);
    }
    im.GraphChecks = ChecksOf(st.Series.clbGraph, c + 2);
    im.DetChecks = ChecksOf(st.Series.clbDet, c + 4);
    return im;
}

void WriteProjectImage(BinWriter& out, const ProjectImage& im)
{
    out.Fields("KELVO SNA FILE", im.Version);
    WriteRunSetupBlock(out, im.Block, false);
    if (im.Version == "1.1") {
        out.Fields(im.cbDcH, im.cbChrom, im.cbLE, im.cbRE, im.RowCount, im.SegCount);
        out.Fields(im.cbS, im.cbH, im.cbMix, im.cbT, im.rbD, im.rbH);
        if (im.SegCount > 0) {
            out.Doubles(im.Edges);
            out.Doubles(im.Cells);
        }
    }
    out.Fields(im.RunStart, im.SpentTime, im.StepCount, im.NewtonItTotal);
    out.Doubles(im.Profiles);
    out.Doubles(im.HProfile);
    out.Flags(im.GraphChecks);
    out.Flags(im.DetChecks);
    out.StringZ("EOF");
}

ProjectImage ReadProjectImage(BinReader& in, int constituents)
{
    ProjectImage im;
    in.Check(in.StringZ() == "KELVO SNA FILE" && constituents >= 0);
    im.Version = in.StringZ();
    in.Check(im.Version == "1.1" || im.Version == "1.0");
    im.Block = ReadRunSetupBlock(in, false);
    if (im.Version == "1.0") im.Block.Temperature += 0.15;
    const RunSetupBlock& b = im.Block;
    in.Check(RunSetupBlockValid(b, false));
    if (im.Version == "1.1") {
        in.Fields(im.cbDcH, im.cbChrom, im.cbLE, im.cbRE, im.RowCount, im.SegCount);
        in.Check(im.RowCount >= 2 && im.RowCount <= kTableRows && im.SegCount >= 0);
        in.Fields(im.cbS, im.cbH, im.cbMix, im.cbT, im.rbD, im.rbH);
        if (im.SegCount > 0) {
            const std::int64_t edges = im.RowCount - 2;
            const std::int64_t cells = static_cast<std::int64_t>(im.RowCount - 1) * im.SegCount;
            in.Require((edges + cells) * 8);
            im.Edges = in.Doubles(edges);
            im.Cells = in.Doubles(cells);
        }
    }
    in.Fields(im.RunStart, im.SpentTime, im.StepCount, im.NewtonItTotal);
    const std::int64_t nn = static_cast<std::int64_t>(b.NX) + 1;
    const std::int64_t c = constituents;
    in.RequireItems(c + 1, 8 * nn);
    in.Require(8 * (c + 1) * nn + (c + 2) + (c + 4));
    im.Profiles = in.Doubles(c * nn);
    im.HProfile = in.Doubles(nn);
    im.GraphChecks = in.Flags(c + 2);
    im.DetChecks = in.Flags(c + 4);
    CheckTrailerEndsFile(in);
    in.Check(ProjectValuesValid(im));
    return im;
}

bool StoredConcentrationsTaken(const std::vector<double>& values)
{
    for (double v : values)
        if (!std::isfinite(v) || std::fabs(v) > kMaxStoredConcentration) return false;
    return true;
}

bool StoredHydrogenTaken(const std::vector<double>& values)
{
    for (double h : values)
        if (!(std::isfinite(h) && h >= kSmallestKeptCH)) return false;
    return true;
}

bool ProjectValuesValid(const ProjectImage& im)
{
    if (!RunSetupBlockValid(im.Block, false) || !AllFinite(im.Edges) || !AllFinite(im.Cells) ||
        !StoredConcentrationsTaken(im.Profiles))
        return false;
    if (!StoredHydrogenTaken(im.HProfile)) return false;
    return AllFinite({im.RunStart, im.SpentTime}) && im.StepCount >= 0 && im.NewtonItTotal >= 0;
}

std::string ProjectSaveName(const std::string& name)
{
    return LowerFileExt(name) == ".sna" ? name : name + ".sna";
}

namespace {

// The text of a save that failed: the program's own first line, the file and
// why, and what became of the project on disk.
std::string SaveFailure(const std::string& own, const std::string& what, const std::string& state)
{
    return own + (what.empty() ? "" : "\n" + what) + "\n" + state;
}

// Stages `name` in `save` through a writer of its temporary file, whose name
// goes to `temp` when it is staged (so that the staged set can be read back
// before the commit).
bool StageKeptByName(FileSaveSet& save, const std::string& name, std::string& temp,
                     const std::function<bool(const std::string&)>& write)
{
    std::string written;
    const bool staged = save.StageByName(name, [&](const std::string& t) {
        written = t;
        return write(t);
    });
    if (staged) temp = written;
    return staged;
}

// The same for a writer of the file's bytes.
bool StageKept(FileSaveSet& save, const std::string& name, std::string& temp,
               const std::function<void(BinWriter&)>& write)
{
    return StageKeptByName(save, name, temp, [&](const std::string& t) {
        KFile file = KFile::Open(t, 2);
        if (!file.IsOpen()) ThrowError("Error: Can't write to file");
        BinWriter out(file);
        write(out);
        return true;
    });
}

void OpenInScratchState(const RunState& st, ProjectFiles& files, const std::string& name);

// Why an open would refuse the project set `names` (the open's own message,
// with the file it names, and the warnings it gave), or "" when the set
// opens: it is read, then opened in full (Init and the recalculation of the
// loaded profiles) in a state of its own beside `st`, which stays as it was.
// With `withTable` a set that opens without its complexation table is
// refused too. Nothing is shown.
std::string ProjectSetRefusal(const RunState& st, const ProjectSetNames& names, bool withTable)
{
    if (names.Composition.empty()) return "File " + names.Shown(".cmp") + " not found!";
    HeldMessages held;
    try {
        KFile f;
        if (OpenForReading(f, names.Project) != OpenOutcome::Opened) return "Can't open a file";
        ProjectFiles files;
        if (!ReadProjectSet(f, names, files)) return held.WarningText();
        if (withTable && !files.Table) return "Incorrect file. (" + names.Shown(".txt") + ")";
        OpenInScratchState(st, files, names.Base);
    } catch (const std::bad_alloc&) {
        throw;  // no fault of the files: the caller tells it
    } catch (const std::exception& e) {
        const std::string why = held.WarningText();
        return e.what() + (why.empty() ? "" : "\n" + why);
    }
    return "";
}

// What a save that failed says is on disk: the previous project as it was, or none.
// Another file in the folder of the companion `member` that the open could
// take for it: the same stem, its extension in another letter case, as the
// folder lists it (a folder that does not tell case lists one name); "" when
// none.
std::string OtherSpelling(const std::string& member)
{
    namespace fs = std::filesystem;
    const fs::path path(member);
    const std::string leaf = path.filename().string(), stem = path.stem().string(),
                      ext = LowerFileExt(member);
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name != leaf && it->path().stem().string() == stem && LowerFileExt(name) == ext)
            return it->path().string();
    }
    return "";
}

const char* OnDisk(bool existed)
{
    return existed ? kSavePreviousUnchanged : kSaveNoPrevious;
}

// The save of SaveSnaFile; `existed` tells whether a project lay under its
// name when the caller looked (and asked before replacing it).
bool SaveProjectFiles(RunState& st, const std::string& chosen, bool replaceConfirmed, bool existed)
{
    const std::string previous = OnDisk(existed);
    const std::string name = ProjectSaveName(chosen);
    // Without Init there is no run whose profiles the project could hold: the
    // file written would not open.
    if (!st.Initialised)
        ThrowError(
            SaveFailure(ErrorCodeText(-10), name + ": " + kSaveNothingInitialised, previous));
    if (st.CompChanged) {
        if (!Confirm(kRestoreQuestion)) return false;
        RestoreInitComposition(st);
    }
    st.host().SetStatusText("Saving data ...");
    st.host().ProcessMessages();
    if (!MakeFileDirAsked(name, "Create New Directory?\n")) return false;
    // Through a symbolic link every file of the project goes beside the file
    // the link points to, so that the project there opens whole.
    const std::string base = SaveTargetName(name);
    // Every file of the save is written to its temporary file first; the old
    // files are replaced (and the companions the project no longer has
    // removed) in one commit, which a reader sees whole (the journal).
    FileSaveSet save;
    save.UseJournal(SaveJournalName(base));
    // What a failure says is on disk; told again from the look under the lock.
    std::string onDisk = previous;
    const auto cantCreate = [&](const char* own) {
        ShowWarning(SaveFailure(own, save.Failure(), onDisk));
        return false;
    };
    // The set an open will read after the commit: each member's staged
    // temporary file, the file that stays beside the project, or none. The
    // files are written first; what lies beside them is looked at under the
    // set's lock.
    ProjectSetNames staged{base, "", "", "", "", "", ""};
    // The composition is required for opening: a save that cannot write it ends.
    // Each companion replaces the one beside the project in the spelling found
    // there (an older system's ".CMP"), so that no second spelling stays.
    if (st.Composition.Count() > 0 &&
        !StageKept(save, CompanionName(base, ".cmp"), staged.Composition,
                   [&](BinWriter& out) { EncodeComposition(out, st.Composition); }))
        return cantCreate("Error: Can't create new file");
    const std::string version = GetPsqFileVersion(st.PsqFile);
    const std::string psqName = CompanionName(base, ".psq"), optName = CompanionName(base, ".opt");
    bool sequenceCopied = false, sequenceKept = false, optionsWritten = false, optionsKept = false;
    if (version == "0.1" || version == "1.0") {
        // (Asked before the set is locked: no other save waits on the user.)
        if (!FileExists(psqName) || replaceConfirmed ||
            Confirm("File " + psqName + " exists. Overwrite?"))
            sequenceCopied = StageKeptByName(
                save, psqName, staged.Sequence,
                [&](const std::string& temp) { return FileCopy(st.PsqFile, temp, false, 0) >= 0; });
        else
            sequenceKept = true;  // the user keeps the sequence beside the project
        // A sequence that could not be copied leaves the old one as it was.
        if (!sequenceCopied && !sequenceKept) {
            ShowWarning(
                SaveFailure("Error: Can't create a new file", save.Failure(), kSaveCompanionKept));
            sequenceKept = true;
        }
        if (version == "0.1") {
            optionsWritten = StageKept(save, optName, staged.Options, [&](BinWriter& out) {
                WriteOptRecord(out, CaptureOptRecord(st, ProgramDir().string()));
            });
            if (!optionsWritten) {
                ShowWarning(SaveFailure("Error: Can't create a new file", save.Failure(),
                                        kSaveCompanionKept));
                optionsKept = true;
            }
        }
    }
    const std::string detName = CompanionName(base, ".det");
    const bool detectorWritten =
        StageKept(save, detName, staged.Detector, [&](BinWriter& out) { EncodeDetFile(out, st); });
    if (!detectorWritten)
        ShowWarning(
            SaveFailure("Error: Can't create a new file", save.Failure(), kSaveDetectorLeftOut));
    const std::string txtName = CompanionName(base, ".txt");
    // The table belongs to the project: a save that cannot write it ends.
    // Companions are written straight into their temporaries (a writer that
    // saves through a temporary of its own would leave one no sweep knows).
    if (st.cbComplex && !StageKept(save, txtName, staged.Table, [&](BinWriter& out) {
            const std::string text = ComplexFileText(st.TxtTable, st.Composition);
            out.Bytes(text.data(), static_cast<std::int64_t>(text.size()));
        }))
        return cantCreate("Error: Can't create new file");
    const ProjectImage image = CaptureProject(st);
    if (!StageKept(save, base, staged.Project,
                   [&](BinWriter& out) { WriteProjectImage(out, image); }))
        return cantCreate("Error: Cannott Create a New SNA File!");
    // From here to the commit no other save changes the folder: which files
    // lie beside the project and which go is decided under the set's lock.
    // What the lock's settle of a dead save set aside is named however the
    // save ends.
    std::vector<std::string> setAside;
    const auto failed = [&](const Exception& e) {
        WarnSetAside(setAside);
        const auto* commit = dynamic_cast<const SaveCommitFailed*>(&e);
        if (!commit) ThrowError(SaveFailure(e.Message(), "", onDisk));
        std::string kept;
        for (const std::string& k : commit->Kept) kept += (kept.empty() ? "" : ", ") + k;
        ThrowError(SaveFailure(
            e.Message(), commit->File + ": " + commit->Reason,
            commit->Kept.empty() ? onDisk : kSaveNotRestored + kept + "\n" + kSavePreviousKept));
    };
    try {
        save.Lock();
    } catch (const Exception& e) {
        failed(e);
    }
    setAside = save.SetAside();
    const bool replacing = FileExists(base);
    onDisk = OnDisk(replacing);
    // A project that another program saved under this name after the caller
    // looked (and asked before replacing one) is not replaced unasked.
    if (replacing && !existed) {
        save.Discard();
        ShowWarning(SaveFailure(kSaveNameTaken, base, onDisk));
        WarnSetAside(setAside);
        return false;
    }
    // Each companion beside the project as the open finds it, whatever the
    // case of its extension.
    const auto beside = [&](std::string& member, const char* ext) {
        if (member.empty()) member = FindCompanion(base, ext);
    };
    beside(staged.Composition, ".cmp");
    beside(staged.Sequence, ".psq");
    beside(staged.Options, ".opt");
    beside(staged.Detector, ".det");
    beside(staged.Table, ".txt");
    // A twin of a companion that goes would be read in its place by the next
    // open: such a save is refused (the journal removes one spelling).
    std::string twin;
    const auto removal = [&](std::string& member) {
        if (member.empty()) return;
        const std::string other = OtherSpelling(member);
        if (twin.empty() && !other.empty() &&
            (LowerFileExt(other) != ".txt" || IsComplexTableFile(other)))
            twin = other;
        save.StageRemoval(member);
        member.clear();
    };
    // A sequence of an earlier save of the project (and the options of an
    // older one) would be taken as this run's: it goes with the commit.
    if (replacing && !sequenceCopied && !sequenceKept) removal(staged.Sequence);
    if (replacing && !optionsWritten && !optionsKept && !sequenceKept) removal(staged.Options);
    if (!detectorWritten) removal(staged.Detector);
    // Opening switches complexation on whenever a table lies beside the
    // project: a project saved without it loses the table of an earlier save
    // (in the commit). A text file that holds no table (the user's notes of
    // the same name) is left as it is.
    if (!st.cbComplex && !staged.Table.empty() && IsComplexTableFile(staged.Table))
        removal(staged.Table);
    if (!twin.empty()) {
        save.Discard();
        ShowWarning(SaveFailure(kSaveTwinCompanion, twin, onDisk));
        WarnSetAside(setAside);
        return false;
    }
    // The staged set is read as an open reads it: a set the open refuses is
    // not written, and the project beside it stays as it was.
    std::string refusal;
    try {
        refusal = ProjectSetRefusal(st, staged, st.cbComplex);
    } catch (const std::bad_alloc&) {
        // The files may well open where the run is not held beside them.
        save.Discard();
        ShowWarning(SaveFailure(kSaveCheckOutOfMemory, "", onDisk));
        WarnSetAside(setAside);
        return false;
    }
    if (!refusal.empty()) {
        save.Discard();
        ShowWarning(SaveFailure(kSaveWouldNotOpen, base + ": " + refusal, onDisk));
        WarnSetAside(setAside);
        return false;
    }
    try {
        save.Commit();
    } catch (const Exception& e) {
        failed(e);
    }
    if (sequenceCopied) st.PsqSize = FileSizeByName(st.PsqFile);
    st.FileName = name;
    WarnSetAside(setAside);
    return true;
}

}  // namespace

bool SaveSnaFile(RunState& st, const std::string& chosen, bool replaceConfirmed)
{
    const bool existed = FileExists(SaveTargetName(ProjectSaveName(chosen)));
    try {
        return SaveProjectFiles(st, chosen, replaceConfirmed, existed);
    } catch (const SaveCommitFailed& e) {
        // A file that could not be written while the save was staged (a full disk).
        ThrowError(SaveFailure(e.Message(), e.File + ": " + e.Reason, OnDisk(existed)));
    }
}

namespace {

// The effects-table copy and the switches of a project of version "1.1".
void ApplyEffectsCopy(RunState& st, const ProjectImage& im)
{
    st.cbDcH = im.cbDcH;
    st.cbChrom = im.cbChrom;
    st.cbLE = im.cbLE;
    st.cbRE = im.cbRE;
    st.TableEdge.clear();
    st.TableRows.clear();
    st.cbS = st.cbH = st.cbMix = st.cbT = st.cbSvol = st.cbEOF = false;
    st.SegCount = im.SegCount;
    st.cbS = im.cbS;
    st.cbH = im.cbH;
    st.cbMix = im.cbMix;
    st.cbT = im.cbT;
    st.rbD = im.rbD;
    st.rbH = im.rbH;
    st.sbData_Visible = im.SegCount >= 1;
    if (im.SegCount >= 1) {
        const int k = im.SegCount;
        const int rows = im.RowCount;
        st.TableEdge.assign(12, 0.0);
        st.TableRows.assign(12, std::vector<double>(static_cast<std::size_t>(k) + 1, 0.0));
        // Rows the file does not hold take the effects window's defaults
        // (table-copy row r is grid row r - 1), in display units.
        const EffectsDefaults defaults = EffectsRowDefaults(st);
        for (int r = 3; r <= kTableRows; ++r)
            st.TableEdge[r] = r <= rows ? im.Edges[r - 3] : DisplayDefault(defaults, 0);
        for (int r = 2; r <= kTableRows; ++r)
            for (int s = 1; s <= k; ++s)
                st.TableRows[r][s] = r <= rows
                                         ? im.Cells[static_cast<std::size_t>(r - 2) * k + (s - 1)]
                                         : DisplayDefault(defaults, r - 1);
    }
    ModesFileBlockRead(st);
}

// Puts a project of the current layouts into the state (the profiles go to level 2).
bool ApplyCurrentProject(RunState& st, const ProjectFiles& files, const std::string& name)
{
    const ProjectImage& im = files.Image;
    ApplyRunSetupBlock(st, im.Block, false);
    if (im.Version == "1.1") ApplyEffectsCopy(st, im);

    // The arrays of the loaded composition and geometry.
    InitForLoader(st);
    const int c = st.NComp;
    // A sequence of another system (a stale companion) could not be continued.
    if (!st.PsqFile.empty() && !PsqFitsRun(st, st.PsqFile)) {
        ResetPsqFile(st, st.PsqFile);
        st.PsqSize = FileSizeByName(st.PsqFile);
    }

    st.RunStart = im.RunStart;
    st.SpentTime = im.SpentTime;
    st.StepCount = im.StepCount;
    st.NewtonItTotal = im.NewtonItTotal;
    st.GlobalRatio = st.StepCount != 0 ? static_cast<double>(st.NewtonItTotal) / st.StepCount : 0.0;
    const int nn = st.NX + 1;
    for (int i = 1; i <= c; ++i)
        std::copy_n(im.Profiles.data() + static_cast<std::size_t>(i - 1) * nn, nn, st.Arr.C(2, i));
    std::copy_n(im.HProfile.data(), nn, st.Arr.CH(2));
    ApplyGraphChecks(st, im.GraphChecks);
    RunSeries& s = st.Series;
    for (int k = 0; k < c + 4 && k < static_cast<int>(s.clbDet.size()); ++k)
        s.clbDet[k].checked = im.DetChecks[k];

    st.Loading = false;
    st.FileName = name;
    ApplyDetector(st.Series, files);

    RecalcLoadedProfiles(st, [&] {
        RecalcProfiles(st, 2);
        st.PsqStarted = false;
    });
    CheckSavesAgain(st);
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    return true;
}

// Puts a decoded project into the run state: the New command, the composition
// and complexation table, the sequence, then the project of its layout.
bool ApplyProject(RunState& st, ProjectFiles& files, const std::string& name)
{
    st.Loading = true;
    // New asks the guard of every rebuild: a refused one leaves the run as it was.
    if (!RunNewCommand(st)) {
        st.Loading = false;
        return false;
    }
    st.Stop = false;
    st.Running = false;
    st.CompInit.Empty();
    MergeComposition(st.Composition, files.Composition, true);
    // Complexation mode is on exactly when the table beside the project was taken.
    st.cbComplex = files.Table.has_value();
    if (files.Table) TakeComplexTable(st, std::move(*files.Table), st.Composition);
    st.host().SetStatusText("Loading data ...");
    TransferSequence(st, files);
    return files.Legacy ? ApplyLegacyProject(st, files, name)
                        : ApplyCurrentProject(st, files, name);
}

// A state beside `st` to open a project into: the program's settings that an
// open keeps (solver, options, display, the windows' switches), nothing of the
// run (lists, arrays, chart series), no temporary sequence and no link to the
// windows, the host or the recorder (the file hooks give it their headless
// routines).
std::unique_ptr<RunState> ScratchStateOf(const RunState& st)
{
    auto scratch = std::make_unique<RunState>();
    RunState& s = *scratch;
    s.modeFlags() = st.modeFlags();
    s.programFlags() = st.programFlags();
    s.geometry() = st.geometry();
    s.params() = st.params();
    s.solver() = st.solver();
    s.results() = st.results();
    s.XScale = st.XScale;
    s.CondScale = st.CondScale;
    s.ZeroPosNode = st.ZeroPosNode;
    s.Options = st.Options;
    s.mainSwitches() = st.mainSwitches();
    s.runSetup() = st.runSetup();
    s.options() = st.options();
    s.micellar() = st.micellar();
    s.effects() = st.effects();
    s.windows() = st.windows();
    s.Statics = st.Statics;
    return scratch;
}

SaveCheckWatch gSaveCheckWatch = nullptr;

// Opens the project read into `files` (named `name`) as an open does, in a
// scratch state beside `st`: the New command, Init and the recalculation of
// the loaded profiles included. Raises as the open raises; `st` stays as it
// was.
void OpenInScratchState(const RunState& st, ProjectFiles& files, const std::string& name)
{
    const std::unique_ptr<RunState> scratch = ScratchStateOf(st);
    if (gSaveCheckWatch) gSaveCheckWatch();
    ApplyProject(*scratch, files, name);
}

// Opens a project in three steps: the project file and its companions are
// read and checked whole, then the run state takes them. `applying` tells a
// caller that catches an exception whether the run state had begun to change.
bool ReadProject(RunState& st, const std::string& name, bool& applying)
{
    applying = false;
    if (LowerFileExt(name) != ".sna") {
        if (!FileExists(name)) ShowWarning("File \"" + name + "\" not found.");
        return false;
    }
    st.host().SetStatusText("Loading data ...");
    st.host().ProcessMessages();
    ProjectFiles files;
    if (!LoadProjectFiles(name, files)) return false;
    // The open replaces the run: refused, with nothing changed, while a run,
    // an Init or a preview holds it.
    if (RebuildRefusedFor(st)) return false;
    applying = true;
    const bool opened = ApplyProject(st, files, name);
    if (opened && !files.Notes.empty()) ShowWarning(kProjectNotesNoTable + files.Notes);
    return opened;
}

std::string OpenFailureMessage(const std::string& name, const std::string& message)
{
    return "Warning: While Opening SNA file '" + name + "' Error Message Occur: " + message;
}

}  // namespace

SaveCheckWatch SetSaveCheckWatch(SaveCheckWatch watch)
{
    return std::exchange(gSaveCheckWatch, watch);
}

bool ReadSnaFile(RunState& st, const std::string& name)
{
    bool applying = false;
    return ReadProject(st, name, applying);
}

namespace {

// Whether the project `project` lies there: its file or the journal of a save of it.
bool ProjectThere(const std::string& project)
{
    return FileExists(project) || FileExists(SaveJournalName(SaveTargetName(project)));
}

// The project of the companion `name`: its stem with ".sna" in any case, the
// one whose file or journal lies there (".sna" when none does).
std::string ProjectOfCompanion(const std::string& name)
{
    const std::string project = FindCompanion(name, ".sna", ProjectThere);
    return project.empty() ? ChangeFileExt(name, ".sna") : project;
}

}  // namespace

bool ProjectBesideCompanion(const std::string& name)
{
    return ProjectThere(ProjectOfCompanion(name));
}

std::string SettleProjectSaveOf(const std::string& name)
{
    const std::string journal = SaveJournalName(SaveTargetName(ProjectOfCompanion(name)));
    for (int wait = 1;; ++wait) {
        const SettledSet set = SettleSaveSet(journal);
        WarnSetAside(set.SetAside);
        if (!set.Running) {
            if (set.Unsettled.empty()) return name;
            const std::string source = set.Source(SaveTargetName(name));
            if (source.empty()) ThrowError("File \"" + name + "\" not found.");
            ShowWarning(UnsettledSaveText(set));
            return source == SaveTargetName(name) ? name : source;
        }
        if (wait == kSaveWaits) ThrowError(kSaveInProgress + name);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool OpenComposition(RunState& st, const std::string& name)
{
    st.host().SetStatusText("Loading data ...");
    st.host().ProcessMessages();
    TUnivSet<TComponents> loaded;
    bool read = false;
    try {
        read = LoadCompositionFile(SettleProjectSaveOf(name), loaded);
    } catch (const std::exception& e) {
        st.Events.Emit(EngineEventKind::UpdateMainInfo);
        throw OpenRefused(OpenFailureMessage(name, e.what()));
    }
    if (read) {
        st.Stop = false;
        st.Running = false;
        // The constituents of the last Init go; Run waits for the next Init.
        st.CompInit.Empty();
        MergeComposition(st.Composition, loaded, st.rbSet);
        if (st.Initialised) st.CompChanged = true;
    }
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    return read;
}

bool OpenProject(RunState& st, const std::string& name)
{
    // A name of another kind (a composition) opens through its own entry of
    // the opener table.
    if (const FileOpenerEntry* e = FindFileOpener(name); e && e->Open != &OpenProject)
        return e->Open(st, name);
    // The geometry in use before the open: a failed open goes back to it, not
    // to the geometry of the file it refused.
    const int nx = st.NX;
    const double capLength = st.CapLength, peakWidth = st.PeakWidth, edgeWidth = st.PeakEdgeWidth,
                 injSite = st.InjSite;
    bool applying = false;
    try {
        const bool opened = ReadProject(st, name, applying);
        st.Events.Emit(EngineEventKind::UpdateMainInfo);
        return opened;
    } catch (const std::exception& e) {
        const std::string message = e.what();
        // A file refused before the run state took anything leaves it as it was.
        if (!applying) {
            st.Events.Emit(EngineEventKind::UpdateMainInfo);
            throw OpenRefused(OpenFailureMessage(name, message));
        }
        st.Stop = false;
        st.Running = false;
        FreeEngineArrays(st);
        st.NX = nx;
        st.CapLength = capLength;
        st.PeakWidth = peakWidth;
        st.PeakEdgeWidth = edgeWidth;
        st.InjSite = injSite;
        RunResetState(st);
        // The fresh state does not take the refused project's complexation.
        st.cbComplex = false;
        // A geometry no run can be built on is replaced by the default one.
        if (st.NX < kMinNodes || st.NX > 10000000 || !(st.CapLength > 0) ||
            !std::isfinite(st.CapLength)) {
            st.NX = st.NXPending = 1000;
            st.CapLength = st.CapLengthPending = 0.025;
            st.PeakWidth = st.PeakWidthPending = 2.0;
            st.PeakEdgeWidth = st.PeakEdgeWidthPending = 0.5;
            st.InjSite = st.InjSitePending = 3.0;
            st.LeftWall = 0;
            st.RightWall = st.NX;
        }
        st.Loading = true;
        try {
            (void)RunInitCommand(st);
        } catch (...) {
        }
        st.Loading = false;
        st.Events.Emit(EngineEventKind::UpdateMainInfo);
        ThrowError(OpenFailureMessage(name, message));
    }
}
