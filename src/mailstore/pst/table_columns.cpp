// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/table_columns.h"

#include "mailstore/pst/property_tags.h"

namespace mailmend::mailstore::pst {

const std::vector<std::uint32_t>& hierarchyColumns()
{
    static const std::vector<std::uint32_t> columns {
        tag::kDisplayName,     tag::kContentCount,   tag::kContentUnreadCount,
        tag::kSubfolders,      tag::kContainerClass, tag::kPstHiddenCount,
        tag::kPstHiddenUnread,
    };
    return columns;
}

const std::vector<std::uint32_t>& contentsColumns()
{
    static const std::vector<std::uint32_t> columns {
        tag::kImportance,        tag::kMessageClass,          tag::kSensitivity,
        tag::kSubject,           tag::kClientSubmitTime,      tag::kSentRepresentingName,
        tag::kConversationTopic, tag::kDisplayCc,             tag::kDisplayTo,
        tag::kMessageDeliveryTime, tag::kMessageFlags,        tag::kMessageSize,
        tag::kMessageStatus,     tag::kLastModificationTime,
    };
    return columns;
}

const std::vector<std::uint32_t>& assocContentsColumns()
{
    static const std::vector<std::uint32_t> columns {
        tag::kMessageClass, tag::kMessageFlags, tag::kMessageStatus, tag::kDisplayName,
    };
    return columns;
}

const std::vector<std::uint32_t>& recipientColumns()
{
    static const std::vector<std::uint32_t> columns {
        tag::kRecipientType,  tag::kResponsibility, tag::kObjectType,
        tag::kEntryId,        tag::kDisplayName,    tag::kAddressType,
        tag::kEmailAddress,   tag::kSearchKey,      tag::kDisplayType,
        tag::kSmtpAddress,    tag::kTransmittableDisplayName, tag::kSendRichInfo,
    };
    return columns;
}

const std::vector<std::uint32_t>& attachmentColumns()
{
    static const std::vector<std::uint32_t> columns {
        tag::kAttachSize, tag::kAttachFilename, tag::kAttachMethod, tag::kRenderingPosition,
    };
    return columns;
}

} // namespace mailmend::mailstore::pst
