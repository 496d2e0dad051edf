#include "files/run_setup_block.h"

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "files/setup_edits.h"

#include "foundation/field_rules.h"
#include "foundation/numtext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

namespace {

// The fields in file order, shared by writer and reader (BinWriter / BinReader).
template <class IO, class Block>
void VisitBlock(IO& io, Block& b, bool inFrame)
{
    io.Fields(b.Time, b.DT, b.ErrOpt, b.UI, b.EOFMob, b.LeftWall, b.RightWall);
    io.Fields(b.ISCorrection, b.cbOptDt, b.cbDetectorOn, b.cbEnableEOF, b.cbEOFDif, b.RedDiff,
              b.cbLastCor);
    if (!inFrame) io.Fields(b.NX, b.PeakWidth, b.PeakEdgeWidth, b.InjSite, b.CapLength);
    io.Fields(b.StopTime, b.DetPosition, b.ErrInc, b.Temperature, b.CapDiameter, b.DetInput,
              b.FakeCapLen, b.OptInter);
    io.Fields(b.cbLWMove, b.cbRWMove, b.cbKeepDistance, b.LW, b.RW, b.WallInc);
    io.Fields(b.rbVoltage, b.Partner, b.PSQPeriod, b.PsqMode);
    io.Fields(b.cbLBorder, b.Unused39, b.cbGauss, b.cbDCDTCor, b.cbPCIS, b.ItNew, b.EpsNew,
              b.EpsCor);
    io.Fields(b.cbSDS, b.cbShowMic, b.cbShowCMC, b.MicCompNo, b.MicMob, b.CMCC, b.CMCL, b.CMCR,
              b.CMCW, b.OM);
    io.Fields(b.DiffMultiplier, b.DiffMode, b.DiffClock, b.DiffTime, b.DiffTimeSet, b.SavedDT,
              b.SavedErrInc);
    io.Fields(b.cbProtein);
    for (auto& r : b.Reserved64) io.Fields(r);
    for (auto& r : b.Reserved65) io.Fields(r);
    io.Fields(b.DMult, b.PAxis);
    for (auto& r : b.Reserved68) io.Fields(r);
}

}  // namespace

RunSetupBlock CaptureRunSetupBlock(const RunState& st)
{
    RunSetupBlock b;
    b.Time = st.Time;
    b.DT = st.DT;
    b.ErrOpt = st.ErrOpt;
    b.UI = st.UI;
    b.EOFMob = st.EOFMob;
    b.LeftWall = st.LeftWall;
    b.RightWall = st.RightWall;
    b.ISCorrection = st.ISCorrection;
    b.cbOptDt = st.cbOptDt;
    b.cbDetectorOn = st.cbDetectorOn;
    b.cbEnableEOF = st.cbEnableEOF;
    b.cbEOFDif = st.cbEOFDif;
    b.RedDiff = st.RedDiff;
    b.cbLastCor = st.cbLastCor;
    b.NX = st.NX;
    b.PeakWidth = st.PeakWidth;
    b.PeakEdgeWidth = st.PeakEdgeWidth;
    b.InjSite = st.InjSite;
    b.CapLength = st.CapLength;
    b.StopTime = st.StopTime;
    b.DetPosition = st.DetPosition;
    b.ErrInc = st.ErrInc;
    b.Temperature = st.Temperature;
    b.CapDiameter = st.CapDiameter;
    b.DetInput = st.DetInput;
    b.FakeCapLen = st.FakeCapLen;
    b.OptInter = st.OptInter;
    b.cbLWMove = st.cbLWMove;
    b.cbRWMove = st.cbRWMove;
    b.cbKeepDistance = st.cbKeepDistance;
    b.LW = st.LW;
    b.RW = st.RW;
    b.WallInc = st.WallInc;
    b.rbVoltage = st.rbVoltage;
    b.Partner = st.rbVoltage ? st.I : st.U;
    b.PSQPeriod = st.PSQPeriod;
    b.PsqMode = st.rbPSQMS ? 1 : st.rbPSQSteps ? 2 : st.rbPSQNo ? 3 : 1;
    b.cbLBorder = st.cbLBorder;
    b.cbGauss = st.cbGauss;
    b.cbDCDTCor = st.cbDCDTCor;
    b.cbPCIS = st.cbPCIS;
    b.ItNew = st.ItNew;
    b.EpsNew = st.EpsNew;
    b.EpsCor = st.EpsCor;
    b.cbSDS = st.cbSDS;
    b.cbShowMic = st.cbShowMic;
    b.cbShowCMC = st.cbShowCMC;
    b.MicCompNo = st.MicCompNo;
    b.MicMob = st.MicMob;
    b.CMCC = st.CMCC;
    b.CMCL = st.CMCL;
    b.CMCR = st.CMCR;
    b.CMCW = st.CMCW;
    b.OM = st.OM;
    b.DiffMultiplier = st.DiffMultiplier;
    b.DiffMode = st.DiffMode;
    b.DiffClock = st.DiffClock;
    b.DiffTime = st.DiffTime;
    b.DiffTimeSet = st.DiffTimeSet;
    b.SavedDT = st.SavedDT;
    b.SavedErrInc = st.SavedErrInc;
    b.cbProtein = st.cbProtein;
    if (!ReadDouble(st.edDMult, b.DMult)) b.DMult = 120.0;
    if (!ReadDouble(st.edPAxis, b.PAxis)) b.PAxis = 1.0;
    return b;
}

void ApplyRunSetupBlock(RunState& st, const RunSetupBlock& b, bool inFrame)
{
    // Fields 1..14.
    st.Time = b.Time;
    st.DT = b.DT;
    st.ErrOpt = b.ErrOpt;
    st.UI = b.UI;
    st.EOFMob = b.EOFMob;
    st.LeftWall = b.LeftWall;
    st.RightWall = b.RightWall;
    st.cbIS = st.ISCorrection = b.ISCorrection;
    st.cbOptDt = b.cbOptDt;
    st.cbDetectorOn = b.cbDetectorOn;
    st.cbEnableEOF = b.cbEnableEOF;
    st.cbEOFDif = b.cbEOFDif;
    st.cbRedDiff = st.RedDiff = b.RedDiff;
    st.cbLastCor = b.cbLastCor;
    // Geometry (the caller has checked it).
    if (!inFrame) {
        st.NX = b.NX;
        st.PeakWidth = b.PeakWidth;
        st.PeakEdgeWidth = b.PeakEdgeWidth;
        st.InjSite = b.InjSite;
        st.CapLength = b.CapLength;
    }
    // Fields 20..27.
    st.StopTime = b.StopTime;
    st.DetPosition = b.DetPosition;
    st.ErrInc = b.ErrInc;
    st.Temperature = b.Temperature;
    st.CapDiameter = b.CapDiameter;
    if (b.DetInput >= 1) st.DetInput = b.DetInput;
    st.FakeCapLen = b.FakeCapLen;
    if (b.OptInter >= 1) st.OptInter = b.OptInter;
    ApplyZeroPoint(st);
    st.NXPending = st.NX;
    st.PeakWidthPending = st.PeakWidth;
    st.PeakEdgeWidthPending = st.PeakEdgeWidth;
    st.InjSitePending = st.InjSite;
    st.CapLengthPending = st.CapLength;
    // Fields 28..45. Checking "Keep Distance" runs its click handler, which
    // clears "LW can move".
    st.cbLWMove = b.cbLWMove;
    st.cbRWMove = b.cbRWMove;
    const bool keepWasChecked = st.cbKeepDistance;
    st.cbKeepDistance = b.cbKeepDistance;
    if (st.cbKeepDistance && !keepWasChecked) st.cbLWMove = false;
    st.LW = b.LW;
    st.RW = b.RW;
    // The wall step is taken within the limits of its edit.
    if (EditTakes("edWallInc", b.WallInc)) st.WallInc = b.WallInc;
    st.rbVoltage = b.rbVoltage;
    if (st.rbVoltage)
        st.I = b.Partner;
    else
        st.U = b.Partner;
    if (b.PSQPeriod >= 1) st.PSQPeriod = b.PSQPeriod;
    if (b.PsqMode >= 1 && b.PsqMode <= 3) {
        st.rbPSQMS = b.PsqMode == 1;
        st.rbPSQSteps = b.PsqMode == 2;
        st.rbPSQNo = b.PsqMode == 3;
    }
    st.cbLBorder = b.cbLBorder;
    st.cbGauss = b.cbGauss;
    st.cbDCDTCor = b.cbDCDTCor;
    st.cbPCIS = b.cbPCIS;
    st.ItNew = b.ItNew;
    st.EpsNew = b.EpsNew;
    st.EpsCor = b.EpsCor;
    // Micellar fields 46..55.
    if (!st.cbIngoreSNA) {
        st.cbSDS = b.cbSDS;
        st.cbShowMic = b.cbShowMic;
        st.cbShowCMC = b.cbShowCMC;
        if (b.MicCompNo >= 1) st.MicCompNo = b.MicCompNo;
        st.MicMob = b.MicMob;
        st.CMCC = b.CMCC;
        // The micellar window takes CMC values of 0 or more.
        if (b.CMCL >= 0) st.CMCL = b.CMCL;
        if (b.CMCR >= 0) st.CMCR = b.CMCR;
        if (b.CMCW >= 1) st.CMCW = b.CMCW;
        if (b.OM >= 1) st.OM = b.OM;
    }
    // Fields 56..62.
    st.DiffMultiplier = b.DiffMultiplier;
    st.DiffMode = b.DiffMode;
    st.DiffClock = b.DiffClock;
    // The reduced diffusion is in force as Init takes it: ticked and a
    // multiplier other than 1 (a stored 1 beside a multiplier of 1 would come
    // back as 0 from the next open).
    st.RedDiff = st.cbRedDiff && st.DiffMultiplier != 1.0;
    st.DiffTime = b.DiffTime;
    st.DiffTimeSet = b.DiffTimeSet;
    st.SavedDT = b.SavedDT;
    st.SavedErrInc = b.SavedErrInc;
    // Fields 63, 66, 67.
    st.cbProtein = b.cbProtein;
    if (b.DMult > 0) st.edDMult = FloatToStr(b.DMult);
    if (b.PAxis != 0 && !std::isnan(b.PAxis)) st.edPAxis = FloatToStr(b.PAxis);
    // The walls are node indices of the grid.
    if (st.LeftWall < 0 || st.LeftWall > st.NX) st.LeftWall = st.LeftWall < 0 ? 0 : st.NX;
    if (st.RightWall < 0 || st.RightWall > st.NX) st.RightWall = st.RightWall < 0 ? 0 : st.NX;
}

void WriteRunSetupBlock(BinWriter& out, const RunSetupBlock& block, bool inFrame)
{
    RunSetupBlock b = block;
    b.Unused39 = false;
    for (bool& r : b.Reserved64) r = false;
    for (std::int32_t& r : b.Reserved65) r = 0;
    for (double& r : b.Reserved68) r = 0.0;
    VisitBlock(out, std::as_const(b), inFrame);
}

bool GeometryValid(std::int32_t nx, double capLength, double peakWidth, double edgeWidth,
                   double injSite)
{
    // Files take grids from 10 nodes (the run-setup edit from 20).
    return nx >= 10 && nx <= kMaxNodes && EditTakes("edCapLength", capLength) &&
           EditTakes("edPeakWidth", peakWidth) && EditTakes("edPeakEdgeWidth", edgeWidth) &&
           EditTakes("edInjSite", injSite);
}

bool RunSetupBlockValid(const RunSetupBlock& b, bool inFrame)
{
    if (!AllFinite({b.Time,       b.DT,          b.ErrOpt,      b.UI,          b.EOFMob,
                    b.StopTime,   b.DetPosition, b.ErrInc,      b.Temperature, b.CapDiameter,
                    b.FakeCapLen, b.LW,          b.RW,          b.Partner,     b.EpsNew,
                    b.EpsCor,     b.MicMob,      b.CMCL,        b.CMCR,        b.DiffMultiplier,
                    b.DiffClock,  b.DiffTime,    b.DiffTimeSet, b.SavedDT,     b.SavedErrInc}))
        return false;
    // The run panel takes a time step, error limit and stop time above 0; the
    // other values within the limits of their edits.
    if (!(b.Time >= 0 && b.ErrOpt > 0 && b.StopTime > 0)) return false;
    // The time step, the set voltage or current and the EOF mobility within
    // the ranges of their edits.
    const FieldRange step{0, kTimeStepRange.high, false};
    if (!InRange(step, b.DT) || !InRange(b.rbVoltage ? kVoltageRange : kCurrentRange, b.UI) ||
        !InRange(kMobilityRange, b.EOFMob * 1e9))
        return false;
    const std::pair<const char*, double> edited[] = {{"edErrInc", b.ErrInc},
                                                     {"edTemperature", b.Temperature},
                                                     {"edCapDiameter", b.CapDiameter},
                                                     {"edFakeCapLen", b.FakeCapLen},
                                                     {"edDetPosition", b.DetPosition},
                                                     {"edLW", b.LW},
                                                     {"edRW", b.RW},
                                                     {"edEpsNew", b.EpsNew},
                                                     {"edEpsCor", b.EpsCor},
                                                     {"edItNew", b.ItNew}};
    for (auto [name, v] : edited)
        if (!EditTakes(name, v)) return false;
    // A diameter whose cross-section is no normal finite number stops every
    // run ("Cross-section is zero, negative or undefined") and every project
    // saved with it.
    const double section = 0.25 * kPi * b.CapDiameter * b.CapDiameter;
    if (!(section >= std::numeric_limits<double>::min() &&
          section <= std::numeric_limits<double>::max()))
        return false;
    if (!inFrame && !GeometryValid(b.NX, b.CapLength, b.PeakWidth, b.PeakEdgeWidth, b.InjSite))
        return false;
    // The diffusion mode gives the saved time step back when it ends.
    return !b.DiffMode || InRange(step, b.SavedDT);
}

RunSetupBlock ReadRunSetupBlock(BinReader& in, bool inFrame)
{
    RunSetupBlock b;
    VisitBlock(in, b, inFrame);
    // The geometry is the caller's.
    in.Check(RunSetupBlockValid(b, true));
    return b;
}
