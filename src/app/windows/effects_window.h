// The capillary-effects window ("CE Effects"): the mode switches of the
// capillary effects, the input choices, the segment grid with its
// Create/Default/Clear/template commands, and "ReInitiate", which applies the
// grid to the profiles of an initialised run. The grid is the run state's
// (CapillaryEffects::Grid); the window shows it and writes every edit back.
#pragma once

#include "app/kit/state_binder.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMainWindow;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTableWidget;
class QTableWidgetItem;

class EffectsWindow : public QWidget, public StateWindow {
    Q_OBJECT
public:
    explicit EffectsWindow(RunState& st, QWidget* parent = nullptr);
    RunState& State() override { return st_; }

    // Labels, template list, grid (lengths and conversions) and the bindings.
    void RefreshForm();
    void bnCreateClick();
    void bnDefaultClick();
    void bnClearClick();
    void bnUseClick();
    // Takes the segmentation of constituent `index` (1-based) of the composition.
    void cbTemplateSelect(int index);
    // Double right click on a cell: copies it along its row or the edge column.
    void CopyCellToAll(int row, int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Activation and deactivation refresh the window (labels, lengths, conversions).
    void changeEvent(QEvent* event) override;

private:
    struct Controls {
        QCheckBox *cbS, *cbMix, *cbH, *cbT, *cbSvol, *cbEOF;
        QRadioButton *rbD, *rbS, *rbH, *rbP, *rbPK_pos, *rbPK_neg;
        QCheckBox *cbAccT, *cbTEOF, *cbDiffusion, *cbSeparatedEOF, *cbEOFT, *cbAllStac, *cbMixE,
            *cbStayOnTop;
        QLabel *llCapLength, *llDia;
        QScrollArea* sbData;
        QTableWidget* sgData;
        QLineEdit* edNSeg;
        QPushButton *bnCreate, *bnRe, *bnDefault, *bnClear, *bnUse, *bnClose;
        QComboBox* cbTemplate;
    };
    void BuildControls();
    void ShowGrid();
    void CellEdited(QTableWidgetItem* item);

    RunState& st_;
    Controls c_{};
    int segCountEdit_ = 1;  // "# Segments"
    bool showing_ = false;  // the grid is being filled by the program
};

// Creates the window (object name "fmEffects", hidden) and the menu entry
// "CE-Effects" (object name "CEEffects1", hidden at creation) that shows it.
EffectsWindow* InstallEffectsWindow(QMainWindow& main, RunState& st);
