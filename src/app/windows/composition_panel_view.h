// The composition panel of the main window: the 13-column table of the
// constituents with its popup menu, the "Composition" buttons (Add, Edit,
// Delete, Delete All, Restore) and the "Composition File" group (Set/Add,
// Open, Save). It owns the constituent editor window and runs the ampholines
// wizard.
#pragma once

#include "composition/composition_panel.h"

#include <QWidget>

#include <functional>
#include <vector>

class ConstituentEditorWindow;
class MainWindow;
class QMenu;
class QPushButton;
class QRadioButton;
class QTableWidget;

class CompositionPanelView : public QWidget {
    Q_OBJECT
public:
    CompositionPanelView(MainWindow& main, ConstituentEditorWindow& editor,
                         QWidget* parent = nullptr);

    // Rebuilds the table from the composition; an unchanged list keeps the table as it is.
    void ShowComposition();
    // Enabled states of Open and Restore, then ShowComposition.
    void Refresh();

    // ----- list operations (buttons and popup menu) --------------------------
    void bbnAddComponentClick();
    void bnEditClick();
    void bnDeleteClick();
    void bnDeleteAllClick();
    void bnRestoreClick();
    void bnLoadClick();
    void bnSaveClick();
    void EditRowClick(int r);    // popup "Edit", double-click
    void DeleteRowClick(int r);  // popup "Delete"
    void FocusClick(int r);      // popup "Focus"
    void MoveClick(bool (*move)(TUnivSet<TComponents>&, int), int r);
    void MultipleConstituents1Click();  // the ampholines wizard

    // The row on which the popup menu was opened (1..count, -1 for none).
    int ClickedRow = -1;
    // Shows the editor modally (tests replace it).
    std::function<void()> ShowEditor;
    // File name from the Open (save = false) or Save dialog; empty when cancelled.
    std::function<QString(bool save)> ChooseFile;

    QTableWidget* Table() const { return table_; }
    QMenu* Popup() const { return popup_; }

private:
    void AfterListChange();

    MainWindow& main_;
    ConstituentEditorWindow& editor_;
    QTableWidget* table_ = nullptr;
    QMenu* popup_ = nullptr;
    QWidget* gbComposition_ = nullptr;
    int refusedCount_ = 0;  // the count beyond the panel's rows last warned about
    // The list operations wait while the initial-distribution tool shows a
    // preview (its profiles are laid out for the list as it is).
    bool ListFrozen() const;
    QPushButton* bnRestore_ = nullptr;
    QPushButton* bnLoad_ = nullptr;
    std::vector<PanelRow> shown_;
    bool shownOnce_ = false;
    bool building_ = false;
};

// Dialog filter from the "caption|pattern|caption|pattern" form ("A (*.a);;B (*.*)").
QString DialogFilter(const char* filter);

// Creates the constituent editor, the composition panel (below the chart), the
// protein builder, the Tools entries "Ampholines Wizard" and the invisible
// "Amp", and reads the supplied database.
CompositionPanelView* InstallCompositionEditing(MainWindow& main);
