// The sequence player window over a sequence recorded here: opening, frame
// steps through its controls, Use continuing the run, Reduce Size, damaged
// files that leave the live run alone, refusals during a run and a sequence
// named on the command line.
#include "qt_test_env.h"

#include "app/kit/added_texts.h"
#include "app/windows/psq_player_window.h"
#include "engine/step/init_calc.h"
#include "files/byte_builder.h"
#include "files/complex_file.h"
#include "files/psq.h"
#include "files/sna_file.h"
#include "support/psq_recording.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"

#include <map>
#include <sstream>

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

// What a refused or failed open must leave as it was: the grid, the time and
// the first constituent's profile, computed and drawn.
std::tuple<int, double, bool, std::vector<double>, std::vector<double>> ImageOf(RunState& st)
{
    const int nn = st.Arr.Nn;
    return {st.NX, st.Time, st.Initialised,
            std::vector<double>(st.Arr.C(2, 1), st.Arr.C(2, 1) + nn),
            std::vector<double>(st.Arr.DrawnProfile[1], st.Arr.DrawnProfile[1] + nn)};
}

// The example run in a main window, with the player window and a recorded sequence.
struct Window : ExampleWindow {
    PsqPlayerWindow* p = nullptr;
    std::string rec;
    void SetUp() override
    {
        ExampleWindow::SetUp();
        rec = home.dir.file("rec.psq");
        Record(rec, 9);
        p = Ctl<PsqPlayerWindow>(*w, "fmPSQ");
        OpenName(rec);
    }
    void OpenName(const std::string& name)
    {
        p->AskOpenName = [name] { return QString::fromStdString(name); };
    }
};

}  // namespace

TEST_F(Window, OpensStepsReducesAndUseContinuesTheRunFromTheShownFrame)
{
    RunState& st = w->State();
    const Frames frames(rec);
    ASSERT_EQ(frames.all.size(), 10u);
    auto shows = [&](int k) {
        EXPECT_EQ(st.Time, frames.Time(k)) << k;
        EXPECT_EQ(Values(GraphNamed(*w, QString::fromStdString(st.Series.srComp[1].title))),
                  frames.Profile(k, 1))
            << k;
        EXPECT_EQ(Ctl<QLineEdit>(*p, "edFrame")->text(), QString::number(k));
        EXPECT_EQ(Ctl<QScrollBar>(*p, "scbPSQ")->value(), k);
    };

    // The menu entry shows the window; Open plays the whole file on the rebuilt engine.
    Ctl<QAction>(*w, "PSQPlayer2")->trigger();
    EXPECT_TRUE(p->isVisible());
    Click(*p, "sbnOpen");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(st.NX == 12 && st.NComp == frames.h.C && !st.Initialised);
    EXPECT_EQ(Ctl<QScrollBar>(*p, "scbPSQ")->maximum(), 10);
    shows(10);
    EXPECT_FALSE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());  // no run until Use or Init

    // The scroll bar, First, Play with a step of 3 (0 is refused), and the frame edit.
    Ctl<QScrollBar>(*p, "scbPSQ")->setValue(4);
    shows(4);
    Click(*p, "bbnFirst");
    shows(1);
    Enter(*p, "edStep", "3");
    Enter(*p, "edStep", "0");
    Click(*p, "bbnPlay");
    shows(10);
    EXPECT_EQ(p->Player().FrameStep, 3);
    Enter(*p, "edFrame", "5");
    shows(5);

    const std::string target = home.dir.file("out/small.psq");
    std::optional<QString> period;
    p->AskDeletePeriod = [&] { return period; };
    int saveAsked = 0;
    p->AskSaveName = [&] {
        ++saveAsked;
        return QString::fromStdString(target);
    };
    // Reduce Size: Cancel, no number, 1 and more than the frame count end silently.
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
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(target)),
              frames.h.HeaderSize + 7 * frames.frameSize);
    EXPECT_EQ(ReadBytes(home.dir.file("out/small.cmp")), ReadBytes(home.dir.file("rec.cmp")));

    // Use on frame 5: the run continues from it and the window closes.
    Click(*p, "sbnTake");
    EXPECT_FALSE(p->isVisible());
    ASSERT_TRUE(st.Initialised);
    for (int k = 1; k <= st.NComp; ++k)
        EXPECT_EQ(std::vector<double>(st.Arr.C(2, k), st.Arr.C(2, k) + st.Arr.Nn),
                  frames.Profile(5, k))
            << k;
    EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());
}

// A preview of the initial-distribution tool that keeps the grid leaves the
// sequence of the run fitting it: every player command is still refused, Reduce
// Size in place too (the file keeps its frames). A play stopped on a frame
// stays on it, and Use cuts the run's sequence after the frame drawn.
TEST_F(Window, APreviewHoldsThePlayersFrameAndUseCutsTheSequenceAtTheFrameDrawn)
{
    RunState& st = w->State();
    const std::string seq = RecordSequence(0.0095, "seq.psq");
    OpenName(seq);
    const Frames frames(seq);
    ASSERT_GE(frames.all.size(), 8u);
    const QString count = QString::number(frames.all.size());
    const std::string bytes = ReadBytes(seq);
    Trigger("PSQPlayer2");
    Click(*p, "sbnOpen");
    Ctl<QScrollBar>(*p, "scbPSQ")->setValue(4);
    ASSERT_EQ(st.Time, frames.Time(4));
    auto* t = Ctl<QWidget>(*w, "fmDist");
    Trigger("InitialDistribution1");
    Click(*t, "bnCreate");
    Click(*t, "bnPreview");
    ASSERT_TRUE(st.DistPreview && !st.PsqPlayerReloadNeeded);
    ASSERT_EQ(std::tuple(st.NX, st.CapLength), std::tuple(frames.h.N, frames.h.CapLength));
    sink.Clear();
    Click(*p, "bbnFirst");
    Click(*p, "bbnLast");
    Click(*p, "bbnPlay");
    Ctl<QScrollBar>(*p, "scbPSQ")->setValue(2);
    Enter(*p, "edFrame", "1");
    p->AskDeletePeriod = [] { return std::optional<QString>("2"); };
    p->AskSaveName = [&] { return QString::fromStdString(seq); };
    Click(*p, "spbDeletePeriod");
    EXPECT_EQ(sink.warnings, std::vector<std::string>(6, kInitDuringPreview));
    EXPECT_TRUE(ReadBytes(seq) == bytes);
    EXPECT_EQ(std::tuple(p->Player().CurrentFrame, Ctl<QLabel>(*p, "llRightF")->text(), st.Time),
              std::tuple(4, count, frames.Time(4)));
    Click(*t, "bnClose");

    // Played with a step of 2 and stopped while frame 6 is drawn: the player
    // stays on frame 6, and Use continues the run from it with the sequence
    // cut after it.
    PsqPlayer& player = p->Player();
    const auto shown = player.FrameShown;
    player.FrameShown = [&](int k) {
        shown(k);
        if (k == 6) Click(*p, "bbnStop");
    };
    Enter(*p, "edStep", "2");
    Click(*p, "bbnPlay");
    player.FrameShown = shown;
    EXPECT_EQ(std::tuple(player.CurrentFrame, Ctl<QLineEdit>(*p, "edFrame")->text(), st.Time),
              std::tuple(6, QString("6"), frames.Time(6)));
    Click(*p, "sbnTake");
    ASSERT_TRUE(st.Initialised);
    const Frames cut(st.PsqFileOwn);
    ASSERT_EQ(cut.all.size(), 6u);
    EXPECT_EQ(cut.Time(6), st.Time);
    for (int k = 1; k <= st.NComp; ++k)
        EXPECT_EQ(cut.Profile(6, k),
                  std::vector<double>(st.Arr.C(2, k), st.Arr.C(2, k) + st.Arr.Nn))
            << k;
}

TEST_F(Window, DamagedFilesAndRefusalsLeaveTheLiveRunUntouched)
{
    RunState& st = w->State();
    const auto live = ImageOf(st);
    const std::string bytes = ReadBytes(rec);

    // A file that is no sequence: the message, nothing opened. A last frame
    // cut short: no whole frame count, the message, nothing shown or rebuilt.
    const std::tuple<std::string, std::string, bool> damaged[] = {
        {"foreign.psq", "hello, world", true},
        {"short.psq", bytes.substr(0, bytes.size() - 100), true}};
    for (const auto& [name, content, told] : damaged) {
        WriteBytes(home.dir.file(name), content);
        fs::copy_file(home.dir.file("rec.cmp"),
                      home.dir.file(fs::path(name).replace_extension(".cmp").string()));
        sink.Clear();
        OpenName(home.dir.file(name));
        Click(*p, "sbnOpen");
        EXPECT_EQ(sink.messages, told ? std::vector<std::string>{"Incorrect PSQ file."}
                                      : std::vector<std::string>{})
            << name;
        EXPECT_TRUE(sink.warnings.empty());
        EXPECT_EQ(ImageOf(st), live) << name;
        EXPECT_FALSE(told && (p->Player().FileOpened || st.PsqPlayerInUse)) << name;
        EXPECT_FALSE(Ctl<QScrollBar>(*p, "scbPSQ")->isEnabled()) << name;
        EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnInit")->isEnabled()) << name;
    }

    // During a run Open and Use are refused and the run keeps its arrays.
    sink.Clear();
    OpenName(rec);
    bool ran = false;
    w->Engine().RunCalc = [&](RunState& s) {
        s.Running = ran = true;
        Click(*p, "sbnOpen");
        Click(*p, "sbnTake");
        s.Running = false;
    };
    Click(*w, "bbnStart");
    ASSERT_TRUE(ran);
    EXPECT_EQ(sink.messages, std::vector<std::string>(2, "START is active"));
    EXPECT_TRUE(sink.warnings.empty());
    EXPECT_EQ(ImageOf(st), live);
    EXPECT_EQ(p->Player().FileName, "");  // nothing opened since the refused file
}

TEST(PsqPlayerWindowStart, ASequenceNamedOnTheCommandLinePlaysWithItsSwitches)
{
    ProgramHome home;
    RecordingMessageSink sink;
    const std::string rec = home.dir.file("rec.psq");
    Record(rec, 4);
    MainWindow w({QString::fromStdString(rec), "/2", "/3"});
    w.FormActivate();
    auto* p = Ctl<PsqPlayerWindow>(w, "fmPSQ");
    EXPECT_TRUE(p->isVisible());
    EXPECT_TRUE(sink.messages.empty() && sink.warnings.empty());
    const PsqPlayer& player = p->Player();
    EXPECT_EQ(
        std::tuple(player.FileOpened, player.FrameStep, player.RequestedFrame, player.CurrentFrame),
        std::tuple(true, 3, 0, 5));
    EXPECT_EQ(w.State().NX, 12);
    EXPECT_FALSE(w.State().OpenExample);
}

namespace {

// Menu "Option": clicks the x-axis unit `button` in the modal options window, then Close.
void ChooseXAxisUnit(MainWindow& w, const char* button)
{
    auto* option = Ctl<QWidget>(w, "fmOption");
    QTimer::singleShot(0, [option, button] {
        auto* b = Ctl<QRadioButton>(*option, button);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        Click(*option, "bnClose");
    });
    Ctl<QAction>(w, "Option1")->trigger();
}

}  // namespace

TEST_F(Window, FramesFollowTheUnitCutFilesAreRefusedAndSequencesOpenInTheirMode)
{
    RunState& st = w->State();
    const Frames frames(rec);
    ASSERT_EQ(frames.all.size(), 10u);
    auto profileShown = [&](int k, int frame) {
        return Values(GraphNamed(*w, QString::fromStdString(st.Series.srComp[k].title))) ==
               frames.Profile(frame, k);
    };
    // Every line drawn along the capillary (one point per node) runs from 0
    // to the capillary's length in the unit chosen: `scale` points per metre.
    // Answers the titles of the lines that do not; pH and every constituent
    // must be among those drawn.
    auto offUnit = [&](double scale) {
        std::vector<std::string> off;
        int drawn = 0;
        QCustomPlot* plot = Ctl<QCustomPlot>(*w, "Graph");
        const double end = frames.h.CapLength * scale;
        for (int i = 0; i < plot->graphCount(); ++i) {
            const QCPGraph* g = plot->graph(i);
            if (g->dataCount() != frames.h.N + 1) continue;
            ++drawn;
            const double first = g->data()->constBegin()->key;
            const double last = (g->data()->constEnd() - 1)->key;
            if (first != 0 || std::fabs(last - end) > 1e-12 * end)
                off.push_back(g->name().toStdString());
        }
        if (drawn < st.NComp + 1) off.push_back("only " + std::to_string(drawn) + " lines");
        return off;
    };
    const std::vector<std::string> none;

    // The unit switch while the player shows frames: every line moves at
    // once, and the frames shown afterwards stand in the new unit too.
    Trigger("PSQPlayer2");
    Click(*p, "sbnOpen");
    ASSERT_TRUE(sink.messages.empty() && sink.warnings.empty());
    Ctl<QScrollBar>(*p, "scbPSQ")->setValue(4);
    ASSERT_TRUE(profileShown(1, 4));
    EXPECT_EQ(offUnit(1000), none);
    ChooseXAxisUnit(*w, "rbXAxisM");
    ASSERT_EQ(st.XScale, 1);
    EXPECT_EQ(offUnit(1), none);
    Ctl<QScrollBar>(*p, "scbPSQ")->setValue(7);
    ASSERT_TRUE(profileShown(1, 7));
    EXPECT_EQ(offUnit(1), none);
    ChooseXAxisUnit(*w, "rbXAxisMM");
    EXPECT_EQ(offUnit(1000), none);
    Click(*p, "bbnFirst");
    EXPECT_EQ(offUnit(1000), none);

    // Files that do not hold whole frames (a recording cut inside its tenth
    // frame, inside its first, after its header): refused with the message,
    // the run in the window kept. The example run comes back first.
    ASSERT_TRUE(w->OpenFile(home.WriteExample()));
    Click(*w, "bbnInit");
    ASSERT_TRUE(st.Initialised);
    const auto live = ImageOf(st);
    const std::string bytes = ReadBytes(rec);
    const std::int64_t header = frames.h.HeaderSize, frame = frames.frameSize;
    fs::copy_file(home.dir.file("rec.cmp"), home.dir.file("cut.cmp"));
    OpenName(home.dir.file("cut.psq"));
    for (const std::int64_t size : {header + 9 * frame + frame / 2, header + frame / 2, header}) {
        WriteBytes(home.dir.file("cut.psq"), bytes.substr(0, static_cast<std::size_t>(size)));
        sink.Clear();
        Click(*p, "sbnOpen");
        EXPECT_EQ(sink.messages, std::vector<std::string>{"Incorrect PSQ file."}) << size;
        EXPECT_TRUE(sink.warnings.empty()) << size;
        EXPECT_EQ(ImageOf(st), live) << size;
        EXPECT_FALSE(p->Player().FileOpened || st.PsqPlayerInUse) << size;
        EXPECT_FALSE(Ctl<QScrollBar>(*p, "scbPSQ")->isEnabled()) << size;
        // No frame count of the sequence shown before.
        EXPECT_EQ(Ctl<QLabel>(*p, "llRightF")->text(), "1") << size;
    }

    // A sequence recorded in complexation mode keeps its table beside it.
    RunState made;
    PsqFileRecorder recorder(made);
    made.Recorder = &recorder;
    made.PsqFileOwn = made.PsqFile = home.dir.file("cx.psq");
    testcomp::PrepareComplexZoneRun(made, 10.0);
    ASSERT_TRUE(InitCalc(made));
    AppendPsqFrame(made, made.PsqFile);
    made.Time += made.DT;
    AppendPsqFrame(made, made.PsqFile);
    ASSERT_TRUE(fs::exists(home.dir.file("cx.txt")));
    EXPECT_EQ(ReadComplexTableFile(home.dir.file("cx.txt")), made.TxtTable);
    const std::string project = home.dir.file("zones.sna");
    ASSERT_TRUE(SaveSnaFile(made, project));
    // A table that does not fit the sequence's composition (an analyte line
    // short): refused before anything of the complexation run in the window changes.
    {
        std::vector<std::string> lines;
        std::istringstream text(ReadBytes(home.dir.file("cx.txt")));
        for (std::string line; std::getline(text, line);) lines.push_back(line + "\n");
        const auto last = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) {
            return l.size() > 2 && l[0] != '#';
        });
        lines.erase(std::next(last).base());
        std::string shorter;
        for (const std::string& l : lines) shorter += l;
        WriteBytes(home.dir.file("bad.txt"), shorter);
        ASSERT_EQ(ReadComplexTableFile(home.dir.file("bad.txt")).size() + 1, made.TxtTable.size());
    }
    fs::copy_file(home.dir.file("cx.psq"), home.dir.file("bad.psq"));
    fs::copy_file(home.dir.file("cx.cmp"), home.dir.file("bad.cmp"));
    ASSERT_TRUE(w->OpenFile(project));
    ASSERT_TRUE(st.cbComplex && st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    // The project's sequence came along as the temporary one, with its table.
    ASSERT_EQ(ReadBytes(st.PsqFileOwn), ReadBytes(home.dir.file("cx.psq")));
    EXPECT_EQ(ReadComplexTableFile(ChangeFileExt(st.PsqFileOwn, ".txt")), made.TxtTable);
    const auto complexRun = ImageOf(st);
    sink.Clear();
    OpenName(home.dir.file("bad.psq"));
    Click(*p, "sbnOpen");
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Incorrect PSQ file."});
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_EQ(ImageOf(st), complexRun);
    EXPECT_TRUE(st.cbComplex && st.TxtTable == made.TxtTable);

    // A sequence recorded without complexation opens without it, frames and all.
    sink.Clear();
    OpenName(rec);
    Click(*p, "sbnOpen");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_FALSE(st.cbComplex);
    EXPECT_FALSE(Ctl<QLabel>(*w, "llComplex")->isVisibleTo(w.get()));
    EXPECT_EQ(Ctl<QLabel>(*p, "llRightF")->text(), "10");
    for (int k = 1; k <= st.NComp; ++k) EXPECT_TRUE(profileShown(k, 10)) << k;

    // The complexation sequence opens in complexation mode with its table,
    // and Use continues it so, the table beside the temporary sequence; the
    // ionic-strength correction ticked before goes with the New of the open
    // (Init would refuse complexation with it).
    sink.Clear();
    Ctl<QCheckBox>(*w, "cbIS")->click();
    ASSERT_TRUE(st.cbIS);
    OpenName(home.dir.file("cx.psq"));
    Click(*p, "sbnOpen");
    EXPECT_TRUE(sink.messages.empty()) << sink.messages[0];
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_TRUE(st.cbComplex && st.TxtTable == made.TxtTable);
    EXPECT_FALSE(st.cbIS || Ctl<QCheckBox>(*w, "cbIS")->isChecked());
    EXPECT_TRUE(Ctl<QLabel>(*w, "llComplex")->isVisibleTo(w.get()));
    EXPECT_EQ(Ctl<QLabel>(*p, "llRightF")->text(), "2");
    EXPECT_EQ(st.Time, made.Time);
    // Reduce Size takes the table along with the composition.
    p->AskDeletePeriod = [] { return std::optional<QString>("2"); };
    p->AskSaveName = [&] { return QString::fromStdString(home.dir.file("cx2.psq")); };
    Click(*p, "spbDeletePeriod");
    EXPECT_EQ(ReadBytes(home.dir.file("cx2.cmp")), ReadBytes(home.dir.file("cx.cmp")));
    EXPECT_EQ(ReadComplexTableFile(home.dir.file("cx2.txt")), made.TxtTable);
    // Beside another project its composition is replaced only after the
    // question; a No writes nothing.
    const std::string demo = home.WriteExample();
    auto folder = [&] {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(fs::path(demo).parent_path()))
            files[e.path().string()] = ReadBytes(e.path().string());
        return files;
    };
    const auto before = folder();
    const std::string demoCmp = ChangeFileExt(demo, ".cmp");
    p->AskSaveName = [&] { return QString::fromStdString(ChangeFileExt(demo, ".psq")); };
    sink.Clear();
    sink.answers = {false};
    Click(*p, "spbDeletePeriod");
    EXPECT_EQ(sink.questions, std::vector<std::string>{"Overwrite file: " + demoCmp + "?"});
    EXPECT_TRUE(folder() == before);
    sink.answers = {true};
    Click(*p, "spbDeletePeriod");
    EXPECT_EQ(ReadBytes(demoCmp), ReadBytes(home.dir.file("cx.cmp")));
    EXPECT_EQ(ReadComplexTableFile(ChangeFileExt(demo, ".txt")), made.TxtTable);
    Click(*p, "sbnTake");
    ASSERT_TRUE(st.Initialised && st.cbComplex) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_EQ(ReadComplexTableFile(ChangeFileExt(st.PsqFileOwn, ".txt")), made.TxtTable);
    const double from = st.Time;
    st.StopTime = from + 5 * st.DT;
    Click(*w, "bbnStart");
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    EXPECT_GT(st.Time, from);
    EXPECT_TRUE(st.cbComplex && st.ComplexReady);
}

// Frames recorded by model time keep the sequence's spacing when the run goes
// on after a save and an open, as they do when it goes on without them (no
// frame a step after the reopened run's first).
TEST_F(ExampleWindow, AReopenedRunRecordsItsFramesOnTheSequencesSpacing)
{
    RunState& st = St();
    const double period = 0.02;
    auto record = [&](double stopTime) {
        st.rbPSQNo = st.rbPSQSteps = false;
        st.rbPSQMS = true;
        st.PSQPeriod = static_cast<int>(period * 1000);
        st.StopTime = stopTime;
        Click(*w, "bbnStart");
        ASSERT_TRUE(!st.Running && st.Time > stopTime - 0.01) << st.Time;
    };
    record(0.1);
    const std::string project = home.dir.file("spaced.sna");
    sink.answers = {true, true};
    ASSERT_TRUE(SaveSnaFile(st, project));
    w->New1Click();
    sink.answers = {true, true};
    ASSERT_TRUE(w->OpenFile(project)) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    const std::size_t saved = Frames(st.PsqFile).all.size();
    ASSERT_GE(saved, 5u);
    const double reopened = st.Time;
    record(0.2);
    const Frames frames(st.PsqFile);
    ASSERT_GE(frames.all.size(), saved + 4);
    // The reopened run records its start as a fresh run does; the frames after
    // it are spaced from it.
    EXPECT_EQ(frames.Time(static_cast<int>(saved) + 1), reopened);
    for (int k = 2; k <= static_cast<int>(frames.all.size()); ++k) {
        if (k == static_cast<int>(saved) + 1) continue;
        EXPECT_GE(frames.Time(k) - frames.Time(k - 1), period * (1 - 1e-9))
            << k << ": " << frames.Time(k - 1) << ", " << frames.Time(k);
    }
}
