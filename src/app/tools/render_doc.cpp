// Renders a Markdown document of docs/ to the file the Help menu opens:
//   kelvo_render_doc <in.md> <out.pdf|out.html>
// A ".pdf" output is an A4 PDF; a ".html" output is a stand-alone page.
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kelvo_render_doc <in.md> <out.pdf|out.html>\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kelvo_render_doc: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    const QString out = QString::fromLocal8Bit(argv[2]);
    if (out.endsWith(".html", Qt::CaseInsensitive)) {
        QFile file(out);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(doc.toHtml().toUtf8()) < 0) {
            std::fprintf(stderr, "kelvo_render_doc: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    QPdfWriter pdf(out);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    pdf.setTitle(doc.metaInformation(QTextDocument::DocumentTitle));
    pdf.setCreator("Kelvo");
    doc.print(&pdf);
    if (!QFile::exists(out)) {
        std::fprintf(stderr, "kelvo_render_doc: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
