#include "app/windows/run_setup_window.h"

#include "app/kit/qt_convert.h"
#include "app/kit/table_edits.h"
#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "files/setup_edits.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The group an edit sits in: 0 initial conditions, 1 environment, 2 walls,
// 3 sequence saving, 4 kinetic, 5 racemic, 6 DER.
int GroupOf(const std::string& name)
{
    static const std::map<std::string, int> groups = {
        {"edInjSite", 0},   {"edPeakWidth", 0}, {"edDetPosition", 0}, {"edPeakEdgeWidth", 0},
        {"edCapLength", 0}, {"edNX", 0},        {"edLW", 2},          {"edRW", 2},
        {"edWallInc", 2},   {"edWallRef", 2},   {"edPSQ", 3},         {"edRacemicA", 5},
        {"edRacemicB", 5},  {"edRacemicG", 5},  {"edDerNorm", 6},     {"edDerN", 6}};
    if (name.rfind("edKin", 0) == 0) return 4;
    auto it = groups.find(name);
    return it == groups.end() ? 1 : it->second;
}

// Label colours of the grid values.
const char* LabelColour(const std::string& name)
{
    if (name == "edNX") return "color: #ff0000";
    if (name == "edInjSite") return "color: #008000";
    if (name == "edPeakWidth" || name == "edPeakEdgeWidth" || name == "edCapLength")
        return "color: #800080";
    return "";
}

struct SwitchSpec {
    const char* name;
    const char* caption;
    const char* hint;
    bool RunSetupSwitches::*field;
    int group;  // 2 walls, 7 advanced, 4 kinetic
    bool shown;
};

const SwitchSpec kSwitches[] = {
    {"cbLWMove", "Left Wall (LW) - Can Move", "Left wall can be automatically moved by program",
     &RunSetupSwitches::cbLWMove, 2, true},
    {"cbRWMove", "Right Wall (RW) - Can Move", "Right wall can be automatically moved by program",
     &RunSetupSwitches::cbRWMove, 2, true},
    {"cbKeepDistance", "LW - Keep Distance from RW",
     "Right wall moves and left wall keeps constant distance", &RunSetupSwitches::cbKeepDistance, 2,
     true},
    {"cbInitWalls", "Initiate Position of Walls",
     "Whether the actual position of walls is initiated (set to left and right border",
     &RunSetupSwitches::cbInitWalls, 2, true},
    {"cbGauss", "Initial Gaussian Peak Profile",
     "Gaussian peak shape at injection site (for Analyte, BGE constituent types)",
     &RunSetupSwitches::cbGauss, 7, true},
    {"cbLBorder", "Maintain Constant Concentrations at Left Border", "",
     &RunSetupSwitches::cbLBorder, 7, true},
    {"cbAutoDiff", "Automatic Diffusion Mode after <Init>", "", &RunSetupSwitches::cbAutoDiff, 7,
     true},
    {"cbVEOF", "vEOF", "", &RunSetupSwitches::cbVEOF, 7, true},
    {"cbDCDTCor", "Immediate 'dt' Correction Based on Corrector Error", "",
     &RunSetupSwitches::cbDCDTCor, 7, false},
    {"cbLastCor", "Predictor + Double Corrector (PCC vs. PC Method)", "",
     &RunSetupSwitches::cbLastCor, 7, false},
    {"cbPCIS", "Double Corr of IS in Pred/Corr", "", &RunSetupSwitches::cbPCIS, 7, false},
    {"cbMX", "Linearized mode", "", &RunSetupSwitches::cbMX, 7, false},
    {"cbMXS", "Lin Mode - SIN", "", &RunSetupSwitches::cbMXS, 7, false},
    {"cbMXQ", "sin(x^2)", "", &RunSetupSwitches::cbMXQ, 7, false},
    {"cbRacemic", "Racemic mode", "", &RunSetupSwitches::setup_cbRacemic, 7, false},
    {"cbSpec", "Special Mode", "", &RunSetupSwitches::cbSpec, 7, false},
    {"cbISConv", "IS Convergence", "", &RunSetupSwitches::cbISConv, 7, false},
    {"cbISPostN", "IS Post El-Neut", "", &RunSetupSwitches::cbISPostN, 7, false},
    {"cbFastIS", "MyIS", "", &RunSetupSwitches::cbFastIS, 7, false},
    {"cbDcH", "dcH/dt Mode", "", &RunSetupSwitches::cbDcH, 7, false},
    {"cbChrom", "Chrom Mode", "", &RunSetupSwitches::cbChrom, 7, false},
    {"cbLE", "Left Electrode", "", &RunSetupSwitches::cbLE, 7, false},
    {"cbRE", "Right Electrode", "", &RunSetupSwitches::cbRE, 7, false},
    {"cbLiBz", "cbLiBz", "", &RunSetupSwitches::cbLiBz, 7, false},
    {"cbFlow", "EOF-> Flow (SDS Mode)", "", &RunSetupSwitches::cbFlow, 7, false},
    {"cbDP", "Enable DP", "", &RunSetupSwitches::cbDP, 7, false},
    {"cbSK", "Smooth Conductivity", "", &RunSetupSwitches::cbSK, 7, false},
    {"cbZeroC", "c < 0 -> c=0", "", &RunSetupSwitches::cbZeroC, 7, false},
    {"cbProtein", "Protein/Special", "", &RunSetupSwitches::cbProtein, 7, false},
    {"cbKinetic", "C+P---OH--->CP", "", &RunSetupSwitches::cbKinetic, 4, false},
};

}  // namespace

RunSetupWindow::RunSetupWindow(MainWindow& main, QWidget* parent)
    : QDialog(parent), MainStateWindow(this, main)
{
    setObjectName("fmRunSetup");
    setWindowTitle("Run Setup");
    setModal(true);
    auto group = [this](QGroupBox*& box, const char* name, const char* caption) {
        box = new QGroupBox(caption, this);
        box->setObjectName(name);
        return new QGridLayout(box);
    };
    QGridLayout* const grids[] = {
        group(c_.gbEdits, "gbEdits", " Initial Conditions and Detector Position "),
        group(c_.gbEnvironment, "gbEnvironment", " Environment and Capillary Setup "),
        group(c_.gbWalls, "gbWalls", " Walls (Borders of Calculated Space)"),
        group(c_.gbPSQ, "gbPSQ", " PSQ Save "),
        group(c_.gbKinetic, "gbKinetic", " Kinetic"),
        group(c_.gbRacemic, "gbRacemic", " Racemic"),
        group(c_.gbDER, "gbDER", " DER"),
        group(c_.gbChecks, "gbChecks", " Advanced Setup "),
        group(c_.gbPowerMode, "gbPowerMode", " Power Mode "),
    };
    BuildEdits(grids);
    BuildSwitches(State().runSetup());

    c_.bnClose = new QPushButton("&Close", this);
    c_.bnClose->setObjectName("bnClose");
    c_.bnRestore = new QPushButton("&Restore", this);
    c_.bnRestore->setObjectName("bnRestore");
    c_.bnRestore->setToolTip("Restores previous values of color coloured parameters");
    for (QPushButton* b : {c_.bnClose, c_.bnRestore}) b->setAutoDefault(false);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    for (QGroupBox* b : {c_.gbEdits, c_.gbWalls, c_.gbPSQ, c_.gbPowerMode}) left->addWidget(b);
    for (QGroupBox* b : {c_.gbEnvironment, c_.gbChecks, c_.gbKinetic, c_.gbRacemic, c_.gbDER})
        right->addWidget(b);
    left->addStretch();
    right->addStretch();
    columns->addLayout(left);
    columns->addLayout(right);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(c_.bnRestore);
    buttons->addWidget(c_.bnClose);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(ScrollingBody(*this, columns));
    outer->addLayout(buttons);
    // Never shown: the kinetic, racemic and DER groups.
    for (QGroupBox* b : {c_.gbKinetic, c_.gbRacemic, c_.gbDER}) b->setVisible(false);

    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { bnCloseClick(); });
    OnSignal(c_.bnRestore, &QPushButton::clicked, [this] { bnRestoreClick(); });
    OnSignal(c_.bnPAxis, &QPushButton::clicked, [this] { main_.RedrawGraph(); });
    OnSignal(c_.cbDER, &QCheckBox::clicked, [this] { main_.RedrawGraph(); });
    // Enter moves the focus to Close (which commits); Esc does the same and then shows the stored
    // values.
    Binder().onEnter = Binder().onEscape = [this] { c_.bnClose->setFocus(Qt::OtherFocusReason); };
    Binder().afterChange = [this] { ShowSettings(); };
    ShowSettings();
}

void RunSetupWindow::BuildEdits(QGridLayout* const grids[])
{
    for (const EditEntry& e : RunSetupEdits()) {
        const std::string name = e.name;
        QGridLayout* grid = grids[GroupOf(name)];
        const int row = grid->rowCount();
        QLabel* label = nullptr;
        QLineEdit* edit = AddTableEdit(grid, e, &label);
        label->setStyleSheet(LabelColour(name));
        label->setVisible(e.shown);
        edit->setVisible(e.shown);
        edits_[name] = edit;
        if (!NodeLabel(State(), name).empty()) {
            auto* nodes = new QLabel;
            const std::string ll = name == "edDetPosition" ? "llDetPos" : "ll" + name.substr(2);
            nodes->setObjectName(Q(ll));
            if (name == "edInjSite") nodes->setToolTip("Position in capillary from its LEFT side");
            grid->addWidget(nodes, row, 2);
            nodeLabels_[name] = nodes;
        }
        // The chart follows the detector position and the DER norm whether or not the entry was
        // taken.
        const bool redraw = e.follow == EditFollow::RedrawGraph;
        BindTableEdit(
            *this, edit, e, [this](const EditEntry& entry) { AfterCommit(entry); },
            [this, redraw] {
                if (redraw) main_.RedrawGraph();
            });
    }
    // The kinetic legend and the racemic label.
    QGridLayout* kinetic = grids[4];
    int row = kinetic->rowCount();
    for (const char* text : {"1 ... [PC]", "2 ... [C]", "3 ... [P]",
                             "v = k_main*[C]^a*[P]^b*[OH]^c - k_deg*[PC]^d*[OH]^x"})
        kinetic->addWidget(new QLabel(text), row++, 0, 1, 2);
    c_.llRacemic = new QLabel("cmp: 1..R(A), 2..S(B), 3..CD- :: ALL CPMS strong z=-1");
    c_.llRacemic->setObjectName("llRacemic");
    grids[5]->addWidget(c_.llRacemic, grids[5]->rowCount(), 0, 1, 2);
}

void RunSetupWindow::BuildSwitches(RunSetupSwitches& sw)
{
    auto groupLayout = [this](int g) -> QGridLayout* {
        QGroupBox* box = g == 2 ? c_.gbWalls : g == 4 ? c_.gbKinetic : c_.gbChecks;
        return static_cast<QGridLayout*>(box->layout());
    };
    for (const SwitchSpec& s : kSwitches) {
        QGridLayout* grid = groupLayout(s.group);
        auto* box = new QCheckBox(s.caption);
        box->setObjectName(s.name);
        box->setToolTip(s.hint);
        grid->addWidget(box, grid->rowCount(), 0, 1, 3);
        box->setVisible(s.shown);
        std::function<void()> after;
        if (std::string(s.name) == "cbKeepDistance")
            after = [this] { KeepDistanceChecked(State()); };
        Binder().Check(box, sw.*(s.field), after);
        if (std::string(s.name) == "cbSK") c_.cbSK = box;
    }
    // Two plain edits and the axis button, never shown; their texts travel in the project file.
    QGridLayout* checks = groupLayout(7);
    auto plain = [&](QLineEdit*& edit, const char* name, std::string& text) {
        edit = new QLineEdit;
        edit->setObjectName(name);
        edit->setVisible(false);
        checks->addWidget(edit, checks->rowCount(), 0);
        Binder().Text(
            edit, [&text] { return Q(text); }, [&text](const std::string& t) { text = t; });
    };
    plain(c_.edDMult, "edDMult", sw.edDMult);
    plain(c_.edPAxis, "edPAxis", sw.edPAxis);
    c_.bnPAxis = new QPushButton("Axis");
    c_.bnPAxis->setObjectName("bnPAxis");
    c_.bnPAxis->setAutoDefault(false);
    c_.bnPAxis->setVisible(false);
    checks->addWidget(c_.bnPAxis, checks->rowCount(), 0);
    // The Newton-iteration profile's switch: a click redraws the chart, another button fits the
    // chart's left axis to that profile.
    c_.cbDER = new QCheckBox("DER");
    c_.cbDER->setObjectName("cbDER");
    c_.cbDER->installEventFilter(this);
    static_cast<QGridLayout*>(c_.gbDER->layout())->addWidget(c_.cbDER, 0, 0);

    // Power mode and sequence recording; both swap the main window's set-value captions.
    auto radio = [this](QRadioButton*& b, const char* name, const char* caption, QGroupBox* box) {
        b = new QRadioButton(caption, box);
        b->setObjectName(name);
        static_cast<QGridLayout*>(box->layout())->addWidget(b, box->layout()->count(), 0, 1, 3);
    };
    radio(c_.rbVoltage, "rbVoltage", "Constant Voltage", c_.gbPowerMode);
    radio(c_.rbCurrent, "rbCurrent", "Constant Current", c_.gbPowerMode);
    radio(c_.rbPSQMS, "rbPSQMS", "Milliseconds (ms)", c_.gbPSQ);
    radio(c_.rbPSQSteps, "rbPSQSteps", "Steps (Steps)", c_.gbPSQ);
    radio(c_.rbPSQNo, "rbPSQNo", "Disable Saving", c_.gbPSQ);
    auto labels = [this] { main_.UpdateMainInfo(); };
    Binder().Radio(c_.rbVoltage, c_.rbCurrent, sw.rbVoltage, labels);
    Binder().Group(
        {c_.rbPSQMS, c_.rbPSQSteps, c_.rbPSQNo},
        [&sw] {
            return sw.rbPSQMS ? 0 : sw.rbPSQSteps ? 1 : sw.rbPSQNo ? 2 : -1;
        },
        [&sw](int k) {
            sw.rbPSQMS = k == 0;
            sw.rbPSQSteps = k == 1;
            sw.rbPSQNo = k == 2;
        },
        labels);
}

void RunSetupWindow::AfterCommit(const EditEntry& e)
{
    // A changed grid keeps Run disabled until Init.
    if (e.follow == EditFollow::SetupChanged) main_.UpdateButtons();
}

void RunSetupWindow::ShowSettings()
{
    RunState& st = State();
    for (auto& [name, label] : nodeLabels_) label->setText(Q(NodeLabel(st, name)));
    c_.bnRestore->setEnabled(st.SetupChanged);
    // The grid waits for the next Init, which a run refuses: its edits are
    // locked from the start of a run until the run has stopped.
    const bool geometry = !st.Running && main_.GeometryEditsEnabled();
    for (const EditEntry& e : RunSetupEdits())
        if (e.pending) edits_[e.name]->setEnabled(geometry);
    edits_["edDTInit"]->setEnabled(!st.cbIgnDT);
    const bool racemic = st.setup_cbRacemic;
    for (const char* name : {"edRacemicA", "edRacemicB", "edRacemicG"})
        edits_[name]->setVisible(racemic);
    c_.llRacemic->setVisible(racemic);
    c_.cbSK->setStyleSheet(st.cbSK ? "color: #ff0000" : "color: #000000");
    Binder().Refresh();
}

void RunSetupWindow::bnRestoreClick()
{
    RestoreRunSetup(State());
    ShowSettings();
    main_.UpdateButtons();
}

void RunSetupWindow::bnCloseClick()
{
    close();
    main_.UpdateMainInfo();
}

void RunSetupWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ShowSettings();
}

RunSetupWindow* InstallRunSetupWindow(MainWindow& main)
{
    auto* window = new RunSetupWindow(main, &main);
    auto* button = new QToolButton;
    button->setObjectName("spbRunSetup");
    button->setText("Run Setup");
    if (QToolBar* bar = main.findChild<QToolBar*>())
        bar->addWidget(button);
    else
        button->setParent(&main);
    ConnectGuarded(button, &QToolButton::clicked, window, [window, &main] {
        window->exec();
        main.UpdateMainInfo();  // also after Esc, which closes the window without its button
    });
    return window;
}

bool RunSetupWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == c_.cbDER && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        Guarded([this] {
            const RunState& st = State();
            if (!st.Series.srComp.empty() && !st.DetectorView) main_.FitGraphTo(st.Series.sr_DER);
        });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
