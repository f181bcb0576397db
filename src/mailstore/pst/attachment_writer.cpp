// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/mail_fields.h"
#include "mailstore/pst/message_writer.h"
#include "mailstore/pst/property_context.h"
#include "mailstore/pst/property_tags.h"
#include "mailstore/pst/table_columns.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint32_t kByValue = 1;
constexpr std::uint32_t kAttachmentObject = 7;
constexpr std::uint32_t kNoPosition = 0xFFFFFFFF;
constexpr std::uint32_t kReferencedByHtml = 4;
// Attachment sizes are signed 32-bit counts.
constexpr std::uint64_t kLargestAttachment = 0x7FFFFFFF;

std::string attachmentName(const MailAttachment& attachment, std::size_t number)
{
    if (!attachment.fileName.empty())
        return attachment.fileName;
    const std::string base = "attachment" + std::to_string(number + 1);
    return attachment.isMessage ? base + ".eml" : base;
}

std::string describe(ValueFailure failure, std::size_t number, const BlockStore& store)
{
    const std::string which = "attachment " + std::to_string(number + 1);
    switch (failure) {
    case ValueFailure::ReadFailed:
        return "cannot read " + which;
    case ValueFailure::TooLarge:
        return which + " is larger than a store can hold";
    default:
        return store.failed() ? store.error() : "cannot store " + which;
    }
}

} // namespace

std::optional<std::size_t> writeAttachments(BlockStore& store, const MailMessage& mail,
                                            SubnodeList& subnodes, std::string& error)
{
    // Each attachment is a subnode of the message, besides its two tables and large values.
    if (mail.attachments.size() + 16 > kMaxSubnodes) {
        error = "the mail has more attachments than a message can hold";
        return std::nullopt;
    }
    TableContextBuilder table(store, attachmentColumns());
    for (std::size_t number = 0; number < mail.attachments.size(); ++number) {
        const MailAttachment& attachment = mail.attachments[number];
        if (!table.hasRoomForRow()) {
            error = "the mail has more attachments than a message can hold";
            return std::nullopt;
        }
        const Nid nid = makeNid(static_cast<std::uint32_t>(number + 1), NidType::Attachment);
        const std::string name = attachmentName(attachment, number);
        const std::string shortName = shortFileName(name);
        std::string mimeType = attachment.mimeType;
        if (attachment.isMessage)
            mimeType = "message/rfc822";

        PropertyContextBuilder object(store);
        std::unique_ptr<ByteSource> source = attachment.open ? attachment.open() : nullptr;
        if (!source) {
            error = "cannot read attachment " + std::to_string(number + 1);
            return std::nullopt;
        }
        const auto size = object.setStream(tag::kAttachDataBinary, *source, kLargestAttachment);
        source.reset();
        if (!size) {
            error = describe(object.failure(), number, store);
            return std::nullopt;
        }
        const bool hidden = attachment.isInline && !attachment.contentId.empty();
        object.setInt32(tag::kObjectType, kAttachmentObject);
        object.setInt32(tag::kAttachNumber, static_cast<std::uint32_t>(number));
        object.setInt32(tag::kAttachMethod, kByValue);
        object.setInt32(tag::kAttachSize, static_cast<std::uint32_t>(*size));
        object.setInt32(tag::kRenderingPosition, kNoPosition);
        object.setInt32(tag::kAttachFlags, hidden ? kReferencedByHtml : 0);
        object.setBool(tag::kAttachmentHidden, hidden);
        const bool stored = object.setString(tag::kAttachLongFilename, name)
            && object.setString(tag::kAttachFilename, shortName)
            && object.setString(tag::kDisplayName, name)
            && object.setString(tag::kAttachExtension, fileExtension(name))
            && object.setString(tag::kAttachMimeTag, mimeType)
            && object.setString(tag::kAttachContentId, attachment.contentId);
        const auto blocks = stored ? object.finish() : std::nullopt;
        if (!blocks) {
            error = describe(object.failure(), number, store);
            return std::nullopt;
        }
        subnodes.add(nid, *blocks);

        TableRow row(nid);
        row.setInt32(tag::kAttachSize, static_cast<std::uint32_t>(*size));
        row.setString(tag::kAttachFilename, shortName);
        row.setInt32(tag::kAttachMethod, kByValue);
        row.setInt32(tag::kRenderingPosition, kNoPosition);
        if (!table.addRow(row)) {
            error = describe(table.failure(), number, store);
            return std::nullopt;
        }
    }
    const auto blocks = table.finish();
    if (!blocks) {
        error = store.failed() ? store.error() : "cannot store the attachment table";
        return std::nullopt;
    }
    subnodes.add(kAttachmentTableNid, *blocks);
    return mail.attachments.size();
}

} // namespace mailmend::mailstore::pst
