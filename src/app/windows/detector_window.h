// The detector tools window ("Detector Data Tool"): the size the detector
// record would take in a detector file, and halving the record.
#pragma once

#include "app/kit/state_binder.h"

#include <QWidget>

class MainWindow;
class QFrame;
class QLabel;
class QToolButton;

class DetectorWindow : public QWidget, public MainStateWindow {
    Q_OBJECT
public:
    explicit DetectorWindow(MainWindow& main);

    // The estimated size into the size label.
    void ShowDataSize();
    void spnHalfClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    struct Controls {
        QFrame* plSize = nullptr;
        QLabel* llSize = nullptr;
        QLabel* llText = nullptr;
        QToolButton* spnHalf = nullptr;
        QToolButton* spbClose = nullptr;
    } c_;
};

// Creates the window (object name "fmDet") and the Tools entry "Detector
// Tools" that shows it; while it is visible its size follows the status
// refresh and every detector sample.
DetectorWindow* InstallDetectorWindow(MainWindow& main);
