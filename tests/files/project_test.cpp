#include "files/sna_file.h"

#include "byte_builder.h"
#include "composition/cmp_file.h"
#include "engine/init_calc.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "files/det_file.h"
#include "files/file_hooks.h"
#include "files/psq.h"
#include "files/run_setup_block.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <climits>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

void InitialisedRun(RunState& st, PsqFileHost& host, const TempDir& tmp, int nx = 12)
{
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), nx);
    st.PsqFileOwn = st.PsqFile = tmp.file("Kelvo5_tmp_1.psq");
    st.Host = &host;
    ASSERT_TRUE(InitCalc(st));
}

std::string BlockBytes(const RunState& st, const std::string& scratch)
{
    KFile f = KFile::Create(scratch);
    std::int64_t pos = 0;
    WriteRunSetupBlock(f, pos, CaptureRunSetupBlock(st), false);
    f.Close();
    return ReadBytes(scratch);
}

// The project file of the state, from the layout table (no effects table).
std::string GoldenProject(RunState& st, const std::string& scratch, const std::string& version = "1.1")
{
    const int nn = st.NX + 1, c = st.NComp;
    Bytes g;
    g.str("KELVO SNA FILE").str(version).raw(BlockBytes(st, scratch));
    if (version == "1.1") {
        g.u8(st.cbDcH).u8(st.cbChrom).u8(st.cbLE).u8(st.cbRE).i32(11).i32(0);
        g.u8(st.cbS).u8(st.cbH).u8(st.cbMix).u8(st.cbT).u8(st.rbD).u8(st.rbH);
    }
    g.f64(st.RunStart).f64(st.SpentTime).i32(st.StepCount).i32(st.NewtonItTotal);
    for (int i = 1; i <= c; ++i)
        for (int n = 0; n < nn; ++n) g.f64(st.Arr.C(2, i)[n]);
    for (int n = 0; n < nn; ++n) g.f64(st.Arr.CH(2)[n]);
    for (int k = 0; k < c + 2; ++k) g.u8(st.Series.clbGraph[k].checked);
    for (int k = 0; k < c + 4; ++k) g.u8(k < static_cast<int>(st.Series.clbDet.size()) && st.Series.clbDet[k].checked);
    g.str("EOF");
    return g.b;
}

std::string WrappedIncorrect(const std::string& name)
{
    return "Warning: While Opening SNA file '" + name + "' Error Message Occur: Incorrect file.";
}

} // namespace

TEST(ProjectFile, SaveWritesTheLayoutAndOpenRestoresTheState)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    PsqFileHost host(st);
    InitialisedRun(st, host, tmp);
    st.RunStart = 45000.5; st.SpentTime = 2.25; st.StepCount = 30; st.NewtonItTotal = 90; st.Time = 0.75;
    st.Series.clbGraph[0].checked = false;
    st.Series.clbGraph[3].checked = true;
    st.cbLE = true;
    const std::string name = tmp.file("proj.sna");
    ASSERT_TRUE(SaveSnaFile(st, name));
    const std::string golden = GoldenProject(st, tmp.file("b.bin"));
    const int n = st.NX, c = st.NComp;
    EXPECT_EQ(golden.size(), static_cast<std::size_t>(440 + 8 * (c + 1) * (n + 1) + 2 * c));
    EXPECT_EQ(ReadBytes(name), golden);
    EXPECT_EQ(st.FileName, name);
    // Companions: the composition (required for opening) and the detector record.
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("ref.cmp")));
    EXPECT_EQ(ReadBytes(tmp.file("proj.cmp")), ReadBytes(tmp.file("ref.cmp")));
    EXPECT_TRUE(FileExists(tmp.file("proj.det")));
    EXPECT_FALSE(FileExists(tmp.file("proj.psq")));   // the temporary sequence is empty

    RunState ld;
    PsqFileHost host2(ld);
    ld.Host = &host2;
    ld.PsqFileOwn = ld.PsqFile = tmp.file("Kelvo5_tmp_2.psq");
    ASSERT_TRUE(OpenProject(ld, name));
    EXPECT_TRUE(ld.Initialised);
    EXPECT_EQ(ld.FileName, name);
    EXPECT_EQ(ld.Time, 0.75);
    EXPECT_EQ(ld.StepCount, 30);
    EXPECT_EQ(ld.GlobalRatio, 3.0);
    EXPECT_EQ(ld.NX, st.NX);
    EXPECT_EQ(ld.NComp, st.NComp);
    EXPECT_TRUE(ld.cbLE);
    EXPECT_FALSE(ld.Series.clbGraph[0].checked);
    EXPECT_FALSE(ld.Series.sr_pH.active);
    EXPECT_TRUE(ld.Series.clbGraph[3].checked);
    for (int i = 1; i <= c; ++i)
        for (int k = 0; k <= n; ++k) EXPECT_EQ(ld.Arr.C(2, i)[k], st.Arr.C(2, i)[k]);
    // The loaded state saves to the same bytes (the recalculation after loading
    // starts its own Newton count).
    ld.NewtonItTotal = 90;
    ASSERT_TRUE(SaveSnaFile(ld, tmp.file("again.sna")));
    EXPECT_EQ(ReadBytes(tmp.file("again.sna")), golden);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(ProjectFile, OlderVersionTableAndMissingCompanion)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    PsqFileHost host(st);
    InitialisedRun(st, host, tmp);
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("old.cmp")));
    WriteBytes(tmp.file("old.sna"), GoldenProject(st, tmp.file("b.bin"), "1.0"));
    RunState ld;
    ASSERT_TRUE(OpenProject(ld, tmp.file("old.sna")));
    EXPECT_DOUBLE_EQ(ld.Temperature, st.Temperature + 0.15);

    // A table copy of two segments travels with the project.
    st.SegCount = 2;
    st.TableEdge.assign(12, 0.0);
    st.TableRows.assign(12, std::vector<double>(3, 0.0));
    for (int r = 3; r <= 11; ++r) st.TableEdge[r] = 0.5 + r;
    for (int r = 2; r <= 11; ++r) st.TableRows[r] = {0.0, 10.0 * r + 1, 10.0 * r + 2};
    st.rbD = true;
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("tab.sna")));
    const std::string bytes = ReadBytes(tmp.file("tab.sna"));
    Bytes table;
    table.i32(11).i32(2).u8(0).u8(0).u8(0).u8(0).u8(1).u8(0);
    for (int r = 3; r <= 11; ++r) table.f64(0.5 + r);
    for (int r = 2; r <= 11; ++r) table.f64(10.0 * r + 1).f64(10.0 * r + 2);
    EXPECT_EQ(bytes.substr(392, table.size()), table.b);
    RunState lt;
    ASSERT_TRUE(OpenProject(lt, tmp.file("tab.sna")));
    EXPECT_EQ(lt.SegCount, 2);
    EXPECT_TRUE(lt.sbData_Visible);
    EXPECT_TRUE(lt.rbD);
    EXPECT_EQ(lt.TableRows[7][2], 72.0);
    EXPECT_EQ(lt.TableEdge[11], 11.5);

    // A sequence beside the project that belongs to another system is not
    // taken over (the run could not append to it).
    Bytes foreign;
    foreign.str("KELVO PSQ FILE").str("1.0").i32(st.NX + 5).i32(st.NComp).f64(st.CapLength).f64(1).f64(1).f64(1).u8(0);
    WriteBytes(tmp.file("tab.psq"), foreign.b);
    RunState lp;
    lp.PsqFileOwn = lp.PsqFile = tmp.file("Kelvo5_tmp_3.psq");
    ASSERT_TRUE(OpenProject(lp, tmp.file("tab.sna")));
    EXPECT_EQ(FileSizeByName(lp.PsqFile), 0);
    EXPECT_EQ(lp.PsqSize, 0);

    // Without the composition the project is not opened.
    std::filesystem::remove(tmp.file("tab.cmp"));
    sink.Clear();
    EXPECT_FALSE(OpenProject(lt, tmp.file("tab.sna")));
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "File " + tmp.file("tab.cmp") + " not found!");
}

TEST(ProjectFile, DamagedProjectsRaiseIncorrectFileAndRecover)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    PsqFileHost host(st);
    InitialisedRun(st, host, tmp);
    const std::string golden = GoldenProject(st, tmp.file("b.bin"));
    const std::string name = tmp.file("d.sna");
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("d.cmp")));
    std::vector<std::string> damaged;
    for (std::size_t len = 0; len + 4 < golden.size(); ++len) damaged.push_back(golden.substr(0, len));
    for (std::int32_t v : {-1, 0, INT_MAX, INT_MIN}) {
        damaged.push_back(WithInt32At(golden, 19 + 55, v));   // NX
        damaged.push_back(WithInt32At(golden, 392, v));        // table rows
        damaged.push_back(WithInt32At(golden, 396, v == 0 ? 1 : v));   // table segments
    }
    for (const std::string& bytes : damaged) {
        WriteBytes(name, bytes);
        RunState ld;
        try {
            OpenProject(ld, name);
            ADD_FAILURE() << "opened a damaged file of " << bytes.size() << " bytes";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), WrappedIncorrect(name));
        }
        EXPECT_FALSE(ld.Loading);
        EXPECT_FALSE(ld.Running);
        EXPECT_EQ(ld.NX, 1000);   // the geometry of a fresh state
    }
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
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(tmp.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);   // no temporary file left behind
    EXPECT_FALSE(SaveFileAtomically(tmp.file("no/such/dir/x.sna"), [](KFile&, std::int64_t&) {}));
}

TEST(ProjectFile, SavedRunContinuesLikeAnUninterruptedOne)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState a;
    PsqFileHost hostA(a);
    InitialisedRun(a, hostA, tmp, 100);
    a.rbPSQSteps = true;
    a.rbPSQMS = false;
    a.PSQPeriod = 20;
    a.StopTime = 0.05;
    RunCalc(a);
    ASSERT_GT(a.StepCount, 10);
    const double t1 = a.Time;
    ASSERT_TRUE(SaveSnaFile(a, tmp.file("run.sna")));
    EXPECT_EQ(GetPsqFileVersion(tmp.file("run.psq")), "1.0");   // the sequence went with the project

    RunState b;
    PsqFileHost hostB(b);
    b.Host = &hostB;
    b.PsqFileOwn = b.PsqFile = tmp.file("Kelvo5_tmp_2.psq");
    ASSERT_TRUE(OpenProject(b, tmp.file("run.sna")));
    EXPECT_EQ(b.Time, t1);
    EXPECT_EQ(ReadBytes(b.PsqFile), ReadBytes(tmp.file("run.psq")));   // transferred
    // After a run the project holds the current state (level 2), the one of the stored time.
    for (int i = 1; i <= a.NComp; ++i)
        for (int n = 0; n <= a.NX; ++n) ASSERT_EQ(b.Arr.C(2, i)[n], a.Arr.C(2, i)[n]);

    // Saving again asks before the sequence beside the project is overwritten.
    sink.Clear();
    sink.answers = {false};
    const std::string before = ReadBytes(tmp.file("run.psq"));
    AppendPsqFrame(a, a.PsqFile);
    ASSERT_TRUE(SaveSnaFile(a, tmp.file("run.sna")));
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0], "File " + tmp.file("run.psq") + " exists. Overwrite?");
    EXPECT_EQ(ReadBytes(tmp.file("run.psq")), before);
    sink.answers = {true};
    ASSERT_TRUE(SaveSnaFile(a, tmp.file("run.sna")));
    EXPECT_EQ(ReadBytes(tmp.file("run.psq")), ReadBytes(a.PsqFile));
    // No to "Create New Directory?" writes nothing.
    sink.Clear();
    EXPECT_FALSE(SaveSnaFile(a, tmp.file("newdir/run.sna")));
    ASSERT_EQ(sink.questions.size(), 1u);
    EXPECT_EQ(sink.questions[0], "Create New Directory?\n" + tmp.file("newdir"));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("newdir")));

    // With "Ask Before Transfer PSQ" a No leaves the temporary sequence empty.
    {
        RunState q;
        q.cbPSQQuestion = true;
        q.PsqFileOwn = q.PsqFile = tmp.file("Kelvo5_tmp_3.psq");
        sink.Clear();
        sink.answers = {false};
        ASSERT_TRUE(OpenProject(q, tmp.file("run.sna")));
        EXPECT_EQ(sink.questions.size(), 1u);
        EXPECT_EQ(FileSizeByName(q.PsqFile), 0);
        sink.Clear();
    }

    // Both continue; the uninterrupted one restarts its multistep method as a
    // loaded run does.
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
    RunState st;
    PsqFileHost host(st);
    InitialisedRun(st, host, tmp);
    const int nn = st.NX + 1, c = st.NComp;
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("old.cmp")));
    Bytes g;
    g.str("RAVO_CORE SNA FILE").u8(1).i32(st.NX).f64(1.5).f64(0.25).f64(4.4).f64(st.CapLength);
    for (int i = 1; i <= c; ++i)
        for (int n = 0; n < nn; ++n) g.f64(st.Arr.C(2, i)[n]);
    for (int k = 0; k < c + 2; ++k) g.u8(k != 1);
    for (int k = 0; k < c + 2; ++k) g.u8(1);
    g.f64(0.5).f64(45000.0).f64(3.0).i32(50).i32(100).u8(1).u8(0).u8(1).u8(0).u8(0).u8(0).str("EOF");
    ASSERT_EQ(g.size(), static_cast<std::size_t>(102 + 8 * c * nn + 2 * c));
    WriteBytes(tmp.file("old.sna"), g.b);
    WriteBytes(tmp.file("old.opt"), "options");

    FileLayerHooks().ReadOptFile = [](RunState& s, const std::string&) { s.LegacyDetNode = 6; };
    RunState ld;
    const bool opened = OpenProject(ld, tmp.file("old.sna"));
    FileLayerHooks().ReadOptFile = nullptr;
    ASSERT_TRUE(opened);
    EXPECT_EQ(ld.NX, st.NX);
    EXPECT_EQ(ld.PeakWidth, 1.5);
    EXPECT_DOUBLE_EQ(ld.InjSite, 4.0 * 1000.0 / st.NX * st.CapLength);
    EXPECT_EQ(ld.InjSitePending, ld.InjSite);
    EXPECT_DOUBLE_EQ(ld.DetPosition, 6.0 * 1000.0 / st.NX * st.CapLength);
    EXPECT_TRUE(ld.SetupChanged);
    EXPECT_TRUE(ld.SetupItemChanged[1]);
    EXPECT_FALSE(ld.SetupItemChanged[0]);
    EXPECT_EQ(ld.StepCount, 50);
    EXPECT_EQ(ld.GlobalRatio, 2.0);
    EXPECT_FALSE(ld.Series.sr_conductivity.active);
    // The stored state became the oldest level of a restarted multistep method.
    EXPECT_NEAR(ld.Time, 0.5 + 3 * ld.DT, 1e-15);
    double total = 0, stored = 0;
    for (int i = 1; i <= c; ++i)
        for (int n = 0; n < nn; ++n) {
            total += ld.Arr.C(2, i)[n];
            stored += st.Arr.C(2, i)[n];
        }
    EXPECT_NEAR(total, stored, 1e-6 * stored);
    EXPECT_EQ(ld.FileName, tmp.file("old.sna"));

    for (std::size_t len = 19; len + 4 < g.size(); len += 7) {
        WriteBytes(tmp.file("old.sna"), g.b.substr(0, len));
        RunState bad;
        try {
            OpenProject(bad, tmp.file("old.sna"));
            ADD_FAILURE() << len;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), WrappedIncorrect(tmp.file("old.sna")));
        }
    }
}

TEST(ProjectFile, OpeningACompositionLoadsOnlyTheComposition)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    PsqFileHost host(st);
    InitialisedRun(st, host, tmp);
    TUnivSet<TComponents> other;
    other.Add(st.Composition[2]);
    ASSERT_TRUE(WriteComposition(other, tmp.file("one.cmp")));
    const int nx = st.NX;
    ASSERT_TRUE(OpenProject(st, tmp.file("one.cmp")));
    EXPECT_EQ(st.Composition.Count(), 1);
    EXPECT_EQ(st.CompInit.Count(), 4);   // the run keeps the copy it works on ...
    EXPECT_TRUE(st.CompChanged);         // ... and waits for the next Init
    EXPECT_TRUE(st.Initialised);
    EXPECT_EQ(st.NX, nx);
    EXPECT_FALSE(st.Loading);
}
