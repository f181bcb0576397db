// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mailmend::mailstore {

// Bytes handed out a piece at a time, so that a large attachment is never held whole.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `count` bytes into `buffer`. Returns how many arrived: 0 at the end,
    // -1 on a read error.
    virtual std::ptrdiff_t read(char* buffer, std::size_t count) = 0;
};

// One mailbox of an address header. Both parts are UTF-8; either may be empty.
struct MailAddress {
    std::string name;
    std::string address;
};

// One attachment, or one inline part that is not the body (an image of the HTML body).
struct MailAttachment {
    std::string fileName;  // UTF-8, as the mail names it: not safe as a path
    std::string mimeType;  // lower case, "application/octet-stream" when unknown
    std::string contentId; // without the angle brackets; empty when none
    bool isInline = false; // Content-Disposition inline, or referred to by the HTML body
    bool isMessage = false; // an attached mail (message/rfc822): the stream gives its text
    // A new stream over the decoded content each time it is called; never null.
    std::function<std::unique_ptr<ByteSource>()> open;
};

// A mail as the store writers need it: decoded, UTF-8, with the header block kept whole.
struct MailMessage {
    std::string transportHeaders; // the header block exactly as stored, without the blank line
    std::string subject;
    MailAddress from;
    MailAddress sender;   // empty when the mail has no Sender header
    MailAddress replyTo;  // the first Reply-To mailbox
    std::vector<MailAddress> to;
    std::vector<MailAddress> cc;
    std::vector<MailAddress> bcc;
    std::optional<std::int64_t> date;         // Date header, seconds since 1970 UTC
    std::optional<std::int64_t> receivedDate; // date of the first Received header
    std::string messageId;  // with its angle brackets, as stored
    std::string inReplyTo;
    std::string references;
    std::string textBody; // the plain body, UTF-8 with its line ends as stored
    std::string htmlBody; // the HTML body, UTF-8
    std::vector<MailAttachment> attachments;

    // Keeps alive whatever the attachment streams read from (the parsed mail).
    std::shared_ptr<const void> backing;
};

} // namespace mailmend::mailstore
