#include "app/kit/input_query.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>

namespace {
InputQueryHandler& Handler()
{
    static InputQueryHandler handler;
    return handler;
}
}  // namespace

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value)
{
    if (Handler()) return Handler()(caption, prompt, value);
    bool ok = false;
    const QString text = QInputDialog::getText(
        QApplication::activeWindow(), QString::fromStdString(caption),
        QString::fromStdString(prompt), QLineEdit::Normal, QString::fromStdString(value), &ok);
    if (ok) value = text.toStdString();
    return ok;
}

InputQueryHandler SetInputQueryHandler(InputQueryHandler handler)
{
    InputQueryHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
