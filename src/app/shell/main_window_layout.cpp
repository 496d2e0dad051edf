// The main window's layout: the run panel, the switches and check lists, the
// chart, the composition area and the status bar, with every control named as
// in the window's design.
#include "app/shell/main_window.h"

#include "app/chart/chart_view.h"
#include "app/windows/composition_panel_view.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

QLineEdit* MainWindow::AddPanelEdit(QGridLayout* grid, int row, int col, QLabel*& label,
                                    const QString& caption, const QString& hint, bool readOnly)
{
    label = new QLabel(caption);
    auto* edit = new QLineEdit;
    edit->setReadOnly(readOnly);
    edit->setToolTip(hint);
    edit->setMinimumWidth(80);
    grid->addWidget(label, row, col);
    grid->addWidget(edit, row + 1, col);
    return edit;
}

void MainWindow::BuildWindow()
{
    auto* central = new QWidget;
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(4, 4, 4, 4);

    // Run panel plMod: values and the run buttons.
    auto* plMod = new QGroupBox;
    auto* grid = new QGridLayout(plMod);
    grid->setVerticalSpacing(1);
    grid->setHorizontalSpacing(4);
    QLabel* dummy = nullptr;
    c_.edTime = AddPanelEdit(grid, 0, 0, c_.llTime, "Time (s)", "Time of the run", true);
    c_.edDT = AddPanelEdit(grid, 0, 1, dummy, "dt (s)", "Time step in numerical solution", false);
    c_.edError = AddPanelEdit(grid, 0, 2, dummy, "Error", "Current error of the run", true);
    c_.edErrOpt = AddPanelEdit(
        grid, 0, 3, dummy, "Set Max Error",
        "Error centre - dt will be kept to cause error in interval one order around this value",
        false);
    c_.edStopTime = AddPanelEdit(grid, 0, 4, dummy, "Stop Time (s)",
                                 "The run stops when the time reaches this value", false);
    c_.edUI =
        AddPanelEdit(grid, 2, 0, c_.llUI, "UI", "Set value of current (uA) or voltage (V)", false);
    c_.edUIOther = AddPanelEdit(grid, 2, 1, c_.llUIOther, "UI other one",
                                "Calculated value of current (uA) or voltage (V)", true);
    c_.edEOFMob = AddPanelEdit(grid, 2, 2, c_.llEOFMob, "EOF Mobility (1E-9)",
                               "EOF mobility used by <Enable EOF> and <EOF in Dif. Eq.>", false);
    c_.llEOFMob->setToolTip("(units = 1e-9 m2/V/s)");
    c_.edLeftWall = AddPanelEdit(grid, 2, 3, dummy, "Left Wall (Nodes)",
                                 "Position of left calculation border", false);
    c_.edRightWall = AddPanelEdit(grid, 2, 4, dummy, "Right Wall (Nodes)",
                                  "Position of right calculation border", false);

    c_.bbnInit = new QPushButton("&Init");
    c_.bbnStart = new QPushButton("&Run");
    c_.bbnStop = new QPushButton("&Stop");
    c_.bbnSimDet = new QPushButton("Sim/Det");
    c_.bbnSimDet->setToolTip("Switch between the profile and the detector graph");
    c_.bbnSimDet->setEnabled(false);
    for (QPushButton* b : {c_.bbnInit, c_.bbnStart, c_.bbnStop, c_.bbnSimDet})
        b->setMinimumWidth(80);
    grid->addWidget(c_.bbnInit, 1, 5);
    grid->addWidget(c_.bbnStart, 1, 6);
    grid->addWidget(c_.bbnStop, 3, 5);
    grid->addWidget(c_.bbnSimDet, 3, 6);

    c_.spdTime = new QToolButton;
    c_.spdTime->setText("t");
    c_.spdTime->setToolTip("Shows more precise time and dt values");
    c_.spdDiffPrecond = new QToolButton;
    c_.spdDiffPrecond->setText("Diff");
    c_.spdDiffPrecond->setCheckable(true);
    c_.spdDiffPrecond->setToolTip(
        "<Left click> ... Diffusion mode\n<Right click> ... Set duration");
    auto* speed = new QHBoxLayout;
    speed->addWidget(c_.spdTime);
    speed->addWidget(c_.spdDiffPrecond);
    grid->addLayout(speed, 1, 7);

    c_.llSDSMode = new QLabel("MICELLAR MODE");
    c_.llDiffMode = new QLabel("DIFFUSION MODE");
    c_.llComplex = new QLabel("COMPLEXATION MODE");
    for (QLabel* l : {c_.llSDSMode, c_.llDiffMode, c_.llComplex}) {
        l->setStyleSheet("color: red; font-weight: bold");
        // A hidden label keeps its place, so that the buttons beside it never move.
        QSizePolicy policy = l->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        l->setSizePolicy(policy);
        l->setVisible(false);
    }

    // Set-up group.
    auto* gbFOption = new QGroupBox(" Setup ");
    auto* setup = new QGridLayout(gbFOption);
    setup->setVerticalSpacing(0);
    c_.cbIS = new QCheckBox("Ionic Strength");
    c_.cbOptDt = new QCheckBox("Optimise dt");
    c_.cbDetectorOn = new QCheckBox("Enable Detector");
    c_.cbDetectorOn->setToolTip("Enable acquiring detector data");
    c_.cbEnableEOF = new QCheckBox("EOF by Detector");
    c_.cbEOFDif = new QCheckBox("EOF in Dif. Eq.");
    c_.cbShowHints = new QCheckBox("Show Hints");
    c_.cbRedDiff = new QCheckBox("Diffusion Modifier");
    c_.cbRedDiff->setToolTip(
        "<Left click> ... Change diffusion coefficients after <INIT>\n"
        "<Right click> ... Set diffusion coefficients multiplier");
    c_.cbRacemic = new QCheckBox("Enable Racemic", gbFOption);  // hidden in this layout
    c_.cbRacemic->setVisible(false);
    QCheckBox* boxes[] = {c_.cbIS,     c_.cbOptDt,     c_.cbDetectorOn, c_.cbEnableEOF,
                          c_.cbEOFDif, c_.cbShowHints, c_.cbRedDiff};
    // Two columns, so that the chart keeps its height on the smallest screen.
    for (int i = 0; i < 7; ++i) setup->addWidget(boxes[i], i % 4, i / 4);
    gbFOption->setMaximumWidth(290);
    outer->addWidget(plMod);

    // PSQ information.
    auto* psq = new QHBoxLayout;
    c_.llPSQFileSize = new QLabel;
    c_.llPSQFileName = new QLabel;
    psq->addWidget(new QLabel("PSQ:"));
    psq->addWidget(c_.llPSQFileSize);
    psq->addWidget(c_.llPSQFileName, 1);
    // A long path is cut at the window's edge rather than widen the window.
    c_.llPSQFileName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The mode labels at the right end of the line, beside the run panel.
    for (QLabel* l : {c_.llComplex, c_.llDiffMode, c_.llSDSMode}) psq->addWidget(l);
    outer->addLayout(psq);

    // Check lists and chart.
    c_.clbGraph = new QListWidget;
    c_.clbDet = new QListWidget;
    const QString listHint =
        "<Left click> on a check box ... Hide/Unhide profile\n<Left double-click> ... See profile";
    for (QListWidget* l : {c_.clbGraph, c_.clbDet}) {
        l->setToolTip(listHint);
        l->setMaximumWidth(290);
        l->setMinimumWidth(150);
    }
    c_.clbDet->setVisible(false);
    c_.Graph = new ChartView;
    c_.Graph->setToolTip(
        "<Left click> on profile ... Information (coordinates, mobility,..)\n"
        "<Right double-click> ... see all profiles");
    auto* lower = new QHBoxLayout;
    auto* lists = new QVBoxLayout;
    lists->addWidget(gbFOption);
    lists->addWidget(c_.clbGraph);
    lists->addWidget(c_.clbDet);
    lower->addLayout(lists);
    lower->addWidget(c_.Graph, 1);
    outer->addLayout(lower, 1);
    setCentralWidget(central);

    // Tool bar.
    auto* bar = addToolBar("Main");
    bar->setMovable(false);
    c_.spbNew = new QToolButton;
    c_.spbNew->setText("New");
    c_.spbNew->setToolTip("New project");
    c_.spbOpen = new QToolButton;
    c_.spbOpen->setText("Open");
    c_.spbOpen->setToolTip("Open project from SNA file");
    c_.spbSave = new QToolButton;
    c_.spbSave->setText("Save");
    c_.spbSave->setToolTip("Save project to SNA file");
    for (QToolButton* b : {c_.spbNew, c_.spbOpen, c_.spbSave}) bar->addWidget(b);

    // Status bar: five panels.
    const char* texts[5] = {"-", "L", "", "R", "-"};
    const int widths[5] = {100, 16, 528, 16, 10};
    for (int i = 0; i < 5; ++i) {
        c_.sbPanel[i] = new QLabel(texts[i]);
        c_.sbPanel[i]->setMinimumWidth(widths[i]);
        if (i != 2) c_.sbPanel[i]->setAlignment(Qt::AlignCenter);
        statusBar()->addWidget(c_.sbPanel[i], i == 2 ? 1 : 0);
    }

    chart_ = std::make_unique<MainChart>(*st_, c_.Graph, c_.clbGraph, c_.clbDet, Additional);

    const std::pair<QObject*, const char*> names[] = {{c_.Graph, "Graph"},
                                                      {c_.bbnInit, "bbnInit"},
                                                      {c_.bbnStart, "bbnStart"},
                                                      {c_.bbnStop, "bbnStop"},
                                                      {c_.bbnSimDet, "bbnSimDet"},
                                                      {c_.spbNew, "spbNew"},
                                                      {c_.spbOpen, "spbOpen"},
                                                      {c_.spbSave, "spbSave"},
                                                      {c_.spdDiffPrecond, "spdDiffPrecond"},
                                                      {c_.spdTime, "spdTime"},
                                                      {c_.edTime, "edTime"},
                                                      {c_.edError, "edError"},
                                                      {c_.edDT, "edDT"},
                                                      {c_.edUI, "edUI"},
                                                      {c_.edUIOther, "edUIOther"},
                                                      {c_.edErrOpt, "edErrOpt"},
                                                      {c_.edEOFMob, "edEOFMob"},
                                                      {c_.edLeftWall, "edLeftWall"},
                                                      {c_.edRightWall, "edRightWall"},
                                                      {c_.edStopTime, "edStopTime"},
                                                      {c_.llTime, "llTime"},
                                                      {c_.llUI, "llUI"},
                                                      {c_.llUIOther, "llUIOther"},
                                                      {c_.llEOFMob, "llEOFMob"},
                                                      {c_.llSDSMode, "llSDSMode"},
                                                      {c_.llComplex, "llComplex"},
                                                      {c_.llDiffMode, "llDiffMode"},
                                                      {c_.llPSQFileSize, "llPSQFileSize"},
                                                      {c_.llPSQFileName, "llPSQFileName"},
                                                      {c_.cbIS, "cbIS"},
                                                      {c_.cbOptDt, "cbOptDt"},
                                                      {c_.cbDetectorOn, "cbDetectorOn"},
                                                      {c_.cbEnableEOF, "cbEnableEOF"},
                                                      {c_.cbEOFDif, "cbEOFDif"},
                                                      {c_.cbShowHints, "cbShowHints"},
                                                      {c_.cbRedDiff, "cbRedDiff"},
                                                      {c_.cbRacemic, "cbRacemic"},
                                                      {c_.clbGraph, "clbGraph"},
                                                      {c_.clbDet, "clbDet"}};
    for (auto [widget, name] : names) widget->setObjectName(name);
    for (int i = 0; i < 5; ++i) c_.sbPanel[i]->setObjectName(QString("sbPanel%1").arg(i));
}
