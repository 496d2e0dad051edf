#include "support/recording_sink.h"

RecordingMessageSink::RecordingMessageSink() : previous_(SetMessageSink(this)) {}
RecordingMessageSink::~RecordingMessageSink()
{
    SetMessageSink(previous_);
}

void RecordingMessageSink::Warning(const std::string& message)
{
    warnings.push_back(message);
}
bool RecordingMessageSink::Question(const std::string& question)
{
    questions.push_back(question);
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.erase(answers.begin());
    return a;
}
void RecordingMessageSink::Message(const std::string& message)
{
    messages.push_back(message);
}
void RecordingMessageSink::Clear()
{
    warnings.clear();
    questions.clear();
    messages.clear();
    answers.clear();
}
