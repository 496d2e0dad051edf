// Whether the X display named by DISPLAY answers, before Qt tries it (Qt
// aborts with a long message when it cannot connect).
#pragma once

#include <string>

// True when `display` ("[host]:N[.S]", as DISPLAY holds it) accepts a
// connection: the local socket of display N, or TCP port 6000 + N of the host.
// A text that names no display in that form is left to Qt (true).
bool DisplayReachable(const std::string& display);
