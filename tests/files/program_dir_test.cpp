#include "files/program_dir.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Sets or clears an environment variable for the lifetime of the object.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvGuard()
    {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

void Touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

} // namespace

TEST(ProgramDir, ChoiceOfDirectory)
{
    TempDir tmp;
    {
        // KELVO_HOME wins over a writable executable directory and is created.
        fs::path home = tmp.path() / "home" / "sub";
        EnvGuard g("KELVO_HOME", (home.string() + "/").c_str());
        EXPECT_EQ(ProgramDirFor(tmp.path()), home);
        EXPECT_TRUE(fs::is_directory(home));
        EXPECT_EQ(ProgramDir(), home);
    }
    EnvGuard noHome("KELVO_HOME", nullptr);
    // A writable executable directory is the program directory.
    EXPECT_EQ(ProgramDirFor(tmp.path()), tmp.path());
    EXPECT_EQ(ProgramDir(), ExecutableDir());

    // A read-only (or missing) executable directory falls back to the per-user directory.
    fs::path xdg = tmp.path() / "xdg";
    EnvGuard g("XDG_DATA_HOME", xdg.c_str());
    EXPECT_EQ(ProgramDirFor(tmp.path() / "missing"), xdg / "kelvo");
    EXPECT_TRUE(fs::is_directory(xdg / "kelvo"));
    if (::geteuid() != 0) {
        fs::path ro = tmp.path() / "ro";
        fs::create_directories(ro);
        ::chmod(ro.c_str(), 0555);
        EXPECT_EQ(ProgramDirFor(ro), xdg / "kelvo");
        ::chmod(ro.c_str(), 0755);
    }
    {
        // Without XDG_DATA_HOME: ~/.local/share/kelvo.
        EnvGuard noXdg("XDG_DATA_HOME", nullptr);
        EnvGuard h("HOME", (tmp.path() / "user").c_str());
        EXPECT_EQ(ProgramDirFor(tmp.path() / "missing"), tmp.path() / "user" / ".local" / "share" / "kelvo");
    }
}

TEST(ProgramDir, JoinPathAcceptsBothSeparators)
{
    fs::path d("/opt/k");
    EXPECT_EQ(JoinPath(d, "\\Examples\\Example_Demo.sna"), fs::path("/opt/k/Examples/Example_Demo.sna"));
    EXPECT_EQ(JoinPath(d, "Examples/Example_Demo.sna"), fs::path("/opt/k/Examples/Example_Demo.sna"));
    EXPECT_EQ(JoinPath(d, "\\cmp"), fs::path("/opt/k/cmp"));
    EXPECT_EQ(JoinPath(d, "KELVO 5.ini"), fs::path("/opt/k/KELVO 5.ini"));
    EXPECT_EQ(JoinPath(d, ""), d);
}

TEST(ProgramDir, SuppliedFilesAreFoundInOrder)
{
    TempDir tmp;
    fs::path home = tmp.path() / "home";
    EnvGuard g("KELVO_HOME", home.c_str());
    const std::string name = "kelvo_supplied_" + std::to_string(::getpid()) + ".txt";
    EXPECT_TRUE(FindSupplied("Examples\\" + name).empty());

    // Beside the executable (the test program's own folder).
    fs::path beside = JoinPath(ExecutableDir(), "Examples\\" + name);
    Touch(beside);
    EXPECT_EQ(FindSupplied("\\Examples\\" + name), beside);

    // The program directory comes first.
    fs::path own = home / "Examples" / name;
    Touch(own);
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
