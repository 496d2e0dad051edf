#include "engine/state/engine_context.h"

#include <atomic>

std::size_t EngineContext::NewScratchId()
{
    // Numbers only name the work-storage types; no run data is shared.
    static std::atomic<std::size_t> next{0};
    return next++;
}
