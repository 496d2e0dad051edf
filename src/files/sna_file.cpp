#include "files/sna_file.h"

#include "composition/cmp_file.h"
#include "engine/diffusion_mode.h"
#include "engine/engine_arrays.h"
#include "engine/equilibrium.h"
#include "engine/init_calc.h"
#include "engine/recalc.h"
#include "engine/rk_start.h"
#include "engine/run_state.h"
#include "files/det_file.h"
#include "files/file_hooks.h"
#include "files/opt_file.h"
#include "files/psq.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kTableRows = 11;
constexpr int kMinNodes = 10;

const char* const kRestoreQuestion =
    "One or more constituents have been changed. You have to call INIT function or restore changed "
    "constituents.\nDo You want to RESTORE CHANGED CONSTITUENTS and continue? \nThis message should "
    "not be seen - inform authors please.";

std::string LowerExt(const std::string& name)
{
    std::string ext = fs::path(name).extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

// Default of table-copy row r (2..11) in display units, and of the edge
// column (mm), from the pending geometry.
double TableRowDefault(const RunState& st, int r)
{
    const double pi = 3.141592653589793;
    const double d = st.CapDiameter;
    switch (r) {
    case 2: return 1.0;                          // Ratio
    case 3: return d * 1e6;                      // ID (um)
    case 4: return pi * d * d * 0.25 * 1e9;      // S (1e-9 m2)
    case 5: return 1500.0;                       // hOA
    case 6: return d * 0.25 / 1500.0 * 1e9;      // p (1e-9 Km3/W)
    case 7: return 0.0;                          // Mix
    case 8: return st.Temperature - 273.15;      // T (C)
    case 9: return pi * d * d * 0.25 * 1e9;      // Svol (1e-9 m2)
    case 10: return 5.5;                         // pK of EOF
    case 11: return 50.0;                        // Max uEOF (1e-9)
    default: return 0.0;
    }
}

double EdgeDefault(const RunState& st)
{
    const double nx = st.NXPending > 0 ? st.NXPending : 1;
    const double edge = st.PeakEdgeWidthPending > 0 ? 0.001 * st.PeakEdgeWidthPending
                                                    : 20.0 * st.CapLengthPending / nx;
    return edge * 1000.0;
}

void WriteChecks(KFile& f, std::int64_t& pos, const std::vector<std::uint8_t>& checks)
{
    for (std::uint8_t c : checks) FileWriteBool(f, c != 0, pos);
}

std::vector<std::uint8_t> ChecksOf(const std::vector<CheckListItem>& items, int count)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count), 0);
    for (int k = 0; k < count && k < static_cast<int>(items.size()); ++k) out[k] = items[k].checked;
    return out;
}

std::vector<std::uint8_t> ReadChecks(KFile& f, std::int64_t limit, std::int64_t& pos, int count)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) out[k] = FileReadBool(f, limit, pos);
    return out;
}


// The contents of a project file of the older layout ("RAVO_CORE SNA FILE").
struct LegacyImage {
    std::int32_t NX = 0;
    double PeakWidth = 0, PeakEdgeWidth = 0, InjNode = 0, CapLength = 0;
    std::vector<double> Profiles;          // C x (N+1)
    std::vector<std::uint8_t> GraphChecks, DetChecks;   // C+2 each
    double Time = 0, RunStart = 0, SpentTime = 0;
    std::int32_t StepCount = 0, NewtonItTotal = 0;
    bool SetupChanged = false;
    bool SetupItemChanged[5] = {false, false, false, false, false};
};

LegacyImage ReadLegacyImage(KFile& f, std::int64_t limit, std::int64_t pos, int constituents)
{
    LegacyImage im;
    FileReadBool(f, limit, pos);   // Initialised: not used
    im.NX = FileReadInt32(f, limit, pos);
    im.PeakWidth = FileReadDouble(f, limit, pos);
    im.PeakEdgeWidth = FileReadDouble(f, limit, pos);
    im.InjNode = std::nearbyint(FileReadDouble(f, limit, pos));
    im.CapLength = FileReadDouble(f, limit, pos);
    if (im.NX < kMinNodes || !(im.CapLength > 0) || !std::isfinite(im.CapLength) || !std::isfinite(im.InjNode)) {
        f.Close();
        ThrowError("Incorrect file.");
    }
    const std::int64_t nn = static_cast<std::int64_t>(im.NX) + 1;
    const std::int64_t c = constituents;
    RequireBytes(f, 8 * c * nn + 2 * (c + 2) + 24 + 8 + 6, limit, pos);
    im.Profiles.resize(static_cast<std::size_t>(c * nn));
    FileReadDoubles(f, im.Profiles.data(), c * nn, limit, pos);
    im.GraphChecks = ReadChecks(f, limit, pos, constituents + 2);
    im.DetChecks = ReadChecks(f, limit, pos, constituents + 2);
    im.Time = FileReadDouble(f, limit, pos);
    im.RunStart = FileReadDouble(f, limit, pos);
    im.SpentTime = FileReadDouble(f, limit, pos);
    im.StepCount = FileReadInt32(f, limit, pos);
    im.NewtonItTotal = FileReadInt32(f, limit, pos);
    im.SetupChanged = FileReadBool(f, limit, pos);
    for (bool& b : im.SetupItemChanged) b = FileReadBool(f, limit, pos);
    std::string trailer;
    FileReadStringZ(f, trailer, limit, pos);   // not compared
    return im;
}

// Check states of the profile list with the series they switch.
void ApplyGraphChecks(RunState& st, const std::vector<std::uint8_t>& checks)
{
    RunSeries& s = st.Series;
    const int c = st.NComp;
    for (int k = 0; k < c + 2 && k < static_cast<int>(s.clbGraph.size()); ++k) s.clbGraph[k].checked = checks[k];
    s.sr_pH.active = checks[0] != 0;
    s.sr_conductivity.active = checks[1] != 0;
    for (int i = 1; i <= c && i < static_cast<int>(s.srComp.size()); ++i) s.srComp[i].active = checks[i + 1] != 0;
}

// Copies the sequence beside a project, asking before an existing one is
// replaced; the old copy is replaced only by a complete new one. Returns the
// bytes copied, -1 on failure, -2 when declined.
std::int64_t CopySequenceBeside(const std::string& source, const std::string& destination)
{
    if (FileExists(destination) && !Confirm("File " + destination + " exists. Overwrite?")) return -2;
    const std::string temp = destination + ".part";
    std::int64_t copied = -1;
    try {
        copied = FileCopy(source, temp, false, 0);
    } catch (...) {
        DeleteFile(temp);
        throw;
    }
    if (copied < 0 || !RenameFile(temp, destination)) {
        DeleteFile(temp);
        return -1;
    }
    return copied;
}

// True when the sequence file is empty or holds frames of the run's system.
bool PsqFitsRun(const RunState& st, const std::string& name)
{
    KFile f = KFile::Open(name, 0);
    if (!f.IsOpen()) return true;
    const std::int64_t size = f.Seek(0, 2);
    if (size <= 0) return true;
    try {
        const PsqHeader h = ReadPsqHeader(f, size);
        return !h.Version.empty() && h.N == st.NX && h.C == st.NComp && h.CapLength == st.CapLength;
    } catch (const Exception&) {
        return false;
    }
}

// Init for a loader: the arrays of the loaded composition and geometry must
// exist afterwards.
void InitForLoader(RunState& st)
{
    const bool built = InitCalc(st);
    if (!built || !st.Initialised || st.NComp != st.Composition.Count() || !st.Arr.Allocated() ||
        st.Arr.Nn != st.NX + 1)
        ThrowError("Incorrect file.");
}

// Puts an older project into the state (the profiles go to level 5).
bool ReadSnaLegacy(RunState& st, const LegacyImage& im, const std::string& name)
{
    const std::string optName = ChangeFileExt(name, ".opt");
    if (FileExists(optName)) {
        if (FileLayerHooks().ReadOptFile) FileLayerHooks().ReadOptFile(st, optName);
        else ReadOptFile(st, optName);
    }
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
    const std::string detName = ChangeFileExt(name, ".det");
    if (FileExists(detName)) ReadDetFile(st, detName);

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

    const int leftWall = st.LeftWall, rightWall = st.RightWall;
    st.LeftWall = 0;
    st.RightWall = st.NX;
    try {
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
    } catch (...) {
        st.LeftWall = leftWall;
        st.RightWall = rightWall;
        throw;
    }
    st.host().RedrawGraph();
    st.DetectorView = false;
    st.host().SetupGraph();
    st.LeftWall = leftWall;
    st.RightWall = rightWall;
    st.FileName = name;
    st.SavedDT = st.DT;
    st.SavedErrInc = st.ErrInc;
    EndDiffusionMode(st);
    st.host().UpdateMainInfo();
    return true;
}

} // namespace

ProjectImage CaptureProject(const RunState& st)
{
    ProjectImage im;
    im.Block = CaptureRunSetupBlock(st);
    im.cbDcH = st.cbDcH; im.cbChrom = st.cbChrom; im.cbLE = st.cbLE; im.cbRE = st.cbRE;
    const bool table = st.SegCount >= 1 && st.TableEdge.size() >= 12 && st.TableRows.size() >= 12;
    im.RowCount = kTableRows;
    im.SegCount = table ? st.SegCount : 0;
    im.cbS = st.cbS; im.cbH = st.cbH; im.cbMix = st.cbMix; im.cbT = st.cbT;
    im.rbD = st.rbD; im.rbH = st.rbH;
    if (table) {
        for (int r = 3; r <= kTableRows; ++r) im.Edges.push_back(st.TableEdge[r]);
        for (int r = 2; r <= kTableRows; ++r)
            for (int k = 1; k <= st.SegCount; ++k)
                im.Cells.push_back(k < static_cast<int>(st.TableRows[r].size()) ? st.TableRows[r][k] : -1.0);
    }
    im.RunStart = st.RunStart; im.SpentTime = st.SpentTime;
    im.StepCount = st.StepCount; im.NewtonItTotal = st.NewtonItTotal;
    const int nn = st.NX + 1;
    const int c = st.NComp;
    if (st.Arr.Allocated() && st.Arr.Nn == nn && st.Arr.NComp == c) {
        for (int i = 1; i <= c; ++i) im.Profiles.insert(im.Profiles.end(), st.Arr.C(2, i), st.Arr.C(2, i) + nn);
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

void WriteProjectImage(KFile& f, std::int64_t& pos, const ProjectImage& im)
{
    FileWriteString(f, "KELVO SNA FILE", pos, true);
    FileWriteString(f, im.Version, pos, true);
    WriteRunSetupBlock(f, pos, im.Block, false);
    if (im.Version == "1.1") {
        for (bool b : {im.cbDcH, im.cbChrom, im.cbLE, im.cbRE}) FileWriteBool(f, b, pos);
        FileWriteInt32(f, im.RowCount, pos);
        FileWriteInt32(f, im.SegCount, pos);
        for (bool b : {im.cbS, im.cbH, im.cbMix, im.cbT, im.rbD, im.rbH}) FileWriteBool(f, b, pos);
        if (im.SegCount > 0) {
            FileWriteDoubles(f, im.Edges.data(), static_cast<std::int64_t>(im.Edges.size()), pos);
            FileWriteDoubles(f, im.Cells.data(), static_cast<std::int64_t>(im.Cells.size()), pos);
        }
    }
    FileWriteDouble(f, im.RunStart, pos);
    FileWriteDouble(f, im.SpentTime, pos);
    FileWriteInt32(f, im.StepCount, pos);
    FileWriteInt32(f, im.NewtonItTotal, pos);
    FileWriteDoubles(f, im.Profiles.data(), static_cast<std::int64_t>(im.Profiles.size()), pos);
    FileWriteDoubles(f, im.HProfile.data(), static_cast<std::int64_t>(im.HProfile.size()), pos);
    WriteChecks(f, pos, im.GraphChecks);
    WriteChecks(f, pos, im.DetChecks);
    FileWriteString(f, "EOF", pos, true);
}

ProjectImage ReadProjectImage(KFile& f, std::int64_t limit, int constituents)
{
    ProjectImage im;
    std::int64_t pos = 0;
    f.Seek(0, 0);
    std::string kind;
    FileReadStringZ(f, kind, limit, pos);
    if (kind != "KELVO SNA FILE" || constituents < 0) {
        f.Close();
        ThrowError("Incorrect file.");
    }
    FileReadStringZ(f, im.Version, limit, pos);
    if (im.Version != "1.1" && im.Version != "1.0") {
        f.Close();
        ThrowError("Incorrect file.");
    }
    im.Block = ReadRunSetupBlock(f, limit, pos, false);
    if (im.Version == "1.0") im.Block.Temperature += 0.15;
    const RunSetupBlock& b = im.Block;
    if (b.NX < kMinNodes || !(b.CapLength > 0) || !std::isfinite(b.CapLength)) {
        f.Close();
        ThrowError("Incorrect file.");
    }
    if (im.Version == "1.1") {
        im.cbDcH = FileReadBool(f, limit, pos);
        im.cbChrom = FileReadBool(f, limit, pos);
        im.cbLE = FileReadBool(f, limit, pos);
        im.cbRE = FileReadBool(f, limit, pos);
        im.RowCount = FileReadInt32(f, limit, pos);
        im.SegCount = FileReadInt32(f, limit, pos);
        if (im.RowCount < 2 || im.RowCount > kTableRows || im.SegCount < 0) {
            f.Close();
            ThrowError("Incorrect file.");
        }
        im.cbS = FileReadBool(f, limit, pos);
        im.cbH = FileReadBool(f, limit, pos);
        im.cbMix = FileReadBool(f, limit, pos);
        im.cbT = FileReadBool(f, limit, pos);
        im.rbD = FileReadBool(f, limit, pos);
        im.rbH = FileReadBool(f, limit, pos);
        if (im.SegCount > 0) {
            const std::int64_t edges = im.RowCount - 2;
            const std::int64_t cells = static_cast<std::int64_t>(im.RowCount - 1) * im.SegCount;
            RequireBytes(f, (edges + cells) * 8, limit, pos);
            im.Edges.resize(static_cast<std::size_t>(edges));
            im.Cells.resize(static_cast<std::size_t>(cells));
            FileReadDoubles(f, im.Edges.data(), edges, limit, pos);
            FileReadDoubles(f, im.Cells.data(), cells, limit, pos);
        }
    }
    im.RunStart = FileReadDouble(f, limit, pos);
    im.SpentTime = FileReadDouble(f, limit, pos);
    im.StepCount = FileReadInt32(f, limit, pos);
    im.NewtonItTotal = FileReadInt32(f, limit, pos);
    const std::int64_t nn = static_cast<std::int64_t>(b.NX) + 1;
    const std::int64_t c = constituents;
    RequireBytes(f, 8 * (c + 1) * nn + (c + 2) + (c + 4), limit, pos);
    im.Profiles.resize(static_cast<std::size_t>(c * nn));
    im.HProfile.resize(static_cast<std::size_t>(nn));
    FileReadDoubles(f, im.Profiles.data(), c * nn, limit, pos);
    FileReadDoubles(f, im.HProfile.data(), nn, limit, pos);
    im.GraphChecks = ReadChecks(f, limit, pos, constituents + 2);
    im.DetChecks = ReadChecks(f, limit, pos, constituents + 4);
    std::string trailer;
    FileReadStringZ(f, trailer, limit, pos);   // not compared
    return im;
}

bool SaveSnaFile(RunState& st, const std::string& name)
{
    if (st.CompChanged) {
        if (!Confirm(kRestoreQuestion)) return false;
        st.Composition = st.CompInit;
        st.CompChanged = false;
    }
    st.host().SetStatusText("Saving data ...");
    st.host().ProcessMessages();
    const fs::path dir = fs::path(name).parent_path();
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec)) {
        if (!Confirm("Create New Directory?\n" + dir.string())) return false;
        fs::create_directory(dir, ec);
    }
    // The composition is required for opening: a save that cannot write it ends.
    if (!WriteComposition(st.Composition, ChangeFileExt(name, ".cmp")) && st.Composition.Count() > 0)
        return false;
    const std::string version = GetPsqFileVersion(st.PsqFile);
    if (version == "0.1" || version == "1.0") {
        if (CopySequenceBeside(st.PsqFile, ChangeFileExt(name, ".psq")) != -1)
            st.PsqSize = FileSizeByName(st.PsqFile);
        if (version == "0.1") {
            if (FileLayerHooks().WriteOptFile) FileLayerHooks().WriteOptFile(st, ChangeFileExt(name, ".opt"));
            else WriteOptFile(st, ChangeFileExt(name, ".opt"));
        }
    }
    WriteDetFile(st, ChangeFileExt(name, ".det"));
    if (st.cbComplex) {
        const std::string txtName = ChangeFileExt(name, ".txt");
        DeleteFile(txtName);
        if (FileLayerHooks().SaveComplexData) FileLayerHooks().SaveComplexData(st, txtName);
    }
    const ProjectImage image = CaptureProject(st);
    const bool created = SaveFileAtomically(name, [&](KFile& f, std::int64_t& pos) {
        WriteProjectImage(f, pos, image);
    });
    if (!created) {
        ShowWarning("Error: Cannott Create a New SNA File!");
        return false;
    }
    st.FileName = name;
    return true;
}

bool ReadSnaFile(RunState& st, const std::string& name)
{
    if (!FileExists(name)) {
        ShowWarning("File \"" + name + "\" not found.");
        return false;
    }
    st.Loading = true;
    st.Stop = false;
    st.Running = false;
    st.host().SetStatusText("Loading data ...");
    st.host().ProcessMessages();
    if (LowerExt(name) != ".sna") {
        bool read = false;
        if (LowerExt(name) == ".cmp") {
            // The constituents of the last Init go; Run waits for the next Init.
            st.CompInit.Empty();
            read = ReadComposition(st, name);
            if (read && st.Initialised) st.CompChanged = true;
        }
        st.Loading = false;
        st.host().UpdateMainInfo();
        return read;
    }
    RunNewCommand(st);
    st.CompInit.Empty();
    const std::string cmpName = ChangeFileExt(name, ".cmp");
    if (!FileExists(cmpName)) {
        st.Loading = false;
        ShowWarning("File " + cmpName + " not found!");
        return false;
    }
    TUnivSet<TComponents> loaded;
    if (!LoadCompositionFile(cmpName, loaded)) {
        st.Loading = false;
        return false;
    }
    MergeComposition(st.Composition, loaded, true);
    const std::string txtName = ChangeFileExt(name, ".txt");
    st.cbComplex = FileExists(txtName);
    if (st.cbComplex && FileLayerHooks().LoadComplexData) FileLayerHooks().LoadComplexData(st, txtName);

    // The whole project file is read and checked before the state changes.
    st.host().SetStatusText("Loading data ...");
    KFile f = KFile::Open(name, 0);
    if (!f.IsOpen()) ThrowError("Can't open a file");
    const std::int64_t limit = f.Seek(0, 2);
    f.Seek(0, 0);
    std::int64_t position = 0;
    std::string kind;
    FileReadStringZ(f, kind, limit, position);
    const bool legacy = kind == "RAVO_CORE SNA FILE";
    ProjectImage im;
    LegacyImage legacyImage;
    if (legacy) legacyImage = ReadLegacyImage(f, limit, position, st.Composition.Count());
    else im = ReadProjectImage(f, limit, st.Composition.Count());
    f.Close();

    // Sequence transfer.
    if (!st.PsqFileOwn.empty()) {
        st.PsqFile = st.PsqFileOwn;
        const std::string psqName = ChangeFileExt(name, ".psq");
        bool transferred = false;
        if (FileExists(psqName) && (!st.cbPSQQuestion || Confirm(kPsqTransferQuestion))) {
            st.host().SetStatusText("PSQ Transfer in Progress (May Take Several Minutes)...");
            st.host().ProcessMessages();
            if (FileCopy(psqName, st.PsqFile, false, 0) == -1) ShowWarning("Unable to copy PSQ file.");
            else transferred = true;
        }
        if (!transferred) ResetPsqFile(st, st.PsqFile);
        st.PsqSize = FileSizeByName(st.PsqFile);
    }

    if (legacy) return ReadSnaLegacy(st, legacyImage, name);

    ApplyRunSetupBlock(st, im.Block, false);
    if (im.Version == "1.1") {
        st.cbDcH = im.cbDcH; st.cbChrom = im.cbChrom; st.cbLE = im.cbLE; st.cbRE = im.cbRE;
        st.TableEdge.clear();
        st.TableRows.clear();
        st.cbS = st.cbH = st.cbMix = st.cbT = st.cbSvol = st.cbEOF = false;
        st.SegCount = im.SegCount;
        st.cbS = im.cbS; st.cbH = im.cbH; st.cbMix = im.cbMix; st.cbT = im.cbT;
        st.rbD = im.rbD; st.rbH = im.rbH;
        st.sbData_Visible = im.SegCount >= 1;
        if (im.SegCount >= 1) {
            const int k = im.SegCount;
            const int rows = im.RowCount;
            st.TableEdge.assign(12, 0.0);
            st.TableRows.assign(12, std::vector<double>(static_cast<std::size_t>(k) + 1, 0.0));
            for (int r = 3; r <= kTableRows; ++r)
                st.TableEdge[r] = r <= rows ? im.Edges[r - 3] : EdgeDefault(st);
            for (int r = 2; r <= kTableRows; ++r)
                for (int s = 1; s <= k; ++s)
                    st.TableRows[r][s] = r <= rows ? im.Cells[static_cast<std::size_t>(r - 2) * k + (s - 1)]
                                                   : TableRowDefault(st, r);
        }
    }

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
    for (int k = 0; k < c + 4 && k < static_cast<int>(s.clbDet.size()); ++k) s.clbDet[k].checked = im.DetChecks[k];

    st.Loading = false;
    st.FileName = name;
    const std::string detName = ChangeFileExt(name, ".det");
    if (FileExists(detName)) ReadDetFile(st, detName);

    const int leftWall = st.LeftWall, rightWall = st.RightWall;
    st.LeftWall = 0;
    st.RightWall = st.NX;
    try {
        RecalcProfiles(st, 2);
    } catch (...) {
        st.LeftWall = leftWall;
        st.RightWall = rightWall;
        throw;
    }
    st.PsqStarted = false;
    st.host().RedrawGraph();
    st.DetectorView = false;
    st.host().SetupGraph();
    st.LeftWall = leftWall;
    st.RightWall = rightWall;
    st.host().UpdateMainInfo();
    return true;
}

bool OpenProject(RunState& st, const std::string& name)
{
    try {
        const bool opened = ReadSnaFile(st, name);
        st.host().UpdateMainInfo();
        return opened;
    } catch (const std::exception& e) {
        const std::string message = e.what();
        st.Stop = false;
        st.Running = false;
        FreeEngineArrays(st);
        RunResetState(st);
        // A geometry that a bad file left behind is not built again.
        if (st.NX < kMinNodes || st.NX > 10000000 || !(st.CapLength > 0) || !std::isfinite(st.CapLength)) {
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
            InitCalc(st);
        } catch (...) {
        }
        st.Loading = false;
        st.host().UpdateMainInfo();
        ThrowError("Warning: While Opening SNA file '" + name + "' Error Message Occur: " + message);
    }
}
