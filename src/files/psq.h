// The profile-sequence file (".psq"): a header that fixes the size of the
// system, then fixed-size frames, each with the run-setup block and every node
// profile at one moment. A run appends frames to the temporary sequence file of
// the program instance; a saved project carries a copy of it.
#pragma once

#include "engine/host/psq_recorder.h"
#include "foundation/binio.h"

#include <cstdint>
#include <string>

class RunState;
struct RunLists;

struct PsqHeader {
    std::string Version;       // "1.0", "0.1", or "" for a file of another kind
    std::int32_t N = 0;        // last node index
    std::int32_t C = 0;        // constituents
    double CapLength = 0;      // m
    double PeakWidth = 0;      // mm
    double PeakEdgeWidth = 0;  // mm
    double InjSite = 0;        // mm ("1.0"), injection node ("0.1")
    bool Micelles = false;     // "1.0" only
    std::int64_t HeaderSize = 0;
};

// Reads the header at the position of the cursor (the start of a sequence
// file). For a first string other than the two known ones only Version ("") is
// set.
PsqHeader ReadPsqHeader(BinReader& in);

// Bytes of one frame: "1.0": (C + 3)(N + 1) 8 + 357, with micelles
// + (2N + 2) 8 + 4; "0.1": C (N + 1) 8 + (N + 1) 16 + 88. 0 for another version
// or a negative N or C.
std::int64_t PsqFrameSize(const std::string& version, std::int64_t N, std::int64_t C,
                          bool micelles);
// Number of whole frames after the header; 0 when the rest is not a whole
// number of frames (or the frame size is not positive).
std::int64_t PsqFrameCount(std::int64_t fileSize, std::int64_t headerSize, std::int64_t frameSize);
// Start of frame k (1-based), counted backwards from the end of the file; a k
// outside 1..count becomes 1.
std::int64_t PsqFrameStart(std::int64_t fileSize, std::int64_t count, std::int64_t frameSize,
                           int& k);

// "1.0", "0.1", "NotExists", "CannnotRead", "ZeroLength" or "IncorrectFile".
std::string GetPsqFileVersion(const std::string& name);

// Makes the named file (extension forced to ".psq") an empty sequence file
// (PsqSize := 0) and writes the companions beside st.PsqFile.
// Raises "Error: Can't create a new file" when it cannot be created.
void ResetPsqFile(RunState& st, const std::string& name);
// The companions of a sequence: the composition (".cmp") and, in
// complexation mode, the complexation table (".txt"; a table file left from
// an earlier recording without the mode is removed).
void WriteSequenceCompanions(RunState& st, const std::string& psqName);

// Appends one frame of the current state to the named file (extension forced
// to ".psq"), writing the "1.0" header first when the file is empty. A file of
// another system (N, C or capillary length) or kind raises "Incorrect PSQ
// file."; frames follow the file's version and micelle byte. A failed write
// leaves the file as it was before. Sets st.PsqSize.
void AppendPsqFrame(RunState& st, const std::string& name);

// The recorder that writes the sequence calls of a run to the files through
// the routines above.
class PsqFileRecorder final : public PsqRecorder {
public:
    explicit PsqFileRecorder(RunState& st) : st_(st) {}

    void AppendPsqFrame(const std::string& file) override;
    void ResetPsqFile(const std::string& file) override;
    long long FileSizeByName(const std::string& file) override;

private:
    RunState& st_;
};
