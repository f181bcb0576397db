// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/subnode_list.h"

#include <algorithm>

namespace mailmend::mailstore::pst {
namespace {

constexpr std::size_t kLeafEntries = (kMaxBlockData - 8) / 24;  // 340
constexpr std::size_t kIndexEntries = (kMaxBlockData - 8) / 16; // 510

void appendListHeader(Bytes& block, std::uint8_t level, std::size_t count)
{
    block.push_back(0x02);
    block.push_back(level);
    appendLe16(block, static_cast<std::uint16_t>(count));
    appendLe32(block, 0);
}

} // namespace

Nid SubnodeList::newValueNid()
{
    return makeNid(m_nextValueIndex++, NidType::Ltp);
}

std::optional<Bid> SubnodeList::write(BlockStore& store)
{
    if (m_entries.empty())
        return Bid {0};
    const std::size_t leaves = (m_entries.size() + kLeafEntries - 1) / kLeafEntries;
    if (leaves > kIndexEntries) {
        m_overflow = true;
        return std::nullopt;
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.nid < b.nid; });

    std::vector<std::pair<Nid, Bid>> leafIds;
    Bytes block;
    for (std::size_t first = 0; first < m_entries.size(); first += kLeafEntries) {
        const std::size_t count = std::min(kLeafEntries, m_entries.size() - first);
        block.clear();
        appendListHeader(block, 0, count);
        for (std::size_t i = first; i < first + count; ++i) {
            appendLe64(block, m_entries[i].nid);
            appendLe64(block, m_entries[i].blocks.data);
            appendLe64(block, m_entries[i].blocks.sub);
        }
        const auto id = store.write(block, true);
        if (!id)
            return std::nullopt;
        leafIds.emplace_back(m_entries[first].nid, *id);
    }
    if (leafIds.size() == 1)
        return leafIds.front().second;
    block.clear();
    appendListHeader(block, 1, leafIds.size());
    for (const auto& [nid, id] : leafIds) {
        appendLe64(block, nid);
        appendLe64(block, id);
    }
    return store.write(block, true);
}

std::optional<NodeBlocks> finishHeapNode(HeapBuilder& heap, Hid root, SubnodeList& subnodes,
                                         BlockStore& store)
{
    const auto data = heap.finish(root);
    if (!data)
        return std::nullopt;
    const auto sub = subnodes.write(store);
    if (!sub)
        return std::nullopt;
    return NodeBlocks {*data, *sub};
}

} // namespace mailmend::mailstore::pst
