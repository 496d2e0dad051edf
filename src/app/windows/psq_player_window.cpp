#include "app/windows/psq_player_window.h"

#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kPsqFilter = "PSQ files (*.psq)";

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

QPushButton* PanelButton(QWidget* parent, const char* name, const QString& caption,
                         const QString& hint)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* LabelledEdit(QGridLayout* grid, int col, const char* name, const QString& caption,
                        const QString& hint)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    edit->setToolTip(hint);
    edit->setMaximumWidth(90);
    grid->addWidget(new QLabel(caption), 0, col);
    grid->addWidget(edit, 1, col);
    return edit;
}

}  // namespace

PsqPlayerWindow::PsqPlayerWindow(MainWindow& main)
    : QWidget(&main, Qt::Tool | Qt::WindowStaysOnTopHint),
      MainStateWindow(this, main),
      player_(main.State())
{
    setObjectName("fmPSQ");
    setWindowTitle("PSQ Player");
    BuildWindow();
    BindControls();
    player_.UpdateControls = [this] { UpdateControls(); };
    player_.FrameShown = [this](int) { OnFrameShown(); };
    AskOpenName = [this] {
        return QFileDialog::getOpenFileName(this, "Open", QString::fromStdString(main_.RootDir()),
                                            kPsqFilter);
    };
    AskSaveName = [this] { return SaveDialog(); };
    AskDeletePeriod = [this]() -> std::optional<QString> {
        bool ok = false;
        QString text =
            QInputDialog::getText(this, "Reduce PSQ File Size",
                                  "Input Frame Delete Period:\n(to delete every 2nd frame write 2)",
                                  QLineEdit::Normal, "2", &ok);
        if (!ok) return std::nullopt;
        return text;
    };
    UpdateControls();
    PlaceAtTopRight(*this);
}

void PsqPlayerWindow::BuildWindow()
{
    auto* outer = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    c_.sbnOpen = ToolButton(this, "sbnOpen", "&Open", "Open and play PSQ file");
    c_.sbnTake = ToolButton(this, "sbnTake", "&Use",
                            "Use the shown frame and continue the run from its time");
    c_.spbDeletePeriod = ToolButton(this, "spbDeletePeriod", "&Reduce Size",
                                    "Tool to reduce PSQ file size of currently opened PSQ file");
    c_.sbnDelete = ToolButton(this, "sbnDelete", "Delete", QString());
    c_.sbnSave = ToolButton(this, "sbnSave", "Save", QString());
    c_.spbDeleteRange = ToolButton(this, "spbDeleteRange", "DelRan", QString());
    for (QToolButton* b :
         {c_.sbnOpen, c_.sbnTake, c_.spbDeletePeriod, c_.sbnDelete, c_.sbnSave, c_.spbDeleteRange})
        bar->addWidget(b);
    for (QToolButton* b : {c_.sbnDelete, c_.sbnSave, c_.spbDeleteRange}) b->setVisible(false);
    bar->addStretch();
    outer->addLayout(bar);

    auto* panel = new QHBoxLayout;
    c_.bbnFirst = PanelButton(this, "bbnFirst", "|&<<", "Set first frame");
    c_.bbnPlay = PanelButton(this, "bbnPlay", "&Play", "Play PSQ file");
    c_.bbnStop = PanelButton(this, "bbnStop", "&Stop", "Stop playing of PSQ file");
    c_.bbnLast = PanelButton(this, "bbnLast", ">&>|", "Set last frame");
    for (QPushButton* b : {c_.bbnFirst, c_.bbnPlay, c_.bbnStop, c_.bbnLast}) panel->addWidget(b);
    outer->addLayout(panel);

    auto* scroll = new QHBoxLayout;
    c_.llLeftF = new QLabel("1", this);
    c_.llLeftF->setObjectName("llLeftF");
    c_.scbPSQ = new QScrollBar(Qt::Horizontal, this);
    c_.scbPSQ->setObjectName("scbPSQ");
    c_.scbPSQ->setPageStep(10);
    c_.scbPSQ->setMinimumWidth(220);
    c_.scbPSQ->setToolTip("To scroll frames and visualize position of actual frame in PSQ file");
    c_.llRightF = new QLabel(this);
    c_.llRightF->setObjectName("llRightF");
    scroll->addWidget(c_.llLeftF);
    scroll->addWidget(c_.scbPSQ, 1);
    scroll->addWidget(c_.llRightF);
    outer->addLayout(scroll);

    auto* edits = new QGridLayout;
    c_.edFrame = LabelledEdit(edits, 0, "edFrame", "Frame", "Actual frame");
    c_.edStep = LabelledEdit(
        edits, 1, "edStep", "Frame Step",
        "Defines whether some frames are skipped (1 .. show every frame, 2 .. show every 2nd "
        "frame, ..)");
    c_.edDelay = LabelledEdit(
        edits, 2, "edDelay", "Delay [s]",
        "Time delay between two frames in seconds (program can freeze if value if too high) ");
    c_.cbDeletePrompt = new QCheckBox("Delete Prompt", this);
    c_.cbDeletePrompt->setObjectName("cbDeletePrompt");
    c_.cbDeletePrompt->setChecked(true);
    c_.cbDeletePrompt->setVisible(false);
    c_.bnClose = PanelButton(this, "bnClose", "&Close", QString());
    edits->addWidget(c_.cbDeletePrompt, 1, 3);
    edits->addWidget(c_.bnClose, 1, 4);
    outer->addLayout(edits);
}

void PsqPlayerWindow::BindControls()
{
    StateBinder& b = Binder();
    b.afterChange = [this] { UpdateControls(); };
    b.onEnter = b.onEscape = [this] { c_.bbnPlay->setFocus(Qt::OtherFocusReason); };
    // The player checks and stores each typed text.
    EditCommitter* frame = b.Text(
        c_.edFrame, [this] { return QString::number(player_.CurrentFrame); },
        [this](const std::string& text) { Command([&] { player_.EditFrame(text); }); });
    // Enter in the frame edit: while playing, the focus goes to Stop;
    // otherwise the typed frame is committed as on leaving.
    frame->onEnter = [this, commit = frame->onEnter] {
        if (player_.KeepPlaying)
            c_.bbnStop->setFocus(Qt::OtherFocusReason);
        else if (commit)
            commit();
    };
    b.Text(
        c_.edStep, [this] { return QString::number(player_.FrameStep); },
        [this](const std::string& text) { player_.EditStep(text); });
    b.Text(
        c_.edDelay, [this] { return QString::fromStdString(player_.DelayText()); },
        [this](const std::string& text) { player_.EditDelay(text); });
    c_.edFrame->installEventFilter(this);
    c_.scbPSQ->installEventFilter(this);

    OnSignal(c_.sbnOpen, &QToolButton::clicked, [this] { sbnOpenClick(); });
    OnSignal(c_.sbnTake, &QToolButton::clicked, [this] { sbnTakeClick(); });
    OnSignal(c_.spbDeletePeriod, &QToolButton::clicked, [this] { spbDeletePeriodClick(); });
    OnSignal(c_.sbnSave, &QToolButton::clicked, [this] { sbnSaveClick(); });
    OnSignal(c_.sbnDelete, &QToolButton::clicked, [this] { sbnDeleteClick(); });
    OnSignal(c_.bbnPlay, &QPushButton::clicked, [this] { bbnPlayClick(); });
    OnSignal(c_.bbnStop, &QPushButton::clicked, [this] { player_.StopPlaying(); });
    OnSignal(c_.bbnFirst, &QPushButton::clicked, [this] { bbnFirstClick(); });
    OnSignal(c_.bbnLast, &QPushButton::clicked, [this] { bbnLastClick(); });
    OnSignal(c_.scbPSQ, &QScrollBar::valueChanged,
             [this](int k) { Command([&] { player_.ShowFrame(k); }); });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { close(); });
}

void PsqPlayerWindow::UpdateControls()
{
    c_.llRightF->setText(QString::number(player_.FrameCount));
    {
        // Moving the scroll bar here is no user change: it shows no frame.
        QSignalBlocker block(c_.scbPSQ);
        c_.scbPSQ->setRange(1, player_.ScrollMax());
        c_.scbPSQ->setValue(player_.CurrentFrame);
    }
    c_.scbPSQ->setEnabled(player_.ScrollEnabled());
    Binder().Refresh();
}

template <class F>
void PsqPlayerWindow::Command(F&& command)
{
    rebuilt_ = player_.ReloadNeeded();
    try {
        command();
    } catch (...) {
        rebuilt_ = false;
        main_.UpdateMainInfo();
        throw;
    }
    rebuilt_ = false;
    main_.UpdateMainInfo();
}

void PsqPlayerWindow::OnFrameShown()
{
    if (rebuilt_) {
        // The engine was just rebuilt for the file: its lists and views.
        rebuilt_ = false;
        main_.State().DetectorView = false;
        main_.ShowCheckLists();
        main_.SetupGraph();
        main_.RedrawGraph();
        main_.RescaleGraph();
        return;
    }
    main_.RedrawGraph();
}

bool PsqPlayerWindow::OpenSequence(const std::string& name)
{
    if (player_.Busy) return false;
    // A running calculation keeps its arrays; a preview its grid.
    if (main_.RebuildRefused()) return false;
    bool opened = false;
    Command([&] {
        rebuilt_ = true;  // an open always rebuilds the engine from the file
        opened = player_.Open(name);
    });
    return opened;
}

void PsqPlayerWindow::sbnOpenClick()
{
    if (player_.Busy) return;
    const QString name = AskOpenName ? AskOpenName() : QString();
    if (name.isEmpty()) return;
    OpenSequence(name.toStdString());
}

void PsqPlayerWindow::bbnPlayClick()
{
    if (player_.Busy) return;
    Command([this] { player_.Play(); });
}

void PsqPlayerWindow::bbnFirstClick()
{
    Command([this] { player_.First(); });
}

void PsqPlayerWindow::bbnLastClick()
{
    Command([this] { player_.Last(); });
}

void PsqPlayerWindow::sbnTakeClick()
{
    const bool used = player_.Use();
    main_.UpdateMainInfo();
    if (!used) return;
    main_.ShowCheckLists();
    main_.SetupGraph();
    main_.RedrawGraph();
    close();
}

void PsqPlayerWindow::spbDeletePeriodClick()
{
    if (!player_.CanReduce() || !AskDeletePeriod) return;
    const std::optional<QString> answer = AskDeletePeriod();
    int period = 0;
    if (!answer || !player_.ReducePeriod(answer->toStdString(), period)) return;
    const QString target = AskSaveName ? AskSaveName() : QString();
    if (target.isEmpty()) return;
    Command([&] { player_.ReduceSize(period, target.toStdString()); });
}

QString PsqPlayerWindow::SaveDialog()
{
    QFileDialog dialog(this, "Save", QString::fromStdString(main_.RootDir()), kPsqFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("psq");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

void PsqPlayerWindow::sbnSaveClick()
{
    // The dialog is offered; nothing is written.
    if (!player_.Busy && AskSaveName) AskSaveName();
}

void PsqPlayerWindow::sbnDeleteClick()
{
    // Asks; nothing is deleted.
    if (player_.CurrentFrame < 1 || player_.CurrentFrame > player_.FrameCount) {
        ShowWarning("Out of frame range!");
        return;
    }
    if (c_.cbDeletePrompt->isChecked()) Confirm("Delete current frame?");
}

void PsqPlayerWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) UpdateControls();
}

void PsqPlayerWindow::closeEvent(QCloseEvent* event)
{
    player_.StopPlaying();
    QWidget::closeEvent(event);
}

bool PsqPlayerWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == c_.scbPSQ &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress) &&
        player_.KeepPlaying)
        player_.StopPlaying();
    if (watched == c_.edFrame && event->type() == QEvent::FocusIn && player_.KeepPlaying)
        c_.bbnStop->setFocus(Qt::OtherFocusReason);
    return QWidget::eventFilter(watched, event);
}

PsqPlayerWindow* InstallPsqPlayerWindow(MainWindow& main)
{
    auto* window = new PsqPlayerWindow(main);
    AddWindowEntry(*main.menuBar(), "PSQ-Player", "PSQPlayer2", window);
    main.SequenceOpener = [&main, window](const std::string& name) {
        PsqPlayer& p = window->Player();
        const PlayerStartOptions o = main.PlayerStart;
        main.PlayerStart = {};
        if (o.RequestedFrame > 0) p.RequestedFrame = o.RequestedFrame;
        if (o.FrameStep > 0) p.FrameStep = o.FrameStep;
        if (o.Delay >= 0) p.Delay = o.Delay;
        window->show();
        bool opened = false;
        try {
            opened = window->OpenSequence(name);
        } catch (...) {
            p.RequestedFrame = 0;
            window->UpdateControls();
            throw;
        }
        p.RequestedFrame = 0;
        window->UpdateControls();
        return opened;
    };
    return window;
}
