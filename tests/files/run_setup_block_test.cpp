#include "run_fixture.h"

#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/temp_dir.h"

#include <cmath>
#include <tuple>

namespace {

void SetDistinctive(RunState& st)
{
    // ISCorrection and RedDiff are written, not their boxes.
    st.Time = 12.5;
    st.DT = 2e-5;
    st.ErrOpt = 3e-11;
    st.UI = 500;
    st.EOFMob = -2e-8;
    st.LeftWall = 7;
    st.RightWall = 93;
    st.ISCorrection = true;
    st.cbIS = false;
    st.cbOptDt = false;
    st.cbDetectorOn = true;
    st.cbEnableEOF = true;
    st.cbEOFDif = false;
    st.RedDiff = true;
    st.cbRedDiff = false;
    st.cbLastCor = true;
    st.NX = 100;
    st.PeakWidth = 1.5;
    st.PeakEdgeWidth = 0.25;
    st.InjSite = 4.0;
    st.CapLength = 0.05;
    st.StopTime = 60;
    st.DetPosition = 30;
    st.ErrInc = 0.2;
    st.Temperature = 300.15;
    st.CapDiameter = 7.5e-5;
    st.DetInput = 5;
    st.FakeCapLen = 0.001;
    st.OptInter = 50;
    st.cbLWMove = false;
    st.cbRWMove = true;
    st.cbKeepDistance = false;
    st.LW = 1e-10;
    st.RW = 2e-10;
    st.WallInc = 20;
    st.rbVoltage = true;
    st.I = 3.5e-6;
    st.U = 480;
    st.PSQPeriod = 250;
    st.rbPSQMS = false;
    st.rbPSQSteps = true;
    st.rbPSQNo = false;
    st.cbLBorder = true;
    st.cbGauss = true;
    st.cbDCDTCor = false;
    st.cbPCIS = true;
    st.ItNew = 80;
    st.EpsNew = 1e-13;
    st.EpsCor = 0.02;
    st.cbSDS = true;
    st.cbShowMic = false;
    st.cbShowCMC = true;
    st.MicCompNo = 2;
    st.MicMob = 3e-8;
    st.CMCC = 500;
    st.CMCL = 1.5;
    st.CMCR = 2.5;
    st.CMCW = 40;
    st.OM = 50;
    st.DiffMultiplier = 0.5;
    st.DiffMode = true;
    st.DiffClock = 1.25;
    st.DiffTime = 5;
    st.DiffTimeSet = 6;
    st.SavedDT = 3e-5;
    st.SavedErrInc = 0.3;
    st.cbProtein = true;
    st.edDMult = "150";
    st.edPAxis = "abc";
}

// The block of SetDistinctive, written from the layout table.
std::string GoldenBlock(bool inFrame)
{
    Bytes g;
    g.f64(12.5).f64(2e-5).f64(3e-11).f64(500).f64(-2e-8).i32(7).i32(93);
    g.u8(1).u8(0).u8(1).u8(1).u8(0).u8(1).u8(1);
    if (!inFrame) g.i32(100).f64(1.5).f64(0.25).f64(4.0).f64(0.05);
    g.f64(60).f64(30).f64(0.2).f64(300.15).f64(7.5e-5).i32(5).f64(0.001).i32(50);
    g.u8(0).u8(1).u8(0).f64(1e-10).f64(2e-10).i32(20);
    g.u8(1).f64(3.5e-6).i32(250).i32(2);
    g.u8(1).u8(0).u8(1).u8(0).u8(1).i32(80).f64(1e-13).f64(0.02);
    g.u8(1).u8(0).u8(1).i32(2).f64(3e-8).i32(500).f64(1.5).f64(2.5).i32(40).i32(50);
    g.f64(0.5).u8(1).f64(1.25).f64(5).f64(6).f64(3e-5).f64(0.3);
    g.u8(1).u8(0).u8(0).u8(0).u8(0).i32(0).i32(0).i32(0).i32(0).i32(0);
    g.f64(150.0).f64(1.0).f64(0).f64(0).f64(0);
    return g.b;
}

RunSetupBlock ReadBlockFile(const std::string& name, bool inFrame)
{
    KFile f = KFile::Open(name, 0);
    BinReader in(f);
    return ReadRunSetupBlock(in, inFrame);
}

}  // namespace

TEST(RunSetupBlock, WriterAndReaderFollowTheLayout)
{
    TempDir tmp;
    RunState st;
    SetDistinctive(st);
    const std::string name = tmp.file("g.bin");
    for (bool inFrame : {false, true}) {
        const std::string g = GoldenBlock(inFrame);
        ASSERT_EQ(g.size(), inFrame ? 333u : 369u);
        EXPECT_EQ(BlockBytes(st, name, inFrame), g);
        // What the reader applies from the golden block is written back to the same bytes.
        WriteBytes(name, g);
        RunState rd;
        ApplyRunSetupBlock(rd, ReadBlockFile(name, inFrame), inFrame);
        EXPECT_EQ(BlockBytes(rd, tmp.file("again.bin"), inFrame), g);
        for (std::size_t len = 0; len < g.size(); ++len) {
            WriteBytes(name, g.substr(0, len));
            EXPECT_EQ(RaisedMessage([&] { ReadBlockFile(name, inFrame); }), "Incorrect file.")
                << len;
        }
        // A time step, set voltage or EOF mobility (SI) no edit would take.
        for (auto [at, v] : {std::pair(8, std::nan("")), std::pair(8, 0.0), std::pair(8, -2e-5),
                             std::pair(8, 1e308), std::pair(8, 10.5), std::pair(24, 2e6),
                             std::pair(24, -1e308), std::pair(32, 1e-3)}) {
            WriteBytes(name, g.substr(0, at) + Bytes().f64(v).b + g.substr(at + 8));
            EXPECT_EQ(RaisedMessage([&] { ReadBlockFile(name, inFrame); }), "Incorrect file.")
                << at << " " << v;
        }
    }
    // In current mode the voltage is stored; a text that is no number is stored as 120.0.
    st.rbVoltage = false;
    st.edDMult = "x";
    const std::string current = GoldenBlock(false)
                                    .replace(170, 9, Bytes().u8(0).f64(480).b)
                                    .replace(329, 8, Bytes().f64(120).b);
    EXPECT_EQ(BlockBytes(st, name, false), current);

    // The reader applies fields with their side effects.
    WriteBytes(tmp.file("full.bin"), GoldenBlock(false));
    WriteBytes(tmp.file("frame.bin"), GoldenBlock(true));
    RunState ap;
    ap.U = 111;  // stays: the partner goes to I
    ApplyRunSetupBlock(ap, ReadBlockFile(tmp.file("full.bin"), false), false);
    EXPECT_TRUE(ap.cbIS && ap.cbRedDiff && ap.rbPSQSteps && !ap.rbPSQMS && !ap.rbPSQNo);
    EXPECT_EQ(std::tuple(ap.NXPending, ap.CapLengthPending, ap.InjSitePending, ap.U, ap.edPAxis),
              std::tuple(100, 0.05, 4.0, 111.0, "1"));

    // In a frame the geometry stays and is copied into the pending values.
    RunState fr;
    fr.NX = 400;
    fr.CapLength = 0.3;
    fr.NXPending = 10;
    ApplyRunSetupBlock(fr, ReadBlockFile(tmp.file("frame.bin"), true), true);
    EXPECT_EQ(std::tuple(fr.NX, fr.CapLength, fr.NXPending), std::tuple(400, 0.3, 400));

    // "Ignore Micellar data": the 43 bytes are dropped, later fields still line up.
    RunState ig;
    ig.cbIngoreSNA = true;
    ApplyRunSetupBlock(ig, ReadBlockFile(tmp.file("full.bin"), false), false);
    EXPECT_FALSE(ig.cbSDS);
    EXPECT_EQ(std::tuple(ig.MicCompNo, ig.MicMob, ig.OM, ig.DiffTimeSet),
              std::tuple(1, 4e-8, 64, 6.0));

    // Out-of-range stored values keep the values in memory; walls are kept on the grid.
    RunSetupBlock b = ReadBlockFile(tmp.file("full.bin"), false);
    b.PsqMode = 7;
    b.PSQPeriod = 0;
    b.MicCompNo = 0;
    b.LeftWall = -5;
    b.RightWall = 1000000;
    b.WallInc = 2147483647;
    RunState un;
    un.WallInc = 7;
    ApplyRunSetupBlock(un, b, false);
    EXPECT_TRUE(un.rbPSQMS && !un.rbPSQSteps && !un.rbPSQNo);
    EXPECT_EQ(std::tuple(un.PSQPeriod, un.MicCompNo, un.LeftWall, un.RightWall),
              std::tuple(1000, 1, 0, 100));
    EXPECT_EQ(un.WallInc, 7);  // a wall step far beyond the grid would overflow the walls
    b.WallInc = -3;
    ApplyRunSetupBlock(un, b, false);
    EXPECT_EQ(un.WallInc, 7);
}
