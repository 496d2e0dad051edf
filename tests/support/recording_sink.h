// The message sink of tests: records every warning, question and message.
#pragma once

#include <string>
#include <vector>

#include "foundation/errors.h"

// A sink that records everything and answers questions from a queue of answers
// (No once the queue is empty). Installs itself for its lifetime.
class RecordingMessageSink : public MessageSink {
public:
    RecordingMessageSink();
    ~RecordingMessageSink() override;
    RecordingMessageSink(const RecordingMessageSink&) = delete;
    RecordingMessageSink& operator=(const RecordingMessageSink&) = delete;

    void Warning(const std::string& message) override;
    bool Question(const std::string& question) override;
    void Message(const std::string& message) override;

    std::vector<std::string> warnings;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
    std::vector<bool> answers;  // consumed front to back by Question

    void Clear();

private:
    MessageSink* previous_;
};
