#include "tools/init_dist.h"

#include "engine/state/run_state.h"
#include "engine/step/comp_window.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/recalc.h"
#include "engine/step/run_series.h"
#include "files/file_hooks.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kRunActive = "START is active";
constexpr const char* kTooFewNodes =
    "Increase Total Number of Nodes to Proceed!\nMinimum Value is 11.";

// True, after the warning, while a run is going: the tool changes the grid.
bool RefusedWhileRunning(const RunFlags& flags)
{
    if (flags.Running) ShowWarning(kRunActive);
    return flags.Running;
}

void SetWidth(DistTable& t, int j, int w)
{
    t.Width[static_cast<std::size_t>(j)] = std::to_string(w);
}

}  // namespace

int DistTable::WidthOf(int j) const
{
    int w = 0;
    return ReadInt(Width[static_cast<std::size_t>(j)], w) ? w : 0;
}

char DistTable::TypeOf(int j) const
{
    const std::string& t = Type[static_cast<std::size_t>(j)];
    return t.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(t[0]))) : '?';
}

DistTable MakeDistTable(const std::vector<std::string>& names, int segments, int left, int right)
{
    DistTable t;
    t.SegCount = std::max(segments, 0);
    t.LeftSegCount = std::clamp(left, 0, t.SegCount);
    t.RightSegCount = std::clamp(right, 0, t.SegCount - t.LeftSegCount);
    t.Names.assign(1, "");
    t.Names.insert(t.Names.end(), names.begin(), names.end());
    const std::size_t cols = static_cast<std::size_t>(t.SegCount) + 1;
    t.Width.assign(cols, "0");
    t.Type.assign(cols, "U");
    t.Width[0] = "Width (Nodes)";
    t.Type[0] = "Type (U/C/D)";
    t.Cell.assign(t.Names.size(), std::vector<std::string>(cols, "U"));
    for (std::size_t k = 0; k < t.Names.size(); ++k) t.Cell[k][0] = t.Names[k];
    return t;
}

int NormalizeDistTable(DistTable& t, int newConst, int currentNodes)
{
    const int S = t.SegCount, count = t.Constituents();
    long long M = 0;
    auto cells = [&](int j, auto&& change) {
        for (int k = 1; k <= count; ++k)
            change(k, t.Cell[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)]);
    };
    for (int j = 1; j <= S; ++j) {
        int w = 0;
        if (!ReadInt(t.Width[static_cast<std::size_t>(j)], w) || w <= 0) {
            t.Width[static_cast<std::size_t>(j)] = "0";
            w = 0;
        }
        const bool middle = !t.Outer(j);
        char type = t.TypeOf(j);
        if (middle && type == 'U' && newConst == 0) {
            M += w;
            cells(j, [](int, std::string& c) { c = "U"; });
            continue;
        }
        if (middle && type == 'U') {
            t.Type[static_cast<std::size_t>(j)] = "C";
            cells(j, [&](int k, std::string& c) {
                if (k > count - newConst) c = "0";
            });
            type = 'C';
        }
        if (middle && type == 'D') {
            M += w;
            cells(j, [](int, std::string& c) { c = "D"; });
        } else if (middle && type == 'C') {
            M += w;
            cells(j, [](int, std::string& c) {
                if (c == "D") c = "0";
            });
        } else {
            t.Type[static_cast<std::size_t>(j)] = "C";
            if (middle) M += w;
            cells(j, [](int, std::string& c) {
                if (c == "D" || c == "U") c = "0";
            });
        }
    }
    // The middle segments are fitted to the current profiles; without one the
    // current profiles are not used.
    const int firstMiddle = t.LeftSegCount + 1, lastMiddle = S - t.RightSegCount;
    if (firstMiddle <= lastMiddle) {
        long long d = M - currentNodes;
        if (d < 0) {
            SetWidth(t, lastMiddle, static_cast<int>(t.WidthOf(lastMiddle) - d));
        } else {
            for (int j = lastMiddle; j >= firstMiddle && d > 0; --j) {
                const int w = t.WidthOf(j);
                const int take = static_cast<int>(std::min<long long>(w, d));
                SetWidth(t, j, w - take);
                d -= take;
            }
        }
    }
    long long size = 0;
    for (int j = 1; j <= S; ++j)
        if (t.Outer(j) || t.TypeOf(j) != 'D') size += t.WidthOf(j);
    return static_cast<int>(std::min<long long>(size, 1 << 30));
}

std::vector<std::vector<double>> BuildDistProfiles(const DistTable& t, int newSize,
                                                   const std::vector<std::vector<double>>& current,
                                                   int currentNodes)
{
    const int count = t.Constituents();
    const int size = std::max(newSize, 0);
    std::vector<std::vector<double>> out(static_cast<std::size_t>(count),
                                         std::vector<double>(static_cast<std::size_t>(size), 0.0));
    long long pNew = 0, pOld = 0;
    for (int j = 1; j <= t.SegCount; ++j) {
        const int w = std::max(t.WidthOf(j), 0);
        const bool middle = !t.Outer(j);
        if (w != 0 && !(middle && t.TypeOf(j) == 'D')) {
            for (int k = 1; k <= count; ++k) {
                const std::string& cell =
                    t.Cell[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)];
                std::vector<double>& row = out[static_cast<std::size_t>(k - 1)];
                double v = 0;
                const bool keep = cell == "U";
                const bool number = !keep && ReadDouble(cell, v);
                for (long long i = 0; i < w && pNew + i < size; ++i) {
                    double value = number ? v : 0.0;
                    if (keep) {
                        const long long node = pOld + i;
                        const bool has = static_cast<std::size_t>(k - 1) < current.size() &&
                                         node < currentNodes &&
                                         static_cast<std::size_t>(node) <
                                             current[static_cast<std::size_t>(k - 1)].size();
                        value = has ? current[static_cast<std::size_t>(k - 1)]
                                             [static_cast<std::size_t>(node)]
                                    : 0.0;
                    }
                    row[static_cast<std::size_t>(pNew + i)] = value;
                }
            }
            pNew += w;
        }
        if (middle) pOld += w;
    }
    return out;
}

std::string InitDistTool::OpenRefusal(const ComplexationSettings& cx)
{
    return cx.cbComplex ? "Feature not compatible with complex mode!" : "";
}

namespace {

// A whole number of `low`..`high` typed into `field`; other text is refused
// with a warning that names the field.
bool TakeCount(const char* field, const std::string& text, int low, int high, int& count)
{
    double v = 0;
    if (!TakeTyped(field, text, {static_cast<double>(low), static_cast<double>(high), true, true},
                   v))
        return false;
    count = static_cast<int>(v);
    return true;
}

}  // namespace

bool InitDistTool::EditSegCount(const std::string& text)
{
    return TakeCount("# Segments", text, 1, kMaxDistSegments, SegCount);
}

bool InitDistTool::EditLeftSegCount(const std::string& text)
{
    return TakeCount("# Left Segm.", text, 0, SegCount - RightSegCount, LeftSegCount);
}

bool InitDistTool::EditRightSegCount(const std::string& text)
{
    return TakeCount("# Right Segm.", text, 0, SegCount - LeftSegCount, RightSegCount);
}

bool InitDistTool::EditDiffConnection(const std::string& text)
{
    return TakeTyped("Diff. Connection [mm^2]", text, {0, kMaxLengthMm, false}, DiffConnection);
}

std::string DistWidthRefusal(const DistTable& t)
{
    for (int j = 1; j <= t.SegCount; ++j) {
        const std::string& text = t.Width[static_cast<std::size_t>(j)];
        int w = 0;
        if (!ReadInt(text, w) || w < 0)
            return FieldRefusedText("Width (Nodes) of segment " + std::to_string(j), text,
                                    {0, 1 << 30, true, true});
    }
    return {};
}

std::string DistCellRefusal(const DistTable& t)
{
    for (int j = 1; j <= t.SegCount; ++j)
        for (int k = 1; k <= t.Constituents(); ++k) {
            // Kept ("U") and deleted ("D") values are the run's; a number is a concentration.
            const std::string& cell =
                t.Cell[static_cast<std::size_t>(k)][static_cast<std::size_t>(j)];
            double v = 0;
            if (cell != "U" && cell != "D" &&
                !(ReadDouble(cell, v) && InRange(kConcentrationRange, v)))
                return FieldRefusedText(
                    t.Names[static_cast<std::size_t>(k)] + " (mM) in segment " + std::to_string(j),
                    cell, kConcentrationRange);
        }
    return {};
}

int InitDistTool::ActualSize() const
{
    return st_.Series.sr_pH.Count();
}

std::string InitDistTool::CapLengthText() const
{
    const RunState& st = st_;
    std::string text =
        "Capillary Length = " + FloatToStr(st.CapLengthPending * st.XScale, DecimalSeparator());
    if (st.XScale == 1000)
        text += " mm";
    else if (st.XScale == 1)
        text += " m";
    return text;
}

int InitDistTool::CurrentNodes() const
{
    const int points = st_.Series.sr_pH.Count();
    return st_.Arr.Allocated() ? std::min(points, st_.Arr.Nn) : 0;
}

std::vector<std::vector<double>> InitDistTool::CurrentProfiles() const
{
    std::vector<std::vector<double>> rows;
    const EngineArrays& a = st_.Arr;
    if (!a.Allocated()) return rows;
    const int kept = std::min(KeptConstCount, a.NComp);
    for (int k = 1; k <= kept; ++k) rows.emplace_back(a.C(2, k), a.C(2, k) + a.Nn);
    return rows;
}

bool InitDistTool::Create()
{
    RunState& st = st_;
    if (RefusedWhileRunning(st)) return false;
    const int count = st.Composition.Count();
    if (count == 0) return false;
    int kept = 0;
    const auto* a = st.CompInit.Head();
    const auto* b = st.Composition.Head();
    for (; a && b && a->data.name == b->data.name; a = a->next, b = b->next) ++kept;
    const int items = static_cast<int>(st.Series.clbGraph.size());
    if (items < st.NComp + (count - kept) + 2) {
        ShowMessage("Not Operational with more than " + std::to_string(items - st.NComp - 2) +
                    " new constituents - Action Canceled.\n Do it IN PARTS.");
        return false;
    }
    KeptConstCount = kept;
    NewConstCount = count - kept;
    std::vector<std::string> names;
    for (const auto* n = st.Composition.Head(); n; n = n->next) names.push_back(n->data.name);
    if (NewConstCount > 0) {
        ShowMessage(
            std::to_string(NewConstCount) +
            " new constituent(s) added - MUST BE PLACED AT THE END OF THE CONSTITUENT LIST. \n(Developer Message)");
        ShowWarning(
            "New profiles will be dispayed incorrectly but after <APPLY> it will work correctly.");
        std::vector<ChartSeries>& series = st.Series.srComp;
        series.resize(std::min(series.size(), static_cast<std::size_t>(kept) + 1));
        if (series.empty()) series.emplace_back();
        int k = 0;
        for (const auto* n = st.Composition.Head(); n; n = n->next) {
            if (++k <= kept) continue;
            ChartSeries s(n->data.name + " (x-scale)");
            s.colour = n->data.colour;
            for (int j = 0; j <= st.NX; ++j) s.Add(NodeX(st, j), 0.0);
            series.push_back(std::move(s));
        }
        st.CompSeriesCount = count;
        FillProfileList(st, st.Composition, nullptr);
    }
    Table = MakeDistTable(names, SegCount, LeftSegCount, RightSegCount);
    SegWidths.assign(static_cast<std::size_t>(Table.SegCount) + 1, 0);
    TableShown = true;
    PreviewEnabled = true;
    ApplyEnabled = false;
    Normalize();
    return true;
}

void InitDistTool::Normalize()
{
    if (!TableShown) return;
    NewSize = NormalizeDistTable(Table, NewConstCount, CurrentNodes());
}

void InitDistTool::TableEdited()
{
    // A width that is no count becomes 0, and the user is told.
    const std::string refusal = TableShown ? DistWidthRefusal(Table) : "";
    if (!refusal.empty()) ShowWarning(refusal);
    Normalize();
    ApplyEnabled = false;
}

bool InitDistTool::InsertValue(int segment, int constituent, double value)
{
    if (!PreviewEnabled || segment < 1 || segment > Table.SegCount || constituent < 1 ||
        constituent > Table.Constituents())
        return false;
    Table.Cell[static_cast<std::size_t>(constituent)][static_cast<std::size_t>(segment)] =
        FloatToStr(value, DecimalSeparator());
    return true;
}

bool InitDistTool::Preview()
{
    RunState& st = st_;
    if (RefusedWhileRunning(st)) return false;
    // Frames the player shows would go over the preview.
    if (st.PsqPlayerInUse) {
        ShowWarning(kPlayerInUse);
        return false;
    }
    if (!TableShown || st.NX <= 0) return false;
    // A preview the run no longer holds (rebuilt since) gives its saved length
    // up: this one starts from the run's own.
    if (!PreviewStands()) PreviewChanged = false;
    Normalize();
    // Every value typed into the table is a concentration.
    const std::string refusal = DistCellRefusal(Table);
    if (!refusal.empty()) {
        ShowWarning(refusal);
        return false;
    }
    // A grid of fewer than two nodes has no length.
    if (NewSize < 2) {
        ShowWarning(kTooFewNodes);
        return false;
    }
    st.DistPreview = true;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
    for (int j = 1; j <= Table.SegCount; ++j)
        SegWidths[static_cast<std::size_t>(j)] = Table.WidthOf(j);
    NewProfiles = BuildDistProfiles(Table, NewSize, CurrentProfiles(), CurrentNodes());
    if (!PreviewChanged) SavedCapLength = st.CapLength;
    st.CapLength = (NewSize - 1) * SavedCapLength / st.NX;
    st.CapLengthPending = st.CapLength;
    PreviewChanged = true;
    previewRun_ = st.Statics.RunsReplaced;

    std::vector<ChartSeries>& series = st.Series.srComp;
    if (series.size() < NewProfiles.size() + 1) series.resize(NewProfiles.size() + 1);
    for (std::size_t k = 1; k <= NewProfiles.size(); ++k) {
        series[k].Clear();
        for (int i = 0; i < NewSize; ++i)
            series[k].Add(i * st.CapLength / (NewSize - 1) * st.XScale,
                          NewProfiles[k - 1][static_cast<std::size_t>(i)]);
    }
    std::vector<CheckListItem>& list = st.Series.clbGraph;
    if (!ChecksSaved && list.size() >= 2) {
        SavedPHCheck = list[0].checked;
        SavedConductivityCheck = list[1].checked;
        ChecksSaved = true;
    }
    for (std::size_t i = 0; i < 2 && i < list.size(); ++i) list[i].checked = false;
    st.Series.sr_pH.active = false;
    st.Series.sr_conductivity.active = false;
    st.DetectorView = false;
    st.Events.Emit(EngineEventKind::SetupGraph);
    st.Events.Emit(EngineEventKind::RedrawGraph);
    ApplyEnabled = true;
    return true;
}

bool InitDistTool::Apply()
{
    RunState& st = st_;
    if (NewSize - 1 < 10) {
        ShowWarning(kTooFewNodes);
        return false;
    }
    if (RefusedWhileRunning(st)) return false;
    if (!ApplyEnabled || static_cast<int>(NewProfiles.size()) != Table.Constituents()) return false;
    // The profiles fit only the constituents of the preview: checked before
    // the Init replaces the run.
    bool same = st.Composition.Count() == Table.Constituents();
    int k = 1;
    for (const auto* n = st.Composition.Head(); same && n; n = n->next, ++k)
        same = n->data.name == Table.Names[static_cast<std::size_t>(k)];
    if (!same) {
        ShowWarning(kDistCompositionChanged);
        return false;
    }
    // The profiles belong to the grid of the preview: a run rebuilt since has
    // another one.
    if (!PreviewStands()) {
        ShowWarning(kDistRunChanged);
        ApplyEnabled = false;
        return false;
    }
    // Apply ends its own preview and rebuilds the run through the Init
    // command, which asks the guard of every rebuild (a run or an Init going).
    st.DistPreview = false;
    if (RebuildRefusedFor(st)) {
        st.DistPreview = true;
        return false;
    }
    const int pendingNodes = st.NXPending;
    st.NXPending = NewSize - 1;
    const double time = st.Time;
    const long long run = st.Statics.RunsReplaced;
    const bool built = RunInitCommand(st);
    // Once the Init took the new grid, the previewed length is the run's.
    if (st.NX + 1 == NewSize) PreviewChanged = false;
    if (!built || !st.Initialised || st.NX + 1 != NewSize ||
        st.NComp != static_cast<int>(NewProfiles.size())) {
        // An Init refused before it took the grid leaves the node count pending as it was.
        if (PreviewChanged) st.NXPending = pendingNodes;
        if (st.Statics.RunsReplaced == run) {
            // The run was not touched: the preview still stands.
            st.DistPreview = PreviewChanged;
        } else if (PreviewChanged) {
            // The run went with the failed Init: the length before the preview comes back.
            st.CapLength = st.CapLengthPending = SavedCapLength;
            PreviewChanged = false;
            ApplyEnabled = false;
        }
        return false;
    }
    if (CopyTime) st.Time = time;
    if (ApplyDiffusion) StartDiffusionMode(st, st.DiffTimeSet);
    const int nn = st.NX + 1;
    auto* init = st.CompInit.Head();
    auto* edited = st.Composition.Head();
    for (int k = 1; k <= st.NComp && init; ++k, init = init->next) {
        const std::vector<double>& profile = NewProfiles[static_cast<std::size_t>(k - 1)];
        double* c = st.Arr.C(2, k);
        init->data.AllocTable(nn);
        if (edited) edited->data.AllocTable(nn);
        for (int i = 0; i < nn; ++i) {
            c[i] = profile[static_cast<std::size_t>(i)];
            init->data.table[static_cast<std::size_t>(i) + 1] = c[i];
            if (edited) edited->data.table[static_cast<std::size_t>(i) + 1] = c[i];
        }
        if (edited) edited = edited->next;
    }
    RecalcProfiles(st, -1);
    Discard();
    RedrawGraph(st);
    ApplyEnabled = false;
    return true;
}

bool InitDistTool::PreviewStands() const
{
    return PreviewChanged && st_.DistPreview && st_.Statics.RunsReplaced == previewRun_;
}

void InitDistTool::Discard()
{
    TableShown = false;
    PreviewEnabled = false;
    ApplyEnabled = false;
}

void InitDistTool::Close()
{
    RunState& st = st_;
    if (PreviewChanged) {
        // A run rebuilt since the preview keeps its own length.
        if (PreviewStands())
            st.CapLength = st.CapLengthPending = SavedCapLength;
        else
            ShowWarning(kDistRunChanged);
        PreviewChanged = false;
    }
    st.DistPreview = false;
    bool flags[12];
    SaveProfileChecks(st, st.CompSeriesCount, flags);
    st.Series.srComp.clear();
    CreateCompSeries(st);
    if (ChecksSaved) {
        flags[0] = SavedPHCheck;
        flags[1] = SavedConductivityCheck;
        ChecksSaved = false;
    }
    FillProfileList(st, st.CompInit, flags);
    const int left = st.LeftWall, right = st.RightWall;
    st.LeftWall = 0;
    st.RightWall = st.NX;
    RedrawGraph(st);
    st.LeftWall = left;
    st.RightWall = right;
    Discard();
}
