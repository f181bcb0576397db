// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "dbx/block_table.h"

namespace mailmend::dbx {

// The block table the reader keeps: 16 bytes a block, where a BlockRecord takes 20.
//
// Hostile files can hold a header every 9 bytes, so a 4 GiB file may hold 477 million of
// them; at 16 bytes each that is 1.8 bytes per input byte. Two facts make the packing
// lossless for every header the scan accepts:
// - a block that does not use its whole data area has no successor, so the data length
//   and the nextOffset share one word: 0 means 512 used bytes and no successor, 1..511
//   that many used bytes and no successor, anything else (always above 60115) a link;
// - fewer than 2^29 blocks fit in 4 GiB, so the successor's index, the role and the
//   predecessor mark share the other.
//
// Storage grows in chunks of 1 MiB that are never moved, so the table never holds an old
// and a new copy of itself while it grows. The first chunk starts at the size the caller
// expects (a real folder's block count) and is copied into a full one when it fills.
class PackedBlockTable {
public:
    static constexpr std::size_t kMaxBlocks = (std::size_t {1} << 29) - 2;

    // Empties the table and lets go of its storage; the first chunk will start with room
    // for `expected` blocks (at least one, at most a full chunk).
    void clear(std::size_t expected = kChunkBlocks);

    // Appends a header that passes the acceptance rule. False, with nothing added, for one
    // that does not (a short block with a link) or when the table is full. Throws
    // std::bad_alloc when memory runs out.
    bool push(std::uint32_t fileOffset, std::uint32_t selfOffset, std::uint32_t dataLength,
              std::uint32_t nextOffset);

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // Bytes of storage held, used or not.
    std::size_t capacityBytes() const;

    std::uint32_t fileOffset(std::size_t i) const { return at(i).fileOffset; }
    std::uint32_t selfOffset(std::size_t i) const { return at(i).selfOffset; }
    std::uint32_t nextOffset(std::size_t i) const
    {
        const std::uint32_t word = at(i).nextOrLength;
        return word < kBlockDataSizeWord ? 0 : word;
    }
    std::uint16_t dataLength(std::size_t i) const
    {
        const std::uint32_t word = at(i).nextOrLength;
        return static_cast<std::uint16_t>(word == 0 || word >= kBlockDataSizeWord ? 512 : word);
    }
    std::int32_t nextIndex(std::size_t i) const
    {
        return static_cast<std::int32_t>(at(i).link & kIndexMask) - 1;
    }
    BlockRole role(std::size_t i) const { return kRoles[(at(i).link >> kRoleShift) & 3]; }
    bool hasPredecessor(std::size_t i) const { return (at(i).link & kPredecessorBit) != 0; }

    void setNextIndex(std::size_t i, std::int32_t next)
    {
        std::uint32_t& link = at(i).link;
        link = (link & ~kIndexMask) | (static_cast<std::uint32_t>(next + 1) & kIndexMask);
    }
    void setRole(std::size_t i, BlockRole role)
    {
        std::uint32_t& link = at(i).link;
        link = (link & ~kRoleMask) | (roleCode(role) << kRoleShift);
    }
    void setHasPredecessor(std::size_t i, bool has)
    {
        std::uint32_t& link = at(i).link;
        link = has ? (link | kPredecessorBit) : (link & ~kPredecessorBit);
    }

    // The block unpacked, for code that reads whole records.
    BlockRecord operator[](std::size_t i) const;

private:
    struct Packed {
        std::uint32_t fileOffset;
        std::uint32_t selfOffset;
        std::uint32_t nextOrLength;
        std::uint32_t link; // bits 0-28 nextIndex + 1, 29-30 role, 31 has a predecessor
    };
    static_assert(sizeof(Packed) == 16);

    static constexpr unsigned kChunkShift = 16;
    static constexpr std::size_t kChunkBlocks = std::size_t {1} << kChunkShift;
    static constexpr std::uint32_t kBlockDataSizeWord = 512;
    static constexpr std::uint32_t kIndexMask = (1u << 29) - 1;
    static constexpr unsigned kRoleShift = 29;
    static constexpr std::uint32_t kRoleMask = 3u << kRoleShift;
    static constexpr std::uint32_t kPredecessorBit = 1u << 31;
    static constexpr BlockRole kRoles[4] = {BlockRole::Unlinked, BlockRole::Linked,
                                            BlockRole::LastBlock, BlockRole::MailHead};

    static constexpr std::uint32_t roleCode(BlockRole role)
    {
        switch (role) {
        case BlockRole::Linked: return 1;
        case BlockRole::LastBlock: return 2;
        case BlockRole::MailHead: return 3;
        case BlockRole::Unlinked: break;
        }
        return 0;
    }

    const Packed& at(std::size_t i) const
    {
        return m_chunks[i >> kChunkShift][i & (kChunkBlocks - 1)];
    }
    Packed& at(std::size_t i)
    {
        return const_cast<Packed&>(static_cast<const PackedBlockTable&>(*this).at(i));
    }

    std::vector<std::unique_ptr<Packed[]>> m_chunks;
    std::size_t m_first = kChunkBlocks; // room in the first chunk while it is the only one
    std::size_t m_size = 0;
};

} // namespace mailmend::dbx
