// The per-node engine arrays and the work storage sized with them.
#pragma once

#include "engine/equilibrium/ionic_strength.h"
#include "engine/state/engine_arrays.h"
#include "engine/state/engine_context.h"

struct EngineStore {
    EngineArrays Arr;
    // Work storage of the ionic-strength correction (sized once per run shape).
    IonicStrengthWork ISWork;
    // Mode table, thread plan and work storage of the engine routines.
    EngineContext Engine;
};
