// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

#include "dbx/indexed_info.h"
#include "dbx/mail_header_fields.h"

namespace mailmend::dbx {

// Where a message's text lies and what the folder knows of it besides its header.
struct StoredMessage {
    std::uint32_t index = 0;      // the folder's sort key, 2 for the first message
    std::uint32_t firstBlock = 0; // offset of the first text block
    std::uint32_t size = 0;       // bytes of text
    std::int64_t savedTime = 0;   // when it was put into the folder, seconds since 1970
};

// The attributes of a message's info object, in id order, as Outlook Express fills them
// for a local mail that has been read: index texts in the ANSI code page, at most 1023
// bytes each, times as FILETIMEs.
std::vector<InfoAttribute> messageInfoAttributes(const MailHeaderFields& fields,
                                                 const StoredMessage& message);

} // namespace mailmend::dbx
