// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/folder_file_layout.h"

#include <algorithm>

namespace mailmend::dbx {
namespace {

constexpr std::uint32_t segmentLength(SegmentKind kind)
{
    switch (kind) {
    case SegmentKind::Variable: return kVariableSegmentSize;
    case SegmentKind::Tree: return kTreeSegmentSize;
    case SegmentKind::Message: return kMessageSegmentSize;
    }
    return kVariableSegmentSize;
}

constexpr std::uint32_t kCursorFields[] {
    header::kLastVariableSegment, header::kLastTreeSegment, header::kLastMessageSegment};

} // namespace

void FileHeader::setConstants(bool folderList)
{
    for (std::uint32_t i = 0; i < kMailFolderSignature.size(); ++i)
        set(4 * i, kMailFolderSignature[i]);
    if (folderList)
        set(header::kFileClass, kFolderListClass);
    set(0x010, 0xD409A34F); // the rest of the class id
    set(0x014, 5);          // version words
    set(0x018, 5);
    set(header::kFileInfoLength, folderList ? kFolderListInfoSize : kMailFileInfoSize);
    set(0x064, 1);
    set(0x080, folderList ? 3 : 2);
    set(0x108, 1);
    set(0x10C, folderList ? 2 : 0);
    set(0x22BC, 1);
    set(0x22EC, 0x00020000);
    set(0x22F0, folderList ? 1 : 7);
    set(0x22F4, folderList ? 0x05020000 : 0);
    set(0x2320, folderList ? 0x00010002 : 0);
    set(0x2328, folderList ? 0x00000502 : 0);
    set(0x244C, 0x68);
}

SpaceAllocator::SpaceAllocator(std::uint32_t firstSectorEnd)
    : m_firstSectorEnd(firstSectorEnd), m_end(firstSectorEnd)
{
    for (std::size_t i = 0; i < m_cursors.size(); ++i)
        m_cursors[i].length = segmentLength(static_cast<SegmentKind>(i));
}

SpaceAllocator::Cursor& SpaceAllocator::cursor(SegmentKind kind)
{
    return m_cursors[static_cast<std::size_t>(kind)];
}

bool SpaceAllocator::load(const FileHeader& fileHeader, std::uint32_t firstSectorEnd,
                          std::uint64_t fileSize)
{
    m_firstSectorEnd = firstSectorEnd;
    m_end = fileHeader.get(header::kUsedEnd);
    if (m_end < firstSectorEnd || m_end > fileSize || m_end > kLargestUsedEnd || m_end % 4 != 0)
        return false;
    for (std::size_t i = 0; i < m_cursors.size(); ++i) {
        Cursor& c = m_cursors[i];
        c.offset = fileHeader.get(kCursorFields[i]);
        c.length = segmentLength(static_cast<SegmentKind>(i));
        c.used = fileHeader.get(kCursorFields[i] + 8);
        if (c.offset == 0) {
            c.used = 0;
            continue;
        }
        // A segment we cannot place exactly is simply not used again.
        if (c.offset < firstSectorEnd || c.offset % 4 != 0 || c.used > c.length || c.used % 4 != 0
            || std::uint64_t {c.offset} + c.length > m_end
            || fileHeader.get(kCursorFields[i] + 4) != c.length)
            c = Cursor {0, c.length, 0};
    }
    return true;
}

void SpaceAllocator::store(FileHeader& fileHeader) const
{
    for (std::size_t i = 0; i < m_cursors.size(); ++i) {
        const Cursor& c = m_cursors[i];
        fileHeader.set(kCursorFields[i], c.offset);
        fileHeader.set(kCursorFields[i] + 4, c.offset ? c.length : 0);
        fileHeader.set(kCursorFields[i] + 8, c.used);
    }
    fileHeader.set(header::kUsedEnd, m_end);
}

std::optional<std::uint32_t> SpaceAllocator::allocate(SegmentKind kind, std::uint32_t size)
{
    Cursor& c = cursor(kind);
    size = (size + 3) & ~3u;
    if (size > c.length)
        return std::nullopt;
    if (c.offset == 0 || c.length - c.used < size) {
        if (m_end > kLargestUsedEnd - c.length)
            return std::nullopt;
        c.offset = m_end;
        c.used = 0;
        m_end += c.length;
    }
    const std::uint32_t at = c.offset + c.used;
    c.used += size;
    return at;
}

std::uint64_t SpaceAllocator::paddedFileSize() const
{
    const std::uint64_t middle = m_end - m_firstSectorEnd;
    const std::uint64_t steps = (middle + kFileGrowthStep - 1) / kFileGrowthStep;
    return m_firstSectorEnd + std::max<std::uint64_t>(steps, 1) * kFileGrowthStep;
}

} // namespace mailmend::dbx
