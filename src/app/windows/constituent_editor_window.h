// The constituent editor ("Add Constituent"): a modal window over the editor
// model of src/composition. Every control forwards its edit, click or cell
// change to the model's operation of the same name and then shows the model's
// view again; the database list at the bottom picks ready-made entries.
#pragma once

#include "app/kit/state_binder.h"
#include "composition/constituent_editor.h"

#include <QDialog>
#include <QTableWidget>

#include <functional>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QWidget;
class ProteinBuilderWindow;

// An editable grid of cell texts whose row 0 and column 0 are fixed headers.
class CellGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit CellGrid(QWidget* parent = nullptr);
    // Shows `grid` (every cell); headers are grey and read only.
    void Show(const StringGrid& grid);
    // Writes an open cell editor's text into its cell and closes the editor.
    void FinishEdit();
    // Selects a cell and gives the grid the focus.
    void FocusCell(int col, int row);
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
    std::function<void(int col, int row, const QString& text)> onCellEdited;
    bool filling = false;
};

class ConstituentEditorWindow : public QDialog, public StateWindow {
    Q_OBJECT
public:
    ConstituentEditorWindow(RunState& st, QWidget* parent = nullptr);
    ~ConstituentEditorWindow() override;

    RunState& State() override { return st_; }
    ConstituentEditor& Model() { return model_; }

    // What the main window tells the editor (chart colours, micellar mode),
    // asked before every refresh.
    std::function<EditorEnvironment()> environment;
    // After the composition list changed (the panel rebuilds itself).
    std::function<void()> onCompositionChanged;
    // After every refresh (the main window's button states).
    std::function<void()> onRefreshed;

    // Reads the supplied database; on failure the warning and the hidden database panel.
    void OpenDatabase(const std::string& fileName);
    // RefreshEditor: every control from the model's view and grids.
    void RefreshEditor();
    // The model's grids into the two tables.
    void ShowGrids();
    // The type list, the database list and the template list.
    void FillDatabaseList();
    void FillTemplates();

    // Handlers of the buttons (also called by tests).
    void bnApplyClick();
    void bnCancelClick();
    void bnClearClick();
    void bnAddClick();
    void bnDbPickClick();
    void bnAddProteinClick();

    ProteinBuilderWindow* Protein() { return protein_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    void BindControls();
    // Text typed but not yet taken (an edit not yet left, an open cell editor)
    // goes into the model before a command, so that nothing typed is lost.
    void FinishGridEdits();
    void CommitTyping();
    void FocusSelection();
    void AfterListChange();

    struct Controls {
        QLineEdit* edName = nullptr;
        QLineEdit* edConcentration = nullptr;
        QLineEdit* edConcInj = nullptr;
        QLineEdit* edN = nullptr;
        QLineEdit* edP = nullptr;
        QLineEdit* edColor = nullptr;
        QPushButton* bbnColor = nullptr;
        QComboBox* cbType = nullptr;
        QLineEdit* edZoneCount = nullptr;
        QCheckBox* cbGradient = nullptr;
        QCheckBox* cbGradPKa = nullptr;
        QCheckBox* cbGradU = nullptr;
        QLabel* llMicA = nullptr;
        QLabel* llMicApK = nullptr;
        QLineEdit* edMicA = nullptr;
        QLineEdit* edMicApK = nullptr;
        QWidget* sbZ = nullptr;
        QWidget* sbC = nullptr;
        CellGrid* sgZ = nullptr;
        CellGrid* sgC = nullptr;
        QLabel* llComp = nullptr;
        QLabel* llCompMsg = nullptr;
        QComboBox* cbTemplate = nullptr;
        QPushButton* bnTable = nullptr;
        QPushButton* bnApplyToAll = nullptr;
        QPushButton* bnDelAllTables = nullptr;
        QPushButton* bnApply = nullptr;
        QPushButton* bnCancel = nullptr;
        QPushButton* bnClear = nullptr;
        QPushButton* bbnAdd = nullptr;
        QPushButton* bbnCancel = nullptr;
        QPushButton* bnAddProtein = nullptr;
        QWidget* plDatabase = nullptr;
        QTreeWidget* lvDatabase = nullptr;
        QPushButton* bnDbPick = nullptr;
        QPushButton* bnDbEdit = nullptr;
    } c_;

    RunState& st_;
    ConstituentEditor model_;
    ProteinBuilderWindow* protein_ = nullptr;
    bool refreshing_ = false;
    std::vector<std::pair<QLineEdit*, std::function<void()>>>
        commits_;  // exit handlers of the edits
};
