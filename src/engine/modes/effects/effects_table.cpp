#include "engine/modes/effects/effects_table.h"

#include <cmath>
#include <cstddef>

#include "engine/equilibrium/equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "foundation/math_functions.h"
#include "foundation/numtext.h"

namespace {

constexpr double kKelvin = 273.15;
constexpr double kPKEOFShift = 3.0;  // shown pK (M-1) = engine pK (mM) + 3

const char* const kTitles[kEffectsRows] = {
    "Length (mm)",    "Ratio", "ID (um)",     "S (1e-9 m2)",    "hOA",
    "p (1e-9 Km3/W)", "Mix",   "T (\u00B0C)", "Svol (1e-9 m2)", "pK of EOF (M-1)",
    "Max uEOF (1e-9)"};

using Grid = std::vector<std::vector<std::string>>;

// Sizes the grid to 11 rows and SegCount + 2 columns, keeping what it holds.
void SizeGrid(CapillaryEffects& fx)
{
    const std::size_t cols = static_cast<std::size_t>(fx.SegCount) + 2;
    fx.Grid.resize(kEffectsRows);
    for (auto& row : fx.Grid) row.resize(cols);
}

bool GridFits(const CapillaryEffects& fx)
{
    if (fx.SegCount < 1 || static_cast<int>(fx.Grid.size()) < kEffectsRows) return false;
    for (const auto& row : fx.Grid)
        if (static_cast<int>(row.size()) < fx.SegCount + 2) return false;
    return true;
}

bool Number(const std::string& text, double& v)
{
    return ReadDouble(text, v) && std::isfinite(v);
}

// A text that the conversions take as input: not empty, "?" or "-".
bool InputNumber(const std::string& text, double& v)
{
    if (text.empty() || text == "?" || text == "-") return false;
    return Number(text, v);
}

std::string DefaultText(const EffectsDefaults& d, int row)
{
    return EffectsNumberText(DisplayDefault(d, row), row == kRowS || row == kRowSvol ? 9 : 8);
}

// Create without storing the copy (the project reader restores it itself).
void BuildGrid(RunState& st, int segments)
{
    CapillaryEffects& fx = st.effects();
    fx.SegCount = segments < 1 ? 1 : segments;
    SizeGrid(fx);
    Grid& g = fx.Grid;
    const EffectsDefaults d = EffectsRowDefaults(st);
    for (int r = 0; r < kEffectsRows; ++r) g[r][0] = kTitles[r];
    g[0][1] = "Edge (mm)";
    if (g[1][1].empty()) g[1][1] = "~";
    for (int r = kRowID; r < kEffectsRows; ++r) {
        if (g[r][1].empty()) g[r][1] = EffectsNumberText(DisplayDefault(d, 0));
        if (g[r][2].empty()) g[r][2] = DefaultText(d, r);
    }
    for (int c = 2; c <= fx.SegCount + 1; ++c) {
        if (g[1][c].empty()) g[1][c] = "1";
        for (int r = kRowID; r < kEffectsRows && c > 2; ++r)
            if (g[r][c].empty()) g[r][c] = g[r][2];
    }
    fx.sbData_Visible = true;
    RefreshEffectsGrid(st);
}

// Step of the erf edge from 0 to 1 at c; w <= 0 gives the sharp step.
inline double EdgeStep(double x, double c, double w)
{
    if (w > 0) return 0.5 * (1.0 + Erf((x - c) / (0.5 * w)));
    return x > c ? 1.0 : (x < c ? 0.0 : 0.5);
}

}  // namespace

EffectsDefaults EffectsRowDefaults(const RunState& st)
{
    EffectsDefaults e;
    const double factors[kEffectsRows] = {1000, 1, 1e6, 1e9, 1, 1e9, 1, 1, 1e9, kPKEOFShift, 1e9};
    for (int r = 0; r < kEffectsRows; ++r) e.factor[r] = factors[r];
    const double d = st.CapDiameter;
    double dx = st.DX;
    if (!(dx > 0) && st.NXPending > 0) dx = st.CapLengthPending / st.NXPending;
    e.value[0] = st.PeakEdgeWidthPending > 0 ? 0.001 * st.PeakEdgeWidthPending : 20.0 * dx;
    e.value[kRowRatio] = 1.0;
    e.value[kRowID] = d;
    e.value[kRowS] = kPi * d * d * 0.25;
    e.value[kRowHOA] = 1500.0;
    e.value[kRowP] = d * 0.25 / 1500.0;
    e.value[kRowMix] = 0.0;
    e.value[kRowT] = st.Temperature;
    e.value[kRowSvol] = e.value[kRowS];
    e.value[kRowPKEOF] = 5.5 - kPKEOFShift;
    e.value[kRowUEOF] = 5e-8;
    return e;
}

double DisplayDefault(const EffectsDefaults& d, int row)
{
    if (row == kRowT) return d.value[row] - kKelvin;
    if (row == kRowPKEOF) return d.value[row] + kPKEOFShift;
    return d.value[row] * d.factor[row];
}

std::string EffectsNumberText(double value, int digits)
{
    if (!std::isfinite(value)) return "?";
    return FloatToStr(RoundD(value, digits));
}

const char* EffectsRowTitle(int row)
{
    return row >= 0 && row < kEffectsRows ? kTitles[row] : "";
}

void CreateEffectsGrid(RunState& st, int segments)
{
    BuildGrid(st, segments);
    StoreEffectsTable(st.effects());
}

namespace {

// Empties every cell below the title row and right of the titles; false when
// there is no table.
bool EmptyCells(CapillaryEffects& fx)
{
    if (fx.SegCount < 1) return false;
    SizeGrid(fx);
    for (int r = 1; r < kEffectsRows; ++r)
        for (int c = 1; c <= fx.SegCount + 1; ++c) fx.Grid[r][c].clear();
    return true;
}

}  // namespace

void DefaultEffectsGrid(RunState& st)
{
    if (EmptyCells(st.effects())) CreateEffectsGrid(st, st.SegCount);
}

void ClearEffectsGrid(RunState& st)
{
    CapillaryEffects& fx = st.effects();
    if (!EmptyCells(fx)) return;
    for (int c = 2; c <= fx.SegCount + 1; ++c) {
        fx.Grid[0][c] = "-";
        fx.Grid[1][c] = "1";
    }
}

int RefreshEffectsGrid(RunState& st)
{
    CapillaryEffects& fx = st.effects();
    if (!GridFits(fx)) return 0;
    Grid& g = fx.Grid;
    const int n = fx.SegCount;
    // Segment lengths from the ratios.
    double sum = 0;
    int bad = 0;
    for (int c = 2; c <= n + 1 && !bad; ++c) {
        double r;
        if (!Number(g[1][c], r)) {
            bad = c;
            break;
        }
        if (r < 0) {
            r = -r;
            g[1][c] = FloatToStr(r);
        }
        sum += r;
    }
    for (int c = 2; c <= n + 1; ++c) {
        double r = 0;
        if (bad)
            g[0][c] = "-";
        else if (!(sum > 0))
            g[0][c] = "0";
        else if (Number(g[1][c], r))
            g[0][c] = EffectsNumberText(r / sum * st.CapLengthPending * 1000.0, 6);
    }
    // The computed row of each input pair.
    for (int c = 2; c <= n + 1; ++c) {
        double v;
        if (fx.rbD) {
            if (InputNumber(g[kRowID][c], v))
                g[kRowS][c] = EffectsNumberText(kPi * v * v * 0.25 * 0.001, 9);
        } else if (InputNumber(g[kRowS][c], v)) {
            g[kRowID][c] = v < 0 ? "?" : EffectsNumberText(std::sqrt(4.0 / kPi * v * 1e-9) * 1e6);
        }
        double id;
        const bool haveId = InputNumber(g[kRowID][c], id);
        if (fx.rbH) {
            if (InputNumber(g[kRowHOA][c], v))
                g[kRowP][c] =
                    !haveId || v == 0 ? "?" : EffectsNumberText(id * 0.25 / v * 1e-6 * 1e9);
        } else if (InputNumber(g[kRowP][c], v)) {
            g[kRowHOA][c] = !haveId || v == 0 ? "?" : EffectsNumberText(id * 0.25 / v * 1e-6 * 1e9);
        }
    }
    return bad;
}

void StoreEffectsTable(CapillaryEffects& fx)
{
    if (!GridFits(fx)) return;
    const int n = fx.SegCount;
    auto value = [&](int r, int c) {
        double v;
        return Number(fx.Grid[r][c], v) ? v : -1.0;
    };
    fx.TableEdge.assign(12, 0.0);
    fx.TableRows.assign(12, std::vector<double>(static_cast<std::size_t>(n) + 1, 0.0));
    for (int r = 2; r <= 11; ++r)
        for (int k = 1; k <= n; ++k) fx.TableRows[r][k] = value(r - 1, k + 1);
    for (int r = 3; r <= 11; ++r) fx.TableEdge[r] = value(r - 1, 1);
}

void RestoreEffectsTable(RunState& st)
{
    CapillaryEffects& fx = st.effects();
    const int n = fx.SegCount;
    const bool copy = n >= 1 && fx.TableEdge.size() >= 12 && fx.TableRows.size() >= 12;
    fx.Grid.clear();
    if (!copy) {
        fx.sbData_Visible = false;
        return;
    }
    SizeGrid(fx);
    for (int r = 2; r <= 11; ++r) {
        const auto& row = fx.TableRows[r];
        for (int k = 1; k <= n && k < static_cast<int>(row.size()); ++k)
            fx.Grid[r - 1][k + 1] = FloatToStr(row[k]);
    }
    for (int r = 3; r <= 11; ++r) fx.Grid[r - 1][1] = FloatToStr(fx.TableEdge[r]);
    BuildGrid(st, n);
}

std::vector<double> ErfSegmentProfile(const std::vector<double>& values,
                                      const std::vector<double>& bounds, double w, int nx,
                                      double length, std::vector<std::vector<double>>* windows)
{
    const int n = static_cast<int>(values.size()) - 1;
    std::vector<double> out(static_cast<std::size_t>(nx) + 1, n >= 1 ? values[1] : 0.0);
    if (windows)
        windows->assign(static_cast<std::size_t>(n) + 1, std::vector<double>(out.size(), 0.0));
    for (int i = 0; i <= nx; ++i) {
        const double x = nx > 0 ? i * length / nx : 0.0;
        for (int k = 1; k < n; ++k)
            out[i] += (values[k + 1] - values[k]) * EdgeStep(x, bounds[k], w);
        if (!windows || n < 1) continue;
        auto& win = *windows;
        if (n == 1) {
            // One segment: its window is the whole capillary.
            win[1][i] = values[1];
            continue;
        }
        win[1][i] = values[1] * (1.0 - EdgeStep(x, bounds[1], w));
        win[n][i] = values[n] * EdgeStep(x, bounds[n - 1], w);
        for (int k = 2; k < n; ++k)
            win[k][i] = values[k] * (EdgeStep(x, bounds[k - 1], w) - EdgeStep(x, bounds[k], w));
    }
    return out;
}

void ResetEffectsProfiles(RunState& st)
{
    EngineArrays& a = st.Arr;
    if (!a.Allocated()) return;
    const EffectsDefaults d = EffectsRowDefaults(st);
    for (int j = 0; j < a.Nn; ++j) {
        a.S[j] = d.value[kRowS];
        a.HeatP[j] = d.value[kRowP];
        a.Mix[j] = 0.0;
        a.SVol[j] = d.value[kRowSvol];
        a.PKEOF[j] = d.value[kRowPKEOF];
        a.UEOFMax[j] = d.value[kRowUEOF];
        a.T0[j] = d.value[kRowT];
        for (int l = 1; l <= 5; ++l) a.T(l)[j] = d.value[kRowT];
    }
    // The mixing windows follow the Mix profile: no mixing.
    for (int s = 1; s <= a.MixSegCount && s < a.MixWindow.Rows(); ++s)
        for (int j = 0; j < a.Nn; ++j) a.MixWindow[s][j] = 0.0;
}

namespace {

class ProfileBuilder {
public:
    ProfileBuilder(RunState& st, const EffectsDefaults& d) : st_(st), d_(d), g_(st.effects().Grid)
    {
        const int n = st.SegCount;
        nx_ = st.Arr.Nn - 1;
        bounds_.assign(static_cast<std::size_t>(n) + 1, 0.0);
        double cum = 0, ratio;
        for (int k = 1; k <= n; ++k) {
            if (!Number(g_[1][k + 1], ratio) || ratio < 0) {
                ratio = d.value[kRowRatio];
                ok = false;
            }
            cum += ratio;
            bounds_[k] = cum;
        }
        double sum = cum;
        if (!(sum > 0)) {
            sum = 1.0;
            ok = false;
        }
        for (int k = 1; k < n; ++k) bounds_[k] = st.CapLength * bounds_[k] / sum;
    }

    // Row `row` in display units over the nodes; signRule 1: > 0, 0: >= 0, -1:
    // any (a temperature above absolute zero). A bad cell fails the table and
    // its row default takes its place; the other cells are built as typed.
    std::vector<double> Row(int row, int signRule,
                            std::vector<std::vector<double>>* windows = nullptr)
    {
        double w = d_.value[0], v;
        if (Number(g_[row][1], v) && v >= 0)
            w = v * 0.001;
        else
            ok = false;
        // An edge of width 0 has no erf transition: the row steps sharply and
        // fails the table.
        if (!(w > 0)) ok = false;
        const int n = st_.SegCount;
        std::vector<double> values(static_cast<std::size_t>(n) + 1, DisplayDefault(d_, row));
        for (int k = 1; k <= n; ++k) {
            if (!Number(g_[row][k + 1], v)) {
                ok = false;
                continue;
            }
            bool accepted = signRule > 0 ? v > 0 : (signRule == 0 ? v >= 0 : true);
            if (row == kRowT) accepted = v + kKelvin > 0;
            if (accepted)
                values[k] = v;
            else
                ok = false;
        }
        return ErfSegmentProfile(values, bounds_, w, nx_, st_.CapLength, windows);
    }

    // A converted profile value that is not finite fails the table; the row's
    // default (engine unit) takes its place.
    double Finite(double v, double fallback)
    {
        if (std::isfinite(v)) return v;
        ok = false;
        return fallback;
    }

    bool ok = true;

private:
    RunState& st_;
    const EffectsDefaults& d_;
    const Grid& g_;
    std::vector<double> bounds_;
    int nx_ = 0;
};

}  // namespace

bool ApplyEffects(RunState& st)
{
    EngineArrays& a = st.Arr;
    CapillaryEffects& fx = st.effects();
    // Every profile starts from its default, so that an effect switched off
    // since the last build leaves nothing behind.
    ResetEffectsProfiles(st);
    if (!a.Allocated() || !fx.sbData_Visible || !AnyCapillaryEffect(st) || !GridFits(fx))
        return true;
    const EffectsDefaults d = EffectsRowDefaults(st);
    ProfileBuilder b(st, d);
    const int nn = a.Nn;

    // Each row is committed as built: a bad cell costs only its own value.
    if (st.cbS) {
        const std::vector<double> S = b.Row(st.rbD ? kRowID : kRowS, 1);
        for (int j = 0; j < nn; ++j)
            a.S[j] = b.Finite(st.rbD ? kPi * S[j] * S[j] * 0.25 / 1e6 / 1e6 : S[j] / 1e9,
                              d.value[kRowS]);
    }
    if (st.cbH) {
        if (st.rbH) {
            const std::vector<double> hOA = b.Row(kRowHOA, 1);
            if (st.cbS && !st.rbD) ShowWarning(kEffectsHeatCombination);
            for (int j = 0; j < nn; ++j) {
                const double dia = st.cbS ? std::sqrt(4.0 / kPi * a.S[j]) : st.CapDiameter;
                a.HeatP[j] = b.Finite(dia * 0.25 / hOA[j], d.value[kRowP]);
            }
        } else {
            const std::vector<double> p = b.Row(kRowP, 0);
            for (int j = 0; j < nn; ++j) a.HeatP[j] = b.Finite(p[j] / 1e9, d.value[kRowP]);
        }
    }
    if (st.cbMix) {
        // The window rows exist for the segment count of the last Init.
        const bool windowsFit = fx.SegCount == a.MixSegCount;
        if (!windowsFit) b.ok = false;
        std::vector<std::vector<double>> windows;
        const std::vector<double> mix = b.Row(kRowMix, -1, windowsFit ? &windows : nullptr);
        for (int j = 0; j < nn; ++j) {
            if (mix[j] < 0) b.ok = false;
            a.Mix[j] = mix[j] < 0 ? 0.0 : b.Finite(mix[j], 0.0);
        }
        for (int k = 1; k < static_cast<int>(windows.size()) && k <= a.MixSegCount; ++k)
            for (int j = 0; j < nn; ++j)
                a.MixWindow[k][j] = windows[k][j] < 0 ? 0.0 : b.Finite(windows[k][j], 0.0);
    }
    if (st.cbT) {
        const std::vector<double> T = b.Row(kRowT, -1);
        for (int j = 0; j < nn; ++j) {
            const double t = b.Finite(T[j] + kKelvin, d.value[kRowT]);
            a.T0[j] = t;
            for (int l = 1; l <= 5; ++l) a.T(l)[j] = t;
        }
    }
    if (st.cbSvol) {
        const std::vector<double> S = b.Row(kRowSvol, 1);
        for (int j = 0; j < nn; ++j) a.SVol[j] = b.Finite(S[j] / 1e9, d.value[kRowSvol]);
    }
    if (st.cbEOF) {
        const std::vector<double> pK = b.Row(kRowPKEOF, -1);
        const std::vector<double> u = b.Row(kRowUEOF, -1);
        bool negative = false;
        for (int j = 0; j < nn; ++j) {
            a.PKEOF[j] = b.Finite(pK[j] - kPKEOFShift, d.value[kRowPKEOF]);
            a.UEOFMax[j] = b.Finite(u[j] / 1e9, d.value[kRowUEOF]);
            negative = negative || a.UEOFMax[j] < 0;
        }
        if (negative) ShowWarning(kEffectsNegativeEOF);
    }
    StoreEffectsTable(fx);
    return b.ok;
}
