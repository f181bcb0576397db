// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mailstore/pst/block_store.h"

namespace mailmend::mailstore::pst {

// One entry of the node index: a node's data, its subnodes and its parent.
struct NodeRecord {
    Nid nid = 0;
    Bid data = 0;
    Bid sub = 0;
    Nid parent = 0;
};
using NodeRecords = std::deque<NodeRecord>; // as BlockRecords

// Where a tree's root page lies.
struct PageRef {
    Bid bid = 0;
    std::uint64_t offset = 0;
};

// Writes the block index and the node index as B-trees of 512-byte pages, leaves first.
// Both sort their records; keys must be unique.
std::optional<PageRef> writeBlockTree(BlockStore& store, BlockRecords& records);
std::optional<PageRef> writeNodeTree(BlockStore& store, NodeRecords& records);

} // namespace mailmend::mailstore::pst
