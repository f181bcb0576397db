// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/table_context.h"

#include <algorithm>

#include "mailstore/pst/property_tags.h"

namespace mailmend::mailstore::pst {
namespace {

// How many bytes a cell of this type takes in the row; values of variable size take a
// 4-byte reference.
std::uint8_t cellSize(std::uint32_t tag)
{
    switch (typeOf(tag)) {
    case PropType::Boolean:
        return 1;
    case PropType::Integer16:
        return 2;
    case PropType::Integer64:
    case PropType::Time:
        return 8;
    default:
        return 4;
    }
}

bool isInline(std::uint32_t tag)
{
    const PropType type = typeOf(tag);
    return type != PropType::String && type != PropType::Binary;
}

} // namespace

TableRow::Cell& TableRow::cell(std::uint32_t tag)
{
    for (Cell& existing : m_cells)
        if (existing.tag == tag)
            return existing;
    m_cells.push_back({});
    m_cells.back().tag = tag;
    return m_cells.back();
}

void TableRow::setNumber(std::uint32_t tag, std::uint64_t value)
{
    cell(tag).number = value;
}

void TableRow::setString(std::uint32_t tag, std::string utf8)
{
    if (!utf8.empty())
        cell(tag).text = std::move(utf8);
}

void TableRow::setBinary(std::uint32_t tag, Bytes value)
{
    cell(tag).binary = std::move(value);
}

TableContextBuilder::TableContextBuilder(BlockStore& store,
                                         const std::vector<std::uint32_t>& columns)
    : m_store(store),
      m_heap(store, HeapClient::TableContext),
      m_values(store, m_heap, m_subnodes),
      m_index(m_heap, 4, 4),
      m_matrix(store)
{
    std::vector<std::uint32_t> tags {tag::kLtpRowId, tag::kLtpRowVersion};
    for (std::uint32_t column : columns)
        if (std::find(tags.begin(), tags.end(), column) == tags.end())
            tags.push_back(column);

    // Row layout: the row id and version, then the 8-, 4-, 2- and 1-byte cells, then one
    // bit per column telling which cells hold a value.
    m_columns.push_back({tags[0], 0, 4, 0});
    m_columns.push_back({tags[1], 4, 4, 1});
    std::uint16_t offset = 8;
    const std::uint8_t sizes[] = {8, 4, 2, 1};
    for (std::uint8_t size : sizes) {
        for (std::size_t i = 2; i < tags.size(); ++i) {
            if (cellSize(tags[i]) != size)
                continue;
            m_columns.push_back({tags[i], offset, size, static_cast<std::uint8_t>(i)});
            offset = static_cast<std::uint16_t>(offset + size);
        }
        if (size < 8)
            m_groupEnds[size == 4 ? 0 : size == 2 ? 1 : 2] = offset;
    }
    m_groupEnds[3] = static_cast<std::uint16_t>(offset + (tags.size() + 7) / 8);
    m_rowSize = m_groupEnds[3];
    m_rowsPerBlock = kMaxBlockData / m_rowSize;
}

const TableContextBuilder::Column* TableContextBuilder::find(std::uint32_t tag) const
{
    for (const Column& column : m_columns)
        if (column.tag == tag)
            return &column;
    return nullptr;
}

bool TableContextBuilder::hasRoomForRow() const
{
    return m_heap.hasRoomFor(2 * m_columns.size() + 4)
        && (static_cast<std::uint64_t>(m_rowCount) + 1) * m_rowSize <= kLargestTreeData;
}

bool TableContextBuilder::addRow(const TableRow& row)
{
    if (m_lastRowId && row.rowId() <= *m_lastRowId)
        return false;
    const std::size_t at = m_rows.size();
    m_rows.resize(at + m_rowSize, 0);
    std::uint8_t* bytes = m_rows.data() + at;
    std::uint8_t* bitmap = bytes + m_groupEnds[2];
    auto setBit = [bitmap](std::uint8_t bit) {
        bitmap[bit / 8] = static_cast<std::uint8_t>(bitmap[bit / 8] | (0x80u >> (bit % 8)));
    };
    putLe32(bytes, row.rowId());
    putLe32(bytes + 4, 0);
    setBit(0);
    setBit(1);

    for (const TableRow::Cell& cell : row.cells()) {
        const Column* column = find(cell.tag);
        if (!column || column->offset < 8)
            continue;
        std::uint64_t value = cell.number;
        if (!isInline(cell.tag)) {
            const auto reference = typeOf(cell.tag) == PropType::String
                ? (cell.text.empty() ? std::nullopt : m_values.text(cell.text))
                : m_values.bytes(cell.binary);
            if (!reference) {
                if (m_values.failure() == ValueFailure::None)
                    continue;
                m_rows.resize(at);
                return false;
            }
            value = *reference;
        }
        std::uint8_t* out = bytes + column->offset;
        for (std::size_t b = 0; b < column->size; ++b)
            out[b] = static_cast<std::uint8_t>(value >> (8 * b));
        setBit(column->bit);
    }

    std::uint8_t record[8];
    putLe32(record, row.rowId());
    putLe32(record + 4, m_rowCount);
    if (!m_index.add(record)) {
        m_rows.resize(at);
        return false;
    }
    m_lastRowId = row.rowId();
    ++m_rowCount;
    return m_rows.size() < m_rowsPerBlock * m_rowSize || flushRows();
}

bool TableContextBuilder::flushRows()
{
    const auto id = m_store.write(m_rows, false);
    if (!id || !m_matrix.add(*id, static_cast<std::uint32_t>(m_rows.size())))
        return false;
    m_rows.clear();
    return true;
}

std::optional<NodeBlocks> TableContextBuilder::finish()
{
    // Few rows live in the heap; more in blocks of whole rows under a subnode.
    std::uint32_t rowsReference = 0;
    if (m_matrix.empty() && m_rows.size() <= kMaxHeapAllocation) {
        if (!m_rows.empty()) {
            const auto hid = m_heap.allocate(m_rows);
            if (!hid)
                return std::nullopt;
            rowsReference = *hid;
        }
    } else {
        if (!m_rows.empty() && !flushRows())
            return std::nullopt;
        const auto data = m_matrix.finish();
        if (!data)
            return std::nullopt;
        rowsReference = m_subnodes.newValueNid();
        m_subnodes.add(rowsReference, {*data, 0});
    }
    const auto index = m_index.finish();
    if (!index)
        return std::nullopt;

    std::vector<Column> sorted = m_columns;
    std::sort(sorted.begin(), sorted.end(),
              [](const Column& a, const Column& b) { return a.tag < b.tag; });
    Bytes info {0x7C, static_cast<std::uint8_t>(sorted.size())};
    for (std::uint16_t end : m_groupEnds)
        appendLe16(info, end);
    appendLe32(info, *index);
    appendLe32(info, rowsReference);
    appendLe32(info, 0);
    for (const Column& column : sorted) {
        appendLe32(info, column.tag);
        appendLe16(info, column.offset);
        info.push_back(column.size);
        info.push_back(column.bit);
    }
    const auto root = m_heap.allocate(info);
    if (!root)
        return std::nullopt;
    return finishHeapNode(m_heap, *root, m_subnodes, m_store);
}

} // namespace mailmend::mailstore::pst
