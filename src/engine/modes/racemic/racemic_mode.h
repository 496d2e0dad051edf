// Racemic mode ("Enable Racemic"): the micellar scheme with a selector in place
// of the surfactant and constituents 2 and 3 as two forms (enantiomers) that
// convert into each other, free and bound at their own rates. Constituent 4's
// record carries the rates: its concentration kF (free forms), its injection
// concentration kB2 (bound 2 -> 3) and its micelle-complex mobility field kB3
// (bound 3 -> 2), all in 1/s and read at every call.
#pragma once

#include "engine/modes/modes.h"

ModeHooks RacemicModeHooks();
