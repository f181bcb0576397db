// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/desktop_start.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <cstdio>

#include "app/desktop_arguments.h"
#include "gui/main_window.h"

namespace mailmend::gui {

std::optional<std::vector<std::string>> startupPaths(const QStringList& arguments)
{
    std::vector<std::string> args;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        args.push_back(arguments[i].toStdString());
    const app::DesktopArguments parsed = app::parseDesktopArguments(args);
    const std::string program = arguments.isEmpty()
        ? std::string("mailmend")
        : QFileInfo(arguments.front()).fileName().toStdString();
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                     parsed.error.c_str(), program.c_str());
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const std::string& path : parsed.paths)
        paths.push_back(QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString());
    return paths;
}

void openAtStart(MainWindow& window, std::vector<std::string> paths)
{
    if (paths.empty())
        return;
    QPointer<MainWindow> alive(&window);
    QTimer::singleShot(0, &window, [alive, paths = std::move(paths)] {
        if (alive)
            alive->logic().OnDropFiles(paths);
    });
}

} // namespace mailmend::gui
