// The detector tools: the size the detector record would take in a detector
// file, and halving the record by dropping every second time point of every
// detector trace.
#pragma once

#include <cstdint>
#include <string>

class RunState;
struct ChartSeries;

// Bytes of the detector file of the current record: P (points of the pH
// trace) x (NComp + 5) doubles, the two header texts, the two counts, every
// detector-list text and the trailer, each text with its zero byte.
std::int64_t EstimateDetSize(const RunState& st);

// "999 B", "0.9766 kB", "1.907 MB", "19.1 MB": below 1000 bytes the count,
// below 1e6 kB and below 1e7 MB to 4 significant digits, beyond that MB to
// one decimal (the program's decimal separator).
std::string DetSizeText(std::int64_t bytes);

// Keeps the points 0, 2, 4, ... of a series (a count n keeps (n + 1) / 2).
void HalveSeries(ChartSeries& series);

// Asks "This operation halfs number of time points in detector input.
// Continue?"; without detector points warns "No detector input!". Halves
// every detector trace (each by its own count) and redraws. True when halved.
bool HalveDetectorData(RunState& st);
