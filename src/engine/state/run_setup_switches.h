// Switches of the run-setup window (read at every use; field = control).
#pragma once

#include <string>

struct RunSetupSwitches {
    bool rbVoltage = true;  // rbCurrent == !rbVoltage
    bool rbPSQNo = false, rbPSQSteps = false, rbPSQMS = true;
    bool cbDcH = false, cbLBorder = false, cbPCIS = true, cbLastCor = false, cbDCDTCor = false;
    // cbSpec: "Special Mode", which switches on the split-advection mode.
    bool cbMX = false, cbSpec = false, cbChrom = false, cbLiBz = false, cbKinetic = false;
    bool setup_cbRacemic = false;  // "Racemic mode"
    bool cbLE = false, cbRE = false, cbFlow = false, cbZeroC = false, cbSK = false;
    bool cbDP = true, cbVEOF = false;
    bool cbISConv = false, cbISPostN = false, cbFastIS = false;
    bool cbGauss = false, cbMXS = false, cbMXQ = false;
    bool cbLWMove = true, cbRWMove = true, cbKeepDistance = false, cbInitWalls = true;
    bool cbAutoDiff = false;
    bool cbProtein = false;  // "Protein/Special" (stored in the run-setup block only)
    std::string edDMult = "120", edPAxis = "1";  // texts of two hidden edits (block only)
    bool edDTInit_Visible = false;
};
