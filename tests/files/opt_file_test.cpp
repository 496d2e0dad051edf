// The older options file: golden bytes from the layout, the reader's
// placement of the one optional integer, round trip, and every damaged file.
#include "files/opt_file.h"
#include "engine/state/run_state.h"
#include "files/setup_edits.h"
#include "foundation/numtext.h"
#include "opt_golden.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

namespace {

// A state holding the values of OptValues{} (zero point "another position").
RunState StateOf(const OptValues& v)
{
    RunState st;
    st.DT = v.DT;
    st.ErrOpt = v.ErrOpt;
    st.StopTime = v.StopTime;
    st.UI = v.UI;
    st.EOFMob = v.EOFMob;
    st.LeftWall = v.LeftWall;
    st.RightWall = v.RightWall;
    st.cbIS = v.cbIS;
    st.cbOptDt = v.cbOptDt;
    st.cbDetectorOn = v.cbDetectorOn;
    st.cbEnableEOF = v.cbEnableEOF;
    st.LegacyDetNode = v.DetNode;
    st.ErrInc = v.ErrInc;
    st.CondScale = v.CondScale;
    st.PeakWidthPending = v.PeakWidth;
    st.PeakEdgeWidthPending = v.PeakEdgeWidth;
    st.Temperature = v.Temperature;
    st.CapLengthPending = v.CapLength;
    st.EditsRef = v.EditsRef;
    st.CapDiameter = v.CapDiameter;
    st.NXPending = v.NX;
    st.GraphRef = v.GraphRef;
    st.DetInput = v.DetInput;
    st.Options.ZeroPoint = v.ZeroPoint;
    st.ZeroPosNode = v.ZeroPosNode;
    st.cbLWMove = v.LWMove;
    st.cbRWMove = v.RWMove;
    st.cbKeepDistance = v.KeepDistance;
    st.LW = v.LW;
    st.RW = v.RW;
    st.WallInc = v.WallInc;
    st.EpsNew = v.EpsNew;
    st.EpsCor = v.EpsCor2;
    st.rbVoltage = v.Voltage;
    st.InjSitePending = v.InjNode * 1000.0 / v.NX * v.CapLength;
    return st;
}

std::string Encoded(const RunState& st, const std::string& dir, const std::string& scratch)
{
    KFile f = KFile::Create(scratch);
    BinWriter out(f);
    WriteOptRecord(out, CaptureOptRecord(st, dir));
    f.Close();
    return ReadBytes(scratch);
}

// What the reader leaves of the options (NX 100 applied, so the walls fit).
auto Snapshot(const RunState& st)
{
    return std::tuple(st.DT, st.ErrOpt, st.StopTime, st.UI, st.EOFMob, st.LeftWall, st.RightWall,
                      st.cbIS, st.ISCorrection, st.cbOptDt, st.cbDetectorOn, st.cbEnableEOF,
                      st.LegacyDetNode, st.ErrInc, st.CondScale, st.PeakWidthPending,
                      st.PeakEdgeWidthPending, st.Temperature, st.CapLengthPending, st.EditsRef,
                      st.CapDiameter, st.NXPending, st.GraphRef, st.DetInput, st.Options.ZeroPoint,
                      st.ZeroPosNode, st.cbLWMove, st.cbRWMove, st.cbKeepDistance, st.LW, st.RW,
                      st.WallInc, st.EpsNew, st.EpsCor, st.rbVoltage);
}

}  // namespace

TEST(OptFile, WriterFollowsTheLayoutAndTheReaderPutsEveryFieldBack)
{
    TempDir tmp;
    const OptValues v;
    RunState st = StateOf(v);
    // The writer stores EpsCor twice around EpsNew and the injection node of the pending grid.
    OptValues expected = v;
    expected.EpsCor1 = v.EpsCor2;
    EXPECT_EQ(Encoded(st, v.Dir, tmp.file("s.bin")), GoldenOpt(expected));

    // The reader keeps the second EpsCor and drops the injection node and the directories.
    RecordingMessageSink sink;
    WriteBytes(tmp.file("a.opt"), GoldenOpt(v));
    RunState rd, want = StateOf(v);
    rd.NX = want.NX = 100;
    want.ISCorrection = true;
    ASSERT_TRUE(ReadOptFile(rd, tmp.file("a.opt")));
    EXPECT_EQ(Snapshot(rd), Snapshot(want));
    EXPECT_EQ(rd.InjSitePending, 3.0);
    EXPECT_TRUE(sink.warnings.empty());

    // Any other zero point has no node field: the following fields are read at their place.
    for (int code : {1, 2, 3, 4}) {
        OptValues w = v;
        w.ZeroPoint = code;
        WriteBytes(tmp.file("b.opt"), GoldenOpt(w));
        RunState r;
        r.NX = 100;
        ASSERT_TRUE(ReadOptFile(r, tmp.file("b.opt")));
        EXPECT_EQ(std::tuple(r.Options.ZeroPoint, r.WallInc, r.EpsCor, r.rbVoltage),
                  std::tuple(code, 25, 0.02, false));
        // The zero node follows the button on the pending grid read just before.
        const int node[] = {0, 12, 0, 100, 200};  // injection site of the fresh state: 3 mm
        EXPECT_EQ(r.ZeroPosNode, node[code]);
    }
    // A state with no zero-point button writes "another position" with its node.
    st.Options.ZeroPoint = 0;
    expected.ZeroPoint = 5;
    EXPECT_EQ(Encoded(st, v.Dir, tmp.file("s.bin")), GoldenOpt(expected));

    // Keep distance checked by the file clears "LW can move".
    OptValues k = v;
    k.KeepDistance = k.LWMove = true;
    WriteBytes(tmp.file("k.opt"), GoldenOpt(k));
    ASSERT_TRUE(ReadOptFile(rd, tmp.file("k.opt")));
    EXPECT_TRUE(rd.cbKeepDistance && !rd.cbLWMove);
}

TEST(OptFile, RoundTripThroughTheProgramDirectory)
{
    TempDir tmp;
    ::setenv("KELVO_HOME", tmp.path().c_str(), 1);
    RunState st = StateOf(OptValues{});
    st.NX = 200;
    const std::string name = tmp.file("sub/p.opt");
    RecordingMessageSink sink;
    // A missing directory is created after Yes; No writes nothing.
    EXPECT_FALSE(WriteOptFile(st, name));
    EXPECT_EQ(sink.questions, std::vector<std::string>{"Create New Dir?\n" + tmp.file("sub")});
    sink.answers = {true};
    ASSERT_TRUE(WriteOptFile(st, name));
    OptValues v;
    v.Dir = tmp.path().string();
    v.EpsCor1 = v.EpsCor2;
    EXPECT_EQ(ReadBytes(name), GoldenOpt(v));
    ::unsetenv("KELVO_HOME");
}

TEST(OptFile, DamagedFilesAreReportedAndChangeNothing)
{
    TempDir tmp;
    const std::string golden = GoldenOpt(OptValues{});
    const std::string name = tmp.file("d.opt");
    const auto fresh = Snapshot(RunState{});
    RecordingMessageSink sink;
    auto read = [&](const std::string& bytes, std::string& raised) {
        WriteBytes(name, bytes);
        sink.Clear();
        RunState st;
        bool ok = false;  // stays false when the read raises
        raised = RaisedMessage([&] { ok = ReadOptFile(st, name); });
        EXPECT_EQ(Snapshot(st), fresh) << bytes.size();
        return ok;
    };
    std::string raised;
    // Every cut (a trailer without its zero byte still reads "EOF"): the header or the
    // trailer is wrong (a warning), or a field does not fit (raised).
    for (std::size_t len = 0; len + 1 < golden.size(); ++len) {
        const bool ok = read(golden.substr(0, len), raised);
        EXPECT_FALSE(ok) << len;
        if (raised == "(no error)")
            EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect file."}) << len;
        else
            EXPECT_EQ(raised, "Incorrect file.") << len;
    }
    // Another header, another trailer.
    for (const std::string& bytes :
         {"KELVO OPT FILE" + golden.substr(18), GoldenOpt(OptValues{}, "END")}) {
        EXPECT_FALSE(read(bytes, raised));
        EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect file."});
    }
    // A missing file: its own warning, without a full stop.
    RunState st;
    EXPECT_FALSE(ReadOptFile(st, tmp.file("none.opt")));
    EXPECT_EQ(sink.warnings.back(), "File \"" + tmp.file("none.opt") + "\" not found");

    // Hostile values: none reaches the state.
    OptValues h;
    h.DT = -1;
    h.UI = std::numeric_limits<double>::quiet_NaN();
    h.PeakWidth = 0;
    h.CapLength = -0.1;
    h.Temperature = std::numeric_limits<double>::infinity();
    h.EditsRef = 0;
    h.GraphRef = INT_MIN;
    h.DetInput = -3;
    h.NX = INT_MAX;
    h.WallInc = INT_MIN;
    h.EpsNew = 0;
    h.EpsCor2 = -1;
    h.LeftWall = -7;
    h.RightWall = INT_MAX;
    h.ZeroPoint = 99;
    WriteBytes(name, GoldenOpt(h));
    RunState hs;
    hs.NX = 100;
    ASSERT_TRUE(ReadOptFile(hs, name));
    RunState d;
    EXPECT_EQ(
        std::tuple(hs.DT, hs.PeakWidthPending, hs.CapLengthPending, hs.Temperature, hs.EditsRef,
                   hs.GraphRef, hs.DetInput, hs.NXPending, hs.WallInc, hs.EpsNew, hs.EpsCor),
        std::tuple(d.DT, d.PeakWidthPending, d.CapLengthPending, d.Temperature, d.EditsRef,
                   d.GraphRef, d.DetInput, d.NXPending, d.WallInc, d.EpsNew, d.EpsCor));
    EXPECT_EQ(hs.UI, d.UI);
    EXPECT_EQ(std::tuple(hs.LeftWall, hs.RightWall, hs.Options.ZeroPoint), std::tuple(0, 100, 0));
}

// Values the edits that set them would refuse (a stop time, error limit or
// conductivity scale not above 0, a negative dt increment, a temperature no
// Celsius edit stores) keep the values in memory; the rest of the file applies.
TEST(OptFile, ValuesTheEditsRefuseKeepTheValuesInMemory)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("e.opt");
    OptValues h;
    h.StopTime = -1;
    h.ErrOpt = -1;
    h.ErrInc = -1;
    h.Temperature = 5e-324;
    h.CondScale = -1;
    const OptValues fine = h;
    h.DT = 10.5;  // beyond the run panel's dt, a voltage beyond its edit, a peak of 1e308 mm
    h.UI = 2e6;
    h.PeakWidth = 1e308;
    WriteBytes(name, GoldenOpt(h));
    RunState st;
    st.NX = 100;
    ASSERT_TRUE(ReadOptFile(st, name));
    const RunState d;
    EXPECT_EQ(std::tuple(st.StopTime, st.ErrOpt, st.ErrInc, st.Temperature, st.CondScale, st.DT,
                         st.UI, st.PeakWidthPending),
              std::tuple(d.StopTime, d.ErrOpt, d.ErrInc, d.Temperature, d.CondScale, d.DT, d.UI,
                         d.PeakWidthPending));
    h = fine;
    WriteBytes(name, GoldenOpt(h));
    ASSERT_TRUE(ReadOptFile(st, name));
    EXPECT_EQ(std::tuple(st.DT, st.PeakWidthPending, st.NXPending),
              std::tuple(h.DT, h.PeakWidth, h.NX));
    // At the limits they are taken: a dt increment of 0, the smallest temperature the edit stores.
    h.ErrInc = 0;
    h.Temperature = 0x1p-44;
    h.StopTime = 1e-9;
    WriteBytes(name, GoldenOpt(h));
    ASSERT_TRUE(ReadOptFile(st, name));
    EXPECT_EQ(std::tuple(st.StopTime, st.ErrInc, st.Temperature), std::tuple(1e-9, 0.0, 0x1p-44));
}

// A diameter whose cross-section pi d^2 / 4 is 0 or beyond the doubles stops
// every run that divides by it: neither the options file nor the edit takes
// it, and the diameter in memory stays; one with a normal cross-section is
// taken by both.
TEST(OptFile, ADiameterWithoutACrossSectionIsTakenByNeitherTheFileNorTheEdit)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string name = tmp.file("d.opt");
    const EditEntry* edit = FindEdit("edCapDiameter");
    ASSERT_NE(edit, nullptr);
    for (double d : {5e-324, 1e-160, 1e160}) {
        OptValues h;
        h.CapDiameter = d;
        WriteBytes(name, GoldenOpt(h));
        RunState st;
        st.NX = 100;
        ASSERT_TRUE(ReadOptFile(st, name));
        EXPECT_EQ(st.CapDiameter, RunState().CapDiameter) << d;
        EXPECT_EQ(st.DT, h.DT) << d;  // the rest of the file is taken
        EXPECT_EQ(CommitEdit(st, *edit, ShortestFloatText(d * 1e6, '.')), EditResult::Refused) << d;
    }
    OptValues h;
    h.CapDiameter = 1e-150;
    WriteBytes(name, GoldenOpt(h));
    RunState st;
    ASSERT_TRUE(ReadOptFile(st, name));
    EXPECT_EQ(st.CapDiameter, 1e-150);
    EXPECT_EQ(CommitEdit(st, *edit, "75"), EditResult::Taken);
    EXPECT_EQ(st.CapDiameter, 75e-6);
}
