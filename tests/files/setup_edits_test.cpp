// The edits of the run-setup and options windows: every caption and hint as
// the window tables list them, and each edit's refused and accepted values with
// its unit conversion, checked on a run state.
#include "engine/run_state.h"
#include "files/setup_edits.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Expected {
    const char* name;
    const char* caption;
    const char* hint;
    bool shown;
};

// The run-setup window's edits, from its table and its list of hints.
const Expected kRunSetup[] = {
    {"edInjSite", "Injection Site (mm)", "Position of Injection (Sample) site used by Type property of constituent", true},
    {"edPeakWidth", "Peak Width (mm)", "Sigmoid Inflex Distance - width of peak at half of its height", true},
    {"edDetPosition", "Detector Position (mm) ", "Detector may be situated outside of the calculated space", true},
    {"edPeakEdgeWidth", "Peak Edge Width (mm)", "Smothness of edges calculated in initialisation (<Init> button)", true},
    {"edCapLength", "Capillary Length (mm)", "Length of the calculated space", true},
    {"edNX", "Grid Points (Nodes)", "Spatial division (mesh density)", true},
    {"edTemperature", "Temperature (\u00b0C)", "For calculation of difussion coefficients", true},
    {"edCapDiameter", "Capillary Diameter (um)", "For calculation of current", true},
    {"edEditsRef", "Edits Refresh Rate (Steps)", "Period of actualization of main window edits (actual time, dt, error,..)", true},
    {"edGraphRef", "Graph Refresh Rate (Steps)", "Period of actualization of calculated profiles in graph", true},
    {"edDetInput", "Detector Input (Steps)",
     "Period between reading of profiles values at certain position in Graph (Detector Position)", true},
    {"edOptInter", "Optimization Interval (Steps)", "Period between automatic optimisations of dt value", true},
    {"edErrInc", "dt Optimisation Increment",
     "(1+- value) is multiplier for modification of dt when optimisation is called", true},
    {"edFakeCapLen", "Additional Length (Fake) (mm)",
     "Additional length situated to the right corner of capillary which is not calculated but taken into account in "
     "calculation of applied electric field", false},
    {"edDTInit", "Initial dt (s)", "", false},
    {"edAddCond", "Additional Conductivity (S/m)", "", false},
    {"edLW", "LW Limit (mM)", "The least difference in profile that signalize where walls can be automatically moved", true},
    {"edRW", "RW Limit (mM)", "The least difference in profile that signalize where walls can be automatically moved", true},
    {"edWallInc", "Wall Increment (Nodes)", "Increment to wall positions when position is about to change", true},
    {"edWallRef", "Wall Refresh Rate (Steps)",
     "Period between two actualization of wall position when they are set to move automatically", true},
    {"edPSQ", "Save Frame Each", "Saving interval for PSQ file (in ms or steps)", true},
    {"edKin1", "k_main", "", false},
    {"edKinA", "a ... [C]^a", "", false},
    {"edKinB", "b ... [P]^b", "", false},
    {"edKinC", "c ... [OH]^c", "", false},
    {"edKin2", "k_deg", "", false},
    {"edKinD", "d ... [PC]^d", "", false},
    {"edKinX", "x ... [OH]^x", "", false},
    {"edRacemicA", "Racemic A (KR)", "", false},
    {"edRacemicB", "Racemic B (KS)", "", false},
    {"edRacemicG", "Racemic k(glob)", "", false},
    {"edDerNorm", "DER norm", "", false},
    {"edDerN", "DER constituent #", "", false},
};

const Expected kOptions[] = {
    {"edEpsNew", "Precision of Newton met.", "Convergence precision for Newton method", true},
    {"edEpsCor", "Precision of DER met.", "Convergence precision for calculation of time derivatives", true},
    {"edItNew", "Max Iterations of NM", "", true},
    {"edSimColor", "Profile Graph Colour", "", true},
    {"edDetColor", "Detector Colour", "", true},
    {"edLineWidth", "Profile Line Width (Points)", "", true},
    {"edSrT", "Profile Click Tolerance (Points)", "", true},
    {"edAnotherPos", "Another Position (Nodes): ", "", true},
};

template <size_t N>
void ExpectTable(const std::vector<EditEntry>& table, const Expected (&expected)[N])
{
    ASSERT_EQ(table.size(), N);
    for (size_t i = 0; i < N; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(table[i].name, expected[i].name);
        EXPECT_STREQ(table[i].caption, expected[i].caption);
        EXPECT_STREQ(table[i].hint, expected[i].hint);
        EXPECT_EQ(table[i].shown, expected[i].shown);
        EXPECT_EQ(FindEdit(expected[i].name), &table[i]);
    }
}

// One typed text and what it leaves in the state.
struct Case {
    const char* edit;
    const char* text;
    EditResult result;
    double stored;   // the member afterwards (in its stored unit)
};

double Stored(RunState& st, const EditEntry& e)
{
    if (e.number) return *e.number(st);
    if (e.integer) return *e.integer(st);
    return *e.colour(st);
}

} // namespace

TEST(SetupEdits, CaptionsAndHintsFollowTheWindowTables)
{
    ExpectTable(RunSetupEdits(), kRunSetup);
    ExpectTable(OptionEdits(), kOptions);
    EXPECT_EQ(FindEdit("edNothing"), nullptr);
}

TEST(SetupEdits, EachEditTakesItsValuesAndRefusesTheRest)
{
    const Case cases[] = {
        // Node count: 20 or more; 10 and fractions are kept out; the upper bound keeps Init's sums in range.
        {"edNX", "10", EditResult::Refused, 1000}, {"edNX", "20", EditResult::Taken, 20},
        {"edNX", "1000", EditResult::Same, 1000}, {"edNX", "20.5", EditResult::Refused, 1000},
        {"edNX", "10000001", EditResult::Refused, 1000}, {"edNX", "abc", EditResult::Refused, 1000},
        // Widths: greater than 0.
        {"edPeakWidth", "0", EditResult::Refused, 2.0}, {"edPeakWidth", "2", EditResult::Same, 2.0},
        {"edPeakWidth", "1,5", EditResult::Taken, 1.5}, {"edPeakEdgeWidth", "-1", EditResult::Refused, 0.5},
        {"edPeakEdgeWidth", "0.25", EditResult::Taken, 0.25},
        // Length typed in mm, stored in m.
        {"edCapLength", "250", EditResult::Taken, 0.25}, {"edCapLength", "25", EditResult::Same, 0.025},
        {"edCapLength", "0", EditResult::Refused, 0.025},
        // Positions: any number, outside the capillary too; no infinities or NaN.
        {"edInjSite", "-5", EditResult::Taken, -5}, {"edInjSite", "inf", EditResult::Refused, 3.0},
        {"edInjSite", "nan", EditResult::Refused, 3.0}, {"edDetPosition", "1e3", EditResult::Taken, 1000},
        // Temperature typed in degrees Celsius, stored in kelvin above 0.
        {"edTemperature", "-273.15", EditResult::Refused, 298.15}, {"edTemperature", "-273", EditResult::Taken, 0.15},
        {"edTemperature", "25", EditResult::Taken, 298.15},
        // Diameter typed in um, stored in m.
        {"edCapDiameter", "75", EditResult::Taken, 75e-6}, {"edCapDiameter", "0", EditResult::Refused, 5e-5},
        // Periods: 1 or more (a period of 0 would divide the step count by zero).
        {"edEditsRef", "0", EditResult::Refused, 30}, {"edEditsRef", "1", EditResult::Taken, 1},
        {"edGraphRef", "-4", EditResult::Refused, 60}, {"edDetInput", "0", EditResult::Refused, 10},
        {"edWallRef", "0", EditResult::Refused, 30}, {"edOptInter", "0", EditResult::Refused, 100},
        {"edOptInter", "7", EditResult::Taken, 7}, {"edPSQ", "-1", EditResult::Refused, 1000},
        {"edPSQ", "1", EditResult::Taken, 1}, {"edPSQ", "$10", EditResult::Taken, 16},
        // Increment 0 or more; hidden lengths and conductivity 0 or more; initial dt above 0.
        {"edErrInc", "0", EditResult::Taken, 0}, {"edErrInc", "-0.1", EditResult::Refused, 0.25},
        {"edFakeCapLen", "5", EditResult::Taken, 0.005}, {"edFakeCapLen", "-5", EditResult::Refused, 0},
        {"edAddCond", "0.5", EditResult::Taken, 0.5}, {"edDTInit", "0", EditResult::Refused, 1e-4},
        {"edDTInit", "2e-4", EditResult::Taken, 2e-4},
        // Wall limits and the kinetic, racemic and DER values take any number.
        {"edLW", "-3", EditResult::Taken, -3}, {"edRW", "1e-9", EditResult::Taken, 1e-9},
        {"edKinX", "-0.5", EditResult::Taken, -0.5}, {"edRacemicG", "2", EditResult::Taken, 2},
        {"edDerN", "0.01", EditResult::Taken, 0.01},
        // Wall step: any integer within the node range.
        {"edWallInc", "-5", EditResult::Taken, -5}, {"edWallInc", "2147483647", EditResult::Refused, 100},
        // Options.
        {"edEpsNew", "0", EditResult::Refused, 1e-12}, {"edEpsNew", "1e-10", EditResult::Taken, 1e-10},
        {"edEpsCor", "-1", EditResult::Refused, 0.01}, {"edItNew", "0", EditResult::Refused, 100},
        {"edItNew", "50", EditResult::Taken, 50}, {"edLineWidth", "0", EditResult::Taken, 0},
        {"edLineWidth", "12", EditResult::Taken, 12}, {"edLineWidth", "-1", EditResult::Refused, 1},
        {"edSrT", "0", EditResult::Taken, 0}, {"edSrT", "-2", EditResult::Refused, 1},
        {"edSimColor", "0x0000FF", EditResult::Taken, 255}, {"edSimColor", "x10", EditResult::Taken, 16},
        {"edSimColor", "$FF00", EditResult::Taken, 0xFF00}, {"edDetColor", "255", EditResult::Taken, 255},
        {"edDetColor", "-1", EditResult::Refused, 0xB9DCFF}, {"edDetColor", "0xG1", EditResult::Refused, 0xB9DCFF},
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
}

TEST(SetupEdits, GridValuesWaitForInitAndAreRefusedDuringARun)
{
    RunState st;
    const EditEntry& width = *FindEdit("edPeakWidth");
    // The same width again changes nothing; another one marks the set-up changed.
    EXPECT_EQ(CommitEdit(st, width, "2"), EditResult::Same);
    EXPECT_FALSE(st.SetupChanged);
    EXPECT_EQ(CommitEdit(st, width, "3"), EditResult::Taken);
    EXPECT_TRUE(st.SetupChanged);
    EXPECT_TRUE(st.SetupItemChanged[1]);
    EXPECT_EQ(st.PeakWidth, 2.0);   // applied only by Init
    RestoreRunSetup(st);
    EXPECT_FALSE(st.SetupChanged);
    EXPECT_EQ(st.PeakWidthPending, 2.0);

    // During a run none of the five grid values moves; the other edits still act.
    st.Running = true;
    for (const char* name : {"edNX", "edPeakWidth", "edPeakEdgeWidth", "edInjSite", "edCapLength"}) {
        SCOPED_TRACE(name);
        const EditEntry& e = *FindEdit(name);
        EXPECT_TRUE(e.pending);
        const double before = Stored(st, e);
        EXPECT_EQ(CommitEdit(st, e, "40"), EditResult::Busy);
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
    EXPECT_EQ(show("edCapLength"), "25");
    EXPECT_EQ(show("edTemperature"), "25");
    EXPECT_EQ(show("edCapDiameter"), "50");
    EXPECT_EQ(show("edNX"), "1000");
    EXPECT_EQ(show("edLW"), "1.0e-12");
    EXPECT_EQ(show("edErrInc"), "0.25");
    EXPECT_EQ(show("edPeakEdgeWidth"), "0.5");
    EXPECT_EQ(show("edKinX"), "-0.2");
    EXPECT_EQ(show("edEpsNew"), "1.0e-12");
    EXPECT_EQ(show("edEpsCor"), "0.01");
    // Negative values use the exponent form (the test is on the value, not its magnitude).
    st.LW = -2;
    EXPECT_EQ(show("edLW"), "-2.0e+0");
    // The injection site is rounded to 14 digits before it is shown.
    st.InjSitePending = 0.1 + 0.2;
    EXPECT_EQ(show("edInjSite"), "0.3");
    // The initial dt: three decimals, or "Disabled" while the option says not to use it.
    st.DTInit = 0.12345;
    EXPECT_EQ(show("edDTInit"), "Disabled");
    st.cbIgnDT = false;
    EXPECT_EQ(show("edDTInit"), "0.123");
    // Colours: eight hexadecimal digits.
    st.Options.SimColor = 0xFF;
    EXPECT_EQ(show("edSimColor"), "0x000000FF");
    // Node labels on the pending grid; positions outside the capillary give nodes outside 0..N.
    st.NXPending = 1000;
    st.CapLengthPending = 0.025;
    st.InjSitePending = 3;
    st.DetPosition = -5;
    EXPECT_EQ(NodeLabel(st, "edInjSite"), "(120 Nodes)");
    EXPECT_EQ(NodeLabel(st, "edPeakWidth"), "(80 Nodes)");
    EXPECT_EQ(NodeLabel(st, "edDetPosition"), "(-200 Nodes)");
    EXPECT_EQ(NodeLabel(st, "edNX"), "");
}

TEST(SetupEdits, SwitchRulesOfTheTwoWindows)
{
    RunState st;
    // Keep distance clears "LW can move"; clearing it changes nothing.
    st.cbKeepDistance = true;
    KeepDistanceChecked(st);
    EXPECT_FALSE(st.cbLWMove);
    st.cbLWMove = true;
    st.cbKeepDistance = false;
    KeepDistanceChecked(st);
    EXPECT_TRUE(st.cbLWMove);
    // The power mode swaps the main window's captions.
    EXPECT_EQ(PowerModeCaption(st, false), "Voltage (V)");
    EXPECT_EQ(PowerModeCaption(st, true), "Current (uA)");
    st.rbVoltage = false;
    EXPECT_EQ(PowerModeCaption(st, false), "Current (uA)");
    EXPECT_EQ(PowerModeCaption(st, true), "Voltage (V)");

    // Zero point on the pending grid.
    st.NXPending = 1001;
    st.Options.ZeroPoint = kZeroCenter;
    ApplyZeroPoint(st);
    EXPECT_EQ(st.ZeroPosNode, 500);
    st.Options.ZeroPoint = kZeroRight;
    ApplyZeroPoint(st);
    EXPECT_EQ(st.ZeroPosNode, 1001);
    st.Options.ZeroPoint = kZeroLeft;
    ApplyZeroPoint(st);
    EXPECT_EQ(st.ZeroPosNode, 0);
    st.NXPending = 1000;
    st.Options.ZeroPoint = kZeroInjSite;
    ApplyZeroPoint(st);
    EXPECT_EQ(st.ZeroPosNode, 120);
    st.Options.ZeroPoint = kZeroAnotherPos;
    st.ZeroPosNode = -3;
    ApplyZeroPoint(st);
    EXPECT_EQ(st.ZeroPosNode, -3);

    // Separator: item texts, and a typed text decides by its first character.
    EXPECT_EQ(CsvSepText(' '), "SPACE");
    EXPECT_EQ(CsvSepText('\t'), "TAB");
    EXPECT_EQ(CsvSepText(';'), ";");
    char sep = ',';
    EXPECT_FALSE(CsvSepFromText("", sep));
    EXPECT_EQ(sep, ',');
    const std::pair<const char*, char> typed[] = {{"semicolon", ' '}, {"Comma", ','}, {"tabs", '\t'}, {";", ';'}, {"|x", '|'}};
    for (auto [text, want] : typed) {
        ASSERT_TRUE(CsvSepFromText(text, sep));
        EXPECT_EQ(sep, want) << text;
    }
    EXPECT_EQ(CsvSepFromItem(0), ' ');
    EXPECT_EQ(CsvSepFromItem(2), '\t');
    EXPECT_EQ(CsvSepItem(','), 1);
}

TEST(SetupEdits, XAxisUnitRewritesEveryProfileAfterInit)
{
    RunState st;
    SetXAxisUnit(st, kXAxisM);
    EXPECT_EQ(st.XScale, 1);
    EXPECT_EQ(st.Options.XAxisUnit, kXAxisM);
    // Before Init only the scale changes.
    st.Series.sr_pH.x = {0, 5};
    SetXAxisUnit(st, kXAxisMM);
    EXPECT_EQ(st.Series.sr_pH.x[1], 5);
    // After Init every series along the capillary follows, each over its own points.
    st.Initialised = true;
    st.NX = 4;
    st.CapLength = 0.02;
    st.LeftWall = 1;
    st.RightWall = 4;
    st.Series.sr_pH.x.assign(5, 0);
    st.Series.sr_E.x.assign(5, 0);
    st.Series.sr_reg[3].x.assign(3, 0);
    st.Series.sr_LeftWall.x.assign(2, 0);
    st.Series.DET_pH.x = {7};
    st.Series.sr_DER.x = {9};   // a single point is left alone
    SetXAxisUnit(st, kXAxisMM);
    EXPECT_DOUBLE_EQ(st.Series.sr_pH.x[4], 20);
    EXPECT_DOUBLE_EQ(st.Series.sr_E.x[1], 5);
    EXPECT_DOUBLE_EQ(st.Series.sr_reg[3].x[1], 10);
    EXPECT_DOUBLE_EQ(st.Series.sr_LeftWall.x[0], 5);
    EXPECT_EQ(st.Series.DET_pH.x[0], 7);
    EXPECT_EQ(st.Series.sr_DER.x[0], 9);
    SetXAxisUnit(st, kXAxisM);
    EXPECT_DOUBLE_EQ(st.Series.sr_pH.x[4], 0.02);
}

TEST(SetupEdits, ColourTexts)
{
    EXPECT_EQ(ReadColour(" 0x0000FF "), 255);
    EXPECT_EQ(ReadColour("0xFFFFFFFF"), 0xFFFFFFFFLL);
    EXPECT_EQ(ReadColour("0x100000000"), -1);
    EXPECT_EQ(ReadColour("12a"), -1);
    EXPECT_EQ(ReadColour("0x"), -1);
    EXPECT_EQ(ColourText(0xB9DCFF), "0x00B9DCFF");
}
