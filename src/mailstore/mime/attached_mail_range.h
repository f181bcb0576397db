// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_reader.h"

struct _GMimeMessagePart;

namespace mailmend::mailstore::mime {

struct ByteRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};

// Where the text of an attached mail lies in the mail that carries it, so that it can be
// handed out byte for byte as stored: from its first header to the line end before the
// boundary line that closes it (or to the end of the source when no multipart is around
// it). `enclosingBoundaries` are the boundary parameters of the multiparts around the
// part, at any depth. An attached mail that the parse found empty gives an empty range.
ByteRange attachedMailRange(_GMimeMessagePart* part,
                            const std::vector<std::string>& enclosingBoundaries,
                            platform::ReadableFile& source);

} // namespace mailmend::mailstore::mime
