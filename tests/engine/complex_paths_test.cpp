// Complexation mode where its own paths matter: with every binding constant
// zero it is the standard mode (ionic strength, conductivity, field and
// voltage), in an acidic buffer and at pH 11 where OH- carries current; and
// the ligand's own profile: a trace ligand in an excess of binding analytes
// moves with the mobility of its free and bound states weighted by their
// fractions, and keeps its amount.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/modes/complex/complex_mode.h"
#include "engine/state/engine_arrays.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

std::string Text(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

// The complexation table of a composition whose ligand (constituent 1) is a
// weak acid (charges -1, 0) and whose analytes have `forms` forms each: the
// water line of the standard mode, every binding constant 0 (pK 30: 1e-33/mM).
// The neutral ligand diffuses as its anion, as in the standard mode.
ComplexTable ZeroBindingTable(double ligandPK, double ligandU, const std::vector<int>& forms)
{
    ComplexTable t = {{"-1", "0"},
                      {Text(ligandPK)},
                      {Text(ligandU), Text(ligandU)},
                      {"14", "362.5", "205.5"},
                      {std::to_string(forms.size())}};
    for (int f : forms)
        for (int k = 0; k < f; ++k) t.push_back({"30", "30"});
    for (int f : forms)
        for (int k = 0; k < f; ++k) t.push_back({"20", "20"});
    return t;
}

void PrepareZone(RunState& st, const TUnivSet<TComponents>& comp, int nodes)
{
    PrepareRun(st, comp, nodes);
    SetZoneAndVoltage(st, 10.0, 2.0, 0.5, 0.0);
    st.rbVoltage = false;  // constant current
    st.UI = 5.0;
    st.cbOptDt = false;
}

}  // namespace

TEST(ComplexPaths, WithoutBindingItIsTheStandardModeAlsoWhereHydroxideCounts)
{
    struct Buffer {
        const char* name;
        double ligandPK, ligandU, ligandC, sodium;
        double pHLow, pHHigh;
    };
    // an acetate buffer near pH 4.8, and a weak acid of pK 10 with excess
    // sodium: pH above 11, OH- a tenth of the conductivity or more
    const Buffer buffers[] = {{"acetate", kPKAcetic, kUAcetate, 20.0, 10.0, 4.5, 5.5},
                              {"pH 11", 10.0, 30.0, 10.0, 15.0, 11.0, 12.0}};
    for (const Buffer& b : buffers) {
        SCOPED_TRACE(b.name);
        RecordingMessageSink sink;
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("Ligand", b.ligandPK, b.ligandU, BGE, b.ligandC, b.ligandC));
        comp.Add(StrongCation("Sodium", kUNa, BGE, b.sodium, b.sodium));
        comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 2.0));
        comp.Add(WeakBase("Base", 9.0, 30.0, Analyte, 0.0, 2.0));
        RunState plain, complex;
        PrepareZone(plain, comp, 200);
        PrepareZone(complex, comp, 200);
        complex.cbComplex = true;
        complex.TxtTable = ZeroBindingTable(b.ligandPK, b.ligandU, {2, 2, 2});
        ASSERT_TRUE(InitCalc(plain));
        ASSERT_TRUE(InitCalc(complex));
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        auto compare = [&](double tol) {
            EngineArrays &p = plain.Arr, &c = complex.Arr;
            double ohShare = 0;
            for (int j = 0; j <= plain.NX; ++j) {
                SCOPED_TRACE("node " + std::to_string(j));
                EXPECT_NEAR(c.PH[j], p.PH[j], tol);
                EXPECT_NEAR(c.IonicStrength(2)[j], p.IonicStrength(2)[j],
                            tol * p.IonicStrength(2)[j]);
                EXPECT_NEAR(c.Kappa[j], p.Kappa[j], tol * p.Kappa[j]);
                EXPECT_NEAR(c.E[j], p.E[j], tol * std::fabs(p.E[j]));
                ohShare = std::max(ohShare, 96485.0 * 205.5e-9 * p.COH(2)[j] / p.Kappa[j]);
                EXPECT_GE(p.PH[j], b.pHLow);
                EXPECT_LE(p.PH[j], b.pHHigh);
            }
            EXPECT_NEAR(complex.U, plain.U, tol * plain.U);
            EXPECT_NEAR(complex.I, plain.I, 1e-12 * plain.I);
            return ohShare;
        };
        const double ohShare = compare(1e-9);
        if (b.pHLow > 10) {
            EXPECT_GT(ohShare, 0.1);
        }
        // the same after the zones have separated for a while, up to the
        // difference of the two discretisations at the zone edges
        RunTo(plain, 0.5, 1e-3);
        RunTo(complex, 0.5, 1e-3);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_NEAR(complex.Time, plain.Time, 1e-12);
        compare(1e-3);
    }
}

// A trace ligand zone in a buffer holding two binding analytes in excess: a
// cation (K 0.1/mM, complex mobility 20) and an anion (K 0.05/mM, complex
// mobility 15). The ligand moves with its free and bound states weighted by
// their fractions, (u_L + K1 c1 u1 + K2 c2 u2) / (1 + K1 c1 + K2 c2), each
// mobility signed by the charge of its species, and keeps its amount: a
// neutral ligand moves only while bound (+u1 with the cation, -u2 with the
// anion); a fully dissociated anionic ligand (u_L 30) moves itself, its
// complex with the cation is neutral and stands, that with the anion carries
// the charge -2.
TEST(ComplexPaths, TraceLigandMovesWithItsBoundFractions)
{
    const double c1 = 10.0, c2 = 10.0, K1 = 0.1, K2 = 0.05, u1 = 20.0, u2 = 15.0, uL = 30.0;
    for (const bool anionic : {false, true}) {
        SCOPED_TRACE(anionic ? "anionic ligand" : "neutral ligand");
        RecordingMessageSink sink;
        TUnivSet<TComponents> comp;
        comp.Add(anionic ? WeakAcid("Selector", -2.0, uL, Analyte, 0.0, 1e-3)
                         : Constituent("Selector", 0, 0, {0}, {0}, Analyte, 0.0, 1e-3));
        comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0 - c2 + c1, 15.0 - c2 + c1));
        comp.Add(StrongCation("Potassium", kUK, BGE, c1, c1));
        comp.Add(StrongAnion("Anion", 60.0, BGE, c2, c2));
        // forms: acetic -1, 0; sodium 0, 1; potassium 0, 1; anion -1, 0;
        // one binding constant and complex mobility per ligand form
        ComplexTable t =
            anionic ? ComplexTable{{"-1", "0"},
                                   {"-2"},
                                   {Text(uL), Text(uL)},
                                   {"14", "362.5", "205.5"},
                                   {"4"}}
                    : ComplexTable{{"0", "0"}, {"None"}, {"20"}, {"14", "362.5", "205.5"}, {"4"}};
        const std::size_t nq = anionic ? 2 : 1;
        const std::string pkx[8] = {
            "30", "30", "30", "30", "30", Text(-std::log10(K1 * 1e3)), Text(-std::log10(K2 * 1e3)),
            "30"};
        const std::string ux[8] = {"25", "25", "25", "25", "25", Text(u1), Text(u2), "25"};
        for (const auto& v : pkx) t.push_back(ComplexRow(nq, v));
        for (const auto& v : ux) t.push_back(ComplexRow(nq, v));
        RunState st;
        PrepareRun(st, comp, 250);
        SetZoneAndVoltage(st, 12.5, 1.0, 0.5, 100.0);
        st.cbComplex = true;
        st.TxtTable = t;
        ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
        const double expected =
            anionic ? (-uL + 0.0 - K2 * c2 * u2) / (1 + K1 * c1 + K2 * c2) * 1e-9
                    : (K1 * c1 * u1 - K2 * c2 * u2) / (1 + K1 * c1 + K2 * c2) * 1e-9;
        // the effective mobility written for the ligand at every node
        for (int j = 0; j <= st.NX; ++j)
            ASSERT_NEAR(st.Arr.UEff[1][j], expected, 1e-4 * std::fabs(expected)) << j;
        const ProfileMoments m0 = Moments(st, 1);
        RunTo(st, 10.0, 1e-3);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
        ASSERT_GT(st.Time, 9.9);
        const ProfileMoments m1 = Moments(st, 1);
        const double u = (m1.mean - m0.mean) / st.Time / (100.0 / 0.025);
        EXPECT_NEAR(u, expected, 0.01 * std::fabs(expected));
        EXPECT_NEAR(m1.amount, m0.amount, 1e-4 * m0.amount);
        // the analytes in excess stay where they were
        for (int i = 4; i <= 5; ++i)
            for (double c : Profile(st, i)) ASSERT_NEAR(c, i == 4 ? c1 : c2, 1e-4 * c1);
    }
}

// The complexation data travel with the run: a copy of the run state taken
// after Init runs as the original, bit for bit; and once the arrays are
// released the data are gone with them.
TEST(ComplexPaths, ACopiedRunRunsAsTheOriginal)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareComplexZoneRun(st, 10.0);
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    RunState copy = st;
    RunTo(st, 0.5, 1e-3);
    RunTo(copy, 0.5, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 0.49);
    EXPECT_EQ(copy.Time, st.Time);
    EXPECT_EQ(copy.StepCount, st.StepCount);
    for (int i = 1; i <= st.Arr.NComp; ++i) EXPECT_EQ(Profile(copy, i), Profile(st, i)) << i;
    EXPECT_EQ(EquilibriumImage(copy, 2), EquilibriumImage(st, 2));
    EXPECT_EQ(copy.Arr.E, st.Arr.E);

    // the data go with the released arrays, also from a copy taken then
    FreeEngineArrays(st);
    RunState again = st;
    for (RunState* s : {&st, &again})
        EXPECT_TRUE(ComplexArrays(*s).Work[2].empty() && ComplexArrays(*s).K.empty() &&
                    ComplexArrays(*s).Nn == 0);
}

// A charged ligand on a neutral and on an oppositely charged analyte: the
// complex carries the charge of both, so its sign differs from that of the
// free analyte. In an acetate buffer with 5 mM of a fully dissociated ligand
// of charge -2, a neutral analyte (K 0.2/mM, complex mobility 15) moves
// towards the anode at -K L u_c / (1 + K L), and potassium (K 1/mM, complex
// of charge -1, mobility 20) turns round: (u_K - K L u_c) / (1 + K L) < 0.
// Both zones move at these mobilities times the field, which are also the
// effective mobilities written at every node, and keep their amounts.
TEST(ComplexPaths, ComplexOfAnotherChargeSignMovesWithItsOwnSign)
{
    const double L = 5.0, uL = 30.0;
    const BindingZone zones[] = {{4, kUK, 20.0, 1.0, 1.0}, {5, 0.0, 15.0, 0.2, 0.0}};
    RecordingMessageSink sink;
    TUnivSet<TComponents> comp;
    comp.Add(Constituent("Selector", -2, 0, {-2.0, -1.0, 0}, {uL, uL, 0}, BGE, L, L));
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0 + 2 * L, 15.0 + 2 * L));
    comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 1e-3));
    comp.Add(Constituent("Sugar", 0, 0, {0}, {0}, Analyte, 0.0, 1e-3));
    // forms: acetic -1, 0; sodium 0, 1; potassium 0, 1; sugar 0. Only the
    // ligand's -2 form (q = 0) binds.
    ComplexTable t = {
        {"-2", "0"}, {"-2", "-1"}, {Text(uL), Text(uL), "0"}, {"14", "362.5", "205.5"}, {"4"}};
    auto line = [](const std::string& q0) { return ComplexRow{q0, "30", "30"}; };
    for (int k = 0; k < 5; ++k) t.push_back(line("30"));
    t.push_back(line(Text(-std::log10(zones[0].K * 1e3))));
    t.push_back(line(Text(-std::log10(zones[1].K * 1e3))));
    for (int k = 0; k < 5; ++k) t.push_back(line("25"));
    t.push_back(line(Text(zones[0].uComplex)));
    t.push_back(line(Text(zones[1].uComplex)));
    RunState st;
    PrepareRun(st, comp, 250);
    SetZoneAndVoltage(st, 12.5, 1.0, 0.5, 100.0);
    st.cbComplex = true;
    st.TxtTable = t;
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    // at every node, with the free ligand Lf from its balance
    // Lf + sum c_a K_a Lf / (1 + K_a Lf) = L
    const EngineArrays& a = st.Arr;
    auto mobility = [&](const BindingZone& z, double Lf) {
        return (z.sign * z.uFree - z.K * Lf * z.uComplex) / (1 + z.K * Lf) * 1e-9;
    };
    for (int j = 0; j <= st.NX; ++j) {
        double lo = 0, hi = L;
        for (int it = 0; it < 200; ++it) {
            const double m = 0.5 * (lo + hi);
            double bound = 0;
            for (const BindingZone& z : zones)
                bound += a.C(2, z.constituent)[j] * z.K * m / (1 + z.K * m);
            (m + bound > a.C(2, 1)[j] ? hi : lo) = m;
        }
        for (const BindingZone& z : zones) {
            const double u = mobility(z, 0.5 * (lo + hi));
            ASSERT_NEAR(a.UEff[z.constituent][j], u, 1e-6 * std::fabs(u))
                << z.constituent << " " << j;
        }
    }
    const double expected[2] = {mobility(zones[0], L), mobility(zones[1], L)};
    EXPECT_LT(expected[0], 0.0);
    EXPECT_LT(expected[1], 0.0);
    const ProfileMoments m0[2] = {Moments(st, 4), Moments(st, 5)};
    RunTo(st, 10.0, 1e-3);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GT(st.Time, 9.9);
    for (int k = 0; k < 2; ++k) {
        const ProfileMoments m1 = Moments(st, zones[k].constituent);
        const double u = (m1.mean - m0[k].mean) / st.Time / (100.0 / 0.025);
        EXPECT_NEAR(u, expected[k], 0.01 * std::fabs(expected[k])) << zones[k].constituent;
        EXPECT_NEAR(m1.amount, m0[k].amount, 1e-4 * m0[k].amount);
    }
}
