#include "app/chart/chart_view.h"

#include <algorithm>
#include <cmath>

#include <QTimer>

QString FormatGroupedNumber(double value, int decimals)
{
    if (!std::isfinite(value)) return QString();
    QString text = QString::number(std::fabs(value), 'f', decimals);
    int dot = text.indexOf('.');
    QString intPart = dot < 0 ? text : text.left(dot);
    QString frac = dot < 0 ? QString() : text.mid(dot + 1);
    while (frac.endsWith('0')) frac.chop(1);
    for (int i = intPart.size() - 3; i > 0; i -= 3) intPart.insert(i, ',');
    QString out = intPart;
    if (!frac.isEmpty()) out += "." + frac;
    bool zero = !out.contains(QRegularExpression("[1-9]"));
    if (value < 0 && !zero) out.prepend('-');
    return out;
}

namespace {

// Tick labels in the grouped format with a fixed number of optional decimals.
class GroupedTicker : public QCPAxisTicker {
public:
    explicit GroupedTicker(int decimals) : decimals_(decimals) {}

protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override
    {
        return FormatGroupedNumber(tick, decimals_);
    }

private:
    int decimals_;
};

// The chart's one picture, opaque: cleared to the chart's background colour
// instead of to transparent, so that a paint copies it as it is, without
// filling the background first and blending the picture over it.
class OpaquePicture final : public QCPPaintBufferPixmap {
public:
    OpaquePicture(const QSize& size, double ratio, QColor background)
        : QCPPaintBufferPixmap(size, ratio), background_(background)
    {
    }
    void clear(const QColor&) override { mBuffer.fill(background_); }
    QColor Background() const { return background_; }

private:
    QColor background_;
};

}  // namespace

ChartView::ChartView(QWidget* parent) : QCustomPlot(parent)
{
    setFocusPolicy(Qt::NoFocus);  // clicking a point must not commit a panel edit
    setBackground(QBrush(QColor(192, 192, 192)));
    xAxis->grid()->setVisible(false);
    yAxis->grid()->setVisible(false);
    xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new GroupedTicker(10)));
    yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new GroupedTicker(7)));
    // The chart shows no legend: its lines do not join it either, so that a
    // replot does not lay out a hidden legend of every line's title.
    legend->setVisible(false);
    setAutoAddPlottableToLegend(false);
    // A replot draws the layers into one picture (the zoom rectangle's layer
    // has none of its own: a second picture of the chart's size would be
    // cleared and blended at every replot) and leaves the painting to the
    // window's next paint, with the other widgets that changed.
    layer(QLatin1String("overlay"))->setMode(QCPLayer::lmLogical);
    setPlottingHint(QCP::phImmediateRefresh, false);
    plotLayout()->insertRow(0);
    title_ = new QCPTextElement(this, QString(), QFont(font().family(), 10, QFont::Bold));
    plotLayout()->addElement(0, 0, title_);
    setInteractions(QCP::iRangeZoom);
    setSelectionRectMode(QCP::srmZoom);
    setNoAntialiasingOnDrag(true);
    connect(this, &QCustomPlot::beforeReplot, this, &ChartView::BeforeReplot);
    SetBackgroundColour(0xFFFFFF);
}

QCPGraph* ChartView::AddSeries(const QString& title, std::uint32_t bgr, bool active)
{
    QCPGraph* g = addGraph();
    g->setName(title);
    g->setPen(QPen(ColourFromBGR(bgr), 1));
    g->setVisible(active);
    g->setAdaptiveSampling(true);
    return g;
}

QCPGraph* ChartView::AddMarkerLine(const QString& title, std::uint32_t bgr)
{
    QCPGraph* g = AddSeries(title, bgr, false);
    g->setAdaptiveSampling(false);
    markers_.push_back(g);
    return g;
}

void ChartView::RemoveSeries(QCPGraph* series)
{
    if (!series) return;
    markers_.erase(std::remove(markers_.begin(), markers_.end(), series), markers_.end());
    removeGraph(series);
}

namespace {

// Rewrites the points of a series from key and value functions of the index:
// in place when the count is unchanged, else as one sorted block.
template <class Key, class Value>
void FillPoints(QCPGraph* series, int count, Key key, Value value)
{
    if (!series) return;
    if (count < 0) count = 0;
    auto data = series->data();
    if (data->size() == count) {
        int j = 0;
        for (auto it = data->begin(); it != data->end(); ++it, ++j) {
            it->key = key(j);
            it->value = value(j);
        }
        return;
    }
    QVector<QCPGraphData> points(count);
    for (int j = 0; j < count; ++j) points[j] = QCPGraphData(key(j), value(j));
    data->set(points, true);
}

}  // namespace

void ChartView::SetPoints(QCPGraph* series, const double* x, const double* y, int count)
{
    FillPoints(
        series, count, [x](int j) { return x[j]; }, [y](int j) { return y[j]; });
}

void ChartView::SetProfile(QCPGraph* series, double dx, const double* y, int count)
{
    FillPoints(
        series, count, [dx](int j) { return j * dx; }, [y](int j) { return y[j]; });
}

void ChartView::AppendPoints(QCPGraph* series, const double* x, const double* y, int from,
                             int count)
{
    if (!series || from >= count) return;
    if (from < 0) from = 0;
    QVector<QCPGraphData> points(count - from);
    for (int j = from; j < count; ++j) points[j - from] = QCPGraphData(x[j], y[j]);
    series->data()->add(points, true);
}

void ChartView::SetMarkerX(QCPGraph* line, double x)
{
    if (!line) return;
    const double keys[2] = {x, x};
    const double values[2] = {yAxis->range().lower, yAxis->range().upper};
    SetPoints(line, keys, values, 2);
}

void ChartView::SetBackgroundColour(std::uint32_t bgr)
{
    // One colour filled plainly: a gradient between two equal colours would
    // compute every pixel of the plot area at every replot.
    axisRect()->setBackground(QBrush(ColourFromBGR(bgr)));
}

void ChartView::SetTitle(const QString& title)
{
    title_->setText(title);
}
QString ChartView::Title() const
{
    return title_->text();
}

void ChartView::SetRangeX(double a, double b)
{
    autoX_ = false;
    xAxis->setRange(std::min(a, b), std::max(a, b));
}

void ChartView::SetRangeY(double a, double b)
{
    autoY_ = false;
    yAxis->setRange(std::min(a, b), std::max(a, b));
}

bool ChartView::DataRange(bool keys, QCPRange& range) const
{
    bool found = false;
    for (int i = 0; i < graphCount(); ++i) {
        QCPGraph* g = graph(i);
        if (!g->visible() || std::find(markers_.begin(), markers_.end(), g) != markers_.end())
            continue;
        bool ok = false;
        QCPRange r = keys ? g->getKeyRange(ok) : g->getValueRange(ok);
        if (!ok) continue;
        if (!found)
            range = r;
        else
            range.expand(r);
        found = true;
    }
    return found;
}

void ChartView::RescaleWithMargin()
{
    QCPRange rx, ry;
    if (DataRange(true, rx)) {
        xAxis->setRange(rx);
        autoX_ = true;
    }
    if (DataRange(false, ry)) {
        double span = ry.upper - ry.lower;
        SetRangeY(ry.lower - 0.1 * span, ry.upper + 0.1 * span);
    }
    RequestReplot();
}

void ChartView::RequestReplot()
{
    if (replotWaiting_) return;
    const qint64 since = sinceReplot_.isValid() ? sinceReplot_.elapsed() : kMinReplotMs;
    if (since >= kMinReplotMs) {
        replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    replotWaiting_ = true;
    QTimer::singleShot(static_cast<int>(kMinReplotMs - since), this, [this] {
        replotWaiting_ = false;
        replot(QCustomPlot::rpQueuedReplot);
    });
}

bool ChartView::OpaqueBackground() const
{
    return mBackgroundBrush.style() == Qt::SolidPattern &&
           mBackgroundBrush.color().alpha() == 255 && mBackgroundPixmap.isNull();
}

void ChartView::UseOpaquePicture()
{
    // Every layer draws into the first picture (none has one of its own).
    const auto* picture = mPaintBuffers.size() == 1
                              ? dynamic_cast<const OpaquePicture*>(mPaintBuffers.front().data())
                              : nullptr;
    if (!OpaqueBackground()) {
        if (picture) mPaintBuffers.clear();  // the library's own transparent picture again
        return;
    }
    if (picture && picture->Background() == mBackgroundBrush.color()) return;
    mPaintBuffers.clear();
    mPaintBuffers.append(QSharedPointer<QCPAbstractPaintBuffer>(
        new OpaquePicture(viewport().size(), bufferDevicePixelRatio(), mBackgroundBrush.color())));
}

void ChartView::paintEvent(QPaintEvent* event)
{
    const auto* picture = mPaintBuffers.size() == 1
                              ? dynamic_cast<const OpaquePicture*>(mPaintBuffers.front().data())
                              : nullptr;
    if (!picture || picture->invalidated() || picture->size() != viewport().size()) {
        QCustomPlot::paintEvent(event);
        return;
    }
    QCPPainter painter(this);
    if (painter.isActive()) picture->draw(&painter);
}

void ChartView::BeforeReplot()
{
    sinceReplot_.start();
    UseOpaquePicture();
    if (beforeReplot_) beforeReplot_();
    QCPRange r;
    if (autoX_ && DataRange(true, r)) xAxis->setRange(r);
    if (autoY_ && DataRange(false, r)) yAxis->setRange(r);
    const QCPRange y = yAxis->range();
    for (QCPGraph* line : markers_) {
        auto data = line->data();
        if (data->size() != 2) continue;
        auto it = data->begin();
        it->value = y.lower;
        (++it)->value = y.upper;
    }
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        emit RightDoubleClicked();
        event->accept();
        return;
    }
    QCustomPlot::mouseDoubleClickEvent(event);
}

void ChartView::wheelEvent(QWheelEvent* event)
{
    autoX_ = autoY_ = false;
    QCustomPlot::wheelEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event)
{
    // A zoom rectangle drawn with the left button fixes both ranges.
    if (event->button() == Qt::LeftButton && selectionRect() && selectionRect()->isActive())
        autoX_ = autoY_ = false;
    QCustomPlot::mouseReleaseEvent(event);
}
