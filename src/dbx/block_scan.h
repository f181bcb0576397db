// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "dbx/block_table.h"
#include "dbx/packed_block_table.h"
#include "log/log.h"
#include "platform/cancellation.h"
#include "platform/file_reader.h"

namespace mailmend::dbx {

// The file is read in chunks of this size; consecutive chunks share 16 bytes so that a
// header lying across a chunk edge is seen whole.
inline constexpr std::size_t kScanChunkSize = 100000;
inline constexpr std::size_t kScanChunkOverlap = 16;

// Tests every byte position of the file where a 16-byte block header fits, exactly once,
// and fills `table` (emptied first) with the headers that pass the acceptance rule, in
// increasing file position. `fileSize` bounds the links. Returns the number of headers
// found. Logs "Advance Search Initialized", one "Scanning from offset:…" line per chunk
// read and "%d Normal object found". Ends before the next chunk once `cancel` is set.
// A read that comes up short of `fileSize` (the file shrank, the disk failed) ends the
// scan with what was found, logged as an error; `readShort` is then set when given.
std::uint64_t scanBlocks(platform::ReadableFile& file, std::uint64_t fileSize, BlockTable& table,
                         const Logger& log, const platform::CancellationToken* cancel = nullptr,
                         bool* readShort = nullptr);

// The same into the reader's packed table. Running out of memory ends the scan with what
// was found until then, logged as an exception.
std::uint64_t scanBlocks(platform::ReadableFile& file, std::uint64_t fileSize,
                         PackedBlockTable& table, const Logger& log,
                         const platform::CancellationToken* cancel = nullptr,
                         bool* readShort = nullptr);

} // namespace mailmend::dbx
