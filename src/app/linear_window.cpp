#include "app/linear_window.h"

#include "app/tool_windows.h"
#include "app/qt_dialogs.h"
#include "app/tool_windows.h"
#include "engine/run_state.h"
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
    auto* linear1 = new QAction("Linear", &main);
    linear1->setObjectName("Linear1");
    linear1->setVisible(false);
    ToolsMenu(main)->addAction(linear1);
    QObject::connect(linear1, &QAction::triggered, window, [window] { Guarded([window] { window->exec(); }); });
    return window;
}
