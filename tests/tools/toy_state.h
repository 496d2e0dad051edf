// A small hand-filled run state for the chart tools: three constituents
// (an ampholyte -1..+1, a weak acid -1..0 and a neutral one) on NX + 1 nodes,
// arrays allocated and zero, every fixed series with one point per node.
#pragma once

#include "engine/state/run_state.h"
#include "support/test_compositions.h"

inline void MakeToyState(RunState& st, int nx)
{
    using namespace testcomp;
    st.CompInit.Empty();
    st.CompInit.Add(Constituent("Amph", -1, 1, {3.0, 0.0, 9.0}, {30, 0, 40}, BGE, 2, 2));
    st.CompInit.Add(WeakAcid("Acid", 4.75, 40, BGE, 4, 4));
    st.CompInit.Add(Constituent("Sugar", 0, 0, {0.0}, {0.0}, Analyte, 3, 3));
    st.NComp = 3;
    st.NX = nx;
    st.CapLength = 0.025;
    st.DX = st.CapLength / nx;
    AllocEngineArrays(st);
    st.Initialised = true;
    RunSeries& s = st.Series;
    s.srComp.assign(4, ChartSeries());
    s.srDetComp.assign(4, ChartSeries());
    s.srComp[1].title = s.srDetComp[1].title = "Amph";
    ChartSeries* fixed[] = {&s.sr_pH,    &s.sr_conductivity, &s.sr_IS, &s.sr_j, &s.sr_E,   &s.sr_Ui,
                            &s.sr_P,     &s.sr_potential,    &s.sr_S,  &s.sr_T, &s.sr_mix, &s.sr_pi,
                            &s.sr_elneut};
    for (ChartSeries* p : fixed) p->Clear();
    for (int r = 1; r <= 8; ++r) s.sr_reg[r].Clear();
    for (int j = 0; j <= nx; ++j) {
        for (ChartSeries* p : fixed) p->Add(NodeX(st, j), 0.0);
        for (int r = 1; r <= 8; ++r) s.sr_reg[r].Add(NodeX(st, j), 0.0);
    }
}
