#include "composition/composition_panel.h"

#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

std::vector<std::string> Names(const TUnivSet<TComponents>& list)
{
    std::vector<std::string> n;
    for (const auto* node = list.Head(); node; node = node->next) {
        EXPECT_EQ(node->index, static_cast<int>(n.size()) + 1);  // keys stay 1..count
        n.push_back(node->data.name);
    }
    return n;
}

TUnivSet<TComponents> FourConstituents()
{
    TUnivSet<TComponents> l;
    for (const char* n : {"A", "B", "C", "D"}) l.Add(testcomp::StrongCation(n, 50, 1, 1, 0));
    return l;
}

}  // namespace

TEST(CompositionPanel, CellTextsOfPlainNeutralAmpholyteAndSegmentedConstituents)
{
    const TComponents na =
        testcomp::Constituent("Na", 0, 1, {0, 14.18}, {0, 51.9}, testcomp::BGE, 10, 0.5);
    EXPECT_EQ(PanelRowTexts(na, 3),
              (PanelRow{"3", "Na", "", "B", "0", "1", "0.5", "10", "14.18", "51.9", "-", "-"}));

    TComponents neutral = testcomp::Constituent("EtOH", 0, 0, {}, {}, testcomp::Analyte, 0, 1);
    EXPECT_EQ(std::tuple(PanelRowTexts(neutral, 1)[8], PanelRowTexts(neutral, 1)[9]),
              std::tuple(" - ", " - "));

    const TComponents gly =
        testcomp::Constituent("Gly", -1, 1, {9.6, 0, 2.34}, {37.4, 0, 40.9}, 0, 0, 0);
    EXPECT_EQ(std::tuple(PanelRowTexts(gly, 1)[8], PanelRowTexts(gly, 1)[4]),
              std::tuple("9.6; | 2.34", "-1"));
    const TComponents cit =
        testcomp::Constituent("Cit", -3, 0, {6.4, 4.76, 3.13, 0}, {72.8, 50, 30, 0}, 1, 5, 0);
    EXPECT_EQ(PanelRowTexts(cit, 1)[8], "6.4; 4.76; 3.13");

    TComponents seg = testcomp::Segmented(gly, {1, 2.5}, {1, 3}, true, false);
    seg.pKa[2][0] = 9.7;
    const PanelRow r = PanelRowTexts(seg, 2);
    EXPECT_EQ(r, (PanelRow{"2", "Gly", "", "-", "-1", "1", "-", "1; 2.5; ",
                           "{9.6; | 2.34}  {9.7; | 2.34}  ", "37.4; | 40.9", "2", "1; 3; "}));

    // Complexation mode: "L" for row 1, then r - 1; the ligand's limits on row 1.
    const PanelRow l1 = PanelRowTexts(na, 1, true, std::make_pair(-2, 3)),
                   l4 = PanelRowTexts(na, 4, true, std::make_pair(-2, 3));
    EXPECT_EQ(std::tuple(l1[0], l1[4], l4[0], l4[4]), std::tuple("L", "-2", "3", "0"));

    // Widths: widest text + 8, then + 8; colour column 16.
    const auto w =
        PanelColumnWidths({r}, [](const std::string& s) { return static_cast<int>(s.size()) * 6; });
    EXPECT_EQ(std::tuple(w[2], w[0], w[8]),
              std::tuple(16, 6 + 8 + 8, static_cast<int>(r[8].size()) * 6 + 16));

    RecordingMessageSink sink;
    EXPECT_TRUE(PanelAcceptsCount(2048));
    EXPECT_FALSE(PanelAcceptsCount(2049));
    EXPECT_EQ(sink.warnings.back().substr(0, 60),
              "Number of constituents is greater than internal constant = 2");
}

TEST(CompositionPanel, MovesKeepKeysAndFocusTakesItsCentre)
{
    auto l = FourConstituents();
    EXPECT_FALSE(MoveUp(l, 1) || MoveDown(l, 4) || MoveFirst(l, 1) || MoveLast(l, 4) ||
                 MoveDown(l, 0));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"A", "B", "C", "D"}));
    EXPECT_TRUE(MoveFirst(l, 3));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"C", "A", "B", "D"}));
    EXPECT_TRUE(MoveLast(l, 1));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"A", "B", "D", "C"}));
    EXPECT_TRUE(MoveUp(l, 3));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"A", "D", "B", "C"}));
    EXPECT_TRUE(MoveDown(l, 1));
    EXPECT_EQ(Names(l), (std::vector<std::string>{"D", "A", "B", "C"}));
    l.RemoveNode(2);  // deleting row 2 of 4 renumbers the later keys
    EXPECT_EQ(Names(l), (std::vector<std::string>{"D", "B", "C"}));

    RecordingMessageSink sink;
    RunState st;
    st.CompInit.Add(testcomp::StrongCation("BGE", 50, testcomp::BGE, 12, 0));
    st.CompInit.Add(testcomp::StrongCation("T", 50, testcomp::Terminating, 12, 0));
    st.CompInit.Add(
        testcomp::Segmented(testcomp::StrongCation("S", 50, testcomp::BGE, 12, 0), {1}, {1}));
    auto range = FocusRange(st, 1, "2", 99);
    ASSERT_TRUE(range);
    EXPECT_EQ(*range, std::pair(10.0, 14.0));
    EXPECT_EQ(FocusRange(st, 2, "0,5", 99)->second, 0.5);
    EXPECT_EQ(FocusRange(st, 3, "1", 99)->first, 98);  // segmented: the profile's last value
    EXPECT_FALSE(FocusRange(st, 1, "-1", 0));
    EXPECT_EQ(sink.warnings.back(), "Incorrect input!");
    st.CompChanged = true;
    EXPECT_FALSE(FocusRange(st, 1, "1", 0));
    EXPECT_EQ(sink.warnings.back(),
              "Constituents changed - press <INIT> or <RESTORE> to do this action!");
}
