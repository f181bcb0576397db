// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace mailmend::cli {

// The output forms the command line can write.
enum class OutputFormat { Eml, Advanced };

struct Arguments {
    std::vector<std::string> files;
    std::string outputDirectory;
    OutputFormat format = OutputFormat::Eml;
    bool recoveryMode = false;
    bool log = false;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    Arguments arguments;
    std::string error; // empty when the command line is usable
};

ParseResult parseArguments(const std::vector<std::string>& args);

std::string usageText(const std::string& program);

} // namespace mailmend::cli
