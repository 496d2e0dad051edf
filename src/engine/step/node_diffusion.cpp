#include "engine/step/node_diffusion.h"

#include <algorithm>

#include "engine/modes/modes.h"
#include "engine/state/run_state.h"

double MobilityTemperatureCoefficient(int i, int nComp)
{
    if (i == nComp + 1) return 0.013765757;
    if (i == nComp + 2) return 0.0081;
    return 0.0205;
}

void DiffusionTemperatureFactors(const RunState& st, int i, bool mobilitiesFollowT, int lo, int hi,
                                 double* g)
{
    const double* T2 = st.Arr.T(2);
    const double Tref = st.Temperature;
    if (!mobilitiesFollowT) {
        for (int j = lo; j <= hi; ++j) g[j] = T2[j] / Tref;
        return;
    }
    const double coef = MobilityTemperatureCoefficient(i, st.Arr.NComp);
    for (int j = lo; j <= hi; ++j)
        g[j] = T2[j] / Tref * (1 + coef * (T2[j] - kMobilityReferenceTemperature));
}

void NodeDiffusion::Prepare(const RunState& st)
{
    const EngineArrays& a = st.Arr;
    nc_ = a.NComp;
    const int lo = std::max(st.LeftWall, 0), hi = std::min(st.RightWall, a.Nn - 1);
    // Without a temperature switch the coefficients stay those of the arrays,
    // whatever the temperature row holds.
    const bool follow = ModeTemperatureMobilities(st);
    for (int kind = 0; kind < 3; ++kind) {
        active_[kind] = false;
        if (!follow || lo > hi) continue;
        std::vector<double>& g = g_[kind];
        if (static_cast<int>(g.size()) < a.Nn) g.assign(a.Nn, 1.0);
        DiffusionTemperatureFactors(st, kind == 0 ? 1 : nc_ + kind, true, lo, hi, g.data());
        active_[kind] =
            std::any_of(g.begin() + lo, g.begin() + hi + 1, [](double f) { return f != 1.0; });
    }
}

const NodeDiffusion& PrepareNodeDiffusion(RunState& st)
{
    NodeDiffusion& d = st.Engine.Scratch<NodeDiffusion>();
    d.Prepare(st);
    return d;
}
