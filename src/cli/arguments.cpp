// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include <array>
#include <string_view>

#include "recovery/recovery_job.h"

namespace mailmend::cli {
namespace {

using recovery::SaveOption;

struct FormatEntry {
    const char* name;
    SaveOption option;
    const char* help; // lines of the help text after the name column, 44 characters at most
};

// Every output form the program knows by name. Only those this build can write are
// accepted and shown in the help; naming another one is an error, never a run that
// quietly writes nothing.
constexpr std::array<FormatEntry, 7> kFormats {{
    {"eml", SaveOption::SAVEASEML,
     "(the default) link each file's blocks into\n"
     "mails, written as Inbox_000001.eml, ...\n"},
    {"advanced", SaveOption::ADVANCEDSCAN,
     "Advanced Scan: carve the mails out of the\n"
     "file's text: Inbox_1.eml, Inbox_2.eml, ...\n"},
    {"dbx", SaveOption::SAVEASDBX,
     "a new folder in Mailmend's Outlook Express\n"
     "store (~/.local/share/mailmend/store) and a\n"
     "copy of its .dbx file\n"},
    {"pst", SaveOption::SAVEASPST, "a new .pst store, Recovered_Inbox.pst\n"},
    {"msg", SaveOption::SAVEASMSG, "one Outlook .msg file per mail\n"},
    {"rtf", SaveOption::SAVEASRTF, "one .rtf file per mail, its attachments\nbeside it\n"},
    {"mbox", SaveOption::SAVEASMBOX,
     "one mbox file per folder file (Inbox.mbox),\nfor Thunderbird, Evolution, KMail, mutt\n"},
}};

const FormatEntry* findFormat(std::string_view name)
{
    for (const FormatEntry& entry : kFormats)
        if (name == entry.name)
            return &entry;
    return nullptr;
}

// "eml or advanced", "eml, advanced or dbx", ...
std::string availableFormats()
{
    std::vector<std::string> names;
    for (const FormatEntry& entry : kFormats)
        if (recovery::isSaveOptionAvailable(entry.option))
            names.emplace_back(entry.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += i + 1 == names.size() ? " or " : ", ";
        text += names[i];
    }
    return text;
}

std::string formatError(const std::string& option, const std::string& name)
{
    if (name.empty())
        return "option " + option + " needs a format (" + availableFormats() + ")";
    const FormatEntry* entry = findFormat(name);
    if (!entry)
        return "unknown output format '" + name + "' (use " + availableFormats() + ")";
    return "output format '" + name + "' is not available yet (use " + availableFormats() + ")";
}

// An option that takes a value: "-o DIR", "--output DIR" or "--output=DIR".
struct ValueOption {
    const char* shortName; // null when there is none
    const char* longName;
    const char* what;      // for "option -o needs a folder"
    bool mayBeEmpty;       // an empty tag is a tag; an empty folder is no folder
};

constexpr ValueOption kOutput {"-o", "--output", "a folder", false};
constexpr ValueOption kFormat {"-f", "--format", "a format", false};
constexpr ValueOption kSearch {"-s", "--search", "a folder", false};
constexpr ValueOption kCounter {nullptr, "--counter", "a number", true};
constexpr ValueOption kTag {nullptr, "--tag", "a text", true};

class Reader {
public:
    explicit Reader(const std::vector<std::string>& args) : m_args(args) {}

    // True when args[i] is `option`; then `value` holds its value or `error` says what is
    // missing.
    bool take(const ValueOption& option, std::size_t& i, std::string& value, std::string& error) const
    {
        const std::string& arg = m_args[i];
        const std::string prefix = std::string(option.longName) + "=";
        if (arg.rfind(prefix, 0) == 0) {
            value = arg.substr(prefix.size());
        } else if (arg == option.longName || (option.shortName && arg == option.shortName)) {
            if (i + 1 >= m_args.size()) {
                error = "option " + arg + " needs " + option.what;
                return true;
            }
            value = m_args[++i];
        } else {
            return false;
        }
        if (value.empty() && !option.mayBeEmpty) {
            const std::string shown = arg.rfind(prefix, 0) == 0 ? option.longName : arg;
            error = "option " + shown + " needs " + option.what;
        }
        return true;
    }

private:
    const std::vector<std::string>& m_args;
};

} // namespace

ParseResult parseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    Arguments& a = result.arguments;
    std::string& error = result.error;
    const Reader reader(args);
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& arg = args[i];
        std::string value;
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
        } else if (arg == "-q" || arg == "--quiet") {
            a.quiet = true;
        } else if (arg == "--no-counter") {
            a.naming.noCounter = true;
        } else if (arg == "--no-tag") {
            a.naming.noTag = true;
        } else if (arg == "--no-type-tag") {
            a.naming.noTypeTag = true;
        } else if (reader.take(kOutput, i, value, error)) {
            a.outputDirectory = value;
        } else if (reader.take(kSearch, i, value, error)) {
            a.searchFolders.push_back(value);
        } else if (reader.take(kFormat, i, value, error)) {
            if (!error.empty())
                value.clear();
            const FormatEntry* entry = findFormat(value);
            if (entry && recovery::isSaveOptionAvailable(entry->option))
                a.format = entry->option;
            else
                error = formatError(arg.rfind("--format=", 0) == 0 ? "--format" : arg, value);
        } else if (reader.take(kCounter, i, value, error)) {
            a.naming.counter = value;
        } else if (reader.take(kTag, i, value, error)) {
            a.naming.tag = value;
        } else {
            error = "unknown option " + arg;
        }
    }
    if (!error.empty() || a.help || a.version)
        return result;

    if (a.files.empty() && a.searchFolders.empty()) {
        error = "no .dbx file given";
    } else if (a.outputDirectory.empty()) {
        error = "no output folder given (use -o DIR)";
    } else if (a.naming.counter) {
        if (const auto counter = naming::parseCounterArgument(*a.naming.counter);
            !counter.error.empty())
            error = "option --counter: " + counter.error;
    }
    if (error.empty() && a.naming.tag) {
        if (const std::string tag = naming::tagArgumentError(*a.naming.tag); !tag.empty())
            error = "option --tag: " + tag;
    }
    return result;
}

std::string usageText(const std::string& program)
{
    std::string formats;
    for (const FormatEntry& entry : kFormats) {
        if (!recovery::isSaveOptionAvailable(entry.option))
            continue;
        std::string name = entry.name;
        name.resize(10, ' ');
        std::string_view help = entry.help;
        bool first = true;
        while (!help.empty()) {
            const std::size_t end = help.find('\n');
            formats += std::string(first ? "                          " + name
                                         : std::string(36, ' '))
                + std::string(help.substr(0, end)) + "\n";
            help.remove_prefix(end == std::string_view::npos ? help.size() : end + 1);
            first = false;
        }
    }
    return "Usage: " + program + " [options] FILE.dbx... -o DIR\n"
           "       " + program + " [options] -s FOLDER [FILE.dbx...] -o DIR\n"
           "Recovers the mails of Outlook Express .dbx mail folders, also damaged ones.\n"
        "\n"
        "Each run makes a new folder inside DIR, named after the moment it starts:\n"
        "Norvale_Recover_DBX_(DATE=month-day-year)_(TIME=Hhr.Mm.Ss). In it every FILE\n"
        "gets a folder of its own, 1_Recovered_Inbox_As_EML for Inbox.dbx, the first.\n"
        "The source files are only ever read.\n"
        "\n"
        "Options:\n"
        "  -o, --output DIR      where the run's folder is made (created when missing)\n"
        "  -f, --format FORMAT   the output form:\n"
        + formats +
        "  -s, --search FOLDER   also recover every .dbx mail folder found below FOLDER,\n"
        "                        after the files given (Folders.dbx and the other\n"
        "                        bookkeeping files are left out); may be repeated\n"
        "  -r, --recovery-mode   write only mails whose first blocks hold mail headers\n"
        "      --log             keep the execution and error logs (\"Log Files\" folder)\n"
        "  -q, --quiet           no progress display; errors and the summary still show\n"
        "  -h, --help            show this help and exit\n"
        "      --version         show the version and exit\n"
        "\n"
        "Folder names:\n"
        "      --counter N       number the folders from N (default 1; at most 5 digits)\n"
        "      --no-counter      leave the number out\n"
        "      --tag TEXT        the tag after the number (default Recovered; at most 50\n"
        "                        characters, none of \\ / : * ? \" < > |)\n"
        "      --no-tag          leave the tag out\n"
        "      --no-type-tag     leave the output form's tag (_As_EML, ...) out\n"
        "\n"
        "Ctrl-C stops the run after the mail being written (what was written stays);\n"
        "a second Ctrl-C quits at once.\n"
        "\n"
        "Exit status: 0 when the run went through, every file could be read and every\n"
        "mail was written; 1 when something could not be read or written, or the run\n"
        "was stopped or failed; 2 for a wrong command line.\n";
}

} // namespace mailmend::cli
