// The moments tool: the first four moments of one chart series between two
// point indices, optionally after subtracting a linear baseline c = K x + Q:
// the area a0, the centre of gravity a1, the variance a2 and the third central
// moment a3. For a concentration profile it also gives the mobility that
// carries the zone from the injection site to its centre of gravity. A
// detector trace is weighed by time (its area is c integrated over minutes),
// a profile by the node volumes.
//
// The window binds its edits to the members and its menu to the methods; each
// method that refuses returns the text the window shows.
#pragma once

#include <array>
#include <string>
#include <vector>

class RunState;
struct RunResults;

// a0..a3 of the points left..right (both included): x_i = x[i] * s,
// c_i = y[i] - K x_i - Q, weight w[i]. a0 = sum c w; a1 = sum x c w / a0;
// a2, a3 = sum (x - a1)^2 c w / a0, sum (x - a1)^3 c w / a0. When a0 is exactly
// 0 the others are 0. The caller has checked the borders against the arrays.
std::array<double, 4> ComputeMoments(const std::vector<double>& x, const std::vector<double>& y,
                                     const std::vector<double>& w, int left, int right, double K,
                                     double Q, double s);

// Mobility (1e-9 m2/(V.s)) that carries a zone over the distance a1 (m) in
// `time` s under `voltage` V over `length` m.
double ZoneMobility(double a1, double time, double voltage, double length);

// The points of a chosen series, read afresh from the run state.
struct MomentSeries {
    bool valid = false;
    std::string title;
    std::vector<double> x, y;
    int Count() const { return static_cast<int>(y.size()); }
};

class MomentsTool {
public:
    int LeftBorder = 0, RightBorder = 0;
    double BaselineQ = 0;  // mM
    double BaselineK = 0;  // mM/m
    int SeriesNo = 0;      // constituent 1..NComp
    std::array<double, 4> Moments{0, 0, 0, 0};
    int Digits = 5;                // 1..18
    bool BaselineEnabled = false;  // "Baseline Enabled"
    bool DetectorScale = false;    // "Detector (t-scale)" instead of the profile x-scale

    // The chosen constituent's profile (x in chart units, y in mM) or detector
    // trace (x in minutes); not valid without such a series.
    MomentSeries Selected(const RunState& st) const;
    // Title of the chosen series, or "No selected constituent".
    std::string SeriesName(const RunState& st) const;

    // "Process": computes the moments. Returns the refusal ("Invalid number of
    // constituent", "Invalid Borders", "Invalid Borders.") with a0 = -1, or "".
    std::string Process(const RunState& st);
    // "SetMaxBorders": the whole series; "Set Profile First." without one.
    std::string SetMaxBorders(const RunState& st);
    // Activation: a negative left border becomes 0.
    void Activate()
    {
        if (LeftBorder < 0) LeftBorder = 0;
    }

    // Edit commits: true when the text was accepted and stored.
    bool EditSeriesNo(const std::string& text, const RunResults& results);
    bool EditLeftBorder(const std::string& text, const RunState& st);
    bool EditRightBorder(const std::string& text, const RunState& st);
    bool EditBaselineQ(const std::string& text);
    bool EditBaselineK(const std::string& text);
    bool EditDigits(const std::string& text);

    // <Insert> in a border edit or the baseline-shift edit: takes the point
    // `clickedPoint` of the chosen series and commits it. Returns the warning
    // ("Choose Profile or Constituent.", "<INS> Error: Stored Incorrect
    // Position of Point (Check Scale).", "No Baseline Position Stored (Check
    // Scale).") or "".
    enum class Field { LeftBorder, RightBorder, BaselineQ };
    std::string InsertClickedPoint(Field field, int clickedPoint, const RunState& st);

    // Grid: row titles of the scale, the moments rounded to Digits.
    std::array<std::string, 4> RowTitles() const;
    std::string MomentText(int k) const;
    // "Mobility to INJ": the mobility that carries the zone from the injection
    // site to its centre of gravity, rounded to Digits; or "N/A".
    std::string MobilityText(const RunState& st) const;
};
