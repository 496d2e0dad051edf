#include "files/program_dir.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Each test sets every variable it depends on.
void SetEnv(const char* name, const fs::path& value)
{
    if (value.empty())
        ::unsetenv(name);
    else
        ::setenv(name, value.c_str(), 1);
}

}  // namespace

TEST(ProgramDir, HomeVariableThenWritableExecutableDirectoryThenPerUserDirectory)
{
    TempDir tmp;
    const fs::path home = tmp.path() / "home" / "sub", xdg = tmp.path() / "xdg",
                   missing = tmp.path() / "missing";
    SetEnv("KELVO_HOME", home.string() + "/");
    EXPECT_EQ(ProgramDirFor(tmp.path()), home);  // created, without the trailing separator
    EXPECT_TRUE(fs::is_directory(home) && ProgramDir() == home);

    SetEnv("KELVO_HOME", "");
    EXPECT_EQ(ProgramDirFor(tmp.path()), tmp.path());
    SetEnv("XDG_DATA_HOME", xdg);
    EXPECT_EQ(ProgramDirFor(missing), xdg / "kelvo");
    EXPECT_TRUE(fs::is_directory(xdg / "kelvo"));
    if (::geteuid() != 0) {
        const fs::path ro = tmp.path() / "ro";
        fs::create_directories(ro);
        ::chmod(ro.c_str(), 0555);
        EXPECT_EQ(ProgramDirFor(ro), xdg / "kelvo");
        ::chmod(ro.c_str(), 0755);
    }
    SetEnv("XDG_DATA_HOME", "");
    SetEnv("HOME", tmp.path() / "user");
    EXPECT_EQ(ProgramDirFor(missing), tmp.path() / "user" / ".local" / "share" / "kelvo");

    // Supplied files are found in order under either separator.
    EXPECT_EQ(JoinPath("/opt/k", "\\Examples\\Example_Demo.sna"),
              JoinPath("/opt/k", "Examples/Example_Demo.sna"));
    SetEnv("KELVO_HOME", tmp.path());
    const std::string name = "Examples/kelvo_supplied_" + std::to_string(::getpid()) + ".txt";
    const fs::path beside = JoinPath(ExecutableDir(), name), own = tmp.path() / name;
    EXPECT_TRUE(FindSupplied(name).empty());
    for (const fs::path& p : {beside, own}) {  // the program directory comes first
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
        EXPECT_EQ(FindSupplied("\\Examples\\" + p.filename().string()), p);
    }
    fs::remove(beside);
    std::error_code ec;
    fs::remove(beside.parent_path(), ec);  // only when empty
    EXPECT_EQ(FindSupplied(name), own);
    // A directory with that name is not a supplied file.
    fs::remove(own);
    fs::create_directories(own);
    EXPECT_TRUE(FindSupplied(name).empty());
}
