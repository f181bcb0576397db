// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mailstore/mail_message.h"

namespace mailmend::mailstore {

// The longest file name, in bytes of UTF-8, that any form writes for an attachment.
inline constexpr std::size_t kMaxAttachmentNameBytes = 255;

// A file name for an attachment that is safe to put in a folder of ours: the mail's own
// name without directory parts (after the last '/' or '\'), without control characters
// and the characters file systems refuse (<>:"|?*), without leading dots or trailing dots
// and spaces, not a device name (CON, NUL, COM1, ...), at most kMaxAttachmentNameBytes
// bytes with whole UTF-8 characters and its extension kept. Broken UTF-8 becomes '_'.
// When nothing is left, "attachment-N" with an extension that fits the MIME type, N
// being `index` + 1. Pure: it never looks at the file system.
std::string safeAttachmentName(const MailAttachment& attachment, std::size_t index);

// The extension (with its dot) of files of a MIME type; ".bin" for types not known.
std::string extensionForMimeType(std::string_view mimeType);

// Hands out names for the attachments of one mail so that no two collide: a name already
// given comes back as "name (2).ext", then "name (3).ext" and so on. Names are compared
// as a case-insensitive file system compares them, so the files never overwrite each
// other on any system. Every name handed out stays within kMaxAttachmentNameBytes.
class UniqueNames {
public:
    // `safeName` is a result of safeAttachmentName.
    std::string add(const std::string& safeName);

private:
    std::unordered_set<std::string> m_taken;                 // folded names
    std::unordered_map<std::string, std::size_t> m_nextNumber; // folded name -> next (N)
};

// The names, in order, under which the attachments of `mail` are written beside it:
// safeAttachmentName of each, made unique with UniqueNames.
std::vector<std::string> attachmentFileNames(const MailMessage& mail);

} // namespace mailmend::mailstore
