// Guarded binary file input and output, and file copy.
//
// Every binary file of the program passes through a few routines that work on an
// open file and keep a running byte position owned by the caller. Each failure
// closes the file and raises a fixed message ("Incorrect file.", "Error: Can't
// read from file", "Error: Can't write to file"), so a format reader lists its
// fields in order and never tests a result. A file closed by one of these
// routines is marked closed, so a caller's own Close afterwards does nothing.
//
// Positions, limits and sizes are 64-bit. Values on file are little-endian,
// `bool` is one byte (0 or 1 written, any non-zero read as true), texts are their
// 8-bit characters followed by one zero byte.
#pragma once

#include <cstdint>
#include <string>

// An open file: a descriptor that closes at most once.
class KFile {
public:
    KFile() = default;
    explicit KFile(int fd) : fd_(fd) {}
    ~KFile() { Close(); }
    KFile(const KFile&) = delete;
    KFile& operator=(const KFile&) = delete;
    KFile(KFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    KFile& operator=(KFile&& other) noexcept;

    // Mode 0 opens for reading, 2 for reading and writing. Check IsOpen.
    static KFile Open(const std::string& name, int mode);
    // Creates (or truncates) a file for reading and writing. Check IsOpen.
    static KFile Create(const std::string& name);

    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }
    // Closes the file; does nothing when it is already closed.
    void Close();

    // Origin 0 = start, 1 = current position, 2 = end. Returns the new position
    // from the start, or -1 on failure (or when the file is closed).
    std::int64_t Seek(std::int64_t offset, int origin);

private:
    int fd_ = -1;
};

// Reads `count` bytes into `buffer`. When position + count exceeds `limit` (or
// count is negative) the file is closed and "Incorrect file." raised before any
// byte is read. A failing read closes the file and raises "Error: Can't read
// from file". The position advances by the bytes read; a short read at the end
// of the file is no error.
void FileReadChecked(KFile& file, void* buffer, std::int64_t count, std::int64_t limit,
                     std::int64_t& position);

// Writes all `count` bytes; a write that fails or cannot progress closes the
// file and raises "Error: Can't write to file".
void FileWriteChecked(KFile& file, const void* buffer, std::int64_t count, std::int64_t& position);

// Reads a zero-terminated text. The text ends at the zero byte (consumed), at
// the limit or at the end of the file, silently.
void FileReadStringZ(KFile& file, std::string& text, std::int64_t limit, std::int64_t& position);

// Writes the characters of `text` (up to a zero character it may hold) and, when
// `withZero`, one zero byte.
void FileWriteString(KFile& file, const std::string& text, std::int64_t& position, bool withZero);

// Typed fields. A field that the file cannot supply in full raises
// "Incorrect file." (file closed).
std::int32_t FileReadInt32(KFile& file, std::int64_t limit, std::int64_t& position);
std::uint8_t FileReadUInt8(KFile& file, std::int64_t limit, std::int64_t& position);
bool FileReadBool(KFile& file, std::int64_t limit, std::int64_t& position);
double FileReadDouble(KFile& file, std::int64_t limit, std::int64_t& position);
void FileWriteInt32(KFile& file, std::int32_t value, std::int64_t& position);
void FileWriteUInt8(KFile& file, std::uint8_t value, std::int64_t& position);
void FileWriteBool(KFile& file, bool value, std::int64_t& position);
void FileWriteDouble(KFile& file, double value, std::int64_t& position);

// Size in bytes of a regular file, -1 when it is missing, unreadable or not a
// regular file.
std::int64_t FileSizeByName(const std::string& name);

// True when `name` is an existing regular file.
bool FileExists(const std::string& name);
// Deletes a file; true on success.
bool DeleteFile(const std::string& name);
// Renames (replacing an existing target); true on success.
bool RenameFile(const std::string& from, const std::string& to);
// The directory part of a path without a trailing separator ("" for a bare name,
// "/" for a file in the root).
std::string ExtractFileDir(const std::string& path);

// Name of the temporary file of a copy onto the source itself.
inline constexpr const char* FileCopyTempName = "$fl_copy.tmp";

// Copies the bytes from..to (both included, counted from 0) of `source` to
// `destination`, appended when `append` and the destination exists, otherwise
// into a new destination. With `ask` an existing destination is replaced only
// after Yes to "File <destination> exists. Overwrite?". Returns the bytes
// copied, -1 on failure (missing source, a range outside the source, the source
// itself as destination, a file that cannot be opened, a short copy), -2 when
// the overwrite was declined. The range is checked before the destination is
// touched.
std::int64_t FileCopyRange(const std::string& source, const std::string& destination,
                           std::int64_t from, std::int64_t to, bool ask, bool append);

// Copies the first `maxBytes` bytes of `source` (the whole file when maxBytes is
// below 1) to `destination`. A copy onto the source itself (under any spelling)
// goes through a temporary file in the source's directory that then replaces the
// source. Returns the bytes copied, -1 on failure, -2 when declined.
std::int64_t FileCopy(const std::string& source, const std::string& destination, bool ask,
                      std::int64_t maxBytes);

// Copies the whole of an open file (from its start) into a new `destination`:
// the file as it was when it was opened, whatever has since been renamed over
// its name. Returns the bytes copied or -1.
std::int64_t FileCopyOpen(KFile& source, const std::string& destination);

// What tells one version of a file from another: its device and inode, size and
// change times ("" for a missing file). A name whose stamp is the same before
// and after a read was not replaced in between.
std::string FileStamp(const std::string& name);
