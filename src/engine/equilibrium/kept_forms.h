// The speciation of the nodes that the run loop does not integrate (those
// outside the computation window), kept for each storage slot of the
// concentration levels (EngineArrays::lvC). The speciation of a node is a
// function of its concentrations and cH in the slot and of the constants
// (LForm, UForm, the ionic product of water): a node whose concentrations and
// cH in the slot are, bit for bit, those it was last speciated from there
// still holds that speciation's forms, cOH and ionic strength in the slot, so
// it takes back the pH, ZMean and UEff of that speciation (rows without a
// level, which the other slots' speciations overwrite) instead of being
// speciated again. The others are speciated and recorded.
//
// The record holds only while nothing but the speciation writes the forms,
// cOH and ionic strength of those nodes and the constants stay as they are:
// the run loop forgets it at the start of a run and before every step whose
// equilibrium or modes could change them; a changed ionic product of water,
// stamp of the constants (EngineArrays::ConstantsStamp, taken by whatever
// rewrites them: Init, a pK edit applied, the temperature's correction of the
// mobilities, a re-initiation of the capillary effects), pairing of the level
// maps or shape of the arrays forgets it too.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

class EngineArrays;
class RunState;
struct NewtonScratch;

class KeptSpeciation {
public:
    // Drops every record.
    void Forget();
    // Before a parallel region that speciates with the record: sizes it for
    // the run's arrays and forgets it when their shape or the ionic product of
    // water changed since. On the run's thread.
    void Prepare(const RunState& st);
    // SpeciateNodes(level, lo..hi) for the nodes whose record does not fit;
    // the others take back their pH, ZMean and UEff. Returns the first node
    // whose cH is not a positive finite number (left untouched), or -1. Calls
    // for disjoint node ranges may run on several threads at once.
    int Speciate(RunState& st, int level, int lo, int hi, NewtonScratch& s);

    // Nodes that took back their record since it was made (for tests).
    long long Taken() const { return taken_.load(); }

private:
    // Records nodes lo..hi of storage slot `slot` just speciated at `level`.
    void Record(RunState& st, int level, int slot, int lo, int hi);
    // Nodes lo..hi of slot `slot` take back their pH, ZMean and UEff.
    void TakeBack(EngineArrays& a, int slot, int lo, int hi);
    double* In(int slot, int row) { return in_.data() + Offset(slot, row, inRows_); }
    double* Out(int slot, int row) { return out_.data() + Offset(slot, row, outRows_); }
    std::size_t Offset(int slot, int row, int rows) const
    {
        return (static_cast<std::size_t>(slot - 1) * rows + row) * nn_;
    }

    int nn_ = 0, nc_ = -1;
    int inRows_ = 0, outRows_ = 0;  // NComp + 1 (concentrations, cH), 2 NComp + 1 (pH, ZMean, UEff)
    double kw_ = 0;
    std::uint64_t constants_ = 0;        // EngineArrays::ConstantsStamp of the records
    bool paired_ = false;                // lvC and lvIS map every level to the same slot
    std::uint32_t epoch_ = 1;            // records of another epoch are forgotten
    std::vector<std::uint32_t> stamp_;   // [slot][node]: epoch of the node's record
    std::vector<double> in_, out_;       // [slot][row][node]
    std::vector<std::uint64_t> misfit_;  // [node]: 0 where the record fits (work row of a call)
    std::atomic<long long> taken_{0};
};
