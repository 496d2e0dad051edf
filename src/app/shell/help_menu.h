// The Help menu: the about box and the three supplied documents (the
// introduction page and the two manuals), opened with the desktop's default
// application; a missing document gives the program's "not found" message.
#pragma once

#include <QString>

#include <functional>
#include <string>

class QMainWindow;
class QMenu;

// A menu of the menu bar by its caption (without '&'), created when absent in
// front of the Help menu (the Help menu itself goes last).
QMenu* MainMenu(QMainWindow& main, const QString& caption, const char* objectName);
QMenu* HelpMenu(QMainWindow& main);

// Names of the supplied documents.
inline constexpr const char* kIntroductionFile = "KELVO 5 INTRODUCTION.html";
inline constexpr const char* kManualFile = "Kelvo5_Manual.pdf";
inline constexpr const char* kComplexManualFile = "Kelvo 5 Complex Manual.pdf";
// Where the documents' sources are kept, named in the missing-file messages.
inline constexpr const char* kDocumentationAddress = "the docs folder of the Kelvo sources (docs/)";

// Messages of a missing document (`name` is the full file name looked for).
std::string IntroductionMissingText(const std::string& name);
std::string ManualMissingText(const std::string& name);
std::string ComplexManualMissingText(const std::string& name);

// Opens a file with the desktop's default application; true when it was handed
// over. Tests replace it.
using DocumentOpener = std::function<bool(const std::string& path)>;
DocumentOpener SetDocumentOpener(DocumentOpener opener);

// Opens the supplied document `file`: found in the program directory, beside
// the executable or in the installed data directory. When it is not found the
// message `missing(RootDir/file)` is shown.
void OpenSuppliedDocument(const std::string& rootDir, const std::string& file,
                          const std::function<std::string(const std::string&)>& missing);

// The Help menu's document entries: "Introduction" (F1), "Kelvo 5 Manual (pdf)"
// (F2) and "Kelvo Complex Manual (pdf)".
void InstallHelpMenu(QMainWindow& main, std::string rootDir);
