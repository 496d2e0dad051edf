#include "files/ini_file.h"

#include "engine/state/run_state.h"
#include "files/setup_edits.h"
#include "foundation/binio.h"
#include "foundation/errors.h"

#include <cmath>

namespace {

const char* const kHeader = "KELVO INI FILE";
const char* const kVersion = "1.0";
const char* const kTrailer = "EOF";

// One character in one byte.
void CharField(BinWriter& out, char c)
{
    out.UInt8(static_cast<std::uint8_t>(c));
}
void CharField(BinReader& in, char& c)
{
    c = static_cast<char>(in.UInt8());
}

// The fields between the version and the trailer in file order, shared by
// writer and reader (BinWriter / BinReader).
template <class IO, class Settings>
void VisitSettings(IO& io, Settings& s)
{
    io.Fields(s.cbShowHints, s.EditsRef, s.GraphRef, s.cbInitWalls, s.cbAutoDiff, s.SimColor,
              s.DetColor, s.SnaExtent, s.EpsNew, s.EpsCor, s.ZeroPoint, s.ZeroPosNode, s.LineWidth,
              s.SrT);
    CharField(io, s.CsvSep);
    io.Fields(s.XAxisUnit, s.cbIgnDT, s.cbPositionINI, s.cbPSQQuestion, s.CondScale, s.XScale,
              s.OpenExample, s.DefaultFile);
    // Reserved: written as zeros, read and dropped.
    bool reservedFlags[2] = {false, false};
    std::int32_t reservedInts[2] = {0, 0};
    double reservedDoubles[2] = {0.0, 0.0};
    io.Fields(reservedFlags[0], reservedFlags[1], reservedInts[0], reservedInts[1],
              reservedDoubles[0], reservedDoubles[1]);
    for (auto& place : s.Places)
        for (auto& v : place) io.Fields(v);
}

bool PositiveFinite(double v)
{
    return std::isfinite(v) && v > 0;
}

}  // namespace

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
    // Values outside the limits of the edits that set them keep the values in memory.
    if (EditTakes("edEditsRef", s.EditsRef)) st.EditsRef = s.EditsRef;
    if (EditTakes("edGraphRef", s.GraphRef)) st.GraphRef = s.GraphRef;
    st.cbInitWalls = s.cbInitWalls;
    st.cbAutoDiff = s.cbAutoDiff;
    o.SimColor = static_cast<std::uint32_t>(s.SimColor);
    o.DetColor = static_cast<std::uint32_t>(s.DetColor);
    o.SnaExtent = s.SnaExtent == kSnaComplete || s.SnaExtent == kSnaStandard ? s.SnaExtent : 0;
    if (EditTakes("edEpsNew", s.EpsNew)) st.EpsNew = s.EpsNew;
    if (EditTakes("edEpsCor", s.EpsCor)) st.EpsCor = s.EpsCor;
    // Checking a zero-point button recomputes the node; the stored node follows.
    o.ZeroPoint = s.ZeroPoint >= kZeroInjSite && s.ZeroPoint <= kZeroAnotherPos ? s.ZeroPoint : 0;
    ApplyZeroPoint(st);
    st.ZeroPosNode = s.ZeroPosNode;
    // The line-width edit takes any width of 0 or more (the chart draws at most
    // kMaxDrawnLineWidth points wide): a wide one is read as it is.
    if (EditTakes("edLineWidth", s.LineWidth)) o.LineWidth = s.LineWidth;
    if (EditTakes("edSrT", s.SrT)) o.SrT = s.SrT;
    o.CsvSep = s.CsvSep;
    if (s.XAxisUnit == kXAxisM || s.XAxisUnit == kXAxisMM)
        SetXAxisUnit(st, s.XAxisUnit);
    else
        o.XAxisUnit = 0;
    st.cbIgnDT = s.cbIgnDT;
    o.cbPositionINI = s.cbPositionINI;
    st.cbPSQQuestion = s.cbPSQQuestion;
    // No edit sets the conductivity display factor; one that turned
    // conductivities negative would show a plainly wrong profile.
    if (PositiveFinite(s.CondScale)) st.CondScale = s.CondScale;
    if (PositiveFinite(s.XScale)) st.XScale = s.XScale;
    st.OpenExample = s.OpenExample;
    o.DefaultFile = s.DefaultFile;
    if (!s.cbPositionINI) return;
    for (int w = 0; w < kStoredWindows; ++w)
        o.Places[w] = {s.Places[w][0], s.Places[w][1], s.Places[w][2], s.Places[w][3], true};
}

void WriteIniSettings(BinWriter& out, const IniSettings& s)
{
    out.Fields(kHeader, kVersion);
    VisitSettings(out, s);
    out.Fields(kTrailer);
}

IniCheck ReadIniSettings(BinReader& in, IniSettings& s)
{
    if (in.StringZ() != kHeader) return IniCheck::WrongHeader;
    if (in.StringZ() != kVersion) return IniCheck::WrongVersion;
    VisitSettings(in, s);
    if (in.StringZ() != kTrailer) return IniCheck::WrongEnd;
    return IniCheck::Complete;
}

bool WriteIniFile(const RunState& st, const std::string& name)
{
    const IniSettings s = CaptureIniSettings(st);
    try {
        if (!SaveFileAtomically(name, [&](BinWriter& out) { WriteIniSettings(out, s); }))
            ThrowError("Error: Can't create a new file");
    } catch (const std::exception& e) {
        ShowWarning(e.what());
        return false;
    }
    return true;
}

bool ReadIniFile(RunState& st, const std::string& name)
{
    // No settings file yet is the first start: the defaults stay, silently.
    KFile file;
    const OpenOutcome opened = OpenForReading(file, name);
    if (opened == OpenOutcome::NotFound) return false;
    if (opened == OpenOutcome::CantOpen) ThrowError("Error: Can't open INI file");
    IniSettings s;
    BinReader in(file);
    const IniCheck check = ReadIniSettings(in, s);
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
