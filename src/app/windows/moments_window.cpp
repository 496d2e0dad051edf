#include "app/windows/moments_window.h"

#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

MomentsWindow::MomentsWindow(MainWindow& main)
    : QWidget(&main, Qt::Tool | Qt::WindowStaysOnTopHint), MainStateWindow(this, main)
{
    setObjectName("fmMoments");
    setWindowTitle("Moments");
    auto* outer = new QVBoxLayout(this);
    auto* menu = new QMenuBar(this);
    QAction* process = menu->addAction("Process");
    process->setObjectName("mmProcess");
    QAction* maxBorders = menu->addAction("SetMaxBorders");
    maxBorders->setObjectName("SetMaxBorders1");
    QAction* exit = menu->addAction("Exit");
    exit->setObjectName("mmExit");
    outer->setMenuBar(menu);

    auto* grid = new QGridLayout;
    auto edit = [&](const char* name, const QString& caption, const QString& hint, int row,
                    int col) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setToolTip(hint);
        grid->addWidget(new QLabel(caption, this), row, col);
        grid->addWidget(e, row + 1, col);
        return e;
    };
    c_.edNComp = edit("edNComp", "Number of Component",
                      "Number of constituent for integration method", 0, 0);
    c_.edDigits =
        edit("edDigits", "Digits", "Number of digits to display (for round method)", 0, 1);
    c_.edLBorder = edit(
        "edLBorder", "Left Border ",
        "Left border of integrated interval\n<Insert> ... accept last x-coordinate (graph click on "
        "profile)",
        2, 0);
    c_.edRBorder = edit(
        "edRBorder", "Right Border ",
        "Right border of integrated interval\n<Insert> ... accept last x-coordinate (graph click on "
        "profile)",
        2, 1);
    c_.edBQ = edit(
        "edBQ", "Baseline Shift [mM]",
        "Baseline constant shift Q defined as c = K*x + Q\n<Insert> ... accept last concentration value "
        "(graph click on profile)",
        4, 0);
    c_.edBK =
        edit("edBK", "Baseline Tangent [mM/m]", "Baseline tangent K defined as c = K*x + Q", 4, 1);
    c_.cbAll = new QCheckBox("All Series", this);
    c_.cbAll->setObjectName("cbAll");
    c_.cbAll->setVisible(false);
    c_.cbBaseline = new QCheckBox("Baseline Enabled", this);
    c_.cbBaseline->setObjectName("cbBaseline");
    grid->addWidget(c_.cbAll, 6, 0);
    grid->addWidget(c_.cbBaseline, 6, 1);
    outer->addLayout(grid);

    c_.llName = new QLabel(this);
    c_.llName->setObjectName("llName");
    outer->addWidget(c_.llName);
    c_.sgMoments = new QTableWidget(4, 2, this);
    c_.sgMoments->setObjectName("sgMoments");
    c_.sgMoments->horizontalHeader()->setVisible(false);
    c_.sgMoments->verticalHeader()->setVisible(false);
    c_.sgMoments->horizontalHeader()->setStretchLastSection(true);
    c_.sgMoments->setColumnWidth(0, 150);
    c_.sgMoments->setMinimumHeight(4 * c_.sgMoments->verticalHeader()->defaultSectionSize() + 4);
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 2; ++k) c_.sgMoments->setItem(r, k, new QTableWidgetItem);
    outer->addWidget(c_.sgMoments);
    c_.llLable = new QLabel("a0, a1, a2 and a3 are moments of molarity profile!", this);
    c_.llLable->setObjectName("llLable");
    outer->addWidget(c_.llLable);
    auto* mobility = new QHBoxLayout;
    c_.Label1 = new QLabel("Mobility to INJ = ", this);
    c_.Label1->setObjectName("Label1");
    c_.llMob = new QLabel(this);
    c_.llMob->setObjectName("llMob");
    mobility->addWidget(c_.Label1);
    mobility->addWidget(c_.llMob, 1);
    outer->addLayout(mobility);

    c_.rgMoments = new QGroupBox(" Scale ", this);
    c_.rgMoments->setObjectName("rgMoments");
    const QString scaleHint = "Switch between the profile and the detector line";
    c_.rgMoments->setToolTip(scaleHint);
    auto* scale = new QHBoxLayout(c_.rgMoments);
    c_.rbSim = new QRadioButton("Profile (x-scale)", c_.rgMoments);
    c_.rbSim->setObjectName("rbSim");
    c_.rbDet = new QRadioButton("Detector (t-scale)", c_.rgMoments);
    c_.rbDet->setObjectName("rbDet");
    for (QRadioButton* b : {c_.rbSim, c_.rbDet}) {
        b->setToolTip(scaleHint);
        scale->addWidget(b);
    }
    outer->addWidget(c_.rgMoments);
    c_.bnClose = new QPushButton("Close", this);
    c_.bnClose->setObjectName("bnClose");
    c_.bnClose->setAutoDefault(false);
    outer->addWidget(c_.bnClose, 0, Qt::AlignRight);

    RunState& st = main_.State();
    StateBinder& b = Binder();
    b.afterChange = [this] { ShowSettings(); };
    b.onEnter = b.onEscape = [this] { c_.bnClose->setFocus(Qt::OtherFocusReason); };
    // The tool checks and stores each typed text.
    b.Text(
        c_.edNComp, [this] { return QString::number(tool_.SeriesNo); },
        [this, &st](const std::string& text) { tool_.EditSeriesNo(text, st); });
    b.Text(
        c_.edDigits, [this] { return QString::number(tool_.Digits); },
        [this](const std::string& text) { tool_.EditDigits(text); });
    EditCommitter* left = b.Text(
        c_.edLBorder, [this] { return QString::number(tool_.LeftBorder); },
        [this, &st](const std::string& text) { tool_.EditLeftBorder(text, st); });
    EditCommitter* right = b.Text(
        c_.edRBorder, [this] { return QString::number(tool_.RightBorder); },
        [this, &st](const std::string& text) { tool_.EditRightBorder(text, st); });
    EditCommitter* shift = b.Text(
        c_.edBQ, [this] { return QString::fromStdString(FloatToStr(tool_.BaselineQ)); },
        [this](const std::string& text) { tool_.EditBaselineQ(text); });
    b.Text(
        c_.edBK, [this] { return QString::fromStdString(FloatToStr(tool_.BaselineK)); },
        [this](const std::string& text) { tool_.EditBaselineK(text); });
    left->onInsert = [this] { InsertClicked(MomentsTool::Field::LeftBorder, c_.edLBorder); };
    right->onInsert = [this] { InsertClicked(MomentsTool::Field::RightBorder, c_.edRBorder); };
    shift->onInsert = [this] { InsertClicked(MomentsTool::Field::BaselineQ, c_.edBQ); };
    b.Check(c_.cbBaseline, tool_.BaselineEnabled);
    b.Radio(c_.rbDet, c_.rbSim, tool_.DetectorScale);

    OnSignal(process, &QAction::triggered, [this] { mmProcessClick(); });
    OnSignal(maxBorders, &QAction::triggered, [this] { SetMaxBorders1Click(); });
    OnSignal(exit, &QAction::triggered, [this] { close(); });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { close(); });

    ShowSettings();
    PlaceAtTopRight(*this);
}

void MomentsWindow::ShowSettings()
{
    const RunState& st = main_.State();
    c_.llName->setText(QString::fromStdString(tool_.SeriesName(st)));
    const std::array<std::string, 4> titles = tool_.RowTitles();
    for (int k = 0; k < 4; ++k) {
        c_.sgMoments->item(k, 0)->setText(
            QString::fromStdString(titles[static_cast<std::size_t>(k)]));
        c_.sgMoments->item(k, 1)->setText(QString::fromStdString(tool_.MomentText(k)));
    }
    c_.llMob->setText(QString::fromStdString(tool_.MobilityText(st)));
    Binder().Refresh();
}

void MomentsWindow::mmProcessClick()
{
    const std::string refusal = tool_.Process(main_.State());
    ShowSettings();
    if (!refusal.empty()) ShowMessage(refusal);
}

void MomentsWindow::SetMaxBorders1Click()
{
    const std::string refusal = tool_.SetMaxBorders(main_.State());
    if (!refusal.empty()) ShowWarning(refusal);
    ShowSettings();
}

void MomentsWindow::InsertClicked(MomentsTool::Field field, QLineEdit* edit)
{
    const std::string warning = tool_.InsertClickedPoint(field, main_.ClickedPoint, main_.State());
    if (!warning.empty()) ShowWarning(warning);
    // Without a chosen series the edit keeps the focus and its text.
    if (!tool_.Selected(main_.State()).valid) return;
    // The edit shows what was stored, so that leaving it commits the same value.
    edit->setText(field == MomentsTool::Field::LeftBorder ? QString::number(tool_.LeftBorder)
                  : field == MomentsTool::Field::RightBorder
                      ? QString::number(tool_.RightBorder)
                      : QString::fromStdString(FloatToStr(tool_.BaselineQ)));
    c_.bnClose->setFocus(Qt::OtherFocusReason);
    if (edit->hasFocus()) edit->clearFocus();
    ShowSettings();
}

void MomentsWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) tool_.Activate();
    ShowSettings();
}

MomentsWindow* InstallMomentsWindow(MainWindow& main)
{
    auto* window = new MomentsWindow(main);
    AddWindowEntry(*ToolsMenu(main), "Moments", "Moments1", window, [window] {
        window->Tool().Activate();
        window->ShowSettings();
        window->show();
        window->raise();
    });
    return window;
}
