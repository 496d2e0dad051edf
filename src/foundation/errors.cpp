#include "foundation/errors.h"

#include <algorithm>
#include <iostream>
#include <utility>

namespace {

const char* const kErrorCodes[11] = {
    "General error.",
    "Insufficient memory.",
    "INFINITE expression. Divided by ZERO or pole of the function.",
    "Out of argument range in the called function.\nIncorrect range, indefinite expression or argument set up.",
    "Incorrect structure of dynamic variable. Failture in the source-code",
    "Incorrect dimensions of dynamic structure.",
    "Assignment operation is not allowed.",
    "Incorrect type of a variable or a node.",
    "Unallocated variable to a pointer.",
    "Initialization required.",
    "C Error: Error in Calculation Occured (e.g. Negative Values).",
};

class StderrSink : public MessageSink {
public:
    void Warning(const std::string& message) override
    {
        std::cerr << "Warning: " << message << '\n';
    }
    bool Question(const std::string& question) override
    {
        std::cerr << "Question (answered No): " << question << '\n';
        return false;
    }
    void Message(const std::string& message) override { std::cerr << message << '\n'; }
};

StderrSink g_defaultSink;
MessageSink* g_sink = &g_defaultSink;
MessagePump g_pump;

}  // namespace

void ThrowError(std::string message)
{
    throw Exception(message);
}

std::string ErrorCodeText(std::int8_t code)
{
    if (code >= -11 && code <= -1) return kErrorCodes[-code - 1];
    return {};
}

void ThrowErrorCode(std::int8_t code, std::string where)
{
    std::string text;
    if (!where.empty()) text = "(" + where + "): ";
    text += ErrorCodeText(code);
    ThrowError(text);
}

void ShowWarning(const std::string& message)
{
    g_sink->Warning(message);
}
bool Confirm(const std::string& question)
{
    return g_sink->Question(question);
}
bool ConfirmOverwrite(const std::string& fileName)
{
    return Confirm("Overwrite file: " + fileName + "?");
}
void ShowMessage(const std::string& message)
{
    g_sink->Message(message);
}

MessageSink* SetMessageSink(MessageSink* sink)
{
    MessageSink* old = g_sink;
    g_sink = sink ? sink : &g_defaultSink;
    return old;
}

MessageSink* CurrentMessageSink()
{
    return g_sink;
}

HeldMessages::HeldMessages() : previous_(SetMessageSink(this)) {}

HeldMessages::~HeldMessages()
{
    SetMessageSink(previous_);
}

void HeldMessages::Warning(const std::string& message)
{
    warnings.push_back(message);
}

bool HeldMessages::Question(const std::string& question)
{
    questions.push_back(question);
    return false;
}

void HeldMessages::Message(const std::string& message)
{
    messages.push_back(message);
}

std::string HeldMessages::WarningText() const
{
    std::string text;
    for (std::size_t k = 0; k < warnings.size(); ++k)
        if (std::find(warnings.begin(), warnings.begin() + static_cast<long>(k), warnings[k]) ==
            warnings.begin() + static_cast<long>(k))
            text += (text.empty() ? "" : "\n") + warnings[k];
    return text;
}

MessagePump SetMessagePump(MessagePump pump)
{
    MessagePump old = std::move(g_pump);
    g_pump = std::move(pump);
    return old;
}

void ProcessPendingMessages()
{
    if (g_pump) g_pump();
}
