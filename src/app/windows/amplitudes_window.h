// The amplitudes window ("Aplitudes"): a table of amplitudes per constituent
// with four numeric settings. Its menu entry is invisible.
#pragma once

#include "composition/amplitudes.h"

#include <QDialog>

class QMainWindow;
class QLineEdit;
class QTableWidget;

class AmplitudesWindow : public QDialog {
    Q_OBJECT
public:
    explicit AmplitudesWindow(QWidget* parent = nullptr);
    ~AmplitudesWindow() override;

    // The four settings into their edits.
    void ShowSettings();
    const AmplitudeSettings& Settings() const { return settings_; }

private:
    AmplitudeSettings settings_;
    QTableWidget* sgAmp = nullptr;
    QLineEdit* edits_[4] = {nullptr, nullptr, nullptr, nullptr};
};

// Creates the window and its invisible Tools entry "Amp".
AmplitudesWindow* InstallAmplitudesWindow(QMainWindow& main);
