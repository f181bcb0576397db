// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/data_tree.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::size_t kIdsPerList = (kMaxBlockData - 8) / 8; // 1021

Bytes listBlock(std::uint8_t level, const std::vector<Bid>& ids, std::uint32_t total)
{
    Bytes block;
    block.reserve(8 + ids.size() * 8);
    block.push_back(0x01);
    block.push_back(level);
    appendLe16(block, static_cast<std::uint16_t>(ids.size()));
    appendLe32(block, total);
    for (Bid id : ids)
        appendLe64(block, id);
    return block;
}

} // namespace

bool DataTreeBuilder::add(Bid bid, std::uint32_t size)
{
    if (m_total + size > kLargestTreeData) {
        m_overflow = true;
        return false;
    }
    if (m_pending.size() == kIdsPerList && !writeList())
        return false;
    m_pending.push_back(bid);
    m_pendingSize += size;
    m_total += size;
    return true;
}

bool DataTreeBuilder::writeList()
{
    if (m_lists.size() == kIdsPerList) {
        m_overflow = true;
        return false;
    }
    const auto id = m_store.write(listBlock(1, m_pending, m_pendingSize), true);
    if (!id)
        return false;
    m_lists.emplace_back(*id, m_pendingSize);
    m_pending.clear();
    m_pendingSize = 0;
    return true;
}

std::optional<Bid> DataTreeBuilder::finish()
{
    if (m_lists.empty()) {
        if (m_pending.size() == 1)
            return m_pending.front();
        if (m_pending.empty())
            return std::nullopt;
    }
    if (!m_pending.empty() && !writeList())
        return std::nullopt;
    if (m_lists.size() == 1)
        return m_lists.front().first;
    std::vector<Bid> ids;
    ids.reserve(m_lists.size());
    for (const auto& list : m_lists)
        ids.push_back(list.first);
    return m_store.write(listBlock(2, ids, static_cast<std::uint32_t>(m_total)), true);
}

bool DataStreamWriter::write(ByteView data)
{
    while (!data.empty()) {
        const std::size_t room = kMaxBlockData - m_buffer.size();
        const std::size_t take = data.size() < room ? data.size() : room;
        m_buffer.insert(m_buffer.end(), data.begin(), data.begin() + take);
        data = data.subspan(take);
        m_size += take;
        if (m_buffer.size() == kMaxBlockData && !flush())
            return false;
    }
    return true;
}

bool DataStreamWriter::flush()
{
    const auto id = m_store.write(m_buffer, false);
    if (!id || !m_tree.add(*id, static_cast<std::uint32_t>(m_buffer.size())))
        return false;
    m_buffer.clear();
    return true;
}

std::optional<Bid> DataStreamWriter::finish()
{
    if (!m_buffer.empty() && !flush())
        return std::nullopt;
    return m_tree.finish();
}

} // namespace mailmend::mailstore::pst
