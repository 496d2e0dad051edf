// The analysis windows driven through their controls on an initialised
// example run: moments of a Gaussian zone, halving the detector record, and
// the initial-distribution tool's Create, Preview, Apply and Cancel.
#include "qt_test_env.h"

#include "app/kit/added_texts.h"
#include "app/windows/composition_panel_view.h"
#include "app/windows/detector_window.h"
#include "app/windows/init_dist_window.h"
#include "app/windows/moments_window.h"
#include "engine/step/init_distribution.h"
#include "foundation/messages.h"

namespace {

std::vector<double> Row(const double* p, int n)
{
    return std::vector<double>(p, p + n);
}

struct Example : ExampleWindow {
    std::vector<double> FirstDrawn()
    {
        return Values(GraphNamed(*w, QString::fromStdString(St().Series.srComp[1].title)));
    }
};

}  // namespace

TEST_F(Example, MomentsOfAGaussianZoneThroughTheWindow)
{
    RunState& st = St();
    auto* m = Ctl<MomentsWindow>(*w, "fmMoments");
    Trigger("Moments1");
    EXPECT_TRUE(m->isVisible());
    QTest::keyClick(Ctl<QLineEdit>(*m, "edBQ"), Qt::Key_Insert);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Choose Profile or Constituent."});

    // Constituent 1 drawn as a Gaussian of height A and width sigma at mu.
    // Node i lies at i h metres; the zone ends more than ten widths from either end.
    const int nn = st.Arr.Nn;
    const double h = st.CapLength / st.NX;
    const double A = 2.5, sigma = st.NX / 25.0 * h, mu = 0.45 * st.NX * h;
    for (int i = 0; i < nn; ++i)
        st.Arr.DrawnProfile[1][i] = A * std::exp(-std::pow(i * h - mu, 2) / (2 * sigma * sigma));
    Enter(*m, "edNComp", "1");
    Enter(*m, "edDigits", "12");
    QAction* maxBorders = Ctl<QAction>(*m, "SetMaxBorders1");
    QAction* process = Ctl<QAction>(*m, "mmProcess");
    maxBorders->trigger();
    EXPECT_EQ(Ctl<QLineEdit>(*m, "edRBorder")->text(), QString::number(nn - 1));
    process->trigger();
    EXPECT_TRUE(sink.messages.empty());
    auto* grid = Ctl<QTableWidget>(*m, "sgMoments");
    auto moment = [grid](int row) { return grid->item(row, 1)->text().toDouble(); };
    const double section = st.Arr.SVol[static_cast<std::size_t>(nn / 2)];
    EXPECT_NEAR(moment(0), A * sigma * std::sqrt(2 * M_PI) * section * st.DX / h, 1e-6 * moment(0));
    EXPECT_NEAR(moment(1), mu - st.ZeroPosNode * st.DX, 1e-6 * mu);
    EXPECT_NEAR(moment(2), sigma * sigma, 1e-6 * sigma * sigma);

    // <Insert> takes the clicked point into a border; equal borders are refused.
    w->ClickedPoint = nn - 1;
    QTest::keyClick(Ctl<QLineEdit>(*m, "edLBorder"), Qt::Key_Insert);
    EXPECT_EQ(Ctl<QLineEdit>(*m, "edLBorder")->text(), "0");  // the last point is no left border
    w->ClickedPoint = 120;
    QTest::keyClick(Ctl<QLineEdit>(*m, "edLBorder"), Qt::Key_Insert);
    EXPECT_EQ(m->Tool().LeftBorder, 120);
    Enter(*m, "edRBorder", "120");
    process->trigger();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Invalid Borders"});
    EXPECT_EQ(grid->item(0, 1)->text(), "-1");
}

TEST_F(Example, DetectorWindowShowsTheRecordSizeAndHalvesTheRecord)
{
    RunState& st = St();
    RunSeries& s = st.Series;
    auto* d = Ctl<DetectorWindow>(*w, "fmDet");
    // Bytes of the detector file: P x (NComp + 5) doubles, the texts with their zero bytes, two
    // counts.
    auto size = [&] {
        std::int64_t n =
            static_cast<std::int64_t>(s.DET_pH.Count()) * (st.NComp + 5) * 8 + 15 + 4 + 8 + 4;
        for (const CheckListItem& item : s.clbDet)
            n += static_cast<std::int64_t>(item.text.size()) + 1;
        return Ctl<QLabel>(*d, "llSize")->text().toStdString() == std::to_string(n) + " B";
    };
    Trigger("Reduce1");
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(size());

    // Samples of a run show in the size while the window is visible.
    for (int i = 0; i < 5; ++i) s.DET_pH.Add(i, 10.0 * i);
    w->UpdateMainInfo();
    EXPECT_TRUE(size());

    // No: nothing changes. Yes: every trace keeps its points 0, 2, 4.
    Click(*d, "spnHalf");
    EXPECT_EQ(std::pair(sink.questions.size(), s.DET_pH.Count()), std::pair(size_t(1), 5));
    sink.answers = {true};
    Click(*d, "spnHalf");
    EXPECT_EQ(s.DET_pH.y, (std::vector<double>{0, 20, 40}));

    // An empty record: the warning, nothing halved.
    s.DET_pH.Clear();
    sink.answers = {true};
    Click(*d, "spnHalf");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"No detector input!"});
}

TEST_F(Example, InitialDistributionToolCreatesPreviewsCancelsAndApplies)
{
    RunState& st = St();
    auto* t = Ctl<InitDistWindow>(*w, "fmDist");
    // Refused in complexation mode.
    st.cbComplex = true;
    Trigger("InitialDistribution1");
    EXPECT_FALSE(t->isVisible() || sink.warnings.empty());
    st.cbComplex = false;
    Trigger("InitialDistribution1");
    ASSERT_TRUE(t->isVisible());

    const int nx = st.NX, ncomp = st.NComp;
    const double cap = st.CapLength;
    const std::vector<std::vector<double>> before{Row(st.Arr.C(2, 1), nx + 1)};

    // Two segments: 50 new nodes at 2 mM on the left, the current profiles kept.
    auto create = [&] {
        Enter(*t, "edNSeg", "2");
        Enter(*t, "edLSeg", "1");
        Click(*t, "bnCreate");
        auto* grid = Ctl<QTableWidget>(*t, "sgData");
        ASSERT_EQ(std::pair(grid->rowCount(), grid->columnCount()), std::pair(ncomp + 2, 3));
        grid->item(0, 1)->setText("50");
        for (int k = 1; k <= ncomp; ++k) grid->item(k + 1, 1)->setText("2");
        QTest::keyClick(grid, Qt::Key_Return);
        EXPECT_EQ(Ctl<QLineEdit>(*t, "edNX")->text(), QString::number(nx + 51));
        EXPECT_FALSE(Ctl<QPushButton>(*t, "bnApply")->isEnabled());
        Click(*t, "bnPreview");
    };
    // Preview: the chart shows the new profiles on the longer capillary, the run commands wait.
    create();
    EXPECT_TRUE(st.DistPreview);
    EXPECT_FALSE(Ctl<QPushButton>(*w, "bbnInit")->isEnabled() ||
                 Ctl<QPushButton>(*w, "bbnStart")->isEnabled());
    EXPECT_DOUBLE_EQ(st.CapLength, (nx + 50) * cap / nx);
    const std::vector<double> drawn = FirstDrawn();
    ASSERT_EQ(drawn.size(), static_cast<std::size_t>(nx + 51));
    EXPECT_EQ(drawn[49], 2.0);
    EXPECT_EQ(drawn[static_cast<std::size_t>(50 + nx / 2)],
              before[0][static_cast<std::size_t>(nx / 2)]);

    // Close undoes the preview: the run's capillary and profiles again.
    Click(*t, "bnClose");
    EXPECT_FALSE(t->isVisible() || st.DistPreview);
    EXPECT_EQ(st.CapLength, cap);
    EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());
    EXPECT_EQ(FirstDrawn().size(), static_cast<std::size_t>(nx + 1));
    Trigger("InitialDistribution1");
    create();

    // Apply: a run on 50 more nodes with the plateau, and the window closes.
    Click(*t, "bnApply");
    EXPECT_FALSE(t->isVisible());
    ASSERT_TRUE(st.Initialised && !st.DistPreview);
    ASSERT_EQ(st.NX, nx + 50);
    EXPECT_DOUBLE_EQ(st.CapLength, (nx + 50) * cap / nx);
    std::vector<double> expected(50, 2.0);
    expected.insert(expected.end(), before[0].begin(), before[0].end());
    EXPECT_EQ(Row(st.Arr.C(2, 1), st.NX + 1), expected);
}

// The tool during a preview: Enter in its grid commits the typed cell; the
// composition panel's list operations wait; an Apply after the constituents
// changed anyway is refused before the Init with a message, and Cancel gives
// back the run's length on the run's grid. The main window's Init refuses an
// injection site outside the capillary.
TEST_F(Example, InitialDistributionPreviewHoldsTheCompositionAndApplyChecksIt)
{
    RunState& st = St();
    ScriptedInput input;
    auto* t = Ctl<InitDistWindow>(*w, "fmDist");
    ShowActive(*w);
    Trigger("InitialDistribution1");
    ShowActive(*t);
    const int nx = st.NX, ncomp = st.NComp;
    const double cap = st.CapLength;
    Enter(*t, "edNSeg", "2");
    Enter(*t, "edLSeg", "1");
    Click(*t, "bnCreate");
    auto* grid = Ctl<QTableWidget>(*t, "sgData");
    // A width typed into the cell's editor and committed with Enter.
    grid->setFocus();
    grid->setCurrentCell(0, 1);
    grid->editItem(grid->item(0, 1));
    auto* cell = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_TRUE(cell);
    cell->selectAll();
    QTest::keyClicks(cell, "40");
    QTest::keyClick(cell, Qt::Key_Return);
    EXPECT_EQ(grid->item(0, 1)->text(), "40");
    EXPECT_EQ(Ctl<QLineEdit>(*t, "edNX")->text(), QString::number(nx + 41));
    Click(*t, "bnPreview");
    ASSERT_TRUE(st.DistPreview);
    EXPECT_EQ(st.CapLength, (nx + 40) * cap / nx);

    // The list operations wait for the end of the preview.
    for (const char* button : {"bbnAddComponent", "bnEdit", "bnDelete", "bnDeleteAll"})
        EXPECT_FALSE(Ctl<QPushButton>(*w, button)->isEnabled()) << button;
    auto* panel = Ctl<CompositionPanelView>(*w, "plComponents");
    panel->ClickedRow = 1;
    Ctl<QAction>(*panel->Popup(), "Delete1")->trigger();
    Ctl<QAction>(*panel->Popup(), "MoveLast1")->trigger();
    input.answers = {"1", "Amph", "0", "0", "0.1"};
    sink.answers = {true};
    Trigger("MultipleConstituents1");
    EXPECT_TRUE(input.prompts.empty());
    ASSERT_EQ(st.Composition.Count(), ncomp);
    EXPECT_EQ(st.Composition[1].name, st.CompInit[1].name);

    // Changed all the same (by any other route): Apply refuses before the Init.
    TComponents added = st.Composition.Tail()->data;
    added.name = "Added";
    st.Composition.Add(added);
    Click(*t, "bnApply");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{kDistCompositionChanged});
    EXPECT_TRUE(t->isVisible());
    EXPECT_EQ(std::pair(st.NX, st.NComp), std::pair(nx, ncomp));
    Click(*t, "bnClose");
    EXPECT_FALSE(st.DistPreview);
    EXPECT_EQ(std::tuple(st.NX, st.NXPending, st.CapLength, st.CapLengthPending),
              std::tuple(nx, nx, cap, cap));
    EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnAddComponent")->isEnabled());
    EXPECT_TRUE(Ctl<QAction>(*panel->Popup(), "Delete1")->isEnabled());

    // An injection site outside the capillary: Init refuses and keeps the run.
    sink.Clear();
    st.Composition.RemoveNode(st.Composition.Count());
    st.InjSitePending = -4;
    Click(*w, "bbnInit");
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], InjectionSiteOutsideText(FloatToStr(cap * 1000)));
    st.InjSitePending = cap * 1000 + 0.5;
    Click(*w, "bbnInit");
    EXPECT_EQ(sink.warnings.size(), 2u);
    st.InjSitePending = cap * 1000;  // at the outlet: accepted
    Click(*w, "bbnInit");
    EXPECT_EQ(sink.warnings.size(), 2u);
    EXPECT_TRUE(st.Initialised);
}

// "Mobility to INJ" carries the zone from the injection site to its centre,
// wherever the zero position lies, in the digits asked for; the detector
// scale weighs its points by time: the area under the trace in mM*min.
TEST_F(Example, MomentsMobilityFromTheInjectionSiteAndTheDetectorAreaInTime)
{
    RunState& st = St();
    auto* m = Ctl<MomentsWindow>(*w, "fmMoments");
    Trigger("Moments1");
    const int nn = st.Arr.Nn;
    const double h = st.CapLength / st.NX;
    const int inj = InjectionSiteNode(st, false);
    // A zone that moved 0.4 of the capillary beyond the injection site in 60 s.
    const double A = 1.5, sigma = st.NX / 40.0 * h, mu = inj * h + 0.4 * st.CapLength;
    for (int i = 0; i < nn; ++i)
        st.Arr.DrawnProfile[1][i] = A * std::exp(-std::pow(i * h - mu, 2) / (2 * sigma * sigma));
    st.Time = 60, st.U = 20000;
    st.ZeroPosNode = 0;  // the zero position at the left end
    Enter(*m, "edNComp", "1");
    Enter(*m, "edDigits", "4");
    Ctl<QAction>(*m, "SetMaxBorders1")->trigger();
    Ctl<QAction>(*m, "mmProcess")->trigger();
    auto* grid = Ctl<QTableWidget>(*m, "sgMoments");
    EXPECT_NEAR(grid->item(1, 1)->text().toDouble(), mu, 1e-3 * mu);  // from the zero position
    // Velocity over field: 0.4 L / 60 s / (U / (L + fake length)).
    const double expected =
        0.4 * st.CapLength / st.Time / (st.U / (st.CapLength + st.FakeCapLen)) * 1e9;
    EXPECT_EQ(Ctl<QLabel>(*m, "llMob")->text().toStdString(),
              FloatToStr(RoundD(expected, 4), DecimalSeparator()));

    // A detector trace sampled at uneven times (a run's steps grow): area and centre in time.
    ChartSeries& d = st.Series.srDetComp[1];
    d.Clear();
    const double tc = 0.8, ts = 0.05;  // min
    for (double t = 0, dt = 0.002; t < 1.6; t += dt, dt *= 1.004)
        d.Add(t, A * std::exp(-std::pow(t - tc, 2) / (2 * ts * ts)));
    Ctl<QRadioButton>(*m, "rbDet")->click();
    Enter(*m, "edDigits", "8");
    Ctl<QAction>(*m, "SetMaxBorders1")->trigger();
    Ctl<QAction>(*m, "mmProcess")->trigger();
    EXPECT_EQ(grid->item(0, 0)->text(), "M0 (area) [mM*min]");
    EXPECT_NEAR(grid->item(0, 1)->text().toDouble(), A * ts * std::sqrt(2 * M_PI), 1e-5);
    EXPECT_NEAR(grid->item(1, 1)->text().toDouble(), tc, 1e-5);
    EXPECT_NEAR(grid->item(2, 1)->text().toDouble(), ts * ts, 1e-6);
    EXPECT_EQ(Ctl<QLabel>(*m, "llMob")->text(), "N/A");
}
