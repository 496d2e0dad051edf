// The supplied documents are rendered from docs/*.md by Qt's Markdown reader
// (the build's document renderer uses the same reader). Text that the reader
// takes for raw HTML, such as an unescaped "<Init>", vanishes from the page
// together with the rest of its paragraph or table row; every word of a
// document must therefore reach the rendered text as often as it is written.
#include "qt_test_env.h"

#include "foundation/messages.h"

#include <QTextDocument>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::map<std::string, int> WordCounts(const std::string& text)
{
    std::map<std::string, int> counts;
    std::string word;
    auto flush = [&] {
        if (word.size() >= 3) ++counts[word];
        word.clear();
    };
    for (char ch : text) {
        if (std::isalpha(static_cast<unsigned char>(ch)))
            word += ch;
        else
            flush();
    }
    flush();
    return counts;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Words of `markdown` that the rendered page holds fewer times than the source.
std::string LostWords(const std::string& markdown)
{
    QTextDocument doc;
    doc.setMarkdown(QString::fromStdString(markdown));
    const std::map<std::string, int> rendered = WordCounts(doc.toPlainText().toStdString());
    std::string lost;
    for (const auto& [word, count] : WordCounts(markdown)) {
        const auto it = rendered.find(word);
        if (it == rendered.end() || it->second < count) lost += word + " ";
    }
    return lost;
}

}  // namespace

TEST(Documents, EveryWordOfEachSuppliedDocumentIsRendered)
{
    // The check itself: an unescaped tag loses its words, an escaped one keeps them.
    EXPECT_NE(LostWords("| Constituents changed - press <INIT> or <RESTORE> now |\n"), "");
    EXPECT_EQ(LostWords("Constituents changed - press \\<INIT\\> or \\<RESTORE\\> now.\n"), "");

    const std::filesystem::path docs = KELVO_DOCS_DIR;
    for (const char* name : {"manual.md", "complex-manual.md", "introduction.md"}) {
        SCOPED_TRACE(name);
        const std::string markdown = ReadFile(docs / name);
        ASSERT_GT(markdown.size(), 100u);
        EXPECT_EQ(LostWords(markdown), "");
    }
}

TEST(Documents, TheManualsCoverTheWindowsAndTheComplexConstantSign)
{
    const std::filesystem::path docs = KELVO_DOCS_DIR;
    QTextDocument manual;
    manual.setMarkdown(QString::fromStdString(ReadFile(docs / "manual.md")));
    const QString text = manual.toPlainText();
    for (const char* heading :
         {"The run-setup window", "The options window", "The constituent editor",
          "The constituent database", "The protein builder", "The ampholines wizard",
          "Complexation", "The sequence player", "Moments", "Detector tools",
          "The initial-distribution tool", "Accuracy and speed"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(heading))) << heading;
    // The message table explains the stop a user meets after an Init on a finer grid, and a
    // complexation value refused.
    for (const char* part : {kBadConductivityAt, kCalculationStopped, kComplexValue})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << part;

    // The complex constant is entered as pKx = -log10 K (K in 1/M): log K = 2 is typed as -2.
    QTextDocument complex;
    complex.setMarkdown(QString::fromStdString(ReadFile(docs / "complex-manual.md")));
    const QString c = complex.toPlainText();
    EXPECT_TRUE(c.contains(QString::fromUtf8("pKx = −log10 K")));
    EXPECT_TRUE(c.contains(QString::fromUtf8("pKx = −2")));
    EXPECT_FALSE(c.contains("as log K"));
}
