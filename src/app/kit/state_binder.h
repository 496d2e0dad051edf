// Binding of a window's controls to fields of the run state: check boxes and
// radio groups to bool fields, number edits through the edit committer. One
// refresh mirrors every binding into its widget without running handlers; the
// edit that has the keyboard focus is left alone so that typing is never
// overwritten. A user change writes the field, runs the binding's own handler,
// then the binder's `afterChange` (usually the window's refresh).
#pragma once

#include "app/kit/edit_committer.h"
#include "app/kit/qt_dialogs.h"

#include <QObject>
#include <QString>

#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

class MainWindow;
class QAbstractButton;
class QCheckBox;
class QLineEdit;
class QRadioButton;
class RunState;

// Connects a signal to a handler so that no exception crosses the event loop:
// the handler runs under Guarded. The handler takes the signal's arguments or
// none.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectGuarded(Sender* sender, Signal signal, QObject* context,
                                       Handler handler)
{
    return QObject::connect(sender, signal, context, [handler](auto... args) {
        Guarded([&] {
            if constexpr (std::is_invocable_v<Handler&, decltype(args)...>)
                handler(args...);
            else
                handler();
        });
    });
}

class StateBinder {
public:
    // Connections live as long as `context` (the window).
    explicit StateBinder(QObject* context) : context_(context) {}

    // Run after every user change of a bound control.
    std::function<void()> afterChange;
    // Enter and Esc in a number edit; the edit's own commit runs when it loses
    // the focus. Without a handler the key only commits.
    std::function<void()> onEnter;
    std::function<void()> onEscape;

    // The box shows `field`; a click sets it and runs `after`.
    void Check(QCheckBox* box, bool& field, std::function<void()> after = {});
    // As Check, for a switch whose handler runs a command that may be refused
    // (a switch that runs an Init): `accept` answers false when the command
    // was refused or failed, by whatever check, and the field and the box go
    // back to the state the run keeps; so they do when it throws.
    void CheckRefusable(QCheckBox* box, bool& field, std::function<bool()> accept);
    // Two radio buttons of one group: `on` is checked exactly when `field` is true.
    void Radio(QRadioButton* on, QRadioButton* off, bool& field, std::function<void()> after = {});
    // A number edit: `show` gives the text; on leaving, a text that parses is
    // handed to `accept`, which keeps or refuses it; the refresh that follows
    // shows the stored value again. `after` runs after every commit, parsed or not.
    EditCommitter* Number(QLineEdit* edit, std::function<QString()> show,
                          std::function<void(double)> accept, std::function<void()> after = {});
    EditCommitter* Integer(QLineEdit* edit, std::function<QString()> show,
                           std::function<void(int)> accept, std::function<void()> after = {});
    // A text edit: on leaving, the whole text goes to `accept` (which parses,
    // tests and stores it); the refresh that follows shows `show` again.
    EditCommitter* Text(QLineEdit* edit, std::function<QString()> show,
                        std::function<void(const std::string&)> accept,
                        std::function<void()> after = {});
    // A radio group of any size: `get` gives the index of the checked button
    // (outside 0..n-1: none checked); checking button k by hand calls `set(k)`.
    void Group(std::vector<QRadioButton*> buttons, std::function<int()> get,
               std::function<void(int)> set, std::function<void()> after = {});
    // A display-only edit: shows `show`, passes the focus on to `next` when entered.
    void Display(QLineEdit* edit, std::function<QString()> show, QLineEdit* next = nullptr);

    // Mirrors every binding into its widget; no handler runs. The edit being
    // typed into (it has the focus and the user changed its text) keeps its
    // text unless `focusedToo` (after the program replaced the run's values,
    // as an open does: the text typed before belongs to the values replaced,
    // and leaving the edit would commit it). Every other edit, the one that
    // has the focus included, shows the state's value.
    void Refresh(bool focusedToo = false) const;

private:
    struct Switch {
        QAbstractButton* on;
        QAbstractButton* off;  // the other radio button, or nullptr
        bool* field;
    };
    struct TextBinding {
        QLineEdit* edit;
        std::function<QString()> show;
    };
    EditCommitter* Commit(QLineEdit* edit, std::function<QString()> show,
                          std::function<void(const std::string&)> parse,
                          std::function<void()> after);
    void Changed() const;

    struct Choice {
        std::vector<QRadioButton*> buttons;
        std::function<int()> get;
    };
    QObject* context_;
    std::vector<Switch> switches_;
    std::vector<Choice> choices_;
    std::vector<TextBinding> texts_;
};

// Base of a window bound to the run state: its binder and the one way its
// handlers are connected.
class StateWindow {
public:
    virtual ~StateWindow() = default;
    virtual RunState& State() = 0;
    StateBinder& Binder() { return binder_; }

protected:
    explicit StateWindow(QObject* self) : self_(self), binder_(self) {}

    // Connects a control's signal to a handler of this window (exceptions shown, not thrown).
    template <class Sender, class Signal, class Handler>
    void OnSignal(Sender* sender, Signal signal, Handler handler)
    {
        ConnectGuarded(sender, signal, self_, std::move(handler));
    }

private:
    QObject* self_;
    StateBinder binder_;
};

// A window bound to the run state of the main window it belongs to.
class MainStateWindow : public StateWindow {
public:
    RunState& State() override;

protected:
    MainStateWindow(QObject* self, MainWindow& main) : StateWindow(self), main_(main) {}

    MainWindow& main_;
};
