// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "recovery/recovery_job.h"

namespace mailmend::cli {
namespace {

using recovery::SaveOption;

struct FormatEntry {
    const char* name;
    SaveOption option;
};

// Every output form the program knows by name. Only those this build can write are
// accepted; naming another one is an error, never a run that quietly writes nothing.
constexpr std::array<FormatEntry, 7> kFormats {{
    {"eml", SaveOption::SAVEASEML},
    {"advanced", SaveOption::ADVANCEDSCAN},
    {"dbx", SaveOption::SAVEASDBX},
    {"pst", SaveOption::SAVEASPST},
    {"msg", SaveOption::SAVEASMSG},
    {"rtf", SaveOption::SAVEASRTF},
    {"mbox", SaveOption::SAVEASMBOX},
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

// An option that takes a value: "-o DIR", "-oDIR", "-qo DIR", "--output DIR" or
// "--output=DIR".
enum class ValueKind { Output, Format, Search, Counter, Tag };

struct ValueOption {
    char shortName; // 0 when there is none
    const char* longName;
    const char* what; // for "option -o needs a folder"
    bool mayBeEmpty;  // an empty tag is a tag; an empty folder is no folder
    ValueKind kind;
};

constexpr std::array<ValueOption, 5> kValueOptions {{
    {'o', "--output", "a folder", false, ValueKind::Output},
    {'f', "--format", "a format", false, ValueKind::Format},
    {'s', "--search", "a folder", false, ValueKind::Search},
    {0, "--counter", "a number", true, ValueKind::Counter},
    {0, "--tag", "a text", true, ValueKind::Tag},
}};

// The options without a value, by their long names; a short name where they have one.
struct FlagOption {
    char shortName;
    const char* longName;
    bool& (*flag)(Arguments&);
};

constexpr std::array<FlagOption, 8> kFlagOptions {{
    {'h', "--help", [](Arguments& a) -> bool& { return a.help; }},
    {0, "--version", [](Arguments& a) -> bool& { return a.version; }},
    {'r', "--recovery-mode", [](Arguments& a) -> bool& { return a.recoveryMode; }},
    {0, "--log", [](Arguments& a) -> bool& { return a.log; }},
    {'q', "--quiet", [](Arguments& a) -> bool& { return a.quiet; }},
    {0, "--no-counter", [](Arguments& a) -> bool& { return a.naming.noCounter; }},
    {0, "--no-tag", [](Arguments& a) -> bool& { return a.naming.noTag; }},
    {0, "--no-type-tag", [](Arguments& a) -> bool& { return a.naming.noTypeTag; }},
}};

std::string needsValue(const ValueOption& option, const std::string& shown)
{
    if (option.kind == ValueKind::Format)
        return formatError(shown, "");
    return "option " + shown + " needs " + option.what;
}

// Stores the value of an option as it was `shown` on the command line.
void setValue(Arguments& a, const ValueOption& option, const std::string& shown,
              const std::string& value, std::string& error)
{
    if (value.empty() && !option.mayBeEmpty) {
        error = needsValue(option, shown);
        return;
    }
    switch (option.kind) {
    case ValueKind::Output:
        a.outputDirectory = value;
        break;
    case ValueKind::Search:
        a.searchFolders.push_back(value);
        break;
    case ValueKind::Format:
        if (const FormatEntry* entry = findFormat(value);
            entry && recovery::isSaveOptionAvailable(entry->option))
            a.format = entry->option;
        else
            error = formatError(shown, value);
        break;
    case ValueKind::Counter:
        a.naming.counter = value;
        break;
    case ValueKind::Tag:
        a.naming.tag = value;
        break;
    }
}

// Reads args[i], a long option, and its value (which may be the next argument).
void readLongOption(const std::vector<std::string>& args, std::size_t& i, Arguments& a,
                    std::string& error)
{
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    for (const FlagOption& option : kFlagOptions) {
        if (name != option.longName)
            continue;
        if (equals != std::string::npos)
            error = "option " + name + " takes no value";
        else
            option.flag(a) = true;
        return;
    }
    for (const ValueOption& option : kValueOptions) {
        if (name != option.longName)
            continue;
        if (equals != std::string::npos)
            setValue(a, option, name, arg.substr(equals + 1), error);
        else if (i + 1 < args.size())
            setValue(a, option, name, args[++i], error);
        else
            error = needsValue(option, name);
        return;
    }
    error = "unknown option " + name;
}

// Reads args[i], one or more short options bundled ("-qr", "-qo DIR", "-oDIR"): an
// option that takes a value takes the rest of the word, or else the next argument.
void readShortOptions(const std::vector<std::string>& args, std::size_t& i, Arguments& a,
                      std::string& error)
{
    const std::string& arg = args[i];
    for (std::size_t k = 1; k < arg.size() && error.empty(); ++k) {
        const std::string shown = std::string("-") + arg[k];
        const auto flag = std::find_if(kFlagOptions.begin(), kFlagOptions.end(),
                                       [&](const FlagOption& o) { return o.shortName == arg[k]; });
        if (flag != kFlagOptions.end()) {
            flag->flag(a) = true;
            continue;
        }
        const auto value = std::find_if(kValueOptions.begin(), kValueOptions.end(),
                                        [&](const ValueOption& o) { return o.shortName == arg[k]; });
        if (value == kValueOptions.end()) {
            error = "unknown option " + shown;
        } else if (k + 1 < arg.size()) {
            setValue(a, *value, shown, arg.substr(k + 1), error);
        } else if (i + 1 < args.size()) {
            setValue(a, *value, shown, args[++i], error);
        } else {
            error = needsValue(*value, shown);
        }
        return;
    }
}

} // namespace

ParseResult parseArguments(const std::vector<std::string>& args)
{
    ParseResult result;
    Arguments& a = result.arguments;
    std::string& error = result.error;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != '-')
            a.files.push_back(arg);
        else if (arg == "--")
            onlyFiles = true;
        else if (arg[1] == '-')
            readLongOption(args, i, a, error);
        else
            readShortOptions(args, i, a, error);
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
    // One screen: the manual page tells the rest.
    return "Usage: " + program + " [options] FILE.dbx... -o DIR\n"
           "       " + program + " [options] -s FOLDER [FILE.dbx...] -o DIR\n"
           "Recovers the mails of Outlook Express .dbx mail folders, also damaged ones,\n"
           "into a new dated folder inside DIR, one folder per file. Sources are only read.\n"
           "\n"
           "  -o, --output DIR      where the run's folder is made (created when missing)\n"
           "  -f, --format FORMAT   " + availableFormats() + " (default eml;\n"
           "                        advanced: the Advanced Scan for badly damaged files)\n"
           "  -s, --search FOLDER   also every .dbx mail folder below FOLDER (repeatable)\n"
           "  -r, --recovery-mode   write only mails whose first blocks hold mail headers\n"
           "      --log             keep the execution and error logs\n"
           "  -q, --quiet           no progress line\n"
           "      --counter N       number the folders from N (default 1)\n"
           "      --tag TEXT        the tag in the folder names (default Recovered)\n"
           "      --no-counter, --no-tag, --no-type-tag   leave that part of the names out\n"
           "  -h, --help            show this help and exit\n"
           "      --version         show the version and exit\n"
           "Short options bundle (-qr); -- ends the options.\n"
           "\n"
           "Standard output carries the results: a line per file, then the totals.\n"
           "Standard error carries the progress line and the messages. Ctrl-C stops after\n"
           "the mail being written; a second Ctrl-C quits at once (exit status 130).\n"
           "Exit status: 0 all went through; 1 something could not be read or written,\n"
           "or the run was stopped; 2 a wrong command line. See man " + program + ".\n";
}

} // namespace mailmend::cli
