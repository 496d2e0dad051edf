// Windows on a screen of 1600 x 1000 pixels, larger than any window of the
// program asks for: each opens at the size of its content, without scroll bars.
#include "offscreen_screen.h"
#include "qt_test_env.h"

#include "support/recording_sink.h"

namespace {

const bool kWideScreen = UseOffscreenScreen(1600, 1000);

}  // namespace

TEST(WideScreen, RunSetupAndOptionsOpenWholeWithoutScrollBars)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow w;
    w.show();
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(kWideScreen);
    ASSERT_EQ(free.size(), QSize(1600, 1000));
    int inspected = 0;
    auto inspect = [&](const char* name) {
        QTimer::singleShot(0, [&, name] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            EXPECT_EQ(dialog->objectName(), name);
            EXPECT_TRUE(free.contains(dialog->frameGeometry())) << name;
            auto* body = Ctl<QScrollArea>(*dialog, "sbBody");
            QCoreApplication::processEvents();  // the scroll bars follow a new size queued
            EXPECT_FALSE(body->verticalScrollBar()->isVisible()) << name;
            EXPECT_FALSE(body->horizontalScrollBar()->isVisible()) << name;
            // The content has at least the room it asks for.
            const QWidget* content = body->widget();
            EXPECT_GE(body->viewport()->height(), content->minimumSizeHint().height()) << name;
            EXPECT_GE(body->viewport()->width(), content->minimumSizeHint().width()) << name;
            ++inspected;
            dialog->close();
        });
    };
    inspect("fmRunSetup");
    Click(w, "spbRunSetup");
    inspect("fmOption");
    Ctl<QAction>(w, "Option1")->trigger();
    EXPECT_EQ(inspected, 2);
}
