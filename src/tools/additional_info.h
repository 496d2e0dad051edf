// The additional-information window's data: its switches, the solver counter
// texts it shows and the "Universal Regulation Function Report". The window
// only mirrors these; the chart refresh and the export read them too.
#pragma once

#include <string>
#include <vector>

class RunState;

// Switches and own values of the additional-information window. The Newton
// profile switch (cbNewCnt) and "Use initial concentrations and mobilities"
// (cbCInit) live in the run state, which the engine reads.
struct AdditionalState {
    bool cbShowRF = false;  // "Show Reg. Fn."
    bool cbRegFn[9] = {};   // [1..8]: show sr_reg1..sr_reg8
    // [1..5]: terms r1..r4 of the universal function and "One Point
    // Regulation"; [6] is the invisible box.
    bool cbR6[7] = {false, true, true, true, true, true, false};
    std::string edInitX = "0";  // node of the INIT position
    int URFCount = 0;           // node taken by the last ComputeUniversalRF
    std::string ChargeInfo;     // charge choice of the last refresh ("z" button)
};

// Captions of the eight regulating-function boxes, [1..8].
extern const char* const kRegFnCaptions[9];
// Hints of cbR6_1..cbR6_5, [1..5].
extern const char* const kR6Hints[6];

// True when any of the eight regulating-function boxes is checked.
bool AnyRegFnShown(const AdditionalState& a);

// Texts of the solver counters and the two captions that depend on the run.
struct InfoTexts {
    std::string mainC;          // llMainCValue
    std::string dx;             // llDXValue (mm)
    std::string newtC;          // llNewtCValue
    std::string globMN;         // llGlobMNValue
    std::string globMNCaption;  // llGlobMN
    std::string errDT;          // llErrDTValue
    std::string errDTCaption;   // llErrDT
    std::string errMax;         // llErrMaxValue
};
InfoTexts ShowInfoTexts(const RunState& st);

// The report lines for node a.URFCount (clamped to the grid). Without the
// arrays of an initialised run only the two title lines are given.
std::vector<std::string> UrfReportLines(const RunState& st, const AdditionalState& a);
