// One QApplication for a whole test program (offscreen platform), created by a
// GoogleTest environment, and helpers shared by the window tests.
#pragma once

#include <gtest/gtest.h>
#include <QtTest>
#include <QtWidgets>

#include "app/chart/chart_view.h"
#include "app/kit/input_query.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "files/example_project.h"
#include "foundation/binio.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <clocale>
#include <deque>
#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

class QtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static std::filesystem::path runtime =
            std::filesystem::temp_directory_path() / "kelvo-test-runtime";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        static int argc = 1;
        static char name[] = "kelvo_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
    }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

inline ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtTestEnvironment);

// A control of a window, found by its object name.
template <class T>
T* Ctl(const QObject& window, const char* name)
{
    T* control = window.findChild<T*>(name);
    if (!control) throw std::logic_error(std::string("no control ") + name);
    return control;
}

// A left click on a button of a window.
inline void Click(const QWidget& window, const char* name)
{
    QTest::mouseClick(Ctl<QAbstractButton>(window, name), Qt::LeftButton);
}

// Takes the focus from an edit as the given reason would (a Tab commits it).
inline void Leave(QLineEdit* edit, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QFocusEvent away(QEvent::FocusOut, reason);
    QApplication::sendEvent(edit, &away);
}

// Types into an edit of a window and leaves it (the edit commits on leaving).
inline void Enter(const QWidget& window, const char* name, const QString& text)
{
    QLineEdit* edit = Ctl<QLineEdit>(window, name);
    edit->setText(text);
    edit->setModified(true);  // as typing leaves it
    Leave(edit);
}

// Types over the whole text of an edit that takes the focus (nothing is committed yet).
inline void TypeOver(QLineEdit* edit, const QString& text)
{
    edit->setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(QTest::qWaitFor([edit] { return edit->hasFocus(); }))
        << edit->objectName().toStdString();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// Shows a window and makes it the active one (so that its edits take the focus).
inline void ShowActive(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Closes the modal window that the next event loop shows.
inline void CloseNextModal()
{
    QTimer::singleShot(0, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
}

// The series of a window's chart titled `title` (nullptr when there is none).
inline QCPGraph* GraphNamed(const QObject& window, const QString& title,
                            const char* chart = "Graph")
{
    QCustomPlot* plot = Ctl<QCustomPlot>(window, chart);
    for (int i = 0; i < plot->graphCount(); ++i)
        if (plot->graph(i)->name() == title) return plot->graph(i);
    return nullptr;
}

// The values a series draws.
inline std::vector<double> Values(const QCPGraph* g)
{
    std::vector<double> y;
    if (g)
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            y.push_back(it->value);
    return y;
}

// Answers of the input box, front to back (nullopt: Cancel; Cancel once they
// run out); the asked "caption|prompt" are kept.
struct ScriptedInput {
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> prompts;
    InputQueryHandler previous;
    ScriptedInput()
    {
        previous = SetInputQueryHandler(
            [this](const std::string& caption, const std::string& prompt, std::string& v) {
                prompts.push_back(caption + "|" + prompt);
                if (answers.empty()) return false;
                const std::optional<std::string> a = answers.front();
                answers.pop_front();
                if (a) v = *a;
                return a.has_value();
            });
    }
    ~ScriptedInput() { SetInputQueryHandler(previous); }
};

// The program's own directory in a fresh temporary folder.
struct ProgramHome {
    TempDir dir;
    ProgramHome() { setenv("KELVO_HOME", dir.path().c_str(), 1); }
    bool Has(const std::string& name) const { return fs::exists(dir.path() / name); }
    // An empty file (and its folders); its full name.
    std::string Touch(const std::string& name) const
    {
        fs::create_directories((dir.path() / name).parent_path());
        std::fclose(std::fopen((dir.path() / name).c_str(), "w"));
        return dir.file(name);
    }
    // The example project written where the program looks for it; its full
    // name, or "" (with a failure) when it could not be written.
    std::string WriteExample() const
    {
        fs::create_directories(dir.path() / "Examples");
        const std::string name = dir.file("Examples/Example_Demo.sna");
        std::string error;
        if (WriteExampleDemo(name, error)) return name;
        ADD_FAILURE() << error;
        return "";
    }
};

// A stand-in for the engine's Init: a pH profile of `nx` + 1 nodes from 4 in
// steps of 0.1 and two constituents in the lists, without engine arrays.
inline void ScriptedInit(RunState& s, int nx)
{
    s.Initialised = true, s.Stop = false, s.Time = 0, s.StepCount = 0, s.NX = s.NXPending = nx,
    s.NComp = 2;
    // The run's two constituents, as an Init copies them.
    s.CompInit.Empty();
    for (const char* name : {"A", "B"})
        s.CompInit.Add(TComponents::Uniform(name, 0, 1, {0, 5.0}, {0, 20}, 0, 0, 1));
    s.Series.sr_pH.Clear();
    for (int j = 0; j <= nx; ++j) s.Series.sr_pH.Add(NodeX(s, j), 4.0 + 0.1 * j);
    s.Series.clbGraph = {{"pH", true}, {"Conductivity", false},
                         {"A", false}, {"B", false},
                         {"E", false}, {"IS", false}};
    s.Series.clbDet = {{"pH", true},          {"Conductivity", true}, {"A", false},
                       {"B", false},          {"Voltage", false},     {"Current", false},
                       {"Temperature", false}};
}

// A stand-in engine: Init builds a small state, Run counts steps and pumps the
// messages once per step like the real loop, so that clicks land between steps.
struct ScriptedEngine {
    int steps = 200;
    int stepsDone = 0;
    std::function<void(RunState&, int)> duringStep;  // called inside the pump of each step
    std::function<void()> throwAt;                   // raised at step 3 when set

    void Install(MainWindow& w)
    {
        EngineOps& ops = w.Engine();
        ops.InitCalc = [](RunState& st) { ScriptedInit(st, 50); };
        ops.RunCalc = [this](RunState& st) {
            st.Running = true;
            st.Stop = false;
            st.host().SetStatusText("Running ...");
            for (int i = 0; i < steps && !st.Stop; ++i) {
                st.host().ProcessMessages();
                if (duringStep) duringStep(st, i);
                if (throwAt && i == 3) throwAt();
                ++st.StepCount;
                st.Time += st.DT;
                if (st.StepCount % 10 == 0) st.Events.Emit(EngineEventKind::UpdateMainInfo);
            }
            stepsDone = st.StepCount;
            st.Running = st.Stop = false;
            st.host().SetStatusText("Ready!");
        };
        ops.StopCalc = [](RunState& st) {
            st.Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, true));
            st.Stop = true;
            st.Running = false;
            st.Events.Emit(EngineEventKind::UpdateMainInfo);
        };
    }
};

// A shown main window in its own program directory.
struct ShownMainWindow : ::testing::Test {
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    void SetUp() override { w.show(); }
    void Trigger(const char* entry) { Ctl<QAction>(w, entry)->trigger(); }
};

// A shown main window with the example project initialised.
struct ExampleWindow : ::testing::Test {
    ProgramHome home;
    RecordingMessageSink sink;
    std::unique_ptr<MainWindow> w;
    void SetUp() override
    {
        w = std::make_unique<MainWindow>();
        ComposeExampleDemo(w->State());
        w->show();
        w->State().PsqFileOwn = w->State().PsqFile = home.dir.file("own.psq");
        Click(*w, "bbnInit");
        ASSERT_TRUE(w->State().Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    }
    RunState& St() { return w->State(); }
    void Trigger(const char* entry) { Ctl<QAction>(*w, entry)->trigger(); }
    // Runs the example for `seconds` more, a frame a millisecond, and copies
    // the run's sequence with its composition to `name` (in the home folder).
    std::string RecordSequence(double seconds, const std::string& name)
    {
        RunState& st = St();
        st.PSQPeriod = 1;
        st.StopTime = st.Time + seconds;
        Click(*w, "bbnStart");
        const std::string seq = home.dir.file(name);
        for (const char* ext : {".psq", ".cmp"})
            fs::copy_file(ChangeFileExt(st.PsqFileOwn, ext), ChangeFileExt(seq, ext));
        return seq;
    }
};
