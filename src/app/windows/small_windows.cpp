#include "app/windows/small_windows.h"

#include "app/kit/qt_dialogs.h"
#include "app/kit/tool_windows.h"
#include "app/shell/help_menu.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// The program's logo: a capillary with three zones.
QPixmap Logo()
{
    QPixmap p(64, 64);
    p.fill(Qt::white);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(QPen(Qt::black, 2));
    g.drawRoundedRect(4, 26, 56, 12, 6, 6);
    const QColor zones[3] = {QColor(0, 128, 128), QColor(128, 0, 0), QColor(0, 0, 255)};
    for (int i = 0; i < 3; ++i) g.fillRect(12 + i * 15, 28, 10, 8, zones[i]);
    return p;
}

void CentreOnScreen(QWidget& w)
{
    w.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w.move(area.center() - w.rect().center());
    }
}

QPlainTextEdit* FixedMemo(const QString& text)
{
    auto* memo = new QPlainTextEdit(text);
    memo->setReadOnly(true);
    memo->setFocusPolicy(Qt::NoFocus);
    memo->setMaximumHeight(70);
    return memo;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About Kelvo");
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    auto* Panel1 = new QWidget;
    Panel1->setObjectName("Panel1");
    auto* panel = new QVBoxLayout(Panel1);
    auto* top = new QHBoxLayout;
    c_.Image1 = new QLabel;
    c_.Image1->setPixmap(Logo());
    c_.LabelProductName = new QLabel("Kelvo 5");
    QFont big = c_.LabelProductName->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    c_.LabelProductName->setFont(big);
    auto* labels = new QVBoxLayout;
    c_.LabelVersion = new QLabel(QString("Release Version: ") + kReleaseVersion);
    c_.llDate = new QLabel(kReleaseDate);
    labels->addWidget(c_.LabelProductName);
    labels->addWidget(c_.LabelVersion);
    labels->addWidget(c_.llDate);
    top->addWidget(c_.Image1);
    top->addLayout(labels, 1);
    panel->addLayout(top);
    c_.Memo1 = FixedMemo(
        "Simulation of capillary electrophoresis: electromigration, diffusion and "
        "acid-base equilibria of many constituents along a capillary.");
    c_.Memo2 = FixedMemo(
        "Zone electrophoresis, isotachophoresis, isoelectric focusing, micellar and "
        "complexation modes; profiles, detector records and profile sequences.");
    panel->addWidget(c_.Memo1);
    panel->addWidget(c_.Memo2);
    outer->addWidget(Panel1);
    c_.OKButton = new QPushButton("OK");
    c_.OKButton->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(c_.OKButton);
    row->addStretch();
    outer->addLayout(row);
    const std::pair<QObject*, const char*> names[] = {{c_.LabelProductName, "LabelProductName"},
                                                      {c_.LabelVersion, "LabelVersion"},
                                                      {c_.llDate, "llDate"},
                                                      {c_.Image1, "Image1"},
                                                      {c_.Memo1, "Memo1"},
                                                      {c_.Memo2, "Memo2"},
                                                      {c_.OKButton, "OKButton"}};
    for (auto [w, name] : names) w->setObjectName(name);
    connect(c_.OKButton, &QPushButton::clicked, this, [this] { done(1); });
}

MessageWindow::MessageWindow(QWidget* parent) : QDialog(parent, Qt::Tool)
{
    setObjectName("fmMessage");
    setWindowTitle("Message Window");
    setModal(false);
    c_.mmMessage = new QPlainTextEdit;
    c_.mmMessage->setObjectName("mmMessage");
    c_.mmMessage->setReadOnly(true);
    c_.mmMessage->setFocusPolicy(Qt::NoFocus);
    QPalette pal = c_.mmMessage->palette();
    pal.setColor(QPalette::Base, QApplication::palette().color(QPalette::ToolTipBase));
    pal.setColor(QPalette::Text, QApplication::palette().color(QPalette::ToolTipText));
    c_.mmMessage->setPalette(pal);
    c_.bnOK = new QPushButton("&OK");
    c_.bnOK->setObjectName("bnOK");
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(c_.mmMessage, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(c_.bnOK);
    outer->addLayout(row);
    resize(420, 320);
    connect(c_.bnOK, &QPushButton::clicked, this, &QDialog::close);
}

std::vector<std::string> MessageWindow::Lines() const
{
    std::vector<std::string> lines;
    const QStringList all = c_.mmMessage->toPlainText().split('\n');
    if (c_.mmMessage->document()->isEmpty()) return lines;
    for (const QString& l : all) lines.push_back(l.toStdString());
    return lines;
}

void MessageWindow::Clear()
{
    c_.mmMessage->clear();
}

void MessageWindow::AddLine(const std::string& line)
{
    c_.mmMessage->appendPlainText(QString::fromStdString(line));
}

void MessageWindow::ShowLines(const std::vector<std::string>& lines)
{
    Clear();
    AppendLines(lines);
}

void MessageWindow::AppendLines(const std::vector<std::string>& lines)
{
    for (const std::string& l : lines) AddLine(l);
    if (!isVisible()) CentreOnScreen(*this);
    show();
    raise();
}

ScanWindow::ScanWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName("fmScan");
    setWindowTitle("Scan");
    setModal(true);
    c_.bbnClose = new QPushButton("&Close");
    c_.bbnClose->setObjectName("bbnClose");
    c_.bbnStart = new QPushButton("Start");
    c_.bbnStart->setObjectName("bbnStart");
    auto* row = new QHBoxLayout(this);
    row->addWidget(c_.bbnStart);
    row->addStretch();
    row->addWidget(c_.bbnClose);
    resize(260, 80);
    connect(c_.bbnClose, &QPushButton::clicked, this, &QDialog::close);
}

MessageWindow* MessageWindowOf(QWidget& main)
{
    return main.findChild<MessageWindow*>("fmMessage");
}

void InstallSmallWindows(QMainWindow& main)
{
    auto* about = new AboutBox(&main);
    new MessageWindow(&main);
    auto* scan = new ScanWindow(&main);
    QMenu* tools = ToolsMenu(main);  // before the Help menu, which stays last
    AddWindowEntry(*HelpMenu(main), "About", "About1", about, [about] { about->exec(); });
    AddWindowEntry(*tools, "Scan", "Scan1", scan, [scan] {
        CentreOnScreen(*scan);
        scan->exec();
    })->setVisible(false);
}
