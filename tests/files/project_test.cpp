// The project file with its companions (composition, detector record,
// sequence copy) and the example project.
#include "files/sna_file.h"

#include "composition/cmp_file.h"
#include "engine/step/init_distribution.h"
#include "engine/step/run_calc.h"
#include "files/det_file.h"
#include "files/example_project.h"
#include "files/openers.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "opt_golden.h"
#include "run_fixture.h"
#include "support/raised_message.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <numeric>
#include <tuple>

namespace {

// The project file of the state, from the layout table.
// `rows` rows of the effects table copy (2..11; the writer always stores 11).
std::string GoldenProject(RunState& st, const std::string& scratch,
                          const std::string& version = "1.1", int rows = 11)
{
    const int nn = st.NX + 1, c = st.NComp;
    Bytes g;
    g.str("KELVO SNA FILE").str(version).raw(BlockBytes(st, scratch, false));
    if (version == "1.1") {
        g.u8(st.cbDcH).u8(st.cbChrom).u8(st.cbLE).u8(st.cbRE).i32(rows).i32(st.SegCount);
        g.u8(st.cbS).u8(st.cbH).u8(st.cbMix).u8(st.cbT).u8(st.rbD).u8(st.rbH);
        for (int r = 3; r <= rows && st.SegCount; ++r) g.f64(st.TableEdge[r]);
        for (int r = 2; r <= rows && st.SegCount; ++r)
            for (int k = 1; k <= st.SegCount; ++k) g.f64(st.TableRows[r][k]);
    }
    g.f64(st.RunStart).f64(st.SpentTime).i32(st.StepCount).i32(st.NewtonItTotal);
    for (int i = 1; i <= c; ++i) g.f64s(st.Arr.C(2, i), nn);
    g.f64s(st.Arr.CH(2), nn);
    for (int k = 0; k < c + 2; ++k) g.u8(st.Series.clbGraph[k].checked);
    for (int k = 0; k < c + 4; ++k)
        g.u8(k < static_cast<int>(st.Series.clbDet.size()) && st.Series.clbDet[k].checked);
    return g.str("EOF").b;
}

constexpr int kPoints = 3;

void Record(RunState& st)
{
    RunSeries& s = st.Series;
    for (int p = 0; p < kPoints; ++p) {
        const double t = 0.5 * (p + 1);
        s.DET_pH.Add(t, 4.7 + 0.01 * p), s.DET_conductivity.Add(t, 0.05 + p);
        for (int i = 1; i <= st.NComp; ++i) s.srDetComp[i].Add(t, 10.0 * i + p);
        s.DET_volt.Add(t, 0.25), s.DET_CDen.Add(t, 3.0 + p), s.DET_T.Add(t, 25.0);
    }
}

std::string GoldenDet(const RunState& st, bool withVI = true)
{
    Bytes g;
    g.str("KELVO DET FILE").str("1.0").i32(kPoints).i32(static_cast<int>(st.Series.clbDet.size()));
    for (const CheckListItem& item : st.Series.clbDet) g.str(item.text);
    for (int p = 0; p < kPoints; ++p) {
        g.f64(0.5 * (p + 1)).f64(4.7 + 0.01 * p).f64(0.05 + p);
        for (int i = 1; i <= st.NComp; ++i) g.f64(10.0 * i + p);
        g.f64(withVI ? 0.25 : 0.0).f64(withVI ? 3.0 + p : 0.0);
    }
    return g.str("EOF").b;
}

// Mean of f over a constituent's level-2 profile.
double ProfileMean(RunState& st, int i, const std::function<double(int)>& f)
{
    double m0 = 0, m1 = 0;
    for (int n = 0; n <= st.NX; ++n) {
        m0 += st.Arr.C(2, i)[n];
        m1 += f(n) * st.Arr.C(2, i)[n];
    }
    return m1 / m0;
}

// Opening `bytes` as project `file` raises "Incorrect file." and leaves a fresh state.
void ExpectRefused(const std::string& file, const std::string& bytes, const std::string& what = "")
{
    WriteBytes(file, bytes);
    RunState bad;
    EXPECT_EQ(RaisedMessage([&] { OpenProject(bad, file); }),
              "Warning: While Opening SNA file '" + file + "' Error Message Occur: Incorrect file.")
        << what << bytes.size();
    EXPECT_FALSE(bad.Loading || bad.Running) << what;
    EXPECT_EQ(std::tuple(bad.NX, bad.Time, bad.DT, bad.StepCount), std::tuple(1000, 0.0, 1e-4, 0LL))
        << what;
}

// The bytes of `g` with the double at `offset` replaced.
std::string WithDoubleAt(std::string g, std::size_t offset, double v)
{
    return g.replace(offset, 8, Bytes().f64(v).b);
}

// An effects table of two segments: edge 0.5 + row, cells 10 row + 1 and 10 row + 2.
void SetTwoSegmentTable(RunState& st)
{
    st.SegCount = 2;
    st.TableEdge.assign(12, 0.0);
    st.TableRows.assign(12, std::vector<double>(3, 0.0));
    for (int row = 2; row <= 11; ++row)
        st.TableEdge[row] = 0.5 + row, st.TableRows[row] = {0.0, 10.0 * row + 1, 10.0 * row + 2};
}

// A file-block hook that counts its calls.
int gBlockReads = 0;
void CountBlockRead(RunState&)
{
    ++gBlockReads;
}

}  // namespace

TEST(ProjectFile, BothLayoutsAreReadTheCurrentOneWrittenAndDamagedFilesRaise)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    RunState& st = r.st;
    st.RunStart = 45000.5;
    st.SpentTime = 2.25;
    st.StepCount = 30;
    st.NewtonItTotal = 90;
    st.Time = 0.75;
    st.Series.clbGraph[0].checked = false;
    st.Series.clbGraph[3].checked = st.cbLE = st.rbD = true;
    SetTwoSegmentTable(st);
    const std::string name = tmp.file("proj.sna"), golden = GoldenProject(st, tmp.file("b.bin"));
    ASSERT_TRUE(SaveSnaFile(st, name));
    EXPECT_EQ(ReadBytes(name), golden);
    // Companions: the composition and the detector record; the empty temporary sequence is not
    // copied.
    ASSERT_TRUE(WriteComposition(st.Composition, tmp.file("ref.cmp")));
    EXPECT_EQ(ReadBytes(tmp.file("proj.cmp")), ReadBytes(tmp.file("ref.cmp")));
    EXPECT_TRUE(FileExists(tmp.file("proj.det")) && !FileExists(tmp.file("proj.psq")));

    // Opened, it saves to the same bytes (the recalculation after loading starts
    // its own Newton count). A sequence beside it of another system is not taken
    // over (the run could not append to it).
    WriteBytes(tmp.file("proj.psq"), Bytes()
                                         .str("KELVO PSQ FILE")
                                         .str("1.0")
                                         .i32(st.NX + 5)
                                         .i32(st.NComp)
                                         .f64(st.CapLength)
                                         .f64(1)
                                         .f64(1)
                                         .f64(1)
                                         .u8(0)
                                         .b);
    HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
    WriteBytes(name, golden);
    // The file-block hooks run once per open whatever the switches: the
    // effects mode rebuilds its grid from the table copy of the file.
    l.st.Engine.Modes[ModeIndex(Mode::Chrom)].FileBlockRead = CountBlockRead;
    gBlockReads = 0;
    ASSERT_TRUE(OpenProject(l.st, name));
    EXPECT_TRUE(l.st.Initialised && l.st.sbData_Visible && !l.st.Series.sr_pH.active);
    EXPECT_EQ(gBlockReads, 1);
    ASSERT_EQ(l.st.Grid.size(), 11u);
    EXPECT_EQ(std::tuple(l.st.Grid[1][2], l.st.Grid[1][3], l.st.Grid[10][3]),
              std::tuple("21", "22", "112"));
    EXPECT_EQ(std::tuple(l.st.FileName, l.st.GlobalRatio, l.st.PsqSize), std::tuple(name, 3.0, 0));
    l.st.NewtonItTotal = 90;
    ASSERT_TRUE(SaveSnaFile(l.st, tmp.file("again.sna")));
    EXPECT_EQ(ReadBytes(tmp.file("again.sna")), golden);
    // A composition opened alone: the constituents of the last Init go, Run waits for the next
    // Init.
    ASSERT_GT(l.st.CompInit.Count(), 0);
    ASSERT_TRUE(OpenProject(l.st, tmp.file("ref.cmp")));
    EXPECT_TRUE(l.st.CompInit.Count() == 0 && l.st.CompChanged && l.st.Composition.Count() > 0);
    // Version "1.0" has no switches and table; its temperature is stored 0.15 K low.
    std::filesystem::copy_file(tmp.file("proj.cmp"), tmp.file("old.cmp"));
    WriteBytes(tmp.file("old.sna"), GoldenProject(st, tmp.file("b.bin"), "1.0"));
    RunState ld;
    ld.Engine.Modes[ModeIndex(Mode::Chrom)].FileBlockRead = CountBlockRead;
    ASSERT_TRUE(OpenProject(ld, tmp.file("old.sna")));
    EXPECT_DOUBLE_EQ(ld.Temperature, st.Temperature + 0.15);
    EXPECT_EQ(gBlockReads, 1);

    // The older layout: positions from node numbers (the detector node from the options file).
    const int nn = st.NX + 1, c = st.NComp;
    Bytes g;
    g.str("RAVO_CORE SNA FILE").u8(1).i32(st.NX).f64(1.5).f64(0.25).f64(4.4).f64(st.CapLength);
    double stored = 0, total = 0;
    for (int i = 1; i <= c; ++i)
        g.f64s(st.Arr.C(2, i), nn),
            stored += std::accumulate(st.Arr.C(2, i), st.Arr.C(2, i) + nn, 0.0);
    for (int k = 0; k < 2 * (c + 2); ++k) g.u8(k != 1);
    g.f64(0.5).f64(45000.0).f64(3.0).i32(50).i32(100).u8(1).u8(0).u8(1).u8(0).u8(0).u8(0).str(
        "EOF");
    const std::string old = tmp.file("old.sna");
    WriteBytes(old, g.b);
    WriteBytes(tmp.file("old.opt"), GoldenOpt(OptValues{}));  // detector at node 6
    RunState lg;
    ASSERT_TRUE(OpenProject(lg, old));
    EXPECT_EQ(std::tuple(lg.NX, lg.PeakWidth, lg.StepCount, lg.GlobalRatio),
              std::tuple(st.NX, 1.5, 50, 2.0));
    EXPECT_DOUBLE_EQ(lg.DetPosition, 6.0 * 1000.0 / st.NX * st.CapLength);
    for (int i = 1; i <= c; ++i) total += std::accumulate(lg.Arr.C(2, i), lg.Arr.C(2, i) + nn, 0.0);
    EXPECT_NEAR(total, stored, 1e-6 * stored);

    // Cut, or with a wrong node count or table counts: raised, and the state recovered.
    // Every cut, a node count or table count of -1, 0, the largest or smallest
    // int, a table of one row, bytes after the trailer.
    for (const std::string& bytes : Damaged(golden, 0, {19 + 55, 392, 396}))
        ExpectRefused(name, bytes);
    ExpectRefused(name, WithInt32At(golden, 392, 1));
    // One row and no segments, the 9 edges and 10 x 2 cells of the table left
    // out: every size agrees.
    ExpectRefused(name, golden.substr(0, 392) + Bytes().i32(1).i32(0).b + golden.substr(400, 6) +
                            golden.substr(406 + 29 * 8));
    ExpectRefused(name, golden + std::string(1, '\0'));
    for (std::size_t len = 19; len < g.size(); ++len) ExpectRefused(old, g.b.substr(0, len));
    ExpectRefused(old, g.b + "x");
    // The older layout with values no edit takes (peak width, capillary
    // length), or whose profiles give no equilibrium (a NaN concentration).
    for (auto [at, v] : {std::pair(24, -1.0), std::pair(48, 1e-290), std::pair(64, std::nan(""))})
        ExpectRefused(old, WithDoubleAt(g.b, at, v));
    // An injection node whose site in millimetres is no finite number: the
    // saved project would not open again.
    ExpectRefused(old, WithDoubleAt(g.b, 40, 1e308));
    // Without the composition the project is not opened.
    sink.Clear();
    std::filesystem::remove(tmp.file("proj.cmp"));
    EXPECT_FALSE(OpenProject(ld, name));
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"File " + tmp.file("proj.cmp") + " not found!"});
}

TEST(ProjectFile, ValuesNoEditWouldTakeAndSizesThatDoNotAddUpAreRefused)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    RunState& st = r.st;
    const std::string name = tmp.file("p.sna");
    ASSERT_TRUE(SaveSnaFile(st, name));
    const std::string golden = ReadBytes(name);
    ASSERT_EQ(golden, GoldenProject(st, tmp.file("b.bin")));
    // Offsets from the layout: the block at 19, the counters after the empty
    // effects table, then the profiles and the H+ profile.
    const std::size_t block = 19, stepCount = 19 + 369 + 4 + 8 + 6 + 16, profiles = stepCount + 8;
    const std::size_t hydrogen = profiles + 8 * st.NComp * (st.NX + 1);
    const double nan = std::nan(""), inf = HUGE_VAL;
    const std::string cmpBytes = ReadBytes(tmp.file("p.cmp"));
    const auto refused = [&](const std::string& bytes, const std::string& what) {
        ExpectRefused(name, bytes, what);
    };
    // Time step, time, injection site, stop time, temperature, capillary
    // diameter, Newton precision, peak width, a concentration, H+.
    const std::pair<std::size_t, double> doubles[] = {
        {block + 8, -1e-4},
        {block + 8, nan},
        {block + 0, -inf},
        {block + 75, nan},
        {block + 91, nan},
        {block + 91, 0.0},
        {block + 115, nan},
        {block + 115, -1.0},
        {block + 123, 0.0},
        {block + 196, 0.0},
        {block + 59, -2.0},
        {profiles + 8, nan},
        {profiles + 8, -2e6},
        {profiles + 8, 2e6},
        {hydrogen, -1e-5},
        {hydrogen, inf},
        // An H+ start from which the node's equilibrium does not move (the
        // node would load at the stand-in value 1e-9 mM, out of equilibrium).
        {hydrogen, 1e-300},
        {hydrogen, 5e-324}};
    for (auto [at, v] : doubles)
        refused(WithDoubleAt(golden, at, v), std::to_string(at) + " " + std::to_string(v));
    refused(WithInt32At(golden, block + 192, 0), "zero Newton limit");
    // Finite but absurd geometry: the current of the loaded profiles is no
    // finite number, and a save would write what the reader refuses. A
    // temperature no edit stores (the Celsius edit stores steps of 2^-44 K).
    refused(WithDoubleAt(WithDoubleAt(golden, block + 83, 1e-100), block + 123, 3.2e107),
            "geometry");
    refused(WithDoubleAt(golden, block + 115, 5e-324), "temperature");
    // A negative CMC (the micellar window takes 0 or more) keeps the value in memory.
    WriteBytes(name, WithDoubleAt(WithDoubleAt(golden, block + 231, -5.0), block + 239, -6.0));
    {
        RunState cmc;
        cmc.CMCL = 1.5, cmc.CMCR = 2.5;
        ASSERT_TRUE(OpenProject(cmc, name));
        EXPECT_EQ(std::pair(cmc.CMCL, cmc.CMCR), std::pair(1.5, 2.5));
    }
    WriteBytes(name, golden);
    refused(WithInt32At(golden, stepCount, -1), "negative step count");

    // A composition beside it with one constituent less or more: the profile
    // part would be read as other constituents' rows.
    TUnivSet<TComponents> fewer = st.Composition, more = st.Composition;
    fewer.RemoveNode(fewer.Count());
    more.Add(testcomp::StrongCation("Extra", 50.0, testcomp::BGE, 1.0, 1.0));
    for (const TUnivSet<TComponents>* list : {&fewer, &more}) {
        ASSERT_TRUE(WriteComposition(*list, tmp.file("p.cmp")));
        refused(golden, "constituents " + std::to_string(list->Count()));
    }
    WriteBytes(tmp.file("p.cmp"), cmpBytes);

    // A step count at the 32-bit limit loads and the run counts on past it; a
    // save stores the largest value the field holds.
    WriteBytes(name, WithInt32At(golden, stepCount, INT32_MAX));
    HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
    ASSERT_TRUE(OpenProject(l.st, name));
    ASSERT_EQ(l.st.StepCount, INT32_MAX);
    l.st.StopTime = l.st.Time + 20 * l.st.DT;
    RunCalc(l.st);
    EXPECT_GT(l.st.StepCount, static_cast<long long>(INT32_MAX));
    ASSERT_TRUE(SaveSnaFile(l.st, tmp.file("q.sna")));
    EXPECT_EQ(ReadBytes(tmp.file("q.sna")).substr(stepCount, 4), Bytes().i32(INT32_MAX).b);
}

TEST(ProjectFile, TableRowsAFileLacksTakeTheEffectsWindowDefaults)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    RunState& st = r.st;
    SetTwoSegmentTable(st);
    const std::string name = tmp.file("short.sna");
    ASSERT_TRUE(SaveSnaFile(st, name));
    // the table of a file holds rows 2 and 3 only
    WriteBytes(name, GoldenProject(st, tmp.file("b.bin"), "1.1", 3));
    HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
    ASSERT_TRUE(OpenProject(l.st, name));
    const RunState& o = l.st;
    const double d = o.CapDiameter, area = 3.141592653589793 * d * d / 4 * 1e9;
    // ID (um), S, hOA, p, Mix, T (C), Svol, pK of EOF, max uEOF, in display units
    const double rest[] = {d * 1e6, area, 1500, d / 4 / 1500 * 1e9, 0, o.Temperature - 273.15,
                           area,    5.5,  50};
    ASSERT_TRUE(o.TableRows.size() == 12 && o.TableEdge.size() == 12);
    for (int k = 1; k <= 2; ++k) {
        EXPECT_EQ(std::pair(o.TableRows[2][k], o.TableRows[3][k]), std::pair(20.0 + k, 30.0 + k));
        for (int row = 4; row <= 11; ++row)
            EXPECT_NEAR(o.TableRows[row][k], rest[row - 3], 1e-12 * std::fabs(rest[row - 3]))
                << row;
    }
    EXPECT_EQ(o.TableEdge[3], 3.5);
    for (int row = 4; row <= 11; ++row) EXPECT_EQ(o.TableEdge[row], o.PeakEdgeWidth) << row;
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(ProjectFile, ASaveReplacesItsFilesTogetherAndWritesThroughALink)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    RunState& st = r.st;
    Record(st);
    const std::string name = tmp.file("s.sna");
    ASSERT_TRUE(SaveSnaFile(st, name));
    const std::string sna = ReadBytes(name), cmp = ReadBytes(tmp.file("s.cmp")),
                      det = ReadBytes(tmp.file("s.det"));
    using It = std::filesystem::directory_iterator;
    const auto files = std::distance(It(tmp.path()), It());

    // A save that fails on its way (here the complexation table, staged after
    // the composition and the detector record, cannot take the place of a
    // folder of its name) leaves every old file and no temporary file.
    st.Composition[1].name = "Renamed", st.cbComplex = true;
    // a table of the acetate buffer's four constituents (ligand acetate -1..0)
    st.TxtTable = {{"-1", "0"}, {"4.756"}, {"42.4", "20"}, {"14", "362.5", "205.5"}, {"3"}};
    for (int k = 0; k < 12; ++k) st.TxtTable.push_back({k < 6 ? "30" : "25", k < 6 ? "30" : "25"});
    st.Series.DET_pH.Add(9.0, 7.0);
    std::filesystem::create_directory(tmp.file("s.txt"));
    WriteBytes(tmp.file("s.txt/kept"), "kept");
    EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(st, name); }),
              "Error: Can't write to file\n" + tmp.file("s.txt") +
                  ": Is a directory\nThe previous project is unchanged.");
    st.cbComplex = false;
    EXPECT_EQ(
        std::tuple(ReadBytes(name), ReadBytes(tmp.file("s.cmp")), ReadBytes(tmp.file("s.det"))),
        std::tuple(sna, cmp, det));
    EXPECT_EQ(ReadBytes(tmp.file("s.txt/kept")), "kept");
    std::filesystem::remove_all(tmp.file("s.txt"));
    EXPECT_EQ(std::distance(It(tmp.path()), It()), files);
    EXPECT_FALSE(SaveFileAtomically(tmp.file("no/such/dir/x.sna"), [](BinWriter&) {}));

    // Saving over a symbolic link replaces the file it points to, with its mode.
    namespace fs = std::filesystem;
    fs::create_directory(tmp.file("real"));
    const std::string target = tmp.file("real/t.sna");
    WriteBytes(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(target, tmp.file("link.sna"));
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("link.sna")));
    EXPECT_TRUE(fs::is_symlink(tmp.file("link.sna")));
    EXPECT_EQ(ReadBytes(target), GoldenProject(st, tmp.file("b.bin")));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Every file of the save goes beside the file the link points to, and the
    // project there opens whole; nothing is written beside the link.
    EXPECT_EQ(ReadBytes(tmp.file("real/t.cmp")).find("Renamed") != std::string::npos, true);
    EXPECT_TRUE(FileExists(tmp.file("real/t.det")));
    EXPECT_FALSE(FileExists(tmp.file("link.cmp")) || FileExists(tmp.file("link.det")));
    RunState back;
    ASSERT_TRUE(OpenProject(back, target));
    EXPECT_EQ(back.Composition[1].name, "Renamed");
    // Opened through the link, the project reads its companions where the
    // save put them; a link whose target has no composition beside it (the
    // files of an earlier version's save beside the link) reads them beside
    // the link.
    RunState linked;
    ASSERT_TRUE(OpenProject(linked, tmp.file("link.sna")));
    EXPECT_EQ(linked.Composition[1].name, "Renamed");
    EXPECT_EQ(linked.Series.DET_pH.Count(), back.Series.DET_pH.Count());
    fs::copy_file(target, tmp.file("real/u.sna"));
    fs::create_symlink(tmp.file("real/u.sna"), tmp.file("older.sna"));
    fs::copy_file(tmp.file("real/t.cmp"), tmp.file("older.cmp"));
    RunState older;
    ASSERT_TRUE(OpenProject(older, tmp.file("older.sna")));
    EXPECT_EQ(older.Composition[1].name, "Renamed");
}

namespace {
// A commit rename that fails at the call numbered gFailAt (0-based).
int gRenames = 0, gFailAt = -1;
bool FailingRename(const std::string& from, const std::string& to)
{
    return gRenames++ != gFailAt && std::rename(from.c_str(), to.c_str()) == 0;
}
}  // namespace

// A save whose commit fails at any one of its renames leaves the previous
// project byte for byte (and openable), a new project none of its files, and
// no temporary or backup file.
TEST(ProjectFile, ARenameThatFailsLeavesTheOldProjectWhole)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    RunState& st = r.st;
    Record(st);
    const std::string name = tmp.file("s.sna");
    ASSERT_TRUE(SaveSnaFile(st, name));
    const std::string sna = ReadBytes(name), cmp = ReadBytes(tmp.file("s.cmp")),
                      det = ReadBytes(tmp.file("s.det"));
    using It = std::filesystem::directory_iterator;
    const auto files = std::distance(It(tmp.path()), It());
    // One constituent more: the old project file cannot be read with the new composition.
    st.Composition.Add(testcomp::StrongCation("Extra", 50.0, testcomp::BGE, 1.0, 1.0));
    ASSERT_TRUE(InitCalc(st));
    const CommitRenameFn previous = SetCommitRename(FailingRename);
    for (int failAt : {0, 1, 2}) {  // the composition, the detector record, the project file
        gRenames = 0, gFailAt = failAt;
        // The message names the file whose step failed and says the old project is whole.
        const std::string ext = failAt == 0 ? ".cmp" : failAt == 1 ? ".det" : ".sna";
        const auto failed = [&](const std::string& stem) {
            return "Error: Can't write to file\n" + tmp.file(stem + ext) +
                   ": Input/output error\nThe previous project is unchanged.";
        };
        EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(st, name); }), failed("s")) << failAt;
        EXPECT_EQ(
            std::tuple(ReadBytes(name), ReadBytes(tmp.file("s.cmp")), ReadBytes(tmp.file("s.det"))),
            std::tuple(sna, cmp, det))
            << failAt;
        EXPECT_EQ(std::distance(It(tmp.path()), It()), files) << failAt;
        RunState back;
        EXPECT_TRUE(OpenProject(back, name)) << failAt;
        EXPECT_EQ(back.NComp, st.NComp - 1) << failAt;
        // A new name: none of its files stays behind.
        gRenames = 0;
        EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(st, tmp.file("n.sna")); }), failed("n"));
        EXPECT_FALSE(FileExists(tmp.file("n.sna")) || FileExists(tmp.file("n.cmp")) ||
                     FileExists(tmp.file("n.det")));
    }
    SetCommitRename(previous);
    ASSERT_TRUE(SaveSnaFile(st, name));
    EXPECT_EQ(std::distance(It(tmp.path()), It()), files);
    RunState back;
    ASSERT_TRUE(OpenProject(back, name));
    EXPECT_EQ(back.NComp, st.NComp);
}

TEST(ProjectFile, SavedRunContinuesLikeAnUninterruptedOne)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun ra(tmp.file("Kelvo5_tmp_1.psq")), rb(tmp.file("Kelvo5_tmp_2.psq"));
    ra.Init(100);
    RunState &a = ra.st, &b = rb.st;
    a.rbPSQSteps = true;
    a.rbPSQMS = false;
    a.PSQPeriod = 20;
    a.StopTime = 0.05;
    RunCalc(a);
    ASSERT_GT(a.StepCount, 10);
    // The run recorded its first frame and one every period; the sequence goes with the project.
    const std::int64_t frame = PsqFrameSize("1.0", a.NX, a.NComp, false);
    EXPECT_EQ(PsqFrameCount(FileSizeByName(a.PsqFile), 60, frame), 1 + a.StepCount / 20);
    const std::string sna = tmp.file("run.sna"), psq = tmp.file("run.psq");
    ASSERT_TRUE(SaveSnaFile(a, sna));
    EXPECT_EQ(ReadBytes(psq), ReadBytes(a.PsqFile));
    ASSERT_TRUE(OpenProject(b, sna));
    EXPECT_EQ(std::tuple(b.Time, ReadBytes(b.PsqFile)),
              std::tuple(a.Time, ReadBytes(psq)));  // transferred
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

    // Both continue; the uninterrupted one restarts its multistep method as a loaded run does.
    a.StopTime = b.StopTime = 0.1, a.PsqStarted = false;
    RunCalc(a);
    RunCalc(b);
    EXPECT_EQ(std::tuple(a.StepCount, a.Time), std::tuple(b.StepCount, b.Time));
    double amount = 0, diff = 0;
    for (int i = 1; i <= a.NComp; ++i)
        for (int n = 0; n <= a.NX; ++n) {
            amount = std::max(amount, std::fabs(a.Arr.C(2, i)[n]));
            diff = std::max(diff, std::fabs(a.Arr.C(2, i)[n] - b.Arr.C(2, i)[n]));
        }
    EXPECT_LE(diff, 1e-12 * amount);
    for (int n = 0; n <= a.NX; ++n) EXPECT_NEAR(a.Arr.PH[n], b.Arr.PH[n], 1e-10);
}

TEST(ProjectFile, AProjectOpenedIntoARunIsSpeciatedAfreshOutsideTheWindow)
{
    // A run keeps the speciation of the nodes outside its window from step to
    // step; a project opened into it brings other constants (here the mobility
    // of sodium) with the same concentrations there. After every step of the
    // next run each node holds the speciation of its concentrations.
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun ra, rb;
    rb.Init(600);
    TComponents sodium = rb.st.Composition.Get(2);
    ASSERT_EQ(sodium.name, "Sodium");
    sodium.u[1][1] *= 0.8;  // row 1, charge +1
    rb.st.Composition.Put(2, sodium);
    ASSERT_TRUE(InitCalc(rb.st));
    const std::string name = tmp.file("other.sna");
    ASSERT_TRUE(SaveSnaFile(rb.st, name));

    ra.Init(600);
    RunState& a = ra.st;
    RecordingHost host;
    host.Attach(a);
    int steps = 0;
    std::string difference;
    host.onProcessMessages = [&](int) {
        if (!a.Running || a.StepCount == steps) return;
        steps = a.StepCount;
        if (difference.empty()) difference = testcomp::SpeciationDifference(a);
        if (steps == 40) a.Stop = true;
    };
    a.StopTime = 1e9;
    RunCalc(a);
    ASSERT_EQ(std::tuple(a.StepCount, difference), std::tuple(40, ""));
    ASSERT_LT(a.RightWall, a.NX);  // nodes outside the window

    ASSERT_TRUE(OpenProject(a, name));
    EXPECT_EQ(a.Composition.Get(2).u[1][1], sodium.u[1][1]);
    steps = 0;
    RunCalc(a);
    EXPECT_EQ(std::tuple(a.StepCount, difference), std::tuple(40, ""));
    EXPECT_LT(a.RightWall, a.NX);
    host.Detach();
}

TEST(DetectorFile, LayoutOlderLayoutAndDamagedFiles)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r, ld;
    r.Init(), ld.Init();
    RunState& st = r.st;
    RunSeries& rd = ld.st.Series;
    Record(st);
    ASSERT_TRUE(WriteDetFile(st, tmp.file("r.det")));
    const std::string g = GoldenDet(st);
    EXPECT_EQ(ReadBytes(tmp.file("r.det")), g);
    WriteBytes(tmp.file("r.det"), g);

    // Damaged files (cut anywhere, a wrong point or name count, bytes after the
    // trailer, a value that is not a finite number) are refused with "Incorrect
    // file." (a cut identity as another kind of file) and add no points.
    std::vector<std::string> damaged = Damaged(g, 0, {19, 23});
    damaged.push_back(g + "EOF");
    damaged.push_back(g.substr(0, g.size() - 12) + Bytes().f64(INFINITY).b +
                      g.substr(g.size() - 4));
    // A pH no finite hydrogen-ion concentration gives, a time before the start.
    const std::size_t firstPoint = g.size() - 4 - kPoints * 8 * (5 + st.NComp);
    damaged.push_back(WithDoubleAt(g, firstPoint + 8, 1e308));
    damaged.push_back(WithDoubleAt(g, firstPoint + 8, -400.0));
    damaged.push_back(WithDoubleAt(g, firstPoint, -1.0));
    for (const std::string& bytes : damaged) {
        WriteBytes(tmp.file("d.det"), bytes);
        bool read = false;
        sink.Clear();
        const std::string m = RaisedMessage([&] { read = ReadDetFile(ld.st, tmp.file("d.det")); });
        EXPECT_EQ(m == "(no error)" ? sink.warnings : std::vector<std::string>{m},
                  std::vector<std::string>{bytes.size() < 14 ? "Incorrect Detector File."
                                                             : "Incorrect file."})
            << bytes.size();
        EXPECT_FALSE(read) << bytes.size();
        EXPECT_EQ(rd.DET_pH.Count(), 0);
    }
    WriteBytes(tmp.file("k.det"), "KELVO SNA FILE");
    sink.Clear();
    EXPECT_FALSE(ReadDetFile(ld.st, tmp.file("k.det")));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect Detector File."});

    // The older layout: no voltage and current, temperature 25.0.
    Bytes legacy;
    legacy.str("RAVO_CORE DET FILE").i32(1).i32(0).f64(1.0).f64(7.0).f64(0.1);
    for (int i = 1; i <= ld.st.NComp; ++i) legacy.f64(i);
    WriteBytes(tmp.file("old.det"), legacy.str("EOF").b);
    ASSERT_TRUE(ReadDetFile(ld.st, tmp.file("old.det")));
    EXPECT_EQ(std::tuple(rd.DET_CDen.y[0], rd.DET_T.y[0], rd.srDetComp[4].y[0]),
              std::tuple(0.0, 25.0, 4.0));
    // Reading appends to the record of the current run.
    ASSERT_TRUE(ReadDetFile(ld.st, tmp.file("r.det")));
    ASSERT_EQ(rd.DET_pH.Count(), 1 + kPoints);
    EXPECT_EQ(std::tuple(rd.DET_pH.y[2], rd.srDetComp[3].y[3], rd.DET_CDen.y[3]),
              std::tuple(4.71, 32.0, 5.0));

    // Voltage and current are 0.0 at every point when their series hold another count.
    st.Series.DET_volt.Add(9, 9);
    ASSERT_TRUE(WriteDetFile(st, tmp.file("vi.det")));
    EXPECT_EQ(ReadBytes(tmp.file("vi.det")), GoldenDet(st, false));
}

// A detector record written for another number of constituents than the
// composition the project opens with is refused whole: none of its points.
TEST(DetectorFile, ARecordOfAnotherConstituentCountIsRefused)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r;
    r.Init();
    RunState& st = r.st;
    Record(st);
    WriteBytes(tmp.file("r.det"), GoldenDet(st));
    DetRecord fits;
    ASSERT_TRUE(LoadDetFile(tmp.file("r.det"), st.NComp, fits));
    EXPECT_EQ(fits.Points, kPoints);
    for (const int n : {st.NComp - 1, st.NComp + 1, 0}) {
        DetRecord other;
        bool read = false;
        sink.Clear();
        const std::string m =
            RaisedMessage([&] { read = LoadDetFile(tmp.file("r.det"), n, other); });
        EXPECT_FALSE(read) << n;
        EXPECT_EQ(m == "(no error)" ? sink.warnings : std::vector<std::string>{m},
                  std::vector<std::string>{"Incorrect file."})
            << n;
        EXPECT_EQ(std::tuple(other.Points, other.Data.size()), std::tuple(0, std::size_t{0})) << n;
    }
}

TEST(ExampleProject, OpensAndItsZonesMoveAtTheirMobilityTimesField)
{
    TempDir tmp;
    RecordingMessageSink sink;
    std::string error;
    ASSERT_TRUE(WriteExampleDemo(tmp.file("Demo.sna"), error)) << error;
    // Extensions in any case open through their entry; no entry: not opened, no warning.
    std::filesystem::rename(tmp.file("Demo.sna"), tmp.file("Demo.SNA"));
    EXPECT_TRUE(FindFileOpener("x.psq") == nullptr && FindFileOpener("noext") == nullptr);
    RunState st, other;
    EXPECT_FALSE(OpenByExtension(other, tmp.file("Demo.det")));
    ASSERT_TRUE(OpenByExtension(st, tmp.file("Demo.SNA")));
    ASSERT_EQ(st.NComp, 5);
    // Loading sets the zero point of the capillary ends from the loaded injection site.
    EXPECT_GT(st.ZeroPosNode, 0);
    EXPECT_EQ(st.ZeroPosNode, InjectionSiteNode(st, false));

    // Between 1 s and 2 s each strong cation (K+ 3, Li+ 4) moves at its mobility
    // times the field strength where it is.
    auto x = [&](int n) { return n * st.CapLength / st.NX; };
    auto e = [&](int n) { return std::fabs(st.Arr.E[n]); };
    double x1[5], e1[5];
    st.StopTime = 1.0;
    RunCalc(st);
    const double t1 = st.Time;
    for (int i : {3, 4}) x1[i] = ProfileMean(st, i, x), e1[i] = ProfileMean(st, i, e);
    st.StopTime = 2.0;
    RunCalc(st);
    ASSERT_GT(st.Time - t1, 0.9);
    for (auto [i, u] : {std::pair(3, 76.2e-9), std::pair(4, 40.1e-9)}) {
        const double v = (ProfileMean(st, i, x) - x1[i]) / (st.Time - t1);
        EXPECT_NEAR(v, u * 0.5 * (e1[i] + ProfileMean(st, i, e)), 0.02 * v) << i;
    }
    EXPECT_TRUE(sink.warnings.empty());
}

// Run to its stop time with its own settings, the example shows no numerical
// undershoot that a chemist could take for a system peak: at no step and no
// node, and nowhere on the detector record, does a constituent fall below
// -0.5 % of its own peak; the three analytes all pass the detector.
TEST(ExampleProject, NoConstituentFallsBelowHalfAPercentOfItsPeakBelowZero)
{
    TempDir tmp;
    RecordingMessageSink sink;
    std::string error;
    ASSERT_TRUE(WriteExampleDemo(tmp.file("Demo.sna"), error)) << error;
    RunState st;
    ASSERT_TRUE(OpenProject(st, tmp.file("Demo.sna")));
    const int n = st.NComp;
    std::vector<double> low(n + 1, 0.0), high(n + 1, 0.0);
    auto scan = [&] {
        for (int i = 1; i <= n; ++i)
            for (const double c : testcomp::Profile(st, i)) {
                low[i] = std::min(low[i], c);
                high[i] = std::max(high[i], c);
            }
    };
    scan();
    RecordingHost host;
    host.Attach(st);
    host.onProcessMessages = [&](int) { scan(); };
    RunCalc(st);
    StopCalc(st);
    host.Detach();
    scan();
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GE(st.Time + st.DT, st.StopTime);
    ASSERT_GT(host.processMessagesCount, st.StepCount);  // every step was seen
    for (int i = 1; i <= n; ++i) {
        SCOPED_TRACE(st.CompInit[i].name);
        EXPECT_GT(low[i], -0.005 * high[i]);
        const ChartSeries& det = st.Series.srDetComp[static_cast<std::size_t>(i)];
        ASSERT_GT(det.Count(), 100);
        const double detLow = *std::min_element(det.y.begin(), det.y.end());
        const double detHigh = *std::max_element(det.y.begin(), det.y.end());
        EXPECT_GT(detLow, -0.005 * detHigh);
        // each analyte's zone reached the detector and left it again
        if (st.CompInit[i].c == 0) {
            EXPECT_GT(detHigh, 0.5 * st.CompInit[i].cInj);
            EXPECT_LT(det.y.back(), 0.01 * detHigh);
        }
    }
}

// An older-layout project whose loading (profiles brought to equilibrium and
// the multistep start run from them) undershoots a profile below what the
// reader takes: opening refuses it, so that no opened project saves a file
// that does not open again.
TEST(ProjectFile, AnOpenedProjectSavesAFileThatOpensAgain)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState demo;
    ComposeExampleDemo(demo);
    TUnivSet<TComponents> two;
    two.Add(demo.Composition[1]);
    two.Add(demo.Composition[2]);
    ASSERT_TRUE(WriteComposition(two, tmp.file("old.cmp")));
    const std::string hex =
        "5241564f5f434f524520534e412046494c4500010a00000000ff040000000040000000000000e03f0000000000001040"
        "9a9999999999193f00000000000034400000000000003440000040000000344000000000000034400000000000003440"
        "000000000000344000000000000034400000000000003040000000000000344000000000000034400000000000003440"
        "00000000000024400000000000002440000000000000244000000000000040002400000000002440000000003d002440"
        "000000000000244000000000000024400000000000002440000000000000244000000000000024400101010101010101"
        "000000000000e03f0000000000f9e54000000000002508403200000064000000010001000000454f4600";
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    WriteBytes(tmp.file("old.sna"), bytes);
    RunState st;
    bool opened = false;
    try {
        opened = OpenProject(st, tmp.file("old.sna"));
    } catch (const Exception&) {
    }
    if (!opened) return;
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("again.sna")));
    RunState back;
    EXPECT_NO_THROW(EXPECT_TRUE(OpenProject(back, tmp.file("again.sna"))));
}

// An open refused by the project file or by one of its companions (the
// composition, the complexation table, the detector record) changes nothing:
// the run that was there saves to the same files as before, keeps its name,
// its sequence and its complexation mode. A composition opened alone and
// refused leaves the composition and the constituents of the last Init.
TEST(ProjectFile, AnOpenRefusedByTheProjectOrACompanionLeavesTheRunAsItWas)
{
    namespace fs = std::filesystem;
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    Record(r.st);
    const std::string proj = tmp.file("proj.sna");
    ASSERT_TRUE(SaveSnaFile(r.st, proj));
    const std::string sna = ReadBytes(proj), cmp = ReadBytes(tmp.file("proj.cmp")),
                      det = ReadBytes(tmp.file("proj.det"));

    HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
    RunState& st = l.st;
    ASSERT_TRUE(OpenProject(st, proj));
    ASSERT_TRUE(st.Initialised && !st.cbComplex && st.Series.DET_pH.Count() == kPoints);
    AppendPsqFrame(st, st.PsqFile);
    const std::string psq = ReadBytes(st.PsqFile);
    ASSERT_FALSE(psq.empty());
    const std::string before = tmp.file("before.sna");
    ASSERT_TRUE(SaveSnaFile(st, before));
    const auto saved = [&](const std::string& name) {
        return std::tuple(ReadBytes(name), ReadBytes(ChangeFileExt(name, ".cmp")),
                          ReadBytes(ChangeFileExt(name, ".det")));
    };
    const auto kept = saved(before);
    const int compInit = st.CompInit.Count();
    ASSERT_GT(compInit, 0);

    const std::string bad = tmp.file("bad.sna");
    const std::string refused =
        "Warning: While Opening SNA file '" + bad + "' Error Message Occur: Incorrect file.";
    // Each case: the project file, its composition, its table, the file the
    // message names after the project's (a damaged companion is named). A
    // damaged detector record does not refuse the project (see
    // ADamagedDetectorRecordIsLeftOutAndADamagedCompanionIsNamed).
    const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
        {sna.substr(0, 300), cmp, "", ""},                   // the project file cut short
        {sna, cmp.substr(0, cmp.size() / 2), "", ".cmp"},    // the composition cut short
        {sna, cmp, "# Ligand: nL, pL\r\n0\t0\r\n", ".txt"},  // a table of another composition
    };
    int k = 0;
    for (const auto& [s, c, txt, named] : cases) {
        SCOPED_TRACE(k++);
        for (const char* ext : {".sna", ".cmp", ".txt", ".det"})
            fs::remove(ChangeFileExt(bad, ext));
        WriteBytes(bad, s);
        WriteBytes(ChangeFileExt(bad, ".cmp"), c);
        if (!txt.empty()) WriteBytes(ChangeFileExt(bad, ".txt"), txt);
        EXPECT_EQ(RaisedMessage([&] { OpenProject(st, bad); }),
                  refused + (named.empty() ? "" : " (" + ChangeFileExt(bad, named) + ")"));
        EXPECT_EQ(
            std::tuple(st.FileName, st.Initialised, st.cbComplex, st.Loading, st.CompInit.Count()),
            std::tuple(before, true, false, false, compInit));
        EXPECT_EQ(ReadBytes(st.PsqFile), psq);
        const std::string after = tmp.file("after.sna");
        ASSERT_TRUE(SaveSnaFile(st, after));
        EXPECT_EQ(saved(after), kept);
        st.FileName = before;
    }
    // Without its composition the project is not opened, and nothing changes.
    sink.Clear();
    fs::remove(ChangeFileExt(bad, ".cmp"));
    WriteBytes(bad, sna);
    EXPECT_FALSE(OpenProject(st, bad));
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"File " + tmp.file("bad.cmp") + " not found!"});
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("after.sna")));
    EXPECT_EQ(saved(tmp.file("after.sna")), kept);

    // A composition alone, through the opener of its extension: refused, it
    // leaves the composition and the constituents of the last Init.
    const std::string names = st.Composition[1].name + st.Composition[2].name;
    WriteBytes(tmp.file("alone.cmp"), cmp.substr(0, cmp.size() / 2));
    EXPECT_EQ(RaisedMessage([&] { OpenByExtension(st, tmp.file("alone.cmp")); }),
              "Warning: While Opening SNA file '" + tmp.file("alone.cmp") +
                  "' Error Message Occur: Incorrect file.");
    WriteBytes(tmp.file("alone.cmp"), "NOT A COMPOSITION");
    sink.Clear();
    EXPECT_FALSE(OpenByExtension(st, tmp.file("alone.cmp")));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect CMP File."});
    EXPECT_EQ(std::tuple(st.CompInit.Count(), st.CompChanged,
                         st.Composition[1].name + st.Composition[2].name),
              std::tuple(compInit, false, names));
    // Taken, it replaces the composition and Run waits for the next Init.
    WriteBytes(tmp.file("alone.cmp"), cmp);
    ASSERT_TRUE(OpenByExtension(st, tmp.file("alone.cmp")));
    EXPECT_TRUE(st.CompInit.Count() == 0 && st.CompChanged);
}

// A detector record is a by-product of the run that the next save writes
// anew: a damaged one (cut short, a pH no run records) is left out of the
// open with a warning that names it, and the project opens whole and saves a
// record that opens again. A damaged composition or complexation table still
// refuses the project, and the message names that file, not the project.
TEST(ProjectFile, ADamagedDetectorRecordIsLeftOutAndADamagedCompanionIsNamed)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init();
    Record(r.st);
    const std::string proj = tmp.file("proj.sna"), detName = tmp.file("proj.det");
    ASSERT_TRUE(SaveSnaFile(r.st, proj));
    const std::string sna = ReadBytes(proj), det = ReadBytes(detName);
    const std::size_t firstPh = det.size() - 4 - kPoints * 8 * (5 + r.st.NComp) + 8;
    for (const std::string& damaged :
         {det.substr(0, det.size() - 12), WithDoubleAt(det, firstPh, 1e308)}) {
        WriteBytes(detName, damaged);
        sink.Clear();
        HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
        bool opened = false;
        EXPECT_EQ(RaisedMessage([&] { opened = OpenProject(l.st, proj); }), "(no error)");
        EXPECT_TRUE(opened && l.st.Initialised && l.st.FileName == proj);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{std::string(kDetectorLeftOut) + detName});
        EXPECT_EQ(l.st.Series.DET_pH.Count(), 0);
        // the profiles are those saved
        for (int i = 1; i <= l.st.NComp; ++i)
            EXPECT_NEAR(ProfileMean(l.st, i, [](int n) { return n; }),
                        ProfileMean(r.st, i, [](int n) { return n; }), 1e-9)
                << i;
        // Saved again, the project opens without a warning.
        ASSERT_TRUE(SaveSnaFile(l.st, proj));
        sink.Clear();
        RunState again;
        EXPECT_TRUE(OpenProject(again, proj));
        EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.at(0);
        WriteBytes(proj, sna);
    }
    // The composition cut short, and one whose first record has a charge
    // beyond any a constituent may have: the message names the composition.
    const std::string cmpName = tmp.file("proj.cmp"), cmp = ReadBytes(cmpName);
    WriteBytes(detName, det);
    for (const std::string& damaged :
         {cmp.substr(0, cmp.size() - 30),
          WithInt32At(cmp, 6 + 4 + 24 + 4 + r.st.Composition[1].name.size() + 1 + 4, 1000)}) {
        WriteBytes(cmpName, damaged);
        RunState st;
        EXPECT_EQ(RaisedMessage([&] { OpenProject(st, proj); }),
                  "Warning: While Opening SNA file '" + proj +
                      "' Error Message Occur: Incorrect file. (" + cmpName + ")");
    }
}

// The stored H+ starts the equilibrium of every node: exactly the smallest
// the equilibrium keeps (1e-14 mM) at a node opens, and the project saved
// from it opens again; the next double below it is refused.
TEST(ProjectFile, AStoredHydrogenIonAtTheReadersBound)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r;
    r.Init();
    const std::string proj = tmp.file("h.sna");
    ASSERT_TRUE(SaveSnaFile(r.st, proj));
    const std::string sna = ReadBytes(proj);
    const int c = r.st.NComp, nn = r.st.NX + 1;
    // The H+ profile ends before the check flags and the trailer.
    const std::size_t h = sna.size() - 4 - (c + 2) - (c + 4) - 8 * static_cast<std::size_t>(nn);
    ASSERT_EQ(sna.substr(h, 8), Bytes().f64(r.st.Arr.CH(2)[0]).b);
    WriteBytes(proj, WithDoubleAt(sna, h + 8 * 5, 1e-14));
    RunState st;
    ASSERT_TRUE(OpenProject(st, proj));
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("again.sna")));
    RunState again;
    EXPECT_TRUE(OpenProject(again, tmp.file("again.sna")));
    ExpectRefused(proj, WithDoubleAt(sna, h + 8 * 5, std::nextafter(1e-14, 0.0)), "H+ below");
}
