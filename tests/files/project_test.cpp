#include "files/sna_file.h"

#include "run_fixture.h"
#include "composition/cmp_file.h"
#include "engine/run_calc.h"
#include "files/file_hooks.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/temp_dir.h"

#include <cmath>
#include <filesystem>
#include <tuple>

namespace {

// The project file of the state, from the layout table.
std::string GoldenProject(RunState& st, const std::string& scratch, const std::string& version = "1.1")
{
    const int nn = st.NX + 1, c = st.NComp;
    Bytes g;
    g.str("KELVO SNA FILE").str(version).raw(BlockBytes(st, scratch, false));
    if (version == "1.1") {
        g.u8(st.cbDcH).u8(st.cbChrom).u8(st.cbLE).u8(st.cbRE).i32(11).i32(st.SegCount);
        g.u8(st.cbS).u8(st.cbH).u8(st.cbMix).u8(st.cbT).u8(st.rbD).u8(st.rbH);
        for (int r = 3; r <= 11 && st.SegCount; ++r) g.f64(st.TableEdge[r]);
        for (int r = 2; r <= 11 && st.SegCount; ++r)
            for (int k = 1; k <= st.SegCount; ++k) g.f64(st.TableRows[r][k]);
    }
    g.f64(st.RunStart).f64(st.SpentTime).i32(st.StepCount).i32(st.NewtonItTotal);
    for (int i = 1; i <= c; ++i)
        for (int n = 0; n < nn; ++n) g.f64(st.Arr.C(2, i)[n]);
    for (int n = 0; n < nn; ++n) g.f64(st.Arr.CH(2)[n]);
    for (int k = 0; k < c + 2; ++k) g.u8(st.Series.clbGraph[k].checked);
    for (int k = 0; k < c + 4; ++k) g.u8(k < static_cast<int>(st.Series.clbDet.size()) && st.Series.clbDet[k].checked);
    return g.str("EOF").b;
}

std::string WrappedIncorrect(const std::string& name)
{
    return "Warning: While Opening SNA file '" + name + "' Error Message Occur: Incorrect file.";
}

} // namespace

TEST(ProjectFile, SaveWritesTheLayoutOpenRestoresItAndDamagedFilesRaise)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    RunState& st = r.st;
    st.RunStart = 45000.5; st.SpentTime = 2.25; st.StepCount = 30; st.NewtonItTotal = 90; st.Time = 0.75;
    st.Series.clbGraph[0].checked = false;
    st.Series.clbGraph[3].checked = st.cbLE = st.rbD = true;
    // An effects table of two segments.
    st.SegCount = 2;
    st.TableEdge.assign(12, 0.0);
    st.TableRows.assign(12, std::vector<double>(3, 0.0));
    for (int r = 2; r <= 11; ++r) st.TableEdge[r] = 0.5 + r, st.TableRows[r] = {0.0, 10.0 * r + 1, 10.0 * r + 2};
    const std::string name = tmp.file("proj.sna"), golden = GoldenProject(st, tmp.file("b.bin"));
    ASSERT_TRUE(SaveSnaFile(st, name));
    EXPECT_EQ(ReadBytes(name), golden);
    EXPECT_EQ(st.FileName, name);
    // Companions: the composition and the detector record; the empty temporary sequence is not copied.
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("ref.cmp")));
    EXPECT_EQ(ReadBytes(tmp.file("proj.cmp")), ReadBytes(tmp.file("ref.cmp")));
    EXPECT_TRUE(FileExists(tmp.file("proj.det")) && !FileExists(tmp.file("proj.psq")));

    // Opened, it saves to the same bytes (the recalculation after loading starts
    // its own Newton count). A sequence beside it of another system is not taken
    // over (the run could not append to it).
    WriteBytes(tmp.file("proj.psq"), Bytes().str("KELVO PSQ FILE").str("1.0").i32(st.NX + 5).i32(st.NComp)
                                         .f64(st.CapLength).f64(1).f64(1).f64(1).u8(0).b);
    HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
    ASSERT_TRUE(OpenProject(l.st, name));
    EXPECT_TRUE(l.st.Initialised && l.st.sbData_Visible && !l.st.Series.sr_pH.active);
    EXPECT_EQ(std::tuple(l.st.FileName, l.st.GlobalRatio, l.st.PsqSize), std::tuple(name, 3.0, 0));
    EXPECT_EQ(FileSizeByName(l.st.PsqFile), 0);
    l.st.NewtonItTotal = 90;
    ASSERT_TRUE(SaveSnaFile(l.st, tmp.file("again.sna")));
    EXPECT_EQ(ReadBytes(tmp.file("again.sna")), golden);
    // Version "1.0" has no switches and table, and its temperature is in degrees Celsius + 273.
    std::filesystem::copy_file(tmp.file("proj.cmp"), tmp.file("old.cmp"));
    WriteBytes(tmp.file("old.sna"), GoldenProject(st, tmp.file("b.bin"), "1.0"));
    RunState ld;
    ASSERT_TRUE(OpenProject(ld, tmp.file("old.sna")));
    EXPECT_DOUBLE_EQ(ld.Temperature, st.Temperature + 0.15);
    EXPECT_TRUE(sink.warnings.empty());

    // Cut, or with a wrong node count or table counts: raised, and the state recovered.
    for (const std::string& bytes : Damaged(golden, 4, {19 + 55, 392, 396})) {
        if (bytes == WithInt32At(golden, 396, 0)) continue;   // no table: its bytes read as run data
        WriteBytes(name, bytes);
        RunState bad;
        EXPECT_EQ(RaisedMessage([&] { OpenProject(bad, name); }), WrappedIncorrect(name)) << bytes.size();
        EXPECT_FALSE(bad.Loading || bad.Running);
        EXPECT_EQ(bad.NX, 1000);   // the geometry of a fresh state
    }
    // Without the composition the project is not opened.
    std::filesystem::remove(tmp.file("proj.cmp"));
    EXPECT_FALSE(OpenProject(ld, name));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"File " + tmp.file("proj.cmp") + " not found!"});

    // A ".cmp" name loads only the composition; the run keeps the copy it works
    // on and waits for the next Init.
    TUnivSet<TComponents> one;
    one.Add(st.Composition[2]);
    ASSERT_TRUE(WriteComposition(one, tmp.file("one.cmp")));
    ASSERT_TRUE(OpenProject(st, tmp.file("one.cmp")));
    EXPECT_EQ(std::tuple(st.Composition.Count(), st.CompInit.Count(), st.NX), std::tuple(1, 4, 12));
    EXPECT_TRUE(st.CompChanged && st.Initialised && !st.Loading);
}

TEST(ProjectFile, AFailedSaveKeepsThePreviousFile)
{
    TempDir tmp;
    const std::string name = tmp.file("keep.sna");
    WriteBytes(name, "previous contents");
    EXPECT_THROW(SaveFileAtomically(name, [](KFile& f, std::int64_t& pos) {
        FileWriteString(f, "half of a new file", pos, true);
        ThrowError("Error: Can't write to file");
    }), Exception);
    EXPECT_EQ(ReadBytes(name), "previous contents");
    using It = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(It(tmp.path()), It()), 1);   // no temporary file left behind
    EXPECT_FALSE(SaveFileAtomically(tmp.file("no/such/dir/x.sna"), [](KFile&, std::int64_t&) {}));
}

TEST(ProjectFile, SavedRunContinuesLikeAnUninterruptedOne)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun ra(tmp.file("Kelvo5_tmp_1.psq")), rb(tmp.file("Kelvo5_tmp_2.psq"));
    ra.Init(100);
    RunState &a = ra.st, &b = rb.st;
    a.rbPSQSteps = true; a.rbPSQMS = false; a.PSQPeriod = 20; a.StopTime = 0.05;
    RunCalc(a);
    ASSERT_GT(a.StepCount, 10);
    // The run recorded its first frame and one every period; the sequence goes with the project.
    const std::int64_t frame = PsqFrameSize("1.0", a.NX, a.NComp, false);
    EXPECT_EQ(PsqFrameCount(FileSizeByName(a.PsqFile), 60, frame), 1 + a.StepCount / 20);
    const std::string sna = tmp.file("run.sna"), psq = tmp.file("run.psq");
    ASSERT_TRUE(SaveSnaFile(a, sna));
    EXPECT_EQ(GetPsqFileVersion(psq), "1.0");
    ASSERT_TRUE(OpenProject(b, sna));
    EXPECT_EQ(b.Time, a.Time);
    EXPECT_EQ(ReadBytes(b.PsqFile), ReadBytes(psq));   // transferred
    // After a run the project holds the current state (level 2), the one of the stored time.
    for (int i = 1; i <= a.NComp; ++i)
        for (int n = 0; n <= a.NX; ++n) ASSERT_EQ(b.Arr.C(2, i)[n], a.Arr.C(2, i)[n]);

    // Saving again asks before the sequence beside the project is overwritten.
    sink.Clear();
    sink.answers = {false};
    const std::string before = ReadBytes(psq);
    AppendPsqFrame(a, a.PsqFile);
    ASSERT_TRUE(SaveSnaFile(a, sna));
    EXPECT_EQ(sink.questions, std::vector<std::string>{"File " + psq + " exists. Overwrite?"});
    EXPECT_EQ(ReadBytes(psq), before);
    sink.answers = {true};
    ASSERT_TRUE(SaveSnaFile(a, sna));
    EXPECT_EQ(ReadBytes(psq), ReadBytes(a.PsqFile));
    // No to "Create New Directory?" writes nothing.
    sink.Clear();
    EXPECT_FALSE(SaveSnaFile(a, tmp.file("newdir/run.sna")));
    EXPECT_EQ(sink.questions, std::vector<std::string>{"Create New Directory?\n" + tmp.file("newdir")});
    EXPECT_FALSE(std::filesystem::exists(tmp.file("newdir")));
    // With "Ask Before Transfer PSQ" a No leaves the temporary sequence empty.
    HostedRun rq(tmp.file("Kelvo5_tmp_3.psq"));
    rq.st.cbPSQQuestion = true;
    sink.Clear();
    sink.answers = {false};
    ASSERT_TRUE(OpenProject(rq.st, sna));
    EXPECT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(FileSizeByName(rq.st.PsqFile), 0);

    // Both continue; the uninterrupted one restarts its multistep method as a loaded run does.
    a.StopTime = b.StopTime = 0.1;
    a.PsqStarted = false;
    RunCalc(a);
    RunCalc(b);
    EXPECT_EQ(a.StepCount, b.StepCount);
    EXPECT_EQ(a.Time, b.Time);
    double amount = 0, diff = 0;
    for (int i = 1; i <= a.NComp; ++i)
        for (int n = 0; n <= a.NX; ++n) {
            amount = std::max(amount, std::fabs(a.Arr.C(2, i)[n]));
            diff = std::max(diff, std::fabs(a.Arr.C(2, i)[n] - b.Arr.C(2, i)[n]));
        }
    EXPECT_LE(diff, 1e-12 * amount);
    for (int n = 0; n <= a.NX; ++n) EXPECT_NEAR(a.Arr.PH[n], b.Arr.PH[n], 1e-10);
}

TEST(ProjectFile, OlderLayoutIsReadWithItsOptionsAndProfilesAtLevelFive)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r;
    r.Init();
    RunState& st = r.st;
    const int nn = st.NX + 1, c = st.NComp;
    const std::string name = tmp.file("old.sna");
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("old.cmp")));
    Bytes g;
    g.str("RAVO_CORE SNA FILE").u8(1).i32(st.NX).f64(1.5).f64(0.25).f64(4.4).f64(st.CapLength);
    double stored = 0;
    for (int i = 1; i <= c; ++i)
        for (int n = 0; n < nn; ++n) g.f64(st.Arr.C(2, i)[n]), stored += st.Arr.C(2, i)[n];
    for (int k = 0; k < 2 * (c + 2); ++k) g.u8(k != 1);
    g.f64(0.5).f64(45000.0).f64(3.0).i32(50).i32(100).u8(1).u8(0).u8(1).u8(0).u8(0).u8(0).str("EOF");
    ASSERT_EQ(g.size(), static_cast<std::size_t>(102 + 8 * c * nn + 2 * c));
    WriteBytes(name, g.b);
    WriteBytes(tmp.file("old.opt"), "options");

    // Positions come from node numbers (the injection node, the detector node of the options file).
    FileLayerHooks().ReadOptFile = [](RunState& s, const std::string&) { s.LegacyDetNode = 6; };
    RunState ld;
    const bool opened = OpenProject(ld, name);
    FileLayerHooks().ReadOptFile = nullptr;
    ASSERT_TRUE(opened);
    EXPECT_EQ(std::tuple(ld.NX, ld.PeakWidth, ld.StepCount, ld.GlobalRatio), std::tuple(st.NX, 1.5, 50, 2.0));
    EXPECT_DOUBLE_EQ(ld.InjSite, 4.0 * 1000.0 / st.NX * st.CapLength);
    EXPECT_EQ(ld.InjSitePending, ld.InjSite);
    EXPECT_DOUBLE_EQ(ld.DetPosition, 6.0 * 1000.0 / st.NX * st.CapLength);
    EXPECT_TRUE(ld.SetupChanged && ld.SetupItemChanged[1] && !ld.SetupItemChanged[0]);
    EXPECT_FALSE(ld.Series.sr_conductivity.active);
    // The stored state became the oldest level of a restarted multistep method.
    EXPECT_NEAR(ld.Time, 0.5 + 3 * ld.DT, 1e-15);
    double total = 0;
    for (int i = 1; i <= c; ++i)
        for (int n = 0; n < nn; ++n) total += ld.Arr.C(2, i)[n];
    EXPECT_NEAR(total, stored, 1e-6 * stored);

    for (std::size_t len = 19; len + 4 < g.size(); ++len) {
        WriteBytes(name, g.b.substr(0, len));
        RunState bad;
        EXPECT_EQ(RaisedMessage([&] { OpenProject(bad, name); }), WrappedIncorrect(name)) << len;
    }
}
