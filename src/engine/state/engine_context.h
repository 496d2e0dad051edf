// What the engine keeps for one run besides its state: the mode table, the
// state of each mode, the thread plan frozen at Init and the work storage of
// the engine routines. The run state owns one; nothing of it is process-wide.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

#include "engine/modes/modes.h"
#include "engine/step/node_threads.h"

class EngineContext {
public:
    EngineContext() = default;
    // A copy takes the table, the modes' states and the plan; work storage
    // is never shared.
    EngineContext(const EngineContext& o) : Modes(o.Modes), Threads(o.Threads)
    {
        CopyModeStates(o);
    }
    EngineContext& operator=(const EngineContext& o)
    {
        if (this == &o) return *this;
        Modes = o.Modes;
        Threads = o.Threads;
        CopyModeStates(o);
        return *this;
    }

    // Hooks of every mode (the built-in table; tests may put their own in).
    ModeTable Modes = DefaultModeTable();
    // Threads of node-wise work, taken from the program's setting at Init.
    ThreadPlan Threads;

    // Work storage of type T (one per type, created empty on first use and
    // kept while the run state lives, so a time step allocates nothing).
    template <class T>
    T& Scratch()
    {
        const std::size_t id = ScratchId<T>();
        if (id >= scratch_.size()) scratch_.resize(id + 1);
        if (!scratch_[id]) scratch_[id] = std::make_unique<Holder<T>>();
        return static_cast<Holder<T>*>(scratch_[id].get())->value;
    }

    // The state a mode keeps for the run beside the shared records (the
    // linearised mode's matrices, whether the micellar profile is built): one
    // slot per type T, the mode's own, value-initialised on first use and
    // copied with the run state. The const form answers a slot not yet made
    // with T's defaults.
    template <class T>
    T& ModeState()
    {
        const std::size_t id = ScratchId<T>();
        if (id >= modeStates_.size()) modeStates_.resize(id + 1);
        if (!modeStates_[id]) modeStates_[id] = std::make_unique<Holder<T>>();
        return static_cast<Holder<T>*>(modeStates_[id].get())->value;
    }
    template <class T>
    const T& ModeState() const
    {
        static const T defaults{};
        const std::size_t id = ScratchId<T>();
        if (id >= modeStates_.size() || !modeStates_[id]) return defaults;
        return static_cast<const Holder<T>*>(modeStates_[id].get())->value;
    }

private:
    struct HolderBase {
        virtual ~HolderBase() = default;
        virtual std::unique_ptr<HolderBase> Clone() const = 0;
    };
    template <class T>
    struct Holder : HolderBase {
        T value{};
        std::unique_ptr<HolderBase> Clone() const override
        {
            if constexpr (std::is_copy_constructible_v<T>)
                return std::make_unique<Holder<T>>(*this);
            else
                return std::make_unique<Holder<T>>();
        }
    };
    void CopyModeStates(const EngineContext& o)
    {
        modeStates_.clear();
        modeStates_.resize(o.modeStates_.size());
        for (std::size_t i = 0; i < o.modeStates_.size(); ++i)
            if (o.modeStates_[i]) modeStates_[i] = o.modeStates_[i]->Clone();
    }
    static std::size_t NewScratchId();
    template <class T>
    static std::size_t ScratchId()
    {
        static const std::size_t id = NewScratchId();
        return id;
    }
    std::vector<std::unique_ptr<HolderBase>> scratch_;
    std::vector<std::unique_ptr<HolderBase>> modeStates_;
};
