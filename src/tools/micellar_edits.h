// The edits of the micellar settings window without the widgets: what each
// edit accepts and stores, and the text it shows. A value an edit refuses
// leaves the settings unchanged (no message); the next refresh shows the
// stored value again.
#pragma once

#include <string>

struct MicellarSettings;

enum class MicellarEdit {
    NDet,  // micellar constituent number (1..constituents of the composition)
    Mic,   // micelle mobility, typed in 1e-9 m2/(V.s)
    CMC,   // critical micelle concentration, mM
    OM,    // aggregation number
    CMCL,  // CMC left of the CMC step, mM
    CMCR,  // CMC right of the CMC step, mM
    CMCC,  // centre of the CMC step, points
    CMCW,  // width of the CMC step, points
};

// Whether the edit keeps `value` (whole-number edits get it as a double that
// holds an int); a kept value is stored. `compositionCount` bounds the
// constituent number.
bool AcceptMicellarValue(MicellarSettings& m, MicellarEdit edit, double value,
                         int compositionCount);

// The text of an edit for the stored settings: whole numbers as integers, the
// mobility and the CMC step ends with "0.####" from 0.01 up and "0.0##e+0"
// below, the CMC in the general 15-digit form.
std::string MicellarEditText(const MicellarSettings& m, MicellarEdit edit);
