// The modal input box of the program: a caption, a prompt, one edit, OK and
// Cancel. Tests install their own answerer.
#pragma once

#include <functional>
#include <string>

// Asks for a text; `value` gives the edit's starting text and receives the
// answer. False on Cancel (value unchanged).
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);

// Replaces the box (nullptr restores the Qt input dialog). Returns the previous one.
using InputQueryHandler =
    std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)>;
InputQueryHandler SetInputQueryHandler(InputQueryHandler handler);
