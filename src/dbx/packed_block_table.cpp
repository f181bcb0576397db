// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/packed_block_table.h"

#include <algorithm>

namespace mailmend::dbx {

void PackedBlockTable::clear(std::size_t expected)
{
    std::vector<std::unique_ptr<Packed[]>>().swap(m_chunks);
    m_first = std::clamp<std::size_t>(expected, 1, kChunkBlocks);
    m_size = 0;
}

bool PackedBlockTable::push(std::uint32_t fileOffset, std::uint32_t selfOffset,
                            std::uint32_t dataLength, std::uint32_t nextOffset)
{
    std::uint32_t word = 0;
    if (dataLength == kBlockDataSizeWord) {
        if (nextOffset != 0 && nextOffset < kBlockDataSizeWord)
            return false;
        word = nextOffset;
    } else {
        if (dataLength == 0 || dataLength > kBlockDataSizeWord || nextOffset != 0)
            return false;
        word = dataLength;
    }
    if (m_size >= kMaxBlocks)
        return false;
    if (m_chunks.empty()) {
        m_chunks.push_back(std::make_unique_for_overwrite<Packed[]>(m_first));
    } else if (m_size == m_first && m_first < kChunkBlocks) {
        auto full = std::make_unique_for_overwrite<Packed[]>(kChunkBlocks);
        std::copy(m_chunks[0].get(), m_chunks[0].get() + m_size, full.get());
        m_chunks[0] = std::move(full);
        m_first = kChunkBlocks;
    } else if ((m_size & (kChunkBlocks - 1)) == 0) {
        m_chunks.push_back(std::make_unique_for_overwrite<Packed[]>(kChunkBlocks));
    }
    at(m_size) = Packed {fileOffset, selfOffset, word, 0};
    ++m_size;
    return true;
}

std::size_t PackedBlockTable::capacityBytes() const
{
    if (m_chunks.empty())
        return 0;
    return (m_first + (m_chunks.size() - 1) * kChunkBlocks) * sizeof(Packed)
        + m_chunks.capacity() * sizeof(m_chunks[0]);
}

BlockRecord PackedBlockTable::operator[](std::size_t i) const
{
    BlockRecord record;
    record.fileOffset = fileOffset(i);
    record.selfOffset = selfOffset(i);
    record.nextOffset = nextOffset(i);
    record.dataLength = dataLength(i);
    record.nextIndex = nextIndex(i);
    record.role = role(i);
    record.hasPredecessor = hasPredecessor(i);
    return record;
}

} // namespace mailmend::dbx
