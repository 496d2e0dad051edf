// One QApplication for a whole test program (offscreen platform), created by a
// GoogleTest environment, and helpers shared by the window tests.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class QtTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static std::filesystem::path runtime = std::filesystem::temp_directory_path() / "kelvo-test-runtime";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        static int argc = 1;
        static char name[] = "kelvo_test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        std::setlocale(LC_NUMERIC, "C");
    }
    void TearDown() override { delete app_; app_ = nullptr; }

private:
    QApplication* app_ = nullptr;
};

inline ::testing::Environment* const g_qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtTestEnvironment);

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

// Types into an edit of a window and leaves it (the edit commits on leaving).
inline void Enter(const QWidget& window, const char* name, const QString& text)
{
    QLineEdit* edit = Ctl<QLineEdit>(window, name);
    edit->setText(text);
    QFocusEvent away(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &away);
}

// Types over the whole text of an edit that takes the focus (nothing is committed yet).
inline void TypeOver(QLineEdit* edit, const QString& text)
{
    edit->setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(QTest::qWaitFor([edit] { return edit->hasFocus(); })) << edit->objectName().toStdString();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// Closes the modal window that the next event loop shows.
inline void CloseNextModal()
{
    QTimer::singleShot(0, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
}

// The program's own directory in a fresh temporary folder.
struct ProgramHome {
    TempDir dir;
    ProgramHome() { setenv("KELVO_HOME", dir.path().c_str(), 1); }
};
