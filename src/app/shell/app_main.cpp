#include "app/shell/app_main.h"

#include "app/chart/display_probe.h"
#include "app/kit/qt_dialogs.h"
#include "app/shell/main_window.h"
#include "engine/step/node_threads.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProxyStyle>
#include <QScreen>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// Hints appear 800 ms after the pointer rests on a control.
class HintDelayStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay) return 800;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

void ShowMainWindow(MainWindow& fmMain)
{
    const QRect screen = fmMain.screen()->availableGeometry();
    if (fmMain.width() > screen.width() || fmMain.height() > screen.height()) {
        fmMain.showMaximized();
    } else {
        fmMain.move(screen.x() + (screen.width() - fmMain.width()) / 2,
                    screen.y() + (screen.height() - fmMain.height()) / 2);
        fmMain.show();
    }
}

int RunKelvo(int argc, char** argv)
{
    // File arguments are made absolute against the directory the program was
    // started in, before anything else can change the working directory.
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        QString a = QString::fromLocal8Bit(argv[i]);
        if (i == 1 && !a.isEmpty() && !a.startsWith('/') && !a.startsWith('-'))
            a = QFileInfo(a).absoluteFilePath();
        args << a;
    }
    // Without a display Qt would abort with a long message; one line says why instead.
    auto unset = [](const char* name) {
        const char* v = std::getenv(name);
        return !v || !*v;
    };
    if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "kelvo: no display found (DISPLAY is not set); start it in a desktop session "
                     "or under xvfb-run\n");
        return 1;
    }
    // A named X display that does not answer (an X server that is gone, a closed SSH tunnel).
    if (unset("QT_QPA_PLATFORM") && unset("WAYLAND_DISPLAY") &&
        !DisplayReachable(std::getenv("DISPLAY"))) {
        std::fprintf(
            stderr,
            "kelvo: the display \"%s\" does not answer; start the program in a desktop session "
            "or under xvfb-run\n",
            std::getenv("DISPLAY"));
        return 1;
    }
    KelvoApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // Node-wise engine work: as many threads as the grid pays for (one on a
    // small grid), at most every hardware thread; results do not depend on it.
    SetEngineThreads(0);
    QApplication::setStyle(new HintDelayStyle);
    SetAppTitle("Kelvo 5.0");
    QtMessageSink sink;
    MessageSink* previous = SetMessageSink(&sink);
    // Long computations of the foundation keep the windows answering.
    MessagePump previousPump = SetMessagePump([] { QCoreApplication::processEvents(); });

    int result = 0;
    {
        // Windows in their order of creation; the main window comes first and is
        // the application's main window. The others join this list as they exist.
        MainWindow fmMain(args);
        ShowMainWindow(fmMain);
        result = app.exec();
    }
    SetMessagePump(std::move(previousPump));
    SetMessageSink(previous);
    return result;
}
