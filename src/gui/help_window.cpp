// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/help_window.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "gui/look.h"
#include "gui/main_window.h"

namespace mailmend::gui {
namespace {

// How long the desktop may take to say which program opens a type.
constexpr int kQueryMilliseconds = 3000;

} // namespace

QString helpMarkdown()
{
    QFile source(QStringLiteral(":/help/help.md"));
    if (!source.open(QIODevice::ReadOnly))
        return QStringLiteral("# Mailmend Help\n\nThe help text is missing from this build.");
    QString text = QString::fromUtf8(source.readAll());
    // The licence line is for the repository, not for the reader.
    if (text.startsWith(QStringLiteral("<!--")))
        text = text.mid(text.indexOf(QStringLiteral("-->")) + 3);
    return text;
}

QWidget* makeHelpWindow(QWidget* parent)
{
    auto* window = new QDialog(parent);
    window->setWindowTitle(QStringLiteral("Mailmend Help"));
    window->setWindowIcon(programIcon());
    window->setModal(false);
    window->resize(720, 640);
    applyWindowLook(*window);

    auto* browser = new QTextBrowser(window);
    browser->setObjectName(QStringLiteral("helpText"));
    browser->setOpenExternalLinks(true);
    browser->document()->setDefaultStyleSheet(
        QStringLiteral("h1 { color: #1f3b63; } h2 { color: #1f3b63; }"));
    browser->setMarkdown(helpMarkdown());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);

    auto* layout = new QVBoxLayout(window);
    layout->addWidget(browser);
    layout->addWidget(buttons);
    return window;
}

bool hasDefaultApplication(const QString& path)
{
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForStarted(kQueryMilliseconds))
        return true;
    if (!query.waitForFinished(kQueryMilliseconds)) {
        query.kill();
        query.waitForFinished(kQueryMilliseconds);
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

} // namespace mailmend::gui
