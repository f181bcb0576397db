// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace mailmend::gui {

// A window of the program's own that shows the help document (its Markdown source,
// built into the program), for when no PDF viewer can show Help.pdf.
QWidget* makeHelpWindow(QWidget* parent);

// The help document's Markdown as the program carries it, without its licence line.
QString helpMarkdown();

// True when the desktop names a program that opens files of the type of `path`; also
// when this cannot be asked, so that the desktop gets to try.
bool hasDefaultApplication(const QString& path);

} // namespace mailmend::gui
