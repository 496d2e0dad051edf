#include "engine/complex_mode.h"
#include "engine/run_calc.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/comp_window.h"
#include "engine/derivatives.h"
#include "engine/equilibrium.h"
#include "engine/equilibrium_range.h"
#include "engine/modes.h"
#include "engine/rk_start.h"
#include "engine/run_state.h"
#include "engine/step_services.h"
#include "foundation/errors.h"

namespace {

// Sets the window to the whole grid for its lifetime.
class WholeGrid {
public:
    explicit WholeGrid(RunState& st) : st_(st), lw_(st.LeftWall), rw_(st.RightWall) {
        st.LeftWall = 0;
        st.RightWall = st.NX;
    }
    ~WholeGrid() {
        st_.LeftWall = lw_;
        st_.RightWall = rw_;
    }
    WholeGrid(const WholeGrid&) = delete;
    WholeGrid& operator=(const WholeGrid&) = delete;

private:
    RunState& st_;
    int lw_, rw_;
};

// Level 2 into level 1: forms of the constituents and cH, C and F of every
// row, temperature and its derivative; all nodes.
void CopyLevel2To1(EngineArrays& a) {
    const int nc = a.NComp, nn = a.Nn;
    for (int i = 1; i <= nc; ++i)
        for (int k = 0; k < a.Forms(i); ++k)
            std::copy(a.CForm(2, i, k), a.CForm(2, i, k) + nn, a.CForm(1, i, k));
    std::copy(a.CH(2), a.CH(2) + nn, a.CH(1));
    for (int i = 1; i <= nc + 2; ++i) {
        std::copy(a.C(2, i), a.C(2, i) + nn, a.C(1, i));
        std::copy(a.F(2, i), a.F(2, i) + nn, a.F(1, i));
    }
    std::copy(a.T(2), a.T(2) + nn, a.T(1));
    std::copy(a.DTdt(2), a.DTdt(2) + nn, a.DTdt(1));
    std::copy(a.IonicStrength(2), a.IonicStrength(2) + nn, a.IonicStrength(1));
}

// Constant left border: node 0 held at its left-end value while it belongs to
// the window.
inline void LeftBorder(const RunState& st, double* c, double cLeft) {
    if (st.LeftWall == 0) c[0] = cLeft;
}

class Stepper {
public:
    explicit Stepper(RunState& st)
        : st_(st), a_(st.Arr), nc_(st.Arr.NComp), H_(st.Arr.NComp + 1) {}

    // One predictor-corrector step; false when a numerical failure rejects it.
    bool Step(RunLocals& loc);

private:
    void PredictRow(int row, double* c1, const double* c5, double q);
    void CorrectRow(int row, double* c1, const double* c2, const double* c4, double q);
    void Predictor();
    void Corrector();
    void Equilibrium(bool corrector);
    bool Converged();
    double ErrorEstimate();
    void SpeciateOutsideWindow();

    RunState& st_;
    EngineArrays& a_;
    const int nc_;
    const int H_;
};

// Predictor of one row (a constituent, or cH as row NComp + 1) over the
// window; Pred keeps the predicted window for the error estimate.
void Stepper::PredictRow(int row, double* c1, const double* c5, double q) {
    const int lw = st_.LeftWall, rw = st_.RightWall;
    const double* f2 = a_.F(2, row);
    const double* f3 = a_.F(3, row);
    const double* f4 = a_.F(4, row);
    double* pred = a_.Pred[row];
    for (int j = lw; j <= rw; ++j) c1[j] = c5[j] + q * (2 * f2[j] - f3[j] + 2 * f4[j]);
    if (st_.cbLBorder) LeftBorder(st_, c1, a_.CLeft[row]);
    std::copy(c1 + lw, c1 + rw + 1, pred + lw);
    // The linearised mode holds the right end too (Pred keeps the computed value).
    if (st_.cbLBorder && st_.cbMX) c1[st_.NX] = a_.CLeft[row];
}

// Corrector of one row over the window; Corr keeps the derivative it started from.
void Stepper::CorrectRow(int row, double* c1, const double* c2, const double* c4, double q) {
    const int lw = st_.LeftWall, rw = st_.RightWall;
    const double* f1 = a_.F(1, row);
    const double* f2 = a_.F(2, row);
    const double* f3 = a_.F(3, row);
    std::copy(f1 + lw, f1 + rw + 1, a_.Corr[row] + lw);
    for (int j = lw; j <= rw; ++j) c1[j] = (9 * c2[j] - c4[j]) / 8 + q * (f1[j] + 2 * f2[j] - f3[j]);
    if (st_.cbLBorder) {
        LeftBorder(st_, c1, a_.CLeft[row]);
        if (st_.cbMX) c1[st_.NX] = a_.CLeft[row];
    }
}

void Stepper::Predictor() {
    const double q = 4.0 / 3.0 * st_.DT;
    for (int i = 1; i <= nc_; ++i) {
        if (a_.SkipComp[i] == 1) {
            // Immobile constituents keep their profile in every level.
            std::copy(a_.C(2, i), a_.C(2, i) + a_.Nn, a_.C(1, i));
            continue;
        }
        PredictRow(i, a_.C(1, i), a_.C(5, i), q);
    }
    if (st_.cbDcH) {
        PredictRow(H_, a_.CH(1), a_.CH(5), q);
        CalcSpeciation(st_, 1, -1);
    }
    if (st_.cbH) {
        // The temperature, integrated like a concentration (Pred row NComp + 2).
        const int lw = st_.LeftWall, rw = st_.RightWall;
        double* t1 = a_.T(1);
        const double* t5 = a_.T(5);
        const double *d2 = a_.DTdt(2), *d3 = a_.DTdt(3), *d4 = a_.DTdt(4);
        for (int j = lw; j <= rw; ++j) t1[j] = t5[j] + q * (2 * d2[j] - d3[j] + 2 * d4[j]);
        std::copy(t1 + lw, t1 + rw + 1, a_.Pred[nc_ + 2] + lw);
    }
    ModeStageUpdates(st_, 1);
}

void Stepper::Corrector() {
    const double q = 3.0 / 8.0 * st_.DT;
    for (int i = 1; i <= nc_; ++i)
        if (a_.SkipComp[i] != 1) CorrectRow(i, a_.C(1, i), a_.C(2, i), a_.C(4, i), q);
    if (st_.cbDcH) {
        CorrectRow(H_, a_.CH(1), a_.CH(2), a_.CH(4), q);
        CalcSpeciation(st_, 1, -1);
    }
    if (st_.cbH) {
        const int lw = st_.LeftWall, rw = st_.RightWall;
        double* t1 = a_.T(1);
        const double *t2 = a_.T(2), *t4 = a_.T(4);
        const double *d1 = a_.DTdt(1), *d2 = a_.DTdt(2), *d3 = a_.DTdt(3);
        std::copy(d1 + lw, d1 + rw + 1, a_.Corr[nc_ + 2] + lw);
        for (int j = lw; j <= rw; ++j) t1[j] = (9 * t2[j] - t4[j]) / 8 + q * (d1[j] + 2 * d2[j] - d3[j]);
    }
    ModeStageUpdates(st_, 1);
}

void Stepper::Equilibrium(bool corrector) {
    if (!ConcentrationsFinite(st_, 1) || st_.cbDcH) return;
    ModesBeforeEquilibrium(st_, 1);
    // The corrector passes leave the ionic-strength correction out unless cbPCIS.
    EquilibriumForDerivatives(st_, 1, st_.ISCorrection && (!corrector || st_.cbPCIS));
}

bool Stepper::Converged() {
    const int lw = st_.LeftWall, rw = st_.RightWall;
    const double eps = st_.EpsCor;
    double maxChange = st_.MaxCorrChange;
    // One row: whether every interior node's derivative changed by less than
    // eps relative to it (the denominator keeps the sign of the derivative).
    auto rowConverged = [&](const double* f1, const double* corr) {
        for (int j = lw + 1; j < rw; ++j) {
            const double d = std::fabs(f1[j] - corr[j]);
            if (d > maxChange) maxChange = d;
            const double den = (f1[j] == 0 || d <= eps) ? 1.0 : f1[j];
            if (d / den >= eps) return false;
        }
        return true;
    };
    bool ok = true;
    for (int i = 1; i <= nc_ && ok; ++i)
        if (a_.SkipComp[i] != 1) ok = rowConverged(a_.F(1, i), a_.Corr[i]);
    // The temperature is tested also when the concentrations have failed.
    if (st_.cbH && !rowConverged(a_.DTdt(1), a_.Corr[nc_ + 2])) ok = false;
    st_.MaxCorrChange = maxChange;
    return ok;
}

double Stepper::ErrorEstimate() {
    const int lw = st_.LeftWall, rw = st_.RightWall;
    double err = 0;
    for (int i = 1; i <= nc_; ++i) {
        if (a_.SkipComp[i] == 1) continue;
        const double* c1 = a_.C(1, i);
        const double* pred = a_.Pred[i];
        for (int j = lw; j <= rw; ++j) err = std::max(err, std::fabs(c1[j] - pred[j]));
    }
    if (st_.cbDcH) {
        const double* h1 = a_.CH(1);
        const double* pred = a_.Pred[H_];
        for (int j = lw; j <= rw; ++j) err = std::max(err, std::fabs(h1[j] - pred[j]));
    }
    if (st_.cbH && !st_.cbAccT) {
        const double* t1 = a_.T(1);
        const double* pred = a_.Pred[nc_ + 2];
        for (int j = lw; j <= rw; ++j) err = std::max(err, std::fabs(t1[j] - pred[j]));
    }
    return err;
}

// The nodes of level 1 outside the window, which the derivative routine of this
// step left alone (see CalcDERInWindow).
void Stepper::SpeciateOutsideWindow() {
    if (!WindowSpeciationExact(st_)) return;
    const int lw = st_.LeftWall, rw = st_.RightWall;
    if (lw > 0) CalcSpeciationRange(st_, 1, 0, lw - 1);
    if (rw < st_.NX) CalcSpeciationRange(st_, 1, rw + 1, st_.NX);
}

bool Stepper::Step(RunLocals& loc) {
    st_.NumericalFailure = false;
    Predictor();
    Equilibrium(false);
    if (!st_.NumericalFailure) CalcDERInWindow(st_, 1, false);

    loc.CorrectorIterations = 0;
    st_.MaxCorrChange = 0;
    while (!st_.NumericalFailure) {
        Corrector();
        Equilibrium(true);
        if (st_.NumericalFailure) break;
        CalcDERInWindow(st_, 1, false);
        if (st_.NumericalFailure) break;
        const bool ok = Converged();
        loc.CorrectorIterations += 1;
        ++st_.CorrectorPassCount;
        if (ok || loc.CorrectorIterations >= 10) break;
    }
    if (st_.cbLastCor && !st_.NumericalFailure) {
        Corrector();
        Equilibrium(true);
        if (!st_.NumericalFailure) CalcDERInWindow(st_, 1, false);
    }
    if (!st_.NumericalFailure) SpeciateOutsideWindow();
    // A rejected step leaves the error of the last accepted step shown.
    if (st_.NumericalFailure) return false;
    if (!ConcentrationsFinite(st_, 1)) return false;
    st_.StepError = ErrorEstimate();

    EngineArrays::RotateLevels(a_.lvC, 5);
    EngineArrays::RotateLevels(a_.lvIS, 5);
    EngineArrays::RotateLevels(a_.lvF, 4);
    if (st_.cbH) {
        EngineArrays::RotateLevels(a_.lvT, 5);
        EngineArrays::RotateLevels(a_.lvDT, 4);
    }
    if (!st_.DiffMode && !(st_.cbSDS && !st_.CMCProfileReady)) st_.Time += st_.DT;
    st_.StepCount += 1;
    loc.RunSteps += 1;
    return true;
}

// After a rejected step the shared profiles (pH, forms, conductivity, field,
// U, I) hold the failed level; bring them back to level 2.
void RestoreLevel2Profiles(RunState& st) {
    const bool stop = st.Stop;
    const bool failure = st.NumericalFailure;
    CalcDER(st, 2, true);
    st.Stop = stop || st.Stop;
    st.NumericalFailure = failure;
}

}  // namespace

void DisableRunSetup(RunState& st) {
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, false));
}

void StopCalc(RunState& st) {
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, true));
    st.Stop = true;
    st.Running = false;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
}

void RunCalc(RunState& st) {
    if (st.cbComplex && !ComplexUsable(st)) {
        // Complexation mode runs on the data its set-up built at Init.
        ShowWarning("Complex (Elneut): Data not initialized!");
        return;
    }
    if (st.Composition.Count() == 0 && !st.Initialised) {
        ShowWarning("No constituents!");
        return;
    }
    if (!(st.Time < st.StopTime)) {
        ShowWarning("Calculation is already DONE! Increase stop-time to continue");
        return;
    }
    if (!st.Initialised || !st.Arr.Allocated()) ThrowErrorCode(-10, "Elneut>>is_init == false");

    EngineHost& host = st.host();
    RunLocals loc;
    loc.PsqAppendAllowed = true;
    st.Running = true;
    st.Stop = false;
    st.NumericalFailure = false;
    st.WarnedThisRun.clear();
    st.StepError = 0;
    st.MaxCorrChange = 0;

    UpdateComputationWindow(st);
    RedrawGraph(st);
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    host.ProcessMessages();
    DisableRunSetup(st);
    st.RunStart = host.NowDays();
    st.RunStartStamp = host.NowDays();

    if (!st.PsqStarted) {
        st.recorder().AppendPsqFrame(st.PsqFile);
        {
            WholeGrid whole(st);
            host.SetStatusText("Initializing Arrays ...");
            host.ProcessMessages();
            RestartMultistep(st, 2);
            st.PsqStarted = true;
        }
    } else if (st.Statics.LastRunDT != st.DT) {
        st.Restart = true;
    }
    host.SetStatusText("Running ...");
    host.ProcessMessages();
    loc.RunSteps = 0;

    CopyLevel2To1(st.Arr);
    CalcSpeciation(st, 2, -1);

    Stepper stepper(st);
    while (!st.Stop && st.Time + st.DT < st.StopTime) {
        ClampComputationWindow(st);
        st.NumericalFailure = false;
        if (st.Restart && !RestartMultistep(st, 2)) break;
        if (!stepper.Step(loc)) {
            RestoreLevel2Profiles(st);
            break;
        }
        if (const auto afterStep = SelectedModeHooks(st).AfterStep) afterStep(st);
        StepServices(st, loc);
    }

    if (st.ShowSpentArmed && st.cbShowSpentTime)
        ShowMessage("Spent Time: " + GeneralFloatText(ElapsedSeconds(st, 0)));
    st.Stop = false;
    st.Running = false;
    host.SetStatusText("Ready!");
    st.SpentTime += ElapsedSeconds(st, st.RunStartStamp);
    st.Statics.LastRunDT = st.DT;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    RedrawGraph(st);
    if (st.SDS1_Visible) st.Events.Emit(EngineEventKind::RefreshMicellar);
}
