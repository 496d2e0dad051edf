// The constituent database reader on any bytes: refusal or entries that write
// to a file the reader takes again with the same count, never a crash.
#include "composition/database.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".dbc");
    WriteInput(name, data, size);
    TUnivSet<TComponents> db, back;
    if (ReadDatabase(name, db)) {
        const std::string again = FuzzFile("_again.dbc");
        if (!WriteDatabase(again, db) || !ReadDatabase(again, back) || back.Count() != db.Count())
            __builtin_trap();
    }
    return 0;
}
