// The file kinds the program opens by name (File > Open, the command line, the
// example at start-up): a table from extension to opener. A new kind is one
// entry here and its reader.
#pragma once

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

// The entry for the extension of `name` (compared in lower case); nullptr when
// no kind has one.
const FileOpenerEntry* FindFileOpener(const std::string& name);

// Opens `name` with the opener of its extension; false when there is none or
// the opener did not open it. The opener's exceptions go on.
bool OpenByExtension(RunState& st, const std::string& name);
