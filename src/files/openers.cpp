#include "files/openers.h"

#include "files/sna_file.h"
#include "foundation/binio.h"
#include "foundation/fileio.h"

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

std::string FindCompanion(const std::string& base, const std::string& ext,
                          const std::function<bool(const std::string&)>& exists)
{
    const auto found = [&](const std::string& name) {
        return exists ? exists(name) : FileExists(name);
    };
    // Spelling k puts letter c of the extension in capitals when bit c of k
    // is set: k = 0 is `ext` itself; a bit of a character that is no letter
    // gives no other spelling.
    const std::size_t letters = ext.size() > 1 ? ext.size() - 1 : 0;
    for (unsigned k = 0; letters < 8 && k < 1u << letters; ++k) {
        std::string spelled = ext;
        bool other = true;
        for (std::size_t c = 0; c < letters; ++c) {
            if (!(k >> c & 1)) continue;
            char& ch = spelled[1 + c];
            other = other && std::isalpha(static_cast<unsigned char>(ch));
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        const std::string name = ChangeFileExt(base, spelled);
        if (other && found(name)) return name;
    }
    return "";
}

std::string CompanionName(const std::string& base, const std::string& ext)
{
    const std::string found = FindCompanion(base, ext);
    return found.empty() ? ChangeFileExt(base, ext) : found;
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
