// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

namespace mailmend::cli {
namespace {

bool parseFormat(const std::string& name, OutputFormat& format)
{
    if (name == "eml")
        format = OutputFormat::Eml;
    else if (name == "advanced")
        format = OutputFormat::Advanced;
    else
        return false;
    return true;
}

} // namespace

ParseResult parseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    Arguments& a = result.arguments;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.empty() || arg[0] != '-' || arg == "-") {
            a.files.push_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "-h" || arg == "--help") {
            a.help = true;
        } else if (arg == "--version") {
            a.version = true;
        } else if (arg == "-r" || arg == "--recovery-mode") {
            a.recoveryMode = true;
        } else if (arg == "--log") {
            a.log = true;
        } else if (arg == "-f" || arg == "--format" || arg.rfind("--format=", 0) == 0) {
            std::string name;
            if (arg.rfind("--format=", 0) == 0) {
                name = arg.substr(9);
            } else if (i + 1 < args.size()) {
                name = args[++i];
            }
            if (!parseFormat(name, a.format)) {
                result.error = name.empty() ? "option " + arg + " needs a format (eml or advanced)"
                                            : "unknown output format '" + name + "' (use eml or advanced)";
                return result;
            }
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                result.error = "option " + arg + " needs a folder";
                return result;
            }
            a.outputDirectory = args[++i];
        } else if (arg.rfind("--output=", 0) == 0) {
            a.outputDirectory = arg.substr(9);
            if (a.outputDirectory.empty()) {
                result.error = "option --output needs a folder";
                return result;
            }
        } else {
            result.error = "unknown option " + arg;
            return result;
        }
    }
    if (a.help || a.version)
        return result;
    if (a.files.empty())
        result.error = "no .dbx file given";
    else if (a.outputDirectory.empty())
        result.error = "no output folder given (use -o DIR)";
    return result;
}

std::string usageText(const std::string& program)
{
    return "Usage: " + program + " [options] FILE.dbx... -o DIR\n"
           "Recovers the mails of Outlook Express .dbx folders as .eml files.\n"
           "The mails of each FILE go to a folder of their own under DIR.\n"
           "\n"
           "Options:\n"
           "  -o, --output DIR     folder to write into (created when missing)\n"
           "  -f, --format FORMAT  eml (default): link each file's blocks into mails;\n"
           "                       advanced: carve the mails out of the file's text\n"
           "  -r, --recovery-mode  write only chains whose first blocks hold mail headers\n"
           "      --log            keep the execution and error logs (\"Log Files\" folder)\n"
           "  -h, --help           show this help\n"
           "      --version        show the version\n"
           "\n"
           "Exit status: 0 when every file was read, 1 when a file could not be read,\n"
           "2 for a wrong command line.\n";
}

} // namespace mailmend::cli
