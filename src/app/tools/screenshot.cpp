// Picture of the main window after a short run of the example project, with
// the sample zones alone on the chart, Kohlrausch's regulating function drawn
// and the hint of one constituent point:
//   kelvo_screenshot <out.png> [seconds of model time] [width height]
// Run it under a display server (scripts/screenshot.sh uses Xvfb).
#include "app/chart/chart_commands.h"
#include "app/chart/chart_view.h"
#include "app/kit/qt_dialogs.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "files/program_dir.h"

#include <QCheckBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>

#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace {

// Boxes are shown beside the chart without waiting, so that the picture holds them.
class ShownSink : public MessageSink {
public:
    explicit ShownSink(QWidget* parent) : parent_(parent) {}
    void Warning(const std::string& m) override
    {
        std::fprintf(stderr, "warning: %s\n", m.c_str());
    }
    bool Question(const std::string&) override { return false; }
    void Message(const std::string& m) override
    {
        box = new QMessageBox(QMessageBox::Information, AppTitle(), QString::fromStdString(m),
                              QMessageBox::Ok, parent_);
        box->setModal(false);
        box->show();
    }
    QMessageBox* box = nullptr;

private:
    QWidget* parent_;
};

// The sample constituent (none at the capillary's start) with the highest
// peak and the node of that peak.
std::pair<ChartSeries*, int> HighestPeak(MainWindow& w)
{
    std::pair<ChartSeries*, int> best{nullptr, 0};
    double top = -1;
    RunState& st = w.State();
    for (size_t k = 1; k < st.Series.srComp.size(); ++k) {
        const EngineArrays& a = st.Arr;
        if (static_cast<int>(k) >= a.DrawnProfile.Rows()) break;
        if (a.DrawnProfile[static_cast<int>(k)][0] != 0) continue;
        for (int j = 0; j < a.Nn; ++j)
            if (a.DrawnProfile[static_cast<int>(k)][j] > top) {
                top = a.DrawnProfile[static_cast<int>(k)][j];
                best = {&st.Series.srComp[k], j};
            }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvo_screenshot <out.png> [model seconds]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20.0;
    KelvoApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    // Boxes would wait for a click: messages go to standard error instead.
    const auto example = FindSupplied("Examples/Example_Demo.sna");
    if (example.empty()) {
        std::fprintf(stderr, "kelvo_screenshot: Examples/Example_Demo.sna not found\n");
        return 1;
    }
    MainWindow w(QStringList{QString::fromStdString(example.string())});
    w.resize(argc > 4 ? std::atoi(argv[3]) : 1280, argc > 4 ? std::atoi(argv[4]) : 860);
    w.show();
    int result = 0;
    QTimer::singleShot(300, &w, [&] {
        w.FormActivate();
        RunState& st = w.State();
        if (!st.Initialised) {
            std::fprintf(stderr, "kelvo_screenshot: the example project did not open\n");
            result = 1;
            QCoreApplication::exit(result);
            return;
        }
        st.StopTime = seconds;
        w.UpdateMainInfo();
        w.bnStartClick();
        // The sample zones on their own scale: the pH, the conductivity and
        // the buffer constituents unticked as a user would untick them.
        if (auto* list = w.findChild<QListWidget*>("clbGraph")) {
            int i = 1;
            for (const auto* n = st.CompInit.Head(); n; n = n->next, ++i)
                if (n->data.c > 0 && i + 1 < list->count())
                    list->item(i + 1)->setCheckState(Qt::Unchecked);
            for (int k : {0, 1})
                if (k < list->count()) list->item(k)->setCheckState(Qt::Unchecked);
        }
        // Kohlrausch's regulating function beside the profiles.
        if (auto* k = w.findChild<QCheckBox*>("cbRegFn1")) k->click();
        w.RedrawGraph();
        w.RescaleGraph();
        QTimer::singleShot(500, &w, [&] {
            // A left click on the top of the highest constituent peak shows its hint.
            static ShownSink sink(&w);
            SetMessageSink(&sink);
            auto* graph = w.findChild<ChartView*>("Graph");
            auto* commands = w.findChild<ChartCommands*>("ChartCommands");
            const auto [series, node] = HighestPeak(w);
            for (const auto& [s, g] : w.ChartLines())
                if (s == series && g && graph && commands) {
                    graph->replot();
                    const QPointF at =
                        g->coordsToPixels(g->data()->at(node)->key, g->data()->at(node)->value);
                    commands->GraphMouseDown(MouseButton::Left, std::floor(at.x() + 0.5),
                                             std::floor(at.y() + 0.5));
                    if (sink.box) {
                        sink.box->adjustSize();
                        const QPoint point = graph->mapTo(&w, at.toPoint());
                        sink.box->move(w.mapToGlobal(
                            point + QPoint(-sink.box->width() - 30, -sink.box->height() - 120)));
                    }
                }
            QTimer::singleShot(500, &w, [&] {
                QPixmap shot = w.grab();
                if (sink.box) {
                    QPainter p(&shot);
                    p.drawPixmap(sink.box->frameGeometry().topLeft() - w.geometry().topLeft(),
                                 sink.box->grab());
                }
                if (!shot.save(QString::fromLocal8Bit(argv[1]))) result = 1;
                QCoreApplication::exit(result);
            });
        });
    });
    app.exec();
    return result;
}
