#include "files/run_setup_block.h"

#include "byte_builder.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

void SetDistinctive(RunState& st)
{
    st.Time = 12.5; st.DT = 2e-5; st.ErrOpt = 3e-11; st.UI = 500; st.EOFMob = -2e-8;
    st.LeftWall = 7; st.RightWall = 93;
    st.ISCorrection = true; st.cbIS = false;  // the member is written, not the box
    st.cbOptDt = false; st.cbDetectorOn = true; st.cbEnableEOF = true; st.cbEOFDif = false;
    st.RedDiff = true; st.cbRedDiff = false; st.cbLastCor = true;
    st.NX = 100; st.PeakWidth = 1.5; st.PeakEdgeWidth = 0.25; st.InjSite = 4.0; st.CapLength = 0.05;
    st.StopTime = 60; st.DetPosition = 30; st.ErrInc = 0.2; st.Temperature = 300.15;
    st.CapDiameter = 7.5e-5; st.DetInput = 5; st.FakeCapLen = 0.001; st.OptInter = 50;
    st.cbLWMove = false; st.cbRWMove = true; st.cbKeepDistance = false;
    st.LW = 1e-10; st.RW = 2e-10; st.WallInc = 20;
    st.rbVoltage = true; st.I = 3.5e-6; st.U = 480;
    st.PSQPeriod = 250; st.rbPSQMS = false; st.rbPSQSteps = true; st.rbPSQNo = false;
    st.cbLBorder = true; st.cbGauss = true; st.cbDCDTCor = false; st.cbPCIS = true;
    st.ItNew = 80; st.EpsNew = 1e-13; st.EpsCor = 0.02;
    st.cbSDS = true; st.cbShowMic = false; st.cbShowCMC = true; st.MicCompNo = 2; st.MicMob = 3e-8;
    st.CMCC = 500; st.CMCL = 1.5; st.CMCR = 2.5; st.CMCW = 40; st.OM = 50;
    st.DiffMultiplier = 0.5; st.DiffMode = true; st.DiffClock = 1.25; st.DiffTime = 5;
    st.DiffTimeSet = 6; st.SavedDT = 3e-5; st.SavedErrInc = 0.3;
    st.cbProtein = true; st.edDMult = "150"; st.edPAxis = "abc";
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

std::string WriteBlockFile(const RunState& st, const std::string& name, bool inFrame)
{
    KFile f = KFile::Create(name);
    std::int64_t pos = 0;
    WriteRunSetupBlock(f, pos, CaptureRunSetupBlock(st), inFrame);
    f.Close();
    return ReadBytes(name);
}

RunSetupBlock ReadBlockFile(const std::string& name, bool inFrame)
{
    KFile f = KFile::Open(name, 0);
    const std::int64_t limit = f.Seek(0, 2);
    f.Seek(0, 0);
    std::int64_t pos = 0;
    return ReadRunSetupBlock(f, limit, pos, inFrame);
}

} // namespace

TEST(RunSetupBlock, WriterProducesTheLayoutByteForByte)
{
    TempDir tmp;
    RunState st;
    SetDistinctive(st);
    const std::string full = GoldenBlock(false), frame = GoldenBlock(true);
    ASSERT_EQ(full.size(), 369u);
    ASSERT_EQ(frame.size(), 333u);
    EXPECT_EQ(WriteBlockFile(st, tmp.file("full.bin"), false), full);
    EXPECT_EQ(WriteBlockFile(st, tmp.file("frame.bin"), true), frame);
    // In current mode the voltage is stored, and the offsets of the layout hold.
    st.rbVoltage = false;
    const std::string current = WriteBlockFile(st, tmp.file("cur.bin"), false);
    double stored;
    std::memcpy(&stored, current.data() + 171, 8);
    EXPECT_EQ(stored, 480.0);
    EXPECT_EQ(current[170], 0);
    // A text that is no number is stored as 120.0 / 1.0.
    st.edDMult = "x";
    std::memcpy(&stored, WriteBlockFile(st, tmp.file("d.bin"), false).data() + 329, 8);
    EXPECT_EQ(stored, 120.0);
}

TEST(RunSetupBlock, ReaderAppliesFieldsWithTheirSideEffects)
{
    TempDir tmp;
    WriteBytes(tmp.file("full.bin"), GoldenBlock(false));
    WriteBytes(tmp.file("frame.bin"), GoldenBlock(true));

    RunState st;
    st.U = 111;
    ApplyRunSetupBlock(st, ReadBlockFile(tmp.file("full.bin"), false), false);
    EXPECT_EQ(st.Time, 12.5);
    EXPECT_TRUE(st.cbIS && st.ISCorrection);
    EXPECT_TRUE(st.cbRedDiff && st.RedDiff);
    EXPECT_EQ(st.NX, 100);
    EXPECT_EQ(st.NXPending, 100);
    EXPECT_EQ(st.CapLengthPending, 0.05);
    EXPECT_EQ(st.InjSitePending, 4.0);
    EXPECT_EQ(st.I, 3.5e-6);
    EXPECT_EQ(st.U, 111);            // the partner went to I
    EXPECT_TRUE(st.rbPSQSteps && !st.rbPSQMS && !st.rbPSQNo);
    EXPECT_EQ(st.MicCompNo, 2);
    EXPECT_EQ(st.OM, 50);
    EXPECT_TRUE(st.cbSDS && st.cbShowCMC && !st.cbShowMic);
    EXPECT_TRUE(st.DiffMode);
    EXPECT_EQ(st.SavedErrInc, 0.3);
    EXPECT_TRUE(st.cbProtein);
    EXPECT_EQ(st.edDMult, "150");
    EXPECT_EQ(st.edPAxis, "1");
    EXPECT_EQ(st.LeftWall, 7);
    EXPECT_EQ(st.RightWall, 93);

    // In a frame the geometry stays and is copied into the pending values.
    RunState fr;
    fr.NX = 400; fr.CapLength = 0.3; fr.NXPending = 10;
    ApplyRunSetupBlock(fr, ReadBlockFile(tmp.file("frame.bin"), true), true);
    EXPECT_EQ(fr.NX, 400);
    EXPECT_EQ(fr.CapLength, 0.3);
    EXPECT_EQ(fr.NXPending, 400);
    EXPECT_EQ(fr.StopTime, 60);

    // "Ignore Micellar data": the 43 bytes are dropped, later fields still line up.
    RunState ig;
    ig.cbIngoreSNA = true;
    ApplyRunSetupBlock(ig, ReadBlockFile(tmp.file("full.bin"), false), false);
    EXPECT_FALSE(ig.cbSDS);
    EXPECT_EQ(ig.MicCompNo, 1);
    EXPECT_EQ(ig.MicMob, 4e-8);
    EXPECT_EQ(ig.OM, 64);
    EXPECT_EQ(ig.DiffMultiplier, 0.5);
    EXPECT_EQ(ig.DiffTimeSet, 6);

    // Checking "Keep Distance" clears "LW can move" whatever the block held.
    RunSetupBlock b = ReadBlockFile(tmp.file("full.bin"), false);
    b.cbLWMove = true;
    b.cbKeepDistance = true;
    RunState kd;
    ApplyRunSetupBlock(kd, b, false);
    EXPECT_FALSE(kd.cbLWMove);

    // An unknown recording code, dMult <= 0 and pAxis == 0 change nothing; a
    // negative pAxis is shown; periods below 1 keep the values in memory; walls
    // are kept on the grid.
    b.PsqMode = 7; b.DMult = 0; b.PAxis = 0; b.PSQPeriod = 0; b.DetInput = -3; b.OptInter = 0;
    b.MicCompNo = 0; b.OM = 0; b.LeftWall = -5; b.RightWall = 1000000;
    RunState un;
    un.edDMult = "keep"; un.edPAxis = "keep";
    ApplyRunSetupBlock(un, b, false);
    EXPECT_TRUE(un.rbPSQMS && !un.rbPSQSteps && !un.rbPSQNo);
    EXPECT_EQ(un.edDMult, "keep");
    EXPECT_EQ(un.edPAxis, "keep");
    EXPECT_EQ(un.PSQPeriod, 1000);
    EXPECT_EQ(un.DetInput, 10);
    EXPECT_EQ(un.OptInter, 100);
    EXPECT_EQ(un.MicCompNo, 1);
    EXPECT_EQ(un.OM, 64);
    EXPECT_EQ(un.LeftWall, 0);
    EXPECT_EQ(un.RightWall, 100);
    b.PAxis = -2;
    ApplyRunSetupBlock(un, b, false);
    EXPECT_EQ(un.edPAxis, "-2");
}

TEST(RunSetupBlock, CutBlocksRaiseIncorrectFile)
{
    TempDir tmp;
    for (bool inFrame : {false, true}) {
        const std::string g = GoldenBlock(inFrame);
        for (std::size_t len = 0; len < g.size(); ++len) {
            WriteBytes(tmp.file("cut.bin"), g.substr(0, len));
            try {
                ReadBlockFile(tmp.file("cut.bin"), inFrame);
                FAIL() << "length " << len;
            } catch (const Exception& e) {
                EXPECT_EQ(e.Message(), "Incorrect file.");
            }
        }
    }
}
