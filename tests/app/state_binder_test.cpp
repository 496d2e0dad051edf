// A small window bound to the run state through the binder: the refresh
// mirrors the fields into the controls without running handlers and leaves the
// edit being typed into alone; user changes commit back to the fields.
#include "qt_test_env.h"

#include "app/kit/state_binder.h"
#include "support/recording_sink.h"

namespace {

class BoundTestWindow : public QWidget, public StateWindow {
public:
    explicit BoundTestWindow(RunState& st) : StateWindow(this), st_(st)
    {
        auto* row = new QHBoxLayout(this);
        for (QWidget* w : std::initializer_list<QWidget*>{cbIS, rbVoltage, rbCurrent, edDT, edTime,
                                                          edStopTime, bnOK})
            row->addWidget(w);
        StateBinder& b = Binder();
        b.afterChange = [this] {
            ++refreshes;
            Binder().Refresh();
        };
        b.onEnter = [this] {
            if (bnOK->isEnabled()) bnOK->setFocus(Qt::OtherFocusReason);
        };
        b.Check(cbIS, st.cbIS, [this] { ++isClicks; });
        b.Radio(rbVoltage, rbCurrent, st.rbVoltage, [this] { ++driveClicks; });
        b.Number(
            edDT, [&st] { return QString::fromStdString(FormatFloat("0.0##e+0", st.DT)); },
            [&st](double v) {
                if (v > 0) st.DT = v;  // zero and negative steps are refused
            });
        b.Number(
            edStopTime, [&st] { return QString::number(st.StopTime); },
            [&st](double v) { st.StopTime = v; }, [this] { ++stopCommits; });
        b.Display(
            edTime, [&st] { return QString::number(st.Time); }, edDT);
        OnSignal(bnOK, &QPushButton::clicked, [] { ThrowError("refused"); });
    }
    RunState& State() override { return st_; }

    QCheckBox* cbIS = new QCheckBox("Ionic Strength");
    QRadioButton* rbVoltage = new QRadioButton("Voltage");
    QRadioButton* rbCurrent = new QRadioButton("Current");
    QLineEdit* edDT = new QLineEdit;
    QLineEdit* edTime = new QLineEdit;
    QLineEdit* edStopTime = new QLineEdit;
    QPushButton* bnOK = new QPushButton("OK");
    int isClicks = 0, driveClicks = 0, refreshes = 0, stopCommits = 0;

private:
    RunState& st_;
};

}  // namespace

TEST(StateBinder, MirrorsFieldsAndCommitsUserChanges)
{
    RecordingMessageSink sink;
    RunState st;
    BoundTestWindow w(st);
    ShowActive(w);

    // The refresh mirrors every field and runs no handler.
    st.cbIS = true;
    st.rbVoltage = false;
    st.DT = 2.5e-4;
    st.Time = 12;
    w.Binder().Refresh();
    EXPECT_TRUE(w.cbIS->isChecked() && w.rbCurrent->isChecked() && !w.rbVoltage->isChecked());
    EXPECT_EQ(std::pair(w.edDT->text(), w.edTime->text()),
              std::pair(QString("2.5e-4"), QString("12")));
    EXPECT_EQ(w.isClicks + w.driveClicks + w.refreshes, 0);

    // Clicks write the fields, run the handler once, then the refresh.
    QTest::mouseClick(w.cbIS, Qt::LeftButton);
    QTest::mouseClick(w.rbVoltage, Qt::LeftButton);
    EXPECT_TRUE(!st.cbIS && st.rbVoltage);
    QTest::mouseClick(w.rbCurrent, Qt::LeftButton);
    EXPECT_FALSE(st.rbVoltage);
    EXPECT_EQ(std::tuple(w.isClicks, w.driveClicks, w.refreshes), std::tuple(1, 2, 3));

    // A number commits on leaving; a refused one leaves the field and is replaced
    // (the main window's edits show it).
    TypeOver(w.edDT, "-1");
    w.edStopTime->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(w.edStopTime->hasFocus());
    EXPECT_EQ(std::pair(st.DT, w.edDT->text()), std::pair(2.5e-4, QString("2.5e-4")));

    // Enter commits also when no button can take the focus; text that does not
    // parse still runs the edit's own `after` and is replaced.
    w.bnOK->setEnabled(false);
    TypeOver(w.edStopTime, "120");
    QTest::keyClick(w.edStopTime, Qt::Key_Return);
    EXPECT_EQ(st.StopTime, 120);
    EXPECT_FALSE(w.edStopTime->hasFocus());
    TypeOver(w.edStopTime, "x");
    QTest::keyClick(w.edStopTime, Qt::Key_Escape);
    EXPECT_EQ(st.StopTime, 120);
    EXPECT_EQ(w.edStopTime->text(), "120");
    EXPECT_EQ(w.stopCommits, 2);

    // A display edit hands the focus on; a handler's exception becomes a message.
    w.edTime->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(w.edDT->hasFocus());
    w.bnOK->setEnabled(true);
    QTest::mouseClick(w.bnOK, Qt::LeftButton);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"refused"});
}
