// The initial-distribution tool and the detector export as a user meets them:
// Cancel after a preview gives the chart back as it was (and no Init of
// another window, no open and no frame of the sequence player ran on the
// previewed length), Apply gives the previewed grid, and an empty detector
// record is not exported.
#include "qt_test_env.h"

#include "app/kit/added_texts.h"
#include "app/windows/complex_window.h"
#include "app/windows/init_dist_window.h"
#include "app/windows/psq_player_window.h"
#include "files/chart_lines.h"
#include "foundation/binio.h"

namespace {

// What the chart shows of the profile view: which lines are drawn, where the
// detector and the walls stand, and whether the detector line lies above the walls.
struct ChartImage {
    bool pH = false, conductivity = false, detector = false, detectorOnTop = false;
    double detectorX = 0, leftX = 0, rightX = 0;
    bool operator==(const ChartImage&) const = default;
};

ChartImage ImageOf(const MainWindow& w)
{
    ChartImage im;
    QCPGraph *detector = GraphNamed(w, "Detector Line"), *left = GraphNamed(w, "Left Wall"),
             *right = GraphNamed(w, "Right Wall");
    im.pH = GraphNamed(w, "pH (x-scale)")->visible();
    im.conductivity = GraphNamed(w, "Conductivity (x-scale)")->visible();
    im.detector = detector->visible();
    auto x = [](QCPGraph* g) { return g->dataCount() ? g->data()->constBegin()->key : -1.0; };
    im.detectorX = x(detector), im.leftX = x(left), im.rightX = x(right);
    // Graphs of one layer are drawn in the order of the layer's children.
    auto order = [](QCPGraph* g) { return g->layer()->children().indexOf(g); };
    im.detectorOnTop = detector->layer() == left->layer()
                           ? order(detector) > order(left) && order(detector) > order(right)
                           : detector->layer()->index() > left->layer()->index();
    return im;
}

}  // namespace

TEST_F(ExampleWindow, CancelAfterAPreviewGivesTheChartBackAsItWas)
{
    RunState& st = St();
    auto* t = Ctl<InitDistWindow>(*w, "fmDist");
    // A sequence of this run (a frame per millisecond) open in the player; the
    // run is then built again by Init, so that the player's next frame reloads it.
    const std::string seq = RecordSequence(0.003, "seq.psq");
    auto* player = Ctl<PsqPlayerWindow>(*w, "fmPSQ");
    ASSERT_TRUE(player->OpenSequence(seq));
    const int frame = player->Player().CurrentFrame;
    ASSERT_GT(frame, 2);
    Click(*w, "bbnInit");
    ASSERT_TRUE(st.Initialised && st.PsqPlayerReloadNeeded);
    const ChartImage before = ImageOf(*w);
    // pH and conductivity shown, the detector line drawn over the wall lines.
    ASSERT_TRUE(before.pH && before.conductivity && before.detector && before.detectorOnTop);
    Trigger("InitialDistribution1");
    Enter(*t, "edNSeg", "2");
    Enter(*t, "edLSeg", "1");
    Click(*t, "bnCreate");
    auto* grid = Ctl<QTableWidget>(*t, "sgData");
    grid->item(0, 1)->setText("50");
    QTest::keyClick(grid, Qt::Key_Return);
    const double length = st.CapLength, dx = st.DX;
    const int nodes = st.NX;
    Click(*t, "bnPreview");
    ASSERT_TRUE(st.DistPreview);
    // The preview shows the new profiles alone.
    const ChartImage preview = ImageOf(*w);
    EXPECT_FALSE(preview.pH || preview.conductivity || preview.detector);
    ASSERT_NE(st.CapLength, length);
    // The complexation window's Inits (Apply IS, the mode switched off) meet
    // the guard of the Init button: no Init runs on the previewed length.
    auto* complex = Ctl<ComplexWindow>(*w, "fmComplex");
    complex->show();
    sink.Clear();
    sink.answers = {true, true, true};
    QTest::mouseClick(Ctl<QCheckBox>(*complex, "cbComplex"), Qt::LeftButton);
    ASSERT_TRUE(st.cbComplex);
    QTest::mouseClick(Ctl<QCheckBox>(*complex, "cbComplex"), Qt::LeftButton);
    // The refused switch shows the mode the run keeps.
    EXPECT_TRUE(st.cbComplex && Ctl<QCheckBox>(*complex, "cbComplex")->isChecked());
    Click(*complex, "bnIS");
    complex->hide();
    EXPECT_FALSE(st.cbIS);
    EXPECT_EQ(sink.questions.size(), 2u);  // the two switches; Apply IS is refused before asking
    // Nor do the opens, each with an Init of its own (a project, a sequence in the player).
    const std::string example = home.WriteExample();
    EXPECT_FALSE(w->OpenFile(example));
    EXPECT_FALSE(player->OpenSequence(st.PsqFileOwn));
    // Nor the player's frame commands, which would reload its sequence, nor Use:
    // the player keeps its frame and its controls show it.
    Click(*player, "bbnFirst");
    Click(*player, "bbnLast");
    Click(*player, "bbnPlay");
    Ctl<QScrollBar>(*player, "scbPSQ")->setValue(2);
    Enter(*player, "edFrame", "1");
    Click(*player, "sbnTake");
    EXPECT_FALSE(w->New1Click());
    EXPECT_EQ(sink.warnings, std::vector<std::string>(11, kInitDuringPreview));
    EXPECT_EQ(std::tuple(player->Player().CurrentFrame, Ctl<QScrollBar>(*player, "scbPSQ")->value(),
                         Ctl<QLineEdit>(*player, "edFrame")->text()),
              std::tuple(frame, frame, QString::number(frame)));
    EXPECT_TRUE(st.DistPreview && st.PsqPlayerReloadNeeded);
    // The node spacing stays: DX of the applied grid within rounding of the old one.
    const std::tuple previewed(st.CapLength, nodes + 50);
    EXPECT_EQ(std::tuple(st.CapLength, st.NX + 50), previewed);
    Click(*t, "bnClose");
    EXPECT_EQ(std::tuple(st.CapLength, st.NX, st.DX), std::tuple(length, nodes, dx));
    const ChartImage after = ImageOf(*w);
    EXPECT_TRUE(after == before);
    EXPECT_TRUE(st.Series.clbGraph[0].checked && st.Series.clbGraph[1].checked);
    EXPECT_TRUE(Ctl<QListWidget>(*w, "clbGraph")->item(0)->checkState() == Qt::Checked);

    // Apply of the same preview gives its grid exactly: 50 nodes more at the
    // run's node spacing, the old profiles after them.
    std::vector<double> old(st.Arr.C(2, 1), st.Arr.C(2, 1) + nodes + 1);
    Click(*t, "bnCreate");
    grid->item(0, 1)->setText("50");
    QTest::keyClick(grid, Qt::Key_Return);
    Click(*t, "bnPreview");
    Click(*t, "bnApply");
    ASSERT_TRUE(st.Initialised && !st.DistPreview);
    EXPECT_EQ(std::tuple(st.CapLength, st.NX), previewed);
    EXPECT_DOUBLE_EQ(st.DX, dx);
    std::vector<double> applied(st.Arr.C(2, 1), st.Arr.C(2, 1) + st.NX + 1);
    EXPECT_EQ(std::vector<double>(applied.begin() + 50, applied.end()), old);
    // Saved and reopened, the profiles keep their grid and length.
    const std::string saved = home.dir.file("applied.sna");
    w->ChooseProjectFile = [&](const QString&, const QString&) {
        return QString::fromStdString(saved);
    };
    sink.answers = {true, true, true};
    w->Save2Click();
    ASSERT_TRUE(fs::exists(saved));
    ASSERT_TRUE(w->OpenFile(saved));
    EXPECT_EQ(std::tuple(st.CapLength, st.NX), previewed);
    EXPECT_DOUBLE_EQ(st.DX, dx);
    EXPECT_EQ(std::vector<double>(st.Arr.C(2, 1), st.Arr.C(2, 1) + st.NX + 1), applied);
}

// A constituent added to the composition makes the preview's list longer than
// the run's: every item after the constituents (E, IS, ...) reaches its own
// line, during the preview and through the Init of Apply.
TEST_F(ExampleWindow, PreviewWithAnAddedConstituentTicksTheLineOfEachItem)
{
    RunState& st = St();
    const int runComps = st.NComp;
    TComponents added = st.Composition.Tail()->data;
    added.name = "Added";
    st.Composition.Add(added);
    auto* t = Ctl<InitDistWindow>(*w, "fmDist");
    Trigger("InitialDistribution1");
    Enter(*t, "edNSeg", "2");
    Enter(*t, "edLSeg", "1");
    Click(*t, "bnCreate");
    Click(*t, "bnPreview");
    ASSERT_TRUE(st.DistPreview);
    auto* list = Ctl<QListWidget>(*w, "clbGraph");
    const int e = runComps + 1 + 2;  // pH, conductivity, the constituents, then E
    ASSERT_GT(list->count(), e + 1);
    ASSERT_EQ(list->item(e)->text(), "E - Intensity");
    ASSERT_EQ(list->item(e + 1)->text(), "Ionic Strength");
    ASSERT_EQ(list->item(e - 1)->text(), "Added");
    QCPGraph* field = GraphNamed(*w, "E - Intensity of Electric Field, kV/m");
    QCPGraph* ionic = GraphNamed(*w, "Ionic Strength, mM");
    QCPGraph* addedLine = GraphNamed(*w, "Added (x-scale)");
    ASSERT_TRUE(field && ionic);
    EXPECT_FALSE(field->visible());
    list->item(e)->setCheckState(Qt::Checked);
    EXPECT_TRUE(field->visible());
    EXPECT_FALSE(ionic->visible());
    // The added constituent's item shows its own profile.
    ASSERT_TRUE(addedLine);
    EXPECT_TRUE(addedLine->visible());
    list->item(e - 1)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(addedLine->visible());
    EXPECT_TRUE(field->visible());
    // The chart's commands and exports find the same line behind the item.
    EXPECT_EQ(ProfileItemSeries(st, e), &st.Series.sr_E);
    EXPECT_EQ(ProfileItemSeries(st, e + 1), &st.Series.sr_IS);
    // Apply builds the run of the composition; E keeps its tick, IS its blank.
    Click(*t, "bnApply");
    ASSERT_TRUE(st.Initialised);
    ASSERT_EQ(st.NComp, runComps + 1);
    ASSERT_GT(static_cast<int>(st.Series.clbGraph.size()), e + 1);
    EXPECT_TRUE(st.Series.clbGraph[e].checked);
    EXPECT_FALSE(st.Series.clbGraph[e + 1].checked);
    EXPECT_TRUE(field->visible());
    EXPECT_FALSE(ionic->visible());
}

// Line names keep the degree sign of the temperature lines.
TEST_F(ExampleWindow, TemperatureLinesNameTheirDegrees)
{
    const QString degreesC = QString(QChar(0x00B0)) + "C";
    EXPECT_TRUE(GraphNamed(*w, "T - Temperature, " + degreesC));
    EXPECT_TRUE(GraphNamed(*w, "Temperature (" + degreesC + ")"));
    QCustomPlot* plot = Ctl<QCustomPlot>(*w, "Graph");
    for (int i = 0; i < plot->graphCount(); ++i)
        EXPECT_FALSE(plot->graph(i)->name().contains(QChar(0x00C2)))
            << plot->graph(i)->name().toStdString();
}
