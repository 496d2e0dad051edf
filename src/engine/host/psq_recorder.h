// Where a run records its profile sequence (".psq"). The file layer provides
// the recorder that writes the files; tests may count instead.
#pragma once

#include <string>

class PsqRecorder {
public:
    virtual ~PsqRecorder() = default;
    // Appends one frame of the current state; throws Exception on failure.
    virtual void AppendPsqFrame(const std::string& file) = 0;
    // Recreates the temporary sequence file empty.
    virtual void ResetPsqFile(const std::string& file) = 0;
    // Size of a file in bytes, -1 when it does not exist.
    virtual long long FileSizeByName(const std::string& file) = 0;
};

// The recorder of a run that records nothing: no frames, every file absent.
class NullPsqRecorder final : public PsqRecorder {
public:
    void AppendPsqFrame(const std::string&) override {}
    void ResetPsqFile(const std::string&) override {}
    long long FileSizeByName(const std::string&) override { return -1; }
};
