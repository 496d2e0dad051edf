#include "engine/equilibrium/kept_forms.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_lanes.h"
#include "engine/state/run_state.h"

namespace {

// Storage slots of the concentration levels.
constexpr int kSlots = 5;

}  // namespace

void KeptSpeciation::Forget()
{
    if (++epoch_ != 0) return;
    // After 2^32 epochs the stamps could meet an old one again.
    std::fill(stamp_.begin(), stamp_.end(), 0u);
    epoch_ = 1;
}

void KeptSpeciation::Prepare(const RunState& st)
{
    const EngineArrays& a = st.Arr;
    if (a.Nn != nn_ || a.NComp != nc_) {
        nn_ = a.Nn;
        nc_ = a.NComp;
        inRows_ = nc_ + 1;
        outRows_ = 2 * nc_ + 1;
        const std::size_t nodes = static_cast<std::size_t>(nn_);
        stamp_.assign(kSlots * nodes, 0u);
        in_.assign(kSlots * inRows_ * nodes, 0.0);
        out_.assign(kSlots * outRows_ * nodes, 0.0);
        misfit_.assign(nodes, 0);
        epoch_ = 1;
    }
    // The records hold for the constants they were made with: the ionic
    // product of water and every constant the arrays' writers stamp.
    const double kw = ActiveKw(st);
    if (std::bit_cast<std::uint64_t>(kw) != std::bit_cast<std::uint64_t>(kw_) ||
        a.ConstantsStamp() != constants_) {
        kw_ = kw;
        constants_ = a.ConstantsStamp();
        Forget();
    }
    // The ionic strength of a slot is written at the slot of the same level
    // in its own map; the record takes them as one while the maps agree (and
    // speciates every node while they do not).
    paired_ = std::equal(a.lvC + 1, a.lvC + 6, a.lvIS + 1);
    if (!paired_) Forget();
}

void KeptSpeciation::Record(RunState& st, int level, int slot, int lo, int hi)
{
    EngineArrays& a = st.Arr;
    const int count = hi - lo + 1;
    for (int r = 0; r < inRows_; ++r) {
        const double* live = r < nc_ ? a.C(level, r + 1) : a.CH(level);
        std::copy_n(live + lo, count, In(slot, r) + lo);
    }
    std::copy_n(a.PH.data() + lo, count, Out(slot, 0) + lo);
    for (int i = 1; i <= nc_; ++i) {
        std::copy_n(a.ZMean[i] + lo, count, Out(slot, i) + lo);
        std::copy_n(a.UEff[i] + lo, count, Out(slot, nc_ + i) + lo);
    }
    std::fill_n(stamp_.data() + static_cast<std::size_t>(slot - 1) * nn_ + lo, count, epoch_);
}

void KeptSpeciation::TakeBack(EngineArrays& a, int slot, int lo, int hi)
{
    const int count = hi - lo + 1;
    std::copy_n(Out(slot, 0) + lo, count, a.PH.data() + lo);
    for (int i = 1; i <= nc_; ++i) {
        std::copy_n(Out(slot, i) + lo, count, a.ZMean[i] + lo);
        std::copy_n(Out(slot, nc_ + i) + lo, count, a.UEff[i] + lo);
    }
}

int KeptSpeciation::Speciate(RunState& st, int level, int lo, int hi, NewtonScratch& s)
{
    EngineArrays& a = st.Arr;
    lo = std::max(lo, 0);
    hi = std::min(hi, a.Nn - 1);
    if (lo > hi) return -1;
    if (!paired_ || a.Nn != nn_ || a.NComp != nc_ || st.ISCorrection)
        return SpeciateNodes(st, level, lo, hi, s);
    const int slot = a.lvC[level];
    const std::uint32_t* __restrict stamp =
        stamp_.data() + static_cast<std::size_t>(slot - 1) * nn_;
    auto liveRow = [&](int r) { return r < nc_ ? a.C(level, r + 1) : a.CH(level); };
    // Mostly every node's record fits: the rows of the range compared whole.
    const int count = hi - lo + 1;
    std::uint32_t stale = 0;
    for (int n = lo; n <= hi; ++n) stale |= stamp[n] ^ epoch_;
    bool all = stale == 0;
    for (int r = 0; r < inRows_ && all; ++r)
        all = std::memcmp(liveRow(r) + lo, In(slot, r) + lo, count * sizeof(double)) == 0;
    if (all) {
        TakeBack(a, slot, lo, hi);
        taken_.fetch_add(count, std::memory_order_relaxed);
        return -1;
    }
    // Other than 0 where the record is not of this epoch or not of the
    // present concentrations and cH, bit for bit.
    std::uint64_t* __restrict misfit = misfit_.data();
    for (int n = lo; n <= hi; ++n) misfit[n] = stamp[n] != epoch_;
    for (int r = 0; r < inRows_; ++r) {
        const double* __restrict live = liveRow(r);
        const double* __restrict kept = In(slot, r);
        for (int n = lo; n <= hi; ++n)
            misfit[n] |=
                std::bit_cast<std::uint64_t>(live[n]) ^ std::bit_cast<std::uint64_t>(kept[n]);
    }
    // Runs of neighbouring nodes: those that fit take their record back, the
    // others are speciated and recorded.
    int bad = -1;
    long long taken = 0;
    for (int n = lo; n <= hi;) {
        const bool fits = misfit[n] == 0;
        int m = n;
        while (m < hi && (misfit[m + 1] == 0) == fits) ++m;
        if (fits) {
            TakeBack(a, slot, n, m);
            taken += m - n + 1;
        } else {
            const int b = SpeciateNodes(st, level, n, m, s);
            if (b < 0) {
                Record(st, level, slot, n, m);
            } else {
                // The forms of these nodes are no longer those of their record.
                std::fill(stamp_.begin() + static_cast<std::ptrdiff_t>(slot - 1) * nn_ + n,
                          stamp_.begin() + static_cast<std::ptrdiff_t>(slot - 1) * nn_ + m + 1, 0u);
                if (bad < 0) bad = b;
            }
        }
        n = m + 1;
    }
    if (taken > 0) taken_.fetch_add(taken, std::memory_order_relaxed);
    return bad;
}
