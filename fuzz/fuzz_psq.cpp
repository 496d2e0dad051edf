// The sequence header reader and the frame arithmetic on any bytes; then the
// player on the same bytes: a refusal leaves no frame in the run, and a frame
// handed to the run (Use) leaves a run whose saved project opens again.
#include "engine/state/run_state.h"
#include "files/psq.h"
#include "files/psq_player.h"
#include "files/sna_file.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QuietMessages();
    static const std::string name = FuzzFile(".psq");
    WriteInput(name, data, size);
    GetPsqFileVersion(name);
    KFile f = KFile::Open(name, 0);
    try {
        BinReader in(f);
        const PsqHeader h = ReadPsqHeader(in);
        const std::int64_t frame = PsqFrameSize(h.Version, h.N, h.C, h.Micelles);
        const std::int64_t count =
            PsqFrameCount(static_cast<std::int64_t>(size), h.HeaderSize, frame);
        int k = static_cast<int>(count);
        const std::int64_t start = PsqFrameStart(static_cast<std::int64_t>(size), count, frame, k);
        if (count > 0 && (start < h.HeaderSize || start + frame > static_cast<std::int64_t>(size)))
            __builtin_trap();
    } catch (const Exception&) {
    }
    f.Close();

    RunState st;
    PsqFileRecorder recorder(st);
    st.Recorder = &recorder;
    st.PsqFileOwn = st.PsqFile = FuzzFile("_own.psq");
    PsqPlayer player(st);
    bool used = false;
    try {
        used = player.Open(name) && player.Use();
    } catch (const Exception&) {
        if (st.Running || st.PsqPlayerInUse) __builtin_trap();
    }
    if (!used) return 0;
    const std::string project = FuzzFile("_used.sna");
    try {
        RunState back;
        if (SaveSnaFile(st, project) && !OpenProject(back, project)) __builtin_trap();
    } catch (const Exception&) {
        __builtin_trap();  // a used frame whose project its own reader refuses
    }
    return 0;
}
