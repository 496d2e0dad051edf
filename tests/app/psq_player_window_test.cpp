// The sequence player window over a sequence recorded here: opening, frame
// steps through its controls, Use continuing the run, Reduce Size, damaged
// files that leave the live run alone, refusals during a run and a sequence
// named on the command line.
#include "qt_test_env.h"

#include "app/chart_view.h"
#include "app/main_window.h"
#include "app/psq_player_window.h"
#include "engine/init_calc.h"
#include "engine/run_calc.h"
#include "engine/run_state.h"
#include "files/byte_builder.h"
#include "files/example_project.h"
#include "files/psq.h"
#include "foundation/errors.h"
#include "support/psq_recording.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// A run recording a frame at its start and after every step into `psq` and its ".cmp".
void Record(const std::string& psq, int steps)
{
    RunState st;
    PsqFileRecorder recorder(st);
    testcomp::RecordAcetateRun(st, recorder, psq, steps);
}

// The frames of a sequence file as the reader sees them.
struct Frames {
    PsqHeader h;
    std::int64_t frameSize = 0;
    std::vector<PsqFrame> all;
    explicit Frames(const std::string& name)
    {
        KFile f = KFile::Open(name, 0);
        const std::int64_t size = f.Seek(0, 2);
        f.Seek(0, 0);
        BinReader in(f, size);
        h = ReadPsqHeader(in);
        frameSize = PsqFrameSize(h.Version, h.N, h.C, h.Micelles);
        const std::int64_t count = PsqFrameCount(size, h.HeaderSize, frameSize);
        for (int k = 1; k <= count; ++k) {
            int at = k;
            all.push_back(ReadPsqFrame(f, size, PsqFrameStart(size, count, frameSize, at), h));
        }
    }
    double Time(int frame) const { return all[static_cast<std::size_t>(frame - 1)].Block.Time; }
    // Constituent k (1-based) of frame `frame` (1-based).
    std::vector<double> Profile(int frame, int k) const
    {
        const auto nn = static_cast<std::size_t>(h.N + 1);
        const std::vector<double>& c = all[static_cast<std::size_t>(frame - 1)].C;
        return {c.begin() + static_cast<long>((k - 1) * nn), c.begin() + static_cast<long>(k * nn)};
    }
};

// The values the chart draws for a series titled `title`.
std::vector<double> Drawn(const MainWindow& w, const std::string& title)
{
    ChartView* chart = Ctl<ChartView>(w, "Graph");
    for (int i = 0; i < chart->graphCount(); ++i) {
        QCPGraph* g = chart->graph(i);
        if (g->name().toStdString() != title || !g->visible()) continue;
        std::vector<double> y;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            y.push_back(it->value);
        return y;
    }
    return {};
}

// What a refused or failed open must leave as it was.
struct LiveImage {
    int nx, ncomp;
    double cap, time;
    bool initialised;
    std::vector<double> c1, drawn1;
    bool operator==(const LiveImage&) const = default;
};

LiveImage ImageOf(RunState& st)
{
    const int nn = st.Arr.Nn;
    return {st.NX,
            st.NComp,
            st.CapLength,
            st.Time,
            st.Initialised,
            std::vector<double>(st.Arr.C(2, 1), st.Arr.C(2, 1) + nn),
            std::vector<double>(st.Arr.DrawnProfile[1], st.Arr.DrawnProfile[1] + nn)};
}

// A shown main window that runs the example project, with its player window.
struct Window : ::testing::Test {
    ProgramHome home;
    RecordingMessageSink sink;
    std::unique_ptr<MainWindow> w;
    PsqPlayerWindow* p = nullptr;
    std::string rec;
    void SetUp() override
    {
        rec = home.dir.file("rec.psq");
        Record(rec, 9);
        w = std::make_unique<MainWindow>();
        ComposeExampleDemo(w->State());
        w->show();
        w->State().PsqFileOwn = w->State().PsqFile = home.dir.file("own.psq");
        Click(*w, "bbnInit");
        ASSERT_TRUE(w->State().Initialised);
        p = w->findChild<PsqPlayerWindow*>("fmPSQ");
        ASSERT_NE(p, nullptr);
        p->AskOpenName = [this] { return QString::fromStdString(rec); };
    }
};

}  // namespace

TEST_F(Window, OpensAndStepsFramesThenUseContinuesTheRunFromTheShownFrame)
{
    RunState& st = w->State();
    const Frames frames(rec);
    ASSERT_EQ(frames.all.size(), 10u);
    auto shows = [&](int k) {
        EXPECT_EQ(st.Time, frames.Time(k)) << k;
        EXPECT_EQ(Drawn(*w, st.Series.srComp[1].title), frames.Profile(k, 1)) << k;
        EXPECT_EQ(Ctl<QLineEdit>(*p, "edFrame")->text(), QString::number(k));
        EXPECT_EQ(Ctl<QScrollBar>(*p, "scbPSQ")->value(), k);
    };

    // The menu entry shows the window; Open plays the whole file on the rebuilt engine.
    w->findChild<QAction*>("PSQPlayer2")->trigger();
    EXPECT_TRUE(p->isVisible());
    Click(*p, "sbnOpen");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(st.NX == 12 && st.NComp == frames.h.C && !st.Initialised);
    EXPECT_EQ(Ctl<QLabel>(*p, "llRightF")->text(), "10");
    EXPECT_TRUE(Ctl<QScrollBar>(*p, "scbPSQ")->isEnabled());
    EXPECT_EQ(Ctl<QScrollBar>(*p, "scbPSQ")->maximum(), 10);
    shows(10);
    EXPECT_FALSE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());  // no run until Use or Init

    // The scroll bar, First, a step of 3 with Play, and the frame edit.
    Ctl<QScrollBar>(*p, "scbPSQ")->setValue(4);
    shows(4);
    Click(*p, "bbnFirst");
    shows(1);
    Enter(*p, "edStep", "3");
    EXPECT_EQ(p->Player().FrameStep, 3);
    Enter(*p, "edStep", "0");
    EXPECT_EQ(Ctl<QLineEdit>(*p, "edStep")->text(), "3");
    Click(*p, "bbnPlay");
    shows(10);
    Click(*p, "bbnLast");
    shows(10);
    Enter(*p, "edFrame", "11");
    shows(10);
    Enter(*p, "edFrame", "5");
    shows(5);

    // Use on frame 5: the run continues from it, the temporary sequence holds
    // the header and five frames, and the window closes.
    const std::int64_t header = p->Player().HeaderSize, frame = p->Player().FrameSize;
    Click(*p, "sbnTake");
    EXPECT_FALSE(p->isVisible());
    ASSERT_TRUE(st.Initialised);
    for (int k = 1; k <= st.NComp; ++k)
        EXPECT_EQ(std::vector<double>(st.Arr.C(2, k), st.Arr.C(2, k) + st.Arr.Nn),
                  frames.Profile(5, k))
            << k;
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(st.PsqFile)), header + 5 * frame);
    EXPECT_EQ(ReadBytes(st.PsqFile),
              ReadBytes(rec).substr(0, static_cast<std::size_t>(header + 5 * frame)));
    ASSERT_TRUE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());

    // The next Start appends frame 6: the shown frame's moment, then the steps.
    st.StopTime = st.Time + 6.5 * st.DT;  // the start of the run takes three
    Click(*w, "bbnStart");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    const Frames after(st.PsqFile);
    ASSERT_GT(after.all.size(), 6u);
    EXPECT_EQ(after.Time(6), frames.Time(5));
    EXPECT_EQ(after.Profile(6, 1), frames.Profile(5, 1));
    EXPECT_GT(after.Time(7), after.Time(6));
}

TEST_F(Window, ReduceSizeWritesTheKeptFramesAndItsComposition)
{
    Click(*p, "sbnOpen");
    const Frames frames(rec);
    const std::string bytes = ReadBytes(rec);
    const auto header = static_cast<std::size_t>(frames.h.HeaderSize),
               frame = static_cast<std::size_t>(frames.frameSize);
    const std::string target = home.dir.file("out/small.psq");
    std::optional<QString> period;
    p->AskDeletePeriod = [&] { return period; };
    int saveAsked = 0;
    p->AskSaveName = [&] {
        ++saveAsked;
        return QString::fromStdString(target);
    };
    // Cancel, no number, 1 and more than the frame count end silently.
    for (std::optional<QString> answer :
         {std::optional<QString>(), std::optional<QString>(" "), std::optional<QString>("1"),
          std::optional<QString>("11")}) {
        period = answer;
        Click(*p, "spbDeletePeriod");
    }
    EXPECT_EQ(saveAsked, 0);
    // Every 3rd frame dropped; the missing directory is created after the question.
    period = "3";
    sink.answers = {true};
    Click(*p, "spbDeletePeriod");
    EXPECT_EQ(sink.questions,
              std::vector<std::string>{"Create New Directory?\n" + home.dir.file("out")});
    std::string expected = bytes.substr(0, header);
    for (int k : {1, 2, 4, 5, 7, 8, 10})
        expected += bytes.substr(header + static_cast<std::size_t>(k - 1) * frame, frame);
    EXPECT_EQ(ReadBytes(target), expected);
    EXPECT_EQ(ReadBytes(home.dir.file("out/small.cmp")), ReadBytes(home.dir.file("rec.cmp")));
}

TEST_F(Window, DamagedFilesAndRefusalsLeaveTheLiveRunUntouched)
{
    RunState& st = w->State();
    const LiveImage live = ImageOf(st);
    const std::string bytes = ReadBytes(rec);

    // Files that are no sequence, or describe no system: the message, nothing opened.
    std::string fewNodes = bytes;
    const std::int32_t five = 5;
    fewNodes.replace(19, 4, reinterpret_cast<const char*>(&five), 4);  // N, after the two texts
    const std::pair<std::string, std::string> damaged[] = {
        {"cut.psq", bytes.substr(0, 10)}, {"foreign.psq", "hello, world"}, {"nodes.psq", fewNodes}};
    for (const auto& [name, content] : damaged) {
        WriteBytes(home.dir.file(name), content);
        fs::copy_file(home.dir.file("rec.cmp"),
                      home.dir.file(fs::path(name).replace_extension(".cmp").string()));
        sink.Clear();
        p->AskOpenName = [&] { return QString::fromStdString(home.dir.file(name)); };
        Click(*p, "sbnOpen");
        EXPECT_EQ(sink.messages, std::vector<std::string>{"Incorrect PSQ file."}) << name;
        EXPECT_TRUE(ImageOf(st) == live) << name;
        EXPECT_FALSE(p->Player().FileOpened || st.PsqPlayerInUse) << name;
        EXPECT_FALSE(Ctl<QScrollBar>(*p, "scbPSQ")->isEnabled()) << name;
        EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnInit")->isEnabled()) << name;
    }
    // A last frame cut short: no whole frame count, nothing shown or rebuilt.
    sink.Clear();
    WriteBytes(home.dir.file("short.psq"), bytes.substr(0, bytes.size() - 100));
    p->AskOpenName = [&] { return QString::fromStdString(home.dir.file("short.psq")); };
    Click(*p, "sbnOpen");
    EXPECT_TRUE(sink.messages.empty() && sink.warnings.empty());
    EXPECT_TRUE(ImageOf(st) == live);
    EXPECT_FALSE(Ctl<QScrollBar>(*p, "scbPSQ")->isEnabled());

    // During a run Open and Use are refused and the run keeps its arrays.
    sink.Clear();
    p->AskOpenName = [&] { return QString::fromStdString(rec); };
    bool ran = false;
    w->Engine().RunCalc = [&](RunState& s) {
        s.Running = true;
        ran = true;
        Click(*p, "sbnOpen");
        Click(*p, "sbnTake");
        s.Running = false;
    };
    Click(*w, "bbnStart");
    ASSERT_TRUE(ran);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"START is active"});
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"START is active"});
    EXPECT_TRUE(ImageOf(st) == live);
    EXPECT_EQ(p->Player().FileName, home.dir.file("short.psq"));
}

TEST(PsqPlayerWindowStart, ASequenceNamedOnTheCommandLinePlaysWithItsSwitches)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string rec = home.dir.file("rec.psq");
    Record(rec, 4);
    MainWindow w({QString::fromStdString(rec), "/2", "/3"});
    w.FormActivate();
    auto* p = w.findChild<PsqPlayerWindow*>("fmPSQ");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->isVisible());
    EXPECT_TRUE(sink.messages.empty() && sink.warnings.empty());
    EXPECT_TRUE(p->Player().FileOpened);
    EXPECT_EQ(p->Player().FrameStep, 3);
    EXPECT_EQ(p->Player().RequestedFrame, 0);
    EXPECT_EQ(p->Player().CurrentFrame, 5);
    EXPECT_EQ(w.State().NX, 12);
    EXPECT_FALSE(w.State().OpenExample);
}
