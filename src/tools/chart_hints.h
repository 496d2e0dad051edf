// Point hints and clicks of the main chart, without the chart control: the
// nearest-point search over the screen positions of the shown lines, the text
// that describes a clicked point, and the vertical range that fits one line.
//
// The chart's geometry is given as a plain struct: the axis ranges and the
// pixel rectangle of the plot area. Screen y grows downward.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "files/chart_lines.h"

class RunState;
struct ChartSeries;

struct AxisRange {
    double lower = 0, upper = 1;
};

struct ChartGeometry {
    AxisRange x;                                      // bottom axis
    AxisRange y[2];                                   // value axes: 0 left, 1 right
    double left = 0, top = 0, width = 1, height = 1;  // plot area, pixels

    // Screen position of a value, rounded to the whole pixel the chart draws at.
    double PixelX(double value) const;
    double PixelY(double value, int axis) const;
};

// One line of the chart as the search sees it, in the chart's series order.
struct HintLine {
    ChartLine line;
    bool active = true;
    int yAxis = 0;
};

struct NearestPoint {
    int line = -1;        // index into the searched lines
    int index = 0;        // point index
    double distance = 0;  // vertical pixel distance
};

// What a mouse press on the chart does.
enum class MouseButton { Left, Right, Middle };
enum class PressAction { Nothing, Rescale, Search };
PressAction ChartPressAction(MouseButton button, bool doubleClick);

// The point that a left press at (mouseX, mouseY) takes: the index is the first
// point of the reference line (the first active line with more than 2 points)
// whose screen x is at or right of the mouse (0 when none); among the active
// lines with more than 2 points and that index, the nearest vertically, the
// earlier line on equal distance. None when there is no such line or the
// distance exceeds `tolerance` pixels.
std::optional<NearestPoint> FindNearestPoint(const ChartGeometry& geometry,
                                             const std::vector<HintLine>& lines, double mouseX,
                                             double mouseY, int tolerance);

// The point remembered by the last click.
struct ChartClick {
    int ClickedPoint = 0;
    double ClickedValue = 0;
};

// The description of point `index` of `series` for a press of `button`: the
// index is remembered for any button; the left button also remembers the value
// and gives the text (none for other buttons or an index outside the line).
std::optional<std::string> GraphHintText(const RunState& st, const ChartSeries& series, int index,
                                         MouseButton button, ChartClick& click);

// The vertical range that fits one line: [min - 0.2 r, max + 0.2 r] with
// r = max - min (1e-5 when the line is flat). None for a line without points.
std::optional<AxisRange> FitValueRange(const ChartLine& line);
