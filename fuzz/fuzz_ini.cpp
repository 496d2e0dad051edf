// The settings reader on any bytes: refusal or settings that write to a file
// the reader takes again, never a crash.
#include "engine/state/run_state.h"
#include "files/ini_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".ini");
    WriteInput(name, data, size);
    RunState st;
    try {
        if (ReadIniFile(st, name)) {
            const std::string again = FuzzFile("_again.ini");
            RunState back;
            if (!WriteIniFile(st, again) || !ReadIniFile(back, again)) __builtin_trap();
        }
    } catch (const Exception&) {
    }
    return 0;
}
