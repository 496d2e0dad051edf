// The settings file "KELVO 5.ini": golden bytes from the layout, round trip,
// radio codes, window places on request, and every damaged or foreign file
// refused with the defaults kept.
#include "files/ini_file.h"
#include "byte_builder.h"
#include "engine/state/run_state.h"
#include "files/setup_edits.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <tuple>

namespace {

void SetDistinctive(RunState& st)
{
    OptionState& o = st.Options;
    o.cbShowHints = true;
    st.EditsRef = 11;
    st.GraphRef = 22;
    st.cbInitWalls = false;
    st.cbAutoDiff = true;
    o.SimColor = 0x00112233;
    o.DetColor = 0x00445566;
    o.SnaExtent = kSnaComplete;
    st.EpsNew = 1e-13;
    st.EpsCor = 0.02;
    o.ZeroPoint = kZeroAnotherPos;
    st.ZeroPosNode = -7;
    o.LineWidth = 3;
    o.SrT = 4;
    o.CsvSep = '\t';
    o.XAxisUnit = kXAxisM;
    st.XScale = 1;
    st.cbIgnDT = false;
    o.cbPositionINI = true;
    st.cbPSQQuestion = true;
    st.CondScale = 10;
    st.OpenExample = false;
    o.DefaultFile = "/home/u/run.sna";
    for (int w = 0; w < kStoredWindows; ++w)
        o.Places[w] = {10 * w, 10 * w + 1, 10 * w + 2, 10 * w + 3, true};
}

// The file of SetDistinctive, written from the layout table.
Bytes GoldenIni(bool positions = true, const std::string& version = "1.0")
{
    Bytes g;
    g.str("KELVO INI FILE")
        .str(version)
        .u8(1)
        .i32(11)
        .i32(22)
        .u8(0)
        .u8(1)
        .i32(0x00112233)
        .i32(0x00445566)
        .i32(1);
    g.f64(1e-13).f64(0.02).i32(5).i32(-7).i32(3).i32(4).u8('\t').i32(1).u8(0).u8(positions).u8(1);
    g.f64(10).f64(1).u8(0).str("/home/u/run.sna");
    g.u8(0).u8(0).i32(0).i32(0).f64(0).f64(0);
    for (int w = 0; w < 7; ++w) g.i32(10 * w).i32(10 * w + 1).i32(10 * w + 2).i32(10 * w + 3);
    return g;
}

std::string Encoded(const RunState& st, const std::string& scratch)
{
    KFile f = KFile::Create(scratch);
    BinWriter out(f);
    WriteIniSettings(out, CaptureIniSettings(st));
    f.Close();
    return ReadBytes(scratch);
}

// Everything the file carries, as the state holds it.
auto Snapshot(const RunState& st)
{
    const OptionState& o = st.Options;
    auto places = [&] {
        std::vector<std::tuple<int, int, int, int, bool>> v;
        for (const WindowPlace& p : o.Places)
            v.emplace_back(p.Left, p.Top, p.Height, p.Width, p.Known);
        return v;
    };
    return std::tuple(o.cbShowHints, st.EditsRef, st.GraphRef, st.cbInitWalls, st.cbAutoDiff,
                      o.SimColor, o.DetColor, o.SnaExtent, st.EpsNew, st.EpsCor, o.ZeroPoint,
                      st.ZeroPosNode, o.LineWidth, o.SrT, o.CsvSep, o.XAxisUnit, st.cbIgnDT,
                      o.cbPositionINI, st.cbPSQQuestion, st.CondScale, st.XScale, st.OpenExample,
                      o.DefaultFile, places());
}

}  // namespace

TEST(IniFile, WriterFollowsTheLayoutAndTheReaderPutsEveryFieldBack)
{
    TempDir tmp;
    RunState st;
    SetDistinctive(st);
    const std::string golden = GoldenIni().str("EOF").b;
    EXPECT_EQ(Encoded(st, tmp.file("s.bin")), golden);
    const std::string name = tmp.file(kIniFileName);
    ASSERT_TRUE(WriteIniFile(st, name));
    EXPECT_EQ(ReadBytes(name), golden);
    RecordingMessageSink sink;
    // The distinctive values, a fresh state's defaults and another separator come back as written.
    RunState fresh, other = st;
    other.Options.CsvSep = ';';
    for (const RunState* written : {&st, &fresh, &other}) {
        ASSERT_TRUE(WriteIniFile(*written, name));
        RunState rd;
        ASSERT_TRUE(ReadIniFile(rd, name));
        EXPECT_EQ(Snapshot(rd), Snapshot(*written));
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(IniFile, WindowPlacesOnlyOnRequestAndRadioCodes)
{
    TempDir tmp;
    const std::string name = tmp.file(kIniFileName);
    // Without "Store Window Positions" the places are skipped, the trailer still checked.
    WriteBytes(name, GoldenIni(false).str("EOF").b);
    RunState st;
    ASSERT_TRUE(ReadIniFile(st, name));
    EXPECT_EQ(
        std::tuple(st.Options.Places[kWinRunSetup].Known, st.Options.Places[kWinOption].Width),
        std::tuple(false, 0));
    RecordingMessageSink sink;
    WriteBytes(name, GoldenIni(false).str("EOX").b);
    RunState bad;
    EXPECT_FALSE(ReadIniFile(bad, name));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                 "Incorrect End of INI-file! Loaded Data Might be Corrupted..."});
    EXPECT_EQ(Snapshot(bad), Snapshot(RunState{}));

    // Radio codes outside the listed values check no button; the x-axis code sets its scale.
    std::string b = GoldenIni().str("EOF").b;
    b = WithInt32At(b, 38, 9);   // saving extent
    b = WithInt32At(b, 58, 0);   // zero point
    b = WithInt32At(b, 75, -1);  // x-axis unit
    WriteBytes(name, b);
    RunState r;
    ASSERT_TRUE(ReadIniFile(r, name));
    // The zero node is stored as read, the scale from field 23.
    EXPECT_EQ(std::tuple(r.Options.SnaExtent, r.Options.ZeroPoint, r.Options.XAxisUnit,
                         r.ZeroPosNode, r.XScale),
              std::tuple(0, 0, 0, -7, 1.0));
}

TEST(IniFile, ForeignDamagedAndHostileFilesKeepTheDefaults)
{
    TempDir tmp;
    const std::string name = tmp.file(kIniFileName);
    const auto defaults = Snapshot(RunState{});
    RecordingMessageSink sink;
    // A missing file is the first start: nothing said, nothing changed.
    RunState none;
    EXPECT_FALSE(ReadIniFile(none, name));
    EXPECT_TRUE(sink.warnings.empty());

    auto refused = [&](const std::string& bytes, const std::string& warning,
                       const std::string& raised) {
        WriteBytes(name, bytes);
        sink.Clear();
        RunState st;
        bool ok = false;
        EXPECT_EQ(RaisedMessage([&] { ok = ReadIniFile(st, name); }), raised) << bytes.size();
        EXPECT_FALSE(ok);
        EXPECT_EQ(sink.warnings,
                  warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{warning})
            << bytes.size();
        EXPECT_EQ(Snapshot(st), defaults) << bytes.size();
    };
    refused(GoldenIni(true, "1.1").str("EOF").b, "Incorrect version of INI file!", "(no error)");
    refused("KELVO SNA FILE" + GoldenIni().str("EOF").b.substr(14), "Found incorrect INI file!",
            "(no error)");
    // Every cut (a text cut before its zero byte ends at the end of the file): inside the
    // header, the version or the trailer a warning; inside the fields "Incorrect file.".
    const std::string golden = GoldenIni().str("EOF").b;
    for (std::size_t len = 0; len + 1 < golden.size(); ++len) {
        if (len < 14)
            refused(golden.substr(0, len), "Found incorrect INI file!", "(no error)");
        else if (len < 18)
            refused(golden.substr(0, len), "Incorrect version of INI file!", "(no error)");
        else if (len >= golden.size() - 4)
            refused(golden.substr(0, len),
                    "Incorrect End of INI-file! Loaded Data Might be Corrupted...", "(no error)");
        else
            refused(golden.substr(0, len), "", "Incorrect file.");
    }

    // Hostile values: none reaches the state.
    Bytes h;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    h.str("KELVO INI FILE").str("1.0").u8(7).i32(0).i32(INT_MIN).u8(1).u8(0).i32(-1).i32(0).i32(2);
    h.f64(nan).f64(-1).i32(3).i32(INT_MAX).i32(-5).i32(INT_MIN).u8(0).i32(2).u8(1).u8(0).u8(0);
    h.f64(std::numeric_limits<double>::infinity()).f64(0).u8(0).str("");
    h.u8(0).u8(0).i32(0).i32(0).f64(0).f64(0);
    for (int k = 0; k < 28; ++k) h.i32(INT_MIN);
    h.str("EOF");
    WriteBytes(name, h.b);
    RunState st;
    ASSERT_TRUE(ReadIniFile(st, name));
    RunState d;
    EXPECT_EQ(std::tuple(st.EditsRef, st.GraphRef, st.EpsNew, st.EpsCor, st.Options.LineWidth,
                         st.Options.SrT, st.CondScale, st.XScale),
              std::tuple(d.EditsRef, d.GraphRef, d.EpsNew, d.EpsCor, d.Options.LineWidth,
                         d.Options.SrT, d.CondScale, 1000.0));
    // Any non-zero byte is checked.
    EXPECT_EQ(std::tuple(st.Options.cbShowHints, st.Options.SimColor, st.Options.CsvSep,
                         st.Options.Places[0].Known),
              std::tuple(true, 0xFFFFFFFFu, '\0', false));

    // A file that cannot be written leaves a warning and no file.
    sink.Clear();
    EXPECT_FALSE(WriteIniFile(d, tmp.file("missing/dir/KELVO 5.ini")));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Error: Can't create a new file"});
}

// A conductivity display factor that is not above 0 keeps the one in memory;
// a wide line (the line-width edit takes any width of 0 or more) is read as
// it is.
TEST(IniFile, ConductivityScaleAboveZeroAndAnyLineWidthTheEditTakes)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("s.ini");
    const std::string golden = GoldenIni().str("EOF").b;
    constexpr std::size_t kLineWidth = 66, kCondScale = 82;
    for (double scale : {-1.0, 0.0}) {
        WriteBytes(name, WithInt32At(golden.substr(0, kCondScale) + Bytes().f64(scale).b +
                                         golden.substr(kCondScale + 8),
                                     kLineWidth, 100000000));
        RunState st;
        ASSERT_TRUE(ReadIniFile(st, name));
        EXPECT_EQ(std::tuple(st.CondScale, st.Options.LineWidth, st.GraphRef),
                  std::tuple(RunState{}.CondScale, 100000000, 22));
    }
}
