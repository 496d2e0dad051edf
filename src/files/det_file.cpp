#include "files/det_file.h"

#include "engine/run_state.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace {

double PointY(const ChartSeries& s, int p) { return p < s.Count() ? s.y[p] : 0.0; }

} // namespace

bool WriteDetFile(RunState& st, const std::string& name)
{
    if (!FileDirExists(name)) {
        const std::string dir = std::filesystem::path(name).parent_path().string();
        if (!Confirm("Create New Dir?\n" + dir)) return false;
        std::error_code ec;
        std::filesystem::create_directory(dir, ec);
    }
    if (!st.Initialised) return false;
    const RunSeries& s = st.Series;
    const int points = s.DET_pH.Count();
    const int nComp = st.NComp;
    const bool withVI = s.DET_volt.Count() == points && s.DET_CDen.Count() == points;
    const bool created = SaveFileAtomically(name, [&](KFile& f, std::int64_t& pos) {
        FileWriteString(f, "KELVO DET FILE", pos, true);
        FileWriteString(f, "1.0", pos, true);
        FileWriteInt32(f, points, pos);
        FileWriteInt32(f, static_cast<std::int32_t>(s.clbDet.size()), pos);
        for (const CheckListItem& item : s.clbDet) FileWriteString(f, item.text, pos, true);
        std::vector<double> rec(static_cast<std::size_t>(5 + nComp));
        for (int p = 0; p < points; ++p) {
            rec[0] = s.DET_pH.x[p];
            rec[1] = s.DET_pH.y[p];
            rec[2] = PointY(s.DET_conductivity, p);
            for (int i = 1; i <= nComp; ++i)
                rec[2 + i] = i < static_cast<int>(s.srDetComp.size()) ? PointY(s.srDetComp[i], p) : 0.0;
            rec[3 + nComp] = withVI ? s.DET_volt.y[p] : 0.0;
            rec[4 + nComp] = withVI ? s.DET_CDen.y[p] : 0.0;
            FileWriteDoubles(f, rec.data(), static_cast<std::int64_t>(rec.size()), pos);
        }
        FileWriteString(f, "EOF", pos, true);
    });
    if (!created) {
        ShowWarning("Error: Can't create a new file");
        return false;
    }
    return true;
}

bool ReadDetFile(RunState& st, const std::string& name)
{
    if (!FileExists(name)) {
        ShowWarning("File \"" + name + "\" not found.");
        return false;
    }
    KFile f = KFile::Open(name, 0);
    if (!f.IsOpen()) {
        ShowWarning("Can't open a file");
        return false;
    }
    const std::int64_t limit = f.Seek(0, 2);
    f.Seek(0, 0);
    std::int64_t pos = 0;
    std::string kind, version;
    FileReadStringZ(f, kind, limit, pos);
    bool legacy = false;
    if (kind == "RAVO_CORE DET FILE") {
        legacy = true;
    } else if (kind == "KELVO DET FILE") {
        FileReadStringZ(f, version, limit, pos);
    } else {
        ShowWarning("Incorrect Detector File.");
        return false;
    }
    const std::int32_t points = FileReadInt32(f, limit, pos);
    const std::int32_t names = FileReadInt32(f, limit, pos);
    if (points < 0 || names < 0) {
        f.Close();
        ThrowError("Incorrect file.");
    }
    RequireBytes(f, names, limit, pos);   // every name holds at least its zero byte
    for (std::int32_t k = 0; k < names; ++k) {
        std::string dropped;
        FileReadStringZ(f, dropped, limit, pos);
    }
    const int nComp = st.NComp;
    const std::int64_t perPoint = (legacy ? 3 : 5) + static_cast<std::int64_t>(nComp);
    RequireBytes(f, perPoint * 8 * points, limit, pos);
    std::vector<double> data(static_cast<std::size_t>(perPoint * points));
    FileReadDoubles(f, data.data(), static_cast<std::int64_t>(data.size()), limit, pos);
    std::string trailer;
    FileReadStringZ(f, trailer, limit, pos);
    if (trailer != "EOF") {
        ShowWarning("Incorrect file.");
        return false;
    }
    RunSeries& s = st.Series;
    for (std::int32_t p = 0; p < points; ++p) {
        const double* r = data.data() + perPoint * p;
        const double t = r[0];
        s.DET_pH.Add(t, r[1]);
        s.DET_conductivity.Add(t, r[2]);
        for (int i = 1; i <= nComp; ++i)
            if (i < static_cast<int>(s.srDetComp.size())) s.srDetComp[i].Add(t, r[2 + i]);
        s.DET_volt.Add(t, legacy ? 0.0 : r[3 + nComp]);
        s.DET_CDen.Add(t, legacy ? 0.0 : r[4 + nComp]);
        s.DET_T.Add(t, 25.0);
    }
    return true;
}
