// Picture of the main window after a short run of the example project:
//   kelvo_screenshot <out.png> [seconds of model time] [width height]
// Run it under a display server (scripts/screenshot.sh uses Xvfb).
#include "app/main_window.h"
#include "app/qt_dialogs.h"
#include "files/program_dir.h"

#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvo_screenshot <out.png> [model seconds]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20.0;
    KelvoApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // Boxes would wait for a click: messages go to standard error instead.
    const auto example = FindSupplied("Examples/Example_Demo.sna");
    if (example.empty()) {
        std::fprintf(stderr, "kelvo_screenshot: Examples/Example_Demo.sna not found\n");
        return 1;
    }
    MainWindow w(QStringList{QString::fromStdString(example.string())});
    w.resize(argc > 4 ? std::atoi(argv[3]) : 1280, argc > 4 ? std::atoi(argv[4]) : 860);
    w.show();
    int result = 0;
    QTimer::singleShot(300, &w, [&] {
        w.FormActivate();
        RunState& st = w.State();
        if (!st.Initialised) {
            std::fprintf(stderr, "kelvo_screenshot: the example project did not open\n");
            result = 1;
            QCoreApplication::exit(result);
            return;
        }
        st.StopTime = seconds;
        w.UpdateMainInfo();
        w.bnStartClick();
        w.RedrawGraph();
        w.RescaleGraph();
        QTimer::singleShot(500, &w, [&] {
            if (!w.grab().save(QString::fromLocal8Bit(argv[1]))) result = 1;
            QCoreApplication::exit(result);
        });
    });
    app.exec();
    return result;
}
