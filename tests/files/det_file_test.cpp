#include "files/det_file.h"

#include "byte_builder.h"
#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

constexpr int kPoints = 3;

void RunWithRecord(RunState& st)
{
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 12);
    ASSERT_TRUE(InitCalc(st));
    RunSeries& s = st.Series;
    for (int p = 0; p < kPoints; ++p) {
        const double t = 0.5 * (p + 1);
        s.DET_pH.Add(t, 4.7 + 0.01 * p);
        s.DET_conductivity.Add(t, 0.05 + p);
        for (int i = 1; i <= st.NComp; ++i) s.srDetComp[i].Add(t, 10.0 * i + p);
        s.DET_volt.Add(t, 0.25);
        s.DET_CDen.Add(t, 3.0 + p);
        s.DET_T.Add(t, 25.0);
    }
}

std::string Golden(const RunState& st, bool withVI = true)
{
    Bytes g;
    g.str("KELVO DET FILE").str("1.0").i32(kPoints).i32(static_cast<int>(st.Series.clbDet.size()));
    for (const CheckListItem& item : st.Series.clbDet) g.str(item.text);
    for (int p = 0; p < kPoints; ++p) {
        g.f64(0.5 * (p + 1)).f64(4.7 + 0.01 * p).f64(0.05 + p);
        for (int i = 1; i <= st.NComp; ++i) g.f64(10.0 * i + p);
        g.f64(withVI ? 0.25 : 0.0).f64(withVI ? 3.0 + p : 0.0);
    }
    g.str("EOF");
    return g.b;
}

} // namespace

TEST(DetectorFile, WriterAndReaderFollowTheLayout)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    RunWithRecord(st);
    ASSERT_GE(st.Series.clbDet.size(), 2u);
    ASSERT_TRUE(WriteDetFile(st, tmp.file("r.det")));
    EXPECT_EQ(ReadBytes(tmp.file("r.det")), Golden(st));

    // Voltage and current are 0.0 at every point when their series hold another count.
    st.Series.DET_volt.Add(9, 9);
    ASSERT_TRUE(WriteDetFile(st, tmp.file("vi.det")));
    EXPECT_EQ(ReadBytes(tmp.file("vi.det")), Golden(st, false));

    // Reading appends to the record of the current run.
    RunState ld;
    testcomp::PrepareRun(ld, testcomp::AcetateBufferWithAnalytes(), 12);
    ASSERT_TRUE(InitCalc(ld));
    ASSERT_TRUE(ReadDetFile(ld, tmp.file("r.det")));
    ASSERT_TRUE(ReadDetFile(ld, tmp.file("r.det")));
    ASSERT_EQ(ld.Series.DET_pH.Count(), 2 * kPoints);
    EXPECT_EQ(ld.Series.DET_pH.y[4], 4.71);
    EXPECT_EQ(ld.Series.srDetComp[3].y[2], 32.0);
    EXPECT_EQ(ld.Series.DET_CDen.y[1], 4.0);
    EXPECT_EQ(ld.Series.DET_T.y[5], 25.0);

    // The older layout: no voltage and current, temperature 25.0.
    Bytes legacy;
    legacy.str("RAVO_CORE DET FILE").i32(1).i32(0);
    legacy.f64(1.0).f64(7.0).f64(0.1);
    for (int i = 1; i <= ld.NComp; ++i) legacy.f64(i);
    legacy.str("EOF");
    WriteBytes(tmp.file("old.det"), legacy.b);
    RunState lg;
    testcomp::PrepareRun(lg, testcomp::AcetateBufferWithAnalytes(), 12);
    ASSERT_TRUE(InitCalc(lg));
    ASSERT_TRUE(ReadDetFile(lg, tmp.file("old.det")));
    EXPECT_EQ(lg.Series.DET_volt.y[0], 0.0);
    EXPECT_EQ(lg.Series.DET_CDen.y[0], 0.0);
    EXPECT_EQ(lg.Series.DET_T.y[0], 25.0);
    EXPECT_EQ(lg.Series.srDetComp[4].y[0], 4.0);
    EXPECT_TRUE(sink.warnings.empty());

    // Nothing is written before Init.
    RunState none;
    EXPECT_FALSE(WriteDetFile(none, tmp.file("none.det")));
    EXPECT_FALSE(FileExists(tmp.file("none.det")));
}

TEST(DetectorFile, DamagedFilesAddNoPoints)
{
    TempDir tmp;
    RecordingMessageSink sink;
    RunState st;
    RunWithRecord(st);
    const std::string g = Golden(st);
    std::vector<std::string> damaged;
    // (A trailer cut before its zero byte still reads as "EOF".)
    for (std::size_t len = 0; len + 1 < g.size(); ++len) damaged.push_back(g.substr(0, len));
    for (std::int32_t v : {-1, INT_MAX, INT_MIN}) {
        damaged.push_back(WithInt32At(g, 19, v));
        damaged.push_back(WithInt32At(g, 23, v));
    }
    damaged.push_back(WithInt32At(g, 19, 0));   // no points: the records stand where the trailer should
    RunState ld;
    testcomp::PrepareRun(ld, testcomp::AcetateBufferWithAnalytes(), 12);
    ASSERT_TRUE(InitCalc(ld));
    for (const std::string& bytes : damaged) {
        WriteBytes(tmp.file("d.det"), bytes);
        bool read = false;
        try {
            read = ReadDetFile(ld, tmp.file("d.det"));
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Incorrect file.");
        }
        EXPECT_FALSE(read) << bytes.size();
        EXPECT_EQ(ld.Series.DET_pH.Count(), 0);
    }
    WriteBytes(tmp.file("k.det"), "KELVO SNA FILE");
    sink.Clear();
    EXPECT_FALSE(ReadDetFile(ld, tmp.file("k.det")));
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "Incorrect Detector File.");
}
