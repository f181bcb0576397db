// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

#include "mailstore/mail_message.h"

namespace mailmend::mailstore {

// Writes `mail` as an RTF document at `path`, the way a mail program prints a mail: a
// header block (From, Sent, To, Cc, Bcc, Subject, Attachments; each left out when empty)
// above a rule, then the body: the plain body, or text made from the HTML body when
// there is no plain one. The Attachments line names the files as attachmentFileNames
// gives them, which is how they are saved beside the document. The body is written in
// pieces, never copied whole.
//
// `path` is created or replaced. False, with `error` set, when the file cannot be
// written; what was written of it is removed then.
bool writeRtfFile(const MailMessage& mail, const std::filesystem::path& path, std::string& error);

} // namespace mailmend::mailstore
