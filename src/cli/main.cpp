// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-cli: the command-line twin of the desktop program.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/console_view.h"
#include "cli/run.h"
#include "platform/cancellation.h"
#include "platform/terminal.h"
#include "platform/clock.h"
#include "version.h"

int main(int argc, char** argv)
{
    using namespace mailmend;
    const std::string program
        = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "mailmend-cli";
    const auto parsed = cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                     cli::forTerminal(parsed.error).c_str(), program.c_str());
        return cli::kExitUsage;
    }
    if (parsed.arguments.help) {
        std::fputs(cli::usageText(program).c_str(), stdout);
        return cli::kExitDone;
    }
    if (parsed.arguments.version) {
        std::printf("%s %s\n", program.c_str(), MAILMEND_VERSION);
        return cli::kExitDone;
    }

    static platform::CancellationToken stop; // lives as long as the signal handler may use it
    platform::installStopSignals(stop);
    cli::Console console;
    // The progress line goes to the error stream: standard output is for the results.
    console.terminal = platform::isTerminal(stderr);
    if (console.terminal)
        console.width = platform::terminalWidth(stderr);
    return cli::runRecovery(parsed.arguments, program, console, platform::systemClock(), stop);
}
