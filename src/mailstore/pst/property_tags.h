// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace mailmend::mailstore::pst {

// Property types: the low 16 bits of a property tag.
enum class PropType : std::uint16_t {
    Integer16 = 0x0002,
    Integer32 = 0x0003,
    Boolean = 0x000B,
    Integer64 = 0x0014,
    String = 0x001F,
    Time = 0x0040,
    Binary = 0x0102,
};

constexpr PropType typeOf(std::uint32_t tag) { return static_cast<PropType>(tag & 0xFFFF); }
constexpr std::uint16_t idOf(std::uint32_t tag) { return static_cast<std::uint16_t>(tag >> 16); }

// The property tags the writer uses (id in the high half, type in the low half).
namespace tag {
// Messages
inline constexpr std::uint32_t kImportance = 0x00170003;
inline constexpr std::uint32_t kMessageClass = 0x001A001F;
inline constexpr std::uint32_t kPriority = 0x00260003;
inline constexpr std::uint32_t kSensitivity = 0x00360003;
inline constexpr std::uint32_t kSubject = 0x0037001F;
inline constexpr std::uint32_t kClientSubmitTime = 0x00390040;
inline constexpr std::uint32_t kSubjectPrefix = 0x003D001F;
inline constexpr std::uint32_t kSentRepresentingName = 0x0042001F;
inline constexpr std::uint32_t kSentRepresentingAddressType = 0x0064001F;
inline constexpr std::uint32_t kSentRepresentingEmailAddress = 0x0065001F;
inline constexpr std::uint32_t kConversationTopic = 0x0070001F;
inline constexpr std::uint32_t kTransportMessageHeaders = 0x007D001F;
inline constexpr std::uint32_t kSenderName = 0x0C1A001F;
inline constexpr std::uint32_t kSenderAddressType = 0x0C1E001F;
inline constexpr std::uint32_t kSenderEmailAddress = 0x0C1F001F;
inline constexpr std::uint32_t kDisplayBcc = 0x0E02001F;
inline constexpr std::uint32_t kDisplayCc = 0x0E03001F;
inline constexpr std::uint32_t kDisplayTo = 0x0E04001F;
inline constexpr std::uint32_t kMessageDeliveryTime = 0x0E060040;
inline constexpr std::uint32_t kMessageFlags = 0x0E070003;
inline constexpr std::uint32_t kMessageSize = 0x0E080003;
inline constexpr std::uint32_t kMessageStatus = 0x0E170003;
inline constexpr std::uint32_t kNormalizedSubject = 0x0E1D001F;
inline constexpr std::uint32_t kHasAttachments = 0x0E1B000B;
inline constexpr std::uint32_t kBody = 0x1000001F;
inline constexpr std::uint32_t kHtml = 0x10130102;
inline constexpr std::uint32_t kNativeBody = 0x10160003;
inline constexpr std::uint32_t kInternetMessageId = 0x1035001F;
inline constexpr std::uint32_t kInternetReferences = 0x1039001F;
inline constexpr std::uint32_t kInReplyToId = 0x1042001F;
inline constexpr std::uint32_t kCreationTime = 0x30070040;
inline constexpr std::uint32_t kLastModificationTime = 0x30080040;
inline constexpr std::uint32_t kInternetCodepage = 0x3FDE0003;
inline constexpr std::uint32_t kSenderSmtpAddress = 0x5D01001F;
inline constexpr std::uint32_t kSentRepresentingSmtpAddress = 0x5D02001F;

// Recipients
inline constexpr std::uint32_t kRecipientType = 0x0C150003;
inline constexpr std::uint32_t kResponsibility = 0x0E0F000B;
inline constexpr std::uint32_t kRecordKey = 0x0FF90102;
inline constexpr std::uint32_t kObjectType = 0x0FFE0003;
inline constexpr std::uint32_t kEntryId = 0x0FFF0102;
inline constexpr std::uint32_t kDisplayName = 0x3001001F;
inline constexpr std::uint32_t kAddressType = 0x3002001F;
inline constexpr std::uint32_t kEmailAddress = 0x3003001F;
inline constexpr std::uint32_t kSearchKey = 0x300B0102;
inline constexpr std::uint32_t kDisplayType = 0x39000003;
inline constexpr std::uint32_t kSmtpAddress = 0x39FE001F;
inline constexpr std::uint32_t kTransmittableDisplayName = 0x3A20001F;
inline constexpr std::uint32_t kSendRichInfo = 0x3A40000B;

// Attachments
inline constexpr std::uint32_t kAttachSize = 0x0E200003;
inline constexpr std::uint32_t kAttachNumber = 0x0E210003;
inline constexpr std::uint32_t kAttachDataBinary = 0x37010102;
inline constexpr std::uint32_t kAttachExtension = 0x3703001F;
inline constexpr std::uint32_t kAttachFilename = 0x3704001F;
inline constexpr std::uint32_t kAttachMethod = 0x37050003;
inline constexpr std::uint32_t kAttachLongFilename = 0x3707001F;
inline constexpr std::uint32_t kRenderingPosition = 0x370B0003;
inline constexpr std::uint32_t kAttachMimeTag = 0x370E001F;
inline constexpr std::uint32_t kAttachContentId = 0x3712001F;
inline constexpr std::uint32_t kAttachFlags = 0x37140003;
inline constexpr std::uint32_t kAttachmentHidden = 0x7FFE000B;

// Folders and the store
inline constexpr std::uint32_t kContentCount = 0x36020003;
inline constexpr std::uint32_t kContentUnreadCount = 0x36030003;
inline constexpr std::uint32_t kSubfolders = 0x360A000B;
inline constexpr std::uint32_t kContainerClass = 0x3613001F;
inline constexpr std::uint32_t kPstHiddenCount = 0x66350003;
inline constexpr std::uint32_t kPstHiddenUnread = 0x66360003;
inline constexpr std::uint32_t kValidFolderMask = 0x35DF0003;
inline constexpr std::uint32_t kIpmSubtreeEntryId = 0x35E00102;
inline constexpr std::uint32_t kIpmWastebasketEntryId = 0x35E30102;
inline constexpr std::uint32_t kFinderEntryId = 0x35E70102;
inline constexpr std::uint32_t kPstPassword = 0x67FF0003;

// Tables
inline constexpr std::uint32_t kLtpRowId = 0x67F20003;
inline constexpr std::uint32_t kLtpRowVersion = 0x67F30003;

// The name-to-id map
inline constexpr std::uint32_t kNameidBucketCount = 0x00010003;
inline constexpr std::uint32_t kNameidStreamGuid = 0x00020102;
inline constexpr std::uint32_t kNameidStreamEntry = 0x00030102;
inline constexpr std::uint32_t kNameidStreamString = 0x00040102;
inline constexpr std::uint32_t kNameidBucketBase = 0x10000102;
} // namespace tag

} // namespace mailmend::mailstore::pst
