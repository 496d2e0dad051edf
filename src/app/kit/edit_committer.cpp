#include "app/kit/edit_committer.h"

#include "app/kit/qt_dialogs.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <vector>

EditCommitter::EditCommitter(QLineEdit* edit, std::function<void()> exitHandler)
    : QObject(edit), onExit(std::move(exitHandler)), edit_(edit)
{
    edit->installEventFilter(this);
}

bool EditCommitter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Only text the user changed is committed: an edit left as the
        // program wrote it would put back a value shown before the run or
        // the program replaced it.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && onExit &&
            edit_->isModified())
            Guarded(onExit);
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        std::function<void()>* handler = nullptr;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: handler = &onEnter; break;
        case Qt::Key_Escape: handler = &onEscape; break;
        case Qt::Key_Insert: handler = &onInsert; break;
        default: break;
        }
        if (handler && *handler) {
            Guarded(*handler);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void DropEditCommitters(QObject* root)
{
    // The committer has no meta-object of its own: found by its C++ type.
    std::vector<EditCommitter*> committers;
    for (QObject* child : root->findChildren<QObject*>())
        if (auto* c = dynamic_cast<EditCommitter*>(child)) committers.push_back(c);
    for (EditCommitter* c : committers) delete c;
}
