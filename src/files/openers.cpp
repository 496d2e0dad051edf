#include "files/openers.h"

#include "files/sna_file.h"

#include <cctype>
#include <filesystem>

const std::vector<FileOpenerEntry>& FileOpeners()
{
    static const std::vector<FileOpenerEntry> table = {
        {".sna", OpenProject},
        {".cmp", OpenComposition},
    };
    return table;
}

std::string LowerFileExt(const std::string& name)
{
    std::string ext = std::filesystem::path(name).extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

const FileOpenerEntry* FindFileOpener(const std::string& name)
{
    const std::string ext = LowerFileExt(name);
    for (const FileOpenerEntry& e : FileOpeners())
        if (ext == e.Extension) return &e;
    return nullptr;
}

bool OpenByExtension(RunState& st, const std::string& name)
{
    const FileOpenerEntry* e = FindFileOpener(name);
    return e && e->Open(st, name);
}
