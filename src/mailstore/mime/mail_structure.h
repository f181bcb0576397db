// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "mailstore/mail_message.h"
#include "mailstore/mime/gmime_session.h"
#include "platform/file_reader.h"

struct _GMimeMessage;

namespace mailmend::mailstore::mime {

// The mail a parse read: what attachment streams read from, kept alive by every
// attachment of it.
struct ParsedSource {
    std::shared_ptr<platform::ReadableFile> file;
    _GMimeStream* stream = nullptr; // the stream GMime parsed, over `file`
    std::shared_ptr<const void> backing;
};

// Fills the bodies and the attachments of `out` from the parts of a parsed mail. The
// plain and the HTML body are the first text/plain and text/html leaves that are not
// marked as attachments, at any depth of multiparts; every other leaf, and every attached
// mail, is an attachment, in the order of the mail. Text GMime could not split into parts
// (a multipart whose boundary never comes, or that lies deeper than GMime goes) is kept
// as plain body or as a text attachment.
void readStructure(_GMimeMessage* message, const ParsedSource& source, MailMessage& out);

} // namespace mailmend::mailstore::mime
