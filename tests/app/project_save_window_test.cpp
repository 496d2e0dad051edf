// Save and Open of a project through the main window: the save dialog starts
// where the project in use lies, with its name; replacing a project is asked
// once; the name takes ".sna"; a save after Init drops the sequence of the
// earlier run beside the project, so that the reopened project does not take
// it as its own.
#include "qt_test_env.h"

#include "files/psq.h"
#include "foundation/binio.h"
#include "foundation/fileio.h"

#include <cctype>
#include <fstream>
#include <iterator>

namespace {

std::string Bytes(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The answers of the save dialog: the folder and name it started with, and
// the name typed.
struct SaveDialog {
    std::vector<std::pair<std::string, std::string>> started;
    std::string typed;
    void Install(MainWindow& w)
    {
        w.ChooseProjectFile = [this](const QString& dir, const QString& file) {
            started.emplace_back(dir.toStdString(), file.toStdString());
            return QString::fromStdString(typed);
        };
    }
};

}  // namespace

TEST_F(ExampleWindow, SaveStartsAtTheProjectAsksOnceAndDropsTheSequenceOfAnEarlierRun)
{
    RunState& st = St();
    SaveDialog dialog;
    dialog.Install(*w);
    const fs::path folder = home.dir.path() / "work";
    fs::create_directories(folder);
    const std::string project = (folder / "P.sna").string(), psq = (folder / "P.psq").string();

    // Run, Save as P (typed without its extension): the sequence goes with it.
    st.StopTime = st.Time + 5 * st.DT;
    Click(*w, "bbnStart");
    ASSERT_GT(st.StepCount, 0);
    dialog.typed = (folder / "P").string();
    Click(*w, "spbSave");
    EXPECT_EQ(dialog.started.back(), std::pair(w->RootDir(), std::string()));
    EXPECT_TRUE(sink.questions.empty());
    ASSERT_TRUE(FileExists(project) && FileExists(psq));
    EXPECT_EQ(st.FileName, project);

    // Init, Save P again: the dialog starts at P; one question, and No keeps
    // every file as it was.
    Click(*w, "bbnInit");
    const std::string saved = Bytes(project), sequence = Bytes(psq);
    dialog.typed = project;
    sink.answers = {false};
    Click(*w, "spbSave");
    EXPECT_EQ(dialog.started.back(), std::pair(folder.string(), std::string("P.sna")));
    EXPECT_EQ(sink.questions, std::vector<std::string>{"File " + project + " exists. Overwrite?"});
    EXPECT_TRUE(Bytes(project) == saved && Bytes(psq) == sequence);
    // Yes: the project of the new Init replaces it, and the sequence of the
    // earlier run goes (no second question about it).
    sink.Clear();
    sink.answers = {true};
    Click(*w, "spbSave");
    EXPECT_EQ(sink.questions, std::vector<std::string>{"File " + project + " exists. Overwrite?"});
    EXPECT_FALSE(FileExists(psq));
    EXPECT_NE(Bytes(project), saved);

    // Opened again, the project has no sequence: the run records its own.
    ASSERT_TRUE(w->OpenFile(project));
    EXPECT_EQ(st.PsqSize, 0);
    EXPECT_EQ(FileSizeByName(st.PsqFileOwn), 0);
    EXPECT_EQ(st.StepCount, 0);

    // A run and a save over the project with its new sequence: one question
    // for the project and its sequence.
    st.StopTime = st.Time + 5 * st.DT;
    Click(*w, "bbnStart");
    sink.answers = {true};
    Click(*w, "spbSave");
    ASSERT_TRUE(FileExists(psq));
    sink.Clear();
    sink.answers = {true};
    AppendPsqFrame(st, st.PsqFile);
    Click(*w, "spbSave");
    EXPECT_EQ(sink.questions, std::vector<std::string>{"File " + project + " exists. Overwrite?"});
    EXPECT_TRUE(Bytes(psq) == Bytes(st.PsqFile));
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    const std::string sequence2 = Bytes(psq);

    // The project with its files named in capitals, as an older system names
    // them, opens whole: its sequence is the run's.
    for (const char* ext : {".sna", ".cmp", ".det", ".psq"}) {
        std::string capitals = ext;
        for (char& c : capitals) c = static_cast<char>(std::toupper(c));
        fs::copy_file(ChangeFileExt(project, ext), (folder / "OLD").string() + capitals);
    }
    sink.Clear();
    sink.answers = {true};
    ASSERT_TRUE(w->OpenFile((folder / "OLD.SNA").string()));
    EXPECT_TRUE(sink.warnings.empty()) << sink.warnings.front();
    EXPECT_TRUE(Bytes(st.PsqFile) == sequence2 && st.PsqSize > 0);
}
