// Read-only views of the lines of the main chart, wherever the run keeps their
// points, and the lines behind the items of the two profile check lists.
//
// Most series hold their own points; the per-constituent profile series hold
// only title and colour, their points being (NodeX(n), Arr.DrawnProfile[k][n]).
// A view hides the difference, so hints, exports and axis fits read every line
// alike. A view is valid while the run state is not changed.
#pragma once

#include <string>

class RunState;
struct DisplayOptions;
struct ChartSeries;
struct RunSeries;

class ChartLine {
public:
    ChartLine() = default;
    // The line of `series`; a per-constituent profile series of `st` reads the
    // drawn profile.
    ChartLine(const RunState& st, const ChartSeries& series);

    const ChartSeries* Series() const { return series_; }
    const std::string& Title() const;
    int Count() const { return count_; }
    double X(int i) const;
    double Y(int i) const;
    // Constituent k (1-based) of a profile series srComp[k], else 0.
    int ProfileComp() const { return profileComp_; }

private:
    const RunState* st_ = nullptr;
    const ChartSeries* series_ = nullptr;
    int profileComp_ = 0;
    int count_ = 0;
};

// Constituent k of a detector series srDetComp[k], else 0.
int DetectorComp(const DisplayOptions& display, const ChartSeries& series);

// The one table from an item of the two profile check lists to its series,
// for lists of `nComp` constituents: the profile list (`detector` false) holds
// pH, conductivity, the constituents, then E, IS, S, T, P, j, potential, U(x),
// mix, pi, elneut; the detector list holds pH, conductivity, the constituents,
// voltage, current, temperature. nullptr for an item outside the table or a
// constituent without its series.
ChartSeries* CheckListItemSeries(RunSeries& s, int nComp, bool detector, int item);
const ChartSeries* CheckListItemSeries(const RunSeries& s, int nComp, bool detector, int item);
// The same for the run's lists (`nComp`: ProfileListComps for the profile
// list, NComp for the detector list).
const ChartSeries* ProfileItemSeries(const RunState& st, int item);
const ChartSeries* DetectorItemSeries(const RunState& st, int item);
