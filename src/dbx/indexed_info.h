// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailmend::dbx {

// One attribute of an indexed-info object: the record a folder file keeps per message
// (and Folders.dbx per folder). An attribute is either a 24-bit value held in its entry
// word ("direct") or bytes in the object's data area.
struct InfoAttribute {
    std::uint8_t id = 0; // 0..0x7F; the ones we write stay below 0x20
    bool direct = false;
    std::uint32_t value = 0; // when direct
    std::string data;        // when not

    // An integer: direct when it fits below 2^23 (Outlook Express stores larger ones
    // as four data bytes), else little-endian data.
    static InfoAttribute integer(std::uint8_t id, std::uint32_t value);
    static InfoAttribute fileTime(std::uint8_t id, std::uint64_t value);
    // A NUL-terminated string of at most `longest` bytes before the NUL.
    static InfoAttribute string(std::uint8_t id, std::string_view text, std::size_t longest = 1023);

    // The integer this attribute holds, whichever way it is stored; empty when it is
    // data shorter than four bytes.
    std::optional<std::uint32_t> asInteger() const;
    // The data up to its first NUL.
    std::string asString() const;
};

// The object's size in bytes for these attributes (sorted by id).
std::size_t indexedInfoSize(const std::vector<InfoAttribute>& attributes);

// Builds the object as it lies at file offset `marker`: marker, body length, entry count,
// entries, data in entry order, zero padding to a multiple of four.
std::string encodeIndexedInfo(std::uint32_t marker, const std::vector<InfoAttribute>& attributes);

// Largest body a reader accepts: whatever fits one variable segment (0xC000 bytes) with
// its twelve-byte header. Larger ones are taken for damage.
inline constexpr std::size_t kInfoHeaderSize = 12;
inline constexpr std::uint32_t kLargestInfoBody = 0xC000 - kInfoHeaderSize;

// The body length stored in an object's first twelve bytes, or empty when the header is
// not that of an object at `marker`.
std::optional<std::uint32_t> indexedInfoBodyLength(const unsigned char* header,
                                                   std::uint32_t marker);

// Reads the attributes of an object from its twelve header bytes and its body. Empty
// when the entries do not fit the body.
std::optional<std::vector<InfoAttribute>> decodeIndexedInfo(const unsigned char* header,
                                                            std::string_view body);

} // namespace mailmend::dbx
