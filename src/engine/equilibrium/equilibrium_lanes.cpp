#include "engine/equilibrium/equilibrium_lanes.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_terms.h"
#include "engine/equilibrium/ionic_strength.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"

// The lanes are written with GCC's vector extensions and x86 built-ins; other
// compilers and processors take the one-node routines (one lane).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KELVO_NODE_LANES 1

// Two lanes: SSE2, part of every x86-64.
namespace lanes2 {
#define KELVO_LANES 2
#include "engine/equilibrium/equilibrium_lanes_body.inc"
#include "engine/equilibrium/ionic_strength_lanes_body.inc"
#undef KELVO_LANES
}  // namespace lanes2

// Four lanes: AVX2 (no FMA: every product and sum is rounded on its own, as
// in the one-node routines), used where the processor has it.
#pragma GCC push_options
#pragma GCC target("avx2")
namespace lanes4 {
#define KELVO_LANES 4
#include "engine/equilibrium/equilibrium_lanes_body.inc"
#include "engine/equilibrium/ionic_strength_lanes_body.inc"
#undef KELVO_LANES
}  // namespace lanes4
#pragma GCC pop_options
#endif

namespace {

int gLanesOverride = 0;

// Lanes this processor runs.
int ProcessorLanes()
{
#ifdef KELVO_NODE_LANES
    static const int byProcessor = __builtin_cpu_supports("avx2") ? 4 : 2;
    return byProcessor;
#else
    return 1;
#endif
}

}  // namespace

void SetNodeLanes(int lanes)
{
    gLanesOverride = (lanes == 1 || lanes == 2) && lanes < ProcessorLanes() ? lanes : 0;
}

int NodeLanes()
{
    return gLanesOverride != 0 ? gLanesOverride : ProcessorLanes();
}

int SpeciateNodes(RunState& st, int level, int lo, int hi, NewtonScratch& s)
{
#ifdef KELVO_NODE_LANES
    switch (NodeLanes()) {
    case 4: return lanes4::SpeciateNodesN(st, level, lo, hi, s);
    case 2: return lanes2::SpeciateNodesN(st, level, lo, hi, s);
    default: break;
    }
#endif
    int firstBad = -1;
    for (int n = lo; n <= hi; ++n)
        if (!SpeciateNode(st, level, n, s) && firstBad < 0) firstBad = n;
    return firstBad;
}

void SolveElneutNodes(const RunState& st, int level, int i, const double* x, int itNew,
                      NewtonScratch& s, ElneutNodeResult* res)
{
#ifdef KELVO_NODE_LANES
    switch (NodeLanes()) {
    case 4: lanes4::SolveElneutNodesN(st, level, i, x, itNew, s, res); return;
    case 2: lanes2::SolveElneutNodesN(st, level, i, x, itNew, s, res); return;
    default: break;
    }
#endif
    res[0] = SolveElneutNode(st, level, i, x[0], std::fabs(x[0]) + 1e-36, itNew, s);
    res[0].passed = false;
    res[0].nActive = 0;
}

bool IonicStrengthNodes(RunState& st, int level, int src, int i, IonicStrengthWork& w, int groups)
{
#ifdef KELVO_NODE_LANES
    const bool two = groups == 2;
    switch (NodeLanes()) {
    case 4:
        return two ? lanes4::IonicStrengthLanes<2>(st, level, src, i, w)
                   : lanes4::IonicStrengthLanes<1>(st, level, src, i, w);
    case 2:
        return two ? lanes2::IonicStrengthLanes<2>(st, level, src, i, w)
                   : lanes2::IonicStrengthLanes<1>(st, level, src, i, w);
    default: break;
    }
#endif
    (void)st, (void)level, (void)src, (void)i, (void)w, (void)groups;
    return false;
}

void ExtendedReciprocals(const double* K, double* out, int n)
{
#ifdef KELVO_NODE_LANES
    switch (NodeLanes()) {
    case 4: lanes4::ExtendedReciprocals(K, out, n); return;
    case 2: lanes2::ExtendedReciprocals(K, out, n); return;
    default: break;
    }
#endif
    for (int m = 0; m < n; ++m) out[m] = static_cast<double>(1.0L / K[m]);
}

void ActivitySettled(const double* gOld, const double* g, bool* settled, int n)
{
#ifdef KELVO_NODE_LANES
    switch (NodeLanes()) {
    case 4: lanes4::ActivitySettled(gOld, g, settled, n); return;
    case 2: lanes2::ActivitySettled(gOld, g, settled, n); return;
    default: break;
    }
#endif
    for (int m = 0; m < n; ++m) settled[m] = std::fabs(gOld[m] - g[m]) / g[m] <= 1e-5;
}
