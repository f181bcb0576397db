// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/ansi_text.h"

#include <algorithm>
#include <array>

namespace mailmend::dbx {
namespace {

// Code points of bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte for `codePoint`, or -1 when the code page lacks it.
int cp1252Byte(char32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<int>(codePoint);
    const auto* found = std::find(kHighControls.begin(), kHighControls.end(), codePoint);
    return found == kHighControls.end() ? -1
                                        : static_cast<int>(0x80 + (found - kHighControls.begin()));
}

// Decodes one UTF-8 sequence at `pos`; false when it is malformed.
bool nextCodePoint(std::string_view text, std::size_t& pos, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    int extra = 0;
    char32_t value = 0;
    if (lead < 0x80) {
        codePoint = lead;
        ++pos;
        return true;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        value = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07u;
    } else {
        return false;
    }
    if (text.size() - pos <= static_cast<std::size_t>(extra))
        return false;
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(i)]);
        if ((next & 0xC0u) != 0x80u)
            return false;
        value = (value << 6) | (next & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed.
    static constexpr char32_t kLeast[] {0, 0x80, 0x800, 0x10000};
    if (value < kLeast[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    codePoint = value;
    pos += static_cast<std::size_t>(extra) + 1;
    return true;
}

bool hasNonAscii(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

} // namespace

char32_t cp1252ToCodePoint(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80u] : char32_t {byte};
}

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool isValidUtf8(std::string_view text)
{
    char32_t codePoint = 0;
    for (std::size_t pos = 0; pos < text.size();)
        if (!nextCodePoint(text, pos, codePoint))
            return false;
    return true;
}

std::string utf8ToCp1252(std::string_view utf8, bool* lossless)
{
    std::string out;
    out.reserve(utf8.size());
    bool exact = true;
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t codePoint = 0;
        if (!nextCodePoint(utf8, pos, codePoint)) {
            codePoint = 0xFFFD;
            ++pos;
        }
        if (const int byte = cp1252Byte(codePoint); byte >= 0) {
            out += static_cast<char>(byte);
        } else {
            exact = false;
            out.append(codePoint >= 0x10000 ? 2 : 1, '?');
        }
    }
    if (lossless)
        *lossless = exact;
    return out;
}

std::string cp1252ToUtf8(std::string_view ansi)
{
    std::string out;
    out.reserve(ansi.size());
    for (const char c : ansi)
        appendUtf8(out, cp1252ToCodePoint(static_cast<unsigned char>(c)));
    return out;
}

std::string indexText(std::string_view headerValue)
{
    if (!hasNonAscii(headerValue) || !isValidUtf8(headerValue))
        return std::string(headerValue);
    return utf8ToCp1252(headerValue);
}

std::string encodeFolderName(std::string_view utf8Name)
{
    bool lossless = false;
    std::string ansi = utf8ToCp1252(utf8Name, &lossless);
    if (lossless && isValidUtf8(utf8Name) && !(hasNonAscii(ansi) && isValidUtf8(ansi)))
        return ansi;
    return std::string(utf8Name);
}

std::string decodeFolderName(std::string_view stored)
{
    if (hasNonAscii(stored) && isValidUtf8(stored))
        return std::string(stored);
    return cp1252ToUtf8(stored);
}

} // namespace mailmend::dbx
