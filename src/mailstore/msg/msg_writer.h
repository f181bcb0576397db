// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include "mailstore/mail_message.h"

namespace mailmend::mailstore {

struct MsgOptions {
    // Turns the text of an attached mail into a message, so that it is embedded as a
    // message of its own. Without it, an attached mail is kept as an .eml file attachment.
    std::function<MailMessage(std::string text)> parseAttachedMail;
    // Attached mails nested deeper than this, or longer than the byte limit, are kept as
    // .eml file attachments.
    int maxEmbeddingDepth = 8;
    std::size_t maxEmbeddedMailBytes = std::size_t{16} << 20;
};

// The most storages and streams one .msg file is written with (a mail with 10 000
// attachments needs about 60 000). libgsf keeps 4 KiB of memory for every small stream
// until the file is finished, so this bounds what a hostile mail can make a write cost
// (about 340 MiB).
inline constexpr std::size_t kMaxMsgEntries = 80000;

// Writes `mail` as an Outlook message file (.msg, "IPM.Note") at `path`: sender, the
// recipients (To, Cc, Bcc), subject, dates, the plain body (CRLF line ends; made from
// the HTML body when there is no plain one) and the HTML body, the transport headers and
// the message ids, and every attachment by value under its safe name. Attachment data
// is copied in pieces, so a large attachment costs little memory. A message holds at
// most 2048 attachments; when a mail has more, the last places hold embedded messages
// that carry the rest, 2048 each.
//
// `path` is created or replaced. False, with `error` set, when the file cannot be
// written, an attachment cannot be read or the mail needs more than kMaxMsgEntries
// entries or a value above 4 GiB; the file is removed then.
bool writeMsgFile(const MailMessage& mail, const std::filesystem::path& path, const MsgOptions& options,
                  std::string& error);

} // namespace mailmend::mailstore
