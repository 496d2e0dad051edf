#include "app/windows/detector_window.h"

#include "app/kit/tool_windows.h"
#include "app/shell/main_window.h"
#include "tools/detector_tools.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

DetectorWindow::DetectorWindow(MainWindow& main)
    : QWidget(&main, Qt::Tool), MainStateWindow(this, main)
{
    setObjectName("fmDet");
    setWindowTitle("Detector Data Tool");
    auto* outer = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    c_.spnHalf = new QToolButton(this);
    c_.spnHalf->setObjectName("spnHalf");
    c_.spnHalf->setText("&Half Size");
    c_.spnHalf->setToolTip("Half size of actual detector data");
    c_.spbClose = new QToolButton(this);
    c_.spbClose->setObjectName("spbClose");
    c_.spbClose->setText("&Close");
    bar->addWidget(c_.spnHalf);
    bar->addWidget(c_.spbClose);
    bar->addStretch();
    outer->addLayout(bar);
    c_.llText = new QLabel("Detector Data Size", this);
    c_.llText->setObjectName("llText");
    outer->addWidget(c_.llText);
    c_.plSize = new QFrame(this);
    c_.plSize->setObjectName("plSize");
    c_.plSize->setFrameShape(QFrame::StyledPanel);
    c_.plSize->setToolTip("Size of actual detector data");
    auto* panel = new QHBoxLayout(c_.plSize);
    c_.llSize = new QLabel(c_.plSize);
    c_.llSize->setObjectName("llSize");
    c_.llSize->setAlignment(Qt::AlignCenter);
    panel->addWidget(c_.llSize);
    outer->addWidget(c_.plSize);
    OnSignal(c_.spnHalf, &QToolButton::clicked, [this] { spnHalfClick(); });
    OnSignal(c_.spbClose, &QToolButton::clicked, [this] { close(); });
    ShowDataSize();
}

void DetectorWindow::ShowDataSize()
{
    c_.llSize->setText(QString::fromStdString(DetSizeText(EstimateDetSize(State()))));
}

void DetectorWindow::spnHalfClick()
{
    c_.llSize->setText("Deleting...");
    c_.llSize->setStyleSheet("color: #ff0000");
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    try {
        HalveDetectorData(State());
    } catch (...) {
        c_.llSize->setStyleSheet(QString());
        ShowDataSize();
        throw;
    }
    c_.llSize->setStyleSheet(QString());
    ShowDataSize();
}

void DetectorWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ShowDataSize();
}

DetectorWindow* InstallDetectorWindow(MainWindow& main)
{
    auto* window = new DetectorWindow(main);
    OpenNearMainWindow(*window, main);
    AddWindowEntry(*ToolsMenu(main), "Detector Tools", "Reduce1", window, [window] {
        window->ShowDataSize();
        window->show();
        window->raise();
    });
    main.InfoRefreshers.push_back([window] {
        if (window->isVisible()) window->ShowDataSize();
    });
    return window;
}
