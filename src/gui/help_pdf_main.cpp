// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-help-pdf: renders the help document from its Markdown source into Help.pdf
// at build time, so the repository holds the text and never a binary.
//
// Usage: mailmend-help-pdf SOURCE.md OUTPUT.pdf

#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: mailmend-help-pdf SOURCE.md OUTPUT.pdf\n");
        return 2;
    }
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "mailmend-help-pdf: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    QString text = QString::fromUtf8(source.readAll());
    // The licence line is for the repository, not for the reader.
    if (text.startsWith(QStringLiteral("<!--")))
        text = text.mid(text.indexOf(QStringLiteral("-->")) + 3);

    QPdfWriter pdf(args[2]);
    pdf.setTitle(QStringLiteral("Mailmend Help"));
    pdf.setCreator(QStringLiteral("Mailmend"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter);
    pdf.setResolution(300);

    QTextDocument document;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QStringLiteral("h1 { color: #1f3b63; } h2 { color: #1f3b63; }"));
    document.setMarkdown(text);
    document.print(&pdf);

    if (QFile(args[2]).size() == 0) {
        std::fprintf(stderr, "mailmend-help-pdf: %s came out empty\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
