// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/bth.h"

namespace mailmend::mailstore::pst {

BthBuilder::BthBuilder(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize)
    : m_heap(heap), m_keySize(keySize), m_dataSize(dataSize)
{
}

std::uint64_t BthBuilder::keyOf(const std::uint8_t* record) const
{
    std::uint64_t key = 0;
    for (std::size_t i = m_keySize; i-- > 0;)
        key = (key << 8) | record[i];
    return key;
}

bool BthBuilder::add(ByteView record)
{
    const std::size_t size = m_keySize + m_dataSize;
    if (record.size() != size)
        return false;
    if (m_leaf.size() + size > kMaxHeapAllocation && !flushLeaf())
        return false;
    m_leaf.insert(m_leaf.end(), record.begin(), record.end());
    return true;
}

bool BthBuilder::flushLeaf()
{
    const auto hid = m_heap.allocate(m_leaf);
    if (!hid)
        return false;
    m_leaves.push_back({keyOf(m_leaf.data()), *hid});
    m_leaf.clear();
    return true;
}

std::optional<Hid> BthBuilder::finish()
{
    if (!m_leaf.empty() && !flushLeaf())
        return std::nullopt;
    std::uint8_t levels = 0;
    std::vector<Child> level = std::move(m_leaves);
    m_leaves.clear();
    // Each index record is a child's first key and the child's allocation.
    const std::size_t perIndex = kMaxHeapAllocation / (m_keySize + 4u);
    while (level.size() > 1) {
        std::vector<Child> upper;
        Bytes index;
        for (std::size_t first = 0; first < level.size(); first += perIndex) {
            index.clear();
            for (std::size_t i = first; i < level.size() && i < first + perIndex; ++i) {
                for (std::size_t b = 0; b < m_keySize; ++b)
                    index.push_back(static_cast<std::uint8_t>(level[i].key >> (8 * b)));
                appendLe32(index, level[i].hid);
            }
            const auto hid = m_heap.allocate(index);
            if (!hid)
                return std::nullopt;
            upper.push_back({level[first].key, *hid});
        }
        level = std::move(upper);
        ++levels;
    }
    Bytes header {0xB5, m_keySize, m_dataSize, levels};
    appendLe32(header, level.empty() ? 0 : level.front().hid);
    return m_heap.allocate(header);
}

} // namespace mailmend::mailstore::pst
