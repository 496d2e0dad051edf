// The composition reader on any bytes: refusal or a list, never a crash.
#include "composition/cmp_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".cmp");
    WriteInput(name, data, size);
    TUnivSet<TComponents> list;
    try {
        if (LoadCompositionFile(name, list)) {
            // What was read is written back and read again to the same count.
            const std::string again = FuzzFile("_again.cmp");
            if (list.Count() > 0 && WriteComposition(list, again)) {
                TUnivSet<TComponents> back;
                if (!LoadCompositionFile(again, back) || back.Count() != list.Count())
                    __builtin_trap();
            }
        }
    } catch (const Exception&) {
    }
    return 0;
}
