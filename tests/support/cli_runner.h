// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

// Running the built mailmend-cli as a user would, from a shell.
namespace mailmend::testing {

// `path` in single quotes for the shell.
std::string quoted(const std::filesystem::path& path);

struct CliResult {
    int status = -1; // the exit status; -1 when the program did not exit by itself
    std::string out;
    std::string err;
};

// Runs the program with a shell command line's arguments, after `shellPrefix` (shell
// commands such as a ulimit). Its scratch folders go to dir/tmp, so that nothing is left
// behind; the data and config homes point into dir too.
CliResult runCli(const TempDir& dir, const std::string& arguments, const std::string& shellPrefix = "");

// The one output root a run made in `parent`; empty when there is none or more than one.
std::filesystem::path outputRoot(const std::filesystem::path& parent);

} // namespace mailmend::testing
