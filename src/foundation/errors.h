// Error raising and the program's message and question boxes.
//
// Every fatal condition is raised as an `Exception` carrying a message text.
// Non-fatal conditions go to a warning box, questions to a Yes/No box. The boxes
// are reached through one injectable `MessageSink`: the windows install Qt
// message boxes, headless code and tests install a recording sink.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// The exception every part of the program raises.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Raises an Exception whose message is exactly `message`.
[[noreturn]] void ThrowError(std::string message);

// Raises "(" + where + "): " (only for a non-empty where) followed by the
// standard text of `code` (-1 .. -11; any other code appends nothing).
[[noreturn]] void ThrowErrorCode(std::int8_t code, std::string where);

// The standard text of a code, empty for codes outside -1 .. -11.
std::string ErrorCodeText(std::int8_t code);

// Modal warning box with one OK button.
void ShowWarning(const std::string& message);
// Modal Yes/No box: true exactly when the user answers Yes.
bool Confirm(const std::string& question);
// Confirm("Overwrite file: " + fileName + "?").
bool ConfirmOverwrite(const std::string& fileName);
// Plain message box (OK only).
void ShowMessage(const std::string& message);

// Where warnings, questions and plain messages go.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Warning(const std::string& message) = 0;
    virtual bool Question(const std::string& question) = 0;
    virtual void Message(const std::string& message) = 0;
};

// Installs a sink (nullptr restores the default one, which writes to standard
// error and answers every question with No). Returns the previous sink.
MessageSink* SetMessageSink(MessageSink* sink);
MessageSink* CurrentMessageSink();

// While it lives, holds the warnings and plain messages instead of showing
// them and answers every question with No (nobody is asked); the sink before
// it comes back when it ends. For work done on the side whose messages
// become the caller's own text (a save that opens what it staged).
class HeldMessages : public MessageSink {
public:
    HeldMessages();
    HeldMessages(const HeldMessages&) = delete;
    HeldMessages& operator=(const HeldMessages&) = delete;
    ~HeldMessages() override;
    void Warning(const std::string& message) override;
    bool Question(const std::string& question) override;
    void Message(const std::string& message) override;

    std::vector<std::string> warnings, questions, messages;  // in order, as held
    // The warnings held, each once, one a line ("" without one).
    std::string WarningText() const;

private:
    MessageSink* previous_;
};

// The message pump of long computations: routines that may run for long (the
// expression optimiser) call ProcessPendingMessages at each of their steps, so
// that the windows repaint and answer meanwhile. The windows install the
// application's pump; without one the call does nothing. Returns the previous
// pump.
using MessagePump = std::function<void()>;
MessagePump SetMessagePump(MessagePump pump);
void ProcessPendingMessages();
