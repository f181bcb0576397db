// SPDX-License-Identifier: GPL-3.0-or-later
#include "naming/naming_rules.h"

#include <limits>

namespace mailmend::naming {

namespace {

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The text cut into its characters; a character starts at every byte that is not a
// UTF-8 continuation byte, and at the first byte in any case.
std::vector<std::string_view> characters(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (std::size_t at = 1; at <= text.size(); ++at) {
        if (at == text.size() || !isContinuationByte(text[at])) {
            out.push_back(text.substr(start, at - start));
            start = at;
        }
    }
    return out;
}

bool isAtoiBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

const char* previewTypeTag(recovery::SaveOption option)
{
    switch (option) {
    case recovery::SaveOption::SAVEASEML:
        return "As_EML";
    case recovery::SaveOption::SAVEASPST:
        return "As_PST";
    case recovery::SaveOption::SAVEASMSG:
        return "As_MSG";
    case recovery::SaveOption::SAVEASRTF:
        return "As_RTF";
    case recovery::SaveOption::SAVEASMBOX:
        return "As_MBOX";
    default:
        return text::TypeTagPlaceholder;
    }
}

SaveAsState openingState(recovery::SaveOption option)
{
    return SaveAsState {text::DefaultCounter, text::DefaultTag, text::FileNamePlaceholder,
                        previewTypeTag(option), true, true, true, true};
}

std::string destinationPrefix(const std::string& destination)
{
    if (!destination.empty() && destination.back() == kPathSeparator)
        return destination;
    return destination + kPathSeparator;
}

std::string withBreakPoints(std::string_view line, std::size_t step)
{
    std::vector<std::string_view> chars = characters(line);
    if (step > 0) {
        for (std::size_t at = 0; at < chars.size(); at += step) {
            if (chars[at] != " ")
                chars.insert(chars.begin() + static_cast<std::ptrdiff_t>(at), " ");
        }
    }
    std::string out;
    out.reserve(line.size() + chars.size() - characterCount(line));
    for (const auto c : chars)
        out += c;
    return out;
}

std::string previewNameLine(const SaveAsState& state)
{
    std::string line;
    if (state.m_bCounter)
        line += state.m_strCounter + "_";
    if (state.m_bTag)
        line += state.m_strTag + "_";
    if (state.m_bFileName)
        line += state.m_strFileName + "_";
    if (state.m_bTypeTag)
        line += state.m_strTypeTag;
    line += kPathSeparator;
    line += "...";
    return line;
}

std::string previewText(const std::string& destPrefix, const SaveAsState& state)
{
    return withBreakPoints(destPrefix + "\n", kFirstLineBreakStep)
        + withBreakPoints(previewNameLine(state), kSecondLineBreakStep);
}

std::size_t characterCount(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (at == 0 || !isContinuationByte(text[at]))
            ++count;
    }
    return count;
}

bool hasForbiddenCharacter(std::string_view text)
{
    return text.find_first_of(kForbiddenCharacters) != std::string_view::npos;
}

std::int32_t leadingNumber(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && isAtoiBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    constexpr std::int64_t limit = std::int64_t {std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value < limit)
            value = value * 10 + (text[at] - '0');
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

EditOutcome counterEdited(const std::string& previous, const std::string& current)
{
    if (characterCount(current) > kCounterMaxLength)
        return {previous, {text::CounterTooLong}};
    return {current, {}};
}

EditOutcome tagEdited(const std::string& previous, const std::string& current)
{
    EditOutcome outcome {current, {}};
    if (hasForbiddenCharacter(outcome.text)) {
        outcome.messages.push_back(text::TagForbidden);
        outcome.text = previous;
    }
    if (characterCount(outcome.text) > kTagMaxLength) {
        outcome.messages.push_back(text::TagTooLong);
        outcome.text = previous;
    }
    return outcome;
}

const char* nextRefusal(const SaveAsState& state)
{
    if (state.m_strCounter != "0" && leadingNumber(state.m_strCounter) == 0)
        return text::InvalidCounter;
    if (hasForbiddenCharacter(state.m_strCounter))
        return text::CounterForbidden;
    if (characterCount(state.m_strCounter) > kCounterMaxLength)
        return text::CounterTooLong;
    if (hasForbiddenCharacter(state.m_strTag))
        return text::TagForbidden;
    if (characterCount(state.m_strTag) > kTagMaxLength)
        return text::TagTooLong;
    return nullptr;
}

void CommitNaming(const SaveAsState& state, recovery::RecoveryRequest& mainDlg)
{
    mainDlg.m_strFolderTag = state.m_strTag;
    mainDlg.m_nFileCounter = leadingNumber(state.m_strCounter);
    mainDlg.m_bCounterOn = state.m_bCounter;
    mainDlg.m_bFolderTagOn = state.m_bTag;
    mainDlg.m_bFileNameOn = state.m_bFileName;
    mainDlg.m_bTypeTagOn = state.m_bTypeTag;
}

bool isEnabled(SaveAsControl control, const SaveAsState& state)
{
    switch (control) {
    case SaveAsControl::CounterLabel:
    case SaveAsControl::CounterEdit:
        return state.m_bCounter;
    case SaveAsControl::TagLabel:
    case SaveAsControl::TagEdit:
        return state.m_bTag;
    case SaveAsControl::FileNameCheck:
    case SaveAsControl::FileNameLabel:
    case SaveAsControl::FileNameEdit:
    case SaveAsControl::TypeTagLabel:
    case SaveAsControl::TypeTagEdit:
        return false;
    default:
        return true;
    }
}

} // namespace mailmend::naming
