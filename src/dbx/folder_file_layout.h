// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "dbx/format.h"
#include "dbx/le_bytes.h"

namespace mailmend::dbx {

// The layout Outlook Express gives a folder file beyond the mail blocks: a fixed header,
// a file info object, then a middle sector of segments in which every object lies.

inline constexpr std::uint32_t kFolderListClass = 0x6F74FDC6;
inline constexpr std::uint32_t kFileHeaderSize = 0x24BC;
inline constexpr std::uint32_t kMailFileInfoSize = 0x618;
inline constexpr std::uint32_t kFolderListInfoSize = 0x108;
inline constexpr std::uint32_t kMailFirstSectorEnd = kFileHeaderSize + kMailFileInfoSize;
inline constexpr std::uint32_t kFolderListFirstSectorEnd = kFileHeaderSize + kFolderListInfoSize;

// Segment lengths: a message segment holds 120 mail blocks, a tree segment 25 nodes.
inline constexpr std::uint32_t kVariableSegmentSize = 0xC000;
inline constexpr std::uint32_t kMessageSegmentSize = 120 * kBlockSize;
inline constexpr std::uint32_t kTreeNodeSize = 0x27C;
inline constexpr std::uint32_t kTreeSegmentSize = 25 * kTreeNodeSize;
inline constexpr std::uint32_t kTreeNodeCapacity = 51;

// Files grow in these steps past their first sector.
inline constexpr std::uint32_t kFileGrowthStep = 0x10000;
// The used area stays below this, so that every offset and the padded file fit 32 bits.
inline constexpr std::uint32_t kLargestUsedEnd = 0xFFF00000;

// Header fields (byte offsets).
namespace header {
inline constexpr std::uint32_t kFileClass = 0x004;
inline constexpr std::uint32_t kFileInfoLength = 0x01C;
inline constexpr std::uint32_t kLastVariableSegment = 0x024; // offset, length, used bytes
inline constexpr std::uint32_t kLastTreeSegment = 0x030;
inline constexpr std::uint32_t kLastMessageSegment = 0x03C;
inline constexpr std::uint32_t kAllocatedBytes = 0x054;
inline constexpr std::uint32_t kFreedBytes = 0x058;
inline constexpr std::uint32_t kLastId = 0x05C;
inline constexpr std::uint32_t kUsedEnd = 0x07C;
inline constexpr std::uint32_t kMessageConditions = 0x088;
inline constexpr std::uint32_t kFolderConditions = 0x08C;
inline constexpr std::uint32_t kTreeCounts = 0x0C4; // one word per tree
inline constexpr std::uint32_t kTreeRoots = 0x0E4;
inline constexpr std::uint32_t kInfoBytes = 0x27C;
inline constexpr std::uint32_t kConditionBytes = 0x280;
inline constexpr std::uint32_t kNodeBytes = 0x28C;
inline constexpr std::uint32_t kBlockBytes = 0x290;
} // namespace header

// The first sixteen bytes, which readers compare whole: signature, class and the start
// of the class id.
inline constexpr std::array<std::uint32_t, 4> kMailFolderSignature {
    kFileSignature, kMailFolderClass, 0x11D1E366, 0xC0004E9A};

// The fixed header of a folder file, held in memory and written whole.
class FileHeader {
public:
    std::uint32_t get(std::uint32_t at) const { return readLe32(m_bytes.data() + at); }
    void set(std::uint32_t at, std::uint32_t value) { putLe32(m_bytes.data() + at, value); }
    unsigned char* data() { return m_bytes.data(); }
    const unsigned char* data() const { return m_bytes.data(); }

    // The words every folder file of Outlook Express 5 and 6 carries: the signature and
    // class id, the version, and constants whose meaning is unknown but which every
    // file has. `folderList` picks the Folders.dbx values.
    void setConstants(bool folderList);

private:
    std::array<unsigned char, kFileHeaderSize> m_bytes {};
};

enum class SegmentKind { Variable, Tree, Message };

// Hands out space in the middle sector: each object goes into the last segment of its
// kind, or into a new segment appended at the end of the used area when it does not fit.
class SpaceAllocator {
public:
    // A new middle sector right behind the first sector.
    explicit SpaceAllocator(std::uint32_t firstSectorEnd = kMailFirstSectorEnd);

    // The segments of an existing file; false when the header's figures do not fit
    // together or the file.
    bool load(const FileHeader& fileHeader, std::uint32_t firstSectorEnd, std::uint64_t fileSize);
    // Writes the segment fields and the end of the used area into `fileHeader`.
    void store(FileHeader& fileHeader) const;

    // The offset for `size` bytes (4-aligned), or empty when the file would pass 4 GiB.
    std::optional<std::uint32_t> allocate(SegmentKind kind, std::uint32_t size);

    std::uint32_t usedEnd() const { return m_end; }
    // The file size Outlook Express would give the file: first sector plus whole steps.
    std::uint64_t paddedFileSize() const;

private:
    struct Cursor {
        std::uint32_t offset = 0; // 0 while there is no segment of this kind
        std::uint32_t length = 0;
        std::uint32_t used = 0;
    };
    Cursor& cursor(SegmentKind kind);

    std::uint32_t m_firstSectorEnd;
    std::uint32_t m_end;
    std::array<Cursor, 3> m_cursors {};
};

} // namespace mailmend::dbx
