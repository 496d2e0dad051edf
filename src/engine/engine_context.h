// What the engine keeps for one run besides its state: the mode table, the
// thread plan frozen at Init and the work storage of the engine routines.
// The run state owns one; nothing of it is process-wide.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/modes.h"
#include "engine/node_threads.h"

class EngineContext {
public:
    EngineContext() = default;
    // A copy takes the table and the plan; work storage is never shared.
    EngineContext(const EngineContext& o) : Modes(o.Modes), Threads(o.Threads) {}
    EngineContext& operator=(const EngineContext& o) {
        Modes = o.Modes;
        Threads = o.Threads;
        return *this;
    }

    // Hooks of every mode (the built-in table; tests may put their own in).
    ModeTable Modes = DefaultModeTable();
    // Threads of node-wise work, taken from the program's setting at Init.
    ThreadPlan Threads;

    // Work storage of type T (one per type, created empty on first use and
    // kept while the run state lives, so a time step allocates nothing).
    template <class T>
    T& Scratch() {
        const std::size_t id = ScratchId<T>();
        if (id >= scratch_.size()) scratch_.resize(id + 1);
        if (!scratch_[id]) scratch_[id] = std::make_unique<Holder<T>>();
        return static_cast<Holder<T>*>(scratch_[id].get())->value;
    }

private:
    struct HolderBase {
        virtual ~HolderBase() = default;
    };
    template <class T>
    struct Holder : HolderBase {
        T value{};
    };
    static std::size_t NewScratchId();
    template <class T>
    static std::size_t ScratchId() {
        static const std::size_t id = NewScratchId();
        return id;
    }
    std::vector<std::unique_ptr<HolderBase>> scratch_;
};
