#include "composition/database.h"

#include "composition/constituent_editor.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "files/example_project.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

#include "../files/byte_builder.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

namespace {

// Three entries written from the layout: a neutral one, an ampholyte -1..1 and
// a triprotic acid. Mobilities come before pKa values, charges -n..-1, 1..p.
std::string Golden()
{
    Bytes g;
    g.str("any header text").raw(std::string(8, '\x55')).i32(3);
    g.str("Ethanol").i32(0).i32(0);
    g.str("Glycine").i32(1).i32(1).f64(-37.4).f64(40.9).f64(9.6).f64(2.34);
    g.str("Phosphate").i32(3).i32(0).f64(-71.5).f64(-59.1).f64(-37.3).f64(12.35).f64(7.2).f64(2.15);
    return g.b;
}

// Offsets of the three counts: entries, n and p of the glycine entry.
constexpr std::size_t kCount = 24, kGlyN = 52, kGlyP = 56;

}  // namespace

TEST(ConstituentDatabase, ReaderFollowsTheLayoutAndTheWriterWritesIt)
{
    TempDir dir;
    const std::string name = dir.file("Database.dbc");
    WriteBytes(name, Golden());
    TUnivSet<TComponents> db;
    ASSERT_TRUE(ReadDatabase(name, db));
    ASSERT_EQ(db.Count(), 3);
    const TComponents &eth = db[1], &gly = db[2], &ph = db[3];
    EXPECT_EQ(std::tuple(eth.name, eth.minCharge, eth.maxCharge), std::tuple("Ethanol", 0, 0));
    EXPECT_EQ(std::tuple(gly.minCharge, gly.maxCharge, gly.UOf(1, -1), gly.UOf(1, 1),
                         gly.PKaOf(1, -1), gly.PKaOf(1, 1)),
              std::tuple(-1, 1, -37.4, 40.9, 9.6, 2.34));
    EXPECT_EQ(std::tuple(gly.mode, gly.gradient, gly.c, gly.uMicA),
              std::tuple(1, false, 0.0, 40.0));
    EXPECT_EQ(std::tuple(ph.minCharge, ph.PKaOf(1, -3), ph.PKaOf(1, -1), ph.UOf(1, -2)),
              std::tuple(-3, 12.35, 2.15, -59.1));

    // The writer gives the same bytes after its own header and reserved bytes.
    const std::string out = dir.file("out.dbc");
    ASSERT_TRUE(WriteDatabase(out, db));
    const std::string header = std::string(kDatabaseHeader) + '\0' + std::string(8, '\0');
    EXPECT_EQ(ReadBytes(out), header + Golden().substr(16 + 8));

    // The list view texts.
    const auto e = DatabaseRow(eth), g = DatabaseRow(gly);
    EXPECT_EQ(std::tuple(e.n, e.pKa, e.u, g.n, g.p, g.pKa, g.u, DatabaseRow(ph).pKa),
              std::tuple("0", "", "", "-1", "1", "9.6 | 2.34", "-37.4 | 40.9", "12.35; 7.2; 2.15"));
}

TEST(ConstituentDatabase, MissingEmptyShortAndDamagedFilesAreRefusedWhole)
{
    TempDir dir;
    const std::string name = dir.file("Database.dbc");
    TUnivSet<TComponents> db;
    db.Add(TComponents());
    EXPECT_FALSE(ReadDatabase(dir.file("none.dbc"), db));
    EXPECT_EQ(db.Count(), 0);
    WriteBytes(name, "");
    EXPECT_FALSE(ReadDatabase(name, db));
    // A header and fewer than 12 bytes after it.
    WriteBytes(name, Bytes().str("hdr").raw(std::string(11, '\0')).b);
    EXPECT_FALSE(ReadDatabase(name, db));
    // Exactly 12 bytes with count 0: an empty database.
    WriteBytes(name, Bytes().str("hdr").raw(std::string(8, '\0')).i32(0).b);
    EXPECT_TRUE(ReadDatabase(name, db));
    EXPECT_EQ(db.Count(), 0);

    // Every truncation inside the entries and hostile counts: refused, nothing
    // loaded. The layout has no trailer, so three damaged counts still make a
    // whole file: an entry count of 0 (no entries, the rest unread), and a
    // glycine n or p of 0 (one pair of doubles less, the next name then starts
    // inside the glycine values and ends at "Phosphate": still three entries).
    const std::string g = Golden();
    const std::map<std::string, int> whole = {{WithInt32At(g, kCount, 0), 0},
                                              {WithInt32At(g, kGlyN, 0), 3},
                                              {WithInt32At(g, kGlyP, 0), 3}};
    for (const std::string& bad : Damaged(g, 0, {kCount, kGlyN, kGlyP})) {
        db.Empty();
        db.Add(TComponents());
        WriteBytes(name, bad);
        const auto it = whole.find(bad);
        EXPECT_EQ(ReadDatabase(name, db), it != whole.end()) << bad.size();
        EXPECT_EQ(db.Count(), it != whole.end() ? it->second : 0) << bad.size();
    }
    // A count far beyond the bytes left, and negative charge counts.
    for (std::int32_t v : {INT_MAX, -1}) {
        WriteBytes(name, WithInt32At(g, kCount, v));
        EXPECT_FALSE(ReadDatabase(name, db));
        WriteBytes(name, WithInt32At(g, kGlyN, v));
        EXPECT_FALSE(ReadDatabase(name, db));
    }
    // A glycine mobility or pK that is not a finite number.
    for (std::size_t at : {kGlyP + 4, kGlyP + 20}) {
        WriteBytes(name, g.substr(0, at) + Bytes().f64(std::nan("")).b + g.substr(at + 8));
        EXPECT_FALSE(ReadDatabase(name, db)) << at;
    }
}

TEST(ConstituentDatabase, SourceTableLinesAreCheckedAndConverted)
{
    TUnivSet<TComponents> db;
    std::string error;
    ASSERT_TRUE(ParseDatabaseTable("# comment\n\nGlycine\t1\t1\t9.6; 2.34\t37.4; 40.9\tPK\tEST\r\n",
                                   db, error));
    ASSERT_EQ(db.Count(), 1);
    EXPECT_EQ(std::tuple(db[1].PKaOf(1, 1), db[1].UOf(1, -1)), std::tuple(2.34, 37.4));
    EXPECT_FALSE(ParseDatabaseTable("X\t1\t1\t9.6\t37.4; 40.9\n", db, error));
    EXPECT_EQ(error, "line 1: X\t1\t1\t9.6\t37.4; 40.9");
    EXPECT_FALSE(ParseDatabaseTable("X\t-1\t0\t\t\n", db, error));
    // A bad line after good ones leaves the list as it was.
    EXPECT_FALSE(ParseDatabaseTable("A\t0\t0\t\t\nB\t0\t0\t\t\nX\t1\t1\t9.6\t37.4\n", db, error));
    EXPECT_EQ(db.Count(), 1);
}

#ifdef KELVO_DATABASE_FILE
TEST(ConstituentDatabase, SuppliedDatabaseLoadsWithPhysicalValuesAndPublishedFigures)
{
    TUnivSet<TComponents> db;
    ASSERT_TRUE(ReadDatabase(KELVO_DATABASE_FILE, db));
    EXPECT_GE(db.Count(), 300);
    std::map<std::string, const TComponents*> byName;
    for (const auto* n = db.Head(); n; n = n->next) {
        const TComponents& c = n->data;
        EXPECT_TRUE(byName.emplace(c.name, &c).second) << "twice: " << c.name;
        EXPECT_FALSE(c.name.empty());
        EXPECT_LE(c.minCharge, 0);
        EXPECT_GE(c.maxCharge, 0);
        for (int z = c.minCharge; z <= c.maxCharge; ++z) {
            if (z == 0) continue;
            const double u = c.UOf(1, z), pK = c.PKaOf(1, z);
            EXPECT_TRUE(std::isfinite(u) && std::fabs(u) < 400 && u > 0)
                << c.name << " u(" << z << ")";
            EXPECT_TRUE(std::isfinite(pK) && pK > -2 && pK < 16) << c.name << " pKa(" << z << ")";
        }
        // Successive acid constants: the more negative form is the weaker acid,
        // the more positive form the stronger one.
        for (int z = c.minCharge; z < -1; ++z)
            EXPECT_GE(c.PKaOf(1, z), c.PKaOf(1, z + 1)) << c.name;
        for (int z = 1; z < c.maxCharge; ++z) EXPECT_GE(c.PKaOf(1, z), c.PKaOf(1, z + 1)) << c.name;
    }
    // Published figures: u = lambda/F from limiting equivalent conductivities
    // (S cm2/mol) and pKa at 25 degrees C.
    const double F = 96485.33212;
    auto uFromLambda = [F](double lambda) { return lambda * 1e-4 / F * 1e9; };
    struct Known {
        const char* name;
        int charge;
        double u, pK;
    };
    const Known known[] = {
        {"Sodium", 1, uFromLambda(50.08), NAN},
        {"Potassium", 1, uFromLambda(73.48), NAN},
        {"Lithium", 1, uFromLambda(38.66), NAN},
        {"Chloride", -1, uFromLambda(76.31), NAN},
        {"Nitrate", -1, uFromLambda(71.42), NAN},
        {"Acetic acid", -1, uFromLambda(40.9), 4.756},
        {"Formic acid", -1, uFromLambda(54.6), 3.75},
        {"Sulfate", -2, uFromLambda(80.0), NAN},
        {"Calcium", 2, uFromLambda(59.47), NAN},
        {"Ammonium", 1, uFromLambda(73.5), 9.25},
        {"Tris", 1, NAN, 8.07},
        {"Phosphate", -2, uFromLambda(57.0), 7.20},
        {"Glycine", -1, NAN, 9.78},  // amino group, thermodynamic (9.60 is apparent at 0.1 M)
        {"MES", -1, NAN, 6.27},
    };
    for (const Known& k : known) {
        ASSERT_TRUE(byName.count(k.name)) << k.name;
        const TComponents& c = *byName[k.name];
        if (!std::isnan(k.u)) {
            EXPECT_NEAR(c.UOf(1, k.charge), k.u, 0.06) << k.name;
        }
        if (!std::isnan(k.pK)) {
            EXPECT_NEAR(c.PKaOf(1, k.charge), k.pK, 0.005) << k.name;
        }
    }
    EXPECT_NEAR(byName["Phosphate"]->PKaOf(1, -1), 2.15, 0.005);
    EXPECT_NEAR(byName["Phosphate"]->PKaOf(1, -3), 12.35, 0.005);
    EXPECT_NEAR(byName["Glycine"]->PKaOf(1, 1), 2.34, 0.005);
}

// A Tris-MES buffer picked from the supplied database in the editor: the
// initialised run has the pH of a direct solution of its charge balance.
TEST(ConstituentDatabase, BufferPickedFromTheDatabaseHasThePHOfItsChargeBalance)
{
    RecordingMessageSink sink;
    RunState st;
    ConstituentEditor ed(st);
    ASSERT_TRUE(ed.OpenDatabase(KELVO_DATABASE_FILE));
    auto pick = [&](const std::string& name, const std::string& c) {
        for (const auto* n = st.Database.Head(); n; n = n->next)
            if (n->data.name == name) ed.Pick(st.Database, n->index - 1);
        ASSERT_EQ(ed.WorkComp.name, name);
        ed.EditConcentration(c);
        ed.EditConcInj(c);
        ASSERT_TRUE(ed.Accept());
    };
    pick("Tris", "20");
    pick("MES", "10");
    ASSERT_EQ(std::tuple(st.Composition.Count(), st.Composition[1].type), std::tuple(2, 1));
    const TUnivSet<TComponents> comp = st.Composition;
    RecordingHost host;
    testcomp::PrepareRun(st, comp, 50);
    st.Host = &host;
    ASSERT_TRUE(InitCalc(st));
    // 20 mM Tris (pKa 8.07, base) and 10 mM MES (pKa 6.27, acid), water 1e-14 M2.
    auto balance = [](double pH) {
        const double h = std::pow(10.0, -pH) * 1e3, oh = 1e-8 / h;  // mM
        return 20.0 / (1 + std::pow(10.0, pH - 8.07)) + h - 10.0 / (1 + std::pow(10.0, 6.27 - pH)) -
               oh;
    };
    double lo = 2, hi = 12;
    for (int k = 0; k < 80; ++k) ((balance((lo + hi) / 2) > 0) ? lo : hi) = (lo + hi) / 2;
    EXPECT_NEAR(lo, 8.084, 0.01);
    for (int j = 0; j <= st.NX; j += 10) EXPECT_NEAR(st.Arr.PH[j], lo, 1e-6) << j;
}
#endif

#ifdef KELVO_DATABASE_TABLE
namespace {

std::vector<std::string> SplitAt(const std::string& s, char sep)
{
    std::vector<std::string> out(1);
    for (char ch : s) {
        if (ch == sep)
            out.emplace_back();
        else
            out.back() += ch;
    }
    return out;
}

// One line of the source table with its per-charge source keys.
struct TableEntry {
    std::string name;
    int n = 0, p = 0;
    std::vector<double> pKa, u;
    std::vector<std::string> pKaKeys, uKeys;
};

std::vector<TableEntry> ReadTable()
{
    std::vector<TableEntry> out;
    std::istringstream in(ReadBytes(KELVO_DATABASE_TABLE));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = SplitAt(line, '\t');
        EXPECT_EQ(f.size(), 7u) << line;
        if (f.size() != 7) continue;
        TableEntry e;
        e.name = f[0];
        e.n = std::stoi(f[1]);
        e.p = std::stoi(f[2]);
        for (const auto& v : SplitAt(f[3], ';')) e.pKa.push_back(std::stod(v));
        for (const auto& v : SplitAt(f[4], ';')) e.u.push_back(std::stod(v));
        e.pKaKeys = SplitAt(f[5], '/');
        e.uKeys = SplitAt(f[6], '/');
        out.push_back(e);
    }
    return out;
}

const std::set<std::string> kMeasuredU = {"LAM"}, kEstimatedU = {"EST", "ESC"};
const std::set<std::string> kMeasuredPKa = {"PK", "GK", "BM"};
// Values given from general knowledge, not checked against a printed table.
const std::string kGiven = "GEN";

}  // namespace

// Every value of the supplied table names its source: one key per charge, in
// the order of the values, from the keys the README explains; nominal pKa
// values are the ones that keep a form fully dissociated or absent. The
// written database holds the same entries and values, and the README's counts
// are the table's.
TEST(ConstituentDatabase, SuppliedTableNamesOneSourcePerChargeAndItsCountsAreTheReadmes)
{
    const std::vector<TableEntry> table = ReadTable();
    ASSERT_GE(table.size(), 300u);
    std::map<std::string, int> tally;
    int forms = 0;
    for (const TableEntry& e : table) {
        const std::size_t k = static_cast<std::size_t>(e.n + e.p);
        ASSERT_GE(k, 1u) << e.name;
        EXPECT_EQ(e.pKa.size(), k) << e.name;
        EXPECT_EQ(e.u.size(), k) << e.name;
        EXPECT_EQ(e.pKaKeys.size(), k) << e.name << ": one pKa source per charge";
        EXPECT_EQ(e.uKeys.size(), k) << e.name << ": one mobility source per charge";
        for (std::size_t i = 0;
             i < std::min({k, e.pKa.size(), e.u.size(), e.pKaKeys.size(), e.uKeys.size()}); ++i) {
            const std::string &pk = e.pKaKeys[i], &uk = e.uKeys[i];
            EXPECT_TRUE(kMeasuredPKa.count(pk) || pk == kGiven || pk == "NOM")
                << e.name << " " << pk;
            EXPECT_TRUE(kMeasuredU.count(uk) || uk == kGiven || kEstimatedU.count(uk) ||
                        uk == "NOM")
                << e.name << " " << uk;
            EXPECT_TRUE(e.u[i] > 0 && e.u[i] < 400) << e.name << " u " << e.u[i];
            EXPECT_TRUE(e.pKa[i] > -2 && e.pKa[i] < 16) << e.name << " pKa " << e.pKa[i];
            if (pk == "NOM") {
                EXPECT_TRUE(e.pKa[i] <= -1 || e.pKa[i] >= 15)
                    << e.name << " nominal pKa " << e.pKa[i];
            }
            ++tally["u " + uk];
            ++tally["pKa " + pk];
            ++forms;
        }
    }

    // The written database: the same entries, charges and values in the same order.
    TUnivSet<TComponents> db;
    ASSERT_TRUE(ReadDatabase(KELVO_DATABASE_FILE, db));
    ASSERT_EQ(db.Count(), static_cast<int>(table.size()));
    std::size_t row = 0;
    for (const auto* node = db.Head(); node; node = node->next, ++row) {
        const TComponents& c = node->data;
        const TableEntry& e = table[row];
        ASSERT_EQ(std::tuple(c.name, c.minCharge, c.maxCharge), std::tuple(e.name, -e.n, e.p));
        std::size_t i = 0;
        for (int z = -e.n; z <= e.p; ++z) {
            if (z == 0) continue;
            EXPECT_EQ(std::tuple(c.UOf(1, z), c.PKaOf(1, z)), std::tuple(e.u[i], e.pKa[i]))
                << e.name << " " << z;
            ++i;
        }
    }

    // The counts the README states.
    const std::string readme = ReadBytes(KELVO_DATABASE_README);
    auto stated = [&](const std::string& text) {
        EXPECT_NE(readme.find(text), std::string::npos) << "README lacks: " << text;
    };
    auto n = [&](const char* key) { return std::to_string(tally[key]); };
    stated(std::to_string(table.size()) + " constituents, " + std::to_string(forms) +
           " charge forms");
    stated("| mobility measured (LAM " + n("u LAM") + ") | " + n("u LAM") + " |");
    stated("| mobility given from general knowledge, not checked (GEN) | " + n("u GEN") + " |");
    stated("| mobility estimated (EST " + n("u EST") + ", ESC " + n("u ESC") + ") | " +
           std::to_string(tally["u EST"] + tally["u ESC"]) + " |");
    stated("| mobility nominal (NOM) | " + n("u NOM") + " |");
    stated("| pKa measured (PK " + n("pKa PK") + ", GK " + n("pKa GK") + ", BM " + n("pKa BM") +
           ") | " + std::to_string(tally["pKa PK"] + tally["pKa GK"] + tally["pKa BM"]) + " |");
    stated("| pKa given from general knowledge, not checked (GEN) | " + n("pKa GEN") + " |");
    stated("| pKa nominal (NOM) | " + n("pKa NOM") + " |");
    EXPECT_EQ(tally["u LAM"] + tally["u GEN"] + tally["u EST"] + tally["u ESC"] + tally["u NOM"],
              forms);
    EXPECT_EQ(
        tally["pKa PK"] + tally["pKa GK"] + tally["pKa BM"] + tally["pKa GEN"] + tally["pKa NOM"],
        forms);
}

// Well-known constituents give their published figures within 1 %, both in
// the source table (marked as measured) and in the written database: u = lambda/F
// from the limiting equivalent conductivities (S cm2/mol) at 25 degrees C,
// thermodynamic pKa values at 25 degrees C. The mobilities of Tris, imidazole,
// glycine, aminocaproic acid, MES and HEPES (of the size isotachophoretic
// tables give) and the thermodynamic amino pKa of glycine and alanine were
// given from general knowledge: they are marked so, not as measured.
TEST(ConstituentDatabase, WellKnownConstituentsGivePublishedFiguresWithinOnePercent)
{
    const double F = 96485.33212;
    auto lambda = [F](double l) { return l * 1e-4 / F * 1e9; };
    struct Known {
        const char* name;
        int charge;
        bool mobility;  // else pKa
        double value;
        bool given = false;  // given from general knowledge (key GEN)
    };
    const Known known[] = {
        {"Chloride", -1, true, lambda(76.31)},
        {"Potassium", 1, true, lambda(73.48)},
        {"Sodium", 1, true, lambda(50.08)},
        {"Acetic acid", -1, true, lambda(40.9)},
        {"Acetic acid", -1, false, 4.756},
        {"Formic acid", -1, true, lambda(54.6)},
        {"Formic acid", -1, false, 3.745},
        {"Tris", 1, true, 29.5, true},
        // Isotachophoretic mobilities: imidazolium (as the example project has
        // it), and zwitterion-forming constituents, which the size rule puts
        // about 20 % too fast.
        {"Imidazole", 1, true, 52.0, true},
        {"Glycine", 1, true, 39.5, true},
        {"epsilon-Aminocaproic acid", 1, true, 28.7, true},
        {"MES", -1, true, 26.8, true},
        {"HEPES", -1, true, 21.8, true},
        // Amino groups at zero ionic strength (the program corrects for it):
        // not the apparent 9.60 and 9.69 at 0.1 M.
        {"Glycine", -1, false, 9.78, true},
        {"Alanine", -1, false, 9.87, true},
        {"Glycine", 1, false, 2.35},
        {"Tris", 1, false, 8.072},
        {"MES", -1, false, 6.270},
        {"HEPES", -1, false, 7.564},
        {"Borate", -1, false, 9.237},
        {"Phosphate", -3, true, lambda(69.0)},
        {"Phosphate", -2, true, lambda(57.0)},
        {"Phosphate", -1, true, lambda(36.0)},
        {"Phosphate", -2, false, 7.198},
        {"Phosphate", -1, false, 2.148},
        {"Carbonate", -1, true, lambda(44.5)},
        {"Carbonate", -1, false, 6.352},
        {"Carbonate", -2, false, 10.329},
        {"Sulfate", -2, true, lambda(80.0)},
        {"Calcium", 2, true, lambda(59.47)},
        {"Citric acid", -3, true, lambda(70.2)},
        {"Oxalic acid", -2, true, lambda(74.11)},
        {"Ammonium", 1, true, lambda(73.5)},
        {"Ammonium", 1, false, 9.245},
        {"Tryptophan", 1, false, 2.38},
        {"Tryptophan", -1, false, 9.39},
        // phosphonic acid H3PO3 gives up two protons (HPO3 2- at pH above 6.7)
        {"Phosphorous acid", -1, false, 1.3},
        {"Phosphorous acid", -2, false, 6.70},
    };
    TUnivSet<TComponents> db;
    ASSERT_TRUE(ReadDatabase(KELVO_DATABASE_FILE, db));
    std::map<std::string, const TComponents*> inDb;
    for (const auto* node = db.Head(); node; node = node->next) inDb[node->data.name] = &node->data;
    std::map<std::string, TableEntry> inTable;
    for (const TableEntry& e : ReadTable()) inTable[e.name] = e;
    for (const Known& k : known) {
        const std::string what =
            std::string(k.name) + (k.mobility ? " u(" : " pKa(") + std::to_string(k.charge) + ")";
        ASSERT_TRUE(inDb.count(k.name) && inTable.count(k.name)) << k.name;
        const TComponents& c = *inDb[k.name];
        const double v = k.mobility ? c.UOf(1, k.charge) : c.PKaOf(1, k.charge);
        EXPECT_NEAR(v, k.value, 0.01 * k.value) << what;
        const TableEntry& e = inTable[k.name];
        const std::size_t i =
            static_cast<std::size_t>(k.charge < 0 ? k.charge + e.n : k.charge + e.n - 1);
        ASSERT_LT(i, e.uKeys.size()) << what;
        ASSERT_LT(i, e.pKaKeys.size()) << what;
        EXPECT_EQ(k.mobility ? e.u[i] : e.pKa[i], v) << what;
        const std::string& key = k.mobility ? e.uKeys[i] : e.pKaKeys[i];
        if (k.given) {
            EXPECT_EQ(key, kGiven) << what;
        } else {
            EXPECT_TRUE(k.mobility ? kMeasuredU.count(key) : kMeasuredPKa.count(key))
                << what << " is marked " << key;
        }
    }
}

// The example project's constituents are the database's entries with the
// same mobilities (written to three digits there).
TEST(ConstituentDatabase, TheExampleProjectHasTheDatabasesMobilities)
{
    TUnivSet<TComponents> db;
    ASSERT_TRUE(ReadDatabase(KELVO_DATABASE_FILE, db));
    std::map<std::string, const TComponents*> inDb;
    for (const auto* node = db.Head(); node; node = node->next) inDb[node->data.name] = &node->data;
    RunState st;
    ComposeExampleDemo(st);
    int compared = 0;
    for (const auto* node = st.Composition.Head(); node; node = node->next) {
        const TComponents& c = node->data;
        ASSERT_TRUE(inDb.count(c.name)) << c.name;
        for (int z = c.minCharge; z <= c.maxCharge; ++z) {
            if (z == 0) continue;
            const double u = inDb[c.name]->UOf(1, z);
            EXPECT_NEAR(c.UOf(1, z), u, 1e-3 * u) << c.name << " " << z;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 5);
}
#endif

// An entry whose charges go beyond what the constituent editor takes (kMaxChargeMagnitude)
// is refused with the whole file; at the limit it is read.
TEST(ConstituentDatabase, ChargesBeyondTheEditorAreRefused)
{
    TempDir tmp;
    const std::string name = tmp.file("wide.dbc");
    for (int n : {kMaxChargeMagnitude, kMaxChargeMagnitude + 1, 10000}) {
        Bytes g;
        g.str("header").raw(std::string(8, '\0')).i32(1).str("Wide").i32(n).i32(n);
        for (int k = 0; k < 4 * n; ++k) g.f64(k < 2 * n ? -10.0 : 5.0);
        WriteBytes(name, g.b);
        TUnivSet<TComponents> db;
        const bool read = ReadDatabase(name, db);
        EXPECT_EQ(read, n <= kMaxChargeMagnitude) << n;
        EXPECT_EQ(db.Count(), n <= kMaxChargeMagnitude ? 1 : 0) << n;
    }
}
