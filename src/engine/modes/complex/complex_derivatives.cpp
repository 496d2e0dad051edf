// Complexation mode: conductivity, field and the time derivatives of the
// ligand and analyte totals, from the free species and complexes of the last
// equilibrium. Every species s of charge z moves with the flux
//   J = -d(D c)/dx + sign(z) u c E + v c,
// where u is its (unsigned) mobility; ligand forms and complexes diffuse with
// D = u RT/(|z| F) (|z| taken as 1 when neutral). The field is written through
// the current density: kappa E = I/S + F d(sum z D c)/dx.
// While the free forms, H+ and OH- diffuse at their node temperatures their D
// varies along the capillary, and d(D c)/dx would drive matter from warm to
// cold in a uniform solution: they move by Fick's J = -D dc/dx instead, in
// flux form (face means of D in the second differences), and their part of
// the diffusion current is z D dc/dx with the node's D, so that the field
// terms match the transport. The ligand forms and complexes keep their
// set-temperature D, uniform along the capillary, where both forms agree.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/node_diffusion.h"
#include "engine/step/voltage.h"

namespace {

enum class Kind { LigandForm, FreeForm, Complex };

struct Species {
    Kind kind;
    int a;               // analyte 1..Nanalytes (0: ligand form)
    int z;               // charge
    double u;            // mobility of a ligand form or complex
    const double* uRow;  // mobility of a free form, per node
    const double* dRow;  // diffusion coefficient of a free form, per node
    const double* gRow;  // its factor at the node temperatures (null: 1)
    const double* frac;  // fraction row of the equilibrium
};

struct ComplexDerScratch {
    std::vector<Species> species;
    std::vector<double> c, g, dc;  // [species][node]: concentration, u c, D c
    std::vector<double> jc, jd2;   // [node]
    std::vector<double> flux;      // [constituent]
};

inline double Sign(double v)
{
    return v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0);
}
inline double AbsZ(int z)
{
    return z == 0 ? 1.0 : std::abs(z);
}

// The species of the mode and their concentrations over the window.
void BuildSpecies(RunState& st, int l, ComplexDerScratch& s, int lw, int rw,
                  const NodeDiffusion& nd)
{
    const ComplexData& d = ComplexArrays(st);
    EngineArrays& a = st.Arr;
    const int Q = d.Q();
    s.species.clear();
    for (int q = 0; q <= Q; ++q)
        s.species.push_back({Kind::LigandForm, 0, d.nL + q, d.U[0][0][static_cast<std::size_t>(q)],
                             nullptr, nullptr, nullptr, ComplexWork(st, l, 0, 0, q)});
    for (int k = 1; k <= d.Nanalytes; ++k)
        for (int f = 0; f < d.FormCount[static_cast<std::size_t>(k)]; ++f) {
            const int zf = a.ZMin[k + 1] + f;
            s.species.push_back({Kind::FreeForm, k, zf, 0.0, a.UForm(k + 1, f), a.DForm(k + 1, f),
                                 nd.Factor(k + 1), ComplexWork(st, l, k, f, Q + 1)});
            for (int q = 0; q <= Q; ++q)
                s.species.push_back({Kind::Complex, k, zf + d.nL + q,
                                     d.U[static_cast<std::size_t>(k)][static_cast<std::size_t>(f)]
                                        [static_cast<std::size_t>(q)],
                                     nullptr, nullptr, nullptr, ComplexWork(st, l, k, f, q)});
        }
    const std::size_t nn = static_cast<std::size_t>(a.Nn), ns = s.species.size();
    for (auto* v : {&s.c, &s.g, &s.dc})
        if (v->size() < ns * nn) v->assign(ns * nn, 0.0);
    if (s.jc.size() < nn) {
        s.jc.assign(nn, 0.0);
        s.jd2.assign(nn, 0.0);
    }
    if (s.flux.size() < static_cast<std::size_t>(a.NComp) + 1)
        s.flux.assign(static_cast<std::size_t>(a.NComp) + 1, 0.0);
    const double* cL = a.C(l, 1);
    for (std::size_t k = 0; k < ns; ++k) {
        const Species& sp = s.species[k];
        const double* ca = sp.a > 0 ? a.C(l, sp.a + 1) : nullptr;
        double* c = s.c.data() + k * nn;
        double* g = s.g.data() + k * nn;
        double* dc = s.dc.data() + k * nn;
        switch (sp.kind) {
        case Kind::LigandForm:
            for (int j = lw; j <= rw; ++j) {
                c[j] = sp.frac[j] * cL[j];
                g[j] = sp.u * c[j];
                dc[j] = 0.0;
            }
            break;
        case Kind::FreeForm:
            for (int j = lw; j <= rw; ++j) {
                c[j] = sp.frac[j] * ca[j];
                g[j] = sp.uRow[j] * c[j];
                dc[j] = NodeD(sp.dRow, sp.gRow, j) * c[j];
            }
            break;
        case Kind::Complex:
            for (int j = lw; j <= rw; ++j) {
                c[j] = sp.frac[j] * ca[j] * cL[j];
                g[j] = sp.u * c[j];
                dc[j] = 0.0;
            }
            break;
        }
    }
}

// Net flux of every constituent at node k2 (differences over k1, k3) into
// s.flux: ligand at 1, analyte a at a+1.
void DerivativeTerms(RunState& st, int l, ComplexDerScratch& s, double v, int k1, int k2, int k3)
{
    EngineArrays& a = st.Arr;
    const double rtf0 = kGasConstant * st.Temperature / kFaraday;
    const double h = 0.5 / st.DX;
    const std::size_t nn = static_cast<std::size_t>(a.Nn);
    std::fill(s.flux.begin(), s.flux.end(), 0.0);
    const double field = s.jc[static_cast<std::size_t>(k2)] / a.Kappa[static_cast<std::size_t>(k2)];
    for (std::size_t k = 0; k < s.species.size(); ++k) {
        const Species& sp = s.species[k];
        const double* g = s.g.data() + k * nn;
        double j;
        if (sp.gRow)
            j = -DiffusionCurrent(1.0, sp.dRow, sp.gRow, k2,
                                  s.c[k * nn + static_cast<std::size_t>(k1)],
                                  s.c[k * nn + static_cast<std::size_t>(k3)]) *
                h;
        else if (sp.kind == Kind::FreeForm)
            j = -(s.dc[k * nn + static_cast<std::size_t>(k3)] -
                  s.dc[k * nn + static_cast<std::size_t>(k1)]) *
                h;
        else
            j = -(rtf0 / AbsZ(sp.z)) * (g[k3] - g[k1]) * h;
        j += Sign(sp.z) * g[k2] * field;
        if (sp.kind != Kind::FreeForm) s.flux[1] += j;
        if (sp.a > 0) s.flux[static_cast<std::size_t>(sp.a) + 1] += j;
    }
    for (int i = 1; i <= a.NComp; ++i)
        s.flux[static_cast<std::size_t>(i)] +=
            v * a.C(l, i)[k2] * Sign(a.DBase[static_cast<std::size_t>(i)]);
}

}  // namespace

void ComplexDerivative(RunState& st, int l, bool fieldOnly)
{
    if (st.Stop) return;
    EngineArrays& a = st.Arr;
    if (l < 1 || l > 5) return;
    if (l > 4) fieldOnly = true;  // derivative rows exist for levels 1..4
    if (!ComplexUsable(st)) {
        WarnOncePerRun(st, "ComplexElneut", "Complex (Elneut): Data not initialized!");
        st.Stop = true;
        st.NumericalFailure = true;
        return;
    }
    const int last = a.Nn - 1;
    const int lw = std::max(0, st.LeftWall), rw = std::min(last, st.RightWall);
    if (rw - lw < 2) return;
    ComplexDerScratch& s = st.Engine.Scratch<ComplexDerScratch>();
    // Free forms, H+ and OH- diffuse at their node temperatures; the ligand's
    // forms and the complexes, whose mobilities the table gives, at the set one.
    const NodeDiffusion& nd = PrepareNodeDiffusion(st);
    BuildSpecies(st, l, s, lw, rw, nd);
    const std::size_t nn = static_cast<std::size_t>(a.Nn), ns = s.species.size();
    const int hI = a.HIndex(), ohI = a.OHIndex();
    const double* cH = a.CH(l);
    const double* cOH = a.COH(l);
    const double* uH = a.UForm(hI, 1);
    const double* uOH = a.UForm(ohI, 0);
    const double* dH = a.DForm(hI, 1);
    const double* dOH = a.DForm(ohI, 0);
    const double *gH = nd.Factor(hI), *gOH = nd.Factor(ohI);

    // Conductivity from every charged species (each node's sum in species
    // order).
    double* kap0 = s.jd2.data();
    for (int j = lw; j <= rw; ++j) kap0[j] = uOH[j] * cOH[j] + uH[j] * cH[j];
    for (std::size_t m = 0; m < ns; ++m) {
        if (s.species[m].z == 0) continue;
        const double absZ = std::abs(s.species[m].z);
        const double* g = s.g.data() + m * nn;
        for (int j = lw; j <= rw; ++j) kap0[j] += absZ * g[j];
    }
    for (int j = lw; j <= rw; ++j) a.Kappa[static_cast<std::size_t>(j)] = kFaraday * kap0[j];
    AddAdditionalConductivity(st);
    if (!CalcVoltageCurrent(st)) return;
    const double rtf =
        kGasConstant * st.Temperature / kFaraday * (st.RedDiff ? st.DiffMultiplier : 1.0);
    const double h = 0.5 / st.DX, h2 = 1.0 / (st.DX * st.DX);

    // Field through the current density, and the second-difference term: the
    // first and second differences of z D c summed at each node (H+ and OH-
    // first, then the species in order), centred inside the window and taken
    // one node in at its ends.
    auto k1Of = [lw, rw](int i) { return i == lw ? i : (i == rw ? i - 2 : i - 1); };
    double* d1 = s.jc.data();
    double* d2 = s.jd2.data();
    for (int i = lw; i <= rw; ++i) {
        const int k1 = k1Of(i), k2 = k1 + 1, k3 = k1 + 2;
        // H+ and OH-: z D c, or at node temperatures z D dc/dx (the stencil's
        // centre) and its flux-form derivative.
        const auto ion = [&](const double* d, const double* g, const double* c, double& h1v,
                             double& h2v) {
            if (g) {
                h1v = DiffusionCurrent(1.0, d, g, k2, c[k1], c[k3]) * h;
                h2v = FluxDiffusion(d, g, k2, c[k1], c[k2], c[k3]) * h2;
            } else {
                const double G[3] = {d[k1] * c[k1], d[k2] * c[k2], d[k3] * c[k3]};
                h1v = (G[2] - G[0]) * h;
                h2v = (G[0] + G[2] - 2 * G[1]) * h2;
            }
        };
        double h1H, h2H, h1OH, h2OH;
        ion(dH, gH, cH, h1H, h2H);
        ion(dOH, gOH, cOH, h1OH, h2OH);
        d1[i] = 0 + (h1H - h1OH);
        d2[i] = 0 + (h2H - h2OH);
    }
    for (std::size_t m = 0; m < ns; ++m) {
        const Species& sp = s.species[m];
        const double sz = Sign(sp.z);
        if (sz == 0) continue;
        const double* g = s.g.data() + m * nn;
        const double* c = s.c.data() + m * nn;
        auto over = [&](auto add) {
            add(lw, lw);
            for (int i = lw + 1; i < rw; ++i) add(i, i - 1);
            add(rw, rw - 2);
        };
        if (sp.gRow)  // a free form at its node temperatures
            over([&](int i, int k1) {
                d1[i] += DiffusionCurrent(sp.z, sp.dRow, sp.gRow, k1 + 1, c[k1], c[k1 + 2]) * h;
                d2[i] += sp.z *
                         FluxDiffusion(sp.dRow, sp.gRow, k1 + 1, c[k1], c[k1 + 1], c[k1 + 2]) * h2;
            });
        else
            over([&](int i, int k1) {
                d1[i] += sz * rtf * ((g[k1 + 2] - g[k1]) * h);
                d2[i] += sz * rtf * ((g[k1] + g[k1 + 2] - 2 * g[k1 + 1]) * h2);
            });
    }
    for (int i = lw; i <= rw; ++i) {
        const double kap = a.Kappa[static_cast<std::size_t>(i)];
        s.jc[static_cast<std::size_t>(i)] =
            kFaraday * d1[i] + st.I / a.S[static_cast<std::size_t>(i)];
        s.jd2[static_cast<std::size_t>(i)] = -kFaraday * d2[i] / kap;
        a.E[static_cast<std::size_t>(i)] = s.jc[static_cast<std::size_t>(i)] / kap;
    }
    if (fieldOnly) return;

    double v = 0;
    if (st.cbEOFDif)
        v = st.cbVEOF ? st.EOFMob * 1e9 : st.EOFMob * st.U / (st.CapLength + st.FakeCapLen);

    // Interior: diffusion minus the divergence of the migration flux.
    for (int i = 1; i <= a.NComp; ++i)
        for (int j = lw + 1; j < rw; ++j) a.F(l, i)[j] = 0.0;
    const double* kap = a.Kappa.data();
    for (std::size_t m = 0; m < ns; ++m) {
        const Species& sp = s.species[m];
        const double sz = Sign(sp.z);
        const double* g = s.g.data() + m * nn;
        const double* dc = s.dc.data() + m * nn;
        const double* c = s.c.data() + m * nn;
        double* fL = sp.kind != Kind::FreeForm ? a.F(l, 1) : nullptr;
        double* fA = sp.a > 0 ? a.F(l, sp.a + 1) : nullptr;
        auto transport = [&](auto diffusion) {
            for (int j = lw + 1; j < rw; ++j) {
                double t = diffusion(j);
                if (sz != 0)
                    t += sz * g[j] * s.jd2[static_cast<std::size_t>(j)] -
                         sz * (g[j + 1] / kap[j + 1] - g[j - 1] / kap[j - 1]) * h *
                             s.jc[static_cast<std::size_t>(j)];
                if (fL) fL[j] += t;
                if (fA) fA[j] += t;
            }
        };
        if (sp.gRow)
            transport([&](int j) {
                return FluxDiffusion(sp.dRow, sp.gRow, j, c[j - 1], c[j], c[j + 1]) * h2;
            });
        else if (sp.kind == Kind::FreeForm)
            transport([&](int j) { return (dc[j - 1] + dc[j + 1] - 2 * dc[j]) * h2; });
        else
            transport(
                [&](int j) { return (g[j - 1] + g[j + 1] - 2 * g[j]) * rtf / AbsZ(sp.z) * h2; });
    }
    if (v != 0)
        for (int i = 1; i <= a.NComp; ++i) {
            const double sd = Sign(a.DBase[static_cast<std::size_t>(i)]);
            const double* c = a.C(l, i);
            double* f = a.F(l, i);
            for (int j = lw + 1; j < rw; ++j) f[j] += -v * (c[j + 1] - c[j - 1]) * h * sd;
        }

    // Walls: a constituent whose flux enters the window (or stands) holds its
    // wall value; one leaving lets the wall follow its neighbour.
    DerivativeTerms(st, l, s, v, lw, lw + 1, lw + 2);
    for (int i = 1; i <= a.NComp; ++i)
        a.F(l, i)[lw] = s.flux[static_cast<std::size_t>(i)] >= 0 ? 0.0 : a.F(l, i)[lw + 1];
    DerivativeTerms(st, l, s, v, rw - 2, rw - 1, rw);
    for (int i = 1; i <= a.NComp; ++i)
        a.F(l, i)[rw] = s.flux[static_cast<std::size_t>(i)] <= 0 ? 0.0 : a.F(l, i)[rw - 1];
}
