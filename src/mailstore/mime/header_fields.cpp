// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/header_fields.h"

#include <gmime/gmime.h>

#include <string_view>

#include "mailstore/mime/gmime_session.h"
#include "mailstore/mime/text_to_utf8.h"

namespace mailmend::mailstore::mime {
namespace {

// Groups hold mailboxes; a group inside a group is not valid mail, but is followed this
// far all the same.
constexpr int kMaxGroupDepth = 8;

std::string text(const char* value)
{
    return value ? repairUtf8(value) : std::string();
}

void addMailboxes(InternetAddressList* list, std::vector<MailAddress>& out, int depth = 0)
{
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            out.push_back({text(internet_address_get_name(address)),
                           text(internet_address_mailbox_get_addr(
                               INTERNET_ADDRESS_MAILBOX(address)))});
        } else if (INTERNET_ADDRESS_IS_GROUP(address) && depth < kMaxGroupDepth) {
            addMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)),
                         out, depth + 1);
        }
    }
}

std::vector<MailAddress> mailboxes(GMimeMessage* message, GMimeAddressType type)
{
    std::vector<MailAddress> out;
    addMailboxes(g_mime_message_get_addresses(message, type), out);
    return out;
}

MailAddress firstMailbox(GMimeMessage* message, GMimeAddressType type)
{
    std::vector<MailAddress> all = mailboxes(message, type);
    return all.empty() ? MailAddress {} : std::move(all.front());
}

// A header's value as stored, its folding undone and its ends trimmed; empty when absent.
std::string rawValue(GMimeMessage* message, const char* name)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    std::string value;
    for (const char* p = raw; p && *p; ++p) {
        if (*p != '\r' && *p != '\n')
            value += *p;
    }
    const std::size_t first = value.find_first_not_of(" \t");
    const std::size_t last = value.find_last_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return repairUtf8(value.substr(first, last - first + 1));
}

std::optional<std::int64_t> decodeDate(const char* value)
{
    GDateTime* date = value ? g_mime_utils_header_decode_date(value) : nullptr;
    if (!date)
        return std::nullopt;
    const std::int64_t seconds = g_date_time_to_unix(date);
    g_date_time_unref(date);
    return seconds;
}

// The date a Received header ends with, after its last ';'.
std::optional<std::int64_t> firstReceivedDate(GMimeMessage* message)
{
    const std::string received = rawValue(message, "Received");
    const std::size_t semicolon = received.rfind(';');
    if (semicolon == std::string::npos)
        return std::nullopt;
    return decodeDate(received.c_str() + semicolon + 1);
}

} // namespace

void readHeaderFields(GMimeMessage* message, MailMessage& out)
{
    out.subject = text(g_mime_message_get_subject(message));
    out.from = firstMailbox(message, GMIME_ADDRESS_TYPE_FROM);
    out.sender = firstMailbox(message, GMIME_ADDRESS_TYPE_SENDER);
    out.replyTo = firstMailbox(message, GMIME_ADDRESS_TYPE_REPLY_TO);
    out.to = mailboxes(message, GMIME_ADDRESS_TYPE_TO);
    out.cc = mailboxes(message, GMIME_ADDRESS_TYPE_CC);
    out.bcc = mailboxes(message, GMIME_ADDRESS_TYPE_BCC);
    GDateTime* date = g_mime_message_get_date(message); // owned by the message
    out.date = date ? std::optional<std::int64_t>(g_date_time_to_unix(date)) : std::nullopt;
    out.receivedDate = firstReceivedDate(message);
    out.messageId = rawValue(message, "Message-ID");
    out.inReplyTo = rawValue(message, "In-Reply-To");
    out.references = rawValue(message, "References");
}

} // namespace mailmend::mailstore::mime
