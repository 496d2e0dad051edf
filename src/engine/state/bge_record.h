// The background-electrolyte record: the equilibrium of the constituents of the
// last Init, analytes left out, computed as one solution (src/tools/bge_calc).
//
// Index conventions: constituents 1..CompCount (slot 0 exists, stays empty);
// per-form arrays run over j = 0..ZMax-ZMin (charge z = ZMin + j), the neutral
// entry (j = -ZMin) carries no mobility or pK. Slot CompCount+1 of FormConc and
// FormMob holds cH and uH, slot CompCount+2 holds cOH and uOH (one value each);
// slot CompCount+1 of FormPK holds the ionic product of water as a pK on the
// mol/L scale (6 - log10 Kw, Kw in mM2).
//
// Units: concentrations and ionic strength in mM, mobilities in 1e-9 m2/(V.s),
// pK = 3 - log10 K (K in mM), conductivity in S/m.
#pragma once

#include <vector>

struct TEIData {
    using Forms = std::vector<double>;

    int CompCount = 0;             // constituents (count of the Init copy)
    int AnalyteCount = 0;          // analytes among them
    std::vector<int> ZMin, ZMax;   // [1..N] lowest (<= 0) and highest (>= 0) charge
    std::vector<char> IsAnalyte;   // [1..N] the constituent is of type A
    bool ISCorr = false;           // ionic-strength correction on
    std::vector<double> Conc;      // [1..N] analytical concentrations, mM
    std::vector<Forms> PKa, ULim;  // [1..N][j] pK and limiting mobility of each form
    std::vector<Forms> FormConc;   // [1..N+2][j] equilibrium concentration of each form
    std::vector<Forms> FormMob;    // [1..N+2][j] mobility after the correction
    std::vector<Forms> FormPK;     // [1..N+1][j] pK after the correction
    double PH = 0;                 // pH (an activity when the correction is on)
    double IStrength = 0;          // ionic strength, mM
    double Conductivity = 0;       // S/m

    // Frees every array and zeroes every value.
    void Clear() { *this = TEIData(); }
    // True when nothing was computed (the state after construction and Clear).
    bool Empty() const { return CompCount == 0; }
};
