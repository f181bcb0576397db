// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "recovery/recovery_request.h"

// The naming options of the command line (--counter N, --no-counter, --tag TEXT,
// --no-tag, --no-type-tag), held to the same rules as the Save As dialog and refused
// with its messages.
namespace mailmend::naming {

// A counter value as the counter edit would take it: at most 5 characters, a leading
// number that is not 0 unless the text is exactly "0", none of the forbidden
// characters, and digits only, as typing into the edit allows nothing else.
struct CounterArgument {
    std::int32_t value = 0;
    std::string error; // the dialog's message; empty when accepted
};
CounterArgument parseCounterArgument(const std::string& text);

// The dialog's message for a folder tag it would refuse; empty when accepted (an empty
// tag is accepted).
std::string tagArgumentError(const std::string& text);

struct NamingArguments {
    std::optional<std::string> counter; // --counter
    bool noCounter = false;             // --no-counter
    std::optional<std::string> tag;     // --tag
    bool noTag = false;                 // --no-tag
    bool noTypeTag = false;             // --no-type-tag
};

// Checks the counter, then the tag; on success writes them and the switches into the
// request's naming options and returns an empty text. On failure returns the first
// message and leaves the request as it was.
std::string applyNamingArguments(const NamingArguments& arguments, recovery::RecoveryRequest& request);

} // namespace mailmend::naming
