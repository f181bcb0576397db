// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/heap.h"

#include <algorithm>

namespace mailmend::mailstore::pst {
namespace {

constexpr std::size_t kFirstHeaderSize = 12;
constexpr std::size_t kBitmapHeaderSize = 66;
constexpr std::size_t kPageHeaderSize = 2;
constexpr std::size_t kMaxAllocations = 2047; // an 11-bit allocation number
constexpr std::size_t kMaxBlocks = 0xFFFF;    // a 16-bit block number

bool carriesBitmap(std::size_t index) { return index >= 8 && (index - 8) % 128 == 0; }

std::size_t pageMapSize(std::size_t allocations) { return 4 + 2 * (allocations + 1); }

// How full a block is, in the 4-bit scale of the fill-level maps (0: at least 3584 bytes
// free, 15: fewer than 8).
std::uint8_t fillLevel(std::size_t freeBytes)
{
    static constexpr std::size_t kFloors[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768,
                                              512,  256,  128,  64,   32,   16,   8};
    std::uint8_t level = 0;
    for (std::size_t floor : kFloors) {
        if (freeBytes >= floor)
            return level;
        ++level;
    }
    return 15;
}

void putFillLevels(std::uint8_t* out, const std::vector<std::uint8_t>& levels,
                   std::size_t first, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t block = first + i;
        const std::uint8_t level = block < levels.size() ? levels[block] : 0;
        out[i / 2] = static_cast<std::uint8_t>(out[i / 2] | (level << ((i % 2) * 4)));
    }
}

} // namespace

HeapBuilder::HeapBuilder(BlockStore& store, HeapClient client)
    : m_store(store), m_tree(store), m_client(client)
{
    startBlock();
}

std::size_t HeapBuilder::headerSize(std::size_t blockIndex)
{
    if (blockIndex == 0)
        return kFirstHeaderSize;
    return carriesBitmap(blockIndex) ? kBitmapHeaderSize : kPageHeaderSize;
}

void HeapBuilder::startBlock()
{
    m_block.assign(headerSize(m_blockIndex), 0);
    m_starts.clear();
}

bool HeapBuilder::fits(std::size_t size) const
{
    const std::size_t end = (m_block.size() + size + 1) / 2 * 2;
    return m_starts.size() < kMaxAllocations
        && end + pageMapSize(m_starts.size() + 1) <= kMaxBlockData;
}

bool HeapBuilder::hasRoomFor(std::size_t allocations) const
{
    return m_blockIndex + allocations < kMaxBlocks;
}

std::optional<Hid> HeapBuilder::allocate(ByteView data)
{
    if (data.size() > kMaxHeapAllocation || m_store.failed())
        return std::nullopt;
    if (!fits(data.size())) {
        if (m_blockIndex + 1 >= kMaxBlocks) {
            m_overflow = true;
            return std::nullopt;
        }
        if (!closeBlock())
            return std::nullopt;
        ++m_blockIndex;
        startBlock();
    }
    m_starts.push_back(static_cast<std::uint16_t>(m_block.size()));
    m_block.insert(m_block.end(), data.begin(), data.end());
    return static_cast<Hid>((m_blockIndex << 16) | (m_starts.size() << 5));
}

bool HeapBuilder::closeBlock()
{
    // The map starts on an even offset; its last entry is where the last allocation ends.
    const auto dataEnd = static_cast<std::uint16_t>(m_block.size());
    if (m_block.size() % 2)
        m_block.push_back(0);
    putLe16(m_block.data(), static_cast<std::uint16_t>(m_block.size()));
    appendLe16(m_block, static_cast<std::uint16_t>(m_starts.size()));
    appendLe16(m_block, 0);
    for (std::uint16_t start : m_starts)
        appendLe16(m_block, start);
    appendLe16(m_block, dataEnd);
    m_fillLevels.push_back(fillLevel(kMaxBlockData - m_block.size()));

    const auto size = static_cast<std::uint32_t>(m_block.size());
    if (m_blockIndex == 0 || carriesBitmap(m_blockIndex)) {
        const Bid bid = m_store.reserveBid(false);
        m_held.push_back({m_blockIndex, bid, std::move(m_block)});
        m_block = Bytes();
        return m_tree.add(bid, size);
    }
    const auto bid = m_store.write(m_block, false);
    return bid && m_tree.add(*bid, size);
}

std::optional<Bid> HeapBuilder::finish(Hid userRoot)
{
    if (!closeBlock())
        return std::nullopt;
    for (HeldBlock& held : m_held) {
        std::uint8_t* header = held.bytes.data();
        if (held.index == 0) {
            header[2] = 0xEC;
            header[3] = static_cast<std::uint8_t>(m_client);
            putLe32(header + 4, userRoot);
            putFillLevels(header + 8, m_fillLevels, 0, 8);
        } else {
            putFillLevels(header + 2, m_fillLevels, held.index, 128);
        }
        if (!m_store.writeReserved(held.bid, held.bytes))
            return std::nullopt;
    }
    m_held.clear();
    return m_tree.finish();
}

} // namespace mailmend::mailstore::pst
