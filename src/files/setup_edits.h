// The edits of the run-setup and options windows as one table: for every edit
// its control name, caption, hint, how the text is parsed, which values are
// taken, the conversion between the typed and the stored unit, where the value
// is stored, how it is shown and what follows a store. The windows build their
// controls from this table; the rules of the two windows that need no widget
// (restore, zero point, x-axis unit, colours, separator, click side effects)
// live here too (the zero point is the engine's ApplyZeroPoint, which Init
// also runs).
#pragma once

#include "engine/step/init_distribution.h"  // ApplyZeroPoint

#include <cstdint>
#include <string>
#include <vector>

class RunState;
struct RunSetupSwitches;

enum class EditParse { Number, Integer, Colour };
// Which stored values are taken (tested on the value in the stored unit).
enum class EditLimit {
    Any,                // any number or integer
    NodeStep,           // a step of node indices: 1..kMaxNodes
    Positive,           // greater than 0
    NonNegative,        // 0 or more
    Period,             // an integer of 1 or more
    NodeCount,          // an integer of 20 or more, at most kMaxNodes
    Kelvin,             // a temperature typed in degrees Celsius: at least the step of the
                        // typed value plus 273.15 above 0 K (2^-44 K), at most 1000 degrees
    Diameter,           // greater than 0, with a cross-section pi d^2 / 4 that is a normal
                        // finite number (every current and field divides by it)
    TimeStep,           // the time step's range (foundation/field_rules.h)
    Length,             // a position typed in mm: at most kMaxLengthMm either side of 0
    PositiveLength,     // a length typed in mm: above 0, at most kMaxLengthMm
    NonNegativeLength,  // a length typed in mm: 0 to kMaxLengthMm
};
enum class EditFormat {
    Number,     // "0.0##e+0" below 0.01 (negatives included), otherwise "0.####"
    InitialDT,  // "0.0##e+0" below 0.01, otherwise "0.###"; "Disabled" while "DO NOT Use <Initial
                // dt>"
    General,    // shortest form up to 15 significant digits
    RoundedGeneral,  // rounded to 14 significant digits, then general
    Integer,
    Colour,  // "0x" + eight hexadecimal digits
};
enum class EditFollow { None, SetupChanged, RedrawGraph, SetupGraph, ApplyLineWidth };

// Largest node count an edit or a file may set; wall steps are kept within
// the same range so that node sums cannot overflow.
inline constexpr int kMaxNodes = 10000000;

struct EditEntry {
    const char* name;     // control (and object) name
    const char* caption;  // label text
    const char* hint;     // tool tip, "" when none
    EditParse parse;
    EditLimit limit;
    double toStored;  // stored = typed * toStored + offset
    double toShown;   // shown = (stored - offset) * toShown
    double offset;
    bool pending;  // geometry applied at the next Init: taken only when it differs
    bool shown;    // visible after construction
    EditFormat format;
    EditFollow follow;
    double* (*number)(RunState&);         // stored double (Number)
    int* (*integer)(RunState&);           // stored int (Integer)
    std::uint32_t* (*colour)(RunState&);  // stored colour (Colour)
};

// The run-setup window's edits and the options window's edits, in layout order.
const std::vector<EditEntry>& RunSetupEdits();
const std::vector<EditEntry>& OptionEdits();
// The entry of a control name in either table; nullptr when none.
const EditEntry* FindEdit(const std::string& name);

// True when the edit `name` would store `stored` (a finite value within its
// limit): the readers take a file's value only when the edit that sets it would.
bool EditTakes(const std::string& name, double stored);

enum class EditResult {
    Taken,    // stored (the follow-up is due)
    Same,     // a pending value equal to the one pending: nothing to do
    Refused,  // no number, or outside the limit: the stored value is shown again,
              // after a warning that names the field, the text and the range
    Busy,     // a grid value while a run is active
};
// The exit handler of an edit: parse, test, convert, store. `Taken` of a
// pending value also recomputes the set-up change flags.
EditResult CommitEdit(RunState& st, const EditEntry& e, const std::string& text);
// The text an edit shows for the stored value.
std::string ShowEdit(const RunState& st, const EditEntry& e);

// "(" + n + " Nodes)" beside the peak width, edge width, injection site and
// detector position, on the pending grid.
std::string NodeLabel(const RunState& st, const std::string& editName);

// SetupChanged and the five SetupItemChanged flags from the pending/applied pairs.
void CheckRunSetupChanged(RunState& st);
// "Restore": the pending geometry takes the applied values again.
void RestoreRunSetup(RunState& st);
// "LW - Keep Distance from RW" became checked (by a click or a file): the left
// wall may no longer move on its own.
void KeepDistanceChecked(RunSetupSwitches& sw);
// Captions of the main window's set value and its partner: "Voltage (V)" and
// "Current (uA)" in the order of the power mode.
std::string PowerModeCaption(const RunSetupSwitches& sw, bool other);

// The x-axis unit group: XScale 1 (m) or 1000 (mm); after an Init, and while
// the sequence player shows frames on the engine it built, every profile's
// abscissae are rewritten in the new unit.
void SetXAxisUnit(RunState& st, int code);
void RescaleXAxis(RunState& st);

// Colour text "0x" + eight hexadecimal digits; a typed colour is decimal, or
// hexadecimal after "0x", "x" or "$"; -1 for text that does not convert.
std::string ColourText(std::uint32_t colour);
std::int64_t ReadColour(const std::string& text);

// The separator combo: the item of a separator (0 space, 1 comma, 2 tab, -1
// another character) and its text; a typed text decides by its first character
// (s, c, t in either case, else the character itself); false for empty text.
int CsvSepItem(char sep);
std::string CsvSepText(char sep);
bool CsvSepFromText(const std::string& text, char& sep);
char CsvSepFromItem(int item);
