#include "engine/voltage.h"

#include <cmath>
#include <string>

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

namespace {

// What makes the column unfit to carry the current: the first node whose
// conductivity or cross-section is not a positive finite number (a negative
// conductivity comes from negative concentrations and would reverse the local
// field), else an undefined resistance; empty when the column is sound.
std::string ColumnFault(const RunState& st, double r) {
    const EngineArrays& a = st.Arr;
    const int n = a.Nn - 1 < st.NX ? a.Nn - 1 : st.NX;
    auto bad = [](double v) { return !(v > 0) || !std::isfinite(v); };
    for (int j = 0; j <= n; ++j) {
        if (bad(a.Kappa[j]))
            return kBadConductivityAt + std::to_string(j) + ": " + GeneralFloatText(a.Kappa[j]) + " S/m" +
                   kCalculationStopped;
        if (bad(a.S[j]))
            return kBadCrossSectionAt + std::to_string(j) + ": " + GeneralFloatText(a.S[j]) + " m2" +
                   kCalculationStopped;
    }
    if (!(r > 0) || !std::isfinite(r)) return kBadResistance;
    return {};
}

}  // namespace

bool CalcVoltageCurrent(RunState& st) {
    if (st.DiffMode) {
        st.U = 0;
        st.I = 0;
        return true;
    }
    if (!st.Arr.Allocated()) return false;
    const double r = ColumnResistance(st);
    if (const std::string fault = ColumnFault(st, r); !fault.empty()) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "CalcVoltageCurrent", fault);
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
