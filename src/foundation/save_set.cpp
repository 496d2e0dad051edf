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
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournalHeader = "KELVO SAVE JOURNAL";
// Version 2.2 tells each file of a step by its size and a digest of its bytes
// (what a remount or a copy of the folder keeps). Versions 2.1 and 2.0 told
// them by device and inode numbers, which a remount or a copy renumbers: they
// are read, and their numbers never taken as telling anything.
constexpr const char* kJournalVersion = "2.2";
constexpr const char* kJournalVersion21 = "2.1";
constexpr const char* kJournalVersion20 = "2.0";
// What a file of a save is told by: its first and last this many bytes (the
// whole of a file up to twice the size).
constexpr std::int64_t kPrintSpan = 1 << 20;
// The visible name a file is set aside under when a settle cannot tell it for
// the save's own: its name + this (numbered when taken).
constexpr const char* kAsideSuffix = ".from-interrupted-save";
// The files a journal may name: the project's stem with one of these, in
// the order a journalled commit replaces them (the main file last).
constexpr const char* kSetExtensions[] = {".cmp", ".psq", ".opt", ".det", ".txt", ".sna"};
// The longest name of a file in a folder (the file systems in use).
constexpr std::size_t kNameMax = 255;
// How often a save waits 20 ms for another save of its set.
constexpr int kLockWaits = 250;

std::atomic<unsigned> gSerial{0};

// What tells the hidden files of one staged file from those of any other: the
// saving process and a serial number ("<pid>_<serial>").
std::string NewToken()
{
    return std::to_string(::getpid()) + "_" + std::to_string(gSerial++);
}

// The file a save replaces: the target of a symbolic link (followed to its
// end), else the name itself.
fs::path SaveTarget(const std::string& name)
{
    std::error_code ec;
    if (!fs::is_symlink(name, ec)) return name;
    const fs::path real = fs::weakly_canonical(name, ec);
    return ec ? fs::path(name) : real;
}

std::uint32_t NameHash(const std::string& text)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// `text` cut to at most `bytes` bytes, never inside a UTF-8 character (a
// folder may refuse a name that is no valid UTF-8).
std::string CutAtCharacter(const std::string& text, std::size_t bytes)
{
    if (text.size() <= bytes) return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
    return text.substr(0, bytes);
}

// A hidden name beside `target`: "." + its name + `kind` + `token`. Where that
// would pass the longest name a folder holds, the name is cut and a hash of
// the whole of it keeps names of different files apart.
fs::path HiddenName(const fs::path& target, const std::string& kind, const std::string& token)
{
    const std::string leaf = target.filename().string();
    std::string hidden = "." + leaf + kind + token;
    if (hidden.size() > kNameMax) {
        char hash[16];
        std::snprintf(hash, sizeof hash, "~%08x", NameHash(leaf));
        const std::size_t keep = kNameMax - 1 - std::strlen(hash) - kind.size() - token.size();
        hidden = "." + CutAtCharacter(leaf, keep) + hash + kind + token;
    }
    return target.parent_path() / hidden;
}

NameCheckFn gNameCheck = nullptr;
FileNumbersFn gFileNumbers = nullptr;

// True (errno set) when the folder will not hold a file of `name`.
bool NameRefused(const std::string& name)
{
    const int error = gNameCheck ? gNameCheck(name.c_str()) : 0;
    if (error) errno = error;
    return error != 0;
}

// True when `a` and `b` are one file (as the file system numbers it now).
bool SameFile(const struct stat& a, const struct stat& b)
{
    dev_t devA = a.st_dev, devB = b.st_dev;
    ino_t inoA = a.st_ino, inoB = b.st_ino;
    if (gFileNumbers) gFileNumbers(devA, inoA), gFileNumbers(devB, inoB);
    return devA == devB && inoA == inoB;
}

// Creates a new temporary file beside `target` with the permission bits of an
// existing target. "" when it cannot be created (errno tells why).
std::string CreateTemp(const fs::path& target, const std::string& token, KFile& file)
{
    const fs::path temp = HiddenName(target, ".tmp", token);
    if (NameRefused(temp.string())) return {};
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

int PlainLink(const char* from, const char* to)
{
    return ::link(from, to);
}

CommitRenameFn gCommitRename = PlainRename;
SaveLinkFn gLink = PlainLink;
SettlePauseFn gSettlePause = nullptr;
SaveStepWatch gWatch = nullptr;
int PlainLockOpen(const char* name, int flags)
{
    return ::open(name, flags, 0666);
}
LockOpenFn gLockOpen = PlainLockOpen;

// Before and after each change of a file by a commit or a settle.
void Changing(const std::string& name)
{
    if (gWatch) gWatch(name);
}

bool Rename(const std::string& from, const std::string& to)
{
    if (NameRefused(to)) return false;
    Changing(from);
    const bool done = ::rename(from.c_str(), to.c_str()) == 0;
    const int error = errno;
    Changing(to);
    errno = error;
    return done;
}

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
    if (!Exists(name)) return;
    Changing(name);
    ::unlink(name.c_str());
    Changing(name);
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

// A digest of `count` bytes at `data`, continuing `h`: eight bytes at a time
// as a little-endian word, each mixed in by a multiplication and a shift.
std::uint64_t Digest(const unsigned char* data, std::size_t count, std::uint64_t h)
{
    constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15ull;
    std::size_t at = 0;
    for (; at + 8 <= count; at += 8) {
        std::uint64_t word = 0;
        for (int b = 7; b >= 0; --b) word = word << 8 | data[at + b];
        h = (h ^ word) * kMix;
        h ^= h >> 29;
    }
    std::uint64_t word = 0;
    for (std::size_t b = count - at; b-- > 0;) word = word << 8 | data[at + b];
    h = (h ^ word ^ (static_cast<std::uint64_t>(count - at) << 56)) * kMix;
    return h ^ (h >> 32);
}

// Reads `buffer.size()` bytes of the open file `fd` from `at`; false when it cannot.
bool ReadAt(int fd, std::int64_t at, std::vector<unsigned char>& buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + done, buffer.size() - done,
                                  static_cast<off_t>(at + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// What a save tells a file by, which a remount or a copy of the folder keeps:
// "<size>:<digest>", the digest of its first and last kPrintSpan bytes (of
// the whole of a file up to twice that size) in 16 hexadecimal digits; ""
// for no regular file or one that cannot be read.
std::string PrintOfOpen(int fd)
{
    struct stat s;
    if (::fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) return {};
    const std::int64_t size = s.st_size;
    std::uint64_t h = Digest(nullptr, 0, static_cast<std::uint64_t>(size));
    std::vector<unsigned char> span(static_cast<std::size_t>(std::min(size, 2 * kPrintSpan)));
    if (size <= 2 * kPrintSpan) {
        if (!ReadAt(fd, 0, span)) return {};
        h = Digest(span.data(), span.size(), h);
    } else {
        span.resize(kPrintSpan);
        for (const std::int64_t at : {std::int64_t(0), size - kPrintSpan}) {
            if (!ReadAt(fd, at, span)) return {};
            h = Digest(span.data(), span.size(), h);
        }
    }
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(h));
    return std::to_string(size) + ":" + digest;
}

// The same for the file `name` (a link is no file of a save: "").
std::string PrintOf(const std::string& name)
{
    if (name.empty()) return {};
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    KFile file(fd);
    return PrintOfOpen(fd);
}

// One step of a commit as the journal keeps it: the target's extension, the
// token of its hidden files and what tells its old and its new file; the
// full names follow from the set's main file.
struct Step {
    bool remove = false;   // the target goes (renamed to its backup)
    bool existed = false;  // the target existed when the commit began
    std::string ext, token;
    // The prints (PrintOf) of the old target, taken under the set's lock as
    // the commit began, and of the new file, taken from its temporary as it
    // was written; "" for none.
    std::string oldPrint, newPrint;
    // False for a journal of version 2.0 or 2.1, which told the files by
    // device and inode numbers (oldId, backupId, newId) that a remount or a
    // copy changes: nothing is taken from them.
    bool printed = true;
    std::string oldId, backupId, newId;
    std::string target, temp, backup;
};

// True when `file` holds the bytes `print` recorded in a journal with prints.
bool Holds(const Step& s, const std::string& file, const std::string& print)
{
    return s.printed && !print.empty() && PrintOf(file) == print;
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The extension of a set's main file: ".sna" in any case, as the open takes it.
bool MainExtension(const std::string& ext)
{
    return Lower(ext) == ".sna";
}

// The full names of a step of the set of `main` (same folder, same stem).
void NameStep(Step& s, const fs::path& main)
{
    const fs::path target = main.parent_path() / (main.stem().string() + s.ext);
    s.target = target.string();
    s.temp = s.remove ? std::string() : HiddenName(target, ".tmp", s.token).string();
    s.backup = s.existed ? HiddenName(target, ".bak", s.token).string() : std::string();
}

// Where the old file of a step is after a commit stopped at any point (and
// after any part of a settle of it): "" when there was none, the target when
// it is in place, its backup when the new file took its place. A step whose
// old file is nowhere gives `lost`. Only names and bytes are asked: what a
// remount or a copy of the folder keeps.
//
// A removal renames its target to its backup: the old file is the backup
// when there is one, else the target in place (the step had not begun, or a
// settle put it back). A replacement has a backup from before the journal
// until the old file is back: a temporary still there was not renamed (the
// old target is in place); without it, a backup still there holds the old
// file; without either, a settle put it back, and the target is the old file
// when it holds the bytes recorded for it.
//
// A step that has not begun (`begun` false: the saver knows its own progress)
// changed nothing: a removal whose target has gone meanwhile has nothing to
// put back.
std::string OldFileOf(const Step& s, bool& lost, bool begun = true)
{
    lost = false;
    if (!s.existed) return {};
    if (s.remove) {
        if (begun && Exists(s.backup)) return s.backup;
        if (Exists(s.target)) return s.target;
        lost = begun;
        return {};
    }
    if (Exists(s.temp)) return s.target;
    if (Exists(s.backup)) return s.backup;
    if (Exists(s.target) && (!s.printed || Holds(s, s.target, s.oldPrint))) return s.target;
    lost = true;
    return {};
}

// Moves `name` aside to a visible name beside it: its name + kAsideSuffix
// (numbered when taken; cut where the name would be too long for a folder),
// which `aside` gets. False when it cannot be moved.
bool SetAside(const std::string& name, std::vector<std::string>& aside)
{
    const fs::path file = name;
    const std::string leaf = file.filename().string();
    for (int n = 1; n < 1000; ++n) {
        const std::string suffix =
            kAsideSuffix + (n == 1 ? std::string() : "." + std::to_string(n));
        const std::string to =
            (file.parent_path() / (CutAtCharacter(leaf, kNameMax - suffix.size()) + suffix))
                .string();
        if (Exists(to)) continue;
        if (!Rename(name, to)) return false;
        aside.push_back(to);
        return true;
    }
    return false;
}

// Puts the old files back after a commit that stopped at any point, from what
// lies on disk; a settle ended on its way is finished by the next, and the
// saver's own rollback is the same. The names of the old files that could not
// be put back, with their backups. A file in a target's place that the
// journal cannot tell for the save's own (neither its new nor its old file)
// is set aside under a visible name (`aside`), never deleted nor left to be
// read as the project's. The steps from `begun` on had not begun (a saver's
// own rollback knows; a settle takes every step as begun).
std::vector<std::string> RollBack(const std::vector<Step>& steps, std::vector<std::string>& aside,
                                  std::size_t begun = std::size_t(-1))
{
    std::vector<std::string> lost;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const Step& s = steps[k];
        const std::string kept = s.target + (s.backup.empty() ? "" : " (" + s.backup + ")");
        bool gone = false;
        const std::string old = OldFileOf(s, gone, k < begun);
        if (gone) {
            lost.push_back(kept);
            continue;
        }
        const bool renamed = !s.remove && !Exists(s.temp);
        Remove(s.temp);
        if (!s.existed) {
            // The target had no file: the one there since the temporary went
            // is the save's new file when it holds its bytes and goes.
            if (k >= begun || !renamed || !Exists(s.target)) continue;
            if (Holds(s, s.target, s.newPrint))
                Remove(s.target);
            else if (!SetAside(s.target, aside))
                lost.push_back(kept);
        } else if (old == s.backup) {
            if (Exists(s.target) && s.printed && !Holds(s, s.target, s.newPrint) &&
                !Holds(s, s.target, s.oldPrint) && !SetAside(s.target, aside))
                lost.push_back(kept);
            else if (!Rename(s.backup, s.target))
                lost.push_back(kept);
        } else {
            Remove(s.backup);
        }
    }
    return lost;
}

// The lock of a save set: an advisory lock on a file beside the set, held by
// a save from its journal to its last rename and by whoever settles the set;
// the kernel drops it when its process ends. The file goes with the lock.
class SetLock {
public:
    enum class Outcome { Held, Busy, NotWritable };
    SetLock() = default;
    SetLock(const SetLock&) = delete;
    SetLock& operator=(const SetLock&) = delete;
    ~SetLock() { Release(); }

    // One attempt. NotWritable: the folder cannot be written (Error() tells
    // why) and no save holds the set. A lock file that cannot be opened for
    // writing (another user's) locks through a read-only descriptor: flock
    // needs no more.
    Outcome Take(const std::string& name)
    {
        name_ = name;
        if (NameRefused(name)) {
            error_ = errno;
            return Outcome::NotWritable;
        }
        for (int round = 0; round < 16; ++round) {
            int fd = gLockOpen(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW);
            error_ = fd >= 0 ? 0 : errno;
            if (fd < 0) {
                fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
                if (fd < 0) return Outcome::NotWritable;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                return Outcome::Busy;
            }
            // The file may have gone with the lock of another between open and
            // flock: only the lock of the file under the name counts.
            struct stat held, named;
            if (::fstat(fd, &held) != 0 || ::lstat(name.c_str(), &named) != 0 ||
                !SameFile(held, named)) {
                ::close(fd);
                continue;
            }
            fd_ = fd;
            // Whether the set can be changed is the folder's to say.
            const fs::path dir = fs::path(name).parent_path();
            error_ = ::access(dir.empty() ? "." : dir.c_str(), W_OK) != 0 ? errno : 0;
            return error_ ? Outcome::NotWritable : Outcome::Held;
        }
        return Outcome::Busy;
    }
    void Release()
    {
        if (fd_ < 0) return;
        Remove(name_);
        ::close(fd_);
        fd_ = -1;
    }
    int Error() const { return error_; }

private:
    std::string name_;
    int fd_ = -1;
    int error_ = 0;
};

// The lock file of the set whose journal is `journal`: its name + ".lock",
// cut to the longest name a folder holds.
std::string LockName(const std::string& journal)
{
    const fs::path j = journal;
    const std::string leaf = j.filename().string();
    return (j.parent_path() / (CutAtCharacter(leaf, kNameMax - 5) + ".lock")).string();
}

// A journal names no file: it holds the stem of the set's main file and, per
// step, the extension of its target, the token of its hidden files and the
// prints of its old and new file.
void WriteJournalFile(BinWriter& out, const std::string& stem, const std::vector<Step>& steps)
{
    out.Fields(kJournalHeader, kJournalVersion, stem, static_cast<std::int32_t>(steps.size()));
    for (const Step& s : steps)
        out.Fields(s.ext, s.remove, s.existed, s.token, s.oldPrint, s.newPrint);
    out.StringZ("EOF");
}

// The place of `ext` among the set's extensions in any case (a companion of
// an older system's project is ".CMP"), std::size(kSetExtensions) for none.
std::size_t SetRank(const std::string& ext)
{
    const std::string own = Lower(ext);
    std::size_t k = 0;
    while (k < std::size(kSetExtensions) && own != kSetExtensions[k]) ++k;
    return k;
}

bool SetExtension(const std::string& ext)
{
    return SetRank(ext) < std::size(kSetExtensions);
}

// The main file of the set of `stem` in `dir` whose steps are `exts`: the
// stem with the extension of its main step (".sna" without one).
fs::path MainFile(const fs::path& dir, const std::string& stem,
                  const std::vector<std::string>& exts)
{
    for (const std::string& ext : exts)
        if (MainExtension(ext)) return dir / (stem + ext);
    return dir / (stem + ".sna");
}

// The bytes of the journal `name`, false for none. A journal is a plain file
// written by a save: a link, a pipe or a file far larger than any journal
// raises kSaveJournalDamaged, never followed, waited on or read.
// The file stays open as `file`.
bool OpenJournalFile(const std::string& name, KFile& file, std::string& bytes)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return false;
        ThrowError(kSaveJournalDamaged + name + ": " + std::strerror(errno));
    }
    file = KFile(fd);
    struct stat kind;
    if (::fstat(fd, &kind) != 0 || !S_ISREG(kind.st_mode) || kind.st_size > (1 << 20))
        ThrowError(kSaveJournalDamaged + name);
    std::vector<unsigned char> read(static_cast<std::size_t>(kind.st_size));
    if (!ReadAt(fd, 0, read)) ThrowError(kSaveJournalDamaged + name);
    bytes.assign(read.begin(), read.end());
    return true;
}

bool JournalBytes(const std::string& name, std::string& bytes)
{
    KFile file;
    return OpenJournalFile(name, file, bytes);
}

// True when the journal `bytes` found as `journal` is the journal of the set
// of `main`: its name, or on a folder that does not tell case that name in
// another case (the name folded, the same bytes under the set's own
// spelling: a folder may number two spellings of one file apart).
bool JournalOf(const fs::path& main, const std::string& journal, const std::string& bytes)
{
    const std::string own = SaveJournalName(main.string());
    if (own == journal) return true;
    std::string ownBytes;
    try {
        return Lower(own) == Lower(journal) && JournalBytes(own, ownBytes) && ownBytes == bytes;
    } catch (const Exception&) {
        return false;
    }
}

bool TokenText(const std::string& token, const char* digitsAnd)
{
    return !token.empty() && token.size() <= 48 &&
           token.find_first_not_of(std::string("0123456789") + digitsAnd) == std::string::npos;
}

// Reads an open journal of the set beside `journal`; raises kSaveJournalDamaged
// + its name for one that is not a whole journal, is of another set or names
// any file but the set's own (the stem of its main file with one of the set's
// extensions, each once).
std::vector<Step> ReadJournalFile(KFile& f, const std::string& journal, const std::string& bytes,
                                  fs::path& main)
{
    std::vector<Step> steps;
    try {
        BinReader in(f);
        in.Check(in.StringZ() == kJournalHeader);
        const std::string version = in.StringZ();
        const bool printed = version == kJournalVersion, identities = version == kJournalVersion21;
        in.Check(printed || identities || version == kJournalVersion20);
        std::string stem;
        std::int32_t count = 0;
        in.Fields(stem, count);
        in.Check(!stem.empty() && stem.find('/') == std::string::npos);
        in.RequireItems(count, identities ? 7 : 6);
        in.Check(count <= static_cast<std::int32_t>(std::size(kSetExtensions)));
        for (std::int32_t k = 0; k < count; ++k) {
            Step s;
            s.printed = printed;
            in.Fields(s.ext, s.remove, s.existed, s.token);
            if (printed)
                in.Fields(s.oldPrint, s.newPrint);
            else
                in.Fields(s.oldId, s.backupId);
            if (identities) in.Fields(s.newId);
            const bool made = !s.existed && !s.remove;
            in.Check(SetExtension(s.ext) && TokenText(s.token, "_") && (s.existed || !s.remove));
            if (printed)
                in.Check((s.existed ? TokenText(s.oldPrint, ":abcdef") : s.oldPrint.empty()) &&
                         (s.remove ? s.newPrint.empty() : TokenText(s.newPrint, ":abcdef")));
            else
                in.Check((s.existed ? TokenText(s.oldId, ":") && TokenText(s.backupId, ":")
                                    : s.oldId.empty() && s.backupId.empty()) &&
                         (made && identities ? TokenText(s.newId, ":") : s.newId.empty()));
            for (const Step& other : steps)
                in.Check(Lower(other.ext) != Lower(s.ext) &&
                         !(MainExtension(other.ext) && MainExtension(s.ext)));
            steps.push_back(s);
        }
        in.Check(in.Left() == 4 && in.StringZ() == "EOF");
        std::vector<std::string> exts;
        for (const Step& s : steps) exts.push_back(s.ext);
        main = MainFile(fs::path(journal).parent_path(), stem, exts);
        in.Check(JournalOf(main, journal, bytes));
        for (Step& s : steps) NameStep(s, main);
    } catch (const Exception&) {
        ThrowError(kSaveJournalDamaged + journal);
    }
    return steps;
}

// Writes the journal complete to a temporary file and renames it into place.
// Raises SaveCommitFailed (nothing else changed) when it cannot.
void CreateJournal(const std::string& journal, const std::string& stem,
                   const std::vector<Step>& steps)
{
    KFile file;
    const std::string temp = CreateTemp(journal, NewToken(), file);
    if (temp.empty()) throw SaveCommitFailed(journal, std::strerror(errno), {});
    try {
        BinWriter out(file);
        WriteJournalFile(out, stem, steps);
        if (::fsync(file.Handle()) != 0) ThrowError("Error: Can't write to file");
        file.Close();
    } catch (const Exception&) {
        const int error = errno;
        Remove(temp);
        throw SaveCommitFailed(journal, std::strerror(error), {});
    }
    if (!Rename(temp, journal)) {
        const int error = errno;
        Remove(temp);
        throw SaveCommitFailed(journal, std::strerror(error), {});
    }
    SyncDirectory(fs::path(journal).parent_path());
}

// The process of the saver that left `name` (a leaf) beside the set of
// `main`, 0 when it is none of the set's hidden files: a temporary or backup
// of one of the set's files, or the temporary of its journal. A name is the
// set's own only when the set derives exactly that name (a cut name with
// the hash of the whole), so another project's never is, whatever its name
// begins with.
int SaverOf(const fs::path& main, const std::string& name)
{
    const fs::path dir = main.parent_path();
    const std::string stem = main.stem().string();
    for (const char* kind : {".tmp", ".bak"}) {
        const std::size_t at = name.rfind(kind);
        if (at == std::string::npos) continue;
        const std::string token = name.substr(at + 4);
        const std::size_t bar = token.find('_');
        if (!TokenText(token, "_") || bar == 0 || bar == std::string::npos || bar > 9 ||
            bar + 1 == token.size() || token.find('_', bar + 1) != std::string::npos)
            continue;
        std::vector<fs::path> targets{main};
        for (const char* ext : kSetExtensions) targets.push_back(dir / (stem + ext));
        if (std::string(kind) == ".tmp") targets.push_back(SaveJournalName(main.string()));
        for (const fs::path& target : targets)
            if (HiddenName(target, kind, token).filename() == name)
                return std::stoi(token.substr(0, bar));
    }
    return 0;
}

// Removes the temporary and backup files that saves of the set of `main`
// left beside it when their process ended before it could (their process is
// gone; the journal, settled, no longer needs them).
void SweepLeftovers(const fs::path& main)
{
    std::error_code ec;
    fs::directory_iterator it(main.parent_path().empty() ? "." : main.parent_path(), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const int pid = SaverOf(main, it->path().filename().string());
        if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH)
            Remove(it->path().string());
    }
}

// Settles the journal `journal` (steps `steps`) while its lock is held: the
// old files go back and the journal goes; `aside` gets the files set aside.
// Raises kSaveNotRestored with the files that could not be put back (the
// journal then stays).
void SettleHeld(const std::string& journal, const std::vector<Step>& steps,
                std::vector<std::string>& aside)
{
    const std::vector<std::string> lost = RollBack(steps, aside);
    if (!lost.empty()) ThrowError(kSaveNotRestored + Joined(lost));
    Remove(journal);
    SyncDirectory(fs::path(journal).parent_path());
}

// Opens and reads the journal; false when there is none. Its `bytes` tell
// this journal from any later one under its name (each save's tokens are
// its own).
bool OpenJournal(const std::string& journal, std::vector<Step>& steps, fs::path& main,
                 std::string& bytes)
{
    KFile file;
    if (!OpenJournalFile(journal, file, bytes)) return false;
    steps = ReadJournalFile(file, journal, bytes, main);
    return true;
}

bool SameJournal(const std::string& journal, const std::string& bytes)
{
    std::string now;
    try {
        return JournalBytes(journal, now) && now == bytes;
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

SaveCommitFailed::SaveCommitFailed(std::string file, std::string reason,
                                   std::vector<std::string> kept)
    : SaveCommitFailed(std::move(file), std::move(reason), std::move(kept),
                       "Error: Can't write to file")
{
}

SaveCommitFailed::SaveCommitFailed(std::string file, std::string reason,
                                   std::vector<std::string> kept, const std::string& own)
    : Exception(own), File(std::move(file)), Reason(std::move(reason)), Kept(std::move(kept))
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
    std::string token = NewToken(), temp = CreateTemp(target, token, file);
    // A file of that name left by a process of the same id (before a restart).
    for (int retry = 0; temp.empty() && errno == EEXIST && retry < 8; ++retry)
        temp = CreateTemp(target, token = NewToken(), file);
    if (temp.empty()) {
        failure_ = target.string() + ": " + std::strerror(errno);
        return false;
    }
    file.Close();
    bool written = false;
    std::string print;
    try {
        errno = 0;
        written = write(temp);
        if (written) {
            // Synced, and told by its bytes as written (no one else writes a
            // temporary of this token).
            KFile synced = KFile::Open(temp, 0);
            if (!synced.IsOpen() || ::fsync(synced.Handle()) != 0 ||
                (print = PrintOfOpen(synced.Handle())).empty())
                ThrowError("Error: Can't write to file");
        }
    } catch (const Exception& e) {
        // The file and why (a full disk): the message of the write alone names neither.
        const int error = errno;
        Remove(temp);
        throw SaveCommitFailed(target.string(), std::strerror(error ? error : EIO), {},
                               e.Message());
    } catch (...) {
        Remove(temp);
        throw;
    }
    if (!written) {
        Remove(temp);
        failure_ = target.string();
        return false;
    }
    staged_.push_back({target.string(), temp, token, false, print});
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
    staged_.push_back({target.string(), std::string(), NewToken(), true, std::string()});
}

void FileSaveSet::UseJournal(const std::string& journal)
{
    journal_ = journal;
}

void FileSaveSet::Discard()
{
    for (const Staged& s : staged_) Remove(s.temp);
    staged_.clear();
    lock_.reset();
}

void FileSaveSet::Lock()
{
    if (lock_ || journal_.empty()) return;
    // The set is this save's from here to its last rename: a save that died
    // before is settled first, one that runs is waited for.
    auto lock = std::make_shared<SetLock>();
    for (int wait = 0;; ++wait) {
        const SetLock::Outcome taken = lock->Take(LockName(journal_));
        if (taken == SetLock::Outcome::Held) break;
        if (taken == SetLock::Outcome::NotWritable)
            throw SaveCommitFailed(LockName(journal_), std::strerror(lock->Error()), {});
        if (wait == kLockWaits) ThrowError(kSaveInProgress + journal_);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::vector<Step> left;
    fs::path main;
    std::string bytes;
    if (OpenJournal(journal_, left, main, bytes)) SettleHeld(journal_, left, setAside_);
    lock_ = std::move(lock);
}

void FileSaveSet::Commit()
{
    // A journal lists the files of its set only (the stem of its main file
    // with the set's extensions, in its folder; a reader refuses any other):
    // a set with other files is not journalled.
    std::string stem;
    std::vector<std::string> exts;
    for (const Staged& s : staged_) {
        const fs::path target = s.target;
        exts.push_back(target.extension().string());
        if (MainExtension(exts.back())) stem = target.stem().string();
    }
    const fs::path dir = fs::path(journal_).parent_path();
    if (journal_.empty() || stem.empty() ||
        SaveJournalName(MainFile(dir, stem, exts).string()) != journal_)
        journal_.clear();
    for (const Staged& s : staged_)
        if (!journal_.empty() &&
            (!SetExtension(fs::path(s.target).extension().string()) ||
             fs::path(s.target).stem().string() != stem || fs::path(s.target).parent_path() != dir))
            journal_.clear();
    // The set's files go in one order, whatever order a save staged them in
    // (the removals it decided under the lock after the files it wrote).
    if (!journal_.empty())
        std::stable_sort(staged_.begin(), staged_.end(), [](const Staged& x, const Staged& y) {
            return SetRank(fs::path(x.target).extension().string()) <
                   SetRank(fs::path(y.target).extension().string());
        });
    // What the folder holds is read under the set's lock.
    Lock();
    const std::shared_ptr<void> held = std::move(lock_);
    std::vector<Step> steps;
    for (const Staged& s : staged_) {
        Step step;
        step.remove = s.remove;
        step.target = s.target;
        step.existed = Exists(s.target);
        if (s.remove && !step.existed) continue;
        step.token = s.token;
        step.ext = fs::path(s.target).extension().string();
        step.temp = s.temp;
        if (step.existed) {
            step.backup = HiddenName(s.target, ".bak", s.token).string();
            step.oldPrint = PrintOf(s.target);
            // (A target that is no plain file, a folder, fails its backup.)
            if (step.oldPrint.empty()) step.oldPrint = "0:0";
        }
        step.newPrint = s.print;
        steps.push_back(step);
    }
    // Ends the commit with the old files back in place (or the journal left
    // for the next reader when some cannot be put back).
    bool journalled = false;
    const auto fail = [&](const std::string& file, int error, std::size_t begun) {
        std::vector<std::string> aside;
        std::vector<std::string> lost = RollBack(steps, aside, begun);
        if (lost.empty() && journalled) {
            Remove(journal_);
            SyncDirectory(fs::path(journal_).parent_path());
        }
        staged_.clear();
        throw SaveCommitFailed(file, std::strerror(error), lost);
    };
    // Backups of the targets that exist: a hard link (a copy where the file
    // system has none), so the old file stays in place until it is replaced.
    for (std::size_t k = 0; k < steps.size(); ++k) {
        Step& s = steps[k];
        if (s.remove || !s.existed) continue;
        Changing(s.backup);
        // (A plain copy of the bytes: some file systems without hard links
        // cannot set permission bits either.)
        errno = 0;
        const bool backedUp =
            !NameRefused(s.backup) && (gLink(s.target.c_str(), s.backup.c_str()) == 0 ||
                                       FileCopy(s.target, s.backup, false, 0) >= 0);
        const int copyError = errno;
        Changing(s.backup);
        if (backedUp) continue;
        Remove(s.backup);
        for (std::size_t j = 0; j < k; ++j) Remove(steps[j].backup);
        std::error_code kindEc;
        const int error = fs::is_directory(s.target, kindEc) ? EISDIR : copyError;
        throw SaveCommitFailed(s.target, std::strerror(error ? error : EIO), {});
    }
    // The journal is there before the first file changes: a reader that finds
    // it does not take the files as a set.
    if (!journal_.empty()) {
        try {
            CreateJournal(journal_, stem, steps);
        } catch (const SaveCommitFailed&) {
            for (const Step& s : steps)
                if (!s.remove) Remove(s.backup);
            throw;
        }
        journalled = true;
    }
    std::vector<fs::path> dirs;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const Step& s = steps[k];
        errno = 0;
        Changing(s.target);
        const bool done =
            !NameRefused(s.remove ? s.backup : s.target) &&
            (s.remove ? gCommitRename(s.target, s.backup) : gCommitRename(s.temp, s.target));
        const int error = errno;
        Changing(s.target);
        if (!done) fail(s.target, error ? error : EIO, k);
        const fs::path dir = fs::path(s.target).parent_path();
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
    }
    staged_.clear();
    for (const fs::path& dir : dirs) SyncDirectory(dir);
    if (journalled) {
        Remove(journal_);
        SyncDirectory(fs::path(journal_).parent_path());
    }
    for (const Step& s : steps) Remove(s.backup);
    if (journalled) SweepLeftovers(MainFile(dir, stem, exts));
}

std::string SaveJournalName(const std::string& target)
{
    return HiddenName(target, ".journal", "").string();
}

std::string SettledSet::Source(const std::string& name) const
{
    const auto at = OldFiles.find(name);
    return at == OldFiles.end() ? name : at->second;
}

SettledSet SettleSaveSet(const std::string& journal)
{
    SettledSet set;
    // A journal is complete from the moment it has its name until it goes: one
    // that goes before it is read belongs to a save that has ended. One read
    // is acted on only under the lock of its set and only while it is still
    // the journal under that name: its save may have ended in between (and a
    // later one died since: read again).
    for (int round = 0; round < 16; ++round) {
        std::vector<Step> steps;
        fs::path main;
        std::string identity;
        if (!OpenJournal(journal, steps, main, identity)) {
            if (gSettlePause) gSettlePause(journal, true);
            return set;
        }
        if (gSettlePause) gSettlePause(journal, false);
        SetLock lock;
        const SetLock::Outcome taken = lock.Take(LockName(journal));
        if (taken == SetLock::Outcome::Busy) {
            set.Running = true;
            return set;
        }
        if (taken == SetLock::Outcome::NotWritable) {
            // The old files are read where they are, nothing is changed.
            const int error = lock.Error();
            if (!SameJournal(journal, identity)) continue;
            std::vector<std::string> lost;
            for (const Step& s : steps) {
                bool gone = false;
                set.OldFiles[s.target] = OldFileOf(s, gone);
                if (gone) lost.push_back(s.target + " (" + s.backup + ")");
            }
            if (!lost.empty()) ThrowError(kSaveNotRestored + Joined(lost));
            set.Unsettled = journal + ": " + std::strerror(error);
            return set;
        }
        if (!SameJournal(journal, identity)) continue;
        SettleHeld(journal, steps, set.SetAside);
        return set;
    }
    set.Running = true;
    return set;
}

bool SettleSaveJournal(const std::string& journal)
{
    const SettledSet set = SettleSaveSet(journal);
    return !set.Running && set.Unsettled.empty();
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

SaveLinkFn SetSaveLink(SaveLinkFn link)
{
    const SaveLinkFn previous = gLink;
    gLink = link ? link : PlainLink;
    return previous;
}

SaveStepWatch SetSaveStepWatch(SaveStepWatch watch)
{
    const SaveStepWatch previous = gWatch;
    gWatch = watch;
    return previous;
}

LockOpenFn SetLockOpen(LockOpenFn open)
{
    const LockOpenFn previous = gLockOpen;
    gLockOpen = open ? open : PlainLockOpen;
    return previous;
}

NameCheckFn SetNameCheck(NameCheckFn check)
{
    return std::exchange(gNameCheck, check);
}

FileNumbersFn SetFileNumbers(FileNumbersFn numbers)
{
    return std::exchange(gFileNumbers, numbers);
}

SettlePauseFn SetSettlePause(SettlePauseFn pause)
{
    const SettlePauseFn previous = gSettlePause;
    gSettlePause = pause;
    return previous;
}

bool SaveFileAtomically(const std::string& name, const std::function<void(BinWriter& out)>& write)
{
    FileSaveSet save;
    if (!save.Stage(name, write)) return false;
    save.Commit();
    return true;
}
