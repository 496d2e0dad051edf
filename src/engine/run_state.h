// The whole state of a run: run parameters, counters, flags, the three
// composition lists, the per-node engine arrays and the window switches that the
// engine and the file layer read. One plain object (no Qt); the main window owns
// the single instance, engine routines take it by reference.
//
// Sections (add new fields to the section they belong to):
//   1 flags  2 geometry pairs  3 run parameters  4 time, steps, counters
//   5 lists and files  6 display and program options  7 engine arrays
//   8 program-lifetime engine values  9 switches of the windows  10 host
#pragma once

#include <set>
#include <string>
#include <vector>

#include "engine/bge_record.h"
#include "engine/components.h"
#include "engine/engine_arrays.h"
#include "engine/engine_host.h"
#include "engine/ionic_strength.h"
#include "engine/option_state.h"
#include "engine/run_series.h"
#include "foundation/matrix.h"
#include "foundation/univset.h"

// Values the engine keeps for the whole program (not reset by Init).
struct EngineStatics {
    double LastRunDT = 0.0;           // dt in force when the previous run ended
    int CutStreakCount = -1;          // streak of steps needing several corrector passes
    double CutStreakStart = -1.0;     // StepCount at the first step of that streak
    double LastPsqFrameTime = 0.0;    // model time of the last frame recorded by time
    double AccTPrevTime = 0.0;        // previous time of the simplified heating
};

class RunState {
public:
    // ===== 1. Flags ===========================================================
    bool Initialised = false;
    bool Running = false;
    bool Stop = false;
    bool Restart = false;
    bool SetupChanged = false;
    bool SetupItemChanged[5] = {false, false, false, false, false};  // nodes, width, edge, site, length
    bool Loading = false;
    bool LoadingPsq = false;
    bool Destroying = false;
    bool CompChanged = false;
    bool DetectorView = false;
    bool DistPreview = false;
    bool DiffMode = false;
    bool ShowSpentArmed = true;
    bool PsqStarted = false;
    bool ISCorrection = false;      // cbIS taken at Init
    bool RedDiff = false;           // cbRedDiff taken at Init (and DiffMultiplier != 1)
    bool RacemicAtInit = false;     // main cbRacemic taken at Init
    bool SDSAtInit = false;         // cbSDS taken at Init
    bool CMCProfileReady = false;
    bool TempOption = false;        // an Init has completed
    bool OpenExample = true;
    bool FormCreated[5] = {false, false, false, false, false};
    bool InitDone = false;
    bool UniformSection = true;
    bool EOFAsVelocity = false;     // uniform S and SVol (set by Init)
    bool NumericalFailure = false;  // a routine of the current step failed numerically (Stop set too)

    // ===== 2. Geometry: pending (edited) / applied pairs =========================
    int NXPending = 1000;             int NX = 1000;                // last node index
    double PeakWidthPending = 2.0;    double PeakWidth = 2.0;       // mm
    double PeakEdgeWidthPending = 0.5; double PeakEdgeWidth = 0.5;  // mm
    double InjSitePending = 3.0;      double InjSite = 3.0;         // mm
    double CapLengthPending = 0.025;  double CapLength = 0.025;     // m

    // ===== 3. Run parameters ======================================================
    double Temperature = 298.15;   // K
    double CapDiameter = 5e-5;     // m
    double UI = 250;               // V (constant voltage) or uA (constant current)
    double EOFMob = 0;             // m2/(V.s)
    double StopTime = 3600;        // s
    double DTDefault = 1e-4;       // s
    double DTInit = 1e-4;          // s
    double DT = 1e-4;              // s
    double ErrOpt = 1e-11;
    double ErrInc = 0.25;
    double EpsNew = 1e-12;         // Newton relative tolerance
    int ItNew = 100;               // Newton iteration limit
    double EpsCor = 0.01;
    double DerNorm = 0.001;
    double LW = 1e-12, RW = 1e-12; // mM, wall thresholds
    int WallInc = 100;
    int WallRef = 30;
    int EditsRef = 30;
    int GraphRef = 60;
    int PSQPeriod = 1000;
    int DetInput = 10;
    int OptInter = 100;
    double DetPosition = 20;       // mm
    int LegacyDetNode = 0;
    double AddCond = 0;            // S/m
    double FakeCapLen = 0;         // m
    double DiffMultiplier = 1.0;
    double Kw = 1e-8;              // mM2, the user's ionic product of water
    double KwIS = 1e-8;            // mM2, ionic product corrected for ionic strength (Kw kept)
    double DiffTimeSet = 10, DiffTime = 10;  // s
    double Kin1 = 5e-6, Kin2 = 0;
    double KinA = 1, KinB = 1, KinC = 1, KinD = 1, KinX = -0.2;
    double RacemicA = 0, RacemicB = 0, RacemicG = 0;
    double MicMob = 4e-8;          // m2/(V.s)
    double CMC = 2.0, CMCL = 2.0, CMCR = 2.0;  // mM
    int CMCC = 750, CMCW = 100;
    int OM = 64;
    double CondScale = 100;
    double EdgeW = 0;              // m

    // ===== 4. Time, steps, errors, counters =========================================
    double Time = 0;               // s
    double StepError = 0;
    double MaxError = 0;
    double MaxCorrChange = 0;
    double GlobalRatio = 0;
    int StepCount = 0;
    int NewtonItTotal = 0, NewtonItStep = 0, NewtonItMax = 0;
    // Solver statistics that only grow (benchmarks read their differences):
    // Newton passes and node solves of Elneut, corrector passes of the run loop.
    long long NewtonPassCount = 0, NodeSolveCount = 0, CorrectorPassCount = 0;
    double RunStart = 0, RunStartStamp = 0;  // days
    double SpentTime = 0;          // s
    double DiffClock = 0;          // s
    double SavedDT = 1e-4, SavedErrInc = 0.25;
    double U = 0;                  // V
    double I = 0;                  // A
    double DX = 0.025 / 1000;      // m
    double KappaEnd = 0;           // S/m
    double EOFMobCalc = 0;
    double LinScale = 0, LinA18 = 0;
    double LinReference = 0;       // reference value of the linearised mode (0 = take a new one)
    int NComp = 0;                 // constituents of the run
    int LeftWall = 0, RightWall = 1000;  // computation window, both included
    // Messages already shown in this run by routines that warn at every call.
    std::set<std::string> WarnedThisRun;

    // ===== 5. Lists and files ========================================================
    TUnivSet<TComponents> Composition;
    TUnivSet<TComponents> CompInit;
    TUnivSet<TComponents> Database;
    std::string PsqFile, PsqFileOwn;
    long long PsqSize = 0;
    int CompSeriesCount = 0;
    // Coefficient matrices of the linearised mode (NComp x NComp, rebuilt by Init).
    TMatrix Mat1{2}, Mat2{2};
    TEIData EIData;                // background-electrolyte record (src/tools/bge_calc)

    // ===== 6. Display and program options ===========================================
    double XScale = 1000;          // metres -> chart x unit
    std::string FileName = "No File";  // current project file
    int ZeroPosNode = 0;
    // Chart data of the run (profile and detector series, check lists); the
    // chart mirrors it.
    RunSeries Series;
    // Options of the options window and the chart (colours, separator, radio codes).
    OptionState Options;

    // ===== 7. Engine arrays ============================================================
    EngineArrays Arr;
    // Work storage of the ionic-strength correction (sized once per run shape).
    IonicStrengthWork ISWork;

    // ===== 8. Program-lifetime engine values ==========================================
    EngineStatics Statics;

    // ===== 9. Switches of the windows (read at every use; field = control) ==========
    // main window
    bool cbIS = false;
    bool cbOptDt = true;
    bool cbDetectorOn = true;
    bool cbEnableEOF = false;
    bool cbEOFDif = false;
    bool cbRacemic = false;        // main window "Enable Racemic"
    bool cbRedDiff = false;
    bool rbSet = true;             // composition files replace (rbSet) or add to (rbAdd) the list
    // run-setup window
    bool rbVoltage = true;         // rbCurrent == !rbVoltage
    bool rbPSQNo = false, rbPSQSteps = false, rbPSQMS = true;
    bool cbDcH = false, cbLBorder = false, cbPCIS = true, cbLastCor = false, cbDCDTCor = false;
    bool cbMX = false, cbSpec = false, cbChrom = false, cbLiBz = false, cbKinetic = false;
    bool setup_cbRacemic = false;  // run-setup "Racemic mode"
    bool cbLE = false, cbRE = false, cbFlow = false, cbZeroC = false, cbSK = false;
    bool cbDP = true, cbVEOF = false;
    bool cbISConv = false, cbISPostN = false, cbFastIS = false;
    bool cbGauss = false, cbMXS = false, cbMXQ = false;
    bool cbLWMove = true, cbRWMove = true, cbKeepDistance = false, cbInitWalls = true;
    bool cbAutoDiff = false;
    bool cbProtein = false;        // "Protein/Special" (stored in the run-setup block only)
    std::string edDMult = "120", edPAxis = "1";  // texts of two hidden edits (block only)
    bool edDTInit_Visible = false;
    // options window
    bool cbShowSpentTime = false, cbIgnDER = false, cbIgnDT = true, cbGraphAdd = false;
    bool cbPSQQuestion = false;    // "Ask Before Transfer PSQ" (project open)
    // micellar window
    bool cbSDS = false;
    bool rbC0 = false;             // rbCT == !rbC0
    int MicCompNo = 1;
    bool cbShowMic = false, cbShowCMC = false;
    bool cbIngoreSNA = false;      // loaders drop the micellar fields of the run-setup block
    // capillary-effects window
    bool cbS = false, cbH = false, cbMix = false, cbT = false, cbSvol = false, cbEOF = false;
    bool cbAccT = false, cbTEOF = false, cbDiffusion = false, cbMixE = false, cbAllStac = false;
    bool rbD = false;              // rbS == !rbD
    bool rbH = false;              // rbP == !rbH
    bool rbPK_pos = false;         // rbPK_neg == !rbPK_pos
    bool sbData_Visible = false;   // the effects table exists
    // Table copy of the effects window kept for the project file: SegCount
    // segments; TableEdge[3..11] edge widths (mm) of grid rows 2..10;
    // TableRows[2..11][1..SegCount] grid rows 1..10 in display units (a cell
    // that is no number is -1). Both empty when no copy exists.
    int SegCount = 0;
    std::vector<double> TableEdge;
    std::vector<std::vector<double>> TableRows;
    // complexation window
    bool cbComplex = false;
    // additional-information window
    bool cbNewCnt = false;
    bool cbCInit = false;
    // other windows' state
    bool fmDet_Visible = false;
    bool SDS1_Visible = false;
    bool PsqPlayerInUse = false;
    bool PsqPlayerMicelles = false;
    bool PsqPlayerReloadNeeded = false;

    // ===== 10. Host =====================================================================
    EngineHost* Host = nullptr;
    EngineHost& host() { return Host ? *Host : nullHost_; }

private:
    NullEngineHost nullHost_;
};
