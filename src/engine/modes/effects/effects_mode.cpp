#include "engine/modes/effects/effects_mode.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "engine/step/node_diffusion.h"
#include "engine/step/standard_scheme.h"
#include "engine/step/voltage.h"
#include "foundation/errors.h"

namespace {

constexpr double kFaradayC = 96485.0;

inline double Sign(double v)
{
    return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0);
}
inline double Clamp(double T)
{
    return std::min(643.15, std::max(273.15, T));
}

struct EffectsScratch {
    std::vector<double> W, K, R, G, P;
    void Ensure(int nn)
    {
        if (static_cast<int>(W.size()) < nn) {
            W.assign(nn, 0.0);
            K.assign(nn, 0.0);
            R.assign(nn, 0.0);
            G.assign(nn, 0.0);
            P.assign(nn, 0.0);
        }
    }
};

// Heating and an initial temperature profile correct the mobilities.
bool EffectsTemperatureMobilities(const RunState& st)
{
    return st.cbH || st.cbT;
}

}  // namespace

double WaterConductivity(double T)
{
    return 0.71352 - 5.62762 / (std::exp(0.0162941 * T - 0.920941) + 1);
}

double WaterHeatCapacity(double T)
{
    return 0.00651 * std::exp(0.02408 * T) + 4164.1 + 1.092232e12 * std::exp(-0.07883 * T);
}

double WaterDensity(double T)
{
    if (T <= 313.15) {
        const double T2 = T * T, T3 = T2 * T, T4 = T3 * T, T5 = T4 * T;
        return 300.6987 * T - 17912.96 - 1.924704 * T2 + 0.006200789 * T3 - 1.004708e-05 * T4 +
               6.536332e-09 * T5;
    }
    return 49.56371 * std::sqrt(647.3 - T) + 1228.14079 - 1.9141863 * T + 0.001796095 * T * T -
           278845.42664 / T + 16856405.8028 / (T * T);
}

void UpdateTemperature(RunState& st)
{
    EngineArrays& a = st.Arr;
    if (!a.Allocated()) return;
    const int nn = a.Nn;
    double* T2 = a.T(2);
    if (st.cbH && st.TempOption && st.cbAccT) {
        double& prev = st.effects().SimplifiedHeatTime;
        if (st.Time == 0 || st.Time < prev) prev = st.Time;
        const double dt = st.Time - prev;
        for (int i = 0; i < nn; ++i) {
            const double kappa = a.Kappa[i], S = a.S[i], p = a.HeatP[i], T0 = a.T0[i];
            // A node without conductivity, section or heating coefficient
            // stays at its ambient temperature.
            if (kappa == 0 || S == 0 || !(p > 0)) {
                T2[i] = T0;
                continue;
            }
            const double Tst = p * st.I * st.I / (kappa * S * S) + T0;
            const double q = Tst / (T0 + S * T0 / (2 * kPi * 0.605 * p));
            const double tau = 0.833 *
                               (15.22377 - 15.33768 * std::exp(-1000 * (Tst - T0) / 25428.17343)) *
                               0.1 * q;
            // The fit of the relaxation time is negative for rises below about
            // 0.19 K: the node then takes its steady temperature at once.
            if (!(tau > 0) || !std::isfinite(tau))
                T2[i] = Tst;
            else
                T2[i] += (Tst - T2[i]) * (1 - std::exp(-dt / tau));
            if (!std::isfinite(T2[i])) T2[i] = T0;
        }
        prev = st.Time;
    }
    if (!st.cbH && !st.cbT) return;
    a.ConstantsRewritten();
    const int nc = a.NComp;
    for (int j = 1; j <= nc + 2; ++j) {
        const double coef = MobilityTemperatureCoefficient(j, nc);
        for (int k = 0; k < a.Forms(j); ++k) {
            if (k == -a.ZMin[j]) continue;
            double* u = a.UForm(j, k);
            const double* ul = a.UFormLim(j, k);
            for (int i = 0; i < nn; ++i)
                u[i] = (1 + coef * (T2[i] - kMobilityReferenceTemperature)) * ul[i];
        }
    }
}

void ReferenceMobilities(RunState& st)
{
    EngineArrays& a = st.Arr;
    if (!a.Allocated()) return;
    a.ConstantsRewritten();
    for (int j = 1; j <= a.NComp + 2; ++j)
        for (int k = 0; k < a.Forms(j); ++k) {
            if (k == -a.ZMin[j]) continue;
            const double* ul = a.UFormLim(j, k);
            std::copy(ul, ul + a.Nn, a.UForm(j, k));
        }
}

void TemperatureDerivative(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    const int lw = st.LeftWall, rw = st.RightWall;
    double* dT = a.DTdt(level);
    if (st.cbAccT) {
        for (int i = lw; i <= rw; ++i) dT[i] = 0;
        UpdateTemperature(st);
        return;
    }
    if (rw - lw < 2) return;
    const double v = CalcEOFMobility(st);
    double* T = a.T(level);
    const double dx = st.DX;
    const bool flow = st.cbEOFDif && st.cbTEOF;
    for (int i = lw + 1; i < rw; ++i) {
        // An ideally cooled node (no heating coefficient) keeps its ambient temperature.
        if (!(a.HeatP[i] > 0)) {
            T[i] = a.T0[i];
            dT[i] = 0;
            continue;
        }
        const double Tc = Clamp(T[i]), Tr = Clamp(T[i + 1]), Tl = Clamp(T[i - 1]);
        const double kR = WaterConductivity(Tr), kC = WaterConductivity(Tc),
                     kL = WaterConductivity(Tl);
        const double rc = WaterDensity(Tc) * WaterHeatCapacity(Tc);
        const double g = (T[i + 1] - T[i - 1]) * 0.5 / dx;
        const double lap = (T[i + 1] - 2 * T[i] + T[i - 1]) / (dx * dx);
        const double dk = (kR - kL) * 0.5 / dx;
        double d = (a.E[i] * a.E[i] * a.Kappa[i] - (T[i] - a.T0[i]) / a.HeatP[i]) / rc;
        if (flow) d -= (st.EOFAsVelocity ? v : v * 1e-9 / a.S[i]) * g;
        if (st.cbDiffusion) d += (dk * g + kC * lap) / rc;
        dT[i] = d;
    }
    dT[lw] = dT[lw + 1];
    dT[rw] = dT[rw - 1];
}

double CalcEOFMobility(RunState& st)
{
    if (!st.cbEOF) {
        if (st.cbVEOF) return st.EOFMob * 1e9;
        return st.EOFMob * st.U / (st.CapLength + st.FakeCapLen);
    }
    EngineArrays& a = st.Arr;
    const double* cH = a.CH(2);
    const bool positiveWall = st.rbPK_pos;
    const double gamma =
        a.MaxAbsZ >= 1 && st.ISCorrection && a.ZScratch[1].size() > 1 ? a.ZScratch[1][1] : 1.0;
    // The derivatives write the field inside the computation window only;
    // outside it the profiles are flat and the field is the ohmic one of the
    // present current.
    const int lw = st.LeftWall, rw = st.RightWall;
    auto FieldAt = [&](int i) {
        if (i >= lw && i <= rw) return a.E[i];
        const double ks = a.Kappa[i] * a.S[i];
        return ks > 0 ? st.I / ks : a.E[i];
    };
    double sum = 0, W = 0;
    for (int i = 0; i < a.Nn; ++i) {
        const double K = std::pow(10.0, -a.PKEOF[i]);
        double alpha, sign;
        // A negatively charged wall drives the flow the way a positive static
        // EOF mobility does (with the cations); a positive wall the other way.
        if (positiveWall) {
            alpha = cH[i] / (cH[i] + K);
            sign = -1;
        } else {
            const double Kg = K * gamma * gamma;
            alpha = Kg / (cH[i] + Kg);
            sign = 1;
        }
        const double w = a.S[i] * st.DX;
        sum += sign * a.UEOFMax[i] * alpha * FieldAt(i) * w;
        W += w;
    }
    const double v = W > 0 && std::isfinite(sum) ? sum / W : 0.0;
    st.EOFMobCalc = v;
    return v;
}

void MixStep(RunState& st, int level)
{
    if (!st.cbMix) return;
    EngineArrays& a = st.Arr;
    const int nn = a.Nn;
    const double dt = st.DT, dx = st.DX;
    EffectsScratch& sc = st.Engine.Scratch<EffectsScratch>();
    sc.Ensure(nn);
    double* r = sc.R.data();
    for (int j = 1; j <= a.NComp; ++j) {
        if (a.SkipComp[j] == 1) continue;
        const double* c = a.C(level, j);
        double* cmix = a.CMix[j];
        for (int s = 1; s <= a.MixSegCount; ++s) {
            const double* win = a.MixWindow[s];
            double num = 0, den = 0;
            for (int i = 0; i < nn; ++i) {
                const double f = st.cbMixE ? std::fabs(0.001 * a.E[i]) : 1.0;
                r[i] = std::min(1.0, win[i] * dt * f);
                num += c[i] * r[i] * a.S[i] * dx;
                den += r[i] * a.S[i] * dx;
            }
            if (den > 0) {
                const double mean = num / den;
                for (int i = 0; i < nn; ++i) {
                    const double add = (mean - c[i]) * r[i];
                    cmix[i] = s == 1 ? add : cmix[i] + add;
                }
            } else if (s == 1) {
                for (int i = 0; i < nn; ++i) cmix[i] = 0;
            }
        }
    }
}

void MixStepPlain(RunState& st, int level)
{
    EngineArrays& a = st.Arr;
    const int nn = a.Nn;
    const auto* node = st.CompInit.Head();
    for (int j = 1; j <= a.NComp && node; ++j, node = node->next) {
        if (a.ZMax[j] != a.ZMin[j]) {
            double usum = 0;
            const auto& u = node->data.u;
            if (u.size() > 1)
                for (int k = 0; k < static_cast<int>(u[1].size()); ++k)
                    if (k != -a.ZMin[j]) usum += u[1][k];
            if (usum == 0) continue;
        }
        const double* c = a.C(level, j);
        double* c1 = a.C(1, j);
        for (int s = 1; s <= a.MixSegCount; ++s) {
            const double* win = a.MixWindow[s];
            double num = 0, den = 0;
            for (int i = 0; i < nn; ++i) {
                num += c[i] * win[i];
                den += win[i];
            }
            if (!(den > 0)) continue;
            const double mean = num / den;
            for (int i = 0; i < nn; ++i) c1[i] += (mean - c[i]) * std::min(1.0, win[i] * st.DT);
        }
    }
}

namespace {

// Zig-zag smoothing of the conductivity ("Smooth Conductivity").
void SmoothConductivity(double* kappa, int lw, int rw)
{
    int f1 = 0, f2 = 0;
    double prev2 = lw + 2 <= rw ? kappa[lw] : 0, prev1 = lw + 2 <= rw ? kappa[lw + 1] : 0;
    for (int j = lw + 2; j <= rw - 2; ++j) {
        const double cur = kappa[j];
        const double d1 = cur - prev1, d2 = kappa[j + 1] - cur;
        int flag = 0;
        if (d1 * d2 / cur < -1e-12 && (prev1 - prev2) * d1 < 0 &&
            (kappa[j + 2] - kappa[j + 1]) * d2 < 0)
            flag = 2;
        else if (f1 + f2 > 2)
            flag = 1;
        if (flag) kappa[j] = (kappa[j + 1] + 2 * cur + prev1) * 0.25;
        f2 = f1;
        f1 = flag;
        prev2 = prev1;
        prev1 = cur;
    }
}

}  // namespace

void CalcDER_Effects(RunState& st, int level, bool fieldOnly)
{
    EngineArrays& a = st.Arr;
    const int lw = st.LeftWall, rw = st.RightWall;
    if (rw - lw < 2 || level < 1 || level > 5) return;
    if (level > 4) fieldOnly = true;
    const int nc = a.NComp;
    const double dx = st.DX, h1 = 0.5 / dx;
    EffectsScratch& sc = st.Engine.Scratch<EffectsScratch>();
    sc.Ensure(a.Nn);
    double* W = sc.W.data();
    double* K = sc.K.data();
    double* g = sc.G.data();
    const bool mobilitiesFollowT = EffectsTemperatureMobilities(st);
    // g := the temperature factor of the diffusion coefficients of constituent
    // i at the window's nodes. It is one for every constituent, one for H+ and
    // one for OH-: g is formed again only when the kind changes.
    int gKind = -1;
    auto factors = [&](int i) {
        const int kind = i <= nc ? 0 : i - nc;
        if (kind == gKind) return;
        gKind = kind;
        DiffusionTemperatureFactors(st, i, mobilitiesFollowT, st.LeftWall, st.RightWall, g);
    };
    double* kappa = a.Kappa.data();
    double* E = a.E.data();
    const double* S = a.S.data();

    // Diffusion-current sum and conductivity. While the coefficients follow
    // the node temperatures (nd's rows) the transport is Fick's flux
    // -D dc/dx in flux form, and so is the current: z D dc/dx with the node's
    // D. The difference of the products c D would give a uniform solution a
    // diffusion potential wherever the temperature varies.
    const NodeDiffusion& nd = PrepareNodeDiffusion(st);
    std::fill(W + lw, W + rw + 1, 0.0);
    std::fill(K + lw, K + rw + 1, 0.0);
    const bool zeroC = st.cbZeroC;
    for (int i = 1; i <= nc + 2; ++i) {
        factors(i);
        const double* gn = nd.Factor(i);
        for (int k = 0; k < a.Forms(i); ++k) {
            const int z = a.ZMin[i] + k;
            if (z == 0) continue;
            const double* c = a.CForm(level, i, k);
            const double* D = a.DForm(i, k);
            const double* u = a.UForm(i, k);
            if (gn)
                for (int j = lw + 1; j < rw; ++j)
                    W[j] += DiffusionCurrent(z, D, gn, j, c[j - 1], c[j + 1]) * h1;
            else
                for (int j = lw + 1; j < rw; ++j)
                    W[j] +=
                        z * (c[j + 1] * D[j + 1] * g[j + 1] - c[j - 1] * D[j - 1] * g[j - 1]) * h1;
            W[lw] += z * (c[lw + 2] - c[lw]) * D[lw] * h1 * g[lw];
            W[rw] += z * (c[rw] - c[rw - 2]) * D[rw] * h1 * g[rw];
            for (int j = lw; j <= rw; ++j)
                K[j] += std::abs(z) * u[j] * (zeroC && c[j] < 0 ? 0.0 : c[j]);
        }
    }
    for (int j = lw; j <= rw; ++j) kappa[j] = kFaradayC * K[j];
    if (st.cbSK) SmoothConductivity(kappa, lw, rw);
    AddAdditionalConductivity(st);
    if (!CalcVoltageCurrent(st)) return;
    for (int j = lw; j <= rw; ++j) {
        W[j] = st.cbDP ? kFaradayC * W[j] / kappa[j] : 0.0;
        E[j] = st.I / S[j] / kappa[j] + W[j];
    }
    if (fieldOnly) return;

    // Interface fluxes between j and j+1 (per unit of the mean section): the
    // diffusion with the face's mean S D, as the interior nodes see it, so
    // that an electrode end loses what its neighbour gains.
    for (int i = 1; i <= nc; ++i) {
        if (a.SkipComp[i] == 1) continue;
        double* J = a.CMixPrev[i];
        const double* C = a.C(level, i);
        const double* ue = a.UEff[i];
        factors(i);
        for (int j = lw; j < rw; ++j) {
            double f = 0;
            for (int k = 0; k < a.Forms(i); ++k) {
                const double* c = a.CForm(level, i, k);
                const double* D = a.DForm(i, k);
                f += (c[j + 1] - c[j]) *
                     (-(S[j] * (D[j] * g[j]) + S[j + 1] * (D[j + 1] * g[j + 1])) /
                      (S[j] + S[j + 1])) /
                     dx;
            }
            J[j] = f + (ue[j] * C[j] * E[j] * S[j] + ue[j + 1] * C[j + 1] * E[j + 1] * S[j + 1]) /
                           (S[j] + S[j + 1]);
        }
    }

    const double e = CalcEOFMobility(st);
    auto flowAt = [&](int j) { return st.EOFAsVelocity ? e : e * 1e-9 / S[j]; };

    // (1/S) d/dx(S D dc/dx) - (1/S) d/dx(S u c E) - w dc/dx. The diffusion in
    // flux form: the face between j and j+1 carries P (c[j+1] - c[j]) / dx with
    // P the mean of the nodes' S D, which the two nodes share, so that the
    // amount sum S c DX only changes by the fluxes through the window's ends
    // however D and S vary. Written as the node's own P with half the
    // differences to its neighbours: a uniform capillary gives the plain
    // second difference.
    double* P = sc.P.data();
    for (int i = 1; i <= nc; ++i) {
        if (a.SkipComp[i] == 1) continue;
        double* F = a.F(level, i);
        const double* C = a.C(level, i);
        const double* ue = a.UEff[i];
        factors(i);
        for (int j = lw + 1; j < rw; ++j) F[j] = 0;
        for (int k = 0; k < a.Forms(i); ++k) {
            const double* c = a.CForm(level, i, k);
            const double* D = a.DForm(i, k);
            for (int j = lw; j <= rw; ++j) P[j] = S[j] * (D[j] * g[j]);
            for (int j = lw + 1; j < rw; ++j) {
                const double d = D[j] * g[j];
                const double up = (P[j + 1] - P[j]) * 0.5, down = (P[j - 1] - P[j]) * 0.5;
                F[j] += (c[j + 1] - 2 * c[j] + c[j - 1]) * d / dx / dx +
                        (up * (c[j + 1] - c[j]) - down * (c[j] - c[j - 1])) / (S[j] * dx * dx);
            }
        }
        for (int j = lw + 1; j < rw; ++j)
            F[j] -= (ue[j + 1] * C[j + 1] * E[j + 1] * S[j + 1] -
                     ue[j - 1] * C[j - 1] * E[j - 1] * S[j - 1]) *
                    0.5 / dx / S[j];
        if (st.cbEOFDif) {
            const double sg = Sign(a.DBase[i]);
            for (int j = lw + 1; j < rw; ++j) F[j] += -flowAt(j) * (C[j + 1] - C[j - 1]) * h1 * sg;
        }
    }

    WallTerm(st, level);
    for (int i = 1; i <= nc; ++i) {
        const double* J = a.CMixPrev[i];
        const double* C = a.C(level, i);
        double* F = a.F(level, i);
        if (st.cbLE) {
            F[lw] = (S[lw] + S[lw + 1]) * (-J[lw] / dx) * 0.5 / S[lw];
            if (st.cbEOFDif) F[lw] += (C[lw] + C[lw + 1]) * (-flowAt(lw)) * h1;
        }
        if (st.cbRE) {
            F[rw] = (S[rw] + S[rw - 1]) * (J[rw - 1] / dx) * 0.5 / S[rw];
            if (st.cbEOFDif) F[rw] += (C[rw] + C[rw - 1]) * flowAt(rw) * h1;
        }
    }

    if (st.cbMix) {
        if (level > 1) MixStep(st, level);
        for (int i = 1; i <= nc; ++i) {
            double* F = a.F(level, i);
            const double* cm = a.CMix[i];
            for (int j = 0; j < a.Nn; ++j) F[j] += cm[j] / st.DT;
        }
    }
    // Stationary concentrations: no node changes, the last one included.
    if (st.cbAllStac)
        for (int i = 1; i <= nc; ++i) std::fill(a.F(level, i), a.F(level, i) + a.Nn, 0.0);
}

namespace {

// Mixing correction and the temperature derivative of a stage.
void EffectsStage(RunState& st, int level)
{
    MixStep(st, level);
    if (st.cbH) TemperatureDerivative(st, level);
}

// The plain mixing of level 1 when the cross-section mode is off.
void EffectsBeforeEquilibrium(RunState& st, int level)
{
    if (st.cbMix && !st.cbS) MixStepPlain(st, level);
}

// Heating integrates the node temperatures; the simplified heating sets them
// itself, so they stay out of the step's error.
ModeRows EffectsRows(const RunState& st)
{
    ModeRows rows;
    rows.temperature = st.cbH;
    rows.temperatureInError = st.cbH && !st.cbAccT;
    return rows;
}

}  // namespace

namespace {

// The capillary-effects profiles, whatever the switches: every profile its
// default, then the rows of the effects switched on (a switch may be ticked
// later, during a run, and then finds sound profiles); the simplified heating
// starts its clock afresh.
void EffectsDistributed(RunState& st)
{
    if (!ApplyEffects(st)) ShowWarning(kEffectsInvalid);
    st.effects().SimplifiedHeatTime = 0;
}

}  // namespace

ModeHooks EffectsModeHooks()
{
    ModeHooks h;
    h.name = "CE Effects";
    h.Derivatives = CalcDER_Effects;
    h.derivativesKey = "DerEffects";
    h.dcHAfter = true;
    h.UpdateTemperature = UpdateTemperature;
    h.StageUpdate = EffectsStage;
    h.BeforeEquilibrium = EffectsBeforeEquilibrium;
    h.FileBlockRead = RestoreEffectsTable;
    h.Distributed = EffectsDistributed;
    h.Rows = EffectsRows;
    h.TemperatureMobilities = EffectsTemperatureMobilities;
    return h;
}
