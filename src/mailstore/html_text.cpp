// SPDX-License-Identifier: GPL-3.0-or-later
#include "mailstore/html_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "mailstore/text_encoding.h"

namespace mailmend::mailstore {
namespace {

using Entity = std::pair<std::string_view, char32_t>;

// U+00A0 to U+00FF in order, so the names need no code points beside them.
constexpr std::array<std::string_view, 96> kLatin1Entities = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

constexpr std::array<Entity, 39> kOtherEntities = {{
    {"amp", '&'},         {"lt", '<'},          {"gt", '>'},          {"quot", '"'},
    {"apos", '\''},       {"euro", 0x20AC},     {"hellip", 0x2026},   {"mdash", 0x2014},
    {"ndash", 0x2013},    {"lsquo", 0x2018},    {"rsquo", 0x2019},    {"sbquo", 0x201A},
    {"ldquo", 0x201C},    {"rdquo", 0x201D},    {"bdquo", 0x201E},    {"bull", 0x2022},
    {"trade", 0x2122},    {"dagger", 0x2020},   {"Dagger", 0x2021},   {"permil", 0x2030},
    {"lsaquo", 0x2039},   {"rsaquo", 0x203A},   {"OElig", 0x0152},    {"oelig", 0x0153},
    {"Scaron", 0x0160},   {"scaron", 0x0161},   {"Yuml", 0x0178},     {"fnof", 0x0192},
    {"circ", 0x02C6},     {"tilde", 0x02DC},    {"ensp", 0x2002},     {"emsp", 0x2003},
    {"thinsp", 0x2009},   {"zwnj", 0x200C},     {"zwj", 0x200D},      {"lrm", 0x200E},
    {"rlm", 0x200F},      {"larr", 0x2190},     {"rarr", 0x2192},
}};

enum class Block { None, Line, Paragraph, Cell, Item, Break };

Block blockOf(std::string_view name)
{
    static constexpr std::array<std::string_view, 10> paragraphs = {
        "p", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "pre", "table"};
    static constexpr std::array<std::string_view, 22> lines = {
        "div",    "tr",      "ul",     "ol",    "dl",      "dt",       "dd",
        "hr",     "section", "article", "header", "footer", "address", "nav",
        "aside",  "center",  "form",   "fieldset", "figure", "caption", "main",
        "body"};
    if (name == "br")
        return Block::Break;
    if (name == "li")
        return Block::Item;
    if (name == "td" || name == "th")
        return Block::Cell;
    if (std::find(paragraphs.begin(), paragraphs.end(), name) != paragraphs.end())
        return Block::Paragraph;
    if (std::find(lines.begin(), lines.end(), name) != lines.end())
        return Block::Line;
    return Block::None;
}

bool isHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiAlnum(char c)
{
    return isAsciiAlpha(c) || (c >= '0' && c <= '9');
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Where `</name` starts at or after `from`, compared without regard to case; npos if not.
std::size_t findClosingTag(std::string_view html, std::size_t from, std::string_view name)
{
    for (std::size_t at = html.find("</", from); at != std::string_view::npos;
         at = html.find("</", at + 2)) {
        if (html.size() - at - 2 < name.size())
            return std::string_view::npos;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = asciiLower(html[at + 2 + i]) == name[i];
        if (same)
            return at;
    }
    return std::string_view::npos;
}

class Converter {
public:
    explicit Converter(const std::function<void(std::string_view)>& emit) : m_emit(emit) {}

    void run(std::string_view html)
    {
        std::size_t pos = 0;
        while (pos < html.size()) {
            const char c = html[pos];
            if (c == '<')
                pos = tag(html, pos);
            else if (c == '&')
                pos = reference(html, pos);
            else if (isHtmlSpace(c))
                pos = space(html, pos);
            else
                putVisible(html.substr(pos++, 1));
        }
        flush();
    }

private:
    static constexpr std::size_t kPiece = 64 * 1024;

    void put(std::string_view text)
    {
        m_buffer.append(text);
        if (m_buffer.size() >= kPiece)
            flush();
    }

    void flush()
    {
        if (!m_buffer.empty())
            m_emit(m_buffer);
        m_buffer.clear();
    }

    // Line ends wait until something visible follows, so none trail at the end and
    // white space next to a break is dropped.
    void putVisible(std::string_view text)
    {
        if (m_pendingBreaks > 0)
            put(std::string(static_cast<std::size_t>(m_pendingBreaks), '\n'));
        else if (m_pendingSpace && m_started)
            put(" ");
        m_pendingBreaks = 0;
        m_pendingSpace = false;
        put(text);
        m_started = true;
    }

    void putCharacter(char32_t c)
    {
        if (c == 0xA0)
            c = ' '; // a non-breaking space reads as a space in plain text
        if (c == ' ' && m_preDepth == 0) {
            m_pendingSpace = true;
            return;
        }
        std::string utf8;
        appendUtf8(utf8, c);
        putVisible(utf8);
    }

    // Ends the current line and leaves at least `count` line ends before what follows.
    void lineBreak(int count)
    {
        if (m_started)
            m_pendingBreaks = std::max(m_pendingBreaks, count);
    }

    // A <br> or a line end inside <pre>: one more line end.
    void forcedBreak()
    {
        if (m_started)
            ++m_pendingBreaks;
    }

    std::size_t space(std::string_view html, std::size_t pos)
    {
        const char c = html[pos];
        if (m_preDepth == 0) {
            m_pendingSpace = true;
        } else if (c == '\r' || c == '\n') {
            forcedBreak();
            if (c == '\r' && pos + 1 < html.size() && html[pos + 1] == '\n')
                ++pos;
        } else {
            putVisible(c == '\t' ? "\t" : " ");
        }
        return pos + 1;
    }

    std::size_t reference(std::string_view html, std::size_t pos)
    {
        constexpr std::size_t kLongest = 32;
        const std::size_t end = html.find(';', pos + 1);
        if (end == std::string_view::npos || end - pos > kLongest) {
            putVisible("&");
            return pos + 1;
        }
        const std::string_view body = html.substr(pos + 1, end - pos - 1);
        const char32_t c = decodeReference(body);
        if (c == 0) {
            putVisible("&");
            return pos + 1;
        }
        putCharacter(c);
        return end + 1;
    }

    static char32_t decodeReference(std::string_view body)
    {
        if (body.size() >= 2 && body[0] == '#') {
            const bool hex = body[1] == 'x' || body[1] == 'X';
            const std::string_view digits = body.substr(hex ? 2 : 1);
            if (digits.empty())
                return 0;
            std::uint32_t value = 0;
            for (const char d : digits) {
                int digit = -1;
                if (d >= '0' && d <= '9')
                    digit = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    digit = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    digit = d - 'A' + 10;
                if (digit < 0)
                    return 0;
                value = value * (hex ? 16u : 10u) + static_cast<std::uint32_t>(digit);
                if (value > 0x10FFFF)
                    return kReplacementCharacter;
            }
            if (value >= 0x80 && value < 0xA0) // what browsers do with these
                value = windows1252Character(static_cast<std::uint8_t>(value));
            if (value == 0 || !isScalarValue(value))
                return kReplacementCharacter;
            return value;
        }
        for (std::size_t i = 0; i < kLatin1Entities.size(); ++i) {
            if (kLatin1Entities[i] == body)
                return static_cast<char32_t>(0xA0 + i);
        }
        for (const auto& [name, value] : kOtherEntities) {
            if (name == body)
                return value;
        }
        return 0;
    }

    // Passes over one tag, comment or declaration starting at `pos` and acts on it.
    std::size_t tag(std::string_view html, std::size_t pos)
    {
        if (html.compare(pos, 4, "<!--") == 0) {
            const std::size_t end = html.find("-->", pos + 4);
            return end == std::string_view::npos ? html.size() : end + 3;
        }
        std::size_t at = pos + 1;
        const bool closing = at < html.size() && html[at] == '/';
        if (closing)
            ++at;
        const bool declaration = at < html.size() && (html[at] == '!' || html[at] == '?');
        if (!declaration && (at >= html.size() || !isAsciiAlpha(html[at]))) {
            putVisible("<"); // a lone '<' in the text
            return pos + 1;
        }
        std::string name;
        while (at < html.size() && isAsciiAlnum(html[at])) {
            if (name.size() < 16)
                name += asciiLower(html[at]);
            ++at;
        }
        const std::size_t end = tagEnd(html, at);
        if (!declaration)
            element(name, closing);
        if (!closing && (name == "script" || name == "style" || name == "title")) {
            const std::size_t close = findClosingTag(html, end, name);
            if (close != std::string_view::npos)
                return tagEnd(html, close + 2);
            if (name != "title") // an unclosed script runs to the end, as in a browser
                return html.size();
        }
        return end;
    }

    // The position after the '>' that ends a tag, passing over quoted attribute values.
    static std::size_t tagEnd(std::string_view html, std::size_t at)
    {
        while (at < html.size()) {
            const char c = html[at];
            if (c == '>')
                return at + 1;
            if (c == '"' || c == '\'') {
                const std::size_t quote = html.find(c, at + 1);
                if (quote == std::string_view::npos)
                    return html.size();
                at = quote + 1;
            } else {
                ++at;
            }
        }
        return html.size();
    }

    void element(const std::string& name, bool closing)
    {
        if (name == "pre")
            m_preDepth = closing ? std::max(0, m_preDepth - 1) : m_preDepth + 1;
        switch (blockOf(name)) {
        case Block::Break:
            if (!closing)
                forcedBreak();
            break;
        case Block::Paragraph:
            lineBreak(2);
            break;
        case Block::Line:
            lineBreak(1);
            break;
        case Block::Item:
            lineBreak(1);
            if (!closing)
                putVisible("- ");
            break;
        case Block::Cell:
            if (!closing && m_started && m_pendingBreaks == 0) {
                m_pendingSpace = false;
                putVisible("\t");
            }
            break;
        case Block::None:
            break;
        }
    }

    const std::function<void(std::string_view)>& m_emit;
    std::string m_buffer;
    bool m_started = false;      // something visible has been written
    int m_pendingBreaks = 0;     // line ends owed before the next visible character
    bool m_pendingSpace = false; // white space seen since the last visible character
    int m_preDepth = 0;
};

} // namespace

void htmlToText(std::string_view html, const std::function<void(std::string_view)>& emit)
{
    Converter(emit).run(html);
}

std::string htmlToText(std::string_view html)
{
    std::string text;
    htmlToText(html, [&](std::string_view piece) { text.append(piece); });
    return text;
}

} // namespace mailmend::mailstore
