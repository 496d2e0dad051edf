#include "tools/detector_tools.h"

#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/run_series.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <cmath>

std::int64_t EstimateDetSize(const RunState& st)
{
    const std::int64_t points = st.Series.DET_pH.Count();
    std::int64_t size = points * (static_cast<std::int64_t>(st.NComp) + 5) * 8;
    size += static_cast<std::int64_t>(std::string("KELVO DET FILE").size()) + 1;
    size += static_cast<std::int64_t>(std::string("1.0").size()) + 1;
    size += 8;
    for (const CheckListItem& item : st.Series.clbDet)
        size += static_cast<std::int64_t>(item.text.size()) + 1;
    size += static_cast<std::int64_t>(std::string("EOF").size()) + 1;
    return size;
}

std::string DetSizeText(std::int64_t n)
{
    const char sep = DecimalSeparator();
    if (n < 1000) return std::to_string(n) + " B";
    if (n < 1000000) return FloatToStr(RoundD(n / 1024.0, 4), sep) + " kB";
    const double mb = n / 1024.0 / 1024.0;
    if (n < 10000000) return FloatToStr(RoundD(mb, 4), sep) + " MB";
    return FloatToStr(std::round(mb * 10.0) / 10.0, sep) + " MB";
}

void HalveSeries(ChartSeries& s)
{
    const int n = s.Count();
    const int m = (n + 1) / 2;
    std::vector<double> x(static_cast<std::size_t>(m)), y(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i) {
        const auto k = static_cast<std::size_t>(2 * i);
        x[static_cast<std::size_t>(i)] = k < s.x.size() ? s.x[k] : 0.0;
        y[static_cast<std::size_t>(i)] = s.y[k];
    }
    s.Clear();
    for (int i = 0; i < m; ++i)
        s.Add(x[static_cast<std::size_t>(i)], y[static_cast<std::size_t>(i)]);
}

bool HalveDetectorData(RunState& st)
{
    if (!Confirm("This operation halfs number of time points in detector input. Continue?"))
        return false;
    RunSeries& s = st.Series;
    if (s.DET_pH.Count() == 0) {
        ShowWarning("No detector input!");
        return false;
    }
    // Each trace by its own count: traces that another command shortened are
    // never read past their end.
    HalveSeries(s.DET_pH);
    HalveSeries(s.DET_conductivity);
    for (std::size_t k = 1; k < s.srDetComp.size(); ++k) HalveSeries(s.srDetComp[k]);
    HalveSeries(s.DET_volt);
    HalveSeries(s.DET_CDen);
    HalveSeries(s.DET_T);
    RedrawGraph(st);
    return true;
}
