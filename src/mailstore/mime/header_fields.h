// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "mailstore/mail_message.h"

struct _GMimeMessage;

namespace mailmend::mailstore::mime {

// Fills the header fields of `out` from a parsed mail: subject, the address headers with
// their names decoded and their groups flattened, the dates, and the message ids.
// `transportHeaders` and the bodies are left alone.
void readHeaderFields(_GMimeMessage* message, MailMessage& out);

} // namespace mailmend::mailstore::mime
