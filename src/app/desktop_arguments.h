// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace mailmend::app {

// The desktop program's command line: `mailmend [FILE.dbx | FOLDER]...`.
struct DesktopArguments {
    std::vector<std::string> paths; // files and folders for the list, in order
    bool help = false;
    bool version = false;
    std::string error; // the first thing wrong; empty when the command line is usable
};

// Reads the arguments (without the program name). "--" ends the options; an unknown
// option is an error, but the reading goes on, so that --help and --version are seen
// wherever they stand.
DesktopArguments parseDesktopArguments(const std::vector<std::string>& args);

std::string desktopUsageText(const std::string& program);

} // namespace mailmend::app
