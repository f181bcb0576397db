// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mailstore/mime/gmime_session.h"
#include "platform/file_reader.h"

namespace mailmend::mailstore::mime {

// A GMime stream over a mail read by position. GMime's parser reads the mail through it,
// and every part's content stays a window (a substream) on it instead of a copy. Each
// window keeps its own position and its own share of the file, so parts may be read in
// any order, from several threads, and after the parse and the parsed mail are gone.
//
// With `maxBoundaryLines` of 0 or more the stream ends early, at the start of the first line
// beginning with "--" past that many: every boundary line begins so, and each part GMime
// makes costs far more memory than its lines, so this bounds what a hostile mail of
// countless tiny parts can cost. Windows on the stream have no budget.
ObjectRef<_GMimeStream> newSourceStream(std::shared_ptr<platform::ReadableFile> file,
                                        std::int64_t maxBoundaryLines = -1);

// True when `stream` is one of these (or a window on one) and a read of it came up short
// of its end: what it gave is not the whole content.
bool sourceReadFailed(_GMimeStream* stream);

// Where a stream made with a budget was cut short, or -1 when it was not.
std::int64_t sourceCutOffset(_GMimeStream* stream);

// A readable "file" over bytes in memory, for a mail given as text.
std::shared_ptr<platform::ReadableFile> memorySource(std::string bytes);

} // namespace mailmend::mailstore::mime
