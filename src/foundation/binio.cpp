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
