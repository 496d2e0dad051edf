// Switches and refresh periods of the options window.
#pragma once

struct OptionSwitches {
    bool cbShowSpentTime = false, cbIgnDER = false, cbIgnDT = true, cbGraphAdd = false;
    bool cbPSQQuestion = false;  // "Ask Before Transfer PSQ" (project open)
    int WallRef = 30;
    int EditsRef = 30;
    int GraphRef = 60;
};
