// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "mailstore/pst/ids.h"

namespace mailmend::mailstore::pst {

enum class PageType : std::uint8_t {
    BlockBTree = 0x80,
    NodeBTree = 0x81,
    FreeMap = 0x82,
    PageMap = 0x83,
    AllocationMap = 0x84,
    FreePageMap = 0x85,
};

// The 16-bit signature of a block or tree page, tying it to its offset and id.
std::uint16_t placeSignature(std::uint64_t offset, Bid bid);

// Fills in the 16-byte trailer of a 512-byte page whose first 496 bytes are its data.
// Map pages carry their own offset as id and no signature.
void sealPage(std::uint8_t* page, PageType type, Bid bid, std::uint64_t offset);

} // namespace mailmend::mailstore::pst
