// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mailmend::dbx {

// Outlook Express keeps the texts of its indexes (subjects, names, folder names) in the
// Windows ANSI code page, which on a Western system is Windows-1252. These conversions
// stand in for the system's code-page functions.

// The code point a Windows-1252 byte stands for (the five unassigned bytes map to the C1
// control of the same value, as Windows does).
char32_t cp1252ToCodePoint(unsigned char byte);

// Appends `codePoint` as UTF-8; values past U+10FFFF and surrogates become U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);

// True when `text` is well-formed UTF-8 (ASCII included).
bool isValidUtf8(std::string_view text);

// UTF-8 to Windows-1252. A character the code page lacks becomes '?' for each UTF-16 unit
// it takes (so a character past the BMP gives "??"). `lossless` tells whether none did.
std::string utf8ToCp1252(std::string_view utf8, bool* lossless = nullptr);

// Windows-1252 to UTF-8.
std::string cp1252ToUtf8(std::string_view ansi);

// Index text from a header value: valid UTF-8 is converted to the code page; anything
// else is kept byte for byte, as Outlook Express keeps raw 8-bit header bytes.
std::string indexText(std::string_view headerValue);

// Folder names round-trip exactly through these two: a name goes into the store as
// Windows-1252 when that loses nothing and cannot be mistaken for UTF-8 on the way back,
// and as its UTF-8 bytes otherwise; stored bytes that are UTF-8 with a non-ASCII
// character are read as UTF-8, everything else as Windows-1252.
std::string encodeFolderName(std::string_view utf8Name);
std::string decodeFolderName(std::string_view stored);

} // namespace mailmend::dbx
