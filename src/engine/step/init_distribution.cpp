#include "engine/step/init_distribution.h"

#include <climits>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/fntree.h"
#include "foundation/math_functions.h"

namespace {

// Nearest integer with halves to even, kept inside the int range (a position
// beyond every bound, an infinite quotient, lies beyond the grid).
int RoundHalfEven(double v)
{
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    if (r >= static_cast<double>(INT_MAX / 2)) return INT_MAX / 2;
    if (r <= static_cast<double>(INT_MIN / 2)) return INT_MIN / 2;
    return static_cast<int>(r);
}

bool RejectConstituent(RunState& st, int i)
{
    ShowWarning("Error: Incorrent setup of " + std::to_string(i) + ". constituent");
    FreeEngineArrays(st);
    return false;
}

// A segmented record that can be laid out: at least one segment, values for
// every segment and a positive, finite sum of the length ratios.
bool SegmentsUsable(const TComponents& rec)
{
    if (rec.zones < 1) return false;
    const std::size_t need = static_cast<std::size_t>(rec.zones) + 1;
    if (rec.c_grad.size() < need || rec.ratio.size() < need) return false;
    double sum = 0.0;
    for (int m = 1; m <= rec.zones; ++m) sum += rec.ratio[static_cast<std::size_t>(m)];
    return std::isfinite(sum) && sum > 0.0;
}

// Cumulative boundaries N * (ratio[1] + ... + ratio[m]) / T, m = 1..zones-1.
std::vector<double> Boundaries(const TComponents& rec, int n, bool rounded)
{
    double total = 0.0;
    for (int m = 1; m <= rec.zones; ++m) total += rec.ratio[static_cast<std::size_t>(m)];
    std::vector<double> b;
    double cum = 0.0;
    for (int m = 1; m < rec.zones; ++m) {
        cum += rec.ratio[static_cast<std::size_t>(m)];
        const double pos = n * cum / total;
        b.push_back(rounded ? static_cast<double>(RoundHalfEven(pos)) : pos);
    }
    return b;
}

// Row-1 pK and mobility of every charged form at node j.
void FormConstantsFromRow1(EngineArrays& a, const TComponents& rec, int i, int j)
{
    const int zmin = a.ZMin[i], zmax = a.ZMax[i];
    for (int k = 0; k <= zmax - zmin; ++k) {
        if (k == -zmin) continue;
        a.PKaForm(i, k)[j] = rec.PKaOf(1, zmin + k);
        a.UForm(i, k)[j] = rec.UOf(1, zmin + k) * 1e-9;
    }
}

// Per-segment pK (pKa = true) or mobility smoothed over the segment
// boundaries, rounded to whole nodes, for every charged form.
void SmoothFormConstants(EngineArrays& a, const TComponents& rec, int i, int n, double scale,
                         bool pKa)
{
    const std::vector<double> bounds = Boundaries(rec, n, true);
    const int zmin = a.ZMin[i], zmax = a.ZMax[i];
    std::vector<double> levels(static_cast<std::size_t>(rec.zones));
    for (int k = 0; k <= zmax - zmin; ++k) {
        if (k == -zmin) continue;
        for (int m = 1; m <= rec.zones; ++m)
            levels[static_cast<std::size_t>(m - 1)] =
                pKa ? rec.PKaOf(m, zmin + k) : rec.UOf(m, zmin + k);
        const TFnTree g = ErfStepTree(levels, bounds, scale);
        double* row = pKa ? a.PKaForm(i, k) : a.UForm(i, k);
        const double factor = pKa ? 1.0 : 1e-9;
        for (int j = 0; j <= n; ++j) row[j] = g.Value(static_cast<double>(j)) * factor;
    }
}

}  // namespace

int PositionToNode(const RunGeometry& geometry, double x, int count)
{
    return RoundHalfEven(0.001 * x / geometry.CapLengthPending * count);
}

int InjectionSiteNode(const RunState& st, bool pending)
{
    if (pending)
        return RoundHalfEven(st.NXPending / st.CapLengthPending * st.InjSitePending * 0.001);
    return RoundHalfEven(st.NX / st.CapLength * st.InjSite * 0.001);
}

void ApplyZeroPoint(RunState& st, bool pending)
{
    const int nx = pending ? st.NXPending : st.NX;
    switch (st.Options.ZeroPoint) {
    case kZeroInjSite: st.ZeroPosNode = InjectionSiteNode(st, pending); break;
    case kZeroLeft: st.ZeroPosNode = 0; break;
    case kZeroRight: st.ZeroPosNode = nx; break;
    case kZeroCenter: st.ZeroPosNode = static_cast<int>(nx * 0.5); break;
    default: break;  // another position: the node typed last; no button: unchanged
    }
}

bool InitDistribution(RunState& st)
{
    EngineArrays& a = st.Arr;
    const int n = st.NX;
    int w = PositionToNode(st.geometry(), st.PeakEdgeWidth, n);
    if (w < 1) w = 1;
    const int zoneW = PositionToNode(st.geometry(), st.PeakWidth, n);
    const double W = zoneW;
    const double halfEdge = w * 0.5;
    const double sigma2 = W * W / 12.0 + static_cast<double>(w) * w / 8.0;
    const int s = InjectionSiteNode(st, false);
    const double sineK = st.PeakEdgeWidth > 0.0 ? 2.0 * kPi / st.PeakEdgeWidth * 1000.0 : 0.0;

    int i = 0;
    for (const auto* node = st.CompInit.Head(); node && i < st.NComp; node = node->next) {
        ++i;
        const TComponents& rec = node->data;
        const int mode = rec.mode;
        if (mode < 1 || mode > 5) return RejectConstituent(st, i);
        if (mode >= 2 && !SegmentsUsable(rec)) return RejectConstituent(st, i);

        double* c2 = a.C(2, i);
        double* drawn = a.DrawnProfile[i];
        if (mode == 1) {
            const double c = rec.c, cInj = rec.cInj;
            const int type = rec.type;
            for (int j = 0; j <= n; ++j) {
                const double d = j - s;
                const double a1 = (d + W * 0.5) / halfEdge;
                const double a2 = (d - W * 0.5) / halfEdge;
                const double g = std::exp(-d * d / (2.0 * sigma2));
                switch (type) {
                case 0: c2[j] = st.cbGauss ? cInj * g : cInj * 0.5 * (Erf(a1) - Erf(a2)); break;
                case 1:
                    c2[j] = st.cbGauss ? c + (cInj - c) * g
                                       : c + (cInj - c) * 0.5 * (Erf(a1) - Erf(a2));
                    break;
                case 2:
                    c2[j] = cInj * 0.5 * (1.0 + Erf(a1)) + (c - cInj) * 0.5 * (1.0 + Erf(a2));
                    break;
                case 3:
                    c2[j] = c + (cInj - c) * 0.5 * (1.0 + Erf(a1)) - cInj * 0.5 * (1.0 + Erf(a2));
                    break;
                default: break;  // no value: the node keeps the zero of the allocation
                }
                if (type <= 3 && (st.cbMXS || st.cbMXQ)) {
                    const double x = d / n * st.CapLength;
                    c2[j] = st.cbMXS ? c + (cInj - c) * std::sin(sineK * x)
                                     : c + (cInj - c) * std::sin(sineK * x * x);
                }
                drawn[j] = c2[j];
                FormConstantsFromRow1(a, rec, i, j);
            }
        } else {
            const std::vector<double> bounds = Boundaries(rec, n, false);
            const std::span<const double> levels(rec.c_grad.data() + 1,
                                                 static_cast<std::size_t>(rec.zones));
            const TFnTree f = ErfStepTree(levels, bounds, halfEdge);
            for (int j = 0; j <= n; ++j) {
                c2[j] = f.Value(static_cast<double>(j));
                drawn[j] = c2[j];
            }
            const bool pKaPerSegment = mode == 4 || mode == 5;
            const bool uPerSegment = mode == 3 || mode == 5;
            for (int j = 0; j <= n; ++j) FormConstantsFromRow1(a, rec, i, j);
            if (pKaPerSegment) SmoothFormConstants(a, rec, i, n, halfEdge, true);
            if (uPerSegment) SmoothFormConstants(a, rec, i, n, halfEdge, false);
        }

        // A table of one value per node replaces the computed profile; the
        // drawn profile follows it, so that the first drawn state is level 2.
        if (rec.tableCount == n + 1 && rec.table.size() >= static_cast<std::size_t>(n) + 2) {
            for (int j = 0; j <= n; ++j) {
                c2[j] = rec.table[static_cast<std::size_t>(j) + 1];
                drawn[j] = c2[j];
            }
        }
    }
    return true;
}
