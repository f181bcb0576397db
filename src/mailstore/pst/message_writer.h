// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mailstore/mail_message.h"
#include "mailstore/pst/subnode_list.h"
#include "mailstore/pst/table_context.h"

namespace mailmend::mailstore::pst {

struct MessageOptions {
    bool sent = true;  // false: the mail is kept as an unsent draft
    bool read = true;
    // Seconds since 1970 UTC: the mail's dates when it has none, and the time the item
    // is created in the store.
    std::int64_t fallbackTime = 0;
};

// One mail written as a message node, and the row its folder's contents table lists it by
// (without the row id, which is the node's id).
struct WrittenMessage {
    NodeBlocks blocks;
    TableRow contentsRow;
};

// Writes the mail's properties, bodies, recipients and attachments. On failure `error`
// says why; the blocks written so far are the caller's to drop.
std::optional<WrittenMessage> writeMessage(BlockStore& store, const MailMessage& mail,
                                           const MessageOptions& options, std::string& error);

// The parts of a message node, each in its own unit.
bool writeRecipientTable(BlockStore& store, const MailMessage& mail, SubnodeList& subnodes,
                         std::string& error);
// Gives the number of attachments written.
std::optional<std::size_t> writeAttachments(BlockStore& store, const MailMessage& mail,
                                            SubnodeList& subnodes, std::string& error);

// Strings in contents tables are kept to this many characters; the message has them whole.
inline constexpr std::size_t kTableTextLength = 255;

} // namespace mailmend::mailstore::pst
