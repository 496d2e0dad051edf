// A complexation project without any window: its table is read and written by
// the project file itself, so the project opens and runs headless as the
// benchmark runner does.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/recalc.h"
#include "files/complex_file.h"
#include "files/file_hooks.h"
#include "files/psq.h"
#include "files/psq_player.h"
#include "files/sna_file.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "foundation/messages.h"
#include "support/bench_cases.h"
#include "support/raised_message.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/temp_dir.h"

namespace {

using namespace testcomp;

constexpr double kLigand = 10.0;  // mM

// The file layer as a program without windows has it: no routine installed.
struct NoWindowHooks {
    FileHooks saved = FileLayerHooks();
    NoWindowHooks() { FileLayerHooks() = FileHooks{}; }
    ~NoWindowHooks() { FileLayerHooks() = saved; }
};

// A complexation project of the two binding zones, saved after Init.
std::string SaveZoneProject(TempDir& dir, const std::string& base)
{
    RunState st;
    PrepareComplexZoneRun(st, kLigand);
    st.StopTime = 10.0;
    st.DT = 1e-3;
    EXPECT_TRUE(InitCalc(st));
    const std::string name = dir.file(base + ".sna");
    EXPECT_TRUE(SaveSnaFile(st, name));
    return name;
}

TEST(ComplexProject, OpensAndRunsHeadlessWithTheZoneMobilitiesOfTheBindingIsotherm)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "zones");
    RunState made;
    PrepareComplexZoneRun(made, kLigand);
    EXPECT_EQ(ReadComplexTableFile(dir.file("zones.txt")), made.TxtTable);

    // Opened as the benchmark runner opens it, and run to the project's stop time.
    RunState st;
    ASSERT_TRUE(OpenProject(st, name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_TRUE(st.cbComplex && st.ComplexReady && st.Initialised);
    EXPECT_EQ(st.TxtTable, made.TxtTable);
    EXPECT_EQ(st.TxtTableFor, ComplexConstituentsOf(st.Composition));  // what Restore matches
    const ProfileMoments k0 = Moments(st, 4), a0 = Moments(st, 5);
    benchcases::RunTimed(st, st.StopTime);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 9.9);
    const double field = st.UI / st.CapLength;
    for (const BindingZone& z : ComplexZones()) {
        const ProfileMoments before = z.constituent == 4 ? k0 : a0,
                             after = Moments(st, z.constituent);
        const double u = (after.mean - before.mean) / st.Time / field;
        const double expected = IsothermMobility(z, kLigand);
        EXPECT_NEAR(u, expected, 0.01 * std::abs(expected)) << z.constituent;
        EXPECT_NEAR(after.amount, before.amount, 1e-4 * before.amount);
    }
}

std::string Read(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void Write(const std::string& name, const std::string& bytes)
{
    std::ofstream(name, std::ios::binary) << bytes;
}

// Saving without complexation over a project saved with it leaves no table
// beside it: the project reopens without complexation, and with the mode on
// again the table comes back.
TEST(ComplexProject, SavedWithoutComplexationOverOneWithItReopensWithout)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "p"), txt = dir.file("p.txt");
    ASSERT_TRUE(FileExists(txt));
    RunState st;
    ASSERT_TRUE(OpenProject(st, name));
    const ComplexTable table = st.TxtTable;
    st.cbComplex = false;
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    ASSERT_TRUE(SaveSnaFile(st, name));
    EXPECT_FALSE(FileExists(txt));
    RunState reopened;
    ASSERT_TRUE(OpenProject(reopened, name));
    EXPECT_FALSE(reopened.cbComplex);
    EXPECT_TRUE(reopened.Initialised);

    reopened.cbComplex = true;
    reopened.TxtTable = table;
    ASSERT_TRUE(InitCalc(reopened)) << sink.warnings.at(0);
    // Every file the save changes is a file of the set, its journal or a
    // hidden file of one (never a hidden file of a hidden companion, which no
    // sweep would know).
    static std::vector<std::string> changed;
    changed.clear();
    const SaveStepWatch before =
        SetSaveStepWatch([](const std::string& file) { changed.push_back(file); });
    ASSERT_TRUE(SaveSnaFile(reopened, name));
    SetSaveStepWatch(before);
    ASSERT_FALSE(changed.empty());
    for (const std::string& file : changed) {
        const std::string leaf = std::filesystem::path(file).filename().string();
        EXPECT_TRUE(leaf.rfind("..", 0) != 0 || leaf.rfind("..p.sna.journal.", 0) == 0) << leaf;
    }
    RunState again;
    ASSERT_TRUE(OpenProject(again, name));
    EXPECT_TRUE(again.cbComplex && again.ComplexReady);
    EXPECT_EQ(again.TxtTable, table);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

// A save reads what it staged as the open reads it: a set the open would
// refuse (a table of another number of forms than the composition, as an Init
// without complexation leaves when the mode is ticked afterwards; complexation
// on without a table) is not written, the save says why in the open's words,
// and every file of the old project stays as it was.
TEST(ComplexProject, ASaveWhoseFilesTheOpenWouldRefuseWritesNothing)
{
    namespace fs = std::filesystem;
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "s"), txt = dir.file("s.txt");
    const auto folder = [&] {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir.path()))
            files[e.path().string()] = Read(e.path().string());
        return files;
    };
    const auto before = folder();
    RunState st;
    ASSERT_TRUE(OpenProject(st, name));
    ComplexTable fewer = st.TxtTable;  // the last analyte form left out
    fewer.erase(fewer.begin() + (static_cast<long>(fewer.size()) - 5) / 2 + 4);
    fewer.pop_back();
    const std::pair<ComplexTable, std::string> cases[] = {
        {fewer, "Incorrect file. (" + txt +
                    ")\nComplex Mode: Number of analyte forms (composition) was changed - Set "
                    "complex table."},
        {ComplexTable{}, "Incorrect file. (" + txt + ")"}};
    for (const auto& [table, why] : cases) {
        sink.Clear();
        st.TxtTable = table;
        EXPECT_FALSE(SaveSnaFile(st, name));
        EXPECT_EQ(sink.warnings,
                  std::vector<std::string>{std::string(kSaveWouldNotOpen) + "\n" + name + ": " +
                                           why + "\n" + kSavePreviousUnchanged});
        EXPECT_TRUE(folder() == before);
    }
    // Saved under a new name that another program's project takes while this
    // save writes its files: what the refusal says is on disk is told under
    // the set's lock, and their project stays.
    static std::string appearing;
    appearing = dir.file("n.sna");
    const LockOpenFn plain = SetLockOpen([](const char* lock, int flags) {
        if (!FileExists(appearing)) std::ofstream(appearing) << "theirs";
        return ::open(lock, flags, 0666);
    });
    sink.Clear();
    EXPECT_FALSE(SaveSnaFile(st, appearing));
    SetLockOpen(plain);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_NE(sink.warnings[0].find(kSavePreviousUnchanged), std::string::npos) << sink.warnings[0];
    EXPECT_EQ(Read(appearing), "theirs");
    fs::remove(appearing);
    // Sets the open refuses only after reading them (at its Init or the
    // recalculation of the loaded profiles): sodium at -1e6 mM in the
    // composition, one node of the run at -1e6 mM, a pKw of -300 as the
    // window hands it over. Each save over the project itself says why in the
    // open's words and leaves the project as it was; it opens.
    // The open of the save runs beside the run, which it leaves as it was:
    // no event, no array freed, no sequence touched.
    RecordingHost host;
    host.Attach(st);
    const auto refused = [&](const std::string& why) {
        sink.Clear();
        const int freed = host.arraysFreedCount, redrawn = host.redrawCount,
                  shown = host.mainInfoCount;
        const std::size_t resets = host.psqResets.size();
        EXPECT_FALSE(SaveSnaFile(st, name));
        EXPECT_EQ(std::tuple(host.arraysFreedCount, host.redrawCount, host.mainInfoCount,
                             host.psqResets.size()),
                  std::tuple(freed, redrawn, shown, resets));
        ASSERT_EQ(sink.warnings.size(), 1u);
        EXPECT_EQ(
            sink.warnings[0].rfind(
                std::string(kSaveWouldNotOpen) + "\n" + name + ": Incorrect file.\n" + why, 0),
            0u)
            << sink.warnings[0];
        EXPECT_TRUE(folder() == before);
    };
    const std::string conductivity = "Conductivity is zero, negative or undefined at node ";
    ASSERT_TRUE(OpenProject(st, name));
    st.cbComplex = false;
    ASSERT_TRUE(InitCalc(st));
    std::fill_n(st.Arr.C(2, 3), st.NX + 1, -1e6);  // sodium, the profiles computed again
    RecalcProfiles(st, 2);
    refused(conductivity);
    ASSERT_TRUE(InitCalc(st));
    st.Arr.C(2, 2)[100] = -1e6;  // acetic acid
    refused(conductivity + "100: ");
    ASSERT_TRUE(OpenProject(st, name));
    st.TxtTable[3][0] = "-300";
    st.ComplexReady = false;
    refused("Complex (Newton): Incorrect solution detected!");
    host.Detach();
    RunState reopened;
    EXPECT_TRUE(OpenProject(reopened, name));
}

// A run recorded in complexation mode has its table beside its sequence; an
// Init after the mode was switched off records without it and removes that
// table (a text of the user's there stays), so that the player opens the
// sequence without complexation.
TEST(ComplexProject, ASequenceRecordedAfterComplexationWasSwitchedOffHasNoTableBesideIt)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    RunState st;
    PsqFileRecorder recorder(st);
    st.Recorder = &recorder;
    st.PsqFileOwn = st.PsqFile = dir.file("own.psq");
    PrepareComplexZoneRun(st, kLigand);
    ASSERT_TRUE(InitCalc(st));
    const std::string txt = dir.file("own.txt");
    ASSERT_EQ(ReadComplexTableFile(txt), st.TxtTable);
    st.cbComplex = false;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_FALSE(FileExists(txt));
    AppendPsqFrame(st, st.PsqFile);
    RunState played;
    PsqPlayer player(played);
    ASSERT_TRUE(player.Open(st.PsqFile));
    EXPECT_TRUE(played.NComp == st.NComp && !played.cbComplex);
    Write(txt, "notes\r\n");
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(Read(txt), "notes\r\n");
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
}

// A text file of the user's beside the project (notes that share its name)
// is no complexation table: a save without complexation leaves it as it was,
// and the project opens again without complexation, with a warning naming it.
TEST(ComplexProject, ASaveWithoutComplexationKeepsATextFileThatIsNoTable)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "n"), txt = dir.file("n.txt");
    RunState st;
    ASSERT_TRUE(OpenProject(st, name));
    st.cbComplex = false;
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    const std::string notes[] = {
        "Run of 7 December: buffer pH 4.8, 250 V\r\nzones at 11 and 13 mm\r\n",
        "# only comments\r\n", "",
        // two integers first that no ligand has: out of order, beyond its range
        "12\t7\r\nzones at 11 and 13 mm\r\n", "7\t2026\r\n250\tV\r\n"};
    for (const std::string& bytes : notes) {
        Write(txt, bytes);
        ASSERT_TRUE(SaveSnaFile(st, name));
        ASSERT_TRUE(FileExists(txt)) << bytes;
        EXPECT_EQ(Read(txt), bytes);
        sink.Clear();
        RunState back;
        ASSERT_TRUE(OpenProject(back, name)) << bytes;
        EXPECT_TRUE(back.Initialised && !back.cbComplex);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{kProjectNotesNoTable + txt});
        EXPECT_EQ(Read(txt), bytes);
    }
}

// A table with a line repeated or with junk as one more line does not open:
// the project is refused. A text whose ligand charges are no integers, or
// none a ligand has (out of order, beyond the range), is no table (the
// user's own): the project opens without complexation, with a
// warning that names it, and the file stays; the table reader alone refuses
// it and leaves the table it had.
TEST(ComplexProject, ADamagedTableIsRefused)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "d"), txt = dir.file("d.txt");
    const std::string good = Read(txt);
    const std::string charges = "# Ligand: nL, pL\r\n0\t0\r\n";
    ASSERT_NE(good.find(charges), std::string::npos);
    auto withCharges = [&](const std::string& nL, const std::string& pL) {
        std::string s = good;
        s.replace(s.find(charges), charges.size(),
                  "# Ligand: nL, pL\r\n" + nL + "\t" + pL + "\r\n");
        return s;
    };
    const std::string lastLine = "25\r\n";
    ASSERT_EQ(good.substr(good.size() - lastLine.size()), lastLine);
    {
        RunState st;
        ASSERT_TRUE(OpenProject(st, name));
        ASSERT_TRUE(st.cbComplex && st.ComplexReady);
    }
    const std::string noTables[] = {
        withCharges("abc", "0"),  withCharges("nan", "0"), withCharges("0", "1e400"),
        withCharges("-0.5", "0"), withCharges("0", ""),  // pL missing
        withCharges("1", "0"),    withCharges("-33", "0"), withCharges("0", "33"),
    };
    for (const std::string& bytes : noTables) {
        SCOPED_TRACE(bytes.substr(0, 200));
        Write(txt, bytes);
        sink.Clear();
        RunState st;
        ASSERT_TRUE(OpenProject(st, name));
        EXPECT_FALSE(st.ComplexReady || st.cbComplex);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{kProjectNotesNoTable + txt});
        EXPECT_EQ(Read(txt), bytes);
    }
    const std::string damaged[] = {
        good + lastLine,                               // the last line twice
        good + std::string(100 * 1024, 'x') + "\r\n",  // junk as one more line
    };
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes.substr(0, 200));
        Write(txt, bytes);
        sink.Clear();
        RunState st;
        const std::string raised = RaisedMessage([&] { OpenProject(st, name); });
        EXPECT_NE(raised.find("Incorrect file."), std::string::npos) << raised;
        // the fresh state of a failed open: no complexation, and no second
        // warning from its Init
        EXPECT_FALSE(st.ComplexReady || st.cbComplex);
        EXPECT_LE(sink.warnings.size(), 1u);
        for (const std::string& w : sink.warnings)
            EXPECT_EQ(w.rfind("Complex Mode: Number of analyte forms", 0), 0u) << w;
    }
    // More table lines than a table of the composition has: refused by the
    // reader, which counts them before it stores a field (so that no file
    // under its size limit takes memory in proportion to its lines), naming
    // the table; nothing of it reaches the run.
    std::string manyLines = good;
    for (int k = 0; k < 1000; ++k) manyLines += "x\r\n";
    for (const std::string& bytes : {good + lastLine, manyLines}) {
        Write(txt, bytes);
        sink.Clear();
        RunState st;
        EXPECT_EQ(RaisedMessage([&] { OpenProject(st, name); }),
                  "Warning: While Opening SNA file '" + name +
                      "' Error Message Occur: Incorrect file. (" + txt + ")");
        EXPECT_TRUE(sink.warnings.empty());
    }
    // The reader alone: charges that are no integers raise, the table stays.
    RunState st;
    st.TxtTable = {{"kept"}};
    for (const std::string& bytes : {withCharges("abc", "0"), withCharges("1e400", "2")}) {
        Write(txt, bytes);
        EXPECT_EQ(RaisedMessage([&] { LoadComplexData(st, txt); }), "Incorrect file.");
        EXPECT_EQ(st.TxtTable, ComplexTable{{"kept"}});
    }
    Write(txt, good);
    LoadComplexData(st, txt);
    EXPECT_EQ(st.TxtTable[0], (ComplexRow{"0", "0"}));
    // The run's set-up refuses such charges and such line counts too,
    // whatever brought the table.
    for (int damage = 0; damage < 2; ++damage) {
        RunState run;
        PrepareComplexZoneRun(run, kLigand);
        if (damage == 0)
            run.TxtTable[0] = {"nan", "0"};
        else
            run.TxtTable.push_back(run.TxtTable.back());
        sink.Clear();
        EXPECT_FALSE(InitCalc(run));
        EXPECT_EQ(sink.warnings,
                  std::vector<std::string>{damage == 0
                                               ? "Complex Mode: Incorrect value \"nan\" of nL."
                                               : "Complex Mode: Number of analyte forms "
                                                 "(composition) was changed - Set complex table."});
    }
}

// A constituent's name is any text of the composition file, line breaks and
// other control characters included: the table's comment line beside it
// stays one comment line, so the project saved with such names opens again
// with its names and its table, and saves the same table.
TEST(ComplexProject, NamesWithLineBreaksSaveAProjectThatOpensAgain)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    RunState st;
    PrepareComplexZoneRun(st, kLigand);
    const std::string names[] = {"Acetic\r\nacid", "Sodium\n30\t25", "Potassium\r", "\x01\x1f\x7f"};
    for (int i = 2; i <= 5; ++i) st.Composition[i].name = names[i - 2];
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    const std::string name = dir.file("names.sna"), txt = dir.file("names.txt");
    ASSERT_TRUE(SaveSnaFile(st, name));
    // Every line of the file is a table line of the run or a comment.
    const std::string text = Read(txt);
    EXPECT_EQ(ParseComplexTable(text), st.TxtTable);
    EXPECT_EQ(text.find('\x7f'), std::string::npos);
    RunState back;
    ASSERT_TRUE(OpenProject(back, name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_TRUE(back.cbComplex && back.ComplexReady && back.Initialised);
    EXPECT_EQ(back.TxtTable, st.TxtTable);
    for (int i = 2; i <= 5; ++i) EXPECT_EQ(back.Composition[i].name, names[i - 2]);
    const std::string again = dir.file("again.sna");
    ASSERT_TRUE(SaveSnaFile(back, again));
    EXPECT_EQ(Read(dir.file("again.txt")), text);
}

// A table line with more fields than the ligand's charges give, and numbers
// no table of a run holds (a mobility of 1e308, subnormal numbers, a pK whose
// constant leaves the doubles) make the text no table: the project opens
// without complexation and the warning names it; at the limits of their kinds
// the numbers are taken. A file far larger than any table of the composition
// is refused before it is read.
TEST(ComplexProject, ExtraFieldsAndNumbersBeyondTheirKindAreRefused)
{
    RecordingMessageSink sink;
    NoWindowHooks none;
    TempDir dir;
    const std::string name = SaveZoneProject(dir, "v"), txt = dir.file("v.txt");
    const std::string good = Read(txt);
    // The zone project's ligand has the one charge 0: one field a line.
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        const std::size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? s : s.replace(at, from.size(), to);
    };
    const std::string refused = "Warning: While Opening SNA file '" + name +
                                "' Error Message Occur: Incorrect file. (" + txt + ")";
    const std::string damaged[] = {
        replaced("\r\n0\t0\r\n", "\r\n0\t0\t0\r\n"),          // nL, pL and more
        replaced("14\t362.5\t205.5", "14\t362.5\t205.5\t1"),  // water: 4 fields
        replaced("\r\n20\r\n", "\r\n20\t20\r\n"),             // ligand mobilities
        replaced("\r\n4\r\n", "\r\n4\t4\r\n"),                // analyte count
        replaced("\r\n25\r\n", "\r\n1e308\r\n"),              // a ux of 1e308
        replaced("\r\n25\r\n", "\r\n4.9e-324\r\n"),           // a subnormal ux
        replaced("\r\n30\r\n", "\r\n1e308\r\n"),              // a pKx of 1e308
        replaced("\r\n30\r\n", "\r\n-4.9e-324\r\n"),          // a subnormal pKx
        replaced("\r\n30\r\n", "\r\n30\t30\r\n"),             // a pKx line of 2
        replaced("14\t362.5", "300.5\t362.5"),                // pKw beyond 300
        replaced("14\t362.5\t205.5", "14\t362.5\t1.5e6"),     // uOH beyond 1e6
    };
    for (const std::string& bytes : damaged) {
        SCOPED_TRACE(bytes.substr(0, 600));
        Write(txt, bytes);
        sink.Clear();
        RunState st;
        EXPECT_EQ(RaisedMessage([&] { OpenProject(st, name); }), "(no error)");
        EXPECT_FALSE(st.cbComplex);
        EXPECT_EQ(sink.warnings, std::vector<std::string>{kProjectNotesNoTable + txt});
    }
    // At the limits of their kinds (and "None", which the set-up lists) the
    // numbers are taken.
    RunState st;
    Write(txt, replaced("14\t362.5\t205.5", "-300\t1e6\t0"));
    LoadComplexData(st, txt);
    EXPECT_EQ(st.TxtTable[3], (ComplexRow{"-300", "1e6", "0"}));
    Write(txt, replaced("\r\n30\r\n", "\r\nNone\r\n"));
    LoadComplexData(st, txt);

    // A file of the composition's largest size opens; a byte more is refused.
    RunState zone;
    PrepareComplexZoneRun(zone, kLigand);
    const std::int64_t limit = ComplexTableByteLimit(zone.Composition);
    ASSERT_LT(limit, 8 << 20);
    std::string padded = good + "#";
    padded += std::string(static_cast<std::size_t>(limit) - padded.size() - 2, 'x') + "\r\n";
    ASSERT_EQ(static_cast<std::int64_t>(padded.size()), limit);
    Write(txt, padded);
    {
        RunState opened;
        EXPECT_TRUE(OpenProject(opened, name));
        EXPECT_TRUE(opened.cbComplex && opened.ComplexReady);
    }
    Write(txt, padded + "#");
    {
        RunState opened;
        EXPECT_EQ(RaisedMessage([&] { OpenProject(opened, name); }), refused);
    }
}

}  // namespace
