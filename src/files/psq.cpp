#include "files/psq.h"

#include "composition/cmp_file.h"
#include "engine/run_state.h"
#include "files/run_setup_block.h"
#include "foundation/binio.h"
#include "foundation/errors.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPsqKind = "KELVO PSQ FILE";
constexpr const char* kPsqLegacyKind = "RAVO_CORE PSQ FILE";

void WriteHeader(KFile& f, std::int64_t& pos, const RunState& st)
{
    FileWriteString(f, kPsqKind, pos, true);
    FileWriteString(f, "1.0", pos, true);
    FileWriteInt32(f, st.NX, pos);
    FileWriteInt32(f, st.NComp, pos);
    FileWriteDouble(f, st.CapLength, pos);
    FileWriteDouble(f, st.PeakWidth, pos);
    FileWriteDouble(f, st.PeakEdgeWidth, pos);
    FileWriteDouble(f, st.InjSite, pos);
    FileWriteBool(f, st.cbSDS, pos);
}

// Micelle quantity per node: (c_s - CMC_i) / OM where c_s exceeds CMC_i, else 0.
void WriteMicelleRows(KFile& f, std::int64_t& pos, RunState& st)
{
    const int nn = st.NX + 1;
    std::vector<double> row(static_cast<std::size_t>(nn), 0.0);
    const int m = st.MicCompNo;
    if (m >= 1 && m <= st.NComp && st.OM != 0) {
        const double* cs = st.Arr.C(2, m);
        for (int i = 0; i < nn; ++i) {
            const double cmc = i < static_cast<int>(st.Arr.CMCProfile.size()) ? st.Arr.CMCProfile[i] : st.CMC;
            row[i] = cs[i] > cmc ? (cs[i] - cmc) / st.OM : 0.0;
        }
    }
    FileWriteDoubles(f, row.data(), nn, pos);
    FileWriteInt32(f, 2, pos);
    std::fill(row.begin(), row.end(), 0.0);
    if (st.NComp >= 2 && st.Arr.MicBound.Rows() > 2 && st.Arr.MicBound.Cols() >= nn)
        std::copy(st.Arr.MicBound[2], st.Arr.MicBound[2] + nn, row.begin());
    FileWriteDoubles(f, row.data(), nn, pos);
}

void WriteFrame(KFile& f, std::int64_t& pos, RunState& st, const std::string& version, bool micelles)
{
    const int nn = st.NX + 1;
    if (version == "0.1") {
        for (double v : {st.Time, st.DT, st.StepError, st.ErrOpt, st.I, st.U, st.MaxError, st.StopTime})
            FileWriteDouble(f, v, pos);
        FileWriteInt32(f, st.StepCount, pos);
        FileWriteInt32(f, st.NewtonItTotal, pos);
        FileWriteDouble(f, st.MaxCorrChange, pos);
        FileWriteInt32(f, st.LeftWall, pos);
        FileWriteInt32(f, st.RightWall, pos);
    } else {
        WriteRunSetupBlock(f, pos, CaptureRunSetupBlock(st), true);
        FileWriteDouble(f, st.RunStart, pos);
        FileWriteDouble(f, st.SpentTime, pos);
        FileWriteInt32(f, st.StepCount, pos);
        FileWriteInt32(f, st.NewtonItTotal, pos);
    }
    FileWriteDoubles(f, st.Arr.PH.data(), nn, pos);
    FileWriteDoubles(f, st.Arr.Kappa.data(), nn, pos);
    for (int i = 1; i <= st.NComp; ++i) FileWriteDoubles(f, st.Arr.C(2, i), nn, pos);
    if (version == "0.1") return;
    FileWriteDoubles(f, st.Arr.CH(2), nn, pos);
    if (micelles) WriteMicelleRows(f, pos, st);
}

} // namespace

PsqHeader ReadPsqHeader(KFile& f, std::int64_t limit)
{
    PsqHeader h;
    std::int64_t pos = 0;
    f.Seek(0, 0);
    std::string kind;
    FileReadStringZ(f, kind, limit, pos);
    if (kind == kPsqKind) {
        std::string version;
        FileReadStringZ(f, version, limit, pos);
        h.Version = "1.0";
    } else if (kind == kPsqLegacyKind) {
        h.Version = "0.1";
    } else {
        return h;
    }
    h.N = FileReadInt32(f, limit, pos);
    h.C = FileReadInt32(f, limit, pos);
    h.CapLength = FileReadDouble(f, limit, pos);
    h.PeakWidth = FileReadDouble(f, limit, pos);
    h.PeakEdgeWidth = FileReadDouble(f, limit, pos);
    h.InjSite = FileReadDouble(f, limit, pos);
    if (h.Version == "1.0") h.Micelles = FileReadBool(f, limit, pos);
    h.HeaderSize = pos;
    return h;
}

std::int64_t PsqFrameSize(const std::string& version, std::int64_t N, std::int64_t C, bool micelles)
{
    if (N < 0 || C < 0 || N > (1 << 30) || C > (1 << 20)) return 0;
    if (version == "1.0") {
        std::int64_t size = (C + 3) * (N + 1) * 8 + 357;
        if (micelles) size += (2 * N + 2) * 8 + 4;
        return size;
    }
    if (version == "0.1") return C * (N + 1) * 8 + (N + 1) * 16 + 88;
    return 0;
}

std::int64_t PsqFrameCount(std::int64_t fileSize, std::int64_t headerSize, std::int64_t frameSize)
{
    if (frameSize <= 0 || fileSize < headerSize) return 0;
    const std::int64_t rest = fileSize - headerSize;
    return rest % frameSize == 0 ? rest / frameSize : 0;
}

std::int64_t PsqFrameStart(std::int64_t fileSize, std::int64_t count, std::int64_t frameSize, int& k)
{
    if (k < 1 || k > count) k = 1;
    return fileSize - (count - k + 1) * frameSize;
}

std::string GetPsqFileVersion(const std::string& name)
{
    if (!FileExists(name)) return "NotExists";
    KFile f = KFile::Open(name, 0);
    if (!f.IsOpen()) return "CannnotRead";
    const std::int64_t size = f.Seek(0, 2);
    if (size <= 0) return size == 0 ? "ZeroLength" : "CannnotRead";
    f.Seek(0, 0);
    std::int64_t pos = 0;
    std::string kind;
    FileReadStringZ(f, kind, size, pos);
    if (kind == kPsqLegacyKind) return "0.1";
    if (kind == kPsqKind) return "1.0";
    return "IncorrectFile";
}

void ResetPsqFile(RunState& st, const std::string& fileName)
{
    const std::string name = ChangeFileExt(fileName, ".psq");
    const fs::path dir = fs::path(name).parent_path();
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec)) fs::create_directories(dir, ec);
    DeleteFile(name);
    KFile f = KFile::Create(name);
    if (!f.IsOpen()) ThrowError("Error: Can't create a new file");
    f.Close();
    st.PsqSize = 0;
    WriteComposition(st.Composition, ChangeFileExt(st.PsqFile, ".cmp"));
}

void AppendPsqFrame(RunState& st, const std::string& fileName)
{
    const std::string name = ChangeFileExt(fileName, ".psq");
    if (!st.Arr.Allocated() || st.Arr.Nn != st.NX + 1 || st.Arr.NComp != st.NComp)
        ThrowError("Incorrect PSQ file.");
    KFile f = FileExists(name) ? KFile::Open(name, 2) : KFile::Create(name);
    if (!f.IsOpen()) ThrowError("Error: Can't create a new file");
    const std::int64_t size = f.Seek(0, 2);
    if (size < 0) ThrowError("Error: Can't read from file");
    std::string version = "1.0";
    bool micelles = st.cbSDS;
    std::int64_t pos = 0;
    try {
        if (size == 0) {
            WriteHeader(f, pos, st);
        } else {
            const PsqHeader h = ReadPsqHeader(f, size);
            if (h.Version.empty() || h.N != st.NX || h.C != st.NComp || h.CapLength != st.CapLength) {
                f.Close();
                ThrowError("Incorrect PSQ file.");
            }
            version = h.Version;
            micelles = h.Micelles;
            pos = f.Seek(0, 2);
        }
        WriteFrame(f, pos, st, version, micelles);
        f.Close();
    } catch (...) {
        // A frame that is not complete would leave no readable frame at all.
        f.Close();
        std::error_code ec;
        if (FileExists(name)) fs::resize_file(name, static_cast<std::uintmax_t>(size), ec);
        throw;
    }
    st.PsqSize = pos;
}

void PsqFileRecorder::AppendPsqFrame(const std::string& file) { ::AppendPsqFrame(st_, file); }
void PsqFileRecorder::ResetPsqFile(const std::string& file) { ::ResetPsqFile(st_, file); }
long long PsqFileRecorder::FileSizeByName(const std::string& file) { return ::FileSizeByName(file); }
