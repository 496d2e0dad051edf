// Every file of the fuzz targets' seed corpus that a reader takes is saved by
// the program to a file that its reader takes again, and that file saves to
// the same bytes: nothing the program opens writes a file it cannot open.
#include "seed_corpus.h"

#include "byte_builder.h"
#include "composition/cmp_file.h"
#include "composition/database.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "files/complex_file.h"
#include "files/det_file.h"
#include "files/example_project.h"
#include "files/ini_file.h"
#include "files/opt_file.h"
#include "files/psq.h"
#include "files/psq_player.h"
#include "files/sna_file.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <algorithm>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// The seeds of one target, by file name.
std::vector<fs::path> Seeds(const fs::path& corpus, const char* target)
{
    std::vector<fs::path> seeds;
    for (const auto& e : fs::directory_iterator(corpus / target)) seeds.push_back(e.path());
    std::sort(seeds.begin(), seeds.end());
    return seeds;
}

// The composition the project and sequence targets open their inputs with:
// the example's first two constituents.
TUnivSet<TComponents> TwoConstituents()
{
    RunState st;
    ComposeExampleDemo(st);
    TUnivSet<TComponents> two;
    two.Add(st.Composition[1]);
    two.Add(st.Composition[2]);
    return two;
}

// An initialised run of that composition on 20 nodes (the detector target's).
void BufferRun(RunState& st)
{
    st.Composition = TwoConstituents();
    st.NXPending = 20;
    ASSERT_TRUE(InitCalc(st));
}

// Opens `file` as a project; false when refused (raised or warned).
bool OpenedProject(RunState& st, const std::string& file)
{
    bool opened = false;
    RaisedMessage([&] { opened = OpenProject(st, file); });
    return opened;
}

// A project file with its Newton-iteration total set to 0: the recalculation
// after loading starts its own count.
std::string WithoutNewtonTotal(std::string sna)
{
    const std::size_t block = 19 + 369;
    if (sna.compare(0, 19,
                    std::string("KELVO SNA FILE\0"
                                "1.1\0",
                                19)) != 0 ||
        sna.size() < block + 18)
        return sna;
    std::int32_t rows = 0, segments = 0;
    std::memcpy(&rows, sna.data() + block + 4, 4);
    std::memcpy(&segments, sna.data() + block + 8, 4);
    std::size_t at = block + 18 + 16 + 4;
    if (segments > 0) at += 8 * static_cast<std::size_t>((rows - 2) + (rows - 1) * segments);
    return at + 4 <= sna.size() ? WithInt32At(sna, at, 0) : sna;
}

// The project the state holds, saved to a, opened again and saved to b: every
// file of the two saves is the same.
void ExpectProjectReopens(RunState& st, const TempDir& tmp, const std::string& seed)
{
    const std::string a = tmp.file("a.sna"), b = tmp.file("b.sna");
    ASSERT_TRUE(SaveSnaFile(st, a)) << seed;
    RunState back;
    ASSERT_TRUE(OpenedProject(back, a)) << seed;
    ASSERT_TRUE(SaveSnaFile(back, b)) << seed;
    EXPECT_EQ(WithoutNewtonTotal(ReadBytes(a)), WithoutNewtonTotal(ReadBytes(b))) << seed;
    for (const char* ext : {".cmp", ".det"})
        EXPECT_EQ(ReadBytes(ChangeFileExt(a, ext)), ReadBytes(ChangeFileExt(b, ext)))
            << seed << ext;
}

}  // namespace

TEST(SeedCorpus, EveryFileThatOpensSavesAFileThatOpensToTheSameContents)
{
    TempDir tmp;
    RecordingMessageSink sink;
    const fs::path corpus = tmp.path() / "seeds";
    ASSERT_TRUE(WriteSeedCorpus(corpus));
    const TUnivSet<TComponents> two = TwoConstituents();
    std::map<std::string, int> opened, refused;
    const auto count = [&](const char* target, bool ok) { ++(ok ? opened : refused)[target]; };

    // Projects beside the two-constituent composition.
    std::vector<fs::path> openedProjects;
    for (const fs::path& seed : Seeds(corpus, "sna")) {
        const std::string name = tmp.file("x.sna");
        fs::copy_file(seed, name, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(WriteComposition(two, tmp.file("x.cmp")));
        RunState st;
        const bool ok = OpenedProject(st, name);
        count("sna", ok);
        if (ok) ExpectProjectReopens(st, tmp, seed.filename().string());
        if (ok) openedProjects.push_back(seed);
    }
    // A run's undershoot behind a sharp boundary is a value the reader takes.
    EXPECT_NE(
        std::find(openedProjects.begin(), openedProjects.end(), corpus / "sna" / "undershoot.sna"),
        openedProjects.end());
    // Each project that opens opens beside every detector record of the
    // corpus (a damaged one is left out with a warning) and saves a project
    // that opens again.
    for (const fs::path& seed : openedProjects)
        for (const fs::path& det : Seeds(corpus, "det")) {
            const std::string name = tmp.file("y.sna");
            fs::copy_file(seed, name, fs::copy_options::overwrite_existing);
            fs::copy_file(det, tmp.file("y.det"), fs::copy_options::overwrite_existing);
            ASSERT_TRUE(WriteComposition(two, tmp.file("y.cmp")));
            RunState st;
            const std::string what = seed.filename().string() + " " + det.filename().string();
            EXPECT_TRUE(OpenedProject(st, name)) << what;
            if (st.Initialised) ExpectProjectReopens(st, tmp, what);
        }
    // Sequences: the shown frame is handed to the run (Use), whose project
    // opens again.
    for (const fs::path& seed : Seeds(corpus, "psq")) {
        const std::string name = tmp.file("s.psq");
        fs::copy_file(seed, name, fs::copy_options::overwrite_existing);
        ASSERT_TRUE(WriteComposition(two, tmp.file("s.cmp")));
        RunState st;
        PsqFileRecorder recorder(st);
        st.Recorder = &recorder;
        st.PsqFileOwn = st.PsqFile = tmp.file("own.psq");
        PsqPlayer player(st);
        bool ok = false;
        RaisedMessage([&] { ok = player.Open(name) && player.Use(); });
        count("psq", ok);
        if (ok) ExpectProjectReopens(st, tmp, seed.filename().string());
    }
    // Options, settings, compositions, databases and detector records: read,
    // written, read into a fresh state and written again to the same bytes.
    const auto twice =
        [&](const char* target,
            const std::function<bool(const std::string& in, const std::string& out)>& io) {
            for (const fs::path& seed : Seeds(corpus, target)) {
                const std::string a = tmp.file(std::string("a.") + target),
                                  b = tmp.file(std::string("b.") + target);
                bool ok = false;
                RaisedMessage([&] { ok = io(seed.string(), a); });
                count(target, ok);
                if (!ok) continue;
                bool again = false;
                const std::string m = RaisedMessage([&] { again = io(a, b); });
                EXPECT_TRUE(again) << target << " " << seed.filename() << " " << m;
                EXPECT_EQ(ReadBytes(a), ReadBytes(b)) << target << " " << seed.filename();
            }
        };
    twice("opt", [](const std::string& in, const std::string& out) {
        RunState st;
        return ReadOptFile(st, in) && WriteOptFile(st, out);
    });
    twice("ini", [](const std::string& in, const std::string& out) {
        RunState st;
        return ReadIniFile(st, in) && WriteIniFile(st, out);
    });
    twice("cmp", [](const std::string& in, const std::string& out) {
        TUnivSet<TComponents> list;
        return LoadCompositionFile(in, list) && WriteComposition(list, out);
    });
    twice("dbc", [](const std::string& in, const std::string& out) {
        TUnivSet<TComponents> db;
        return ReadDatabase(in, db) && WriteDatabase(out, db);
    });
    twice("det", [](const std::string& in, const std::string& out) {
        RunState st;
        BufferRun(st);
        return ReadDetFile(st, in) && WriteDetFile(st, out);
    });
    // Complexation tables, beside the composition their seeds were written for
    // (its names with line breaks, which the comment lines must hold).
    twice("cxt", [](const std::string& in, const std::string& out) {
        RunState st;
        for (auto [n, lo, hi] : {std::tuple("Ligand", -1, 1), std::tuple("Base\r\n30\t36", 0, 1),
                                 std::tuple("Acid\n", -1, 0)}) {
            TComponents r;
            r.name = n;
            r.minCharge = lo;
            r.maxCharge = hi;
            st.Composition.Add(r);
        }
        LoadComplexData(st, in);
        return !st.TxtTable.empty() && SaveComplexData(st, out);
    });

    // Save journals beside a mixed pair: the project file of one save and the
    // composition of the next (the two constituents in reverse order), the
    // earlier composition kept as the journal's backup. A whole journal puts
    // the earlier composition back and the project opens with it; any other is
    // refused: the mixture never loads.
    TUnivSet<TComponents> reversed;
    reversed.Add(two[2]);
    reversed.Add(two[1]);
    for (const fs::path& seed : Seeds(corpus, "jnl")) {
        const fs::path group = tmp.path() / "group";
        fs::remove_all(group);
        fs::create_directories(group);
        const std::string x = (group / "x.sna").string();
        fs::copy_file(corpus / "sna" / "run.sna", x);
        ASSERT_TRUE(WriteComposition(reversed, (group / "x.cmp").string()));
        ASSERT_TRUE(WriteComposition(two, (group / ".x.cmp.bak1_0").string()));
        fs::copy_file(seed, SaveJournalName(x));
        RunState st;
        const bool ok = OpenedProject(st, x);
        count("jnl", ok);
        if (!ok) continue;
        ASSERT_EQ(st.Composition.Count(), 2) << seed;
        EXPECT_EQ(std::pair(st.Composition[1].name, st.Composition[2].name),
                  std::pair(two[1].name, two[2].name))
            << seed;
        EXPECT_FALSE(fs::exists(SaveJournalName(x))) << seed;
    }

    // Each reader took its writer's seeds and refused the damaged ones.
    for (const char* target : {"sna", "psq", "opt", "ini", "cmp", "dbc", "det", "cxt", "jnl"})
        EXPECT_GT(opened[target], 0) << target;
    for (const char* target : {"sna", "psq", "cmp", "dbc", "det", "cxt", "jnl"})
        EXPECT_GT(refused[target], 0) << target;
}
