// The three small windows of the program: the about box, the message window
// that other windows fill with reports, and the scan window (no function yet).
// Each is created once, beside the main window, and hidden when closed.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;

// Release constants shown by the about box.
inline constexpr const char* kReleaseVersion = "1.0";
inline constexpr const char* kReleaseDate = "11/January/2007";

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

private:
    struct Controls {
        QLabel* LabelProductName = nullptr;
        QLabel* LabelVersion = nullptr;
        QLabel* llDate = nullptr;
        QLabel* Image1 = nullptr;
        QPlainTextEdit* Memo1 = nullptr;
        QPlainTextEdit* Memo2 = nullptr;
        QPushButton* OKButton = nullptr;
    } c_;
};

class MessageWindow : public QDialog {
    Q_OBJECT
public:
    explicit MessageWindow(QWidget* parent = nullptr);

    // The memo's lines.
    std::vector<std::string> Lines() const;
    void Clear();
    void AddLine(const std::string& line);
    // Replaces the memo's lines and shows the window without waiting.
    void ShowLines(const std::vector<std::string>& lines);
    // Adds lines to the memo and shows the window without waiting.
    void AppendLines(const std::vector<std::string>& lines);

private:
    struct Controls {
        QPlainTextEdit* mmMessage = nullptr;
        QPushButton* bnOK = nullptr;
    } c_;
};

class ScanWindow : public QDialog {
    Q_OBJECT
public:
    explicit ScanWindow(QWidget* parent = nullptr);

private:
    struct Controls {
        QPushButton* bbnClose = nullptr;
        QPushButton* bbnStart = nullptr;
    } c_;
};

// Creates the three windows as children of `main` (object names "AboutBox",
// "fmMessage", "fmScan") and their menu entries: Help > "About" and the hidden
// Tools > "Scan", both modal.
void InstallSmallWindows(QMainWindow& main);
// The message window of `main` (created by InstallSmallWindows), or nullptr.
MessageWindow* MessageWindowOf(QWidget& main);
