// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/mail_header_fields.h"

#include <cctype>
#include <map>

#include "dbx/encoded_words.h"
#include "dbx/mail_date.h"

namespace mailmend::dbx {
namespace {

// Longer values are cut: the index keeps at most about a kilobyte of each text anyway.
constexpr std::size_t kLongestValue = 16 * 1024;

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i]))
            != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// The unfolded values of the header fields we use, first occurrence of each.
class HeaderBlock {
public:
    explicit HeaderBlock(std::string_view text)
    {
        std::string* current = nullptr;
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(pos, end - pos);
            pos = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.empty())
                break; // the end of the header block
            if (line[0] == ' ' || line[0] == '\t') {
                if (current)
                    append(*current, line);
                continue;
            }
            current = nullptr;
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                continue;
            const std::string_view name = trimmed(line.substr(0, colon));
            for (const char* wanted : kWanted) {
                if (equalsIgnoringCase(name, wanted) && !m_values.count(wanted)) {
                    current = &m_values[wanted];
                    append(*current, line.substr(colon + 1));
                }
            }
        }
    }

    std::string_view value(const char* name) const
    {
        const auto found = m_values.find(name);
        return found == m_values.end() ? std::string_view {} : trimmed(found->second);
    }

private:
    static constexpr const char* kWanted[] {
        "Subject", "From", "To", "Cc", "Message-ID", "References", "In-Reply-To",
        "Date", "Received", "X-Priority", "Content-Type",
    };

    static void append(std::string& value, std::string_view piece)
    {
        if (value.size() < kLongestValue)
            value.append(piece.substr(0, kLongestValue - value.size()));
    }

    std::map<std::string_view, std::string> m_values;
};

// Splits off the first mailbox of an address list and finds its name and address.
// Quoted strings, comments and angle brackets are honoured; a group name is skipped.
class FirstMailbox {
public:
    explicit FirstMailbox(std::string_view list)
    {
        std::string text;    // the mailbox without comments or quotes
        std::string comment; // the first comment, a fallback display name
        std::string angle;   // the part inside <>
        bool inAngle = false;
        bool sawAngle = false;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const char c = list[i];
            if (c == '"') {
                const std::size_t close = quotedEnd(list, i);
                for (std::size_t j = i + 1; j < close && j < list.size(); ++j)
                    (inAngle ? angle : text) += list[j] == '\\' && j + 1 < close ? list[++j]
                                                                                 : list[j];
                i = close;
            } else if (c == '(') {
                const std::size_t close = commentEnd(list, i);
                if (comment.empty() && close > i + 1)
                    comment = std::string(list.substr(i + 1, close - i - 1));
                i = close;
            } else if (c == '<' && !inAngle) {
                inAngle = true;
                sawAngle = true;
            } else if (c == '>' && inAngle) {
                inAngle = false;
            } else if (c == ':' && !inAngle && !sawAngle) {
                text.clear(); // "group: a@b, c@d;"
                comment.clear();
            } else if ((c == ',' || c == ';') && !inAngle) {
                if (!trimmed(text).empty() || sawAngle)
                    break;
            } else {
                (inAngle ? angle : text) += c;
            }
        }
        if (sawAngle) {
            address = std::string(trimmed(angle));
            name = std::string(trimmed(text));
        } else {
            address = std::string(trimmed(text));
            name = std::string(trimmed(comment));
        }
        name = decodeEncodedWords(name);
    }

    std::string name;
    std::string address;

private:
    static std::size_t quotedEnd(std::string_view text, std::size_t open)
    {
        for (std::size_t i = open + 1; i < text.size(); ++i) {
            if (text[i] == '\\')
                ++i;
            else if (text[i] == '"')
                return i;
        }
        return text.size();
    }

    static std::size_t commentEnd(std::string_view text, std::size_t open)
    {
        int depth = 0;
        for (std::size_t i = open; i < text.size(); ++i) {
            if (text[i] == '\\')
                ++i;
            else if (text[i] == '(')
                ++depth;
            else if (text[i] == ')' && --depth == 0)
                return i;
        }
        return text.size();
    }
};

// Every "<...>" of a References or In-Reply-To value, joined without separators.
std::string messageIdChain(std::string_view value)
{
    std::string chain;
    std::size_t pos = 0;
    while ((pos = value.find('<', pos)) != std::string_view::npos) {
        const std::size_t close = value.find('>', pos);
        if (close == std::string_view::npos)
            break;
        chain.append(value.substr(pos, close - pos + 1));
        pos = close + 1;
    }
    return chain;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

MailHeaderFields readMailHeaderFields(std::string_view text)
{
    const HeaderBlock header(text);
    MailHeaderFields fields;
    fields.subject = decodeEncodedWords(header.value("Subject"));

    const FirstMailbox from(header.value("From"));
    fields.senderName = from.name;
    fields.senderAddress = from.address;
    const std::string_view to = header.value("To");
    const FirstMailbox recipient(trimmed(to).empty() ? header.value("Cc") : to);
    fields.recipientName = recipient.name;
    fields.recipientAddress = recipient.address;

    fields.messageId = std::string(header.value("Message-ID"));
    fields.references = messageIdChain(header.value("References"));
    if (fields.references.empty())
        fields.references = messageIdChain(header.value("In-Reply-To"));

    fields.date = parseMailDate(header.value("Date"));
    const std::string_view received = header.value("Received");
    if (const std::size_t semicolon = received.rfind(';'); semicolon != std::string_view::npos)
        fields.receivedDate = parseMailDate(received.substr(semicolon + 1));

    const std::string_view priority = header.value("X-Priority");
    if (!priority.empty() && priority[0] >= '1' && priority[0] <= '5')
        fields.priority = priority[0] <= '2' ? 1u : priority[0] >= '4' ? 5u : 3u;
    fields.hasAttachments = startsWithIgnoringCase(header.value("Content-Type"), "multipart/mixed");
    return fields;
}

std::string normalizedSubject(std::string_view subject)
{
    for (bool stripped = true; stripped;) {
        stripped = false;
        subject = trimmed(subject);
        for (const std::string_view prefix : {"re:", "fw:", "fwd:"}) {
            if (startsWithIgnoringCase(subject, prefix)) {
                subject.remove_prefix(prefix.size());
                stripped = true;
            }
        }
    }
    return std::string(subject);
}

} // namespace mailmend::dbx
