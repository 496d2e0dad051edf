// The micellar settings window: what each edit accepts and shows, the controls
// disabled during a run, the series boxes and its hidden menu entry.
#include "qt_test_env.h"

#include "app/windows/micellar_window.h"
#include "support/recording_sink.h"

#include <algorithm>

using namespace testcomp;

namespace {

struct Shown {
    explicit Shown(RunState& st) : w(st, nullptr) { ShowActive(w); }
    template <class T = QLineEdit>
    T* Find(const char* name)
    {
        return Ctl<T>(w, name);
    }
    // Types `text` into the edit and leaves it with `key` (none: for the Close button).
    void Type(const char* name, const char* text, int key = 0)
    {
        TypeOver(Find(name), text);
        if (key)
            QTest::keyClick(Find(name), Qt::Key(key));
        else
            Find<QPushButton>("bnClose")->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(Find<QPushButton>("bnClose")->hasFocus());
    }
    QString Text(const char* name) { return Find(name)->text(); }
    MicellarWindow w;
};

TUnivSet<TComponents> ThreeConstituents()
{
    TUnivSet<TComponents> comp;
    comp.Add(StrongAnion("SDS", 30.0, BGE, 20, 20));
    comp.Add(StrongCation("Sodium", kUNa, BGE, 20, 20));
    comp.Add(WeakBase("Base", 9.0, 30.0, Analyte, 0, 0.1));
    return comp;
}

}  // namespace

TEST(MicellarWindow, EditsKeepWhatTheyAcceptAndShowTheStoredValues)
{
    RecordingMessageSink sink;
    RunState st;
    st.Composition = ThreeConstituents();
    Shown s(st);
    EXPECT_EQ(s.Text("edMic"), "40");  // the stored mobility, not the layout's text
    // Each edit's own rules are tested beside them; here each edit reaches its field.
    const std::tuple<const char*, const char*, bool, const char*> table[] = {
        {"edMic", "0,005", true, "5.0e-3"}, {"edMic", "inf", false, "5.0e-3"},
        {"edMic", "25", true, "25"},        {"edCMC", "0", true, "0"},
        {"edCMC", "-1", false, "0"},        {"edCMC", "3.25", true, "3.25"},
        {"edOM", "0", false, "64"},         {"edOM", "1.5", false, "64"},
        {"edOM", "40", true, "40"},         {"edNDet", "4", false, "1"},
        {"edNDet", "3", true, "3"},
    };
    for (const auto& [edit, typed, kept, shown] : table) {
        const auto before = std::tuple(st.MicMob, st.CMC, st.OM, st.MicCompNo);
        s.Type(edit, typed);
        EXPECT_EQ(std::tuple(st.MicMob, st.CMC, st.OM, st.MicCompNo) != before, kept)
            << edit << " " << typed;
        EXPECT_EQ(s.Text(edit).toStdString(), shown) << edit << " " << typed;
    }
    EXPECT_DOUBLE_EQ(st.MicMob, 25e-9);
    EXPECT_EQ(std::tuple(st.CMC, st.OM, st.MicCompNo), std::tuple(3.25, 40, 3));

    // Esc leaves the edit and shows the stored value again
    s.Type("edCMC", "-4", Qt::Key_Escape);
    EXPECT_EQ(s.Text("edCMC"), "3.25");

    EXPECT_TRUE(sink.warnings.empty() && sink.messages.empty());
}

TEST(MicellarWindow, HiddenMenuEntryAndTheMainWindowsMicelleSeries)
{
    ProgramHome home;
    RecordingMessageSink sink;
    MainWindow main;
    auto* entry = Ctl<QAction>(main, "SDS1");
    auto* window = Ctl<MicellarWindow>(main, "fmSDS");
    EXPECT_FALSE(entry->isVisible());
    entry->trigger();
    EXPECT_TRUE(window->isVisible());
    Click(*window, "bnClose");
    EXPECT_FALSE(window->isVisible());

    // a micellar run from the settings (as a project sets them): the chart
    // shows the boxes' series in the profile view, none in the detector view
    RunState& st = main.State();
    PrepareRun(st, ThreeConstituents(), 40);
    st.PsqFileOwn = home.dir.file("run.psq");  // the window is never activated here
    st.cbSDS = st.cbShowCMC = st.cbShowMic = true;
    main.bnInitClick();
    ASSERT_TRUE(st.Initialised && st.SDSAtInit) << (sink.warnings.empty() ? "" : sink.warnings[0]);
    EXPECT_EQ(st.Series.sr_CMC.Count(), st.NX + 1);
    EXPECT_TRUE(st.Series.sr_CMC.active && st.Series.sr_mic.active && !st.Series.sr_MicDye.active);
    EXPECT_DOUBLE_EQ(st.Series.sr_mic.y[st.NX], (20.0 - st.CMC) / st.OM);
    // The boxes show and hide their series; a right click fits the chart's left axis to one.
    Click(*window, "cbShowMic");
    Click(*window, "cbComplex");
    EXPECT_TRUE(!st.Series.sr_mic.active && st.cbMicComplex && st.Series.sr_MicDye.active);
    auto* chart = Ctl<ChartView>(main, "Graph");
    QTest::mouseClick(Ctl<QCheckBox>(*window, "cbShowCMC"), Qt::RightButton);
    const auto [lo, hi] = std::minmax_element(st.Series.sr_CMC.y.begin(), st.Series.sr_CMC.y.end());
    const double margin =
        0.2 * (*hi > *lo ? *hi - *lo : 1e-5);  // a fifth of the span beyond each end
    EXPECT_FALSE(chart->AutoY());
    EXPECT_NEAR(chart->yAxis->range().lower, *lo - margin, 1e-12);
    EXPECT_NEAR(chart->yAxis->range().upper, *hi + margin, 1e-12);
    st.DetectorView = true;
    main.SetupGraph();
    EXPECT_FALSE(st.Series.sr_CMC.active || st.Series.sr_mic.active);
    // the engine's refresh reaches the window: during a run the switch and the four edits are
    // disabled
    for (bool running : {true, false}) {
        st.Running = running;
        st.Events.Emit(EngineEventKind::RefreshMicellar);
        for (const char* name : {"edNDet", "edMic", "edCMC", "edOM"})
            EXPECT_EQ(Ctl<QLineEdit>(*window, name)->isEnabled(), !running) << name;
        EXPECT_EQ(Ctl<QCheckBox>(*window, "cbSDS")->isEnabled(), !running);
        EXPECT_TRUE(Ctl<QCheckBox>(*window, "cbShowMic")->isEnabled());
    }
}
