// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <deque>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/pst/file_space.h"
#include "mailstore/pst/ids.h"
#include "mailstore/pst/le_bytes.h"

namespace mailmend::platform {
class CancellationToken;
class RandomAccessFile;
}

namespace mailmend::mailstore::pst {

// One entry of the block index: where a block lies and how many data bytes it holds.
// Packed into 16 bytes (offsets below 256 TiB): a store keeps one per block until close.
struct BlockRecord {
    BlockRecord() = default;
    BlockRecord(Bid id, std::uint64_t at, std::uint16_t dataSize)
        : bid(id), offsetLow(static_cast<std::uint32_t>(at)),
          offsetHigh(static_cast<std::uint16_t>(at >> 32)), size(dataSize)
    {
    }
    std::uint64_t offset() const { return std::uint64_t {offsetHigh} << 32 | offsetLow; }

    Bid bid = 0;
    std::uint32_t offsetLow = 0;
    std::uint16_t offsetHigh = 0;
    std::uint16_t size = 0;
};
static_assert(sizeof(BlockRecord) == 16);
// A deque: a store of a million mails holds millions of these, and a vector's regrowth
// would hold them twice over for a moment.
using BlockRecords = std::deque<BlockRecord>;

// Writes blocks to the file as they are made and remembers where each one went. A block
// is its data, zero padding and a 16-byte trailer at the end of its 64-byte-aligned span.
// Ids come from one counter (tree pages take theirs from it too). Once a write fails the
// store stays failed and writes nothing more.
class BlockStore {
public:
    BlockStore(platform::RandomAccessFile& file, FileSpace& space);

    // An id for a block written later with writeReserved, or for a tree page.
    Bid reserveBid(bool internal);
    // Writes a block of at most kMaxBlockData bytes; `internal` for blocks of block ids.
    std::optional<Bid> write(ByteView data, bool internal);
    bool writeReserved(Bid bid, ByteView data);

    // Everything written after a mark can be dropped again: its index entries go and its
    // space is given back, so a mail that failed half-way leaves nothing behind.
    struct Mark {
        std::size_t records = 0;
        std::uint64_t bytes = 0;
    };
    Mark mark() const { return {m_records.size(), m_bytesWritten}; }
    void rollback(const Mark& mark);
    // Data bytes written since `mark`.
    std::uint64_t bytesSince(const Mark& mark) const { return m_bytesWritten - mark.bytes; }

    BlockRecords& records() { return m_records; }
    Bid nextBid() const { return m_nextBid; }
    FileSpace& space() { return m_space; }
    platform::RandomAccessFile& file() { return m_file; }

    // While set, a stop makes every further write fail without failing the store: the
    // mail being written ends before its next block and is dropped.
    void watchForStop(const platform::CancellationToken* token) { m_stop = token; }
    bool stopped() const { return m_stopped; }
    void clearStop() { m_stopped = false; }

    bool failed() const { return m_failed; }
    const std::string& error() const { return m_error; }
    // After a rollback to a mark from before a failed write the store is whole again: the
    // blocks written since are gone and their space is free. It goes on from there.
    void clearFailure();
    // Marks the store failed with `reason` (the first reason is kept); returns false.
    bool fail(const std::string& reason);

private:
    platform::RandomAccessFile& m_file;
    FileSpace& m_space;
    BlockRecords m_records;
    std::array<std::uint8_t, kMaxBlockData + kBlockTrailerSize> m_buffer {};
    Bid m_nextBid = 4;
    std::uint64_t m_bytesWritten = 0;
    const platform::CancellationToken* m_stop = nullptr;
    bool m_stopped = false;
    bool m_failed = false;
    std::string m_error;
};

} // namespace mailmend::mailstore::pst
