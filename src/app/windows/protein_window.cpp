#include "app/windows/protein_window.h"

#include "app/kit/qt_dialogs.h"
#include "composition/constituent_editor.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

ProteinBuilderWindow::ProteinBuilderWindow(ConstituentEditor& editor, QWidget* parent)
    : QDialog(parent), editor_(editor)
{
    setObjectName("fmAddProtein");
    setWindowTitle("Add Protein");
    setModal(true);
    auto* grid = new QGridLayout(this);
    Input = new QPlainTextEdit;
    grid->addWidget(Input, 0, 0, 1, 4);
    cbAllSS = new QCheckBox("C in -S-S- only");
    cbAllSS->setChecked(model_.AllSS);
    edNSS = new QLineEdit(QString::fromStdString(model_.NSS));
    edNSS->setEnabled(false);
    UpDown1 = new QSpinBox;
    UpDown1->setRange(0, 100000);
    UpDown1->setEnabled(false);
    grid->addWidget(cbAllSS, 1, 0);
    grid->addWidget(new QLabel("# of -SS- bonds"), 1, 1);
    grid->addWidget(edNSS, 1, 2);
    grid->addWidget(UpDown1, 1, 3);
    llValid = new QLabel("Valid characters");
    llInvalid = new QLabel("Invalid characters");
    grid->addWidget(llValid, 2, 0, 1, 2);
    grid->addWidget(llInvalid, 2, 2, 1, 2);
    grid->addWidget(new QLabel("Acidic/Basic groups:"), 3, 0);
    edGroups = new QLineEdit;
    edGroups->setReadOnly(true);
    grid->addWidget(edGroups, 3, 1, 1, 3);
    grid->addWidget(new QLabel("Protein mobility u[z] = fn(z), in 1e-9 m^2/V/s"), 4, 0, 1, 4);
    edZ = new QLineEdit(QString::fromStdString(model_.Formula));
    grid->addWidget(edZ, 5, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    bnOK = new QPushButton("OK");
    bnCancel = new QPushButton("Cancel");
    buttons->addStretch();
    buttons->addWidget(bnOK);
    buttons->addWidget(bnCancel);
    grid->addLayout(buttons, 6, 0, 1, 4);
    for (QPushButton* b : {bnOK, bnCancel}) b->setAutoDefault(false);
    const std::pair<QObject*, const char*> names[] = {
        {Input, "Input"},       {cbAllSS, "cbAllSS"}, {edNSS, "edNSS"},
        {UpDown1, "UpDown1"},   {llValid, "llValid"}, {llInvalid, "llInvalid"},
        {edGroups, "edGroups"}, {edZ, "edZ"},         {bnOK, "bnOK"},
        {bnCancel, "bnCancel"}};
    for (auto [w, name] : names) w->setObjectName(name);

    auto guarded = [this](void (ProteinBuilderWindow::*handler)()) {
        return [this, handler] { Guarded([&] { (this->*handler)(); }); };
    };
    connect(Input, &QPlainTextEdit::textChanged, this, guarded(&ProteinBuilderWindow::InputChange));
    connect(edNSS, &QLineEdit::textChanged, this, guarded(&ProteinBuilderWindow::InputChange));
    connect(cbAllSS, &QCheckBox::clicked, this, guarded(&ProteinBuilderWindow::cbAllSSClick));
    connect(UpDown1, &QSpinBox::valueChanged, this,
            [this](int v) { edNSS->setText(QString::number(v)); });
    connect(bnOK, &QPushButton::clicked, this, guarded(&ProteinBuilderWindow::bnOKClick));
    connect(bnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ProteinBuilderWindow::InputChange()
{
    model_.Input.clear();
    const QStringList lines = Input->toPlainText().split('\n');
    for (const QString& line : lines) model_.Input.push_back(line.toStdString());
    model_.AllSS = cbAllSS->isChecked();
    model_.NSS = edNSS->text().toStdString();
    model_.InputChange();
    llValid->setText(QString::fromStdString(model_.ValidText()));
    llInvalid->setText(QString::fromStdString(model_.InvalidText()));
    edGroups->setText(QString::fromStdString(model_.GroupsText()));
}

void ProteinBuilderWindow::cbAllSSClick()
{
    edNSS->setEnabled(!cbAllSS->isChecked());
    UpDown1->setEnabled(!cbAllSS->isChecked());
    InputChange();
}

void ProteinBuilderWindow::bnOKClick()
{
    InputChange();
    model_.Formula = edZ->text().toStdString();
    if (model_.MakeProtein(editor_)) accept();
}
