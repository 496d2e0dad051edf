#include "files/psq.h"

#include "composition/cmp_file.h"
#include "engine/state/run_state.h"
#include "files/complex_file.h"
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

void WriteHeader(BinWriter& out, const RunState& st)
{
    out.Fields(kPsqKind, "1.0", st.NX, st.NComp, st.CapLength, st.PeakWidth, st.PeakEdgeWidth,
               st.InjSite, st.cbSDS);
}

// Micelle quantity per node: (c_s - CMC_i) / OM where c_s exceeds CMC_i, else 0.
void WriteMicelleRows(BinWriter& out, RunState& st)
{
    const int nn = st.NX + 1;
    std::vector<double> row(static_cast<std::size_t>(nn), 0.0);
    const int m = st.MicCompNo;
    if (m >= 1 && m <= st.NComp && st.OM != 0) {
        const double* cs = st.Arr.C(2, m);
        for (int i = 0; i < nn; ++i) {
            const double cmc =
                i < static_cast<int>(st.Arr.CMCProfile.size()) ? st.Arr.CMCProfile[i] : st.CMC;
            row[i] = cs[i] > cmc ? (cs[i] - cmc) / st.OM : 0.0;
        }
    }
    out.Doubles(row);
    out.Int32(2);
    std::fill(row.begin(), row.end(), 0.0);
    if (st.NComp >= 2 && st.Arr.MicBound.Rows() > 2 && st.Arr.MicBound.Cols() >= nn)
        std::copy(st.Arr.MicBound[2], st.Arr.MicBound[2] + nn, row.begin());
    out.Doubles(row);
}

void WriteFrame(BinWriter& out, RunState& st, const std::string& version, bool micelles)
{
    const int nn = st.NX + 1;
    if (version == "0.1") {
        out.Fields(st.Time, st.DT, st.StepError, st.ErrOpt, st.I, st.U, st.MaxError, st.StopTime);
        out.Fields(Int32Field(st.StepCount), Int32Field(st.NewtonItTotal), st.MaxCorrChange,
                   st.LeftWall, st.RightWall);
    } else {
        WriteRunSetupBlock(out, CaptureRunSetupBlock(st), true);
        out.Fields(st.RunStart, st.SpentTime, Int32Field(st.StepCount),
                   Int32Field(st.NewtonItTotal));
    }
    out.Doubles(st.Arr.PH.data(), nn);
    out.Doubles(st.Arr.Kappa.data(), nn);
    for (int i = 1; i <= st.NComp; ++i) out.Doubles(st.Arr.C(2, i), nn);
    if (version == "0.1") return;
    out.Doubles(st.Arr.CH(2), nn);
    if (micelles) WriteMicelleRows(out, st);
}

}  // namespace

PsqHeader ReadPsqHeader(BinReader& in)
{
    PsqHeader h;
    const std::string kind = in.StringZ();
    if (kind == kPsqKind) {
        in.StringZ();  // version text, not compared
        h.Version = "1.0";
    } else if (kind == kPsqLegacyKind) {
        h.Version = "0.1";
    } else {
        return h;
    }
    in.Fields(h.N, h.C, h.CapLength, h.PeakWidth, h.PeakEdgeWidth, h.InjSite);
    if (h.Version == "1.0") h.Micelles = in.Bool();
    h.HeaderSize = in.Position();
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

std::int64_t PsqFrameStart(std::int64_t fileSize, std::int64_t count, std::int64_t frameSize,
                           int& k)
{
    if (k < 1 || k > count) k = 1;
    return fileSize - (count - k + 1) * frameSize;
}

std::string GetPsqFileVersion(const std::string& name)
{
    KFile f;
    const OpenOutcome opened = OpenForReading(f, name);
    if (opened == OpenOutcome::NotFound) return "NotExists";
    if (opened == OpenOutcome::CantOpen) return "CannnotRead";
    const std::int64_t size = f.Seek(0, 2);
    if (size <= 0) return size == 0 ? "ZeroLength" : "CannnotRead";
    BinReader in(f);
    const std::string kind = in.StringZ();
    if (kind == kPsqLegacyKind) return "0.1";
    if (kind == kPsqKind) return "1.0";
    return "IncorrectFile";
}

void WriteSequenceCompanions(RunState& st, const std::string& psqName)
{
    WriteComposition(st.Composition, ChangeFileExt(psqName, ".cmp"));
    // The complexation table lies beside a sequence recorded in that mode and
    // never beside one recorded without it: the player opens a sequence in
    // the mode it was recorded in.
    const std::string txt = ChangeFileExt(psqName, ".txt");
    if (st.cbComplex)
        SaveComplexData(st, txt);
    else if (FileExists(txt) && IsComplexTableFile(txt))
        DeleteFile(txt);
}

void ResetPsqFile(RunState& st, const std::string& fileName)
{
    RunLists& lists = st;
    const std::string name = ChangeFileExt(fileName, ".psq");
    const fs::path dir = fs::path(name).parent_path();
    std::error_code ec;
    if (!dir.empty() && !fs::is_directory(dir, ec)) fs::create_directories(dir, ec);
    DeleteFile(name);
    KFile f = KFile::Create(name);
    if (!f.IsOpen()) ThrowError("Error: Can't create a new file");
    f.Close();
    lists.PsqSize = 0;
    WriteSequenceCompanions(st, lists.PsqFile);
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
            BinWriter out(f);
            WriteHeader(out, st);
            pos = out.Position();
        } else {
            BinReader in(f);
            const PsqHeader h = ReadPsqHeader(in);
            if (h.Version.empty() || h.N != st.NX || h.C != st.NComp ||
                h.CapLength != st.CapLength) {
                f.Close();
                ThrowError("Incorrect PSQ file.");
            }
            version = h.Version;
            micelles = h.Micelles;
            pos = f.Seek(0, 2);
        }
        BinWriter out(f, pos);
        WriteFrame(out, st, version, micelles);
        pos = out.Position();
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

void PsqFileRecorder::AppendPsqFrame(const std::string& file)
{
    ::AppendPsqFrame(st_, file);
}
void PsqFileRecorder::ResetPsqFile(const std::string& file)
{
    ::ResetPsqFile(st_, file);
}
long long PsqFileRecorder::FileSizeByName(const std::string& file)
{
    return ::FileSizeByName(file);
}
