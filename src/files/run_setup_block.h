// The run-setup block: the run parameters, solver switches and window switches
// stored in every project file (369 bytes) and at the head of every frame of a
// profile sequence (333 bytes, without the five geometry values of the
// sequence header).
//
// The block is captured from the run state into a plain record, encoded and
// decoded field by field, and applied to the run state as a whole, so that a
// loader can read everything first and change the state only at the end.
#pragma once

#include "foundation/binio.h"

#include <cstdint>

class RunState;

inline constexpr int kRunSetupBlockSize = 369;
inline constexpr int kRunSetupBlockFrameSize = 333;

struct RunSetupBlock {
    double Time = 0, DT = 0, ErrOpt = 0, UI = 0, EOFMob = 0;
    std::int32_t LeftWall = 0, RightWall = 0;
    bool ISCorrection = false, cbOptDt = false, cbDetectorOn = false, cbEnableEOF = false;
    bool cbEOFDif = false, RedDiff = false, cbLastCor = false;
    std::int32_t NX = 0;  // fields 15..19: not in a frame
    double PeakWidth = 0, PeakEdgeWidth = 0, InjSite = 0, CapLength = 0;
    double StopTime = 0, DetPosition = 0, ErrInc = 0, Temperature = 0, CapDiameter = 0;
    std::int32_t DetInput = 0;
    double FakeCapLen = 0;
    std::int32_t OptInter = 0;
    bool cbLWMove = false, cbRWMove = false, cbKeepDistance = false;
    double LW = 0, RW = 0;
    std::int32_t WallInc = 0;
    bool rbVoltage = true;
    double Partner = 0;  // I in voltage mode, else U
    std::int32_t PSQPeriod = 0;
    std::int32_t PsqMode = 1;  // 1 ms, 2 steps, 3 none
    bool cbLBorder = false, Unused39 = false, cbGauss = false, cbDCDTCor = false, cbPCIS = false;
    std::int32_t ItNew = 0;
    double EpsNew = 0, EpsCor = 0;
    bool cbSDS = false, cbShowMic = false, cbShowCMC = false;
    std::int32_t MicCompNo = 0;
    double MicMob = 0;
    std::int32_t CMCC = 0;
    double CMCL = 0, CMCR = 0;
    std::int32_t CMCW = 0, OM = 0;
    double DiffMultiplier = 0;
    bool DiffMode = false;
    double DiffClock = 0, DiffTime = 0, DiffTimeSet = 0, SavedDT = 0, SavedErrInc = 0;
    bool cbProtein = false;
    bool Reserved64[4] = {false, false, false, false};
    std::int32_t Reserved65[5] = {0, 0, 0, 0, 0};
    double DMult = 120.0, PAxis = 1.0;
    double Reserved68[3] = {0, 0, 0};
};

// The block as the run state stands now (check boxes at the time of writing;
// ISCorrection and RedDiff as taken at the last Init).
RunSetupBlock CaptureRunSetupBlock(const RunState& st);

// Puts a block into the run state in the order of the reader: fields 1..14,
// the geometry (not in a frame), 20..27, the zero point (ApplyZeroPoint) and pending :=
// applied, 28..45, the micellar fields unless "Ignore Micellar data while loading SNA file" is
// checked, 56..62, 63, 66, 67. Periods below 1, a micellar constituent number below 1, an
// aggregation number or CMC width below 1 and negative CMC values keep the values in memory; the
// walls are kept inside 0..NX.
void ApplyRunSetupBlock(RunState& st, const RunSetupBlock& b, bool inFrame);

// Field-by-field encoding at the position of a cursor.
void WriteRunSetupBlock(BinWriter& out, const RunSetupBlock& b, bool inFrame);
// The reader raises "Incorrect file." for run values outside the limits of the
// edits that set them (time step, stop time, temperature, capillary diameter,
// precisions and Newton limit) or not finite; the geometry is the caller's.
RunSetupBlock ReadRunSetupBlock(BinReader& in, bool inFrame);
// The checks of the reader on a block (with the geometry unless `inFrame`):
// what a save writes from an opened file must pass them again.
bool RunSetupBlockValid(const RunSetupBlock& b, bool inFrame);
// The geometry alone, as the block's check takes it (a node count of 10 to
// kMaxNodes; widths, length and injection site within the limits of their
// edits): for the files that store it outside a block.
bool GeometryValid(std::int32_t nx, double capLength, double peakWidth, double edgeWidth,
                   double injSite);
