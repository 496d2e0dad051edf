// The save of several files as one commit: temporary files beside the
// targets, backups of the old files, a journal while the renames run, and the
// settling of a journal left by a save that died.
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournalHeader = "KELVO SAVE JOURNAL";
constexpr const char* kJournalVersion = "1.0";

// Commits running in this process: a journal of this process's id is a
// running save only while one is.
std::atomic<int> gCommitsRunning{0};

// The file a save replaces: the target of a symbolic link (followed to its
// end), else the name itself.
fs::path SaveTarget(const std::string& name)
{
    std::error_code ec;
    if (!fs::is_symlink(name, ec)) return name;
    const fs::path real = fs::weakly_canonical(name, ec);
    return ec ? fs::path(name) : real;
}

// A hidden name beside `target`: "." + its name + `kind` + process and serial.
fs::path HiddenName(const fs::path& target, const char* kind)
{
    static std::atomic<unsigned> serial{0};
    return target.parent_path() / ("." + target.filename().string() + kind +
                                   std::to_string(::getpid()) + "_" + std::to_string(serial++));
}

// Creates a new temporary file beside `target` with the permission bits of an
// existing target. "" when it cannot be created (errno tells why).
std::string CreateTemp(const fs::path& target, KFile& file)
{
    const fs::path temp = HiddenName(target, ".tmp");
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return {};
    file = KFile(fd);
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    return temp.string();
}

bool PlainRename(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

CommitRenameFn gCommitRename = PlainRename;

void SyncDirectory(const fs::path& dir)
{
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool Exists(const std::string& name)
{
    struct stat s;
    return !name.empty() && ::lstat(name.c_str(), &s) == 0;
}

void Remove(const std::string& name)
{
    if (!name.empty()) ::unlink(name.c_str());
}

// One step of a commit as the journal keeps it (full names).
struct Step {
    bool remove = false;   // the target goes (renamed to its backup)
    bool existed = false;  // the target existed when the commit began
    std::string target, temp, backup;
};

// Puts the old files back after a commit that stopped at any point, from what
// lies on disk: a temporary file still there was not renamed (it goes, the old
// target is in place); a renamed one is undone from the backup of the old
// target (or the new target removed when there was none). The names of the
// old files that could not be put back, with their backups.
std::vector<std::string> RollBack(const std::vector<Step>& steps)
{
    std::vector<std::string> lost;
    for (const Step& s : steps) {
        if (s.remove) {
            if (Exists(s.backup) && ::rename(s.backup.c_str(), s.target.c_str()) != 0)
                lost.push_back(s.target + " (" + s.backup + ")");
            continue;
        }
        if (Exists(s.temp)) {
            Remove(s.temp);
            Remove(s.backup);
            continue;
        }
        if (!s.existed) {
            Remove(s.target);
            continue;
        }
        if (!Exists(s.backup) || ::rename(s.backup.c_str(), s.target.c_str()) != 0)
            lost.push_back(s.target + " (" + s.backup + ")");
    }
    return lost;
}

// What tells a running process from a later one of the same id (after the
// saver died or the machine restarted): the boot and the process's start time
// ("" where the system does not tell).
std::string ProcessIdentity(int pid)
{
    std::string boot, stat;
    {
        KFile f = KFile::Open("/proc/sys/kernel/random/boot_id", 0);
        char b[64] = {};
        if (!f.IsOpen() || ::read(f.Handle(), b, sizeof b - 1) <= 0) return {};
        boot = b;
    }
    KFile f = KFile::Open("/proc/" + std::to_string(pid) + "/stat", 0);
    char b[1024] = {};
    if (!f.IsOpen() || ::read(f.Handle(), b, sizeof b - 1) <= 0) return {};
    stat = b;
    // The start time is field 22; the name (field 2) ends at the last ')'.
    std::size_t at = stat.rfind(')');
    for (int field = 2; field < 22 && at != std::string::npos; ++field) at = stat.find(' ', at + 1);
    if (at == std::string::npos) return {};
    const std::size_t end = stat.find(' ', at + 1);
    while (!boot.empty() && (boot.back() == '\n' || boot.back() == ' ')) boot.pop_back();
    return boot + "/" + stat.substr(at + 1, end == std::string::npos ? end : end - at - 1);
}

// True while the save that wrote a journal (process `pid` of `identity`) runs.
bool ProcessAlive(int pid, const std::string& identity)
{
    if (pid == ::getpid()) return gCommitsRunning.load() > 0;
    if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) return false;
    return identity.empty() || ProcessIdentity(pid) == identity;
}

// A name the journal may hold for a file beside `target`: `target` itself
// has the stem of the journal's main file, the others are its hidden
// temporary or backup files.
bool HiddenOf(const fs::path& name, const fs::path& target, const char* kind)
{
    const std::string prefix = "." + target.filename().string() + kind;
    return name.parent_path() == target.parent_path() &&
           name.filename().string().rfind(prefix, 0) == 0 &&
           name.filename().string().size() > prefix.size();
}

std::string Stem(const fs::path& name)
{
    return name.stem().string();
}

// The main file of a journal ("." + main + ".journal").
fs::path MainOfJournal(const fs::path& journal)
{
    std::string name = journal.filename().string();
    const std::string suffix = ".journal";
    if (name.size() > suffix.size() + 1 && name[0] == '.' &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name = name.substr(1, name.size() - 1 - suffix.size());
    return journal.parent_path() / name;
}

// The journal names its files by their names in its own directory, so that
// a folder moved after a save died still has its old files put back.
void WriteJournalFile(BinWriter& out, const std::vector<Step>& steps)
{
    const auto file = [](const std::string& name) { return fs::path(name).filename().string(); };
    out.Fields(kJournalHeader, kJournalVersion, static_cast<std::int32_t>(::getpid()),
               ProcessIdentity(::getpid()), static_cast<std::int32_t>(steps.size()));
    for (const Step& s : steps)
        out.Fields(s.remove, s.existed, file(s.target), file(s.temp), file(s.backup));
    out.StringZ("EOF");
}

// A plain file name (no folder, not "." or "..").
bool PlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Reads an open journal; raises kSaveJournalDamaged + its name for one that is not
// a whole journal or names files that are not of its set.
std::vector<Step> ReadJournalFile(KFile& f, const std::string& journal, int& pid,
                                  std::string& identity)
{
    std::vector<Step> steps;
    try {
        BinReader in(f);
        in.Check(in.StringZ() == kJournalHeader && in.StringZ() == kJournalVersion);
        std::int32_t id = 0, count = 0;
        in.Fields(id, identity);
        in.Fields(count);
        in.RequireItems(count, 5);
        const fs::path main = MainOfJournal(journal);
        for (std::int32_t k = 0; k < count; ++k) {
            Step s;
            in.Fields(s.remove, s.existed, s.target, s.temp, s.backup);
            in.Check(PlainName(s.target) && (s.temp.empty() || PlainName(s.temp)) &&
                     (s.backup.empty() || PlainName(s.backup)));
            const fs::path dir = main.parent_path(), target = dir / s.target;
            s.target = target.string();
            if (!s.temp.empty()) s.temp = (dir / s.temp).string();
            if (!s.backup.empty()) s.backup = (dir / s.backup).string();
            in.Check(Stem(target) == Stem(main));
            in.Check(s.remove
                         ? s.temp.empty() && HiddenOf(s.backup, target, ".bak")
                         : HiddenOf(s.temp, target, ".tmp") &&
                               (s.existed ? HiddenOf(s.backup, target, ".bak") : s.backup.empty()));
            steps.push_back(s);
        }
        in.Check(in.Left() == 4 && in.StringZ() == "EOF");
        pid = id;
    } catch (const Exception&) {
        ThrowError(kSaveJournalDamaged + journal);
    }
    return steps;
}

// Creates the journal of `steps`, complete or not at all (a temporary file
// linked to the journal's name, which must not exist). False when another
// journal is there.
bool CreateJournal(const std::string& journal, const std::vector<Step>& steps)
{
    KFile file;
    const std::string temp = CreateTemp(journal, file);
    if (temp.empty()) throw SaveCommitFailed(journal, std::strerror(errno), {});
    try {
        BinWriter out(file);
        WriteJournalFile(out, steps);
        if (::fsync(file.Handle()) != 0) ThrowError("Error: Can't write to file");
        file.Close();
    } catch (const Exception&) {
        Remove(temp);
        throw SaveCommitFailed(journal, std::strerror(errno), {});
    }
    const bool linked = ::link(temp.c_str(), journal.c_str()) == 0;
    const int error = errno;
    Remove(temp);
    if (!linked && error != EEXIST) throw SaveCommitFailed(journal, std::strerror(error), {});
    if (linked) SyncDirectory(fs::path(journal).parent_path());
    return linked;
}

// The process id in the name of a temporary or backup file of a save
// ("...tmp<pid>_<serial>" or "...bak<pid>_<serial>"), 0 for another name.
int SaverOf(const std::string& name)
{
    for (const char* kind : {".tmp", ".bak"}) {
        const std::size_t at = name.rfind(kind);
        if (at == std::string::npos) continue;
        const std::string rest = name.substr(at + 4);
        const std::size_t bar = rest.find('_');
        if (bar == 0 || bar == std::string::npos || bar + 1 == rest.size() ||
            rest.find_first_not_of("0123456789_") != std::string::npos ||
            rest.find('_', bar + 1) != std::string::npos || bar > 9)
            continue;
        return std::stoi(rest.substr(0, bar));
    }
    return 0;
}

// Removes the temporary and backup files that saves of the set of `main`
// left beside it when their process ended before it could (their process is
// gone; the journal, settled, no longer needs them).
void SweepLeftovers(const fs::path& main)
{
    const std::string stem = main.stem().string();
    std::error_code ec;
    fs::directory_iterator it(main.parent_path().empty() ? "." : main.parent_path(), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Only the set's own files: "." + stem + "." + extension + kind (a
        // journal's temporary: ".." + stem + ".sna.journal" + kind), never
        // those of a project whose name merely begins with this one's.
        const bool journalTemp = name.rfind(".." + stem + ".", 0) == 0;
        if (!journalTemp && name.rfind("." + stem + ".", 0) != 0) continue;
        const int pid = SaverOf(name);
        if (pid <= 0) continue;
        std::size_t at = name.rfind(".tmp");
        const std::size_t bak = name.rfind(".bak");
        if (at == std::string::npos || (bak != std::string::npos && bak > at)) at = bak;
        const std::size_t from = stem.size() + (journalTemp ? 3 : 2);
        if (at == std::string::npos || at <= from) continue;
        const std::string middle = name.substr(from, at - from);
        if (journalTemp ? middle != "sna.journal" : middle.find('.') != std::string::npos) continue;
        if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) Remove(it->path().string());
    }
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

}  // namespace

SaveCommitFailed::SaveCommitFailed(std::string file, std::string reason,
                                   std::vector<std::string> kept)
    : Exception("Error: Can't write to file"),
      File(std::move(file)),
      Reason(std::move(reason)),
      Kept(std::move(kept))
{
}

FileSaveSet::~FileSaveSet()
{
    for (const Staged& s : staged_) Remove(s.temp);
}

bool FileSaveSet::StageByName(const std::string& name,
                              const std::function<bool(const std::string& tempName)>& write)
{
    const fs::path target = SaveTarget(name);
    for (const Staged& s : staged_) {
        std::error_code ec, ecHeld, ecNew;
        const fs::path held = fs::weakly_canonical(s.target, ecHeld);
        const fs::path added = fs::weakly_canonical(target, ecNew);
        if (s.target == target.string() || fs::equivalent(s.target, target, ec) ||
            (!ecHeld && !ecNew && held == added))
            ThrowError(kSaveTargetTwice + target.string());
    }
    KFile file;
    const std::string temp = CreateTemp(target, file);
    if (temp.empty()) {
        failure_ = target.string() + ": " + std::strerror(errno);
        return false;
    }
    file.Close();
    bool written = false;
    try {
        written = write(temp);
        if (written) {
            KFile synced = KFile::Open(temp, 0);
            if (!synced.IsOpen() || ::fsync(synced.Handle()) != 0)
                ThrowError("Error: Can't write to file");
        }
    } catch (...) {
        Remove(temp);
        throw;
    }
    if (!written) {
        Remove(temp);
        failure_ = target.string();
        return false;
    }
    staged_.push_back({target.string(), temp});
    return true;
}

bool FileSaveSet::Stage(const std::string& name, const std::function<void(BinWriter& out)>& write)
{
    return StageByName(name, [&](const std::string& temp) {
        KFile file = KFile::Open(temp, 2);
        if (!file.IsOpen()) ThrowError("Error: Can't write to file");
        BinWriter out(file);
        write(out);
        return true;
    });
}

void FileSaveSet::StageRemoval(const std::string& name)
{
    // A stale companion that is a symbolic link stays: the file it names may
    // be another folder's, and is never this save's to remove.
    std::error_code linkEc;
    if (fs::is_symlink(name, linkEc)) return;
    const fs::path target = SaveTarget(name);
    for (const Staged& s : staged_)
        if (s.target == target.string()) ThrowError(kSaveTargetTwice + target.string());
    staged_.push_back({target.string(), std::string(), true});
}

void FileSaveSet::UseJournal(const std::string& journal)
{
    journal_ = journal;
}

void FileSaveSet::Commit()
{
    std::vector<Step> steps;
    for (const Staged& s : staged_) {
        Step step;
        step.remove = s.remove;
        step.target = s.target;
        step.temp = s.temp;
        step.existed = Exists(s.target);
        if (s.remove && !step.existed) continue;
        if (step.existed) step.backup = HiddenName(s.target, ".bak").string();
        steps.push_back(step);
    }
    // A journal lists files of its own directory only (a reader refuses any
    // other): a set whose files lie elsewhere too is not journalled.
    const fs::path journalDir = fs::path(journal_).parent_path();
    for (const Step& s : steps)
        if (fs::path(s.target).parent_path() != journalDir) journal_.clear();
    // The journal is there before the first file changes: a reader that finds
    // it does not take the files as a set.
    if (!journal_.empty() && !CreateJournal(journal_, steps)) {
        if (!SettleSaveJournal(journal_)) ThrowError(kSaveInProgress + journal_);
        if (!CreateJournal(journal_, steps)) ThrowError(kSaveInProgress + journal_);
    }
    struct Running {
        Running() { ++gCommitsRunning; }
        ~Running() { --gCommitsRunning; }
    } running;
    // Ends the commit with the old files back in place (or the journal left
    // for the next reader when some cannot be put back).
    const auto fail = [&](const std::string& file, int error) {
        std::vector<std::string> lost = RollBack(steps);
        if (lost.empty() && !journal_.empty()) {
            Remove(journal_);
            SyncDirectory(fs::path(journal_).parent_path());
        }
        staged_.clear();
        throw SaveCommitFailed(file, std::strerror(error), lost);
    };
    // Backups of the targets that exist: a hard link (a copy where the file
    // system has none), so the old file stays in place until it is replaced.
    for (const Step& s : steps) {
        if (s.remove || !s.existed) continue;
        std::error_code ec;
        if (::link(s.target.c_str(), s.backup.c_str()) != 0 &&
            !fs::copy_file(s.target, s.backup, ec))
            fail(s.target, fs::is_directory(s.target, ec) ? EISDIR : EIO);
    }
    std::vector<fs::path> dirs;
    for (const Step& s : steps) {
        errno = 0;
        const bool done =
            s.remove ? gCommitRename(s.target, s.backup) : gCommitRename(s.temp, s.target);
        if (!done) fail(s.target, errno ? errno : EIO);
        const fs::path dir = fs::path(s.target).parent_path();
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
    }
    staged_.clear();
    for (const fs::path& dir : dirs) SyncDirectory(dir);
    if (!journal_.empty()) {
        Remove(journal_);
        SyncDirectory(fs::path(journal_).parent_path());
    }
    for (const Step& s : steps) Remove(s.backup);
    if (!journal_.empty()) SweepLeftovers(MainOfJournal(journal_));
}

std::string SaveJournalName(const std::string& target)
{
    const fs::path t = target;
    return (t.parent_path() / ("." + t.filename().string() + ".journal")).string();
}

bool SettleSaveJournal(const std::string& journal)
{
    // A journal is complete from the moment it has its name until it goes: one
    // that goes before it is opened belongs to a save that has ended.
    // (A next save may have made a new one meanwhile: read again later.)
    // A journal is a plain file written by a save: a link, a pipe or a file
    // far larger than any journal is refused, never followed, waited on or read.
    const int fd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return !Exists(journal);
        ThrowError(kSaveJournalDamaged + journal + ": " + std::strerror(errno));
    }
    KFile file(fd);
    struct stat kind;
    if (::fstat(fd, &kind) != 0 || !S_ISREG(kind.st_mode) || kind.st_size > (1 << 20))
        ThrowError(kSaveJournalDamaged + journal);
    int pid = 0;
    std::string identity;
    const std::vector<Step> steps = ReadJournalFile(file, journal, pid, identity);
    if (ProcessAlive(pid, identity)) return false;
    const std::vector<std::string> lost = RollBack(steps);
    if (!lost.empty()) ThrowError(kSaveNotRestored + Joined(lost));
    Remove(journal);
    SyncDirectory(fs::path(journal).parent_path());
    return true;
}

std::string SaveTargetName(const std::string& name)
{
    return SaveTarget(name).string();
}

CommitRenameFn SetCommitRename(CommitRenameFn rename)
{
    const CommitRenameFn previous = gCommitRename;
    gCommitRename = rename ? rename : PlainRename;
    return previous;
}

bool SaveFileAtomically(const std::string& name, const std::function<void(BinWriter& out)>& write)
{
    FileSaveSet save;
    if (!save.Stage(name, write)) return false;
    save.Commit();
    return true;
}
