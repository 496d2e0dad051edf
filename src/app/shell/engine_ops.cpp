// The engine routines the main window calls.
#include "app/shell/main_window.h"

#include "engine/state/engine_arrays.h"
#include "engine/step/comp_window.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "engine/step/voltage.h"

EngineOps DefaultEngineOps()
{
    EngineOps ops;
    ops.InitCalc = [](RunState& st) { InitCalc(st); };
    ops.RunCalc = [](RunState& st) { RunCalc(st); };
    ops.StopCalc = [](RunState& st) { StopCalc(st); };
    ops.CalcVoltageCurrent = [](RunState& st) { CalcVoltageCurrent(st); };
    ops.UpdateComputationWindow = [](RunState& st) { UpdateComputationWindow(st); };
    ops.FreeEngineArrays = [](RunState& st) { FreeEngineArrays(st); };
    return ops;
}
