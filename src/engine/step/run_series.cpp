#include "engine/step/run_series.h"

#include "engine/state/run_state.h"

#include <algorithm>

double NodeX(const RunState& st, int n)
{
    if (st.NX <= 0) return 0.0;
    return n * st.CapLength / st.NX * st.XScale;
}

int ProfileListComps(const RunState& st)
{
    return std::max(st.NComp, st.CompSeriesCount);
}

void ClearRunSeries(RunSeries& s)
{
    s.srComp.clear();
    s.srDetComp.clear();
    for (ChartSeries* p : {&s.sr_pH, &s.sr_conductivity, &s.sr_detectorLine, &s.sr_LeftWall,
                           &s.sr_RightWall, &s.sr_DER, &s.DET_pH, &s.DET_conductivity, &s.DET_volt,
                           &s.DET_CDen, &s.DET_T, &s.sr_elneut, &s.sr_mic, &s.sr_CMC, &s.sr_MicDye})
        p->Clear();
    // The profiles Init fills beside them, and the additional ones of the list.
    for (ChartSeries* p : {&s.sr_E, &s.sr_IS, &s.sr_S, &s.sr_Svol, &s.sr_diam, &s.sr_T, &s.sr_P,
                           &s.sr_j, &s.sr_potential, &s.sr_Ui, &s.sr_mix, &s.sr_pi})
        p->Clear();
    for (int r = 1; r <= 8; ++r) s.sr_reg[r].Clear();
}

void SaveProfileChecks(const RunState& st, int prevNComp, bool flags[12])
{
    for (int k = 0; k < 12; ++k) flags[k] = k < 2;
    const std::vector<CheckListItem>& list = st.Series.clbGraph;
    const int count = static_cast<int>(list.size());
    if (count <= 1) return;
    const int p = prevNComp < 0 ? 0 : prevNComp;
    // Items that the list does not hold keep their default.
    auto item = [&](int index, bool& flag) {
        if (index >= 0 && index < count) flag = list[static_cast<std::size_t>(index)].checked;
    };
    item(0, flags[0]);
    item(1, flags[1]);
    item(p + 2, flags[2]);
    item(p + 3, flags[3]);
    if (st.cbGraphAdd)
        for (int k = 4; k < 12; ++k) item(p + k, flags[k]);
}

void FillProfileList(RunState& st, const TUnivSet<TComponents>& list, const bool* flags)
{
    std::vector<CheckListItem>& items = st.Series.clbGraph;
    items.clear();
    items.push_back({"pH", false, false});
    items.push_back({"Conductivity", false, false});
    int n = 0;
    for (const auto* node = list.Head(); node; node = node->next, ++n)
        items.push_back({node->data.name, true, false});
    items.push_back({"E - Intensity", false, false});
    items.push_back({"Ionic Strength", false, false});
    if (st.cbGraphAdd)
        for (const char* text :
             {"S - Cross-Section", "Temperature", "P - Power", "Current Density", "Potential",
              "U(x)", "Mix", "p(x) - Power Heating", "Electroneutrality"})
            items.push_back({text, false, false});
    if (!flags) return;
    items[0].checked = flags[0];
    items[1].checked = flags[1];
    items[static_cast<std::size_t>(n) + 2].checked = flags[2];
    items[static_cast<std::size_t>(n) + 3].checked = flags[3];
    if (st.cbGraphAdd)
        for (int k = 4; k < 12; ++k) items[static_cast<std::size_t>(n + k)].checked = flags[k];
}

void CreateCompSeries(RunState& st)
{
    RunSeries& s = st.Series;
    if (s.srComp.empty()) {
        st.CompSeriesCount = st.CompInit.Count();
        s.srComp.assign(static_cast<std::size_t>(st.CompSeriesCount) + 1, ChartSeries{});
        int i = 1;
        for (const auto* node = st.CompInit.Head(); node && i <= st.CompSeriesCount;
             node = node->next, ++i) {
            ChartSeries& series = s.srComp[static_cast<std::size_t>(i)];
            series.title = node->data.name + " (x-scale)";
            series.colour = node->data.colour;
            series.active = true;
        }
    }
    if (s.srDetComp.empty()) {
        s.srDetComp.assign(static_cast<std::size_t>(st.NComp) + 1, ChartSeries{});
        int i = 1;
        for (const auto* node = st.CompInit.Head(); node && i <= st.NComp; node = node->next, ++i) {
            ChartSeries& series = s.srDetComp[static_cast<std::size_t>(i)];
            series.title = node->data.name + " (detector)";
            series.colour = node->data.colour;
            series.active = false;
        }
    }
}

void FillSectionSeries(RunState& st)
{
    RunSeries& s = st.Series;
    EngineArrays& a = st.Arr;
    s.sr_diam.Clear();
    s.sr_S.Clear();
    s.sr_Svol.Clear();
    for (int n = 0; n < a.Nn; ++n) s.sr_S.Add(NodeX(st, n), a.S[n] * 1e9);
    for (int n = 0; n < a.Nn; ++n) s.sr_Svol.Add(NodeX(st, n), a.SVol[n] * 1e9);
}

void PrepareProfileLists(RunState& st, const bool flags[12])
{
    RunSeries& s = st.Series;
    EngineArrays& a = st.Arr;
    FillProfileList(st, st.CompInit, flags);

    s.sr_T.Clear();
    s.sr_mix.Clear();
    s.sr_pi.Clear();
    s.sr_elneut.Clear();
    const double* t2 = a.T(2);
    for (int n = 0; n < a.Nn; ++n) {
        const double x = NodeX(st, n);
        s.sr_T.Add(x, t2[n] - 273.15);
        s.sr_mix.Add(x, a.Mix[n]);
        s.sr_pi.Add(x, a.HeatP[n] * 1e9);
        s.sr_elneut.Add(x, 0.0);
    }
    for (ChartSeries* p : {&s.sr_E, &s.sr_IS, &s.sr_S, &s.sr_T, &s.sr_P, &s.sr_j, &s.sr_potential,
                           &s.sr_Ui, &s.sr_mix, &s.sr_pi, &s.sr_elneut})
        p->active = false;

    s.clbDet.clear();
    s.clbDet.push_back({"pH", true, false});
    s.clbDet.push_back({"Conductivity", true, false});
    for (const auto* node = st.CompInit.Head(); node; node = node->next)
        s.clbDet.push_back({node->data.name, true, false});
    for (const char* text : {"Voltage", "Current", "Temperature"})
        s.clbDet.push_back({text, true, false});

    for (ChartSeries* p : {&s.sr_detectorLine, &s.sr_LeftWall, &s.sr_RightWall}) {
        p->Clear();
        p->Add(0.0, 0.0);
        p->Add(0.0, 0.0);
    }
    st.DetectorView = false;
    st.Events.Emit(EngineEventKind::SetupGraph);
}

void AddPlaceholderPoints(RunState& st)
{
    RunSeries& s = st.Series;
    const int nn = st.Arr.Nn;
    s.sr_DER.Clear();
    for (int n = 0; n < nn; ++n) s.sr_DER.Add(NodeX(st, n), 0.0);
    for (int r = 1; r <= 8; ++r) s.sr_reg[r].Clear();
    for (int n = 0; n < nn; ++n)
        for (int r = 1; r <= 8; ++r) s.sr_reg[r].Add(NodeX(st, n), 0.0);
    ChartSeries* derived[] = {&s.sr_IS, &s.sr_j, &s.sr_E, &s.sr_Ui, &s.sr_P, &s.sr_potential};
    for (ChartSeries* p : derived) p->Clear();
    for (int n = 0; n < nn; ++n)
        for (ChartSeries* p : derived) p->Add(NodeX(st, n), 0.0);
}
