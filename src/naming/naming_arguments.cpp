// SPDX-License-Identifier: GPL-3.0-or-later
#include "naming/naming_arguments.h"

#include "naming/naming_rules.h"

namespace mailmend::naming {

CounterArgument parseCounterArgument(const std::string& text)
{
    CounterArgument result;
    if (characterCount(text) > kCounterMaxLength) {
        result.error = text::CounterTooLong;
        return result;
    }
    SaveAsState state;
    state.m_strCounter = text;
    if (const char* refusal = nextRefusal(state)) {
        result.error = refusal;
        return result;
    }
    if (text.find_first_not_of("0123456789") != std::string::npos) {
        result.error = text::InvalidCounter;
        return result;
    }
    result.value = leadingNumber(text);
    return result;
}

std::string tagArgumentError(const std::string& text)
{
    const EditOutcome outcome = tagEdited(std::string(), text);
    return outcome.messages.empty() ? std::string() : std::string(outcome.messages.front());
}

std::string applyNamingArguments(const NamingArguments& arguments, recovery::RecoveryRequest& request)
{
    std::int32_t counter = request.m_nFileCounter;
    if (arguments.counter) {
        const CounterArgument parsed = parseCounterArgument(*arguments.counter);
        if (!parsed.error.empty())
            return parsed.error;
        counter = parsed.value;
    }
    if (arguments.tag) {
        if (std::string error = tagArgumentError(*arguments.tag); !error.empty())
            return error;
        request.m_strFolderTag = *arguments.tag;
    }
    request.m_nFileCounter = counter;
    if (arguments.noCounter)
        request.m_bCounterOn = false;
    if (arguments.noTag)
        request.m_bFolderTagOn = false;
    if (arguments.noTypeTag)
        request.m_bTypeTagOn = false;
    return {};
}

} // namespace mailmend::naming
