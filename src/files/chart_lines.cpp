#include "files/chart_lines.h"

#include <algorithm>

#include "engine/run_state.h"

namespace {

const std::string kNoTitle;

}  // namespace

ChartLine::ChartLine(const RunState& st, const ChartSeries& series) : st_(&st), series_(&series)
{
    const auto& comp = st.Series.srComp;
    for (std::size_t k = 1; k < comp.size(); ++k)
        if (&comp[k] == &series) profileComp_ = static_cast<int>(k);
    if (profileComp_ == 0) {
        count_ = static_cast<int>(std::min(series.x.size(), series.y.size()));
        return;
    }
    const EngineArrays& a = st.Arr;
    count_ = a.Allocated() && profileComp_ < a.DrawnProfile.Rows() && a.DrawnProfile.Cols() == a.Nn
                 ? a.Nn
                 : 0;
}

const std::string& ChartLine::Title() const
{
    return series_ ? series_->title : kNoTitle;
}

double ChartLine::X(int i) const
{
    if (i < 0 || i >= count_) return 0.0;
    return profileComp_ ? NodeX(*st_, i) : series_->x[i];
}

double ChartLine::Y(int i) const
{
    if (i < 0 || i >= count_) return 0.0;
    return profileComp_ ? st_->Arr.DrawnProfile[profileComp_][i] : series_->y[i];
}

int DetectorComp(const DisplayOptions& display, const ChartSeries& series)
{
    const auto& det = display.Series.srDetComp;
    for (std::size_t k = 1; k < det.size(); ++k)
        if (&det[k] == &series) return static_cast<int>(k);
    return 0;
}

const ChartSeries* ProfileItemSeries(const RunState& st, int item)
{
    const RunSeries& s = st.Series;
    const int n = st.NComp;
    if (item == 0) return &s.sr_pH;
    if (item == 1) return &s.sr_conductivity;
    if (item >= 2 && item <= n + 1)
        return item - 1 < static_cast<int>(s.srComp.size()) ? &s.srComp[item - 1] : nullptr;
    const ChartSeries* tail[] = {&s.sr_E,   &s.sr_IS, &s.sr_S,         &s.sr_T,
                                 &s.sr_P,   &s.sr_j,  &s.sr_potential, &s.sr_Ui,
                                 &s.sr_mix, &s.sr_pi, &s.sr_elneut};
    const int t = item - (n + 2);
    return t >= 0 && t < 11 ? tail[t] : nullptr;
}

const ChartSeries* DetectorItemSeries(const RunState& st, int item)
{
    const RunSeries& s = st.Series;
    const int n = st.NComp;
    if (item == 0) return &s.DET_pH;
    if (item == 1) return &s.DET_conductivity;
    if (item >= 2 && item <= n + 1)
        return item - 1 < static_cast<int>(s.srDetComp.size()) ? &s.srDetComp[item - 1] : nullptr;
    const ChartSeries* tail[] = {&s.DET_volt, &s.DET_CDen, &s.DET_T};
    const int t = item - (n + 2);
    return t >= 0 && t < 3 ? tail[t] : nullptr;
}
