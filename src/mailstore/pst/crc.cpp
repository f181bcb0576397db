// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/crc.h"

#include <array>

namespace mailmend::mailstore::pst {
namespace {

// Eight tables, so that eight bytes are folded in per step (every block of the store is
// summed, so this is on the path of every byte written).
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables()
{
    Tables tables {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        tables[0][i] = value;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        for (std::size_t t = 1; t < 8; ++t)
            tables[t][i] = (tables[t - 1][i] >> 8) ^ tables[0][tables[t - 1][i] & 0xFF];
    return tables;
}

constexpr Tables kTables = makeTables();
constexpr const std::array<std::uint32_t, 256>& kTable = kTables[0];

} // namespace

std::uint32_t storeCrc(const std::uint8_t* data, std::size_t count, std::uint32_t start)
{
    std::uint32_t crc = start;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const std::uint32_t low = crc ^ (std::uint32_t {data[i]} | std::uint32_t {data[i + 1]} << 8
                                         | std::uint32_t {data[i + 2]} << 16
                                         | std::uint32_t {data[i + 3]} << 24);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF]
            ^ kTables[4][low >> 24] ^ kTables[3][data[i + 4]] ^ kTables[2][data[i + 5]]
            ^ kTables[1][data[i + 6]] ^ kTables[0][data[i + 7]];
    }
    for (; i < count; ++i)
        crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace mailmend::mailstore::pst
