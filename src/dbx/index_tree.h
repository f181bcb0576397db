// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "dbx/folder_file_layout.h"

namespace mailmend::dbx {

// The B-tree a folder file indexes its objects with: nodes of up to 51 values (offsets of
// info objects), each entry followed by the child holding the values that sort after it,
// with exact value counts for every subtree. Readers follow a child only when its count
// is above zero, so the counts must be right.

using TreeNodeBytes = std::array<unsigned char, kTreeNodeSize>;

struct PlacedTreeNode {
    std::uint32_t offset = 0;
    TreeNodeBytes bytes {};
};

struct BuiltTree {
    std::uint32_t root = 0; // 0 for an empty tree
    std::vector<PlacedTreeNode> nodes;
};

// Lays a balanced tree (every leaf at the same depth, every node but the root at least
// half full) over `values`, which are in key order. `placeNode` gives each node its
// offset; empty when it fails.
std::optional<BuiltTree> buildIndexTree(
    const std::vector<std::uint32_t>& values,
    const std::function<std::optional<std::uint32_t>()>& placeNode);

// Reads the values of the tree at `root` in key order, checking every node as it goes
// (its marker, its entry count, the subtree counts, a bounded depth). `readNode` fills
// the node at an offset; false when it cannot. Empty when the tree does not hold exactly
// `count` values. `nodeCount`, when given, receives the number of nodes read.
std::optional<std::vector<std::uint32_t>> readIndexTree(
    std::uint32_t root, std::uint32_t count,
    const std::function<bool(std::uint32_t offset, TreeNodeBytes& node)>& readNode,
    std::size_t* nodeCount = nullptr);

} // namespace mailmend::dbx
