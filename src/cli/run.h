// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "cli/arguments.h"
#include "platform/cancellation.h"
#include "platform/clock.h"

namespace mailmend::cli {

// Exit statuses of the program.
enum ExitStatus : int {
    kExitDone = 0,     // the run went through and every file could be read
    kExitFailed = 1,   // a file could not be read, or the run was stopped or failed
    kExitUsage = 2,    // a wrong command line
};

// Standard output carries the results (a line per file, the totals, the end of the run);
// standard error the progress and the messages.
struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool terminal = false; // `err` is a terminal
    std::size_t width = 80;
};

// One whole run of the command line: the file list (with the search), the output root,
// the recovery job on a worker thread with the console following it, and the summary.
// `token` is the run's stop; whoever sets it (Ctrl-C) stops the run.
int runRecovery(const Arguments& arguments, const std::string& program, const Console& console,
                const platform::Clock& clock, platform::CancellationToken& token);

} // namespace mailmend::cli
