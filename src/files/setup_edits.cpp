#include "files/setup_edits.h"

#include "engine/equilibrium/equilibrium.h"
#include "engine/state/run_state.h"
#include "engine/step/init_distribution.h"
#include "foundation/errors.h"
#include "foundation/field_rules.h"
#include "foundation/messages.h"
#include "foundation/numtext.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

#define DBL(m) [](RunState& s) -> double* { return &s.m; }
#define INT(m) [](RunState& s) -> int* { return &s.m; }
#define COL(m) [](RunState& s) -> std::uint32_t* { return &s.m; }

using P = EditParse;
using L = EditLimit;
using F = EditFormat;
using W = EditFollow;

// A number edit: typed and stored unit the same.
EditEntry Num(const char* name, const char* caption, const char* hint, L limit, F format,
              double* (*field)(RunState&), bool shown = true, W follow = W::None)
{
    return {name,  caption, hint,   P::Number, limit, 1,       1,      0,
            false, shown,   format, follow,    field, nullptr, nullptr};
}

EditEntry Int(const char* name, const char* caption, const char* hint, L limit,
              int* (*field)(RunState&), W follow = W::None)
{
    return {name,  caption, hint,       P::Integer, limit,   1,     1,      0,
            false, true,    F::Integer, follow,     nullptr, field, nullptr};
}

// A grid value applied at the next Init.
EditEntry Pending(EditEntry e)
{
    e.pending = true;
    e.follow = W::SetupChanged;
    return e;
}

// Typed in another unit: stored = typed * toStored + offset.
EditEntry Unit(EditEntry e, double toStored, double toShown, double offset = 0)
{
    e.toStored = toStored;
    e.toShown = toShown;
    e.offset = offset;
    return e;
}

const char* const kWallLimitHint =
    "The least difference in profile that signalize where walls can be automatically moved";

std::vector<EditEntry> BuildRunSetupEdits()
{
    return {
        Pending(Num("edInjSite", "Injection Site (mm)",
                    "Position of Injection (Sample) site used by Type property of constituent",
                    L::Length, F::RoundedGeneral, DBL(InjSitePending))),
        Pending(Num("edPeakWidth", "Peak Width (mm)",
                    "Sigmoid Inflex Distance - width of peak at half of its height",
                    L::PositiveLength, F::General, DBL(PeakWidthPending))),
        Num("edDetPosition", "Detector Position (mm) ",
            "Detector may be situated outside of the calculated space", L::Length,
            F::RoundedGeneral, DBL(DetPosition), true, W::RedrawGraph),
        Pending(Num("edPeakEdgeWidth", "Peak Edge Width (mm)",
                    "Smothness of edges calculated in initialisation (<Init> button)",
                    L::PositiveLength, F::General, DBL(PeakEdgeWidthPending))),
        Pending(Unit(Num("edCapLength", "Capillary Length (mm)", "Length of the calculated space",
                         L::PositiveLength, F::Number, DBL(CapLengthPending)),
                     0.001, 1000)),
        {"edNX", "Grid Points (Nodes)", "Spatial division (mesh density)", P::Integer, L::NodeCount,
         1, 1, 0, true, true, F::Integer, W::SetupChanged, nullptr, INT(NXPending), nullptr},
        Unit(Num("edTemperature", "Temperature (\u00b0C)",
                 "For calculation of difussion coefficients", L::Kelvin, F::Number,
                 DBL(Temperature)),
             1, 1, 273.15),
        Unit(Num("edCapDiameter", "Capillary Diameter (um)", "For calculation of current",
                 L::Diameter, F::Number, DBL(CapDiameter)),
             1e-6, 1e6),
        Int("edEditsRef", "Edits Refresh Rate (Steps)",
            "Period of actualization of main window edits (actual time, dt, error,..)", L::Period,
            INT(EditsRef)),
        Int("edGraphRef", "Graph Refresh Rate (Steps)",
            "Period of actualization of calculated profiles in graph", L::Period, INT(GraphRef)),
        Int("edDetInput", "Detector Input (Steps)",
            "Period between reading of profiles values at certain position in Graph (Detector Position)",
            L::Period, INT(DetInput)),
        Int("edOptInter", "Optimization Interval (Steps)",
            "Period between automatic optimisations of dt value", L::Period, INT(OptInter)),
        Num("edErrInc", "dt Optimisation Increment",
            "(1+- value) is multiplier for modification of dt when optimisation is called",
            L::NonNegative, F::Number, DBL(ErrInc)),
        Unit(
            Num("edFakeCapLen", "Additional Length (Fake) (mm)",
                "Additional length situated to the right corner of capillary which is not calculated but taken into "
                "account in calculation of applied electric field",
                L::NonNegativeLength, F::General, DBL(FakeCapLen), false),
            0.001, 1000),
        Num("edDTInit", "Initial dt (s)", "", L::TimeStep, F::InitialDT, DBL(DTInit), false),
        Num("edAddCond", "Additional Conductivity (S/m)", "", L::NonNegative, F::General,
            DBL(AddCond), false),
        Num("edLW", "LW Limit (mM)", kWallLimitHint, L::Any, F::Number, DBL(LW)),
        Num("edRW", "RW Limit (mM)", kWallLimitHint, L::Any, F::Number, DBL(RW)),
        Int("edWallInc", "Wall Increment (Nodes)",
            "Increment to wall positions when position is about to change", L::NodeStep,
            INT(WallInc)),
        Int("edWallRef", "Wall Refresh Rate (Steps)",
            "Period between two actualization of wall position when they are set to move automatically",
            L::Period, INT(WallRef)),
        Int("edPSQ", "Save Frame Each", "Saving interval for PSQ file (in ms or steps)", L::Period,
            INT(PSQPeriod)),
        Num("edKin1", "k_main", "", L::Any, F::General, DBL(Kin1), false),
        Num("edKinA", "a ... [C]^a", "", L::Any, F::General, DBL(KinA), false),
        Num("edKinB", "b ... [P]^b", "", L::Any, F::General, DBL(KinB), false),
        Num("edKinC", "c ... [OH]^c", "", L::Any, F::General, DBL(KinC), false),
        Num("edKin2", "k_deg", "", L::Any, F::General, DBL(Kin2), false),
        Num("edKinD", "d ... [PC]^d", "", L::Any, F::General, DBL(KinD), false),
        Num("edKinX", "x ... [OH]^x", "", L::Any, F::General, DBL(KinX), false),
        Num("edRacemicA", "Racemic A (KR)", "", L::Any, F::General, DBL(RacemicA), false),
        Num("edRacemicB", "Racemic B (KS)", "", L::Any, F::General, DBL(RacemicB), false),
        Num("edRacemicG", "Racemic k(glob)", "", L::Any, F::General, DBL(RacemicG), false),
        Num("edDerNorm", "DER norm", "", L::Any, F::General, DBL(DerNorm), false, W::RedrawGraph),
        Num("edDerN", "DER constituent #", "", L::Any, F::General, DBL(DerNorm), false,
            W::RedrawGraph),
    };
}

std::vector<EditEntry> BuildOptionEdits()
{
    auto colour = [](const char* name, const char* caption, std::uint32_t* (*field)(RunState&)) {
        return EditEntry{name,  caption, "",        P::Colour,     L::NonNegative, 1,       1,    0,
                         false, true,    F::Colour, W::SetupGraph, nullptr,        nullptr, field};
    };
    return {
        Num("edEpsNew", "Precision of Newton met.", "Convergence precision for Newton method",
            L::Positive, F::Number, DBL(EpsNew)),
        Num("edEpsCor", "Precision of DER met.",
            "Convergence precision for calculation of time derivatives", L::Positive, F::Number,
            DBL(EpsCor)),
        Int("edItNew", "Max Iterations of NM", "", L::Period, INT(ItNew)),
        colour("edSimColor", "Profile Graph Colour", COL(Options.SimColor)),
        colour("edDetColor", "Detector Colour", COL(Options.DetColor)),
        Int("edLineWidth", "Profile Line Width (Points)", "", L::NonNegative,
            INT(Options.LineWidth), W::ApplyLineWidth),
        Int("edSrT", "Profile Click Tolerance (Points)", "", L::NonNegative, INT(Options.SrT)),
        Int("edAnotherPos", "Another Position (Nodes): ", "", L::Any, INT(ZeroPosNode)),
    };
}

#undef DBL
#undef INT
#undef COL

// The hottest run (degrees Celsius): far above any liquid's boiling point.
constexpr double kMaxCelsius = 1000;

// A caption as a field's name: without the trailing blanks and colon.
std::string Trimmed(std::string caption)
{
    while (!caption.empty() && (caption.back() == ' ' || caption.back() == ':')) caption.pop_back();
    return caption;
}

// The range of an edit in its typed unit (the refusal names it).
FieldRange TypedRange(const EditEntry& e)
{
    constexpr double kMax = std::numeric_limits<double>::max();
    switch (e.limit) {
    case L::Any: return {-kMax, kMax};
    case L::NodeStep: return {1, kMaxNodes, true, true};
    case L::Positive: return {0, kMax, false};
    case L::Period: return {1, std::numeric_limits<int>::max(), true, true};
    case L::NodeCount: return {20, kMaxNodes, true, true};
    case L::Kelvin: return {-e.offset, kMaxCelsius, false};
    case L::Diameter: return {0, kMax, false};
    case L::TimeStep: return kTimeStepRange;
    case L::Length: return {-kMaxLengthMm, kMaxLengthMm};
    case L::PositiveLength: return {0, kMaxLengthMm, false};
    case L::NonNegative:
    case L::NonNegativeLength: break;
    }
    return {0, e.limit == L::NonNegative ? kMax : kMaxLengthMm};
}

bool WithinLimit(const EditEntry& e, double v)
{
    if (!std::isfinite(v)) return false;
    switch (e.limit) {
    case L::TimeStep:
    case L::Length:
    case L::PositiveLength:
    case L::NonNegativeLength: return InRange(TypedRange(e), (v - e.offset) * e.toShown);
    case L::Any: return true;
    case L::NodeStep: return v >= 1 && v <= kMaxNodes;
    case L::Positive: return v > 0;
    case L::NonNegative: return v >= 0;
    case L::Period: return v >= 1;
    case L::NodeCount: return v >= 20 && v <= kMaxNodes;
    case L::Kelvin: return v >= 0x1p-44 && v - e.offset <= kMaxCelsius;
    case L::Diameter: {
        const double section = 0.25 * kPi * v * v;
        return v > 0 && section >= std::numeric_limits<double>::min() &&
               section <= std::numeric_limits<double>::max();
    }
    }
    return false;
}

// The run-setup number format: exponent form below 0.01, negatives included.
std::string SetupNumber(double v, const char* fixedPattern)
{
    return FormatFloat(v < 0.01 ? "0.0##e+0" : fixedPattern, v);
}

}  // namespace

const std::vector<EditEntry>& RunSetupEdits()
{
    static const std::vector<EditEntry> edits = BuildRunSetupEdits();
    return edits;
}

const std::vector<EditEntry>& OptionEdits()
{
    static const std::vector<EditEntry> edits = BuildOptionEdits();
    return edits;
}

const EditEntry* FindEdit(const std::string& name)
{
    for (const auto* table : {&RunSetupEdits(), &OptionEdits()})
        for (const EditEntry& e : *table)
            if (name == e.name) return &e;
    return nullptr;
}

bool EditTakes(const std::string& name, double stored)
{
    const EditEntry* e = FindEdit(name);
    return e != nullptr && WithinLimit(*e, stored);
}

EditResult CommitEdit(RunState& st, const EditEntry& e, const std::string& text)
{
    double typed = 0;
    bool read = true;
    if (e.parse == P::Number) {
        read = ReadDouble(text, typed);
    } else if (e.parse == P::Integer) {
        int i = 0;
        read = ReadInt(text, i);
        typed = i;
    } else {
        const std::int64_t c = ReadColour(text);
        read = c >= 0;
        typed = static_cast<double>(c);
    }
    // An unreadable text fails the limit too (its warning names it).
    if (!read) typed = std::numeric_limits<double>::quiet_NaN();
    const double stored = typed * e.toStored + e.offset;
    if (!WithinLimit(e, stored)) {
        ShowWarning(FieldRefusedText(Trimmed(e.caption), text, TypedRange(e)));
        return EditResult::Refused;
    }
    // The grid is rebuilt only by Init, which a run refuses: its values wait.
    if (e.pending && st.Running) return EditResult::Busy;
    if (e.number) {
        double& field = *e.number(st);
        if (e.pending && field == stored) return EditResult::Same;
        field = stored;
    } else if (e.integer) {
        int& field = *e.integer(st);
        const int v = static_cast<int>(stored);
        if (e.pending && field == v) return EditResult::Same;
        field = v;
    } else {
        *e.colour(st) = static_cast<std::uint32_t>(stored);
    }
    if (e.follow == W::SetupChanged) CheckRunSetupChanged(st);
    return EditResult::Taken;
}

std::string ShowEdit(const RunState& st, const EditEntry& e)
{
    RunState& s = const_cast<RunState&>(st);  // the accessors only locate the field
    if (e.integer) return std::to_string(*e.integer(s));
    if (e.colour) return ColourText(*e.colour(s));
    if (e.format == F::InitialDT && st.cbIgnDT) return "Disabled";
    const double v = (*e.number(s) - e.offset) * e.toShown;
    switch (e.format) {
    case F::Number: return SetupNumber(v, "0.####");
    case F::InitialDT: return SetupNumber(v, "0.###");
    case F::RoundedGeneral: return std::isfinite(v) ? FloatToStr(RoundD(v, 14)) : FloatToStr(v);
    default: return FloatToStr(v);
    }
}

std::string NodeLabel(const RunState& st, const std::string& editName)
{
    int n = 0;
    if (editName == "edPeakWidth")
        n = PositionToNode(st.geometry(), st.PeakWidthPending, st.NXPending);
    else if (editName == "edPeakEdgeWidth")
        n = PositionToNode(st.geometry(), st.PeakEdgeWidthPending, st.NXPending);
    else if (editName == "edInjSite")
        n = InjectionSiteNode(st, true);
    else if (editName == "edDetPosition")
        n = PositionToNode(st.geometry(), st.DetPosition, st.NXPending);
    else
        return {};
    return "(" + std::to_string(n) + " Nodes)";
}

void CheckRunSetupChanged(RunState& st)
{
    const bool changed[5] = {st.NX != st.NXPending, st.PeakWidth != st.PeakWidthPending,
                             st.PeakEdgeWidth != st.PeakEdgeWidthPending,
                             st.InjSite != st.InjSitePending, st.CapLength != st.CapLengthPending};
    st.SetupChanged = false;
    for (int i = 0; i < 5; ++i) {
        st.SetupItemChanged[i] = changed[i];
        st.SetupChanged = st.SetupChanged || changed[i];
    }
}

void RestoreRunSetup(RunState& st)
{
    st.SetupChanged = false;
    st.NXPending = st.NX;
    st.PeakWidthPending = st.PeakWidth;
    st.PeakEdgeWidthPending = st.PeakEdgeWidth;
    st.InjSitePending = st.InjSite;
    st.CapLengthPending = st.CapLength;
    for (bool& f : st.SetupItemChanged) f = false;
}

void KeepDistanceChecked(RunSetupSwitches& sw)
{
    if (sw.cbKeepDistance) sw.cbLWMove = false;
}

std::string PowerModeCaption(const RunSetupSwitches& sw, bool other)
{
    return sw.rbVoltage != other ? "Voltage (V)" : "Current (uA)";
}

void SetXAxisUnit(RunState& st, int code)
{
    st.Options.XAxisUnit = code;
    if (code == kXAxisM)
        st.XScale = 1;
    else if (code == kXAxisMM)
        st.XScale = 1000;
    else
        return;
    RescaleXAxis(st);
}

void RescaleXAxis(RunState& st)
{
    // A run, or the engine the sequence player built for the frames it shows.
    if ((!st.Initialised && !st.Arr.Allocated()) || st.NX <= 0) return;
    RunSeries& s = st.Series;
    // Every series along the capillary, each over its own points; the detector
    // record (minutes) stays.
    ChartSeries* along[] = {&s.sr_conductivity, &s.sr_pH,   &s.sr_IS,        &s.sr_j,   &s.sr_E,
                            &s.sr_Ui,           &s.sr_P,    &s.sr_potential, &s.sr_DER, &s.sr_S,
                            &s.sr_Svol,         &s.sr_diam, &s.sr_T,         &s.sr_mix, &s.sr_pi,
                            &s.sr_elneut,       &s.sr_mic,  &s.sr_MicDye,    &s.sr_CMC};
    std::vector<ChartSeries*> all(std::begin(along), std::end(along));
    for (int k = 1; k <= 8; ++k) all.push_back(&s.sr_reg[k]);
    for (ChartSeries* c : all) {
        const int n = static_cast<int>(c->x.size());
        if (n < 2) continue;
        for (int i = 0; i < n; ++i)
            c->x[i] = static_cast<double>(i) / (n - 1) * st.CapLength * st.XScale;
    }
    auto wall = [&](ChartSeries& line, int node) {
        for (double& x : line.x) x = static_cast<double>(node) / st.NX * st.CapLength * st.XScale;
    };
    wall(s.sr_LeftWall, st.LeftWall);
    wall(s.sr_RightWall, st.RightWall);
}

std::string ColourText(std::uint32_t colour)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(colour));
    return buf;
}

std::int64_t ReadColour(const std::string& text)
{
    std::string t = text;
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.erase(0, 1);
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
        t.erase(0, 2), base = 16;
    else if (!t.empty() && (t[0] == 'x' || t[0] == 'X' || t[0] == '$'))
        t.erase(0, 1), base = 16;
    if (t.empty() || t.size() > 10) return -1;
    std::int64_t v = 0;
    for (char ch : t) {
        int d;
        if (ch >= '0' && ch <= '9')
            d = ch - '0';
        else if (base == 16 && ch >= 'a' && ch <= 'f')
            d = ch - 'a' + 10;
        else if (base == 16 && ch >= 'A' && ch <= 'F')
            d = ch - 'A' + 10;
        else
            return -1;
        v = v * base + d;
    }
    return v <= 0xFFFFFFFFLL ? v : -1;
}

int CsvSepItem(char sep)
{
    return sep == ' ' ? 0 : sep == ',' ? 1 : sep == '\t' ? 2 : -1;
}

std::string CsvSepText(char sep)
{
    static const char* const items[] = {"SPACE", "COMMA", "TAB"};
    const int item = CsvSepItem(sep);
    return item >= 0 ? items[item] : std::string(1, sep);
}

bool CsvSepFromText(const std::string& text, char& sep)
{
    if (text.empty()) return false;
    const char c = text[0];
    if (c == 's' || c == 'S')
        sep = ' ';
    else if (c == 'c' || c == 'C')
        sep = ',';
    else if (c == 't' || c == 'T')
        sep = '\t';
    else
        sep = c;
    return true;
}

char CsvSepFromItem(int item)
{
    return item == 0 ? ' ' : item == 2 ? '\t' : ',';
}
