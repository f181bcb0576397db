// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace mailmend::gui {

class MainWindow;

// The files and folders on the desktop program's command line (QApplication's arguments,
// Qt's own options taken out), as absolute paths; nothing after a wrong command line,
// which is then explained on standard error.
std::optional<std::vector<std::string>> startupPaths(const QStringList& arguments);

// Hands `paths` to the window's list once its event loop runs, as a drop would.
void openAtStart(MainWindow& window, std::vector<std::string> paths);

} // namespace mailmend::gui
