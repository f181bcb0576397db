// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/cancellation.h"

// What the command line asks of the terminal it runs in.
namespace mailmend::platform {

// True when `stream` is a terminal (and not a pipe or a file).
bool isTerminal(std::FILE* stream);

// Columns of the terminal behind `stream`; 80 when it cannot be told.
std::size_t terminalWidth(std::FILE* stream);

// From now on Ctrl-C (SIGINT) and a termination request (SIGTERM) cancel `token`, which
// must outlive the process's use of it; the handler does nothing else. A second such
// signal ends the process at once, by that signal (the shell reports 130 for Ctrl-C),
// after a line break on the error stream when that is a terminal.
void installStopSignals(CancellationToken& token);

} // namespace mailmend::platform
