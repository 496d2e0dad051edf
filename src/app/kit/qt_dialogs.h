// Qt side of the program's message boxes and of the exception display.
#pragma once

#include "foundation/errors.h"

#include <QApplication>
#include <QString>

#include <exception>
#include <string>

// The application's title, used as the caption of plain message boxes and of
// the exception display ("Kelvo 5.0" at start, then the window title's text).
QString AppTitle();
void SetAppTitle(const QString& title);

// Warning, question and plain boxes as modal Qt message boxes.
class QtMessageSink : public MessageSink {
public:
    void Warning(const std::string& message) override;
    bool Question(const std::string& question) override;
    void Message(const std::string& message) override;
    // The exception display: an error box with the message.
    void Error(const std::string& message);
};

// Shows the message of an exception that reached a window handler: an error
// box under the Qt sink, a plain message under any other sink (tests).
void ShowExceptionMessage(const std::string& message);

// Runs a handler so that no exception leaves it: the program's own exceptions
// and standard ones show their text, anything else an empty message.
template <class F>
void Guarded(F&& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        ShowExceptionMessage(e.what());
    } catch (...) {
        ShowExceptionMessage(std::string());
    }
}

// The application object: catches what a handler let through, as a last line.
class KelvoApplication : public QApplication {
public:
    KelvoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
