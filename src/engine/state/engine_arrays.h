// The per-node arrays of a run.
//
// Index conventions: constituents 1..NComp, H+ = NComp+1 (forms 0..1, cH in
// form 1), OH- = NComp+2 (forms 0..1, cOH in form 0); form k = z - ZMin[i];
// nodes 0..NX (Nn = NX+1 values per row); concentration levels 1..5,
// derivative levels 1..4. Row/level slot 0 exists and is never used.
//
// Storage: every array is one contiguous zero-filled block; a node row is Nn
// consecutive doubles. Per-form arrays use one row per form, constituent i's
// forms starting at row FormOffset[i]. Levelled arrays keep all their levels in
// one block and a level->slot map, so rotating levels permutes small integers
// and never copies a profile. Slots that the engine never uses (the neutral form
// of H+ and OH-, neutral forms of UForm/PKaForm/KForm) are allocated, stay zero
// and must not be given a meaning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/equilibrium/wide_forms.h"

class RunState;

// rows x cols doubles, row-major; row r is a pointer to cols consecutive values.
class NodeTable {
public:
    void Resize(int rows, int cols)
    {
        rows_ = rows < 0 ? 0 : rows;
        cols_ = cols < 0 ? 0 : cols;
        data_.assign(static_cast<std::size_t>(rows_) * cols_, 0.0);
    }
    void Release()
    {
        data_.clear();
        data_.shrink_to_fit();
        rows_ = cols_ = 0;
    }
    bool empty() const { return data_.empty(); }
    int Rows() const { return rows_; }
    int Cols() const { return cols_; }
    double* operator[](int r) { return data_.data() + static_cast<std::size_t>(r) * cols_; }
    const double* operator[](int r) const
    {
        return data_.data() + static_cast<std::size_t>(r) * cols_;
    }
    void Fill(double v)
    {
        for (double& x : data_) x = v;
    }

private:
    std::vector<double> data_;
    int rows_ = 0, cols_ = 0;
};

// Per-node scratch of the equilibrium routines, contiguous and sized once per
// allocation. One instance per thread that solves nodes.
struct NewtonScratch {
    std::vector<double> L;  // [FormRows]: LForm of the forms of the active constituents, in order
    std::vector<int>
        Begin;  // [NComp+2]: start of active constituent q's entries in L (q = count: the end)
    std::vector<int> ZMin;    // [NComp+1]: charge of active constituent q's first entry
    std::vector<double> P;    // [FormRows]: L * x^z of one constituent, scaled
    std::vector<double> Pow;  // [2*MaxAbsZ+4]: x^z, z = -(MaxAbsZ+1)..MaxAbsZ+1
    std::vector<double> C;    // [NComp+1]: concentration of active constituent q
    std::vector<double> S0;   // [NComp+1]: denominators of the node, scaled by 2^-S0Exp
    std::vector<int> S0Exp;   // [NComp+1]: binary exponent of the scale of S0
    std::vector<int> Active;  // [NComp+1]: constituents taking part in the solve
    std::vector<double>
        LanePow;  // [kMaxNodeLanes*(2*MaxAbsZ+1)]: x^z of nodes side by side, z = -MaxAbsZ..MaxAbsZ
    std::vector<double>
        LaneP;  // [kMaxNodeLanes*max forms]: the terms of one constituent, nodes side by side
    std::vector<const double*> LaneL;  // [NComp]: LForm rows (form 0, at the first node) of the
                                       // constituents of a solve side by side
    std::vector<double> LaneC;  // [kMaxNodeLanes*NComp]: their concentrations, nodes side by side
    std::vector<int> LaneZMin, LaneForms;  // [NComp]: their lowest charge and number of forms
    std::vector<int> LaneJ;                // [NComp]: their constituent index
    std::vector<int> WideRows;  // [2*(NComp+1)]: the forms that the nodes of a speciation side by
                                // side take, per constituent of kWideForms forms or more
    int LaneNode = 0;           // first node of the solve side by side
    std::vector<double>
        LaneS0;  // [kMaxNodeLanes*NComp]: their sums S0 in the last pass, nodes side by side
    std::vector<int> LaneZ2;  // [FormRows]: z^2 of the charged forms of the constituents, in order
    std::vector<double>
        LaneS0Final;  // [kMaxNodeLanes*NComp]: their sums S0 in the pass in which each node closed
    void Resize(int formRows, int nComp, int maxAbsZ);
    void Release();
};

class EngineArrays {
public:
    // ---- shape (fixed from allocation to release) ---------------------------
    int NComp = 0;                // constituents of the run
    int Nn = 0;                   // nodes per row (NX + 1)
    std::vector<int> ZMin, ZMax;  // [NComp+3], i 1..NComp+2
    std::vector<int> FormOffset;  // [NComp+3]: row of form 0 of constituent i
    int FormRows = 0;             // rows of a per-form array (all forms of 1..NComp+2)
    int MaxAbsZ = 1;              // max(1, |ZMin|, ZMax) over constituents
    int TableAbsZ = 1;            // the same over constituents of fewer than kWideForms forms
    int NForms = 0;               // 2 + sum(ZMax - ZMin) over constituents
    int MixSegCount = 1;          // segments of the capillary-effects table (>= 1)

    bool Allocated() const { return allocated_; }
    int Forms(int i) const { return ZMax[i] - ZMin[i] + 1; }
    // Charges the power tables of the node solve reach: those of the
    // constituents taken form by form (all of them while Wide is not ready).
    int SolveAbsZ() const { return Wide.ready ? TableAbsZ : MaxAbsZ; }
    int HIndex() const { return NComp + 1; }
    int OHIndex() const { return NComp + 2; }

    // ---- level maps (level -> storage slot 1..5 / 1..4) --------------------
    int lvC[6] = {0, 1, 2, 3, 4, 5};   // C and CForm rotate together
    int lvF[5] = {0, 1, 2, 3, 4};      // F
    int lvIS[6] = {0, 1, 2, 3, 4, 5};  // IonicStrength (rotated at the start of a step)
    int lvT[6] = {0, 1, 2, 3, 4, 5};   // T
    int lvDT[5] = {0, 1, 2, 3, 4};     // DTdt

    // Rotation after an accepted step: level k+1 takes the row set of level k,
    // level 1 takes the row set that was the oldest level (n = 5 or 4).
    static void RotateLevels(int* map, int n);
    static void SwapLevels(int* map, int a, int b);
    void RotateConcentrationLevels() { RotateLevels(lvC, 5); }
    void RotateDerivativeLevels() { RotateLevels(lvF, 4); }

    // ---- time-levelled arrays -----------------------------------------------
    double* C(int l, int i) { return c_.data() + (LevelBase(lvC[l], cRows()) + i) * size_t(Nn); }
    const double* C(int l, int i) const
    {
        return c_.data() + (LevelBase(lvC[l], cRows()) + i) * size_t(Nn);
    }
    double* CForm(int l, int i, int k)
    {
        return cForm_.data() + (LevelBase(lvC[l], FormRows) + FormOffset[i] + k) * size_t(Nn);
    }
    const double* CForm(int l, int i, int k) const
    {
        return cForm_.data() + (LevelBase(lvC[l], FormRows) + FormOffset[i] + k) * size_t(Nn);
    }
    double* CH(int l) { return CForm(l, NComp + 1, 1); }
    double* COH(int l) { return CForm(l, NComp + 2, 0); }
    const double* COH(int l) const { return CForm(l, NComp + 2, 0); }
    double* F(int l, int i) { return f_.data() + (LevelBase(lvF[l], cRows()) + i) * size_t(Nn); }
    const double* F(int l, int i) const
    {
        return f_.data() + (LevelBase(lvF[l], cRows()) + i) * size_t(Nn);
    }
    double* IonicStrength(int l) { return is_.data() + size_t(lvIS[l] - 1) * Nn; }
    double* T(int l) { return t_.data() + size_t(lvT[l] - 1) * Nn; }
    double* DTdt(int l) { return dtdt_.data() + size_t(lvDT[l] - 1) * Nn; }
    const double* T(int l) const { return t_.data() + size_t(lvT[l] - 1) * Nn; }

    // ---- per-form constants (no time level) ----------------------------------
    double* UForm(int i, int k) { return uForm_[FormOffset[i] + k]; }
    double* UFormLim(int i, int k) { return uFormLim_[FormOffset[i] + k]; }
    double* PKaForm(int i, int k) { return pKaForm_[FormOffset[i] + k]; }
    double* KForm(int i, int k) { return kForm_[FormOffset[i] + k]; }
    double* KFormLim(int i, int k) { return kFormLim_[FormOffset[i] + k]; }
    double* LForm(int i, int k) { return lForm_[FormOffset[i] + k]; }
    double* DForm(int i, int k) { return dForm_[FormOffset[i] + k]; }
    double* URFMob(int i, int k) { return urfMob_[FormOffset[i] + k]; }
    const double* UForm(int i, int k) const { return uForm_[FormOffset[i] + k]; }
    const double* LForm(int i, int k) const { return lForm_[FormOffset[i] + k]; }
    const double* DForm(int i, int k) const { return dForm_[FormOffset[i] + k]; }
    // Stamp of the constants a speciation reads (UForm, KForm, LForm and what
    // they are formed from, PKaForm, UFormLim): every routine that rewrites
    // them calls ConstantsRewritten (on the run's thread), which takes a stamp
    // no arrays of this program had before, so what was computed from the
    // constants can tell that they changed.
    std::uint64_t ConstantsStamp() const { return constantsStamp_; }
    void ConstantsRewritten();

    // ---- per-constituent scalars ----------------------------------------------
    std::vector<double> DBase;        // [NComp+1]
    std::vector<double> Denom;        // [NComp+1], Newton scratch
    std::vector<double> CLeft;        // [NComp+2]
    std::vector<int> SkipComp;        // [NComp+2]
    std::vector<double> ZScratch[3];  // [1], [2]: MaxAbsZ+1 values; [0] unused
    WideForms Wide;                   // forms that matter of the constituents of many charges

    // ---- per-constituent node rows ([NComp+3] or [NComp+1] rows x Nn) ------
    NodeTable Pred, Corr;          // rows 1..NComp+2
    NodeTable UEff, ZMean;         // rows 1..NComp
    NodeTable CMixPrev, CMix;      // rows 1..NComp
    NodeTable MicBound;            // rows 1..NComp (micellar mode only)
    NodeTable MixWindow;           // rows 1..MixSegCount
    NodeTable DrawnProfile;        // rows 1..NComp: profile values last drawn (wall logic)
    NodeTable URF;                 // rows 1..NComp+2, level-2 concentrations at Init
    NodeTable URFWorkA, URFWorkB;  // rows 1..NComp, Nn+1 columns
    NodeTable URFR;                // rows 1..6, Nn+1 columns

    // ---- per-node profiles (Nn values) --------------------------------------
    std::vector<double> Kappa, PH, E;
    std::vector<double> T0, Mix, HeatP, S, SVol, PKEOF, UEOFMax;
    std::vector<double> MicConc, MicFree;  // micellar mode only
    std::vector<double> CMCProfile;        // micellar window's CMC profile

    // ---- equilibrium scratch of the window thread (sized at allocation) ----
    NewtonScratch Newton;
    // The last cH whose pH the speciation computed at each node, and that pH
    // (3 - log10 cH, about a tenth of the speciation's cost): a node whose cH
    // is unchanged takes the same bits again. NaN = none yet (equal to nothing).
    std::vector<double> PHMemoCH, PHMemo;

    // Allocates everything for the given charges (zmin/zmax indexed 1..nComp)
    // and node count, zero-filled; releases any previous allocation first.
    void Allocate(int nComp, int nx, const std::vector<int>& zmin, const std::vector<int>& zmax,
                  int mixSegCount);
    void AllocateMicellar();
    // Releases every array; harmless when nothing is allocated.
    void Release();

private:
    std::size_t cRows() const { return static_cast<std::size_t>(NComp) + 3; }
    static std::size_t LevelBase(int slot, std::size_t rowsPerLevel)
    {
        return static_cast<std::size_t>(slot - 1) * rowsPerLevel;
    }

    bool allocated_ = false;
    std::uint64_t constantsStamp_ = 0;
    std::vector<double> c_, cForm_, f_, is_, t_, dtdt_;
    NodeTable uForm_, uFormLim_, pKaForm_, kForm_, kFormLim_, lForm_, dForm_, urfMob_;
};

// Allocates the arrays of a run for st.NComp constituents of st.CompInit and
// st.NX + 1 nodes (charges from the records' minCharge/maxCharge), sets E = 0,
// T[2] = T0 = Temperature, Mix = HeatP = 0. Releases previous arrays first.
void AllocEngineArrays(RunState& st, int mixSegCount = 1);
// Releases every array, removes the run's chart series and empties the fixed
// ones, makes the modes forget what they built (ModesReset), clears
// Initialised, and emits EngineArraysFreed. Calling it twice is harmless.
void FreeEngineArrays(RunState& st);
