#include "tools/detector_tools.h"

#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// A detector record by hand: two constituents, p points at times 0, 1, 2, ...
// with every trace's value = 10 x trace number + time.
void FillRecord(RunState& st, int p)
{
    st.NComp = 2;
    RunSeries& s = st.Series;
    s.srDetComp.assign(3, ChartSeries{});
    s.clbDet = {{"pH", true, false},          {"Conductivity", true, false},
                {"Acetate", true, false},     {"Tris", true, false},
                {"Voltage", false, false},    {"Current", false, false},
                {"Temperature", false, false}};
    std::vector<ChartSeries*> traces{&s.DET_pH,       &s.DET_conductivity, &s.srDetComp[1],
                                     &s.srDetComp[2], &s.DET_volt,         &s.DET_CDen,
                                     &s.DET_T};
    for (std::size_t t = 0; t < traces.size(); ++t) {
        traces[t]->Clear();
        for (int i = 0; i < p; ++i) traces[t]->Add(i, 10.0 * t + i);
    }
}

}  // namespace

TEST(DetectorTools, SizeEstimateMatchesTheFileLayoutAndItsText)
{
    RunState st;
    FillRecord(st, 100);
    // 100 x 7 doubles, "KELVO DET FILE"+0, "1.0"+0, two counts, the seven list
    // texts with their zero bytes, "EOF"+0.
    const std::int64_t names = 3 + 13 + 8 + 5 + 8 + 8 + 12;
    EXPECT_EQ(EstimateDetSize(st), 100 * 7 * 8 + 15 + 4 + 8 + names + 4);
    // Beyond 32 bits the size is still right.
    EXPECT_EQ(
        std::tuple(DetSizeText(5688), DetSizeText(999), DetSizeText(1000), DetSizeText(2000000),
                   DetSizeText(20000000), DetSizeText(std::int64_t{5} << 32)),
        std::tuple("5.555 kB", "999 B", "0.9766 kB", "1.907 MB", "19.1 MB", "20480 MB"));
}

TEST(DetectorTools, HalvingKeepsEveryOtherSampleOfEveryTrace)
{
    RecordingMessageSink sink;
    RunState st;
    FillRecord(st, 5);
    // No: nothing changes.
    EXPECT_FALSE(HalveDetectorData(st));
    EXPECT_EQ(st.Series.DET_pH.Count(), 5);

    sink.answers = {true};
    ASSERT_TRUE(HalveDetectorData(st));
    const RunSeries& s = st.Series;
    for (const ChartSeries* t : {&s.DET_pH, &s.DET_conductivity, &s.srDetComp[1], &s.srDetComp[2],
                                 &s.DET_volt, &s.DET_CDen, &s.DET_T}) {
        EXPECT_EQ(t->x, (std::vector<double>{0, 2, 4}));
        EXPECT_EQ(t->y[1] - t->y[0], 2.0);
    }
    EXPECT_EQ(s.srDetComp[2].y, (std::vector<double>{30, 32, 34}));

    FillRecord(st, 4);
    // A trace that another command left shorter is halved by its own count.
    st.Series.DET_volt.Clear();
    st.Series.DET_volt.Add(0, 1);
    sink.answers = {true};
    ASSERT_TRUE(HalveDetectorData(st));
    EXPECT_EQ(std::tuple(st.Series.DET_pH.x, st.Series.DET_volt.Count()),
              std::tuple(std::vector<double>{0, 2}, 1));
    FillRecord(st, 1);
    sink.answers = {true};
    ASSERT_TRUE(HalveDetectorData(st));
    EXPECT_EQ(st.Series.DET_pH.Count(), 1);

    FillRecord(st, 0);
    sink.answers = {true};
    EXPECT_FALSE(HalveDetectorData(st));
    EXPECT_EQ(sink.warnings, (std::vector<std::string>{"No detector input!"}));
}
