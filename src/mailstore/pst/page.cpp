// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/page.h"

#include "mailstore/pst/crc.h"
#include "mailstore/pst/le_bytes.h"

namespace mailmend::mailstore::pst {

std::uint16_t placeSignature(std::uint64_t offset, Bid bid)
{
    const auto mixed = static_cast<std::uint32_t>(offset ^ bid);
    return static_cast<std::uint16_t>((mixed >> 16) ^ (mixed & 0xFFFF));
}

void sealPage(std::uint8_t* page, PageType type, Bid bid, std::uint64_t offset)
{
    constexpr std::size_t kData = kPageSize - 16;
    const bool isTree = type == PageType::BlockBTree || type == PageType::NodeBTree;
    std::uint8_t* trailer = page + kData;
    trailer[0] = static_cast<std::uint8_t>(type);
    trailer[1] = static_cast<std::uint8_t>(type);
    putLe16(trailer + 2, isTree ? placeSignature(offset, bid) : 0);
    putLe32(trailer + 4, storeCrc(page, kData));
    putLe64(trailer + 8, isTree ? bid : offset);
}

} // namespace mailmend::mailstore::pst
