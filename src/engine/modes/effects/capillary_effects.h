// Switches of the capillary-effects window and the copy of its table.
#pragma once

#include <string>
#include <vector>

struct CapillaryEffects {
    bool cbS = false, cbH = false, cbMix = false, cbT = false, cbSvol = false, cbEOF = false;
    bool cbAccT = false, cbTEOF = false, cbDiffusion = false, cbMixE = false, cbAllStac = false;
    bool rbD = false;             // rbS == !rbD
    bool rbH = false;             // rbP == !rbH
    bool rbPK_pos = false;        // rbPK_neg == !rbPK_pos
    bool sbData_Visible = false;  // the effects table exists
    // Table copy kept for the project file: SegCount segments; TableEdge[3..11]
    // edge widths (mm) of grid rows 2..10; TableRows[2..11][1..SegCount] grid
    // rows 1..10 in display units (a cell that is no number is -1). Both empty
    // when no copy exists.
    int SegCount = 0;
    std::vector<double> TableEdge;
    std::vector<std::vector<double>> TableRows;
    // The window's grid of texts, Grid[row 0..10][column 0..SegCount+1] (see
    // effects_table.h); empty until a table is created.
    std::vector<std::vector<std::string>> Grid;
    // Model time of the previous simplified heating update.
    double SimplifiedHeatTime = 0;
};
