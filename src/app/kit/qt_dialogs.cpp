#include "app/kit/qt_dialogs.h"

#include <QMessageBox>

namespace {
QString g_appTitle = "Kelvo 5.0";

QWidget* DialogParent()
{
    return QApplication::activeWindow();
}
}  // namespace

QString AppTitle()
{
    return g_appTitle;
}
void SetAppTitle(const QString& title)
{
    g_appTitle = title;
}

void QtMessageSink::Warning(const std::string& message)
{
    QMessageBox::warning(DialogParent(), "Warning", QString::fromLocal8Bit(message.c_str()));
}

bool QtMessageSink::Question(const std::string& question)
{
    return QMessageBox::question(
               DialogParent(), "Confirm", QString::fromLocal8Bit(question.c_str()),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void QtMessageSink::Message(const std::string& message)
{
    QMessageBox::information(DialogParent(), g_appTitle, QString::fromLocal8Bit(message.c_str()));
}

void QtMessageSink::Error(const std::string& message)
{
    QMessageBox::critical(DialogParent(), g_appTitle, QString::fromLocal8Bit(message.c_str()));
}

void ShowExceptionMessage(const std::string& message)
{
    if (auto* qt = dynamic_cast<QtMessageSink*>(CurrentMessageSink()))
        qt->Error(message);
    else
        ShowMessage(message);
}

KelvoApplication::KelvoApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool KelvoApplication::notify(QObject* receiver, QEvent* event)
{
    bool result = false;
    Guarded([&] { result = QApplication::notify(receiver, event); });
    return result;
}
