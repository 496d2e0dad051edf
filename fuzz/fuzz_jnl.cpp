// The settling of a save journal on any bytes beside a project: refused by
// name or settled (the journal gone), never a crash.
#include "foundation/binio.h"
#include "fuzz_support.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".sna");
    static const std::string journal = SaveJournalName(name);
    WriteInput(journal, data, size);
    try {
        if (SettleSaveJournal(journal) && FileExists(journal)) __builtin_trap();
    } catch (const Exception&) {
    }
    std::remove(journal.c_str());
    return 0;
}
