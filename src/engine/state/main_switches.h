// Switches of the main window (read at every use; field = control).
#pragma once

struct MainSwitches {
    bool cbIS = false;
    bool cbOptDt = true;
    bool cbDetectorOn = true;
    bool cbEnableEOF = false;
    bool cbEOFDif = false;
    bool cbRedDiff = false;
    bool cbRacemic = false;  // "Enable Racemic" (the state reset keeps it)
    bool rbSet =
        true;  // composition files replace (rbSet) or add to (rbAdd) the list; kept by the reset
};
