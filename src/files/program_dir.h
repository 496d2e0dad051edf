// The program directory and the supplied read-only files.
//
// The program directory (`RootDir`) is where the program writes its own files:
// instance markers, the temporary sequence, the settings file and the export
// folders. It is, in this order of preference:
//   1. the directory named by the environment variable KELVO_HOME;
//   2. the directory of the executable, when it is writable;
//   3. $XDG_DATA_HOME/kelvo (default ~/.local/share/kelvo), created on demand.
// Supplied read-only files (example project, database, manuals) are looked up in
// the program directory, then beside the executable, then in the installed data
// directory (<prefix>/share/kelvo for an executable in <prefix>/bin).
#pragma once

#include <filesystem>
#include <string>

// Directory of the running executable (from /proc/self/exe); empty when unknown.
std::filesystem::path ExecutableDir();

// Installed data directory: <exe dir>/../share/kelvo (not checked for existence).
std::filesystem::path InstalledDataDir();

// Resolves the program directory as described above, creating the per-user
// directory when that one is chosen. Never returns a trailing separator.
std::filesystem::path ProgramDir();
// The same rule for a given executable directory.
std::filesystem::path ProgramDirFor(const std::filesystem::path& exeDir);

// Joins a relative name written with "\" or "/" separators ("Examples\Example_Demo.sna",
// "\cmp") to a directory; leading separators of `relative` are ignored.
std::filesystem::path JoinPath(const std::filesystem::path& dir, const std::string& relative);

// First existing regular file named `relative` in the program directory, beside the
// executable or in the installed data directory; empty path when none exists.
std::filesystem::path FindSupplied(const std::string& relative);
