#include "engine/step/recalc.h"

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/derivatives.h"
#include "engine/step/run_series.h"

void RecalcProfiles(RunState& st, int start)
{
    EngineArrays& a = st.Arr;
    if (!a.Allocated()) return;
    const int n = st.NX;
    {
        // The equilibrium and the field of every node.
        ComputationWindowScope window(st.counters());
        window.WholeGrid(n);
        st.NewtonItTotal = 0;
        if (!st.ISCorrection)
            Elneut(st, 2, start, -1, true);
        else
            ISC(st, 2, start);
        CalcDER(st, 2, true);
    }
    st.KappaEnd = a.Kappa[n];
    ModeProfilesComputed(st);

    RunSeries& s = st.Series;
    for (ChartSeries* p : {&s.sr_conductivity, &s.sr_pH, &s.sr_IS, &s.sr_j, &s.sr_E, &s.sr_Ui,
                           &s.sr_P, &s.sr_potential})
        p->Clear();
    const double* is2 = a.IonicStrength(2);
    for (int j = 0; j <= n; ++j) s.sr_conductivity.Add(NodeX(st, j), a.Kappa[j] * st.CondScale);
    for (int j = 0; j <= n; ++j) s.sr_pH.Add(NodeX(st, j), a.PH[j]);
    for (int j = 0; j <= n; ++j) {
        // Without the correction the ionic strength of the node is computed here.
        if (!st.ISCorrection) NodeIonicStrength(st, 2, j);
        s.sr_IS.Add(NodeX(st, j), is2[j]);
    }
    for (int j = 0; j <= n; ++j)
        s.sr_j.Add(NodeX(st, j), a.S[j] != 0.0 ? st.I / a.S[j] * 0.001 : 0.0);
    for (int j = 0; j <= n; ++j) s.sr_E.Add(NodeX(st, j), a.E[j] * 0.001);
    for (int j = 0; j <= n; ++j) s.sr_Ui.Add(NodeX(st, j), s.sr_E.y[j] * st.DX * 1000.0);
    for (int j = 0; j <= n; ++j)
        s.sr_P.Add(NodeX(st, j), st.DX != 0.0 ? s.sr_Ui.y[j] * st.I / st.DX : 0.0);
    s.sr_potential.Add(0.0, s.sr_Ui.y[0] * 0.001 * 0.5);
    for (int j = 1; j < n; ++j)
        s.sr_potential.Add(NodeX(st, j), s.sr_potential.y[j - 1] + s.sr_Ui.y[j] * 0.001);
    if (n > 0)
        s.sr_potential.Add(st.CapLength * st.XScale,
                           s.sr_potential.y[n - 1] + s.sr_Ui.y[n] * 0.001 * 0.5);
}
