// The chart data of a run, owned by the engine: the per-constituent profile and
// detector series, the fixed derived profiles, the detector record and the two
// check lists of the main window. The chart mirrors these; the engine never
// needs a chart.
//
// Profile series hold one point per node after Init (x = NodeX(n)). The
// per-constituent profile series `srComp` carry only title, colour and the
// active flag: their points are (NodeX(n), Arr.DrawnProfile[i][n]), the values
// drawn last, which the computation window reads.
#pragma once

#include <string>
#include <utility>
#include <vector>

class RunState;
class TComponents;
template <class T>
class TUnivSet;

// One line of the main chart.
struct ChartSeries {
    ChartSeries() = default;
    explicit ChartSeries(std::string seriesTitle) : title(std::move(seriesTitle)) {}

    std::string title;
    int colour = 0;  // 0x00BBGGRR
    bool active = true;
    std::vector<double> x, y;

    int Count() const { return static_cast<int>(y.size()); }
    void Clear()
    {
        x.clear();
        y.clear();
    }
    void Add(double px, double py)
    {
        x.push_back(px);
        y.push_back(py);
    }
};

// One item of a check-list box.
struct CheckListItem {
    std::string text;
    bool checked = false;
    bool header = false;  // shown as a header line ("No constituents")
};

struct RunSeries {
    // Per-constituent series, slot 0 unused: srComp[1..CompSeriesCount] (points
    // in Arr.DrawnProfile), srDetComp[1..NComp] (detector record, own points).
    std::vector<ChartSeries> srComp;
    std::vector<ChartSeries> srDetComp;

    // Derived profiles refilled by RecalcProfiles.
    ChartSeries sr_conductivity{"Conductivity (x-scale)"};
    ChartSeries sr_pH{"pH (x-scale)"};
    ChartSeries sr_IS{"Ionic Strength, mM"};
    ChartSeries sr_j{"j - Current Density, 1e3 A/m2"};
    ChartSeries sr_E{"E - Intensity of Electric Field, kV/m"};
    ChartSeries sr_Ui{"U(x), V"};
    ChartSeries sr_P{"P/L - Power per Length, W/m"};
    ChartSeries sr_potential{"Potential, kV"};

    // Further profiles prepared by Init.
    ChartSeries sr_DER{"DER"};
    ChartSeries sr_reg[9];  // sr_reg[1..8]: regulating functions
    ChartSeries sr_S, sr_Svol, sr_diam, sr_T, sr_mix, sr_pi, sr_elneut;
    // Micellar mode: micelles, CMC, micelle-bound constituent 2 (InitCMCProfile).
    ChartSeries sr_mic{"Micelles"}, sr_CMC{"CMC"}, sr_MicDye{"Mic-Dye"};

    // Marker lines (two points each; placed when the chart is drawn).
    ChartSeries sr_LeftWall, sr_RightWall, sr_detectorLine;

    // Detector record: one point per sample, x = Time / 60 (minutes).
    ChartSeries DET_conductivity, DET_pH, DET_volt, DET_CDen, DET_T;

    // Check lists of the main window: shown profiles and detector traces.
    std::vector<CheckListItem> clbGraph{{"No constituents", true, true}};
    std::vector<CheckListItem> clbDet{{"No constituents", true, true}};
};

// Chart abscissa of node n: n * CapLength / NX * XScale.
double NodeX(const RunState& st, int n);

// Empties every series of the run (the per-constituent series are removed,
// the fixed series and the detector record lose their points).
void ClearRunSeries(RunSeries& s);

// Constituent items of the profile check list: the run's, or more while the
// initial-distribution tool shows constituents added to the composition (the
// list then holds the composition's, CompSeriesCount). Every item after the
// constituents is found from this count.
int ProfileListComps(const RunState& st);

// Saves the check states of clbGraph into the 12 flags that survive an Init
// (pH, conductivity, the two profiles after the constituents, then up to eight
// additional profiles); prevNComp is the constituent count of the previous Init.
void SaveProfileChecks(const RunState& st, int prevNComp, bool flags[12]);

// Rebuilds clbGraph from a constituent list and, when given, 12 saved flags.
void FillProfileList(RunState& st, const TUnivSet<TComponents>& list, const bool* flags);

// Creates the per-constituent series of CompInit when absent.
void CreateCompSeries(RunState& st);

// The chart preparation of Init after the profile lists (profile list,
// temperature/mix/heat series, inactive derived series, detector list, markers,
// profile view), given the 12 saved check flags.
void PrepareProfileLists(RunState& st, const bool flags[12]);

// Cross-section series sr_S and sr_Svol from S and SVol (x 1e9); sr_diam cleared.
void FillSectionSeries(RunState& st);

// Placeholder points on the derivative, regulating-function and derived series.
void AddPlaceholderPoints(RunState& st);
