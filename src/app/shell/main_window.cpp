#include "app/shell/main_window.h"

#include "app/chart/chart_commands.h"
#include "app/chart/chart_view.h"
#include "app/chart/graph_window.h"
#include "app/kit/added_texts.h"
#include "app/kit/edit_committer.h"
#include "app/kit/modal_watch.h"
#include "app/kit/qt_convert.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/tool_windows.h"
#include "app/shell/help_menu.h"
#include "app/shell/main_commands.h"
#include "app/shell/settings_file.h"
#include "app/windows/additional_window.h"
#include "app/windows/complex_window.h"
#include "app/windows/composition_panel_view.h"
#include "app/windows/detector_window.h"
#include "app/windows/effects_window.h"
#include "app/windows/init_dist_window.h"
#include "app/windows/linear_window.h"
#include "app/windows/micellar_window.h"
#include "app/windows/moments_window.h"
#include "app/windows/option_window.h"
#include "app/windows/psq_player_window.h"
#include "app/windows/run_setup_window.h"
#include "app/windows/small_windows.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/init_distribution.h"
#include "engine/step/step_services.h"
#include "files/complex_file.h"
#include "files/file_hooks.h"
#include "files/openers.h"
#include "files/program_dir.h"
#include "files/psq.h"
#include "files/setup_edits.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/fileio.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char* kRunningPrefix = "Running";
constexpr const char* kTimeSuffix = "  |  TIME: ";

// "0.0##e+0" when |v| is below the threshold (zero included), else the given pattern.
std::string SmallOr(double v, double threshold, const char* pattern)
{
    return FormatFloat(std::fabs(v) < threshold ? "0.0##e+0" : pattern, v);
}

}  // namespace

// ===== free routines ===========================================================

std::string FormatElapsed(int seconds)
{
    if (seconds <= 0) return {};
    int days = seconds / 86400, hours = (seconds % 86400) / 3600, minutes = (seconds % 3600) / 60,
        secs = seconds % 60;
    auto n = [](int v) { return std::to_string(v); };
    if (days != 0)
        return "(" + n(days) + " d, " + n(hours) + " h, " + n(minutes) + " m, " + n(secs) + " s)";
    if (hours != 0) return "(" + n(hours) + " h, " + n(minutes) + " m, " + n(secs) + " s)";
    if (minutes != 0) return "(" + n(minutes) + " m, " + n(secs) + " s)";
    return "(" + n(secs) + " s)";
}

int ClampSeconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0) return 0;
    if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(seconds);
}

PlayerStartOptions ParsePlayerSwitches(const QStringList& args)
{
    PlayerStartOptions o;
    o.TooMany = args.size() > 4;
    auto value = [&](int i, std::string& text) {
        if (i >= args.size()) return false;
        const QString a = args[i];
        if (!a.startsWith('/') && !a.startsWith('-')) return false;
        text = a.mid(1).toStdString();
        return true;
    };
    std::string text;
    if (!value(1, text)) return o;
    int n;
    if (ReadInt(text, n) && n >= 1) o.RequestedFrame = n;
    if (!value(2, text)) return o;
    if (ReadInt(text, n) && n >= 1) o.FrameStep = n;
    if (!value(3, text)) return o;
    double d;
    if (ReadDouble(text, d) && d >= 0) o.Delay = d;
    return o;
}

// ===== construction ==============================================================

MainWindow::MainWindow(QStringList args, QWidget* parent)
    : QMainWindow(parent),
      StateWindow(this),
      st_(std::make_unique<RunState>()),
      ops_(DefaultEngineOps()),
      args_(std::move(args))
{
    setObjectName("fmMain");
    st_->Host = this;
    recorder_ = std::make_unique<PsqFileRecorder>(*st_);
    st_->Recorder = recorder_.get();
    st_->Events.Add(this);
    rootDir_ = ProgramDir().string();
    BuildWindow();
    BuildMenus();
    BindControls();
    FitMinimumToFrame();
    resize(1100, 760);
    for (QWidget* w : findChildren<QWidget*>())
        if (!w->toolTip().isEmpty()) w->setToolTipDuration(7000);
    qApp->installEventFilter(this);
    ResetState();
    UpdateMainInfo();
    FileLayerHooks().Owner = st_.get();
    FileLayerHooks().ResetState = [this](RunState&) { ResetState(); };
    // Projects and compositions open through the file layer; a sequence goes to
    // the player window.
    FileOpener = [](MainWindow& w, const std::string& name) {
        return OpenByExtension(w.State(), name);
    };
    FileLayerHooks().NewCommand = [this](RunState&) { New1Click(); };
    FileLayerHooks().RebuildRefused = [this](RunState&) { return RebuildRefused(); };
}

void MainWindow::ResetState()
{
    RunState& st = *st_;
    ResetStateHeadless(st);
    // The zero point goes back to the injection site; a node typed as
    // "another position" stays with its choice.
    if (st.Options.ZeroPoint != kZeroAnotherPos) st.ZeroPosNode = InjectionSiteNode(st, false);
    st.Series.clbGraph = {{"No constituents", true, true}};
    st.Series.clbDet = {{"No constituents", true, true}};
    Title = "KELVO 5";
    ClickedPoint = 0;
    ShowBindings();
    ShowCheckLists();
    SetupGraph();
}

MainWindow::~MainWindow()
{
    // The run state goes before the child windows: no edit commits into it while they die.
    DropEditCommitters(this);
    st_->Destroying = true;
    if (ops_.FreeEngineArrays) {
        try {
            ops_.FreeEngineArrays(*st_);
        } catch (...) {
        }
    }
    // The windows bound to the run state go while the state still exists.
    qDeleteAll(findChildren<QDialog*>(Qt::FindDirectChildrenOnly));
    st_->Host = nullptr;
    st_->Recorder = nullptr;
    st_->Events.Remove(this);
    FileLayerHooks().ResetState = nullptr;
    FileLayerHooks().NewCommand = nullptr;
    FileLayerHooks().RebuildRefused = nullptr;
    FileLayerHooks().Owner = nullptr;
    RemoveTemporaryFiles();
    marker_.Release();
}

void MainWindow::BuildMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    aNew_ = file->addAction("New");
    aOpen_ = file->addAction("Open...");
    aSave_ = file->addAction("Save...");
    file->addSeparator();
    QAction* aExit = file->addAction("E&xit");
    InstallLinearWindow(*this, State());
    InstallMicellarWindow(*this, State());
    InstallComplexWindow(*this, State(), [this] { return bnInitClick(); })->initRefused = [this] {
        return InitRefused();
    };
    InstallDetectorWindow(*this);
    InstallInitDistWindow(*this);
    InstallMomentsWindow(*this);
    InstallPsqPlayerWindow(*this);
    InstallCompositionEditing(*this);
    InstallSettingsFile(*this, InstallRunSetupWindow(*this), InstallOptionWindow(*this));
    InstallGraphWindow(*this);
    InstallSmallWindows(*this);
    InstallAdditionalWindow(*this);
    InstallChartCommands(*this);
    InstallMainCommands(*this);
    InstallHelpMenu(*this, rootDir_);
    InstallEffectsWindow(*this, State());
    auto* fast = new QAction(this);
    fast->setShortcut(QKeySequence("Ctrl+Shift+Alt+T"));
    addAction(fast);
    connect(fast, &QAction::triggered, this, [this] { close(); });
    OnSignal(aNew_, &QAction::triggered, [this] { New1Click(); });
    OnSignal(aOpen_, &QAction::triggered, [this] { Open1Click(); });
    OnSignal(aSave_, &QAction::triggered, [this] { Save2Click(); });
    ChooseProjectFile = [this](const QString& dir, const QString& file) {
        QFileDialog dialog(this, "Save", dir, "Project File (*.sna)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("sna");
        // The save asks before it replaces a project, once.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (!file.isEmpty()) dialog.selectFile(file);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    OnSignal(aExit, &QAction::triggered, [this] { bnExitClick(); });
    OnSignal(c_.spbNew, &QToolButton::clicked, [this] { New1Click(); });
    OnSignal(c_.spbOpen, &QToolButton::clicked, [this] { Open1Click(); });
    OnSignal(c_.spbSave, &QToolButton::clicked, [this] { Save2Click(); });
}

// ===== bound controls ====================================================================

void MainWindow::BindControls()
{
    RunState& st = *st_;
    StateBinder& b = Binder();
    b.afterChange = [this] { UpdateMainInfo(); };
    b.onEnter = b.onEscape = [this] { FocusDefaultButton(); };
    auto text = [](const char* pattern, const double& v) {
        return [pattern, &v] { return Q(FormatFloat(pattern, v)); };
    };

    // Display-only edits pass the focus on to their editable neighbour.
    b.Display(
        c_.edTime,
        [&st] {
            double t = st.DiffMode ? st.DiffTime - st.DiffClock : st.Time;
            return Q(t < 1 && t != 0 ? FormatFloat("0.0##e+0", t) : FormatFloat("0.###", t));
        },
        c_.edDT);
    b.Display(c_.edError, text("0.0e+0", st.StepError), c_.edErrOpt);
    b.Display(
        c_.edUIOther,
        [&st] {
            if (!st.Initialised && !st.PsqPlayerInUse) return QString("-");
            return Q(SmallOr(st.rbVoltage ? st.I * 1e6 : st.U, 0.01, "0.###"));
        },
        c_.edUI);

    // A number edit of the panel: a text outside the field's range is refused
    // with a warning that names the field and the text.
    constexpr double kMax = std::numeric_limits<double>::max();
    auto ranged = [&b](QLineEdit* edit, std::function<std::string()> field,
                       std::function<FieldRange()> range, std::function<QString()> show,
                       std::function<void(double)> accept) {
        b.Text(edit, std::move(show), [field, range, accept](const std::string& typed) {
            double v = 0;
            if (TakeTyped(field(), typed, range(), v)) accept(v);
        });
    };
    auto fixed = [](const char* field) { return [field] { return std::string(field); }; };
    auto within = [](FieldRange r) { return [r] { return r; }; };
    // 0 gives the default step.
    ranged(c_.edDT, fixed("dt (s)"), within({0, kTimeStepRange.high}), text("0.0##e+0", st.DT),
           [&st](double v) {
               const double dt = v == 0 ? st.DTDefault : v;
               if (dt != st.DT) {
                   st.DT = dt;
                   st.Restart = true;
               }
           });
    ranged(
        c_.edUI, [&st] { return PowerModeCaption(st, false); },
        [&st] { return st.rbVoltage ? kVoltageRange : kCurrentRange; },
        [&st] { return Q(SmallOr(st.UI, 0.01, "0.###")); },
        [&st](double v) {
            if (v != st.UI) {
                st.UI = v;
                st.Restart = true;
            }
        });
    ranged(c_.edErrOpt, fixed("Set Max Error"), within({0, kMax, false}),
           text("0.0##e+0", st.ErrOpt), [&st](double v) { st.ErrOpt = v; });
    ranged(
        c_.edEOFMob, fixed("EOF Mobility (1E-9)"), within(kMobilityRange),
        [&st] {
            double eof = st.cbEOF ? st.EOFMobCalc : st.EOFMob * 1e9, a = std::fabs(eof);
            const char* pattern = "0.0#e+0";
            if (a >= 0.001 && a <= 1000)
                pattern = "0.#####";
            else if ((a >= 1e-99 && a < 0.001) || (a > 1000 && a < 1e100))
                pattern = "0.0##e+0";
            return Q(FormatFloat(pattern, eof));
        },
        [&st](double v) { st.EOFMob = v * 1e-9; });
    ranged(
        c_.edStopTime, fixed("Stop Time (s)"), within({0, kMax, false}),
        [&st] { return Q(FloatToStr(st.StopTime)); }, [&st](double v) { st.StopTime = v; });

    // Walls: the computation window follows every commit, also of text that did not parse.
    auto moveWindow = [this] {
        if (ops_.UpdateComputationWindow) ops_.UpdateComputationWindow(*st_);
    };
    // A wall is a node: a whole number, clamped into the grid beside the other wall.
    auto wall = [&st](const char* field, std::function<void(int)> place) {
        return [&st, field, place](const std::string& typed) {
            double v = 0;
            if (TakeTyped(field, typed, {-kMax, kMax, true, true}, v))
                place(static_cast<int>(std::clamp(v, -1.0, st.NX + 1.0)));
        };
    };
    EditCommitter* left = b.Text(
        c_.edLeftWall, [&st] { return QString::number(st.LeftWall); },
        wall("Left Wall (Nodes)",
             [&st](int v) { st.LeftWall = std::max(std::min(v, st.RightWall - 1), 0); }),
        moveWindow);
    EditCommitter* right = b.Text(
        c_.edRightWall, [&st] { return QString::number(st.RightWall); },
        wall("Right Wall (Nodes)",
             [&st](int v) { st.RightWall = std::min(std::max(v, st.LeftWall + 1), st.NX); }),
        moveWindow);
    for (auto [c, edit] : {std::pair(left, c_.edLeftWall), std::pair(right, c_.edRightWall)})
        c->onInsert = [this, edit = edit] {
            edit->setText(QString::number(ClickedPoint));
            edit->setModified(true);
        };

    // Check boxes; the hints box only switches the tool tips.
    b.Check(c_.cbIS, st.cbIS);
    b.Check(c_.cbOptDt, st.cbOptDt);
    b.Check(c_.cbDetectorOn, st.cbDetectorOn, [this] { cbDetectorOnClick(); });
    b.Check(c_.cbEnableEOF, st.cbEnableEOF);
    b.Check(c_.cbEOFDif, st.cbEOFDif);
    b.Check(c_.cbRedDiff, st.cbRedDiff);
    b.Check(c_.cbShowHints, st.Options.cbShowHints);
    b.Check(c_.cbRacemic, st.cbRacemic, [this] { st_->cbSDS = st_->cbRacemic; });

    OnSignal(c_.clbGraph, &QListWidget::itemChanged, [this] { chart_->CheckListChanged(false); });
    OnSignal(c_.clbDet, &QListWidget::itemChanged, [this] { chart_->CheckListChanged(true); });
    OnSignal(c_.bbnInit, &QPushButton::clicked, [this] { bnInitClick(); });
    OnSignal(c_.bbnStart, &QPushButton::clicked, [this] { bnStartClick(); });
    OnSignal(c_.bbnStop, &QPushButton::clicked, [this] { bnStopClick(); });
    OnSignal(c_.bbnSimDet, &QPushButton::clicked, [this] { bbnSimDetClick(); });
    OnSignal(c_.spdDiffPrecond, &QToolButton::clicked, [this] { spdDiffPrecondClick(); });
    OnSignal(c_.spdTime, &QToolButton::clicked, [this] {
        ShowMessage("time = " + FloatToStr(st_->Time) + "\ndt = " + FloatToStr(st_->DT));
    });
    OnSignal(c_.Graph, &ChartView::RightDoubleClicked, [this] { RescaleGraph(); });
}

void MainWindow::ShowBindings()
{
    Binder().Refresh();
    c_.bbnSimDet->setEnabled(st_->cbDetectorOn);
    QSignalBlocker block(c_.spdDiffPrecond);
    c_.spdDiffPrecond->setChecked(st_->DiffMode);
    c_.llTime->setText(st_->DiffMode ? "Diff. time (s)" : "Time (s)");
}

// ===== chart =================================================================================

void MainWindow::bbnSimDetClick()
{
    chart_->SwitchView();
}

void MainWindow::cbDetectorOnClick()
{
    c_.bbnSimDet->setEnabled(st_->cbDetectorOn);
    st_->DetectorView = false;
    SetupGraph();
}

void MainWindow::OnDetectorSampled(bool pointAdded)
{
    // The detector samples every few steps of a run: its companion windows
    // follow with the run panel, at its pace (UpdateMainInfo refreshes them).
    if (pointAdded) {
        if (st_->Running)
            UpdateMainInfoOfRun();
        else
            for (const auto& refresh : InfoRefreshers) refresh();
    }
    chart_->OnDetectorSampled(pointAdded);
}

// ===== run control ==========================================================================

bool MainWindow::EngineBusy() const
{
    return st_->Running || initialising_;
}

bool MainWindow::RebuildRefused()
{
    // A run in progress keeps its arrays and its pending stop request.
    if (EngineBusy()) {
        ShowMessage("START is active");
        return true;
    }
    // The preview has changed the capillary length for its new grid: an Init
    // now would build the run on it, and Cancel would leave it there.
    if (st_->DistPreview) {
        ShowWarning(kInitDuringPreview);
        return true;
    }
    return false;
}

bool MainWindow::InitRefused()
{
    if (EngineBusy()) return RebuildRefused();
    if (st_->PsqPlayerInUse) {
        ShowWarning(kPlayerInUse);
        return true;
    }
    return RebuildRefused();
}

bool MainWindow::bnInitClick()
{
    RunState& st = *st_;
    // A run in progress keeps its pending stop request too.
    if (EngineBusy()) {
        InitRefused();
        return false;
    }
    st.Stop = false;
    if (InitRefused()) return false;
    if (!ops_.InitCalc) return false;
    // The sample zone and the type boundaries are placed at the injection
    // site: outside the capillary a run would start without its sample.
    const double length = st.CapLengthPending * 1000;
    if (!(st.InjSitePending >= 0 && st.InjSitePending <= length)) {
        ShowWarning(InjectionSiteOutsideText(FloatToStr(length)));
        return false;
    }
    // InitDone tells whether this Init ran to its end; an Init refused before
    // it touched the run keeps the previous run and its flag.
    const bool wasDone = st.InitDone;
    st.InitDone = false;
    initialising_ = true;
    try {
        ops_.InitCalc(st);
    } catch (...) {
        initialising_ = false;
        if (!st.InitDone && st.Initialised) st.InitDone = wasDone;
        UpdateMainInfo();
        throw;
    }
    initialising_ = false;
    const bool succeeded = st.InitDone && st.Initialised;
    if (!st.InitDone && st.Initialised) st.InitDone = wasDone;
    if (st.Initialised) needInit_ = false;
    CloseIfRequested();
    ShowCheckLists();
    ShowBindings();
    ApplyLineWidth();
    if (!st.Stop) RedrawGraph();
    SetupGraph();
    chart_->FitToLines();
    UpdateMainInfo();
    return succeeded;
}

void MainWindow::bnStartClick()
{
    RunState& st = *st_;
    if (EngineBusy()) {
        ShowMessage("START is active");
        return;
    }
    if (needInit_) return;  // Run is disabled until an Init succeeds
    std::string failure;
    bool failed = false;
    // The step time of the status text is measured from the run's start, not
    // from the last text shown before it.
    progressSteps_ = st.StepCount;
    progressStamp_ = NowDays();
    // A modal window opened during the run (Run Setup, Options, Complex, a
    // message box) holds it until the window closes; the status bar names the
    // tool window meanwhile, and the run's clock stands still.
    ModalWatch held(
        [this] { return WallDays(); },
        [this](const QWidget* tool) {
            if (!st_->Running) return;
            SetStatusText(tool ? RunWaitsText(tool->windowTitle().toStdString()) : "Running ...");
        });
    runHolds_ = &held;
    const auto released = qScopeGuard([this] { runHolds_ = nullptr; });
    try {
        if (ops_.RunCalc) ops_.RunCalc(st);
    } catch (const Exception& e) {
        failed = true;
        failure = e.Message();
    } catch (...) {
        failed = true;
        failure = ErrorCodeText(-11);
    }
    st.Running = false;
    if (ops_.StopCalc)
        ops_.StopCalc(st);
    else {
        geometryEditsEnabled_ = true;
        st.Stop = true;
        UpdateMainInfo();
    }
    CloseIfRequested();
    if (failed) ThrowError(failure);
}

void MainWindow::bnStopClick()
{
    st_->Stop = true;
}

void MainWindow::CloseIfRequested()
{
    if (!closeAfterRun_) return;
    closeAfterRun_ = false;
    QTimer::singleShot(0, this, [this] { close(); });
}

bool MainWindow::New1Click()
{
    RunState& st = *st_;
    if (RebuildRefused()) return false;
    NewStateHeadless(st);
    ResetState();
    chart_->FitToLines();
    UpdateMainInfo();
    return true;
}

void MainWindow::Open1Click()
{
    if (EngineBusy()) {
        ShowMessage("START is active");
        return;
    }
    QString name = QFileDialog::getOpenFileName(this, "Open", Q(rootDir_),
                                                "Project File (*.sna);;All Files (*)");
    if (name.isEmpty()) return;
    OpenFile(name.toStdString());
}

void MainWindow::Save2Click()
{
    if (EngineBusy()) {
        ShowMessage("START is active");
        return;
    }
    if (!Commands().save) return;  // nothing initialised, or a state Run would refuse
    // The dialog starts in the folder of the project in use, with its name
    // (without one, in the program folder).
    const fs::path current = st_->FileName;
    const bool named = LowerFileExt(st_->FileName) == ".sna";
    const QString dir =
        named && current.has_parent_path() ? Q(current.parent_path().string()) : Q(rootDir_);
    const QString chosen =
        ChooseProjectFile(dir, named ? Q(current.filename().string()) : QString());
    if (chosen.isEmpty()) return;
    const std::string name = ProjectSaveName(chosen.toStdString());
    const bool replacing = FileExists(name);
    if (replacing && !Confirm("File " + name + " exists. Overwrite?")) return;
    try {
        SaveSnaFile(*st_, name, replacing);
    } catch (...) {
        UpdateMainInfo();
        throw;
    }
    UpdateMainInfo();
}

void MainWindow::bnExitClick()
{
    st_->Stop = true;
    if (st_->Running) {
        // The run ends at its next poll; the window closes after it.
        closeAfterRun_ = true;
        return;
    }
    close();
}

void MainWindow::spdDiffPrecondClick()
{
    if (!st_->DiffMode)
        StartDiffusionMode(*st_, st_->DiffTimeSet);
    else
        EndDiffusionMode(*st_);
}

void MainWindow::OnDiffusionModeChanged(bool on)
{
    QSignalBlocker block(c_.spdDiffPrecond);
    c_.spdDiffPrecond->setChecked(on);
    c_.llTime->setText(on ? "Diff. time (s)" : "Time (s)");
}

MainWindow::CommandStates MainWindow::Commands() const
{
    const RunState& st = *st_;
    bool init = true, run = true, stop = true, files = true, save = true;
    // After a failed open the state is empty but marked initialised: Run and Save wait for an Init.
    if (st.SetupChanged || !st.Initialised || needInit_) run = save = false;
    if (st.Initialised && st.cbSDS != st.SDSAtInit) run = save = false;
    if (st.PsqPlayerInUse) init = run = stop = files = save = false;
    if (st.CompChanged || st.CompInit.Count() == 0) run = save = false;
    if (st.Running || initialising_) init = run = files = save = false;
    if (st.DistPreview) init = run = stop = files = save = false;
    return {init, run, stop, files, save};
}

void MainWindow::UpdateButtons()
{
    const CommandStates c = Commands();
    c_.bbnInit->setEnabled(c.init);
    c_.bbnStart->setEnabled(c.run);
    c_.bbnStop->setEnabled(c.stop);
    // The File menu's commands follow their buttons.
    for (QWidget* w : std::initializer_list<QWidget*>{c_.spbNew, c_.spbOpen})
        w->setEnabled(c.files);
    for (QAction* a : {aNew_, aOpen_}) a->setEnabled(c.files);
    c_.spbSave->setEnabled(c.save);
    aSave_->setEnabled(c.save);
    if (CompositionRefresh) CompositionRefresh();
}

void MainWindow::FocusDefaultButton()
{
    if (c_.bbnStart->isEnabled() && c_.bbnStart->isVisible())
        c_.bbnStart->setFocus(Qt::OtherFocusReason);
    else
        c_.bbnInit->setFocus(Qt::OtherFocusReason);
}

// ===== status refresh =======================================================================

std::string MainWindow::StatusText() const
{
    return c_.sbPanel[2]->text().toStdString();
}

void MainWindow::SetStatusText(const std::string& text)
{
    c_.sbPanel[2]->setText(Q(text));
    pumpNow_ = true;
}

// Status text: "Ready ..." or the progress of a run, then the time spent; a
// previous elapsed-time suffix is replaced, not repeated.
void MainWindow::ShowProgressText()
{
    RunState& st = *st_;
    std::string text = StatusText();
    size_t cut = text.find(kTimeSuffix);
    if (cut != std::string::npos) text.erase(cut);
    if (!st.Running) text = "Ready ...";
    // The run loop restamps its clock at each of its refreshes, of which the
    // panel shows only some: the step time is measured here, from the last
    // text shown.
    const double now = NowDays();
    if (text.rfind(kRunningPrefix, 0) == 0) {
        if (progressStamp_ <= 0) {
            progressSteps_ = st.StepCount;
            progressStamp_ = now;
        }
        long long steps = st.StepCount - progressSteps_;
        if (steps <= 0) steps = -1;
        double ms = (now - progressStamp_) * 86400.0 / steps * 1000;
        double remaining = st.DT != 0 ? (st.StopTime - st.Time) / st.DT * ms * 0.001 : 0;
        std::string percent =
            FormatFloat("0.000", st.StopTime != 0 ? st.Time / st.StopTime * 100 : 0);
        text = "Running ... (" + percent + " %)";
        if (steps > 0)
            text += "   |   AID: " + FormatFloat("0.0", ms) + " ms/iter " +
                    FormatElapsed(ClampSeconds(remaining));
    }
    progressSteps_ = st.StepCount;
    progressStamp_ = now;
    std::string spent = FormatElapsed(ClampSeconds(st.SpentTime));
    if (!spent.empty()) text += kTimeSuffix + spent;
    SetStatusText(text);
}

void MainWindow::UpdateMainInfo()
{
    RunState& st = *st_;
    if (st.DistPreview) return;

    if (st.Initialised && !st.PsqStarted && st.Arr.Allocated() && !st.Arr.Kappa.empty() &&
        st.Arr.Kappa[0] != 0 && ops_.CalcVoltageCurrent)
        ops_.CalcVoltageCurrent(st);
    c_.llUI->setText(Q(PowerModeCaption(st, false)));
    c_.llUIOther->setText(Q(PowerModeCaption(st, true)));
    c_.llSDSMode->setVisible(st.cbSDS);
    c_.llDiffMode->setVisible(st.DiffMode);
    // Shown once the complexation set-up of an Init has run.
    c_.llComplex->setVisible(st.cbComplex && st.ComplexReady);
    auto red = [](QCheckBox* box, bool on) { box->setStyleSheet(on ? "color: #ff0000" : ""); };
    red(c_.cbIS, st.ISCorrection);
    red(c_.cbRedDiff, st.RedDiff);
    red(c_.cbRacemic, st.RacemicAtInit);
    c_.edEOFMob->setEnabled(!st.cbEOF);
    if (st.cbEOF || st.cbVEOF)
        c_.llEOFMob->setText(st.cbEOF || st.UniformSection ? "vEOF (m/s)" : "vEOF (m/s for area)");
    else
        c_.llEOFMob->setText(st.UniformSection ? "EOF Mobility (1E-9)" : "uEOF (1e-9 for area)");
    ShowBindings();
    UpdateButtons();

    c_.llPSQFileSize->setText(st.PsqSize == -1
                                  ? QString("Uncreated")
                                  : Q(FormatFloat("0.###", st.PsqSize / 1048576.0) + " MB"));
    c_.llPSQFileName->setText(Q(st.PsqFile));

    const int id = InstanceID();
    std::string suffix = id > 1 ? "[" + std::to_string(id) + "]" : "";
    setWindowTitle(Q(st.FileName.empty() ? Title + suffix : Title + suffix + ": " + st.FileName));
    SetAppTitle(Q(Title + suffix));

    if (st.Initialised && st.NX > 0) {
        double z = static_cast<double>(st.ZeroPosNode) / st.NX;
        double left = -z * st.CapLength * st.XScale, right = (1 - z) * st.CapLength * st.XScale;
        if (st.cbEnableEOF && st.CapLength > 0) {
            double shift = st.EOFMob * st.U * st.Time / st.CapLength;
            left += shift;
            right += shift;
        }
        auto end = [](double v) {
            return std::fabs(v) < 0.01 && v != 0 ? FormatFloat("0.0##e+0", v)
                                                 : FormatFloat("0.000", v);
        };
        c_.sbPanel[0]->setText(Q(end(left)));
        c_.sbPanel[4]->setText(Q(end(right)));
    } else {
        c_.sbPanel[0]->setText("-");
        c_.sbPanel[4]->setText("-");
    }
    c_.Graph->RequestReplot();

    ShowProgressText();

    if (!st.Running && ops_.UpdateComputationWindow) ops_.UpdateComputationWindow(st);
    for (const auto& refresh : InfoRefreshers) refresh();
}

// The engine asks for the run panel every few steps (EditsRef): tens of
// thousands of refreshes per second of a fast run, each redrawing the panel's
// edits and labels, while a screen shows some tens of pictures a second. While
// a run goes, the panel is therefore shown at most once per kRunInfoMs (the
// last state at the end of the period); outside a run every refresh is shown
// at once.
void MainWindow::UpdateMainInfoOfRun()
{
    runInfo_.Request(st_->Running);
}

// ===== EngineHost ============================================================================

// A pass of the event loop costs some microseconds even when nothing waits,
// as much as a step of a small grid: the run loop's call after every step is
// therefore answered at most once per kPumpMs of wall time (a click, Stop
// included, waits at most that long; a step that takes longer pumps every
// time). A status text the engine sets and its chart redraws are shown at the
// next call.
void MainWindow::ProcessMessages()
{
    if (st_->Running && !pumpNow_ && pumped_.isValid() && pumped_.elapsed() < kPumpMs) return;
    pumpNow_ = false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    pumped_.start();
}

double MainWindow::WallDays() const
{
    return Clock ? Clock() : SystemNowDays();
}

double MainWindow::NowDays()
{
    const double now = WallDays();
    return runHolds_ ? now - runHolds_->HeldDays(now) : now;
}

void MainWindow::OnEngineEvent(const EngineEvent& e)
{
    switch (e.kind) {
    case EngineEventKind::RedrawGraph:
        chart_->OnEngineRedraw();
        pumpNow_ = true;
        break;
    case EngineEventKind::UpdateMainInfo: UpdateMainInfoOfRun(); break;
    case EngineEventKind::SetupGraph: SetupGraph(); break;
    case EngineEventKind::DrawWindowLines: DrawWindowLines(e.first, e.second); break;
    case EngineEventKind::DrawDetectorLine: chart_->OnEngineDetectorLine(); break;
    case EngineEventKind::DetectorSampled: OnDetectorSampled(e.flag); break;
    case EngineEventKind::ShowMessageWindow: ShowMessageWindow(e.lines); break;
    // The run-setup window's grid edits are locked while a run goes.
    case EngineEventKind::GeometryEditsEnabled:
        geometryEditsEnabled_ = e.flag;
        if (auto* setup = findChild<RunSetupWindow*>("fmRunSetup")) setup->ShowSettings();
        break;
    case EngineEventKind::DiffusionModeChanged: OnDiffusionModeChanged(e.flag); break;
    case EngineEventKind::EngineArraysFreed: chart_->OnEngineArraysFreed(e.flag); break;
    case EngineEventKind::RefreshMicellar:
        if (auto* micellar = findChild<MicellarWindow*>("fmSDS")) micellar->ShowSettings();
        break;
    // Newton iterations of one node's equilibrium: the point of the iteration profile.
    case EngineEventKind::NewtonIterations: {
        std::vector<double>& der = st_->Series.sr_DER.y;
        if (e.first >= 0 && e.first < static_cast<int>(der.size()))
            der[static_cast<std::size_t>(e.first)] = e.second;
        break;
    }
    case EngineEventKind::ShowRunSetupSettings:
        if (auto* setup = findChild<RunSetupWindow*>("fmRunSetup")) setup->ShowSettings();
        break;
    case EngineEventKind::ShowOptionSettings:
        if (auto* option = findChild<OptionWindow*>("fmOption")) option->ShowSettings();
        break;
    // The additional-information window listens to the engine itself.
    case EngineEventKind::ShowAdditionalInfo: break;
    }
}

// ===== files, start-up and shutdown ==============================================================

std::string MainWindow::SettingsFileName() const
{
    return JoinPath(rootDir_, "KELVO 5.ini").string();
}

bool MainWindow::OpenFile(const std::string& path)
{
    if (RebuildRefused()) return false;
    if (LowerFileExt(path) == ".psq") return SequenceOpener && SequenceOpener(path);
    if (!FileOpener) return false;
    auto show = [this] {
        // The refresh runs no check-box handler: a detector switched off by the file leaves its
        // view here.
        if (!st_->cbDetectorOn) st_->DetectorView = false;
        ShowBindings();
        // The edit that kept the focus through the open shows the opened value
        // too, so that leaving it (a click on Run) does not bring back the old one.
        Binder().Refresh(true);
        SetupGraph();
    };
    bool opened = false;
    try {
        opened = FileOpener(*this, path);
    } catch (const OpenRefused&) {
        // The file was refused before the run took anything: it goes on as it was.
        show();
        UpdateMainInfo();
        throw;
    } catch (...) {
        needInit_ = true;
        show();
        chart_->FitToLines();
        UpdateMainInfo();
        throw;
    }
    // An open refused with nothing changed leaves the state as it was, a failed one included.
    if (opened) needInit_ = false;
    ApplyLineWidth();
    show();
    RedrawGraph();
    if (opened) RescaleGraph();
    UpdateMainInfo();
    return opened;
}

void MainWindow::FirstActivation()
{
    RunState& st = *st_;
    if (marker_.Claim(rootDir_)) {
        st.PsqFileOwn = InstanceMarker::TempPsqName(rootDir_, marker_.Id());
        st.PsqFile = st.PsqFileOwn;
        // The number was free: temporary files of it were left by a session that ended without
        // Exit.
        RemoveTemporaryFiles();
        st.PsqSize = FileSizeByName(st.PsqFileOwn);
    } else {
        ShowWarning(
            "Program was unable to find free ID. Cannot run more than 2^16 applications. "
            "Try delete unused .sid files at Kelvo root directory...");
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    if (SettingsReader) {
        try {
            SettingsReader(*this, SettingsFileName());
        } catch (...) {
            ShowWarning("Incorrect INI File.");
        }
    }
    settingsRead_ = true;

    // Player options after a sequence file.
    if (args_.size() >= 2) {
        std::string first = args_.first().toStdString();
        std::error_code ec;
        if (LowerFileExt(first) == ".psq" && fs::is_regular_file(first, ec)) {
            PlayerStart = ParsePlayerSwitches(args_);
            if (PlayerStart.TooMany)
                ShowWarning("Too many parameters called from file shell for PSQ file");
        }
    }
    std::string name = !args_.isEmpty() ? args_.first().toStdString() : st.Options.DefaultFile;
    if (name.empty()) return;
    fs::path p(name);
    if (!p.has_extension()) name += ".sna";
    std::error_code ec;
    if (!fs::is_regular_file(name, ec)) {
        // The settings' default file may have gone; a file the user named is missing.
        if (!args_.isEmpty()) ShowWarning("File \"" + name + "\" not found.");
        return;
    }
    if (FindFileOpener(name) || LowerFileExt(name) == ".psq") {
        // The named file takes the example's place also when it fails to open.
        st.OpenExample = false;
        OpenFile(name);
    }
}

void MainWindow::FormActivate()
{
    if (activating_) return;  // a box shown here re-activates the window
    activating_ = true;
    Guarded([this] {
        RunState& st = *st_;
        bool opened = false;
        if (firstActivation_) {
            firstActivation_ = false;
            bool exampleWanted = st.OpenExample;
            FirstActivation();
            opened = exampleWanted && !st.OpenExample;
        }
        if (st.OpenExample && !opened) {
            st.OpenExample = false;
            fs::path example = FindSupplied("Examples/Example_Demo.sna");
            if (!example.empty()) OpenFile(example.string());
        }
        st.OpenExample = false;
        UpdateMainInfo();
        RedrawGraph();
        SetupGraph();
    });
    activating_ = false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && !c_.cbShowHints->isChecked()) return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FitMinimumToFrame();
    // Platforms without window activation still get the first activation.
    if (firstActivation_)
        QTimer::singleShot(0, this, [this] {
            if (firstActivation_) FormActivate();
        });
}

// The least window is 800 x 600 with its frame and title bar, so that it fits
// the smallest screen whole.
void MainWindow::FitMinimumToFrame()
{
    const QSize least = QSize(800, 600) - FrameExtra(*this);
    if (minimumSize() != least) setMinimumSize(least);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    FitMinimumToFrame();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FitMinimumToFrame();
    int w = statusBar()->width() - 2 * c_.sbPanel[0]->minimumWidth() -
            2 * c_.sbPanel[1]->minimumWidth();
    if (w > 0) c_.sbPanel[2]->setMinimumWidth(std::min(w, 528));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    bool accept = false;
    Guarded([&] {
        if (EngineBusy()) {
            // Closing would free the arrays under the running calculation: the run
            // stops after its current step and the window asks then.
            st_->Stop = true;
            closeAfterRun_ = true;
            return;
        }
        accept = Confirm("Exit Kelvo?");
    });
    if (accept) {
        if (SettingsWriter && settingsRead_)
            Guarded([this] { SettingsWriter(*this, SettingsFileName()); });
        RemoveTemporaryFiles();
        marker_.Release();
    }
    if (accept)
        event->accept();
    else
        event->ignore();
}

void MainWindow::RemoveTemporaryFiles()
{
    if (!marker_.Claimed()) return;
    const std::string psq = InstanceMarker::TempPsqName(rootDir_, marker_.Id());
    std::error_code ec;
    fs::remove(psq, ec);
    fs::remove(ChangeFileExt(psq, ".cmp"), ec);
    // The complexation table a run in that mode wrote beside its sequence.
    const std::string txt = ChangeFileExt(psq, ".txt");
    if (FileExists(txt) && IsComplexTableFile(txt)) fs::remove(txt, ec);
}

void MainWindow::ShowMessageWindow(const std::vector<std::string>& lines)
{
    if (MessageWindow* w = MessageWindowOf(*this)) {
        w->AppendLines(lines);
        return;
    }
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    ShowMessage(text);
}
