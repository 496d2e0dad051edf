#include "engine/step/run_calc.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "engine/equilibrium/equilibrium.h"
#include "engine/equilibrium/equilibrium_range.h"
#include "engine/equilibrium/kept_forms.h"
#include "engine/equilibrium/parallel_equilibrium.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/derivatives.h"
#include "engine/step/node_threads.h"
#include "engine/step/rk_start.h"
#include "engine/step/step_services.h"
#include "engine/step/thread_tuner.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

// Level 2 into level 1: forms of the constituents and cH, C and F of every
// row, temperature and its derivative; all nodes.
void CopyLevel2To1(EngineArrays& a)
{
    const int nc = a.NComp, nn = a.Nn;
    for (int i = 1; i <= nc; ++i)
        for (int k = 0; k < a.Forms(i); ++k)
            std::copy(a.CForm(2, i, k), a.CForm(2, i, k) + nn, a.CForm(1, i, k));
    CopyWideRows(a, 2, 1);
    std::copy(a.CH(2), a.CH(2) + nn, a.CH(1));
    for (int i = 1; i <= nc + 2; ++i) {
        std::copy(a.C(2, i), a.C(2, i) + nn, a.C(1, i));
        std::copy(a.F(2, i), a.F(2, i) + nn, a.F(1, i));
    }
    std::copy(a.T(2), a.T(2) + nn, a.T(1));
    std::copy(a.DTdt(2), a.DTdt(2) + nn, a.DTdt(1));
    std::copy(a.IonicStrength(2), a.IonicStrength(2) + nn, a.IonicStrength(1));
}

// Per-chunk results of the step's own node loops, combined in chunk order
// on the calling thread (sized for the run's thread plan; grown, never shrunk,
// so a step allocates nothing once the first one has run).
struct StepChunks {
    std::vector<int> firstFail;     // [chunk][row]: first interior node whose test failed
    std::vector<double> maxChange;  // [chunk][row]: largest change up to that node
    std::vector<double> error;      // [chunk]: largest predictor-corrector difference
    std::vector<int> finite;        // [chunk][row - 1]: FiniteRowsOfChunk of level 1
    int rows = 0;
    void Ensure(int chunks, int rowCount)
    {
        const std::size_t need = static_cast<std::size_t>(chunks) * rowCount;
        if (firstFail.size() < need || rows != rowCount) {
            firstFail.assign(std::max(need, firstFail.size()), 0);
            maxChange.assign(firstFail.size(), 0.0);
        }
        if (error.size() < static_cast<std::size_t>(chunks)) error.assign(chunks, 0.0);
        if (finite.size() < need) finite.assign(need, INT_MAX);
        rows = rowCount;
    }
};

class Stepper {
public:
    explicit Stepper(RunState& st) : st_(st), a_(st.Arr), nc_(st.Arr.NComp), H_(st.Arr.NComp + 1) {}

    // One predictor-corrector step; false when a numerical failure rejects it.
    bool Step(RunLocals& loc);

private:
    void Predictor();
    void Corrector();
    void Equilibrium(bool corrector);
    bool Converged();
    bool FiniteWithError(double& err);
    // FiniteWithError's work on one chunk of the window: the finite test of
    // level 1 and the chunk's largest predictor-corrector difference.
    void FinalTestChunk(int clo, int chi, int chunk);
    // Whether a stage's own chunks may test level 1 for finite values: nothing
    // changes the concentrations between the stage and its test (no stage
    // update of a mode, no right end set after the chunks).
    bool TestInStage() const;
    // The test of one chunk of the stage, and the stage's verdict.
    void TestChunk(int clo, int chi, int chunk);
    bool StageFinite();
    void SpeciateOutsideWindow();
    // Whether the predictor's region speciates the nodes outside the window
    // too: nothing writes level 1 there during the step (no stage update, no
    // right end set, no mode's work before the equilibrium) and the window's
    // speciation is exact (SpeciateOutsideWindow has them to do).
    bool SidesInPredictor() const;
    // Whether the speciation of the nodes outside the window may be kept
    // through the step (KeptSpeciation): the window's speciation is exact and
    // no mode works on level 1 besides its derivatives, so that nothing
    // changes the constants or writes the forms there.
    bool KeepsOutside() const;
    // Whether a mode whose switch is on has the hook `member`.
    template <class Hook>
    bool ModeWith(Hook ModeHooks::*member) const
    {
        for (int k = 0; k < kModeCount; ++k) {
            const Mode m = static_cast<Mode>(k);
            if (st_.Engine.Modes[ModeIndex(m)].*member && ModeSwitchedOn(st_, m)) return true;
        }
        return false;
    }
    // The rows a stage integrates, besides the temperature: the constituents
    // that move, and cH as row NComp + 1 with dcH/dt.
    bool Integrated(int row) const { return row <= nc_ ? a_.SkipComp[row] != 1 : st_.cbDcH; }
    // Row `row` of those at time level `level`.
    double* Row(int level, int row) const { return row <= nc_ ? a_.C(level, row) : a_.CH(level); }
    // After the rows of a stage: the linearised mode's right end, the dcH/dt
    // mode's speciation and the modes' own stage updates.
    void EndStage();
    // Every row of a stage at once over the window: one parallel region per
    // stage; each node computes exactly what the serial row loops compute.
    template <class F>
    int ForWindowChunks(int first, int last, F&& fn)
    {
        return ForNodeChunks(st_.Engine.Threads, first, last, kParallelMinChunk,
                             std::forward<F>(fn));
    }

    RunState& st_;
    EngineArrays& a_;
    const int nc_;
    const int H_;
    StepChunks& chunks_ = st_.Engine.Scratch<StepChunks>();
    // The rows the modes integrate, taken once at the start of each step (the
    // switches change only between steps, when messages are pumped).
    ModeRows rows_;
    int stageTested_ = -1;  // chunks of the stage's finite test, -1 when it was not made
    // Chunks of the last convergence test, which made the final test of the
    // step too (FinalTestChunk); -1 once a corrector has changed level 1 since.
    int finalTested_ = -1;
    // The sides of the window speciated by the predictor's region, and the
    // sides where it met a node without a valid cH (done node by node later).
    bool sidesDone_ = false;
    SpeciationRanges sides_;
    std::atomic<bool> sidesInvalid_[2] = {false, false};
    // The speciation of the nodes outside the window, kept through the steps
    // while KeepsOutside (taken at the start of each step) answers true.
    KeptSpeciation& kept_ = st_.Engine.Scratch<KeptSpeciation>();
    bool keep_ = false;
};

bool Stepper::SidesInPredictor() const
{
    return TestInStage() && WindowSpeciationExact(st_) && !ModeWith(&ModeHooks::BeforeEquilibrium);
}

bool Stepper::TestInStage() const
{
    if (st_.cbLBorder && ModeHoldsRightEnd(st_)) return false;
    return !ModeWith(&ModeHooks::StageUpdate);
}

bool Stepper::KeepsOutside() const
{
    return WindowSpeciationExact(st_) && !ModeWith(&ModeHooks::StageUpdate) &&
           !ModeWith(&ModeHooks::BeforeEquilibrium);
}

void Stepper::TestChunk(int clo, int chi, int chunk)
{
    FiniteRowsOfChunk(st_.Arr, 1, clo, chi,
                      chunks_.finite.data() + static_cast<std::size_t>(chunk) * (nc_ + 1));
}

bool Stepper::StageFinite()
{
    const int parts = stageTested_;
    stageTested_ = -1;
    return parts >= 0 ? FiniteVerdict(st_, chunks_.finite.data(), parts)
                      : ConcentrationsFinite(st_, 1);
}

// Predictor of every row (the constituents, cH as row NComp + 1 with dcH/dt,
// the temperature) over the window; Pred keeps the predicted window for the
// error estimate. The same region speciates the nodes outside the window when
// it may (SidesInPredictor): their level 1 stays as it is through the step,
// and one region fewer per step is one wait fewer for the threads.
void Stepper::Predictor()
{
    const double q = 4.0 / 3.0 * st_.DT;
    const int lw = st_.LeftWall, rw = st_.RightWall;
    // Immobile constituents keep their profile in every level.
    for (int i = 1; i <= nc_; ++i)
        if (a_.SkipComp[i] == 1) std::copy(a_.C(2, i), a_.C(2, i) + a_.Nn, a_.C(1, i));
    chunks_.Ensure(st_.Engine.Threads.MaxChunks(), nc_ + 2);
    const bool test = TestInStage();
    const bool temperature = rows_.temperature;
    sidesDone_ = SidesInPredictor();
    sides_ = sidesDone_ ? SpeciationRanges::Of(st_, 0, lw - 1, rw + 1, st_.NX) : SpeciationRanges{};
    sides_.kept = keep_ ? &kept_ : nullptr;
    for (auto& f : sidesInvalid_) f.store(false);
    if (sides_.Count() > 0) PrepareWorkerScratch(st_);
    // The window's nodes first, then those of the sides (numbered on from rw + 1).
    const int parts =
        ForWindowChunks(lw, rw + sides_.Count(), [&](int vlo, int vhi, int chunk, int worker) {
            if (vhi > rw)
                sides_.Speciate(st_, 1, std::max(vlo, rw + 1) - rw - 1, vhi - rw - 1,
                                WorkerScratch(st_, worker), sidesInvalid_);
            // The window's nodes of the chunk (none when clo > chi).
            const int clo = vlo, chi = std::min(vhi, rw);
            auto predict = [&](double* __restrict c1, const double* __restrict c5,
                               const double* __restrict f2, const double* __restrict f3,
                               const double* __restrict f4, double* __restrict pred,
                               const double* left) {
                for (int j = clo; j <= chi; ++j)
                    c1[j] = c5[j] + q * (2 * f2[j] - f3[j] + 2 * f4[j]);
                if (left && st_.cbLBorder && clo == 0) c1[0] = *left;  // the constant left border
                std::copy(c1 + clo, c1 + chi + 1, pred + clo);
            };
            if (clo <= chi) {
                for (int i = 1; i <= H_; ++i)
                    if (Integrated(i))
                        predict(Row(1, i), Row(5, i), a_.F(2, i), a_.F(3, i), a_.F(4, i),
                                a_.Pred[i], &a_.CLeft[i]);
                // The temperature, integrated like a concentration (Pred row NComp + 2).
                if (temperature)
                    predict(a_.T(1), a_.T(5), a_.DTdt(2), a_.DTdt(3), a_.DTdt(4), a_.Pred[nc_ + 2],
                            nullptr);
            }
            if (test) TestChunk(clo, chi, chunk);  // a chunk of the sides alone finds nothing
        });
    stageTested_ = test ? parts : -1;
    EndStage();
}

void Stepper::EndStage()
{
    // A mode may hold the right end too (Pred keeps the computed value).
    if (st_.cbLBorder && ModeHoldsRightEnd(st_))
        for (int i = 1; i <= H_; ++i)
            if (Integrated(i)) Row(1, i)[st_.NX] = a_.CLeft[i];
    if (st_.cbDcH) CalcSpeciation(st_, 1, -1);
    ModeStageUpdates(st_, 1);
}

// Corrector of every row over the window; Corr keeps the derivative it started from.
void Stepper::Corrector()
{
    finalTested_ = -1;
    const double q = 3.0 / 8.0 * st_.DT;
    const int lw = st_.LeftWall, rw = st_.RightWall;
    chunks_.Ensure(st_.Engine.Threads.MaxChunks(), nc_ + 2);
    const bool test = TestInStage();
    const bool temperature = rows_.temperature;
    const int parts = ForWindowChunks(lw, rw, [&](int clo, int chi, int chunk, int) {
        auto correct = [&](double* __restrict c1, const double* __restrict c2,
                           const double* __restrict c4, const double* __restrict f1,
                           const double* __restrict f2, const double* __restrict f3,
                           double* __restrict corr) {
            std::copy(f1 + clo, f1 + chi + 1, corr + clo);
            for (int j = clo; j <= chi; ++j)
                c1[j] = (9 * c2[j] - c4[j]) / 8 + q * (f1[j] + 2 * f2[j] - f3[j]);
        };
        for (int i = 1; i <= H_; ++i) {
            if (!Integrated(i)) continue;
            double* c1 = Row(1, i);
            correct(c1, Row(2, i), Row(4, i), a_.F(1, i), a_.F(2, i), a_.F(3, i), a_.Corr[i]);
            if (st_.cbLBorder && clo == 0) c1[0] = a_.CLeft[i];  // the constant left border
        }
        if (temperature)
            correct(a_.T(1), a_.T(2), a_.T(4), a_.DTdt(1), a_.DTdt(2), a_.DTdt(3),
                    a_.Corr[nc_ + 2]);
        if (test) TestChunk(clo, chi, chunk);
    });
    stageTested_ = test ? parts : -1;
    EndStage();
}

// The equilibrium of level 1 before its derivatives.
void Stepper::Equilibrium(bool corrector)
{
    if (!StageFinite() || st_.cbDcH) return;
    ModesBeforeEquilibrium(st_, 1);
    // The corrector passes leave the ionic-strength correction out unless cbPCIS.
    EquilibriumForDerivatives(st_, 1, st_.ISCorrection && (!corrector || st_.cbPCIS));
}

// Whether every interior node's derivative changed by less than EpsCor
// relative to it (the denominator keeps the sign of the derivative), row by
// row in order; MaxCorrChange takes the largest change met up to the first
// node that fails, as the serial test meets them. The temperature is tested
// also when the concentrations have failed. Each chunk tests its nodes of
// every row; the rows and chunks are then taken in node order. The chunks
// make the step's final test (FiniteWithError) in the same region: when no
// corrector follows, it is ready, and the step waits for one region fewer.
bool Stepper::Converged()
{
    const int lw = st_.LeftWall, rw = st_.RightWall;
    const double eps = st_.EpsCor;
    const int rows = nc_ + 2;  // constituents, then the temperature in row NComp + 1
    StepChunks& sc = chunks_;
    sc.Ensure(st_.Engine.Threads.MaxChunks(), rows);
    const bool temperature = rows_.temperature;
    auto tested = [&](int r) {
        return r <= nc_ ? a_.SkipComp[r] != 1 : (r == nc_ + 1 && temperature);
    };
    const int parts = ForWindowChunks(lw, rw, [&](int wlo, int whi, int chunk, int) {
        FinalTestChunk(wlo, whi, chunk);
        const int clo = std::max(wlo, lw + 1), chi = std::min(whi, rw - 1);  // the interior nodes
        for (int r = 1; r <= nc_ + 1; ++r) {
            if (!tested(r)) continue;
            const double* f1 = r <= nc_ ? a_.F(1, r) : a_.DTdt(1);
            const double* corr = a_.Corr[r <= nc_ ? r : nc_ + 2];
            double maxChange = 0;
            int fail = INT_MAX;
            for (int j = clo; j <= chi; ++j) {
                const double d = std::fabs(f1[j] - corr[j]);
                if (d > maxChange) maxChange = d;
                const double den = (f1[j] == 0 || d <= eps) ? 1.0 : f1[j];
                if (d / den >= eps) {
                    fail = j;
                    break;
                }
            }
            const std::size_t k = static_cast<std::size_t>(chunk) * rows + r;
            sc.firstFail[k] = fail;
            sc.maxChange[k] = maxChange;
        }
    });
    double maxChange = st_.MaxCorrChange;
    // One row over the chunks in node order; false at its first failure.
    auto rowConverged = [&](int r) {
        for (int c = 0; c < parts; ++c) {
            const std::size_t k = static_cast<std::size_t>(c) * rows + r;
            if (sc.maxChange[k] > maxChange) maxChange = sc.maxChange[k];
            if (sc.firstFail[k] != INT_MAX) return false;
        }
        return true;
    };
    bool ok = true;
    for (int i = 1; i <= nc_ && ok; ++i)
        if (tested(i)) ok = rowConverged(i);
    if (tested(nc_ + 1) && !rowConverged(nc_ + 1)) ok = false;
    st_.MaxCorrChange = maxChange;
    finalTested_ = parts;
    return ok;
}

void Stepper::FinalTestChunk(int clo, int chi, int chunk)
{
    TestChunk(clo, chi, chunk);
    const bool temperature = rows_.temperatureInError;
    double e = 0;
    auto row = [&](const double* __restrict c1, const double* __restrict pred) {
        for (int j = clo; j <= chi; ++j) e = std::max(e, std::fabs(c1[j] - pred[j]));
    };
    for (int i = 1; i <= H_; ++i)
        if (Integrated(i)) row(Row(1, i), a_.Pred[i]);
    if (temperature) row(a_.T(1), a_.Pred[nc_ + 2]);
    chunks_.error[static_cast<std::size_t>(chunk)] = e;
}

// Whether level 1 is finite over the window (ConcentrationsFinite), and then
// in `err` the largest difference between the corrected and the predicted
// window over the integrated rows: the maximum of each chunk, then of the
// chunks (a maximum does not depend on the order). One pass for both.
bool Stepper::FiniteWithError(double& err)
{
    const int lw = st_.LeftWall, rw = st_.RightWall;
    StepChunks& sc = chunks_;
    sc.Ensure(st_.Engine.Threads.MaxChunks(), nc_ + 2);
    // Made by the last convergence test unless a corrector followed it.
    const int parts = finalTested_ >= 0
                          ? finalTested_
                          : ForWindowChunks(lw, rw, [&](int clo, int chi, int chunk, int) {
                                FinalTestChunk(clo, chi, chunk);
                            });
    finalTested_ = -1;
    if (!FiniteVerdict(st_, sc.finite.data(), parts)) return false;
    err = 0;
    for (int c = 0; c < parts; ++c) err = std::max(err, sc.error[static_cast<std::size_t>(c)]);
    return true;
}

// The nodes of level 1 outside the window, which the derivative routine of this
// step left alone (see CalcDERInWindow); those whose concentrations and cH did
// not change since they were speciated in the slot of level 1 keep that
// speciation (KeptSpeciation).
void Stepper::SpeciateOutsideWindow()
{
    if (sidesDone_) {
        sides_.Finish(st_, 1, sidesInvalid_);
        return;
    }
    if (!WindowSpeciationExact(st_)) return;
    // Both sides in one parallel region.
    CalcSpeciationRanges(st_, 1, 0, st_.LeftWall - 1, st_.RightWall + 1, st_.NX,
                         keep_ ? &kept_ : nullptr);
}

bool Stepper::Step(RunLocals& loc)
{
    st_.NumericalFailure = false;
    finalTested_ = -1;
    rows_ = IntegratedModeRows(st_);
    // A step that may change the constants or the forms outside the window
    // (a switch turned on between steps) ends what was kept.
    // (Over the whole grid there is nothing outside to keep, nor memory to take for it.)
    keep_ = KeepsOutside() && (st_.LeftWall > 0 || st_.RightWall < st_.Arr.Nn - 1);
    if (keep_)
        kept_.Prepare(st_);
    else
        kept_.Forget();
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
    double err;
    if (!FiniteWithError(err)) return false;
    st_.StepError = err;

    EngineArrays::RotateLevels(a_.lvC, 5);
    EngineArrays::RotateLevels(a_.lvIS, 5);
    EngineArrays::RotateLevels(a_.lvF, 4);
    if (rows_.temperature) {
        EngineArrays::RotateLevels(a_.lvT, 5);
        EngineArrays::RotateLevels(a_.lvDT, 4);
    }
    if (!st_.DiffMode && !ModeClockHeld(st_)) st_.Time += st_.DT;
    st_.StepCount += 1;
    loc.RunSteps += 1;
    return true;
}

// After a rejected step the shared profiles (pH, forms, conductivity, field,
// U, I) hold the failed level; bring them back to level 2.
void RestoreLevel2Profiles(RunState& st)
{
    const bool stop = st.Stop;
    const bool failure = st.NumericalFailure;
    CalcDER(st, 2, true);
    st.Stop = stop || st.Stop;
    st.NumericalFailure = failure;
}

}  // namespace

void DisableRunSetup(RunState& st)
{
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, false));
}

void StopCalc(RunState& st)
{
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::GeometryEditsEnabled, true));
    st.Stop = true;
    st.Running = false;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
}

void RunCalc(RunState& st)
{
    // The run's constituents are those of its Init: a composition opened
    // alone drops them, and Restore then empties the composition too.
    if (st.Initialised && st.CompInit.Count() == 0) {
        ShowWarning(kNoConstituentsToRun);
        return;
    }
    if (!ModesAllowRun(st)) return;
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
        // Frames by model time are spaced from this one (a reopened run's
        // clock does not start at 0).
        st.Statics.LastPsqFrameTime = st.Time;
        {
            ComputationWindowScope window(st.counters());
            window.WholeGrid(LastGridNode(st));
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
    // Anything may have changed the arrays since the last run (Init, a file,
    // the player, a recalculation, another run state's copy).
    st.Engine.Scratch<KeptSpeciation>().Forget();

    Stepper stepper(st);
    ThreadTuner tuner(st.Engine.Threads);
    while (!st.Stop && st.Time + st.DT < st.StopTime) {
        ClampComputationWindow(st);
        WholeGridWhileReacting(st);  // a reaction switched on, a wall edited
        st.NumericalFailure = false;
        if (st.Restart && !RestartMultistep(st, 2)) break;
        const double stepStart = tuner.Active() ? host.NowDays() : 0.0;
        const long long width = st.RightWall - st.LeftWall + 1;
        if (!stepper.Step(loc)) {
            RestoreLevel2Profiles(st);
            break;
        }
        if (tuner.Active()) tuner.StepDone((host.NowDays() - stepStart) * 86400.0, width);
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
