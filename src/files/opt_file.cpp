#include "files/opt_file.h"

#include "engine/state/run_state.h"
#include "engine/step/init_distribution.h"
#include "files/program_dir.h"
#include "files/setup_edits.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const kHeader = "RAVO_CORE OPT FILE";
const char* const kTrailer = "EOF";

// The fields between the header and the trailer in file order, shared by
// writer and reader (BinWriter / BinReader).
template <class IO, class Record>
void VisitRecord(IO& io, Record& r)
{
    bool unused[2] = {false, false};  // written as false, read and dropped
    io.Fields(r.DT, r.ErrOpt, r.StopTime, r.UI, r.EOFMob, r.LeftWall, r.RightWall);
    io.Fields(r.cbIS, r.cbOptDt, unused[0], unused[1], r.cbDetectorOn, r.cbEnableEOF,
              r.LegacyDetNode);
    io.Fields(r.ErrInc, r.CondScale, r.PeakWidthPending, r.PeakEdgeWidthPending, r.InjNode,
              r.Temperature, r.CapLengthPending, r.EditsRef, r.CapDiameter, r.NXPending, r.GraphRef,
              r.DetInput, r.ZeroPoint);
    if (r.ZeroPoint == kZeroAnotherPos) io.Fields(r.ZeroPosNode);
    io.Fields(r.cbLWMove, r.cbRWMove, r.cbKeepDistance, r.LW, r.RW, r.WallInc, r.EpsCorFirst,
              r.EpsNew, r.EpsCor, r.rbVoltage);
    for (auto& dir : r.Dirs) io.Fields(dir);
}

void TakePositive(double& field, double v)
{
    if (std::isfinite(v) && v > 0) field = v;
}

// The value when it lies in the range of the field that sets it (in the
// field's unit: the stored value times `typed`).
void TakeInRange(double& field, double v, const FieldRange& range, double typed = 1)
{
    if (InRange(range, v * typed)) field = v;
}

// The value when the edit `edit` would store it.
void TakeEdited(double& field, double v, const char* edit)
{
    if (EditTakes(edit, v)) field = v;
}

void TakePeriod(int& field, std::int32_t v)
{
    if (v >= 1) field = v;
}

}  // namespace

OptRecord CaptureOptRecord(const RunState& st, const std::string& programDir)
{
    OptRecord r;
    r.DT = st.DT;
    r.ErrOpt = st.ErrOpt;
    r.StopTime = st.StopTime;
    r.UI = st.UI;
    r.EOFMob = st.EOFMob;
    r.LeftWall = st.LeftWall;
    r.RightWall = st.RightWall;
    r.cbIS = st.cbIS;
    r.cbOptDt = st.cbOptDt;
    r.cbDetectorOn = st.cbDetectorOn;
    r.cbEnableEOF = st.cbEnableEOF;
    r.LegacyDetNode = st.LegacyDetNode;
    r.ErrInc = st.ErrInc;
    r.CondScale = st.CondScale;
    r.PeakWidthPending = st.PeakWidthPending;
    r.PeakEdgeWidthPending = st.PeakEdgeWidthPending;
    r.InjNode = InjectionSiteNode(st, true);
    r.Temperature = st.Temperature;
    r.CapLengthPending = st.CapLengthPending;
    r.EditsRef = st.EditsRef;
    r.CapDiameter = st.CapDiameter;
    r.NXPending = st.NXPending;
    r.GraphRef = st.GraphRef;
    r.DetInput = st.DetInput;
    const int z = st.Options.ZeroPoint;
    r.ZeroPoint = z >= kZeroInjSite && z <= kZeroRight ? z : kZeroAnotherPos;
    r.ZeroPosNode = st.ZeroPosNode;
    r.cbLWMove = st.cbLWMove;
    r.cbRWMove = st.cbRWMove;
    r.cbKeepDistance = st.cbKeepDistance;
    r.LW = st.LW;
    r.RW = st.RW;
    r.WallInc = st.WallInc;
    r.EpsCorFirst = r.EpsCor = st.EpsCor;
    r.EpsNew = st.EpsNew;
    r.rbVoltage = st.rbVoltage;
    for (std::string& dir : r.Dirs) dir = programDir;
    return r;
}

void ApplyOptRecord(RunState& st, const OptRecord& r)
{
    TakeInRange(st.DT, r.DT, {0, kTimeStepRange.high, false});
    // The run panel takes an error limit and a stop time above 0.
    TakePositive(st.ErrOpt, r.ErrOpt);
    TakePositive(st.StopTime, r.StopTime);
    TakeInRange(st.UI, r.UI, r.rbVoltage ? kVoltageRange : kCurrentRange);
    TakeInRange(st.EOFMob, r.EOFMob, kMobilityRange, 1e9);
    st.LeftWall = r.LeftWall;
    st.RightWall = r.RightWall;
    st.cbIS = st.ISCorrection = r.cbIS;
    st.cbOptDt = r.cbOptDt;
    st.cbDetectorOn = r.cbDetectorOn;
    st.cbEnableEOF = r.cbEnableEOF;
    st.LegacyDetNode = r.LegacyDetNode;
    TakeEdited(st.ErrInc, r.ErrInc, "edErrInc");
    // A display factor that turned conductivities negative would show a plainly
    // wrong profile: only a positive one is taken.
    TakePositive(st.CondScale, r.CondScale);
    TakeEdited(st.PeakWidthPending, r.PeakWidthPending, "edPeakWidth");
    TakeEdited(st.PeakEdgeWidthPending, r.PeakEdgeWidthPending, "edPeakEdgeWidth");
    TakeEdited(st.Temperature, r.Temperature, "edTemperature");
    TakeEdited(st.CapLengthPending, r.CapLengthPending, "edCapLength");
    TakePeriod(st.EditsRef, r.EditsRef);
    TakeEdited(st.CapDiameter, r.CapDiameter, "edCapDiameter");
    if (r.NXPending >= 10 && r.NXPending <= kMaxNodes) st.NXPending = r.NXPending;
    TakePeriod(st.GraphRef, r.GraphRef);
    TakePeriod(st.DetInput, r.DetInput);
    st.Options.ZeroPoint =
        r.ZeroPoint >= kZeroInjSite && r.ZeroPoint <= kZeroAnotherPos ? r.ZeroPoint : 0;
    if (r.ZeroPoint == kZeroAnotherPos) st.ZeroPosNode = r.ZeroPosNode;
    ApplyZeroPoint(st);
    st.cbLWMove = r.cbLWMove;
    st.cbRWMove = r.cbRWMove;
    const bool keepWasChecked = st.cbKeepDistance;
    st.cbKeepDistance = r.cbKeepDistance;
    if (!keepWasChecked) KeepDistanceChecked(st);
    TakeEdited(st.LW, r.LW, "edLW");
    TakeEdited(st.RW, r.RW, "edRW");
    if (EditTakes("edWallInc", r.WallInc)) st.WallInc = r.WallInc;
    TakeEdited(st.EpsNew, r.EpsNew, "edEpsNew");
    TakeEdited(st.EpsCor, r.EpsCor, "edEpsCor");
    st.rbVoltage = r.rbVoltage;
    // The walls are node indices of the applied grid.
    st.LeftWall = std::clamp(st.LeftWall, 0, std::max(st.NX, 0));
    st.RightWall = std::clamp(st.RightWall, 0, std::max(st.NX, 0));
}

void WriteOptRecord(BinWriter& out, const OptRecord& r)
{
    out.Fields(kHeader);
    VisitRecord(out, r);
    out.Fields(kTrailer);
}

bool ReadOptRecord(BinReader& in, OptRecord& r)
{
    if (in.StringZ() != kHeader) return false;
    VisitRecord(in, r);
    return in.StringZ() == kTrailer;
}

bool WriteOptFile(const RunState& st, const std::string& name)
{
    if (!MakeFileDirAsked(name, "Create New Dir?\n")) return false;
    const OptRecord r = CaptureOptRecord(st, ProgramDir().string());
    if (!SaveFileAtomically(name, [&](BinWriter& out) { WriteOptRecord(out, r); })) {
        ShowWarning("Error: Can't create a new file");
        return false;
    }
    return true;
}

bool ReadOptFile(RunState& st, const std::string& name)
{
    OptRecord r;
    if (!LoadOptFile(name, r)) return false;
    ApplyOptRecord(st, r);
    return true;
}

bool LoadOptFile(const std::string& name, OptRecord& r)
{
    if (!FileExists(name)) {
        ShowWarning("File \"" + name + "\" not found");
        return false;
    }
    KFile file;
    if (!OpenForReading(file, name, "Can't open a file")) return false;
    BinReader in(file);
    const bool complete = ReadOptRecord(in, r);
    file.Close();
    if (!complete) {
        ShowWarning("Incorrect file.");
        return false;
    }
    return true;
}
