// Commit-on-leave behaviour of the numeric edits: the exit handler runs when an
// edit whose text the user changed (QLineEdit::isModified; writing the text by
// program clears it) loses the focus to another control of the program (not
// when another window is activated or a menu opens); Enter, Esc and Insert go
// to the window's own key handlers instead of the dialog defaults. A handler
// that puts text into the edit for the user to commit (Insert) marks it
// modified.
#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

class EditCommitter : public QObject {
public:
    EditCommitter(QLineEdit* edit, std::function<void()> onExit);

    std::function<void()> onExit;
    std::function<void()> onEnter;
    std::function<void()> onEscape;
    std::function<void()> onInsert;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* edit_;
};

// Removes every committer under `root`: a window being destroyed runs no
// commit while its edits die (a dying edit that has the focus loses it).
void DropEditCommitters(QObject* root);
