// The capillary-effects window: the grid filled through its cells, the
// Create/Default/Clear commands and the copy along a row, the mode switches
// bound to the run state, an invalid cell refused with its message, and the
// table surviving the save and open of a project.
#include "qt_test_env.h"

#include "app/windows/effects_window.h"
#include "engine/modes/effects/effects_table.h"
#include "engine/step/init_calc.h"
#include "files/run_fixture.h"
#include "files/sna_file.h"
#include "support/recording_sink.h"

using namespace testcomp;

namespace {

struct Ui {
    explicit Ui(EffectsWindow& w) : w(w) { ShowActive(w); }
    QTableWidget* grid() const { return Ctl<QTableWidget>(w, "sgData"); }
    QString cell(int r, int c) const
    {
        return grid()->item(r, c) ? grid()->item(r, c)->text() : QString();
    }
    void type(int r, int c, const char* text) const { grid()->item(r, c)->setText(text); }
    void click(const char* name) const { Ctl<QAbstractButton>(w, name)->click(); }
    bool shown() const { return Ctl<QScrollArea>(w, "sbData")->isVisible(); }
    EffectsWindow& w;
};

}  // namespace

TEST(EffectsWindow, GridIsFilledCreatedDefaultedAndCleared)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, ItpStrongIons(), 100);
    st.CapLengthPending = 0.5;
    EffectsWindow w(st);
    Ui ui(w);

    // "# Segments" 3, committed by Enter, then Create
    auto* seg = Ctl<QLineEdit>(w, "edNSeg");
    TypeOver(seg, "3");
    QTest::keyClick(seg, Qt::Key_Return);
    ui.click("bnCreate");
    ASSERT_EQ(st.SegCount, 3);
    EXPECT_TRUE(ui.shown());
    ASSERT_EQ(ui.grid()->columnCount(), 5);
    // 50 um bore: 1963.5 um2; 500 mm in three segments.
    EXPECT_EQ(std::tuple(ui.cell(kRowID, 4), ui.cell(kRowS, 2), ui.cell(kRowP, 2)),
              std::tuple(QString("50"), QString("1.96349541"), QString("8.3333333")));

    // cells typed into the grid: lengths follow the ratios, S follows the ID
    ui.type(kRowRatio, 3, "2");
    EXPECT_EQ(std::pair(ui.cell(0, 2), ui.cell(0, 3)), std::pair(QString("125"), QString("250")));
    ui.click("rbD");
    EXPECT_TRUE(st.rbD);
    ui.type(kRowID, 3, "100");
    EXPECT_EQ(ui.cell(kRowS, 3), "7.85398163");
    EXPECT_EQ(st.Grid[kRowS][3], "7.85398163");
    ui.type(kRowRatio, 2, "-1");
    EXPECT_EQ(ui.cell(kRowRatio, 2), "1");
    ui.type(kRowRatio, 4, "x");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{
                                 "Ratio Input Error: Incorrect Number Entry in Column No. 4"});
    EXPECT_EQ(ui.cell(0, 2), "-");

    // double right click on the edge cell of row 5: the whole edge column
    ui.type(kRowP, 1, "0.3");
    const QRect r = ui.grid()->visualItemRect(ui.grid()->item(kRowP, 1));
    QTest::mouseDClick(ui.grid()->viewport(), Qt::RightButton, {}, r.center());
    for (int row = kRowID; row < kEffectsRows; ++row) EXPECT_EQ(ui.cell(row, 1), "0.3") << row;

    ui.click("bnClear");
    EXPECT_EQ(std::tuple(ui.cell(0, 3), ui.cell(kRowRatio, 3), ui.cell(kRowT, 3)),
              std::tuple(QString("-"), QString("1"), QString()));
    ui.click("bnDefault");
    EXPECT_EQ(std::pair(ui.cell(kRowT, 3), ui.cell(0, 4)),
              std::pair(QString("25"), QString("166.667")));

    // mode switches: unchecking the cross-section also unchecks the volume section
    ui.click("cbS");
    EXPECT_TRUE(st.cbS);
    st.cbSvol = true;
    w.RefreshForm();
    ui.click("cbS");
    EXPECT_FALSE(st.cbS || st.cbSvol);
    ui.click("cbH");
    ui.click("rbPK_pos");
    EXPECT_TRUE(st.cbH && st.rbPK_pos);
}

TEST(EffectsWindow, AnInvalidCellIsRefusedAndTakesItsRowDefault)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, ItpStrongIons(), 100);
    EffectsWindow w(st);
    Ui ui(w);
    ui.click("bnCreate");
    ui.click("cbMix");
    ui.type(kRowMix, 2, "4");
    ASSERT_TRUE(InitCalc(st));
    EXPECT_EQ(st.Arr.Mix[50], 4.0);
    ui.type(kRowMix, 2, "abc");
    ui.click("bnUse");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kEffectsInvalid});
    // the bad cell costs its own value: the row default (no mixing) takes its place
    EXPECT_EQ(std::pair(st.Arr.Mix[50], st.Series.sr_mix.y.at(50)), std::pair(0.0, 0.0));
    ui.type(kRowMix, 2, "6");
    ui.click("bnUse");
    EXPECT_EQ(std::pair(st.Arr.Mix[50], st.Series.sr_mix.y.at(50)), std::pair(6.0, 6.0));
}

TEST(EffectsWindow, TheTableSurvivesSavingAndOpeningAProject)
{
    TempDir tmp;
    RecordingMessageSink sink;
    HostedRun r(tmp.file("Kelvo5_tmp_1.psq"));
    r.Init(40);
    {
        EffectsWindow w(r.st);
        Ui ui(w);
        ui.click("bnCreate");
        ui.click("cbS");
        ui.type(kRowRatio, 2, "3");
        ui.type(kRowS, 2, "2.5");
        ui.type(kRowT, 2, "31.5");
        ui.type(kRowHOA, 1, "0.25");
    }
    // saved without a further Init: the typed cells are in the copy
    const auto grid = r.st.Grid;
    const std::string name = tmp.file("effects.sna");
    ASSERT_TRUE(SaveSnaFile(r.st, name));

    HostedRun l(tmp.file("Kelvo5_tmp_2.psq"));
    EffectsWindow w(l.st);
    Ui ui(w);
    ASSERT_TRUE(OpenProject(l.st, name));
    w.RefreshForm();
    EXPECT_TRUE(Ctl<QCheckBox>(w, "cbS")->isChecked() && ui.shown());
    ASSERT_EQ(ui.grid()->columnCount(), 3);
    for (int row = 1; row < kEffectsRows; ++row)
        for (int c = 1; c <= 2; ++c)
            EXPECT_EQ(ui.cell(row, c).toStdString(), grid[row][c]) << row << " " << c;
    EXPECT_NEAR(l.st.Arr.S[0], 2.5e-9, 1e-21);
}

TEST(EffectsWindow, ReInitiateRestoresTheDefaultOfAnEffectSwitchedOff)
{
    RecordingMessageSink sink;
    RunState st;
    PrepareRun(st, ItpStrongIons(), 100);
    EffectsWindow w(st);
    Ui ui(w);
    ui.click("bnCreate");
    ui.click("cbT");
    ui.type(kRowT, 2, "40");
    ui.click("cbMix");
    ui.type(kRowMix, 2, "4");
    ASSERT_TRUE(InitCalc(st));
    EngineArrays& a = st.Arr;
    ASSERT_NEAR(a.T0[50], 313.15, 1e-9);
    ASSERT_EQ(a.MixWindow[1][50], 4.0);
    // the mobilities follow the profile: 2.05 % per K for the constituents
    const int k = 1 - a.ZMin[1];  // the cation's charged form
    ASSERT_NEAR(a.UForm(1, k)[50] / a.UFormLim(1, k)[50], 1 + 0.0205 * 15, 1e-9);
    // "Initial Temperature Profile" and "Mixing" unticked, "&ReInitiate": every
    // level and the ambient temperature are back at the run's temperature, and
    // nothing mixes (should mixing be ticked again during the run)
    ui.click("cbT");
    ui.click("cbMix");
    ASSERT_FALSE(st.cbT || st.cbMix);
    ui.click("bnUse");
    EXPECT_TRUE(sink.warnings.empty());
    for (int n = 0; n < a.Nn; ++n) {
        EXPECT_EQ(a.T0[n], st.Temperature) << n;
        for (int l = 1; l <= 5; ++l) EXPECT_EQ(a.T(l)[n], st.Temperature) << n;
    }
    EXPECT_NEAR(st.Series.sr_T.y.at(50), st.Temperature - 273.15, 1e-12);
    for (int n = 0; n < a.Nn; ++n)
        EXPECT_EQ(std::pair(a.Mix[n], a.MixWindow[1][n]), std::pair(0.0, 0.0)) << n;
    // and every mobility is back at its reference value, as after an Init without them
    for (int j = 1; j <= a.NComp + 2; ++j) {
        for (int f = 0; f < a.Forms(j); ++f) {
            if (f == -a.ZMin[j]) continue;
            EXPECT_EQ(a.UForm(j, f)[50], a.UFormLim(j, f)[50]) << j << " " << f;
        }
    }
}

// Through the main window: Init without any effect, "Heating" ticked in the
// window, Run. In a uniform capillary at constant voltage E = U / L the Joule
// power E^2 kappa balances the loss dT / p with the default coefficient
// p = d / 4 / 1500 K m3/W, while 10 mM KCl conducts kappa25 (1 + 0.0205 dT):
// dT = q / (1 - 0.0205 q), q = p E^2 kappa25.
TEST(EffectsWindow, HeatingTickedAfterAnInitHeatsTheMainWindowsRun)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow main;
    RunState& st = main.State();
    st.PsqFileOwn = st.PsqFile = home.dir.file("own.psq");
    TUnivSet<TComponents> kcl;
    kcl.Add(StrongCation("Potassium", kUK, BGE, 10.0, 10.0));
    kcl.Add(StrongAnion("Chloride", kUCl, BGE, 10.0, 10.0));
    PrepareRun(st, kcl, 20);
    st.CapLengthPending = 0.01;
    st.rbVoltage = true;
    st.UI = 400;
    st.cbOptDt = false;
    st.DT = st.DTDefault = st.DTInit = 3.5e-4;
    Click(main, "bbnInit");
    ASSERT_TRUE(st.Initialised) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    ASSERT_FALSE(st.cbS || st.cbH || st.cbMix || st.cbT || st.cbEOF || st.cbSvol);
    st.cbLWMove = st.cbRWMove = false;
    Ui ui(*Ctl<EffectsWindow>(main, "fmEffects"));
    ui.click("cbH");
    ASSERT_TRUE(st.cbH && !st.cbAccT);
    const double d = st.CapDiameter, p = d / 4 / 1500, rhoCp = 997.02 * 4240.4;
    const double E = 400 / 0.01, kappa25 = 96485.0 * (kUK + kUCl) * 1e-9 * 10.0,
                 q = p * E * E * kappa25;
    const double rise = q / (1 - 0.0205 * q);
    ASSERT_GT(rise, 1.0);
    st.StopTime = 20 * rhoCp * p;
    main.UpdateMainInfo();
    Click(main, "bbnStart");
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings[0];
    ASSERT_GE(st.Time + st.DT, st.StopTime);
    for (int n = 0; n < st.Arr.Nn; ++n)
        EXPECT_NEAR((st.Arr.T(2)[n] - 298.15) / rise, 1.0, 1e-3) << n;
}
