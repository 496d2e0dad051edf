// The detector reader on any bytes, for a run of two constituents: a record it
// takes writes a file it takes again to the same bytes.
#include "engine/state/run_state.h"
#include "files/det_file.h"
#include "fuzz_support.h"

#include <fstream>
#include <iterator>

namespace {

std::string Contents(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A state that reads and writes records of two constituents.
void TwoConstituents(RunState& st)
{
    st.NComp = 2;
    st.Initialised = true;
    st.Series.srDetComp.resize(3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".det");
    WriteInput(name, data, size);
    RunState st;
    TwoConstituents(st);
    try {
        if (!ReadDetFile(st, name)) return 0;
    } catch (const Exception&) {
        return 0;
    }
    const std::string a = FuzzFile("_a.det"), b = FuzzFile("_b.det");
    RunState back;
    TwoConstituents(back);
    try {
        if (!WriteDetFile(st, a) || !ReadDetFile(back, a) || !WriteDetFile(back, b) ||
            Contents(a) != Contents(b))
            __builtin_trap();
    } catch (const Exception&) {
        __builtin_trap();  // a record its own reader refuses
    }
    return 0;
}
