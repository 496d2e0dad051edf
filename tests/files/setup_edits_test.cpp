// The edits of the run-setup and options windows: each edit's refused and
// accepted values with its unit conversion, checked on a run state.
#include "files/setup_edits.h"
#include "engine/state/run_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

namespace {

// One typed text and what it leaves in the state.
struct Case {
    const char* edit;
    const char* text;
    EditResult result;
    double stored;  // the member afterwards (in its stored unit)
};

double Stored(RunState& st, const EditEntry& e)
{
    if (e.number) return *e.number(st);
    if (e.integer) return *e.integer(st);
    return *e.colour(st);
}

}  // namespace

TEST(SetupEdits, EachEditTakesItsValuesAndRefusesTheRest)
{
    const Case cases[] = {
        // Node count: 20 or more; 10 and fractions are kept out; the upper bound keeps Init's sums
        // in range.
        {"edNX", "10", EditResult::Refused, 1000},
        {"edNX", "20", EditResult::Taken, 20},
        {"edNX", "1000", EditResult::Same, 1000},
        {"edNX", "20.5", EditResult::Refused, 1000},
        {"edNX", "10000001", EditResult::Refused, 1000},
        {"edNX", "abc", EditResult::Refused, 1000},
        // Widths: greater than 0.
        {"edPeakWidth", "0", EditResult::Refused, 2.0},
        {"edPeakWidth", "2", EditResult::Same, 2.0},
        {"edPeakWidth", "1,5", EditResult::Taken, 1.5},
        {"edPeakEdgeWidth", "-1", EditResult::Refused, 0.5},
        {"edPeakEdgeWidth", "0.25", EditResult::Taken, 0.25},
        // ... and at most 1 km: a width past it would place no node of sample.
        {"edPeakWidth", "1e308", EditResult::Refused, 2.0},
        {"edPeakWidth", "1e6", EditResult::Taken, 1e6},
        {"edPeakEdgeWidth", "1000001", EditResult::Refused, 0.5},
        // Length typed in mm, stored in m.
        {"edCapLength", "250", EditResult::Taken, 0.25},
        {"edCapLength", "25", EditResult::Same, 0.025},
        {"edCapLength", "0", EditResult::Refused, 0.025},
        // Positions: any number, outside the capillary too; no infinities or NaN.
        {"edInjSite", "-5", EditResult::Taken, -5},
        {"edInjSite", "inf", EditResult::Refused, 3.0},
        {"edInjSite", "nan", EditResult::Refused, 3.0},
        {"edDetPosition", "1e3", EditResult::Taken, 1000},
        {"edDetPosition", "-1e308", EditResult::Refused, 20},
        {"edCapLength", "2e6", EditResult::Refused, 0.025},
        // Temperature typed in degrees Celsius, stored in kelvin above 0.
        {"edTemperature", "-273.15", EditResult::Refused, 298.15},
        {"edTemperature", "-273", EditResult::Taken, 0.15},
        {"edTemperature", "25", EditResult::Taken, 298.15},
        {"edTemperature", "1e308", EditResult::Refused, 298.15},
        // Diameter typed in um, stored in m.
        {"edCapDiameter", "75", EditResult::Taken, 75e-6},
        {"edCapDiameter", "0", EditResult::Refused, 5e-5},
        // Periods: 1 or more (a period of 0 would divide the step count by zero).
        {"edEditsRef", "0", EditResult::Refused, 30},
        {"edEditsRef", "1", EditResult::Taken, 1},
        {"edGraphRef", "-4", EditResult::Refused, 60},
        {"edDetInput", "0", EditResult::Refused, 10},
        {"edWallRef", "0", EditResult::Refused, 30},
        {"edOptInter", "0", EditResult::Refused, 100},
        {"edOptInter", "7", EditResult::Taken, 7},
        {"edPSQ", "-1", EditResult::Refused, 1000},
        {"edPSQ", "1", EditResult::Taken, 1},
        {"edPSQ", "$10", EditResult::Taken, 16},
        // Increment 0 or more; hidden lengths and conductivity 0 or more; initial dt above 0.
        {"edErrInc", "0", EditResult::Taken, 0},
        {"edErrInc", "-0.1", EditResult::Refused, 0.25},
        {"edFakeCapLen", "5", EditResult::Taken, 0.005},
        {"edFakeCapLen", "-5", EditResult::Refused, 0},
        {"edAddCond", "0.5", EditResult::Taken, 0.5},
        {"edDTInit", "0", EditResult::Refused, 1e-4},
        {"edDTInit", "2e-4", EditResult::Taken, 2e-4},
        {"edDTInit", "1e308", EditResult::Refused, 1e-4},
        // Wall limits and the kinetic, racemic and DER values take any number.
        {"edLW", "-3", EditResult::Taken, -3},
        {"edRW", "1e-9", EditResult::Taken, 1e-9},
        {"edKinX", "-0.5", EditResult::Taken, -0.5},
        {"edRacemicG", "2", EditResult::Taken, 2},
        {"edDerN", "0.01", EditResult::Taken, 0.01},
        // Wall step: a whole step of 1 node to the node range (the project reader's limit).
        {"edWallInc", "-5", EditResult::Refused, 100},
        {"edWallInc", "0", EditResult::Refused, 100},
        {"edWallInc", "2000", EditResult::Taken, 2000},
        {"edWallInc", "2147483647", EditResult::Refused, 100},
        // Options.
        {"edEpsNew", "0", EditResult::Refused, 1e-12},
        {"edEpsNew", "1e-10", EditResult::Taken, 1e-10},
        {"edEpsCor", "-1", EditResult::Refused, 0.01},
        {"edItNew", "0", EditResult::Refused, 100},
        {"edItNew", "50", EditResult::Taken, 50},
        {"edLineWidth", "0", EditResult::Taken, 0},
        {"edLineWidth", "12", EditResult::Taken, 12},
        {"edLineWidth", "-1", EditResult::Refused, 1},
        {"edSrT", "0", EditResult::Taken, 0},
        {"edSrT", "-2", EditResult::Refused, 1},
        {"edSimColor", "0x0000FF", EditResult::Taken, 255},
        {"edSimColor", "x10", EditResult::Taken, 16},
        {"edSimColor", "$FF00", EditResult::Taken, 0xFF00},
        {"edDetColor", "255", EditResult::Taken, 255},
        {"edDetColor", "-1", EditResult::Refused, 0xB9DCFF},
        {"edDetColor", "0xG1", EditResult::Refused, 0xB9DCFF},
        {"edAnotherPos", "-3", EditResult::Taken, -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " <- " + c.text);
        RunState st;
        const EditEntry* e = FindEdit(c.edit);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(CommitEdit(st, *e, c.text), c.result);
        // Conversions are one multiplication or addition: equal up to rounding.
        EXPECT_NEAR(Stored(st, *e), c.stored, 1e-12 * std::fabs(c.stored) + 1e-13);
    }
    EXPECT_EQ(RunSetupEdits().size() + OptionEdits().size(), 41u);
    for (const auto* table : {&RunSetupEdits(), &OptionEdits()})
        for (const EditEntry& e : *table) EXPECT_EQ(FindEdit(e.name), &e) << e.name;
    EXPECT_EQ(FindEdit("edNothing"), nullptr);
}

TEST(SetupEdits, GridValuesWaitForInitAndAreRefusedDuringARun)
{
    RunState st;
    const EditEntry& width = *FindEdit("edPeakWidth");
    // The same width again changes nothing; another one marks the set-up changed.
    EXPECT_EQ(CommitEdit(st, width, "2"), EditResult::Same);
    EXPECT_FALSE(st.SetupChanged);
    EXPECT_EQ(CommitEdit(st, width, "3"), EditResult::Taken);
    // Applied only by Init.
    EXPECT_EQ(std::tuple(st.SetupChanged, st.SetupItemChanged[1], st.PeakWidth),
              std::tuple(true, true, 2.0));
    RestoreRunSetup(st);
    EXPECT_EQ(std::tuple(st.SetupChanged, st.PeakWidthPending), std::tuple(false, 2.0));

    // During a run none of the five grid values moves; the other edits still act.
    st.Running = true;
    for (const char* name :
         {"edNX", "edPeakWidth", "edPeakEdgeWidth", "edInjSite", "edCapLength"}) {
        SCOPED_TRACE(name);
        const EditEntry& e = *FindEdit(name);
        const double before = Stored(st, e);
        EXPECT_EQ(std::tuple(e.pending, CommitEdit(st, e, "40")),
                  std::tuple(true, EditResult::Busy));
        EXPECT_EQ(Stored(st, e), before);
    }
    EXPECT_FALSE(st.SetupChanged);
    EXPECT_EQ(CommitEdit(st, *FindEdit("edLW"), "5"), EditResult::Taken);
    int pendingCount = 0;
    for (const EditEntry& e : RunSetupEdits()) pendingCount += e.pending;
    EXPECT_EQ(pendingCount, 5);
}

TEST(SetupEdits, EditsShowTheStoredValueInTheirFormat)
{
    RunState st;
    auto show = [&](const char* name) { return ShowEdit(st, *FindEdit(name)); };
    const std::pair<const char*, const char*> fresh[] = {
        {"edCapLength", "25"},      {"edTemperature", "25"}, {"edCapDiameter", "50"},
        {"edNX", "1000"},           {"edLW", "1.0e-12"},     {"edErrInc", "0.25"},
        {"edPeakEdgeWidth", "0.5"}, {"edKinX", "-0.2"},      {"edEpsNew", "1.0e-12"},
        {"edEpsCor", "0.01"},       {"edDTInit", "Disabled"}};
    for (auto [name, text] : fresh) EXPECT_EQ(show(name), text) << name;
    // Negative values use the exponent form (the test is on the value, not its magnitude);
    // the injection site is rounded to 14 digits; the initial dt has three decimals;
    // colours eight hexadecimal digits.
    st.LW = -2, st.InjSitePending = 0.1 + 0.2, st.DTInit = 0.12345, st.cbIgnDT = false,
    st.Options.SimColor = 0xFF;
    EXPECT_EQ(std::tuple(show("edLW"), show("edInjSite"), show("edDTInit"), show("edSimColor")),
              std::tuple("-2.0e+0", "0.3", "0.123", "0x000000FF"));
    // Node labels on the pending grid; positions outside the capillary give nodes outside 0..N.
    st.NXPending = 1000, st.CapLengthPending = 0.025, st.InjSitePending = 3, st.DetPosition = -5;
    EXPECT_EQ(std::tuple(NodeLabel(st, "edInjSite"), NodeLabel(st, "edPeakWidth"),
                         NodeLabel(st, "edDetPosition"), NodeLabel(st, "edNX")),
              std::tuple("(120 Nodes)", "(80 Nodes)", "(-200 Nodes)", ""));
    // A width whose node count overflows lies beyond the grid, never at node 0.
    st.CapLengthPending = 1e-310, st.PeakWidthPending = 1e6;
    EXPECT_EQ(NodeLabel(st, "edPeakWidth"), "(" + std::to_string(INT_MAX / 2) + " Nodes)");
    EXPECT_EQ(
        std::tuple(ReadColour(" 0x0000FF "), ReadColour("0xFFFFFFFF"), ReadColour("0x100000000"),
                   ReadColour("12a"), ReadColour("0x"), ColourText(0xB9DCFF)),
        std::tuple(255, 0xFFFFFFFFLL, -1, -1, -1, "0x00B9DCFF"));
}

TEST(SetupEdits, SwitchRulesOfTheTwoWindows)
{
    RunState st;
    // Keep distance clears "LW can move"; clearing it changes nothing.
    st.cbKeepDistance = true;
    KeepDistanceChecked(st);
    EXPECT_FALSE(st.cbLWMove);
    st.cbLWMove = true, st.cbKeepDistance = false;
    KeepDistanceChecked(st);
    EXPECT_TRUE(st.cbLWMove);
    // The power mode swaps the main window's captions.
    EXPECT_EQ(std::tuple(PowerModeCaption(st, false), PowerModeCaption(st, true)),
              std::tuple("Voltage (V)", "Current (uA)"));
    st.rbVoltage = false;
    EXPECT_EQ(std::tuple(PowerModeCaption(st, false), PowerModeCaption(st, true)),
              std::tuple("Current (uA)", "Voltage (V)"));

    // Zero point on the pending grid (another position keeps the node).
    const std::tuple<int, int, int> zero[] = {{kZeroCenter, 1001, 500},
                                              {kZeroRight, 1001, 1001},
                                              {kZeroLeft, 1001, 0},
                                              {kZeroInjSite, 1000, 120},
                                              {kZeroAnotherPos, 1000, -3}};
    for (auto [button, nx, node] : zero) {
        st.NXPending = nx, st.Options.ZeroPoint = button, st.ZeroPosNode = -3;
        ApplyZeroPoint(st);
        EXPECT_EQ(st.ZeroPosNode, node) << button;
    }

    // Separator: item texts, and a typed text decides by its first character.
    EXPECT_EQ(std::tuple(CsvSepText(' '), CsvSepText('\t'), CsvSepText(';')),
              std::tuple("SPACE", "TAB", ";"));
    char sep = ',';
    EXPECT_FALSE(CsvSepFromText("", sep));
    EXPECT_EQ(sep, ',');
    const std::pair<const char*, char> typed[] = {
        {"semicolon", ' '}, {"Comma", ','}, {"tabs", '\t'}, {";", ';'}, {"|x", '|'}};
    for (auto [text, want] : typed) {
        ASSERT_TRUE(CsvSepFromText(text, sep));
        EXPECT_EQ(sep, want) << text;
    }
    EXPECT_EQ(std::tuple(CsvSepFromItem(0), CsvSepFromItem(2), CsvSepItem(',')),
              std::tuple(' ', '\t', 1));
}

TEST(SetupEdits, XAxisUnitRewritesEveryProfileAfterInit)
{
    RunState st;
    SetXAxisUnit(st, kXAxisM);
    EXPECT_EQ(std::tuple(st.XScale, st.Options.XAxisUnit), std::tuple(1, kXAxisM));
    // Before Init only the scale changes.
    st.Series.sr_pH.x = {0, 5};
    SetXAxisUnit(st, kXAxisMM);
    EXPECT_EQ(st.Series.sr_pH.x[1], 5);
    // After Init every series along the capillary follows, each over its own
    // points; a single point is left alone.
    st.Initialised = true, st.NX = 4, st.CapLength = 0.02, st.LeftWall = 1, st.RightWall = 4;
    RunSeries& s = st.Series;
    s.sr_pH.x.assign(5, 0), s.sr_E.x.assign(5, 0), s.sr_reg[3].x.assign(3, 0),
        s.sr_LeftWall.x.assign(2, 0);
    s.DET_pH.x = {7}, s.sr_DER.x = {9};
    SetXAxisUnit(st, kXAxisMM);
    EXPECT_EQ(std::tuple(s.sr_pH.x[4], s.sr_E.x[1], s.sr_reg[3].x[1], s.sr_LeftWall.x[0],
                         s.DET_pH.x[0], s.sr_DER.x[0]),
              std::tuple(20, 5, 10, 5, 7, 9));
    SetXAxisUnit(st, kXAxisM);
    EXPECT_DOUBLE_EQ(s.sr_pH.x[4], 0.02);
}
