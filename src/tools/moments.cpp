#include "tools/moments.h"

#include "engine/state/run_state.h"
#include "engine/step/init_distribution.h"
#include "engine/step/run_series.h"
#include "foundation/numtext.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kNoConstituent = "No selected constituent";

// Weight of point i: the section of the node times the node spacing; points
// beyond the grid take the last node's section.
std::vector<double> PointWeights(const RunState& st, int count)
{
    std::vector<double> w(static_cast<std::size_t>(count), 0.0);
    const std::vector<double>& svol = st.Arr.SVol;
    if (svol.empty()) return {};
    const int last = std::min(st.NX, static_cast<int>(svol.size()) - 1);
    for (int i = 0; i < count; ++i)
        w[static_cast<std::size_t>(i)] = svol[static_cast<std::size_t>(std::min(i, last))] * st.DX;
    return w;
}

// Weights of the detector trace's points left..right: the time each stands
// for by the trapezoidal rule (half the spans to its neighbours inside the
// borders), so that M0 is the area under the trace, c integrated over time.
std::vector<double> TimeWeights(const std::vector<double>& t, int left, int right)
{
    std::vector<double> w(t.size(), 0.0);
    for (int i = left; i < right; ++i) {
        const double half =
            0.5 * (t[static_cast<std::size_t>(i) + 1] - t[static_cast<std::size_t>(i)]);
        w[static_cast<std::size_t>(i)] += half;
        w[static_cast<std::size_t>(i) + 1] += half;
    }
    return w;
}

std::string NumberText(double v)
{
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
    return FloatToStr(v, DecimalSeparator());
}

}  // namespace

std::array<double, 4> ComputeMoments(const std::vector<double>& x, const std::vector<double>& y,
                                     const std::vector<double>& w, int left, int right, double K,
                                     double Q, double s)
{
    std::array<double, 4> a{0, 0, 0, 0};
    long double s0 = 0, s1 = 0;
    std::vector<double> c(static_cast<std::size_t>(right - left + 1));
    for (int i = left; i <= right; ++i) {
        const double xi = x[i] * s;
        const double ci = y[i] - K * xi - Q;
        c[static_cast<std::size_t>(i - left)] = ci;
        s0 += static_cast<long double>(ci) * w[i];
        s1 += static_cast<long double>(xi) * ci * w[i];
    }
    a[0] = static_cast<double>(s0);
    if (a[0] == 0) return a;
    a[1] = static_cast<double>(s1 / s0);
    long double s2 = 0, s3 = 0;
    for (int i = left; i <= right; ++i) {
        const long double d = static_cast<long double>(x[i] * s) - a[1];
        const long double cw =
            static_cast<long double>(c[static_cast<std::size_t>(i - left)]) * w[i];
        s2 += d * d * cw;
        s3 += d * d * d * cw;
    }
    a[2] = static_cast<double>(s2 / s0);
    a[3] = static_cast<double>(s3 / s0);
    return a;
}

double ZoneMobility(double a1, double time, double voltage, double length)
{
    return a1 / time / voltage * length * 1e9;
}

MomentSeries MomentsTool::Selected(const RunState& st) const
{
    MomentSeries m;
    const RunSeries& s = st.Series;
    if (SeriesNo < 1 || SeriesNo > st.NComp) return m;
    const auto k = static_cast<std::size_t>(SeriesNo);
    if (DetectorScale) {
        if (k >= s.srDetComp.size()) return m;
        const ChartSeries& d = s.srDetComp[k];
        m.title = d.title;
        m.x = d.x;
        m.y = d.y;
        m.x.resize(m.y.size(), 0.0);
    } else {
        if (k >= s.srComp.size()) return m;
        m.title = s.srComp[k].title;
        const EngineArrays& a = st.Arr;
        if (a.Allocated() && SeriesNo <= a.NComp && a.DrawnProfile.Rows() > SeriesNo &&
            a.DrawnProfile.Cols() == a.Nn) {
            const double* p = a.DrawnProfile[SeriesNo];
            m.y.assign(p, p + a.Nn);
            for (int n = 0; n < a.Nn; ++n) m.x.push_back(NodeX(st, n));
        }
    }
    m.valid = true;
    return m;
}

std::string MomentsTool::SeriesName(const RunState& st) const
{
    const MomentSeries m = Selected(st);
    return m.valid ? m.title : kNoConstituent;
}

std::string MomentsTool::Process(const RunState& st)
{
    const MomentSeries m = Selected(st);
    const std::vector<double> w = m.valid ? PointWeights(st, m.Count()) : std::vector<double>{};
    // Without a run there are no node sections to weigh the points with.
    if (!m.valid || st.Arr.SVol.empty()) {
        Moments[0] = -1;
        return "Invalid number of constituent";
    }
    if (LeftBorder >= RightBorder) {
        Moments[0] = -1;
        return "Invalid Borders";
    }
    if (LeftBorder < 0 || RightBorder > m.Count() - 1) {
        Moments[0] = -1;
        return "Invalid Borders.";
    }
    const double K = BaselineEnabled ? BaselineK : 0.0;
    const double Q = BaselineEnabled ? BaselineQ : 0.0;
    // Profile abscissae in metres; detector times stay in minutes.
    const double s = DetectorScale ? 1.0 : (st.XScale != 0 ? 1.0 / st.XScale : 1.0);
    Moments =
        ComputeMoments(m.x, m.y, DetectorScale ? TimeWeights(m.x, LeftBorder, RightBorder) : w,
                       LeftBorder, RightBorder, K, Q, s);
    if (Moments[0] != 0 && !DetectorScale) Moments[1] -= st.ZeroPosNode * st.DX;
    return "";
}

std::string MomentsTool::SetMaxBorders(const RunState& st)
{
    const MomentSeries m = Selected(st);
    if (!m.valid) return "Set Profile First.";
    LeftBorder = 0;
    RightBorder = m.Count() - 1;
    return "";
}

bool MomentsTool::EditSeriesNo(const std::string& text, const RunResults& results)
{
    int n = 0;
    if (text.empty() || !ReadInt(text, n) || n < 1 || n > results.NComp) return false;
    SeriesNo = n;
    return true;
}

bool MomentsTool::EditLeftBorder(const std::string& text, const RunState& st)
{
    const MomentSeries m = Selected(st);
    int n = 0;
    if (!m.valid || !ReadInt(text, n) || n < 0 || n >= m.Count() - 1) return false;
    LeftBorder = n;
    return true;
}

bool MomentsTool::EditRightBorder(const std::string& text, const RunState& st)
{
    const MomentSeries m = Selected(st);
    int n = 0;
    if (!m.valid || !ReadInt(text, n) || n <= 0 || n > m.Count() - 1) return false;
    RightBorder = n;
    return true;
}

bool MomentsTool::EditBaselineQ(const std::string& text)
{
    double v = 0;
    if (!ReadDouble(text, v)) return false;
    BaselineQ = v;
    return true;
}

bool MomentsTool::EditBaselineK(const std::string& text)
{
    double v = 0;
    if (!ReadDouble(text, v)) return false;
    BaselineK = v;
    return true;
}

bool MomentsTool::EditDigits(const std::string& text)
{
    int n = 0;
    if (!ReadInt(text, n) || n < 1 || n > 18) return false;
    Digits = n;
    return true;
}

std::string MomentsTool::InsertClickedPoint(Field field, int clickedPoint, const RunState& st)
{
    const MomentSeries m = Selected(st);
    if (!m.valid) return "Choose Profile or Constituent.";
    const bool inside = clickedPoint >= 0 && clickedPoint <= m.Count() - 1;
    if (field == Field::BaselineQ) {
        if (!inside) return "No Baseline Position Stored (Check Scale).";
        const double y = m.y[static_cast<std::size_t>(clickedPoint)];
        EditBaselineQ(std::isfinite(y) ? FloatToStr(RoundD(y, Digits)) : std::string());
        return "";
    }
    if (!inside) return "<INS> Error: Stored Incorrect Position of Point (Check Scale).";
    const std::string text = std::to_string(clickedPoint);
    if (field == Field::LeftBorder)
        EditLeftBorder(text, st);
    else
        EditRightBorder(text, st);
    return "";
}

std::array<std::string, 4> MomentsTool::RowTitles() const
{
    if (!DetectorScale)
        return {"a0 (area) [mol]", "a1 (CG) [m]", "a2 (variance) [m^2]", "a3 (skewness) [m^3]"};
    // The detector trace: concentration (mM) against time (min).
    return {"M0 (area) [mM*min]", "M1 (CG) [min]", "M2 (variance) [min^2]",
            "M3 (skewness) [min^3]"};
}

std::string MomentsTool::MomentText(int k) const
{
    const double v = Moments[static_cast<std::size_t>(k)];
    // A moment that is no finite number is shown as it is, unrounded.
    return NumberText(std::isfinite(v) ? RoundD(v, Digits) : v);
}

std::string MomentsTool::MobilityText(const RunState& st) const
{
    if (st.U == 0 || st.Time == 0 || DetectorScale) return "N/A";
    // a1 is measured from the zero position; the zone started at the injection site.
    const double fromInjection =
        Moments[1] + (st.ZeroPosNode - InjectionSiteNode(st, false)) * st.DX;
    const double u = ZoneMobility(fromInjection, st.Time, st.U, st.CapLength + st.FakeCapLen);
    return NumberText(std::isfinite(u) ? RoundD(u, Digits) : u);
}
