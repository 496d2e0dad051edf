#include "files/program_dir.h"

#include <unistd.h>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool DirectoryWritable(const fs::path& dir)
{
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) return false;
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

fs::path WithoutTrailingSeparator(fs::path p)
{
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return fs::path(s);
}

fs::path UserDataDir()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return fs::path(xdg) / "kelvo";
    const char* home = std::getenv("HOME");
    if (home && *home) return fs::path(home) / ".local" / "share" / "kelvo";
    return fs::temp_directory_path() / "kelvo";
}

}  // namespace

fs::path ExecutableDir()
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    return exe.parent_path();
}

fs::path InstalledDataDir()
{
    fs::path exeDir = ExecutableDir();
    if (exeDir.empty()) return {};
    return exeDir.parent_path() / "share" / "kelvo";
}

fs::path ProgramDir()
{
    return ProgramDirFor(ExecutableDir());
}

fs::path ProgramDirFor(const fs::path& exeDir)
{
    const char* home = std::getenv("KELVO_HOME");
    if (home && *home) {
        fs::path dir = fs::absolute(fs::path(home));
        std::error_code ec;
        fs::create_directories(dir, ec);
        return WithoutTrailingSeparator(dir);
    }
    if (DirectoryWritable(exeDir)) return WithoutTrailingSeparator(exeDir);
    fs::path dir = UserDataDir();
    std::error_code ec;
    fs::create_directories(dir, ec);
    return WithoutTrailingSeparator(dir);
}

fs::path JoinPath(const fs::path& dir, const std::string& relative)
{
    fs::path result = dir;
    std::string part;
    auto flush = [&] {
        if (!part.empty()) result /= part;
        part.clear();
    };
    for (char c : relative) {
        if (c == '\\' || c == '/')
            flush();
        else
            part += c;
    }
    flush();
    return result;
}

fs::path FindSupplied(const std::string& relative)
{
    const fs::path dirs[] = {ProgramDir(), ExecutableDir(), InstalledDataDir()};
    for (const fs::path& dir : dirs) {
        if (dir.empty()) continue;
        fs::path candidate = JoinPath(dir, relative);
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}
