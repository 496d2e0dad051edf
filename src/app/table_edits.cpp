#include "app/table_edits.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

QLineEdit* AddTableEdit(QGridLayout* grid, const EditSpec& e, QLabel** label)
{
    const int row = grid->rowCount();
    auto* caption = new QLabel(QString::fromStdString(e.caption));
    caption->setObjectName(QString("lb") + (e.name + 2));
    auto* edit = new QLineEdit;
    edit->setObjectName(e.name);
    edit->setToolTip(QString::fromStdString(e.hint));
    edit->setMinimumWidth(90);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    if (label) *label = caption;
    return edit;
}

std::function<QString()> BindTableEdit(StateWindow& window, QLineEdit* edit, const EditSpec& e,
                                       std::function<void(const EditSpec&)> taken, std::function<void()> after)
{
    const EditSpec* spec = &e;
    auto show = [&window, spec] { return QString::fromStdString(ShowEdit(window.State(), *spec)); };
    window.Binder().Text(
        edit, show,
        [&window, spec, taken](const std::string& text) {
            if (CommitEdit(window.State(), *spec, text) == EditResult::Taken && taken) taken(*spec);
        },
        std::move(after));
    return show;
}
