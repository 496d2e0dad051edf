#include "app/shell/main_commands.h"

#include "app/kit/added_texts.h"
#include "app/kit/input_query.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/state_binder.h"
#include "app/kit/tool_windows.h"
#include "app/shell/help_menu.h"
#include "app/shell/main_window.h"
#include "app/windows/additional_window.h"
#include "engine/state/run_state.h"
#include "files/profile_export.h"
#include "files/program_dir.h"
#include "foundation/errors.h"
#include "foundation/numtext.h"
#include "tools/additional_info.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Asks for a number with the program's input box; false on Cancel or a text
// that does not parse.
bool AskNumber(const std::string& caption, const std::string& prompt, double& value)
{
    std::string typed;
    if (!InputQuery(caption, prompt, typed)) return false;
    return ReadDouble(typed, value);
}

// Two small arrow buttons beside an edit; the widget carries the spin button's name.
QWidget* AddSpinButton(QLineEdit* edit, const char* name, QToolButton*& up, QToolButton*& down)
{
    auto* spin = new QWidget;
    spin->setObjectName(name);
    auto* col = new QVBoxLayout(spin);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(0);
    up = new QToolButton;
    down = new QToolButton;
    up->setObjectName("up");
    down->setObjectName("down");
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setFixedSize(16, 11);
        b->setFocusPolicy(Qt::NoFocus);
        col->addWidget(b);
    }
    // The edit and its spin button share the edit's place in the panel.
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    if (QLayout* layout = edit->parentWidget() ? edit->parentWidget()->layout() : nullptr) {
        delete layout->replaceWidget(edit, holder);
    }
    row->addWidget(edit, 1);
    row->addWidget(spin);
    return spin;
}

}  // namespace

MainCommands::MainCommands(MainWindow& main) : QObject(&main), main_(main)
{
    setObjectName("MainCommands");
}

RunState& MainCommands::St()
{
    return main_.State();
}

void MainCommands::Refresh()
{
    main_.UpdateMainInfo();
}

void MainCommands::csbDTUp()
{
    RunState& st = St();
    st.DT *= 1 + st.ErrInc;
    st.Restart = true;
    Refresh();
}

void MainCommands::csbDTDown()
{
    RunState& st = St();
    st.DT /= 1 + st.ErrInc;
    st.Restart = true;
    Refresh();
}

void MainCommands::csbErrCUp()
{
    St().ErrOpt *= 10;
    Refresh();
}

void MainCommands::csbErrCDown()
{
    St().ErrOpt *= 0.1;
    Refresh();
}

void MainCommands::ValueButtonClick(QLineEdit* edit)
{
    if (!St().Running) edit->setFocus(Qt::OtherFocusReason);
}

void MainCommands::spdDiffPrecondRightClick()
{
    RunState& st = St();
    double v = 0;
    if (!AskNumber("Diffusion conditioning",
                   "Input duration of diffusion mode (s) \n(Actual value = " +
                       FloatToStr(st.DiffTimeSet) + " s):",
                   v) ||
        v < 0)
        return;
    st.DiffTimeSet = st.DiffTime = v;
    Refresh();
}

void MainCommands::cbRedDiffRightClick()
{
    RunState& st = St();
    double v = 0;
    if (!AskNumber("Diffusion reduction",
                   "Input diffusion multiplier \n1 .. normal diff., 0 .. no diff. (old value = " +
                       FloatToStr(st.DiffMultiplier) + "):",
                   v) ||
        v < 0)
        return;
    st.DiffMultiplier = v;
}

void MainCommands::sbnReadFromGraphRightClick()
{
    RunState& st = St();
    double v = 0;
    if (!AskNumber(
            "Set pKw [SI]",
            "Input new value of constant of autoprotolysis of solvent (pKw [SI]: [SI] = [M] - 6)\n"
            "(old value = " +
                FloatToStr(-std::log10(st.Kw)) + "):",
            v))
        return;
    if (std::fabs(v) >= 300) {
        ShowWarning(kPKwOutOfRange);
        return;
    }
    st.Kw = std::pow(10.0, -v);
}

void MainCommands::sbnReadFromGraphClick(bool down)
{
    if (down && !cursorSet_) {
        QApplication::setOverrideCursor(Qt::CrossCursor);
        cursorSet_ = true;
    } else if (!down && cursorSet_) {
        QApplication::restoreOverrideCursor();
        cursorSet_ = false;
    }
}

void MainCommands::InverseTime1Click()
{
    St().DT = -St().DT;
    Refresh();
}

void MainCommands::ExportAll1Click()
{
    RunState& st = St();
    try {
        main_.SetStatusText(kExportStatus);
        QCoreApplication::processEvents();
        if (!st.Initialised || st.NComp == 0) {
            Refresh();
            return;
        }
        std::string typed;
        if (!InputQuery(kExportCaption, kExportPrompt, typed)) {
            Refresh();
            return;
        }
        const std::string profileDir = JoinPath(main_.RootDir(), kProfileDirName).string();
        std::error_code ec;
        fs::create_directory(profileDir, ec);
        const std::string dir = ResolveExportDir(profileDir, typed);
        if (fs::exists(dir, ec)) {
            if (!Confirm(ExportDirExistsQuestion(typed))) {
                Refresh();
                return;
            }
        } else {
            fs::create_directory(dir, ec);
        }
        auto* extra = main_.findChild<AdditionalWindow*>("fmAdditional");
        const ExportOutcome out = ExportAllProfiles(st, dir, st.Options.CsvSep, DecimalSeparator(),
                                                    extra && extra->AnyRegFnShown());
        if (!out.ok)
            ShowWarning(kExportCreateFailed);
        else
            ShowMessage(ExportDoneMessage(profileDir, typed));
    } catch (...) {
        Refresh();
        throw;
    }
    Refresh();
}

bool MainCommands::eventFilter(QObject* watched, QEvent* event)
{
    // A single right press opens the box; the press of a double click does not.
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (watched == spdDiffPrecond_)
            Guarded([this] { spdDiffPrecondRightClick(); });
        else if (watched == cbRedDiff_)
            Guarded([this] { cbRedDiffRightClick(); });
        else if (watched == sbnReadFromGraph_)
            Guarded([this] { sbnReadFromGraphRightClick(); });
        else
            return QObject::eventFilter(watched, event);
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton &&
        (watched == spdDiffPrecond_ || watched == cbRedDiff_ || watched == sbnReadFromGraph_))
        return true;
    return QObject::eventFilter(watched, event);
}

MainCommands* InstallMainCommands(MainWindow& main)
{
    auto* c = new MainCommands(main);
    auto find = [&main](const char* name) {
        auto* edit = main.findChild<QLineEdit*>(name);
        if (!edit) throw std::logic_error(std::string("no control ") + name);
        return edit;
    };
    auto on = [c](auto* sender, auto signal, auto handler) {
        ConnectGuarded(sender, signal, c, handler);
    };
    QToolButton *up = nullptr, *down = nullptr;
    AddSpinButton(find("edDT"), "csbDT", up, down);
    on(up, &QToolButton::clicked, [c] { c->csbDTUp(); });
    on(down, &QToolButton::clicked, [c] { c->csbDTDown(); });
    AddSpinButton(find("edErrOpt"), "csbErrC", up, down);
    on(up, &QToolButton::clicked, [c] { c->csbErrCUp(); });
    on(down, &QToolButton::clicked, [c] { c->csbErrCDown(); });

    // Hidden value buttons, one per editable value.
    const std::pair<const char*, const char*> values[] = {
        {"bbnDT", "edDT"},         {"bbnErrC", "edErrOpt"}, {"bbnUI", "edUI"},
        {"bbnEOFMob", "edEOFMob"}, {"bbnLW", "edLeftWall"}, {"bbnRW", "edRightWall"}};
    for (auto [button, edit] : values) {
        auto* b = new QPushButton(&main);
        b->setObjectName(button);
        b->setVisible(false);
        QLineEdit* target = find(edit);
        on(b, &QPushButton::clicked, [c, target] { c->ValueButtonClick(target); });
    }

    // Right-click boxes.
    c->spdDiffPrecond_ = main.findChild<QToolButton*>("spdDiffPrecond");
    c->cbRedDiff_ = main.findChild<QCheckBox*>("cbRedDiff");
    c->sbnReadFromGraph_ = new QToolButton(&main);
    c->sbnReadFromGraph_->setObjectName("sbnReadFromGraph");
    c->sbnReadFromGraph_->setCheckable(true);
    c->sbnReadFromGraph_->setVisible(false);
    ConnectGuarded(c->sbnReadFromGraph_, &QToolButton::toggled, c,
                   [c](bool down) { c->sbnReadFromGraphClick(down); });
    for (QObject* o :
         std::initializer_list<QObject*>{c->spdDiffPrecond_, c->cbRedDiff_, c->sbnReadFromGraph_})
        if (o) o->installEventFilter(c);

    // Hidden debugging items.
    QMenu* tools = ToolsMenu(main);
    QAction* inverse = tools->addAction("Inverse Time");
    inverse->setObjectName("InverseTime1");
    inverse->setVisible(false);
    on(inverse, &QAction::triggered, [c] { c->InverseTime1Click(); });
    QAction* peak = tools->addAction("Peak");
    peak->setObjectName("bnPeak");
    peak->setVisible(false);

    QAction* exportAll = MainMenu(main, "Export", "Export1")->addAction("Export All to CSV");
    exportAll->setObjectName("ExportAll1");
    on(exportAll, &QAction::triggered, [c] { c->ExportAll1Click(); });
    return c;
}
