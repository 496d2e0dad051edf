// Text export of all profiles: file names, CR LF lines, no header, and every
// number read back to the very double of the chart, for both decimal
// separators and every separator byte.
#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "files/chart_lines.h"
#include "files/profile_export.h"
#include "foundation/numtext.h"
#include "run_fixture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

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

// The points of an export file compared with the chart's: lines end with CR
// LF; the separator is the last occurrence of `sep` (an x with a decimal comma
// may hold a comma too); y always has a decimal point.
void ExpectSame(const fs::path& p, char sep, char xDecimal, const std::vector<double>& x,
                const std::vector<double>& y, const std::string& what)
{
    const std::string text = ReadBytes(p.string());
    std::size_t pos = 0, i = 0;
    for (; pos < text.size(); ++i) {
        const std::size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << what;
        const std::string line = text.substr(pos, end - pos), xs = line.substr(0, line.rfind(sep)),
                          ys = line.substr(line.rfind(sep) + 1);
        EXPECT_TRUE(line.find_first_of("\r\n") == std::string::npos &&
                    ys.find(',') == std::string::npos &&
                    (xDecimal == ',' || xs.find(',') == std::string::npos))
            << what << line;
        ASSERT_LT(i, y.size()) << what;
        EXPECT_EQ(std::pair(Parse(xs), Parse(ys)), std::pair(x[i], y[i])) << what << " point " << i;
        pos = end + 2;
    }
    EXPECT_EQ(i, y.size()) << what;
}

TEST(ProfileExport, FileNames)
{
    EXPECT_EQ(std::tuple(ExportFileName("sim", 0, "pH"), ExportFileName("sim", 10, "IS"),
                         ExportFileName("det", 3, "a/b\\c")),
              std::tuple("sim00 pH.csv", "sim10 IS.csv", "det03 a_b_c.csv"));
    EXPECT_EQ(ExportLine(0.1, -2.5e-20, ' ', ',', '.'), "0,1 -2.5e-20\r\n");
    EXPECT_EQ(std::tuple(ResolveExportDir("/p/Export Profiles", "run 1"),
                         ResolveExportDir("/p/Export Profiles", "/tmp/x")),
              std::tuple("/p/Export Profiles/run 1", "/tmp/x"));
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
        ExpectSame(sim(0), ch.sep, ch.dec, s.sr_pH.x, s.sr_pH.y, what + " pH");
        std::vector<double> cx, cy;
        for (int j = 0; j <= st.NX; ++j)
            cx.push_back(NodeX(st, j)), cy.push_back(st.Arr.DrawnProfile[1][j]);
        ExpectSame(sim(2), ch.sep, ch.dec, cx, cy, what + " constituent 1");
        ExpectSame(sim(comp + 2), ch.sep, ch.dec, s.sr_E.x, s.sr_E.y, what + " E");
        ExpectSame(dir.path() / "REG FN 1.csv", ch.sep, ch.dec, s.sr_reg[1].x, s.sr_reg[1].y,
                   what + " reg 1");
        // detector files: '.' in both numbers; an empty trace gives an empty file
        auto det = [&](int i) { return dir.path() / ExportFileName("det", i, s.clbDet[i].text); };
        ExpectSame(det(0), ch.sep, '.', s.DET_pH.x, s.DET_pH.y, what + " det pH");
        EXPECT_EQ(fs::file_size(det(1)), 0u);
        // node 1 lies at 25/12 mm: the x text carries the chosen decimal separator
        const std::string text = ReadBytes(sim(0).string());
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
    EXPECT_EQ(ReadBytes(ph.string()).rfind("0,", 0), 0u);

    // a directory that does not exist: the first file fails and the export ends
    const ExportOutcome bad =
        ExportAllProfiles(st, (dir.path() / "missing").string(), ',', '.', true);
    EXPECT_TRUE(!bad.ok && bad.filesWritten == 0 &&
                bad.failedFile.find("sim00") != std::string::npos);
    // no run: nothing is written
    RunState none;
    EXPECT_EQ(ExportAllProfiles(none, dir.path().string(), ',', '.', true).filesWritten, 0);
}

}  // namespace
