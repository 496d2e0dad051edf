// Switches and values of the micellar window.
#pragma once

struct MicellarSettings {
    bool cbSDS = false;  // the state reset clears it
    bool rbC0 = false;   // rbCT == !rbC0
    int MicCompNo = 1;
    bool cbShowMic = false, cbShowCMC = false;
    bool cbMicComplex = false;  // the window's cbComplex "Profile of Complex (No. 2)"
    bool cbIngoreSNA = false;   // loaders drop the micellar fields of the run-setup block
    double MicMob = 4e-8;       // m2/(V.s)
    double CMC = 2.0, CMCL = 2.0, CMCR = 2.0;  // mM
    int CMCC = 750, CMCW = 100;
    int OM = 64;
};
