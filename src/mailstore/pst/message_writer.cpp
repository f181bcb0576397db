// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/message_writer.h"

#include "mailstore/pst/mail_fields.h"
#include "mailstore/pst/property_context.h"
#include "mailstore/pst/property_tags.h"
#include "mailstore/pst/utf16.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint32_t kRead = 0x01;
constexpr std::uint32_t kUnsent = 0x08;
constexpr std::uint32_t kHasAttachments = 0x10;
constexpr std::uint32_t kNormalImportance = 1;
constexpr std::uint32_t kPlainBody = 1;
constexpr std::uint32_t kHtmlBody = 3;
constexpr std::uint32_t kUtf8 = 65001;

// The header block as the store keeps it: CRLF line ends and the blank line that ends
// a header.
std::string headerBlock(std::string_view headers)
{
    std::string block;
    block.reserve(headers.size() + 4);
    for (std::size_t i = 0; i < headers.size(); ++i) {
        if (headers[i] == '\n' && (i == 0 || headers[i - 1] != '\r'))
            block += '\r';
        block += headers[i];
    }
    while (!block.empty() && (block.back() == '\n' || block.back() == '\r'))
        block.pop_back();
    if (!block.empty())
        block += "\r\n\r\n";
    return block;
}

std::string tableText(std::string_view text)
{
    return std::string(leadingCharacters(text, kTableTextLength));
}

struct Addresses {
    MailAddress representing; // whom the mail is from
    MailAddress sender;       // who sent it on their behalf, else the same
};

bool setAddress(PropertyContextBuilder& object, const MailAddress& address,
                std::uint32_t nameTag, std::uint32_t typeTag, std::uint32_t addressTag,
                std::uint32_t smtpTag)
{
    if (address.name.empty() && address.address.empty())
        return true;
    if (!object.setString(nameTag, displayName(address)))
        return false;
    if (address.address.empty())
        return true;
    return object.setString(typeTag, "SMTP") && object.setString(addressTag, address.address)
        && object.setString(smtpTag, address.address);
}

} // namespace

std::optional<WrittenMessage> writeMessage(BlockStore& store, const MailMessage& mail,
                                           const MessageOptions& options, std::string& error)
{
    const BlockStore::Mark start = store.mark();
    auto failed = [&](const std::string& what) -> std::optional<WrittenMessage> {
        error = store.failed() ? store.error() : what;
        return std::nullopt;
    };

    PropertyContextBuilder object(store);
    if (!writeRecipientTable(store, mail, object.subnodes(), error))
        return std::nullopt;
    const auto attachments = writeAttachments(store, mail, object.subnodes(), error);
    if (!attachments)
        return std::nullopt;

    const SubjectParts subject = splitSubject(mail.subject);
    Addresses addresses {mail.from, mail.sender};
    if (addresses.sender.name.empty() && addresses.sender.address.empty())
        addresses.sender = mail.from;
    const std::int64_t when = mail.date.value_or(mail.receivedDate.value_or(options.fallbackTime));
    const std::uint64_t sentTime = fileTimeFromUnix(when);
    const std::uint64_t createdTime = fileTimeFromUnix(options.fallbackTime);
    const std::uint32_t flags = (options.read ? kRead : 0) | (options.sent ? 0 : kUnsent)
        | (*attachments > 0 ? kHasAttachments : 0);
    const std::string displayTo = displayList(mail.to);
    const std::string displayCc = displayList(mail.cc);
    const std::string displayBcc = displayList(mail.bcc);

    object.setInt32(tag::kImportance, kNormalImportance);
    object.setInt32(tag::kPriority, 0);
    object.setInt32(tag::kSensitivity, 0);
    object.setInt32(tag::kMessageFlags, flags);
    object.setInt32(tag::kMessageStatus, 0);
    object.setBool(tag::kHasAttachments, *attachments > 0);
    object.setInt32(tag::kNativeBody, mail.htmlBody.empty() ? kPlainBody : kHtmlBody);
    bool stored = object.setString(tag::kMessageClass, "IPM.Note")
        && object.setString(tag::kSubject, subject.subject)
        && object.setString(tag::kSubjectPrefix, subject.prefix)
        && object.setString(tag::kNormalizedSubject, subject.normalized)
        && object.setString(tag::kConversationTopic, subject.normalized)
        && object.setInt64(tag::kClientSubmitTime, sentTime)
        && object.setInt64(tag::kMessageDeliveryTime, sentTime)
        && object.setInt64(tag::kCreationTime, createdTime)
        && object.setInt64(tag::kLastModificationTime, createdTime)
        && setAddress(object, addresses.representing, tag::kSentRepresentingName,
                      tag::kSentRepresentingAddressType, tag::kSentRepresentingEmailAddress,
                      tag::kSentRepresentingSmtpAddress)
        && setAddress(object, addresses.sender, tag::kSenderName, tag::kSenderAddressType,
                      tag::kSenderEmailAddress, tag::kSenderSmtpAddress)
        && object.setString(tag::kDisplayTo, displayTo)
        && object.setString(tag::kDisplayCc, displayCc)
        && object.setString(tag::kDisplayBcc, displayBcc)
        && object.setString(tag::kInternetMessageId, mail.messageId)
        && object.setString(tag::kInReplyToId, mail.inReplyTo)
        && object.setString(tag::kInternetReferences, mail.references)
        && object.setString(tag::kTransportMessageHeaders, headerBlock(mail.transportHeaders))
        && object.setString(tag::kBody, mail.textBody, true);
    if (stored && !mail.htmlBody.empty()) {
        object.setInt32(tag::kInternetCodepage, kUtf8);
        stored = object.setBinary(tag::kHtml, ByteView(reinterpret_cast<const std::uint8_t*>(
                                                           mail.htmlBody.data()),
                                                       mail.htmlBody.size()));
    }
    if (!stored)
        return failed(object.failure() == ValueFailure::TooLarge
                          ? "the mail is larger than a store can hold"
                          : "cannot store the mail");
    // The size counts what was written for the mail so far, a close enough measure.
    const std::uint64_t size = store.bytesSince(start);
    object.setInt32(tag::kMessageSize,
                    static_cast<std::uint32_t>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size));
    const auto blocks = object.finish();
    if (!blocks)
        return failed("cannot store the mail");

    WrittenMessage written;
    written.blocks = *blocks;
    TableRow& row = written.contentsRow;
    row.setInt32(tag::kImportance, kNormalImportance);
    row.setString(tag::kMessageClass, "IPM.Note");
    row.setInt32(tag::kSensitivity, 0);
    row.setString(tag::kSubject, tableText(subject.subject));
    row.setInt64(tag::kClientSubmitTime, sentTime);
    row.setString(tag::kSentRepresentingName, tableText(displayName(addresses.representing)));
    row.setString(tag::kConversationTopic, tableText(subject.normalized));
    row.setString(tag::kDisplayCc, tableText(displayCc));
    row.setString(tag::kDisplayTo, tableText(displayTo));
    row.setInt64(tag::kMessageDeliveryTime, sentTime);
    row.setInt32(tag::kMessageFlags, flags);
    row.setInt32(tag::kMessageSize, static_cast<std::uint32_t>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size));
    row.setInt32(tag::kMessageStatus, 0);
    row.setInt64(tag::kLastModificationTime, createdTime);
    return written;
}

} // namespace mailmend::mailstore::pst
