#include "engine/equilibrium/kept_speciation.h"

#include <algorithm>
#include <bit>

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
        fits_.assign(nodes, 0);
        epoch_ = 1;
    }
    const double kw = ActiveKw(st);
    if (std::bit_cast<std::uint64_t>(kw) != std::bit_cast<std::uint64_t>(kw_)) {
        kw_ = kw;
        Forget();
    }
    // The ionic strength of a slot is written at the slot of the same level
    // in its own map; the record takes them as one while the maps agree.
    paired_ = std::equal(a.lvC + 1, a.lvC + 6, a.lvIS + 1);
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

int KeptSpeciation::Speciate(RunState& st, int level, int lo, int hi, NewtonScratch& s)
{
    EngineArrays& a = st.Arr;
    lo = std::max(lo, 0);
    hi = std::min(hi, a.Nn - 1);
    if (lo > hi) return -1;
    if (!paired_ || a.Nn != nn_ || a.NComp != nc_ || st.ISCorrection)
        return SpeciateNodes(st, level, lo, hi, s);
    const int slot = a.lvC[level];
    unsigned char* fits = fits_.data();
    // The nodes whose record is of this epoch and of their present
    // concentrations and cH, bit for bit.
    const std::uint32_t* stamp = stamp_.data() + static_cast<std::size_t>(slot - 1) * nn_;
    for (int n = lo; n <= hi; ++n) fits[n] = stamp[n] == epoch_;
    for (int r = 0; r < inRows_; ++r) {
        const double* live = r < nc_ ? a.C(level, r + 1) : a.CH(level);
        const double* kept = In(slot, r);
        for (int n = lo; n <= hi; ++n)
            fits[n] &=
                std::bit_cast<std::uint64_t>(live[n]) == std::bit_cast<std::uint64_t>(kept[n]);
    }
    // The others, in runs of neighbouring nodes.
    int bad = -1;
    long long taken = 0;
    for (int n = lo; n <= hi;) {
        if (fits[n]) {
            ++taken;
            ++n;
            continue;
        }
        int m = n;
        while (m < hi && !fits[m + 1]) ++m;
        const int b = SpeciateNodes(st, level, n, m, s);
        if (b < 0)
            Record(st, level, slot, n, m);
        else if (bad < 0)
            bad = b;
        n = m + 1;
    }
    if (taken == 0) return bad;
    // The rows without a level, as the speciation of the slot left them.
    auto takeBack = [&](double* row, const double* kept) {
        for (int n = lo; n <= hi; ++n) row[n] = fits[n] ? kept[n] : row[n];
    };
    takeBack(a.PH.data(), Out(slot, 0));
    for (int i = 1; i <= nc_; ++i) {
        takeBack(a.ZMean[i], Out(slot, i));
        takeBack(a.UEff[i], Out(slot, nc_ + i));
    }
    taken_.fetch_add(taken, std::memory_order_relaxed);
    return bad;
}
