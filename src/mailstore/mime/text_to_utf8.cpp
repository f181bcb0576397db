// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/mime/text_to_utf8.h"

#include <gmime/gmime.h>

#include <cerrno>
#include <cstdint>
#include <optional>

#include "mailstore/mime/gmime_session.h"

namespace mailmend::mailstore::mime {
namespace {

// Windows-1252 at 0x80..0x9F. Its five unassigned bytes keep their Latin-1 meaning (C1
// controls), so every byte has a reading.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void appendWindows1252(std::string& out, unsigned char byte)
{
    char32_t c = byte;
    if (byte >= 0x80 && byte < 0xA0)
        c = kWindows1252High[byte - 0x80];
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when there is none
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
std::size_t validSequenceAt(std::string_view text)
{
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        low = b0 == 0xE0 ? 0xA0 : 0x80;
        high = b0 == 0xED ? 0x9F : 0xBF;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        low = b0 == 0xF0 ? 0x90 : 0x80;
        high = b0 == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

bool isUtf8Charset(std::string_view charset)
{
    const std::string name(charset);
    const char* iconvName = g_mime_charset_iconv_name(name.c_str());
    return iconvName && (g_ascii_strcasecmp(iconvName, "UTF-8") == 0
                         || g_ascii_strcasecmp(iconvName, "UTF8") == 0);
}

// Converts with iconv. Strict: nullopt at the first byte that does not fit. Lenient: such
// a byte is read as Windows-1252 and the conversion goes on after it.
std::optional<std::string> convert(iconv_t converter, std::string_view text, bool strict)
{
    std::string out;
    std::string chunk(text.size() < 4096 ? 4096 : 65536, '\0');
    auto* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    auto flush = [&](char* outStart, char* outPtr) { out.append(outStart, outPtr); };
    while (true) {
        char* outPtr = chunk.data();
        std::size_t outLeft = chunk.size();
        const std::size_t result = inLeft > 0
            ? iconv(converter, &in, &inLeft, &outPtr, &outLeft)
            : iconv(converter, nullptr, nullptr, &outPtr, &outLeft); // ends a shift state
        flush(chunk.data(), outPtr);
        if (result != static_cast<std::size_t>(-1)) {
            if (inLeft == 0 && outPtr == chunk.data())
                return out;
            continue;
        }
        if (errno == E2BIG)
            continue;
        // EILSEQ (a byte that does not fit) or EINVAL (a sequence cut off at the end)
        if (strict || inLeft == 0)
            return std::nullopt;
        appendWindows1252(out, static_cast<unsigned char>(*in));
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    }
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t n = validSequenceAt(text);
        if (n == 0)
            return false;
        text.remove_prefix(n);
    }
    return true;
}

std::string repairUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = validSequenceAt(text);
        if (n == 0) {
            appendWindows1252(out, static_cast<unsigned char>(text[0]));
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
        }
    }
    return out;
}

std::string toUtf8(std::string_view text, std::string_view charset)
{
    ensureGMime();
    if (charset.empty() || isUtf8Charset(charset))
        return repairUtf8(text);
    const std::string name(charset);
    iconv_t converter = g_mime_iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return repairUtf8(text);
    std::optional<std::string> result = convert(converter, text, true);
    if (!result) {
        // The declared charset is wrong. Text that is valid UTF-8 was most likely written
        // as UTF-8; anything else keeps what the charset can read.
        if (isValidUtf8(text)) {
            result = std::string(text);
        } else {
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
            result = convert(converter, text, false);
        }
    }
    g_mime_iconv_close(converter);
    // iconv writes valid UTF-8; the check guards against a converter that does not.
    return result && isValidUtf8(*result) ? std::move(*result) : repairUtf8(text);
}

} // namespace mailmend::mailstore::mime
