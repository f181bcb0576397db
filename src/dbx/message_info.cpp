// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/message_info.h"

#include "dbx/ansi_text.h"
#include "dbx/mail_date.h"

namespace mailmend::dbx {
namespace {

// Attribute ids of a message info object.
enum MessageAttribute : std::uint8_t {
    kIndex = 0x00,
    kFlags = 0x01,
    kSentTime = 0x02,
    kFirstBlock = 0x04,
    kNormalizedSubject = 0x05,
    kSavedTime = 0x06,
    kMessageId = 0x07,
    kSubject = 0x08,
    kReferences = 0x0A,
    kSenderName = 0x0D,
    kSenderAddress = 0x0E,
    kPriority = 0x10,
    kSize = 0x11,
    kReceivedTime = 0x12,
    kRecipientName = 0x13,
    kRecipientAddress = 0x14,
};

constexpr std::uint32_t kFlagHasBody = 0x1;
constexpr std::uint32_t kFlagRead = 0x80;
constexpr std::uint32_t kFlagHasAttachment = 0x4000;

} // namespace

std::vector<InfoAttribute> messageInfoAttributes(const MailHeaderFields& fields,
                                                 const StoredMessage& message)
{
    const std::int64_t sent = fields.date.value_or(fields.receivedDate.value_or(message.savedTime));
    const std::int64_t received = fields.receivedDate.value_or(sent);
    const std::string subject = indexText(fields.subject);
    const std::string senderAddress = indexText(fields.senderAddress);
    const std::string recipientAddress = indexText(fields.recipientAddress);
    const std::string senderName
        = fields.senderName.empty() ? senderAddress : indexText(fields.senderName);
    const std::string recipientName =
        fields.recipientName.empty() ? recipientAddress : indexText(fields.recipientName);

    std::vector<InfoAttribute> attributes;
    attributes.push_back(InfoAttribute::integer(kIndex, message.index));
    attributes.push_back(InfoAttribute::integer(
        kFlags, kFlagHasBody | kFlagRead | (fields.hasAttachments ? kFlagHasAttachment : 0)));
    attributes.push_back(InfoAttribute::fileTime(kSentTime, toFileTime(sent)));
    attributes.push_back(InfoAttribute::integer(kFirstBlock, message.firstBlock));
    attributes.push_back(InfoAttribute::string(kNormalizedSubject, normalizedSubject(subject)));
    attributes.push_back(InfoAttribute::fileTime(kSavedTime, toFileTime(message.savedTime)));
    if (!fields.messageId.empty())
        attributes.push_back(InfoAttribute::string(kMessageId, fields.messageId));
    attributes.push_back(InfoAttribute::string(kSubject, subject));
    if (!fields.references.empty())
        attributes.push_back(InfoAttribute::string(kReferences, fields.references));
    attributes.push_back(InfoAttribute::string(kSenderName, senderName));
    attributes.push_back(InfoAttribute::string(kSenderAddress, senderAddress));
    attributes.push_back(InfoAttribute::integer(kPriority, fields.priority));
    attributes.push_back(InfoAttribute::integer(kSize, message.size));
    attributes.push_back(InfoAttribute::fileTime(kReceivedTime, toFileTime(received)));
    attributes.push_back(InfoAttribute::string(kRecipientName, recipientName));
    attributes.push_back(InfoAttribute::string(
        kRecipientAddress,
        recipientAddress.empty() ? std::string() : "<" + recipientAddress + ">"));
    return attributes;
}

} // namespace mailmend::dbx
