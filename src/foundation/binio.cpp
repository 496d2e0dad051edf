#include "foundation/binio.h"

#include "foundation/errors.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void CloseAndRaise(KFile& file)
{
    file.Close();
    ThrowError("Incorrect file.");
}

}  // namespace

std::string ChangeFileExt(const std::string& name, const std::string& ext)
{
    const std::size_t slash = name.find_last_of('/');
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return name.substr(0, dot) + ext;
    return name + ext;
}

void RequireBytes(KFile& file, std::int64_t bytes, std::int64_t limit, std::int64_t position)
{
    if (bytes < 0 || position < 0 || position > limit || bytes > limit - position)
        CloseAndRaise(file);
}

void FileReadDoubles(KFile& file, double* values, std::int64_t count, std::int64_t limit,
                     std::int64_t& position)
{
    if (count < 0 || count > (INT64_MAX / 8)) CloseAndRaise(file);
    if constexpr (std::endian::native == std::endian::little) {
        FileReadChecked(file, values, count * 8, limit, position);
    } else {
        for (std::int64_t k = 0; k < count; ++k) values[k] = FileReadDouble(file, limit, position);
    }
}

void FileWriteDoubles(KFile& file, const double* values, std::int64_t count, std::int64_t& position)
{
    if (count <= 0) return;
    if constexpr (std::endian::native == std::endian::little) {
        FileWriteChecked(file, values, count * 8, position);
    } else {
        for (std::int64_t k = 0; k < count; ++k) FileWriteDouble(file, values[k], position);
    }
}

BinReader::BinReader(KFile& file) : file_(file), limit_(file.Seek(0, 2)), pos_(0)
{
    if (limit_ < 0 || file.Seek(0, 0) != 0) {
        file.Close();
        ThrowError("Error: Can't read from file");
    }
}

std::string BinReader::StringZ()
{
    std::string text;
    FileReadStringZ(file_, text, limit_, pos_);
    return text;
}

std::vector<double> BinReader::Doubles(std::int64_t count)
{
    RequireItems(count, 8);
    std::vector<double> values(static_cast<std::size_t>(count));
    Doubles(values.data(), count);
    return values;
}

std::vector<std::uint8_t> BinReader::Flags(std::int64_t count)
{
    RequireItems(count, 1);
    std::vector<std::uint8_t> flags(static_cast<std::size_t>(count));
    for (std::uint8_t& f : flags) f = Bool() ? 1 : 0;
    return flags;
}

void BinReader::RequireItems(std::int64_t count, std::int64_t bytesEach)
{
    if (count < 0 || bytesEach < 0 || (bytesEach > 0 && count > Left() / bytesEach)) Fail();
}

void BinReader::Fail()
{
    CloseAndRaise(file_);
}

bool BinReader::TrailerIsEOF()
{
    if (Left() == 4 && StringZ() == "EOF") return true;
    ShowWarning("Incorrect file.");
    return false;
}

void BinWriter::Flags(const std::vector<std::uint8_t>& flags)
{
    for (std::uint8_t f : flags) Bool(f != 0);
}

OpenOutcome OpenForReading(KFile& file, const std::string& name)
{
    if (!FileExists(name)) return OpenOutcome::NotFound;
    file = KFile::Open(name, 0);
    return file.IsOpen() ? OpenOutcome::Opened : OpenOutcome::CantOpen;
}

bool OpenForReading(KFile& file, const std::string& name, const std::string& cantOpen)
{
    switch (OpenForReading(file, name)) {
    case OpenOutcome::Opened: return true;
    case OpenOutcome::NotFound: ShowWarning("File \"" + name + "\" not found."); return false;
    case OpenOutcome::CantOpen: ShowWarning(cantOpen); return false;
    }
    return false;
}

void OpenForReadingOrRaise(KFile& file, const std::string& name, const std::string& notFound,
                           const std::string& cantOpen)
{
    switch (OpenForReading(file, name)) {
    case OpenOutcome::Opened: return;
    case OpenOutcome::NotFound: ThrowError(notFound);
    case OpenOutcome::CantOpen: ThrowError(cantOpen);
    }
}

namespace {

// The file a save replaces: the target of a symbolic link (followed to its
// end), else the name itself.
fs::path SaveTarget(const std::string& name)
{
    std::error_code ec;
    if (!fs::is_symlink(name, ec)) return name;
    const fs::path real = fs::weakly_canonical(name, ec);
    return ec ? fs::path(name) : real;
}

// Creates a new temporary file beside `target` with the permission bits of an
// existing target. "" when it cannot be created.
std::string CreateTemp(const fs::path& target, KFile& file)
{
    static std::atomic<unsigned> serial{0};
    const fs::path temp =
        target.parent_path() / ("." + target.filename().string() + ".tmp" +
                                std::to_string(::getpid()) + "_" + std::to_string(serial++));
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

}  // namespace

FileSaveSet::~FileSaveSet()
{
    for (const Staged& s : staged_) {
        std::error_code ec;
        fs::remove(s.temp, ec);
    }
}

bool FileSaveSet::StageByName(const std::string& name,
                              const std::function<bool(const std::string& tempName)>& write)
{
    const fs::path target = SaveTarget(name);
    KFile file;
    const std::string temp = CreateTemp(target, file);
    if (temp.empty()) return false;
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
        std::error_code ec;
        fs::remove(temp, ec);
        throw;
    }
    if (!written) {
        std::error_code ec;
        fs::remove(temp, ec);
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

void FileSaveSet::Commit()
{
    // Backups of the targets that exist: a hard link (a copy where the file
    // system has none), so the old file stays in place until it is replaced.
    static std::atomic<unsigned> serial{0};
    std::vector<std::string> backups(staged_.size());
    const auto dropBackups = [&] {
        for (const std::string& b : backups)
            if (!b.empty()) {
                std::error_code ec;
                fs::remove(b, ec);
            }
    };
    for (std::size_t k = 0; k < staged_.size(); ++k) {
        const fs::path target = staged_[k].target;
        struct stat old;
        if (::lstat(target.c_str(), &old) != 0) continue;
        const fs::path backup =
            target.parent_path() / ("." + target.filename().string() + ".bak" +
                                    std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::error_code ec;
        if (::link(target.c_str(), backup.c_str()) != 0 && !fs::copy_file(target, backup, ec)) {
            dropBackups();
            ThrowError("Error: Can't write to file");
        }
        backups[k] = backup.string();
    }
    std::vector<fs::path> dirs;
    for (std::size_t k = 0; k < staged_.size(); ++k) {
        const Staged& s = staged_[k];
        if (!gCommitRename(s.temp, s.target)) {
            // The old set comes back whole: each target replaced so far from
            // its backup, a new one removed. A backup that cannot be put back
            // stays beside its target.
            for (std::size_t j = 0; j < k; ++j) {
                std::error_code ec;
                if (backups[j].empty())
                    fs::remove(staged_[j].target, ec);
                else if (fs::rename(backups[j], staged_[j].target, ec); !ec)
                    backups[j].clear();
            }
            for (std::size_t j = k; j < staged_.size(); ++j) {
                std::error_code ec;
                if (!backups[j].empty()) fs::remove(backups[j], ec);
                backups[j].clear();
            }
            staged_.erase(staged_.begin(), staged_.begin() + static_cast<std::ptrdiff_t>(k));
            ThrowError("Error: Can't write to file");  // the rest are removed by the destructor
        }
        const fs::path dir = fs::path(s.target).parent_path();
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
    }
    staged_.clear();
    dropBackups();
    for (const fs::path& dir : dirs) SyncDirectory(dir);
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

bool FileDirExists(const std::string& name)
{
    const fs::path dir = fs::path(name).parent_path();
    if (dir.empty()) return true;
    std::error_code ec;
    return fs::is_directory(dir, ec);
}

bool MakeFileDirAsked(const std::string& name, const std::string& question)
{
    if (FileDirExists(name)) return true;
    const fs::path dir = fs::path(name).parent_path();
    if (!Confirm(question + dir.string())) return false;
    std::error_code ec;
    fs::create_directory(dir, ec);
    return true;
}
