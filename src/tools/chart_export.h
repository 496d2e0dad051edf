// The parts of the chart exports that need no window: bitmap file names, the
// text that "Copy to Clipboard" copies, and the two cuts of the detector
// record. The bitmaps themselves are written by the chart control.
#pragma once

#include <string>

class ChartLine;
struct RunSeries;

// Name of the program's bitmap export directory inside the program directory.
inline constexpr const char* kBmpDirName = "Export Bitmaps";
// Texts of the chart export commands.
inline constexpr const char* kBmpCountMismatch =
    "Count of components doesn't match to the actual state";
inline constexpr const char* kBmpPrompt = "Input name of a directory";
inline constexpr const char* kClipboardNoSelection =
    "Error in Copy to Clipboard: No profile selected.";
inline constexpr const char* kNoDetectorInput = "No detector input!";
inline constexpr const char* kDetectorCaption = "DETECTOR";
inline constexpr const char* kSkipToPrompt = "Input stop point to skip detector lines (Nodes):";
inline constexpr const char* kSkipFromPrompt = "Input start point to skip detector lines (Nodes):";
inline constexpr const char* kOutOfRange = "Out of range";
// "Save " + view name + " to BMP"
std::string BmpCaption(const std::string& viewName);

// Save to BMP works only on a list of the run's shape (its constituents + 2).
bool BmpListMatches(int listCount, int compInitCount);
// The same test on a whole check list: the items before its fixed tail (the
// detector list's voltage, current and temperature; the profile list's field
// strength and ionic strength, with or without the nine additional profiles)
// are pH, conductivity and the constituents of the run.
bool BmpListFitsRun(int listCount, int compInitCount, bool detector);

// bmpDir / typed / item text + ".bmp"; a typed absolute name stays absolute;
// '/' and NUL in the item text become '_'.
std::string BitmapFileName(const std::string& bmpDir, const std::string& typed,
                           const std::string& itemText);
// "BMP files successfully saved! \nDIR: " + the directory.
std::string BmpDoneMessage(const std::string& bmpDir, const std::string& typed);

// One line "x TAB y" per point in the general 15-digit form with the given
// decimal separator, lines joined by "\n".
std::string ClipboardText(const ChartLine& line, char decimalSeparator);

// Cuts of the detector record at sample k (0 <= k <= samples, else nothing):
// SkipToPoint removes samples 0..k (all of them when k is the sample count),
// SkipFromPoint removes samples k..end. Every detector series is cut alike, so
// the record's traces keep one length. False when nothing was cut because k is
// out of range.
bool SkipToPoint(RunSeries& s, int k);
bool SkipFromPoint(RunSeries& s, int k);
// Samples of the detector record (points of the pH trace).
int DetectorSamples(const RunSeries& s);
