// Messages that the program adds where a sound behaviour needs one that the
// original texts do not have, kept together in one place.
#pragma once

#include <string>

// A pKw of 300 or more in absolute value is refused.
inline constexpr const char* kPKwOutOfRange =
    "Incorrect pKw value! Its absolute value must be below 300.";
// A supplied document exists but no application opened it.
inline std::string CannotOpenFileText(const std::string& name)
{
    return "Cannot open file " + name;
}
// Some bitmaps of Save to BMP could not be written (the files follow, one a line).
inline constexpr const char* kBitmapsNotWritten = "Error: Can't write bitmap files:";

// Init refused: the pending injection site lies outside the capillary, where
// no sample zone would be placed (the capillary length in mm follows).
inline std::string InjectionSiteOutsideText(const std::string& lengthMm)
{
    return "Injection site is outside of the capillary (0 .. " + lengthMm +
           " mm) - no sample would be placed. INIT cancelled.";
}

// Init refused while the initial-distribution tool shows its preview (the
// capillary length is the previewed one until Apply or Cancel).
inline constexpr const char* kInitDuringPreview =
    "Initial distribution preview is shown - press <Apply> or <Cancel> in the Initial "
    "Distribution Tool first. INIT cancelled.";

// Status text while a modal window holds a run (the run goes on when it closes).
inline std::string RunWaitsText(const std::string& window)
{
    return "Run waits for the window \"" + window + "\" to close ...";
}
