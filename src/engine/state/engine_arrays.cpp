#include "engine/state/engine_arrays.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>

#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"

void NewtonScratch::Resize(int formRows, int nComp, int maxAbsZ)
{
    const std::size_t rows = static_cast<std::size_t>(formRows),
                      comps = static_cast<std::size_t>(nComp) + 1;
    L.assign(rows, 0.0);
    P.assign(rows, 0.0);
    Pow.assign(2 * static_cast<std::size_t>(maxAbsZ) + 4, 0.0);
    C.assign(comps, 0.0);
    S0.assign(comps, 0.0);
    S0Exp.assign(comps, 0);
    Active.assign(comps, 0);
    Begin.assign(comps + 1, 0);
    ZMin.assign(comps, 0);
    // Every constituent has at most 2 MaxAbsZ + 1 forms.
    LanePow.assign(kMaxNodeLanes * (2 * static_cast<std::size_t>(maxAbsZ) + 1), 0.0);
    LaneP.assign(kMaxNodeLanes * (2 * static_cast<std::size_t>(maxAbsZ) + 1), 0.0);
    LaneL.assign(comps, nullptr);
    LaneC.assign(kMaxNodeLanes * comps, 0.0);
    LaneS0.assign(kMaxNodeLanes * comps, 0.0);
    LaneZ2.assign(rows, 0);
    LaneS0Final.assign(kMaxNodeLanes * comps, 0.0);
    LaneZMin.assign(comps, 0);
    LaneForms.assign(comps, 0);
    LaneJ.assign(comps, 0);
    WideRows.assign(2 * comps, 0);
}

void NewtonScratch::Release()
{
    for (std::vector<double>* v :
         {&L, &P, &Pow, &C, &S0, &LanePow, &LaneP, &LaneC, &LaneS0, &LaneS0Final}) {
        v->clear();
        v->shrink_to_fit();
    }
    for (std::vector<int>* v :
         {&Active, &Begin, &ZMin, &S0Exp, &LaneZMin, &LaneForms, &LaneZ2, &LaneJ, &WideRows}) {
        v->clear();
        v->shrink_to_fit();
    }
    LaneL.clear();
    LaneL.shrink_to_fit();
}

void EngineArrays::RotateLevels(int* map, int n)
{
    const int oldest = map[n];
    for (int l = n; l > 1; --l) map[l] = map[l - 1];
    map[1] = oldest;
}

void EngineArrays::SwapLevels(int* map, int a, int b)
{
    std::swap(map[a], map[b]);
}

void EngineArrays::Allocate(int nComp, int nx, const std::vector<int>& zmin,
                            const std::vector<int>& zmax, int mixSegCount)
{
    Release();
    ConstantsRewritten();
    NComp = nComp < 0 ? 0 : nComp;
    Nn = (nx < 0 ? 0 : nx) + 1;
    ZMin.assign(static_cast<std::size_t>(NComp) + 3, 0);
    ZMax.assign(static_cast<std::size_t>(NComp) + 3, 0);
    MaxAbsZ = 1;
    TableAbsZ = 1;
    NForms = 2;
    for (int i = 1; i <= NComp; ++i) {
        const int lo = static_cast<std::size_t>(i) < zmin.size() ? std::min(zmin[i], 0) : 0;
        const int hi = static_cast<std::size_t>(i) < zmax.size() ? std::max(zmax[i], 0) : 0;
        ZMin[i] = lo;
        ZMax[i] = hi;
        MaxAbsZ = std::max({MaxAbsZ, -lo, hi});
        if (hi - lo + 1 < kWideForms) TableAbsZ = std::max({TableAbsZ, -lo, hi});
        NForms += hi - lo;
    }
    ZMin[NComp + 1] = 0;
    ZMax[NComp + 1] = 1;  // H+
    ZMin[NComp + 2] = -1;
    ZMax[NComp + 2] = 0;  // OH-
    FormOffset.assign(static_cast<std::size_t>(NComp) + 3, 0);
    FormRows = 0;
    for (int i = 1; i <= NComp + 2; ++i) {
        FormOffset[i] = FormRows;
        FormRows += ZMax[i] - ZMin[i] + 1;
    }
    MixSegCount = mixSegCount < 1 ? 1 : mixSegCount;

    const std::size_t nn = static_cast<std::size_t>(Nn);
    c_.assign(5 * cRows() * nn, 0.0);
    cForm_.assign(5 * static_cast<std::size_t>(FormRows) * nn, 0.0);
    f_.assign(4 * cRows() * nn, 0.0);
    is_.assign(5 * nn, 0.0);
    t_.assign(5 * nn, 0.0);
    dtdt_.assign(4 * nn, 0.0);
    for (int l = 0; l <= 5; ++l) lvC[l] = lvIS[l] = lvT[l] = l;
    for (int l = 0; l <= 4; ++l) lvF[l] = lvDT[l] = l;

    for (NodeTable* t :
         {&uForm_, &uFormLim_, &pKaForm_, &kForm_, &kFormLim_, &lForm_, &dForm_, &urfMob_})
        t->Resize(FormRows, Nn);

    DBase.assign(static_cast<std::size_t>(NComp) + 1, 0.0);
    Denom.assign(static_cast<std::size_t>(NComp) + 1, 0.0);
    CLeft.assign(static_cast<std::size_t>(NComp) + 2, 0.0);
    SkipComp.assign(static_cast<std::size_t>(NComp) + 2, 0);
    ZScratch[0].clear();
    ZScratch[1].assign(static_cast<std::size_t>(MaxAbsZ) + 1, 0.0);
    ZScratch[2].assign(static_cast<std::size_t>(MaxAbsZ) + 1, 0.0);

    Pred.Resize(NComp + 3, Nn);
    Corr.Resize(NComp + 3, Nn);
    UEff.Resize(NComp + 1, Nn);
    ZMean.Resize(NComp + 1, Nn);
    CMixPrev.Resize(NComp + 1, Nn);
    CMix.Resize(NComp + 1, Nn);
    MixWindow.Resize(MixSegCount + 1, Nn);
    DrawnProfile.Resize(NComp + 1, Nn);
    URF.Resize(NComp + 3, Nn);
    URFWorkA.Resize(NComp + 1, Nn + 1);
    URFWorkB.Resize(NComp + 1, Nn + 1);
    URFR.Resize(7, Nn + 1);

    for (std::vector<double>* v :
         {&Kappa, &PH, &E, &T0, &Mix, &HeatP, &S, &SVol, &PKEOF, &UEOFMax, &PHMemo})
        v->assign(nn, 0.0);
    PHMemoCH.assign(nn, std::numeric_limits<double>::quiet_NaN());  // equal to no cH

    Newton.Resize(FormRows, NComp, MaxAbsZ);
    allocated_ = true;
}

void EngineArrays::AllocateMicellar()
{
    const std::size_t nn = static_cast<std::size_t>(Nn);
    MicConc.assign(nn, 0.0);
    MicFree.assign(nn, 0.0);
    MicBound.Resize(NComp + 1, Nn);
}

void EngineArrays::ConstantsRewritten()
{
    // One sequence for every arrays of the program: a new run's constants never
    // carry the stamp of an earlier run's.
    static std::atomic<std::uint64_t> last{0};
    constantsStamp_ = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void EngineArrays::Release()
{
    for (std::vector<double>* v :
         {&c_,    &cForm_, &f_,      &is_,     &t_,      &dtdt_,      &DBase,    &Denom,
          &CLeft, &Kappa,  &PH,      &E,       &T0,      &Mix,        &HeatP,    &S,
          &SVol,  &PKEOF,  &UEOFMax, &MicConc, &MicFree, &CMCProfile, &PHMemoCH, &PHMemo}) {
        v->clear();
        v->shrink_to_fit();
    }
    for (auto& z : ZScratch) {
        z.clear();
        z.shrink_to_fit();
    }
    SkipComp.clear();
    SkipComp.shrink_to_fit();
    for (NodeTable* t :
         {&uForm_,   &uFormLim_, &pKaForm_,     &kForm_, &kFormLim_, &lForm_,   &dForm_,
          &urfMob_,  &Pred,      &Corr,         &UEff,   &ZMean,     &CMixPrev, &CMix,
          &MicBound, &MixWindow, &DrawnProfile, &URF,    &URFWorkA,  &URFWorkB, &URFR})
        t->Release();
    Newton.Release();
    Wide.Release();
    ZMin.clear();
    ZMax.clear();
    FormOffset.clear();
    FormRows = 0;
    NComp = 0;
    Nn = 0;
    MaxAbsZ = 1;
    TableAbsZ = 1;
    NForms = 0;
    MixSegCount = 1;
    allocated_ = false;
}

void AllocEngineArrays(RunState& st, int mixSegCount)
{
    const int n = st.NComp;
    std::vector<int> zmin(static_cast<std::size_t>(n < 0 ? 0 : n) + 1, 0), zmax = zmin;
    // Through the list in order (an index into it walks the list from its head).
    int i = 1;
    for (const auto* node = st.CompInit.Head(); node && i <= n; node = node->next, ++i) {
        zmin[i] = node->data.minCharge;
        zmax[i] = node->data.maxCharge;
    }
    st.Arr.Allocate(n, st.NX, zmin, zmax, mixSegCount);
    EngineArrays& a = st.Arr;
    for (int j = 0; j < a.Nn; ++j) {
        a.E[j] = 0.0;
        a.T(2)[j] = st.Temperature;
        a.T0[j] = st.Temperature;
        a.Mix[j] = 0.0;
        a.HeatP[j] = 0.0;
    }
}

void FreeEngineArrays(RunState& st)
{
    ++st.Statics.RunsReplaced;
    st.Arr.Release();
    st.ISWork.LastSolution.clear();  // a new run starts its solves afresh
    ClearRunSeries(st.Series);       // the run's series go, the fixed ones lose their points
    st.CompSeriesCount = 0;
    ModesReset(st);
    st.Initialised = false;
    if (!st.Destroying) st.PsqPlayerReloadNeeded = true;
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::EngineArraysFreed, st.Destroying));
}
