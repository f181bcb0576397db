// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/header.h"

#include <algorithm>

#include "mailstore/pst/crc.h"
#include "mailstore/pst/le_bytes.h"

namespace mailmend::mailstore::pst {

std::array<std::uint8_t, kHeaderSize> buildHeader(const HeaderFields& fields)
{
    std::array<std::uint8_t, kHeaderSize> h {};
    std::uint8_t* p = h.data();
    const std::uint8_t magic[] = {0x21, 0x42, 0x44, 0x4E}; // "!BDN"
    std::copy(std::begin(magic), std::end(magic), p);
    putLe16(p + 8, 0x4D53); // "SM": a personal store
    putLe16(p + 10, 23);    // Unicode
    putLe16(p + 12, 19);    // client version
    p[14] = 0x01;
    p[15] = 0x01;
    putLe64(p + 32, fields.nextBid); // next page id: one counter serves pages and blocks
    putLe32(p + 40, fields.unique);
    for (std::size_t i = 0; i < fields.nextNidIndex.size(); ++i)
        putLe32(p + 44 + 4 * i, fields.nextNidIndex[i]);
    putLe64(p + 184, fields.fileEnd);
    putLe64(p + 192, fields.lastMapOffset);
    putLe64(p + 200, fields.mapFreeBytes);
    putLe64(p + 208, 0); // the page maps are never used
    putLe64(p + 216, fields.nodeTree.bid);
    putLe64(p + 224, fields.nodeTree.offset);
    putLe64(p + 232, fields.blockTree.bid);
    putLe64(p + 240, fields.blockTree.offset);
    p[248] = 0x02; // the allocation maps are valid
    std::fill(p + 256, p + 512, std::uint8_t {0xFF}); // the deprecated free maps
    p[512] = 0x80;
    p[513] = 0x00; // no encryption
    putLe64(p + 516, fields.nextBid);
    putLe32(p + 4, storeCrc(p + 8, 471));
    putLe32(p + 524, storeCrc(p + 8, 516));
    return h;
}

} // namespace mailmend::mailstore::pst
