// Switches and table of the complexation window.
#pragma once

#include <string>
#include <vector>

// The complexation table: its lines (comment lines removed), each a list of
// text fields, as loaded from or written to the window's text file.
using ComplexTable = std::vector<std::vector<std::string>>;

struct ComplexationSettings {
    bool cbComplex = false;
    ComplexTable TxtTable;
    // The engine built its complexation arrays from TxtTable at the last Init;
    // cleared whenever the table or the mode switch changes.
    bool ComplexReady = false;
};
