#include "tools/diagnostics.h"

#include "engine/state/run_state.h"
#include "foundation/numtext.h"

#include <cmath>

namespace {

double Finite(double v, double instead)
{
    return std::isfinite(v) ? v : instead;
}

}  // namespace

bool ComputeDiagnostics(const RunState& st, const DiagnosticsParams& p, DiagnosticsSeries& out)
{
    out = DiagnosticsSeries{};
    const EngineArrays& a = st.Arr;
    const int L = p.LineIndex, N = st.NX;
    if (!st.Initialised || !a.Allocated() || L < 1 || L > a.NComp || N < 2 || a.Nn != N + 1 ||
        a.UEff.Rows() <= L || a.UEff.Cols() != a.Nn || static_cast<int>(a.Kappa.size()) < a.Nn)
        return false;
    const double* c = a.C(2, L);
    const double* u = a.UEff[L];
    const std::vector<double>& k = a.Kappa;
    const double s = st.LinScale;
    out.Sx.Add(0, 0);
    out.bx.Add(0, 0);
    for (int i = 1; i <= N - 1; ++i) {
        const double dc = 0.5 * (c[i + 1] - c[i - 1]);
        const double dr = 0.5 * s * (u[i + 1] / k[i + 1] - u[i - 1] / k[i - 1]);
        const double dk = 0.5 * (k[i + 1] - k[i - 1]);
        const double r = u[i] * s / k[i];
        double sx = p.INFValue, bx = p.INFValue;
        if (std::fabs(dc) > p.MinDC) {
            // A neutral constituent or a zero conductivity gives no finite quotient: drawn as "too
            // small".
            sx = Finite(k[i] / r * dr / dc, p.INFValue);
            bx = Finite(dk / dc, p.INFValue);
        }
        const double x = i * st.CapLength / N;
        out.Sx.Add(x, sx * p.MultSx);
        out.bx.Add(x, bx * p.Multbx);
    }
    out.Sx.Add(st.CapLength, 0);
    out.bx.Add(st.CapLength, 0);
    for (ChartSeries* series : {&out.Sx, &out.bx}) {
        series->y[0] = series->y[1];
        series->y[N] = series->y[N - 1];
    }
    for (int i = 0; i <= N; ++i) {
        out.comp.Add(i * st.CapLength / N * st.XScale, c[i] * p.MultC);
        if (!p.ShowVx) continue;
        const double r = u[i] * s / k[i];
        if (std::isfinite(r)) out.vx.Add(c[i], r * p.Multvx);
    }
    return true;
}

void ReadDiagnosticsTexts(DiagnosticsParams& p, const std::string texts[6])
{
    double* fields[] = {&p.INFValue, &p.MultSx, &p.Multbx, &p.Multvx, &p.MultC};
    for (int k = 0; k < 5; ++k) {
        double v;
        if (ReadDouble(texts[k], v)) *fields[k] = v;
    }
    double v;
    if (ReadDouble(texts[5], v) && v > 0) p.MinDC = v;
}

std::string DiagnosticsPointText(double y, int index)
{
    return "Value = " + FloatToStr(y) + "\nPosition = " + std::to_string(index + 1);
}

LineAnswer ReadDiagnosticsLine(const RunResults& results, const std::string& text, int& line)
{
    if (text.empty() || text == " ") return LineAnswer::Cancelled;
    int v = 0;
    if (!ReadInt(text, v)) return LineAnswer::Cancelled;
    if (v < 1 || v > results.NComp) return LineAnswer::Refused;
    line = v;
    return LineAnswer::Taken;
}
