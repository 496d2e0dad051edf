#include "engine/modes/linear/linear_mode.h"

#include <algorithm>
#include <cmath>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/node_threads.h"
#include "engine/step/standard_scheme.h"
#include "foundation/messages.h"

namespace {

// Mean resistivity of the grid by the trapezoid rule; the nodes right of the
// window count with the conductivity of the last node.
double MeanResistivity(const double* kappa, int nx, int rw)
{
    double sum = 0.5 / kappa[0] + 0.5 / kappa[nx];
    for (int j = 1; j <= rw - 1; ++j) sum += 1.0 / kappa[j];
    sum += (nx - rw) / kappa[nx];
    return sum / nx;
}

void LinearDerivatives(RunState& st, int level, bool fieldOnly)
{
    CalcDER_Linear(st, level, fieldOnly);
}

// After the arrays of Init: the matrices of the run while the mode is on;
// otherwise nothing of the composition's size is kept.
void LinearBuilt(RunState& st)
{
    if (ModeSwitchedOn(st, Mode::Linear))
        SetLinearMatrices(st);
    else
        LinearState(st) = LinearModeState{};
}

void LinearReset(RunState& st)
{
    LinearState(st) = LinearModeState{};
}

double MatrixBytes(int n)
{
    return 2.0 * 8.0 * (n + 1.0) * (n + 1.0);
}

// Switched on during a run: the matrices of the run's NComp before the first
// derivatives, when they fit in the run's share of the memory (else the run
// stops with Init's refusal).
bool LinearMatricesReady(RunState& st)
{
    const LinearModeState& m = LinearState(st);
    const int nc = st.Arr.NComp;
    if (m.built && m.Mat1.n() == nc && m.Mat2.n() == nc) return true;
    if (MatrixBytes(nc) > RunMemoryShare()) {
        st.Stop = true;
        st.NumericalFailure = true;
        WarnOncePerRun(st, "DerLinearMatrices", kInitRunTooLarge);
        return false;
    }
    SetLinearMatrices(st);
    return true;
}

}  // namespace

LinearModeState& LinearState(RunState& st)
{
    return st.Engine.ModeState<LinearModeState>();
}
const LinearModeState& LinearState(const RunState& st)
{
    return st.Engine.ModeState<LinearModeState>();
}

double LinearMatrixBytes(const RunState& st, int)
{
    return MatrixBytes(st.Composition.Count());
}

void SetLinearMatrices(RunState& st)
{
    LinearModeState& m = LinearState(st);
    m = LinearModeState{};
    if (st.NComp < 1) return;
    m.Mat1 = TMatrix(st.NComp);
    m.Mat2 = TMatrix(st.NComp);
    m.built = true;
    if (st.NComp != 2) return;
    m.Mat1[1][1] = -2.44586297443e-10;
    m.Mat1[1][2] = -5.49491542042e-10;
    m.Mat1[2][1] = 1.83961711019e-9;
    m.Mat1[2][2] = 1.0040148111e-9;
    m.Mat2[1][1] = 6.57099853217e-10;
    m.Mat2[1][2] = 9.72941002773e-11;
    m.Mat2[2][1] = -3.78440505158e-10;
    m.Mat2[2][2] = 1.13954602666e-9;
}

void CalcDER_Linear(RunState& st, int level, bool fieldOnly)
{
    if (st.cbIgnDER) return;
    EngineArrays& a = st.Arr;
    const int lw = st.LeftWall, rw = st.RightWall, nx = a.Nn - 1;
    if (rw - lw < 2 || nx < 1) return;
    const double h1 = 0.5 / st.DX;
    const double h2 = 1 / st.DX / st.DX;
    ConductivityRows& sc = st.Engine.Scratch<ConductivityRows>();
    sc.Ensure(a.Nn);
    double* kappa = a.Kappa.data();
    ForNodeChunks(st.Engine.Threads, lw, rw, kParallelMinChunk, [&](int clo, int chi, int, int) {
        ConductivityTerm(st, level, clo, chi, h1, sc.W.data(), sc.K.data(), kappa);
    });

    // Drive: the set voltage with the current density it gives, or the set
    // value taken as the current density with the voltage it needs.
    const double rho = MeanResistivity(kappa, nx, rw);
    if (st.DiffMode) {
        st.LinScale = 0;
        st.U = 0;
    } else {
        if (!(rho > 0) || !std::isfinite(rho)) {
            st.Stop = true;
            st.NumericalFailure = true;
            WarnOncePerRun(st, "DerLinear", kBadResistance);
            return;
        }
        if (st.rbVoltage) {
            st.U = st.UI;
            st.LinScale = st.U / st.CapLength / rho;
        } else {
            st.LinScale = st.UI;
            st.U = rho * st.LinScale * st.CapLength;
        }
    }
    if (fieldOnly || level > 4 || !LinearMatricesReady(st)) return;

    const double E0 = st.U / st.CapLength;
    const int nc = a.NComp;
    // Coefficients beyond the matrices (sized at Init) are 0.
    const LinearModeState& mat = LinearState(st);
    const int nm = std::min({nc, mat.Mat1.n(), mat.Mat2.n()});
    const double eof = st.cbEOFDif ? st.EOFMob * E0 : 0.0;
    ForNodeChunks(st.Engine.Threads, lw + 1, rw - 1, kParallelMinChunk,
                  [&](int clo, int chi, int, int) {
                      for (int i = 1; i <= nc; ++i) {
                          double* f = a.F(level, i);
                          std::fill(f + clo, f + chi + 1, 0.0);
                          for (int k = 1; i <= nm && k <= nm; ++k) {
                              const double m2 = mat.Mat2[i][k], m1 = mat.Mat1[i][k];
                              const double* c = a.C(level, k);
                              for (int j = clo; j <= chi; ++j)
                                  f[j] += m2 * (c[j - 1] - 2 * c[j] + c[j + 1]) * h2 -
                                          E0 * m1 * (c[j + 1] - c[j - 1]) * h1;
                          }
                          if (st.cbEOFDif) {
                              const double* c = a.C(level, i);
                              for (int j = clo; j <= chi; ++j)
                                  f[j] += -eof * (c[j + 1] - c[j - 1]) * h1;
                          }
                      }
                  });
    WallTerm(st, level);
}

ModeHooks LinearModeHooks()
{
    ModeHooks h;
    h.name = "Linearized";
    h.Derivatives = LinearDerivatives;
    h.Built = LinearBuilt;
    h.Reset = LinearReset;
    h.InitBytes = LinearMatrixBytes;
    h.holdsRightEnd = true;
    return h;
}
