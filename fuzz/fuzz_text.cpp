// Number and expression texts: the number readers on any text; an expression
// that parses prints to a text that parses back (within the length limit of
// 8192 characters without spaces) and prints again to the same text.
#include "foundation/fntree.h"
#include "foundation/numtext.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    const std::string text(reinterpret_cast<const char*>(data), size);
    double d = 0;
    int i = 0;
    if (ReadDouble(text, d) && !std::isfinite(d)) __builtin_trap();
    ReadInt(text, i);
    try {
        TFnTree tree;
        if (!tree.FromText(text)) return 0;
        const std::string printed = tree.ToString();
        if (printed.size() -
                static_cast<std::size_t>(std::count(printed.begin(), printed.end(), ' ')) >
            8192)
            return 0;
        TFnTree back;
        if (!back.FromText(printed) || back.ToString() != printed) __builtin_trap();
        tree.Value(0.5);
    } catch (const Exception&) {
    }
    return 0;
}
