#include "engine/step/voltage.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/node_threads.h"
#include "foundation/messages.h"

void AddAdditionalConductivity(RunState& st)
{
    if (!(st.AddCond > 0)) return;
    EngineArrays& a = st.Arr;
    const int last = a.Nn - 1;
    const int lo = st.LeftWall < 0 ? 0 : st.LeftWall;
    const int hi = st.RightWall > last ? last : st.RightWall;
    double* kappa = a.Kappa.data();
    const double add = st.AddCond;
    for (int j = lo; j <= hi; ++j) kappa[j] += add;
}

namespace {

// The inner terms 1/(Kappa S) of the resistance, formed in node chunks
// (over threads) before the sum, which stays in node order.
struct ResistanceRows {
    std::vector<double> term;   // [node]
    std::vector<int> firstBad;  // [chunk]
};

inline bool Unfit(double v)
{
    return !(v > 0) || !std::isfinite(v);
}

// Whether v is not a positive finite number, on its bits: v - 1 has the top
// bit set for +0 and the negatives below -0, v + 2^52 for -0 and for the
// exponent of all ones (infinity, NaN). Without a branch, so loops of it
// vectorise.
inline std::uint64_t UnfitBits(double v)
{
    const std::uint64_t u = std::bit_cast<std::uint64_t>(v);
    return ((u - 1) | (u + 0x0010000000000000u)) >> 63;
}

// The resistance from the terms: the extra-length term divided by DX and the
// two half end terms, in this order, then the inner nodes (ResistanceSum);
// times DX at the end.
double SumStart(RunState& st, int n)
{
    const double* kappa = st.Arr.Kappa.data();
    const double* s = st.Arr.S.data();
    if (st.KappaEnd == 0) st.KappaEnd = kappa[n];
    double sum = 0.0;
    if (st.FakeCapLen != 0) sum = st.FakeCapLen / st.KappaEnd / st.DX;
    sum += 0.5 / (kappa[0] * s[0]);
    sum += 0.5 / (kappa[n] * s[n]);
    return sum;
}

double SumResistance(RunState& st, const double* term, int n)
{
    ResistanceSum sum;
    sum.start = SumStart(st, n);
    sum.Add(term, 1, n - 1);
    return sum.Total() * st.DX;
}

// The resistance (0 without inner nodes) from the terms formed by
// ResistanceTermsOfChunk, and in `bad` the first unfit node of the column
// (INT_MAX when none).
double Resistance(RunState& st, int& bad)
{
    const int n = ColumnEnd(st);
    bad = INT_MAX;
    if (n < 1) {
        if (n == 0 && (Unfit(st.Arr.Kappa[0]) || Unfit(st.Arr.S[0]))) bad = 0;
        return 0.0;
    }
    ResistanceRows& rows = st.Engine.Scratch<ResistanceRows>();
    const int parts = ForNodeChunks(
        st.Engine.Threads, 0, n, kParallelMinChunk, [&](int clo, int chi, int chunk, int) {
            rows.firstBad[static_cast<std::size_t>(chunk)] = ResistanceTermsOfChunk(st, clo, chi);
        });
    bad = FirstUnfitNode(st.Engine, parts);
    return SumResistance(st, rows.term.data(), n);
}

// What makes the column unfit to carry the current: node `bad` whose
// conductivity or cross-section is not a positive finite number (a negative
// conductivity comes from negative concentrations and would reverse the local
// field), else an undefined resistance; empty when the column is sound.
std::string ColumnFault(const EngineArrays& a, int bad, double r)
{
    if (bad != INT_MAX) {
        if (Unfit(a.Kappa[bad]))
            return kBadConductivityAt + std::to_string(bad) + ": " +
                   GeneralFloatText(a.Kappa[bad]) + " S/m" + kCalculationStopped;
        return kBadCrossSectionAt + std::to_string(bad) + ": " + GeneralFloatText(a.S[bad]) +
               " m2" + kCalculationStopped;
    }
    if (!(r > 0) || !std::isfinite(r)) return kBadResistance;
    return {};
}

// U and I from the resistance, or the warning and the stop.
bool ApplyResistance(RunState& st, int bad, double r)
{
    if (const std::string fault = ColumnFault(st.Arr, bad, r); !fault.empty()) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "CalcVoltageCurrent", fault);
        return false;
    }
    if (st.rbVoltage) {
        st.U = st.UI;
        st.I = st.U / r;
    } else {
        st.I = st.UI * 1e-6;
        st.U = st.I * r;
    }
    return true;
}

}  // namespace

int ColumnEnd(const RunState& st)
{
    return st.Arr.Nn - 1 < st.NX ? st.Arr.Nn - 1 : st.NX;
}

void PrepareResistanceTerms(RunState& st)
{
    ResistanceRows& rows = st.Engine.Scratch<ResistanceRows>();
    const std::size_t nn = static_cast<std::size_t>(st.Arr.Nn);
    const std::size_t chunks = static_cast<std::size_t>(st.Engine.Threads.MaxChunks());
    if (rows.term.size() < nn) rows.term.assign(nn, 0.0);
    if (rows.firstBad.size() < chunks) rows.firstBad.assign(chunks, INT_MAX);
}

int ResistanceTermsOfChunk(RunState& st, int clo, int chi)
{
    const int n = ColumnEnd(st);
    const double* __restrict kappa = st.Arr.Kappa.data();
    const double* __restrict s = st.Arr.S.data();
    double* __restrict term = st.Engine.Scratch<ResistanceRows>().term.data();
    const int lo = clo < 1 ? 1 : clo, hi = chi > n - 1 ? n - 1 : chi;
    // The fitness as a mask over the chunk; the node is sought only where the
    // mask found one.
    std::uint64_t bad =
        UnfitBits(kappa[clo]) | UnfitBits(s[clo]) | UnfitBits(kappa[chi]) | UnfitBits(s[chi]);
    for (int j = lo; j <= hi; ++j) {
        term[j] = 1.0 / (kappa[j] * s[j]);
        bad |= UnfitBits(kappa[j]) | UnfitBits(s[j]);
    }
    if (bad)
        for (int j = clo; j <= chi; ++j)
            if (Unfit(kappa[j]) || Unfit(s[j])) return j;
    return INT_MAX;
}

void SetChunkUnfitNode(EngineContext& engine, int chunk, int node)
{
    engine.Scratch<ResistanceRows>().firstBad[static_cast<std::size_t>(chunk)] = node;
}

int FirstUnfitNode(EngineContext& engine, int parts)
{
    const ResistanceRows& rows = engine.Scratch<ResistanceRows>();
    for (int c = 0; c < parts; ++c)
        if (rows.firstBad[static_cast<std::size_t>(c)] != INT_MAX)
            return rows.firstBad[static_cast<std::size_t>(c)];
    return INT_MAX;
}

bool VoltageCurrentFromTerms(RunState& st, int parts)
{
    const int n = ColumnEnd(st);
    const int bad = FirstUnfitNode(st.Engine, parts);
    return ApplyResistance(st, bad,
                           SumResistance(st, st.Engine.Scratch<ResistanceRows>().term.data(), n));
}

void ResistanceSum::Add(const double* term, int lo, int hi)
{
    int j = lo;
    for (; j <= hi && j % kLanes != 0; ++j) lane[j % kLanes] += term[j];
    // Whole groups of kLanes nodes: the lanes are independent sums.
    double l0 = lane[0], l1 = lane[1], l2 = lane[2], l3 = lane[3];
    double l4 = lane[4], l5 = lane[5], l6 = lane[6], l7 = lane[7];
    for (; j + kLanes - 1 <= hi; j += kLanes) {
        l0 += term[j];
        l1 += term[j + 1];
        l2 += term[j + 2];
        l3 += term[j + 3];
        l4 += term[j + 4];
        l5 += term[j + 5];
        l6 += term[j + 6];
        l7 += term[j + 7];
    }
    lane[0] = l0, lane[1] = l1, lane[2] = l2, lane[3] = l3;
    lane[4] = l4, lane[5] = l5, lane[6] = l6, lane[7] = l7;
    for (; j <= hi; ++j) lane[j % kLanes] += term[j];
}

double ResistanceSum::Total() const
{
    return start + (((lane[0] + lane[1]) + (lane[2] + lane[3])) +
                    ((lane[4] + lane[5]) + (lane[6] + lane[7])));
}

void StartResistanceSum(RunState& st, ResistanceSum& sum)
{
    sum = ResistanceSum{};
    sum.start = SumStart(st, ColumnEnd(st));
}

void AddResistanceTerms(RunState& st, ResistanceSum& sum, int clo, int chi)
{
    const int n = ColumnEnd(st);
    const int lo = clo < 1 ? 1 : clo, hi = chi < n - 1 ? chi : n - 1;
    if (lo <= hi) sum.Add(st.Engine.Scratch<ResistanceRows>().term.data(), lo, hi);
}

bool VoltageCurrentFromSum(RunState& st, int parts, const ResistanceSum& sum)
{
    return ApplyResistance(st, FirstUnfitNode(st.Engine, parts), sum.Total() * st.DX);
}

double ColumnResistance(RunState& st)
{
    PrepareResistanceTerms(st);
    int bad;
    return Resistance(st, bad);
}

bool CalcVoltageCurrent(RunState& st)
{
    if (st.DiffMode) {
        st.U = 0;
        st.I = 0;
        return true;
    }
    if (!st.Arr.Allocated()) return false;
    PrepareResistanceTerms(st);
    int bad;
    const double r = Resistance(st, bad);
    return ApplyResistance(st, bad, r);
}
