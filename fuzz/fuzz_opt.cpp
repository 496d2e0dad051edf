// The options reader on any bytes: refusal or options that write to a file
// the reader takes again, never a crash.
#include "engine/state/run_state.h"
#include "files/opt_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".opt");
    WriteInput(name, data, size);
    RunState st;
    try {
        if (ReadOptFile(st, name)) {
            const std::string again = FuzzFile("_again.opt");
            RunState back;
            if (!WriteOptFile(st, again) || !ReadOptFile(back, again)) __builtin_trap();
        }
    } catch (const Exception&) {
    }
    return 0;
}
