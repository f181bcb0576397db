// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailmend::mailstore {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Reads one character of UTF-8 at `pos` and moves past it. Mail text is often broken: a
// byte that does not begin a well-formed sequence (overlong, a surrogate, above
// U+10FFFF, cut short) gives U+FFFD and is passed over on its own. `pos` must be less
// than the text's size.
char32_t nextCodePoint(std::string_view text, std::size_t& pos);

// Appends `c` as UTF-8; anything that is not a Unicode scalar value becomes U+FFFD.
void appendUtf8(std::string& out, char32_t c);

// True for a scalar value (not a surrogate, at most U+10FFFF).
constexpr bool isScalarValue(char32_t c)
{
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Windows-1252 puts printable characters where Latin-1 has C1 controls (0x80-0x9F).
// The character that byte stands for, or 0 for its five unused places.
char32_t windows1252Character(std::uint8_t byte);

// The Windows-1252 byte of `c`, or -1 when that code page has no such character.
int windows1252Byte(char32_t c);

} // namespace mailmend::mailstore
