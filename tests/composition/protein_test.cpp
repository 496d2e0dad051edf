#include "composition/protein_builder.h"

#include "composition/constituent_editor.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/paramset.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

struct Fixture {
    RecordingMessageSink sink;
    RunState st;
    ConstituentEditor ed{st};
    ProteinBuilder pb;

    // Counts `sequence`, builds the protein into the editor and accepts it.
    const TComponents& Build(const std::string& sequence, bool allSS = false)
    {
        pb.Input = {sequence};
        pb.AllSS = allSS;
        pb.InputChange();
        pb.MakeProtein(ed);
        ed.EditName(sequence.substr(0, 20));
        ed.EditConcentration("0.1");
        EXPECT_TRUE(ed.Accept());
        return st.Composition[st.Composition.Count()];
    }
};

// Ionisable groups of a chain from textbook pK values (25 degrees C): the two
// chain ends by their residue and the side chains; kept here apart from the
// builder's own table.
struct Group {
    double pK;
    bool basic;
};
std::vector<Group> Groups(const std::string& seq)
{
    const std::map<char, double> cEnd = {{'A', 2.35}, {'G', 2.35}, {'K', 2.18}, {'Y', 2.2},
                                         {'C', 2.05}, {'H', 1.77}, {'D', 2.1}};
    const std::map<char, double> nEnd = {
        {'A', 9.87}, {'G', 9.78}, {'M', 9.21}, {'C', 10.25}, {'D', 9.82}};
    const std::map<char, Group> side = {
        {'D', {3.86, false}},  {'E', {4.07, false}}, {'H', {6.1, true}},  {'C', {8.0, false}},
        {'Y', {10.07, false}}, {'K', {10.53, true}}, {'R', {12.48, true}}};
    std::vector<Group> g{{cEnd.at(seq.back()), false}, {nEnd.at(seq.front()), true}};
    for (char r : seq)
        if (side.count(r)) g.push_back(side.at(r));
    return g;
}

// Henderson-Hasselbalch over independent groups.
double NetChargeHH(const std::vector<Group>& groups, double pH)
{
    double q = 0;
    for (const auto& g : groups)
        q += g.basic ? 1.0 / (1.0 + std::pow(10.0, pH - g.pK))
                     : -1.0 / (1.0 + std::pow(10.0, g.pK - pH));
    return q;
}

// Mean charge of a constituent from its charge forms: the form z > 0 over z - 1
// is 10^(pKa(z) - pH), the form z < 0 over z + 1 is 10^(pH - pKa(z)).
double NetChargeForms(const TComponents& c, double pH)
{
    std::map<int, double> logP{{0, 0.0}};
    for (int z = 1; z <= c.maxCharge; ++z) logP[z] = logP[z - 1] + c.PKaOf(1, z) - pH;
    for (int z = -1; z >= c.minCharge; --z) logP[z] = logP[z + 1] + pH - c.PKaOf(1, z);
    double top = -1e300;
    for (auto& [z, l] : logP) top = std::max(top, l);
    double sum = 0, zsum = 0;
    for (auto& [z, l] : logP) {
        const double p = std::pow(10.0, l - top);
        sum += p;
        zsum += z * p;
    }
    return zsum / sum;
}

template <class F>
double Isoelectric(F charge)
{
    double lo = 0, hi = 14;
    for (int k = 0; k < 60; ++k) {
        const double mid = (lo + hi) / 2;
        (charge(mid) > 0 ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

}  // namespace

TEST(ProteinBuilder, CountsGroupsTextAndChargeGridOfTheExamples)
{
    Fixture f;
    f.pb.Input = {"ACDEFGHIKL", "MNPQRSTVWY"};
    f.pb.AllSS = false;
    ASSERT_TRUE(f.pb.InputChange());
    EXPECT_EQ(
        std::tuple(f.pb.ValidText(), f.pb.InvalidText(), f.pb.GroupsText()),
        std::tuple("Valid characters x = 20", "Invalid characters = 0", "(A)C1D1E1H1K1R1Y1(Y)"));
    f.pb.MakeProtein(f.ed);
    // Header + nine charge forms: highest pK at the most negative charge, lowest
    // at the highest; default mobility 30 x^(-1/3) |z| + 2 with x = 20 residues.
    const StringGrid& z = f.ed.sgZ;
    ASSERT_EQ(std::tuple(f.ed.EditMinCharge, f.ed.EditMaxCharge, z.RowCount()),
              std::tuple(-5, 4, 10));
    EXPECT_EQ(std::tuple(z.Cell(0, 1), z.Cell(1, 1), z.Cell(0, 9), z.Cell(1, 9), z.Cell(2, 1)),
              std::tuple("-5", "12.48", "4", "2.2", "57.260472"));
    EXPECT_NEAR(std::stod(f.ed.sgZ.Cell(2, 9)), 30 * std::pow(20.0, -1.0 / 3) * 4 + 2, 1e-6);
    // x is restored after the build.
    EXPECT_FALSE(GlobalParams.UseVal(1));

    // CCC with every cysteine bound: the two chain ends of C only.
    f.pb.Input = {"CCC"};
    f.pb.AllSS = true;
    f.pb.InputChange();
    EXPECT_EQ(f.pb.GroupsText(), "(C)C0D0E0H0K0R0Y0(C)");
    f.pb.MakeProtein(f.ed);
    EXPECT_EQ(std::tuple(f.ed.EditMinCharge, f.ed.EditMaxCharge, z.Cell(1, 1), z.Cell(1, 2)),
              std::tuple(-1, 1, "10.25", "2.05"));
    // More bonds than half the cysteines: no free cysteine.
    f.pb.Input = {"CCCCC"}, f.pb.AllSS = false, f.pb.NSS = "4";
    f.pb.InputChange();
    EXPECT_EQ(f.pb.C, 0);
    f.pb.NSS = "1";
    f.pb.InputChange();
    EXPECT_EQ(f.pb.C, 3);
    // A bond count that is not a whole number keeps the counts.
    f.pb.NSS = "1.5";
    EXPECT_FALSE(f.pb.InputChange());
    EXPECT_EQ(std::tuple(f.pb.C, f.sink.warnings.back()),
              std::tuple(3, "'1.5' is not a valid integer value"));
    f.pb.NSS = "0";

    // Lower case is wholly invalid and OK changes nothing; blanks are invalid.
    f.pb.Input = {"acde"};
    f.pb.InputChange();
    EXPECT_EQ(std::tuple(f.pb.Valid, f.pb.GroupsText()), std::tuple(0, "C0D0E0H0K0R0Y0"));
    const int before = f.ed.EditMinCharge;
    f.pb.MakeProtein(f.ed);
    EXPECT_EQ(f.ed.EditMinCharge, before);
    f.pb.Input = {"K K", "D"};
    f.pb.InputChange();
    EXPECT_EQ(std::tuple(f.pb.Valid, f.pb.Invalid, f.pb.GroupsText()),
              std::tuple(3, 1, "(K)C0D1E0H0K2R0Y0(D)"));
    // A single residue is both chain ends.
    f.pb.Input = {"K"};
    f.pb.InputChange();
    EXPECT_EQ(std::tuple(f.pb.GroupsText(), f.pb.SortedPKs()),
              std::tuple("(K)C0D0E0H0K1R0Y0(K)", std::vector<double>{10.53, 8.95, 2.18}));
    // An unreadable formula gives mobility 0.
    f.pb.Formula = "30*(";
    f.pb.MakeProtein(f.ed);
    EXPECT_EQ(f.ed.sgZ.Cell(2, 1), "0");
}

TEST(ProteinBuilder, NetChargeAndIsoelectricPointAgreeWithHendersonHasselbalch)
{
    Fixture f;
    // Groups two or more pK units apart: the charge-form ladder and independent
    // groups give the same charge and isoelectric point.
    for (const std::string peptide : {"DAH", "GDH", "AEH"}) {
        const TComponents& p = f.Build(peptide);
        const auto groups = Groups(peptide);
        ASSERT_EQ(p.maxCharge - p.minCharge, static_cast<int>(groups.size()));
        for (double pH = 0.5; pH < 14; pH += 0.5)
            EXPECT_NEAR(NetChargeForms(p, pH), NetChargeHH(groups, pH), 0.03)
                << peptide << " pH " << pH;
        EXPECT_NEAR(Isoelectric([&](double pH) { return NetChargeForms(p, pH); }),
                    Isoelectric([&](double pH) { return NetChargeHH(groups, pH); }), 0.01)
            << peptide;
    }

    // A protein-like chain with repeated groups: one charge form per group, the
    // group pKs in descending order from the most negative charge, the chain
    // fully protonated at pH 0 and fully dissociated at pH 14 as with
    // independent groups.
    const std::string chain = "MKDEEDKKRHYCDEAGKDEYCKKRGHEEDA";
    const TComponents& q = f.Build(chain);
    auto g2 = Groups(chain);
    std::sort(g2.begin(), g2.end(), [](const Group& a, const Group& b) { return a.pK > b.pK; });
    const int acidic = static_cast<int>(
        std::count_if(g2.begin(), g2.end(), [](const Group& g) { return !g.basic; }));
    ASSERT_EQ(q.minCharge, -acidic);
    ASSERT_EQ(q.maxCharge, static_cast<int>(g2.size()) - acidic);
    int k = 0;
    for (int z = q.minCharge; z <= q.maxCharge; ++z)
        if (z != 0) {
            EXPECT_EQ(q.PKaOf(1, z), g2[k++].pK) << z;
        }
    EXPECT_NEAR(NetChargeForms(q, 0.0), NetChargeHH(g2, 0.0), 0.05);
    EXPECT_NEAR(NetChargeForms(q, 14.0), NetChargeHH(g2, 14.0), 0.2);
    EXPECT_NEAR(q.UOf(1, q.minCharge), 30 * std::pow(30.0, -1.0 / 3) * acidic + 2, 1e-5);
}
