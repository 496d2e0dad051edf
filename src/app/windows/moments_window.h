// The moments window ("Moments"): the first four moments of one constituent's
// profile or detector trace between two point indices, with an optional linear
// baseline, and the mobility that carries the zone to its centre of gravity.
#pragma once

#include "app/kit/state_binder.h"
#include "tools/moments.h"

#include <QWidget>

class MainWindow;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

class MomentsWindow : public QWidget, public MainStateWindow {
    Q_OBJECT
public:
    explicit MomentsWindow(MainWindow& main);

    MomentsTool& Tool() { return tool_; }

    // Writes the members into the controls (edits, series name, grid, mobility).
    void ShowSettings();
    void mmProcessClick();
    void SetMaxBorders1Click();
    // <Insert> in a border or baseline-shift edit: the last clicked chart point.
    void InsertClicked(MomentsTool::Field field, QLineEdit* edit);

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Controls {
        QLineEdit* edNComp = nullptr;
        QLineEdit* edDigits = nullptr;
        QCheckBox* cbAll = nullptr;
        QCheckBox* cbBaseline = nullptr;
        QLineEdit* edLBorder = nullptr;
        QLineEdit* edRBorder = nullptr;
        QLineEdit* edBQ = nullptr;
        QLineEdit* edBK = nullptr;
        QTableWidget* sgMoments = nullptr;
        QLabel* llName = nullptr;
        QLabel* Label1 = nullptr;
        QLabel* llMob = nullptr;
        QLabel* llLable = nullptr;
        QGroupBox* rgMoments = nullptr;
        QRadioButton* rbSim = nullptr;
        QRadioButton* rbDet = nullptr;
        QPushButton* bnClose = nullptr;
    } c_;
    MomentsTool tool_;
};

// Creates the window (object name "fmMoments") and the Tools entry "Moments"
// that shows it.
MomentsWindow* InstallMomentsWindow(MainWindow& main);
