// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace mailmend::mailstore::pst {

// Everything in a store file is little-endian.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline void putLe16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void putLe32(std::uint8_t* p, std::uint32_t v)
{
    putLe16(p, static_cast<std::uint16_t>(v));
    putLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void putLe64(std::uint8_t* p, std::uint64_t v)
{
    putLe32(p, static_cast<std::uint32_t>(v));
    putLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline void appendLe16(Bytes& out, std::uint16_t v)
{
    const std::size_t at = out.size();
    out.resize(at + 2);
    putLe16(out.data() + at, v);
}

inline void appendLe32(Bytes& out, std::uint32_t v)
{
    const std::size_t at = out.size();
    out.resize(at + 4);
    putLe32(out.data() + at, v);
}

inline void appendLe64(Bytes& out, std::uint64_t v)
{
    const std::size_t at = out.size();
    out.resize(at + 8);
    putLe64(out.data() + at, v);
}

} // namespace mailmend::mailstore::pst
