// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace mailmend::mailstore::rtf {

// How a line end inside a piece of text is written.
enum class LineEnds {
    Paragraph, // \par: each line of a body is a paragraph of its own
    LineBreak, // \line: a break inside one header value
    Space,     // a space: a document property such as the title
};

// Writes RTF a piece at a time: control words as they are, mail text escaped so that the
// file is plain 7-bit ASCII whatever the text holds. RTF's specials are escaped, a tab is
// \tab, CR LF / LF / CR are one line end, other control characters are dropped, and every
// other character is \uN (N the signed UTF-16 unit; two units for a character beyond the
// BMP) followed by a fallback for readers that skip \uN: its Windows-1252 byte, or '?'.
// File lines are kept short; RTF readers ignore the line ends of the file itself.
class RtfSink {
public:
    // `write` receives the finished RTF in pieces of up to about 64 KiB.
    explicit RtfSink(std::function<void(std::string_view)> write);

    void control(std::string_view rtf);
    void text(std::string_view utf8, LineEnds lineEnds);
    // Passes on what is held back; call it once at the end.
    void finish();

private:
    void put(std::string_view rtf);
    void putCharacter(char32_t c);
    void endToken(bool atSpace);

    std::function<void(std::string_view)> m_write;
    std::string m_buffer;
    std::size_t m_lineLength = 0;
    bool m_afterCarriageReturn = false;
};

} // namespace mailmend::mailstore::rtf
