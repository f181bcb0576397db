// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/encoded_words.h"

#include <algorithm>
#include <optional>

#include "dbx/ansi_text.h"

namespace mailmend::dbx {
namespace {

enum class Charset { Utf8, Latin1, Latin9, Windows1252 };

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<Charset> knownCharset(std::string_view name)
{
    // RFC 2231 lets a language follow the charset: "utf-8*en".
    std::string lower = lowerAscii(name.substr(0, name.find('*')));
    if (lower == "utf-8" || lower == "utf8" || lower == "us-ascii")
        return Charset::Utf8;
    if (lower == "iso-8859-1" || lower == "latin1" || lower == "iso8859-1")
        return Charset::Latin1;
    if (lower == "iso-8859-15" || lower == "latin-9")
        return Charset::Latin9;
    if (lower == "windows-1252" || lower == "cp1252")
        return Charset::Windows1252;
    return std::nullopt;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::string decodeQ(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
                   && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string decodeB(std::string_view text)
{
    std::string out;
    unsigned bits = 0;
    int held = 0;
    for (const char c : text) {
        const int value = base64Value(c);
        if (value < 0)
            continue; // padding and stray characters
        bits = ((bits << 6) | static_cast<unsigned>(value)) & 0xFFFFFFu;
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFFu);
        }
    }
    return out;
}

// ISO-8859-15 differs from Latin-1 in eight places.
char32_t latin9CodePoint(unsigned char byte)
{
    switch (byte) {
    case 0xA4: return 0x20AC;
    case 0xA6: return 0x0160;
    case 0xA8: return 0x0161;
    case 0xB4: return 0x017D;
    case 0xB8: return 0x017E;
    case 0xBC: return 0x0152;
    case 0xBD: return 0x0153;
    case 0xBE: return 0x0178;
    default: return byte;
    }
}

std::string toUtf8(const std::string& bytes, Charset charset)
{
    if (charset == Charset::Utf8)
        return bytes;
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t codePoint = charset == Charset::Windows1252 ? cp1252ToCodePoint(byte)
            : charset == Charset::Latin9                           ? latin9CodePoint(byte)
                                                                   : char32_t {byte};
        appendUtf8(out, codePoint);
    }
    return out;
}

struct EncodedWord {
    std::size_t end = 0; // one past the closing "?="
    Charset charset = Charset::Utf8;
    std::string bytes; // decoded, still in the word's character set
};

// Longest encoded word looked for; real ones stay far below (the standard says 75), and
// the bound keeps a value full of "=?" from costing quadratic time.
constexpr std::size_t kLongestWord = 1024;

// Parses an encoded word starting at `pos` (which holds "=?").
std::optional<EncodedWord> parseWord(std::string_view whole, std::size_t pos)
{
    const std::string_view value = whole.substr(0, std::min(whole.size(), pos + kLongestWord));
    const std::size_t charsetEnd = value.find('?', pos + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= value.size()
        || value[charsetEnd + 2] != '?')
        return std::nullopt;
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t close = value.find("?=", textStart);
    if (close == std::string_view::npos)
        return std::nullopt;
    const auto charset = knownCharset(value.substr(pos + 2, charsetEnd - pos - 2));
    const char encoding = value[charsetEnd + 1];
    const std::string_view text = value.substr(textStart, close - textStart);
    if (!charset || text.find_first_of(" \t\r\n") != std::string_view::npos)
        return std::nullopt;
    EncodedWord word;
    word.end = close + 2;
    word.charset = *charset;
    if (encoding == 'Q' || encoding == 'q')
        word.bytes = decodeQ(text);
    else if (encoding == 'B' || encoding == 'b')
        word.bytes = decodeB(text);
    else
        return std::nullopt;
    return word;
}

} // namespace

std::string decodeEncodedWords(std::string_view value)
{
    std::string out;
    // Adjacent words of one character set are joined before conversion, so a UTF-8
    // character split across two words survives.
    std::string pending;
    Charset pendingCharset = Charset::Utf8;
    const auto flush = [&] {
        out += toUtf8(pending, pendingCharset);
        pending.clear();
    };

    std::size_t pos = 0;
    bool afterWord = false;
    while (pos < value.size()) {
        const std::size_t start = value.find("=?", pos);
        std::optional<EncodedWord> word;
        if (start != std::string_view::npos)
            word = parseWord(value, start);
        if (!word) {
            const std::size_t stop = start == std::string_view::npos ? value.size() : start + 2;
            flush();
            out.append(value.substr(pos, stop - pos));
            pos = stop;
            afterWord = false;
            continue;
        }
        const std::string_view gap = value.substr(pos, start - pos);
        const bool blankGap = gap.find_first_not_of(" \t\r\n") == std::string_view::npos;
        if (!(afterWord && blankGap)) {
            flush();
            out.append(gap);
        } else if (pendingCharset != word->charset) {
            flush();
        }
        pendingCharset = word->charset;
        pending += word->bytes;
        pos = word->end;
        afterWord = true;
    }
    flush();
    return out;
}

} // namespace mailmend::dbx
