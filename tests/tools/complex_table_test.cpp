// The complexation text file written byte by byte from its layout, read back
// in every line-end convention, the default table of a composition, the grid
// of the window, and the set-up's messages for truncated or damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "../files/byte_builder.h"

#include "engine/modes/complex/complex_mode.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"
#include "tools/complex_table.h"

namespace {

using namespace testcomp;

// Ligand -1..1, analytes "Amine" 0..1 and "Acid" -1..0.
TUnivSet<TComponents> Composition()
{
    return SelectorWithAnalytes();
}

const ComplexTable kTable = {{"-1", "1"},
                             {"9.5", "2.25"},
                             {"30", "36", "42"},
                             {"14", "362.5", "205.5"},
                             {"2"},
                             {"30", "-2", "30"},
                             {"30", "-1.5", "-3"},
                             {"30", "30", "30"},
                             {"-0.5", "30", "30"},
                             {"25", "10", "25"},
                             {"25", "12", "8"},
                             {"25", "25", "25"},
                             {"5", "25", "25"}};

// The file as its layout gives it: comment lines and table lines, CR LF ends.
std::string Golden()
{
    const char* lines[] = {
        "# Info: 1) Separator is TAB; 2) Lines starting with '#' are ignored;",
        "# 3) Do not delete any input lines without '#' and if there is no data to input add: 'None'!",
        "# Ligand: nL, pL",
        "-1\t1",
        "# Set of dissoc. const. (pKa) for Ligand: [nL..pL] (not z=0), 'None' for no input",
        "9.5\t2.25",
        "# Ionic mobilities of free ligand ionic forms (including z=0 for diffusion!)",
        "30\t36\t42",
        "# pKw[M^2] uH uOH [1e-9]",
        "14\t362.5\t205.5",
        "# Number of analytes",
        "2",
        "# Complex constants (pKx in M-1): [i=1..Nanalytes][z=ni..pi] (must match n and p range with Kelvo)",
        "# 1: Amine",
        "30\t-2\t30",
        "30\t-1.5\t-3",
        "# 2: Acid",
        "30\t30\t30",
        "-0.5\t30\t30",
        "# Ionic mobility of complexes (ux in 1e-9 m2/V/s) [i=1..Nanalytes][z=ni..pi]",
        "# 1: Amine",
        "25\t10\t25",
        "25\t12\t8",
        "# 2: Acid",
        "25\t25\t25",
        "5\t25\t25",
    };
    std::string s;
    for (const char* l : lines) s += std::string(l) + '\r' + '\n';
    return s;
}

TEST(ComplexFile, WrittenByteByByteAndReadBackInEveryLineEndConvention)
{
    RecordingMessageSink sink;
    TempDir dir;
    const auto comp = Composition();
    EXPECT_EQ(ComplexFileText(kTable, comp), Golden());
    const std::string name = dir.file("p.txt");
    ASSERT_TRUE(SaveComplexFile(name, kTable, comp));
    EXPECT_EQ(ReadBytes(name), Golden());
    EXPECT_EQ(ReadComplexTableFile(name), kTable);

    // LF, CR, blank lines, comments, a tab at a line end, no final line end
    std::string lf, cr;
    for (char c : Golden()) {
        if (c == '\r') continue;
        lf += c;
        cr += c == '\n' ? '\r' : c;
    }
    EXPECT_EQ(ParseComplexTable(lf), kTable);
    EXPECT_EQ(ParseComplexTable(cr), kTable);
    std::string loose = "\r\n\n#comment\tx\n" + lf;
    loose.replace(loose.find("-1\t1\n"), 5, "-1\t1\t\n\n");
    loose.pop_back();
    WriteBytes(name, loose);
    EXPECT_EQ(ReadComplexTableFile(name), kTable);
    EXPECT_EQ(ParseComplexTable("a\t\tb\r\n\tc\r\r\nd", 1), (ComplexTable{{"c"}, {"d"}}));
    EXPECT_TRUE(ReadComplexTableFile(dir.file("missing.txt")).empty());

    // a composition with more forms than the table: the lines that exist
    auto more = comp;
    more.Add(Constituent("Ampholyte", -1, 1, {9, 0, 3}, {20, 0, 20}, Analyte, 0, 1));
    const std::string text = ComplexFileText(kTable, more);
    EXPECT_NE(text.find("# 3: Ampholyte\r\n# Ionic mobility"), std::string::npos);
    EXPECT_EQ(ParseComplexTable(text), kTable);
    EXPECT_TRUE(sink.warnings.empty());
}

// A field keeps its text whatever its length: up to 7 characters in the field
// itself, longer ones on the heap; copied, moved and assigned across that
// boundary, compared with fields, strings and literals, and written to and
// read back from the file unchanged.
TEST(ComplexFile, FieldsKeepTheirTextOnEitherSideOfTheInlineLength)
{
    std::vector<std::string> texts = {"", "1", "None", "30.0000", "-2.00000", "1234567890"};
    texts.push_back(std::string("ab\0cdef", 7));
    texts.push_back(std::string(300, '7'));
    for (const std::string& t : texts) {
        const ComplexField f(t);
        EXPECT_EQ(std::tuple(f.size(), f.empty(), f.Inline(), std::string(f)),
                  std::tuple(t.size(), t.empty(), t.size() <= 7, t));
        EXPECT_TRUE(f == t && t == f && !(f != t));
        const bool cText = t.find('\0') == t.npos;  // the whole text as a C string
        EXPECT_EQ(std::tuple(f == t.c_str(), ComplexField(t.c_str()) == f),
                  std::tuple(cText, cText));
        EXPECT_EQ(t.empty() ? '\0' : f[t.size() - 1], t.empty() ? '\0' : t.back());
        ComplexField copy = f, moved = std::move(copy);
        EXPECT_TRUE(moved == f && copy.empty());
        for (const std::string& other : texts) {
            ComplexField g(other), h(other);
            EXPECT_EQ(f == g, t == other);
            EXPECT_EQ(f != other, t != other);
            g = f;
            h = std::move(g);
            EXPECT_TRUE(h == t && g.empty());
            const ComplexField& same = h;
            h = same;
            EXPECT_EQ(h, f);
        }
    }
    EXPECT_NE(ComplexField("1234567"), "12345678");
    EXPECT_NE(ComplexField("12345678"), ComplexField("12345679"));

    // fields of 7, 8 and many characters through the writer and the readers
    RecordingMessageSink sink;
    TempDir dir;
    const auto comp = Composition();
    ComplexTable table = kTable;
    table[5] = {"30.0000", "-2.00000", "30.00000000000000000000000000000001"};
    std::string golden = Golden();
    golden.replace(golden.find("30\t-2\t30"), 8,
                   "30.0000\t-2.00000\t30.00000000000000000000000000000001");
    const std::string name = dir.file("p.txt");
    ASSERT_TRUE(SaveComplexFile(name, table, comp));
    EXPECT_EQ(ReadBytes(name), golden);
    EXPECT_EQ(ReadComplexTableFile(name), table);
    EXPECT_EQ(ReadTakenComplexTable(name, comp), table);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(ComplexFile, DefaultTableAndGrid)
{
    const auto comp = Composition();
    const ComplexTable t = DefaultComplexTable(comp, "30", "25");
    const ComplexTable expected = {{"-1", "1"},
                                   {"9.5", "2.25"},
                                   {"30", "36", "42"},
                                   {"14", "362.5", "205.5"},
                                   {"2"},
                                   {"30", "30", "30"},
                                   {"30", "30", "30"},
                                   {"30", "30", "30"},
                                   {"30", "30", "30"},
                                   {"25", "25", "25"},
                                   {"25", "25", "25"},
                                   {"25", "25", "25"},
                                   {"25", "25", "25"}};
    EXPECT_EQ(t, expected);
    TUnivSet<TComponents> neutral;
    neutral.Add(Constituent("Sugar", 0, 0, {0}, {0}, BGE, 5, 5));
    neutral.Add(WeakBase("Amine", 8.0, 25, Analyte, 0, 1));
    const ComplexTable n = DefaultComplexTable(neutral, "30", "25");
    using Row = std::vector<std::string>;
    EXPECT_EQ(std::tuple(n[1], n[2], n.size()),
              std::tuple(ComplexRow{"None"}, ComplexRow{"20"}, 9u));
    TUnivSet<TComponents> one;
    one.Add(comp.Get(1));
    EXPECT_TRUE(DefaultComplexTable(one, "30", "25").empty());

    // grid: 2F + 5 rows, pL - nL + 2 columns, "None" in the neutral column
    const ComplexGrid g = ComplexGridFromTable(kTable, -1, 1, comp, "30", "25");
    ASSERT_EQ(std::tuple(g.size(), g[0].size()), std::tuple(13u, 4u));
    EXPECT_EQ(std::tuple(g[0], g[1], g[2], g[3][0], g[8][0]),
              std::tuple(Row{"Name \\ zL", "-1", "0", "1"},
                         Row{"Free ligand pKa (M)", "9.5", "None", "2.25"},
                         Row{"Free ligand u (1e-9)", "30", "36", "42"}, "pKx (M^-1)", "ux (1e-9)"));
    EXPECT_EQ(std::tuple(g[4], g[5], g[12]),
              std::tuple(Row{"  Amine; z = 0", "30", "-2", "30"},
                         Row{"    z = 1", "30", "-1.5", "-3"}, Row{"    z = 0", "5", "25", "25"}));
    EXPECT_EQ(ComplexTableFromGrid(g, -1, 1, "14", "362.5", "205.5", 2), kTable);

    // all charges negative / positive: "None" at the end / start; missing "-"
    const ComplexGrid neg =
        ComplexGridFromTable({{"-2", "-1"}, {"4"}, {"30"}}, -2, -1, comp, "30", "25");
    // (beyond the table: the defaults)
    EXPECT_EQ(
        std::tuple(neg[1], neg[2], neg[4], neg[9]),
        std::tuple(Row{"Free ligand pKa (M)", "4", "None"}, Row{"Free ligand u (1e-9)", "30", "-"},
                   Row{"  Amine; z = 0", "30", "30"}, Row{"  Amine; z = 0", "25", "25"}));
    const ComplexGrid pos = ComplexGridFromTable({{"1", "2"}, {"5"}}, 1, 2, comp, "30", "25");
    EXPECT_EQ(pos[1], (Row{"Free ligand pKa (M)", "None", "5"}));
    // an emptied cell is written "None", so the fields after it keep their place
    ComplexGrid edited = g;
    edited[4][2] = edited[2][1] = "";
    const ComplexTable back = ComplexTableFromGrid(edited, -1, 1, "14", "", "205.5", 2);
    EXPECT_EQ(std::tuple(back[5], back[2], back[3]),
              std::tuple(ComplexRow{"30", "None", "30"}, ComplexRow{"None", "36", "42"},
                         ComplexRow{"14", "None", "205.5"}));
}

// What the window and the default table build is a table the reader takes:
// a typed number beyond its kind (a mobility of 1e308, a subnormal pKx) and a
// ligand constant of the composition that is no pK of a table become "None",
// which the set-up lists; the other cells stay as typed.
TEST(ComplexFile, TheWindowsTableHoldsOnlyNumbersTheReaderTakes)
{
    using Row = ComplexRow;
    const auto comp = Composition();
    ComplexGrid g = ComplexGridFromTable(kTable, -1, 1, comp, "30", "25");
    g[4][1] = "4.9e-324";  // pKx of the amine's first form
    g[9][3] = "1e308";     // ux of the amine's first form
    g[2][2] = "-2e6";      // ligand mobility
    g[5][1] = "#5";        // a first field the file would read as a comment
    g[6][2] = "1\t2";      // two fields in the file
    const ComplexTable t = ComplexTableFromGrid(g, -1, 1, "301", "1e308", "205.5", 2);
    EXPECT_TRUE(ComplexTableReadable(t));
    EXPECT_EQ(std::tuple(t[2], t[3], t[5], t[6][0], t[7][1], t[9]),
              std::tuple(Row{"30", "None", "42"}, Row{"None", "None", "205.5"},
                         Row{"None", "-2", "30"}, "None", "None", Row{"25", "10", "None"}));
    // The window puts every such cell back as it was laid, and names each
    // in the grid's terms with its value; the cells not typed stay.
    const ComplexGrid laid = ComplexGridFromTable(kTable, -1, 1, comp, "30", "25");
    ComplexGrid typed = g;
    typed[1][2] = "7";      // the neutral ligand has no pKa
    typed[10][1] = "-5";    // a negative mobility, which Init would list
    typed[10][2] = "abc";   // no number
    typed[11][1] = "None";  // a missing value, which is taken
    EXPECT_EQ(RevertRefusedCells(typed, laid, -1, 1, comp),
              "Complex Mode: Incorrect value \"7\" of Free ligand pKa (M), zL = 0.\n"
              "Complex Mode: Incorrect value \"-2e6\" of Free ligand u (1e-9), zL = 0.\n"
              "Complex Mode: Incorrect value \"4.9e-324\" of pKx (M^-1), Amine; z = 0, zL = -1.\n"
              "Complex Mode: Incorrect value \"#5\" of pKx (M^-1), Amine; z = 1, zL = -1.\n"
              "Complex Mode: Incorrect value \"1\t2\" of pKx (M^-1), Acid; z = -1, zL = 0.\n"
              "Complex Mode: Incorrect value \"1e308\" of ux (1e-9), Amine; z = 0, zL = 1.\n"
              "Complex Mode: Incorrect value \"-5\" of ux (1e-9), Amine; z = 1, zL = -1.\n"
              "Complex Mode: Incorrect value \"abc\" of ux (1e-9), Amine; z = 1, zL = 0.");
    ComplexGrid expected = laid;
    expected[11][1] = "None";
    EXPECT_EQ(typed, expected);
    TUnivSet<TComponents> odd = comp;
    odd[1].pKa[1][0] = 1e308;
    const ComplexTable d = DefaultComplexTable(odd, "30", "4.9e-324");
    EXPECT_TRUE(ComplexTableReadable(d));
    EXPECT_EQ(std::tuple(d[1], d[9]), std::tuple(Row{"None", "2.25"}, Row{"None", "None", "None"}));
    // The pK lines end where the mobility lines begin: 301, beyond any pK but
    // a mobility, is refused in the last pKx line and taken in the first ux
    // line. The ligand's pKa line holds one field per charge but 0 (two for
    // -1..1), a neutral ligand's "None" alone.
    ComplexTable lastPK = kTable, firstU = kTable, threePKa = kTable;
    lastPK[8][0] = firstU[9][0] = "301";
    threePKa[1].push_back("4");
    EXPECT_EQ(std::tuple(ComplexTableReadable(lastPK), ComplexTableReadable(firstU),
                         ComplexTableReadable(threePKa)),
              std::tuple(false, true, false));
    EXPECT_TRUE(ComplexTableReadable({{"0", "0"}, {"None"}}));
    EXPECT_FALSE(ComplexTableReadable({{"0", "0"}, {"None", "None"}}));
    // Ligand charges out of order bound the lines as the widest ligand does,
    // as the file's reader counts them: the analyte count stays one field.
    EXPECT_FALSE(
        ComplexTableReadable({{"30", "-2"}, {"1"}, {"2"}, {"14", "362", "205"}, {"1", "2"}}));
    // Only that bound decides for charges 1, -1: a line of the widest
    // ligand's 65 fields is taken, one of 66 is not, by the rule and the
    // file's reader alike.
    const ComplexTable order = {{"1", "-1"}, {"None"},     {"20"}, {"14", "362.5", "205.5"},
                                {"1"},       Row(65, "30")};
    ComplexTable wider = order;
    wider[5].push_back("30");
    TempDir dir;
    const auto file = [&](const ComplexTable& table) {
        std::string text;
        for (const auto& line : table) {
            for (std::size_t k = 0; k < line.size(); ++k)
                text += (k ? "\t" : "") + std::string(line[k].view());
            text += "\r\n";
        }
        WriteBytes(dir.file("order.txt"), text);
        return dir.file("order.txt");
    };
    EXPECT_TRUE(ComplexTableReadable(order));
    EXPECT_EQ(ReadTakenComplexTable(file(order)), order);
    EXPECT_EQ(ComplexTableValuesRefusal(wider),
              "Complex Mode: Incorrect value \"30\" of ux (1e-9), form 1, zL = 66.");
    EXPECT_EQ(RaisedMessage([&] { ReadTakenComplexTable(file(wider)); }), "Incorrect file.");
}

TEST(ComplexFile, TruncatedAndDamagedFilesGiveTheSetUpsMessages)
{
    RecordingMessageSink sink;
    TempDir dir;
    RunState st;
    PrepareRun(st, Composition(), 20);
    st.cbComplex = true;
    const std::string name = dir.file("p.txt");
    ASSERT_TRUE(SaveComplexFile(name, kTable, st.Composition));
    st.TxtTable = ReadComplexTableFile(name);
    ASSERT_TRUE(InitCalc(st));
    EXPECT_TRUE(sink.warnings.empty());

    // the last line cut off
    const std::string full = ReadBytes(name);
    WriteBytes(name, full.substr(0, full.rfind("\r\n5\t25") + 2));
    st.TxtTable = ReadComplexTableFile(name);
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(
        sink.warnings,
        std::vector<std::string>{
            "Complex Mode: Number of analyte forms (composition) was changed - Set complex table."});
    // an empty file
    sink.Clear();
    WriteBytes(name, "");
    st.TxtTable = ReadComplexTableFile(name);
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Complex Mode: No complex data!"});
    // damaged numbers: defaults, listed by line and column
    sink.Clear();
    std::string damaged = full;
    damaged.replace(damaged.find("30\t-1.5\t-3"), 10, "30\t-1.5\tz");
    damaged.replace(damaged.find("9.5\t2.25"), 8, "9.5\t2,2x");
    WriteBytes(name, damaged);
    st.TxtTable = ReadComplexTableFile(name);
    EXPECT_TRUE(InitCalc(st));
    EXPECT_EQ(
        sink.warnings,
        std::vector<std::string>{
            "Complex INIT: One or more errors were found in the txt table on following lines:\n"
            "2 (col = 2)\n7 (col = 3)\n"});
    // A number beyond its kind (a complexes' mobility of 1e308): the reader
    // refuses the file, and Init refuses the table handed to it directly, by
    // the one rule, in the words the window uses.
    sink.Clear();
    std::string huge = full;
    huge.replace(huge.find("25\t10\t25"), 8, "25\t1e308\t25");
    WriteBytes(name, huge);
    EXPECT_EQ(RaisedMessage([&] { ReadTakenComplexTable(name); }), "Incorrect file.");
    st.TxtTable = ReadComplexTableFile(name);
    const std::string why =
        "Complex Mode: Incorrect value \"1e308\" of ux (1e-9), Amine; z = 0, zL = 0.";
    EXPECT_EQ(ComplexTableValuesRefusal(st.TxtTable, st.Composition), why);
    EXPECT_FALSE(InitCalc(st));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{why});
}

TEST(ComplexFile, SavedAndOpenedAsTheProjectsCompanion)
{
    RecordingMessageSink sink;
    TempDir dir;
    RunState st;
    PrepareRun(st, Composition(), 20);
    st.PsqFileOwn = dir.file("own.psq");
    st.cbComplex = true;
    st.TxtTable = kTable;
    ASSERT_TRUE(InitCalc(st)) << sink.warnings.at(0);
    const std::string name = dir.file("proj.sna");
    ASSERT_TRUE(SaveSnaFile(st, name));
    EXPECT_EQ(ReadBytes(dir.file("proj.txt")), Golden());

    RunState opened;
    opened.PsqFileOwn = dir.file("own2.psq");
    ASSERT_TRUE(OpenProject(opened, name)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_EQ(std::tuple(opened.cbComplex, opened.TxtTable), std::tuple(true, kTable));
    // without the companion the mode is off
    ASSERT_TRUE(std::remove(dir.file("proj.txt").c_str()) == 0);
    RunState plain;
    plain.PsqFileOwn = dir.file("own3.psq");
    plain.cbComplex = true;
    ASSERT_TRUE(OpenProject(plain, name));
    EXPECT_FALSE(plain.cbComplex);
}

}  // namespace
