// The complexation window ("Complex"): the table of complexation mode shown in
// a grid, loaded from and saved to its text file, built with defaults from the
// composition, and the mode switch with its confirmation.
#pragma once

#include "app/kit/state_binder.h"
#include "engine/modes/complex/complexation_settings.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QTableWidget;

class ComplexWindow : public QDialog, public StateWindow {
    Q_OBJECT
public:
    // `runInit` runs the main window's Init and tells whether an Init ran
    // and succeeded.
    ComplexWindow(RunState& st, std::function<bool()> runInit, QWidget* parent = nullptr);
    ~ComplexWindow() override;

    RunState& State() override { return st_; }

    // The file names the Open and Save buttons ask for (empty: cancelled);
    // file dialogs unless replaced.
    std::function<QString()> chooseOpenFile, chooseSaveFile;
    // Whether the main window's Init would be refused now (its refusal
    // shown): asked before Apply IS asks its question. The Init itself
    // refuses all the same.
    std::function<bool()> initRefused;

    void LoadData(const std::string& name);
    void SaveData(const std::string& name);
    void DefaultData();
    void FillTable();
    void TableToData();
    void ConfirmComplexMode();
    // "Apply IS": replaces the pKa values and mobilities of the composition (and
    // of the ligand in the grid) by their ionic-strength corrected values at the
    // last node of a fresh Init with the correction.
    void bnISClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Grows the window (within the screen) so that the grid shows all its rows
    // and columns, the row titles whole.
    void FitToTable();
    void bnOpenDataClick();
    void bnSaveClick();
    // False when the switch was refused: the Init it runs did not succeed.
    bool cbComplexClick();
    void Refresh();
    // edN and edP from the first line of the run's table.
    void MirrorLigandCharges();
    // The ligand's charges in edN and edP; a text the table does not take goes
    // back to the table's charge (0 without one), its refusal added to
    // `refusals`.
    void LigandCharges(int& nL, int& pL, std::string& refusals);
    // The text of edPKx (k 0) or edUx (k 1) when the set-up uses it as it
    // stands; else the edit goes back to the last such text, the refusal
    // added to `refusals`.
    std::string TemplateText(int k, std::string& refusals);

    struct Controls {
        QGroupBox* gbComplex = nullptr;
        QPushButton* bnOpenData = nullptr;
        QPushButton* bnSave = nullptr;
        QPushButton* bnGenerate = nullptr;
        QPushButton* bnIS = nullptr;
        QCheckBox* cbComplex = nullptr;
        QGroupBox* gbChange = nullptr;
        QLineEdit* edN = nullptr;
        QLineEdit* edP = nullptr;
        QPushButton* bnApply = nullptr;
        QGroupBox* gbTemplate = nullptr;
        QLineEdit* edPKx = nullptr;
        QLineEdit* edUx = nullptr;
        QGroupBox* gbWater = nullptr;
        QLineEdit* edPKW = nullptr;
        QLineEdit* edUH = nullptr;
        QLineEdit* edUOH = nullptr;
        QTableWidget* sgTable = nullptr;
        QPushButton* bnClose = nullptr;
    } c_;
    RunState& st_;
    std::function<bool()> runInit_;
    std::string fileName_;
    // The table as the window last showed or wrote it: the run's table differs
    // when a project brought another one.
    ComplexTable shown_;
    // The grid's texts as laid or last taken, the ligand charges it was laid
    // for and the water edits' texts: a cell or edit that differs was typed.
    std::vector<std::vector<std::string>> filled_;
    int gridNL_ = 0, gridPL_ = 0;
    std::string water_[3];
    // The last texts of edPKx and edUx that were taken.
    std::string template_[2] = {"30", "25"};
};

// Creates the window (object name "fmComplex", a child of `main`) and the main
// menu entry "Complex" that opens it modally. The project file reads and
// writes the run's table itself; the window shows it.
ComplexWindow* InstallComplexWindow(QMainWindow& main, RunState& st, std::function<bool()> runInit);
