#include "tools/chart_hints.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/state/run_state.h"
#include "foundation/numtext.h"

namespace {

// Keeps pixel arithmetic finite for values far outside the axes.
double PixelOf(double offset)
{
    constexpr double kFar = 1e9;
    if (std::isnan(offset)) return kFar;
    return std::floor(std::clamp(offset, -kFar, kFar) + 0.5);
}

double Span(const AxisRange& r)
{
    return r.upper - r.lower;
}

const char* const kF10 = "0.0#######";
const char* const kF4 = "0.####";
const char* const kFE = "0.###e+0";
const char* const kMobUnit = "x10^-9 m2.V-1.s-1";

// Rounded to 8 significant digits, in the shortest decimal form.
std::string Round8(double v)
{
    return std::isfinite(v) ? FloatToStr(RoundD(v, 8)) : FloatToStr(v);
}

// A difference: FE below 0.01 (of the unscaled difference), else F10.
std::string Difference(double diff, double factor)
{
    return FormatFloat(std::fabs(diff) < 0.01 ? kFE : kF10, diff * factor);
}

// Nearest whole number, halves to even, saturated to the int range (NaN gives 0).
int RoundHalfEven(double v)
{
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    if (r >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (r <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

// Background level of a detector constituent: its first segment with
// segments, else its concentration (0 for an analyte).
double BackgroundLevel(const TComponents& rec)
{
    if (rec.gradient && rec.c_grad.size() > 1) return rec.c_grad[1];
    return rec.type == 0 ? 0.0 : rec.c;
}

const TComponents* Record(const RunLists& lists, int k)
{
    int i = 1;
    for (const auto* n = lists.CompInit.Head(); n; n = n->next, ++i)
        if (i == k) return &n->data;
    return nullptr;
}

std::string ProfileText(const RunState& st, const ChartLine& line, int i)
{
    const RunSeries& s = st.Series;
    const std::string posUnit = st.XScale == 1000 ? " mm" : st.XScale == 1 ? " m" : "";
    const ChartSeries* series = line.Series();
    if (line.Count() != st.NX + 1) {
        const double x = line.X(i);
        const double zeroX = st.ZeroPosNode * st.DX * st.XScale;
        return "Name: " + line.Title() +
               "\n\nNode Position: " + std::to_string(RoundHalfEven(x / st.XScale / st.DX)) +
               "\nCap. Position: " + Round8(x) + posUnit +
               "\nCap. Position from Zero Position: " + Round8(x - zeroX) + posUnit;
    }
    const int k = line.ProfileComp();
    const TComponents* rec = k > 0 ? Record(st.lists(), k) : nullptr;
    double f = 1;
    std::string unit;
    if (series == &s.sr_conductivity) {
        f = 1 / st.CondScale;
        unit = " S/m";
    } else if (k > 0) {
        unit = " mM";
    }
    const double v = line.Y(i), vL = line.Y(0), vR = line.Y(st.NX);
    std::string t =
        k > 0 ? "Constituent: " + (rec ? rec->name : std::string()) : "Name: " + line.Title();
    t += "\n\nValue: " + Round8(v * f) + unit;
    t += "\nValue Difference from Left: " + Difference(v - vL, f) + unit;
    t += "\nValue Difference from Right: " + Difference(v - vR, f) + unit;
    t += "\n\nNode Position: " + std::to_string(i);
    t += "\nCap. Position: " + FormatFloat(kF4, double(i) / st.NX * st.CapLength * st.XScale) +
         posUnit;
    t += "\nCap. Position from Zero Position: " +
         FormatFloat(kF4, double(i - st.ZeroPosNode) / st.NX * st.CapLength * st.XScale) + posUnit;
    if (k > 0) {
        const EngineArrays& a = st.Arr;
        const double ueff =
            a.Allocated() && k < a.UEff.Rows() && i < a.UEff.Cols() ? a.UEff[k][i] : 0.0;
        t += "\n\nEff. mobility: " + FormatFloat(kF10, ueff * 1e9) + kMobUnit;
    }
    if (st.U != 0 || st.Time != 0) {
        double m = 0;
        if (st.Time != 0 && st.U != 0)
            m = (st.CapLength + st.FakeCapLen) *
                (double(i - st.ZeroPosNode) / st.NX * st.CapLength) / st.Time / st.U * 1e9;
        t += "\n\nMobility from Zero Position: " + FormatFloat(kF10, m) + kMobUnit;
    }
    return t;
}

std::string DetectorText(const RunState& st, const ChartSeries& series, const ChartLine& line,
                         int i)
{
    const RunSeries& s = st.Series;
    const double v = line.Y(i);
    const std::string tail = "\nCap. Position: " + FormatFloat(kF4, line.X(i)) + " min" +
                             "\nPt. Position: " + std::to_string(i);
    struct Trace {
        const ChartSeries* series;
        const char* first;
        double factor;
        const char* unit;
    };
    const Trace traces[] = {{&s.DET_pH, "pH line", 1, ""},
                            {&s.DET_conductivity, "Conductivity line", 1 / st.CondScale, " S/m"},
                            {&s.DET_volt, "Voltage line", 1, " kV"},
                            {&s.DET_CDen, "Current line", 1, " uA"},
                            {&s.DET_T, "Temperature line", 1,
                             " \xC2\xB0"
                             "C"}};
    for (const Trace& tr : traces)
        if (tr.series == &series)
            return std::string(tr.first) + "\nValue: " + FormatFloat(kF10, v * tr.factor) +
                   tr.unit + tail;
    if (const int k = DetectorComp(st, series); k > 0) {
        const TComponents* rec = Record(st.lists(), k);
        const double d = v - (rec ? BackgroundLevel(*rec) : 0.0);
        return "Constituent: " + (rec ? rec->name : std::string()) +
               "\nValue: " + FormatFloat(kF10, v) + " mM" +
               "\nBGE Difference (Left): " + FormatFloat(std::fabs(d) < 0.01 ? kFE : kF10, d) +
               " mM" + tail;
    }
    return "Name: " + series.title + "\nValue: " + FormatFloat(kF10, v) + tail;
}

}  // namespace

double ChartGeometry::PixelX(double value) const
{
    const double span = Span(x);
    return PixelOf(left + (span != 0 ? (value - x.lower) / span * width : 0.0));
}

double ChartGeometry::PixelY(double value, int axis) const
{
    const AxisRange& r = y[axis == 1 ? 1 : 0];
    const double span = Span(r);
    return PixelOf(top + (span != 0 ? (r.upper - value) / span * height : 0.0));
}

PressAction ChartPressAction(MouseButton button, bool doubleClick)
{
    if (button == MouseButton::Right && doubleClick) return PressAction::Rescale;
    if (button != MouseButton::Left || doubleClick) return PressAction::Nothing;
    return PressAction::Search;
}

std::optional<NearestPoint> FindNearestPoint(const ChartGeometry& geometry,
                                             const std::vector<HintLine>& lines, double mouseX,
                                             double mouseY, int tolerance)
{
    auto usable = [](const HintLine& l) { return l.active && l.line.Count() > 2; };
    const auto ref = std::find_if(lines.begin(), lines.end(), usable);
    if (ref == lines.end()) return std::nullopt;
    int index = 0;
    for (int i = 0; i < ref->line.Count(); ++i)
        if (geometry.PixelX(ref->line.X(i)) >= mouseX) {
            index = i;
            break;
        }
    std::optional<NearestPoint> best;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const HintLine& l = lines[n];
        if (!usable(l) || l.line.Count() < index + 1) continue;
        const double d = std::fabs(mouseY - geometry.PixelY(l.line.Y(index), l.yAxis));
        if (!best || d < best->distance) best = NearestPoint{static_cast<int>(n), index, d};
    }
    if (!best || best->distance > tolerance) return std::nullopt;
    return best;
}

std::optional<std::string> GraphHintText(const RunState& st, const ChartSeries& series, int index,
                                         MouseButton button, ChartClick& click)
{
    click.ClickedPoint = index;
    if (button != MouseButton::Left) return std::nullopt;
    const ChartLine line(st, series);
    if (index < 0 || index >= line.Count()) return std::nullopt;
    click.ClickedValue = line.Y(index);
    return st.DetectorView ? DetectorText(st, series, line, index) : ProfileText(st, line, index);
}

std::optional<AxisRange> FitValueRange(const ChartLine& line)
{
    if (line.Count() == 0) return std::nullopt;
    double lo = line.Y(0), hi = lo;
    for (int i = 1; i < line.Count(); ++i) {
        lo = std::min(lo, line.Y(i));
        hi = std::max(hi, line.Y(i));
    }
    double r = hi - lo;
    if (r == 0) r = 1e-5;
    return AxisRange{lo - 0.2 * r, hi + 0.2 * r};
}
