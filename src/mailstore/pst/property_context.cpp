// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/property_context.h"

#include <algorithm>

#include "mailstore/pst/property_tags.h"

namespace mailmend::mailstore::pst {

PropertyContextBuilder::PropertyContextBuilder(BlockStore& store)
    : m_store(store),
      m_heap(store, HeapClient::PropertyContext),
      m_values(store, m_heap, m_subnodes)
{
}

bool PropertyContextBuilder::put(std::uint32_t tag, std::optional<std::uint32_t> value)
{
    if (!value)
        return false;
    m_records.push_back({idOf(tag), static_cast<std::uint16_t>(tag & 0xFFFF), *value});
    return true;
}

void PropertyContextBuilder::setInt32(std::uint32_t tag, std::uint32_t value)
{
    put(tag, value);
}

void PropertyContextBuilder::setBool(std::uint32_t tag, bool value)
{
    put(tag, value ? 1u : 0u);
}

bool PropertyContextBuilder::setInt64(std::uint32_t tag, std::uint64_t value)
{
    std::uint8_t bytes[8];
    putLe64(bytes, value);
    return put(tag, m_values.bytes(bytes));
}

bool PropertyContextBuilder::setBinary(std::uint32_t tag, ByteView value)
{
    return put(tag, m_values.bytes(value));
}

bool PropertyContextBuilder::setString(std::uint32_t tag, std::string_view utf8,
                                       bool crlfLineEnds)
{
    if (utf8.empty())
        return true;
    return put(tag, m_values.text(utf8, crlfLineEnds));
}

std::optional<std::uint64_t> PropertyContextBuilder::setStream(std::uint32_t tag,
                                                               ByteSource& source,
                                                               std::uint64_t limit)
{
    const auto stored = m_values.stream(source, limit);
    if (!stored || !put(tag, stored->reference))
        return std::nullopt;
    return stored->size;
}

ValueFailure PropertyContextBuilder::failure() const
{
    if (m_values.failure() != ValueFailure::None)
        return m_values.failure();
    if (m_store.failed())
        return ValueFailure::File;
    return (m_heap.overflowed() || m_subnodes.overflowed()) ? ValueFailure::TooLarge
                                                             : ValueFailure::File;
}

std::optional<NodeBlocks> PropertyContextBuilder::finish()
{
    // A later value for the same id replaces an earlier one.
    std::stable_sort(m_records.begin(), m_records.end(),
                     [](const Record& a, const Record& b) { return a.id < b.id; });
    BthBuilder tree(m_heap, 2, 6);
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (i + 1 < m_records.size() && m_records[i + 1].id == m_records[i].id)
            continue;
        std::uint8_t record[8];
        putLe16(record, m_records[i].id);
        putLe16(record + 2, m_records[i].type);
        putLe32(record + 4, m_records[i].value);
        if (!tree.add(record))
            return std::nullopt;
    }
    const auto root = tree.finish();
    if (!root)
        return std::nullopt;
    return finishHeapNode(m_heap, *root, m_subnodes, m_store);
}

} // namespace mailmend::mailstore::pst
