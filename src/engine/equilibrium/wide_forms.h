// Constituents of many charges. At any cH only the forms next to the prevailing
// ones are above rounding against the sum of a constituent's terms L_k x^z
// (with pK steps a few units apart every further form is smaller by orders of
// magnitude), so the node solve takes the terms of those forms alone. For every
// node a table by the binary exponent of cH lists the forms that can reach
// 2^-kWideMargin of the largest term anywhere in that octave; the forms left
// out are given the concentration 0.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class EngineArrays;

// Constituents with at least this many forms are solved by their windows.
inline constexpr int kWideForms = 8;
// Binary exponents of cH (mM) that the tables cover; outside them every form
// is taken.
inline constexpr int kWideExpMin = -128, kWideExpMax = 64;
// Forms whose terms stay below 2^-kWideMargin of the largest are left out.
inline constexpr int kWideMargin = 72;

struct WideForms {
    bool ready = false;      // the tables describe the present LForm
    std::vector<int> First;  // [NComp+1]: index of constituent j's node 0 in Node, -1: not wide
    std::vector<int> Node;   // table of each (wide constituent, node), -1: every form
    std::vector<std::int16_t> Window;  // per table and exponent: first and last form
    // Per storage slot of the form concentrations (EngineArrays::lvC) and
    // entry of Node: the forms lo, hi outside which the concentrations there
    // are 0 (every form while nothing narrower is known). Kept by every writer
    // of form concentrations while the tables are ready; reset to every form
    // when they are built.
    std::vector<std::int16_t> Rows;
    static constexpr int kSlots = 6;
    std::int16_t* RowsOf(int slot, int j)
    {
        return Rows.data() + (static_cast<std::size_t>(slot) * Node.size() + First[j]) * 2;
    }
    const std::int16_t* RowsOf(int slot, int j) const
    {
        return Rows.data() + (static_cast<std::size_t>(slot) * Node.size() + First[j]) * 2;
    }
    void Release();
};

// Wide constituent j at node n of storage slot `slot`: forms outside lo..hi are 0.
inline void KeepWideRows(WideForms& w, int slot, int j, int n, int lo, int hi)
{
    if (w.Rows.empty() || w.First[j] < 0) return;
    std::int16_t* r = w.RowsOf(slot, j) + 2 * n;
    r[0] = static_cast<std::int16_t>(lo);
    r[1] = static_cast<std::int16_t>(hi);
}
// Nodes lo..hi of `level`: the forms of every wide constituent may all be
// other than 0 (a writer that does not keep the record).
void ForgetWideRows(EngineArrays& a, int level, int lo, int hi);
// The record of the slot behind level `fromLevel` copied to that of `toLevel`
// (a copy of a whole level).
void CopyWideRows(EngineArrays& a, int fromLevel, int toLevel);

// Builds the tables of every constituent of kWideForms or more forms from
// LForm at every node (ready afterwards).
void BuildWideForms(EngineArrays& a);

// x^z by repeated squaring (x > 0).
inline double PowByCharge(double x, int z)
{
    double b = z < 0 ? 1.0 / x : x;
    unsigned m = static_cast<unsigned>(z < 0 ? -z : z);
    double r = 1.0;
    while (m != 0) {
        if (m & 1u) r *= b;
        m >>= 1;
        if (m != 0) b *= b;
    }
    return r;
}

// The forms klo..khi that matter of wide constituent j at node n and cH x;
// false when the tables give none (not ready, no table at the node, x outside
// the exponents covered).
inline bool WideWindow(const WideForms& w, int j, int n, double x, int& klo, int& khi)
{
    if (!w.ready || !(x >= DBL_MIN && x <= DBL_MAX)) return false;
    const int table = w.Node[static_cast<std::size_t>(w.First[j]) + n];
    if (table < 0) return false;
    // The binary exponent of x (normal here) from its bits, as ilogb gives it.
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int e = static_cast<int>(bits >> 52) - 1023;
    if (e < kWideExpMin || e >= kWideExpMax) return false;
    const std::int16_t* win =
        w.Window.data() +
        (static_cast<std::size_t>(table) * (kWideExpMax - kWideExpMin) + (e - kWideExpMin)) * 2;
    klo = win[0];
    khi = win[1];
    return klo <= khi;
}
bool WideWindow(const EngineArrays& a, int j, int n, double x, int& klo, int& khi);

// The terms of the forms that matter of wide constituent j at node n and cH x:
// t[k - klo] = L_k x^(ZMin + k) for k = klo..khi, S0 their sum. False when the
// tables give no window (not ready, no table at the node, x outside the
// exponents covered) or a term needs scaling: every form is taken then.
bool WideTerms(const EngineArrays& a, int j, int n, double x, double* t, int& klo, int& khi,
               double& S0);

// Largest term km (the first of equal ones) of the window klo..khi and the sums
// over the window of d t, d^2 t and |d t|, d = k - km, as the node solve forms
// them over every form.
inline void WideMoments(const double* t, int klo, int khi, int& km, double& r1, double& r2,
                        double& a1)
{
    int m = klo;
    for (int k = klo + 1; k <= khi; ++k)
        if (t[k - klo] > t[m - klo]) m = k;
    r1 = r2 = a1 = 0;
    for (int k = klo; k <= khi; ++k) {
        const double d = k - m;
        const double dt = d * t[k - klo];
        r1 += dt;
        r2 += d * dt;
        a1 += std::fabs(dt);
    }
    km = m;
}
