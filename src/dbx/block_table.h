// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace mailmend::dbx {

// What linking made of a block. The value 1 is not used.
enum class BlockRole : std::uint8_t {
    Unlinked = 0,
    Linked = 2,    // has a successor or a predecessor
    LastBlock = 3, // its nextOffset is 0
    MailHead = 4,  // first block of a mail
};

// One data-block header found by the scan, and what linking made of it. Kept small: a
// large folder has millions of blocks.
struct BlockRecord {
    std::uint32_t fileOffset = 0; // where the header lies in the file
    std::uint32_t selfOffset = 0;
    std::uint32_t nextOffset = 0;
    std::int32_t nextIndex = -1;  // table index of the successor, or -1
    std::uint16_t dataLength = 0; // 1..512
    BlockRole role = BlockRole::Unlinked;
    bool hasPredecessor = false;
};

// In increasing fileOffset order, each position at most once.
using BlockTable = std::vector<BlockRecord>;

} // namespace mailmend::dbx
