// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mailstore/pst/le_bytes.h"

namespace mailmend::mailstore::pst {

// Turns UTF-8 text into the UTF-16LE the store keeps, a piece at a time so that a large
// body is never converted whole. Bytes that are not UTF-8 each become U+FFFD. With
// `crlfLineEnds` a line feed without its carriage return gets one.
class Utf16Encoder {
public:
    explicit Utf16Encoder(bool crlfLineEnds = false) : m_crlf(crlfLineEnds) {}

    // Appends the UTF-16 of `piece` to `out`; with a null `out` only counts it. A
    // sequence cut at the end of a piece is completed by the next one.
    void encode(std::string_view piece, Bytes* out);
    void finish(Bytes* out);
    // Bytes of UTF-16 produced so far.
    std::uint64_t size() const { return m_size; }

private:
    void emit(std::uint32_t codePoint, Bytes* out);
    void emitUnit(std::uint16_t unit, Bytes* out);

    bool m_crlf;
    bool m_afterCr = false;
    std::uint32_t m_codePoint = 0;
    std::uint32_t m_lowest = 0;
    int m_needed = 0;
    std::uint64_t m_size = 0;
};

Bytes toUtf16(std::string_view utf8, bool crlfLineEnds = false);
std::uint64_t utf16Size(std::string_view utf8, bool crlfLineEnds = false);

// The longest start of `utf8` that holds at most `maxCodePoints` characters and ends on a
// character boundary.
std::string_view leadingCharacters(std::string_view utf8, std::size_t maxCodePoints);

} // namespace mailmend::mailstore::pst
