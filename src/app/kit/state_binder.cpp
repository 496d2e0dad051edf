#include "app/kit/state_binder.h"

#include "app/shell/main_window.h"
#include "foundation/numtext.h"

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// Display-only edits pass the focus on to their editable neighbour.
class ForwardFocus : public QObject {
public:
    ForwardFocus(QObject* parent, QLineEdit* target) : QObject(parent), target_(target) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) target_->setFocus(Qt::OtherFocusReason);
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit* target_;
};

// Hands a text that parses to `accept`; other text is ignored.
template <class T, class Read>
std::function<void(const std::string&)> Parser(std::function<void(T)> accept, Read read)
{
    return [accept = std::move(accept), read](const std::string& text) {
        T v;
        if (read(text, v)) accept(v);
    };
}

// Writes `text` into an edit as a refresh does: not into text the user is
// typing (the edit holds the focus and is modified) unless `typedToo`; an
// edit that holds the focus keeps its caret and selection. The edit is then
// unmodified, so that leaving it commits nothing.
void ShowText(QLineEdit* edit, const QString& text, bool typedToo)
{
    // Text the user is typing stays (unless the program replaced the values
    // it was typed for); an edit left as the program wrote it follows the
    // state, also while it has the focus.
    const QWidget* focus = edit->window()->focusWidget();
    const bool holdsFocus =
        edit->hasFocus() || (focus && (focus == edit || edit->focusProxy() == focus));
    if (holdsFocus && edit->isModified() && !typedToo) return;
    if (edit->text() != text) {
        // The caret and the selection of an edit being worked in stay where they were.
        const bool all = edit->hasSelectedText() && edit->selectedText() == edit->text();
        const int from = edit->selectionStart(),
                  length = static_cast<int>(edit->selectedText().size());
        const int caret = edit->cursorPosition();
        edit->setText(text);
        if (holdsFocus) {
            const int n = static_cast<int>(text.size());
            if (all)
                edit->selectAll();
            else if (from >= 0 && length > 0)
                edit->setSelection(std::min(from, n), std::min(length, n - std::min(from, n)));
            else
                edit->setCursorPosition(std::min(caret, n));
        }
    }
    edit->setModified(false);
}

}  // namespace

void StateBinder::Changed() const
{
    if (afterChange) afterChange();
}

void StateBinder::Check(QCheckBox* box, bool& field, std::function<void()> after)
{
    switches_.push_back({box, nullptr, &field});
    ConnectGuarded(box, &QCheckBox::toggled, context_, [this, &field, after](bool on) {
        field = on;
        if (after) after();
        Changed();
    });
}

void StateBinder::CheckRefusable(QCheckBox* box, bool& field, std::function<bool()> accept)
{
    switches_.push_back({box, nullptr, &field});
    ConnectGuarded(box, &QCheckBox::toggled, context_, [this, box, &field, accept](bool on) {
        const auto back = [box, &field, on] {
            field = !on;
            QSignalBlocker block(box);
            box->setChecked(field);
        };
        field = on;
        bool taken = false;
        try {
            taken = !accept || accept();
        } catch (...) {
            // A command that failed was not taken either.
            back();
            throw;
        }
        if (!taken) back();
        Changed();
    });
}

void StateBinder::Radio(QRadioButton* on, QRadioButton* off, bool& field,
                        std::function<void()> after)
{
    switches_.push_back({on, off, &field});
    // Only the button that becomes checked reports, so a switch runs `after` once.
    auto bind = [&](QRadioButton* button, bool value) {
        ConnectGuarded(button, &QRadioButton::toggled, context_,
                       [this, &field, after, value](bool checked) {
                           if (!checked) return;
                           field = value;
                           if (after) after();
                           Changed();
                       });
    };
    bind(on, true);
    bind(off, false);
}

EditCommitter* StateBinder::Commit(QLineEdit* edit, std::function<QString()> show,
                                   std::function<void(const std::string&)> parse,
                                   std::function<void()> after)
{
    texts_.push_back({edit, std::move(show)});
    auto* c = new EditCommitter(edit, [this, edit, parse, after] {
        parse(edit->text().toStdString());
        edit->setModified(false);
        if (after) after();
        Changed();
    });
    // Enter and Esc leave the edit, which commits it; when no button can take
    // the focus (during a run) the edit gives it up all the same.
    c->onEnter = [this, edit] {
        if (onEnter) onEnter();
        if (edit->hasFocus()) edit->clearFocus();
    };
    c->onEscape = [this, edit] {
        if (onEscape) onEscape();
        if (edit->hasFocus()) edit->clearFocus();
        Changed();
    };
    return c;
}

EditCommitter* StateBinder::Number(QLineEdit* edit, std::function<QString()> show,
                                   std::function<void(double)> accept, std::function<void()> after)
{
    return Commit(edit, std::move(show), Parser<double>(std::move(accept), ReadDouble),
                  std::move(after));
}

EditCommitter* StateBinder::Integer(QLineEdit* edit, std::function<QString()> show,
                                    std::function<void(int)> accept, std::function<void()> after)
{
    return Commit(edit, std::move(show), Parser<int>(std::move(accept), ReadInt), std::move(after));
}

EditCommitter* StateBinder::Text(QLineEdit* edit, std::function<QString()> show,
                                 std::function<void(const std::string&)> accept,
                                 std::function<void()> after)
{
    return Commit(edit, std::move(show), std::move(accept), std::move(after));
}

void StateBinder::Group(std::vector<QRadioButton*> buttons, std::function<int()> get,
                        std::function<void(int)> set, std::function<void()> after)
{
    for (int k = 0; k < static_cast<int>(buttons.size()); ++k)
        ConnectGuarded(buttons[k], &QRadioButton::toggled, context_,
                       [this, k, set, after](bool checked) {
                           if (!checked) return;
                           set(k);
                           if (after) after();
                           Changed();
                       });
    choices_.push_back({std::move(buttons), std::move(get)});
}

void StateBinder::Display(QLineEdit* edit, std::function<QString()> show, QLineEdit* next)
{
    texts_.push_back({edit, std::move(show)});
    if (next) edit->installEventFilter(new ForwardFocus(edit, next));
}

void StateBinder::Refresh(bool focusedToo) const
{
    for (const Switch& s : switches_) {
        QSignalBlocker blockOn(s.on);
        if (!s.off) {
            s.on->setChecked(*s.field);
            continue;
        }
        // In an exclusive group checking one button releases the other.
        QSignalBlocker blockOff(s.off);
        (*s.field ? s.on : s.off)->setChecked(true);
    }
    for (const Choice& c : choices_) {
        const int checked = c.get();
        for (int k = 0; k < static_cast<int>(c.buttons.size()); ++k) {
            QRadioButton* b = c.buttons[k];
            QSignalBlocker block(b);
            // An exclusive button cannot be unchecked while it is the checked one.
            const bool exclusive = b->autoExclusive();
            b->setAutoExclusive(false);
            b->setChecked(k == checked);
            b->setAutoExclusive(exclusive);
        }
    }
    for (const TextBinding& t : texts_) ShowText(t.edit, t.show(), focusedToo);
}

RunState& MainStateWindow::State()
{
    return main_.State();
}
