// The sequence header reader and the frame arithmetic on any bytes.
#include "files/psq.h"
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
        const std::int64_t count = PsqFrameCount(static_cast<std::int64_t>(size), h.HeaderSize, frame);
        int k = static_cast<int>(count);
        const std::int64_t start = PsqFrameStart(static_cast<std::int64_t>(size), count, frame, k);
        if (count > 0 && (start < h.HeaderSize || start + frame > static_cast<std::int64_t>(size))) __builtin_trap();
    } catch (const Exception&) {
    }
    return 0;
}
