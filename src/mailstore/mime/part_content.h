// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mailstore/mail_message.h"
#include "mailstore/mime/gmime_session.h"

struct _GMimePart;

namespace mailmend::mailstore::mime {

// A new source over the content of a leaf part with its transfer encoding (base64,
// quoted-printable, uuencode) undone; the charset is left as it is. Reads in pieces
// straight from the mail's stream. Broken encodings give what can be decoded.
std::unique_ptr<ByteSource> openPartContent(_GMimePart* part);

// A new source over bytes [begin, end) of a stream.
std::unique_ptr<ByteSource> openStreamRange(_GMimeStream* stream, std::int64_t begin,
                                            std::int64_t end);

// A new source over bytes in memory.
std::unique_ptr<ByteSource> openBytes(std::shared_ptr<const std::string> bytes);

// Everything a source gives, for a body that is kept as text anyway.
std::string readAll(ByteSource& source);

} // namespace mailmend::mailstore::mime
