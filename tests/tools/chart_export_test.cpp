// Chart exports without the chart: bitmap names, the clipboard text and the
// two cuts of the detector record.
#include <gtest/gtest.h>

#include "engine/state/run_state.h"
#include "files/chart_lines.h"
#include "foundation/numtext.h"
#include "tools/chart_export.h"

#include <tuple>

namespace {

TEST(ChartExport, BitmapNamesAndClipboardText)
{
    EXPECT_TRUE(BmpListMatches(6, 4) && !BmpListMatches(17, 4));
    EXPECT_EQ(std::tuple(BitmapFileName("/r/Export Bitmaps", "run", "Na/K"),
                         BitmapFileName("/r/Export Bitmaps", "/abs", "pH")),
              std::tuple("/r/Export Bitmaps/run/Na_K.bmp", "/abs/pH.bmp"));

    RunState st;
    ChartSeries s("T");
    s.Add(0.5, 1.0 / 3), s.Add(2, 1.5e-7);
    EXPECT_EQ(ClipboardText(ChartLine(st, s), ','), "0,5\t0,333333333333333\n2\t1,5E-7");
    EXPECT_EQ(ClipboardText(ChartLine(st, ChartSeries()), '.'), "");
}

// A detector record of n samples whose y values are the sample numbers.
void Record(RunSeries& s, int n)
{
    s.srDetComp.assign(3, ChartSeries());
    for (int k = 0; k < n; ++k)
        for (ChartSeries* p : {&s.DET_pH, &s.DET_conductivity, &s.DET_volt, &s.DET_CDen, &s.DET_T,
                               &s.srDetComp[1], &s.srDetComp[2]})
            p->Add(k / 60.0, k);
}

void ExpectRecord(const RunSeries& s, int first, int count)
{
    for (const ChartSeries* p : {&s.DET_pH, &s.DET_conductivity, &s.DET_volt, &s.DET_CDen, &s.DET_T,
                                 &s.srDetComp[1], &s.srDetComp[2]}) {
        ASSERT_EQ(std::tuple(p->Count(), p->x.size()), std::tuple(count, p->y.size()));
        EXPECT_TRUE(count == 0 || p->y[0] == first);
    }
}

TEST(ChartExport, DetectorCutsKeepEveryTraceAligned)
{
    RunSeries s;
    Record(s, 5);
    EXPECT_TRUE(SkipToPoint(s, 0));  // removes exactly the first sample
    ExpectRecord(s, 1, 4);
    EXPECT_TRUE(SkipToPoint(s, 4));  // k = n removes all
    ExpectRecord(s, 0, 0);

    RunSeries f;
    Record(f, 5);
    EXPECT_FALSE(SkipFromPoint(f, 6));
    EXPECT_FALSE(SkipToPoint(f, -1));
    ExpectRecord(f, 0, 5);
    EXPECT_TRUE(SkipFromPoint(f, 5));  // k = n removes none
    ExpectRecord(f, 0, 5);
    EXPECT_TRUE(SkipFromPoint(f, 2));
    ExpectRecord(f, 0, 2);
    EXPECT_TRUE(SkipFromPoint(f, 0));  // 0 removes all
    ExpectRecord(f, 0, 0);
    EXPECT_EQ(DetectorSamples(f), 0);
}

}  // namespace
