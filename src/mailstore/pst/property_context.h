// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "mailstore/pst/bth.h"
#include "mailstore/pst/heap.h"
#include "mailstore/pst/subnode_list.h"
#include "mailstore/pst/value_writer.h"

namespace mailmend::mailstore::pst {

// The properties of one object (the store, a folder, a message, an attachment) as a
// heap-based B-tree keyed by property id. Variable-size values are placed as they are set;
// the tree itself is written by finish.
class PropertyContextBuilder {
public:
    explicit PropertyContextBuilder(BlockStore& store);

    void setInt32(std::uint32_t tag, std::uint32_t value);
    void setBool(std::uint32_t tag, bool value);
    // 8-byte values: times (100 ns since 1601) and 64-bit integers.
    bool setInt64(std::uint32_t tag, std::uint64_t value);
    bool setBinary(std::uint32_t tag, ByteView value);
    // UTF-8 text kept as UTF-16; an empty text is left out.
    bool setString(std::uint32_t tag, std::string_view utf8, bool crlfLineEnds = false);
    // Copies a source in pieces; gives the number of bytes stored.
    std::optional<std::uint64_t> setStream(std::uint32_t tag, ByteSource& source,
                                           std::uint64_t limit);

    // Further subnodes of the object (a message's tables and attachments).
    SubnodeList& subnodes() { return m_subnodes; }
    std::optional<NodeBlocks> finish();

    ValueFailure failure() const;

private:
    struct Record {
        std::uint16_t id;
        std::uint16_t type;
        std::uint32_t value;
    };
    bool put(std::uint32_t tag, std::optional<std::uint32_t> value);

    BlockStore& m_store;
    HeapBuilder m_heap;
    SubnodeList m_subnodes;
    ValueWriter m_values;
    std::vector<Record> m_records;
};

} // namespace mailmend::mailstore::pst
