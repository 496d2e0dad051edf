// Time of one chart refresh: 20 series of 20,000 points each get new values in
// place and the chart is painted once. Run offscreen (QT_QPA_PLATFORM=offscreen).
#include "app/chart/chart_view.h"

#include <QApplication>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    constexpr int kSeries = 20, kPoints = 20000, kRounds = 30;
    ChartView chart;
    chart.resize(1200, 800);
    chart.show();
    std::vector<QCPGraph*> series;
    for (int s = 0; s < kSeries; ++s)
        series.push_back(chart.AddSeries(QString("c%1").arg(s), 0x101010u * s, true));
    // Two precomputed states of every profile, drawn alternately.
    std::vector<std::vector<double>> profiles[2];
    for (int state = 0; state < 2; ++state)
        for (int s = 0; s < kSeries; ++s) {
            std::vector<double> y(kPoints);
            for (int j = 0; j < kPoints; ++j)
                y[j] = 10.0 * std::exp(-std::pow((j - 800.0 * s - 300.0 * state) / 400.0, 2)) + s;
            profiles[state].push_back(std::move(y));
        }
    for (int s = 0; s < kSeries; ++s)
        ChartView::SetProfile(series[s], 0.025 / kPoints * 1000, profiles[0][s].data(), kPoints);
    chart.replot(QCustomPlot::rpImmediateRefresh);

    double total = 0, worst = 0;
    for (int round = 1; round <= kRounds; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        for (int s = 0; s < kSeries; ++s)
            ChartView::SetProfile(series[s], 0.025 / kPoints * 1000, profiles[round % 2][s].data(),
                                  kPoints);
        chart.replot(QCustomPlot::rpImmediateRefresh);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count();
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf(
        "chart refresh, %d series x %d points: mean %.2f ms, worst %.2f ms (%d rounds: values set in place + one paint)\n",
        kSeries, kPoints, total / kRounds, worst, kRounds);
    return 0;
}
