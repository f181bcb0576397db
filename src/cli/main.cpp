// SPDX-License-Identifier: GPL-3.0-or-later
// mailmend-cli: the command-line twin of the desktop program.

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/advanced_export.h"
#include "cli/arguments.h"
#include "cli/eml_export.h"
#include "dbx/mapped_mail_extractor.h"
#include "log/log.h"
#include "log/text.h"

namespace {

// One folder per source file, named after the file; a second source of the same name
// gets "name (2)" so that nothing is overwritten.
std::filesystem::path folderFor(const std::filesystem::path& root, const std::string& source,
                                std::set<std::string>& used)
{
    std::string stem = std::filesystem::path(source).filename().string();
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".dbx") == 0)
        stem.resize(stem.size() - 4);
    if (stem.empty())
        stem = "mails";
    std::string name = stem;
    for (int n = 2; !used.insert(name).second; ++n)
        name = stem + " (" + std::to_string(n) + ")";
    return root / name;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace mailmend;
    const std::string program = std::filesystem::path(argv[0]).filename().string();
    const auto parsed = cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.arguments.help) {
        std::fputs(cli::usageText(program).c_str(), stdout);
        return 0;
    }
    if (parsed.arguments.version) {
        std::printf("%s %s\n", program.c_str(), MAILMEND_VERSION);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                     parsed.error.c_str(), program.c_str());
        return 2;
    }
    const auto& args = parsed.arguments;
    if (args.log)
        InitLogs();

    std::set<std::string> used;
    bool allRead = true;
    dbx::mappedMailExtractor().setActive(true);
    for (const auto& source : args.files) {
        const auto folder = folderFor(args.outputDirectory, source, used);
        bool opened = false;
        if (args.format == cli::OutputFormat::Advanced) {
            const auto summary = cli::exportMailsAdvanced(source, folder);
            std::printf("%s\n", cli::describe(source, summary).c_str());
            if (!summary.opened && args.log)
                WriteLog(0, 0, strprintf("Advanced Scan of %s not done: %s", source.c_str(),
                                         summary.openError.c_str()), true);
            opened = summary.opened;
        } else {
            const auto summary = cli::exportMailsAsEml(source, folder, args.recoveryMode, args.log);
            std::printf("%s\n", cli::describe(source, summary).c_str());
            opened = summary.opened;
        }
        if (opened)
            std::printf("  -> %s\n", folder.c_str());
        allRead = allRead && opened;
    }
    std::fflush(stdout);
    return allRead ? 0 : 1;
}
