// The options file of the older layout (".opt" beside an older project or
// sequence): header "RAVO_CORE OPT FILE" without a version, run options, the
// pending geometry, the detector as a node index, the zero point (one more
// integer for "another position"), the wall switches, the precisions, the
// power mode, eight copies of the program directory and the trailer "EOF".
//
// The reader takes the whole file into a record and applies it only when the
// file is complete and correct.
#pragma once

#include "foundation/binio.h"

#include <cstdint>
#include <string>

class RunState;

struct OptRecord {
    double DT = 0, ErrOpt = 0, StopTime = 0, UI = 0, EOFMob = 0;
    std::int32_t LeftWall = 0, RightWall = 0;
    bool cbIS = false, cbOptDt = false, cbDetectorOn = false, cbEnableEOF = false;
    std::int32_t LegacyDetNode = 0;
    double ErrInc = 0, CondScale = 0, PeakWidthPending = 0, PeakEdgeWidthPending = 0;
    std::int32_t InjNode = 0;  // written for older readers; this reader drops it
    double Temperature = 0, CapLengthPending = 0;
    std::int32_t EditsRef = 0;
    double CapDiameter = 0;
    std::int32_t NXPending = 0, GraphRef = 0, DetInput = 0;
    std::int32_t ZeroPoint = 0;  // 1..5; ZeroPosNode follows only for 5
    std::int32_t ZeroPosNode = 0;
    bool cbLWMove = false, cbRWMove = false, cbKeepDistance = false;
    double LW = 0, RW = 0;
    std::int32_t WallInc = 0;
    double EpsCorFirst = 0, EpsNew = 0, EpsCor = 0;  // the second EpsCor is the one kept
    bool rbVoltage = true;
    std::string Dirs[8];  // the program directory at the time of writing
};

OptRecord CaptureOptRecord(const RunState& st, const std::string& programDir);
// Applies a complete record: a value outside the limits of the edit that sets
// it (no finite number, a time step, error limit, stop time or conductivity
// scale not above 0, a negative dt increment, non-positive widths, lengths,
// temperatures and diameters, periods below 1, node counts outside
// 10..kMaxNodes, oversized wall steps) keeps the value in memory; the walls
// are kept inside the grid.
void ApplyOptRecord(RunState& st, const OptRecord& r);

void WriteOptRecord(BinWriter& out, const OptRecord& r);
// False when the header or the trailer is not the expected one; a file cut
// short raises "Incorrect file.".
bool ReadOptRecord(BinReader& in, OptRecord& r);

// Writes `name` atomically (asking "Create New Dir?" for a missing directory);
// false when declined or when the file cannot be created (warned).
bool WriteOptFile(const RunState& st, const std::string& name);
// Reads and applies `name`; false with a warning for a missing file, one that
// cannot be opened or a wrong header or trailer (nothing applied then). A file
// cut short raises "Incorrect file." with nothing applied.
bool ReadOptFile(RunState& st, const std::string& name);
// The reading half of ReadOptFile: the same warnings and raise, nothing applied.
bool LoadOptFile(const std::string& name, OptRecord& r);
