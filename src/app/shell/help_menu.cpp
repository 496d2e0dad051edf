#include "app/shell/help_menu.h"

#include "app/kit/added_texts.h"
#include "app/kit/qt_dialogs.h"
#include "app/kit/state_binder.h"
#include "files/program_dir.h"
#include "foundation/errors.h"

#include <QAction>
#include <QDesktopServices>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

namespace {

DocumentOpener& Opener()
{
    static DocumentOpener opener;
    return opener;
}

QMenu* FindMenu(QMainWindow& main, const QString& caption)
{
    for (QAction* entry : main.menuBar()->actions())
        if (entry->menu() && entry->text().remove('&') == caption) return entry->menu();
    return nullptr;
}

}  // namespace

QMenu* MainMenu(QMainWindow& main, const QString& caption, const char* objectName)
{
    if (QMenu* menu = FindMenu(main, caption)) return menu;
    auto* menu = new QMenu(caption, main.menuBar());
    menu->setObjectName(objectName);
    QMenu* help = FindMenu(main, "Help");
    if (help && caption != "Help")
        main.menuBar()->insertMenu(help->menuAction(), menu);
    else
        main.menuBar()->addMenu(menu);
    return menu;
}

QMenu* HelpMenu(QMainWindow& main)
{
    return MainMenu(main, "Help", "Help1");
}

std::string IntroductionMissingText(const std::string& name)
{
    return "File " + name + " not found";
}

std::string ManualMissingText(const std::string& name)
{
    return "File '" + name + "' not found!\nKelvo 5 Manual is under development. Check pages: " +
           kDocumentationAddress;
}

std::string ComplexManualMissingText(const std::string& name)
{
    return "File '" + name + "' not found!\nCheck pages: " + kDocumentationAddress;
}

DocumentOpener SetDocumentOpener(DocumentOpener opener)
{
    DocumentOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

void OpenSuppliedDocument(const std::string& rootDir, const std::string& file,
                          const std::function<std::string(const std::string&)>& missing)
{
    const std::filesystem::path found = FindSupplied(file);
    if (found.empty()) {
        ShowMessage(missing(JoinPath(rootDir, file).string()));
        return;
    }
    const std::string path = found.string();
    const bool opened =
        Opener() ? Opener()(path)
                 : QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    if (!opened) ShowWarning(CannotOpenFileText(path));
}

void InstallHelpMenu(QMainWindow& main, std::string rootDir)
{
    QMenu* help = HelpMenu(main);
    struct Entry {
        const char* caption;
        const char* name;
        const char* key;
        const char* file;
        std::string (*missing)(const std::string&);
    };
    const Entry entries[] = {
        {"Introduction", "Introduction1", "F1", kIntroductionFile, &IntroductionMissingText},
        {"Kelvo 5 Manual (pdf)", "Help2", "F2", kManualFile, &ManualMissingText},
        {"Kelvo Complex Manual (pdf)", "KelvoComplexManualpdf1", nullptr, kComplexManualFile,
         &ComplexManualMissingText},
    };
    for (const Entry& e : entries) {
        QAction* a = help->addAction(e.caption);
        a->setObjectName(e.name);
        if (e.key) {
            a->setShortcut(QKeySequence(e.key));
            a->setShortcutContext(Qt::ApplicationShortcut);
        }
        const std::string file = e.file;
        auto missing = e.missing;
        ConnectGuarded(a, &QAction::triggered, &main,
                       [rootDir, file, missing] { OpenSuppliedDocument(rootDir, file, missing); });
    }
}
