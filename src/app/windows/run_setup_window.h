// The "Run Setup" window: the run parameters of the run state as edits built
// from the edit table (files/setup_edits.h), the grid values that wait for the
// next Init with their node labels and Restore, and the run switches (power
// mode, sequence recording, walls, advanced and never-shown modes) bound to
// their run-state fields. Modal; it may be opened during a run, when the grid
// edits are disabled.
#pragma once

#include "app/kit/state_binder.h"

#include <QDialog>

#include <map>
#include <string>

class MainWindow;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class RunSetupWindow : public QDialog, public MainStateWindow {
    Q_OBJECT
public:
    RunSetupWindow(MainWindow& main, QWidget* parent = nullptr);

    // Fills every control from the run state (captions, node labels, Restore,
    // the initial-dt edit and the grid edits' enabled states, then the bindings).
    void ShowSettings();
    void bnRestoreClick();
    void bnCloseClick();

protected:
    void showEvent(class QShowEvent* event) override;
    bool eventFilter(QObject* watched, class QEvent* event) override;

private:
    void BuildEdits(class QGridLayout* const grids[]);
    // The run switches, bound to the window's own record of the run state.
    void BuildSwitches(struct RunSetupSwitches& sw);
    // After a stored value: the set-up change flags, the chart or the main window follow.
    void AfterCommit(const struct EditEntry& e);

    std::map<std::string, QLineEdit*> edits_;
    std::map<std::string, QLabel*> nodeLabels_;
    struct Controls {
        QGroupBox* gbEdits = nullptr;
        QGroupBox* gbEnvironment = nullptr;
        QGroupBox* gbWalls = nullptr;
        QGroupBox* gbPSQ = nullptr;
        QGroupBox* gbPowerMode = nullptr;
        QGroupBox* gbChecks = nullptr;
        QGroupBox* gbKinetic = nullptr;
        QGroupBox* gbRacemic = nullptr;
        QGroupBox* gbDER = nullptr;
        QPushButton* bnClose = nullptr;
        QPushButton* bnRestore = nullptr;
        QPushButton* bnPAxis = nullptr;
        QCheckBox* cbDER = nullptr;
        QRadioButton* rbVoltage = nullptr;
        QRadioButton* rbCurrent = nullptr;
        QRadioButton* rbPSQMS = nullptr;
        QRadioButton* rbPSQSteps = nullptr;
        QRadioButton* rbPSQNo = nullptr;
        QCheckBox* cbSK = nullptr;
        QLabel* llRacemic = nullptr;
        QLineEdit* edDMult = nullptr;
        QLineEdit* edPAxis = nullptr;
    } c_;
};

// Creates the window (object name "fmRunSetup") and the main window's tool
// button "Run Setup" (spbRunSetup) that shows it modally.
RunSetupWindow* InstallRunSetupWindow(MainWindow& main);
