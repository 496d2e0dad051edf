// Which windows exist or are shown, and switches of the smaller windows.
#pragma once

struct WindowPresence {
    bool FormCreated[5] = {false, false, false, false, false};
    // additional-information window
    bool cbNewCnt = false;
    bool cbCInit = false;
    bool fmDet_Visible = false;
    bool SDS1_Visible = false;
    bool PsqPlayerInUse = false;
    bool PsqPlayerMicelles = false;
    bool PsqPlayerReloadNeeded = false;
};
