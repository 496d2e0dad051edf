#include "app/windows/option_window.h"

#include "app/chart/chart_view.h"
#include "app/kit/qt_convert.h"
#include "app/kit/table_edits.h"
#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "engine/state/run_state.h"
#include "files/setup_edits.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QRadioButton* Radio(QGridLayout* grid, const char* name, const char* caption, int row, int col = 0)
{
    auto* b = new QRadioButton(caption);
    b->setObjectName(name);
    grid->addWidget(b, row, col);
    return b;
}

QCheckBox* Check(QGridLayout* grid, const char* name, const char* caption, const char* hint,
                 bool shown)
{
    auto* b = new QCheckBox(caption);
    b->setObjectName(name);
    b->setToolTip(hint);
    b->setVisible(shown);
    grid->addWidget(b, grid->rowCount(), 0, 1, 3);
    return b;
}

}  // namespace

OptionWindow::OptionWindow(MainWindow& main, QWidget* parent)
    : QDialog(parent), MainStateWindow(this, main)
{
    setObjectName("fmOption");
    setWindowTitle("Option");
    setModal(true);
    auto* grid = new QGridLayout;
    BuildEdits(grid);
    BuildGroups(grid);
    c_.bnClose = new QPushButton("&Close");
    c_.bnClose->setObjectName("bnClose");
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);
    c_.bnClose->setAutoDefault(false);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(ScrollingBody(*this, grid));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(c_.bnClose);
    outer->addLayout(buttons);

    auto* action1 = new QAction(this);
    action1->setObjectName("Action1");
    action1->setShortcut(QKeySequence("Ctrl+Alt+P"));
    action1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action1);
    OnSignal(action1, &QAction::triggered, [this] { Action1Execute(); });
    OnSignal(c_.bnClose, &QPushButton::clicked, [this] { bnCloseClick(); });

    Binder().onEnter = [this] { c_.bnClose->setFocus(Qt::OtherFocusReason); };
    Binder().onEscape = [this] { Escape(); };
    Binder().afterChange = [this] { ShowSettings(); };
    // The precision edits wait for Ctrl+Alt+P.
    for (const char* name : {"edEpsCor", "edEpsNew", "edItNew"}) edits_[name]->setEnabled(false);
    ApplyZeroPoint(State());
    ShowSettings();
}

void OptionWindow::BuildEdits(QGridLayout* grid)
{
    for (const EditEntry& e : OptionEdits()) {
        const std::string name = e.name;
        if (name == "edAnotherPos") continue;  // placed in the zero-position group
        const int row = grid->rowCount();
        QLineEdit* edit = AddTableEdit(grid, e);
        edits_[name] = edit;
        if (e.parse == EditParse::Colour) {
            const bool detector = name == "edDetColor";
            auto* pick = new QPushButton("...");
            pick->setObjectName(detector ? "bbnDetColor" : "bbnSimColor");
            grid->addWidget(pick, row, 2);
            OnSignal(pick, &QPushButton::clicked, [this, detector] { bbnColorClick(detector); });
        }
        if (name == "edLineWidth") {
            c_.udLineWidth = new QSpinBox;
            c_.udLineWidth->setObjectName("udLineWidth");
            c_.udLineWidth->setRange(1, 8);
            c_.udLineWidth->setWrapping(false);
            grid->addWidget(c_.udLineWidth, row, 2);
            OnSignal(c_.udLineWidth, &QSpinBox::valueChanged, [this](int v) {
                State().Options.LineWidth = v;
                main_.ApplyLineWidth();
                ShowSettings();
            });
        }
    }
    for (const EditEntry& e : OptionEdits()) {
        QLineEdit* edit = e.name == std::string("edAnotherPos") ? nullptr : edits_[e.name];
        if (!edit) {
            edit = new QLineEdit;
            edit->setObjectName(e.name);
            edits_[e.name] = edit;
        }
        shown_[edit] = BindTableEdit(*this, edit, e, [this](const EditEntry& entry) {
            if (entry.follow == EditFollow::ApplyLineWidth) main_.ApplyLineWidth();
            if (entry.follow == EditFollow::SetupGraph) main_.SetupGraph();
        });
    }
}

void OptionWindow::BuildGroups(QGridLayout* grid)
{
    RunState& st = State();
    OptionState& o = st.Options;
    int row = grid->rowCount();

    // Separator of the text export: an item, or a typed text judged by its first character.
    auto* gbCSV = new QGroupBox(" CSV Separator");
    auto* csv = new QGridLayout(gbCSV);
    c_.cbCSV = new QComboBox;
    c_.cbCSV->setObjectName("cbCSV");
    c_.cbCSV->setEditable(true);
    c_.cbCSV->setInsertPolicy(QComboBox::NoInsert);
    c_.cbCSV->addItems({"SPACE", "COMMA", "TAB"});
    csv->addWidget(c_.cbCSV, 0, 0);
    grid->addWidget(gbCSV, row++, 0, 1, 3);
    QLineEdit* csvText = c_.cbCSV->lineEdit();
    auto showSep = [&o] { return Q(CsvSepText(o.CsvSep)); };
    shown_[csvText] = showSep;
    EditCommitter* commit = Binder().Text(csvText, showSep, [&o](const std::string& text) {
        char sep;
        if (CsvSepFromText(text, sep)) o.CsvSep = sep;
    });
    // The combo box has the focus and hands its events to its edit directly: it commits the same
    // way.
    c_.cbCSV->installEventFilter(commit);
    OnSignal(c_.cbCSV, &QComboBox::activated, [this, &o](int item) {
        o.CsvSep = CsvSepFromItem(item);
        c_.bnClose->setFocus(Qt::OtherFocusReason);
        ShowSettings();
    });

    // X-axis unit.
    auto* gbX = new QGroupBox("X-axis Unit");
    auto* x = new QGridLayout(gbX);
    QRadioButton* m = Radio(x, "rbXAxisM", "metre (m)", 0);
    QRadioButton* mm = Radio(x, "rbXAxisMM", "millimetre (mm)", 1);
    grid->addWidget(gbX, row++, 0, 1, 3);
    Binder().Group(
        {m, mm}, [&o] { return o.XAxisUnit - 1; }, [&st](int k) { SetXAxisUnit(st, k + 1); });

    // Zero point of positions.
    auto* gbZero = new QGroupBox(" Zero Position ");
    gbZero->setToolTip("Defines position of zero point (affects profile on-click information)");
    auto* z = new QGridLayout(gbZero);
    QRadioButton* inj = Radio(z, "rbInjSite", "At Injection Site", 0);
    QRadioButton* left = Radio(z, "rbLeft", "Left Side of Capillary", 1);
    QRadioButton* right = Radio(z, "rbRight", "Right Side of Capillary", 2);
    QRadioButton* centre = Radio(z, "rbCenter", "Center of Capillary", 3);
    QRadioButton* other = Radio(z, "rbAnotherPos", "Another Position (Nodes): ", 4);
    z->addWidget(edits_["edAnotherPos"], 4, 1);
    c_.llAnotherPos = new QLabel;
    c_.llAnotherPos->setObjectName("llAnotherPos");
    z->addWidget(c_.llAnotherPos, 4, 2);
    grid->addWidget(gbZero, row++, 0, 1, 3);
    Binder().Group(
        {inj, left, centre, right, other}, [&o] { return o.ZeroPoint - 1; },
        [&st](int k) {
            st.Options.ZeroPoint = k + 1;
            ApplyZeroPoint(st);
        });

    // Switches read elsewhere, the window's own record.
    OptionSwitches& switches = st.options();
    auto* gbSwitches = new QGroupBox;
    auto* sw = new QGridLayout(gbSwitches);
    Binder().Check(Check(sw, "cbIgnDT", "DO NOT Use <Initial dt>", "", false), switches.cbIgnDT);
    Binder().Check(Check(sw, "cbIgnDER", "DO NOT Calculate DER", "", false), switches.cbIgnDER);
    Binder().Check(Check(sw, "cbShowSpentTime", "Show Last RUN Time", "", false),
                   switches.cbShowSpentTime);
    Binder().Check(Check(sw, "cbGraphAdd", "Heating, S(x), T(x), Mix(x)", "", false),
                   switches.cbGraphAdd);
    Binder().Check(
        Check(
            sw, "cbPSQQuestion", "Ask Before Transfer PSQ",
            "Use to disable copying PSQ file when sna-file is opened (in case of extreme file size of PSQ file)",
            true),
        switches.cbPSQQuestion);
    Binder().Check(Check(sw, "cbPositionINI", "Store Window Positions (INI)",
                         "This option stores positions of some windows in INI file", true),
                   o.cbPositionINI);
    grid->addWidget(gbSwitches, row++, 0, 1, 3);
    // The "Complete" extent is not offered; the group is kept for the settings file.
    auto* gbSave = new QGroupBox("SNA-file Saving Extent");
    auto* save = new QGridLayout(gbSave);
    QRadioButton* complete = Radio(save, "rbComplete", "Complete", 0);
    QRadioButton* standard = Radio(save, "rbStandard", "Standard", 1);
    complete->setEnabled(false);
    gbSave->setVisible(false);
    grid->addWidget(gbSave, row++, 0, 1, 3);
    Binder().Group(
        {complete, standard}, [&o] { return o.SnaExtent - 1; },
        [&o](int k) { o.SnaExtent = k + 1; });

    // File opened at program start.
    auto* gbDefault = new QGroupBox(" Open File at Program Start ");
    gbDefault->setToolTip("This file (sna, psq, cmp) is oped at program start-up");
    auto* d = new QGridLayout(gbDefault);
    c_.edDefaultFile = new QLineEdit;
    c_.edDefaultFile->setObjectName("edDefaultFile");
    c_.bnDefaultFile = new QPushButton("...");
    c_.bnDefaultFile->setObjectName("bnDefaultFile");
    d->addWidget(c_.edDefaultFile, 0, 0);
    d->addWidget(c_.bnDefaultFile, 0, 1);
    grid->addWidget(gbDefault, row++, 0, 1, 3);
    auto showFile = [&o] { return QString::fromLocal8Bit(o.DefaultFile.c_str()); };
    shown_[c_.edDefaultFile] = showFile;
    Binder().Text(c_.edDefaultFile, showFile,
                  [&o](const std::string& text) { o.DefaultFile = text; });
    OnSignal(c_.bnDefaultFile, &QPushButton::clicked, [this] { bnDefaultFileClick(); });
}

void OptionWindow::ShowColour(QLineEdit* edit, std::uint32_t colour)
{
    const QColor back = ColourFromBGR(colour), text = ColourFromBGR(ContrastColor(colour));
    edit->setStyleSheet(
        QString("QLineEdit { background-color: %1; color: %2; }").arg(back.name(), text.name()));
}

void OptionWindow::ShowSettings()
{
    RunState& st = State();
    ShowColour(edits_["edSimColor"], st.Options.SimColor);
    ShowColour(edits_["edDetColor"], st.Options.DetColor);
    ApplyZeroPoint(st);
    edits_["edAnotherPos"]->setEnabled(st.Options.ZeroPoint == kZeroAnotherPos);
    const double mm =
        st.NXPending != 0 ? st.ZeroPosNode * 1000.0 / st.NXPending * st.CapLengthPending : 0;
    c_.llAnotherPos->setText(Q("(" + FormatFloat("0.###", mm) + " mm)"));
    {
        QSignalBlocker block(c_.udLineWidth);
        c_.udLineWidth->setValue(std::clamp(st.Options.LineWidth, 1, 8));
    }
    const int item = CsvSepItem(st.Options.CsvSep);
    if (item >= 0 && !c_.cbCSV->lineEdit()->hasFocus()) {
        QSignalBlocker block(c_.cbCSV);
        c_.cbCSV->setCurrentIndex(item);
    }
    Binder().Refresh();
}

void OptionWindow::Escape()
{
    // The edit gets the stored value back before it is left, so nothing changes.
    if (auto* edit = qobject_cast<QLineEdit*>(focusWidget())) {
        auto it = shown_.find(edit);
        if (it != shown_.end()) {
            edit->setText(it->second());
            edit->setModified(false);
        }
    }
    c_.bnClose->setFocus(Qt::OtherFocusReason);
}

void OptionWindow::Action1Execute()
{
    const bool enable = !edits_["edEpsCor"]->isEnabled();
    ShowMessage(enable ? "Option: Precision Edits Enabled (Ctrl+Alt+P)."
                       : "Option: Precision Edits Disabled (Ctrl+Alt+P).");
    for (const char* name : {"edEpsCor", "edEpsNew", "edItNew"}) edits_[name]->setEnabled(enable);
}

void OptionWindow::bbnColorClick(bool detector)
{
    std::uint32_t& colour = detector ? State().Options.DetColor : State().Options.SimColor;
    const QColor chosen = QColorDialog::getColor(ColourFromBGR(colour), this);
    if (chosen.isValid())
        colour = static_cast<std::uint32_t>(chosen.red()) |
                 static_cast<std::uint32_t>(chosen.green()) << 8 |
                 static_cast<std::uint32_t>(chosen.blue()) << 16;
    ShowSettings();
    main_.SetupGraph();
}

void OptionWindow::bnDefaultFileClick()
{
    const QString name = QFileDialog::getOpenFileName(this, "Open File at Program Start", QString(),
                                                      "Kelvo 5 Files (*.sna *.cmp *.psq)");
    if (name.isEmpty()) return;
    State().Options.DefaultFile = name.toLocal8Bit().toStdString();
    ShowSettings();
}

void OptionWindow::bnCloseClick()
{
    ShowSettings();
    close();
}

void OptionWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ShowSettings();
}

OptionWindow* InstallOptionWindow(MainWindow& main)
{
    auto* window = new OptionWindow(main, &main);
    AddWindowEntry(*main.menuBar(), "Option", "Option1", window, [window, &main] {
        window->exec();
        main.DrawDetectorLine();
        main.UpdateMainInfo();
        main.RedrawGraph();
        main.SetupGraph();
        main.FocusDefaultButton();
    });
    return window;
}
