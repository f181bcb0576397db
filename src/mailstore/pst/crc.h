// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace mailmend::mailstore::pst {

// The checksum of headers, pages and blocks: CRC-32 over the reflected polynomial
// 0xEDB88320, starting from `start` (0 for a fresh sum) with no final inversion. Also the
// hash of string names in the named-property map.
std::uint32_t storeCrc(const std::uint8_t* data, std::size_t count, std::uint32_t start = 0);

} // namespace mailmend::mailstore::pst
