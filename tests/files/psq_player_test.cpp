#include "files/psq_player.h"
#include "files/complex_file.h"

#include "composition/cmp_file.h"
#include "engine/step/run_calc.h"
#include "files/file_hooks.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "run_fixture.h"
#include "support/psq_recording.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <cmath>
#include <limits>
#include <tuple>

namespace {

// Time, steps, profiles, pH, conductivity and H+ of a frame: as the run holds
// them (`shown` false) or as the player shows them.
std::vector<double> Image(RunState& st, bool shown)
{
    const int nn = st.NX + 1;
    std::vector<double> v{st.Time, double(st.StepCount)};
    for (int k = 1; k <= st.NComp; ++k) {
        const double* c = shown ? st.Arr.DrawnProfile[k] : st.Arr.C(2, k);
        v.insert(v.end(), c, c + nn);
    }
    const std::vector<double>& ph = shown ? st.Series.sr_pH.y : st.Arr.PH;
    v.insert(v.end(), ph.begin(), ph.begin() + nn);
    for (int j = 0; j < nn; ++j)
        v.push_back(shown ? st.Series.sr_conductivity.y[j] : st.Arr.Kappa[j] * st.CondScale);
    v.insert(v.end(), st.Arr.CH(2), st.Arr.CH(2) + nn);
    return v;
}

// Sends the sequence calls to the files and keeps the image of every frame.
class ShotHost : public PsqRecorder {
public:
    explicit ShotHost(RunState& st) : files_(st), st_(st) {}
    void AppendPsqFrame(const std::string& file) override
    {
        shots.push_back(Image(st_, false));
        files_.AppendPsqFrame(file);
    }
    void ResetPsqFile(const std::string& file) override { files_.ResetPsqFile(file); }
    long long FileSizeByName(const std::string& file) override
    {
        return files_.FileSizeByName(file);
    }
    std::vector<std::vector<double>> shots;

private:
    PsqFileRecorder files_;
    RunState& st_;
};

// A run recording every step (fixed time step): the frame at the start and one
// per step.
struct Recorder {
    RunState st;
    ShotHost host{st};
    Recorder(const std::string& psq, int steps)
    {
        testcomp::RecordAcetateRun(st, host, psq, steps);
    }
};

// A live run of another system, into which the player loads.
struct Live {
    RunState st;
    PsqFileRecorder host{st};
    explicit Live(const std::string& own)
    {
        st.Recorder = &host;
        st.PsqFileOwn = st.PsqFile = own;
        testcomp::PrepareRun(st, testcomp::ItpStrongIons(), 30);
        EXPECT_TRUE(InitCalc(st));
    }
};

// What a failed open must leave as it was.
struct LiveImage {
    int nx, nxPending, ncomp;
    long long steps;
    double cap, capPending, width, edge, site, time;
    bool initialised;
    std::vector<std::string> names;
    std::vector<double> c, drawn, ph;
    bool operator==(const LiveImage&) const = default;
};

LiveImage ImageOf(RunState& st)
{
    LiveImage m{st.NX,
                st.NXPending,
                st.NComp,
                st.StepCount,
                st.CapLength,
                st.CapLengthPending,
                st.PeakWidth,
                st.PeakEdgeWidth,
                st.InjSite,
                st.Time,
                st.Initialised,
                {},
                {},
                {},
                st.Series.sr_pH.y};
    for (const auto* n = st.Composition.Head(); n; n = n->next) m.names.push_back(n->data.name);
    for (int k = 1; k <= st.NComp; ++k) {
        m.c.insert(m.c.end(), st.Arr.C(2, k), st.Arr.C(2, k) + st.Arr.Nn);
        m.drawn.insert(m.drawn.end(), st.Arr.DrawnProfile[k], st.Arr.DrawnProfile[k] + st.Arr.Nn);
    }
    return m;
}

// Header and frames of a sequence file as byte strings.
struct Layout {
    std::string header;
    std::vector<std::string> frames;
    Layout(const std::string& bytes, std::size_t headerSize, std::size_t frameSize)
    {
        header = bytes.substr(0, headerSize);
        for (std::size_t at = headerSize; at + frameSize <= bytes.size(); at += frameSize)
            frames.push_back(bytes.substr(at, frameSize));
    }
    std::string Of(const std::vector<int>& kept) const
    {
        std::string s = header;
        for (int k : kept) s += frames[static_cast<std::size_t>(k - 1)];
        return s;
    }
};

}  // namespace

TEST(PsqPlayer, RecordedRunReplaysFrameByFrameAndPlaysWithSteps)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 9);
    ASSERT_EQ(r.host.shots.size(), 10u);  // the start of the run and nine steps
    Live live(tmp.file("own.psq"));
    RunState& st = live.st;

    PsqPlayer player(st);
    std::vector<int> shown;
    player.FrameShown = [&](int k) {
        shown.push_back(k);
        EXPECT_TRUE(st.PsqPlayerInUse);
        EXPECT_EQ(Image(st, true), r.host.shots[static_cast<std::size_t>(k - 1)]) << k;
    };
    ASSERT_TRUE(player.Open(rec));
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    // The engine was rebuilt for the recorded system and its composition.
    EXPECT_EQ(std::tuple(st.NX, st.NComp, st.Composition.Head()->data.name, player.FrameCount,
                         player.CurrentFrame),
              std::tuple(12, r.st.NComp, r.st.Composition.Head()->data.name, 10, 10));
    EXPECT_FALSE(st.Initialised || player.ReloadNeeded() || st.PsqPlayerInUse);

    // Step 3 from frame 1; then on 9 frames the last frame is still shown once.
    shown.clear();
    player.FrameStep = 3;
    player.First();
    player.Play();
    EXPECT_EQ(shown, (std::vector<int>{1, 1, 4, 7, 10}));
    const Layout lay(ReadBytes(rec), static_cast<std::size_t>(player.HeaderSize),
                     static_cast<std::size_t>(player.FrameSize));
    const std::string nine = tmp.file("nine.psq");
    WriteBytes(nine, lay.Of({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // Its composition named as an older system names it.
    std::filesystem::copy_file(tmp.file("rec.cmp"), tmp.file("nine.CMP"));
    shown.clear();
    ASSERT_TRUE(player.Open(nine));
    EXPECT_EQ(shown, (std::vector<int>{1, 4, 7, 9}));
    // Navigation and edits.
    shown.clear();
    player.Last();
    EXPECT_TRUE(player.EditFrame("5") && player.EditDelay("0,5") && player.ScrollEnabled());
    EXPECT_FALSE(player.EditFrame("10") || player.EditStep("0") || player.EditDelay("10.5"));
    EXPECT_EQ(std::tuple(player.Delay, player.DelayText(), player.ScrollMax()),
              std::tuple(0.5, "0.5", 9));
    EXPECT_EQ(shown, (std::vector<int>{9, 5}));
    EXPECT_TRUE(sink.warnings.empty());
}

// The field shown with a frame is the run's field, whatever display scale the
// conductivity has: it comes from the recorded conductivity in S/m.
TEST(PsqPlayer, FieldOfAFrameIsTheRunsFieldAtAnyConductivityScale)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 4);
    for (double scale : {100.0, 7.0}) {
        SCOPED_TRACE(scale);
        Live live(tmp.file("own.psq"));
        live.st.CondScale = scale;
        PsqPlayer player(live.st);
        ASSERT_TRUE(player.Open(rec));
        ASSERT_EQ(player.CurrentFrame, player.FrameCount);
        // (the run's field array and the recorded conductivity agree to about 1e-6)
        const ChartSeries& e = live.st.Series.sr_E;
        ASSERT_EQ(e.Count(), r.st.NX + 1);
        for (int j = 0; j <= r.st.NX; ++j)
            EXPECT_NEAR(e.y[j], r.st.Arr.E[j] * 0.001, 1e-5 * std::abs(r.st.Arr.E[j] * 0.001)) << j;
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(PsqPlayer, UseCutsTheSequenceAndContinuesTheRunAsTheUninterruptedOne)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 9);
    const std::string recorded = ReadBytes(rec);
    Live live(tmp.file("own.psq"));
    RunState& st = live.st;
    PsqPlayer player(st);

    // Refusals.
    EXPECT_FALSE(player.Use());
    EXPECT_EQ(sink.warnings.back(), "No opened PSQ file");
    ASSERT_TRUE(player.Open(rec));
    // During a run every command meets the guard, which says so; nothing is shown.
    st.Running = true;
    player.First();
    EXPECT_FALSE(player.Use());
    EXPECT_EQ(sink.messages, std::vector<std::string>(2, "START is active"));
    EXPECT_EQ(player.CurrentFrame, 10);
    st.Running = false;
    // A file that no longer holds the frames counted has none to continue from.
    player.ShowFrame(4);
    WriteBytes(rec, recorded + recorded.substr(60, 100));
    EXPECT_FALSE(player.Use());
    EXPECT_EQ(sink.warnings.back(), "Incorrect PSQ file.");
    WriteBytes(rec, recorded);

    // Use on frame 4 of 10: the temporary sequence is the header and 4 frames,
    // and the next START appends frame 5.
    ASSERT_TRUE(player.Use());
    EXPECT_TRUE(st.Initialised && !player.FileOpened);
    const Layout lay(recorded, 60,
                     static_cast<std::size_t>(PsqFrameSize("1.0", 12, st.NComp, false)));
    const std::string four = lay.Of({1, 2, 3, 4});
    EXPECT_TRUE(ReadBytes(st.PsqFile) == four);
    EXPECT_EQ(st.PsqSize, static_cast<long long>(four.size()));
    EXPECT_TRUE(FileExists(tmp.file("own.cmp")));
    st.StopTime = st.Time + 1.5 * st.DT;
    RunCalc(st);
    const std::string after = ReadBytes(st.PsqFile);
    EXPECT_TRUE(after.substr(0, four.size()) == four);
    EXPECT_EQ(after.size(), lay.Of({1, 2, 3, 4, 5}).size());
    EXPECT_EQ(GetPsqFileVersion(st.PsqFile), "1.0");

    // Use on the last frame continues like the recorder restarted at that moment.
    ASSERT_TRUE(player.Open(rec));
    EXPECT_EQ(player.CurrentFrame, 10);
    ASSERT_TRUE(player.Use());
    r.st.PsqStarted = false;
    r.st.StopTime = st.StopTime = r.st.DT * 30.5;
    RunCalc(r.st);
    RunCalc(st);
    EXPECT_EQ(st.StepCount, r.st.StepCount);
    EXPECT_DOUBLE_EQ(st.Time, r.st.Time);
    double cmax = 0, diff = 0;
    for (int k = 1; k <= st.NComp; ++k)
        for (int j = 0; j <= st.NX; ++j) {
            cmax = std::max(cmax, std::fabs(r.st.Arr.C(2, k)[j]));
            diff = std::max(diff, std::fabs(st.Arr.C(2, k)[j] - r.st.Arr.C(2, k)[j]));
        }
    EXPECT_GT(cmax, 1.0);
    EXPECT_LT(diff, 1e-10 * cmax);
    EXPECT_TRUE(sink.warnings.size() == 2u) << sink.warnings.back();
}

TEST(PsqPlayer, ReduceSizeKeepsTheChosenFramesByteForByte)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 9);
    Live live(tmp.file("own.psq"));
    PsqPlayer player(live.st);
    ASSERT_TRUE(player.Open(rec));
    const Layout lay(ReadBytes(rec), 60, static_cast<std::size_t>(player.FrameSize));
    ASSERT_EQ(lay.frames.size(), 10u);

    int p = 0;
    for (const char* refused : {"1", "11", " ", "2.5"})
        EXPECT_FALSE(player.ReducePeriod(refused, p)) << refused;
    ASSERT_TRUE(player.ReducePeriod("3", p));
    // Into a new directory (after Yes), with the composition beside it.
    sink.answers = {true};
    const std::string out = (tmp.path() / "sub" / "small.psq").string();
    ASSERT_TRUE(player.ReduceSize(p, out));
    EXPECT_TRUE(ReadBytes(out) == lay.Of({1, 2, 4, 5, 7, 8, 10}));
    EXPECT_TRUE(ReadBytes((tmp.path() / "sub" / "small.cmp").string()) ==
                ReadBytes(tmp.file("rec.cmp")));
    // Through a symbolic link both files go beside the file it points to.
    std::filesystem::create_symlink(out, tmp.file("link.psq"));
    std::filesystem::remove((tmp.path() / "sub" / "small.cmp"));
    ASSERT_TRUE(player.ReduceSize(p, tmp.file("link.psq")));
    EXPECT_TRUE(std::filesystem::is_symlink(tmp.file("link.psq")));
    EXPECT_TRUE(ReadBytes((tmp.path() / "sub" / "small.cmp").string()) ==
                ReadBytes(tmp.file("rec.cmp")));
    EXPECT_FALSE(FileExists(tmp.file("link.cmp")));
    // A table at the target that the sequence has none of goes with it (else
    // the reduced copy would open in complexation mode); a text of the
    // user's that is no table stays.
    const std::string table = (tmp.path() / "sub" / "small.TXT").string();
    WriteBytes(table, "-1\t0\r\n4.76\r\n-42.4\r\n14\t362.5\t205\r\n0\r\n");
    ASSERT_TRUE(IsComplexTableFile(table));
    ASSERT_TRUE(player.ReduceSize(p, out));
    EXPECT_FALSE(FileExists(table));
    WriteBytes(table, "the user's notes");
    ASSERT_TRUE(player.ReduceSize(p, out));
    EXPECT_TRUE(FileExists(table));

    // In place: the opened file is replaced and frame 1 is shown.
    std::vector<int> shown;
    player.FrameShown = [&](int k) { shown.push_back(k); };
    ASSERT_TRUE(player.ReduceSize(2, rec));
    EXPECT_TRUE(ReadBytes(rec) == lay.Of(ReducedFrames(10, 2)));  // 1, 3, 5, 7, 9
    EXPECT_EQ(std::tuple(shown, player.FrameCount, FileExists(tmp.file("$rec.psq"))),
              std::tuple(std::vector<int>{1}, 5, false));
    // Frame 1 of the file as it is now refused after the write: the player
    // counts its frames, and Use, with none of them drawn, takes nothing.
    int asked = 0;
    FileLayerHooks().Owner = &live.st;
    FileLayerHooks().RebuildRefused = [&](RunState&) { return ++asked > 1; };
    ASSERT_TRUE(player.ReduceSize(2, rec));
    FileLayerHooks() = FileHooks{};
    EXPECT_EQ(std::tuple(shown.size(), player.FrameCount, player.CurrentFrame),
              std::tuple(1u, 3, 1));
    EXPECT_FALSE(player.Use());
    EXPECT_EQ(sink.warnings.back(), kPsqFrameNotShown);
    // One frame: nothing to reduce.
    const std::string one = tmp.file("one.psq");
    WriteBytes(one, lay.Of({1}));
    ASSERT_TRUE(player.Open(one));
    EXPECT_FALSE(player.CanReduce() || player.ReduceSize(2, tmp.file("x.psq")) ||
                 FileExists(tmp.file("x.psq")));
}

TEST(PsqPlayer, DamagedOrForeignFilesLeaveTheLiveRunUntouched)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 1);
    const std::string good = ReadBytes(rec);
    const std::size_t frame = static_cast<std::size_t>(PsqFrameSize("1.0", 12, r.st.NComp, false));
    ASSERT_EQ(good.size(), 60 + 2 * frame);
    Live live(tmp.file("own.psq"));
    RunState& st = live.st;
    st.StopTime = 3.5 * st.DT;
    RunCalc(st);
    const LiveImage before = ImageOf(st);
    PsqPlayer player(st);

    std::vector<std::string> bad;
    for (std::size_t len = 0; len < good.size(); ++len)
        if (len != 60 + frame) bad.push_back(good.substr(0, len));  // that one is a whole frame
    for (std::int32_t n : {-1, 0, 9, 13, INT_MAX, INT_MIN}) bad.push_back(WithInt32At(good, 19, n));
    for (std::int32_t c : {-1, 0, r.st.NComp + 1, 4096, INT_MAX, INT_MIN})
        bad.push_back(WithInt32At(good, 23, c));
    for (double len : {0.0, -0.025, std::nan(""), HUGE_VAL})
        bad.push_back(std::string(good).replace(27, 8, Bytes().f64(len).b));
    bad.push_back(std::string(good).replace(59, 1, "\x01"));  // micelle rows the frames do not hold
    for (std::size_t at :
         {std::size_t{68}, std::size_t{417}}) {  // a time step, a pH value: not finite
        const std::string nan = Bytes().f64(std::nan("")).b;
        bad.push_back(std::string(good).replace(at, 8, nan).replace(at + frame, 8, nan));
    }
    bad.push_back(std::string(good).replace(0, 14, "KELVO SNA FILE"));
    bad.push_back("RAVO_CORE PSQ FILE");

    const std::string name = tmp.file("bad.psq");
    std::filesystem::copy_file(tmp.file("rec.cmp"), tmp.file("bad.cmp"));
    for (const std::string& bytes : bad) {
        WriteBytes(name, bytes);
        const std::string m = RaisedMessage([&] { player.Open(name); });
        EXPECT_TRUE(m == "Incorrect PSQ file." || (m == "(no error)" && player.FrameCount == 0) ||
                    (m == "(no error)" && bytes.empty()))
            << bytes.size() << " " << m;
        EXPECT_TRUE(ImageOf(st) == before) << bytes.size();
        EXPECT_FALSE(st.PsqPlayerInUse || player.Busy);
        // Nothing to continue from.
        sink.Clear();
        EXPECT_FALSE(player.Use());
        EXPECT_EQ(sink.warnings.size(), 1u);
    }
    EXPECT_EQ(RaisedMessage([&] { player.Open(tmp.file("none.psq")); }), "(no error)");
    EXPECT_EQ(sink.warnings.back(), "File \"" + tmp.file("none.psq") + "\" not found.");
}

TEST(PsqPlayer, LegacySequenceWithoutCompositionGetsPlaceholdersAndItsInjectionSiteInMillimetres)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const int N = 200, C = 2, nn = N + 1;
    Bytes b;
    b.str("RAVO_CORE PSQ FILE").i32(N).i32(C).f64(0.1).f64(2.0).f64(0.5).f64(50.0);
    ASSERT_EQ(b.size(), 59u);
    b.f64(1.5).f64(1e-4).f64(0).f64(1e-11).f64(2e-6).f64(250).f64(0).f64(100);  // Time .. StopTime
    b.i32(15).i32(30).f64(0.0).i32(-5).i32(N + 7);        // counts, walls out of range
    for (int j = 0; j < nn; ++j) b.f64(4.0 + j * 0.001);  // pH
    for (int j = 0; j < nn; ++j) b.f64(0.05);             // conductivity
    for (int k = 1; k <= C; ++k)
        for (int j = 0; j < nn; ++j) b.f64(k * 10.0 + j);
    const std::string name = tmp.file("old.psq");
    WriteBytes(name, b.b);
    Live live(tmp.file("own.psq"));
    RunState& st = live.st;
    PsqPlayer player(st);
    ASSERT_TRUE(player.Open(name));
    EXPECT_EQ(sink.warnings,
              (std::vector<std::string>{
                  "Incorrect CMP file to load system data - load CMP file before INIT or START!"}));
    EXPECT_EQ(
        std::tuple(player.Version, player.FrameCount, st.InjSite, st.InjSitePending, st.NX, st.Time,
                   st.StepCount, st.LeftWall, st.RightWall, st.Arr.DrawnProfile[2][7]),
        std::tuple("0.1", 1, 25.0, 25.0, N, 1.5, 15, 0, N, 27.0));
    ASSERT_EQ(st.Composition.Count(), C);
    EXPECT_EQ(std::tuple(st.Composition[1].name, st.Composition[2].name),
              std::tuple("Component 1", "Component 2"));
    EXPECT_DOUBLE_EQ(st.Series.sr_pH.y[100], 7.1);  // stored pH + 3
}

// A frame the project reader would refuse never reaches the run: a damaged
// second frame refuses the whole play before the first is shown, a frame with
// -2e6 mM (beyond any run) is refused (Use has nothing to continue from), and an older-layout
// frame with a negative time step is refused.
TEST(PsqPlayer, FramesTheProjectReaderWouldRefuseNeverReachTheRun)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 1);
    const int nn = 13, c = r.st.NComp;
    const std::string good = ReadBytes(rec);
    const std::size_t frame = static_cast<std::size_t>(PsqFrameSize("1.0", 12, c, false));
    ASSERT_EQ(good.size(), 60 + 2 * frame);
    // Offsets in a frame of the layout: the block (333 bytes), start, spent
    // time and the two counters, then pH, conductivity and the profiles.
    const std::size_t profiles = 333 + 8 + 8 + 4 + 4 + 2 * 8 * nn;
    const std::string minus50 = Bytes().f64(-2e6).b;
    Live live(tmp.file("own.psq"));
    RunState& st = live.st;
    st.StopTime = 3.5 * st.DT;
    RunCalc(st);
    const LiveImage before = ImageOf(st);
    PsqPlayer player(st);
    const std::string name = tmp.file("bad.psq");
    std::filesystem::copy_file(tmp.file("rec.cmp"), tmp.file("bad.cmp"));
    for (const std::string& bytes :
         {std::string(good).replace(60 + frame + profiles + 8 * 5, 8,
                                    minus50),  // the second frame only
          std::string(good).replace(60 + profiles + 8 * (nn + 3), 8, minus50),
          std::string(good).replace(60 + frame + 333 + 16, 4,
                                    Bytes().i32(-1).b),  // a negative step count
          // an H+ of 1e-300 mM, from which no equilibrium is found
          std::string(good).replace(60 + profiles + 8 * nn * c, 8, Bytes().f64(1e-300).b)}) {
        WriteBytes(name, bytes);
        EXPECT_EQ(RaisedMessage([&] { player.Open(name); }), "Incorrect PSQ file.");
        EXPECT_TRUE(ImageOf(st) == before);
        sink.Clear();
        EXPECT_FALSE(player.Use());
        EXPECT_EQ(sink.warnings, std::vector<std::string>{"No opened PSQ file"});
    }
    // A header whose peak width no edit takes.
    WriteBytes(name, std::string(good).replace(35, 8, Bytes().f64(-1.0).b));
    EXPECT_EQ(RaisedMessage([&] { player.Open(name); }), "Incorrect PSQ file.");
    EXPECT_TRUE(ImageOf(st) == before);
    // The good file opens and plays both frames.
    WriteBytes(name, good);
    ASSERT_TRUE(player.Open(name));
    EXPECT_EQ(player.CurrentFrame, 2);
    // A capillary so short that the frame's profiles give no finite current:
    // shown, but Use does not take it into the run.
    WriteBytes(name, std::string(good).replace(27, 8, Bytes().f64(1e-317).b));
    ASSERT_TRUE(player.Open(name));
    sink.Clear();
    EXPECT_FALSE(player.Use());
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect PSQ file."});
    EXPECT_FALSE(st.Initialised);
    // A capillary of 1e308 m is beyond the length edit: the header is refused.
    WriteBytes(name, std::string(good).replace(27, 8, Bytes().f64(1e308).b));
    EXPECT_EQ(RaisedMessage([&] { player.Open(name); }), "Incorrect PSQ file.");
    // One of the smallest double: the length edit takes it, but the field of
    // no node can be solved on it, so the project reader would refuse what
    // Use leaves; Use does not take the frame.
    for (double length : {5e-324}) {
        WriteBytes(name, std::string(good).replace(27, 8, Bytes().f64(length).b));
        ASSERT_TRUE(player.Open(name)) << length;
        sink.Clear();
        bool used = true;
        RaisedMessage([&] { used = player.Use(); });
        EXPECT_FALSE(used) << length;
        EXPECT_FALSE(st.Initialised) << length;
        EXPECT_FALSE(st.NumericalFailure) << length;
    }

    // Older layout: one frame with a time step of -1.
    const int N = 20, C = 2;
    Bytes b;
    b.str("RAVO_CORE PSQ FILE").i32(N).i32(C).f64(0.1).f64(2.0).f64(0.5).f64(5.0);
    b.f64(1.5).f64(-1.0).f64(0).f64(1e-11).f64(2e-6).f64(250).f64(0).f64(100);  // Time .. StopTime
    b.i32(15).i32(30).f64(0.0).i32(0).i32(N);
    for (int j = 0; j <= N; ++j) b.f64(4.0);
    for (int j = 0; j <= N; ++j) b.f64(0.05);
    for (int k = 1; k <= C * (N + 1); ++k) b.f64(10.0);
    WriteBytes(tmp.file("old.psq"), b.b);
    RunState fresh;
    PsqPlayer legacy(fresh);
    fresh.Time = 7.0;
    EXPECT_EQ(RaisedMessage([&] { legacy.Open(tmp.file("old.psq")); }), "Incorrect PSQ file.");
    EXPECT_EQ(std::tuple(fresh.Time, legacy.FileOpened), std::tuple(7.0, false));
    sink.Clear();
    EXPECT_FALSE(legacy.Use());
}

// The values of a frame at the bounds of their readers: an older-layout frame
// with a time step of 0 (the run panel takes only a step above 0) or a
// negative Newton total (no run counts below 0) is refused, one with the
// smallest step and no Newton iteration is shown; a frame whose H+ is exactly
// the smallest the equilibrium keeps (1e-14 mM) is shown and taken by Use,
// one a bit below it is refused.
TEST(PsqPlayer, FrameValuesAtTheBoundsOfTheReaders)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const int N = 20, C = 2;
    const auto oldFrame = [&](double dt, std::int32_t newton) {
        Bytes b;
        b.str("RAVO_CORE PSQ FILE").i32(N).i32(C).f64(0.1).f64(2.0).f64(0.5).f64(5.0);
        b.f64(1.5).f64(dt).f64(0).f64(1e-11).f64(2e-6).f64(250).f64(0).f64(100);
        b.i32(15).i32(newton).f64(0.0).i32(0).i32(N);
        for (int j = 0; j <= N; ++j) b.f64(4.0);
        for (int j = 0; j <= N; ++j) b.f64(0.05);
        for (int k = 1; k <= C * (N + 1); ++k) b.f64(10.0);
        return b.b;
    };
    const std::string old = tmp.file("old.psq");
    for (const auto& [dt, newton, opens] :
         {std::tuple(0.0, 30, false), std::tuple(-0.0, 30, false), std::tuple(1e-4, -1, false),
          std::tuple(5e-324, 0, true), std::tuple(1e-4, 0, true)}) {
        SCOPED_TRACE(std::to_string(dt) + " " + std::to_string(newton));
        WriteBytes(old, oldFrame(dt, newton));
        RunState fresh;
        fresh.Time = 7.0;
        PsqPlayer player(fresh);
        bool opened = false;
        const std::string m = RaisedMessage([&] { opened = player.Open(old); });
        EXPECT_EQ(opened, opens) << m;
        if (opens) {
            EXPECT_EQ(std::tuple(fresh.Time, fresh.DT, fresh.NewtonItTotal),
                      std::tuple(1.5, dt, 0LL));
        } else {
            EXPECT_EQ(m, "Incorrect PSQ file.");
            EXPECT_EQ(std::tuple(fresh.Time, player.FileOpened), std::tuple(7.0, false));
        }
    }

    // H+ of the first node of the first frame (after the block, the start,
    // spent time, counters, pH, conductivity and the profiles).
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 1);
    const int nn = 13, c = r.st.NComp;
    const std::string good = ReadBytes(rec);
    const std::size_t h = 60 + 333 + 8 + 8 + 4 + 4 + 2 * 8 * nn + 8 * nn * c;
    const std::string name = tmp.file("h.psq");
    std::filesystem::copy_file(tmp.file("rec.cmp"), tmp.file("h.cmp"));
    for (const auto& [hydrogen, opens] :
         {std::tuple(1e-14, true), std::tuple(std::nextafter(1e-14, 0.0), false)}) {
        WriteBytes(name, std::string(good).replace(h, 8, Bytes().f64(hydrogen).b));
        Live live(tmp.file("own.psq"));
        PsqPlayer player(live.st);
        bool opened = false;
        const std::string m = RaisedMessage([&] { opened = player.Open(name); });
        EXPECT_EQ(opened, opens) << hydrogen << m;
        if (!opens) {
            EXPECT_EQ(m, "Incorrect PSQ file.");
            continue;
        }
        player.ShowFrame(1);
        EXPECT_TRUE(player.Use()) << (sink.warnings.empty() ? "" : sink.warnings.back());
        EXPECT_TRUE(live.st.Initialised);
    }
}

// Use continues the run on the frame's capillary: the cross-sections follow
// the diameter the frame holds (not the one the player's Init built them
// from), so the project saved afterwards opens with the same current; a frame
// whose diameter gives no cross-section at all (8.5e-320 m) is not taken.
TEST(PsqPlayer, UseTakesTheCrossSectionOfTheFramesDiameter)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const std::string rec = tmp.file("rec.psq");
    Recorder r(rec, 1);
    const std::string good = ReadBytes(rec);
    const std::size_t frame = static_cast<std::size_t>(PsqFrameSize("1.0", 12, r.st.NComp, false));
    ASSERT_EQ(good.size(), 60 + 2 * frame);
    // Both frames with another diameter (block field at 87 of a frame).
    const auto withDiameter = [&](double d) {
        std::string bytes = good;
        for (std::size_t k = 0; k < 2; ++k) bytes.replace(60 + k * frame + 87, 8, Bytes().f64(d).b);
        return bytes;
    };
    const double wider = 3 * r.st.CapDiameter;
    const std::string name = tmp.file("wide.psq");
    WriteBytes(name, withDiameter(wider));
    std::filesystem::copy_file(tmp.file("rec.cmp"), tmp.file("wide.cmp"));
    Live live(tmp.file("own.psq"));
    RunState& st = live.st;
    PsqPlayer player(st);
    ASSERT_TRUE(player.Open(name));
    ASSERT_TRUE(player.Use());
    EXPECT_EQ(st.CapDiameter, wider);
    EXPECT_DOUBLE_EQ(st.Arr.S[0], std::acos(-1.0) * 0.25 * wider * wider);
    const double current = st.I;
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("used.sna")));
    RunState back;
    ASSERT_TRUE(OpenProject(back, tmp.file("used.sna")));
    EXPECT_NEAR(back.I, current, 1e-9 * std::fabs(current));

    // A diameter with no cross-section never reaches the run: the sequence is
    // refused when it opens, and the run keeps its capillary.
    WriteBytes(name, withDiameter(8.5e-320));
    const double diameter = st.CapDiameter;
    EXPECT_EQ(RaisedMessage([&] { player.Open(name); }), "Incorrect PSQ file.");
    EXPECT_EQ(st.CapDiameter, diameter);
    EXPECT_EQ(st.I, current);
}
