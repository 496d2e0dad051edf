// Every entry of the mode table held to three properties of the physics, each
// through the run's own entry points (InitCalc, RunCalc): matter of every
// constituent is conserved (sum of S c dx over the grid, zones far from the
// ends of the column), a run without field (no voltage, no current, or the
// diffusion mode under a set voltage) moves no zone (a symmetric zone only
// spreads, its centre stays), and a uniform buffer stays uniform (with its pH
// and temperature). The cases are listed per mode by a switch over `Mode` and
// the coverage test walks the table: a new mode without a case does not
// compile (the switch warns) or fails that test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/modes/effects/effects_table.h"
#include "engine/modes/modes.h"
#include "engine/state/run_state.h"
#include "engine/step/diffusion_phase.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "files/psq.h"
#include "files/psq_player.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/recording_host.h"
#include "support/recording_sink.h"
#include "support/run_profiles.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

namespace {

using namespace testcomp;

// The column of every case: 25 mm on 200 nodes, zones 2 mm wide (edges
// 0.5 mm) at its middle, a fixed time step.
constexpr int kNodes = 200;
constexpr double kLength = 0.025, kInjMM = 12.5, kVolts = 250.0;
constexpr double kDt = 1e-3, kStop = 0.3;  // about 300 steps

// A case: the composition and switches of one mode. Analytes are zones
// (c = 0, cInj > 0) so that their centre is measured without a background.
struct ModeCase {
    Mode mode = Mode::Standard;
    std::string name;
    TUnivSet<TComponents> composition;
    std::function<void(RunState&)> switchOn;
    // Constituent groups whose total is conserved (empty: each constituent
    // alone); a mode that turns one constituent into another conserves the sum.
    std::vector<std::vector<int>> conserved;
    // Constituents conserved only to the accuracy of the discretisation, with
    // the relative bound (the others to 1e-9).
    std::map<int, double> conservedToDiscretisation;
    // The uniform buffer, when it is not the composition made uniform.
    std::optional<TUnivSet<TComponents>> uniform;
    // The mode has diffusion: a zone spreads without a field.
    bool diffuses = true;
    // The mode moves its zones by a flow of its own, not by the field: the
    // run without field moves them as the run with field does.
    bool flowNotField = false;
    // How a run saved as a project goes on after the open: -1 with the same
    // bits as never saved; else, where the project file lacks what the run
    // goes on from, within this part of the largest profile value.
    double reopened = -1;
    // The warm capillary: the constituent whose zone is the trace ion (made
    // 1e-3 mM, the only zone, bound by nothing), with switches of its own
    // when `switchOn`'s do not fit (they may add the trace to the
    // composition). A case of a diffusing mode names one, or says in
    // `noTrace` why its diffusion cannot follow the node temperature.
    int traceIon = 0;
    std::function<void(RunState&)> traceSwitchOn;
    std::string noTrace;
};

TComponents NeutralConstituent(const std::string& name, double c, double cInj, int type = Analyte)
{
    return Constituent(name, 0, 0, {0.0}, {0.0}, type, c, cInj);
}

TComponents MicelleBinding(TComponents rec, double pKMic, double uMic)
{
    rec.pKMicA = pKMic;
    rec.uMicA = uMic;
    return rec;
}

// Acetate buffer with a neutral plug, a cation zone and a weak-base zone.
TUnivSet<TComponents> AcetateZones()
{
    TUnivSet<TComponents> comp;
    comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    comp.Add(NeutralConstituent("Neutral", 0.0, 1.0));
    comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 0.5));
    comp.Add(WeakBase("Base", 5.0, 30.0, Analyte, 0.0, 0.5));
    return comp;
}

// The complexation table of a neutral ligand (mobility 20) for analytes whose
// forms, in order, bind it with the pK (30: no complex) and complex mobility given.
ComplexTable NeutralLigandTable(int analytes,
                                const std::vector<std::pair<std::string, std::string>>& forms)
{
    ComplexTable t = {
        {"0", "0"}, {"None"}, {"20"}, {"14", "362.5", "205.5"}, {std::to_string(analytes)}};
    for (const auto& f : forms) t.push_back({f.first});
    for (const auto& f : forms) t.push_back({f.second});
    return t;
}

// The ionic-strength correction and the complexation equilibrium iterate from
// the run's last ionic strengths and fractions, which the project file does
// not hold: a reopened run solves them afresh, to the last bits (within 1e-15
// of the largest profile value). The project file has no field for the
// column temperatures that Joule heating integrates, nor for two switches of
// the effects window (volume section, dynamic EOF): a reopened run starts
// them anew, and goes on within 2e-6 (heating), 2e-11 (its simplified
// relaxation), 1e-15 and 8e-4 of the never-saved run in these cases.
ModeCase ReopenedWithin(ModeCase c, double relative)
{
    c.reopened = relative;
    return c;
}

ModeCase Case(Mode mode, const std::string& name, const TUnivSet<TComponents>& comp,
              std::function<void(RunState&)> switchOn, std::vector<std::vector<int>> conserved = {})
{
    ModeCase c;
    c.mode = mode;
    c.name = name;
    c.composition = comp;
    c.switchOn = std::move(switchOn);
    c.conserved = std::move(conserved);
    return c;
}

// One effects switch with a table of `segments` columns (rows in display units).
std::function<void(RunState&)> Effects(std::function<void(RunState&)> on, int segments,
                                       std::vector<std::pair<int, std::vector<std::string>>> rows)
{
    return [=](RunState& st) {
        on(st);
        CreateEffectsGrid(st, segments);
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = FloatToStr(0.2);
        for (const auto& [row, cells] : rows)
            for (int k = 0; k < segments; ++k)
                st.Grid[row][k + 2] = cells[static_cast<std::size_t>(k)];
        RefreshEffectsGrid(st);
    };
}

// The micellar settings: surfactant constituent 1, CMC 2 mM, 64 per micelle.
void MicellarSetUp(RunState& st)
{
    st.MicCompNo = 1;
    st.CMC = 2.0;
    st.OM = 64;
}

// The cases of one mode. A switch without default: a mode added to the enum
// without its case here warns (an error with the project's flags).
std::vector<ModeCase> CasesOf(Mode mode)
{
    switch (mode) {
    case Mode::Standard: {
        // Also with the ionic-strength correction, the other equilibrium path.
        std::vector<ModeCase> cases = {Case(mode, "Standard", AcetateZones(), [](RunState&) {}),
                                       ReopenedWithin(Case(mode, "IonicStrength", AcetateZones(),
                                                           [](RunState& st) { st.cbIS = true; }),
                                                      1e-15)};
        for (ModeCase& c : cases) c.traceIon = 4;
        return cases;
    }
    case Mode::Complex: {
        // A neutral ligand; the neutral plug and the cation bind it, the
        // buffer does not. Totals (free and bound) are conserved.
        TUnivSet<TComponents> comp;
        comp.Add(NeutralConstituent("Selector", 5.0, 5.0, BGE));
        comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 30.0, 30.0));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 15.0, 15.0));
        comp.Add(NeutralConstituent("Neutral", 0.0, 1.0));
        comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 0.5));
        const ComplexTable table = NeutralLigandTable(4, {{"30", "25"},
                                                          {"30", "25"},
                                                          {"30", "25"},
                                                          {"30", "25"},
                                                          {"-2", "10"},
                                                          {"30", "25"},
                                                          {"-2", "20"}});
        // The migration of a charged species is written as (g/kappa)' jc +
        // (g/kappa) jc' (the current density's divergence from the second
        // difference of z D c), not as the difference of one flux: where a
        // charged profile varies its total drifts by the discretisation
        // error (the cation zone 1.9e-7 in this run, 8e-7 after 3 s, a
        // quarter of it on twice the nodes; the sodium it displaces 2e-9
        // after 3 s). The ligand, the buffer and the neutral plug keep 1e-9.
        ModeCase c = Case(mode, "Complex", comp, [table](RunState& st) {
            st.cbComplex = true;
            st.TxtTable = table;
        });
        c.conservedToDiscretisation[5] = 1e-6;
        // The trace: potassium, its forms binding no ligand.
        c.traceIon = 5;
        const ComplexTable free = NeutralLigandTable(4, {{"30", "25"},
                                                         {"30", "25"},
                                                         {"30", "25"},
                                                         {"30", "25"},
                                                         {"-2", "10"},
                                                         {"30", "25"},
                                                         {"30", "20"}});
        c.traceSwitchOn = [free](RunState& st) {
            st.cbComplex = true;
            st.TxtTable = free;
        };
        return {ReopenedWithin(c, 1e-15)};
    }
    case Mode::Racemic: {
        // A selector (constituent 1) above its CMC; forms 2 and 3 bind it
        // differently and convert into each other (rates carried by
        // constituent 4: kF = its c, kB2 = its cInj, kB3 = its uMicA), so
        // only their sum is conserved.
        TUnivSet<TComponents> comp;
        comp.Add(StrongAnion("Selector", 30.0, BGE, 20.0, 20.0));
        comp.Add(MicelleBinding(NeutralConstituent("Form R", 0.0, 1.0), -3.0, 40.0));
        comp.Add(MicelleBinding(NeutralConstituent("Form S", 0.0, 0.5), -2.5, 40.0));
        comp.Add(MicelleBinding(NeutralConstituent("Rates", 2.0, 2.0, BGE), 30.0, 1.0));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 20.0, 20.0));
        ModeCase c = Case(mode, "Racemic", comp,
                          [](RunState& st) {
                              st.cbRacemic = true;
                              MicellarSetUp(st);
                          },
                          {{1}, {2, 3}, {4}, {5}});
        // The forms convert at the interior nodes only, while the walls hold
        // their values: a converting background would grow steps at the walls.
        // The uniform buffer is therefore a racemate at its conversion
        // equilibrium: equal forms that bind alike, kB2 = kB3 (no net
        // conversion anywhere), which the transport must keep uniform.
        TUnivSet<TComponents> racemate;
        racemate.Add(comp[1]);
        racemate.Add(MicelleBinding(NeutralConstituent("Form R", 0.5, 0.5, BGE), -3.0, 40.0));
        racemate.Add(MicelleBinding(NeutralConstituent("Form S", 0.5, 0.5, BGE), -3.0, 40.0));
        racemate.Add(MicelleBinding(NeutralConstituent("Rates", 2.0, 2.0, BGE), 30.0, 2.0));
        racemate.Add(comp[5]);
        c.uniform = racemate;
        // The trace: a potassium zone that binds no micelle.
        c.traceIon = 6;
        c.traceSwitchOn = [](RunState& st) {
            st.cbRacemic = true;
            MicellarSetUp(st);
            st.Composition.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 1e-3));
        };
        return {c};
    }
    case Mode::Linear: {
        // Two constituents (the constant matrices are those of two) with
        // a zone of each on their background.
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.5));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.2));
        ModeCase c = Case(mode, "Linear", comp, [](RunState& st) { st.cbMX = true; });
        c.noTrace = "the linearised model diffuses by its fixed matrix";
        return {c};
    }
    case Mode::Micellar: {
        // Surfactant above the CMC; a neutral plug and an acid bind the
        // micelles, the cation does not.
        TUnivSet<TComponents> comp;
        comp.Add(StrongAnion("SDS", 30.0, BGE, 20.0, 20.0));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 30.0, 30.0));
        comp.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
        comp.Add(MicelleBinding(NeutralConstituent("Neutral", 0.0, 1.0), -3.0, 40.0));
        comp.Add(StrongCation("Potassium", kUK, Analyte, 0.0, 0.5));
        comp.Add(MicelleBinding(WeakAcid("Acid", 4.2, 30.0, Analyte, 0.0, 0.5), -2.5, 25.0));
        ModeCase c = Case(mode, "Micellar", comp, [](RunState& st) {
            st.cbSDS = true;
            MicellarSetUp(st);
        });
        c.traceIon = 5;
        return {c};
    }
    case Mode::SplitAdvection: {
        // Pure advection of fixed roles: constituent 1 is split at every
        // evaluation into 3 and 4 (Keq = 0.1 from the extra length), so 3
        // and 4 are conserved as their sum; there is no diffusion.
        ModeCase c = Case(mode, "Special", SplitAdvectionComposition(),
                          [](RunState& st) {
                              st.cbSpec = true;
                              st.FakeCapLen = 1e-4;
                          },
                          {{1}, {2}, {3, 4}, {5}});
        c.diffuses = false;
        return {c};
    }
    case Mode::Effects: {
        // Each capillary effect alone on the acetate zones: a cross-section
        // doubling at 18.75 mm (far from the zones), Joule heating and its
        // simplified relaxation (uniform section: the column heats evenly), a
        // warmer column, mixing, a volume section of its own for the flow and
        // the EOF of the wall's dissociation carrying everything.
        std::vector<ModeCase> cases;
        auto effect = [&](const std::string& name, std::function<void(RunState&)> on, int segments,
                          std::vector<std::pair<int, std::vector<std::string>>> rows) {
            cases.push_back(Case(mode, name, AcetateZones(),
                                 Effects(std::move(on), segments, std::move(rows))));
        };
        effect("CrossSection", [](RunState& st) { st.cbS = true; }, 2,
               {{kRowRatio, {"3", "1"}}, {kRowS, {"1", "2"}}});
        effect("Heating", [](RunState& st) { st.cbH = true; }, 1, {});
        effect("SimplifiedHeating", [](RunState& st) { st.cbH = st.cbAccT = true; }, 1, {});
        effect("Temperature", [](RunState& st) { st.cbT = true; }, 1, {{kRowT, {"35"}}});
        effect("Mixing", [](RunState& st) { st.cbMix = true; }, 1, {{kRowMix, {"10"}}});
        effect("VolumeSection", [](RunState& st) { st.cbSvol = st.cbEOFDif = true; }, 1,
               {{kRowSvol, {"2"}}});
        effect("DynamicEOF", [](RunState& st) { st.cbEOF = st.cbEOFDif = true; }, 1,
               {{kRowPKEOF, {"5.5"}}, {kRowUEOF, {"50"}}});
        for (auto [k, within] : {std::pair(1, 1e-5), {2, 1e-10}, {5, 1e-15}, {6, 1e-3}})
            cases[k] = ReopenedWithin(cases[k], within);
        for (ModeCase& c : cases) {
            if (c.name == "Mixing")
                c.noTrace = "mixing spreads a zone beyond diffusion";
            else
                c.traceIon = 4;
        }
        return cases;
    }
    case Mode::Chrom: {
        // Constituents 1 and 2 carried by the flow (|EOFMob| 1e9 = 1 mm/s),
        // 1 retarded by adsorption (capacity 50, K 0.01): the concentration
        // is mobile and stationary together. No diffusion, no field.
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("Retarded", 0.01, 50.0, Analyte, 0.0, 1e-3));
        comp.Add(WeakAcid("Unretained", 0.0, 30.0, Analyte, 0.0, 1e-3));
        comp.Add(StrongCation("Sodium", kUNa, BGE, 1.0, 1.0));
        ModeCase c = Case(mode, "Chrom", comp, [](RunState& st) {
            st.cbChrom = true;
            st.EOFMob = 1e-12;
        });
        c.diffuses = false;
        c.flowNotField = true;
        return {c};
    }
    case Mode::LiBz: {
        // The acid and the cation carried by the EOF (EOFMob x field) and
        // diffusing; no third constituent, so no capacity retards the acid.
        // (With a capacity the acid is integrated as its mobile part, its
        // transport divided by the retardation R: the bound part is no
        // constituent, so the acid's concentration alone is not conserved.)
        TUnivSet<TComponents> comp;
        comp.Add(WeakAcid("Benzoic acid", 4.2, 30.0, Analyte, 0.0, 0.1));
        comp.Add(StrongCation("Lithium", kULi, Analyte, 0.0, 0.1));
        ModeCase c = Case(mode, "LiBz", comp, [](RunState& st) {
            st.cbLiBz = true;
            st.EOFMob = 5e-9;
        });
        c.noTrace =
            "a temperature switch selects the capillary-effects scheme, which its cases hold";
        return {c};
    }
    }
    return {};
}

std::vector<ModeCase> AllCases()
{
    std::vector<ModeCase> all;
    for (int k = 0; k < kModeCount; ++k)
        for (ModeCase& c : CasesOf(static_cast<Mode>(k))) all.push_back(std::move(c));
    return all;
}

// The same composition made uniform: a constituent of the buffer at its
// background everywhere, an analyte at its injected concentration everywhere.
TUnivSet<TComponents> Uniform(TUnivSet<TComponents> comp)
{
    for (int i = 1; i <= comp.Count(); ++i) {
        TComponents& r = comp[i];
        if (r.type == Analyte) r.c = r.cInj;
        r.cInj = r.c;
        r.type = BGE;
    }
    return comp;
}

// Prepares and initialises the case at the set voltage (or, voltage false, the
// set current); false when Init refused.
bool Init(RunState& st, const ModeCase& c, const TUnivSet<TComponents>& comp, double drive,
          bool voltage = true)
{
    PrepareRun(st, comp, kNodes);
    st.CapLengthPending = kLength;
    SetZoneAndVoltage(st, kInjMM, 2.0, 0.5, drive);
    st.rbVoltage = voltage;
    c.switchOn(st);
    return InitCalc(st);
}

// Runs about 300 steps at a fixed time step; the walls move as they do in use.
// With fixedWalls the window stays the whole grid, so every node is integrated.
void RunSteps(RunState& st, bool fixedWalls = false)
{
    RunFixed(st, kStop, kDt, fixedWalls);
    ASSERT_GT(st.Time, kStop - kDt);
    ASSERT_GE(st.StepCount, 200);
    ASSERT_FALSE(st.NumericalFailure);
}

// Sum of S c dx of constituent i over the grid.
double Amount(const RunState& st, int i)
{
    long double sum = 0;
    for (int j = 0; j < st.Arr.Nn; ++j)
        sum += static_cast<long double>(st.Arr.S[j]) * st.Arr.C(2, i)[j] * st.DX;
    return static_cast<double>(sum);
}

// Profile of constituent i above its value at the first node (the zone alone).
std::vector<double> ZoneProfile(const RunState& st, int i)
{
    std::vector<double> c = Profile(st, i);
    const double base = c.front();
    for (double& y : c) y -= base;
    return c;
}

// Centres of the zones (constituents injected above their background) at
// the start of a run.
struct ZoneCentres {
    explicit ZoneCentres(const RunState& st)
    {
        for (int i = 1; i <= st.NComp; ++i)
            if (st.CompInit[i].cInj != st.CompInit[i].c) zones.push_back(i);
        for (int i : zones) moments.push_back(Moments(ZoneProfile(st, i), st.DX));
    }
    // Each zone's centre stayed within 1e-9 of the column length, and the
    // zone spread when the mode diffuses; a flow of the mode's own carried it.
    void ExpectNoMigration(const RunState& st, const ModeCase& c) const
    {
        ASSERT_FALSE(zones.empty());
        for (std::size_t z = 0; z < zones.size(); ++z) {
            const int i = zones[z];
            const ProfileMoments m = Moments(ZoneProfile(st, i), st.DX);
            if (c.flowNotField) {
                EXPECT_GT(m.mean - moments[z].mean, 1e-4) << "constituent " << i;
                continue;
            }
            EXPECT_NEAR(m.mean, moments[z].mean, 1e-9 * kLength) << "constituent " << i;
            if (c.diffuses) {
                EXPECT_GT(m.variance, moments[z].variance) << "constituent " << i;
            }
        }
    }
    std::vector<int> zones;
    std::vector<ProfileMoments> moments;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class EveryMode : public ::testing::TestWithParam<ModeCase> {};

std::string CaseName(const ::testing::TestParamInfo<ModeCase>& info)
{
    return info.param.name;
}

}  // namespace

// The suite covers the table: every entry has a case, and the case selects it.
TEST(EveryModeTable, EachEntryOfTheTableHasACaseThatSelectsIt)
{
    const ModeTable table = DefaultModeTable();
    for (int k = 0; k < kModeCount; ++k) {
        const Mode mode = static_cast<Mode>(k);
        const std::vector<ModeCase> cases = CasesOf(mode);
        EXPECT_FALSE(cases.empty())
            << "no case for the mode \"" << table[ModeIndex(mode)].name << "\"";
        for (const ModeCase& c : cases) {
            RecordingMessageSink sink;
            RunState st;
            ASSERT_TRUE(Init(st, c, c.composition, kVolts)) << c.name;
            EXPECT_EQ(SelectMode(st), mode) << c.name;
            EXPECT_STREQ(SelectedModeHooks(st).name, table[ModeIndex(mode)].name) << c.name;
            EXPECT_TRUE(sink.warnings.empty()) << c.name << ": " << sink.warnings.front();
        }
    }
}

// Zones well inside the column under the field: the total of every
// constituent (or group a mode converts within) stays to 1e-9.
TEST_P(EveryMode, MatterOfEveryConstituentIsConserved)
{
    const ModeCase& c = GetParam();
    RecordingMessageSink sink;
    RunState st;
    ASSERT_TRUE(Init(st, c, c.composition, kVolts));
    std::vector<std::vector<int>> groups = c.conserved;
    if (groups.empty())
        for (int i = 1; i <= st.NComp; ++i) groups.push_back({i});
    auto total = [&](const std::vector<int>& g) {
        double m = 0;
        for (int i : g) m += Amount(st, i);
        return m;
    };
    std::vector<double> before;
    for (const auto& g : groups) before.push_back(total(g));
    RunSteps(st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        ASSERT_GT(before[g], 0.0) << "group " << g;
        const auto looser = c.conservedToDiscretisation.find(groups[g][0]);
        const double tolerance =
            looser == c.conservedToDiscretisation.end() ? 1e-9 : looser->second;
        EXPECT_NEAR(total(groups[g]), before[g], tolerance * before[g])
            << "group of constituent " << groups[g][0];
    }
}

// Without a field a symmetric zone spreads by diffusion alone: its centre
// stays within 1e-9 of the column length. A mode whose zones move by a flow
// of its own (Chrom) moves them without a field exactly as with one.
TEST_P(EveryMode, WithoutFieldNoZoneMigrates)
{
    const ModeCase& c = GetParam();
    for (const bool voltage : {true, false}) {  // 0 V, then 0 uA at constant current
        SCOPED_TRACE(voltage ? "no voltage" : "no current");
        RecordingMessageSink sink;
        RunState st;
        ASSERT_TRUE(Init(st, c, c.composition, 0.0, voltage));
        const ZoneCentres start(st);
        RunSteps(st);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
        EXPECT_EQ(st.I, 0.0);
        start.ExpectNoMigration(st, c);
        if (c.flowNotField) {
            RunState field;
            ASSERT_TRUE(Init(field, c, c.composition, kVolts));
            RunSteps(field);
            for (int i : start.zones)
                EXPECT_EQ(Profile(field, i), Profile(st, i)) << "constituent " << i;
        }
    }
}

// The diffusion (conditioning) mode switches the field off whatever the set
// voltage: the run's clock stands, the diffusion clock runs, and no zone
// migrates (a flow of the mode's own still carries its zones).
TEST_P(EveryMode, InTheDiffusionModeNoZoneMigrates)
{
    const ModeCase& c = GetParam();
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    ASSERT_TRUE(Init(st, c, c.composition, kVolts));
    const ZoneCentres start(st);
    host.Attach(st);
    host.onProcessMessages = [&st](int) {
        if (st.StepCount >= 300) st.Stop = true;
    };
    StartDiffusionMode(st, 100.0);
    RunFixed(st, 1.0, kDt);
    host.Detach();
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    ASSERT_TRUE(st.DiffMode && st.Time == 0.0 && st.DiffClock > 0.29);
    ASSERT_FALSE(st.NumericalFailure);
    EXPECT_TRUE(st.U == 0.0 && st.I == 0.0);
    start.ExpectNoMigration(st, c);
}

// Every constituent at its background everywhere, under the field: every node
// keeps the value of the first within 1e-10.
TEST_P(EveryMode, AUniformBufferStaysUniform)
{
    const ModeCase& c = GetParam();
    RecordingMessageSink sink;
    RunState st;
    ASSERT_TRUE(Init(st, c, c.uniform ? *c.uniform : Uniform(c.composition), kVolts));
    RunSteps(st, true);
    ASSERT_TRUE(st.LeftWall == 0 && st.RightWall == st.NX);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    auto expectUniform = [](const std::vector<double>& p, const std::string& what) {
        const double scale = std::max(std::fabs(p.front()), 1e-300);
        double worst = 0;
        for (double y : p) worst = std::max(worst, std::fabs(y - p.front()));
        EXPECT_LE(worst, 1e-10 * scale) << what << " from " << p.front();
    };
    for (int i = 1; i <= st.NComp; ++i)
        expectUniform(Profile(st, i), "constituent " + std::to_string(i));
    // the equilibrium and the temperature (heated evenly) follow
    expectUniform(std::vector<double>(st.Arr.PH.begin(), st.Arr.PH.end()), "pH");
    expectUniform(std::vector<double>(st.Arr.T(2), st.Arr.T(2) + st.Arr.Nn), "temperature");
}

namespace {

// Physical constants of the test's own (CODATA), and a salt ion's mobility
// rising by 2.05 %/K from its value at 25 degC.
constexpr double kGasR = 8.314462618, kFaradayF = 96485.33212;

// Nernst-Einstein: D = u(T) R T / F of a singly charged ion of mobility u25
// (1e-9 m2/(V s)) at 25 degC.
double NernstEinsteinD(double u25, double T)
{
    return u25 * 1e-9 * (1 + 0.0205 * (T - 298.15)) * kGasR * T / kFaradayF;
}

// An initial temperature profile of `celsius` over every segment of the
// table (a table of one segment when the case has none).
void WarmCapillary(RunState& st, double celsius)
{
    st.cbT = true;
    if (st.effects().SegCount < 1) {
        CreateEffectsGrid(st, 1);
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = FloatToStr(0.2);
    }
    for (int k = 0; k < st.effects().SegCount; ++k) st.Grid[kRowT][k + 2] = FloatToStr(celsius);
    RefreshEffectsGrid(st);
}

// A step of the initial temperature profile, `left` degC over the table's
// first segment, `right` over the others (a table of two segments, edges
// 0.2 mm, when the case has fewer; the case's own rows stay).
void WarmStep(RunState& st, double left, double right)
{
    st.cbT = true;
    if (st.effects().SegCount < 2) {
        CreateEffectsGrid(st, 2);
        for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = FloatToStr(0.2);
    }
    for (int k = 0; k < st.effects().SegCount; ++k)
        st.Grid[kRowT][k + 2] = FloatToStr(k == 0 ? left : right);
    RefreshEffectsGrid(st);
}

// A warm segment of 2 mm at 45 degC in the middle of the column (edges
// 0.2 mm), 25 degC either side: three segments of the table (the case's own
// rows stay, its first segment's values on the third).
void WarmSegment(RunState& st)
{
    st.cbT = true;
    CreateEffectsGrid(st, 3);
    for (int r = kRowID; r < kEffectsRows; ++r) st.Grid[r][1] = FloatToStr(0.2);
    const char* ratio[] = {"11.5", "2", "11.5"};
    const char* celsius[] = {"25", "45", "25"};
    for (int k = 0; k < 3; ++k) {
        st.Grid[kRowRatio][k + 2] = ratio[k];
        st.Grid[kRowT][k + 2] = celsius[k];
    }
    RefreshEffectsGrid(st);
}

// The case prepared with its trace ion as the only zone (1e-3 mM) at
// `injMM` under `volts`; the trace's record.
TComponents PrepareTrace(RunState& st, const ModeCase& c, double injMM, double volts)
{
    PrepareRun(st, c.composition, kNodes);
    st.CapLengthPending = kLength;
    SetZoneAndVoltage(st, injMM, 2.0, 0.5, volts);
    (c.traceSwitchOn ? c.traceSwitchOn : c.switchOn)(st);
    for (int i = 1; i <= st.Composition.Count(); ++i) {
        TComponents r = st.Composition.Get(i);
        r.cInj = i == c.traceIon ? 1e-3 : r.c;
        st.Composition.Put(i, r);
    }
    return st.Composition.Get(std::min(c.traceIon, st.Composition.Count()));
}

}  // namespace

// A capillary held at 45 degC (an initial temperature profile, no field), its
// set temperature 25 or 37 degC: a trace ion's zone spreads with
// D = u(T) R T / F, its mobility taken at the node temperature from its value
// at 25 degC, in every mode whose transport diffuses; with no temperature
// switch at 37 degC it spreads with u R T / F at the set temperature, its
// mobility that of 25 degC. A mode whose diffusion cannot follow the
// temperature says why.
// Across a step from 25 to 45 degC (250 nodes over 10 mm, no field, the
// walls held) a solution of uniform composition stays uniform to 1e-6 over
// 20 s, each constituent keeping its amount to 1e-12, in every mode that
// diffuses: diffusion carries no matter down a gradient of D alone.
TEST_P(EveryMode, AWarmCapillaryDiffusesATraceIonAtItsTemperatureAndKeepsAUniformSolution)
{
    const ModeCase& c = GetParam();
    if (!c.diffuses) return;
    {
        SCOPED_TRACE("uniform across a temperature step");
        RecordingMessageSink sink;
        RunState st;
        PrepareRun(st, c.uniform ? *c.uniform : Uniform(c.composition), 250);
        st.CapLengthPending = 0.01;
        SetZoneAndVoltage(st, 5.0, 2.0, 0.5, 0.0);
        c.switchOn(st);
        WarmStep(st, 25.0, 45.0);
        ASSERT_TRUE(InitCalc(st));
        const double* T = st.Arr.T(2);
        ASSERT_TRUE(T[0] == 298.15 && T[st.NX] == 318.15) << T[0] << " " << T[st.NX];
        std::vector<double> before;
        for (int i = 1; i <= st.NComp; ++i) before.push_back(Amount(st, i));
        st.cbLWMove = st.cbRWMove = false;
        RunTo(st, 20.0, 1e-3);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
        ASSERT_FALSE(st.NumericalFailure);
        ASSERT_GT(st.Time, 19.9);
        ASSERT_TRUE(st.LeftWall == 0 && st.RightWall == st.NX);
        for (int i = 1; i <= st.NComp; ++i) {
            const std::vector<double> p = Profile(st, i);
            double worst = 0;
            for (double y : p) worst = std::max(worst, std::fabs(y - p.front()));
            EXPECT_LE(worst, 1e-6 * std::fabs(p.front()))
                << "constituent " << i << " from " << p.front();
            EXPECT_NEAR(Amount(st, i), before[static_cast<std::size_t>(i - 1)],
                        1e-12 * before[static_cast<std::size_t>(i - 1)])
                << "constituent " << i;
        }
    }
    if (!c.noTrace.empty()) {
        EXPECT_EQ(c.traceIon, 0) << c.noTrace;
        return;
    }
    ASSERT_GT(c.traceIon, 0) << "a diffusing mode's case names its trace ion";
    for (const double setCelsius : {25.0, 37.0}) {
        SCOPED_TRACE(setCelsius);
        RecordingMessageSink sink;
        RunState st;
        const TComponents trace = PrepareTrace(st, c, kInjMM, 0.0);
        ASSERT_TRUE(trace.minCharge == 0 && trace.maxCharge == 1 && trace.pKMicA >= 30);
        WarmCapillary(st, 45.0);
        st.Temperature = 273.15 + setCelsius;
        ASSERT_TRUE(InitCalc(st));
        const int centre = static_cast<int>(kInjMM / 1000 / st.DX);
        const double T = st.Arr.T(2)[centre];
        ASSERT_NEAR(T, 318.15, 1e-9);
        const ProfileMoments m0 = Moments(ZoneProfile(st, c.traceIon), st.DX);
        RunSteps(st, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
        const ProfileMoments m1 = Moments(ZoneProfile(st, c.traceIon), st.DX);
        const double D = (m1.variance - m0.variance) / (2 * st.Time);
        EXPECT_NEAR(D / NernstEinsteinD(trace.u[1][1], T), 1.0, 1e-4) << SelectedModeHooks(st).name;
    }
    {
        // A zone at the middle of a warm segment whose edges meet the zone's:
        // the temperature profile is symmetric about the zone, so its centre
        // stays (within 1e-9 of the column length) while it spreads.
        SCOPED_TRACE("a warm segment about the zone");
        RecordingMessageSink sink;
        RunState st;
        PrepareTrace(st, c, kInjMM, 0.0);
        WarmSegment(st);
        ASSERT_TRUE(InitCalc(st));
        const int centre = static_cast<int>(kInjMM / 1000 / st.DX);
        ASSERT_TRUE(st.Arr.T(2)[centre] == 318.15 && st.Arr.T(2)[0] == 298.15);
        const ProfileMoments m0 = Moments(ZoneProfile(st, c.traceIon), st.DX);
        RunSteps(st, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
        const ProfileMoments m1 = Moments(ZoneProfile(st, c.traceIon), st.DX);
        EXPECT_GT(m1.variance, m0.variance);
        EXPECT_NEAR(m1.mean, m0.mean, 1e-9 * kLength) << SelectedModeHooks(st).name;
    }
    {
        SCOPED_TRACE("no temperature switch at 37 degC");
        RecordingMessageSink sink;
        RunState st;
        const TComponents trace = PrepareTrace(st, c, kInjMM, 0.0);
        if (st.cbT || st.cbH) return;  // the case's own effect follows the temperature
        const double T = 273.15 + 37;
        st.Temperature = T;
        ASSERT_TRUE(InitCalc(st));
        const ProfileMoments m0 = Moments(ZoneProfile(st, c.traceIon), st.DX);
        RunSteps(st, true);
        ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
        const ProfileMoments m1 = Moments(ZoneProfile(st, c.traceIon), st.DX);
        const double D = (m1.variance - m0.variance) / (2 * st.Time);
        const double expected = trace.u[1][1] * 1e-9 * kGasR * T / kFaradayF;
        EXPECT_NEAR(D / expected, 1.0, 1e-4) << SelectedModeHooks(st).name;
    }
}

// The micellar mode's capillary heated by the current (Joule heating, the
// field on): between 0.1 and 0.4 s the trace ion's zone spreads at the mean
// over the steps of u(T) R T / F at the temperature its node has reached.
TEST(EveryModeTable, AHeatedMicellarCapillaryDiffusesATraceIonAtTheTemperatureItReaches)
{
    const ModeCase c = CasesOf(Mode::Micellar).front();
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    const double u25 = PrepareTrace(st, c, 7.5, 1500.0).u[1][1];
    Effects([](RunState& s) { s.cbH = true; }, 1, {})(st);
    ASSERT_TRUE(InitCalc(st));
    ASSERT_EQ(SelectMode(st), Mode::Micellar);
    RunFixed(st, 0.1, kDt, true);
    const ProfileMoments m0 = Moments(ZoneProfile(st, c.traceIon), st.DX);
    const double t0 = st.Time;
    double expected = 0, hottest = 0;
    host.Attach(st);
    host.onProcessMessages = [&](int) {
        const int centre =
            static_cast<int>(std::lround(Moments(ZoneProfile(st, c.traceIon), st.DX).mean / st.DX));
        const double T = st.Arr.T(2)[centre];
        hottest = std::max(hottest, T);
        expected += NernstEinsteinD(u25, T) * st.DT;
    };
    RunFixed(st, 0.4, kDt, true);
    host.Detach();
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    ASSERT_FALSE(st.NumericalFailure);
    EXPECT_GT(hottest, 303.15);  // heated by several kelvin
    const ProfileMoments m1 = Moments(ZoneProfile(st, c.traceIon), st.DX);
    EXPECT_GT(m1.mean - m0.mean, 1e-3);  // the zone migrated
    const double D = (m1.variance - m0.variance) / 2;
    EXPECT_NEAR(D / expected, 1.0, 0.01) << hottest << " K, " << (st.Time - t0) << " s";
}

// A uniform solution that reacts (the kinetic add-on, the racemic mode's
// conversion) reacts alike at every node, the walls included: while a
// reaction acts the computation window spans the whole grid (a flat column
// would otherwise narrow it to 10 nodes, outside which nothing reacted), and
// a wall that holds its value stands for the reservoir's solution, which
// reacts as the capillary's does (held walls that did not react kept their
// start value and fed it into their neighbours by diffusion). A wall that
// follows its neighbour (the charged reactant leaving the column) has the
// neighbour's reaction once, not twice. The product of C + P -> PC follows
// the closed form of d[PC]/dt = k [C] [P] with [C] = [P] = 5 - [PC].
TEST(EveryModeTable, AReactingUniformBufferReactsEverywhere)
{
    constexpr double kRate = 1e-2;  // mM^-1 s^-1
    TUnivSet<TComponents> kinetic;  // PC formed from C and P at 1e-2 C P mM/s
    kinetic.Add(NeutralConstituent("PC", 0.0, 0.0, BGE));
    kinetic.Add(NeutralConstituent("C", 5.0, 5.0, BGE));
    kinetic.Add(NeutralConstituent("P", 5.0, 5.0, BGE));
    kinetic.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    kinetic.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    TUnivSet<TComponents> charged = kinetic;  // C a cation: it leaves at one wall
    charged[2] = StrongCation("C", kULi, BGE, 5.0, 5.0);
    TUnivSet<TComponents> racemic;  // forms R and S converting at kF = kB2 = kB3 = 2/s
    racemic.Add(StrongAnion("Selector", 30.0, BGE, 20.0, 20.0));
    racemic.Add(MicelleBinding(NeutralConstituent("Form R", 1.0, 1.0, BGE), -3.0, 40.0));
    racemic.Add(MicelleBinding(NeutralConstituent("Form S", 0.5, 0.5, BGE), -2.5, 40.0));
    racemic.Add(MicelleBinding(NeutralConstituent("Rates", 2.0, 2.0, BGE), 30.0, 2.0));
    racemic.Add(StrongCation("Sodium", kUNa, BGE, 20.0, 20.0));
    auto kineticOn = [](double k) {
        return [k](RunState& st) {
            st.cbKinetic = true;
            st.Kin1 = k;
            st.Kin2 = st.KinC = st.KinX = 0.0;
        };
    };
    TUnivSet<TComponents> enantiomers;  // A and B converting at 2/s, selector of charges -1, 0
    enantiomers.Add(NeutralConstituent("A", 1.0, 1.0, BGE));
    enantiomers.Add(NeutralConstituent("B", 0.5, 0.5, BGE));
    enantiomers.Add(WeakAcid("Selector", 4.0, 30.0, BGE, 20.0, 20.0));
    enantiomers.Add(StrongCation("Sodium", kUNa, BGE, 20.0, 20.0));
    const ModeCase cases[] = {Case(Mode::Standard, "Kinetic", kinetic, kineticOn(kRate)),
                              Case(Mode::Standard, "Kinetic charged", charged, kineticOn(kRate)),
                              Case(Mode::Racemic, "Racemic", racemic,
                                   [](RunState& st) {
                                       st.cbRacemic = true;
                                       MicellarSetUp(st);
                                   }),
                              Case(Mode::Standard, "Racemic term", enantiomers, [](RunState& st) {
                                  st.setup_cbRacemic = true;
                                  st.RacemicA = 0.1;
                                  st.RacemicB = 0.2;
                                  st.RacemicG = 2.0;
                              })};
    for (const ModeCase& c : cases) {
        RecordingMessageSink sink;
        RunState st;
        ASSERT_TRUE(Init(st, c, c.composition, kVolts)) << c.name;
        const bool isKinetic = c.name.rfind("Kinetic", 0) == 0;
        const bool isTerm = c.name == "Racemic term";
        const int i = isKinetic || isTerm ? 1 : 2;  // PC, enantiomer A, form R
        const double start = Profile(st, i)[kNodes / 2];
        RunSteps(st);
        ASSERT_TRUE(sink.warnings.empty()) << c.name << ": " << sink.warnings.front();
        EXPECT_TRUE(st.LeftWall == 0 && st.RightWall == st.NX) << c.name;
        const std::vector<double> p = Profile(st, i);
        const double mid = p[kNodes / 2];
        EXPECT_GT(std::fabs(mid - start), 0.01) << c.name;  // it reacted
        std::size_t worst = 0;
        for (std::size_t j = 0; j < p.size(); ++j)
            if (std::fabs(p[j] - mid) > std::fabs(p[worst] - mid)) worst = j;
        EXPECT_NEAR(p[worst], mid, 1e-10 * mid) << c.name << " node " << worst;
        // Each node conserves the reacting pair: C + PC, A + B, R + S.
        const std::vector<double> q = Profile(st, i + 1);
        const double total = isKinetic ? 5.0 : 1.5;
        for (std::size_t j = 0; j < p.size(); ++j)
            ASSERT_NEAR(p[j] + q[j], total, 1e-9 * total) << c.name << " node " << j;
        if (isKinetic) {  // [PC] = 5 - 1 / (1/5 + k t)
            EXPECT_NEAR(mid, 5.0 - 1.0 / (0.2 + kRate * st.Time), 1e-6 * mid) << c.name;
        }
        if (c.name == "Racemic") {  // each of the three rates alone converts the forms
            TComponents& rates = st.CompInit.IndexAddress(4)->data;
            for (int k = 0; k < 3; ++k) {
                rates.c = k == 0 ? 2.0 : 0.0;
                rates.cInj = k == 1 ? 2.0 : 0.0;
                rates.uMicA = k == 2 ? 2.0 : 0.0;
                EXPECT_TRUE(ModeReactsEverywhere(st)) << "rate " << k;
            }
            rates.uMicA = 0.0;
            EXPECT_FALSE(ModeReactsEverywhere(st));
        }
    }
    // Without a rate constant nothing reacts: the flat column narrows the
    // window as before.
    RecordingMessageSink sink;
    RunState st;
    const ModeCase idle = Case(Mode::Standard, "Kinetic idle", kinetic, kineticOn(0.0));
    ASSERT_TRUE(Init(st, idle, kinetic, kVolts));
    RunSteps(st);
    EXPECT_TRUE(st.RightWall < st.NX) << st.LeftWall << ".." << st.RightWall;
    // Either rate constant alone is a reaction (the reverse one as well).
    EXPECT_FALSE(ModeReactsEverywhere(st));
    st.Kin2 = 1e-3;
    EXPECT_TRUE(ModeReactsEverywhere(st));
    st.Kin1 = 1e-3;
    st.Kin2 = 0.0;
    EXPECT_TRUE(ModeReactsEverywhere(st));
}

// A reaction switched on during a run, with walls the user fixed at 50..150:
// the next step integrates the whole grid (not only from the next window
// update, WallRef steps later), so the column still reacts alike everywhere.
TEST(EveryModeTable, AReactionSwitchedOnDuringARunReactsEverywhereFromTheNextStep)
{
    TUnivSet<TComponents> kinetic;
    kinetic.Add(NeutralConstituent("PC", 0.0, 0.0, BGE));
    kinetic.Add(NeutralConstituent("C", 5.0, 5.0, BGE));
    kinetic.Add(NeutralConstituent("P", 5.0, 5.0, BGE));
    kinetic.Add(WeakAcid("Acetic acid", kPKAcetic, kUAcetate, BGE, 20.0, 20.0));
    kinetic.Add(StrongCation("Sodium", kUNa, BGE, 10.0, 10.0));
    RecordingMessageSink sink;
    RecordingHost host;
    RunState st;
    const ModeCase c = Case(Mode::Standard, "Kinetic later", kinetic, [](RunState& s) {
        s.Kin1 = 1e-2;
        s.Kin2 = s.KinC = s.KinX = 0.0;
    });
    ASSERT_TRUE(Init(st, c, kinetic, kVolts));
    st.LeftWall = 50;
    st.RightWall = 150;
    st.WallRef = 30;
    host.Attach(st);
    bool switched = false;
    host.onProcessMessages = [&](int) {
        if (st.StepCount >= 100 && !switched) {
            ASSERT_TRUE(st.LeftWall == 50 && st.RightWall == 150);  // nothing reacted yet
            st.cbKinetic = switched = true;
        }
    };
    RunFixed(st, kStop, kDt, true);
    host.Detach();
    ASSERT_TRUE(switched);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    ASSERT_FALSE(st.NumericalFailure);
    EXPECT_TRUE(st.LeftWall == 0 && st.RightWall == st.NX);
    const std::vector<double> p = Profile(st, 1);
    const double mid = p[kNodes / 2];
    EXPECT_GT(mid, 0.03);  // about 200 steps of 0.25 mM/s
    for (std::size_t j = 0; j < p.size(); ++j) ASSERT_NEAR(p[j], mid, 1e-10 * mid) << "node " << j;
}

namespace {

// What a run goes on from, bit for bit: the time, the time step, the step
// count and every node's concentrations, H+ and pH.
std::vector<double> RunImage(RunState& st)
{
    std::vector<double> v{st.Time, st.DT, double(st.StepCount)};
    for (int i = 1; i <= st.NComp; ++i)
        v.insert(v.end(), st.Arr.C(2, i), st.Arr.C(2, i) + st.Arr.Nn);
    v.insert(v.end(), st.Arr.CH(2), st.Arr.CH(2) + st.Arr.Nn);
    v.insert(v.end(), st.Arr.PH.begin(), st.Arr.PH.end());
    return v;
}

// Each value of `b` is `a`'s bit for bit (the time, time step and step count
// always; the profiles when `within` < 0) or within `within` of the largest
// profile value.
void ExpectSameRun(const std::vector<double>& a, const std::vector<double>& b, double within,
                   const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    double largest = 0;
    for (std::size_t k = 3; k < a.size(); ++k) largest = std::max(largest, std::fabs(a[k]));
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (within < 0 || k < 3)
            ASSERT_EQ(std::memcmp(&a[k], &b[k], sizeof(double)), 0)
                << what << ": value " << k << " " << a[k] << " against " << b[k];
        else
            ASSERT_NEAR(a[k], b[k], within * largest) << what << ": value " << k;
    }
}

// A run state that records its sequence into its own temporary file in `dir`.
struct RecordedRun {
    RunState st;
    PsqFileRecorder recorder{st};
    RecordedRun(const TempDir& dir, const std::string& own)
    {
        st.Recorder = &recorder;
        st.PsqFileOwn = st.PsqFile = dir.file(own);
    }
};

// The run `run` has run to its end, recording its sequence every `period`
// steps. Saved through the save of the window, it opens into a fresh state
// whose windows hold `switches` and runs on for `more` seconds beside the
// never-saved run (which restarts its multistep method, as every opened run
// does): the same bits (`within` < 0; see ModeCase::reopened). The sequence
// of the opened run plays and Use takes its frame at the open; with
// `usedAlike` the run goes on from it alike (a frame holds no mode's tables).
void ExpectReopensAsNeverSaved(RecordedRun& run, const TempDir& dir, double more,
                               const std::function<void(RunState&)>& switches, double within,
                               bool usedAlike)
{
    RecordingMessageSink sink;
    RunState& st = run.st;
    ASSERT_GT(PsqFrameCount(FileSizeByName(st.PsqFile), 60,
                            PsqFrameSize("1.0", st.NX, st.NComp, st.cbSDS)),
              2);
    const std::string sna = dir.file("run.sna");
    ASSERT_TRUE(SaveSnaFile(st, sna));
    const int saved = static_cast<int>(PsqFrameCount(
        FileSizeByName(dir.file("run.psq")), 60, PsqFrameSize("1.0", st.NX, st.NComp, st.cbSDS)));
    RecordedRun opened(dir, "opened.psq");
    switches(opened.st);
    ASSERT_TRUE(OpenProject(opened.st, sna));
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    const std::vector<double> atSave = RunImage(st);
    // The loaded profiles, and the chart (whose profiles the next run's
    // computation window follows) shows them.
    const std::size_t bytes = sizeof(double) * st.Arr.Nn;
    for (int i = 1; i <= st.NComp; ++i)
        ASSERT_TRUE(std::memcmp(opened.st.Arr.C(2, i), st.Arr.C(2, i), bytes) == 0 &&
                    std::memcmp(opened.st.Arr.DrawnProfile[i], st.Arr.C(2, i), bytes) == 0)
            << "constituent " << i;
    st.PsqStarted = false;
    st.StopTime = opened.st.StopTime = st.Time + more;
    RunCalc(st);
    RunCalc(opened.st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    ASSERT_FALSE(opened.st.NumericalFailure);
    ASSERT_GT(opened.st.StepCount, static_cast<long long>(atSave[2]));
    const std::vector<double> goneOn = RunImage(st);
    ExpectSameRun(goneOn, RunImage(opened.st), within, "opened");

    // The opened run recorded the opened state as its first frame.
    RecordedRun played(dir, "played.psq");
    switches(played.st);
    PsqPlayer player(played.st);
    ASSERT_TRUE(player.Open(opened.st.PsqFile));
    ASSERT_GT(player.FrameCount, saved + 1);
    player.ShowFrame(saved + 1);
    ASSERT_TRUE(player.Use());
    switches(played.st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    ASSERT_EQ(played.st.Time, atSave[0]);
    if (!usedAlike) return;
    played.st.StopTime = st.StopTime;
    RunCalc(played.st);
    ASSERT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    ExpectSameRun(goneOn, RunImage(played.st), within, "used");
}

}  // namespace

// Every mode's run, saved as a project, opens into a fresh state and goes on
// as if it had never been saved; its sequence plays and Use goes on alike.
TEST_P(EveryMode, ASavedRunOpensAndGoesOnAsNeverSaved)
{
    const ModeCase& c = GetParam();
    TempDir dir;
    RecordedRun run(dir, "own.psq");
    ASSERT_TRUE(Init(run.st, c, c.composition, kVolts));
    run.st.rbPSQNo = run.st.rbPSQMS = false;
    run.st.rbPSQSteps = true;
    run.st.PSQPeriod = 100;
    RunSteps(run.st);
    // A frame of a sequence holds no capillary-effects table (Use sets the
    // cross-sections from the diameter) and no chromatography switch (the
    // player's New clears it): Use goes on alike in the other modes.
    const bool usedAlike = c.mode != Mode::Effects && c.mode != Mode::Chrom;
    ExpectReopensAsNeverSaved(run, dir, 0.1, c.switchOn, c.reopened, usedAlike);
}

// The isotachophoresis of the manual (potassium leading, sodium sample,
// lithium terminating, chloride; 25 mm on 1000 spacings at 250 V, 0.25 V per
// spacing) undershoots behind its sharp boundaries far below -1 % of its
// plateaus: saved after its run, it opens and goes on with the same bits.
TEST(EveryModeTable, AnIsotachophoresisWithUndershootsOpensAndGoesOnAsNeverSaved)
{
    TempDir dir;
    RecordedRun run(dir, "own.psq");
    RunState& st = run.st;
    PrepareRun(st, ItpStrongIons(), 1000);
    st.rbVoltage = true;
    st.UI = 250;
    st.rbPSQNo = st.rbPSQMS = false;
    st.rbPSQSteps = true;
    st.PSQPeriod = 500;
    ASSERT_TRUE(InitCalc(st));
    st.StopTime = 2.0;
    RunCalc(st);
    ASSERT_GT(st.Time, 1.99);
    double lowest = 0, largest = 0;
    for (int i = 1; i <= st.NComp; ++i)
        for (double c : Profile(st, i))
            lowest = std::min(lowest, c), largest = std::max(largest, c);
    ASSERT_LT(lowest, -0.01 * largest);
    ExpectReopensAsNeverSaved(
        run, dir, 0.2, [](RunState&) {}, -1, true);
}

INSTANTIATE_TEST_SUITE_P(Table, EveryMode, ::testing::ValuesIn(AllCases()), CaseName);
