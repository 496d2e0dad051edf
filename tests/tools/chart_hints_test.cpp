// Chart hints: the nearest-point search over synthetic pixel coordinates
// (index rule, ties, tolerance, axes) and the exact description texts.
#include <gtest/gtest.h>

#include "engine/state/run_state.h"

#include <tuple>
#include "tools/chart_hints.h"
#include "toy_state.h"

namespace {

// x 0..10 over pixels 100..200, left axis 0..10 over pixels 100 (bottom) .. 0,
// right axis 0..100 over the same height.
ChartGeometry Geometry()
{
    ChartGeometry g;
    g.x = {0, 10}, g.y[0] = {0, 10}, g.y[1] = {0, 100};
    g.left = 100, g.top = 0, g.width = 100, g.height = 100;
    return g;
}

ChartSeries Line(const std::string& title, std::vector<double> y)
{
    ChartSeries s(title);
    for (std::size_t i = 0; i < y.size(); ++i) s.Add(2.5 * i, y[i]);
    return s;
}

TEST(ChartHints, NearestPointSearch)
{
    RunState st;
    const ChartGeometry g = Geometry();
    const ChartSeries a = Line("A", {1, 2, 3, 4, 5}), b = Line("B", {5, 5, 5, 5, 5});
    const ChartSeries shortLine = Line("S", {3, 3}), right = Line("R", {0, 0, 80, 0, 0});
    const ChartSeries c = Line("C", {0, 0, 3.04, 0, 0}), three = Line("T", {9, 9, 9});
    const std::vector<HintLine> lines = {{ChartLine(st, a)}, {ChartLine(st, b)}};
    struct Case {
        std::vector<HintLine> lines;
        int x, y, tolerance;
        int line, index, distance;  // line -2: nothing found; -1: not checked
    };
    const Case cases[] = {
        // x = 5 lies at pixel 150: a mouse at 150 takes point 2, at 151 point 3 (A's at pixel 60)
        {lines, 150, 70, 3, 0, 2, 0},
        {lines, 151, 60, 3, 0, 3, 0},
        // left of every point and right of every point: point 0
        {lines, 20, 90, 0, -1, 0, -1},
        {lines, 260, 90, 0, -1, 0, -1},
        // equally near (A at 70, B at 50, mouse at 60): the earlier line wins
        {lines, 150, 60, 10, 0, 2, 10},
        {{lines[1], lines[0]}, 150, 60, 10, 0, -1, 10},
        // farther than the tolerance: nothing; tolerance 0 needs the line's own pixel row
        {lines, 150, 60, 9, -2, -1, -1},
        {lines, 150, 70, 0, 0, 2, 0},
        {lines, 150, 71, 0, -2, -1, -1},
        // a value between pixel rows is drawn at the nearest row: 3.04 -> 69.6 -> 70
        {{{ChartLine(st, c)}}, 150, 70, 0, 0, 2, 0},
        // inactive lines and lines of 2 points are neither reference nor candidate
        {{{ChartLine(st, shortLine)}, {ChartLine(st, a), false}, {ChartLine(st, b)}},
         150,
         70,
         30,
         2,
         -1,
         20},
        {{{ChartLine(st, shortLine)}}, 150, 70, 100, -2, -1, -1},
        // a line on the right axis: 80 of 0..100 at pixel 20
        {{{ChartLine(st, a)}, {ChartLine(st, right), true, 1}}, 150, 21, 1, 1, -1, -1},
        // a line too short for the index is skipped
        {{{ChartLine(st, a)}, {ChartLine(st, three)}}, 151, 10, 100, 0, -1, -1}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& k = cases[i];
        const auto hit = FindNearestPoint(g, k.lines, k.x, k.y, k.tolerance);
        ASSERT_EQ(bool(hit), k.line != -2) << i;
        if (!hit) continue;
        EXPECT_TRUE(k.line < 0 || hit->line == k.line) << i;
        EXPECT_TRUE(k.index < 0 || hit->index == k.index) << i;
        EXPECT_TRUE(k.distance < 0 || hit->distance == k.distance) << i;
    }

    EXPECT_EQ(std::tuple(ChartPressAction(MouseButton::Right, true),
                         ChartPressAction(MouseButton::Left, true),
                         ChartPressAction(MouseButton::Middle, false),
                         ChartPressAction(MouseButton::Left, false)),
              std::tuple(PressAction::Rescale, PressAction::Nothing, PressAction::Nothing,
                         PressAction::Search));
}

// Four node spacings over 25 mm, x axis in mm, zero position at node 1.
void HintState(RunState& st)
{
    MakeToyState(st, 4);
    st.XScale = 1000, st.ZeroPosNode = 1, st.CondScale = 100;
    const double amph[] = {0, 0.005, 12.5, 0.01, 0.00999};
    for (int j = 0; j <= 4; ++j) st.Arr.DrawnProfile[1][j] = amph[j];
    st.Arr.UEff[1][1] = -2.5e-8, st.Arr.UEff[1][3] = 3.125e-8;
}

TEST(ChartHints, ProfileTexts)
{
    RunState st;
    HintState(st);
    ChartClick click;
    const ChartSeries& amph = st.Series.srComp[1];
    const std::string mob = "x10^-9 m2.V-1.s-1";
    EXPECT_EQ(
        *GraphHintText(st, amph, 1, MouseButton::Left, click),
        "Constituent: Amph\n\nValue: 0.005 mM\nValue Difference from Left: 5e-3 mM"
        "\nValue Difference from Right: -4.99e-3 mM\n\nNode Position: 1\nCap. Position: 6.25 mm"
        "\nCap. Position from Zero Position: 0 mm\n\nEff. mobility: -25.0" +
            mob);
    EXPECT_EQ(std::tuple(click.ClickedPoint, click.ClickedValue), std::tuple(1, 0.005));

    // a difference of exactly 0.01 is in F10, one of 0.00999 in FE; after the
    // first step the apparent mobility from the zero position follows:
    // (L + 0) * (2/4 * L) / t / U = 0.025 * 0.0125 / 10 / 250 = 125e-9
    st.Time = 10, st.U = 250;
    EXPECT_EQ(*GraphHintText(st, amph, 3, MouseButton::Left, click),
              "Constituent: Amph\n\nValue: 0.01 mM\nValue Difference from Left: 0.01 mM"
              "\nValue Difference from Right: 1e-5 mM\n\nNode Position: 3\nCap. Position: 18.75 mm"
              "\nCap. Position from Zero Position: 12.5 mm\n\nEff. mobility: 31.25" +
                  mob + "\n\nMobility from Zero Position: 125.0" + mob);
    EXPECT_EQ(
        GraphHintText(st, amph, 4, MouseButton::Left, click)
            ->rfind(
                "Constituent: Amph\n\nValue: 0.00999 mM\nValue Difference from Left: 9.99e-3 mM\n",
                0),
        0u);
    // no voltage yet but time: the line shows 0
    st.U = 0;
    EXPECT_NE(GraphHintText(st, amph, 0, MouseButton::Left, click)
                  ->find("Mobility from Zero Position: 0.0x10"),
              std::string::npos);

    // conductivity in S/m, x axis in metres
    st.Time = 0, st.XScale = 1;
    RunSeries& s = st.Series;
    for (int j = 0; j <= 4; ++j) s.sr_conductivity.x[j] = NodeX(st, j);
    s.sr_conductivity.y = {5, 5, 7.5, 5, 5};
    EXPECT_EQ(
        *GraphHintText(st, s.sr_conductivity, 2, MouseButton::Left, click),
        "Name: Conductivity (x-scale)\n\nValue: 0.075 S/m\nValue Difference from Left: 0.025 S/m"
        "\nValue Difference from Right: 0.025 S/m\n\nNode Position: 2\nCap. Position: 0.0125 m"
        "\nCap. Position from Zero Position: 0.0063 m");

    // a marker line (not a node profile) at 5 mm: node 0.8 -> 1
    st.XScale = 1000;
    s.sr_detectorLine = ChartSeries("Detector");
    s.sr_detectorLine.Add(5, 0), s.sr_detectorLine.Add(5, 1);
    EXPECT_EQ(
        *GraphHintText(st, s.sr_detectorLine, 1, MouseButton::Left, click),
        "Name: Detector\n\nNode Position: 1\nCap. Position: 5 mm\nCap. Position from Zero Position: -1.25 mm");

    // other buttons only remember the index
    click = ChartClick{};
    EXPECT_FALSE(GraphHintText(st, amph, 2, MouseButton::Right, click));
    EXPECT_EQ(std::tuple(click.ClickedPoint, click.ClickedValue), std::tuple(2, 0.0));
    EXPECT_FALSE(GraphHintText(st, amph, 99, MouseButton::Left, click));
}

TEST(ChartHints, DetectorTexts)
{
    RunState st;
    HintState(st);
    st.DetectorView = true;
    RunSeries& s = st.Series;
    ChartClick click;
    s.DET_conductivity.Add(1.5, 250);
    EXPECT_EQ(*GraphHintText(st, s.DET_conductivity, 0, MouseButton::Left, click),
              "Conductivity line\nValue: 2.5 S/m\nCap. Position: 1.5 min\nPt. Position: 0");
    s.DET_T.Add(0.25, 25.125);
    EXPECT_EQ(*GraphHintText(st, s.DET_T, 0, MouseButton::Left, click),
              "Temperature line\nValue: 25.125 \xC2\xB0"
              "C\nCap. Position: 0.25 min\nPt. Position: 0");
    // the ampholyte is a BGE of 2 mM: its difference from that level
    s.srDetComp[1].Add(1, 1.5), s.srDetComp[1].Add(2, 2.004);
    EXPECT_EQ(
        *GraphHintText(st, s.srDetComp[1], 1, MouseButton::Left, click),
        "Constituent: Amph\nValue: 2.004 mM\nBGE Difference (Left): 4e-3 mM\nCap. Position: 2 min"
        "\nPt. Position: 1");
    EXPECT_EQ(
        *GraphHintText(st, s.srDetComp[1], 0, MouseButton::Left, click),
        "Constituent: Amph\nValue: 1.5 mM\nBGE Difference (Left): -0.5 mM\nCap. Position: 1 min"
        "\nPt. Position: 0");
    // an analyte's level is 0
    s.srDetComp[3].Add(3, 0.5);
    EXPECT_NE(
        GraphHintText(st, s.srDetComp[3], 0, MouseButton::Left, click)->find("(Left): 0.5 mM"),
        std::string::npos);
    ChartSeries other("Marker");
    other.Add(0.5, 0.25);
    EXPECT_EQ(*GraphHintText(st, other, 0, MouseButton::Left, click),
              "Name: Marker\nValue: 0.25\nCap. Position: 0.5 min\nPt. Position: 0");
}

TEST(ChartHints, FitValueRange)
{
    RunState st;
    const ChartSeries flat = Line("F", {3, 3, 3}), ramp = Line("R", {1, 6, 2});
    const AxisRange f = *FitValueRange(ChartLine(st, flat)),
                    r = *FitValueRange(ChartLine(st, ramp));
    EXPECT_DOUBLE_EQ(f.lower, 3 - 2e-6);
    EXPECT_DOUBLE_EQ(f.upper, 3 + 2e-6);
    EXPECT_EQ(std::tuple(r.lower, r.upper), std::tuple(0.0, 7.0));
    EXPECT_FALSE(FitValueRange(ChartLine(st, ChartSeries())));
}

}  // namespace
