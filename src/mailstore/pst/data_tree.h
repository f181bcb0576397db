// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "mailstore/pst/block_store.h"

namespace mailmend::mailstore::pst {

// Ties the data blocks of one node (or subnode) together: one block stands alone; up to
// 1021 are listed by an XBLOCK; more by an XXBLOCK over XBLOCKs. Each XBLOCK is written
// as soon as it is full, so only its id stays in memory.
class DataTreeBuilder {
public:
    explicit DataTreeBuilder(BlockStore& store) : m_store(store) {}

    // Appends the next block of the data (its id, and its size in bytes).
    bool add(Bid bid, std::uint32_t size);
    // The id the node's data is reached by; nullopt on failure or when nothing was added.
    std::optional<Bid> finish();

    bool empty() const { return m_pending.empty() && m_lists.empty(); }
    // True when a failure came from the data being too large rather than from the file.
    bool overflowed() const { return m_overflow; }

private:
    bool writeList();

    BlockStore& m_store;
    std::vector<Bid> m_pending;
    std::uint32_t m_pendingSize = 0;
    std::vector<std::pair<Bid, std::uint32_t>> m_lists;
    std::uint64_t m_total = 0;
    bool m_overflow = false;
};

// Cuts a byte stream into full-size data blocks as it arrives.
class DataStreamWriter {
public:
    explicit DataStreamWriter(BlockStore& store) : m_store(store), m_tree(store) {}

    bool write(ByteView data);
    // The id of the stream's data; nullopt on failure or for an empty stream.
    std::optional<Bid> finish();
    std::uint64_t size() const { return m_size; }
    bool overflowed() const { return m_tree.overflowed(); }

private:
    bool flush();

    BlockStore& m_store;
    DataTreeBuilder m_tree;
    Bytes m_buffer;
    std::uint64_t m_size = 0;
};

// The largest value one data tree can hold: its total is a 32-bit count.
inline constexpr std::uint64_t kLargestTreeData = 0xFFFFFFFFu;

} // namespace mailmend::mailstore::pst
