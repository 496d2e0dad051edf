#include "tools/reg_functions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/state/run_state.h"
#include "foundation/numtext.h"
#include "tools/additional_info.h"

namespace {

// x^z for a whole z by repeated multiplication.
long double IntPow(long double x, int z)
{
    long double p = 1.0L;
    for (int k = 0; k < std::abs(z); ++k) p *= x;
    return z < 0 ? 1.0L / p : p;
}

// The records of a list by position 1..Count (entry 0 empty).
std::vector<const TComponents*> Records(const TUnivSet<TComponents>& list)
{
    std::vector<const TComponents*> recs(1, nullptr);
    for (const auto* n = list.Head(); n; n = n->next) recs.push_back(&n->data);
    return recs;
}

// The run's arrays are there for NComp constituents and NX + 1 nodes, with the
// drawn profiles and the regulating-function tables.
bool ArraysReady(const RunState& st)
{
    const EngineArrays& a = st.Arr;
    const int nc = st.NComp;
    return st.Initialised && a.Allocated() && a.NComp == nc && a.Nn == st.NX + 1 && a.Nn >= 2 &&
           a.DrawnProfile.Rows() >= nc + 1 && a.DrawnProfile.Cols() == a.Nn && a.URFR.Rows() >= 7 &&
           a.URFR.Cols() >= a.Nn + 1 && a.URFWorkA.Rows() >= nc + 1 &&
           a.URFWorkA.Cols() >= a.Nn + 1 && a.URFWorkB.Rows() >= nc + 1 &&
           a.URFWorkB.Cols() >= a.Nn + 1 && a.URF.Rows() >= nc + 3 && a.URF.Cols() >= a.Nn;
}

bool Sized(const ChartSeries& s, int nn)
{
    return s.Count() == nn && static_cast<int>(s.x.size()) == nn;
}

// a / b, 0 when b is 0.
double Over(double a, double b)
{
    return b != 0 ? a / b : 0.0;
}

}  // namespace

bool AllUnivalent(const TUnivSet<TComponents>& list)
{
    for (const auto* n = list.Head(); n; n = n->next) {
        const TComponents& r = n->data;
        const bool univalent =
            (r.minCharge == 0 && r.maxCharge == 1) || (r.minCharge == -1 && r.maxCharge == 0);
        if (!univalent) return false;
    }
    return true;
}

void ComputeUniversalRF(RunState& st, AdditionalState& a)
{
    if (!ArraysReady(st)) return;
    EngineArrays& arr = st.Arr;
    const int nc = st.NComp, nn = arr.Nn, h = nc + 1, oh = nc + 2;
    NodeTable& r = arr.URFR;
    for (int j = 0; j < nn; ++j) {
        const double cH = arr.CForm(2, h, 1)[j], cOH = arr.CForm(2, oh, 0)[j];
        const double uH = arr.UForm(h, 1)[j], uOH = arr.UForm(oh, 0)[j];
        r[1][j] = r[2][j] = 0;
        for (int k = 1; k <= nc; ++k) {
            const double c = arr.DrawnProfile[k][j];
            long double sw = 0, sz = 0, sz2 = 0, su = 0, smu = 0, snu = 0;
            for (int f = 0; f <= arr.ZMax[k] - arr.ZMin[k]; ++f) {
                const int z = arr.ZMin[k] + f;
                const long double w = IntPow(cH, z) * arr.LForm(k, f)[j];
                const long double u = z != 0 ? arr.UForm(k, f)[j] : 0.0;
                sw += w;
                sz += z * w;
                sz2 += static_cast<long double>(z) * z * w;
                su += (z > 0 ? 1 : z < 0 ? -1 : 0) * u * w;
                smu += std::abs(z) * u * w;
                snu += static_cast<long double>(std::abs(z)) * z * u * w;
            }
            double zbar = 0, z2bar = 0, ubar = 0, mu = 0, nu = 0;
            if (sw > 0 && std::isfinite(static_cast<double>(sw))) {
                zbar = static_cast<double>(sz / sw);
                z2bar = static_cast<double>(sz2 / sw);
                ubar = static_cast<double>(su / sw);
                mu = static_cast<double>(smu / sw);
                nu = static_cast<double>(snu / sw);
            }
            if (ubar != 0) {
                r[1][j] += (c / ubar) * (mu * mu - ubar * nu);
                r[2][j] += -(c / ubar) * (mu * zbar - ubar * z2bar);
            }
            arr.URFWorkA[k][j] = Over(mu, ubar);
            arr.URFWorkB[k][j] = Over(zbar, ubar);
        }
        r[3][j] = -(cH * uH - cOH * uOH);
        r[4][j] = cH + cOH;
        r[5][j] = cH;
        r[6][j] = cOH;
    }
    int n = 0;
    if (!ReadInt(a.edInitX, n)) n = 0;
    n = std::clamp(n, 0, st.NX);
    a.edInitX = std::to_string(n);
    a.URFCount = n;
    for (int row = 1; row <= 6; ++row) r[row][nn] = r[row][n];
    for (int k = 1; k <= nc; ++k) {
        arr.URFWorkA[k][nn] = arr.URFWorkA[k][n];
        arr.URFWorkB[k][nn] = arr.URFWorkB[k][n];
    }
}

std::vector<int> ChargeChoice(const RunState& st)
{
    const EngineArrays& arr = st.Arr;
    const int nc = st.NComp;
    std::vector<int> z(static_cast<std::size_t>(std::max(nc, 0)) + 1, 0);
    if (!arr.Allocated() || arr.NComp != nc) return z;
    const auto recs = Records(st.CompInit);
    const ChartSeries& ph = st.Series.sr_pH;
    const double pH0 = ph.Count() > 0 ? ph.y[0] : (arr.PH.empty() ? 7.0 : arr.PH[0]);
    for (int k = 1; k <= nc; ++k) {
        const int zmin = arr.ZMin[k], zmax = arr.ZMax[k];
        const TComponents* rec = k < static_cast<int>(recs.size()) ? recs[k] : nullptr;
        // pK of form index f of the first segment
        auto pk = [&](int f) { return rec ? rec->PKaOf(1, zmin + f) : 0.0; };
        int zk = 0;
        if (zmin == 0 && zmax == 0)
            zk = 0;
        else if (zmin == 0)
            zk = pk(zmax) - pH0 > 2.0 ? zmax : 1;
        else if (zmax == 0)
            zk = -1;
        else
            zk = pk(1 - zmin) - pH0 <= pH0 - pk(-1 - zmin) ? -1 : 1;
        if (zmin < 0) {
            if (zk < 0 && pH0 - pk(zmax) > 2.0)
                zk = zmin;
            else if (zk > 0 && pk(zmax) - pH0 > 2.0)
                zk = zmax;
        }
        z[k] = zk;
    }
    return z;
}

std::string ChargeChoiceText(const std::vector<int>& z)
{
    std::string text;
    for (std::size_t k = 1; k < z.size(); ++k) text += std::to_string(z[k]) + "\n";
    return text;
}

void FillAdditionalSeries(RunState& st)
{
    EngineArrays& arr = st.Arr;
    const int nc = st.NComp;
    if (!st.Initialised || !arr.Allocated() || arr.NComp != nc || arr.Nn != st.NX + 1) return;
    const int nn = arr.Nn;
    RunSeries& s = st.Series;
    const double kw = ActiveKw(st);
    std::vector<double> e(nn);
    for (int j = 0; j < nn; ++j) {
        // Without the correction the ionic strength shown is that of the forms;
        // the run's own row stays as the run left it.
        const double is =
            st.ISCorrection ? arr.IonicStrength(2)[j] : IonicStrengthOfForms(st, 2, j);
        e[j] = arr.E[j] * 0.001;
        const double cH = arr.CH(2)[j];
        double balance = cH - (cH > 0 ? kw / cH : 0.0);
        for (int k = 1; k <= nc; ++k) balance += arr.C(2, k)[j] * arr.ZMean[k][j];
        if (Sized(s.sr_IS, nn)) s.sr_IS.y[j] = is;
        if (Sized(s.sr_E, nn)) s.sr_E.y[j] = e[j];
        if (Sized(s.sr_elneut, nn)) s.sr_elneut.y[j] = balance * 1e12;
    }
    if (static_cast<int>(s.clbGraph.size()) <= nc + 4) return;
    std::vector<double> ui(nn);
    for (int j = 0; j < nn; ++j) {
        const double area = j < static_cast<int>(arr.S.size()) ? arr.S[j] : 0.0;
        ui[j] = e[j] * st.DX * 1000;
        if (Sized(s.sr_j, nn)) s.sr_j.y[j] = Over(st.I, area) * 0.001;
        if (Sized(s.sr_Ui, nn)) s.sr_Ui.y[j] = ui[j];
        if (Sized(s.sr_P, nn)) s.sr_P.y[j] = Over(ui[j] * st.I, st.DX);
        if (Sized(s.sr_T, nn)) s.sr_T.y[j] = arr.T(2)[j] - 273.15;
    }
    if (!Sized(s.sr_potential, nn)) return;
    auto& pot = s.sr_potential.y;
    pot[0] = 0.5 * 0.001 * ui[0];
    for (int j = 1; j < nn - 1; ++j) pot[j] = pot[j - 1] + 0.001 * ui[j];
    pot[nn - 1] = pot[nn - 2] + 0.5 * 0.001 * ui[nn - 1];
}

namespace {

// Kohlrausch's function and its two relatives (1, 3, 4), and the charge sum (2).
void FillSimple(RunState& st, const std::vector<int>& z, int fn, std::vector<double>& y)
{
    EngineArrays& arr = st.Arr;
    const int nc = st.NComp;
    for (int j = 0; j < arr.Nn; ++j) {
        const double uH = arr.UForm(nc + 1, 1)[j], uOH = arr.UForm(nc + 2, 0)[j];
        double sum = 0;
        for (int k = 1; k <= nc; ++k) {
            const double c = arr.DrawnProfile[k][j];
            if (fn == 2) {
                sum += z[k] * c;
                continue;
            }
            if (z[k] == 0) continue;
            const double inv = Over(std::abs(z[k]), arr.UForm(k, z[k] - arr.ZMin[k])[j]);
            if (fn == 1)
                sum += inv * c;
            else if (fn == 3)
                sum += (inv - Over(z[k], uH)) * c;
            else
                sum += (inv + Over(z[k], uOH)) * c;
        }
        y[j] = fn == 2 ? sum : sum * 1e-9;
    }
}

// Divalent function with constituent 1 as the divalent one; extends `info`.
void FillDivalent(RunState& st, const std::vector<int>& z, int node, std::vector<double>& y,
                  std::string& info)
{
    EngineArrays& arr = st.Arr;
    const int nc = st.NComp, zmin = arr.ZMin[1], zmax = arr.ZMax[1];
    const bool divalent = (zmin <= -2 && zmax == 0) || (zmin == 0 && zmax >= 2);
    if (nc < 1 || z[1] == 0 || !divalent) return;
    const double cH = arr.CH(2)[node];
    int best = -1;
    double bestD = 0;
    for (int f = 0; f <= zmax - zmin; ++f) {
        if (zmin + f == 0) continue;
        const double d = std::fabs(arr.KForm(1, f)[node] - cH);
        if (d < cH && (best < 0 || d < bestD)) {
            best = f;
            bestD = d;
        }
    }
    if (best < 0) return;
    const int zs = zmin + best;
    int z1, z2;
    if (zs < -1)
        z1 = zs + 1, z2 = zs;
    else if (zs == -1)
        z1 = -1, z2 = -2;
    else if (zs > 1)
        z1 = zs - 1, z2 = zs;
    else
        z1 = 1, z2 = 2;
    if (z1 < zmin || z1 > zmax || z2 < zmin || z2 > zmax) return;
    const double u1 = arr.UForm(1, z1 - zmin)[node], u2 = arr.UForm(1, z2 - zmin)[node];
    info += "\n (zl,zh)" + std::to_string(z1) + ", " + std::to_string(z2) + "\n (ul,uh)" +
            FloatToStr(u1 * 1e9) + ", " + FloatToStr(u2 * 1e9);
    const double a = u2 / z2 - u1 / z1, b = (u2 * u1) / (static_cast<double>(z2) * z1);
    for (int j = 0; j < arr.Nn; ++j) {
        double sum = (u2 - u1) * arr.DrawnProfile[1][j];
        for (int k = 2; k <= nc; ++k) {
            const double c = arr.DrawnProfile[k][j];
            sum += z[k] * a * c;
            if (z[k] != 0) sum += std::abs(z[k]) * b * Over(c, arr.UForm(k, z[k] - arr.ZMin[k])[j]);
        }
        y[j] = sum * 1e7;
    }
}

void FillUniversal(RunState& st, const AdditionalState& a, std::vector<double>& y)
{
    const EngineArrays& arr = st.Arr;
    if (arr.URFWorkB.empty()) return;
    const double e1 = a.cbR6[1], e2 = a.cbR6[2], e3 = a.cbR6[3], e4 = a.cbR6[4];
    const NodeTable& r = arr.URFR;
    for (int j = 0; j < arr.Nn; ++j) {
        const int i = a.cbR6[5] ? arr.Nn : j;
        const double zTerm = e1 * r[1][i] + e3 * r[3][i] + r[5][i];
        const double mTerm = e2 * r[2][i] + e4 * r[4][i] + r[6][i];
        double sum = 0;
        for (int k = 1; k <= st.NComp; ++k)
            sum +=
                arr.DrawnProfile[k][j] * (zTerm * arr.URFWorkB[k][i] + mTerm * arr.URFWorkA[k][i]);
        y[j] = sum;
    }
}

// Mobility of form f of constituent k at node i: the Init values or the current ones.
double Mob(EngineArrays& arr, bool initValues, int k, int f, int i)
{
    return initValues ? arr.URFMob(k, f)[i] : arr.UForm(k, f)[i];
}

void FillAmpholyte(RunState& st, const std::vector<int>& z, const AdditionalState& a,
                   std::vector<double>& y)
{
    EngineArrays& arr = st.Arr;
    const int nc = st.NComp;
    if (nc < 1 || arr.ZMin[1] != -1 || arr.ZMax[1] != 1) return;
    for (int j = 0; j < arr.Nn; ++j) {
        const int i = a.cbR6[5] ? a.URFCount : j;
        const double invA = Over(1.0, Mob(arr, st.cbCInit, 1, 0, i)),
                     invC = Over(1.0, Mob(arr, st.cbCInit, 1, 2, i));
        double sum = (invA + invC) * 0.5 * arr.DrawnProfile[1][j];
        for (int k = 2; k <= nc; ++k) {
            const double uk = Mob(arr, st.cbCInit, k, z[k] - arr.ZMin[k], i);
            sum += (Over(std::abs(z[k]), uk) + z[k] * (invA - invC) * 0.5) * arr.DrawnProfile[k][j];
        }
        y[j] = sum * 1e-9;
    }
}

void FillStrong(RunState& st, const std::vector<int>& z, const AdditionalState& a,
                std::vector<double>& y)
{
    EngineArrays& arr = st.Arr;
    const int nc = st.NComp, h = nc + 1, oh = nc + 2;
    const bool init = st.cbCInit;
    for (int j = 0; j < arr.Nn; ++j) {
        const int i = a.cbR6[5] ? a.URFCount : j;
        const double cH = init ? arr.URF[h][i] : arr.CForm(2, h, 1)[i];
        const double cOH = init ? arr.URF[oh][i] : arr.CForm(2, oh, 0)[i];
        const double uH = Mob(arr, init, h, 1, i), uOH = Mob(arr, init, oh, 0, i);
        double sum = 0;
        for (int k = 1; k <= nc; ++k) {
            const double uk = Mob(arr, init, k, z[k] - arr.ZMin[k], i);
            if (uk == 0) continue;
            sum += (z[k] * (cH + cOH) + std::abs(z[k]) * (cOH * uOH - cH * uH)) / uk *
                   arr.DrawnProfile[k][j];
        }
        y[j] = sum;
    }
}

}  // namespace

void FillRegulationFunctions(RunState& st, AdditionalState& a)
{
    RunSeries& s = st.Series;
    for (int k = 1; k <= 8; ++k) s.sr_reg[k].active = false;
    if (st.DetectorView || st.NComp <= 0 || !AnyRegFnShown(a) || !ArraysReady(st)) return;
    // the universal terms follow the current state unless the Init values are used
    if (!st.cbCInit) ComputeUniversalRF(st, a);
    a.URFCount = std::clamp(a.URFCount, 0, st.NX);
    const std::vector<int> z = ChargeChoice(st);
    a.ChargeInfo = ChargeChoiceText(z);
    const int nn = st.Arr.Nn;
    for (int fn = 1; fn <= 8; ++fn) {
        if (!a.cbRegFn[fn] || !Sized(s.sr_reg[fn], nn)) continue;
        std::vector<double>& y = s.sr_reg[fn].y;
        std::fill(y.begin(), y.end(), 0.0);
        switch (fn) {
        case 5: FillDivalent(st, z, a.URFCount, y, a.ChargeInfo); break;
        case 6: FillUniversal(st, a, y); break;
        case 7: FillAmpholyte(st, z, a, y); break;
        case 8: FillStrong(st, z, a, y); break;
        default: FillSimple(st, z, fn, y); break;
        }
        s.sr_reg[fn].active = true;
    }
}
