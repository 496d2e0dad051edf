#include "engine/equilibrium/wide_forms.h"

#include <algorithm>
#include <cstddef>

#include "engine/state/engine_arrays.h"

void WideForms::Release()
{
    ready = false;
    First.clear();
    Node.clear();
    Window.clear();
    Rows.clear();
    First.shrink_to_fit();
    Rows.shrink_to_fit();
    Node.shrink_to_fit();
    Window.shrink_to_fit();
}

namespace {

constexpr int kExponents = kWideExpMax - kWideExpMin;

// Appends the window of every exponent for the constants L (nf forms from
// charge zmin): form k is left out of the octave [2^e, 2^(e+1)) when its
// term stays below 2^-kWideMargin (and one more for the rounding of the
// logarithms) of the smallest bound of the largest term there. The logarithm
// of a term is linear in log2 x, so its extremes are at the octave's ends.
void AppendWindows(std::vector<std::int16_t>& out, const std::vector<double>& lg, int zmin)
{
    const int nf = static_cast<int>(lg.size());
    for (int e = kWideExpMin; e < kWideExpMax; ++e) {
        double top = -HUGE_VAL;
        for (int k = 0; k < nf; ++k) {
            const double y0 = lg[k] + double(zmin + k) * e, y1 = y0 + (zmin + k);
            top = std::max(top, std::min(y0, y1));
        }
        int lo = nf, hi = -1;
        for (int k = 0; k < nf; ++k) {
            const double y0 = lg[k] + double(zmin + k) * e, y1 = y0 + (zmin + k);
            if (std::max(y0, y1) >= top - kWideMargin - 1) {
                lo = std::min(lo, k);
                hi = k;
            }
        }
        out.push_back(static_cast<std::int16_t>(lo));
        out.push_back(static_cast<std::int16_t>(hi));
    }
}

}  // namespace

void BuildWideForms(EngineArrays& a)
{
    WideForms& w = a.Wide;
    w.Release();
    w.First.assign(static_cast<std::size_t>(a.NComp) + 1, -1);
    const std::ptrdiff_t nn = a.Nn;
    std::vector<double> lg, prev;
    for (int j = 1; j <= a.NComp; ++j) {
        const int nf = a.Forms(j);
        if (nf < kWideForms) continue;
        w.First[j] = static_cast<int>(w.Node.size());
        int last = -1;  // table of the previous node
        prev.clear();
        for (std::ptrdiff_t n = 0; n < nn; ++n) {
            lg.assign(static_cast<std::size_t>(nf), 0.0);
            bool usable = true;
            for (int k = 0; k < nf; ++k) {
                const double L = a.LForm(j, k)[n];
                if (!(L > 0 && L <= DBL_MAX)) usable = false;
                lg[k] = L;
            }
            if (!usable) {
                w.Node.push_back(-1);
                continue;
            }
            // Nodes with the same constants as the previous one share its table.
            if (last >= 0 && lg == prev) {
                w.Node.push_back(last);
                continue;
            }
            prev = lg;
            for (double& v : lg) v = std::log2(v);
            last = static_cast<int>(w.Window.size() / (2 * kExponents));
            AppendWindows(w.Window, lg, a.ZMin[j]);
            w.Node.push_back(last);
        }
    }
    // Nothing narrower is known of the present concentrations.
    w.Rows.assign(static_cast<std::size_t>(WideForms::kSlots) * w.Node.size() * 2, 0);
    for (int slot = 0; slot < WideForms::kSlots; ++slot)
        for (int j = 1; j <= a.NComp; ++j)
            if (w.First[j] >= 0)
                for (std::ptrdiff_t n = 0; n < nn; ++n)
                    w.RowsOf(slot, j)[2 * n + 1] = static_cast<std::int16_t>(a.Forms(j) - 1);
    w.ready = true;
}

void ForgetWideRows(EngineArrays& a, int level, int lo, int hi)
{
    WideForms& w = a.Wide;
    if (w.Rows.empty()) return;
    lo = std::max(lo, 0);
    hi = std::min(hi, a.Nn - 1);
    for (int j = 1; j <= a.NComp; ++j) {
        if (w.First[j] < 0) continue;
        std::int16_t* r = w.RowsOf(a.lvC[level], j);
        const std::int16_t last = static_cast<std::int16_t>(a.Forms(j) - 1);
        for (int n = lo; n <= hi; ++n) {
            r[2 * n] = 0;
            r[2 * n + 1] = last;
        }
    }
}

void CopyWideRows(EngineArrays& a, int fromLevel, int toLevel)
{
    WideForms& w = a.Wide;
    if (w.Rows.empty()) return;
    for (int j = 1; j <= a.NComp; ++j) {
        if (w.First[j] < 0) continue;
        const std::int16_t* from = w.RowsOf(a.lvC[fromLevel], j);
        std::copy(from, from + 2 * static_cast<std::size_t>(a.Nn), w.RowsOf(a.lvC[toLevel], j));
    }
}

bool WideWindow(const EngineArrays& a, int j, int n, double x, int& klo, int& khi)
{
    return WideWindow(a.Wide, j, n, x, klo, khi);
}

bool WideTerms(const EngineArrays& a, int j, int n, double x, double* t, int& klo, int& khi,
               double& S0)
{
    if (!WideWindow(a, j, n, x, klo, khi)) return false;
    const std::ptrdiff_t nn = a.Nn;
    const double* L = a.LForm(j, klo) + n;
    double p = PowByCharge(x, a.ZMin[j] + klo);
    if (!(p >= DBL_MIN && p <= DBL_MAX)) return false;
    double s = 0, used = p;
    for (int k = klo; k <= khi; ++k, L += nn) {
        used = p;
        const double v = *L * p;
        t[k - klo] = v;
        s += v;
        p *= x;
    }
    S0 = s;
    return used >= DBL_MIN && used <= DBL_MAX && s <= DBL_MAX && s >= 0x1p-900;
}
