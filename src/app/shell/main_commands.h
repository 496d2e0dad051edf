// Commands of the main window's run panel and menus that are not the run
// control itself: the spin buttons beside dt and the error centre, the hidden
// value buttons, the right-click input boxes of the diffusion button, the
// diffusion-modifier box and the hidden pKw button, the hidden debugging
// items of the Tools menu and the text export of all profiles.
#pragma once

#include <QObject>

#include <string>

class MainWindow;
class QAbstractButton;
class QLineEdit;
class QToolButton;
class RunState;

class MainCommands : public QObject {
    Q_OBJECT
public:
    explicit MainCommands(MainWindow& main);

    void csbDTUp();
    void csbDTDown();
    void csbErrCUp();
    void csbErrCDown();
    // A hidden value button: the focus goes into its edit when no run is active.
    void ValueButtonClick(QLineEdit* edit);
    // Right-click input boxes.
    void spdDiffPrecondRightClick();
    void cbRedDiffRightClick();
    void sbnReadFromGraphRightClick();
    // While the read-from-graph button is down the screen shows its cursor.
    void sbnReadFromGraphClick(bool down);
    void InverseTime1Click();
    void ExportAll1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RunState& St();
    void Refresh();

    MainWindow& main_;
    QToolButton* spdDiffPrecond_ = nullptr;
    QAbstractButton* cbRedDiff_ = nullptr;
    QToolButton* sbnReadFromGraph_ = nullptr;
    bool cursorSet_ = false;
    friend MainCommands* InstallMainCommands(MainWindow& main);
};

// Creates the commands for `main`: spin buttons "csbDT" and "csbErrC" beside
// their edits, the hidden buttons, the right-click boxes, the hidden Tools
// entries "Inverse Time" and "Peak" and the menu Export > "Export All to CSV".
MainCommands* InstallMainCommands(MainWindow& main);
