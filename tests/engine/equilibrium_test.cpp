// Acid-base equilibrium: pH, forms, conductivity and ionic strength against a
// direct solution of the mass-action law and the charge balance; high charges
// and the edge cases of the Newton solve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/derivatives.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/uniform_grid.h"

namespace {

constexpr double kF = 96485.0;

struct Spec1 {  // charges zmin..zmax, pK and u (1e-9) per charge, c in mM
    int zmin, zmax;
    std::vector<double> pK, u;
    double c;
};

const Spec1 kAcetic{-1, 0, {4.756, 0}, {42.4, 0}, 20.0};
const Spec1 kSodium10{0, 1, {0, 14}, {0, 51.9}, 10.0};
const Spec1 kBase{0, 1, {0, 5.0}, {0, 30.0}, 0.1};

std::vector<double> Fractions(const Spec1& s, double h)
{
    return FormFractions(s.zmin, s.zmax, s.pK, h);
}

// pH from the charge balance by bisection on log10 cH, independent of Newton.
double DirectPH(const std::vector<Spec1>& cs, double Kw = 1e-8)
{
    double lo = -20, hi = 10;
    for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo + hi), h = std::pow(10.0, mid);
        double q = h - Kw / h;
        for (const Spec1& s : cs) {
            const auto f = Fractions(s, h);
            for (std::size_t k = 0; k < f.size(); ++k) q += (s.zmin + int(k)) * s.c * f[k];
        }
        (q > 0 ? hi : lo) = mid;
    }
    return 3 - 0.5 * (lo + hi);
}

std::vector<TComponents> Records(const std::vector<Spec1>& cs)
{
    std::vector<TComponents> r;
    for (const Spec1& s : cs) r.push_back(MakeConstituent("c", s.zmin, s.zmax, s.pK, s.u, s.c));
    return r;
}

// Node n of level 2 after Elneut and CalcDER against the direct solution: pH,
// charge balance, forms, mean charge, effective mobility, ionic strength 0.5 sum z^2 c and
// conductivity F sum |z| u c (mM = mol/m3).
void CheckNode(RunState& st, std::vector<Spec1> cs, int n)
{
    EngineArrays& a = st.Arr;
    for (std::size_t j = 0; j < cs.size(); ++j) cs[j].c = a.C(2, int(j) + 1)[n];
    EXPECT_NEAR(a.PH[n], DirectPH(cs), 1e-7) << n;
    double scale = 0;
    const double residual = ChargeBalance(st, 2, n, &scale);
    EXPECT_LE(std::fabs(residual), 1e-9 * scale) << n;
    const double h = a.CH(2)[n], oh = 1e-8 / h;
    double kappa = kF * (362.5e-9 * h + 205.5e-9 * oh), ionic = 0.5 * (h + oh);
    for (std::size_t j = 0; j < cs.size(); ++j) {
        const auto f = Fractions(cs[j], h);
        double ueff = 0, zmean = 0;
        for (std::size_t k = 0; k < f.size(); ++k) {
            const int z = cs[j].zmin + int(k);
            const double u = cs[j].u[k] * 1e-9, c = cs[j].c * f[k];
            EXPECT_NEAR(a.CForm(2, int(j) + 1, int(k))[n], c, 1e-9 * cs[j].c + 1e-300) << n;
            kappa += kF * std::abs(z) * u * c;
            ionic += 0.5 * z * z * c;
            ueff += (z > 0 ? u : z < 0 ? -u : 0.0) * f[k];
            zmean += z * f[k];
        }
        EXPECT_NEAR(a.UEff[j + 1][n], ueff, 1e-19) << n;
        EXPECT_NEAR(a.ZMean[j + 1][n], zmean, 1e-10) << n;  // steep with high charges
    }
    EXPECT_NEAR(a.Kappa[n], kappa, 1e-9 * kappa) << n;
    EXPECT_NEAR(a.IonicStrength(2)[n], ionic, 1e-9 * ionic) << n;
}

}  // namespace

TEST(Elneut, WaterAcidsAndBuffersAgainstTheDirectSolution)
{
    RecordingMessageSink sink;
    const Spec1 phosphate{-3, 0, {12.67, 7.21, 2.16, 0}, {71.5, 61.5, 35.1, 0}, 20.0};
    const struct {
        std::vector<Spec1> cs;
        double pH, tol;
    } cases[] = {
        {{}, 7.0, 1e-6},                                    // pure water
        {{{-1, 0, {-2, 0}, {79.1, 0}, 1.0}}, 3.000, 1e-3},  // 1 mM strong acid
        {{kAcetic, kSodium10}, 4.7575, 1e-3},               // Henderson-Hasselbalch with cH
        {{phosphate, {0, 1, {0, 14}, {0, 51.9}, 30.0}}, 7.210, 2e-3},  // H2PO4- = HPO4(2-)
    };
    for (const auto& c : cases) {
        RunState st;
        SetUpUniformGrid(st, Records(c.cs), 6);
        Elneut(st, 2, -1, -1, true);
        CalcDER(st, 2, true);
        for (int n = 0; n <= 6; ++n) {
            EXPECT_NEAR(st.Arr.PH[n], c.pH, c.tol);
            CheckNode(st, c.cs, n);
        }
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, ProfileThatDiffersFromNodeToNodeWithChargesFromMinus30ToPlus30)
{
    RecordingMessageSink sink;
    Spec1 protein{-30, 30, std::vector<double>(61), std::vector<double>(61), 0.1};
    for (int z = -30; z <= 30; ++z) {
        protein.pK[z + 30] = z < 0 ? 4.0 : 10.0;
        protein.u[z + 30] = 5.0 * std::abs(z);
    }
    const std::vector<Spec1> cs = {
        kAcetic, kSodium10, {0, 1, {0, 14}, {0, 40.1}, 0.1}, kBase, protein};
    RunState st;
    SetUpUniformGrid(st, Records(cs), 20);
    for (int n = 0; n <= 20; ++n) {
        st.Arr.C(2, 1)[n] = 5.0 + n;
        st.Arr.C(2, 3)[n] = 0.01 * n;
        st.Arr.C(2, 4)[n] = 0.5 * std::exp(-0.1 * (n - 10) * (n - 10));
        st.Arr.C(2, 5)[n] = 0.005 * (20 - n);  // neighbours far apart in pH: Newton alone stalls
    }
    Elneut(st, 2, -1, -1, true);
    CalcDER(st, 2, true);
    EXPECT_FALSE(st.Stop);
    for (int n = 0; n <= 20; ++n) {
        EXPECT_TRUE(std::isfinite(st.Arr.PH[n]) && std::isfinite(st.Arr.Kappa[n])) << n;
        CheckNode(st, cs, n);
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, NewtonEdgeCases)
{
    RecordingMessageSink sink;
    {  // start guard: a start above 1e6 (or not a number) restarts from the left
        // neighbour of the level solved, at node 0 from 1e-36; water then needs
        // more than 100 passes, so the limit is raised for that call
        RunState st;
        SetUpUniformGrid(st, {}, 4);
        st.Arr.CH(2)[0] = 2e6;
        st.Arr.CH(2)[3] = 5e6;
        st.Arr.CH(2)[4] = std::nan("");
        Elneut(st, 1, 0, 0, false);
        EXPECT_NEAR(st.Arr.PH[0], 7.0, 1e-9);
        EXPECT_TRUE(st.NewtonItStep > 100 && st.ItNew == 100) << st.NewtonItStep;
        st.Arr.CH(1)[2] = 1.5e-4;
        st.NewtonItStep = 0;
        Elneut(st, 1, 0, 3, false);
        Elneut(st, 1, 0, 4, false);
        EXPECT_LT(st.NewtonItStep, 20);
        EXPECT_NEAR(st.Arr.CH(1)[3] + st.Arr.CH(1)[4], 2e-4, 1e-15);
    }
    {  // a step to a negative x restarts from a thousandth of |start|:
        // 1 mM of a strong base from cH = 1e-4 overshoots below zero
        RunState st;
        SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 1.0)}, 2);
        Elneut(st, 1, 0, -1, true);
        EXPECT_LT(st.NewtonItStep, 40);  // restarted, not run into the limit
        EXPECT_NEAR(st.Arr.PH[1], DirectPH({{0, 1, {0, 14}, {0, 51.9}, 1.0}}), 1e-7);
    }
    {  // tiny results (Kw 1e-30), and starts of 0 or below that end before the
        // first pass, take the left neighbour's value when it is valid, else 1e-9
        RunState st;
        st.Kw = 1e-30;
        SetUpUniformGrid(st, {MakeStrongCation("Na", 51.9, 1.0)}, 8);
        st.Arr.CH(1)[4] = 4.2e-6;
        st.Arr.CH(2)[5] = -1e-40;
        for (int n : {0, 5, 6}) Elneut(st, 1, 0, n, false);
        const double first[] = {st.Arr.CH(1)[0], st.Arr.CH(1)[5], st.Arr.CH(1)[6]};
        st.Arr.CH(1)[6] = 0.0;
        Elneut(st, 1, 0, 7, false);
        EXPECT_EQ(std::vector<double>(first, first + 3),
                  (std::vector<double>{1e-9, 4.2e-6, 4.2e-6}));
        EXPECT_EQ(st.Arr.CH(1)[7], 1e-9);
    }
    {  // Chrom mode: nothing computed or counted
        RunState st;
        SetUpUniformGrid(st, {MakeStrongAnion("Cl", 79.1, 1.0)}, 3);
        st.cbChrom = true;
        st.Arr.CH(2)[1] = 0.123;
        Elneut(st, 2, -1, -1, true);
        EXPECT_TRUE(st.NewtonItTotal == 0 && st.Arr.CH(2)[1] == 0.123);
    }
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Elneut, AListenerThatRaisesLeavesTheNewtonLimitAndTheWindow)
{
    // the start guard raises the iteration limit for its call only; a
    // listener of the iteration counts that raises does not keep it raised
    struct Raising : EngineListener {
        void OnEngineEvent(const EngineEvent& e) override
        {
            if (e.kind == EngineEventKind::NewtonIterations) ThrowError("listener");
        }
    } raising;
    RunState st;
    SetUpUniformGrid(st, {}, 4);
    st.Events.Add(&raising);
    st.cbNewCnt = true;
    st.LeftWall = 1;
    st.RightWall = 3;
    st.Arr.CH(2)[0] = 2e6;
    EXPECT_THROW(Elneut(st, 1, 0, 0, false), Exception);
    EXPECT_EQ(std::make_tuple(st.ItNew, st.LeftWall, st.RightWall), std::make_tuple(100, 1, 3));
    st.Events.Remove(&raising);
}

TEST(Elneut, SourceLevelsWindowAndFailures)
{
    RecordingMessageSink sink;
    RunState st;
    SetUpUniformGrid(st, Records({kAcetic, kSodium10}), 10);
    // source -1 solves the whole grid whatever the window, then restores it
    st.LeftWall = 3;
    st.RightWall = 5;
    Elneut(st, 3, -1, -1, true);
    EXPECT_EQ(std::make_pair(st.LeftWall, st.RightWall), std::make_pair(3, 5));
    for (int n = 0; n <= 10; ++n) EXPECT_NEAR(st.Arr.PH[n], 4.7575, 1e-3);
    // source 0 at level 1 starts from level 2 and solves only the window
    // (a wall beyond the grid clamped)
    for (int n = 0; n <= 10; ++n) st.Arr.CH(1)[n] = 7.0;
    st.RightWall = 50;
    Elneut(st, 1, 0, -1, false);
    EXPECT_EQ(st.RightWall, 50);
    EXPECT_EQ(st.Arr.CH(1)[2], 7.0);
    for (int n = 3; n <= 10; ++n) EXPECT_NEAR(st.Arr.CH(1)[n], st.Arr.CH(3)[n], 1e-15);
    ASSERT_TRUE(sink.warnings.empty());

    // a result that is not a number stops the run at that node, warned once per run
    const double before = st.Arr.CH(1)[5];
    st.Arr.C(1, 1)[3] = std::nan("");
    st.RightWall = 5;
    Elneut(st, 1, 0, -1, true);
    EXPECT_TRUE(st.Stop && st.NumericalFailure && std::isfinite(st.Arr.CH(1)[3]) &&
                st.Arr.CH(1)[5] == before);
    Elneut(st, 1, 0, -1, true);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                 "Newton's iteration returns incorrect H+ concentration: NAN"});
    // a cH that is not positive leaves its node for speciation and stops the run
    sink.Clear();
    st.Stop = false;
    st.Arr.CH(2)[5] = 0.0;
    const double ph5 = st.Arr.PH[5];
    CalcSpeciation(st, 2, 5);
    EXPECT_TRUE(st.Arr.PH[5] == ph5 && st.Stop);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect H+ concentration at node 5: 0"});
}
