#include "files/det_file.h"

#include "run_fixture.h"
#include "foundation/errors.h"
#include "foundation/fileio.h"
#include "support/raised_message.h"
#include "support/temp_dir.h"

namespace {

constexpr int kPoints = 3;

void Record(RunState& st)
{
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
    return g.str("EOF").b;
}

} // namespace

TEST(DetectorFile, LayoutOlderLayoutAndDamagedFiles)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r, ld, lg;
    r.Init(); ld.Init(); lg.Init();
    RunState& st = r.st;
    Record(st);
    ASSERT_GE(st.Series.clbDet.size(), 2u);
    ASSERT_TRUE(WriteDetFile(st, tmp.file("r.det")));
    const std::string g = Golden(st);
    EXPECT_EQ(ReadBytes(tmp.file("r.det")), g);

    // Damaged files add no points ("EOF" cut before its zero byte still reads).
    for (const std::string& bytes : Damaged(g, 1, {19, 23})) {
        WriteBytes(tmp.file("d.det"), bytes);
        bool read = false;
        const std::string m = RaisedMessage([&] { read = ReadDetFile(ld.st, tmp.file("d.det")); });
        EXPECT_TRUE(m == "Incorrect file." || m == "(no error)") << m;
        EXPECT_FALSE(read) << bytes.size();
        EXPECT_EQ(ld.st.Series.DET_pH.Count(), 0);
    }
    WriteBytes(tmp.file("k.det"), "KELVO SNA FILE");
    sink.Clear();
    EXPECT_FALSE(ReadDetFile(ld.st, tmp.file("k.det")));
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Incorrect Detector File."});

    // Reading appends to the record of the current run.
    ASSERT_TRUE(ReadDetFile(ld.st, tmp.file("r.det")));
    ASSERT_TRUE(ReadDetFile(ld.st, tmp.file("r.det")));
    ASSERT_EQ(ld.st.Series.DET_pH.Count(), 2 * kPoints);
    EXPECT_EQ(ld.st.Series.DET_pH.y[4], 4.71);
    EXPECT_EQ(ld.st.Series.srDetComp[3].y[2], 32.0);
    EXPECT_EQ(ld.st.Series.DET_CDen.y[1], 4.0);
    EXPECT_EQ(ld.st.Series.DET_T.y[5], 25.0);

    // Voltage and current are 0.0 at every point when their series hold another count.
    st.Series.DET_volt.Add(9, 9);
    ASSERT_TRUE(WriteDetFile(st, tmp.file("vi.det")));
    EXPECT_EQ(ReadBytes(tmp.file("vi.det")), Golden(st, false));

    // The older layout: no voltage and current, temperature 25.0.
    Bytes legacy;
    legacy.str("RAVO_CORE DET FILE").i32(1).i32(0).f64(1.0).f64(7.0).f64(0.1);
    for (int i = 1; i <= lg.st.NComp; ++i) legacy.f64(i);
    WriteBytes(tmp.file("old.det"), legacy.str("EOF").b);
    ASSERT_TRUE(ReadDetFile(lg.st, tmp.file("old.det")));
    EXPECT_EQ(lg.st.Series.DET_volt.y[0], 0.0);
    EXPECT_EQ(lg.st.Series.DET_CDen.y[0], 0.0);
    EXPECT_EQ(lg.st.Series.DET_T.y[0], 25.0);
    EXPECT_EQ(lg.st.Series.srDetComp[4].y[0], 4.0);

    // Nothing is written before Init.
    RunState none;
    EXPECT_FALSE(WriteDetFile(none, tmp.file("none.det")));
    EXPECT_FALSE(FileExists(tmp.file("none.det")));
    EXPECT_EQ(sink.warnings.size(), 1u);
}
