#include "run_profiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/equilibrium/equilibrium.h"
#include "engine/step/run_calc.h"
#include "support/test_compositions.h"

namespace testcomp {

std::vector<double> Profile(const RunState& st, int i)
{
    return {st.Arr.C(2, i), st.Arr.C(2, i) + st.Arr.Nn};
}

ProfileMoments Moments(const std::vector<double>& c, double dx)
{
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

ProfileMoments Moments(const RunState& st, int i)
{
    return Moments(Profile(st, i), st.DX);
}

void SetZoneAndVoltage(RunState& st, double injMM, double widthMM, double edgeMM, double volts)
{
    st.InjSitePending = injMM;
    st.PeakWidthPending = widthMM;
    st.PeakEdgeWidthPending = edgeMM;
    st.rbVoltage = st.rbPSQNo = true;
    st.rbPSQMS = false;
    st.UI = volts;
}

std::vector<BindingZone> ComplexZones()
{
    return {{4, kUK, 20.0, 0.1, 1.0}, {5, 60.0, 15.0, 0.05, -1.0}};
}

void PrepareComplexZoneRun(RunState& st, double ligand)
{
    auto text = [](double v) {
        char b[64];
        std::snprintf(b, sizeof b, "%.17g", v);
        return std::string(b);
    };
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Selector", 0, 0, {0}, {0}, BGE, ligand, ligand));
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0, 15.0));
    comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 1e-3));
    comp.Add(StrongAnion("Anion", 60.0, Analyte, 0.0, 1e-3));
    // Analyte forms: acetic -1, 0; sodium 0, 1; potassium 0, 1; anion -1, 0.
    // pKx 30 binds nothing; the cation's +1 and the anion's -1 form bind.
    const std::vector<BindingZone> zones = ComplexZones();
    ComplexTable t = {{"0", "0"}, {"None"}, {"20"}, {"14", "362.5", "205.5"}, {"4"}};
    const std::string pkx[8] = {"30",
                                "30",
                                "30",
                                "30",
                                "30",
                                text(-std::log10(zones[0].K * 1e3)),
                                text(-std::log10(zones[1].K * 1e3)),
                                "30"};
    const std::string ux[8] = {
        "25", "25", "25", "25", "25", text(zones[0].uComplex), text(zones[1].uComplex), "25"};
    for (const auto& v : pkx) t.push_back({v});
    for (const auto& v : ux) t.push_back({v});
    PrepareRun(st, comp, 250);
    st.CapLengthPending = 0.025;
    SetZoneAndVoltage(st, 12.5, 1.0, 0.5, 100.0);
    st.cbComplex = true;
    st.TxtTable = t;
}

double IsothermMobility(const BindingZone& z, double ligand)
{
    return z.sign * (z.uFree + z.K * ligand * z.uComplex) / (1 + z.K * ligand) * 1e-9;
}

void RunTo(RunState& st, double stopTime, double dt)
{
    st.StopTime = stopTime;
    st.DT = dt;
    RunCalc(st);
    StopCalc(st);
}

void RunFixed(RunState& st, double stopTime, double dt, bool fixedWalls)
{
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

std::string SpeciationDifference(RunState& st)
{
    RunState fresh = st;
    EngineArrays& a = st.Arr;
    EngineArrays& f = fresh.Arr;
    std::string where;
    auto compare = [&](const std::string& what, const double* stored, const double* again) {
        for (int n = 0; n < a.Nn && where.empty(); ++n)
            if (std::memcmp(stored + n, again + n, sizeof(double)) != 0) {
                char text[160];
                std::snprintf(text, sizeof text,
                              " node %d (window %d..%d): stored %.17g, fresh %.17g", n, st.LeftWall,
                              st.RightWall, stored[n], again[n]);
                where = what + text;
            }
    };
    for (int n = 0; n < a.Nn; ++n) CalcSpeciation(fresh, 2, n);
    for (int i = 1; i <= a.NComp + 2; ++i)
        for (int k = 0; k < a.Forms(i); ++k)
            compare("constituent " + std::to_string(i) + " form " + std::to_string(k),
                    a.CForm(2, i, k), f.CForm(2, i, k));
    compare("ionic strength", a.IonicStrength(2), f.IonicStrength(2));
    compare("pH", a.PH.data(), f.PH.data());
    for (int i = 1; i <= a.NComp; ++i) {
        compare("mean charge " + std::to_string(i), a.ZMean[i], f.ZMean[i]);
        compare("effective mobility " + std::to_string(i), a.UEff[i], f.UEff[i]);
    }
    if (where.empty() && fresh.Stop) where = "the fresh speciation stopped";
    return where;
}

}  // namespace testcomp
