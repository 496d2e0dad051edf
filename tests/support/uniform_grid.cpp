#include "uniform_grid.h"

#include <algorithm>
#include <cmath>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/engine_arrays.h"

TComponents MakeConstituent(const std::string& name, int minCharge, int maxCharge,
                            const std::vector<double>& pKa, const std::vector<double>& u, double c)
{
    return TComponents::Uniform(name, minCharge, maxCharge, pKa, u, 1, c, c);
}

TComponents MakeStrongCation(const std::string& name, double u, double c)
{
    return MakeConstituent(name, 0, 1, {0, 14}, {0, u}, c);
}

TComponents MakeStrongAnion(const std::string& name, double u, double c)
{
    return MakeConstituent(name, -1, 0, {-2, 0}, {u, 0}, c);
}

void SetUpUniformGrid(RunState& st, const std::vector<TComponents>& comps, int nx)
{
    st.CompInit.Empty();
    for (const auto& r : comps) st.CompInit.Add(r);
    st.NComp = static_cast<int>(comps.size());
    st.NX = nx;
    st.DX = st.CapLength / nx;
    AllocEngineArrays(st);
    EngineArrays& a = st.Arr;
    for (int i = 1; i <= st.NComp; ++i) {
        const TComponents& r = st.CompInit[i];
        for (int k = 0; k < a.Forms(i); ++k) {
            if (k == -a.ZMin[i]) continue;
            for (int n = 0; n < a.Nn; ++n) {
                a.PKaForm(i, k)[n] = r.pKa[1][k];
                a.UForm(i, k)[n] = r.u[1][k] * 1e-9;
            }
        }
        for (int l = 1; l <= 5; ++l)
            for (int n = 0; n < a.Nn; ++n) a.C(l, i)[n] = r.c;
    }
    for (int l = 1; l <= 5; ++l)
        for (int n = 0; n < a.Nn; ++n) a.CH(l)[n] = 1e-4;
    SetSkipComp(st);
    SetDefaultCrossSections(st);
    SetNodeConstants(st);
    st.LeftWall = 0;
    st.RightWall = nx;
    st.Initialised = true;
}

double ChargeBalance(RunState& st, int level, int node, double* scale)
{
    EngineArrays& a = st.Arr;
    const double cH = a.CH(level)[node];
    const double cOH = a.COH(level)[node];
    long double sum = static_cast<long double>(cH) - cOH;
    long double sc = static_cast<long double>(cH) + cOH;
    for (int j = 1; j <= a.NComp; ++j)
        for (int k = 0; k < a.Forms(j); ++k) {
            const int z = a.ZMin[j] + k;
            const double cf = a.CForm(level, j, k)[node];
            sum += z * static_cast<long double>(cf);
            sc += std::abs(z) * std::fabs(cf);
        }
    if (scale) *scale = static_cast<double>(sc);
    return static_cast<double>(sum);
}

std::vector<double> FormFractions(int zmin, int zmax, const std::vector<double>& pK, double h)
{
    const int k0 = -zmin, nf = zmax - zmin + 1;
    std::vector<double> r(static_cast<std::size_t>(nf),
                          0.0);  // log10 of each form against the neutral one
    for (int k = k0 - 1; k >= 0; --k) r[k] = r[k + 1] + 3 - pK[k] - std::log10(h);
    for (int k = k0 + 1; k < nf; ++k) r[k] = r[k - 1] + std::log10(h) - 3 + pK[k];
    const double top = *std::max_element(r.begin(), r.end());
    double sum = 0;
    for (double& x : r) sum += (x = std::pow(10.0, x - top));
    for (double& x : r) x /= sum;
    return r;
}
