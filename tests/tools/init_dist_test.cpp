#include "tools/init_dist.h"

#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace {

// Current profiles of two constituents on `nodes` nodes: 1000 k + node.
std::vector<std::vector<double>> Current(int nodes)
{
    std::vector<std::vector<double>> c(2);
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < nodes; ++i)
            c[static_cast<std::size_t>(k)].push_back(1000.0 * (k + 1) + i);
    return c;
}

DistTable Table(int segments, int left, int right, const std::vector<std::string>& widths,
                const std::vector<std::string>& types, int constituents = 2)
{
    std::vector<std::string> names;
    for (int k = 1; k <= constituents; ++k) names.push_back("C" + std::to_string(k));
    DistTable t = MakeDistTable(names, segments, left, right);
    for (int j = 1; j <= segments; ++j) {
        t.Width[static_cast<std::size_t>(j)] = widths[static_cast<std::size_t>(j - 1)];
        t.Type[static_cast<std::size_t>(j)] = types[static_cast<std::size_t>(j - 1)];
    }
    return t;
}

// Values k of the current profile at nodes from..to-1.
std::vector<double> Nodes(int k, int from, int to)
{
    std::vector<double> v;
    for (int i = from; i < to; ++i) v.push_back(1000.0 * k + i);
    return v;
}

std::vector<double> Join(std::vector<double> a, const std::vector<double>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(InitDist, GridCheckAndProfilesOfHandCases)
{
    // One middle "U" of width 0 on 201 nodes takes all of them.
    DistTable t = Table(1, 0, 0, {"0"}, {"U"});
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 201), t.Width[1]), std::tuple(201, "201"));
    auto p = BuildDistProfiles(t, 201, Current(201), 201);
    EXPECT_EQ(p[1], Nodes(2, 0, 201));

    // A left "C" of 50 nodes at 2 mM, then the old profiles.
    t = Table(2, 1, 0, {"50", "0"}, {"U", "U"});
    for (int k = 1; k <= 2; ++k) t.Cell[k][1] = "2";
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 100), t.Type[1], t.Cell[1][1]),
              std::tuple(150, "C", "2"));
    p = BuildDistProfiles(t, 150, Current(100), 100);
    EXPECT_EQ(p[0], Join(std::vector<double>(50, 2.0), Nodes(1, 0, 100)));

    // A middle "D" of 20 nodes removes them; a "U" cell in a "C" segment keeps
    // that constituent's nodes, a number fills, anything else gives 0.
    t = Table(4, 0, 0, {"30", "20", "10", "x"}, {"u", "d", "C", "U"});
    t.Cell[1][3] = "U";
    t.Cell[2][3] = "5,5";
    t.Cell[2][2] = "7";
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 100), t.Width[4], t.Cell[2][2]),
              std::tuple(80, "40", "D"));
    p = BuildDistProfiles(t, 80, Current(100), 100);
    EXPECT_EQ(p[0], Join(Nodes(1, 0, 30), Nodes(1, 50, 100)));
    EXPECT_EQ(p[1], Join(Join(Nodes(2, 0, 30), std::vector<double>(10, 5.5)), Nodes(2, 60, 100)));
    t.Cell[2][3] = "abc";
    EXPECT_EQ(BuildDistProfiles(t, 80, Current(100), 100)[1][35], 0.0);

    // Too wide: taken from the right, a deleted segment counts to no new node.
    t = Table(2, 0, 0, {"50", "80"}, {"U", "D"});
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 100), t.Width[2]), std::tuple(50, "50"));
    t = Table(3, 0, 0, {"60", "-5", "70"}, {"U", "C", "U"});
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 100), t.Width[1], t.Width[2], t.Width[3]),
              std::tuple(100, "60", "0", "40"));
    // Too narrow with a deleted last middle segment: the nodes are deleted.
    t = Table(2, 0, 0, {"10", "10"}, {"U", "D"});
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 30), t.Width[2]), std::tuple(10, "20"));
    EXPECT_EQ(BuildDistProfiles(t, 10, Current(30), 30)[0], Nodes(1, 0, 10));

    // A constituent added since the last Init: "0" in the kept segments and
    // outside, never a current profile.
    t = Table(3, 1, 1, {"5", "0", "5"}, {"U", "U", "D"}, 3);
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 1, 20), t.Type[2], t.Cell[1][2], t.Cell[3][2],
                         t.Cell[3][1], t.Type[3]),
              std::tuple(30, "C", "U", "0", "0", "C"));
    t.Cell[3][2] = "U";  // typed by the user: no profile to keep
    p = BuildDistProfiles(t, 30, Current(20), 20);
    EXPECT_EQ(p[2], std::vector<double>(30, 0.0));
    EXPECT_EQ(p[0], Join(Join(std::vector<double>(5, 0.0), Nodes(1, 0, 20)),
                         std::vector<double>(5, 0.0)));

    // Outer segments only: the widths stay as typed, the titles untouched.
    t = Table(2, 1, 1, {"7", "8"}, {"U", "U"});
    EXPECT_EQ(std::tuple(NormalizeDistTable(t, 0, 100), t.Width[0]),
              std::tuple(15, "Width (Nodes)"));
    EXPECT_EQ(MakeDistTable({"a"}, 2, 2, 2).RightSegCount, 0);
}

TEST(InitDist, RandomTablesCoverTheCurrentNodesAndFillTheNewSize)
{
    std::mt19937 rng(12345);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const std::vector<std::string> types{"U", "C", "D", "u", "c", "d", "x", ""};
    const std::vector<std::string> cells{"U", "D", "0", "2.5", "x", "", "-1"};
    for (int run = 0; run < 2000; ++run) {
        const int S = pick(1, 8), L = pick(0, S), R = pick(0, S - L), count = pick(1, 4);
        const int nodes = pick(1, 300), newConst = pick(0, count);
        std::vector<std::string> widths, ty;
        for (int j = 0; j < S; ++j) {
            const int w = pick(-20, 250);
            widths.push_back(pick(0, 9) == 0 ? "abc" : std::to_string(w));
            ty.push_back(types[static_cast<std::size_t>(pick(0, 7))]);
        }
        DistTable t = Table(S, L, R, widths, ty, count);
        for (int k = 1; k <= count; ++k)
            for (int j = 1; j <= S; ++j) t.Cell[k][j] = cells[static_cast<std::size_t>(pick(0, 6))];
        const int size = NormalizeDistTable(t, newConst, nodes);
        long long middle = 0, kept = 0;
        for (int j = 1; j <= S; ++j) {
            const int w = t.WidthOf(j);
            ASSERT_GE(w, 0);
            ASSERT_EQ(t.Width[j], std::to_string(w));
            if (t.Outer(j))
                ASSERT_EQ(t.Type[j], "C");
            else
                middle += w;
            if (t.Outer(j) || t.TypeOf(j) != 'D') kept += w;
            for (int k = 1; k <= count; ++k) {
                ASSERT_EQ(t.Cell[k][j] == "D", !t.Outer(j) && t.TypeOf(j) == 'D');
                ASSERT_FALSE(t.Outer(j) && t.Cell[k][j] == "U");
            }
        }
        ASSERT_TRUE(S - L - R == 0 || middle == nodes) << run;
        ASSERT_EQ(size, kept);
        std::vector<std::vector<double>> cur(static_cast<std::size_t>(count - newConst));
        for (auto& row : cur)
            for (int i = 0; i < nodes; ++i) row.push_back(i + 1.0);
        const auto p = BuildDistProfiles(t, size, cur, nodes);
        ASSERT_EQ(p.size(), static_cast<std::size_t>(count));
        for (const auto& row : p) ASSERT_EQ(row.size(), static_cast<std::size_t>(size));
        // A table made only of kept middle segments reproduces the profiles.
        bool allKept = newConst == 0 && L == 0 && R == 0;
        for (int j = 1; j <= S; ++j) allKept = allKept && t.TypeOf(j) == 'U';
        ASSERT_TRUE(!allKept || p[0] == cur[0]);
    }
}

TEST(InitDist, PreviewApplyAndInitFromTheTableGiveTheSameProfiles)
{
    RecordingMessageSink sink;
    RunState st;
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 40);
    ASSERT_TRUE(InitCalc(st));
    const double dx = st.DX;
    std::vector<std::vector<double>> before;
    for (int k = 1; k <= st.NComp; ++k) before.emplace_back(st.Arr.C(2, k), st.Arr.C(2, k) + 41);

    InitDistTool tool(st);
    EXPECT_EQ(InitDistTool::OpenRefusal(st), "");
    ASSERT_TRUE(tool.EditSegCount("2") && tool.EditLeftSegCount("1"));
    EXPECT_FALSE(tool.EditRightSegCount("2"));
    st.Running = true;
    EXPECT_FALSE(tool.Create());
    EXPECT_EQ(sink.warnings.back(), "START is active");
    st.Running = false;
    // A left plateau of 10 nodes at 2 mM before the 41 nodes of the run.
    auto create = [&] {
        ASSERT_TRUE(tool.Create());
        tool.Table.Width[1] = "10";
        for (int k = 1; k <= st.NComp; ++k) tool.Table.Cell[k][1] = "2";
        tool.TableEdited();
        EXPECT_EQ(std::tuple(tool.NewSize, tool.Table.Width[2]), std::tuple(51, "41"));
        ASSERT_TRUE(tool.Preview());
    };
    // Cancel after a preview restores the length and the run's series.
    create();
    EXPECT_TRUE(st.DistPreview);
    EXPECT_DOUBLE_EQ(st.CapLength, 50 * dx);
    const ChartSeries& s2 = st.Series.srComp[2];
    EXPECT_EQ(std::tuple(tool.CapLengthText(), s2.Count(), s2.y[9], s2.y[10]),
              std::tuple("Capillary Length = 31.25 mm", 51, 2.0, before[1][0]));
    tool.Close();
    EXPECT_FALSE(st.DistPreview);
    EXPECT_DOUBLE_EQ(st.CapLength, 0.025);
    EXPECT_DOUBLE_EQ(st.CapLengthPending, 0.025);
    // Drawn from the run again.
    EXPECT_EQ(std::tuple(st.Series.srComp.size(), st.Series.srComp[2].Count()),
              std::tuple(st.NComp + 1u, 0));

    // Preview and Apply: a grid of 51 nodes with the plateau at the left.
    create();
    st.Time = 12.5;
    tool.CopyTime = true;
    st.Running = true;
    EXPECT_FALSE(tool.Apply());
    st.Running = false;
    ASSERT_TRUE(tool.Apply());
    tool.Close();
    EXPECT_EQ(std::tuple(st.NX, st.Time, st.DiffMode), std::tuple(50, 12.5, true));
    EXPECT_DOUBLE_EQ(st.CapLength, 50 * dx);
    std::vector<std::vector<double>> applied;
    for (int k = 1; k <= st.NComp; ++k) {
        applied.emplace_back(st.Arr.C(2, k), st.Arr.C(2, k) + 51);
        EXPECT_EQ(applied.back(),
                  Join(std::vector<double>(10, 2.0), before[static_cast<std::size_t>(k - 1)]));
    }
    ASSERT_EQ(st.CompInit.Head()->data.tableCount, 51);
    EXPECT_EQ(st.Composition.Head()->data.table[11], before[0][0]);

    // Init again: the table-defined profiles give the same level 2.
    ASSERT_TRUE(InitCalc(st));
    for (int k = 1; k <= st.NComp; ++k)
        EXPECT_EQ(std::vector<double>(st.Arr.C(2, k), st.Arr.C(2, k) + 51),
                  applied[static_cast<std::size_t>(k - 1)]);
}

TEST(InitDist, MinimumSizeNewConstituentsAndRefusals)
{
    RecordingMessageSink sink;
    RunState st;
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 40);
    ASSERT_TRUE(InitCalc(st));
    InitDistTool tool(st);
    tool.EditSegCount("2");
    ASSERT_TRUE(tool.Create());
    // 10 nodes kept, the other 31 deleted: refused; 11 proceeds.
    tool.Table.Width[1] = "10";
    tool.Table.Type[2] = "D";
    tool.TableEdited();
    EXPECT_EQ(tool.NewSize, 10);
    ASSERT_TRUE(tool.Preview());
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(std::tuple(sink.warnings.back(), st.NX),
              std::tuple("Increase Total Number of Nodes to Proceed!\nMinimum Value is 11.", 40));
    tool.Table.Width[1] = "11";
    tool.TableEdited();
    EXPECT_FALSE(tool.ApplyEnabled);
    ASSERT_TRUE(tool.Preview());
    ASSERT_TRUE(tool.Apply());
    EXPECT_EQ(st.NX, 10);
    tool.Close();

    // Everything deleted: no preview.
    ASSERT_TRUE(tool.Create());
    tool.Table.Type[1] = tool.Table.Type[2] = "D";
    tool.TableEdited();
    EXPECT_EQ(tool.NewSize, 0);
    EXPECT_FALSE(tool.Preview() || st.DistPreview);

    // Typed values: a width that is no count becomes 0 and is named; a cell
    // that is no concentration refuses the preview, named by its constituent
    // and segment; a segment count beyond the tool's is refused.
    sink.Clear();
    tool.Table.Type[1] = "C";
    tool.Table.Width[1] = "abc";
    tool.TableEdited();
    EXPECT_EQ(std::pair(tool.Table.Width[1], sink.warnings),
              std::pair(std::string("0"), std::vector<std::string>{FieldRefusedText(
                                              "Width (Nodes) of segment 1", "abc",
                                              FieldRange{0, 1 << 30, true, true})}));
    tool.Table.Width[1] = "20";
    for (const char* text : {"-5", "abc", "1e308", "NaN"}) {
        tool.Table.Cell[2][1] = text;
        sink.Clear();
        EXPECT_FALSE(tool.Preview() || st.DistPreview) << text;
        EXPECT_EQ(sink.warnings,
                  std::vector<std::string>{FieldRefusedText(
                      tool.Table.Names[2] + " (mM) in segment 1", text, kConcentrationRange)});
    }
    sink.Clear();
    EXPECT_FALSE(tool.EditSegCount("1001") || tool.EditSegCount("abc"));
    EXPECT_EQ(sink.warnings.size(), 2u);

    // A constituent added after the Init.
    st.Composition.Add(testcomp::StrongCation("Li", testcomp::kULi, testcomp::Analyte, 1.0, 0.0));
    sink.Clear();
    tool.EditSegCount("1");
    ASSERT_TRUE(tool.Create());
    EXPECT_EQ(
        sink.warnings,
        (std::vector<std::string>{
            "New profiles will be dispayed incorrectly but after <APPLY> it will work correctly."}));
    EXPECT_EQ(std::tuple(tool.NewConstCount, sink.messages.size(), tool.Table.Type[1],
                         tool.Table.Cell[5][1], st.Series.srComp.size(), st.Series.srComp[5].title),
              std::tuple(1, 1u, "C", "0", 6u, "Li (x-scale)"));
    ASSERT_TRUE(tool.Preview());
    ASSERT_TRUE(tool.Apply());
    EXPECT_EQ(std::tuple(st.NComp, st.Arr.C(2, 5)[3]), std::tuple(5, 0.0));
    tool.Close();

    // A run rebuilt behind the preview (the engine's Init, past every window):
    // Apply and Cancel say so and change nothing; the rebuilt run keeps its
    // grid and length, and the next preview starts from them.
    tool.EditSegCount("2");
    tool.EditLeftSegCount("1");
    ASSERT_TRUE(tool.Create());
    tool.Table.Width[1] = "5";
    tool.TableEdited();
    // Frames the player shows would go over the preview.
    st.PsqPlayerInUse = true;
    EXPECT_FALSE(tool.Preview() || st.DistPreview);
    EXPECT_EQ(sink.warnings.back(), kPlayerInUse);
    st.PsqPlayerInUse = false;
    ASSERT_TRUE(tool.Preview());
    ASSERT_TRUE(InitCalc(st));
    auto grid = [&st] { return std::tuple(st.NX, st.CapLength, st.CapLengthPending); };
    auto rebuilt = grid();
    sink.Clear();
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(grid(), rebuilt);
    ASSERT_TRUE(tool.Preview());
    EXPECT_DOUBLE_EQ(st.CapLength, (st.NX + 5) * std::get<1>(rebuilt) / st.NX);
    ASSERT_TRUE(InitCalc(st));
    rebuilt = grid();
    tool.Close();
    EXPECT_EQ(sink.warnings, std::vector<std::string>(2, kDistRunChanged));
    EXPECT_EQ(grid(), rebuilt);

    // An Apply whose Init fails after it released the run (a constituent the
    // distribution cannot lay out): the Init took the previewed grid, which
    // stays the set-up with the node spacing of before; no preview is left,
    // and the tool says so rather than put the old length back.
    const double dx = st.DX;
    ASSERT_TRUE(tool.Create());
    tool.Table.Width[1] = "5";
    tool.TableEdited();
    ASSERT_TRUE(tool.Preview());
    const auto previewed = grid();
    const int mode = st.Composition.Head()->data.mode;
    st.Composition.Head()->data.mode = 9;
    sink.Clear();
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Error: Incorrent setup of 1. constituent"});
    EXPECT_TRUE(!st.Initialised && !st.DistPreview);
    EXPECT_EQ(std::tuple(st.NX, st.NXPending, st.CapLength, st.CapLengthPending),
              std::tuple(tool.NewSize - 1, tool.NewSize - 1, std::get<1>(previewed),
                         std::get<1>(previewed)));
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(sink.warnings.back(), kDistRunChanged);
    tool.Close();
    EXPECT_EQ(std::get<1>(grid()), std::get<1>(previewed));
    st.Composition.Head()->data.mode = mode;
    ASSERT_TRUE(InitCalc(st));
    EXPECT_DOUBLE_EQ(st.DX, dx);

    st.cbComplex = true;
    EXPECT_EQ(InitDistTool::OpenRefusal(st), "Feature not compatible with complex mode!");
}
