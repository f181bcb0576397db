// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/block_scan.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "dbx/format.h"
#include "log/text.h"

namespace mailmend::dbx {
namespace {

// Where accepted headers go. A plain table logs a record it cannot store and goes on, as
// it always did; the packed table ends the scan instead (its storage ran out), through
// the exception handler of scanInto.
struct PlainSink {
    BlockTable& table;
    const Logger& log;

    void clear(std::uint64_t fileSize)
    {
        table.clear();
        // Room for a header every 528 bytes: enough for any real folder, so the table
        // never holds its old and new storage at once while it grows. Untouched room
        // costs nothing.
        table.reserve(static_cast<std::size_t>(fileSize / kBlockSize + 1));
    }
    bool add(std::uint64_t position, std::uint32_t self, std::uint32_t length,
             std::uint32_t next)
    {
        try {
            BlockRecord record;
            record.fileOffset = static_cast<std::uint32_t>(position);
            record.selfOffset = self;
            record.nextOffset = next;
            record.dataLength = static_cast<std::uint16_t>(length);
            table.push_back(record);
            return true;
        } catch (...) {
            log.error(strprintf("Exception scanning bytes at offset=%llu",
                                static_cast<unsigned long long>(position + kBlockSizeAt)));
            return false;
        }
    }
};

struct PackedSink {
    PackedBlockTable& table;

    void clear(std::uint64_t fileSize)
    {
        table.clear(static_cast<std::size_t>(
            std::min<std::uint64_t>(fileSize / kBlockSize + 1, PackedBlockTable::kMaxBlocks)));
    }
    bool add(std::uint64_t position, std::uint32_t self, std::uint32_t length,
             std::uint32_t next)
    {
        if (!table.push(static_cast<std::uint32_t>(position), self, length, next))
            throw std::length_error("block table full");
        return true;
    }
};

// Tests the header starts first..last (buffer positions, inclusive) of a chunk that
// begins at file position `base`. The last start leaves its 16 bytes inside the buffer.
//
// A header is found by its blockSize word, 00 02 00 00, four bytes after its start. The
// byte 02 is rare in mail text, so memchr for it skips almost all of the data at memory
// speed and the full test runs only where it can match.
template <typename Sink>
void testChunk(const unsigned char* buffer, std::uint64_t base, std::size_t first,
               std::size_t last, std::uint64_t fileSize, Sink& sink, std::uint64_t& found)
{
    std::size_t at = first + kBlockSizeAt + 1; // where the 02 byte of the first marker lies
    const std::size_t end = last + kBlockSizeAt + 1; // inclusive
    while (at <= end) {
        const void* hit = std::memchr(buffer + at, 0x02, end - at + 1);
        if (!hit)
            break;
        at = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - buffer);
        const unsigned char* header = buffer + at - 1 - kBlockSizeAt;
        if (header[kBlockSizeAt] == 0 && header[kBlockSizeAt + 2] == 0
            && header[kBlockSizeAt + 3] == 0) {
            const std::uint32_t self = readLe32(header + kSelfOffsetAt);
            const std::uint32_t length = readLe32(header + kDataLengthAt);
            const std::uint32_t next = readLe32(header + kNextOffsetAt);
            if (isMailBlockHeader(self, kBlockSizeMarker, length, next, fileSize)) {
                if (sink.add(base + (at - 1 - kBlockSizeAt), self, length, next))
                    ++found;
            }
        }
        ++at;
    }
}

template <typename Sink>
std::uint64_t scanInto(platform::ReadableFile& file, std::uint64_t fileSize, Sink sink,
                       const Logger& log, const platform::CancellationToken* cancel,
                       bool* readShort)
{
    std::uint64_t found = 0;
    if (readShort)
        *readShort = false;
    log.exec("Advance Search Initialized");
    try {
        sink.clear(fileSize);
        std::vector<unsigned char> buffer(kScanChunkSize);
        std::uint64_t base = 0;         // file position of the buffer's first byte
        std::size_t last = 0;           // bytes the previous read returned
        std::uint64_t firstUntested = 0; // header starts below this were tested already
        for (;;) {
            if (platform::cancelled(cancel))
                break; // stopped: what was found so far is of no more use
            if (last == kScanChunkSize)
                base -= kScanChunkOverlap;
            const std::size_t got = file.readAt(base, buffer.data(), kScanChunkSize);
            last = got;
            if (got == 0) {
                // Short of the size the file had when it was opened: not its end.
                if (base < fileSize) {
                    log.error(strprintf("Could not read beyond offset %llu of %llu",
                                        static_cast<unsigned long long>(base),
                                        static_cast<unsigned long long>(fileSize)));
                    if (readShort)
                        *readShort = true;
                }
                break;
            }
            log.exec(strprintf("Scanning from offset:%llu to ReadCount:%zu",
                               static_cast<unsigned long long>(base), got));
            if (got >= kBlockHeaderSize) {
                const std::uint64_t lastStart = base + got - kBlockHeaderSize;
                if (firstUntested <= lastStart) {
                    const std::uint64_t from = std::max(firstUntested, base);
                    testChunk(buffer.data(), base, static_cast<std::size_t>(from - base),
                              static_cast<std::size_t>(lastStart - base), fileSize, sink,
                              found);
                    firstUntested = lastStart + 1;
                }
            }
            base += got;
        }
    } catch (...) {
        try { // memory may have run out: the scan ends with what it found
            log.error(strprintf("Exception in searching objects after object=%llu",
                                static_cast<unsigned long long>(found)));
        } catch (...) {
        }
    }
    log.exec(strprintf("%llu Normal object found", static_cast<unsigned long long>(found)));
    return found;
}

} // namespace

std::uint64_t scanBlocks(platform::ReadableFile& file, std::uint64_t fileSize, BlockTable& table,
                         const Logger& log, const platform::CancellationToken* cancel,
                         bool* readShort)
{
    return scanInto(file, fileSize, PlainSink {table, log}, log, cancel, readShort);
}

std::uint64_t scanBlocks(platform::ReadableFile& file, std::uint64_t fileSize,
                         PackedBlockTable& table, const Logger& log,
                         const platform::CancellationToken* cancel, bool* readShort)
{
    return scanInto(file, fileSize, PackedSink {table}, log, cancel, readShort);
}

} // namespace mailmend::dbx
