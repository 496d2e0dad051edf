// The file kinds the program opens by name (File > Open, the command line, the
// example at start-up): a table from extension to opener. A new kind is one
// entry here and its reader.
#pragma once

#include <functional>
#include <string>
#include <vector>

class RunState;

struct FileOpenerEntry {
    const char* Extension;                                // lower case, with its dot
    bool (*Open)(RunState& st, const std::string& name);  // true when opened
};

// ".sna" (a project) opens through OpenProject, ".cmp" (a composition)
// through OpenComposition.
const std::vector<FileOpenerEntry>& FileOpeners();

// Extension of a file name in lower case, with its dot ("" when none).
std::string LowerFileExt(const std::string& name);

// The companion of `base` with the extension `ext` (small letters, with its
// dot) as every reader and the save find it: `base` with `ext` when `exists`
// takes that name, else the first other spelling of `ext` in letter case
// that it takes, in one fixed order (".CMP" as an older system writes it);
// "" when none. `exists` is FileExists when not given.
std::string FindCompanion(const std::string& base, const std::string& ext,
                          const std::function<bool(const std::string&)>& exists = {});

// The name of that companion as a save writes it and a message names it: the
// one FindCompanion finds, else `base` with `ext`.
std::string CompanionName(const std::string& base, const std::string& ext);

// The entry for the extension of `name` (compared in lower case); nullptr when
// no kind has one.
const FileOpenerEntry* FindFileOpener(const std::string& name);

// Opens `name` with the opener of its extension; false when there is none or
// the opener did not open it. The opener's exceptions go on.
bool OpenByExtension(RunState& st, const std::string& name);
