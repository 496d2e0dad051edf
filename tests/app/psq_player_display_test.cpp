// What the sequence player shows besides the profiles: the micelle rows of a
// recorded micellar sequence, the micelles of an older sequence worked out
// from its surfactant profile, and the Enter key in the frame edit.
#include "qt_test_env.h"

#include "app/windows/micellar_window.h"
#include "app/windows/psq_player_window.h"
#include "engine/modes/micellar/micellar_mode.h"
#include "engine/step/init_calc.h"
#include "files/byte_builder.h"
#include "files/psq.h"
#include "support/psq_recording.h"

namespace {

struct Player : ExampleWindow {
    PsqPlayerWindow* p = nullptr;
    void SetUp() override
    {
        ExampleWindow::SetUp();
        p = Ctl<PsqPlayerWindow>(*w, "fmPSQ");
    }
    void Open(const std::string& name)
    {
        p->AskOpenName = [name] { return QString::fromStdString(name); };
        Trigger("PSQPlayer2");
        Click(*p, "sbnOpen");
    }
};

// An initialised acetate run on 12 nodes whose Init wrote `psq` (empty) and its ".cmp".
void InitRecordingRun(RunState& st, PsqFileRecorder& recorder, const std::string& psq)
{
    st.Recorder = &recorder;
    st.PsqFileOwn = st.PsqFile = psq;
    testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), 12);
    ASSERT_TRUE(InitCalc(st));
}

// Micelle row and micelle-bound row of frame k: values no formula gives.
std::vector<double> MicRow(int k, int nn)
{
    std::vector<double> v;
    for (int j = 0; j < nn; ++j) v.push_back(0.5 + j + 100.0 * k);
    return v;
}
std::vector<double> BoundRow(int k, int nn)
{
    std::vector<double> v;
    for (int j = 0; j < nn; ++j) v.push_back(7.0 + 0.25 * j + k);
    return v;
}

}  // namespace

TEST_F(Player, RecordedMicellesAreShownFrameByFrame)
{
    const std::string mic = home.dir.file("mic.psq");
    std::int64_t nn = 0, nc = 0;
    {
        RunState rs;
        PsqFileRecorder recorder(rs);
        InitRecordingRun(rs, recorder, mic);
        nn = rs.NX + 1;
        nc = rs.NComp;
        // A micellar sequence: the header says so and every frame ends with the two rows.
        rs.cbSDS = rs.cbShowMic = true;
        rs.MicCompNo = 1;
        AppendPsqFrame(rs, mic);
        rs.Time += 1.0;
        AppendPsqFrame(rs, mic);
    }
    // The rows written here, in the layout: micelles, the int32 2, the bound constituent.
    std::string bytes = ReadBytes(mic);
    const std::int64_t frame = PsqFrameSize("1.0", nn - 1, nc, true);
    ASSERT_EQ(frame, PsqFrameSize("1.0", nn - 1, nc, false) + 2 * nn * 8 + 4);
    const std::int64_t header = static_cast<std::int64_t>(bytes.size()) - 2 * frame;
    for (int k = 1; k <= 2; ++k) {
        Bytes rows;
        rows.f64s(MicRow(k, static_cast<int>(nn)).data(), static_cast<int>(nn)).i32(2);
        rows.f64s(BoundRow(k, static_cast<int>(nn)).data(), static_cast<int>(nn));
        bytes.replace(
            static_cast<std::size_t>(header + k * frame - static_cast<std::int64_t>(rows.b.size())),
            rows.b.size(), rows.b);
    }
    WriteBytes(mic, bytes);

    // The micelle-bound profile is drawn while the micellar window asks for it.
    Ctl<QCheckBox>(*Ctl<MicellarWindow>(*w, "fmSDS"), "cbComplex")->click();
    Open(mic);
    EXPECT_TRUE(sink.messages.empty() && sink.warnings.empty());
    ASSERT_EQ(p->Player().FrameCount, 2);
    QCPGraph* micelles = GraphNamed(*w, "Micelles");
    QCPGraph* bound = GraphNamed(*w, "Mic-Dye");
    ASSERT_TRUE(micelles && bound);
    EXPECT_EQ(Values(micelles), MicRow(2, static_cast<int>(nn)));
    EXPECT_EQ(Values(bound), BoundRow(2, static_cast<int>(nn)));
    // The frame's switches show the micelles.
    EXPECT_TRUE(micelles->visible() && bound->visible());
    Click(*p, "bbnFirst");
    EXPECT_EQ(Values(micelles), MicRow(1, static_cast<int>(nn)));
    EXPECT_EQ(Values(bound), BoundRow(1, static_cast<int>(nn)));
}

TEST_F(Player, AnOlderSequenceInMicellarModeShowsMicellesAboveTheCmc)
{
    const std::string old = home.dir.file("old.psq");
    std::vector<std::vector<double>> surfactant;
    {
        RunState rs;
        PsqFileRecorder recorder(rs);
        InitRecordingRun(rs, recorder, old);
        Bytes legacy;
        legacy.str("RAVO_CORE PSQ FILE")
            .i32(rs.NX)
            .i32(rs.NComp)
            .f64(rs.CapLength)
            .f64(1)
            .f64(1)
            .f64(5);
        WriteBytes(old, legacy.b);
        // Constituent 1 (the surfactant here) around the CMC of 2 mM.
        for (int k = 0; k < 2; ++k) {
            double* c = rs.Arr.C(2, 1);
            for (int j = 0; j <= rs.NX; ++j)
                c[j] = (j % 3 == 0 ? 1.5 : 2.0 + 6.4 * (j + 1)) + 10.0 * k;
            surfactant.emplace_back(c, c + rs.NX + 1);
            AppendPsqFrame(rs, old);
        }
        ASSERT_EQ(GetPsqFileVersion(old), "0.1");
    }
    RunState& st = St();
    Open(old);
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_EQ(p->Player().FrameCount, 2);
    ASSERT_EQ(st.NX + 1, static_cast<int>(surfactant[0].size()));

    // Micellar mode on, with the CMC profile the micellar Init leaves (CMC 2 mM, 64 per micelle).
    auto* sds = Ctl<MicellarWindow>(*w, "fmSDS");
    Ctl<QCheckBox>(*sds, "cbSDS")->click();
    Ctl<QCheckBox>(*sds, "cbShowMic")->click();
    ASSERT_TRUE(st.cbSDS && st.cbShowMic);
    st.CMC = 2.0;
    st.OM = 64;
    st.MicCompNo = 1;
    InitCMCProfile(st);
    auto expected = [&](int frame) {
        std::vector<double> m;
        for (double c : surfactant[static_cast<std::size_t>(frame - 1)])
            m.push_back(c > 2.0 ? (c - 2.0) / 64 : 0.0);
        return m;
    };
    Click(*p, "bbnFirst");
    QCPGraph* micelles = GraphNamed(*w, "Micelles");
    ASSERT_TRUE(micelles);
    EXPECT_EQ(Values(micelles), expected(1));
    Click(*p, "bbnLast");
    EXPECT_EQ(Values(micelles), expected(2));
    EXPECT_NE(expected(1), expected(2));
    // The micellar window's "ignore" switch leaves the micelles as they were.
    Ctl<QCheckBox>(*sds, "cbIngoreSNA")->click();
    ASSERT_TRUE(st.cbIngoreSNA);
    Click(*p, "bbnFirst");
    EXPECT_EQ(Values(micelles), expected(2));
}

TEST_F(Player, EnterInTheFrameEditShowsThatFrameAndDoesNotPlay)
{
    const std::string rec = home.dir.file("rec.psq");
    {
        RunState rs;
        PsqFileRecorder recorder(rs);
        testcomp::RecordAcetateRun(rs, recorder, rec, 9);
    }
    Open(rec);
    ASSERT_EQ(p->Player().FrameCount, 10);
    ASSERT_EQ(p->Player().CurrentFrame, 10);
    ShowActive(*p);
    auto* frame = Ctl<QLineEdit>(*p, "edFrame");
    TypeOver(frame, "4");
    ASSERT_TRUE(frame->hasFocus());
    QTest::keyClick(p->windowHandle(), Qt::Key_Return);
    // The typed frame is shown and stays: nothing played on to the end.
    EXPECT_EQ(p->Player().CurrentFrame, 4);
    EXPECT_EQ(frame->text(), "4");
    EXPECT_FALSE(p->Player().KeepPlaying);
    EXPECT_FALSE(frame->hasFocus());

    // While playing, Enter in the frame edit hands the focus to Stop.
    // (The edit keeps the focus here as it would when playing started while typing.)
    int pressed = 0;
    bool stopFocused = false;
    p->Player().FrameShown = [&, shown = p->Player().FrameShown](int k) {
        shown(k);
        if (k != 6 || pressed > 0) return;
        ++pressed;
        frame->removeEventFilter(p);
        frame->setFocus(Qt::OtherFocusReason);
        frame->installEventFilter(p);
        QTest::keyClick(frame, Qt::Key_Enter);
        stopFocused = Ctl<QPushButton>(*p, "bbnStop")->hasFocus();
    };
    Click(*p, "bbnPlay");
    EXPECT_EQ(pressed, 1);
    EXPECT_TRUE(stopFocused);
}
