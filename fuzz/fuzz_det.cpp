// The detector reader on any bytes, for a run of two constituents.
#include "engine/run_state.h"
#include "files/det_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".det");
    WriteInput(name, data, size);
    RunState st;
    st.NComp = 2;
    st.Series.srDetComp.resize(3);
    try {
        ReadDetFile(st, name);
    } catch (const Exception&) {
    }
    return 0;
}
