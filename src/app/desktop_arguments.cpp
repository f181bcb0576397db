// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_arguments.h"

namespace mailmend::app {

DesktopArguments parseDesktopArguments(const std::vector<std::string>& args)
{
    DesktopArguments result;
    bool onlyPaths = false;
    for (const std::string& arg : args) {
        if (onlyPaths || arg.size() < 2 || arg[0] != '-')
            result.paths.push_back(arg);
        else if (arg == "--")
            onlyPaths = true;
        else if (arg == "-h" || arg == "--help")
            result.help = true;
        else if (arg == "--version")
            result.version = true;
        else if (result.error.empty())
            result.error = "unknown option " + arg;
    }
    return result;
}

std::string desktopUsageText(const std::string& program)
{
    return "Usage: " + program + " [FILE.dbx | FOLDER]...\n"
           "Recovers the mails of Outlook Express .dbx mail folders, also damaged ones.\n"
           "\n"
           "The files named go into the window's list as Add puts them there; each folder\n"
           "is searched for .dbx mail folders as Search does.\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "  --             the arguments after it are files, also those starting with -\n"
           "\n"
           "mailmend-cli does the same recoveries without a window. See man " + program + ".\n";
}

} // namespace mailmend::app
