// Micellar mode ("Micellar Mode Enabled"): the checks of its set-up; the
// set-up and the derivative routine are not built yet.
#pragma once

#include "engine/modes.h"

ModeHooks MicellarModeHooks();
