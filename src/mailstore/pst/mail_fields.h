// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mailstore/mail_message.h"
#include "mailstore/pst/le_bytes.h"

namespace mailmend::mailstore::pst {

// A subject as the store keeps it: the whole subject, and its reply or forward marker
// ("Re: ", "AW: ") apart from the rest.
struct SubjectParts {
    std::string subject;
    std::string prefix;
    std::string normalized;
};
SubjectParts splitSubject(std::string_view subject);

// The name to show for an address: its name, else the address itself.
std::string displayName(const MailAddress& address);
// The names of a recipient list joined by "; ", as the To and Cc lines show them.
std::string displayList(const std::vector<MailAddress>& addresses);

// Seconds since 1970 as the store's times: 100-ns steps since 1601, held to the range
// those can represent.
std::uint64_t fileTimeFromUnix(std::int64_t seconds);

// An attachment's name parts: the extension with its dot (".png"), and an 8.3 form.
std::string fileExtension(std::string_view name);
std::string shortFileName(std::string_view name);

// The ids Outlook builds for an address it knows only by its mail address.
Bytes oneOffEntryId(std::string_view name, std::string_view address);
Bytes addressSearchKey(std::string_view address);

} // namespace mailmend::mailstore::pst
