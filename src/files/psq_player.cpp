#include "files/psq_player.h"

#include "composition/cmp_file.h"
#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/init_calc.h"
#include "engine/step/recalc.h"
#include "files/complex_file.h"
#include "files/file_hooks.h"
#include "files/openers.h"
#include "files/opt_file.h"
#include "files/sna_file.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr const char* kIncorrectPsq = "Incorrect PSQ file.";
constexpr const char* kIncorrectCmp =
    "Incorrect CMP file to load system data - load CMP file before INIT or START!";
constexpr int kMinPsqNodes = 10;
// Largest system a sequence may describe (nodes, constituents of the panel).
constexpr std::int64_t kMaxPsqNodes = 10000000;
constexpr std::int64_t kMaxPsqConstituents = 2048;
constexpr double kPi = 3.14159265358979323846;

// Distinct chart colours (0x00BBGGRR) for constituents made up from nothing.
constexpr int kPlaceholderColours[] = {0x0000FF, 0x008000, 0xFF0000, 0x800080, 0x008080,
                                       0x808000, 0x000080, 0x0080FF, 0xFF8000, 0x404040};

// Injection site in mm of a header ("0.1" files store the node).
double HeaderInjSite(const PsqHeader& h)
{
    if (h.Version != "0.1") return h.InjSite;
    return std::nearbyint(h.InjSite) * 1000.0 / h.N * h.CapLength;
}

// The header of an open file, checked: a header that cannot be read in full,
// of another kind, or describing no possible system raises "Incorrect PSQ file.".
PsqHeader CheckedHeader(KFile& f, std::int64_t size)
{
    PsqHeader h;
    try {
        if (f.Seek(0, 0) != 0) ThrowError(kIncorrectPsq);
        BinReader in(f, size);
        h = ReadPsqHeader(in);
    } catch (const Exception&) {
        ThrowError(kIncorrectPsq);
    }
    const bool finite = AllFinite({h.CapLength, h.PeakWidth, h.PeakEdgeWidth, h.InjSite});
    if (h.Version.empty() || h.N < kMinPsqNodes || h.C < 1 || !(h.CapLength > 0) || !finite ||
        h.N > kMaxPsqNodes || h.C > kMaxPsqConstituents)
        ThrowError(kIncorrectPsq);
    // The geometry goes into the run: within the limits the project reader applies.
    if (!GeometryValid(h.N, h.CapLength, h.PeakWidth, h.PeakEdgeWidth, HeaderInjSite(h)))
        ThrowError(kIncorrectPsq);
    const std::int64_t frame = PsqFrameSize(h.Version, h.N, h.C, h.Micelles);
    if (frame <= 0 || frame > INT32_MAX) ThrowError(kIncorrectPsq);
    return h;
}

// Neutral constituents "Component 1" ... "Component C" for a sequence without
// a fitting composition.
TUnivSet<TComponents> PlaceholderComposition(int count)
{
    TUnivSet<TComponents> list;
    for (int k = 1; k <= count; ++k) {
        const int colour = kPlaceholderColours[(k - 1) % std::size(kPlaceholderColours)];
        list.Add(TComponents::Uniform("Component " + std::to_string(k), 0, 0, {0.0}, {0.0}, 0, 0.0,
                                      0.0, colour));
    }
    return list;
}

// `count` values of a frame; one that is not a finite number raises "Incorrect file.".
std::vector<double> FiniteValues(BinReader& in, std::int64_t count)
{
    std::vector<double> values = in.Doubles(count);
    in.Check(AllFinite(values));
    return values;
}

// Puts the geometry of a checked header into the run state; with `pending`
// (a rebuilt engine) also into the edited values, otherwise only the legacy
// injection site goes there.
void ApplyHeaderGeometry(RunGeometry& g, const PsqHeader& h, bool pending)
{
    g.NX = h.N;
    g.CapLength = h.CapLength;
    g.PeakWidth = h.PeakWidth;
    g.PeakEdgeWidth = h.PeakEdgeWidth;
    g.InjSite = HeaderInjSite(h);
    if (pending) {
        g.NXPending = g.NX;
        g.CapLengthPending = g.CapLength;
        g.PeakWidthPending = g.PeakWidth;
        g.PeakEdgeWidthPending = g.PeakEdgeWidth;
    }
    if (pending || h.Version == "0.1") g.InjSitePending = g.InjSite;
}

// Field strength from the current and the conductivity of a node, kV/m (0
// where the conductivity is not positive).
double FieldOf(const RunState& st, double kappa)
{
    const double d = st.CapDiameter;
    if (!(kappa > 0) || !(d > 0)) return 0.0;
    return st.I / kappa * 0.001 / kPi / d / d * 4.0;
}

// Shows a frame: the state part into the run state, the profiles into the
// chart data (the concentrations of the run are not changed).
void ApplyPsqFrame(RunState& st, const PsqFrame& fr, const PsqHeader& h)
{
    const bool legacy = h.Version == "0.1";
    if (legacy) {
        st.Time = fr.Time;
        st.DT = fr.DT;
        st.StepError = fr.StepError;
        st.ErrOpt = fr.ErrOpt;
        st.I = fr.I;
        st.U = fr.U;
        st.MaxError = fr.MaxError;
        st.StopTime = fr.StopTime;
        st.MaxCorrChange = fr.MaxCorrChange;
        st.LeftWall = std::clamp<int>(fr.LeftWall, 0, st.NX);
        st.RightWall = std::clamp<int>(fr.RightWall, 0, st.NX);
    } else {
        ApplyRunSetupBlock(st, fr.Block, true);
        st.RunStart = fr.RunStart;
        st.SpentTime = fr.SpentTime;
    }
    st.StepCount = fr.StepCount;
    st.NewtonItTotal = fr.NewtonItTotal;
    st.Events.Emit(EngineEventKind::DrawDetectorLine);
    st.GlobalRatio = st.StepCount != 0 ? static_cast<double>(st.NewtonItTotal) / st.StepCount : 0.0;

    const int nn = h.N + 1;
    RunSeries& s = st.Series;
    // The abscissae in the unit the chart shows now (it may have changed
    // since the last frame).
    for (ChartSeries* p : {&s.sr_pH, &s.sr_conductivity}) {
        p->Clear();
        for (int j = 0; j < nn; ++j) p->Add(NodeX(st, j), 0.0);
    }
    for (int j = 0; j < nn; ++j) {
        s.sr_pH.y[j] = fr.PH[j] + (legacy ? 3.0 : 0.0);
        s.sr_conductivity.y[j] = fr.Kappa[j] * st.CondScale;
    }
    EngineArrays& a = st.Arr;
    for (int k = 1; k <= h.C; ++k)
        std::copy_n(fr.C.data() + static_cast<std::size_t>(k - 1) * nn, nn, a.DrawnProfile[k]);
    if (legacy) {
        // Older sequences carry no micelles: in micellar mode they follow from
        // the surfactant's profile of the frame, unless the micellar window
        // ignores what files bring.
        ModesSequenceFrame(st, nn, nullptr, nullptr);
        return;
    }
    std::copy_n(fr.H.data(), nn, a.CH(2));
    // The recorded micelles and the micelle-bound constituent.
    if (h.Micelles) ModesSequenceFrame(st, nn, fr.Mic.data(), fr.MicBound.data());
    s.sr_E.Clear();
    for (int j = 0; j < nn; ++j) s.sr_E.Add(NodeX(st, j), FieldOf(st, fr.Kappa[j]));
}

// Writes the bytes of `source` from..to-1 at the running position of `out`.
void CopyRange(KFile& src, std::int64_t size, std::int64_t from, std::int64_t to, BinWriter& out)
{
    std::vector<char> buffer(1 << 16);
    std::int64_t at = from;
    if (src.Seek(from, 0) != from) ThrowError("Error: Can't read from file");
    while (at < to) {
        const std::int64_t n =
            std::min<std::int64_t>(to - at, static_cast<std::int64_t>(buffer.size()));
        FileReadChecked(src, buffer.data(), n, size, at);
        out.Bytes(buffer.data(), n);
    }
}

}  // namespace

PsqFrame ReadPsqFrame(KFile& f, std::int64_t limit, std::int64_t pos, const PsqHeader& h)
{
    PsqFrame fr;
    const std::int64_t nn = static_cast<std::int64_t>(h.N) + 1;
    const std::int64_t frameSize = PsqFrameSize(h.Version, h.N, h.C, h.Micelles);
    if (frameSize <= 0) ThrowError("Incorrect file.");
    BinReader in(f, limit, pos);
    in.Require(frameSize);
    if (f.Seek(pos, 0) != pos) ThrowError("Error: Can't read from file");
    if (h.Version == "0.1") {
        for (double* v : {&fr.Time, &fr.DT, &fr.StepError, &fr.ErrOpt, &fr.I, &fr.U, &fr.MaxError,
                          &fr.StopTime})
            *v = in.Double();
        fr.StepCount = in.Int32();
        fr.NewtonItTotal = in.Int32();
        fr.MaxCorrChange = in.Double();
        fr.LeftWall = in.Int32();
        fr.RightWall = in.Int32();
        in.Check(AllFinite({fr.Time, fr.DT, fr.StepError, fr.ErrOpt, fr.I, fr.U, fr.MaxError,
                            fr.StopTime, fr.MaxCorrChange}));
        // The run values the project reader checks, with the same limits.
        in.Check(fr.Time >= 0 && fr.DT > 0 && fr.ErrOpt > 0 && fr.StopTime > 0);
    } else {
        fr.Block = ReadRunSetupBlock(in, true);
        fr.RunStart = in.Double();
        fr.SpentTime = in.Double();
        fr.StepCount = in.Int32();
        fr.NewtonItTotal = in.Int32();
        in.Check(AllFinite({fr.RunStart, fr.SpentTime}));
    }
    in.Check(fr.StepCount >= 0 && fr.NewtonItTotal >= 0);
    fr.PH = FiniteValues(in, nn);
    fr.Kappa = FiniteValues(in, nn);
    fr.C = FiniteValues(in, nn * h.C);
    // Use puts the profiles into the run: none the project reader would refuse.
    in.Check(StoredConcentrationsTaken(fr.C));
    if (h.Version == "0.1") return fr;
    fr.H = FiniteValues(in, nn);
    in.Check(StoredHydrogenTaken(fr.H));  // hydrogen-ion concentrations start the run's equilibrium
    if (h.Micelles) {
        fr.Mic = FiniteValues(in, nn);
        in.Int32();  // number of the constituent of the next row
        fr.MicBound = FiniteValues(in, nn);
    }
    return fr;
}

std::vector<int> ReducedFrames(int count, int p)
{
    std::vector<int> kept;
    if (p < 2) {
        for (int k = 1; k <= count; ++k) kept.push_back(k);
        return kept;
    }
    for (int k = 1; k <= count; ++k)
        if (k % p != 0 || k > count / p * p) kept.push_back(k);
    return kept;
}

bool NextPlayFrame(int& current, int step, int count)
{
    current += step;
    if (current <= count) return true;
    if (current - step >= count) return false;
    current = count;
    return true;
}

PsqPlayer::PsqPlayer(RunState& st) : st_(st)
{
    ResetPlayer();
}

std::string PsqPlayer::DelayText() const
{
    return FormatFloat("0.####", RoundD(Delay, 10));
}

bool PsqPlayer::ReloadNeeded() const
{
    return st_.PsqPlayerReloadNeeded;
}

void PsqPlayer::SetBusy(bool busy)
{
    Busy = busy;
    st_.PsqPlayerInUse = Busy || KeepPlaying;
}

void PsqPlayer::SetPlaying(bool playing)
{
    KeepPlaying = playing;
    st_.PsqPlayerInUse = Busy || KeepPlaying;
}

void PsqPlayer::ForgetFile()
{
    CurrentFrame = StartFrame = FrameCount = 1;
    drawnFrame_ = 0;
    FileName.clear();
    FileOpened = false;
}

void PsqPlayer::ResetPlayer()
{
    ForgetFile();
    FrameSize = 1;
    HeaderSize = 0;
    SingleFrame = false;
    SetBusy(false);
    SetPlaying(false);
    st_.PsqPlayerReloadNeeded = true;
    Controls();
}

bool PsqPlayer::PlayPsqFile(const std::string& name)
{
    RunState& st = st_;
    // Rebuilding the arrays or showing frames under a running loop, an Init or
    // a preview is refused, whether or not the sequence fits the run.
    if (RebuildRefusedFor(st)) return false;
    KFile f;
    OpenForReadingOrRaise(f, name, "PSQ file " + name + " not found.", "Error: Cannot Open File.");
    SetBusy(true);
    try {
        const std::int64_t size = f.Seek(0, 2);
        if (size < 0) ThrowError("Error: Cannot Open File.");
        if (size == 0) {
            f.Close();
            SetBusy(false);
            ForgetFile();
            return true;
        }
        // Everything about the file is known before the run state changes.
        const PsqHeader h = CheckedHeader(f, size);
        const std::int64_t frameSize = PsqFrameSize(h.Version, h.N, h.C, h.Micelles);
        // The writer appends whole frames only: a file whose frames are not
        // whole (cut short, or a header of another system) or that holds none
        // is no sequence to show. Which frames of a cut file are sound cannot
        // be known, so none is offered.
        const std::int64_t count = PsqFrameCount(size, h.HeaderSize, frameSize);
        if (count < 1 || count > INT32_MAX) ThrowError(kIncorrectPsq);
        // Every frame this call will show is read and checked whole before
        // the run state changes: a damaged later frame leaves no earlier one
        // in the run.
        if (count >= 1) {
            const int wanted = RequestedFrame > 0 ? RequestedFrame : StartFrame;
            int k = static_cast<int>(std::clamp<std::int64_t>(wanted, 1, count));
            try {
                do {
                    ReadPsqFrame(f, size, PsqFrameStart(size, count, frameSize, k), h);
                } while (!SingleFrame &&
                         NextPlayFrame(k, std::max(FrameStep, 1), static_cast<int>(count)));
            } catch (const Exception&) {
                ThrowError(kIncorrectPsq);
            }
        }
        const bool fits = st.Arr.Allocated() && st.Arr.Nn == h.N + 1 && st.Arr.NComp == h.C &&
                          st.NComp == h.C && st.Arr.DrawnProfile.Rows() > h.C && st.NX == h.N &&
                          st.CapLength == h.CapLength;
        if (!fits) st.PsqPlayerReloadNeeded = true;
        Version = h.Version;
        Micelles = h.Micelles;
        HeaderSize = h.HeaderSize;
        FrameSize = frameSize;
        FrameCount = static_cast<int>(count);

        if (ReloadNeeded()) {
            const std::string cmpName = CompanionName(name, ".cmp");
            TUnivSet<TComponents> comp;
            bool usable = false;
            if (FileExists(cmpName)) {
                try {
                    usable = LoadCompositionFile(cmpName, comp) && comp.Count() == h.C;
                } catch (const Exception&) {
                    usable = false;
                }
            }
            if (!usable) {
                ShowWarning(kIncorrectCmp);
                comp = PlaceholderComposition(h.C);
            }
            // The mode the sequence was recorded in: complexation when its
            // table lies beside it. A table Init would not take is refused
            // before anything of the current run changes.
            std::optional<ComplexTable> table;
            const std::string txtName = CompanionName(name, ".txt");
            if (FileExists(txtName) && IsComplexTableFile(txtName)) {
                table = ReadComplexTableFile(txtName);
                if (!ComplexSetupRefusal(*table, comp, false).empty()) ThrowError(kIncorrectPsq);
            }
            if (!RunNewCommand(st)) {
                f.Close();
                SetBusy(false);
                return false;
            }
            st.cbComplex = table.has_value();
            if (table) TakeComplexTable(st, std::move(*table), comp);
            ApplyHeaderGeometry(st, h, true);
            if (h.Version == "0.1") {
                const std::string optName = CompanionName(name, ".opt");
                if (FileExists(optName)) {
                    ReadOptFile(st, optName);
                }
                ApplyHeaderGeometry(st, h, true);
            }
            st.CompInit.Empty();
            st.Composition = comp;
            st.Events.Emit(EngineEventKind::UpdateMainInfo);
            st.Loading = true;
            st.LoadingPsq = true;
            const bool built = RunInitCommand(st);
            st.Initialised = false;
            st.Loading = false;
            if (!built || !st.Arr.Allocated() || st.NComp != h.C || st.Arr.Nn != h.N + 1 ||
                st.Arr.DrawnProfile.Rows() <= h.C) {
                // The fresh state does not keep the refused file's complexation.
                st.cbComplex = false;
                ThrowError(kIncorrectPsq);
            }
            st.PsqPlayerReloadNeeded = false;
        } else {
            st.LoadingPsq = true;
            ApplyHeaderGeometry(st, h, false);
        }

        if (RequestedFrame > 0) StartFrame = RequestedFrame;
        if (StartFrame > FrameCount) StartFrame = FrameCount;
        if (StartFrame < 1) StartFrame = 1;
        CurrentFrame = StartFrame;
        auto t0 = std::chrono::steady_clock::now();
        SetPlaying(true);
        // The player stays on the frame drawn: it moves on only to show the next.
        while (!ReloadNeeded() && FrameCount >= 1) {
            int k = std::clamp(CurrentFrame, 1, FrameCount);
            const std::int64_t at = PsqFrameStart(size, count, frameSize, k);
            CurrentFrame = k;
            const PsqFrame fr = ReadPsqFrame(f, size, at, h);
            ApplyPsqFrame(st, fr, h);
            drawnFrame_ = CurrentFrame;
            MicelleRow = fr.Mic;
            MicelleBoundRow = fr.MicBound;
            st.Events.Emit(EngineEventKind::UpdateMainInfo);
            st.Events.Emit(EngineEventKind::RefreshMicellar);
            if (FrameShown) FrameShown(CurrentFrame);
            Controls();
            st.host().ProcessMessages();
            if (ReloadNeeded()) {
                ShowWarning("Illegal operation - CMP dynamic arrays changed during process");
                break;
            }
            // A frame chosen meanwhile (scroll bar, frame edit, First, Last) is shown next.
            if (CurrentFrame != drawnFrame_) continue;
            if (!KeepPlaying || SingleFrame) break;
            if (Delay > 0 && CurrentFrame != FrameCount) {
                const auto until = t0 + std::chrono::duration<double>(Delay);
                std::this_thread::sleep_until(until);
                t0 = std::chrono::steady_clock::now();
            }
            if (!NextPlayFrame(CurrentFrame, FrameStep, FrameCount)) break;
        }
        if (CurrentFrame > FrameCount) CurrentFrame = FrameCount;
        Controls();
        st.host().ProcessMessages();
        f.Close();
        st.LoadingPsq = false;
        SetBusy(false);
        SetPlaying(false);
        return true;
    } catch (...) {
        SetPlaying(false);
        SetBusy(false);
        st.LoadingPsq = false;
        st.Loading = false;
        f.Close();
        throw;
    }
}

bool PsqPlayer::Open(const std::string& name)
{
    if (Busy || RebuildRefusedFor(st_)) return false;
    // A save of the project that died may have moved the sequence to its
    // backup: it is settled before the sequence is looked for.
    std::string source;
    try {
        source = SettleProjectSaveOf(name);
    } catch (const Exception& e) {
        ShowWarning(e.Message());
        return false;
    }
    if (!FileExists(source)) {
        ShowWarning("File \"" + name + "\" not found.");
        return false;
    }
    SingleFrame = false;
    StartFrame = 1;
    FileName = source;
    FileOpened = true;
    st_.PsqPlayerReloadNeeded = true;
    bool shown = false;
    try {
        shown = PlayPsqFile(source);
    } catch (...) {
        ForgetFile();
        Controls();
        throw;
    }
    if (!shown) ForgetFile();
    Controls();
    return FileOpened;
}

void PsqPlayer::Play()
{
    if (Busy) return;
    SingleFrame = false;
    StartFrame = CurrentFrame;
    if (FileOpened) PlayPsqFile(FileName);
    Controls();
}

void PsqPlayer::StopPlaying()
{
    SetPlaying(false);
    Controls();
}

void PsqPlayer::ShowSingle(int frame, int start)
{
    if (Busy) return;
    SingleFrame = true;
    bool shown = true;
    try {
        if (FileOpened) shown = PlayPsqFile(FileName);
    } catch (...) {
        SingleFrame = false;
        throw;
    }
    SingleFrame = false;
    if (shown) return;
    CurrentFrame = frame;
    StartFrame = start;
    Controls();
}

void PsqPlayer::First()
{
    SetPlaying(false);
    const int frame = CurrentFrame, start = StartFrame;
    CurrentFrame = StartFrame = 1;
    Controls();
    ShowSingle(frame, start);
}

void PsqPlayer::Last()
{
    SetPlaying(false);
    const int frame = CurrentFrame, start = StartFrame;
    CurrentFrame = StartFrame = FrameCount;
    Controls();
    ShowSingle(frame, start);
}

void PsqPlayer::ShowFrame(int frame)
{
    const int shown = CurrentFrame, start = StartFrame;
    CurrentFrame = frame;
    Controls();
    if (Busy) return;
    StartFrame = CurrentFrame;
    ShowSingle(shown, start);
}

bool PsqPlayer::EditFrame(const std::string& text)
{
    int k = 0;
    if (!ReadInt(text, k) || k < 1 || k > FrameCount) {
        Controls();
        return false;
    }
    RequestedFrame = 0;
    ShowFrame(k);
    return true;
}

bool PsqPlayer::EditStep(const std::string& text)
{
    int k = 0;
    const bool ok = ReadInt(text, k) && k >= 1;
    if (ok) FrameStep = k;
    Controls();
    return ok;
}

bool PsqPlayer::EditDelay(const std::string& text)
{
    double d = 0;
    const bool ok = ReadDouble(text, d) && d >= 0 && d <= 10;
    if (ok) Delay = d;
    Controls();
    return ok;
}

bool PsqPlayer::Use()
{
    RunState& st = st_;
    // The frame replaces the run: asked of the guard of every rebuild.
    if (RebuildRefusedFor(st)) return false;
    if (!FileOpened) {
        ShowWarning("No opened PSQ file");
        return false;
    }
    if (Busy) {
        ShowWarning("STOP playing PSQ file prior to do TAKE!");
        return false;
    }
    if (ReloadNeeded() || !st.Arr.Allocated() || st.Arr.DrawnProfile.Rows() <= st.NComp) {
        ShowWarning(
            "Dynamic array changed - it will be restored by clicking on PLAY, moving with scroll bar or "
            "inputing FRAME value.");
        return false;
    }
    // A file without whole frames has nothing to continue from.
    if (FrameCount < 1 || CurrentFrame < 1 || CurrentFrame > FrameCount) {
        ShowWarning("Out of frame range!");
        return false;
    }
    // The run takes the frame drawn and its sequence is cut after the frame
    // the player is on: they must be one, in the file as it is now.
    if (CurrentFrame != drawnFrame_) {
        ShowWarning(kPsqFrameNotShown);
        return false;
    }
    if (FileSizeByName(FileName) !=
        HeaderSize + static_cast<std::int64_t>(FrameCount) * FrameSize) {
        ShowWarning(kIncorrectPsq);
        return false;
    }
    st.Initialised = true;
    ++st.Statics.RunsReplaced;
    const int nn = st.Arr.Nn;
    for (int k = 1; k <= st.NComp; ++k) std::copy_n(st.Arr.DrawnProfile[k], nn, st.Arr.C(2, k));
    const bool stop = st.Stop;
    st.NumericalFailure = false;
    // The cross-sections follow the frame's capillary diameter, as they do
    // in the project saved afterwards when it is opened.
    SetDefaultCrossSections(st);
    RecalcProfiles(st, Version == "0.1" ? -1 : 2);
    // The run must hold what a saved project opens with again (the current
    // the frame's profiles give on its geometry is a finite number, and the
    // equilibrium and field of every node could be solved, as the project
    // reader asks): else it is not taken, and Init is needed before a run.
    if (st.NumericalFailure || !ProjectValuesValid(CaptureProject(st))) {
        st.NumericalFailure = false;
        st.Stop = stop;
        st.Initialised = false;
        ShowWarning(kIncorrectPsq);
        return false;
    }
    st.PsqStarted = false;
    st.PsqFile = st.PsqFileOwn;

    // The temporary sequence becomes the opened file cut after the shown frame,
    // replaced only by a complete copy; its composition goes beside it.
    if (!st.PsqFile.empty()) {
        const std::int64_t keep = HeaderSize + static_cast<std::int64_t>(CurrentFrame) * FrameSize;
        const std::string part = st.PsqFile + ".part";
        std::int64_t copied = -1;
        try {
            copied = FileCopy(FileName, part, false, keep);
        } catch (const Exception&) {
            copied = -1;
        }
        if (copied != keep || !RenameFile(part, st.PsqFile)) {
            DeleteFile(part);
            ShowWarning("Error: Can't create a new file");
            ResetPsqFile(st, st.PsqFile);
        } else {
            WriteSequenceCompanions(st, st.PsqFile);
        }
        st.PsqSize = FileSizeByName(st.PsqFile);
    }

    st.DetectorView = false;
    st.Events.Emit(EngineEventKind::SetupGraph);
    RedrawGraph(st);
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    ResetPlayer();
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    st.Events.Emit(EngineEventKind::RefreshMicellar);
    return true;
}

bool PsqPlayer::CanReduce() const
{
    return !Busy && !KeepPlaying && FrameCount >= 2 && !FileName.empty();
}

bool PsqPlayer::ReducePeriod(const std::string& text, int& period) const
{
    int p = 0;
    if (text.empty() || text == " " || !ReadInt(text, p) || p < 2 || p > FrameCount) return false;
    period = p;
    return true;
}

bool PsqPlayer::ReduceSize(int p, const std::string& target)
{
    if (!CanReduce() || p < 2 || p > FrameCount || target.empty()) return false;
    const std::string source = FileName;
    std::error_code ec;
    const bool inPlace = target == source || fs::equivalent(target, source, ec);
    // In place the frames the player counts change and frame 1 is shown: as
    // a frame command, asked of the guard first.
    if (inPlace && RebuildRefusedFor(st_)) return false;
    // The companions go along: the composition and, for a sequence recorded
    // in complexation mode, its table. Through a symbolic link they go beside
    // the file it points to.
    // A table at the target that the source lacks goes, or the reduced
    // sequence would open in complexation mode (an empty `from`).
    std::vector<std::pair<std::string, std::string>> companions;
    for (const char* ext : {".cmp", ".txt"}) {
        if (inPlace) break;
        const bool table = std::string(ext) == ".txt";
        std::string from = FindCompanion(source, ext);
        const std::string to = CompanionName(SaveTargetName(target), ext);
        if (!from.empty() && (from == to || fs::equivalent(from, to, ec))) continue;
        if (table && !from.empty() && !IsComplexTableFile(from)) from.clear();
        if (from.empty() && !(table && FileExists(to) && IsComplexTableFile(to))) continue;
        companions.emplace_back(from, to);
    }
    // Another project's companions are replaced only after the question; a
    // No writes nothing.
    if (ProjectBesideCompanion(SaveTargetName(target)))
        for (const auto& [from, to] : companions)
            if (FileExists(to) && !ConfirmOverwrite(to)) return false;
    if (!MakeFileDirAsked(target, "Create New Directory?\n")) return false;
    KFile src;
    OpenForReadingOrRaise(src, source, "Error: Cannot Open File.", "Error: Cannot Open File.");
    const std::int64_t size = src.Seek(0, 2);
    // The file must still hold the frames the player counted.
    if (size != HeaderSize + static_cast<std::int64_t>(FrameCount) * FrameSize)
        ThrowError(kIncorrectPsq);
    const bool written = SaveFileAtomically(target, [&](BinWriter& out) {
        CopyRange(src, size, 0, HeaderSize, out);
        for (int k : ReducedFrames(FrameCount, p)) {
            const std::int64_t first = HeaderSize + static_cast<std::int64_t>(k - 1) * FrameSize;
            CopyRange(src, size, first, first + FrameSize, out);
        }
    });
    src.Close();
    if (!written) {
        ShowWarning("Error: Can't create a new file");
        return false;
    }
    for (const auto& [from, to] : companions) {
        if (from.empty()) {
            DeleteFile(to);
            continue;
        }
        const std::string part = to + ".part";
        if (FileCopy(from, part, false, 0) < 0 || !RenameFile(part, to)) {
            DeleteFile(part);
            ShowWarning("Error: Can't create a new file");
        }
    }
    if (inPlace) {
        // The player counts the frames of the file as it is now; none of them is drawn yet.
        FrameCount = static_cast<int>(ReducedFrames(FrameCount, p).size());
        CurrentFrame = StartFrame = 1;
        drawnFrame_ = 0;
        Controls();
        ShowFrame(1);
    }
    return true;
}
