// Shared by the fuzz targets: the input as a file, and a message sink that
// answers No and keeps nothing (messages are an expected outcome of bad input).
#pragma once

#include "foundation/errors.h"

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

class QuietSink : public MessageSink {
public:
    void Warning(const std::string&) override {}
    bool Question(const std::string&) override { return false; }
    void Message(const std::string&) override {}
};

// A file name in the temporary directory, one per fuzzing process.
inline std::string FuzzFile(const std::string& extension)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/kelvo_fuzz_" + std::to_string(::getpid()) +
           extension;
}

inline void WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Installs the quiet sink for the whole run.
inline void QuietMessages()
{
    static QuietSink sink;
    SetMessageSink(&sink);
}
