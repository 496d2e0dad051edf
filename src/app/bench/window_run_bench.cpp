// CPU time of a run of the example project in the main window beside the same
// run headless (as bench/run_project makes it). The window runs offscreen:
//   QT_QPA_PLATFORM=offscreen kelvo_window_run_bench [--tool-windows] [--window-only]
//   [model seconds (default 60)] [project.sna]
// Prints the wall time and the process CPU time (user + system) of each run
// alone (opening the project and showing the window left out) and their ratio.
// Both take the thread count the program takes (chosen by the grid size).
// With --tool-windows the run-setup and complexation windows stay open beside
// the main window during its run (shown without their modal loops, so that the
// run goes on): the ratio then tells what open tool windows cost a run.
// --window-only leaves the headless run out, so that the whole process is the
// window's run (two such processes, with and without the tool windows, are
// then compared from outside).
#include "app/kit/qt_dialogs.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"
#include "files/program_dir.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/bench_cases.h"

#include <QDialog>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    int arg = 1;
    bool toolWindows = false, windowOnly = false;
    for (; argc > arg && std::string(argv[arg]).rfind("--", 0) == 0; ++arg) {
        const std::string option = argv[arg];
        toolWindows = toolWindows || option == "--tool-windows";
        windowOnly = windowOnly || option == "--window-only";
    }
    const double seconds = argc > arg ? std::atof(argv[arg]) : 60.0;
    std::string project = argc > arg + 1 ? std::string(argv[arg + 1])
                                         : FindSupplied("Examples/Example_Demo.sna").string();
    if (seconds <= 0 || project.empty()) {
        std::fprintf(
            stderr,
            "usage: kelvo_window_run_bench [--tool-windows] [--window-only] [model seconds] "
            "[project.sna]\n");
        return 2;
    }
    project = std::filesystem::absolute(project).string();
    KelvoApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    SetEngineThreads(0);  // as the program does: threads chosen by the grid size
    MainWindow w(QStringList{QString::fromStdString(project)});
    w.resize(1280, 860);
    w.show();
    int result = 0;
    QTimer::singleShot(300, &w, [&] {
        w.FormActivate();
        RunState& st = w.State();
        if (!st.Initialised) {
            std::fprintf(stderr, "kelvo_window_run_bench: %s did not open\n", project.c_str());
            result = 1;
            QCoreApplication::exit(result);
            return;
        }
        st.StopTime = seconds;
        w.UpdateMainInfo();
        // The complexation window's note on the table it makes goes to standard error.
        if (toolWindows) {
            SetMessageSink(nullptr);
            for (const char* name : {"fmRunSetup", "fmComplex"})
                if (auto* tool = w.findChild<QDialog*>(name)) tool->show();
        }
        // Opening them (the complexation window's default table) is no part of the run.
        QCoreApplication::processEvents();
        const double from = st.Time;
        const long long steps0 = st.StepCount;
        const double cpu0 = benchcases::ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        w.bnStartClick();  // returns when the run stops
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = benchcases::ProcessCpuSeconds() - cpu0;
        std::printf("Kelvo window run: %s, from %g s to %g s (%d thread%s for node-wise work)%s\n",
                    project.c_str(), from, st.Time, st.Engine.Threads.threads,
                    st.Engine.Threads.threads == 1 ? "" : "s",
                    toolWindows ? ", run setup and complexation windows open" : "");
        std::printf("window:   wall %.3f s, process CPU %.3f s, %lld steps\n", wall, cpu,
                    st.StepCount - steps0);
        const benchcases::Fingerprint mine = benchcases::TakeFingerprint(st);
        // The same run headless, from a state of its own.
        RunState headless;
        if (windowOnly) {
            std::printf("fingerprint window   %.17g %.17g %.17g %.17g\n", mine.dt, mine.sumC,
                        mine.sumNodeC, mine.sumPH);
        } else if (!OpenProject(headless, project)) {
            std::fprintf(stderr, "kelvo_window_run_bench: %s did not open headless\n",
                         project.c_str());
            result = 1;
        } else {
            const benchcases::Figures f = benchcases::RunTimed(headless, seconds, "headless");
            std::printf("headless: wall %.3f s, process CPU %.3f s, %d steps (to %g s)\n",
                        f.wallSeconds, f.cpuSeconds, f.steps, f.modelTime);
            std::printf("window / headless CPU: %.2f\n",
                        f.cpuSeconds > 0 ? cpu / f.cpuSeconds : 0.0);
            // The two runs end bit for bit alike.
            const benchcases::Fingerprint& other = f.fingerprint;
            std::printf("fingerprint window   %.17g %.17g %.17g %.17g\n", mine.dt, mine.sumC,
                        mine.sumNodeC, mine.sumPH);
            std::printf("fingerprint headless %.17g %.17g %.17g %.17g (%s)\n", other.dt, other.sumC,
                        other.sumNodeC, other.sumPH,
                        mine.dt == other.dt && mine.sumC == other.sumC &&
                                mine.sumNodeC == other.sumNodeC && mine.sumPH == other.sumPH
                            ? "identical"
                            : "DIFFERENT");
        }
        QCoreApplication::exit(result);
    });
    app.exec();
    return result;
}
