// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/pst/bth.h"
#include "mailstore/pst/data_tree.h"
#include "mailstore/pst/heap.h"
#include "mailstore/pst/subnode_list.h"
#include "mailstore/pst/value_writer.h"

namespace mailmend::mailstore::pst {

// The values of one table row, by property tag. Cells not set stay empty.
class TableRow {
public:
    explicit TableRow(std::uint32_t rowId = 0) : m_rowId(rowId) {}

    void setRowId(std::uint32_t rowId) { m_rowId = rowId; }
    std::uint32_t rowId() const { return m_rowId; }

    void setInt32(std::uint32_t tag, std::uint32_t value) { setNumber(tag, value); }
    void setBool(std::uint32_t tag, bool value) { setNumber(tag, value ? 1 : 0); }
    void setInt64(std::uint32_t tag, std::uint64_t value) { setNumber(tag, value); }
    void setString(std::uint32_t tag, std::string utf8);
    void setBinary(std::uint32_t tag, Bytes value);

    struct Cell {
        std::uint32_t tag = 0;
        std::uint64_t number = 0;
        std::string text;
        Bytes binary;
    };
    const std::vector<Cell>& cells() const { return m_cells; }

private:
    void setNumber(std::uint32_t tag, std::uint64_t value);
    Cell& cell(std::uint32_t tag);

    std::uint32_t m_rowId;
    std::vector<Cell> m_cells;
};

// A table of fixed-size rows, each with its row id, plus an index from row id to row
// number. Rows are written as they come: whole blocks of rows go to the file as soon as
// they fill, variable-size cells into the table's heap, so a table of any length keeps
// only a few blocks in memory. Row ids must come in ascending order.
class TableContextBuilder {
public:
    // `columns`: the property tags of the table, besides the row id and row version.
    TableContextBuilder(BlockStore& store, const std::vector<std::uint32_t>& columns);

    bool addRow(const TableRow& row);
    // Whether one more row surely fits the table's limits.
    bool hasRoomForRow() const;
    std::uint32_t rowCount() const { return m_rowCount; }

    std::optional<NodeBlocks> finish();
    ValueFailure failure() const { return m_values.failure(); }

private:
    struct Column {
        std::uint32_t tag;
        std::uint16_t offset;
        std::uint8_t size;
        std::uint8_t bit;
    };
    const Column* find(std::uint32_t tag) const;
    bool flushRows();

    BlockStore& m_store;
    HeapBuilder m_heap;
    SubnodeList m_subnodes;
    ValueWriter m_values;
    BthBuilder m_index;
    DataTreeBuilder m_matrix;
    std::vector<Column> m_columns;
    std::uint16_t m_groupEnds[4] = {}; // ends of the 8/4-, 2- and 1-byte groups and the bitmap
    std::size_t m_rowSize = 0;
    std::size_t m_rowsPerBlock = 0;
    Bytes m_rows; // rows not yet written
    std::uint32_t m_rowCount = 0;
    std::optional<std::uint32_t> m_lastRowId;
};

} // namespace mailmend::mailstore::pst
