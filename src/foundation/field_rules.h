// The ranges of the values a user types: each kind of field has one, used by
// the window that edits it, the tool that fills it, Init and the reader of the
// file that carries it. A value inside its range is one the project files
// carry and the engine runs; a refusal names the field and the text typed.
#pragma once

#include <string>

struct FieldRange {
    double low, high;  // typed unit
    bool lowIncluded = true;
    bool whole = false;  // whole numbers only
};

// Concentrations (mM): no solution holds more than 100 mol/L (water itself is
// 55 mol/L), and the electroneutrality solve covers that range.
inline constexpr FieldRange kConcentrationRange{0, 1e5};
// The time step (s) of the run panel and of the run set-up.
inline constexpr FieldRange kTimeStepRange{0, 10, false};
// The set voltage (V) or current (uA), of either sign.
inline constexpr FieldRange kVoltageRange{-1e6, 1e6};
inline constexpr FieldRange kCurrentRange{-1e6, 1e6};
// Mobilities typed in 1e-9 m2/(V.s): the EOF and a form's limiting mobility
// (the hydrogen ion, the most mobile, has 362.5).
inline constexpr FieldRange kMobilityRange{-1e5, 1e5};
// pK values of a form (a constant of 10^-300 already leaves the form unformed).
inline constexpr FieldRange kPKRange{-300, 300};
// Lengths and positions typed in mm along the capillary (1 km at most).
inline constexpr double kMaxLengthMm = 1e6;

// True when `v` is a finite number inside `r`.
bool InRange(const FieldRange& r, double v);
// Reads `text` and keeps the number when it lies inside `r`; otherwise warns
// once with FieldRefusedText and returns false.
bool TakeTyped(const std::string& field, const std::string& text, const FieldRange& r,
               double& value);
// "a number from 0 to 100000", "a number above 0 up to 10", "a whole number from 1 to 1000".
std::string RangeText(const FieldRange& r);
// The refusal of `text` typed into `field` (FieldRefusalText of foundation/messages.h).
std::string FieldRefusedText(const std::string& field, const std::string& text,
                             const FieldRange& r);
