// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace mailmend::dbx {

// Little-endian writing; readLe32 (format.h) is the reading half.

inline void putLe32(unsigned char* p, std::uint32_t value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

inline std::string le32String(std::uint32_t value)
{
    std::string out(4, '\0');
    putLe32(reinterpret_cast<unsigned char*>(out.data()), value);
    return out;
}

} // namespace mailmend::dbx
