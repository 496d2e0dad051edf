// The initial-distribution tool: builds new concentration profiles from the
// current ones, segment by segment, across a capillary that may grow or
// shrink. Middle segments laid end to end cover the current profiles from node
// 0: "U" keeps the nodes, "C" replaces them (a number per constituent, or "U"
// to keep that constituent's values), "D" deletes them. Outer segments add
// nodes at either end and are always "C". Preview shows the result in the
// chart data; Apply re-initialises the run on the new grid, puts the profiles
// into it and stores them as each constituent's table-defined profile.
//
// The window binds its edits, check boxes and the segment grid to the members
// and calls the methods; the methods show their own messages.
#pragma once

#include <string>
#include <vector>

class RunState;
struct ComplexationSettings;

// The segment grid: per segment column j = 1..SegCount the width (nodes), the
// type letter and one cell per constituent k = 1..Names.size(). Slot 0 of
// every vector is unused (the title column).
struct DistTable {
    int SegCount = 0, LeftSegCount = 0, RightSegCount = 0;
    std::vector<std::string> Names;              // [1..count]
    std::vector<std::string> Width, Type;        // [1..SegCount]
    std::vector<std::vector<std::string>> Cell;  // [k 1..count][j 1..SegCount]

    int Constituents() const { return static_cast<int>(Names.size()) - 1; }
    bool Outer(int j) const { return j <= LeftSegCount || j > SegCount - RightSegCount; }
    // Width of segment j as an integer (0 when it does not parse).
    int WidthOf(int j) const;
    // Type letter of segment j in capitals.
    char TypeOf(int j) const;
};

// A table of `segments` columns (left and right outer counts clamped so that
// they fit), width "0", type "U" and "U" in every cell.
DistTable MakeDistTable(const std::vector<std::string>& names, int segments, int left, int right);

// The grid check: types and cells made consistent, widths counted, the middle
// segments fitted to `currentNodes` (taken from the right when they cover too
// many, the last middle segment widened when too few). `newConstituents` are
// the last rows, which have no current profile. Returns the new node count,
// the sum of the widths of all segments that are not deleted.
int NormalizeDistTable(DistTable& table, int newConstituents, int currentNodes);

// The new profiles of a checked table: `newSize` values per constituent;
// `current` holds the current profiles (rows 0.. for constituents 1..,
// `currentNodes` values each; constituents beyond its rows have none, and a
// "U" gives 0 for them).
std::vector<std::vector<double>> BuildDistProfiles(const DistTable& table, int newSize,
                                                   const std::vector<std::vector<double>>& current,
                                                   int currentNodes);

// The most segments of the tool's table.
inline constexpr int kMaxDistSegments = 1000;

// The warning for the first width of the table that is no count of 0 or more
// ("" when none), and for the first cell that is neither "U", "D" nor a
// concentration: Preview refuses a table with such a cell.
std::string DistWidthRefusal(const DistTable& table);
std::string DistCellRefusal(const DistTable& table);

class InitDistTool {
public:
    explicit InitDistTool(RunState& st) : st_(st) {}

    // ---- members bound to the controls ---------------------------------------
    int SegCount = 1, LeftSegCount = 0, RightSegCount = 0;
    double DiffConnection = 3.0;  // mm2, shown only
    int NewSize = -1;
    bool ApplyDiffusion = true;  // "Apply Diffusion"
    bool CopyTime = false;       // "Copy Time"
    bool TableShown = false, PreviewEnabled = false, ApplyEnabled = false;
    DistTable Table;
    // Result of the last Preview: constituent k at row k - 1, NewSize values.
    std::vector<std::vector<double>> NewProfiles;
    std::vector<int> SegWidths;  // [1..segments of the last Create]
    int NewConstCount = 0, KeptConstCount = 0;
    double SavedCapLength = 0;
    bool PreviewChanged = false;
    // The pH and conductivity ticks of the profile list before the first
    // preview, given back when the window closes.
    bool ChecksSaved = false, SavedPHCheck = true, SavedConductivityCheck = true;

    // The main window's refusal of the tool ("" when it may open).
    static std::string OpenRefusal(const ComplexationSettings& cx);

    // Edit commits (true when accepted).
    bool EditSegCount(const std::string& text);
    bool EditLeftSegCount(const std::string& text);
    bool EditRightSegCount(const std::string& text);
    bool EditDiffConnection(const std::string& text);
    // "Actual Size (Nodes)" and the capillary-length label.
    int ActualSize() const;
    std::string CapLengthText() const;

    // Create: the segment grid for the edited composition. False when nothing
    // was built (empty composition, too many new constituents, a run active).
    bool Create();
    // Grid check of the shown table (the new size follows).
    void Normalize();
    // The grid was left after editing: checked again, Apply disabled.
    void TableEdited();
    // <Insert> in the grid: the clicked chart value into a constituent cell.
    bool InsertValue(int segment, int constituent, double value);
    // Preview: the new profiles into the chart data, the capillary length of
    // the new grid. False when refused.
    bool Preview();
    // Apply: re-initialises the run on the new grid with the new profiles,
    // through the Init command and its guard. False when refused (nothing
    // changed; also when the preview no longer stands) or when the Init failed.
    bool Apply();
    // Discard: table hidden, Preview and Apply disabled.
    void Discard();
    // Closing by any route: capillary length restored after a preview that
    // still stands (else the run rebuilt since keeps its own, and the user is
    // told), the chart data rebuilt from the run.
    void Close();
    // The last preview still stands: shown, and the run not rebuilt or
    // replaced since. Apply and Close act on the previewed grid only then.
    bool PreviewStands() const;

private:
    RunState& st_;
    long long previewRun_ = -1;  // the run's replacement count at the last preview
    int CurrentNodes() const;
    std::vector<std::vector<double>> CurrentProfiles() const;
};
