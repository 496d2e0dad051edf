#include "files/psq.h"

#include "byte_builder.h"
#include "engine/init_calc.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "files/run_setup_block.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

namespace {

// An initialised run of the acetate buffer with two analytes on nx nodes.
void InitialisedRun(RunState& st, PsqFileHost& host, const std::string& psq, int nx = 12)
{
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), nx);
    st.PsqFileOwn = st.PsqFile = psq;
    st.Host = &host;
    ASSERT_TRUE(InitCalc(st));
}

std::string BlockBytes(const RunState& st, const std::string& scratch)
{
    KFile f = KFile::Create(scratch);
    std::int64_t pos = 0;
    WriteRunSetupBlock(f, pos, CaptureRunSetupBlock(st), true);
    f.Close();
    return ReadBytes(scratch);
}

void AddNodes(Bytes& g, const double* v, int nn)
{
    for (int i = 0; i < nn; ++i) g.f64(v[i]);
}

// One "1.0" frame of the state, from the frame table.
std::string GoldenFrame(RunState& st, const std::string& scratch, bool micelles)
{
    const int nn = st.NX + 1;
    Bytes g;
    g.raw(BlockBytes(st, scratch)).f64(st.RunStart).f64(st.SpentTime).i32(st.StepCount).i32(st.NewtonItTotal);
    AddNodes(g, st.Arr.PH.data(), nn);
    AddNodes(g, st.Arr.Kappa.data(), nn);
    for (int i = 1; i <= st.NComp; ++i) AddNodes(g, st.Arr.C(2, i), nn);
    AddNodes(g, st.Arr.CH(2), nn);
    if (micelles) {
        const double* cs = st.Arr.C(2, st.MicCompNo);
        for (int i = 0; i < nn; ++i) g.f64(cs[i] > st.CMC ? (cs[i] - st.CMC) / st.OM : 0.0);
        g.i32(2);
        for (int i = 0; i < nn; ++i) g.f64(0.0);
    }
    return g.b;
}

std::string GoldenHeader(const RunState& st, bool micelles)
{
    Bytes g;
    g.str("KELVO PSQ FILE").str("1.0").i32(st.NX).i32(st.NComp).f64(st.CapLength).f64(st.PeakWidth);
    g.f64(st.PeakEdgeWidth).f64(st.InjSite).u8(micelles ? 1 : 0);
    return g.b;
}

} // namespace

TEST(PsqFile, FrameArithmetic)
{
    EXPECT_EQ(PsqFrameSize("1.0", 100, 3, false), 5205);
    EXPECT_EQ(PsqFrameSize("1.0", 100, 3, true), 6825);
    EXPECT_EQ(PsqFrameSize("0.1", 100, 3, false), 3 * 101 * 8 + 101 * 16 + 88);
    EXPECT_EQ(PsqFrameSize("2.0", 100, 3, false), 0);
    EXPECT_EQ(PsqFrameSize("1.0", -1, 3, false), 0);
    EXPECT_EQ(PsqFrameCount(60 + 3 * 5205, 60, 5205), 3);
    EXPECT_EQ(PsqFrameCount(60 + 3 * 5205 + 1, 60, 5205), 0);
    EXPECT_EQ(PsqFrameCount(50, 60, 5205), 0);
    int k = 2;
    EXPECT_EQ(PsqFrameStart(60 + 3 * 5205, 3, 5205, k), 60 + 5205);
    k = 9;
    EXPECT_EQ(PsqFrameStart(60 + 3 * 5205, 3, 5205, k), 60);
    EXPECT_EQ(k, 1);
}

TEST(PsqFile, HeaderAndFramesFollowTheLayout)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    PsqFileHost host(st);
    const std::string psq = tmp.file("Kelvo5_tmp_1.psq");
    InitialisedRun(st, host, psq);
    // Init made the temporary sequence empty and wrote the composition beside it.
    EXPECT_EQ(FileSizeByName(psq), 0);
    EXPECT_TRUE(FileExists(tmp.file("Kelvo5_tmp_1.cmp")));
    EXPECT_EQ(GetPsqFileVersion(psq), "ZeroLength");

    st.RunStart = 45000.25; st.SpentTime = 1.5; st.StepCount = 40; st.NewtonItTotal = 77;
    AppendPsqFrame(st, tmp.file("Kelvo5_tmp_1.xyz"));   // the extension is forced
    const std::string header = GoldenHeader(st, false);
    ASSERT_EQ(header.size(), 60u);
    const std::string frame = GoldenFrame(st, tmp.file("s.bin"), false);
    EXPECT_EQ(static_cast<std::int64_t>(frame.size()), PsqFrameSize("1.0", st.NX, st.NComp, false));
    EXPECT_EQ(ReadBytes(psq), header + frame);
    EXPECT_EQ(st.PsqSize, static_cast<long long>(header.size() + frame.size()));
    EXPECT_EQ(GetPsqFileVersion(psq), "1.0");

    // A second frame; then frames are located from the end of the file.
    st.Arr.C(2, 1)[3] = 123.0;
    st.StepCount = 80;
    AppendPsqFrame(st, psq);
    const std::string second = GoldenFrame(st, tmp.file("s.bin"), false);
    EXPECT_EQ(ReadBytes(psq), header + frame + second);
    const std::int64_t fs = FileSizeByName(psq);
    EXPECT_EQ(PsqFrameCount(fs, 60, static_cast<std::int64_t>(frame.size())), 2);

    // A file whose header has micelles gets micelle rows even with the box clear.
    const std::string mic = tmp.file("mic.psq");
    WriteBytes(mic, GoldenHeader(st, true));
    st.cbSDS = false;
    AppendPsqFrame(st, mic);
    EXPECT_EQ(ReadBytes(mic), GoldenHeader(st, true) + GoldenFrame(st, tmp.file("s.bin"), true));
    // An empty file with the box checked gets a micelle header.
    st.cbSDS = true;
    const std::string mic2 = tmp.file("mic2.psq");
    AppendPsqFrame(st, mic2);
    EXPECT_EQ(ReadBytes(mic2).substr(0, 60), GoldenHeader(st, true));

    // A legacy file keeps receiving 88-byte state frames.
    Bytes legacy;
    legacy.str("RAVO_CORE PSQ FILE").i32(st.NX).i32(st.NComp).f64(st.CapLength).f64(1).f64(1).f64(5);
    const std::string old = tmp.file("old.psq");
    WriteBytes(old, legacy.b);
    AppendPsqFrame(st, old);
    EXPECT_EQ(GetPsqFileVersion(old), "0.1");
    const std::int64_t oldFrame = PsqFrameSize("0.1", st.NX, st.NComp, false);
    EXPECT_EQ(FileSizeByName(old), 59 + oldFrame);
    Bytes g;
    g.f64(st.Time).f64(st.DT).f64(st.StepError).f64(st.ErrOpt).f64(st.I).f64(st.U).f64(st.MaxError);
    g.f64(st.StopTime).i32(st.StepCount).i32(st.NewtonItTotal).f64(st.MaxCorrChange).i32(st.LeftWall).i32(st.RightWall);
    EXPECT_EQ(ReadBytes(old).substr(59, 88), g.b);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(PsqFile, ForeignAndDamagedFilesAreRefusedAndKept)
{
    TempDir tmp;
    RunState st;
    PsqFileHost host(st);
    InitialisedRun(st, host, tmp.file("own.psq"));
    const std::string name = tmp.file("x.psq");
    auto refused = [&](const std::string& bytes) {
        WriteBytes(name, bytes);
        try {
            AppendPsqFrame(st, name);
            return false;
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message() == "Incorrect PSQ file." || e.Message() == "Incorrect file.") << e.Message();
        }
        EXPECT_EQ(ReadBytes(name), bytes);   // nothing appended
        return true;
    };
    const std::string header = GoldenHeader(st, false);
    EXPECT_TRUE(refused(WithInt32At(header, 19, st.NX + 1)));
    EXPECT_TRUE(refused(WithInt32At(header, 23, st.NComp - 1)));
    Bytes otherLength;
    otherLength.str("KELVO PSQ FILE").str("1.0").i32(st.NX).i32(st.NComp).f64(st.CapLength * 2);
    otherLength.f64(1).f64(1).f64(1).u8(0);
    EXPECT_TRUE(refused(otherLength.b));
    EXPECT_TRUE(refused("KELVO SNA FILE"));
    for (std::size_t len = 1; len < header.size(); ++len) EXPECT_TRUE(refused(header.substr(0, len)));
    // Other peak widths and injection site are accepted.
    Bytes widths;
    widths.str("KELVO PSQ FILE").str("1.0").i32(st.NX).i32(st.NComp).f64(st.CapLength);
    widths.f64(9).f64(9).f64(9).u8(0);
    EXPECT_FALSE(refused(widths.b));

    EXPECT_EQ(GetPsqFileVersion(tmp.file("none.psq")), "NotExists");
    WriteBytes(name, "XYZ");
    EXPECT_EQ(GetPsqFileVersion(name), "IncorrectFile");

    // Reset empties the file and writes the composition beside PsqFile.
    ResetPsqFile(st, name);
    EXPECT_EQ(FileSizeByName(name), 0);
    EXPECT_EQ(st.PsqSize, 0);
    EXPECT_TRUE(FileExists(tmp.file("own.cmp")));
}

TEST(PsqFile, ARunRecordsItsFirstFrameAndThenEveryPeriod)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    PsqFileHost host(st);
    const std::string psq = tmp.file("Kelvo5_tmp_1.psq");
    InitialisedRun(st, host, psq, 40);
    st.rbPSQSteps = true;
    st.rbPSQMS = false;
    st.PSQPeriod = 10;
    st.StopTime = 0.02;
    RunCalc(st);
    ASSERT_GT(st.StepCount, 20);
    const std::int64_t frame = PsqFrameSize("1.0", st.NX, st.NComp, false);
    EXPECT_EQ(PsqFrameCount(FileSizeByName(psq), 60, frame), 1 + st.StepCount / 10);
    EXPECT_EQ(st.PsqSize, FileSizeByName(psq));
    // The last frame holds the state the run ended with.
    std::string last = ReadBytes(psq).substr(ReadBytes(psq).size() - frame);
    std::int32_t steps;
    std::memcpy(&steps, last.data() + 349, 4);
    EXPECT_EQ(steps, st.StepCount / 10 * 10);
    // A run that continues after Stop does not write the first frame again.
    const std::int64_t size = FileSizeByName(psq);
    st.StopTime = st.Time + 5 * st.DT;
    st.PSQPeriod = 1000000;
    RunCalc(st);
    EXPECT_EQ(FileSizeByName(psq), size);
}
