// The constituent editor's model: the working constituent record, the pending
// and applied shapes (segments, charge limits), the two grids as cell texts,
// and every operation of the editor and of the composition list behind it.
// A window shows `View()` and the two grids and forwards each edit, click and
// grid change to the operation of the same name; all rules live here.
#pragma once

#include "composition/string_grid.h"
#include "engine/state/components.h"
#include "foundation/numtext.h"
#include "foundation/univset.h"

#include <cstdint>
#include <string>

class RunState;

// What the editor shows, computed by Refresh.
struct EditorView {
    std::string name, colour, concentration, concInj, micA, micApK, minCharge, maxCharge, zoneCount;
    TColor colourBack = 0, colourText = 0;                  // edColor background and text colour
    int type = 0;                                           // item of cbType
    bool gradient = false, gradPKa = false, gradU = false;  // the three boxes
    bool micVisible = false;                                // edMicA, edMicApK
    bool tableEnabled = false, tableVisible = false;        // bnTable
    bool segmentBoxesEnabled = false;                       // edZoneCount, cbGradPKa, cbGradU
    bool concEnabled = true;                                // edConcentration, edConcInj, cbType
    bool showZ = false, showC = false;                      // sbZ, sbC
    bool showNeutral = false;                               // llComp "Neutral Constituent"
    bool showMessage = true;                                // llCompMsg
    bool delAllTablesVisible = true;                        // bnDelAllTables
    bool applyEnabled = false, cancelEnabled = false;
    bool restoreEnabled = false;  // the main window's bnRestore
};

// A grid cell picked out for the user (an unreadable entry).
struct GridSelection {
    enum Grid { None, Z, C } grid = None;
    int col = 0, row = 0;
};

// What the main window and the other windows tell the editor.
struct EditorEnvironment {
    TColor SimColor = 0xFFFFFF;               // profile chart colour
    TColor DetColor = 0xB9DCFF;               // detector chart colour
    TColor ChartBackground = 0xFFFFFF;        // current background gradient colour of the chart
    bool MicellarMode = false;                // cbSDS of the micellar window
    bool InitialDistributionVisible = false;  // the main window's "Initial Distribution" item
};

inline constexpr const char* kDatabaseFileName = "Database.dbc";
inline constexpr const char* kNeutralConstituent = "Neutral Constituent";
inline constexpr const char* kApplyMessage =
    "Click <APPLY> button to apply changes or <CANCEL> to cancel changes";
inline constexpr const char* kTemplateFirstItem = "Choose Template Constituent";
// Filter of the composition file dialogs (entries "caption|pattern").
inline constexpr const char* kComponentFileFilter =
    "Component File (*.cmp)|*.cmp|All Files (*.*)|*.*";

class ConstituentEditor {
public:
    explicit ConstituentEditor(RunState& state);

    // ----- state --------------------------------------------------------
    TComponents WorkComp;
    int AppliedMode = 0;
    int AppliedZones = 0, AppliedMinCharge = 0, AppliedMaxCharge = 0;
    int EditZones = 5;
    int EditMinCharge = 0;  // <= 0
    int EditMaxCharge = 0;  // >= 0
    bool cbGradient = false, cbGradPKa = false, cbGradU = false;
    bool ListsFilled = false;
    std::string DatabaseFileName = kDatabaseFileName;
    EditorEnvironment Env;
    StringGrid sgZ;           // charge forms: "charge" column, pKa and u columns by mode
    StringGrid sgC;           // segments: rows "Length (mm)", "Ratio", "c (mM)"
    GridSelection Selection;  // the cell selected by the last failed read

    const EditorView& View() const { return view_; }
    RunState& State() { return st_; }

    // ----- field edits (each commits and refreshes) ---------------------
    void EditName(const std::string& text);
    void EditConcentration(const std::string& text);
    void EditConcInj(const std::string& text);
    void EditMinChargeText(const std::string& text);
    void EditMaxChargeText(const std::string& text);
    void EditColour(const std::string& text);
    void SetColour(TColor colour);  // the colour dialog's choice
    void SetType(int type);
    void EditZoneCount(const std::string& text);
    void SetGradient(bool on);
    void SetGradPKa(bool on);
    void SetGradU(bool on);
    void EditMicA(const std::string& text);
    void EditMicApK(const std::string& text);
    // A grid cell typed by the user.
    void SetZCell(int col, int row, const std::string& text) { sgZ.SetCell(col, row, text); }
    void SetCCell(int col, int row, const std::string& text) { sgC.SetCell(col, row, text); }

    // ----- commands -----------------------------------------------------
    void Refresh();  // RefreshEditor
    void UpdateApplyButtons();
    void Apply();
    void Cancel();
    void Clear();
    // Accept: true when the record went into the composition (the window closes).
    bool Accept();
    bool ReadGrids(bool forAccept);
    void AllocNewComp();
    void BuildGrids();
    // Recomputes the length row; false on an unreadable ratio.
    bool RatiosToLengths();
    void LoadIntoEditor(const TComponents& rec);
    TColor NewColour() const;
    std::string DefaultName() const;
    // Template: item 0 is kTemplateFirstItem, then the composition names.
    std::vector<std::string> TemplateItems() const;
    void ChooseTemplate(int item);
    void ApplyToAll();
    void DeleteTable();
    void DeleteAllTables();
    // Pick of database entry `item` (0-based) of `database`.
    void Pick(const TUnivSet<TComponents>& database, int item);

    // ----- composition list operations ----------------------------------
    // Loads constituent r into the editor; false with "Index is out of range".
    bool EditRow(int r);
    // Removes constituent r (no question); false when r is not a key.
    bool DeleteRow(int r);
    // After "Are you sure to DELETE ALL constituents?\n"; false on No.
    bool DeleteAll();
    // Composition := CompInit, with the table of that Init (RestoreInitComposition).
    void Restore();
    // "Open" of a composition file: CompChanged set, the file merged by the
    // Set/Add choice (st.rbSet). A damaged file is reported with its message
    // and leaves the composition as it was. False when nothing was read.
    bool OpenComposition(const std::string& fileName);
    // "Save": the whole composition; a write error is reported with its message.
    bool SaveComposition(const std::string& fileName);
    // Reads the database into the run state's Database list. On failure the
    // warning "DATABASE isn't accessible." and DatabaseAvailable false (the
    // window hides its database panel).
    bool OpenDatabase(const std::string& fileName);
    bool DatabaseAvailable = false;

private:
    void SetRowsEnabled(bool apply, bool cancel);
    bool BoxesMatchMode(int mode) const;
    void SetBoxesFromMode(int mode);
    void AfterListChange();

    RunState& st_;
    EditorView view_;
};

// Interprets the answer of the "Edit Constituent" / "Delete Constituent" input
// boxes: the key 1..count, or 0 for anything else.
int RowFromAnswer(const std::string& text, int count);
