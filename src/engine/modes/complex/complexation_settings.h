// Switches and table of the complexation window.
#pragma once

#include <string>
#include <vector>

#include "engine/modes/complex/complex_field.h"

// The complexation table: its lines (comment lines removed), each a list of
// text fields, as loaded from or written to the window's text file.
using ComplexRow = std::vector<ComplexField>;
using ComplexTable = std::vector<ComplexRow>;

// A constituent the table's lines are for: its name and charges (the
// ligand's lines 1 to 3, an analyte's pKx and ux lines, one per charge).
struct ComplexTableConstituent {
    std::string name;
    int minCharge = 0, maxCharge = 0;
    bool operator==(const ComplexTableConstituent&) const = default;
};
using ComplexTableConstituents = std::vector<ComplexTableConstituent>;

// Largest charge of a ligand form (nL and pL of the table within its range).
inline constexpr int kMaxLigandCharge = 32;

struct ComplexationSettings {
    bool cbComplex = false;
    ComplexTable TxtTable;
    // The constituents (the ligand first) whose lines TxtTable holds: the
    // composition of the window that took it or of the file it came with;
    // empty when not known.
    ComplexTableConstituents TxtTableFor;
    // The table as the last Init took it, beside that Init's constituents
    // (CompInit): what brings CompInit back (Restore, a save that restores
    // the composition) takes from it the lines of every constituent the table
    // in use has none for.
    ComplexTable TxtTableInit;
    // The engine built its complexation arrays from TxtTable at the last Init;
    // cleared whenever the table or the mode switch changes.
    bool ComplexReady = false;
};
