// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mailstore/pst/block_store.h"
#include "mailstore/pst/heap.h"

namespace mailmend::mailstore::pst {

// The data and the subnodes one node (or subnode) is made of.
struct NodeBlocks {
    Bid data = 0;
    Bid sub = 0; // 0: no subnodes
};

// The most subnodes one node can have: an SIBLOCK of SLBLOCKs.
inline constexpr std::size_t kMaxSubnodes = 510 * 340;

// The subnodes of one node: values too large for its heap, a message's tables and
// attachments. Written as SLBLOCKs of up to 340 entries, under one SIBLOCK when more.
class SubnodeList {
public:
    void add(Nid nid, const NodeBlocks& blocks) { m_entries.push_back({nid, blocks}); }
    // A new id for a value's subnode, unique within this list.
    Nid newValueNid();

    // Writes the lists; gives 0 when there are no subnodes, nullopt on failure.
    std::optional<Bid> write(BlockStore& store);
    bool overflowed() const { return m_overflow; }

private:
    struct Entry {
        Nid nid;
        NodeBlocks blocks;
    };
    std::vector<Entry> m_entries;
    std::uint32_t m_nextValueIndex = 1;
    bool m_overflow = false;
};

// Ends a node whose data is a heap: the heap's last blocks, then its subnode list.
std::optional<NodeBlocks> finishHeapNode(HeapBuilder& heap, Hid root, SubnodeList& subnodes,
                                         BlockStore& store);

} // namespace mailmend::mailstore::pst
