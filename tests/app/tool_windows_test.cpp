// The initial-distribution tool and the detector export as a user meets them:
// Cancel after a preview gives the chart back as it was, and an empty
// detector record is not exported.
#include "qt_test_env.h"

#include "app/windows/init_dist_window.h"

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
    Click(*t, "bnPreview");
    ASSERT_TRUE(st.DistPreview);
    // The preview shows the new profiles alone.
    const ChartImage preview = ImageOf(*w);
    EXPECT_FALSE(preview.pH || preview.conductivity || preview.detector);
    Click(*t, "bnClose");
    const ChartImage after = ImageOf(*w);
    EXPECT_TRUE(after == before);
    EXPECT_TRUE(st.Series.clbGraph[0].checked && st.Series.clbGraph[1].checked);
    EXPECT_TRUE(Ctl<QListWidget>(*w, "clbGraph")->item(0)->checkState() == Qt::Checked);
}
