// The capillary-effects window: the grid filled through its cells, the
// Create/Default/Clear commands and the copy along a row, the mode switches
// bound to the run state, an invalid cell refused with its message, and the
// table surviving the save and open of a project.
#include "qt_test_env.h"

#include "app/effects_window.h"
#include "engine/effects_table.h"
#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "files/run_fixture.h"
#include "files/sna_file.h"
#include "foundation/errors.h"
#include "support/temp_dir.h"
#include "support/test_compositions.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTest>

using namespace testcomp;

namespace {

struct Ui {
    explicit Ui(EffectsWindow& w) : w(w)
    {
        w.show();
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    template <class T>
    T* get(const char* name) const
    {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QTableWidget* grid() const { return get<QTableWidget>("sgData"); }
    QString cell(int r, int c) const { return grid()->item(r, c) ? grid()->item(r, c)->text() : QString(); }
    void type(int r, int c, const char* text) const { grid()->item(r, c)->setText(text); }
    void click(const char* name) const { get<QAbstractButton>(name)->click(); }
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
    EXPECT_FALSE(ui.get<QScrollArea>("sbData")->isVisible());

    // "# Segments" 3, committed by Enter, then Create
    auto* seg = ui.get<QLineEdit>("edNSeg");
    seg->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(seg->hasFocus());
    seg->selectAll();
    QTest::keyClicks(seg, "3");
    QTest::keyClick(seg, Qt::Key_Return);
    ui.click("bnCreate");
    ASSERT_EQ(st.SegCount, 3);
    EXPECT_TRUE(ui.get<QScrollArea>("sbData")->isVisible());
    ASSERT_EQ(ui.grid()->columnCount(), 5);
    EXPECT_EQ(ui.cell(kRowID, 4), "50");
    EXPECT_EQ(ui.cell(kRowT, 2), "25");
    EXPECT_EQ(ui.cell(kRowPKEOF, 3), "5.5");
    EXPECT_EQ(ui.cell(kRowUEOF, 2), "50");
    EXPECT_EQ(ui.cell(kRowRatio, 1), "~");
    EXPECT_EQ(ui.cell(kRowS, 2), "1.96349541");
    EXPECT_EQ(ui.cell(kRowP, 2), "8.3333333");

    // cells typed into the grid: lengths follow the ratios, S follows the ID
    ui.type(kRowRatio, 3, "2");
    EXPECT_EQ(ui.cell(0, 2), "125");
    EXPECT_EQ(ui.cell(0, 3), "250");
    ui.click("rbD");
    EXPECT_TRUE(st.rbD);
    ui.type(kRowID, 3, "100");
    EXPECT_EQ(ui.cell(kRowS, 3), "7.85398163");
    EXPECT_EQ(st.Grid[kRowS][3], "7.85398163");
    ui.type(kRowRatio, 2, "-1");
    EXPECT_EQ(ui.cell(kRowRatio, 2), "1");
    ui.type(kRowRatio, 4, "x");
    EXPECT_EQ(sink.warnings, std::vector<std::string>{"Ratio Input Error: Incorrect Number Entry in Column No. 4"});
    EXPECT_EQ(ui.cell(0, 2), "-");

    // double right click on the edge cell of row 5: the whole edge column
    ui.type(kRowP, 1, "0.3");
    const QRect r = ui.grid()->visualItemRect(ui.grid()->item(kRowP, 1));
    QTest::mouseDClick(ui.grid()->viewport(), Qt::RightButton, {}, r.center());
    for (int row = kRowID; row < kEffectsRows; ++row) EXPECT_EQ(ui.cell(row, 1), "0.3") << row;

    ui.click("bnClear");
    for (int c = 2; c <= 4; ++c) {
        EXPECT_EQ(ui.cell(0, c), "-");
        EXPECT_EQ(ui.cell(kRowRatio, c), "1");
        EXPECT_EQ(ui.cell(kRowT, c), "");
    }
    ui.click("bnDefault");
    EXPECT_EQ(ui.cell(kRowT, 3), "25");
    EXPECT_EQ(ui.cell(kRowPKEOF, 1), "0.5");  // the edge default (run setup's edge width)
    EXPECT_EQ(ui.cell(0, 4), "166.667");

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

TEST(EffectsWindow, AnInvalidCellIsRefusedAndTheProfilesStay)
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
    EXPECT_EQ(st.Arr.Mix[50], 4.0);
    ui.type(kRowMix, 2, "6");
    ui.click("bnUse");
    EXPECT_EQ(st.Arr.Mix[50], 6.0);
    EXPECT_EQ(st.Series.sr_mix.y.at(50), 6.0);
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
    EXPECT_TRUE(ui.get<QCheckBox>("cbS")->isChecked());
    EXPECT_TRUE(ui.get<QScrollArea>("sbData")->isVisible());
    ASSERT_EQ(ui.grid()->columnCount(), 3);
    for (int row = 1; row < kEffectsRows; ++row)
        for (int c = 1; c <= 2; ++c)
            EXPECT_EQ(ui.cell(row, c).toStdString(), grid[row][c]) << row << " " << c;
    EXPECT_NEAR(l.st.Arr.S[0], 2.5e-9, 1e-21);
}
