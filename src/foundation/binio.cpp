#include "foundation/binio.h"

#include "foundation/errors.h"

#include <atomic>
#include <bit>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

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
    if (bytes < 0 || position < 0 || position > limit || bytes > limit - position) {
        file.Close();
        ThrowError("Incorrect file.");
    }
}

std::string FileReadShortText(KFile& file, std::int64_t limit, std::int64_t& position, std::int64_t maxBytes)
{
    std::string text;
    const std::int64_t end = maxBytes > limit - position ? limit : position + maxBytes;
    FileReadStringZ(file, text, end, position);
    return text;
}

void FileReadDoubles(KFile& file, double* values, std::int64_t count, std::int64_t limit,
                     std::int64_t& position)
{
    if (count < 0 || count > (INT64_MAX / 8)) {
        file.Close();
        ThrowError("Incorrect file.");
    }
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

bool SaveFileAtomically(const std::string& name,
                        const std::function<void(KFile& file, std::int64_t& position)>& write)
{
    static std::atomic<unsigned> serial{0};
    const fs::path target(name);
    fs::path dir = target.parent_path();
    const std::string tmpName =
        (dir / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "_" +
                std::to_string(serial++)))
            .string();
    KFile file = KFile::Create(tmpName);
    if (!file.IsOpen()) return false;
    try {
        std::int64_t position = 0;
        write(file, position);
        if (file.IsOpen()) {
            if (::fsync(file.Handle()) != 0) {
                file.Close();
                ThrowError("Error: Can't write to file");
            }
            file.Close();
        }
        std::error_code ec;
        fs::rename(tmpName, target, ec);
        if (ec) ThrowError("Error: Can't write to file");
    } catch (...) {
        file.Close();
        std::error_code ec;
        fs::remove(tmpName, ec);
        throw;
    }
    return true;
}

bool FileDirExists(const std::string& name)
{
    const fs::path dir = fs::path(name).parent_path();
    if (dir.empty()) return true;
    std::error_code ec;
    return fs::is_directory(dir, ec);
}
