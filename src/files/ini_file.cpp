#include "files/ini_file.h"

#include "engine/run_state.h"
#include "files/setup_edits.h"
#include "foundation/binio.h"
#include "foundation/errors.h"

#include <cmath>

namespace {

const char* const kHeader = "KELVO INI FILE";
const char* const kVersion = "1.0";
const char* const kTrailer = "EOF";

void ReadOptions(KFile& f, std::int64_t limit, std::int64_t& pos, IniSettings& s)
{
    s.cbShowHints = FileReadBool(f, limit, pos);
    s.EditsRef = FileReadInt32(f, limit, pos);
    s.GraphRef = FileReadInt32(f, limit, pos);
    s.cbInitWalls = FileReadBool(f, limit, pos);
    s.cbAutoDiff = FileReadBool(f, limit, pos);
    s.SimColor = FileReadInt32(f, limit, pos);
    s.DetColor = FileReadInt32(f, limit, pos);
    s.SnaExtent = FileReadInt32(f, limit, pos);
    s.EpsNew = FileReadDouble(f, limit, pos);
    s.EpsCor = FileReadDouble(f, limit, pos);
    s.ZeroPoint = FileReadInt32(f, limit, pos);
    s.ZeroPosNode = FileReadInt32(f, limit, pos);
    s.LineWidth = FileReadInt32(f, limit, pos);
    s.SrT = FileReadInt32(f, limit, pos);
    s.CsvSep = static_cast<char>(FileReadUInt8(f, limit, pos));
    s.XAxisUnit = FileReadInt32(f, limit, pos);
    s.cbIgnDT = FileReadBool(f, limit, pos);
    s.cbPositionINI = FileReadBool(f, limit, pos);
    s.cbPSQQuestion = FileReadBool(f, limit, pos);
    s.CondScale = FileReadDouble(f, limit, pos);
    s.XScale = FileReadDouble(f, limit, pos);
    s.OpenExample = FileReadBool(f, limit, pos);
    s.DefaultFile = FileReadShortText(f, limit, pos);
}

void ReadReservedAndPlaces(KFile& f, std::int64_t limit, std::int64_t& pos, IniSettings& s)
{
    FileReadBool(f, limit, pos);
    FileReadBool(f, limit, pos);
    FileReadInt32(f, limit, pos);
    FileReadInt32(f, limit, pos);
    FileReadDouble(f, limit, pos);
    FileReadDouble(f, limit, pos);
    for (auto& place : s.Places)
        for (std::int32_t& v : place) v = FileReadInt32(f, limit, pos);
}

void WriteOptions(KFile& f, std::int64_t& pos, const IniSettings& s)
{
    FileWriteBool(f, s.cbShowHints, pos);
    FileWriteInt32(f, s.EditsRef, pos);
    FileWriteInt32(f, s.GraphRef, pos);
    FileWriteBool(f, s.cbInitWalls, pos);
    FileWriteBool(f, s.cbAutoDiff, pos);
    FileWriteInt32(f, s.SimColor, pos);
    FileWriteInt32(f, s.DetColor, pos);
    FileWriteInt32(f, s.SnaExtent, pos);
    FileWriteDouble(f, s.EpsNew, pos);
    FileWriteDouble(f, s.EpsCor, pos);
    FileWriteInt32(f, s.ZeroPoint, pos);
    FileWriteInt32(f, s.ZeroPosNode, pos);
    FileWriteInt32(f, s.LineWidth, pos);
    FileWriteInt32(f, s.SrT, pos);
    FileWriteUInt8(f, static_cast<std::uint8_t>(s.CsvSep), pos);
    FileWriteInt32(f, s.XAxisUnit, pos);
    FileWriteBool(f, s.cbIgnDT, pos);
    FileWriteBool(f, s.cbPositionINI, pos);
    FileWriteBool(f, s.cbPSQQuestion, pos);
    FileWriteDouble(f, s.CondScale, pos);
    FileWriteDouble(f, s.XScale, pos);
    FileWriteBool(f, s.OpenExample, pos);
    FileWriteString(f, s.DefaultFile, pos, true);
}

void WriteReservedAndPlaces(KFile& f, std::int64_t& pos, const IniSettings& s)
{
    FileWriteBool(f, false, pos);
    FileWriteBool(f, false, pos);
    FileWriteInt32(f, 0, pos);
    FileWriteInt32(f, 0, pos);
    FileWriteDouble(f, 0.0, pos);
    FileWriteDouble(f, 0.0, pos);
    for (const auto& place : s.Places)
        for (std::int32_t v : place) FileWriteInt32(f, v, pos);
}

bool PositiveFinite(double v) { return std::isfinite(v) && v > 0; }

} // namespace

IniSettings CaptureIniSettings(const RunState& st)
{
    const OptionState& o = st.Options;
    IniSettings s;
    s.cbShowHints = o.cbShowHints;
    s.EditsRef = st.EditsRef;
    s.GraphRef = st.GraphRef;
    s.cbInitWalls = st.cbInitWalls;
    s.cbAutoDiff = st.cbAutoDiff;
    s.SimColor = static_cast<std::int32_t>(o.SimColor);
    s.DetColor = static_cast<std::int32_t>(o.DetColor);
    s.SnaExtent = o.SnaExtent;
    s.EpsNew = st.EpsNew;
    s.EpsCor = st.EpsCor;
    s.ZeroPoint = o.ZeroPoint;
    s.ZeroPosNode = st.ZeroPosNode;
    s.LineWidth = o.LineWidth;
    s.SrT = o.SrT;
    s.CsvSep = o.CsvSep;
    s.XAxisUnit = o.XAxisUnit;
    s.cbIgnDT = st.cbIgnDT;
    s.cbPositionINI = o.cbPositionINI;
    s.cbPSQQuestion = st.cbPSQQuestion;
    s.CondScale = st.CondScale;
    s.XScale = st.XScale;
    s.OpenExample = st.OpenExample;
    s.DefaultFile = o.DefaultFile;
    for (int w = 0; w < kStoredWindows; ++w) {
        const WindowPlace& p = o.Places[w];
        s.Places[w][0] = p.Left;
        s.Places[w][1] = p.Top;
        s.Places[w][2] = p.Height;
        s.Places[w][3] = p.Width;
    }
    return s;
}

void ApplyIniSettings(RunState& st, const IniSettings& s)
{
    OptionState& o = st.Options;
    o.cbShowHints = s.cbShowHints;
    if (s.EditsRef >= 1) st.EditsRef = s.EditsRef;
    if (s.GraphRef >= 1) st.GraphRef = s.GraphRef;
    st.cbInitWalls = s.cbInitWalls;
    st.cbAutoDiff = s.cbAutoDiff;
    o.SimColor = static_cast<std::uint32_t>(s.SimColor);
    o.DetColor = static_cast<std::uint32_t>(s.DetColor);
    o.SnaExtent = s.SnaExtent == kSnaComplete || s.SnaExtent == kSnaStandard ? s.SnaExtent : 0;
    if (PositiveFinite(s.EpsNew)) st.EpsNew = s.EpsNew;
    if (PositiveFinite(s.EpsCor)) st.EpsCor = s.EpsCor;
    // Checking a zero-point button recomputes the node; the stored node follows.
    o.ZeroPoint = s.ZeroPoint >= kZeroInjSite && s.ZeroPoint <= kZeroAnotherPos ? s.ZeroPoint : 0;
    ApplyZeroPoint(st);
    st.ZeroPosNode = s.ZeroPosNode;
    if (s.LineWidth >= 0) o.LineWidth = s.LineWidth;
    if (s.SrT >= 0) o.SrT = s.SrT;
    o.CsvSep = s.CsvSep;
    if (s.XAxisUnit == kXAxisM || s.XAxisUnit == kXAxisMM) SetXAxisUnit(st, s.XAxisUnit);
    else o.XAxisUnit = 0;
    st.cbIgnDT = s.cbIgnDT;
    o.cbPositionINI = s.cbPositionINI;
    st.cbPSQQuestion = s.cbPSQQuestion;
    if (std::isfinite(s.CondScale) && s.CondScale != 0) st.CondScale = s.CondScale;
    if (PositiveFinite(s.XScale)) st.XScale = s.XScale;
    st.OpenExample = s.OpenExample;
    o.DefaultFile = s.DefaultFile;
    if (!s.cbPositionINI) return;
    for (int w = 0; w < kStoredWindows; ++w)
        o.Places[w] = {s.Places[w][0], s.Places[w][1], s.Places[w][2], s.Places[w][3], true};
}

void WriteIniSettings(KFile& file, std::int64_t& position, const IniSettings& s)
{
    FileWriteString(file, kHeader, position, true);
    FileWriteString(file, kVersion, position, true);
    WriteOptions(file, position, s);
    WriteReservedAndPlaces(file, position, s);
    FileWriteString(file, kTrailer, position, true);
}

IniCheck ReadIniSettings(KFile& file, std::int64_t limit, std::int64_t& position, IniSettings& s)
{
    if (FileReadShortText(file, limit, position) != kHeader) return IniCheck::WrongHeader;
    if (FileReadShortText(file, limit, position) != kVersion) return IniCheck::WrongVersion;
    ReadOptions(file, limit, position, s);
    ReadReservedAndPlaces(file, limit, position, s);
    if (FileReadShortText(file, limit, position) != kTrailer) return IniCheck::WrongEnd;
    return IniCheck::Complete;
}

bool WriteIniFile(const RunState& st, const std::string& name)
{
    const IniSettings s = CaptureIniSettings(st);
    try {
        if (!SaveFileAtomically(name, [&](BinWriter& out) {
                std::int64_t pos = out.Position();
                WriteIniSettings(out.File(), pos, s);
            }))
            ThrowError("Error: Can't create a new file");
    } catch (const std::exception& e) {
        ShowWarning(e.what());
        return false;
    }
    return true;
}

bool ReadIniFile(RunState& st, const std::string& name)
{
    if (!FileExists(name)) return false;
    KFile file = KFile::Open(name, 0);
    if (!file.IsOpen()) ThrowError("Error: Can't open INI file");
    const std::int64_t limit = FileSizeByName(name);
    std::int64_t position = 0;
    IniSettings s;
    const IniCheck check = ReadIniSettings(file, limit, position, s);
    file.Close();
    switch (check) {
    case IniCheck::WrongHeader: ShowWarning("Found incorrect INI file!"); return false;
    case IniCheck::WrongVersion: ShowWarning("Incorrect version of INI file!"); return false;
    case IniCheck::WrongEnd:
        ShowWarning("Incorrect End of INI-file! Loaded Data Might be Corrupted...");
        return false;
    case IniCheck::Complete: break;
    }
    ApplyIniSettings(st, s);
    return true;
}
