#include "app/windows/linear_window.h"

#include "app/kit/qt_dialogs.h"
#include "app/kit/tool_windows.h"
#include "engine/state/run_state.h"
#include "foundation/errors.h"
#include "tools/bge_calc.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>

LinearWindow::LinearWindow(RunState& st, QWidget* parent) : QDialog(parent), st_(st)
{
    setObjectName("fmLinear");
    setWindowTitle("Linear Aproximation");
    setModal(true);
    bnClose = new QPushButton("&OK", this);
    bnClose->setObjectName("bnClose");
    bnClose->setDefault(true);
    auto* row = new QHBoxLayout(this);
    row->addStretch();
    row->addWidget(bnClose);
    connect(bnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void LinearWindow::bnProcessClick()
{
    Guarded([this] {
        if (BuildPMBGE(st_)) ShowMessage(LinearToolValueText(st_.EIData));
    });
}

LinearWindow* InstallLinearWindow(QMainWindow& main, RunState& st)
{
    auto* window = new LinearWindow(st, &main);
    AddWindowEntry(*ToolsMenu(main), "Linear", "Linear1", window, [window] {
        window->exec();
    })->setVisible(false);
    return window;
}
