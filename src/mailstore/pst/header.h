// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

#include "mailstore/pst/btree_writer.h"

namespace mailmend::mailstore::pst {

inline constexpr std::size_t kHeaderSize = 564;

struct HeaderFields {
    Bid nextBid = 0;
    std::uint32_t unique = 0;
    std::array<std::uint32_t, 32> nextNidIndex {}; // per node type, the next free index
    std::uint64_t fileEnd = 0;
    std::uint64_t lastMapOffset = 0;
    std::uint64_t mapFreeBytes = 0;
    PageRef nodeTree;
    PageRef blockTree;
};

// The file header of a Unicode store without encryption, with both checksums.
std::array<std::uint8_t, kHeaderSize> buildHeader(const HeaderFields& fields);

} // namespace mailmend::mailstore::pst
