// The settings file "KELVO 5.ini" in the program directory: display and solver
// preferences of the main, run-setup and options windows and, on request, the
// places of seven windows. Binary, little-endian, zero-terminated strings:
// header "KELVO INI FILE", version "1.0", the settings, 26 reserved bytes, 28
// window integers, trailer "EOF".
//
// The whole file is read into a record first and applied only when it is
// complete and correct, so a damaged file never leaves half of it applied.
#pragma once

#include "foundation/binio.h"

#include <cstdint>
#include <string>

class RunState;

inline constexpr const char* kIniFileName = "KELVO 5.ini";

struct IniSettings {
    bool cbShowHints = false;
    std::int32_t EditsRef = 0, GraphRef = 0;
    bool cbInitWalls = false, cbAutoDiff = false;
    std::int32_t SimColor = 0, DetColor = 0;
    std::int32_t SnaExtent = 0;
    double EpsNew = 0, EpsCor = 0;
    std::int32_t ZeroPoint = 0, ZeroPosNode = 0, LineWidth = 0, SrT = 0;
    char CsvSep = ',';
    std::int32_t XAxisUnit = 0;
    bool cbIgnDT = false, cbPositionINI = false, cbPSQQuestion = false;
    double CondScale = 0, XScale = 0;
    bool OpenExample = false;
    std::string DefaultFile;
    std::int32_t Places[7][4] = {};  // Left, Top, Height, Width per stored window
};

IniSettings CaptureIniSettings(const RunState& st);
// Applies a complete record as the reader of the original file did (radio
// groups from their codes, an unknown code checks no button; window places
// only when "Store Window Positions (INI)" is checked in the record). Periods
// below 1, widths and tolerances below 0, precisions and scales that are not
// positive finite numbers keep the values in memory.
void ApplyIniSettings(RunState& st, const IniSettings& s);

// The whole file, field by field, at the cursor.
void WriteIniSettings(BinWriter& out, const IniSettings& s);

enum class IniCheck { Complete, WrongHeader, WrongVersion, WrongEnd };
// Reads the whole file into `s`; a file cut short raises "Incorrect file.".
IniCheck ReadIniSettings(BinReader& in, IniSettings& s);

// Writes the settings atomically; on failure the message is shown as a
// warning, the previous file stays and the result is false.
bool WriteIniFile(const RunState& st, const std::string& name);
// Reads and applies the file. A missing file is the normal first start: false
// without a message. A wrong header, version or end is reported as a warning
// and nothing is applied (false). A file that cannot be opened raises "Error:
// Can't open INI file", one cut short "Incorrect file." (nothing applied).
bool ReadIniFile(RunState& st, const std::string& name);
