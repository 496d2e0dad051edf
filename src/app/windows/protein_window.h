// The protein builder window ("Add Protein"): a sequence, the disulfide
// settings and the mobility formula; OK writes the protein into the
// constituent editor.
#pragma once

#include "composition/protein_builder.h"

#include <QDialog>

class ConstituentEditor;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

class ProteinBuilderWindow : public QDialog {
    Q_OBJECT
public:
    ProteinBuilderWindow(ConstituentEditor& editor, QWidget* parent = nullptr);

    // Recounts the sequence and shows the counts and the groups text.
    void InputChange();
    void cbAllSSClick();
    // MakeProtein, then closes; a failing formula leaves the window open.
    void bnOKClick();
    const ProteinBuilder& Model() const { return model_; }

private:
    ProteinBuilder model_;
    ConstituentEditor& editor_;
    QPlainTextEdit* Input = nullptr;
    QCheckBox* cbAllSS = nullptr;
    QLineEdit* edNSS = nullptr;
    QSpinBox* UpDown1 = nullptr;
    QLabel* llValid = nullptr;
    QLabel* llInvalid = nullptr;
    QLineEdit* edGroups = nullptr;
    QLineEdit* edZ = nullptr;
    QPushButton* bnOK = nullptr;
    QPushButton* bnCancel = nullptr;
};
