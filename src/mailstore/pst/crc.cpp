// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/crc.h"

#include <array>

namespace mailmend::mailstore::pst {
namespace {

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[i] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = makeTable();

} // namespace

std::uint32_t storeCrc(const std::uint8_t* data, std::size_t count, std::uint32_t start)
{
    std::uint32_t crc = start;
    for (std::size_t i = 0; i < count; ++i)
        crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace mailmend::mailstore::pst
