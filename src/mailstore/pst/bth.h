// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mailstore/pst/heap.h"

namespace mailmend::mailstore::pst {

// A B-tree on a heap: fixed-size records (key then data) in ascending key order. Leaf
// allocations are placed as they fill; index levels over them are added by finish, which
// returns the tree's header allocation.
class BthBuilder {
public:
    BthBuilder(HeapBuilder& heap, std::uint8_t keySize, std::uint8_t dataSize);

    // `record` is keySize + dataSize bytes; keys must come in strictly ascending order.
    bool add(ByteView record);
    std::optional<Hid> finish();

private:
    struct Child {
        std::uint64_t key;
        Hid hid;
    };
    bool flushLeaf();
    std::uint64_t keyOf(const std::uint8_t* record) const;

    HeapBuilder& m_heap;
    std::uint8_t m_keySize;
    std::uint8_t m_dataSize;
    Bytes m_leaf;
    std::vector<Child> m_leaves;
};

} // namespace mailmend::mailstore::pst
