// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/btree_writer.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "mailstore/pst/page.h"
#include "platform/random_access_file.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::size_t kEntriesArea = 488;
constexpr std::size_t kBranchEntrySize = 24;
constexpr std::size_t kBlockLeafEntrySize = 24;
constexpr std::size_t kNodeLeafEntrySize = 32;
// Blocks referenced once; the count Outlook's own files show for them.
constexpr std::uint16_t kBlockReferences = 2;

struct Child {
    std::uint64_t key;
    PageRef page;
};

// Writes one level of a tree: `count` entries of `entrySize` bytes, `fill` putting entry i
// at `out`. Returns the first key and place of each page.
std::optional<std::vector<Child>> writeLevel(
    BlockStore& store, PageType type, std::uint8_t level, std::size_t count,
    std::size_t entrySize, const std::function<std::uint64_t(std::size_t, std::uint8_t*)>& fill)
{
    const std::size_t perPage = kEntriesArea / entrySize;
    std::vector<Child> pages;
    std::uint8_t page[kPageSize];
    std::size_t first = 0;
    do {
        const std::size_t entries = std::min(perPage, count - first);
        std::memset(page, 0, sizeof page);
        std::uint64_t firstKey = 0;
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint64_t key = fill(first + i, page + i * entrySize);
            if (i == 0)
                firstKey = key;
        }
        page[kEntriesArea] = static_cast<std::uint8_t>(entries);
        page[kEntriesArea + 1] = static_cast<std::uint8_t>(perPage);
        page[kEntriesArea + 2] = static_cast<std::uint8_t>(entrySize);
        page[kEntriesArea + 3] = level;
        const Bid bid = store.reserveBid(false);
        const std::uint64_t offset = store.space().allocate(kPageSize, kPageSize);
        sealPage(page, type, bid, offset);
        if (!store.file().writeAt(offset, page, kPageSize)) {
            store.fail("cannot write the store file: " + store.file().lastError());
            return std::nullopt;
        }
        pages.push_back({firstKey, {bid, offset}});
        first += entries;
    } while (first < count);
    return pages;
}

// Adds branch levels until one page is left.
std::optional<PageRef> writeBranches(BlockStore& store, PageType type,
                                     std::vector<Child> level)
{
    std::uint8_t depth = 0;
    while (level.size() > 1) {
        ++depth;
        const auto upper = writeLevel(store, type, depth, level.size(), kBranchEntrySize,
                                      [&level](std::size_t i, std::uint8_t* out) {
                                          putLe64(out, level[i].key);
                                          putLe64(out + 8, level[i].page.bid);
                                          putLe64(out + 16, level[i].page.offset);
                                          return level[i].key;
                                      });
        if (!upper)
            return std::nullopt;
        level = *upper;
    }
    return level.front().page;
}

} // namespace

std::optional<PageRef> writeBlockTree(BlockStore& store, BlockRecords& records)
{
    std::sort(records.begin(), records.end(),
              [](const BlockRecord& a, const BlockRecord& b) { return a.bid < b.bid; });
    const auto leaves = writeLevel(store, PageType::BlockBTree, 0, records.size(),
                                   kBlockLeafEntrySize,
                                   [&records](std::size_t i, std::uint8_t* out) {
                                       putLe64(out, records[i].bid);
                                       putLe64(out + 8, records[i].offset());
                                       putLe16(out + 16, records[i].size);
                                       putLe16(out + 18, kBlockReferences);
                                       return records[i].bid;
                                   });
    if (!leaves)
        return std::nullopt;
    return writeBranches(store, PageType::BlockBTree, *leaves);
}

std::optional<PageRef> writeNodeTree(BlockStore& store, NodeRecords& records)
{
    std::sort(records.begin(), records.end(),
              [](const NodeRecord& a, const NodeRecord& b) { return a.nid < b.nid; });
    const auto leaves = writeLevel(store, PageType::NodeBTree, 0, records.size(),
                                   kNodeLeafEntrySize,
                                   [&records](std::size_t i, std::uint8_t* out) {
                                       putLe64(out, records[i].nid);
                                       putLe64(out + 8, records[i].data);
                                       putLe64(out + 16, records[i].sub);
                                       putLe32(out + 24, records[i].parent);
                                       return std::uint64_t {records[i].nid};
                                   });
    if (!leaves)
        return std::nullopt;
    return writeBranches(store, PageType::NodeBTree, *leaves);
}

} // namespace mailmend::mailstore::pst
