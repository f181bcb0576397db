// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "mailstore/mail_message.h"
#include "mailstore/pst/heap.h"
#include "mailstore/pst/subnode_list.h"

namespace mailmend::mailstore::pst {

// Why a value could not be stored.
enum class ValueFailure {
    None,
    File,       // the store file failed
    TooLarge,   // more than a value, a heap or a node can hold
    ReadFailed, // the attachment's source reported an error
};

// Places the variable-size values of one heap-based node: into the heap when a value
// fits an allocation, else into a subnode of the node with its data in blocks of its own.
// What it returns is the value's reference (a heap id or a subnode id).
class ValueWriter {
public:
    ValueWriter(BlockStore& store, HeapBuilder& heap, SubnodeList& subnodes)
        : m_store(store), m_heap(heap), m_subnodes(subnodes)
    {
    }

    std::optional<std::uint32_t> bytes(ByteView data);
    // UTF-8 text stored as UTF-16LE without a terminator.
    std::optional<std::uint32_t> text(std::string_view utf8, bool crlfLineEnds = false);

    struct Stored {
        std::uint32_t reference = 0;
        std::uint64_t size = 0;
    };
    // Copies a source of unknown length in pieces; at most `limit` bytes are accepted.
    std::optional<Stored> stream(ByteSource& source, std::uint64_t limit);

    ValueFailure failure() const { return m_failure; }

private:
    std::optional<std::uint32_t> fail(ValueFailure failure);
    std::optional<std::uint32_t> toSubnode(DataStreamWriter& writer);

    BlockStore& m_store;
    HeapBuilder& m_heap;
    SubnodeList& m_subnodes;
    ValueFailure m_failure = ValueFailure::None;
};

} // namespace mailmend::mailstore::pst
