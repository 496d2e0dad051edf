#include "files/opt_file.h"

#include "engine/init_distribution.h"
#include "engine/run_state.h"
#include "files/program_dir.h"
#include "files/setup_edits.h"
#include "foundation/binio.h"
#include "foundation/errors.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

const char* const kHeader = "RAVO_CORE OPT FILE";
const char* const kTrailer = "EOF";

void ReadRunValues(KFile& f, std::int64_t limit, std::int64_t& pos, OptRecord& r)
{
    r.DT = FileReadDouble(f, limit, pos);
    r.ErrOpt = FileReadDouble(f, limit, pos);
    r.StopTime = FileReadDouble(f, limit, pos);
    r.UI = FileReadDouble(f, limit, pos);
    r.EOFMob = FileReadDouble(f, limit, pos);
    r.LeftWall = FileReadInt32(f, limit, pos);
    r.RightWall = FileReadInt32(f, limit, pos);
    r.cbIS = FileReadBool(f, limit, pos);
    r.cbOptDt = FileReadBool(f, limit, pos);
    FileReadBool(f, limit, pos);
    FileReadBool(f, limit, pos);
    r.cbDetectorOn = FileReadBool(f, limit, pos);
    r.cbEnableEOF = FileReadBool(f, limit, pos);
    r.LegacyDetNode = FileReadInt32(f, limit, pos);
}

void ReadSetupValues(KFile& f, std::int64_t limit, std::int64_t& pos, OptRecord& r)
{
    r.ErrInc = FileReadDouble(f, limit, pos);
    r.CondScale = FileReadDouble(f, limit, pos);
    r.PeakWidthPending = FileReadDouble(f, limit, pos);
    r.PeakEdgeWidthPending = FileReadDouble(f, limit, pos);
    r.InjNode = FileReadInt32(f, limit, pos);
    r.Temperature = FileReadDouble(f, limit, pos);
    r.CapLengthPending = FileReadDouble(f, limit, pos);
    r.EditsRef = FileReadInt32(f, limit, pos);
    r.CapDiameter = FileReadDouble(f, limit, pos);
    r.NXPending = FileReadInt32(f, limit, pos);
    r.GraphRef = FileReadInt32(f, limit, pos);
    r.DetInput = FileReadInt32(f, limit, pos);
    r.ZeroPoint = FileReadInt32(f, limit, pos);
    if (r.ZeroPoint == kZeroAnotherPos) r.ZeroPosNode = FileReadInt32(f, limit, pos);
}

void ReadWallAndSolverValues(KFile& f, std::int64_t limit, std::int64_t& pos, OptRecord& r)
{
    r.cbLWMove = FileReadBool(f, limit, pos);
    r.cbRWMove = FileReadBool(f, limit, pos);
    r.cbKeepDistance = FileReadBool(f, limit, pos);
    r.LW = FileReadDouble(f, limit, pos);
    r.RW = FileReadDouble(f, limit, pos);
    r.WallInc = FileReadInt32(f, limit, pos);
    r.EpsCorFirst = FileReadDouble(f, limit, pos);
    r.EpsNew = FileReadDouble(f, limit, pos);
    r.EpsCor = FileReadDouble(f, limit, pos);
    r.rbVoltage = FileReadBool(f, limit, pos);
    for (std::string& dir : r.Dirs) dir = FileReadShortText(f, limit, pos);
}

void WriteRunValues(KFile& f, std::int64_t& pos, const OptRecord& r)
{
    for (double v : {r.DT, r.ErrOpt, r.StopTime, r.UI, r.EOFMob}) FileWriteDouble(f, v, pos);
    FileWriteInt32(f, r.LeftWall, pos);
    FileWriteInt32(f, r.RightWall, pos);
    for (bool v : {r.cbIS, r.cbOptDt, false, false, r.cbDetectorOn, r.cbEnableEOF}) FileWriteBool(f, v, pos);
    FileWriteInt32(f, r.LegacyDetNode, pos);
}

void WriteSetupValues(KFile& f, std::int64_t& pos, const OptRecord& r)
{
    for (double v : {r.ErrInc, r.CondScale, r.PeakWidthPending, r.PeakEdgeWidthPending}) FileWriteDouble(f, v, pos);
    FileWriteInt32(f, r.InjNode, pos);
    FileWriteDouble(f, r.Temperature, pos);
    FileWriteDouble(f, r.CapLengthPending, pos);
    FileWriteInt32(f, r.EditsRef, pos);
    FileWriteDouble(f, r.CapDiameter, pos);
    for (std::int32_t v : {r.NXPending, r.GraphRef, r.DetInput, r.ZeroPoint}) FileWriteInt32(f, v, pos);
    if (r.ZeroPoint == kZeroAnotherPos) FileWriteInt32(f, r.ZeroPosNode, pos);
}

void WriteWallAndSolverValues(KFile& f, std::int64_t& pos, const OptRecord& r)
{
    for (bool v : {r.cbLWMove, r.cbRWMove, r.cbKeepDistance}) FileWriteBool(f, v, pos);
    FileWriteDouble(f, r.LW, pos);
    FileWriteDouble(f, r.RW, pos);
    FileWriteInt32(f, r.WallInc, pos);
    for (double v : {r.EpsCorFirst, r.EpsNew, r.EpsCor}) FileWriteDouble(f, v, pos);
    FileWriteBool(f, r.rbVoltage, pos);
    for (const std::string& dir : r.Dirs) FileWriteString(f, dir, pos, true);
}

void TakeFinite(double& field, double v)
{
    if (std::isfinite(v)) field = v;
}

void TakePositive(double& field, double v)
{
    if (std::isfinite(v) && v > 0) field = v;
}

void TakePeriod(int& field, std::int32_t v)
{
    if (v >= 1) field = v;
}

} // namespace

OptRecord CaptureOptRecord(const RunState& st, const std::string& programDir)
{
    OptRecord r;
    r.DT = st.DT; r.ErrOpt = st.ErrOpt; r.StopTime = st.StopTime; r.UI = st.UI; r.EOFMob = st.EOFMob;
    r.LeftWall = st.LeftWall; r.RightWall = st.RightWall;
    r.cbIS = st.cbIS; r.cbOptDt = st.cbOptDt; r.cbDetectorOn = st.cbDetectorOn; r.cbEnableEOF = st.cbEnableEOF;
    r.LegacyDetNode = st.LegacyDetNode;
    r.ErrInc = st.ErrInc; r.CondScale = st.CondScale;
    r.PeakWidthPending = st.PeakWidthPending; r.PeakEdgeWidthPending = st.PeakEdgeWidthPending;
    r.InjNode = InjectionSiteNode(st, true);
    r.Temperature = st.Temperature; r.CapLengthPending = st.CapLengthPending; r.EditsRef = st.EditsRef;
    r.CapDiameter = st.CapDiameter; r.NXPending = st.NXPending; r.GraphRef = st.GraphRef; r.DetInput = st.DetInput;
    const int z = st.Options.ZeroPoint;
    r.ZeroPoint = z >= kZeroInjSite && z <= kZeroRight ? z : kZeroAnotherPos;
    r.ZeroPosNode = st.ZeroPosNode;
    r.cbLWMove = st.cbLWMove; r.cbRWMove = st.cbRWMove; r.cbKeepDistance = st.cbKeepDistance;
    r.LW = st.LW; r.RW = st.RW; r.WallInc = st.WallInc;
    r.EpsCorFirst = r.EpsCor = st.EpsCor;
    r.EpsNew = st.EpsNew;
    r.rbVoltage = st.rbVoltage;
    for (std::string& dir : r.Dirs) dir = programDir;
    return r;
}

void ApplyOptRecord(RunState& st, const OptRecord& r)
{
    TakePositive(st.DT, r.DT);
    TakeFinite(st.ErrOpt, r.ErrOpt);
    TakeFinite(st.StopTime, r.StopTime);
    TakeFinite(st.UI, r.UI);
    TakeFinite(st.EOFMob, r.EOFMob);
    st.LeftWall = r.LeftWall;
    st.RightWall = r.RightWall;
    st.cbIS = st.ISCorrection = r.cbIS;
    st.cbOptDt = r.cbOptDt;
    st.cbDetectorOn = r.cbDetectorOn;
    st.cbEnableEOF = r.cbEnableEOF;
    st.LegacyDetNode = r.LegacyDetNode;
    TakeFinite(st.ErrInc, r.ErrInc);
    TakeFinite(st.CondScale, r.CondScale);
    TakePositive(st.PeakWidthPending, r.PeakWidthPending);
    TakePositive(st.PeakEdgeWidthPending, r.PeakEdgeWidthPending);
    TakePositive(st.Temperature, r.Temperature);
    TakePositive(st.CapLengthPending, r.CapLengthPending);
    TakePeriod(st.EditsRef, r.EditsRef);
    TakePositive(st.CapDiameter, r.CapDiameter);
    if (r.NXPending >= 10 && r.NXPending <= kMaxNodes) st.NXPending = r.NXPending;
    TakePeriod(st.GraphRef, r.GraphRef);
    TakePeriod(st.DetInput, r.DetInput);
    st.Options.ZeroPoint = r.ZeroPoint >= kZeroInjSite && r.ZeroPoint <= kZeroAnotherPos ? r.ZeroPoint : 0;
    if (r.ZeroPoint == kZeroAnotherPos) st.ZeroPosNode = r.ZeroPosNode;
    ApplyZeroPoint(st);
    st.cbLWMove = r.cbLWMove;
    st.cbRWMove = r.cbRWMove;
    const bool keepWasChecked = st.cbKeepDistance;
    st.cbKeepDistance = r.cbKeepDistance;
    if (!keepWasChecked) KeepDistanceChecked(st);
    TakeFinite(st.LW, r.LW);
    TakeFinite(st.RW, r.RW);
    if (std::abs(static_cast<std::int64_t>(r.WallInc)) <= kMaxNodes) st.WallInc = r.WallInc;
    TakePositive(st.EpsNew, r.EpsNew);
    TakePositive(st.EpsCor, r.EpsCor);
    st.rbVoltage = r.rbVoltage;
    // The walls are node indices of the applied grid.
    st.LeftWall = std::clamp(st.LeftWall, 0, std::max(st.NX, 0));
    st.RightWall = std::clamp(st.RightWall, 0, std::max(st.NX, 0));
}

void WriteOptRecord(KFile& file, std::int64_t& position, const OptRecord& r)
{
    FileWriteString(file, kHeader, position, true);
    WriteRunValues(file, position, r);
    WriteSetupValues(file, position, r);
    WriteWallAndSolverValues(file, position, r);
    FileWriteString(file, kTrailer, position, true);
}

bool ReadOptRecord(KFile& file, std::int64_t limit, std::int64_t& position, OptRecord& r)
{
    if (FileReadShortText(file, limit, position) != kHeader) return false;
    ReadRunValues(file, limit, position, r);
    ReadSetupValues(file, limit, position, r);
    ReadWallAndSolverValues(file, limit, position, r);
    return FileReadShortText(file, limit, position) == kTrailer;
}

bool WriteOptFile(const RunState& st, const std::string& name)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(name).parent_path();
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec)) {
        if (!Confirm("Create New Dir?\n" + dir.string())) return false;
        fs::create_directory(dir, ec);
    }
    const OptRecord r = CaptureOptRecord(st, ProgramDir().string());
    if (!SaveFileAtomically(name, [&](BinWriter& out) {
            std::int64_t pos = out.Position();
            WriteOptRecord(out.File(), pos, r);
        })) {
        ShowWarning("Error: Can't create a new file");
        return false;
    }
    return true;
}

bool ReadOptFile(RunState& st, const std::string& name)
{
    if (!FileExists(name)) {
        ShowWarning("File \"" + name + "\" not found");
        return false;
    }
    KFile file = KFile::Open(name, 0);
    if (!file.IsOpen()) {
        ShowWarning("Can't open a file");
        return false;
    }
    const std::int64_t limit = FileSizeByName(name);
    std::int64_t position = 0;
    OptRecord r;
    const bool complete = ReadOptRecord(file, limit, position, r);
    file.Close();
    if (!complete) {
        ShowWarning("Incorrect file.");
        return false;
    }
    ApplyOptRecord(st, r);
    return true;
}
