// The "Option" window: solver precisions (enabled by Ctrl+Alt+P), chart
// colours, line width, click tolerance, the text-export separator, the x-axis
// unit, the zero point of positions, the sequence-transfer question, stored
// window places and the file opened at start-up. Edits come from the edit
// table (files/setup_edits.h). Esc puts the stored value back before leaving
// the edit, so a typed value is dropped.
#pragma once

#include "app/kit/state_binder.h"

#include <QDialog>

#include <functional>
#include <map>
#include <string>

class MainWindow;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class OptionWindow : public QDialog, public MainStateWindow {
    Q_OBJECT
public:
    OptionWindow(MainWindow& main, QWidget* parent = nullptr);

    void ShowSettings();
    // Ctrl+Alt+P: switches the three precision edits on or off, with a message.
    void Action1Execute();
    void bbnColorClick(bool detector);
    void bnDefaultFileClick();
    void bnCloseClick();

protected:
    void showEvent(class QShowEvent* event) override;

private:
    void BuildEdits(class QGridLayout* grid);
    void BuildGroups(class QGridLayout* grid);
    void ShowColour(QLineEdit* edit, std::uint32_t colour);
    void Escape();

    std::map<std::string, QLineEdit*> edits_;
    std::map<QLineEdit*, std::function<QString()>> shown_;
    struct Controls {
        QPushButton* bnClose = nullptr;
        QPushButton* bbnSimColor = nullptr;
        QPushButton* bbnDetColor = nullptr;
        QPushButton* bnDefaultFile = nullptr;
        QSpinBox* udLineWidth = nullptr;
        QComboBox* cbCSV = nullptr;
        QLabel* llAnotherPos = nullptr;
        QLineEdit* edDefaultFile = nullptr;
    } c_;
};

// Creates the window (object name "fmOption") and the menu entry "Option"
// (Option1) that shows it modally and then refreshes the main window.
OptionWindow* InstallOptionWindow(MainWindow& main);
