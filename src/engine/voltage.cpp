#include "engine/voltage.h"

#include <cmath>

#include "engine/equilibrium.h"
#include "engine/run_state.h"
#include "foundation/messages.h"

void AddAdditionalConductivity(RunState& st) {
    if (!(st.AddCond > 0)) return;
    EngineArrays& a = st.Arr;
    const int last = a.Nn - 1;
    const int lo = st.LeftWall < 0 ? 0 : st.LeftWall;
    const int hi = st.RightWall > last ? last : st.RightWall;
    double* kappa = a.Kappa.data();
    const double add = st.AddCond;
    for (int j = lo; j <= hi; ++j) kappa[j] += add;
}

double ColumnResistance(RunState& st) {
    EngineArrays& a = st.Arr;
    const int n = a.Nn - 1 < st.NX ? a.Nn - 1 : st.NX;
    if (n < 1) return 0.0;
    const double* kappa = a.Kappa.data();
    const double* s = a.S.data();
    if (st.KappaEnd == 0) st.KappaEnd = kappa[n];
    // Summed in this order: the extra-length term divided by DX, the two half
    // end terms, the inner nodes in ascending order; times DX at the end.
    double sum = 0.0;
    if (st.FakeCapLen != 0) sum = st.FakeCapLen / st.KappaEnd / st.DX;
    sum += 0.5 / (kappa[0] * s[0]);
    sum += 0.5 / (kappa[n] * s[n]);
    for (int j = 1; j < n; ++j) sum += 1.0 / (kappa[j] * s[j]);
    return sum * st.DX;
}

bool CalcVoltageCurrent(RunState& st) {
    if (st.DiffMode) {
        st.U = 0;
        st.I = 0;
        return true;
    }
    if (!st.Arr.Allocated()) return false;
    const double r = ColumnResistance(st);
    if (!(r > 0) || !std::isfinite(r)) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "CalcVoltageCurrent", kBadResistance);
        return false;
    }
    if (st.rbVoltage) {
        st.U = st.UI;
        st.I = st.U / r;
    } else {
        st.I = st.UI * 1e-6;
        st.U = st.I * r;
    }
    return true;
}
