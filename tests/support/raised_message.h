// The message of the Exception that a call raises, for tests of exact texts.
#pragma once

#include <functional>
#include <string>

#include "foundation/errors.h"

// The message raised by f, or "(no error)" when it returns normally.
inline std::string RaisedMessage(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}
