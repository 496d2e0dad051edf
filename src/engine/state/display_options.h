// Display options and the chart data of the run.
#pragma once

#include "engine/state/option_state.h"
#include "engine/step/run_series.h"

struct DisplayOptions {
    double XScale = 1000;  // metres -> chart x unit
    double CondScale = 100;
    int ZeroPosNode = 0;
    // Chart data of the run (profile and detector series, check lists); the
    // chart mirrors it.
    RunSeries Series;
    // Options of the options window and the chart (colours, separator, radio codes).
    OptionState Options;
};
