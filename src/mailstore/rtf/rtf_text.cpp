// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/rtf/rtf_text.h"

#include <utility>

#include "mailstore/text_encoding.h"

namespace mailmend::mailstore::rtf {
namespace {

constexpr std::size_t kPiece = 64 * 1024;
// A file line is broken at the first space after this many characters, and after any
// whole token once it reaches the hard limit.
constexpr std::size_t kSoftLineLength = 160;
constexpr std::size_t kHardLineLength = 240;

void appendHexByte(std::string& out, int byte)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\'";
    out += kDigits[(byte >> 4) & 0xF];
    out += kDigits[byte & 0xF];
}

void appendUnicodeEscape(std::string& out, char16_t unit, int fallback)
{
    // \uN takes a signed 16-bit number.
    const int signedUnit = unit >= 0x8000 ? static_cast<int>(unit) - 0x10000 : unit;
    out += "\\u";
    out += std::to_string(signedUnit);
    appendHexByte(out, fallback);
}

} // namespace

RtfSink::RtfSink(std::function<void(std::string_view)> write) : m_write(std::move(write)) {}

void RtfSink::put(std::string_view rtf)
{
    m_buffer.append(rtf);
    if (m_buffer.size() >= kPiece) {
        m_write(m_buffer);
        m_buffer.clear();
    }
}

void RtfSink::finish()
{
    if (!m_buffer.empty())
        m_write(m_buffer);
    m_buffer.clear();
}

void RtfSink::control(std::string_view rtf)
{
    put(rtf);
    const std::size_t newline = rtf.rfind('\n');
    m_lineLength = newline == std::string_view::npos ? m_lineLength + rtf.size()
                                                     : rtf.size() - newline - 1;
}

void RtfSink::endToken(bool atSpace)
{
    if (m_lineLength >= kHardLineLength || (atSpace && m_lineLength >= kSoftLineLength)) {
        put("\n");
        m_lineLength = 0;
    }
}

void RtfSink::putCharacter(char32_t c)
{
    std::string token;
    if (c >= 0x20 && c < 0x7F) {
        if (c == '\\' || c == '{' || c == '}')
            token += '\\';
        token += static_cast<char>(c);
    } else if (c < 0x10000) {
        const int byte = windows1252Byte(c);
        appendUnicodeEscape(token, static_cast<char16_t>(c), byte >= 0x80 ? byte : '?');
    } else {
        const char32_t v = c - 0x10000;
        appendUnicodeEscape(token, static_cast<char16_t>(0xD800 + (v >> 10)), '?');
        appendUnicodeEscape(token, static_cast<char16_t>(0xDC00 + (v & 0x3FF)), '?');
    }
    put(token);
    m_lineLength += token.size();
    endToken(c == ' ');
}

void RtfSink::text(std::string_view utf8, LineEnds lineEnds)
{
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = nextCodePoint(utf8, pos);
        const bool lineFeedAfterReturn = c == '\n' && m_afterCarriageReturn;
        m_afterCarriageReturn = c == '\r';
        if (lineFeedAfterReturn)
            continue;
        if (c == '\r' || c == '\n') {
            switch (lineEnds) {
            case LineEnds::Paragraph:
                put("\\par\n");
                m_lineLength = 0;
                break;
            case LineEnds::LineBreak:
                control("\\line ");
                break;
            case LineEnds::Space:
                putCharacter(' ');
                break;
            }
        } else if (c == '\t') {
            control("\\tab ");
            endToken(true);
        } else if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) {
            putCharacter(c);
        }
    }
}

} // namespace mailmend::mailstore::rtf
