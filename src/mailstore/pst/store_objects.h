// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/pst/subnode_list.h"

namespace mailmend::mailstore::pst {

using StoreKey = std::array<std::uint8_t, 16>;

// A folder as its own object and its parent's hierarchy table describe it.
struct FolderSummary {
    Nid nid = 0;
    std::string name;
    std::string containerClass; // "IPF.Note" for mail folders; empty for the special roots
    std::uint32_t contentCount = 0;
    std::uint32_t unreadCount = 0;
    bool hasSubfolders = false;
};

// The store object: its name and the entry ids of the mail root, the wastebasket and the
// search root, built from the store's key.
std::optional<NodeBlocks> writeStoreObject(BlockStore& store, const std::string& displayName,
                                           const StoreKey& key);
// The map of named properties, holding the one mapping every store starts with.
std::optional<NodeBlocks> writeNameToIdMap(BlockStore& store);

std::optional<NodeBlocks> writeFolderObject(BlockStore& store, const FolderSummary& folder);
std::optional<NodeBlocks> writeHierarchyTable(BlockStore& store,
                                              const std::vector<FolderSummary>& children);
// A table without rows: a folder's associated contents, or one of the store's templates.
std::optional<NodeBlocks> writeEmptyTable(BlockStore& store,
                                          const std::vector<std::uint32_t>& columns);

} // namespace mailmend::mailstore::pst
