#include "files/program_dir.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Each test sets every variable it depends on.
void SetEnv(const char* name, const fs::path& value)
{
    if (value.empty()) ::unsetenv(name);
    else ::setenv(name, value.c_str(), 1);
}

void Touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

} // namespace

TEST(ProgramDir, HomeVariableThenWritableExecutableDirectoryThenPerUserDirectory)
{
    TempDir tmp;
    const fs::path home = tmp.path() / "home" / "sub", xdg = tmp.path() / "xdg", missing = tmp.path() / "missing";
    SetEnv("KELVO_HOME", home.string() + "/");
    EXPECT_EQ(ProgramDirFor(tmp.path()), home);   // created, without the trailing separator
    EXPECT_TRUE(fs::is_directory(home));
    EXPECT_EQ(ProgramDir(), home);

    SetEnv("KELVO_HOME", "");
    EXPECT_EQ(ProgramDirFor(tmp.path()), tmp.path());
    EXPECT_EQ(ProgramDir(), ExecutableDir());
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
}

TEST(ProgramDir, SuppliedFilesAreFoundInOrderUnderEitherSeparator)
{
    const fs::path d("/opt/k"), demo("/opt/k/Examples/Example_Demo.sna");
    EXPECT_EQ(JoinPath(d, "\\Examples\\Example_Demo.sna"), demo);
    EXPECT_EQ(JoinPath(d, "Examples/Example_Demo.sna"), demo);
    EXPECT_EQ(JoinPath(d, "KELVO 5.ini"), fs::path("/opt/k/KELVO 5.ini"));
    EXPECT_EQ(JoinPath(d, ""), d);

    TempDir tmp;
    const fs::path home = tmp.path() / "home";
    SetEnv("KELVO_HOME", home);
    const std::string name = "kelvo_supplied_" + std::to_string(::getpid()) + ".txt";
    EXPECT_TRUE(FindSupplied("Examples\\" + name).empty());
    const fs::path beside = JoinPath(ExecutableDir(), "Examples\\" + name), own = home / "Examples" / name;
    Touch(beside);
    EXPECT_EQ(FindSupplied("\\Examples\\" + name), beside);
    Touch(own);   // the program directory comes first
    EXPECT_EQ(FindSupplied("\\Examples\\" + name), own);
    fs::remove(beside);
    std::error_code ec;
    fs::remove(beside.parent_path(), ec);   // only when empty
    EXPECT_EQ(FindSupplied("Examples/" + name), own);
    // A directory with that name is not a supplied file.
    fs::remove(own);
    fs::create_directories(own);
    EXPECT_TRUE(FindSupplied("Examples/" + name).empty());
    EXPECT_EQ(InstalledDataDir(), ExecutableDir().parent_path() / "share" / "kelvo");
}
