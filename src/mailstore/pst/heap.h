// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mailstore/pst/block_store.h"
#include "mailstore/pst/data_tree.h"

namespace mailmend::mailstore::pst {

enum class HeapClient : std::uint8_t {
    TableContext = 0x7C,
    BTree = 0xB5,
    PropertyContext = 0xBC,
};

// A heap on a node: allocations of up to 3580 bytes packed into blocks of up to 8176
// bytes, each ending with a map of where its allocations start. Full blocks go to the file
// at once; only the first block (whose header names the root allocation) and the blocks
// that carry fill-level bitmaps wait in memory until finish, so a heap of any size costs
// a few blocks of memory.
class HeapBuilder {
public:
    HeapBuilder(BlockStore& store, HeapClient client);

    std::optional<Hid> allocate(ByteView data);
    // Writes what is left; `userRoot` is the allocation the node's client starts from.
    std::optional<Bid> finish(Hid userRoot);

    // Whether another `allocations` allocations of any size surely fit.
    bool hasRoomFor(std::size_t allocations) const;
    bool overflowed() const { return m_overflow || m_tree.overflowed(); }

private:
    struct HeldBlock {
        std::size_t index;
        Bid bid;
        Bytes bytes;
    };
    static std::size_t headerSize(std::size_t blockIndex);
    void startBlock();
    bool closeBlock();
    bool fits(std::size_t size) const;

    BlockStore& m_store;
    DataTreeBuilder m_tree;
    HeapClient m_client;
    std::size_t m_blockIndex = 0;
    Bytes m_block;                       // the open block: header and allocations
    std::vector<std::uint16_t> m_starts; // where each allocation of the open block starts
    std::vector<std::uint8_t> m_fillLevels; // one per closed block
    std::vector<HeldBlock> m_held;
    bool m_overflow = false;
};

} // namespace mailmend::mailstore::pst
