// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/store_objects.h"

#include <algorithm>

#include "mailstore/pst/property_context.h"
#include "mailstore/pst/property_tags.h"
#include "mailstore/pst/table_columns.h"
#include "mailstore/pst/table_context.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint32_t kSubtreeValid = 0x01;
constexpr std::uint32_t kWastebasketValid = 0x08;
constexpr std::uint32_t kFinderValid = 0x80;
constexpr std::uint32_t kBucketCount = 251;

Bytes entryId(const StoreKey& key, Nid nid)
{
    // Four flag bytes, the store's key, the folder's node id.
    Bytes id(24, 0);
    std::copy(key.begin(), key.end(), id.begin() + 4);
    putLe32(id.data() + 20, nid);
    return id;
}

} // namespace

std::optional<NodeBlocks> writeStoreObject(BlockStore& store, const std::string& displayName,
                                           const StoreKey& key)
{
    PropertyContextBuilder object(store);
    object.setInt32(tag::kValidFolderMask, kSubtreeValid | kWastebasketValid | kFinderValid);
    object.setInt32(tag::kPstPassword, 0);
    if (!object.setBinary(tag::kRecordKey, key)
        || !object.setString(tag::kDisplayName, displayName)
        || !object.setBinary(tag::kIpmSubtreeEntryId, entryId(key, kIpmSubtreeNid))
        || !object.setBinary(tag::kIpmWastebasketEntryId, entryId(key, kDeletedItemsNid))
        || !object.setBinary(tag::kFinderEntryId, entryId(key, kSearchRootNid)))
        return std::nullopt;
    return object.finish();
}

std::optional<NodeBlocks> writeNameToIdMap(BlockStore& store)
{
    // One mapping: the common property set's internet account name (id 0x8580) as the
    // first named property, 0x8000. Readers refuse a map without any.
    static const std::uint8_t kCommonSet[16] = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    constexpr std::uint32_t kAccountNameId = 0x8580;
    constexpr std::uint16_t kFirstStreamGuid = 3; // 1 and 2 stand for the built-in sets
    const auto guidWord = static_cast<std::uint16_t>(kFirstStreamGuid << 1); // a numeric name
    Bytes entry;
    appendLe32(entry, kAccountNameId);
    appendLe16(entry, guidWord);
    appendLe16(entry, 0);
    const std::uint32_t bucket = (kAccountNameId ^ guidWord) % kBucketCount;

    PropertyContextBuilder object(store);
    object.setInt32(tag::kNameidBucketCount, kBucketCount);
    if (!object.setBinary(tag::kNameidStreamGuid, kCommonSet)
        || !object.setBinary(tag::kNameidStreamEntry, entry)
        || !object.setBinary(tag::kNameidStreamString, {})
        || !object.setBinary(tag::kNameidBucketBase + (bucket << 16), entry))
        return std::nullopt;
    return object.finish();
}

std::optional<NodeBlocks> writeFolderObject(BlockStore& store, const FolderSummary& folder)
{
    PropertyContextBuilder object(store);
    object.setInt32(tag::kContentCount, folder.contentCount);
    object.setInt32(tag::kContentUnreadCount, folder.unreadCount);
    object.setBool(tag::kSubfolders, folder.hasSubfolders);
    if (!object.setString(tag::kDisplayName, folder.name)
        || !object.setString(tag::kContainerClass, folder.containerClass))
        return std::nullopt;
    return object.finish();
}

std::optional<NodeBlocks> writeHierarchyTable(BlockStore& store,
                                              const std::vector<FolderSummary>& children)
{
    TableContextBuilder table(store, hierarchyColumns());
    for (const FolderSummary& child : children) {
        TableRow row(child.nid);
        row.setString(tag::kDisplayName, child.name);
        row.setInt32(tag::kContentCount, child.contentCount);
        row.setInt32(tag::kContentUnreadCount, child.unreadCount);
        row.setBool(tag::kSubfolders, child.hasSubfolders);
        row.setString(tag::kContainerClass, child.containerClass);
        row.setInt32(tag::kPstHiddenCount, 0);
        row.setInt32(tag::kPstHiddenUnread, 0);
        if (!table.addRow(row))
            return std::nullopt;
    }
    return table.finish();
}

std::optional<NodeBlocks> writeEmptyTable(BlockStore& store,
                                          const std::vector<std::uint32_t>& columns)
{
    TableContextBuilder table(store, columns);
    return table.finish();
}

} // namespace mailmend::mailstore::pst
