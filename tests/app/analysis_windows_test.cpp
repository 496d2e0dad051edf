// The analysis windows driven through their controls on an initialised
// example run: moments of a Gaussian zone, halving the detector record, and
// the initial-distribution tool's Create, Preview, Apply and Cancel.
#include "qt_test_env.h"

#include "app/chart_view.h"
#include "app/detector_window.h"
#include "app/init_dist_window.h"
#include "app/main_window.h"
#include "app/moments_window.h"
#include "engine/run_state.h"
#include "files/example_project.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "support/temp_dir.h"
#include "tools/detector_tools.h"

#include <QAction>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

void Key(QWidget* widget, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
}

double Number(const QString& text)
{
    double v = 0;
    if (!ReadDouble(text.toStdString(), v))
        throw std::logic_error("not a number: " + text.toStdString());
    return v;
}

std::vector<double> Row(const double* p, int n)
{
    return std::vector<double>(p, p + n);
}

// A shown main window with the example project initialised.
struct Example : ::testing::Test {
    ProgramHome home;
    RecordingMessageSink sink;
    std::unique_ptr<MainWindow> w;
    void SetUp() override
    {
        w = std::make_unique<MainWindow>();
        ComposeExampleDemo(w->State());
        w->show();
        QTest::mouseClick(Ctl<QPushButton>(*w, "bbnInit"), Qt::LeftButton);
        ASSERT_TRUE(w->State().Initialised);
    }
    RunState& St() { return w->State(); }
    QAction* Entry(const char* name) { return w->findChild<QAction*>(name); }
};

}  // namespace

TEST_F(Example, MomentsOfAGaussianZoneThroughTheWindow)
{
    RunState& st = St();
    auto* m = w->findChild<MomentsWindow*>("fmMoments");
    ASSERT_TRUE(m && Entry("Moments1"));
    Entry("Moments1")->trigger();
    EXPECT_TRUE(m->isVisible());
    EXPECT_EQ(Ctl<QLabel>(*m, "llName")->text(), "No selected constituent");
    Key(Ctl<QLineEdit>(*m, "edBQ"), Qt::Key_Insert);
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Choose Profile or Constituent."});
    EXPECT_FALSE(Ctl<QCheckBox>(*m, "cbAll")->isVisible());

    // Constituent 1 drawn as a Gaussian of height A and width sigma at mu.
    // Node i lies at i h metres; the zone ends more than ten widths from either end.
    const int nn = st.Arr.Nn;
    const double h = st.CapLength / st.NX;
    const double A = 2.5, sigma = st.NX / 25.0 * h, mu = 0.45 * st.NX * h;
    double* drawn = st.Arr.DrawnProfile[1];
    for (int i = 0; i < nn; ++i)
        drawn[i] = A * std::exp(-std::pow(i * h - mu, 2) / (2 * sigma * sigma));
    Enter(*m, "edNComp", "1");
    EXPECT_EQ(Ctl<QLabel>(*m, "llName")->text().toStdString(), st.Series.srComp[1].title);
    Enter(*m, "edDigits", "12");
    QAction* maxBorders = m->findChild<QAction*>("SetMaxBorders1");
    QAction* process = m->findChild<QAction*>("mmProcess");
    ASSERT_TRUE(maxBorders && process);
    maxBorders->trigger();
    EXPECT_EQ(Ctl<QLineEdit>(*m, "edRBorder")->text(), QString::number(nn - 1));
    process->trigger();
    EXPECT_TRUE(sink.messages.empty());
    auto* grid = Ctl<QTableWidget>(*m, "sgMoments");
    EXPECT_EQ(grid->item(0, 0)->text(), "a0 (area) [mol]");
    const double section = st.Arr.SVol[static_cast<std::size_t>(nn / 2)];
    const double a0 = Number(grid->item(0, 1)->text()), a1 = Number(grid->item(1, 1)->text());
    const double a2 = Number(grid->item(2, 1)->text()), a3 = Number(grid->item(3, 1)->text());
    EXPECT_NEAR(a0, A * sigma * std::sqrt(2 * M_PI) * section * st.DX / h, 1e-6 * a0);
    EXPECT_NEAR(a1, mu - st.ZeroPosNode * st.DX, 1e-6 * mu);
    EXPECT_NEAR(a2, sigma * sigma, 1e-6 * sigma * sigma);
    EXPECT_NEAR(a3, 0, 1e-6 * sigma * sigma * sigma);
    EXPECT_EQ(Ctl<QLabel>(*m, "llMob")->text(), "N/A");  // no time has passed

    // <Insert> takes the clicked point into a border; equal borders are refused.
    w->ClickedPoint = nn - 1;
    Key(Ctl<QLineEdit>(*m, "edLBorder"), Qt::Key_Insert);
    EXPECT_EQ(Ctl<QLineEdit>(*m, "edLBorder")->text(), "0");  // the last point is no left border
    w->ClickedPoint = 120;
    Key(Ctl<QLineEdit>(*m, "edLBorder"), Qt::Key_Insert);
    EXPECT_EQ(m->Tool().LeftBorder, 120);
    EXPECT_EQ(Ctl<QLineEdit>(*m, "edLBorder")->text(), "120");
    Enter(*m, "edRBorder", "120");
    process->trigger();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Invalid Borders"});
    EXPECT_EQ(grid->item(0, 1)->text(), "-1");
    // The detector scale has no trace yet.
    sink.Clear();
    Click(*m, "rbDet");
    EXPECT_EQ(grid->item(0, 0)->text(), "M0 (area) []");
    maxBorders->trigger();
    process->trigger();
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Invalid Borders"});
}

TEST_F(Example, DetectorWindowShowsTheRecordSizeAndHalvesTheRecord)
{
    RunState& st = St();
    RunSeries& s = st.Series;
    std::vector<ChartSeries*> traces{&s.DET_pH, &s.DET_conductivity};
    for (int k = 1; k <= st.NComp; ++k) traces.push_back(&s.srDetComp[static_cast<std::size_t>(k)]);
    for (ChartSeries* t : {&s.DET_volt, &s.DET_CDen, &s.DET_T}) traces.push_back(t);
    auto sample = [&](int count) {
        for (ChartSeries* t : traces)
            for (int i = 0; i < count; ++i) t->Add(t->Count(), 10.0 * t->Count() + (t - traces[0]));
    };
    // Bytes of the detector file: P x (NComp + 5) doubles, the texts with their zero bytes, two
    // counts.
    auto fileBytes = [&] {
        std::int64_t n =
            static_cast<std::int64_t>(s.DET_pH.Count()) * (st.NComp + 5) * 8 + 15 + 4 + 8 + 4;
        for (const CheckListItem& item : s.clbDet)
            n += static_cast<std::int64_t>(item.text.size()) + 1;
        return n;
    };
    auto* d = w->findChild<DetectorWindow*>("fmDet");
    ASSERT_TRUE(d && Entry("Reduce1"));
    Entry("Reduce1")->trigger();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(Ctl<QLabel>(*d, "llSize")->text().toStdString(), std::to_string(fileBytes()) + " B");

    // Samples of a run show in the size while the window is visible.
    sample(5);
    w->UpdateMainInfo();
    EXPECT_EQ(Ctl<QLabel>(*d, "llSize")->text().toStdString(), DetSizeText(fileBytes()));

    // No: nothing changes. Yes: every trace keeps its points 0, 2, 4.
    Click(*d, "spnHalf");
    EXPECT_EQ(sink.questions,
              std::vector<std::string>{
                  "This operation halfs number of time points in detector input. Continue?"});
    EXPECT_EQ(s.DET_pH.Count(), 5);
    sink.answers = {true};
    Click(*d, "spnHalf");
    for (ChartSeries* t : traces) {
        EXPECT_EQ(t->x, (std::vector<double>{0, 2, 4}));
        const double offset = static_cast<double>(t - traces[0]);
        EXPECT_EQ(t->y, (std::vector<double>{offset, 20 + offset, 40 + offset}));
    }
    EXPECT_EQ(Ctl<QLabel>(*d, "llSize")->text().toStdString(), DetSizeText(fileBytes()));
    EXPECT_TRUE(Ctl<QLabel>(*d, "llSize")->styleSheet().isEmpty());

    // An empty record: the warning, nothing halved.
    for (ChartSeries* t : traces) t->Clear();
    sink.Clear();
    sink.answers = {true};
    Click(*d, "spnHalf");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"No detector input!"});
    Click(*d, "spbClose");
    EXPECT_FALSE(d->isVisible());
}

TEST_F(Example, InitialDistributionToolCreatesPreviewsAndApplies)
{
    RunState& st = St();
    auto* t = w->findChild<InitDistWindow*>("fmDist");
    ASSERT_TRUE(t && Entry("InitialDistribution1"));
    // Refused in complexation mode.
    st.cbComplex = true;
    Entry("InitialDistribution1")->trigger();
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Feature not compatible with complex mode!"});
    EXPECT_FALSE(t->isVisible());
    st.cbComplex = false;
    Entry("InitialDistribution1")->trigger();
    ASSERT_TRUE(t->isVisible());

    const int nx = st.NX, ncomp = st.NComp;
    const double cap = st.CapLength;
    std::vector<std::vector<double>> before;
    for (int k = 1; k <= ncomp; ++k) before.push_back(Row(st.Arr.C(2, k), nx + 1));

    // Two segments: 50 new nodes at 2 mM on the left, the current profiles kept.
    Enter(*t, "edNSeg", "2");
    Enter(*t, "edLSeg", "1");
    EXPECT_FALSE(Ctl<QScrollArea>(*t, "sbData")->isVisible());
    Click(*t, "bnCreate");
    auto* grid = Ctl<QTableWidget>(*t, "sgData");
    ASSERT_TRUE(Ctl<QScrollArea>(*t, "sbData")->isVisible());
    ASSERT_EQ(grid->rowCount(), ncomp + 2);
    ASSERT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(grid->item(1, 0)->text(), "Type (U/C/D)");
    EXPECT_EQ(grid->item(0, 2)->text(),
              QString::number(nx + 1));  // the middle segment covers every node
    grid->item(0, 1)->setText("50");
    for (int k = 1; k <= ncomp; ++k) grid->item(k + 1, 1)->setText("2");
    Key(grid, Qt::Key_Return);
    EXPECT_EQ(Ctl<QLineEdit>(*t, "edNX")->text(), QString::number(nx + 51));
    EXPECT_FALSE(Ctl<QPushButton>(*t, "bnApply")->isEnabled());

    // Preview: the chart shows the new profiles on the longer capillary, the run commands wait.
    Click(*t, "bnPreview");
    EXPECT_TRUE(st.DistPreview);
    EXPECT_FALSE(Ctl<QPushButton>(*w, "bbnInit")->isEnabled() ||
                 Ctl<QPushButton>(*w, "bbnStart")->isEnabled());
    EXPECT_DOUBLE_EQ(st.CapLength, (nx + 50) * cap / nx);
    ChartView* chart = Ctl<ChartView>(*w, "Graph");
    QCPGraph* first = nullptr;
    for (int i = 0; i < chart->graphCount(); ++i)
        if (chart->graph(i)->name().toStdString() == st.Series.srComp[1].title)
            first = chart->graph(i);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->dataCount(), nx + 51);
    EXPECT_EQ(first->data()->at(49)->value, 2.0);
    EXPECT_EQ(first->data()->at(50 + nx / 2)->value, before[0][static_cast<std::size_t>(nx / 2)]);
    ASSERT_TRUE(Ctl<QPushButton>(*t, "bnApply")->isEnabled());

    // Apply: a run on 50 more nodes with the plateau, and the window closes.
    Click(*t, "bnApply");
    EXPECT_FALSE(t->isVisible());
    ASSERT_TRUE(st.Initialised && !st.DistPreview);
    ASSERT_EQ(st.NX, nx + 50);
    EXPECT_DOUBLE_EQ(st.CapLength, (nx + 50) * cap / nx);
    std::vector<std::vector<double>> applied;
    for (int k = 1; k <= ncomp; ++k) {
        applied.push_back(Row(st.Arr.C(2, k), st.NX + 1));
        std::vector<double> expected(50, 2.0);
        expected.insert(expected.end(), before[static_cast<std::size_t>(k - 1)].begin(),
                        before[static_cast<std::size_t>(k - 1)].end());
        EXPECT_EQ(applied.back(), expected) << k;
    }
    EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnInit")->isEnabled());
    // Init from the stored tables puts the same concentrations back.
    Click(*w, "bbnInit");
    for (int k = 1; k <= ncomp; ++k)
        EXPECT_EQ(Row(st.Arr.C(2, k), st.NX + 1), applied[static_cast<std::size_t>(k - 1)]) << k;
}

TEST_F(Example, InitialDistributionPreviewUndoneByCancel)
{
    RunState& st = St();
    auto* t = w->findChild<InitDistWindow*>("fmDist");
    ASSERT_NE(t, nullptr);
    Entry("InitialDistribution1")->trigger();
    const double cap = st.CapLength;
    Enter(*t, "edNSeg", "2");
    Enter(*t, "edRSeg", "1");
    Click(*t, "bnCreate");
    auto* grid = Ctl<QTableWidget>(*t, "sgData");
    grid->item(0, 2)->setText("30");
    Key(grid, Qt::Key_Return);
    Click(*t, "bnPreview");
    ASSERT_TRUE(st.DistPreview);
    EXPECT_GT(st.CapLength, cap);
    Click(*t, "bnClose");
    EXPECT_FALSE(t->isVisible() || st.DistPreview);
    EXPECT_EQ(st.CapLength, cap);
    EXPECT_TRUE(Ctl<QPushButton>(*w, "bbnStart")->isEnabled());
    // The chart draws the run's profiles again.
    ChartView* chart = Ctl<ChartView>(*w, "Graph");
    for (int i = 0; i < chart->graphCount(); ++i) {
        if (chart->graph(i)->name().toStdString() == st.Series.srComp[1].title) {
            EXPECT_EQ(chart->graph(i)->dataCount(), st.NX + 1);
        }
    }
}
