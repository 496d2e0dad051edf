#include "files/file_hooks.h"

#include "engine/modes/modes.h"
#include "engine/state/engine_arrays.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "foundation/errors.h"

FileHooks& FileLayerHooks()
{
    static FileHooks hooks;
    return hooks;
}

void ResetStateHeadless(RunState& st)
{
    // Whole records back to their defaults; the records not named here (lists,
    // arrays, applied geometry, display options, the other windows' switches)
    // stay.
    st.flags() = RunFlags{};
    ModesReset(st);
    st.params() = RunParams{};
    st.counters() = RunCounters{};
    st.RightWall = st.NX;
    st.geometry().DiscardPending();
    const MainSwitches kept = st.mainSwitches();
    st.mainSwitches() = MainSwitches{};
    st.cbRacemic = kept.cbRacemic;
    st.rbSet = kept.rbSet;
    st.cbSDS = MicellarSettings{}.cbSDS;
    st.FileName = RunLists{}.FileName;
}

void NewStateHeadless(RunState& st)
{
    FreeEngineArrays(st);
    st.CompInit.Empty();
    st.Composition.Empty();
    st.Series.clbDet.clear();
    st.Series.clbGraph.clear();
    ResetStateHeadless(st);
    st.cbDcH = st.cbChrom = st.cbLE = st.cbRE = false;
    st.cbS = st.cbH = st.cbMix = st.cbT = false;
    // The temporary sequence belonged to the run that is gone: the next Init
    // starts it again.
    st.PsqSize = -1;
}

// Whether the windows' routine `hook` is the one to run for `st`.
template <class Hook>
static bool WindowsHook(const RunState& st, const Hook& hook)
{
    return hook && &st == FileLayerHooks().Owner;
}

bool RebuildRefusedFor(RunState& st)
{
    if (WindowsHook(st, FileLayerHooks().RebuildRefused))
        return FileLayerHooks().RebuildRefused(st);
    // Without the windows a running loop still keeps its arrays.
    if (st.Running) ShowMessage("START is active");
    return st.Running;
}

bool RunNewCommand(RunState& st)
{
    if (RebuildRefusedFor(st)) return false;
    if (WindowsHook(st, FileLayerHooks().NewCommand))
        FileLayerHooks().NewCommand(st);
    else
        NewStateHeadless(st);
    return true;
}

bool RunInitCommand(RunState& st)
{
    if (RebuildRefusedFor(st)) return false;
    return InitCalc(st);
}

void RunResetState(RunState& st)
{
    if (WindowsHook(st, FileLayerHooks().ResetState))
        FileLayerHooks().ResetState(st);
    else
        ResetStateHeadless(st);
}
