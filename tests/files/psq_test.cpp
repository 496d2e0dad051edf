#include "files/psq.h"

#include "foundation/errors.h"
#include "run_fixture.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <tuple>

namespace {

// One "1.0" frame of the state, from the frame table.
std::string GoldenFrame(RunState& st, const std::string& scratch, bool micelles)
{
    const int nn = st.NX + 1;
    Bytes g;
    g.raw(BlockBytes(st, scratch, true))
        .f64(st.RunStart)
        .f64(st.SpentTime)
        .i32(st.StepCount)
        .i32(st.NewtonItTotal);
    g.f64s(st.Arr.PH.data(), nn).f64s(st.Arr.Kappa.data(), nn);
    for (int i = 1; i <= st.NComp; ++i) g.f64s(st.Arr.C(2, i), nn);
    g.f64s(st.Arr.CH(2), nn);
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
    return Bytes()
        .str("KELVO PSQ FILE")
        .str("1.0")
        .i32(st.NX)
        .i32(st.NComp)
        .f64(st.CapLength)
        .f64(st.PeakWidth)
        .f64(st.PeakEdgeWidth)
        .f64(st.InjSite)
        .u8(micelles)
        .b;
}

}  // namespace

TEST(PsqFile, HeaderAndFramesFollowTheLayoutAndOtherFilesAreRefusedAndKept)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string psq = tmp.file("Kelvo5_tmp_1.psq");
    HostedRun r(psq);
    r.Init();
    RunState& st = r.st;
    // Init made the temporary sequence empty and wrote the composition beside it.
    EXPECT_EQ(GetPsqFileVersion(psq), "ZeroLength");
    EXPECT_TRUE(FileExists(tmp.file("Kelvo5_tmp_1.cmp")));

    st.RunStart = 45000.25;
    st.SpentTime = 1.5;
    st.StepCount = 40;
    st.NewtonItTotal = 77;
    AppendPsqFrame(st, tmp.file("Kelvo5_tmp_1.xyz"));  // the extension is forced
    const std::string header = GoldenHeader(st, false),
                      frame = GoldenFrame(st, tmp.file("s.bin"), false);
    EXPECT_EQ(static_cast<std::int64_t>(frame.size()), PsqFrameSize("1.0", st.NX, st.NComp, false));
    EXPECT_EQ(
        std::tuple(ReadBytes(psq), st.PsqSize, GetPsqFileVersion(psq)),
        std::tuple(header + frame, static_cast<long long>(header.size() + frame.size()), "1.0"));

    // A second frame; frames are located from the end of the file.
    st.Arr.C(2, 1)[3] = 123.0, st.StepCount = 80;
    AppendPsqFrame(st, psq);
    const std::string second = GoldenFrame(st, tmp.file("s.bin"), false);
    EXPECT_EQ(ReadBytes(psq), header + frame + second);
    const std::int64_t fs = FileSizeByName(psq), n = static_cast<std::int64_t>(frame.size());
    EXPECT_EQ(std::tuple(PsqFrameCount(fs, 60, n), PsqFrameCount(fs + 1, 60, n)), std::tuple(2, 0));
    int k = 9;  // outside the frames: the first
    EXPECT_EQ(PsqFrameStart(fs, 2, n, k), 60);

    // A file whose header has micelles gets micelle rows even with the box clear.
    const std::string mic = tmp.file("mic.psq");
    WriteBytes(mic, GoldenHeader(st, true));
    st.cbSDS = false;
    AppendPsqFrame(st, mic);
    const std::string micFrame = GoldenFrame(st, tmp.file("s.bin"), true);
    EXPECT_EQ(ReadBytes(mic), GoldenHeader(st, true) + micFrame);
    EXPECT_EQ(static_cast<std::int64_t>(micFrame.size()),
              PsqFrameSize("1.0", st.NX, st.NComp, true));

    // A legacy file keeps receiving 88-byte state frames.
    Bytes legacy;
    legacy.str("RAVO_CORE PSQ FILE")
        .i32(st.NX)
        .i32(st.NComp)
        .f64(st.CapLength)
        .f64(1)
        .f64(1)
        .f64(5);
    const std::string old = tmp.file("old.psq");
    WriteBytes(old, legacy.b);
    AppendPsqFrame(st, old);
    EXPECT_EQ(
        std::tuple(GetPsqFileVersion(old), ReadBytes(old).substr(59, 16), FileSizeByName(old)),
        std::tuple("0.1", Bytes().f64(st.Time).f64(st.DT).b,
                   59 + PsqFrameSize("0.1", st.NX, st.NComp, false)));
    EXPECT_TRUE(sink.warnings.empty());

    // A file of another system or kind, cut or with impossible counts, is refused
    // and kept: a header cut after its kind text is "Incorrect file." (a field
    // past the end), every other one "Incorrect PSQ file.".
    const std::string name = tmp.file("x.psq");
    auto refusal = [&](const std::string& bytes) {
        WriteBytes(name, bytes);
        const std::string m = RaisedMessage([&] { AppendPsqFrame(st, name); });
        return ReadBytes(name) == bytes ? m : "(appended)";
    };
    const std::size_t kind = std::string("KELVO PSQ FILE").size();
    for (std::size_t len = 1; len < header.size(); ++len)
        EXPECT_EQ(refusal(header.substr(0, len)),
                  len < kind ? "Incorrect PSQ file." : "Incorrect file.")
            << len;
    std::vector<std::string> other = Damaged(header, header.size(), {19, 23});
    other.insert(
        other.end(),
        {WithInt32At(header, 19, st.NX + 1), WithInt32At(header, 23, st.NComp - 1),
         std::string(header).replace(27, 8, Bytes().f64(2 * st.CapLength).b), "KELVO SNA FILE"});
    for (const std::string& bytes : other)
        EXPECT_EQ(refusal(bytes), "Incorrect PSQ file.") << bytes.size();
    // Other widths and injection site: appended.
    EXPECT_EQ(refusal(header.substr(0, 35) + Bytes().f64(9).f64(9).f64(9).u8(0).b), "(appended)");

    WriteBytes(name, "XYZ");
    EXPECT_EQ(std::tuple(GetPsqFileVersion(tmp.file("none.psq")), GetPsqFileVersion(name)),
              std::tuple("NotExists", "IncorrectFile"));
}
