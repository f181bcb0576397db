// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend: the desktop program.

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/desktop_arguments.h"
#include "app/startup.h"
#include "gui/desktop_start.h"
#include "gui/look.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "platform/directories.h"
#include "platform/file_system.h"
#include "version.h"

namespace {

// Message boxes before the window exists (a second copy of the program).
class PlainMessageSink final : public mailmend::platform::MessageSink {
public:
    mailmend::platform::MessageAnswer show(const std::string& text, const std::string& caption,
                                           mailmend::platform::MessageStyle style) override
    {
        return mailmend::gui::showMessageBox(nullptr, text, caption, style);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // --help and --version answer before Qt looks for a display.
    const std::string program
        = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "mailmend";
    const auto early = mailmend::app::parseDesktopArguments(
        std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (early.help) {
        std::fputs(mailmend::app::desktopUsageText(program).c_str(), stdout);
        return 0;
    }
    if (early.version) {
        std::printf("%s %s\n", program.c_str(), MAILMEND_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    // Qt has taken its own options (-platform, -style, ...): the rest must be ours.
    const auto paths = mailmend::gui::startupPaths(QApplication::arguments());
    if (!paths)
        return 2;
    QApplication::setApplicationName(QStringLiteral("Mailmend"));
    QApplication::setApplicationVersion(QStringLiteral(MAILMEND_VERSION));
    QApplication::setWindowIcon(mailmend::gui::programIcon());
    mailmend::gui::applyProgramLook(app);

    PlainMessageSink startupSink;
    const auto instance = mailmend::app::claimSingleInstance(startupSink);
    if (!instance)
        return mailmend::app::kAnotherInstanceExitCode;

    // Help.pdf lies beside the program in a build, under share/doc when installed.
    mailmend::app::MainServices services;
    const auto programFolder = mailmend::platform::executableDirectory();
    if (!mailmend::platform::pathEntryExists(programFolder / "Help.pdf")
        && mailmend::platform::pathEntryExists(programFolder / MAILMEND_INSTALLED_HELP))
        services.helpDocument = programFolder / MAILMEND_INSTALLED_HELP;
    mailmend::gui::MainWindow window(std::move(services));
    mailmend::gui::WindowMessageSink sink(&window);
    mailmend::platform::setMessageSink(&sink);
    window.show();
    mailmend::gui::openAtStart(window, *paths);
    const int status = app.exec();
    mailmend::platform::setMessageSink(nullptr);
    return status;
}
