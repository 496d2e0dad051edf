// The main window: owns the run state, implements the engine's host (message
// pump, status, clock), fans the engine's events out to the windows, and
// drives Init, Run and Stop on the one GUI thread.
#pragma once

#include "app/chart/main_chart.h"
#include "app/kit/paced_refresh.h"
#include "app/kit/state_binder.h"
#include "app/shell/instance.h"
#include "engine/state/run_state.h"
#include "files/psq.h"
#include "files/setup_edits.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ChartView;
class QCPGraph;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class ModalWatch;
struct AdditionalState;
struct ChartSeries;

// The engine routines the window calls. The program uses the real engine;
// tests install scripted ones. An empty entry is skipped.
struct EngineOps {
    std::function<void(RunState&)> InitCalc;
    std::function<void(RunState&)> RunCalc;
    std::function<void(RunState&)> StopCalc;
    std::function<void(RunState&)> CalcVoltageCurrent;
    std::function<void(RunState&)> UpdateComputationWindow;
    std::function<void(RunState&)> FreeEngineArrays;
};
EngineOps DefaultEngineOps();

// Elapsed-time text "(d d, h h, m m, s s)" without leading zero units; "" for <= 0.
std::string FormatElapsed(int seconds);
// Seconds to a whole count usable by FormatElapsed: truncated, clamped to
// 0 .. INT_MAX, non-finite values 0.
int ClampSeconds(double seconds);
// Player options that may follow a sequence file on the command line:
// "/n" or "-n" switches for the first frame, the frame step and the delay (s).
struct PlayerStartOptions {
    int RequestedFrame = 0;  // 0: not given
    int FrameStep = 0;       // 0: not given
    double Delay = -1;       // below 0: not given
    bool TooMany = false;    // more than four arguments after the program name
};
// Reads the switches after the first argument; each counts only when every
// earlier one was a switch.
PlayerStartOptions ParsePlayerSwitches(const QStringList& args);

class MainWindow : public QMainWindow,
                   public StateWindow,
                   public EngineHost,
                   public EngineListener {
    Q_OBJECT
public:
    // `args` are the command-line arguments after the program name.
    explicit MainWindow(QStringList args = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    RunState& State() override { return *st_; }
    EngineOps& Engine() { return ops_; }

    // ---- commands ------------------------------------------------------------
    // Init from the button and from every window that runs the main window's
    // Init; true when an Init ran and succeeded.
    bool bnInitClick();
    // Whether Init must be refused now (a run or Init active, the player in
    // use, an initial-distribution preview shown); the refusal is shown.
    // bnInitClick asks it first; a window may ask before it prepares an Init.
    bool InitRefused();
    // Whether a command that rebuilds or replaces the run (New, an open, the
    // player's frames, the distribution tool's Apply) must be refused now (a
    // run or Init active, a preview shown); the refusal is shown. The file
    // layer asks it through its hooks (files/file_hooks.h).
    bool RebuildRefused();
    void bnStartClick();
    void bnStopClick();
    // New; false when refused (a run or an Init going, a preview shown).
    bool New1Click();
    // Open and save a project through the file dialogs.
    void Open1Click();
    void Save2Click();
    void bnExitClick();
    void bbnSimDetClick();
    void spdDiffPrecondClick();
    void cbDetectorOnClick();
    // Puts the run state back to its defaults (lists, arrays, applied geometry
    // and display options stay) and shows the empty profile view.
    void ResetState();
    // True while Init or a run is active: commands that free or rebuild the
    // engine arrays are refused then.
    bool EngineBusy() const;

    // ---- refresh ---------------------------------------------------------------
    void UpdateButtons();
    // The file commands (New, Open, the composition's Open) are allowed now.
    bool FilesEnabled() const { return Commands().files; }
    // Run by UpdateButtons: the composition panel's buttons and table.
    std::function<void()> CompositionRefresh;
    void FocusDefaultButton();

    // ---- chart (main_chart.h) ------------------------------------------------------
    MainChart& Chart() { return *chart_; }
    void SetupGraph() { Chart().SetupGraph(); }
    void clbGraphClickCheck() { Chart().clbGraphClickCheck(); }
    void ApplyLineWidth() { Chart().ApplyLineWidth(); }
    void RescaleGraph() { Chart().RescaleGraph(); }
    // Mirrors the run's series into the chart and asks for a queued repaint.
    void SyncChart() { Chart().SyncChart(); }
    // Rebuilds both check-list widgets from the run's check lists.
    void ShowCheckLists() { Chart().ShowCheckLists(); }
    void RedrawGraph() { Chart().RedrawGraph(); }
    // The chart's left axis fitted to `series` (20 % margin above and below), the bottom axis
    // automatic.
    void FitGraphTo(const struct ChartSeries& series) { Chart().FitGraphTo(series); }
    void DrawWindowLines(int leftWall, int rightWall)
    {
        Chart().DrawWindowLines(leftWall, rightWall);
    }
    void DrawDetectorLine() { Chart().DrawDetectorLine(); }

    // ---- files -------------------------------------------------------------------
    // The one place through which files are opened (".sna" project, ".cmp"
    // composition, ".psq" sequence). False when nothing was opened.
    bool OpenFile(const std::string& path);
    // Hooks of the file layer: opening by extension and the settings file.
    std::function<bool(MainWindow&, const std::string&)> FileOpener;
    std::function<void(MainWindow&, const std::string&)> SettingsReader;
    std::function<void(MainWindow&, const std::string&)> SettingsWriter;
    // Opens a ".psq" sequence (the player window installs it).
    std::function<bool(const std::string&)> SequenceOpener;
    // The save dialog of a project, started in `dir` with the name `file`:
    // the chosen name, empty when cancelled (tests put in their own answer).
    std::function<QString(const QString& dir, const QString& file)> ChooseProjectFile;
    // Companion windows that refresh with the status and after a detector
    // sample; while a run goes, only with the run panel (at its pace).
    std::vector<std::function<void()>> InfoRefreshers;
    std::string SettingsFileName() const;
    std::string RootDir() const { return rootDir_; }

    // ---- start-up and shutdown -------------------------------------------------
    // Work of an activation (the first one claims the instance number, reads the
    // settings and opens the start file). Runs once at a time.
    void FormActivate();
    const InstanceMarker& Instance() const { return marker_; }
    int InstanceID() const { return marker_.Claimed() ? marker_.Id() : 0; }
    PlayerStartOptions PlayerStart;  // from the command line, for the sequence player

    // ---- EngineHost and the engine's events ----------------------------------------
    void ProcessMessages() override;
    void SetStatusText(const std::string& text) override;
    // The run's clock: while Run lasts it stands still when a modal window
    // holds the run, so that the time spent counts only the computing.
    double NowDays() override;
    // The host's clock (days); tests install a controlled one.
    std::function<double()> Clock;
    // The time of that clock, holds included.
    double WallDays() const;
    // Fans an engine event out to the windows that exist.
    void OnEngineEvent(const EngineEvent& event) override;
    void UpdateMainInfo();
    void OnDetectorSampled(bool pointAdded);
    // Adds the lines to the message window and shows it without waiting.
    void ShowMessageWindow(const std::vector<std::string>& lines);
    bool GeometryEditsEnabled() const { return geometryEditsEnabled_; }
    void OnDiffusionModeChanged(bool on);

    // ---- display state ---------------------------------------------------------------
    std::string Title = "KELVO 5";
    int ClickedPoint = 0;
    double ClickedValue = 0;
    // Switches of the regulating-function profiles (the additional-information window's).
    AdditionalState* Additional = nullptr;
    // Every series of the chart with its line, in the chart's order.
    std::vector<std::pair<ChartSeries*, QCPGraph*>> ChartLines() const
    {
        return chart_->ChartLines();
    }
    std::string StatusText() const;

protected:
    // Hints (tool tips) are shown only while "Show Hints" is checked.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void BuildWindow();
    void BuildMenus();
    void FitMinimumToFrame();
    QLineEdit* AddPanelEdit(class QGridLayout* grid, int row, int col, QLabel*& label,
                            const QString& caption, const QString& hint, bool readOnly);
    void BindControls();
    void FirstActivation();
    // Which commands are allowed now; the buttons and the File menu show it.
    struct CommandStates {
        bool init, run, stop, files, save;
    };
    CommandStates Commands() const;
    // Closes the window when a close was asked for during a run or an Init.
    void CloseIfRequested();
    // Deletes the instance's temporary sequence and its companions (the
    // constituent file, the complexation table).
    void RemoveTemporaryFiles();
    // Mirrors the state into every bound control without running handlers.
    void ShowBindings();
    void ShowProgressText();

    // Controls of the main window, named as in its layout (object names too).
    struct Controls {
        ChartView* Graph = nullptr;
        QPushButton* bbnInit = nullptr;
        QPushButton* bbnStart = nullptr;
        QPushButton* bbnStop = nullptr;
        QPushButton* bbnSimDet = nullptr;
        QToolButton* spbNew = nullptr;
        QToolButton* spbOpen = nullptr;
        QToolButton* spbSave = nullptr;
        QToolButton* spdDiffPrecond = nullptr;
        QToolButton* spdTime = nullptr;
        QLineEdit* edTime = nullptr;
        QLineEdit* edError = nullptr;
        QLineEdit* edDT = nullptr;
        QLineEdit* edUI = nullptr;
        QLineEdit* edUIOther = nullptr;
        QLineEdit* edErrOpt = nullptr;
        QLineEdit* edEOFMob = nullptr;
        QLineEdit* edLeftWall = nullptr;
        QLineEdit* edRightWall = nullptr;
        QLineEdit* edStopTime = nullptr;
        QLabel* llTime = nullptr;
        QLabel* llUI = nullptr;
        QLabel* llUIOther = nullptr;
        QLabel* llEOFMob = nullptr;
        QLabel* llSDSMode = nullptr;
        QLabel* llComplex = nullptr;
        QLabel* llDiffMode = nullptr;
        QLabel* llPSQFileSize = nullptr;
        QLabel* llPSQFileName = nullptr;
        QCheckBox* cbIS = nullptr;
        QCheckBox* cbOptDt = nullptr;
        QCheckBox* cbDetectorOn = nullptr;
        QCheckBox* cbEnableEOF = nullptr;
        QCheckBox* cbEOFDif = nullptr;
        QCheckBox* cbShowHints = nullptr;
        QCheckBox* cbRedDiff = nullptr;
        QCheckBox* cbRacemic = nullptr;
        QListWidget* clbGraph = nullptr;
        QListWidget* clbDet = nullptr;
        QLabel* sbPanel[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    } c_;
    class QAction* aNew_ = nullptr;
    class QAction* aOpen_ = nullptr;
    class QAction* aSave_ = nullptr;

    std::unique_ptr<RunState> st_;
    std::unique_ptr<PsqFileRecorder> recorder_;  // the run's sequence files
    EngineOps ops_;
    QStringList args_;
    InstanceMarker marker_;
    std::string rootDir_;
    bool firstActivation_ = true;
    bool activating_ = false;
    bool initialising_ = false;
    bool closeAfterRun_ = false;
    bool needInit_ = false;  // an open failed: Run and Save wait for a successful Init
    bool geometryEditsEnabled_ = true;
    bool settingsRead_ = false;
    // Step count and clock (days) at the last status text shown: the step time of
    // the progress text is the mean over the steps since then.
    long long progressSteps_ = 0;
    double progressStamp_ = 0;
    // The modal windows that hold the run, while Run lasts.
    ModalWatch* runHolds_ = nullptr;
    // The run panel while a run goes: shown at most once per kRunInfoMs; a
    // refresh asked for sooner is shown when the period ends.
    static constexpr int kRunInfoMs = kRunPanelMs;
    PacedRefresh runInfo_{this, kRunInfoMs, [this] { UpdateMainInfo(); }};
    void UpdateMainInfoOfRun();
    // The engine pumps the messages after every step: while a run goes they are
    // processed at most once per kPumpMs, and at the next pump without fail after
    // a new status text or a chart redraw of the engine.
    static constexpr int kPumpMs = 10;
    QElapsedTimer pumped_;
    bool pumpNow_ = false;

    std::unique_ptr<MainChart> chart_;
};
