// The engine routines the main window calls.
#include "app/main_window.h"

#include "engine/comp_window.h"
#include "engine/engine_arrays.h"
#include "engine/init_calc.h"
#include "engine/run_calc.h"
#include "engine/voltage.h"

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
