// Text export of all profiles: file names, CR LF lines, no header, and every
// number read back to the very double of the chart, for both decimal
// separators and every separator byte.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/chart_lines.h"
#include "files/profile_export.h"
#include "foundation/numtext.h"
#include "run_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A number text with '.' or ',' as decimal point, read strictly.
double Parse(std::string t)
{
    for (char& c : t)
        if (c == ',') c = '.';
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    EXPECT_TRUE(r.ec == std::errc() && r.ptr == t.data() + t.size()) << t;
    return v;
}

// The points of an export file: lines end with CR LF; the separator is the
// last occurrence of `sep` (an x with a decimal comma may hold a comma too).
std::vector<std::pair<double, double>> ReadBack(const fs::path& p, char sep, char xDecimal,
                                                char yDecimal)
{
    const std::string text = Slurp(p);
    std::vector<std::pair<double, double>> points;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << p;
        if (end == std::string::npos) break;
        const std::string line = text.substr(pos, end - pos);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        const std::size_t cut = line.rfind(sep);
        const std::string xs = line.substr(0, cut), ys = line.substr(cut + 1);
        if (xDecimal == '.') {
            EXPECT_EQ(xs.find(','), std::string::npos) << line;
        }
        if (yDecimal == '.') {
            EXPECT_EQ(ys.find(','), std::string::npos) << line;
        }
        points.emplace_back(Parse(xs), Parse(ys));
        pos = end + 2;
    }
    return points;
}

void ExpectSame(const std::vector<std::pair<double, double>>& got, const std::vector<double>& x,
                const std::vector<double>& y, const std::string& what)
{
    ASSERT_EQ(got.size(), y.size()) << what;
    for (std::size_t i = 0; i < y.size(); ++i) {
        EXPECT_EQ(got[i].first, x[i]) << what << " point " << i;
        EXPECT_EQ(got[i].second, y[i]) << what << " point " << i;
    }
}

TEST(ProfileExport, FileNames)
{
    EXPECT_EQ(ExportFileName("sim", 0, "pH"), "sim00 pH.csv");
    EXPECT_EQ(ExportFileName("sim", 9, "E"), "sim09 E.csv");
    EXPECT_EQ(ExportFileName("sim", 10, "IS"), "sim10 IS.csv");
    EXPECT_EQ(ExportFileName("det", 3, "a/b\\c"), "det03 a_b_c.csv");
    EXPECT_EQ(ExportLine(0.1, -2.5e-20, ' ', ',', '.'), "0,1 -2.5e-20\r\n");
    EXPECT_EQ(ResolveExportDir("/p/Export Profiles", "run 1"), "/p/Export Profiles/run 1");
    EXPECT_EQ(ResolveExportDir("/p/Export Profiles", "/tmp/x"), "/tmp/x");
    EXPECT_EQ(ExportDoneMessage("/p/Export Profiles", "run 1"),
              "CSV files are successfully saved! \nDIR: /p/Export Profiles/run 1");
    EXPECT_EQ(ExportDirExistsQuestion("run 1"), "Directory run 1 already exists!\nContinue?");
}

TEST(ProfileExport, EveryCurveReadsBackToTheSameDoubles)
{
    HostedRun run;
    run.Init(12);
    RunState& st = run.st;
    RunSeries& s = st.Series;
    // awkward doubles in the chart: thirds, tiny and huge values
    for (int j = 0; j <= st.NX; ++j) {
        s.sr_pH.y[j] = 4.7 + j / 3.0;
        st.Arr.DrawnProfile[1][j] = 1e-300 * (j + 1) / 7.0;
        s.sr_E.y[j] = -1.0 / (j + 3) * 1e21;
        s.sr_reg[1].y[j] = 0.1 * j;
    }
    s.DET_pH.Add(1.0 / 60, 4.75);
    s.DET_pH.Add(2.0 / 60, 4.8);
    const int comp = st.NComp;
    // the list with every additional profile (E, IS, S, T, P, j, ...)
    while (static_cast<int>(s.clbGraph.size()) < comp + 13)
        s.clbGraph.push_back({"Profile " + std::to_string(s.clbGraph.size())});

    struct Choice {
        char sep, dec;
    };
    for (const Choice ch :
         {Choice{',', ','}, Choice{'\t', '.'}, Choice{' ', ','}, Choice{',', '.'}}) {
        TempDir dir;
        const ExportOutcome out = ExportAllProfiles(st, dir.path().string(), ch.sep, ch.dec, true);
        ASSERT_TRUE(out.ok);
        const std::string what = std::string("separator ") + ch.sep + " decimal " + ch.dec;
        // one file per list item and six regulating functions, nothing else left behind
        int files = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) {
            ++files;
            EXPECT_EQ(e.path().extension(), ".csv") << e.path();
        }
        EXPECT_EQ(files, static_cast<int>(s.clbGraph.size() + s.clbDet.size()) + 6) << what;
        EXPECT_EQ(out.filesWritten, files);
        // the names sort in list order
        EXPECT_TRUE(fs::exists(dir.path() / ("sim09 " + s.clbGraph[9].text + ".csv")));
        EXPECT_TRUE(fs::exists(dir.path() / ("sim10 " + s.clbGraph[10].text + ".csv")));

        // profile files: x with the chosen decimal separator, y with '.'
        auto sim = [&](int i) { return dir.path() / ExportFileName("sim", i, s.clbGraph[i].text); };
        ExpectSame(ReadBack(sim(0), ch.sep, ch.dec, '.'), s.sr_pH.x, s.sr_pH.y, what + " pH");
        std::vector<double> cx, cy;
        for (int j = 0; j <= st.NX; ++j) {
            cx.push_back(NodeX(st, j));
            cy.push_back(st.Arr.DrawnProfile[1][j]);
        }
        ExpectSame(ReadBack(sim(2), ch.sep, ch.dec, '.'), cx, cy, what + " constituent 1");
        ExpectSame(ReadBack(sim(comp + 2), ch.sep, ch.dec, '.'), s.sr_E.x, s.sr_E.y, what + " E");
        ExpectSame(ReadBack(dir.path() / "REG FN 1.csv", ch.sep, ch.dec, '.'), s.sr_reg[1].x,
                   s.sr_reg[1].y, what + " reg 1");
        // detector files: '.' in both numbers; an empty trace gives an empty file
        auto det = [&](int i) { return dir.path() / ExportFileName("det", i, s.clbDet[i].text); };
        ExpectSame(ReadBack(det(0), ch.sep, '.', '.'), s.DET_pH.x, s.DET_pH.y, what + " det pH");
        EXPECT_EQ(fs::file_size(det(1)), 0u);
        // node 1 lies at 25/12 mm: the x text carries the chosen decimal separator
        const std::string text = Slurp(sim(0));
        EXPECT_EQ(text.rfind(std::string("0") + ch.sep + "4.7\r\n2" + ch.dec + "08333", 0), 0u)
            << text;
    }
}

TEST(ProfileExport, RulesOfTheLists)
{
    HostedRun run;
    run.Init(12);
    RunState& st = run.st;
    TempDir dir;
    // an item beyond the table gets an empty file and ends the list
    while (static_cast<int>(st.Series.clbGraph.size()) < st.NComp + 13)
        st.Series.clbGraph.push_back({"P"});
    st.Series.clbGraph.push_back({"Extra"});
    st.Series.clbGraph.push_back({"After"});
    const int extra = static_cast<int>(st.Series.clbGraph.size()) - 2;
    // an older file of the same name is replaced
    const fs::path ph = dir.path() / ExportFileName("sim", 0, st.Series.clbGraph[0].text);
    std::ofstream(ph) << "old";
    ASSERT_TRUE(ExportAllProfiles(st, dir.path().string(), ',', '.', false).ok);
    EXPECT_EQ(fs::file_size(dir.path() / ExportFileName("sim", extra, "Extra")), 0u);
    EXPECT_FALSE(fs::exists(dir.path() / ExportFileName("sim", extra + 1, "After")));
    EXPECT_FALSE(fs::exists(dir.path() / "REG FN 1.csv"));
    EXPECT_EQ(Slurp(ph).rfind("0,", 0), 0u);

    // a directory that does not exist: the first file fails and the export ends
    const ExportOutcome bad =
        ExportAllProfiles(st, (dir.path() / "missing").string(), ',', '.', true);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.filesWritten, 0);
    EXPECT_NE(bad.failedFile.find("sim00"), std::string::npos);
    // no run: nothing is written
    RunState none;
    EXPECT_EQ(ExportAllProfiles(none, dir.path().string(), ',', '.', true).filesWritten, 0);
}

}  // namespace
