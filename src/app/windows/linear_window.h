// The linear tool window ("Linear Aproximation"): an OK button that closes it,
// and a process handler, bound to no control, that computes the
// background-electrolyte record of the run state and shows one of its values.
#pragma once

#include <QDialog>

class QMainWindow;
class QPushButton;
class RunState;

class LinearWindow : public QDialog {
    Q_OBJECT
public:
    explicit LinearWindow(RunState& st, QWidget* parent = nullptr);

    // Computes EIData; on success shows the mobility of the first
    // constituent's form at index ZMin + ZMax ("N/A" when there is none).
    void bnProcessClick();

    QPushButton* bnClose = nullptr;  // "&OK"

private:
    RunState& st_;
};

// Creates the window (object name "fmLinear", a child of `main`) and the menu
// entry "Linear" of the Tools menu that opens it modally. The entry is not visible.
LinearWindow* InstallLinearWindow(QMainWindow& main, RunState& st);
