#include "app/windows/amplitudes_window.h"

#include "app/kit/edit_committer.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/tool_windows.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

AmplitudesWindow::AmplitudesWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName("fmAmp");
    setWindowTitle("Aplitudes");
    auto* outer = new QVBoxLayout(this);
    auto makeGrid = [](const char* name, bool editable) {
        auto* g = new QTableWidget(3, 6);
        g->setObjectName(name);
        g->horizontalHeader()->setVisible(false);
        g->verticalHeader()->setVisible(false);
        if (!editable) g->setEditTriggers(QAbstractItemView::NoEditTriggers);
        return g;
    };
    sgAmp = makeGrid("sgAmp", true);
    for (int col = 0; col < 3; ++col) {
        auto* item = new QTableWidgetItem(kAmpHeaders[col]);
        item->setFlags(Qt::ItemIsEnabled);
        sgAmp->setItem(0, col, item);
    }
    for (int r = 1; r < 3; ++r) {
        auto* item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled);
        sgAmp->setItem(r, 0, item);
    }
    outer->addWidget(sgAmp, 1);
    auto* sgAmpPrint = makeGrid("sgAmpPrint", false);
    sgAmpPrint->setVisible(false);
    outer->addWidget(sgAmpPrint);

    auto* plEdits = new QWidget;
    plEdits->setObjectName("plEdits");
    auto* grid = new QGridLayout(plEdits);
    const char* names[4] = {"edDigits", "edZero", "edApplyInj", "edUniform"};
    const char* captions[4] = {"Digits", "Zero", "Apply to injection", "Uniform analytes"};
    auto* bbnOK = new QPushButton("OK");
    bbnOK->setObjectName("bbnOK");
    for (int i = 0; i < 4; ++i) {
        edits_[i] = new QLineEdit;
        edits_[i]->setObjectName(names[i]);
        grid->addWidget(new QLabel(captions[i]), 0, i);
        grid->addWidget(edits_[i], 1, i);
        auto* c = new EditCommitter(edits_[i], [this, i] {
            const std::string text = edits_[i]->text().toStdString();
            switch (i) {
            case 0: settings_.EditDigits(text); break;
            case 1: settings_.EditZero(text); break;
            case 2: settings_.EditApplyInj(text); break;
            default: settings_.EditUniform(text); break;
            }
            ShowSettings();
        });
        // Enter and Esc hand the focus to OK, which commits the edit.
        c->onEnter = [bbnOK] { bbnOK->setFocus(Qt::OtherFocusReason); };
        c->onEscape = [this, bbnOK] {
            bbnOK->setFocus(Qt::OtherFocusReason);
            ShowSettings();
        };
    }
    auto* cbRelative = new QCheckBox("Relative conductivity");
    cbRelative->setObjectName("cbRelative");
    grid->addWidget(cbRelative, 1, 4);
    outer->addWidget(plEdits);

    auto* buttons = new QHBoxLayout;
    auto* bbnProcess = new QPushButton("Process !");
    bbnProcess->setObjectName("bbnProcess");
    auto* bnMatrix = new QPushButton("Matrix M");
    bnMatrix->setObjectName("bnMatrix");
    buttons->addWidget(bbnProcess);
    buttons->addWidget(bnMatrix);
    buttons->addStretch();
    buttons->addWidget(bbnOK);
    buttons->addStretch();
    outer->addLayout(buttons);
    // The text-width meter of the layout: kept, never shown.
    auto* llAmp = new QLabel("To Get Text Width in Pts", this);
    llAmp->setObjectName("llAmp");
    llAmp->setVisible(false);
    for (QPushButton* b : {bbnProcess, bnMatrix, bbnOK}) b->setAutoDefault(false);
    connect(bbnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(sgAmp, &QTableWidget::cellClicked, this, [this](int row, int) {
        sgAmp->setCurrentCell(AmplitudeClickRow(row, sgAmp->rowCount()), kAmpClickColumn);
    });
    ShowSettings();
}

AmplitudesWindow::~AmplitudesWindow()
{
    DropEditCommitters(this);
}

void AmplitudesWindow::ShowSettings()
{
    const std::string texts[4] = {settings_.DigitsText(), settings_.ZeroText(),
                                  settings_.ApplyInjText(), settings_.UniformText()};
    for (int i = 0; i < 4; ++i) {
        edits_[i]->setText(QString::fromStdString(texts[i]));
        edits_[i]->setModified(false);
    }
}

AmplitudesWindow* InstallAmplitudesWindow(QMainWindow& main)
{
    auto* window = new AmplitudesWindow(&main);
    AddWindowEntry(*ToolsMenu(main), "Amp", "Amp1", window, [window] {
        window->exec();
    })->setVisible(false);
    return window;
}
