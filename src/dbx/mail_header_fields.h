// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mailmend::dbx {

// What a folder's message index holds about a mail, taken from the mail's own header
// block. Texts are UTF-8 where the header could be decoded (encoded words, UTF-8) and
// the header's raw bytes otherwise.
struct MailHeaderFields {
    std::string subject;
    std::string senderName;       // the From display name; empty when it has none
    std::string senderAddress;    // without the angle brackets
    std::string recipientName;    // of the first To (else Cc) mailbox
    std::string recipientAddress; // without the angle brackets
    std::string messageId;        // as written, angle brackets included
    std::string references;       // every id of References (else In-Reply-To): "<a><b>"
    std::optional<std::int64_t> date;         // Date, seconds since 1970 UTC
    std::optional<std::int64_t> receivedDate; // of the topmost Received header
    std::uint32_t priority = 3;   // 1 high, 3 normal, 5 low
    bool hasAttachments = false;  // the mail is multipart/mixed
};

// Reads the fields from the start of a mail; reading stops at the blank line that ends
// the header block, or at the end of `text`.
MailHeaderFields readMailHeaderFields(std::string_view text);

// The subject without its reply and forward prefixes ("Re: Fw: x" gives "x").
std::string normalizedSubject(std::string_view subject);

} // namespace mailmend::dbx
