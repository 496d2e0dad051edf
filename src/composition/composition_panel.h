// The composition panel of the main window as texts: 13 columns of header
// captions and hints and one row of cell texts per constituent, the column
// width rule, the reordering of the list and the Focus range.
#pragma once

#include "engine/state/components.h"
#include "foundation/univset.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>

class RunState;

inline constexpr int kPanelColumns = 13;
inline constexpr int kPanelMaxRows = 2048;

struct PanelColumn {
    const char* header;
    const char* hint;
};
// Columns 1..13 at indices 0..12.
extern const std::array<PanelColumn, kPanelColumns> kPanelHeaders;

using PanelRow = std::array<std::string, kPanelColumns>;

// The pKa (or u) cell text: each value followed by "; ", "| " at the neutral
// position of an ampholyte, the trailing "; " removed; per-segment rows each as
// "{" + list + "}  "; " - " for a neutral constituent.
std::string PanelChargeList(const TComponents& c, bool pKaRows);

// Cell texts of the constituent with key `key`. In complexation mode row 1
// shows "L" and later rows key - 1; `ligand` (nL, pL) replaces the charge
// limits of row 1 when the complexation data are loaded.
PanelRow PanelRowTexts(const TComponents& c, int key, bool complexMode = false,
                       std::optional<std::pair<int, int>> ligand = std::nullopt);

// False, with the warning about the internal constant, when `count` rows
// exceed the panel's limit of 2048.
bool PanelAcceptsCount(int count);

// Column widths: the widest of the header and the cells (measured by `width`)
// + 8, then + 8; column 3 (colour) is 16 wide; the spacer column 13 gets 0 here.
std::array<int, kPanelColumns> PanelColumnWidths(
    const std::vector<PanelRow>& rows, const std::function<int(const std::string&)>& width);

// Moves of the popup menu on the row r of the list (keys stay 1..count).
// Each returns whether the list changed.
bool MoveFirst(TUnivSet<TComponents>& list, int r);
bool MoveUp(TUnivSet<TComponents>& list, int r);
bool MoveDown(TUnivSet<TComponents>& list, int r);
bool MoveLast(TUnivSet<TComponents>& list, int r);

// Focus on row r: the chart's vertical range centre - R .. centre + R. The
// centre is `seriesLast` (the last value of the constituent's profile), or the
// background concentration of a CompInit constituent without segments. Warns
// and gives nothing when the composition changed since Init
// ("Constituents changed - press <INIT> or <RESTORE> to do this action!") or
// the radius text is unreadable or not positive ("Incorrect input!").
std::optional<std::pair<double, double>> FocusRange(const RunState& st, int r,
                                                    const std::string& radiusText,
                                                    double seriesLast);
