#include "app/chart/graph_window.h"

#include "app/chart/chart_view.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/state_binder.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// A tool button that reports right-button presses (not those of a double click).
class RightClickButton : public QToolButton {
public:
    std::function<void()> onRightClick;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton && onRightClick) {
            Guarded(onRightClick);
            return;
        }
        QToolButton::mousePressEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::RightButton) return;
        QToolButton::mouseDoubleClickEvent(event);
    }
};

QCPGraph* Line(QCustomPlot* plot, const QString& name, std::uint32_t bgr)
{
    QCPGraph* g = plot->addGraph();
    g->setName(name);
    g->setPen(QPen(ColourFromBGR(bgr)));
    return g;
}

}  // namespace

GraphWindow::GraphWindow(MainWindow& main, QWidget* parent) : QDialog(parent), main_(main)
{
    setObjectName("fmGraph");
    setWindowTitle("Graph");
    setModal(true);
    auto* menu = new QMenuBar(this);
    QAction* process = menu->addAction("Process");
    process->setObjectName("Process1");
    QAction* close1 = menu->addAction("Close");
    close1->setObjectName("Close1");
    ConnectGuarded(process, &QAction::triggered, this, [this] { DrawGraph(); });
    connect(close1, &QAction::triggered, this, &QDialog::close);

    Graph = new QCustomPlot;
    Graph->setObjectName("Graph");
    Graph->plotLayout()->insertRow(0);
    Graph->plotLayout()->addElement(0, 0, new QCPTextElement(Graph, "Graph"));
    Graph->legend->setVisible(false);
    for (QCPAxis* axis : {Graph->xAxis, Graph->yAxis}) axis->grid()->setVisible(false);
    Graph->setMinimumSize(500, 300);
    sr_Sx = Line(Graph, "Sx", 0x0000FF);
    sr_bx = Line(Graph, "bx", 0xFF0000);
    sr_comp = Line(Graph, "comp", 0x008000);
    sr_vx = new QCPCurve(Graph->xAxis, Graph->yAxis);
    sr_vx->setName("vx");
    sr_vx->setPen(QPen(ColourFromBGR(33023)));
    Graph->setInteraction(QCP::iSelectPlottables, false);
    ConnectGuarded(Graph, &QCustomPlot::plottableClick, this,
                   [](QCPAbstractPlottable* p, int index, QMouseEvent*) {
                       if (auto* data = p->interface1D();
                           data && index >= 0 && index < data->dataCount())
                           ShowMessage(DiagnosticsPointText(data->dataMainValue(index), index));
                   });

    auto* grid = new QGridLayout;
    const char* names[6] = {"edINF", "edMultSx", "edMultbx", "edMultvx", "edMultC", "edMinDC"};
    const char* captions[6] = {"INF value",   "multiply Sx",    "multiply bx",
                               "multiply vx", "multiply comp.", "min dc"};
    for (int k = 0; k < 6; ++k) {
        edits_[k] = new QLineEdit;
        edits_[k]->setObjectName(names[k]);
        grid->addWidget(new QLabel(captions[k]), 0, k);
        grid->addWidget(edits_[k], 1, k);
    }
    cbShowvx = new QCheckBox("Show vx");
    cbShowvx->setObjectName("cbShowvx");
    grid->addWidget(cbShowvx, 1, 6);
    auto* outer = new QVBoxLayout(this);
    outer->setMenuBar(menu);
    outer->addWidget(Graph, 1);
    outer->addLayout(grid);
    ShowEdits();
}

void GraphWindow::ReadEdits()
{
    std::string texts[6];
    for (int k = 0; k < 6; ++k) texts[k] = edits_[k]->text().toStdString();
    ReadDiagnosticsTexts(Params, texts);
    ShowEdits();
}

void GraphWindow::ShowEdits()
{
    const double values[6] = {Params.INFValue, Params.MultSx, Params.Multbx,
                              Params.Multvx,   Params.MultC,  Params.MinDC};
    for (int k = 0; k < 6; ++k) edits_[k]->setText(QString::fromStdString(FloatToStr(values[k])));
}

void GraphWindow::DrawGraph()
{
    ReadEdits();
    Params.ShowVx = cbShowvx->isChecked();
    ComputeDiagnostics(main_.State(), Params, Drawn);
    auto fill = [](QCPGraph* g, const ChartSeries& s) {
        g->setData(QVector<double>(s.x.begin(), s.x.end()), QVector<double>(s.y.begin(), s.y.end()),
                   true);
    };
    fill(sr_Sx, Drawn.Sx);
    fill(sr_bx, Drawn.bx);
    fill(sr_comp, Drawn.comp);
    sr_vx->setData(QVector<double>(Drawn.vx.x.begin(), Drawn.vx.x.end()),
                   QVector<double>(Drawn.vx.y.begin(), Drawn.vx.y.end()));
    Graph->rescaleAxes();
    Graph->replot();
}

void GraphWindow::AskLine()
{
    bool ok = false;
    const QString prompt = QString::fromStdString(
        "Input constituent line (old value = " + std::to_string(Params.LineIndex) + "):");
    const QString text =
        QInputDialog::getText(this, "Sx / bx GRAPH", prompt, QLineEdit::Normal, QString(), &ok);
    if (!ok) return;
    if (ReadDiagnosticsLine(main_.State(), text.toStdString(), Params.LineIndex) ==
        LineAnswer::Refused)
        ShowWarning("Incorrect constituent line!");
}

GraphWindow* InstallGraphWindow(MainWindow& main)
{
    auto* window = new GraphWindow(main, &main);
    auto* button = new RightClickButton;
    button->setObjectName("spdRedDiff");
    button->setText("RD");
    if (QToolBar* bar = main.findChild<QToolBar*>())
        bar->addWidget(button)->setVisible(false);
    else
        button->setParent(&main);
    button->setVisible(false);
    button->onRightClick = [window] { window->AskLine(); };
    ConnectGuarded(button, &QToolButton::clicked, window, [window, &main] {
        const RunState& st = main.State();
        if (!st.Initialised || window->Params.LineIndex > st.NComp) return;
        window->DrawGraph();
        window->exec();
    });
    return window;
}
