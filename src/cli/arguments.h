// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "naming/naming_arguments.h"
#include "recovery/recovery_request.h"

namespace mailmend::cli {

struct Arguments {
    std::vector<std::string> files;         // as given, in order
    std::vector<std::string> searchFolders; // -s, in order
    std::string outputDirectory;            // the parent of the output root
    recovery::SaveOption format = recovery::SaveOption::SAVEASEML;
    bool recoveryMode = false;
    bool log = false;
    bool quiet = false;
    naming::NamingArguments naming;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Arguments arguments;
    std::string error; // empty when the command line is usable
};

// Reads the command line (without the program name). Everything that can be told from
// the command line alone is checked here: the options and their values, the output
// form (known and built), the naming options (as the Save As dialog checks them), and
// that there is something to read and somewhere to write.
ParseResult parseArguments(const std::vector<std::string>& args);

std::string usageText(const std::string& program);

} // namespace mailmend::cli
