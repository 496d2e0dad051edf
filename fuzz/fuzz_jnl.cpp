// The settling of a save journal on any bytes beside a project "x" whose save
// died after its composition was replaced (the seeds' project): refused by
// name or settled (the journal gone), never a crash, and no file but the
// set's own is ever changed.
#include "foundation/binio.h"
#include "fuzz_support.h"

#include <cstdio>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    namespace fs = std::filesystem;
    static const fs::path dir = FuzzFile("_jnl");
    const std::string x = (dir / "x.sna").string();
    const std::string journal = SaveJournalName(x);
    fs::remove_all(dir);
    fs::create_directories(dir);
    const auto lay = [&](const char* name, const char* bytes) {
        WriteInput((dir / name).string(), reinterpret_cast<const std::uint8_t*>(bytes),
                   std::char_traits<char>::length(bytes));
    };
    lay("x.sna", "project");
    lay("x.cmp", "new composition");
    lay(".x.cmp.bak1_0", "old composition");
    lay("x.notes", "the user's");
    lay("y.cmp", "another project's");
    WriteInput(journal, data, size);
    try {
        if (SettleSaveJournal(journal) && FileExists(journal)) __builtin_trap();
    } catch (const Exception&) {
    }
    for (const char* other : {"x.notes", "y.cmp"})
        if (!FileExists((dir / other).string())) __builtin_trap();
    fs::remove_all(dir);
    return 0;
}
