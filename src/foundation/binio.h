// Building blocks of the file layer on top of the guarded file I/O: companion
// names, the reading and writing cursors every binary format uses, the
// open-and-check prologue of a reader and the save that replaces a file only
// when the new one is complete.
#pragma once

#include "foundation/errors.h"
#include "foundation/fileio.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

// "The name with extension X": replaces the extension of the file-name part,
// or appends `ext` when the name has none. `ext` includes its dot (".cmp").
std::string ChangeFileExt(const std::string& name, const std::string& ext);

// Closes the file and raises "Incorrect file." unless `bytes` (>= 0) further
// bytes are left between `position` and `limit`. Used before allocating or
// indexing with a count read from a file.
void RequireBytes(KFile& file, std::int64_t bytes, std::int64_t limit, std::int64_t position);

// `count` doubles, little-endian, as one guarded read or write.
void FileReadDoubles(KFile& file, double* values, std::int64_t count, std::int64_t limit,
                     std::int64_t& position);
void FileWriteDoubles(KFile& file, const double* values, std::int64_t count,
                      std::int64_t& position);

// A 64-bit counter in a 32-bit field of a file: clamped into the int32 range
// (a run that counted past it stores the largest value).
inline std::int32_t Int32Field(long long v)
{
    return static_cast<std::int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

// True when every value is a finite number (for `BinReader::Check`: a number
// read from a file that no edit would take).
inline bool AllFinite(std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}
inline bool AllFinite(const std::vector<double>& values)
{
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// A reading cursor: an open file, the byte position and the limit no read may
// pass. Every read is one of the guarded reads above, so a file that is cut
// short, of another kind or damaged raises "Incorrect file." (file closed);
// a reader lists its fields in order and tests only what it validates.
class BinReader {
public:
    // From `position` up to `limit`.
    BinReader(KFile& file, std::int64_t limit, std::int64_t position = 0)
        : file_(file), limit_(limit), pos_(position)
    {
    }
    // The whole file, from its start.
    explicit BinReader(KFile& file);

    double Double() { return FileReadDouble(file_, limit_, pos_); }
    std::int32_t Int32() { return FileReadInt32(file_, limit_, pos_); }
    std::uint8_t UInt8() { return FileReadUInt8(file_, limit_, pos_); }
    bool Bool() { return FileReadBool(file_, limit_, pos_); }
    // A zero-terminated text (ends silently at the limit or the end of the file).
    std::string StringZ();
    // `count` doubles into `values` / as a new vector (checked before allocating).
    void Doubles(double* values, std::int64_t count)
    {
        FileReadDoubles(file_, values, count, limit_, pos_);
    }
    std::vector<double> Doubles(std::int64_t count);
    // `count` one-byte flags (0 or 1), checked before allocating.
    std::vector<std::uint8_t> Flags(std::int64_t count);

    // Fields in order, each read by its type (double, int32, bool, uint8, text).
    template <class... T>
    void Fields(T&... v)
    {
        (Field(v), ...);
    }
    void Field(double& v) { v = Double(); }
    void Field(std::int32_t& v) { v = Int32(); }
    void Field(bool& v) { v = Bool(); }
    void Field(std::uint8_t& v) { v = UInt8(); }
    void Field(std::string& v) { v = StringZ(); }

    // Raises "Incorrect file." unless `bytes` more bytes are left.
    void Require(std::int64_t bytes) { RequireBytes(file_, bytes, limit_, pos_); }
    // Raises "Incorrect file." unless `count` >= 0 items of `bytesEach` bytes
    // fit in what is left (no overflow on any count).
    void RequireItems(std::int64_t count, std::int64_t bytesEach);
    // Raises "Incorrect file." unless `ok` (the file is closed first).
    void Check(bool ok)
    {
        if (!ok) Fail();
    }
    [[noreturn]] void Fail();
    // Reads the trailer: false after the warning "Incorrect file." unless it
    // is "EOF" with its zero byte and ends the file (a file whose counts do not
    // add up is refused even where its fields happen to fit).
    bool TrailerIsEOF();

    std::int64_t Position() const { return pos_; }
    std::int64_t Limit() const { return limit_; }
    std::int64_t Left() const { return limit_ - pos_; }
    KFile& File() { return file_; }

private:
    KFile& file_;
    std::int64_t limit_;
    std::int64_t pos_;
};

// A writing cursor: an open file and the running byte position. Failures raise
// "Error: Can't write to file" (file closed).
class BinWriter {
public:
    explicit BinWriter(KFile& file, std::int64_t position = 0) : file_(file), pos_(position) {}

    void Double(double v) { FileWriteDouble(file_, v, pos_); }
    void Int32(std::int32_t v) { FileWriteInt32(file_, v, pos_); }
    void UInt8(std::uint8_t v) { FileWriteUInt8(file_, v, pos_); }
    void Bool(bool v) { FileWriteBool(file_, v, pos_); }
    // The characters and one zero byte.
    void StringZ(const std::string& v) { FileWriteString(file_, v, pos_, true); }
    void Doubles(const double* values, std::int64_t count)
    {
        FileWriteDoubles(file_, values, count, pos_);
    }
    void Doubles(const std::vector<double>& values)
    {
        Doubles(values.data(), static_cast<std::int64_t>(values.size()));
    }
    // One byte per flag, 1 for non-zero.
    void Flags(const std::vector<std::uint8_t>& flags);
    // Raw bytes as they are.
    void Bytes(const void* data, std::int64_t count) { FileWriteChecked(file_, data, count, pos_); }

    // Fields in order, each written by its type (double, int32, bool, uint8, text).
    template <class... T>
    void Fields(const T&... v)
    {
        (Field(v), ...);
    }
    void Field(double v) { Double(v); }
    void Field(std::int32_t v) { Int32(v); }
    void Field(bool v) { Bool(v); }
    void Field(std::uint8_t v) { UInt8(v); }
    void Field(const std::string& v) { StringZ(v); }
    void Field(const char* v) { StringZ(v); }

    std::int64_t Position() const { return pos_; }
    KFile& File() { return file_; }

private:
    KFile& file_;
    std::int64_t pos_;
};

// The prologue of a reader: opens an existing regular file for reading. A
// missing file warns "File \"" + name + "\" not found." and one that cannot be
// opened warns `cantOpen`; both give false.
bool OpenForReading(KFile& file, const std::string& name, const std::string& cantOpen);

// The same prologue without a message, for a reader whose caller decides what
// a missing file or one that cannot be opened means.
enum class OpenOutcome { Opened, NotFound, CantOpen };
OpenOutcome OpenForReading(KFile& file, const std::string& name);

// The same prologue for a reader whose failure ends the command that called
// it: raises `notFound` or `cantOpen`.
void OpenForReadingOrRaise(KFile& file, const std::string& name, const std::string& notFound,
                           const std::string& cantOpen);

// The files of one save, replaced together: each is written to a temporary
// file beside its target, and the targets are replaced (renamed over) only
// when every file of the save is complete, so a save that fails on the way
// leaves every old file as it was. A target that is a symbolic link is written
// through to the file it points to; an existing target keeps its permission
// bits. The directories are synced after the renames. Temporary files not
// committed are removed when the set ends.
class FileSaveSet {
public:
    FileSaveSet() = default;
    FileSaveSet(const FileSaveSet&) = delete;
    FileSaveSet& operator=(const FileSaveSet&) = delete;
    ~FileSaveSet();

    // Writes the new contents of `name` to its temporary file. False, with
    // nothing staged, when the temporary file cannot be created (Failure()
    // says which and why); an exception of `write` removes it and goes on. A
    // target the set already holds raises kSaveTargetTwice.
    bool Stage(const std::string& name, const std::function<void(BinWriter& out)>& write);
    // The same for a writer that takes a file name: `write` gets the name of
    // the temporary file and returns whether it wrote it; false unstages it.
    bool StageByName(const std::string& name,
                     const std::function<bool(const std::string& tempName)>& write);
    // The commit removes `name` when it exists (a file the new set no longer
    // has): it is renamed to its backup, which comes back when the commit
    // fails and goes when it succeeds.
    void StageRemoval(const std::string& name);
    // The commit is journalled in `journal` (SaveJournalName of the main
    // target, a ".sna" in any case; every target is its stem with one of the
    // set's extensions in its folder, else nothing is journalled): the journal is
    // written whole to a temporary file and renamed into place before the
    // first rename, and removed after the last, so that a reader that finds
    // it knows the files are not a whole set and puts back the old ones
    // (SettleSaveSet). From the journal to the last rename the commit holds
    // the set's lock; a save that holds it for longer than a few seconds
    // makes the commit raise kSaveInProgress, and a journal whose save died
    // is settled first. A journal that cannot be written or placed raises
    // SaveCommitFailed naming it, the old files untouched.
    void UseJournal(const std::string& journal);
    // Takes the lock of the journalled set now (after UseJournal), settling
    // the journal of a save that died, and holds it to the end of the commit
    // or of the set: whatever a save decides from the folder (which of its
    // files exist, which companions go, what the staged set reads as) it
    // decides after this, so that no other save changes the folder between.
    // Waits for a save that runs as the commit does, and raises as it does.
    void Lock();
    // Ends the set uncommitted: the temporary files go and the lock is
    // released (before the save tells why, so that no one waits on it).
    void Discard();
    // Renames every staged file over its target in the order staged (and
    // removes the files staged for removal), then syncs the directories; it
    // takes the set's lock first (Lock) unless held. Each
    // existing target is first kept as a backup (a second link to it, the old
    // file staying in place); a failed step puts every target back from its
    // backup (a target that did not exist is removed) and raises
    // SaveCommitFailed, so the old set of files stays whole. The backups go
    // when all steps are done.
    void Commit();
    // "<file>: <reason>" of the last Stage that failed.
    const std::string& Failure() const { return failure_; }
    // The files that settling the journal of a save that died (Lock) set
    // aside, under their new names (see SettledSet::SetAside).
    const std::vector<std::string>& SetAside() const { return setAside_; }

private:
    struct Staged {
        std::string target, temp, token;
        bool remove = false;
        std::string print;  // what tells the staged file by its bytes
    };
    std::vector<Staged> staged_;
    std::string journal_;
    std::string failure_;
    std::vector<std::string> setAside_;
    std::shared_ptr<void> lock_;  // the set's lock while held (Lock)
};

// The failure of a commit: "Error: Can't write to file", with the file whose
// step failed, the reason and, when the old files could not all be put back,
// the backups that keep them (the journal then stays for the next reader).
class SaveCommitFailed : public Exception {
public:
    SaveCommitFailed(std::string file, std::string reason, std::vector<std::string> kept);
    // With the failing routine's own message in place of the one above.
    SaveCommitFailed(std::string file, std::string reason, std::vector<std::string> kept,
                     const std::string& own);
    std::string File, Reason;
    std::vector<std::string> Kept;  // empty: the old files are back in place
};

// The journal of a save whose main file is `target`: a hidden file beside it.
// The lock of the set is a file of the journal's name + ".lock", there while
// a save or a settle holds it.
std::string SaveJournalName(const std::string& target);

// What a reader of a set reads after SettleSaveSet.
struct SettledSet {
    // A save of the set holds its lock: read later.
    bool Running = false;
    // Not empty when the journal of a save that died could not be settled
    // (the folder cannot be written): "<journal>: <reason>". The old files
    // are then read where the journal says they are (OldFiles).
    std::string Unsettled;
    // Per target of the journal: the file that holds its old contents, ""
    // when it did not exist.
    std::map<std::string, std::string> OldFiles;
    // Files the settle found in a target's place that the journal does not
    // tell for its save's own (neither the old nor the new file by size and
    // digest, or a journal of an earlier version that tells no file): each
    // moved to a visible name beside it ("<name>.from-interrupted-save",
    // numbered when taken), listed here under that name. A reader names them.
    std::vector<std::string> SetAside;
    // The file to read for `name`: its entry of OldFiles, else `name`.
    std::string Source(const std::string& name) const;
};

// Before a set of files is read: settles the journal `journal` of a save of
// that set under the set's lock (a save that died on its way has its old
// files put back from their backups, and the journal goes). The journal tells
// every file by its name, size and a digest of its bytes, never by device and
// inode numbers: a remount or a copy of the folder between the save and the
// settle changes nothing. A journal that is damaged, names any file but the
// set's own or whose old files are nowhere raises a message that names the
// files and their backups; nothing is touched then.
SettledSet SettleSaveSet(const std::string& journal);
// The same, true when the journal is gone (none, or settled).
bool SettleSaveJournal(const std::string& journal);

// The file a save of `name` replaces: the target of a symbolic link (followed
// to its end), else the name itself. Companion files of a save go beside it.
std::string SaveTargetName(const std::string& name);

// A step of the commit: the rename from a temporary file to its target (or
// from a target to its backup, for a removal), true on success; tests put in
// one that fails or ends the process. Returns the previous one.
using CommitRenameFn = bool (*)(const std::string& from, const std::string& to);
CommitRenameFn SetCommitRename(CommitRenameFn rename);
// The hard link that makes a backup (as link(2)); tests put in one that
// refuses, as a file system without hard links does. Returns the previous one.
using SaveLinkFn = int (*)(const char* from, const char* to);
SaveLinkFn SetSaveLink(SaveLinkFn link);
// Called by a settle between reading a journal and taking the set's lock
// (`settled` false), and when it finds no journal (true); tests let a save
// run there. Returns the previous one.
using SettlePauseFn = void (*)(const std::string& journal, bool settled);
SettlePauseFn SetSettlePause(SettlePauseFn pause);
// Called before and after each file that a commit or a settle changes (a
// backup made, a rename, a removal); tests end the process there. Returns the
// previous one.
using SaveStepWatch = void (*)(const std::string& file);
SaveStepWatch SetSaveStepWatch(SaveStepWatch watch);
// Asked before a save set creates or renames to each name (its temporary,
// backup, journal and lock files, a file set aside): 0, or the errno with
// which the folder refuses the name; tests put in one that refuses names
// that are no valid UTF-8, as some file systems do. Returns the previous one.
using NameCheckFn = int (*)(const char* name);
NameCheckFn SetNameCheck(NameCheckFn check);
// Applied to the device and inode numbers of every file a save set compares
// by them (only within one process: the lock file it holds); tests put in one
// that renumbers them, as a remount does. Returns the previous one.
using FileNumbersFn = void (*)(dev_t& device, ino_t& inode);
FileNumbersFn SetFileNumbers(FileNumbersFn numbers);
// The read-write open of a set's lock file (as open(2) with mode 0666); tests
// put in one that refuses, as for a lock file of another user. Returns the
// previous one.
using LockOpenFn = int (*)(const char* name, int flags);
LockOpenFn SetLockOpen(LockOpenFn open);

// Writes one file through a FileSaveSet. False, with nothing touched, when the
// temporary file cannot be created; when `write` raises (or the rename fails)
// the previous `name` stays as it was and the exception goes on.
bool SaveFileAtomically(const std::string& name, const std::function<void(BinWriter& out)>& write);

// Before a save: when the directory of `name` is missing, asks `question` +
// the directory and creates it after Yes. False after No.
bool MakeFileDirAsked(const std::string& name, const std::string& question);

// True when the directory part of `name` exists (a bare name counts as the
// current directory).
bool FileDirExists(const std::string& name);
