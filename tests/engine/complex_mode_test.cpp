// Complexation mode: the set-up checks and table errors, the equilibrium at
// every node against an independent nested-bisection solver, the Jacobian
// against central differences, failures that stop without storing, and the
// mobility of a zone in a uniform neutral ligand against the binding isotherm.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/node_diffusion.h"
#include "engine/step/run_calc.h"
#include "engine/step/voltage.h"
#include "foundation/errors.h"
#include "foundation/messages.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"
#include "support/uniform_grid.h"

// Heap bytes in use, counted by this test's own operator new and delete.
namespace {
std::atomic<long long> gHeapBytes{0};
}  // namespace

void* operator new(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    gHeapBytes += static_cast<long long>(malloc_usable_size(p));
    return p;
}
void operator delete(void* p) noexcept
{
    if (!p) return;
    gHeapBytes -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

using namespace testcomp;

// A constituent as the reference solver sees it: charges and pKa per charge
// (mol/L scale), the neutral entry unused.
struct Acid {
    int zmin, zmax;
    std::vector<double> pKa;
};

std::vector<double> FormAmounts(const Acid& c, double h)
{
    return FormFractions(c.zmin, c.zmax, c.pKa, h);
}

// One complexation system: the ligand, the analytes and the binding
// constants Kx[a][f][q] (1/mM).
struct System {
    Acid ligand;
    std::vector<Acid> analytes;
    std::vector<std::vector<std::vector<double>>> Kx;
    double Kw = 1e-8;
};

struct Reference {
    double h = 0, freeLigand = 0;
};

// Nested bisection: the free ligand from its balance at a given cH (inner),
// cH from electroneutrality (outer, on log cH).
Reference SolveByBisection(const System& s, double cL, const std::vector<double>& ca)
{
    auto at = [&](double h, double& ell, double& charge) {
        const auto psi = FormAmounts(s.ligand, h);
        std::vector<std::vector<double>> phi;
        std::vector<double> T(ca.size());
        for (std::size_t a = 0; a < ca.size(); ++a) {
            phi.push_back(FormAmounts(s.analytes[a], h));
            T[a] = 0;
            for (std::size_t f = 0; f < phi[a].size(); ++f)
                for (std::size_t q = 0; q < psi.size(); ++q)
                    T[a] += phi[a][f] * psi[q] * s.Kx[a][f][q];
        }
        double lo = 0, hi = cL;
        for (int it = 0; it < 200 && hi > lo; ++it) {
            const double mid = 0.5 * (lo + hi);
            double bound = 0;
            for (std::size_t a = 0; a < ca.size(); ++a)
                bound += ca[a] * mid * T[a] / (1 + mid * T[a]);
            (mid + bound > cL ? hi : lo) = mid;
        }
        ell = 0.5 * (lo + hi);
        charge = h - s.Kw / h;
        for (std::size_t q = 0; q < psi.size(); ++q)
            charge += (s.ligand.zmin + static_cast<int>(q)) * ell * psi[q];
        for (std::size_t a = 0; a < ca.size(); ++a) {
            const double A = ca[a] / (1 + ell * T[a]);
            for (std::size_t f = 0; f < phi[a].size(); ++f) {
                const int zf = s.analytes[a].zmin + static_cast<int>(f);
                charge += zf * A * phi[a][f];
                for (std::size_t q = 0; q < psi.size(); ++q)
                    charge += (zf + s.ligand.zmin + static_cast<int>(q)) * A * phi[a][f] * ell *
                              psi[q] * s.Kx[a][f][q];
            }
        }
    };
    double lo = std::log(1e-14), hi = std::log(1e3), ell = 0, charge = 0;
    for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo + hi);
        at(std::exp(mid), ell, charge);
        (charge > 0 ? hi : lo) = mid;
    }
    Reference r;
    r.h = std::exp(0.5 * (lo + hi));
    at(r.h, r.freeLigand, charge);
    return r;
}

std::string Text(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

// The table of a system with the given ligand mobilities and complex mobilities.
ComplexTable TableOf(const System& s, const std::vector<double>& ligandU, double complexU)
{
    ComplexTable t;
    const int nL = s.ligand.zmin, pL = s.ligand.zmax;
    t.push_back({std::to_string(nL), std::to_string(pL)});
    ComplexRow pka;
    for (int z = nL; z <= pL; ++z)
        if (z != 0) pka.push_back(Text(s.ligand.pKa[static_cast<std::size_t>(z - nL)]));
    t.push_back(pka.empty() ? ComplexRow{"None"} : pka);
    ComplexRow lu;
    for (double u : ligandU) lu.push_back(Text(u));
    t.push_back(lu);
    t.push_back({Text(6 - std::log10(s.Kw)), "362.5", "205.5"});
    t.push_back({std::to_string(s.analytes.size())});
    for (const auto& a : s.Kx)
        for (const auto& f : a) {
            ComplexRow line;
            for (double k : f) line.push_back(Text(-std::log10(k) - 3));
            t.push_back(line);
        }
    for (const auto& a : s.Kx)
        for (const auto& f : a) t.push_back(ComplexRow(f.size(), Text(complexU)));
    return t;
}

// Analytes of the equilibrium tests: a strong cation and anion that set the
// pH, a weak acid and an ampholyte.
const Acid kNa{0, 1, {0, 16}}, kCl{-1, 0, {-2, 0}}, kHA{-1, 0, {4.75, 0}},
    kAmph{-1, 1, {9.2, 0, 3.1}};

System WithLigand(const Acid& ligand)
{
    System s;
    s.ligand = ligand;
    s.analytes = {kNa, kCl, kHA, kAmph};
    const std::size_t nq = static_cast<std::size_t>(ligand.zmax - ligand.zmin + 1);
    for (std::size_t a = 0; a < s.analytes.size(); ++a) {
        const Acid& c = s.analytes[a];
        s.Kx.emplace_back();
        for (int f = 0; f <= c.zmax - c.zmin; ++f) {
            std::vector<double> k(nq, 1e-33);
            if (a >= 2)  // the weak acid and the ampholyte bind every ligand form
                for (std::size_t q = 0; q < nq; ++q)
                    k[q] = std::pow(10.0, 0.3 * f - 0.5 * q - 0.2 * a);
            s.Kx.back().push_back(k);
        }
    }
    return s;
}

TUnivSet<TComponents> CompositionOf(const System& s)
{
    TUnivSet<TComponents> comp;
    auto add = [&](const std::string& name, const Acid& c, double conc) {
        std::vector<double> u(c.pKa.size(), 30.0);
        comp.Add(Constituent(name, c.zmin, c.zmax, c.pKa, u, BGE, conc, conc));
    };
    add("Ligand", s.ligand, 10);
    add("Na", kNa, 12);
    add("Cl", kCl, 1);
    add("HA", kHA, 10);
    add("Amph", kAmph, 2);
    return comp;
}

// A complexation run of a zone: `nodes` nodes over `length` m, the zone of
// `width` mm (edges `edge` mm) at `inj` mm, constant voltage `volts`.
void PrepareZoneRun(RunState& run, const TUnivSet<TComponents>& comp, const ComplexTable& table,
                    int nodes, double length, double inj, double width, double edge, double volts)
{
    PrepareRun(run, comp, nodes);
    run.CapLengthPending = length;
    SetZoneAndVoltage(run, inj, width, edge, volts);
    run.cbComplex = true;
    run.TxtTable = table;
}

class Complexation : public ::testing::Test {
protected:
    RecordingMessageSink sink;
    RunState st;

    // Init of a complexation run of the system on `nodes` nodes.
    bool Init(const System& s, int nodes, const std::vector<double>& ligandU,
              double complexU = 25.0)
    {
        PrepareRun(st, CompositionOf(s), nodes);
        st.cbComplex = true;
        st.TxtTable = TableOf(s, ligandU, complexU);
        return InitCalc(st);
    }
};

TEST_F(Complexation, EquilibriumAtEveryNodeMatchesNestedBisection)
{
    const Acid ligands[] = {{0, 0, {0}}, {-1, 0, {6.0, 0}}, {-1, 1, {8.5, 0, 4.0}}};
    const double cLs[] = {0, 1, 5, 20, 50};
    const double excess[] = {-2.0, -0.4, 0.4, 1.2, 1.9, 2.6, 3.5, 4.5, 5.5};  // base over acid, mM
    for (const Acid& lig : ligands) {
        SCOPED_TRACE("ligand " + std::to_string(lig.zmin) + ".." + std::to_string(lig.zmax));
        const System s = WithLigand(lig);
        sink.Clear();
        ASSERT_TRUE(Init(s, 44, std::vector<double>(lig.pKa.size(), 30.0))) << sink.warnings.at(0);
        EngineArrays& a = st.Arr;
        // Node j: ligand cLs[j % 5], sodium or chloride to reach the pH range.
        std::vector<std::vector<double>> totals;
        for (int j = 0; j <= st.NX; ++j) {
            const double cL = cLs[j % 5], e = excess[j / 5];
            // acid of the ligand and of the weak acid + ampholyte, covered by sodium
            const double acids = 10 + 2 + (lig.zmin < 0 ? cL : 0);
            const double na = e > 0 ? e * acids / 5.0 : 0.0, cl = e > 0 ? 0.0 : -e;
            const std::vector<double> c = {cL, na, cl, 10.0, 2.0};
            for (int i = 1; i <= 5; ++i) a.C(2, i)[j] = c[static_cast<std::size_t>(i - 1)];
            totals.push_back(c);
        }
        ComplexElneut(st, 2, -1, -1, false);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        const ComplexData& d = ComplexArrays(st);
        const std::size_t Q = static_cast<std::size_t>(d.Q());
        // the engine's amount of a form: analyte a (0: the ligand), form f, ligand form q (Q + 1:
        // free)
        auto work = [&](std::size_t an, std::size_t f, std::size_t q, int j) {
            return ComplexWork(st, 2, static_cast<int>(an), static_cast<int>(f),
                               static_cast<int>(q))[j];
        };
        double pHmin = 99, pHmax = -99;
        for (int j = 0; j <= st.NX; ++j) {
            const auto& c = totals[static_cast<std::size_t>(j)];
            const double cL = c[0];
            const std::vector<double> ca(c.begin() + 1, c.end());
            const Reference ref = SolveByBisection(s, cL, ca);
            const double h = a.CH(2)[j];
            pHmin = std::min(pHmin, a.PH[j]);
            pHmax = std::max(pHmax, a.PH[j]);
            EXPECT_NEAR(h, ref.h, 1e-8 * ref.h) << "node " << j;
            // free ligand forms: acid steps and the ligand balance
            std::vector<double> L(Q + 1);
            double freeL = 0;
            for (std::size_t q = 0; q <= Q; ++q) freeL += (L[q] = work(0, 0, q, j) * cL);
            if (cL > 0) {
                const auto psi = FormAmounts(lig, h);
                for (std::size_t q = 0; q <= Q; ++q)
                    EXPECT_NEAR(L[q], freeL * psi[q], 1e-9 * freeL);
                EXPECT_NEAR(freeL, ref.freeLigand, 1e-8 * cL);
            }
            double ligandTotal = freeL, charge = h - d.Kw / h, scale = h + d.Kw / h;
            auto add = [&](int z, double x) {
                charge += z * x;
                scale += std::abs(z) * x;
            };
            for (std::size_t q = 0; q <= Q; ++q) add(lig.zmin + static_cast<int>(q), L[q]);
            for (std::size_t an = 1; an <= 4; ++an) {
                const Acid& ac = s.analytes[an - 1];
                const double cA = ca[an - 1];
                const auto phi = FormAmounts(ac, h);
                std::vector<double> fr(phi.size());
                double freeA = 0;
                for (std::size_t f = 0; f < fr.size(); ++f)
                    freeA += (fr[f] = work(an, f, Q + 1, j) * cA);
                double total = freeA;
                for (std::size_t f = 0; f < fr.size(); ++f) {
                    const int zf = ac.zmin + static_cast<int>(f);
                    // free forms in the acid-base ratio of the analyte
                    EXPECT_NEAR(fr[f], freeA * phi[f], 1e-9 * cA + 1e-300);
                    add(zf, fr[f]);
                    for (std::size_t q = 0; q <= Q; ++q) {
                        const double x = work(an, f, q, j) * cA * cL;
                        // mass action with the table's constant
                        EXPECT_NEAR(x, s.Kx[an - 1][f][q] * fr[f] * L[q],
                                    1e-9 * std::max(x, 1e-30));
                        total += x;
                        ligandTotal += x;
                        add(zf + lig.zmin + static_cast<int>(q), x);
                    }
                }
                EXPECT_NEAR(total, cA, 1e-9 * std::max(cA, 1e-3))
                    << "analyte " << an << " node " << j;
            }
            EXPECT_NEAR(ligandTotal, cL, 1e-9 * std::max(cL, 1e-3)) << "node " << j;
            EXPECT_LT(std::abs(charge), 1e-9 * scale) << "node " << j;
        }
        EXPECT_LT(pHmin, 3.2);
        EXPECT_GT(pHmax, 10.8);
    }
}

TEST_F(Complexation, JacobianMatchesCentralDifferences)
{
    const System s = WithLigand({-1, 1, {8.5, 0, 4.0}});
    ASSERT_TRUE(Init(s, 20, {30, 20, 30}));
    EngineArrays& a = st.Arr;
    for (int j = 0; j <= st.NX; ++j) {
        a.C(2, 1)[j] = 2.5 * j;  // ligand 0..50 mM
        a.C(2, 2)[j] = 0.8 * j;  // sodium 0..16 mM
    }
    ComplexElneut(st, 2, -1, -1, false);
    ASSERT_TRUE(sink.warnings.empty());
    int checked = 0;
    for (int j = 0; j <= st.NX; j += 4)
        for (double hs : {1.0, 0.3, 4.0})
            for (double ws : {1.0, 0.5, 2.0}) {
                const double h = a.CH(2)[j] * hs, w = ComplexWork(st, 2, 0, 0, 0)[j] * ws;
                const ComplexEquations e = EvaluateComplexEquations(st, 2, j, h, w);
                // d F / d ln h and d F / d ln w by central differences
                auto diff = [&](double ph, double pw, double ComplexEquations::*F) {
                    const double d = 1e-5;
                    return (EvaluateComplexEquations(st, 2, j, h * (1 + ph * d), w * (1 + pw * d)).*
                                F -
                            EvaluateComplexEquations(st, 2, j, h * (1 - ph * d), w * (1 - pw * d)).*
                                F) /
                           (2 * d);
                };
                // entries scaled by the unknowns, compared against the row's size
                const double row1 = std::abs(e.dF1dh * h) + std::abs(e.dF1dw * w);
                const double row2 = std::abs(e.dF2dh * h) + std::abs(e.dF2dw * w);
                EXPECT_NEAR(e.dF1dh * h, diff(1, 0, &ComplexEquations::F1), 1e-6 * row1) << j;
                EXPECT_NEAR(e.dF1dw * w, diff(0, 1, &ComplexEquations::F1), 1e-6 * row1) << j;
                EXPECT_NEAR(e.dF2dh * h, diff(1, 0, &ComplexEquations::F2), 1e-6 * row2) << j;
                EXPECT_NEAR(e.dF2dw * w, diff(0, 1, &ComplexEquations::F2), 1e-6 * row2) << j;
                ++checked;
            }
    EXPECT_EQ(checked, 6 * 9);
}

TEST_F(Complexation, ANodeWithoutSolutionWarnsOnceStopsAndStoresNothing)
{
    const System s = WithLigand({-1, 0, {6.0, 0}});
    ASSERT_TRUE(Init(s, 20, {30, 20}));
    EngineArrays& a = st.Arr;
    const std::vector<double> cH(a.CH(2), a.CH(2) + st.NX + 1);
    a.C(2, 4)[7] = std::nan("");
    for (int call = 0; call < 2; ++call) {
        st.Stop = false;
        ComplexElneut(st, 2, -1, -1, false);
        EXPECT_TRUE(st.Stop && st.NumericalFailure);
    }
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"Complex (Newton): Incorrect solution detected!"});
    for (int j = 7; j <= st.NX; ++j) EXPECT_EQ(a.CH(2)[j], cH[static_cast<std::size_t>(j)]) << j;
    // data that no longer fit the run: warned once, nothing computed
    sink.Clear();
    st.WarnedThisRun.clear();
    st.ComplexReady = false;
    st.Stop = false;
    ComplexElneut(st, 2, -1, -1, false);
    ComplexDerivative(st, 2, false);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex (Elneut): Data not initialized!"});
    EXPECT_TRUE(st.Stop);
    sink.Clear();
    RunCalc(st);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex (Elneut): Data not initialized!"});
}

TEST_F(Complexation, SetUpChecksInOrderAndListsBadFields)
{
    const System s = WithLigand({-2, 0, {4.0, 7.0, 0}});
    PrepareRun(st, CompositionOf(s), 20);
    st.cbComplex = true;
    auto refused = [&](const std::string& message) {
        sink.Clear();
        EXPECT_FALSE(InitCalc(st));
        EXPECT_EQ(sink.warnings, std::vector<std::string>{message});
    };
    refused("Complex Mode: No complex data!");
    const ComplexTable good = TableOf(s, {10, 20, 30}, 25);
    const auto comp = st.Composition;
    TUnivSet<TComponents> ligandOnly;
    ligandOnly.Add(comp.Get(1));
    const std::pair<std::function<void()>, const char*> spoiled[] = {
        {[&] { st.cbIS = true; }, "Not compatible with IS correction!"},
        {[&] { st.Composition = ligandOnly; },
         "Enter a ligand constituent and at least one analyte."},
        {[&] { st.TxtTable.pop_back(); },  // 5 + 2F - 1 lines
         "Number of analyte forms (composition) was changed - Set complex table."},
        {[&] {
             st.TxtTable[0] = {"1", "0"};
         },
         "nL > pL!"},
        {[&] {
             st.TxtTable[0] = {"-2147483648", "2147483647"};
         },
         "Incorrect value \"-2147483648\" of nL."},
        {[&] {
             st.TxtTable[0] = {"-2", "33"};
         },
         "Incorrect value \"33\" of pL."},
        // Fields the table's file cannot carry: named where the window shows them.
        {[&] { st.TxtTable[5][0] = "#5"; },
         "Incorrect value \"#5\" of pKx (M^-1), Na; z = 0, zL = -2."},
        {[&] { st.TxtTable[5][1] = "1\t2"; },
         "Incorrect value \"1\t2\" of pKx (M^-1), Na; z = 0, zL = -1."},
        {[&] { st.TxtTable.back()[0] = ""; },
         "Incorrect value \"\" of ux (1e-9), Amph; z = 1, zL = -2."},
        {[&] { st.TxtTable[4] = {"3"}; }, "N_analyte do not match number of constituents!"},
        {[&] { st.Composition[3].gradPKa = true; },
         "Not compatible with pKa or mobility gradients!"}};
    for (const auto& [spoil, message] : spoiled) {
        st.TxtTable = good;
        st.cbIS = false;
        st.Composition = comp;
        spoil();
        refused(std::string("Complex Mode: ") + message);
    }
    st.cbIS = false;
    st.Composition = comp;

    // A table that lost a line, adjusted to the composition as the window adjusts
    // it, is taken; a damaged one (two lines, charges beyond any ligand's) gets
    // every line, none wider than a ligand's charges can make it.
    EXPECT_TRUE(ComplexTableFits(good, comp));
    for (const ComplexTable& t :
         {ComplexTable(good.begin(), good.end() - 1), ComplexTable{{"-40", "40"}, {"None"}}}) {
        st.TxtTable = ComplexTableAdjusted(t, comp, "30", "25");
        EXPECT_FALSE(ComplexTableFits(t, comp));
        EXPECT_TRUE(ComplexTableFits(st.TxtTable, comp));
        EXPECT_EQ(st.TxtTable.back().size(), t.size() > 2 ? 3u : 2u * kMaxLigandCharge + 1);
    }
    sink.Clear();
    st.TxtTable =
        ComplexTableAdjusted(ComplexTable(good.begin(), good.end() - 1), comp, "30", "25");
    EXPECT_TRUE(InitCalc(st)) << (sink.warnings.empty() ? "" : sink.warnings[0]);

    // a diprotic ligand: cumulative constants 1, 1/K0, 1/(K0 K1)
    st.TxtTable = good;
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());
    const ComplexData& d = ComplexArrays(st);
    const double K0 = std::pow(10.0, 3 - 4.0), K1 = std::pow(10.0, 3 - 7.0);
    ASSERT_EQ(d.LigandL.size(), 3u);
    EXPECT_DOUBLE_EQ(d.LigandL[0], 1.0);
    EXPECT_NEAR(d.LigandL[1], 1 / K0, 1e-12 / K0);
    EXPECT_NEAR(d.LigandL[2], 1 / (K0 * K1), 1e-12 / (K0 * K1));
    EXPECT_DOUBLE_EQ(d.U[0][0][1], 20e-9);

    // bad fields take defaults and are listed in one warning
    st.TxtTable[1][1] = "x";
    st.TxtTable[2][0] = "-10";
    st.TxtTable[3] = {"14", "fast"};
    st.TxtTable[6][2] = "?";
    st.TxtTable.back()[0] = "None";
    sink.Clear();
    ASSERT_TRUE(InitCalc(st));
    ASSERT_EQ(sink.warnings.size(), 1u);
    const int last = static_cast<int>(st.TxtTable.size());
    EXPECT_EQ(sink.warnings[0],
              "Complex INIT: One or more errors were found in the txt table on following lines:\n"
              "2 (col = 2)\n3 (col = 1)\n4 (uH)\n4 (uOH)\n7 (col = 3)\n" +
                  std::to_string(last) + " (col = 1)\n");
    EXPECT_DOUBLE_EQ(d.K[0][0][1], std::pow(10.0, 3 - 30.0));
    EXPECT_DOUBLE_EQ(d.U[0][0][0], 10e-9);
    EXPECT_DOUBLE_EQ(d.K[1][1][2], 1e-33);
    EXPECT_TRUE(st.ComplexReady);
}

// The work rows of complexation grow with the nodes, the analyte forms and
// the ligand's charges: Init counts them in its memory estimate, so a run
// whose rows would not fit in the run's share of the memory is refused before
// anything is allocated (the run before stays).
TEST_F(Complexation, InitCountsTheWorkRowsInItsMemoryEstimate)
{
    // The estimate against the heap, for ligands of one and of three forms:
    // what the set-up built (freed at the end) and what the first derivatives
    // keep, on a copy of the run, which shares no work storage (the engine's
    // own rows of node diffusion and resistance made first). The estimate
    // covers both, within a tenth.
    for (const Acid& ligand : {Acid{0, 0, {0}}, Acid{-1, 1, {8.5, 0, 4.0}}}) {
        SCOPED_TRACE(ligand.zmax - ligand.zmin);
        ASSERT_TRUE(Init(WithLigand(ligand), 300, std::vector<double>(ligand.pKa.size(), 30.0)));
        RunState r = st;
        PrepareNodeDiffusion(r);
        ASSERT_TRUE(CalcVoltageCurrent(r));
        long long mark = gHeapBytes;
        ComplexDerivative(r, 2, false);
        ASSERT_FALSE(r.Stop);
        const long long derivatives = gHeapBytes - mark;
        mark = gHeapBytes;
        ComplexFreeArrays(r);
        const double held = static_cast<double>(derivatives + mark - gHeapBytes);
        const double estimate = ModesInitBytes(st, st.NX);
        EXPECT_GE(estimate, held);
        EXPECT_LE(estimate, 1.1 * held);
    }
    st = RunState();

    const int nodes = 1000;
    // Work rows: 5 slots x (1 + F) x (Q + 2) x nodes doubles, Q = 64.
    const int analytes =
        static_cast<int>(RunMemoryShare() / (8.0 * 5 * 66 * (nodes + 1)) / 2.0) + 2;
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Ligand", 0, 0, {0}, {0}, BGE, 1.0, 1.0));
    for (int k = 1; k <= analytes; ++k)
        comp.Add(k % 2 ? StrongCation("C" + std::to_string(k), 50.0, BGE, 0.01, 0.01)
                       : StrongAnion("A" + std::to_string(k), 50.0, BGE, 0.01, 0.01));
    ComplexTable t = {{"-32", "32"},
                      ComplexRow(64, "7"),
                      ComplexRow(65, "20"),
                      {"14", "362.5", "205.5"},
                      {std::to_string(analytes)}};
    for (int k = 0; k < 2 * 2 * analytes; ++k)
        t.push_back(ComplexRow(65, k < 2 * analytes ? "30" : "25"));
    PrepareRun(st, AcetateBufferWithAnalytes(), 20);
    ASSERT_TRUE(InitCalc(st));
    st.Composition = comp;
    st.NXPending = nodes;
    st.TxtTable = t;
    st.cbComplex = true;
    sink.Clear();
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kInitRunTooLarge});
    EXPECT_TRUE(st.Initialised && st.NX == 20 && st.Arr.NComp == 4);
    EXPECT_TRUE(ComplexArrays(st).Work[1].empty());
}

// An Init refused while a complexation run stands (by the table check, too
// few nodes, then a run too large for the memory) leaves that run as it was: it runs on to the bits
// of the same run never refused, its complexation data in place.
TEST_F(Complexation, ARefusedInitLeavesTheRunAsItWas)
{
    auto run = [&](bool refuse) {
        RunState r;
        PrepareComplexZoneRun(r, 10.0);
        sink.Clear();
        EXPECT_TRUE(InitCalc(r));
        RunTo(r, 0.05, 1e-3);
        if (refuse) {
            // The table check itself: a table that lost a line.
            const ComplexTable table = r.TxtTable;
            r.TxtTable.pop_back();
            EXPECT_FALSE(InitCalc(r));
            r.TxtTable = table;
            EXPECT_EQ(sink.warnings.size(), 1u);
            EXPECT_EQ(sink.warnings.at(0).rfind("Complex Mode: Number of analyte forms", 0), 0u);
            sink.Clear();
            const int nodes = r.NXPending;
            r.NXPending = 5;
            EXPECT_FALSE(InitCalc(r));
            r.NXPending = 1 << 30;
            EXPECT_FALSE(InitCalc(r));
            r.NXPending = nodes;
            EXPECT_EQ(sink.warnings.size(), 2u);
            EXPECT_EQ(sink.warnings.back(), kInitRunTooLarge);
            sink.Clear();
        }
        EXPECT_TRUE(r.Initialised && r.ComplexReady && ComplexUsable(r));
        RunTo(r, 0.1, 1e-3);
        EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.front();
        EXPECT_GT(r.Time, 0.099);
        std::vector<double> image = EquilibriumImage(r, 2);
        for (int i = 1; i <= r.NComp; ++i)
            image.insert(image.end(), r.Arr.C(2, i), r.Arr.C(2, i) + r.Arr.Nn);
        image.push_back(r.Time);
        return image;
    };
    const std::vector<double> refused = run(true), never = run(false);
    ASSERT_EQ(refused.size(), never.size());
    EXPECT_EQ(std::memcmp(refused.data(), never.data(), refused.size() * sizeof(double)), 0);
}

// A cation and an anion zone in a buffer with a uniform neutral ligand move,
// each its own way, with the isotherm's mobility
// (u_free + K [L] u_complex) / (1 + K [L]).
TEST_F(Complexation, ZoneMobilityFollowsTheBindingIsotherm)
{
    for (double cL : {0.0, 5.0, 10.0, 30.0}) {
        SCOPED_TRACE("ligand " + std::to_string(cL));
        RunState run;
        PrepareComplexZoneRun(run, cL);
        sink.Clear();
        ASSERT_TRUE(InitCalc(run)) << sink.warnings.at(0);
        const ProfileMoments k0 = Moments(run, 4), a0 = Moments(run, 5);
        RunTo(run, 10.0, 1e-3);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_GT(run.Time, 9.9);
        for (const BindingZone& z : ComplexZones()) {
            const ProfileMoments before = z.constituent == 4 ? k0 : a0,
                                 after = Moments(run, z.constituent);
            const double u = (after.mean - before.mean) / run.Time / (100.0 / 0.025);
            const double expected = IsothermMobility(z, cL);
            EXPECT_NEAR(u, expected, 0.01 * std::abs(expected)) << z.constituent;
            EXPECT_NEAR(after.amount, before.amount, 1e-4 * before.amount);
        }
    }
}

// A neutral analyte bound almost entirely to a neutral ligand spreads with the
// complex's diffusion coefficient u RT/F; with fieldOnly the derivatives stay.
TEST_F(Complexation, NeutralComplexDiffusesWithItsNernstEinsteinCoefficient)
{
    const double uComplex = 10.0, K = 1e3;  // 1/mM: 99.99 % bound at 10 mM ligand
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Selector", 0, 0, {0}, {0}, BGE, 10.0, 10.0));
    comp.Add(StrongCation("Potassium", kUK, BGE, 10.0, 10.0));
    comp.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    comp.Add(Constituent("Sugar", 0, 0, {0}, {0}, Analyte, 0.0, 0.1));
    ComplexTable t = {{"0", "0"}, {"None"}, {"20"}, {"14", "362.5", "205.5"}, {"3"}};
    for (const char* v : {"30", "30", "30", "30", "0"}) t.push_back({v});
    t.back() = {Text(-std::log10(K * 1e3))};
    for (int f = 0; f < 5; ++f) t.push_back({f == 4 ? Text(uComplex) : "25"});
    PrepareZoneRun(st, comp, t, 100, 0.01, 5.0, 1.0, 0.2, 0.0);
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    EngineArrays& a = st.Arr;
    // fieldOnly: field and conductivity, no derivative
    for (int j = 0; j <= st.NX; ++j) a.F(2, 4)[j] = 7.0;
    a.E.assign(a.E.size(), 1.0);
    ComplexDerivative(st, 2, true);
    for (int j = 0; j <= st.NX; ++j) EXPECT_EQ(a.F(2, 4)[j], 7.0);
    EXPECT_NE(a.E[50], 1.0);

    const double v0 = Moments(st, 4).variance;
    RunTo(st, 20.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    const double D = uComplex * 1e-9 * 8.314 * st.Temperature / 96485.0;
    EXPECT_NEAR((Moments(st, 4).variance - v0) / (2 * st.Time), D, 0.01 * D);
}

}  // namespace

// Restore matches the analytes' lines per constituent (name and charges): a
// table in use made for a reordered list, or one without the ligand, with a
// wider ligand range gives each analyte back its own lines in the order of
// the list back; an analyte it has no lines for (the one that stood first)
// takes the Init's, laid on the ligand charges in use (a charge they lack
// takes the default).
TEST_F(Complexation, RestoreMatchesTheTableLinesPerConstituent)
{
    const TUnivSet<TComponents> init = CompositionOf(WithLigand({-1, 1, {8.5, 0, 4.0}}));
    // Field code: base + 500 x section + 10 x place at Init + form + ligand charge / 10.
    auto code = [&](double base, const TComponents& c, int f, int z, int section) {
        int place = 1;
        while (init[place].name != c.name) ++place;
        return std::to_string(base + 500 * section + 10 * place + f + z / 10.0);
    };
    auto coded = [&](const TUnivSet<TComponents>& list, int nL, double base) {
        ComplexTable t{{std::to_string(nL), "1"},
                       {"4"},
                       {"20"},
                       {"14", "362.5", "205.5"},
                       {std::to_string(list.Count() - 1)}};
        for (int section = 0; section < 2; ++section)
            for (int k = 2; k <= list.Count(); ++k)
                for (int f = 0; f <= list[k].maxCharge - list[k].minCharge; ++f) {
                    t.emplace_back();
                    for (int z = nL; z <= 1; ++z)
                        t.back().push_back(code(base, list[k], f, z, section));
                }
        return t;
    };
    TUnivSet<TComponents> moved = init, noLigand = init;
    moved.Add(moved[3]);  // Cl last
    moved.RemoveNode(3);
    noLigand.RemoveNode(1);
    for (const TUnivSet<TComponents>* before : {&moved, &noLigand}) {
        sink.Clear();
        st.CompInit = st.Composition = init;
        st.TxtTableInit = coded(init, -1, 100);
        TakeComplexTable(st, coded(*before, -2, 0), *before);
        const ComplexTable inUse = st.TxtTable;
        ComplexTableAfterRestore(st, ComplexConstituentsOf(*before));
        const ComplexTable& t = st.TxtTable;
        ASSERT_TRUE(ComplexTableFits(t, init));
        EXPECT_EQ(sink.messages, std::vector<std::string>{kComplexTableAdjusted});
        EXPECT_EQ(ComplexTable(t.begin(), t.begin() + 4),
                  ComplexTable(inUse.begin(), inUse.begin() + 4));
        std::size_t line = 5;
        for (int section = 0; section < 2; ++section)
            for (int k = 2; k <= init.Count(); ++k)
                for (int f = 0; f <= init[k].maxCharge - init[k].minCharge; ++f, ++line) {
                    ASSERT_EQ(t[line].size(), 4u) << line;
                    // Na stood first without the ligand: no lines of its own.
                    const bool own = k > 2 || before == &moved;
                    for (int z = -2; z <= 1; ++z)
                        EXPECT_EQ(t[line][static_cast<std::size_t>(z + 2)],
                                  own       ? code(0, init[k], f, z, section)
                                  : z > -2  ? code(100, init[k], f, z, section)
                                  : section ? "25"
                                            : "30")
                            << line << " " << z;
                }
    }
    // The table in use made for the list back is kept as it is, without a note.
    sink.Clear();
    TakeComplexTable(st, coded(init, -2, 0), init);
    ComplexTableAfterRestore(st, ComplexConstituentsOf(moved));
    EXPECT_EQ(st.TxtTable, coded(init, -2, 0));
    EXPECT_TRUE(sink.messages.empty());
}
