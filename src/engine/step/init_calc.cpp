#include "engine/step/init_calc.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/init_distribution.h"
#include "engine/step/recalc.h"
#include "engine/step/run_series.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

namespace {

// Caption of the run-setup window's node-count label, quoted in the refusal.
constexpr const char* kNodesCaption = "Grid Points (Nodes)";
constexpr int kMinNodes = 10;
void WarnNodeCount()
{
    ShowWarning(std::string("Increase Nodes in RunSetup >> \"") + kNodesCaption +
                "\" to Proceed!\nMinimum Value is " + std::to_string(kMinNodes) + ".");
}

// Bytes of the engine arrays and the chart series of a run of the composition
// on nx + 1 nodes: an upper estimate from the number of ionic forms.
double RunBytes(const RunLists& lists, int nx)
{
    double forms = 4.0;
    for (const auto* node = lists.Composition.Head(); node; node = node->next)
        forms += static_cast<double>(std::max(node->data.maxCharge, 0)) -
                 std::min(node->data.minCharge, 0) + 1.0;
    const double rows = lists.Composition.Count() + 3.0;
    return 8.0 * (nx + 1.0) * (14.0 * forms + 26.0 * rows + 40.0);
}

// The values of the composition and the run panel that the engine runs: each
// within the range of the field that sets it (what the readers and the windows
// take). The first one outside is named in the warning.
bool ValuesRunnable(const RunState& st)
{
    auto refuse = [](const std::string& field, double v, const FieldRange& r) {
        ShowWarning(FieldRefusedText(field, FloatToStr(v), r));
        return false;
    };
    const FieldRange charges{-kMaxChargeMagnitude, kMaxChargeMagnitude, true, true};
    const FieldRange profile{-kConcentrationRange.high, kConcentrationRange.high};
    for (const auto* node = st.Composition.Head(); node; node = node->next) {
        const TComponents& c = node->data;
        const std::string of = " of " + c.name;
        if (!InRange(charges, c.minCharge)) return refuse("Neg" + of, c.minCharge, charges);
        if (!InRange(charges, c.maxCharge)) return refuse("Pos" + of, c.maxCharge, charges);
        if (!c.gradient) {
            if (!InRange(kConcentrationRange, c.c))
                return refuse("Concentration [mM]" + of, c.c, kConcentrationRange);
            if (!InRange(kConcentrationRange, c.cInj))
                return refuse("C(Injection) [mM]" + of, c.cInj, kConcentrationRange);
        }
        // The forms' constants, named as the editor's grid names them.
        for (int z = c.minCharge; z <= c.maxCharge; ++z) {
            const std::string charge = " of charge " + std::to_string(z) + of;
            for (int r = 1; z != 0 && r <= c.PKaRows(); ++r)
                if (!InRange(kPKRange, c.PKaOf(r, z)))
                    return refuse("pKa" + charge, c.PKaOf(r, z), kPKRange);
            for (int r = 1; z != 0 && r <= c.URows(); ++r)
                if (!InRange(kMobilityRange, c.UOf(r, z)))
                    return refuse("u (10e-9)" + charge, c.UOf(r, z), kMobilityRange);
        }
        for (std::size_t k = 1; c.gradient && k < c.c_grad.size(); ++k)
            if (!InRange(kConcentrationRange, c.c_grad[k]))
                return refuse("c (mM) of segment " + std::to_string(k) + of, c.c_grad[k],
                              kConcentrationRange);
        // A table holds a profile of a run (its own small undershoots included).
        for (std::size_t k = 1; k < c.table.size(); ++k)
            if (!InRange(profile, c.table[k]))
                return refuse("Table (mM) at node " + std::to_string(k - 1) + of, c.table[k],
                              profile);
    }
    // The inverted time runs with the step's magnitude.
    if (!InRange({0, kTimeStepRange.high, false}, std::fabs(st.DT)))
        return refuse("dt (s)", st.DT, kTimeStepRange);
    const FieldRange& power = st.rbVoltage ? kVoltageRange : kCurrentRange;
    if (!InRange(power, st.UI))
        return refuse(st.rbVoltage ? "Voltage (V)" : "Current (uA)", st.UI, power);
    return true;
}

}  // namespace

// A quarter of the physical memory, and half of an address-space limit when
// one is set.
double RunMemoryShare()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
    double share =
        pages > 0 && pageSize > 0 ? 0.25 * static_cast<double>(pages) * pageSize : 2147483648.0;
    struct rlimit limit;
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        share = std::min(share, 0.5 * static_cast<double>(limit.rlim_cur));
    return share;
}

namespace {

// Walls of a new grid: the whole grid with cbInitWalls, else clamped into
// 0..NX; a window of fewer than 3 nodes becomes the whole grid.
void InitWalls(RunState& st)
{
    if (st.cbInitWalls) {
        st.LeftWall = 0;
        st.RightWall = st.NX;
        st.cbKeepDistance = false;
        st.cbLWMove = !st.cbMix;
        st.cbRWMove = !st.cbMix;
        return;
    }
    ClampComputationWindow(st);
}

// The steps of INIT after the previous arrays were released. Returns false on
// a refusal (arrays released); raises on failures of the called routines.
bool BuildRun(RunState& st, const bool flags[12])
{
    EngineArrays& a = st.Arr;
    if (!st.Loading) {
        st.NX = st.NXPending;
        st.PeakWidth = st.PeakWidthPending;
        st.PeakEdgeWidth = st.PeakEdgeWidthPending;
        st.InjSite = st.InjSitePending;
        st.CapLength = st.CapLengthPending;
        InitWalls(st);
        st.Time = 0.0;
        st.SpentTime = 0.0;
        st.LinReference = 0.0;
    } else if (st.NX < 1) {
        WarnNodeCount();
        return false;
    }

    st.SetupChanged = false;
    for (bool& changed : st.SetupItemChanged) changed = false;
    st.DX = st.CapLength / st.NX;
    // The zero point follows the choice of the options on the run's grid
    // ("another position" keeps its node).
    ApplyZeroPoint(st, false);
    st.Initialised = true;
    st.GlobalRatio = 0.0;
    st.MaxError = 0.0;
    st.StepCount = 0;
    st.NewtonItTotal = 0;
    st.NewtonItStep = 0;

    st.CompInit.Empty();
    for (const auto* node = st.Composition.Head(); node; node = node->next)
        st.CompInit.Add(node->data);
    st.CompChanged = false;
    st.TxtTableInit = st.TxtTable;
    if (st.CompInit.Count() == 0) {
        st.NComp = 0;
        st.Series.clbGraph.assign(1, CheckListItem{"No constituents", true, true});
        st.Initialised = false;
        ShowWarning("No constituents!");
        return false;
    }
    st.NComp = st.CompInit.Count();

    CreateCompSeries(st);
    AllocEngineArrays(st, std::max(1, st.SegCount));
    if (!InitDistribution(st)) return false;
    SetSkipComp(st);
    // What the modes keep beside the distribution, whatever the switches (the
    // capillary-effects profiles).
    ModesDistributed(st);
    if (!InitModes(st, ModeInitStage::Profiles)) return false;
    SetDefaultCrossSections(st);
    FillSectionSeries(st);
    // Left-border values: the initial concentration at node 0.
    for (int i = 1; i <= st.NComp; ++i) a.CLeft[static_cast<std::size_t>(i)] = a.C(2, i)[0];
    SetNodeConstants(st);
    PrepareProfileLists(st, flags);

    if (!st.Loading && !st.LoadingPsq) {
        st.PsqFile = st.PsqFileOwn;
        st.recorder().ResetPsqFile(st.PsqFileOwn);
        st.PsqSize = st.recorder().FileSizeByName(st.PsqFileOwn);
    }
    AddPlaceholderPoints(st);
    if (!InitModes(st, ModeInitStage::Arrays)) return false;
    ModesBuilt(st);

    const int n = st.NX;
    if (st.Loading) {
        for (int j = 0; j <= n; ++j) a.Kappa[j] = 0.0;
        ModeProfilesComputed(st);
        st.Series.sr_conductivity.Clear();
        st.Series.sr_pH.Clear();
        for (int j = 0; j <= n; ++j) st.Series.sr_conductivity.Add(NodeX(st, j), 0.0);
        for (int j = 0; j <= n; ++j) st.Series.sr_pH.Add(NodeX(st, j), 0.0);
        st.TempOption = true;
        st.InitDone = true;
        return true;
    }

    if (!st.cbIgnDT && st.edDTInit_Visible) st.DT = st.DTInit;
    st.NumericalFailure = false;
    RecalcProfiles(st, -1);
    // A state whose equilibrium failed is no run: the warning has been shown.
    if (st.NumericalFailure) return false;
    const int h = st.NComp + 1, oh = st.NComp + 2;
    a.CLeft[static_cast<std::size_t>(h)] = a.CH(2)[0];
    for (int i = 1; i <= st.NComp; ++i)
        for (int j = 0; j <= n; ++j) a.URF[i][j] = a.C(2, i)[j];
    for (int j = 0; j <= n; ++j) {
        a.URF[h][j] = a.CH(2)[j];
        a.URF[oh][j] = a.COH(2)[j];
    }
    for (int i = 1; i <= st.NComp; ++i)
        for (int k = 0; k <= a.ZMax[i] - a.ZMin[i]; ++k) {
            if (k == -a.ZMin[i]) continue;
            for (int j = 0; j <= n; ++j) a.URFMob(i, k)[j] = a.UForm(i, k)[j];
        }
    for (int j = 0; j <= n; ++j) {
        a.URFMob(h, 1)[j] = a.UForm(h, 1)[j];
        a.URFMob(oh, 0)[j] = a.UForm(oh, 0)[j];
    }

    if (st.cbAutoDiff) {
        StartDiffusionMode(st, st.DiffTimeSet);
    } else {
        st.DiffMode = false;
        st.Events.Emit(EngineEvent::Flag(EngineEventKind::DiffusionModeChanged, false));
    }
    st.PsqStarted = false;
    st.NewtonItTotal = 0;
    st.TempOption = true;
    // The node temperatures and the mobilities that follow them, now that the
    // temperature update is allowed (the simplified heating starts its clock).
    UpdateModeTemperatures(st);
    st.InitDone = true;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    RedrawGraph(st);
    st.Events.Emit(EngineEventKind::ShowAdditionalInfo);
    // The run-setup and options windows show the run just built (walls and
    // their switches, the applied grid, the zero point).
    st.Events.Emit(EngineEventKind::ShowRunSetupSettings);
    st.Events.Emit(EngineEventKind::ShowOptionSettings);
    return true;
}

}  // namespace

bool InitCalc(RunState& st)
{
    // Refusals that leave the previous state as it was.
    if (st.Running) {
        ShowWarning("START is active");
        return false;
    }
    if (st.Composition.Count() == 0) {
        ShowWarning("No constituents!");
        return false;
    }
    if (!ValuesRunnable(st)) return false;
    if (!InitModes(st, ModeInitStage::Check)) return false;
    if (st.cbDcH && st.cbIS) {
        st.cbIS = false;
        ShowWarning(
            "Ionic Strength Correction is not applicable with dcH/dt MODE. IS correction dissabled");
    }
    if (!st.Loading && st.NXPending < kMinNodes) {
        WarnNodeCount();
        return false;
    }
    // Before anything is freed or allocated: a run that cannot fit is refused
    // (the engine arrays, the chart series and what the modes switched on build).
    const int nodes = st.Loading ? st.NX : st.NXPending;
    if (RunBytes(st.lists(), nodes) + ModesInitBytes(st, nodes) > RunMemoryShare()) {
        ShowWarning(kInitRunTooLarge);
        return false;
    }
    st.TempOption = false;
    st.ISCorrection = st.cbIS;
    st.RedDiff = st.cbRedDiff && st.DiffMultiplier != 1.0;
    TakeModeSwitches(st);
    if (!InitModes(st, ModeInitStage::Switches)) return false;
    // The grid of the run being initialised: NX takes NXPending only later.
    st.Engine.Threads = ThreadPlan::FromSetting((st.Loading ? st.NX : st.NXPending) + 1);

    bool flags[12];
    SaveProfileChecks(st, ProfileListComps(st), flags);

    st.DistPreview = false;
    st.host().SetStatusText("Initializing ...");
    st.host().ProcessMessages();
    st.WarnedThisRun.clear();
    FreeEngineArrays(st);
    ClearRunSeries(st.Series);

    // From here on the previous run is gone; a failure leaves no half-built run.
    try {
        if (BuildRun(st, flags)) return true;
        if (st.Arr.Allocated()) FreeEngineArrays(st);
        ClearRunSeries(st.Series);
        st.Initialised = false;
        return false;
    } catch (...) {
        FreeEngineArrays(st);
        ClearRunSeries(st.Series);
        throw;
    }
}
