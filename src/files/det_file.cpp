#include "files/det_file.h"

#include "engine/state/run_state.h"
#include "foundation/binio.h"
#include "foundation/errors.h"

#include <cmath>
#include <utility>
#include <vector>

namespace {

// -log10 of the smallest and largest positive doubles lies within this.
constexpr double kLargestPH = 330.0;

double PointY(const ChartSeries& s, int p)
{
    return p < s.Count() ? s.y[p] : 0.0;
}

}  // namespace

void EncodeDetFile(BinWriter& out, const RunState& st)
{
    const RunSeries& s = st.Series;
    const int points = s.DET_pH.Count();
    const int nComp = st.NComp;
    const bool withVI = s.DET_volt.Count() == points && s.DET_CDen.Count() == points;
    out.Fields("KELVO DET FILE", "1.0", points, static_cast<std::int32_t>(s.clbDet.size()));
    for (const CheckListItem& item : s.clbDet) out.StringZ(item.text);
    std::vector<double> rec(static_cast<std::size_t>(5 + nComp));
    for (int p = 0; p < points; ++p) {
        rec[0] = s.DET_pH.x[p];
        rec[1] = s.DET_pH.y[p];
        rec[2] = PointY(s.DET_conductivity, p);
        for (int i = 1; i <= nComp; ++i)
            rec[2 + i] = i < static_cast<int>(s.srDetComp.size()) ? PointY(s.srDetComp[i], p) : 0.0;
        rec[3 + nComp] = withVI ? s.DET_volt.y[p] : 0.0;
        rec[4 + nComp] = withVI ? s.DET_CDen.y[p] : 0.0;
        out.Doubles(rec);
    }
    out.StringZ("EOF");
}

bool WriteDetFile(RunState& st, const std::string& name)
{
    if (!MakeFileDirAsked(name, "Create New Dir?\n")) return false;
    if (!st.Initialised) return false;
    const bool created = SaveFileAtomically(name, [&](BinWriter& out) { EncodeDetFile(out, st); });
    if (!created) {
        ShowWarning("Error: Can't create a new file");
        return false;
    }
    return true;
}

bool ReadDetFile(RunState& st, const std::string& name)
{
    DetRecord record;
    if (!LoadDetFile(name, st.NComp, record)) return false;
    AppendDetRecord(st.Series, record);
    return true;
}

bool LoadDetFile(const std::string& name, int nComp, DetRecord& record)
{
    KFile f;
    if (!OpenForReading(f, name, "Can't open a file")) return false;
    BinReader in(f);
    const std::string kind = in.StringZ();
    const bool legacy = kind == "RAVO_CORE DET FILE";
    if (kind == "KELVO DET FILE") {
        in.StringZ();  // any version
    } else if (!legacy) {
        ShowWarning("Incorrect Detector File.");
        return false;
    }
    const std::int32_t points = in.Int32();
    const std::int32_t names = in.Int32();
    in.RequireItems(names, 1);  // every name holds at least its zero byte
    for (std::int32_t k = 0; k < names; ++k) in.StringZ();
    const std::int64_t perPoint = (legacy ? 3 : 5) + static_cast<std::int64_t>(nComp);
    in.RequireItems(points, perPoint * 8);
    std::vector<double> data = in.Doubles(perPoint * points);
    in.Check(AllFinite(data));  // a run stops before it records a number that is not finite
    // Nor does a run record a time before its start or a pH that no finite
    // positive hydrogen-ion concentration gives.
    for (std::int32_t p = 0; p < points; ++p) {
        const double* r = data.data() + perPoint * p;
        in.Check(r[0] >= 0 && std::fabs(r[1]) <= kLargestPH);
    }
    if (!in.TrailerIsEOF()) return false;
    record.Legacy = legacy;
    record.NComp = nComp;
    record.Points = points;
    record.Data = std::move(data);
    return true;
}

void AppendDetRecord(RunSeries& s, const DetRecord& record)
{
    const bool legacy = record.Legacy;
    const int nComp = record.NComp;
    const std::int64_t perPoint = (legacy ? 3 : 5) + static_cast<std::int64_t>(nComp);
    for (std::int32_t p = 0; p < record.Points; ++p) {
        const double* r = record.Data.data() + perPoint * p;
        const double t = r[0];
        s.DET_pH.Add(t, r[1]);
        s.DET_conductivity.Add(t, r[2]);
        for (int i = 1; i <= nComp; ++i)
            if (i < static_cast<int>(s.srDetComp.size())) s.srDetComp[i].Add(t, r[2 + i]);
        s.DET_volt.Add(t, legacy ? 0.0 : r[3 + nComp]);
        s.DET_CDen.Add(t, legacy ? 0.0 : r[4 + nComp]);
        s.DET_T.Add(t, 25.0);
    }
}
