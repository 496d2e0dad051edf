// A project save is one commit as any reader sees it: a save that fails or
// whose process ends at any step leaves the old or the new project whole (a
// later open puts the old files back), a second instance opening during saves
// never takes a mixture of two, the companions of an earlier save go with the
// commit, and the names of a save end in ".sna".
#include "files/sna_file.h"

#include "composition/cmp_file.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "files/file_hooks.h"
#include "files/opt_file.h"
#include "files/psq.h"
#include "files/psq_player.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "run_fixture.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/temp_dir.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>
#include <tuple>
#include <utility>

#include <csignal>
#include <new>

#include <fcntl.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Every file of a folder (hidden ones included) with its bytes.
std::map<std::string, std::string> Folder(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        files[e.path().filename().string()] = ReadBytes(e.path().string());
    return files;
}

// Puts exactly `files` into `dir`.
void Lay(const fs::path& dir, const std::map<std::string, std::string>& files)
{
    for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
    for (const auto& [name, bytes] : files) WriteBytes((dir / name).string(), bytes);
}

std::vector<std::string> Names(const RunState& st)
{
    std::vector<std::string> names;
    for (int i = 1; i <= st.Composition.Count(); ++i) names.push_back(st.Composition[i].name);
    return names;
}

// The file layer as a program without windows has it.
struct NoWindowHooks {
    FileHooks saved = FileLayerHooks();
    NoWindowHooks() { FileLayerHooks() = FileHooks{}; }
    ~NoWindowHooks() { FileLayerHooks() = saved; }
};

// The old project: a complexation project run a few steps (its sequence goes
// with it) and an options file of an older sequence beside it. The new state:
// the same constituents in reverse order (a mixture of the two loads without
// a word when nothing stops it), complexation off, just initialised. Its save
// replaces the composition, the detector record and the project file and
// removes the sequence, the options and the table: six steps.
struct OldAndNew {
    TempDir home, dir;
    RecordingMessageSink sink;
    NoWindowHooks none;
    RunState a, b;
    PsqFileRecorder recorder{a};
    std::string name;
    std::map<std::string, std::string> oldFiles, newFiles;

    void SetUp()
    {
        a.Recorder = &recorder;
        a.PsqFileOwn = a.PsqFile = home.file("own.psq");
        testcomp::PrepareComplexZoneRun(a, 10.0);
        a.NXPending = 100;
        a.DT = 1e-3;
        ASSERT_TRUE(InitCalc(a));
        a.StopTime = 3 * a.DT;
        RunCalc(a);
        name = dir.file("p.sna");
        ASSERT_TRUE(SaveSnaFile(a, name));
        ASSERT_TRUE(WriteOptFile(a, dir.file("p.opt")));
        // Files beside the set: the user's notes, other projects.
        for (const char* other : {"p.notes", "q.sna", "p", "P.SNA"})
            WriteBytes(dir.file(other), std::string("not of the set: ") + other);
        oldFiles = Folder(dir.path());
        for (const char* f : {"p.sna", "p.cmp", "p.det", "p.psq", "p.txt", "p.opt"})
            ASSERT_TRUE(oldFiles.count(f)) << f;

        testcomp::PrepareComplexZoneRun(b, 10.0);
        TUnivSet<TComponents> reversed;
        for (int i = b.Composition.Count(); i >= 1; --i) reversed.Add(b.Composition[i]);
        b.Composition = reversed;
        b.cbComplex = false;
        b.NXPending = 100;
        ASSERT_TRUE(InitCalc(b));
        ASSERT_EQ(b.NComp, a.NComp);
        // The new project as a whole save leaves it.
        TempDir scratch;
        Lay(scratch.path(), oldFiles);
        ASSERT_TRUE(SaveSnaFile(b, scratch.file("p.sna")));
        newFiles = Folder(scratch.path());
    }
};

// A commit step that ends the process (exit code kEnded) at the step
// numbered gEndAt, before or after doing it; a change of a file by a commit or
// a settle (each watched before and after) that ends it at the gEndAt-th.
constexpr int kEnded = 42, kFinished = 7;
int gStep = 0, gEndAt = -1;
bool gAfter = false;
bool EndingRename(const std::string& from, const std::string& to)
{
    const int step = gStep++;
    if (step == gEndAt && !gAfter) _exit(kEnded);
    const bool done = std::rename(from.c_str(), to.c_str()) == 0;
    if (step == gEndAt) _exit(kEnded);
    return done;
}
bool FailingRename(const std::string& from, const std::string& to)
{
    return gStep++ != gEndAt && std::rename(from.c_str(), to.c_str()) == 0;
}
// The removal of the table, whose file someone removed just before.
bool TableGoneRename(const std::string& from, const std::string& to)
{
    if (from.size() > 6 && from.compare(from.size() - 6, 6, "/p.txt") == 0) {
        std::remove(from.c_str());
        errno = ENOENT;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}
void EndingChange(const std::string&)
{
    if (gStep++ == gEndAt) _exit(kEnded);
}
// A file system without hard links.
int NoLink(const char*, const char*)
{
    errno = EPERM;
    return -1;
}
// A remount: every device and inode number looks new after each.
unsigned gMount = 0;
void Remounted(dev_t& device, ino_t& inode)
{
    device += gMount;
    inode += 7919u * gMount;
}
// A folder that refuses names that are no valid UTF-8 (as exFAT does).
int Utf8Names(const char* name)
{
    const std::string leaf = fs::path(name).filename().string();
    for (std::size_t k = 0; k < leaf.size();) {
        const auto c = static_cast<unsigned char>(leaf[k]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || k + n > leaf.size()) return EILSEQ;
        for (std::size_t j = 1; j < n; ++j)
            if ((static_cast<unsigned char>(leaf[k + j]) & 0xC0) != 0x80) return EILSEQ;
        k += n;
    }
    return 0;
}
// The folder copied away and back (every file anew, hard links apart).
void Recopy(const fs::path& dir)
{
    TempDir away;
    fs::copy(dir, away.path() / "d", fs::copy_options::recursive);
    for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
    fs::copy(away.path() / "d", dir, fs::copy_options::recursive);
}

// Runs `save` in a child process; its exit code.
int InChild(const std::function<void()>& save)
{
    const pid_t child = fork();
    if (child == 0) {
        try {
            save();
        } catch (...) {
        }
        _exit(kFinished);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The files of the folder a user sees (the hidden ones are the set's own
// temporary, backup, journal and lock files).
std::map<std::string, std::string> Visible(const fs::path& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& [name, bytes] : Folder(dir))
        if (name[0] != '.')
            files[name] = bytes;
        else
            EXPECT_TRUE(name.rfind(".p.", 0) == 0 || name.rfind("..p.", 0) == 0) << name;
    return files;
}

}  // namespace

// The saver ended before and after each change of a file, then an open of
// what it left ended before and after each of its own: afterwards the
// folder opens as the old or the new project whole, and the files beside the
// set (another project, the user's notes of the same stem) never change.
// Where the file system has no hard links the same holds; the composition or
// the sequence opened alone settles the save as the project's open does.
TEST(ProjectSave, AProcessEndedAtAnyStepOfTheCommitOrOfItsSettleLeavesTheOldOrTheNewProjectWhole)
{
    OldAndNew p;
    p.SetUp();
    ASSERT_FALSE(HasFailure());
    const auto oldVisible = Visible(p.dir.path()), newVisible = [&] {
        std::map<std::string, std::string> v;
        for (const auto& [name, bytes] : p.newFiles)
            if (name[0] != '.') v[name] = bytes;
        return v;
    }();
    for (const char* other : {"p.notes", "q.sna", "p", "P.SNA"})
        EXPECT_TRUE(oldVisible.count(other) && newVisible.count(other)) << other;
    const std::string journal = p.dir.file(".p.sna.journal");
    // What a disk may do between a kill and the next open: nothing, a copy of
    // the folder (every file anew), a remount (every number anew).
    enum class Disk { Kept, Copied, Remounted };
    SetFileNumbers(Remounted);
    for (const auto& [link, disk] :
         {std::pair(SaveLinkFn(nullptr), Disk::Kept), std::pair(SaveLinkFn(NoLink), Disk::Kept),
          std::pair(SaveLinkFn(nullptr), Disk::Copied),
          std::pair(SaveLinkFn(nullptr), Disk::Remounted)}) {
        SetSaveLink(link);
        int savePoints = 0, openPoints = 0, cases = 0, unsound = 0;
        const auto carry = [&, disk = disk] {
            if (disk == Disk::Copied) Recopy(p.dir.path());
            if (disk == Disk::Remounted) ++gMount;
        };
        // Whole: the folder as the old or the new project leaves it.
        const auto whole = [&](const std::map<std::string, std::string>& files) {
            ++cases;
            const bool sound = files == oldVisible || files == newVisible;
            unsound += !sound;
            return sound;
        };
        // The old project and a saver ended at the s-th change (false: the
        // save ran to its end), then the disk's doing. Laid anew for every
        // open.
        const auto interrupt = [&](int s) {
            Lay(p.dir.path(), p.oldFiles);
            const int saved = InChild([&] {
                SetSaveStepWatch(EndingChange);
                gStep = 0, gEndAt = s;
                SaveSnaFile(p.b, p.name);
            });
            EXPECT_TRUE(saved == kEnded || saved == kFinished) << saved;
            carry();
            return saved == kEnded;
        };
        for (int s = 0; interrupt(s); ++s) {
            ++savePoints;
            // The opens ended at each of their changes, with hard links and
            // without (a step already put back is known by its backup's
            // recorded bytes).
            for (int o = 0; interrupt(s); ++o) {
                const int opened = InChild([&] {
                    SetSaveStepWatch(EndingChange);
                    gStep = 0, gEndAt = o;
                    RunState st;
                    OpenProject(st, p.name);
                });
                if (opened != kEnded) break;
                ++openPoints;
                carry();
                // The next reader finishes the settle.
                bool settled = false;
                EXPECT_NO_THROW(settled = SettleSaveJournal(journal)) << s << " " << o;
                unsound += !settled;
                EXPECT_TRUE(whole(Visible(p.dir.path())) && settled) << s << " " << o;
            }
            // The composition alone, the sequence alone in the player, the project.
            interrupt(s);
            RunState alone;
            ASSERT_TRUE(OpenComposition(alone, p.dir.file("p.cmp"))) << s;
            const bool old = Visible(p.dir.path()) == oldVisible;
            EXPECT_TRUE(whole(Visible(p.dir.path()))) << s;
            EXPECT_EQ(Names(alone), Names(old ? p.a : p.b)) << s;
            interrupt(s);
            {
                RunState player;
                PsqPlayer psq(player);
                EXPECT_EQ(psq.Open(p.dir.file("p.psq")), old) << s;
                EXPECT_EQ(FileExists(p.dir.file("p.psq")), old) << s;
            }
            interrupt(s);
            RunState back;
            ASSERT_TRUE(OpenProject(back, p.name)) << s;
            const auto files = Visible(p.dir.path());
            EXPECT_TRUE(whole(files) && files == (old ? oldVisible : newVisible)) << s;
            EXPECT_EQ(Names(back), Names(old ? p.a : p.b)) << s;
            EXPECT_EQ(back.cbComplex, old) << s;
        }
        EXPECT_TRUE(Visible(p.dir.path()) == newVisible);
        RunState reopened;
        ASSERT_TRUE(OpenProject(reopened, p.name));
        EXPECT_EQ(Names(reopened), Names(p.b));
        // Backups, journal, six renames, removals; each settle a few changes.
        EXPECT_GT(savePoints, 20);
        EXPECT_GT(openPoints, 5 * savePoints);
        EXPECT_EQ(unsound, 0);
        std::printf("kill points (%s, %s): %d save, %d open; %d cases, %d unsound\n",
                    link == NoLink ? "no links" : "links",
                    disk == Disk::Kept     ? "kept"
                    : disk == Disk::Copied ? "copied"
                                           : "remounted",
                    savePoints, openPoints, cases, unsound);
    }
    SetSaveLink(nullptr);

    // A project named in capitals is journalled as one in small letters is,
    // and so is one whose companions an older system named in capitals (the
    // table and the sequence go, the new composition is read before the
    // old); the save of "run.sna" leaves alone the interrupted save of a
    // project whose name begins with it and is cut in the hidden names
    // ("run." + 240 y): ended at each change, the folder opens as the old or
    // the new project and the files beside the set never change. The long
    // project's own leftovers go with its next save. A project of 120 "é"
    // (244 bytes) saves and opens the same on a folder that refuses names
    // that are no valid UTF-8: its hidden names are cut between letters.
    const std::string longStem = "run." + std::string(240, 'y');
    std::string accented;
    for (int k = 0; k < 120; ++k) accented += "\xc3\xa9";
    SetNameCheck(Utf8Names);
    for (const std::string& leaf :
         {std::string("U.SNA"), std::string("run.sna"), accented + ".sna", std::string("V.SNA")}) {
        const fs::path dir = p.dir.path() / ("set_" + std::string(leaf));
        fs::create_directory(dir);
        const std::string main = (dir / leaf).string(),
                          longMain = (dir / longStem).string() + ".sna";
        const std::string stem = fs::path(leaf).stem().string();
        ASSERT_TRUE(SaveSnaFile(p.a, main));
        if (stem == "V")
            for (const char* ext : {".cmp", ".txt", ".psq", ".det"}) {
                std::string capitals = ext;
                for (char& c : capitals) c = static_cast<char>(std::toupper(c));
                fs::rename(dir / ("V" + std::string(ext)), dir / ("V" + capitals));
            }
        WriteBytes((dir / (stem + ".notes")).string(), "the user's");
        pid_t tempsOf = 0;
        if (std::string(leaf) == "run.sna") {
            // Temporaries of a save ended before its backups, then the
            // journal and backups of one ended after its first rename.
            ASSERT_TRUE(SaveSnaFile(p.b, longMain));
            ASSERT_EQ(InChild([&] {
                          SetSaveStepWatch(EndingChange);
                          gStep = 0, gEndAt = 0;
                          SaveSnaFile(p.b, longMain);
                      }),
                      kEnded);
            for (const auto& [file, bytes] : Folder(dir))
                if (file[0] == '.' && file.find(".tmp") != std::string::npos)
                    tempsOf = std::stoi(file.substr(file.rfind(".tmp") + 4));
            ASSERT_EQ(InChild([&] {
                          SetCommitRename(EndingRename);
                          gStep = 0, gEndAt = 1, gAfter = true;
                          SaveSnaFile(p.a, longMain);
                      }),
                      kEnded);
            ASSERT_TRUE(FileExists(SaveJournalName(longMain)));
        }
        const auto old = Folder(dir);
        // The set's files as a user sees them; every other must stay.
        const auto own = [&](const std::string& file) {
            return file[0] != '.' && file.find(longStem) == std::string::npos &&
                   fs::path(file).stem() == stem && file != stem + ".notes";
        };
        const auto split = [&](const std::map<std::string, std::string>& files, bool ofSet) {
            std::map<std::string, std::string> part;
            for (const auto& [file, bytes] : files)
                if (own(file) == ofSet &&
                    (ofSet || file[0] != '.' || file.find("yyyy") != std::string::npos))
                    part[file] = bytes;
            return part;
        };
        std::map<std::string, std::string> saved;
        {
            TempDir scratch;
            Lay(scratch.path(), old);
            ASSERT_TRUE(SaveSnaFile(p.b, (scratch.path() / leaf).string()));
            saved = split(Folder(scratch.path()), true);
        }
        int points = 0;
        for (int s = 0;; ++s) {
            Lay(dir, old);
            const int ended = InChild([&] {
                SetSaveStepWatch(EndingChange);
                gStep = 0, gEndAt = s;
                SaveSnaFile(p.b, main);
            });
            // Every other time the composition opened alone settles the save first.
            if (s % 2) {
                RunState alone;
                ASSERT_TRUE(
                    OpenComposition(alone, ChangeFileExt(main, stem == "V" ? ".CMP" : ".cmp")))
                    << leaf << s;
                EXPECT_FALSE(FileExists(SaveJournalName(main))) << leaf << " " << s;
            }
            RunState back;
            ASSERT_TRUE(OpenProject(back, main)) << leaf << " " << s;
            const auto now = Folder(dir);
            const bool isOld = split(now, true) == split(old, true);
            EXPECT_TRUE(isOld || split(now, true) == saved) << leaf << " " << s;
            EXPECT_EQ(Names(back), Names(isOld ? p.a : p.b)) << leaf << " " << s;
            EXPECT_EQ(back.cbComplex, isOld) << leaf << " " << s;
            EXPECT_TRUE(split(now, false) == split(old, false)) << leaf << " " << s;
            if (ended != kEnded) break;
            ++points;
        }
        EXPECT_GT(points, 15) << leaf;
        if (!tempsOf) continue;
        RunState back;
        ASSERT_TRUE(OpenProject(back, longMain));
        EXPECT_EQ(Names(back), Names(p.b));
        ASSERT_TRUE(SaveSnaFile(p.b, longMain));
        for (const auto& [file, bytes] : Folder(dir))
            EXPECT_FALSE(file[0] == '.' && file.find("yyyy") != std::string::npos) << file;
    }
    SetNameCheck(nullptr);

    // A step that fails: raised with the file, and the old project is whole.
    const CommitRenameFn previous = SetCommitRename(FailingRename);
    const char* failing[] = {"p.cmp", "p.psq", "p.opt", "p.det", "p.txt", "p.sna"};
    constexpr int kSteps = 6;
    for (int k = 0; k < kSteps; ++k) {
        Lay(p.dir.path(), p.oldFiles);
        gStep = 0, gEndAt = k;
        EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(p.b, p.name); }),
                  "Error: Can't write to file\n" + p.dir.file(failing[k]) +
                      ": Input/output error\nThe previous project is unchanged.");
        EXPECT_TRUE(Folder(p.dir.path()) == p.oldFiles) << k;
    }
    // The same after the save settled the journal of one that died.
    for (int k = 0; k < kSteps; k += 3) {
        Lay(p.dir.path(), p.oldFiles);
        ASSERT_EQ(InChild([&] {
                      SetCommitRename(EndingRename);
                      gStep = 0, gEndAt = 3, gAfter = true;
                      SaveSnaFile(p.b, p.name);
                  }),
                  kEnded);
        ASSERT_TRUE(FileExists(journal));
        gStep = 0, gEndAt = k;
        EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(p.b, p.name); }),
                  "Error: Can't write to file\n" + p.dir.file(failing[k]) +
                      ": Input/output error\nThe previous project is unchanged.");
        EXPECT_TRUE(Folder(p.dir.path()) == p.oldFiles) << k;
    }
    // A file to remove that went before its step: nothing to put back, so
    // nothing is lost, no journal stays and the project opens.
    Lay(p.dir.path(), p.oldFiles);
    SetCommitRename(TableGoneRename);
    EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(p.b, p.name); }),
              "Error: Can't write to file\n" + p.dir.file("p.txt") +
                  ": No such file or directory\nThe previous project is unchanged.");
    SetCommitRename(previous);
    EXPECT_FALSE(FileExists(journal));
    {
        RunState back;
        EXPECT_TRUE(OpenProject(back, p.name));
        EXPECT_EQ(Names(back), Names(p.a));
    }

    // A stale journal of any version listing the table as a file its save
    // added, whose temporary is gone: the user's notes of that name are no
    // file that save made. They are never deleted, not even where a copy of
    // the folder gave them the number the journal recorded, nor read as the
    // project's: they are set aside under a visible name, which the open
    // names. An old project without its table opens without it.
    const std::string aside = p.dir.file("p.txt.from-interrupted-save");
    for (const char* version : {"2.0", "2.1", "2.2"}) {
        Lay(p.dir.path(), p.oldFiles);
        WriteBytes(p.dir.file("p.txt"), "the user's notes");
        struct stat notes;
        ASSERT_EQ(stat(p.dir.file("p.txt").c_str(), &notes), 0);
        Bytes j;
        j.str("KELVO SAVE JOURNAL").str(version).str("p").i32(1);
        j.str(".txt").u8(0).u8(0).str("1_0").str("");
        if (std::string(version) == "2.2")
            j.str("16:0123456789abcdef");
        else
            j.str("");
        if (std::string(version) == "2.1")
            j.str(std::to_string(notes.st_dev) + ":" + std::to_string(notes.st_ino));
        WriteBytes(journal, j.str("EOF").b);
        EXPECT_NO_THROW(EXPECT_TRUE(SettleSaveJournal(journal))) << version;
        EXPECT_EQ(ReadBytes(aside), "the user's notes") << version;
        EXPECT_FALSE(FileExists(p.dir.file("p.txt"))) << version;
    }
    // A dead save of a complexation project over a plain one, by a program
    // whose journal (version 2.0) tells no file: its table is set aside and
    // named, its removal of the detector record had not begun (nothing lost), and
    // the plain project opens whole. Its new table removed the same way
    // after a copy of the folder, where its journal tells it by its bytes. A
    // save that settles that journal and then fails names the table too.
    {
        TempDir plain;
        Lay(plain.path(), p.newFiles);
        ASSERT_TRUE(SaveSnaFile(p.a, plain.file("p.sna")));
        const std::string table = ReadBytes(plain.file("p.txt"));
        const auto deadOlderSave = [&] {
            WriteBytes(p.dir.file("p.txt"), table);
            Bytes j;
            j.str("KELVO SAVE JOURNAL").str("2.0").str("p").i32(2);
            j.str(".det").u8(1).u8(1).str("1_1").str("5:7").str("5:7");
            j.str(".txt").u8(0).u8(0).str("1_0").str("").str("");
            WriteBytes(journal, j.str("EOF").b);
        };
        Lay(p.dir.path(), p.newFiles);
        deadOlderSave();
        p.sink.Clear();
        const SaveCheckWatch unchecked = SetSaveCheckWatch([] { throw std::bad_alloc(); });
        EXPECT_FALSE(SaveSnaFile(p.b, p.name));
        SetSaveCheckWatch(unchecked);
        ASSERT_EQ(p.sink.warnings.size(), 2u);
        EXPECT_EQ(p.sink.warnings[1], kSaveSetAside + aside);
        EXPECT_EQ(ReadBytes(aside), table);
        fs::remove(aside);
        for (const bool older : {true, false}) {
            Lay(p.dir.path(), p.newFiles);
            p.sink.Clear();
            if (older) {
                deadOlderSave();
            } else {
                ASSERT_EQ(InChild([&] {
                              SetCommitRename(EndingRename);
                              gStep = 0, gEndAt = 3, gAfter = true;
                              SaveSnaFile(p.a, p.name);
                          }),
                          kEnded);
                ASSERT_EQ(ReadBytes(p.dir.file("p.txt")), table);
                Recopy(p.dir.path());
            }
            RunState back;
            ASSERT_TRUE(OpenProject(back, p.name)) << older;
            EXPECT_FALSE(back.cbComplex) << older;
            EXPECT_EQ(Names(back), Names(p.b)) << older;
            EXPECT_FALSE(FileExists(p.dir.file("p.txt"))) << older;
            EXPECT_EQ(FileExists(aside), older);
            // The plain project whole, its detector record in place, no journal.
            auto files = Visible(p.dir.path());
            files.erase("p.txt.from-interrupted-save");
            EXPECT_TRUE(files == newVisible) << older;
            EXPECT_FALSE(FileExists(journal)) << older;
            if (older) {
                EXPECT_EQ(ReadBytes(aside), table);
                EXPECT_EQ(p.sink.warnings, std::vector<std::string>{kSaveSetAside + aside});
            }
        }
    }

    // On a folder that does not tell case, the journal of a save of "P.sna"
    // that died is found as that of "p.sna" (here: one file under both
    // names, or two numbers for the two spellings as a folder through FUSE
    // gives): it is the set's own and is settled, the old project back.
    for (const bool oneNumber : {true, false}) {
        const fs::path ci = p.dir.path() / "ci";
        fs::create_directory(ci);
        std::map<std::string, std::string> upper;
        for (const auto& [file, bytes] : p.oldFiles)
            if (file.rfind("p.", 0) == 0) upper["P" + file.substr(1)] = bytes;
        Lay(ci, upper);
        ASSERT_EQ(InChild([&] {
                      SetCommitRename(EndingRename);
                      gStep = 0, gEndAt = 3, gAfter = true;
                      SaveSnaFile(p.b, (ci / "P.sna").string());
                  }),
                  kEnded);
        if (oneNumber)
            fs::create_hard_link(ci / ".P.sna.journal", ci / ".p.sna.journal");
        else
            fs::copy_file(ci / ".P.sna.journal", ci / ".p.sna.journal");
        EXPECT_NO_THROW(EXPECT_TRUE(SettleSaveJournal((ci / ".p.sna.journal").string())));
        // (The same files where case is not told.)
        fs::remove(ci / ".P.sna.journal"), fs::remove(ci / ".P.sna.journal.lock");
        EXPECT_TRUE(Folder(ci) == upper);
        fs::remove_all(ci);
    }

    // A lock file left by another user, which this one may not open for
    // writing (as root the mode alone does not refuse: the open is made to):
    // the lock is taken read-only and the save goes on.
    Lay(p.dir.path(), p.oldFiles);
    WriteBytes(p.dir.file(".p.sna.journal.lock"), "");
    fs::permissions(p.dir.file(".p.sna.journal.lock"),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const LockOpenFn lockOpen = SetLockOpen([](const char*, int) {
        errno = EACCES;
        return -1;
    });
    EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(p.b, p.name); }), "(no error)");
    SetLockOpen(lockOpen);
    EXPECT_TRUE(Folder(p.dir.path()) == p.newFiles);

    // The journal of a save that died, whose tokens name a process that runs
    // (the same id after a restart): the old project comes back at once.
    Lay(p.dir.path(), p.oldFiles);
    ASSERT_EQ(InChild([&] {
                  SetCommitRename(EndingRename);
                  gStep = 0, gEndAt = 2, gAfter = false;
                  SaveSnaFile(p.b, p.name);
              }),
              kEnded);
    {
        for (const auto& [file, bytes] : Folder(p.dir.path())) {
            const std::size_t at =
                file.find(".tmp") != std::string::npos ? file.find(".tmp") : file.find(".bak");
            if (file != ".p.sna.journal" && at != std::string::npos) {
                fs::rename(p.dir.path() / file, p.dir.path() / (file.substr(0, at + 4) + "1_" +
                                                                file.substr(file.find('_') + 1)));
            }
        }
        // The journal again, each token of pid 1. Each step tells its old and
        // its new file by "<size>:<digest of 16 hex digits>" (the sizes as
        // the files lie in the old and the new project).
        const std::string bytes = ReadBytes(journal);
        ASSERT_EQ(bytes.substr(0, 23), std::string("KELVO SAVE JOURNAL\0"
                                                   "2.2\0",
                                                   23));
        std::size_t at = 19 + 4 + 2;
        const auto text = [&] {
            const std::size_t end = bytes.find('\0', at);
            const std::string t = bytes.substr(at, end - at);
            at = end + 1;
            return t;
        };
        const int count = static_cast<unsigned char>(bytes[at]);
        at += 4;
        Bytes again;
        again.str("KELVO SAVE JOURNAL").str("2.2").str("p").i32(count);
        for (int k = 0; k < count; ++k) {
            const std::string ext = text();
            const std::uint8_t remove = bytes[at], existed = bytes[at + 1];
            at += 2;
            const std::string token = text(), oldPrint = text(), newPrint = text();
            const auto sizeOf = [](const std::string& print) {
                EXPECT_EQ(print.size() - print.find(':'), 17u) << print;
                return print.substr(0, print.find(':'));
            };
            EXPECT_EQ(existed, 1) << ext;
            EXPECT_EQ(sizeOf(oldPrint), std::to_string(p.oldFiles.at("p" + ext).size())) << ext;
            if (remove)
                EXPECT_EQ(newPrint, "") << ext;
            else
                EXPECT_EQ(sizeOf(newPrint), std::to_string(p.newFiles.at("p" + ext).size())) << ext;
            again.str(ext).u8(remove).u8(existed).str("1" + token.substr(token.find('_')));
            again.str(oldPrint).str(newPrint);
        }
        WriteBytes(journal, again.str("EOF").b);
        RunState back;
        ASSERT_TRUE(OpenProject(back, p.name));
        EXPECT_TRUE(Folder(p.dir.path()) == p.oldFiles);
    }

    // A save that ended after the composition was replaced and the sequence
    // and options removed, whose composition backup is gone since: the open
    // refuses and names what it could not put back, leaving the run as it was.
    Lay(p.dir.path(), p.oldFiles);
    ASSERT_EQ(InChild([&] {
                  SetCommitRename(EndingRename);
                  gStep = 0, gEndAt = 3, gAfter = false;
                  SaveSnaFile(p.b, p.name);
              }),
              kEnded);
    for (const auto& [file, bytes] : Folder(p.dir.path()))
        if (file.rfind(".p.cmp.bak", 0) == 0) fs::remove(p.dir.path() / file);
    RunState kept;
    const std::string refused = RaisedMessage([&] { OpenProject(kept, p.name); });
    EXPECT_NE(
        refused.find(kSaveNotRestored + p.dir.file("p.cmp") + " (" + p.dir.file(".p.cmp.bak")),
        std::string::npos)
        << refused;
    EXPECT_FALSE(kept.Initialised);
    // A journal that is no journal is refused by name; nothing is touched.
    Lay(p.dir.path(), p.oldFiles);
    WriteBytes(p.dir.file(".p.sna.journal"), "KELVO SAVE JOURNAL");
    EXPECT_NE(RaisedMessage([&] {
                  OpenProject(kept, p.name);
              }).find(kSaveJournalDamaged + p.dir.file(".p.sna.journal")),
              std::string::npos);
    fs::remove(p.dir.file(".p.sna.journal"));
    // Nor is a pipe (an open would wait on it for ever) or a link, even one
    // that leads nowhere.
    ASSERT_EQ(mkfifo(p.dir.file(".p.sna.journal").c_str(), 0600), 0);
    EXPECT_NE(RaisedMessage([&] {
                  OpenProject(kept, p.name);
              }).find(kSaveJournalDamaged + p.dir.file(".p.sna.journal")),
              std::string::npos);
    fs::remove(p.dir.file(".p.sna.journal"));
    fs::create_symlink(p.dir.file("nowhere"), p.dir.file(".p.sna.journal"));
    EXPECT_NE(RaisedMessage([&] {
                  OpenProject(kept, p.name);
              }).find(kSaveJournalDamaged + p.dir.file(".p.sna.journal")),
              std::string::npos);
    fs::remove(p.dir.file(".p.sna.journal"));
    EXPECT_TRUE(Folder(p.dir.path()) == p.oldFiles);

    // A journal that names files beside the set (the user's notes of its
    // stem, another project of the stem in capitals, the stem alone) or is
    // another project's whole journal: refused by name, nothing touched.
    Lay(p.dir.path(), p.oldFiles);
    const auto planted = [&](const std::string& stem, const std::string& ext) {
        Bytes j;
        j.str("KELVO SAVE JOURNAL").str("2.0").str(stem).i32(1);
        j.str(ext).u8(0).u8(0).str("1_0").str("").str("");
        return j.str("EOF").b;
    };
    for (const auto& [stem, ext] : {std::pair("p", ".notes"), std::pair("p", ".SNA"),
                                    std::pair("p", ""), std::pair("q", ".sna")}) {
        WriteBytes(journal, planted(stem, ext));
        EXPECT_NE(
            RaisedMessage([&] { OpenProject(kept, p.name); }).find(kSaveJournalDamaged + journal),
            std::string::npos)
            << stem << ext;
        fs::remove(journal);
        EXPECT_TRUE(Folder(p.dir.path()) == p.oldFiles) << stem << ext;
    }

    // The whole save: the new project without the companions of the old one,
    // and without the temporary and backup files that saves whose process
    // ended before the commit left (a process that is gone).
    Lay(p.dir.path(), p.oldFiles);
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string id = std::to_string(gone);
    for (const std::string& left :
         {".p.cmp.tmp" + id + "_0", ".p.sna.bak" + id + "_3", "..p.sna.journal.tmp" + id + "_1"})
        WriteBytes(p.dir.file(left), "left");
    WriteBytes(p.dir.file(".p.cmp.tmp1_0"), "of a running process");
    // The backup of project "p.v2" (a name that begins with this one's) is
    // that project's, whose interrupted save may still need it.
    WriteBytes(p.dir.file(".p.v2.cmp.bak" + id + "_0"), "another project's");
    ASSERT_TRUE(SaveSnaFile(p.b, p.name));
    EXPECT_TRUE(fs::remove(p.dir.file(".p.cmp.tmp1_0")));  // its process runs
    EXPECT_TRUE(fs::remove(p.dir.file(".p.v2.cmp.bak" + id + "_0")));
    EXPECT_TRUE(Folder(p.dir.path()) == p.newFiles);
    for (const char* gone : {"p.psq", "p.opt", "p.txt"}) EXPECT_FALSE(p.newFiles.count(gone));
}

namespace {

// The saver of the interleaving test: blocked in its first rename until the
// settle of an open has read its journal, then let go to its end.
int gRelease[2] = {-1, -1};
pid_t gSaver = 0;
bool BlockedRename(const std::string& from, const std::string& to)
{
    if (to.size() > 6 && to.compare(to.size() - 6, 6, "/p.cmp") == 0) {
        char go = 0;
        if (read(gRelease[0], &go, 1) != 1) _exit(1);
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}
void FinishSave(const std::string&, bool settled)
{
    if (settled || gSaver == 0) return;
    const char go = 1;
    EXPECT_EQ(write(gRelease[1], &go, 1), 1);
    int status = 0;
    waitpid(gSaver, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kFinished);
    gSaver = 0;
}
// A save that dies (after its third rename) while an open goes from its
// settle to its first look at the files.
std::function<void()> gBetween;
void SaveBetween(const std::string&, bool settled)
{
    if (settled && gBetween) std::exchange(gBetween, nullptr)();
}
// A backup that finds its file gone (removed meanwhile).
int VanishingLink(const char* from, const char*)
{
    ::unlink(from);
    errno = ENOENT;
    return -1;
}

// A folder that cannot be written while sealed: a file system of its own
// made read-only (as root, whom permissions do not stop), else one without
// write permission.
struct ReadOnlyFolder {
    fs::path dir;
    bool mounted = false;
    explicit ReadOnlyFolder(fs::path d) : dir(std::move(d))
    {
        fs::create_directories(dir);
        if (getuid() == 0) mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64m") == 0;
    }
    ~ReadOnlyFolder()
    {
        Unseal();
        if (mounted) umount2(dir.c_str(), MNT_DETACH);
    }
    bool Seal()
    {
        if (mounted)
            mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        else
            chmod(dir.c_str(), 0555);
        return access(dir.c_str(), W_OK) != 0;
    }
    void Unseal()
    {
        if (mounted)
            mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT, nullptr);
        else
            chmod(dir.c_str(), 0755);
    }
};

}  // namespace

// On the same old and new projects: an open stalled between reading the
// journal and acting while the save finishes (and a second open that settles
// meanwhile) keeps the finished save; a save that dies between an open's
// settle and its first look is settled; a folder that cannot be written
// opens the old project where the journal says it is, with a warning; the
// failures of a save name the file, the reason and what is on disk.
TEST(ProjectSave, OpensRacingSavesKeepWhatFinishedAndReadOnlyFoldersOpenTheOldProject)
{
    OldAndNew p;
    p.SetUp();
    ASSERT_FALSE(HasFailure());
    // The new project of `a` (complexation, a sequence) over that of `b`: the
    // save adds the table and the sequence.
    Lay(p.dir.path(), p.newFiles);
    ASSERT_EQ(pipe(gRelease), 0);
    gSaver = fork();
    if (gSaver == 0) {
        SetCommitRename(BlockedRename);
        gStep = 0;
        try {
            SaveSnaFile(p.a, p.name);
        } catch (...) {
            _exit(1);
        }
        _exit(kFinished);
    }
    while (!FileExists(p.dir.file(".p.sna.journal")))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetSettlePause(FinishSave);
    RunState back;
    ASSERT_TRUE(OpenProject(back, p.name));
    SetSettlePause(nullptr);
    EXPECT_EQ(gSaver, 0);
    EXPECT_TRUE(back.cbComplex);
    EXPECT_EQ(Names(back), Names(p.a));
    for (const char* added : {"p.txt", "p.psq"}) EXPECT_TRUE(FileExists(p.dir.file(added)));
    const auto saved = Folder(p.dir.path());
    close(gRelease[0]), close(gRelease[1]);

    // A save that dies between the settle and the first look of an open.
    Lay(p.dir.path(), p.oldFiles);
    gBetween = [&] {
        EXPECT_EQ(InChild([&] {
                      SetCommitRename(EndingRename);
                      gStep = 0, gEndAt = 3, gAfter = false;
                      SaveSnaFile(p.b, p.name);
                  }),
                  kEnded);
    };
    SetSettlePause(SaveBetween);
    RunState between;
    ASSERT_TRUE(OpenProject(between, p.name));
    SetSettlePause(nullptr);
    EXPECT_FALSE(gBetween);
    EXPECT_EQ(Names(between), Names(p.a));
    EXPECT_TRUE(Folder(p.dir.path()) == p.oldFiles);

    // A folder that cannot be written holding a save that died after it
    // replaced the composition and removed the sequence: the old project
    // opens from the backups, the warning names the journal and them, and no
    // file changes; no open waits for a save that does not run.
    {
        RecordingMessageSink sink;
        ReadOnlyFolder ro(p.dir.path() / "ro");
        Lay(ro.dir, p.oldFiles);
        const std::string name = (ro.dir / "p.sna").string();
        ASSERT_EQ(InChild([&] {
                      SetCommitRename(EndingRename);
                      gStep = 0, gEndAt = 2, gAfter = false;
                      SaveSnaFile(p.b, name);
                  }),
                  kEnded);
        const auto interrupted = Folder(ro.dir);
        ASSERT_TRUE(ro.Seal());
        const auto started = std::chrono::steady_clock::now();
        RunState old;
        ASSERT_TRUE(OpenProject(old, name));
        EXPECT_EQ(Names(old), Names(p.a));
        EXPECT_TRUE(old.cbComplex);
        RunState alone;
        ASSERT_TRUE(OpenComposition(alone, (ro.dir / "p.cmp").string()));
        EXPECT_EQ(Names(alone), Names(p.a));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        ASSERT_EQ(sink.warnings.size(), 2u);
        for (const std::string& w : sink.warnings) {
            EXPECT_EQ(w.rfind(kSaveNotSettled + (ro.dir / ".p.sna.journal").string() + ": ", 0), 0u)
                << w;
            EXPECT_NE(w.find(kSaveReadFromBackups), std::string::npos) << w;
            EXPECT_NE(w.find((ro.dir / ".p.cmp.bak").string()), std::string::npos) << w;
            EXPECT_EQ(w.find(kSaveInProgress), std::string::npos) << w;
        }
        EXPECT_TRUE(Folder(ro.dir) == interrupted);
        ro.Unseal();
        RunState settled;
        ASSERT_TRUE(OpenProject(settled, name));
        EXPECT_TRUE(Folder(ro.dir) == p.oldFiles);
    }

    // Companions that are link loops are no file written twice: the save
    // replaces the links.
    Lay(p.dir.path(), saved);
    for (const char* loop : {"p.det", "p.txt"}) {
        fs::remove(p.dir.path() / loop);
        fs::create_symlink(loop, p.dir.path() / loop);
    }
    EXPECT_TRUE(SaveSnaFile(p.a, p.name));
    EXPECT_TRUE(Folder(p.dir.path()) == saved);

    // A full disk while the files are staged: the file, why, and the old
    // project whole; a backup whose file went meanwhile says so.
    {
        rlimit limit{}, small{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
        small = limit;
        small.rlim_cur = 64;
        signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::string full = RaisedMessage([&] { SaveSnaFile(p.b, p.name); });
        setrlimit(RLIMIT_FSIZE, &limit);
        EXPECT_EQ(full, "Error: Can't write to file\n" + p.dir.file("p.cmp") +
                            ": File too large\n" + kSavePreviousUnchanged);
        EXPECT_TRUE(Folder(p.dir.path()) == saved);
        SetSaveLink(VanishingLink);
        EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(p.b, p.name); }),
                  "Error: Can't write to file\n" + p.dir.file("p.cmp") +
                      ": No such file or directory\n" + kSavePreviousUnchanged);
        SetSaveLink(nullptr);
    }

    // A complexation project at a long name (its table is a temporary of a
    // temporary) saves and opens again.
    const std::string longName = p.dir.file(std::string(230, 'c') + ".sna");
    ASSERT_TRUE(SaveSnaFile(p.a, longName));
    RunState longBack;
    ASSERT_TRUE(OpenProject(longBack, longName));
    EXPECT_TRUE(longBack.cbComplex);
}

namespace {

// The saver that goes first in an interleaving: at the backup of the
// composition (the set's lock held, its files staged) it waits for a byte.
int gGo[2] = {-1, -1};
void PausedChange(const std::string& file)
{
    char go = 0;
    if (file.find("/.p.cmp.bak") != std::string::npos && gStep++ == 0 && read(gGo[0], &go, 1) != 1)
        _exit(1);
}

}  // namespace

// Savers of different companion sets over one project (a complexation
// project with its table and sequence, a plain one, a plain one with the
// sequence): one saver held at its first change while another stages its
// files, then two and three savers unforced; every snapshot of the folder
// taken under the set's lock is one save's whole project, and no save fails.
TEST(ProjectSave, SavesRacingOverOneProjectLeaveOneWholeSaveAndNeverLockItOut)
{
    OldAndNew p;
    p.SetUp();
    ASSERT_FALSE(HasFailure());
    RunState c;
    testcomp::PrepareComplexZoneRun(c, 10.0);
    c.cbComplex = false;
    c.NXPending = 100;
    ASSERT_TRUE(InitCalc(c));
    c.PsqFile = p.a.PsqFile;
    const std::vector<RunState*> savers{&p.a, &p.b, &c};
    Lay(p.dir.path(), p.oldFiles);
    std::vector<std::map<std::string, std::string>> whole;
    for (RunState* st : savers) {
        ASSERT_TRUE(SaveSnaFile(*st, p.name, true));
        whole.push_back(Visible(p.dir.path()));
        RunState back;
        ASSERT_TRUE(OpenProject(back, p.name));
        EXPECT_EQ(Names(back), Names(*st));
    }
    ASSERT_TRUE(whole[0] != whole[1] && whole[1] != whole[2] && whole[0] != whole[2]);
    const std::string journal = SaveJournalName(p.name);
    const auto one = [&](const std::map<std::string, std::string>& files) {
        return std::find(whole.begin(), whole.end(), files) != whole.end();
    };
    const auto saveIn = [&](RunState& st, const std::function<void()>& before) {
        const pid_t child = fork();
        if (child == 0) {
            before();
            try {
                SaveSnaFile(st, p.name, true);
            } catch (...) {
                _exit(1);
            }
            _exit(kFinished);
        }
        return child;
    };
    const auto finished = [](pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == kFinished;
    };

    // The first holds the lock; the second stages its files meanwhile (and
    // waits for the lock) and then runs: the second's whole project. A plain
    // save over a complexation one that comes in between, and a plain one
    // after one that removes the table it would remove.
    for (const auto& [start, first, second] : {std::tuple(1, 0, 1), std::tuple(0, 2, 1)}) {
        Lay(p.dir.path(), p.oldFiles);
        ASSERT_TRUE(SaveSnaFile(*savers[start], p.name, true));
        ASSERT_EQ(pipe(gGo), 0);
        const pid_t held = saveIn(*savers[first], [] {
            SetSaveStepWatch(PausedChange);
            gStep = 0;
        });
        while (!FileExists(p.dir.file(".p.sna.journal.lock")))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const pid_t next = saveIn(*savers[second], [] {});
        const std::string staged = ".p.sna.tmp" + std::to_string(next) + "_";
        bool seen = false;
        for (int wait = 0; !seen && wait < 5000; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            for (const auto& e : fs::directory_iterator(p.dir.path()))
                seen = seen || e.path().filename().string().rfind(staged, 0) == 0;
        }
        EXPECT_TRUE(seen);
        // (Time to go on to the lock.)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const char go = 1;
        EXPECT_EQ(write(gGo[1], &go, 1), 1);
        EXPECT_TRUE(finished(held)) << first;
        EXPECT_TRUE(finished(next)) << second;
        close(gGo[0]), close(gGo[1]);
        EXPECT_FALSE(FileExists(journal)) << first << " " << second;
        EXPECT_TRUE(Visible(p.dir.path()) == whole[second]) << first << " " << second;
    }

    // Unforced: each saver saves its project over and over, slowly.
    for (const std::size_t count : {2u, 3u}) {
        constexpr int kRounds = 30;
        Lay(p.dir.path(), p.oldFiles);
        ASSERT_TRUE(SaveSnaFile(p.a, p.name, true));
        std::vector<pid_t> children;
        for (std::size_t k = 0; k < count; ++k) {
            const pid_t child = fork();
            if (child == 0) {
                SetCommitRename([](const std::string& from, const std::string& to) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    return std::rename(from.c_str(), to.c_str()) == 0;
                });
                int failures = 0;
                for (int r = 0; r < kRounds; ++r) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(4));
                    const std::string raised =
                        RaisedMessage([&] { SaveSnaFile(*savers[k], p.name, true); });
                    if (raised != "(no error)")
                        ++failures, std::fprintf(stderr, "%s\n", raised.c_str());
                }
                _exit(failures);
            }
            children.push_back(child);
        }
        int snapshots = 0, mixtures = 0, failures = 0;
        for (std::size_t running = count; running > 0;) {
            {
                FileSaveSet hold;
                hold.UseJournal(journal);
                hold.Lock();
                const auto snapshot = Visible(p.dir.path());
                ++snapshots;
                if (!one(snapshot)) ++mixtures;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            for (pid_t& child : children) {
                int status = 0;
                if (child == 0 || waitpid(child, &status, WNOHANG) == 0) continue;
                failures += WIFEXITED(status) ? WEXITSTATUS(status) : 100;
                child = 0, --running;
            }
        }
        std::printf(
            "%zu savers, %d rounds each: %d snapshots under the lock, %d mixtures, %d "
            "failed saves\n",
            count, kRounds, snapshots, mixtures, failures);
        EXPECT_EQ(std::pair(mixtures, failures), std::pair(0, 0)) << count << " " << snapshots;
        EXPECT_FALSE(FileExists(journal));
        RunState back;
        EXPECT_TRUE(OpenProject(back, p.name));
        EXPECT_TRUE(one(Visible(p.dir.path())));
    }
}

// Another instance saves the project again and again, each time with the
// other composition (the same constituents in reverse order), slowly; every
// open meanwhile takes one whole project: each constituent's profile is the
// one its name had when it was saved.
TEST(ProjectSave, ASecondInstanceOpeningDuringSavesNeverTakesAMixture)
{
    TempDir dir;
    RecordingMessageSink sink;
    HostedRun ra, rb;
    ra.Init(40);
    RunState &a = ra.st, &b = rb.st;
    TUnivSet<TComponents> reversed;
    for (int i = a.Composition.Count(); i >= 1; --i) reversed.Add(a.Composition[i]);
    testcomp::PrepareRun(b, reversed, 40);
    ASSERT_TRUE(InitCalc(b));
    std::map<std::string, std::vector<double>> profile;
    for (int i = 1; i <= a.NComp; ++i)
        profile[a.Composition[i].name].assign(a.Arr.C(2, i), a.Arr.C(2, i) + a.NX + 1);
    const std::string name = dir.file("p.sna");
    ASSERT_TRUE(SaveSnaFile(a, name));

    const pid_t child = fork();
    if (child == 0) {
        SetCommitRename([](const std::string& from, const std::string& to) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            return std::rename(from.c_str(), to.c_str()) == 0;
        });
        try {
            for (int k = 0; k < 60; ++k) SaveSnaFile(k % 2 ? a : b, name);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int opens = 0, mixtures = 0, refusals = 0, status = 0;
    for (bool saving = true; saving;) {
        saving = waitpid(child, &status, WNOHANG) == 0;
        RunState back;
        bool opened = false;
        const std::string raised = RaisedMessage([&] { opened = OpenProject(back, name); });
        if (!opened) {
            ++refusals;
            ADD_FAILURE() << raised;
            continue;
        }
        ++opens;
        for (int i = 1; i <= back.NComp; ++i) {
            const std::vector<double>& expected = profile[back.Composition[i].name];
            for (int n = 0; n <= back.NX; ++n)
                if (std::fabs(back.Arr.C(2, i)[n] - expected.at(n)) > 1e-9 * (1 + expected[n])) {
                    ++mixtures;
                    break;
                }
        }
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(opens, 0);
    EXPECT_EQ(std::pair(mixtures, refusals), std::pair(0, 0)) << opens;
}

// Names: a save takes a project name only with ".sna" (in any case), so that
// no file of the save is staged onto another; one save set refuses a target it
// holds already; a save without Init raises and writes nothing.
TEST(ProjectSave, NamesEndInSnaAndASaveWithoutInitWritesNothing)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r;
    r.Init();
    RunState& st = r.st;
    for (const char* typed : {"q.cmp", "q", "q.txt", "Q.SNA"}) {
        const std::string saved = tmp.file(typed) + (std::string(typed) == "Q.SNA" ? "" : ".sna");
        EXPECT_EQ(ProjectSaveName(tmp.file(typed)), saved);
        ASSERT_TRUE(SaveSnaFile(st, tmp.file(typed))) << typed;
        EXPECT_EQ(st.FileName, saved);
        RunState back;
        ASSERT_TRUE(OpenProject(back, saved)) << typed;
        EXPECT_EQ(Names(back), Names(st)) << typed;
    }

    // Companions in capitals, as an older system names them, open with the
    // project, and a save replaces them in that spelling; where two
    // spellings lie there, the one in small letters is read.
    const std::string project = tmp.file("Q.SNA");
    fs::rename(tmp.file("Q.cmp"), tmp.file("Q.CMP"));
    fs::rename(tmp.file("Q.det"), tmp.file("Q.DET"));
    WriteBytes(tmp.file("Q.DET"), "not a record");
    sink.Clear();
    RunState back;
    ASSERT_TRUE(OpenProject(back, project));
    EXPECT_EQ(Names(back), Names(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kDetectorLeftOut + tmp.file("Q.DET")});
    sink.Clear();
    ASSERT_TRUE(SaveSnaFile(back, project));
    EXPECT_FALSE(FileExists(tmp.file("Q.cmp")) || FileExists(tmp.file("Q.det")));
    ASSERT_TRUE(OpenProject(back, project));
    EXPECT_EQ(Names(back), Names(st));
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    // A save that removes a companion (the table of a run without
    // complexation) whose twin in capitals would be read in its place by the
    // next open writes nothing and names the twin; a twin that is no table
    // (the user's notes) is no such file.
    const std::string table = "-1\t0\r\n4.76\r\n-42.4\r\n14\t362.5\t205\r\n0\r\n";
    WriteBytes(tmp.file("Q.txt"), table);
    WriteBytes(tmp.file("Q.TXT"), table);
    const auto twins = Folder(tmp.path());
    sink.Clear();
    EXPECT_FALSE(SaveSnaFile(st, project));
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{std::string(kSaveTwinCompanion) + "\n" + tmp.file("Q.TXT") +
                                       "\n" + kSavePreviousUnchanged});
    EXPECT_TRUE(Folder(tmp.path()) == twins);
    WriteBytes(tmp.file("Q.TXT"), "the user's notes");
    ASSERT_TRUE(SaveSnaFile(st, project));
    EXPECT_FALSE(FileExists(tmp.file("Q.txt")));
    EXPECT_EQ(ReadBytes(tmp.file("Q.TXT")), "the user's notes");
    fs::remove(tmp.file("Q.TXT"));
    sink.Clear();
    WriteBytes(tmp.file("Q.cmp"), "not a composition");
    EXPECT_FALSE(OpenProject(back, project));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect CMP File."});

    // A project another program saves under a new name while this save
    // writes its files is not replaced, nor one that a check without memory
    // enough could not tell would open; either way nothing is written.
    static std::string appearing;
    appearing = tmp.file("n.sna");
    const LockOpenFn plain = SetLockOpen([](const char* lock, int flags) {
        if (!FileExists(appearing)) WriteBytes(appearing, "theirs");
        return ::open(lock, flags, 0666);
    });
    sink.Clear();
    EXPECT_FALSE(SaveSnaFile(st, appearing));
    SetLockOpen(plain);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{std::string(kSaveNameTaken) + "\n" +
                                                      appearing + "\n" + kSavePreviousUnchanged});
    EXPECT_EQ(ReadBytes(appearing), "theirs");
    EXPECT_FALSE(FileExists(tmp.file("n.cmp")) || FileExists(tmp.file("n.det")));
    const auto before = Folder(tmp.path());
    const SaveCheckWatch unchecked = SetSaveCheckWatch([] { throw std::bad_alloc(); });
    for (const std::string& name : {project, tmp.file("m.sna")}) {
        sink.Clear();
        EXPECT_FALSE(SaveSnaFile(st, name));
        EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                     std::string(kSaveCheckOutOfMemory) + "\n" +
                                     (name == project ? kSavePreviousUnchanged : kSaveNoPrevious)});
        EXPECT_TRUE(Folder(tmp.path()) == before) << name;
    }
    SetSaveCheckWatch(unchecked);
    {
        FileSaveSet save;
        ASSERT_TRUE(save.Stage(tmp.file("x.cmp"), [](BinWriter& out) { out.Int32(1); }));
        EXPECT_EQ(RaisedMessage([&] {
                      save.Stage(tmp.file("sub/../x.cmp"), [](BinWriter& out) { out.Int32(2); });
                  }),
                  kSaveTargetTwice + tmp.file("sub/../x.cmp"));
    }
    EXPECT_FALSE(FileExists(tmp.file("x.cmp")));

    RunState fresh;
    EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(fresh, tmp.file("none")); }),
              "Initialization required.\n" + tmp.file("none.sna") + ": Nothing was saved.\n" +
                  kSaveNoPrevious);
    EXPECT_FALSE(FileExists(tmp.file("none.sna")) || FileExists(tmp.file("none.cmp")));
}

// Through a relative symbolic link to another relative link, every file of a
// save goes beside the file at the end of the chain, and the project opens
// there and through the links; a file that cannot be created is named with
// the reason, and the previous project is said to be unchanged.
TEST(ProjectSave, AChainOfLinksSavesBesideItsEndAndAFailedFileIsNamed)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r;
    r.Init();
    RunState& st = r.st;
    for (const char* d : {"a", "b", "real"}) fs::create_directory(tmp.path() / d);
    WriteBytes(tmp.file("real/t.sna"), "old");
    fs::create_symlink("../b/link2.sna", tmp.path() / "a/link1.sna");
    fs::create_symlink("../real/t.sna", tmp.path() / "b/link2.sna");
    ASSERT_TRUE(SaveSnaFile(st, tmp.file("a/link1.sna")));
    EXPECT_TRUE(fs::is_symlink(tmp.path() / "a/link1.sna") &&
                fs::is_symlink(tmp.path() / "b/link2.sna"));
    EXPECT_EQ(Folder(tmp.path() / "a").size(), 1u);
    EXPECT_EQ(Folder(tmp.path() / "b").size(), 1u);
    const auto real = Folder(tmp.path() / "real");
    EXPECT_EQ(real.size(), 3u);
    for (const char* f : {"t.sna", "t.cmp", "t.det"}) EXPECT_TRUE(real.count(f)) << f;
    for (const char* name : {"real/t.sna", "a/link1.sna", "b/link2.sna"}) {
        RunState back;
        ASSERT_TRUE(OpenProject(back, tmp.file(name))) << name;
        EXPECT_EQ(Names(back), Names(st)) << name;
    }

    // A name near the longest a folder holds: the names of the temporary,
    // backup, journal and lock files are cut to fit, so the project saves
    // (again over itself, with backups) and opens.
    const std::string longName = tmp.file(std::string(245, 'n') + ".sna");
    ASSERT_TRUE(SaveSnaFile(st, longName));
    ASSERT_TRUE(SaveSnaFile(st, longName));
    RunState back;
    ASSERT_TRUE(OpenProject(back, longName));
    EXPECT_EQ(Names(back), Names(st));
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(tmp.path())) {
        EXPECT_LE(e.path().filename().string().size(), 255u);
        ++entries;
    }
    // A name the folder cannot hold: named with the reason; there was none
    // before, and none is written.
    const std::string tooLong = tmp.file(std::string(252, 'n') + ".sna");
    EXPECT_EQ(RaisedMessage([&] { SaveSnaFile(st, tooLong); }),
              "Error: Can't write to file\n" + ChangeFileExt(tooLong, ".cmp") +
                  ": File name too long\n" + kSaveNoPrevious);
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(entries));
}
