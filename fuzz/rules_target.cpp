// SPDX-License-Identifier: GPL-3.0-or-later
// The small rules that take what users type or files are called: the settings file, the
// Save As dialog's edits and checks, the command line's naming options, and the output
// folder names they all lead to. The first byte picks the settings file or the naming.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/settings.h"
#include "fuzz_support.h"
#include "naming/naming_arguments.h"
#include "naming/naming_rules.h"
#include "recovery/folder_names.h"

namespace mailmend::fuzz {
namespace {

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void checkSettings(std::string_view bytes)
{
    const app::Settings got = app::parseSettings(bytes);
    auto on = [&](std::size_t at) { return at < bytes.size() && bytes[at] == '1'; };
    check(got
              == app::Settings {on(app::kLogSwitchAt), on(app::kRecoverySwitchAt),
                                on(app::kCustomizeSwitchAt)},
          "settings: a switch read from the wrong byte");
    const std::string file = app::formatSettings(got);
    check(file.size() == app::kSettingsFileSize && app::parseSettings(file) == got,
          "settings: the file written does not read back");
}

// `out` is `line` with spaces put in, never inside a character, about one every `step`
// characters. Steps start at 2: with a step of 1 every position would want a space.
void checkBreakPoints(std::string_view line, std::size_t step)
{
    const std::string out = naming::withBreakPoints(line, step);
    std::size_t a = 0;
    std::size_t added = 0;
    for (std::size_t b = 0; b < out.size();) {
        if (out[b] == ' ') { // a run of spaces: the line's own and any put in
            const std::size_t outRun = out.find_first_not_of(' ', b);
            const std::size_t lineRun = line.find_first_not_of(' ', a);
            const std::size_t o = (outRun == std::string::npos ? out.size() : outRun) - b;
            const std::size_t l = (lineRun == std::string_view::npos ? line.size() : lineRun) - a;
            check(o >= l, "preview: spaces lost at a break point");
            added += o - l;
            b += o;
            a += l;
            continue;
        }
        check(a < line.size() && out[b] == line[a], "preview: a break point changes the text");
        check(!isContinuation(out[b]) || a == 0 || out[b - 1] == line[a - 1],
              "preview: a break point splits a character");
        ++a;
        ++b;
    }
    check(a == line.size(), "preview: text lost at a break point");
    check(added * (step - 1) <= naming::characterCount(line) + step,
          "preview: too many break points");
}

// atoi's reading, held at the ends of the 32-bit range.
std::int32_t atoiNumber(const std::string& text)
{
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<std::int32_t>(value > INT32_MAX       ? INT32_MAX
                                         : value < INT32_MIN ? INT32_MIN
                                                             : value);
}

std::string plainFileName(std::string name)
{
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    return name.empty() || name == "." || name == ".." ? name + "x" : name;
}

void checkNaming(InputFields& in)
{
    naming::SaveAsState state;
    state.m_strCounter = in.text(12);
    state.m_strTag = in.text(80);
    state.m_bCounter = in.flag();
    state.m_bTag = in.flag();
    state.m_bTypeTag = in.flag();
    const auto option = static_cast<recovery::SaveOption>(1 + in.below(7));
    const std::string destination = in.text(40);
    const std::string fileName = plainFileName(in.text(40));
    const std::size_t step = 2 + in.below(68);

    checkBreakPoints(state.m_strTag, step);
    check(!naming::previewText(naming::destinationPrefix(destination), state).empty(),
          "no preview");
    checkBreakPoints(destination, step);
    check(naming::leadingNumber(state.m_strCounter) == atoiNumber(state.m_strCounter),
          "the counter's number is not atoi's: ", state.m_strCounter);

    const auto counterEdit = naming::counterEdited("1", state.m_strCounter);
    check(counterEdit.messages.empty() == (counterEdit.text == state.m_strCounter)
              && (counterEdit.text == state.m_strCounter || counterEdit.text == "1"),
          "counter edit: kept text and messages disagree");
    const auto tagEdit = naming::tagEdited("Recovered", state.m_strTag);
    check(tagEdit.messages.empty() == (tagEdit.text == state.m_strTag)
              || (tagEdit.text == "Recovered" && state.m_strTag == "Recovered"),
          "tag edit: kept text and messages disagree");

    // The command line holds its options to the dialog's rules.
    const bool tagTaken = naming::tagArgumentError(state.m_strTag).empty();
    check(tagTaken == tagEdit.messages.empty(),
          "the command line and the dialog judge the tag differently");
    const naming::CounterArgument counter = naming::parseCounterArgument(state.m_strCounter);
    naming::SaveAsState withGoodTag = state;
    withGoodTag.m_strTag.clear();
    if (counter.error.empty())
        check(naming::nextRefusal(withGoodTag) == nullptr
                  && counter.value == naming::leadingNumber(state.m_strCounter),
              "the command line takes a counter the dialog refuses");

    recovery::RecoveryRequest request;
    request.m_nSaveOption = option;
    request.m_strDestination = destination;
    const bool accepted = naming::nextRefusal(state) == nullptr;
    if (accepted)
        naming::CommitNaming(state, request);
    naming::NamingArguments arguments;
    arguments.counter = state.m_strCounter;
    arguments.tag = state.m_strTag;
    recovery::RecoveryRequest fromCommandLine = request;
    const bool argumentsTaken = naming::applyNamingArguments(arguments, fromCommandLine).empty();
    if (argumentsTaken)
        check(fromCommandLine.m_strFolderTag == state.m_strTag, "the command line lost the tag");

    // Whatever was accepted, the folder made from it lies inside the destination.
    std::int64_t next = request.m_nFileCounter;
    const std::string base = recovery::baseNameOf(fileName);
    const std::string folder = recovery::outputFolderName(request, next, base);
    if (accepted)
        check(folder.find('/') == std::string::npos, "an accepted name makes a path: ", folder);
    if (recovery::isUsableFolderName(folder) && !destination.empty()) {
        const std::filesystem::path joined = recovery::inFolder(destination, folder);
        check(joined.filename() == folder, "the folder's own name changed on joining: ", folder);
    }
    // The status line keeps 53 characters, counted where they start.
    const std::string line = destination + fileName;
    const std::string status = recovery::cutStatusText(line);
    const auto starts = static_cast<std::size_t>(
        std::count_if(status.begin(), status.end(), [](char c) { return !isContinuation(c); }));
    check(line.rfind(status, 0) == 0
              && (status == line ? starts <= recovery::kStatusTextLength
                                 : starts == recovery::kStatusTextLength
                          && !isContinuation(line[status.size()])),
          "the status text is not a cut at a character");
}

} // namespace
} // namespace mailmend::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace mailmend::fuzz;
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0) {
        checkSettings(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    } else {
        InputFields in(data + 1, size - 1);
        checkNaming(in);
    }
    return 0;
}
