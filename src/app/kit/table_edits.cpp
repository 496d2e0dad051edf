#include "app/kit/table_edits.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

QLineEdit* AddTableEdit(QGridLayout* grid, const EditEntry& e, QLabel** label)
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

std::function<QString()> BindTableEdit(StateWindow& window, QLineEdit* edit, const EditEntry& e,
                                       std::function<void(const EditEntry&)> taken,
                                       std::function<void()> after)
{
    const EditEntry* entry = &e;
    auto show = [&window, entry] {
        return QString::fromStdString(ShowEdit(window.State(), *entry));
    };
    window.Binder().Text(
        edit, show,
        [&window, entry, taken](const std::string& text) {
            if (CommitEdit(window.State(), *entry, text) == EditResult::Taken && taken)
                taken(*entry);
        },
        std::move(after));
    return show;
}
