#include "files/file_hooks.h"

#include "engine/engine_arrays.h"
#include "engine/run_state.h"

FileHooks& FileLayerHooks()
{
    static FileHooks hooks;
    return hooks;
}

void ResetStateHeadless(RunState& st)
{
    st.InitDone = false;
    st.UniformSection = true;
    st.StepCount = st.NewtonItTotal = st.NewtonItStep = 0;
    st.SetupChanged = false;
    for (bool& f : st.SetupItemChanged) f = false;
    st.EOFMob = 0;
    st.Time = 0;
    st.DTDefault = 1e-4;
    st.DT = st.DTInit = st.DTDefault;
    st.StepError = 0;
    st.StopTime = 3600;
    st.LeftWall = 0;
    st.RightWall = st.NX;
    st.DetPosition = 20;
    st.Temperature = 298.15;
    st.CapDiameter = 5e-5;
    st.UI = 250;
    st.SpentTime = st.GlobalRatio = st.MaxError = 0;
    st.ItNew = 100;
    st.WallInc = 100;
    st.LW = st.RW = 1e-12;
    st.OptInter = 100;
    st.DetInput = 10;
    st.PSQPeriod = 1000;
    st.Stop = st.Initialised = st.Running = false;
    st.ShowSpentArmed = true;
    st.NXPending = st.NX;
    st.PeakWidthPending = st.PeakWidth;
    st.PeakEdgeWidthPending = st.PeakEdgeWidth;
    st.InjSitePending = st.InjSite;
    st.CapLengthPending = st.CapLength;
    st.cbOptDt = true;
    st.cbIS = false;
    st.cbDetectorOn = true;
    st.cbEnableEOF = st.cbEOFDif = st.cbRedDiff = false;
    st.DetectorView = st.CompChanged = false;
    st.FileName = "No File";
    st.DiffClock = 0;
    st.DiffTimeSet = st.DiffTime = 10;
    st.SavedDT = st.DT;
    st.DiffMode = false;
    st.CMCProfileReady = false;
    st.FakeCapLen = 0;
    st.DistPreview = st.Restart = false;
    st.AddCond = 0;
    st.cbSDS = false;
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
}

void RunNewCommand(RunState& st)
{
    if (FileLayerHooks().NewCommand) FileLayerHooks().NewCommand(st);
    else NewStateHeadless(st);
}

void RunResetState(RunState& st)
{
    if (FileLayerHooks().ResetState) FileLayerHooks().ResetState(st);
    else ResetStateHeadless(st);
}
