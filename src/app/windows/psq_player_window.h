// The sequence player window ("PSQ Player"): a stay-on-top tool window over
// the player model. It binds its controls to the model's state, forwards every
// handler to the model, shows each replayed frame in the main chart and hands
// the shown frame back to the run (Use), after which it closes.
#pragma once

#include "app/kit/state_binder.h"
#include "files/psq_player.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class MainWindow;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QToolButton;

class PsqPlayerWindow : public QWidget, public MainStateWindow {
    Q_OBJECT
public:
    explicit PsqPlayerWindow(MainWindow& main);

    PsqPlayer& Player() { return player_; }

    // ---- handlers ---------------------------------------------------------------
    void sbnOpenClick();
    void sbnTakeClick();
    void spbDeletePeriodClick();
    void sbnSaveClick();
    void sbnDeleteClick();
    void bbnPlayClick();
    void bbnFirstClick();
    void bbnLastClick();
    // Opens a sequence and plays it (the open dialog's choice, a file named at
    // start). False when nothing was opened.
    bool OpenSequence(const std::string& name);
    // Writes the state to the controls (the model's UpdateControls).
    void UpdateControls();

    // The dialogs; tests replace them. An empty name or no answer cancels.
    std::function<QString()> AskOpenName;
    std::function<QString()> AskSaveName;
    std::function<std::optional<QString>()> AskDeletePeriod;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWindow();
    void BindControls();
    // The chart follows a shown frame; after the engine was rebuilt from a file
    // the views, lists and ranges follow too.
    void OnFrameShown();
    // Runs a player command that may rebuild the engine, then refreshes the main window.
    template <class F>
    void Command(F&& command);
    QString SaveDialog();

    struct Controls {
        QToolButton* sbnOpen = nullptr;
        QToolButton* sbnTake = nullptr;
        QToolButton* spbDeletePeriod = nullptr;
        QToolButton* sbnDelete = nullptr;
        QToolButton* sbnSave = nullptr;
        QToolButton* spbDeleteRange = nullptr;
        QPushButton* bbnFirst = nullptr;
        QPushButton* bbnPlay = nullptr;
        QPushButton* bbnStop = nullptr;
        QPushButton* bbnLast = nullptr;
        QScrollBar* scbPSQ = nullptr;
        QLabel* llLeftF = nullptr;
        QLabel* llRightF = nullptr;
        QLineEdit* edFrame = nullptr;
        QLineEdit* edStep = nullptr;
        QLineEdit* edDelay = nullptr;
        QCheckBox* cbDeletePrompt = nullptr;
        QPushButton* bnClose = nullptr;
    } c_;

    PsqPlayer player_;
    bool rebuilt_ = false;  // the next shown frame is the first on a rebuilt engine
};

// Creates the player window (object name "fmPSQ") and the menu entry
// "PSQ-Player" that shows it; a ".psq" file opened by the main window (also
// one named on the command line, with its player switches) plays in it.
PsqPlayerWindow* InstallPsqPlayerWindow(MainWindow& main);
