// The chart widget of the main window: line series with many points updated in
// place, vertical marker lines that always span the visible vertical range, axes
// that follow their data until the user zooms, and queued repaints.
#pragma once

#include "app/kit/qt_convert.h"

#include <qcustomplot.h>

#include <QElapsedTimer>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// "#,##0.##########"-style tick labels: thousands grouped by ",", up to
// `decimals` fraction digits without trailing zeros, "." as decimal point.
QString FormatGroupedNumber(double value, int decimals);

class ChartView : public QCustomPlot {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);

    // A line series with the given title and colour; `active` = visible.
    QCPGraph* AddSeries(const QString& title, std::uint32_t bgr, bool active);
    // A vertical marker line (two points at the same x).
    QCPGraph* AddMarkerLine(const QString& title, std::uint32_t bgr);
    void RemoveSeries(QCPGraph* series);

    // Replaces the points of a series. Keys must be ascending; when the point
    // count is unchanged the values are rewritten in place (no allocation).
    static void SetPoints(QCPGraph* series, const double* x, const double* y, int count);
    // Same with a constant x step: x_j = j * dx.
    static void SetProfile(QCPGraph* series, double dx, const double* y, int count);
    // Adds the points from..count-1 (keys ascending and not below the last one).
    static void AppendPoints(QCPGraph* series, const double* x, const double* y, int from,
                             int count);
    // Moves a marker line to x (its y values follow the left axis at each paint).
    void SetMarkerX(QCPGraph* line, double x);

    void SetBackgroundColour(std::uint32_t bgr);
    void SetTitle(const QString& title);
    QString Title() const;

    // Automatic ranges: an automatic axis rescales from the visible series
    // (marker lines excluded) before every paint. Zooming by the user ends it.
    bool AutoX() const { return autoX_; }
    bool AutoY() const { return autoY_; }
    void SetAutoX(bool on) { autoX_ = on; }
    void SetAutoY(bool on) { autoY_ = on; }
    // Sets an axis range (smaller value first) and switches its automatic mode off.
    void SetRangeX(double a, double b);
    void SetRangeY(double a, double b);
    // Automatic ranges now, then the left axis widened by 10 % of its span on each side.
    void RescaleWithMargin();

    // A replot at the next turn of the event loop, at most one per
    // kMinReplotMs: a run that redraws every few steps paints as often as the
    // eye follows, not once per redraw (later requests wait for the interval
    // and are joined into one).
    void RequestReplot();
    static constexpr int kMinReplotMs = 100;
    // Called first at every replot, before the automatic ranges are taken
    // (the owner brings the lines' points up to date).
    void SetBeforeReplot(std::function<void()> hook) { beforeReplot_ = std::move(hook); }

signals:
    void RightDoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BeforeReplot();
    // The replot draws into one opaque picture while the background is one
    // opaque colour (the paint then copies it alone).
    bool OpaqueBackground() const;
    void UseOpaquePicture();
    // Range of the visible non-marker series along x (keys) or y (values).
    bool DataRange(bool keys, QCPRange& range) const;

    QCPTextElement* title_ = nullptr;
    std::vector<QCPGraph*> markers_;
    bool autoX_ = true;
    bool autoY_ = true;
    QElapsedTimer sinceReplot_;   // started by every replot
    bool replotWaiting_ = false;  // a timer holds a request until the interval is over
    std::function<void()> beforeReplot_;
};
