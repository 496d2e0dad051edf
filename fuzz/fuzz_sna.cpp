// The project open on any bytes beside a fixed composition of two
// constituents: a refusal leaves the recovered state, a success a run that
// saves to a file its own reader takes.
#include "composition/cmp_file.h"
#include "engine/state/run_state.h"
#include "files/example_project.h"
#include "files/sna_file.h"
#include "fuzz_support.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".sna");
    static const bool composition = [] {
        RunState st;
        ComposeExampleDemo(st);
        TUnivSet<TComponents> two;
        two.Add(st.Composition[1]);
        two.Add(st.Composition[2]);
        return WriteComposition(two, ChangeFileExt(name, ".cmp"));
    }();
    if (!composition) __builtin_trap();
    WriteInput(name, data, size);
    RunState st;
    bool opened = false;
    try {
        opened = OpenProject(st, name);
    } catch (const Exception&) {
        if (st.Loading || st.Running) __builtin_trap();
    }
    if (opened) {
        const std::string again = FuzzFile("_again.sna");
        RunState back;
        try {
            // A save that refuses what it staged (the open would refuse it)
            // or whose files the open refuses.
            if (!SaveSnaFile(st, again) || !OpenProject(back, again)) __builtin_trap();
        } catch (const Exception&) {
            __builtin_trap();  // a save that its own reader refuses
        }
    }
    return 0;
}
