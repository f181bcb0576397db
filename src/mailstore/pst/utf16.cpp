// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/pst/utf16.h"

namespace mailmend::mailstore::pst {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

} // namespace

void Utf16Encoder::emitUnit(std::uint16_t unit, Bytes* out)
{
    m_size += 2;
    if (out)
        appendLe16(*out, unit);
}

void Utf16Encoder::emit(std::uint32_t codePoint, Bytes* out)
{
    if (m_crlf && codePoint == '\n' && !m_afterCr)
        emitUnit('\r', out);
    m_afterCr = codePoint == '\r';
    if (codePoint < 0x10000) {
        emitUnit(static_cast<std::uint16_t>(codePoint), out);
        return;
    }
    codePoint -= 0x10000;
    emitUnit(static_cast<std::uint16_t>(0xD800 + (codePoint >> 10)), out);
    emitUnit(static_cast<std::uint16_t>(0xDC00 + (codePoint & 0x3FF)), out);
}

void Utf16Encoder::encode(std::string_view piece, Bytes* out)
{
    if (out)
        out->reserve(out->size() + piece.size() * 2);
    for (std::size_t i = 0; i < piece.size();) {
        const auto byte = static_cast<std::uint8_t>(piece[i]);
        if (m_needed > 0) {
            if ((byte & 0xC0) == 0x80) {
                m_codePoint = (m_codePoint << 6) | (byte & 0x3F);
                ++i;
                if (--m_needed == 0) {
                    const bool valid = m_codePoint >= m_lowest && m_codePoint <= 0x10FFFF
                        && (m_codePoint < 0xD800 || m_codePoint > 0xDFFF);
                    emit(valid ? m_codePoint : kReplacement, out);
                }
                continue;
            }
            // The sequence broke off: it counts as one bad character, and this byte
            // starts afresh.
            m_needed = 0;
            emit(kReplacement, out);
        }
        if (m_needed == 0 && byte < 0x80 && byte != '\n' && byte != '\r') {
            // Plain ASCII, the bulk of most mails: a run at a time.
            std::size_t end = i + 1;
            while (end < piece.size() && static_cast<std::uint8_t>(piece[end]) < 0x80
                   && piece[end] != '\n' && piece[end] != '\r')
                ++end;
            const std::size_t run = end - i;
            m_size += 2 * run;
            m_afterCr = false;
            if (out) {
                const std::size_t at = out->size();
                out->resize(at + 2 * run);
                for (std::size_t k = 0; k < run; ++k) {
                    (*out)[at + 2 * k] = static_cast<std::uint8_t>(piece[i + k]);
                    (*out)[at + 2 * k + 1] = 0;
                }
            }
            i = end;
            continue;
        }
        ++i;
        if (byte < 0x80) {
            emit(byte, out);
        } else if (byte >= 0xC2 && byte <= 0xDF) {
            m_codePoint = byte & 0x1F;
            m_needed = 1;
            m_lowest = 0x80;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            m_codePoint = byte & 0x0F;
            m_needed = 2;
            m_lowest = 0x800;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            m_codePoint = byte & 0x07;
            m_needed = 3;
            m_lowest = 0x10000;
        } else {
            emit(kReplacement, out);
        }
    }
}

void Utf16Encoder::finish(Bytes* out)
{
    if (m_needed > 0) {
        m_needed = 0;
        emit(kReplacement, out);
    }
}

Bytes toUtf16(std::string_view utf8, bool crlfLineEnds)
{
    Bytes out;
    Utf16Encoder encoder(crlfLineEnds);
    encoder.encode(utf8, &out);
    encoder.finish(&out);
    return out;
}

std::uint64_t utf16Size(std::string_view utf8, bool crlfLineEnds)
{
    Utf16Encoder encoder(crlfLineEnds);
    encoder.encode(utf8, nullptr);
    encoder.finish(nullptr);
    return encoder.size();
}

std::string_view leadingCharacters(std::string_view utf8, std::size_t maxCodePoints)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<std::uint8_t>(utf8[i]) & 0xC0) == 0x80)
            continue;
        if (count++ == maxCodePoints)
            return utf8.substr(0, i);
    }
    return utf8;
}

} // namespace mailmend::mailstore::pst
