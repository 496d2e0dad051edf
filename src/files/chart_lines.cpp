#include "files/chart_lines.h"

#include <algorithm>

#include "engine/state/run_state.h"

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

namespace {

// Series of RunSeries or const RunSeries alike.
template <class Series>
auto* ItemSeries(Series& s, int nComp, bool detector, int item)
{
    using Ptr = decltype(&s.sr_pH);
    if (item == 0) return detector ? &s.DET_pH : &s.sr_pH;
    if (item == 1) return detector ? &s.DET_conductivity : &s.sr_conductivity;
    auto& comps = detector ? s.srDetComp : s.srComp;
    if (item >= 2 && item <= nComp + 1)
        return item - 1 < static_cast<int>(comps.size()) ? &comps[item - 1] : Ptr{};
    const Ptr profileTail[] = {&s.sr_E,         &s.sr_IS, &s.sr_S,   &s.sr_T,  &s.sr_P,     &s.sr_j,
                               &s.sr_potential, &s.sr_Ui, &s.sr_mix, &s.sr_pi, &s.sr_elneut};
    const Ptr detectorTail[] = {&s.DET_volt, &s.DET_CDen, &s.DET_T};
    const int t = item - (nComp + 2);
    if (detector) return t >= 0 && t < 3 ? detectorTail[t] : Ptr{};
    return t >= 0 && t < 11 ? profileTail[t] : Ptr{};
}

}  // namespace

ChartSeries* CheckListItemSeries(RunSeries& s, int nComp, bool detector, int item)
{
    return ItemSeries(s, nComp, detector, item);
}

const ChartSeries* CheckListItemSeries(const RunSeries& s, int nComp, bool detector, int item)
{
    return ItemSeries(s, nComp, detector, item);
}

const ChartSeries* ProfileItemSeries(const RunState& st, int item)
{
    return CheckListItemSeries(st.Series, ProfileListComps(st), false, item);
}

const ChartSeries* DetectorItemSeries(const RunState& st, int item)
{
    return CheckListItemSeries(st.Series, st.NComp, true, item);
}
