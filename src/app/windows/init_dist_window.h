// The initial-distribution tool window ("Initial Distribution Tool"): the
// segment table over the current profiles, its preview in the main chart and
// Apply, which re-initialises the run on the new grid with the new profiles.
#pragma once

#include "app/kit/state_binder.h"
#include "tools/init_dist.h"

#include <QWidget>

class MainWindow;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTableWidget;

class InitDistWindow : public QWidget, public MainStateWindow {
    Q_OBJECT
public:
    explicit InitDistWindow(MainWindow& main);
    ~InitDistWindow() override;

    InitDistTool& Tool() { return tool_; }

    void ShowSettings();
    void bnCreateClick();
    void bnPreviewClick();
    void bnApplyClick();
    void bnDiscardClick();
    // The table was left after editing: checked again, Apply disabled.
    void sgDataExit();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The segment table of the tool into the grid, and one cell back.
    void FillGrid();
    void CellEdited(int row, int col);
    void InsertClickedValue();

    struct Controls {
        QLineEdit* edNSeg = nullptr;
        QLineEdit* edLSeg = nullptr;
        QLineEdit* edRSeg = nullptr;
        QLineEdit* edDiff = nullptr;
        QLineEdit* edNX = nullptr;
        QLineEdit* edNXActual = nullptr;
        QLabel* llCapLength = nullptr;
        QCheckBox* cbDiff = nullptr;
        QCheckBox* cbTime = nullptr;
        QCheckBox* cbStayOnTop = nullptr;
        QPushButton* bnCreate = nullptr;
        QPushButton* bnDiscard = nullptr;
        QPushButton* bnPreview = nullptr;
        QPushButton* bnApply = nullptr;
        QPushButton* bnClose = nullptr;
        QScrollArea* sbData = nullptr;
        QTableWidget* sgData = nullptr;
    } c_;
    InitDistTool tool_;
    bool filling_ = false;
    bool gridEdited_ = false;
};

// Creates the window (object name "fmDist") and the Tools entry "Initial
// Distribution", which in complexation mode warns instead of opening it.
InitDistWindow* InstallInitDistWindow(MainWindow& main);
