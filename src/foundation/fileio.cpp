#include "foundation/fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/errors.h"

namespace {

const char* const kIncorrectFile = "Incorrect file.";
const char* const kCantRead = "Error: Can't read from file";
const char* const kCantWrite = "Error: Can't write to file";

constexpr std::int64_t kCopyBlock = 1048576;

[[noreturn]] void CloseAndRaise(KFile& file, const char* message)
{
    file.Close();
    ThrowError(message);
}

// Reads up to `count` bytes, retrying interrupted and partial reads until the
// count is reached or the file ends. -1 on a failing read.
std::int64_t ReadSome(int fd, void* buffer, std::int64_t count)
{
    auto* p = static_cast<unsigned char*>(buffer);
    std::int64_t got = 0;
    while (got < count) {
        const std::int64_t want = std::min<std::int64_t>(count - got, kCopyBlock * 64);
        const ssize_t r = ::read(fd, p + got, static_cast<size_t>(want));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += r;
    }
    return got;
}

// Reads a field that must be supplied in full.
void ReadField(KFile& file, unsigned char* bytes, std::int64_t count, std::int64_t limit,
               std::int64_t& position)
{
    const std::int64_t before = position;
    FileReadChecked(file, bytes, count, limit, position);
    if (position - before != count) CloseAndRaise(file, kIncorrectFile);
}

std::uint64_t LoadLE(const unsigned char* b, int n)
{
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
}

void StoreLE(unsigned char* b, std::uint64_t v, int n)
{
    for (int i = 0; i < n; ++i) {
        b[i] = static_cast<unsigned char>(v & 0xFF);
        v >>= 8;
    }
}

// True when both names exist and denote the same file.
bool SameFile(const std::string& a, const std::string& b)
{
    if (a == b) return true;
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

// Copies `count` bytes from the current positions in blocks; the bytes written,
// or -1 when the source ends early.
std::int64_t CopyBlocks(KFile& source, KFile& destination, std::int64_t count)
{
    std::vector<unsigned char> buffer(
        static_cast<size_t>(std::clamp<std::int64_t>(count, 1, kCopyBlock)));
    std::int64_t readPosition = 0;
    std::int64_t written = 0;
    while (count > written) {
        const std::int64_t n = std::min(count - written, kCopyBlock);
        const std::int64_t before = readPosition;
        FileReadChecked(source, buffer.data(), n, count, readPosition);
        const std::int64_t got = readPosition - before;
        if (got == 0) break;
        FileWriteChecked(destination, buffer.data(), got, written);
    }
    return written == count ? written : -1;
}

// Asks before replacing an existing destination: 0 go on, -2 declined, -1 the
// old destination could not be deleted.
int AskOverwrite(const std::string& destination)
{
    if (!FileExists(destination)) return 0;
    if (!Confirm("File " + destination + " exists. Overwrite?")) return -2;
    return DeleteFile(destination) ? 0 : -1;
}

}  // namespace

KFile& KFile::operator=(KFile&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

KFile KFile::Open(const std::string& name, int mode)
{
    int flags = mode == 0 ? O_RDONLY : mode == 1 ? O_WRONLY : O_RDWR;
    return KFile(::open(name.c_str(), flags | O_CLOEXEC));
}

KFile KFile::Create(const std::string& name)
{
    return KFile(::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

void KFile::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::int64_t KFile::Seek(std::int64_t offset, int origin)
{
    if (fd_ < 0) return -1;
    const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<std::int64_t>(r);
}

void FileReadChecked(KFile& file, void* buffer, std::int64_t count, std::int64_t limit,
                     std::int64_t& position)
{
    std::int64_t end = 0;
    if (count < 0 || __builtin_add_overflow(position, count, &end) || end > limit)
        CloseAndRaise(file, kIncorrectFile);
    const std::int64_t n = ReadSome(file.Handle(), buffer, count);
    if (n < 0) CloseAndRaise(file, kCantRead);
    position += n;
}

void FileWriteChecked(KFile& file, const void* buffer, std::int64_t count, std::int64_t& position)
{
    if (count < 0) CloseAndRaise(file, kCantWrite);
    const auto* p = static_cast<const unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t want = std::min<std::int64_t>(count - done, kCopyBlock * 64);
        const ssize_t r = ::write(file.Handle(), p + done, static_cast<size_t>(want));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) CloseAndRaise(file, kCantWrite);
        done += r;
        position += r;
    }
}

void FileReadStringZ(KFile& file, std::string& text, std::int64_t limit, std::int64_t& position)
{
    text.clear();
    char chunk[256];
    while (position < limit) {
        const std::int64_t want =
            std::min<std::int64_t>(static_cast<std::int64_t>(sizeof chunk), limit - position);
        const std::int64_t got = ReadSome(file.Handle(), chunk, want);
        if (got < 0) CloseAndRaise(file, kCantRead);
        if (got == 0) return;  // the file ends before the limit: the text ends too
        const void* zero = std::memchr(chunk, 0, static_cast<size_t>(got));
        if (!zero) {
            text.append(chunk, static_cast<size_t>(got));
            position += got;
            continue;
        }
        const std::int64_t used = static_cast<const char*>(zero) - chunk + 1;
        text.append(chunk, static_cast<size_t>(used - 1));
        position += used;
        // Give back what was read past the zero byte.
        if (used < got && file.Seek(used - got, 1) < 0) CloseAndRaise(file, kCantRead);
        return;
    }
}

void FileWriteString(KFile& file, const std::string& text, std::int64_t& position, bool withZero)
{
    const size_t length = std::min(text.size(), std::strlen(text.c_str()));
    std::string bytes(text.data(), length);
    if (withZero) bytes.push_back('\0');
    FileWriteChecked(file, bytes.data(), static_cast<std::int64_t>(bytes.size()), position);
}

std::int32_t FileReadInt32(KFile& file, std::int64_t limit, std::int64_t& position)
{
    unsigned char b[4];
    ReadField(file, b, 4, limit, position);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadLE(b, 4)));
}

std::uint8_t FileReadUInt8(KFile& file, std::int64_t limit, std::int64_t& position)
{
    unsigned char b[1];
    ReadField(file, b, 1, limit, position);
    return b[0];
}

bool FileReadBool(KFile& file, std::int64_t limit, std::int64_t& position)
{
    return FileReadUInt8(file, limit, position) != 0;
}

double FileReadDouble(KFile& file, std::int64_t limit, std::int64_t& position)
{
    unsigned char b[8];
    ReadField(file, b, 8, limit, position);
    const std::uint64_t bits = LoadLE(b, 8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void FileWriteInt32(KFile& file, std::int32_t value, std::int64_t& position)
{
    unsigned char b[4];
    StoreLE(b, static_cast<std::uint32_t>(value), 4);
    FileWriteChecked(file, b, 4, position);
}

void FileWriteUInt8(KFile& file, std::uint8_t value, std::int64_t& position)
{
    FileWriteChecked(file, &value, 1, position);
}

void FileWriteBool(KFile& file, bool value, std::int64_t& position)
{
    FileWriteUInt8(file, value ? 1 : 0, position);
}

void FileWriteDouble(KFile& file, double value, std::int64_t& position)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    unsigned char b[8];
    StoreLE(b, bits, 8);
    FileWriteChecked(file, b, 8, position);
}

std::int64_t FileSizeByName(const std::string& name)
{
    // Only regular files: opening a pipe for reading would wait for a writer.
    if (!FileExists(name)) return -1;
    KFile file = KFile::Open(name, 0);
    if (!file.IsOpen()) return -1;
    return file.Seek(0, 2);
}

bool FileExists(const std::string& name)
{
    struct stat st;
    return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& name)
{
    return ::unlink(name.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::string ExtractFileDir(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::int64_t FileCopyRange(const std::string& source, const std::string& destination,
                           std::int64_t from, std::int64_t to, bool ask, bool append)
{
    if (!FileExists(source)) return -1;
    // Creating or deleting the destination would destroy the source itself.
    if (SameFile(source, destination)) return -1;
    KFile src = KFile::Open(source, 0);
    if (!src.IsOpen()) return -1;
    // The range is checked before the destination is touched.
    const std::int64_t size = src.Seek(0, 2);
    if (size < 0 || to >= size || from < 0) return -1;
    const std::int64_t count = to - from + 1;
    if (count < 1) return -1;
    if (ask) {
        const int answer = AskOverwrite(destination);
        if (answer != 0) return answer;
    }
    KFile dst;
    if (append && FileExists(destination)) {
        dst = KFile::Open(destination, 2);
        if (dst.IsOpen() && dst.Seek(0, 2) < 0) return -1;
    } else {
        dst = KFile::Create(destination);
    }
    if (!dst.IsOpen()) return -1;
    if (src.Seek(from, 0) != from) return -1;
    return CopyBlocks(src, dst, count);
}

std::int64_t FileCopy(const std::string& source, const std::string& destination, bool ask,
                      std::int64_t maxBytes)
{
    if (!FileExists(source)) return -1;
    std::string target = destination;
    std::string replaced;  // the source's real name, in the same-name mode
    const bool sameName = SameFile(source, destination);
    if (sameName) {
        std::error_code ec;
        replaced = std::filesystem::canonical(source, ec).string();
        if (ec) return -1;
        target = ExtractFileDir(replaced);
        if (target != "/") target += '/';
        target += FileCopyTempName;
        DeleteFile(target);
        ask = false;
    }
    if (ask) {
        const int answer = AskOverwrite(target);
        if (answer != 0) return answer;
    }
    KFile src = KFile::Open(source, 0);
    if (!src.IsOpen()) return -1;
    KFile dst = KFile::Create(target);
    if (!dst.IsOpen()) return -1;

    std::int64_t written = -1;
    std::int64_t size = src.Seek(0, 2);
    if (size >= 0 && src.Seek(0, 0) == 0) {
        if (maxBytes >= 1 && size > maxBytes) size = maxBytes;
        try {
            written = CopyBlocks(src, dst, size);
        } catch (const Exception&) {
            src.Close();
            dst.Close();
            if (sameName) DeleteFile(target);
            throw;
        }
    }
    src.Close();
    dst.Close();
    if (sameName) {
        // The copy replaces the source in one step, only when it is complete.
        if (written < 0 || written != size || !RenameFile(target, replaced)) {
            DeleteFile(target);
            return -1;
        }
    }
    return written >= 0 && written == size ? written : -1;
}

std::int64_t FileCopyOpen(KFile& source, const std::string& destination)
{
    const std::int64_t size = source.Seek(0, 2);
    if (size < 0 || source.Seek(0, 0) != 0) return -1;
    // The destination is the source itself: it holds the bytes already.
    struct stat from, to;
    if (::fstat(source.Handle(), &from) == 0 && ::stat(destination.c_str(), &to) == 0 &&
        from.st_dev == to.st_dev && from.st_ino == to.st_ino)
        return size;
    KFile dst = KFile::Create(destination);
    if (!dst.IsOpen()) return -1;
    try {
        return CopyBlocks(source, dst, size);
    } catch (const Exception&) {
        return -1;
    }
}

std::string FileStamp(const std::string& name)
{
    struct stat s;
    if (::stat(name.c_str(), &s) != 0) return {};
    return std::to_string(s.st_dev) + ":" + std::to_string(s.st_ino) + ":" +
           std::to_string(s.st_size) + ":" + std::to_string(s.st_mtim.tv_sec) + "." +
           std::to_string(s.st_mtim.tv_nsec) + ":" + std::to_string(s.st_ctim.tv_sec) + "." +
           std::to_string(s.st_ctim.tv_nsec);
}
