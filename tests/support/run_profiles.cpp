#include "run_profiles.h"

#include "engine/run_calc.h"

namespace testcomp {

std::vector<double> Profile(const RunState& st, int i) { return {st.Arr.C(2, i), st.Arr.C(2, i) + st.Arr.Nn}; }

ProfileMoments Moments(const std::vector<double>& c, double dx) {
    double m0 = 0, m1 = 0, m2 = 0;
    for (std::size_t j = 0; j < c.size(); ++j) {
        const double x = static_cast<double>(j) * dx;
        m0 += c[j];
        m1 += x * c[j];
        m2 += x * x * c[j];
    }
    const double mean = m1 / m0;
    return {m0, mean, m2 / m0 - mean * mean};
}

ProfileMoments Moments(const RunState& st, int i) { return Moments(Profile(st, i), st.DX); }

void SetZoneAndVoltage(RunState& st, double injMM, double widthMM, double edgeMM, double volts) {
    st.InjSitePending = injMM;
    st.PeakWidthPending = widthMM;
    st.PeakEdgeWidthPending = edgeMM;
    st.rbVoltage = st.rbPSQNo = true;
    st.rbPSQMS = false;
    st.UI = volts;
}

void RunTo(RunState& st, double stopTime, double dt) {
    st.StopTime = stopTime;
    st.DT = dt;
    RunCalc(st);
    StopCalc(st);
}

void RunFixed(RunState& st, double stopTime, double dt, bool fixedWalls) {
    if (fixedWalls) st.cbLWMove = st.cbRWMove = false;
    st.cbOptDt = false;
    RunTo(st, stopTime, dt);
}

std::vector<double> EquilibriumImage(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    std::vector<double> v;
    auto add = [&](const double* p) { v.insert(v.end(), p, p + a.Nn); };
    for (int i = 1; i <= a.NComp + 2; ++i)
        for (int k = 0; k < a.Forms(i); ++k) add(a.CForm(level, i, k));
    add(a.IonicStrength(level));
    for (int j = 1; j <= a.NComp; ++j) {
        add(a.ZMean[j]);
        add(a.UEff[j]);
    }
    add(a.PH.data());
    return v;
}

}  // namespace testcomp
