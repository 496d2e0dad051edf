// The additional-information window ("Additional Information"): solver
// counters, the switches of the Newton-iteration and regulating-function
// profiles, the settings of the universal regulating function and its report,
// written into the message window. Its menu entry stays hidden; the window
// exists all the same and the chart refresh reads its switches.
#pragma once

#include "app/kit/paced_refresh.h"
#include "app/kit/state_binder.h"
#include "engine/host/engine_events.h"
#include "tools/additional_info.h"

#include <QDialog>

class MainWindow;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class AdditionalWindow : public QDialog, public MainStateWindow, public EngineListener {
    Q_OBJECT
public:
    AdditionalWindow(MainWindow& main, QWidget* parent = nullptr);
    ~AdditionalWindow() override;

    AdditionalState& Data() { return a_; }

    // Counter labels from the run state.
    void ShowInfo();
    bool AnyRegFnShown() const { return ::AnyRegFnShown(a_); }
    // The "Universal Regulation Function Report" into the message window.
    void bnClick();
    // The charge choice of the last chart refresh in a message box.
    void Button1Click();
    void cbShowRFClick();
    void OnEngineEvent(const EngineEvent& event) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RegFnClick(int k);
    void cbNewCntClick();
    // A right press on a checked profile box fits the chart's vertical axis to its series.
    void Mirror();

    AdditionalState a_;
    // The counters while a run goes: at most as often as the main window's run panel.
    PacedRefresh info_{this, kRunPanelMs, [this] { Guarded([this] { ShowInfo(); }); }};
    int designedHeight_ = 0;
    struct Controls {
        QLabel* llMainC = nullptr;
        QLabel* llMainCValue = nullptr;
        QLabel* llGlobMN = nullptr;
        QLabel* llGlobMNValue = nullptr;
        QLabel* llErrDT = nullptr;
        QLabel* llErrDTValue = nullptr;
        QLabel* llNewtC = nullptr;
        QLabel* llNewtCValue = nullptr;
        QLabel* llErrMax = nullptr;
        QLabel* llErrMaxValue = nullptr;
        QLabel* llDX = nullptr;
        QLabel* llDXValue = nullptr;
        QCheckBox* cbNewCnt = nullptr;
        QCheckBox* cbShowRF = nullptr;
        QGroupBox* gbRF = nullptr;
        QCheckBox* cbRegFn[9] = {};
        QPushButton* Button1 = nullptr;
        QPushButton* bn = nullptr;
        QCheckBox* cbR6[7] = {};
        QCheckBox* cbCInit = nullptr;
        QLabel* llInitX = nullptr;
        QLineEdit* edInitX = nullptr;
        QPushButton* bnClose = nullptr;
    } c_;
};

// Creates the window (object name "fmAdditional", a child of `main`), hands its
// switches to the chart refresh and adds the hidden Tools entry
// "Additional Information" that shows it.
AdditionalWindow* InstallAdditionalWindow(MainWindow& main);
