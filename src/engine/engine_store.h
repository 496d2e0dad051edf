// The per-node engine arrays and the work storage sized with them.
#pragma once

#include "engine/engine_arrays.h"
#include "engine/engine_context.h"
#include "engine/ionic_strength.h"
#include "foundation/matrix.h"

struct EngineStore {
    EngineArrays Arr;
    // Work storage of the ionic-strength correction (sized once per run shape).
    IonicStrengthWork ISWork;
    // Coefficient matrices of the linearised mode (NComp x NComp, rebuilt by Init).
    TMatrix Mat1{2}, Mat2{2};
    // Mode table, thread plan and work storage of the engine routines.
    EngineContext Engine;
};
