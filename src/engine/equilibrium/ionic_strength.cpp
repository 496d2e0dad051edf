#include "engine/equilibrium/ionic_strength.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"

namespace {

using activity::kLn10;

// Constants of the Onsager-Fuoss method (cgs units).
using onsagerfuoss::kElementaryCharge;
using onsagerfuoss::kSeries;
constexpr double kBoltzmann = 1.380662e-16;  // erg/K
constexpr double kAvogadro = 6.022142e23;
constexpr double kPermittivity = 78.3043;  // water
constexpr double kOFTemperature = 298.15;  // K
constexpr double kViscosity = 0.00896331;  // P
constexpr double kOFPi = 3.14159265;
constexpr double kZeroMobility = onsagerfuoss::kZeroMobility;
static_assert(onsagerfuoss::kToMobility == 1 / 1e-5 / kFaraday * 1e-9);

// Relaxation and electrophoretic constants, evaluated in extended precision.
const double kB1 = static_cast<double>(
    static_cast<long double>(kElementaryCharge) * kElementaryCharge * kElementaryCharge *
    (1.0L / 3.0L) / kBoltzmann *
    std::sqrt(0.004L * static_cast<long double>(kOFPi) * kAvogadro / kBoltzmann));
const double kB2 = static_cast<double>(
    static_cast<long double>(kElementaryCharge) * kElementaryCharge * kFaraday * (1.0L / 1800.0L) *
    std::sqrt(0.004L * kAvogadro / (static_cast<long double>(kOFPi) * kBoltzmann)));
const double kEt = kPermittivity * kOFTemperature;
const double kRelax = kB1 / std::sqrt(kEt * kEt * kEt);
const double kElectro = kB2 / (kViscosity * std::sqrt(kEt));

// Simplified correction of one mobility u0 with charge z at s = sqrt(I)/(1 + 0.0474 sqrt(I)).
// A correction larger than the mobility keeps the limiting value.
double SimplifiedMobility(int z, double u0, double s)
{
    if (u0 == 0) return 0.0;
    const double zc = z >= 0 ? -1.0 : 1.0;
    const double uc = 4e-8;
    const double zd = z;
    const double q = ((-zd * zc) / (zd - zc)) * (u0 + uc) / (zd * u0 - zc * uc);
    const double delta = 0.0247 * u0 * q / (1 + std::sqrt(q)) + 9.923e-10 * std::abs(z);
    const double u = u0 - delta * s;
    return u < 0 ? u0 : u;
}

void OnsfuoSimplified(EngineArrays& a, int level, int node)
{
    const double I = a.IonicStrength(level)[node];
    const double sq = std::sqrt(I);
    const double s = sq / (1 + 0.0474 * sq);
    for (int j = 1; j <= a.NComp; ++j) {
        const int zmin = a.ZMin[j];
        for (int k = 0; k < a.Forms(j); ++k) {
            const int z = zmin + k;
            if (z == 0) continue;
            a.UForm(j, k)[node] = SimplifiedMobility(z, a.UFormLim(j, k)[node], s);
        }
    }
    a.UForm(a.HIndex(), 1)[node] = SimplifiedMobility(1, kMobilityH, s);
    a.UForm(a.OHIndex(), 0)[node] = SimplifiedMobility(-1, kMobilityOH, s);
}

void OnsfuoFull(RunState& st, int level, int node)
{
    EngineArrays& a = st.Arr;
    IonicStrengthWork& w = st.ISWork;
    const bool temperatureMode = ModeTemperatureMobilities(st);
    const double F = kFaraday;

    // Species list: charged forms of the constituents, then H+, then OH-.
    int n = 0;
    auto add = [&](int z, int j, int k, double u, double cmM) {
        if (u == 0) u = kZeroMobility;
        w.Z[n] = z;
        w.Comp[n] = j;
        w.Form[n] = k;
        w.Lambda[n] = u * F * 1e-5 * 1e9;
        w.Conc[n] = 0.001 * cmM;
        ++n;
    };
    for (int j = 1; j <= a.NComp; ++j) {
        const int zmin = a.ZMin[j];
        for (int k = 0; k < a.Forms(j); ++k) {
            const int z = zmin + k;
            if (z == 0) continue;
            const double u = temperatureMode ? a.UForm(j, k)[node] : a.UFormLim(j, k)[node];
            add(z, j, k, u, a.CForm(level, j, k)[node]);
        }
    }
    const int h = a.HIndex(), oh = a.OHIndex();
    const double cH = a.CH(level)[node], cOH = a.COH(level)[node];
    if (temperatureMode) {
        add(1, h, 1, a.UForm(h, 1)[node], cH);
        add(-1, oh, 0, a.UForm(oh, 0)[node], cOH);
    } else {
        add(1, h, 1, 1.0, cH);
        w.Lambda[n - 1] = 362.5 * F * 1e-5;
        add(-1, oh, 0, 1.0, cOH);
        w.Lambda[n - 1] = 205.5 * F * 1e-5;
    }

    const int* z = w.Z.data();
    const double* lam = w.Lambda.data();
    double* ww = w.W.data();
    double* om = w.Omega.data();
    double* mu = w.Mu.data();
    double gamma2 = 0;  // twice the molar ionic strength
    for (int s = 0; s < n; ++s) {
        ww[s] = z[s] * z[s] * w.Conc[s];
        gamma2 += ww[s];
        om[s] = 300 * lam[s] / (F * kElementaryCharge * std::abs(z[s]));
    }
    if (!(gamma2 > 0) || !std::isfinite(gamma2))
        throw OnsagerFuossError("onsfuo: no ions at the node");
    // The same operations as the nodes side by side (ionic_strength_lanes_body.inc),
    // which take the quotients of the conductances from their cache.
    double P = 0, Q = 0;
    const double invGamma2 = 1 / gamma2;
    for (int s = 0; s < n; ++s) {
        mu[s] = ww[s] * invGamma2;
        P += z[s] * mu[s];
        Q += std::fabs(static_cast<double>(z[s]) / lam[s]) * mu[s];
    }
    double* r0 = w.R.data();
    const double PQ = P / Q;
    for (int s = 0; s < n; ++s) r0[s] = z[s] - std::fabs(static_cast<double>(z[s]) / lam[s]) * PQ;

    // H[t][s] = mu_s om_s / (om_s + om_t), plus the row sum on the diagonal;
    // kept as 2H - 1, the matrix of the series.
    double* H = w.H.data();
    double* muom = ww;  // z^2 c is not needed any more
    for (int s = 0; s < n; ++s) muom[s] = mu[s] * om[s];
    for (int t = 0; t < n; ++t) {
        double* Ht = H + static_cast<std::size_t>(t) * n;
        double diag = 0;
        for (int s = 0; s < n; ++s) {
            const double v = muom[s] * (1 / (om[s] + om[t]));
            Ht[s] = v;
            diag += v;
        }
        Ht[t] += diag;
        for (int s = 0; s < n; ++s) Ht[s] = 2 * Ht[s] - (s == t ? 1.0 : 0.0);
    }
    // r(m) = (2H - 1) r(m-1), m = 1..5.
    for (int m = 1; m <= 5; ++m) {
        const double* prev = r0 + static_cast<std::size_t>(m - 1) * n;
        double* cur = r0 + static_cast<std::size_t>(m) * n;
        for (int t = 0; t < n; ++t) {
            const double* Mt = H + static_cast<std::size_t>(t) * n;
            double sum = 0;
            for (int s = 0; s < n; ++s) sum += Mt[s] * prev[s];
            cur[t] = sum;
        }
    }

    const double relax = kRelax;
    const double electro = kElectro;
    const double sg = std::sqrt(gamma2);
    const double shape = sg / (1 + 1.5 * std::sqrt(0.5 * gamma2));
    for (int s = 0; s < n; ++s) {
        double sigma = 0;
        for (int m = 0; m <= 5; ++m) sigma += kSeries[m] * r0[static_cast<std::size_t>(m) * n + s];
        double lp = lam[s] - (relax * lam[s] * z[s] * sigma + std::abs(z[s]) * electro) * shape;
        if (lp < 0) lp = lam[s];
        a.UForm(w.Comp[s], w.Form[s])[node] = lp * onsagerfuoss::kToMobility;
    }
}

}  // namespace

double onsagerfuoss::Relaxation()
{
    return kRelax;
}
double onsagerfuoss::Electrophoretic()
{
    return kElectro;
}

void IonicStrengthWork::EnsureLanes(int rows, int nForms, int maxAbsZ, int lanes)
{
    auto atLeast = [](std::vector<double>& v, int n) {
        if (v.size() < static_cast<std::size_t>(n)) v.assign(static_cast<std::size_t>(n), 0.0);
    };
    atLeast(LaneSave, 2 * rows * lanes);
    atLeast(LaneGamma, (maxAbsZ + 1) * lanes);
    atLeast(LaneCF, 2 * nForms * lanes);
    atLeast(LaneOnsfuo, (10 * nForms + nForms * nForms) * lanes + nForms);
    const int quotients = (2 * nForms + nForms * nForms) * lanes;
    if (OFCache.size() < static_cast<std::size_t>(quotients))
        OFKeyZ.clear();  // the kept set is gone
    atLeast(OFCache, quotients);
    atLeast(OFGroup, quotients);
    if (LaneChanged.size() < static_cast<std::size_t>(rows + 1))
        LaneChanged.assign(static_cast<std::size_t>(rows) + 1, 0);
    if (LanePasses.size() < static_cast<std::size_t>(101 * lanes))
        LanePasses.assign(101 * static_cast<std::size_t>(lanes), 0);
}

void IonicStrengthWork::EnsurePairScratch(int formRows, int nComp, int maxAbsZ)
{
    if (PairShape[0] == formRows && PairShape[1] == nComp && PairShape[2] == maxAbsZ) return;
    PairScratch.Resize(formRows, nComp, maxAbsZ);
    PairShape[0] = formRows;
    PairShape[1] = nComp;
    PairShape[2] = maxAbsZ;
}

void IonicStrengthWork::Prepare(int maxAbsZ, int nForms)
{
    if (maxAbsZ == SizedMaxZ && nForms == SizedForms) return;
    const std::size_t n = nForms > 0 ? static_cast<std::size_t>(nForms) : 0;
    Gamma.assign(static_cast<std::size_t>(maxAbsZ) + 1, 1.0);
    Z.assign(n, 0);
    Comp.assign(n, 0);
    Form.assign(n, 0);
    Lambda.assign(n, 0.0);
    Conc.assign(n, 0.0);
    W.assign(n, 0.0);
    Omega.assign(n, 0.0);
    Mu.assign(n, 0.0);
    R.assign(6 * n, 0.0);
    H.assign(n * n, 0.0);
    SizedMaxZ = maxAbsZ;
    SizedForms = nForms;
}

double IonicStrengthOfForms(RunState& st, int level, int node)
{
    EngineArrays& a = st.Arr;  // read only
    if (ModeOwnsEquilibrium(st)) return a.IonicStrength(level)[node];
    long double sum = static_cast<long double>(a.CH(level)[node]) + a.COH(level)[node];
    for (int j = 1; j <= a.NComp; ++j) {
        const int zmin = a.ZMin[j];
        for (int k = 0; k < a.Forms(j); ++k) {
            const int z = zmin + k;
            if (z == 0) continue;
            sum += static_cast<long double>(z * z) * a.CForm(level, j, k)[node];
        }
    }
    return static_cast<double>(0.5L * sum);
}

void NodeIonicStrength(RunState& st, int level, int node)
{
    if (ModeOwnsEquilibrium(st)) return;
    st.Arr.IonicStrength(level)[node] = IonicStrengthOfForms(st, level, node);
}

double activity::Exp(double x)
{
    if (!(std::fabs(x) <= kExpLimit)) return std::exp(x);
    const double shifted = x * kInvLn2 + kRoundShift;
    const double k = shifted - kRoundShift;
    const double r = (x - k * kLn2Hi) - k * kLn2Lo;
    double p = kExpSeries[0];
    for (int m = 1; m < 12; ++m) p = p * r + kExpSeries[m];
    p = (p * r + 1.0) * r + 1.0;
    std::int64_t kBits, scaleBits;
    const double shift = kRoundShift;
    std::memcpy(&kBits, &shifted, 8);
    std::memcpy(&scaleBits, &shift, 8);
    const std::int64_t e = (kBits - scaleBits + 1023) << 52;
    double scale;
    std::memcpy(&scale, &e, 8);
    return p * scale;
}

double ActivityCoefficient(int z, double ionicStrength)
{
    const double im = 0.001 * ionicStrength;
    const double sq = std::sqrt(im);
    const double z2 = static_cast<double>(z) * z;
    const double lg = -0.50925 * z2 * sq / (1 + 1.5 * sq) + 0.1 * z2 * im;
    return activity::Exp(kLn10 * lg);
}

void mcinn(EngineArrays& a, int maxZ, double& change, double ionicStrength, double* gamma,
           double& kw, int node)
{
    const double im = 0.001 * ionicStrength;
    // A negative or non-finite ionic strength cannot give activity coefficients.
    if (!(im >= 0) || !std::isfinite(im)) ThrowErrorCode(-11, "mcinn>>Negative Ionic Strength");
    const double gOld = gamma[maxZ];
    double* scratch = a.ZScratch[1].empty() ? nullptr : a.ZScratch[1].data();
    const int scratchMax = static_cast<int>(a.ZScratch[1].size()) - 1;
    for (int z = 1; z <= maxZ; ++z) {
        gamma[z] = ActivityCoefficient(z, ionicStrength);
        if (scratch && z <= scratchMax) scratch[z] = gamma[z];
    }
    change = std::fabs(gOld - gamma[maxZ]) / gamma[maxZ];
    for (int j = 1; j <= a.NComp; ++j) {
        const int zmin = a.ZMin[j];
        for (int k = 0; k < a.Forms(j); ++k) {
            const int z = zmin + k;
            if (z == 0) continue;
            const int m = std::abs(z);
            const double k0 = a.KFormLim(j, k)[node];
            if (z < 0)
                a.KForm(j, k)[node] = k0 * gamma[m - 1] / gamma[1] / gamma[m];
            else
                a.KForm(j, k)[node] = k0 * gamma[m] / gamma[1] / gamma[m - 1];
        }
    }
    kw = kKwRef / gamma[1] / gamma[1];
}

void onsfuo(RunState& st, int level, int node)
{
    st.ISWork.Prepare(st.Arr.MaxAbsZ, st.Arr.NForms);
    if (st.cbFastIS)
        OnsfuoSimplified(st.Arr, level, node);
    else
        OnsfuoFull(st, level, node);
}

namespace {

// The activity iteration, the pH, the mobilities and the speciation of one node.
// fromLast: the Newton iterations start from the node's last solutions (the
// nodes side by side do the same).
void IonicStrengthNode(RunState& st, int level, int source, int src, int i, double* gamma,
                       bool fromLast)
{
    EngineArrays& a = st.Arr;
    const int maxZ = a.MaxAbsZ;
    st.KwIS = kKwRef;
    int passes = 0;
    for (int z = 0; z <= maxZ; ++z) gamma[z] = 1.0;
    double* is = a.IonicStrength(level);
    double* last = st.ISWork.LastSolution.data() + i;
    const std::size_t nn = static_cast<std::size_t>(a.Nn);
    for (;;) {
        const int pass = passes > 0 ? 1 : 0;
        if (fromLast) {
            // Elneut starts from the source level's cH: the start is put there
            // for the solve (the guard of Elneut sees the level's own value).
            double& start = a.CH(src)[i];
            const double saved = start;
            if (saved > 0 && saved <= 1e6) start = IonicStrengthStart(last[pass * nn], saved);
            try {
                Elneut(st, level, source, i, false);
            } catch (...) {
                start = saved;
                throw;
            }
            start = saved;
            const double x = a.CH(level)[i];
            last[pass * nn] = x > 0 && std::isfinite(x) ? x : 0.0;
        } else {
            Elneut(st, level, source, i, false);
        }
        NodeIonicStrength(st, level, i);
        double change = 0;
        mcinn(a, maxZ, change, is[i], gamma, st.KwIS, i);
        if (++passes > 100)
            ThrowErrorCode(-10, "ISC>>too many iterations. (" + std::to_string(i) + ")");
        BuildLForm(st, i);
        if (source != -1 && st.cbISConv) {
            const double saved = is[i];
            NodeIonicStrength(st, level, i);
            const double g = ActivityCoefficient(maxZ, is[i]);
            is[i] = saved;
            change = std::fabs(gamma[maxZ] - g) / g;
        }
        if (change <= 1e-5) break;
    }
    if (st.cbISPostN) Elneut(st, level, source, i, false);
    a.PH[i] = 3 - std::log10(a.CH(level)[i] * gamma[1]);
    onsfuo(st, level, i);
    CalcSpeciation(st, level, i);
}

}  // namespace

void ISC(RunState& st, int level, int source)
{
    EngineArrays& a = st.Arr;
    if (!st.Initialised || !a.Allocated()) ThrowErrorCode(-10, "ISC>>is_init == false");
    ComputationWindowScope window(st.counters());
    if (source == -1) window.WholeGrid(st.NX);
    const int last = a.Nn - 1;
    const int lo = st.LeftWall < 0 ? 0 : st.LeftWall;
    const int hi = st.RightWall > last ? last : st.RightWall;
    IonicStrengthWork& w = st.ISWork;
    w.Prepare(a.MaxAbsZ, a.NForms);
    double* gamma = w.Gamma.data();
    // The passes rewrite the mobilities and constants of the nodes.
    a.ConstantsRewritten();

    // Nodes side by side where every pass of a node is the plain one: a start
    // level, none of the options that change the passes, the standard
    // equilibrium.
    int src = source == 0 ? level + 1 : source;
    if (src > 5) src = 5;
    const int lanes = NodeLanes();
    const bool sideBySide = lanes > 1 && source != -1 && src >= 1 && level >= 1 && level <= 5 &&
                            !st.cbISConv && !st.cbISPostN && !ModeEquilibriumSwitchedOn(st);
    const int lastLane = std::min(hi, std::min(st.NX, last));
    if (w.LastSolution.size() != 2 * static_cast<std::size_t>(a.Nn))
        w.LastSolution.assign(2 * static_cast<std::size_t>(a.Nn), 0.0);
    // The Newton iterations start from the nodes' last solutions where the
    // start comes from another level and the standard equilibrium solves.
    const bool fromLast = source != -1 && src >= 1 && src != level && level >= 1 && level <= 5 &&
                          !ModeEquilibriumSwitchedOn(st);
    w.StartFromLast = fromLast;
    try {
        // Temperature mode: the mobilities start again from their
        // temperature-corrected limiting values.
        if (ModeTemperatureMobilities(st)) UpdateModeTemperatures(st);
        for (int i = lo; i <= hi;) {
            // Two groups of nodes side by side where they fit, else one.
            bool done = false;
            for (int groups = 2; groups >= 1 && !done; --groups)
                if (sideBySide && i + groups * lanes - 1 <= lastLane &&
                    IonicStrengthNodes(st, level, src, i, w, groups)) {
                    i += groups * lanes;
                    done = true;
                }
            if (done) continue;
            IonicStrengthNode(st, level, source, src, i, gamma, fromLast);
            ++i;
        }
    } catch (const OnsagerFuossError&) {
        ThrowErrorCode(-11, "ISC");
    } catch (const Exception& e) {
        ThrowError("(ISC): " + e.Message());
    } catch (const std::exception&) {
        ThrowErrorCode(-11, "ISC");
    }
}
