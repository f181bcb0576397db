// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend: the desktop program.

#include <QApplication>

#include <filesystem>

#include "app/startup.h"
#include "gui/look.h"
#include "gui/main_window.h"
#include "gui/message_box.h"
#include "platform/directories.h"

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
    QApplication app(argc, argv);
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
    if (!std::filesystem::exists(programFolder / "Help.pdf")
        && std::filesystem::exists(programFolder / MAILMEND_INSTALLED_HELP))
        services.helpDocument = programFolder / MAILMEND_INSTALLED_HELP;
    mailmend::gui::MainWindow window(std::move(services));
    mailmend::gui::WindowMessageSink sink(&window);
    mailmend::platform::setMessageSink(&sink);
    window.show();
    const int status = app.exec();
    mailmend::platform::setMessageSink(nullptr);
    return status;
}
