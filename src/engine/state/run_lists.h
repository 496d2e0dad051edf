// The composition lists and the files of the run.
#pragma once

#include <string>

#include "engine/state/bge_record.h"
#include "engine/state/components.h"
#include "foundation/univset.h"

struct RunLists {
    TUnivSet<TComponents> Composition;
    TUnivSet<TComponents> CompInit;
    TUnivSet<TComponents> Database;
    std::string FileName = "No File";  // current project file (the state reset restores this)
    std::string PsqFile, PsqFileOwn;
    long long PsqSize = 0;
    int CompSeriesCount = 0;
    TEIData EIData;         // background-electrolyte record (tools/bge_calc)
    int LegacyDetNode = 0;  // detector node read from an older options file
};
